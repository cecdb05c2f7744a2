#!/usr/bin/env bash
# Builds everything, makes a demo launcher from examples/demo.cfg with tesmo-block and
# starts it under Wine with the diagnostic log on, then shows the log.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh

demo=build/demo
mkdir -p "$demo"
build/native/tools/tesmo-block --stub build/win64/tesmo64.exe --raw examples/demo.cfg \
    --out "$demo/demo.exe"

export WINEPREFIX="$PWD/build/wineprefix-demo" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
[[ -f $WINEPREFIX/system.reg ]] || /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1
# Wine gives its programs the prefix's own temporary directory, whatever TMP says here.
temp=$(find "$WINEPREFIX/drive_c/users" -maxdepth 3 -iname temp -type d | head -n 1)
rm -f "$temp"/kvn_nlog_*
set +e
TESMO_LOG=yes /usr/lib/wine/wine64 "$demo/demo.exe" hello world
code=$?
set -e
echo "demo.exe exited with $code; its log ($temp):"
cat "$temp"/kvn_nlog_* | tr -d '\r'
