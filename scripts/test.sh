#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test: the core's unit tests natively
# under AddressSanitizer and UBSan, the unit tests of the Windows build under Wine, and the
# end-to-end tests of the real launcher under Wine and Xvfb. Ends with one summary line.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
exec /usr/bin/python3 scripts/run_tests.py "$@"
