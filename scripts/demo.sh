#!/usr/bin/env bash
# Builds everything, compiles the demo application (examples/demo) into a jar, lays out a
# stand-in Java runtime beside it, makes its launcher from examples/demo/demo.toml with
# tesmo-build and starts it under Wine with the diagnostic log on. No Windows Java runtime
# exists here, so the launcher loads the stand-in VM, which records what the launcher asked
# of it; the demo then replays that call on this machine's own JVM, where the application
# really runs. On Windows the same launcher loads a real runtime's jvm.dll instead.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh

demo=build/demo
app=$demo/app
rm -rf "$demo"
mkdir -p "$app/lib" "$demo/classes"
javac --release 8 -nowarn -d "$demo/classes" examples/demo/src/com/example/demo/Main.java 2>/dev/null
jar cf "$app/lib/demo.jar" -C "$demo/classes" .
cp build/java/kvnruntime.jar "$app/lib/"
/usr/bin/python3 -c 'import sys; sys.path.insert(0, "tests/e2e")
from runtimes import make_runtime
make_runtime(sys.argv[1], "jre8")' "$app/jre"

echo "== tesmo-build build examples/demo/demo.toml"
build/native/tools/tesmo-build build examples/demo/demo.toml --stub build/win64/tesmo64.exe \
    --out "$app/demo.exe"
ls -l "$app/demo.exe"

echo "== tesmo-build inspect: the launcher's configuration, read back from demo.exe"
build/native/tools/tesmo-build inspect "$app/demo.exe" --files "$demo/inspected"

export WINEPREFIX="$PWD/build/wineprefix-demo" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
[[ -f $WINEPREFIX/system.reg ]] || /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1
# Wine gives its programs the prefix's own temporary directory, whatever TMP says here.
temp=$(find "$WINEPREFIX/drive_c/users" -maxdepth 3 -iname temp -type d | head -n 1)
rm -f "$temp"/kvn_nlog_*
echo "== demo.exe hello world (under Wine, against the stand-in runtime)"
set +e
TESMO_LOG=yes /usr/lib/wine/wine64 "$app/demo.exe" hello world </dev/null >"$demo/stdout.txt" 2>&1
code=$?
set -e
cat "$demo/stdout.txt"
echo "demo.exe exited with $code; its log:"
cat "$temp"/kvn_nlog_* | tr -d '\r'

echo "== what the launcher asked of the VM, replayed on this machine's JVM"
/usr/bin/python3 - "$app" <<'EOF'
import glob, json, os, subprocess, sys
app = sys.argv[1]
records = sorted(glob.glob(f"{app}/jre/bin/client/jvm-launch-*.json"))
if not records:
    sys.exit("the stand-in VM recorded no launch")
record = json.load(open(records[-1], encoding="utf-8"))
[main] = [e for e in record["events"] if e["call"] == "main"]
options = [o for o in record["options"] if o.startswith(("-D", "-X"))
           and not o.startswith(("-Djava.class.path=", "-Djava.library.path="))]
print("VM options:", " ".join(record["options"][:-1]))
print("class path:", record["options"][-1])
print("wrapper class arguments:", main["args"])
# The launcher's temporary folder is a folder of the Wine prefix; here it has a Unix path.
prefix = os.environ["WINEPREFIX"]
options = [f"-Dtesmo.tempDir={prefix}/drive_c/" + o[len("-Dtesmo.tempDir=C:\\"):].replace("\\", "/")
           if o.startswith("-Dtesmo.tempDir=C:\\") else o for o in options]
command = ["java", *options, "-cp", f"{app}/lib/kvnruntime.jar:{app}/lib/demo.jar",
           "com.tesmo.runtime.WinLauncher", *main["args"]]
sys.exit(subprocess.run(command).returncode)
EOF
