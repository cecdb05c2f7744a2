"""scripts/release.sh's archives, and the demo started from nothing but the unpacked one."""

import hashlib
import json
import os
import re
import shutil
import subprocess

import pytest

import rig
from apps import install_demo

VERSION = re.search(r"project\(tesmo VERSION (\S+)", (rig.REPO_ROOT / "CMakeLists.txt").read_text())[1]
FILES = {"tesmo32.exe", "tesmo64.exe", "kvnruntime.jar", "java/README.md", "README.md", "LICENSE",
         "SHA256SUMS", *(f"examples/demo/{name}" for name in (
             "demo.toml", "readme.txt", "splash.bmp", "src/com/example/demo/Main.java"))}


def run(*command, **kwargs):
    return subprocess.run(list(map(str, command)), capture_output=True, text=True, **kwargs)


@pytest.fixture(scope="session")
def dist(tmp_path_factory):
    out = tmp_path_factory.mktemp("dist")
    made = run(rig.REPO_ROOT / "scripts" / "release.sh", "--out", out,
               env={**os.environ, "TESMO_BUILD_DIR": str(rig.build_dir())})
    assert made.returncode == 0, made.stdout + made.stderr
    assert run("sha256sum", "--check", "SHA256SUMS", cwd=out).returncode == 0
    return out


def unpack(dist, kind, folder):
    shutil.unpack_archive(dist / f"tesmo-{VERSION}-{kind}", folder)
    assert os.listdir(folder) == [f"tesmo-{VERSION}"]
    return folder / f"tesmo-{VERSION}"


@pytest.mark.parametrize("kind, tool", [("windows.zip", "tesmo-build.exe"),
                                        ("linux-x86_64.tar.gz", "tesmo-build")])
def test_each_archive_holds_the_release_and_the_sums_of_its_files(dist, tmp_path, kind, tool):
    home = unpack(dist, kind, tmp_path / "unpacked")
    files = {p.relative_to(home).as_posix(): p.read_bytes() for p in home.rglob("*") if p.is_file()}
    assert set(files) == FILES | {tool}
    sums = files.pop("SHA256SUMS").decode().splitlines()
    assert dict(reversed(line.split("  ", 1)) for line in sums) == {
        name: hashlib.sha256(data).hexdigest() for name, data in files.items()}
    assert VERSION.encode("utf-16-le") in files["tesmo32.exe"]  # the version resource
    assert f'version="{VERSION}.0"'.encode() in files["tesmo64.exe"]  # the manifest
    # The Windows tool is built 32-bit (machine 0x14C), so that it runs on every Windows.
    assert tool == "tesmo-build" or b"PE\0\0L\x01" in files[tool]


def test_the_unpacked_tool_finds_its_stub_and_the_demo_reaches_main(dist, tmp_path, application):
    home, app = unpack(dist, "linux-x86_64.tar.gz", tmp_path / "unpacked"), tmp_path / "app"
    runtime = install_demo(app, application, home / "kvnruntime.jar", home / "examples" / "demo")
    config, exe, stubs = app / "demo.toml", app / "demo.exe", tmp_path / "stubs"
    config.write_text(config.read_text(encoding="utf-8") + '\n[executable]\narchitecture = "x64"\n',
                      encoding="utf-8")
    # Away from its stubs a tool takes --stub-dir's; a stub of the wrong machine is refused
    # there, and under --stub too once the configuration names the architecture.
    stubs.mkdir()
    shutil.copy(home / "tesmo32.exe", stubs / "tesmo64.exe")
    for way in (["--stub-dir", stubs], ["--stub", home / "tesmo32.exe"]):
        refused = run(rig.build_dir() / "native" / "tools" / "tesmo-build", "build", config,
                      *way, "--out", exe)
        assert refused.returncode == 2 and "x86 executable" in refused.stderr and not exe.exists()
    built = run(home / "tesmo-build", "build", config, "--out", exe, cwd=tmp_path)
    assert built.returncode == 0, built.stderr
    assert run(home / "tesmo-build", "--version").stdout == f"tesmo-build {VERSION}\n"
    result = rig.run_launcher(exe)
    assert result.exit_code == 0, result.stderr
    record = json.loads((runtime.jvm_dll.parent / f"jvm-launch-{result.pid}.json").read_text())
    assert [event for event in record["events"] if event["call"] == "main"]
