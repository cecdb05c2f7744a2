"""tesmo-build end to end: launchers made from configuration files, their pictures as
Windows loads them, the launcher starting against the stand-in VM, the tool's Windows
build and a refusal."""

import json
import shutil
import struct
import subprocess
from pathlib import Path

import rig
from rig import helper_path, run_launcher, run_wine, unix_to_windows
from runtimes import make_runtime
from test_vm_launch import application  # noqa: F401 (fixture)

JAVA_RUNTIME = rig.build_dir() / "java" / "kvnruntime.jar"
NATIVE_TOOL = rig.build_dir() / "native" / "tools" / "tesmo-build"
WINDOWS_TOOL = rig.build_dir() / "win64" / "tools" / "tesmo-build.exe"

def bitmap(width: int, height: int) -> bytes:
    """A 24-bit bitmap whose pixel (x, y), counted from the top, is red x*y, green y, blue x."""
    row_size = (width * 3 + 3) // 4 * 4
    rows = []
    for y in reversed(range(height)):
        row = b"".join(bytes([x % 256, y % 256, (x * y) % 256]) for x in range(width))
        rows.append(row + b"\0" * (row_size - len(row)))
    pixels = b"".join(rows)
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835,
                         0, 0)
    return b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54) + header + pixels


def icon(sizes: list[int]) -> bytes:
    images = []
    for size in sizes:
        colour = bytes([0, 0, 255, 255]) * (size * size)
        mask = b"\0" * ((size + 31) // 32 * 4 * size)
        images.append(struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0,
                                  len(colour) + len(mask), 0, 0, 0, 0) + colour + mask)
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def tool(*args, cwd=None):
    return subprocess.run([str(NATIVE_TOOL), *map(str, args)], capture_output=True, text=True,
                          timeout=60, cwd=cwd)


CONFIG = """
[application]
id = "builder test"
main-class = "com.example.App"
arguments = ["--fixed", "two words"]

[java]
search = ['bundled:.\\jre']

[classpath]
entries = [
    { archive = 'lib\\kvnruntime.jar' },
    { archive = 'lib\\app.jar', required = true },
]

[splash]
bitmap = "pictures/splash.bmp"
image = "pictures/splash.png"

[executable]
icon = "pictures/app.ico"

[files]
include = [{ name = 'data\\hello.txt', source = "hello.txt" }]

[messages]
title = "Builder test"
"""


def lay_out(root: Path, application: Path, config: str = CONFIG) -> Path:
    """An application folder with its configuration, pictures, jars and a runtime."""
    (root / "pictures").mkdir(parents=True)
    (root / "pictures" / "splash.bmp").write_bytes(bitmap(120, 40))
    (root / "pictures" / "splash.png").write_bytes(b"\x89PNG\r\n\x1a\nnot really")
    (root / "pictures" / "app.ico").write_bytes(icon([16, 32]))
    (root / "hello.txt").write_text("hello\n")
    (root / "lib").mkdir()
    shutil.copy(application, root / "lib" / "app.jar")
    shutil.copy(JAVA_RUNTIME, root / "lib" / "kvnruntime.jar")
    make_runtime(root / "jre", "jre8")
    path = root / "app.toml"
    path.write_text(config, encoding="utf-8")
    return path


def test_pictures_are_where_windows_looks_and_the_launcher_still_starts(tmp_path, application):
    config = lay_out(tmp_path / "app", application)
    exe = tmp_path / "app" / "app.exe"
    built = tool("build", config, "--stub", rig.launcher_stub(64), "--out", exe)
    assert built.returncode == 0, built.stderr

    found = run_wine([str(helper_path("wintest")), "resources", "--file", unix_to_windows(exe)])
    assert found.returncode == 0, found.stderr
    pictures = json.loads(found.stdout)
    # Pixel (5, 0): red 0, green 0, blue 5 in COLORREF order.
    assert pictures["bitmap"] == {"width": 120, "height": 40, "pixel_5_0": 5 << 16}
    assert bytes.fromhex(pictures["data"]) == b"\x89PNG\r\n\x1a\nnot really"
    assert pictures["icon16"] == [16, 16] and pictures["icon32"] == [32, 32]

    result = run_launcher(exe, args=["user"], env={"TESMO_LOG": "yes"})
    assert result.exit_code == 0, result.stderr
    record = tmp_path / "app" / "jre" / "bin" / "client" / f"jvm-launch-{result.pid}.json"
    [main] = [e for e in json.loads(record.read_text())["events"] if e["call"] == "main"]
    assert main["args"][1] == "com.example.App"
    assert main["args"][-3:] == ["--fixed", "two words", "user"]
    assert "extracting files done" in result.log_text.splitlines()


def test_the_windows_build_of_the_tool_writes_the_same_launcher(tmp_path, application):
    config = lay_out(tmp_path / "app", application)
    native = tmp_path / "native.exe"
    assert tool("build", config, "--stub", rig.launcher_stub(64), "--out", native).returncode == 0
    windows = tmp_path / "windows.exe"
    completed = run_wine([str(WINDOWS_TOOL), "build", unix_to_windows(config), "--stub",
                          unix_to_windows(rig.launcher_stub(64)), "--out",
                          unix_to_windows(windows)])
    assert completed.returncode == 0, completed.stderr
    assert windows.read_bytes() == native.read_bytes()


def test_an_invalid_configuration_writes_nothing(tmp_path, application):
    config = lay_out(tmp_path / "app", application, CONFIG.replace('hello.txt"', 'missing.txt"'))
    exe = tmp_path / "app.exe"
    built = tool("build", config, "--stub", rig.launcher_stub(64), "--out", exe)
    assert built.returncode == 2
    assert f"tesmo-build: {config}:24: files.include: cannot read" in built.stderr
    assert list(tmp_path.glob("app.exe*")) == []
