"""tesmo-build end to end: a launcher's pictures, version information and manifest as Windows
reads them, and the tool's Windows build writing the same bytes. The release and splash tests
start launchers it built; the native configuration tests rebuild launchers from inspect."""

import json
import struct
import subprocess

import rig
from rig import helper_path, run_wine, unix_to_windows
from screens import write_bmp8

NATIVE_TOOL = rig.build_dir() / "native" / "tools" / "tesmo-build"
WINDOWS_TOOL = rig.build_dir() / "win64" / "tools" / "tesmo-build.exe"


def icon() -> bytes:
    """Blue 32-bit images of 16 and 32 pixels, each with its mask."""
    images = {size: struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
              + bytes([0, 0, 255, 255]) * size * size + b"\0" * 4 * size for size in (16, 32)}
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in images.items():
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b"".join(images.values())


def tool(*args):
    return subprocess.run([str(NATIVE_TOOL), *map(str, args)], capture_output=True, text=True,
                          timeout=60)


CONFIG = """
[application]
id = "builder test"
main-class = "com.example.App"
arguments = ["--fixed", "two words"]

[java]
search = ['bundled:.\\jre']

[classpath]
entries = [{ archive = 'lib\\kvnruntime.jar' }, { archive = 'lib\\app.jar', required = true }]

[splash]
bitmap = "pictures/splash.bmp"
image = "pictures/splash.png"

[executable]
icon = "pictures/app.ico"
architecture = "x64"
execution-level = "highest-available"
dpi-awareness = "per-monitor-v2"
long-path-aware = true

[files]
include = [{ name = 'data\\hello.txt', source = "hello.txt" }]

[version-info]
file-version = "2.4.1"
product-version = "2.4.1.7"
company = "Exämple Ltd"
comments = "中文"
"""


def lay_out(root):
    """An application folder with its configuration and the files it names."""
    (root / "pictures").mkdir(parents=True)
    write_bmp8(root / "pictures" / "splash.bmp", 120, 40, [(0, 0, 0), (0, 0, 5)],
               lambda x, y: int((x, y) == (5, 0)))
    (root / "pictures" / "splash.png").write_bytes(b"\x89PNG\r\n\x1a\nnot really")
    (root / "pictures" / "app.ico").write_bytes(icon())
    (root / "hello.txt").write_text("hello\n")
    (root / "app.toml").write_text(CONFIG, encoding="utf-8")
    return root / "app.toml"


def version_of(exe):
    lines = run_wine([str(helper_path("wintest")), "version", "--file", unix_to_windows(exe)])
    return dict(line.split("=", 1) for line in lines.stdout.splitlines())


def test_the_built_launcher_as_windows_reads_it_and_the_same_bytes_from_windows(tmp_path):
    config = lay_out(tmp_path / "app")
    exe = tmp_path / "app" / "app.exe"
    built = tool("build", config, "--stub", rig.launcher_stub(64), "--out", exe)
    assert built.returncode == 0, built.stderr

    pictures = json.loads(run_wine([str(helper_path("wintest")), "resources", "--file",
                                    unix_to_windows(exe)]).stdout)
    # Pixel (5, 0) from the top is the one blue 5; a COLORREF keeps blue in the high byte.
    assert pictures["bitmap"] == {"width": 120, "height": 40, "pixel_5_0": 5 << 16}
    assert bytes.fromhex(pictures["data"]) == b"\x89PNG\r\n\x1a\nnot really"
    assert pictures["icon16"] == [16, 16] and pictures["icon32"] == [32, 32]
    assert version_of(exe) == {
        "fixed": "2.4.1.0 2.4.1.7", "translation": "000004b0", "CompanyName": "Exämple Ltd",
        "FileVersion": "2.4.1", "ProductVersion": "2.4.1.7", "Comments": "中文",
        "run-level": "2", "dpiAware": "true/pm", "dpiAwareness": "PerMonitorV2, PerMonitor",
        "longPathAware": "true"}

    windows = tmp_path / "windows.exe"
    run_wine([str(WINDOWS_TOOL), "build", unix_to_windows(config), "--stub",
              unix_to_windows(rig.launcher_stub(64)), "--out", unix_to_windows(windows)])
    assert windows.read_bytes() == exe.read_bytes()
