"""Checks that src/ includes run one way only and that the neutral code stays neutral.

Each folder may include only itself and the folders before it in LAYERS. A file that is not
named *_windows.* (the neutral core, which also builds natively) may not include <windows.h>,
<jni.h> or any Windows-only header. Prints every breach and exits 1 when there is one.
"""

import re
import sys
from pathlib import Path

LAYERS = ["platform", "core", "config", "files", "expansion", "instance", "runtime", "vm",
          "splash", "launcher"]
# Folders below a layer that belong to it (the JNI platform header lives with the VM).
WINDOWS_ONLY_SYSTEM = {"windows.h", "jni.h", "jni_md.h"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.MULTILINE)


def is_windows_only(path):
    return path.stem.endswith("_windows") or path.parent.name == "jni"


def breaches(src):
    found = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        relative = path.relative_to(src)
        layer = relative.parts[0]
        if layer not in LAYERS:
            continue
        for bracket, name in INCLUDE.findall(path.read_text(encoding="utf-8")):
            target = Path(name)
            if bracket == '"' and target.parts[0] in LAYERS:
                if LAYERS.index(target.parts[0]) > LAYERS.index(layer):
                    found.append(f"{relative}: includes {name}, which lies above {layer}/")
                if not is_windows_only(path) and is_windows_only(target):
                    found.append(f"{relative}: neutral code includes Windows-only {name}")
            elif bracket == "<" and name in WINDOWS_ONLY_SYSTEM and not is_windows_only(path):
                found.append(f"{relative}: neutral code includes <{name}>")
    return found


def main():
    src = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "src")
    found = breaches(src)
    for line in found:
        print(f"layers: {line}")
    print(f"layers: {'ok' if not found else f'{len(found)} breaches'}")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
