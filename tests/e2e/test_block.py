"""Finding and reading the real launcher's block, and how a reading failure is told: the
message, where it goes, the box's title. The hostile mutants sweep the quiet messages."""

import shutil
import subprocess

import pytest

import hostile
import rig
from apps import App
from pe import read_image
from rig import NO_RUNTIME, build_launcher, run_launcher, unix_to_windows

TITLE = "Configured title"
SETTINGS = {101: "block tests", 107: 1, 1000: TITLE}
OPEN_FAILURE = "Error opening media file. Please move this file to an ascii-only path like c:\\"


def test_block_behind_resources_added_before_it(tmp_path):
    # Resource editors grow .rsrc and move the sections behind it: the block must
    # follow whatever section ends up last.
    stub = tmp_path / "stub.exe"
    shutil.copy(rig.launcher_stub(64), stub)
    before = read_image(stub)
    update = run_launcher(None, cmdline=f'"{unix_to_windows(rig.helper_path("wintest"))}" '
                                        f'add-resource --file "{unix_to_windows(stub)}"')
    assert update.exit_code == 0, update.wine_log
    image = read_image(stub)
    assert image.sections[-1].raw_offset >= before.sections[-1].raw_offset + 65536

    exe = tmp_path / "app.exe"
    subprocess.run([str(rig.block_tool()), "--stub", str(stub), "--out", str(exe),
                    "--set", "107=1", "--set", f"1000={TITLE}"], check=True)
    result = run_launcher(exe, env={"TESMO_LOG": "yes"})
    assert result.exit_code == NO_RUNTIME
    assert (f"rawDataSize: {image.sections[-1].raw_size}, "
            f"rawDataOffset: {image.sections[-1].raw_offset}") in result.log_text


def test_a_launcher_signed_after_building_starts_its_application(tmp_path, application):
    payload = tmp_path / "payload.bin"
    payload.write_bytes(bytes(range(256)) * 64)
    app = App(tmp_path / "app", application, includes={"payload.bin": payload})
    key, cert = tmp_path / "key.pem", tmp_path / "cert.pem"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                    str(key), "-out", str(cert), "-days", "1", "-subj", "/CN=tesmo test"],
                   check=True, capture_output=True)
    unsigned = app.exe.with_name("unsigned.exe")
    app.exe.rename(unsigned)
    subprocess.run(["osslsigncode", "sign", "-certs", str(cert), "-key", str(key), "-in",
                    str(unsigned), "-out", str(app.exe)], check=True, capture_output=True)

    result = app.run()
    assert result.exit_code == 0, result.stderr
    [temp] = [o.split("=", 1)[1] for o in result.record["options"]
              if o.startswith("-Dtesmo.tempDir=")]
    extracted = rig.windows_to_unix(temp)
    assert (extracted / "payload.bin").read_bytes() == payload.read_bytes()
    shutil.rmtree(extracted)


def test_an_executable_that_cannot_be_opened(tmp_path, display):
    exe = build_launcher(tmp_path, SETTINGS)
    result = run_launcher(exe, box="ok", env={"TESMO_LOG": "yes"}, before_start=exe.unlink)
    assert result.exit_code == 1
    log_path = unix_to_windows(result.log_files[0])
    assert (result.box["title"], result.box["text"]) == ("", f"{OPEN_FAILURE}\n\nLog: {log_path}")
    assert f"ERROR: Could not open {unix_to_windows(exe)}" in result.log_text.splitlines()


def cut(exe, primitive):
    """``exe`` cut inside the first narrow, or the last wide, record's length."""
    data = exe.read_bytes()
    lengths = [field for field in hostile.block_fields(data, read_image(exe).end)
               if field.primitive == primitive]
    exe.write_bytes(data[:(lengths[0] if primitive == "readString" else lengths[-1]).offset + 2])


# The title is the configured one once the narrow records have been read.
@pytest.mark.parametrize("primitive, title", [("readString", ""), ("readWString", TITLE)])
def test_a_cut_block_in_a_box(tmp_path, display, primitive, title):
    exe = build_launcher(tmp_path, SETTINGS, wide={1005: "wide text"},
                         locale_sets={"de": {1000: "Fehler"}, "fr": {1000: "Erreur"}})
    cut(exe, primitive)
    result = run_launcher(exe, box="ok")
    assert result.exit_code == 1
    assert (result.box["title"], result.box["text"], result.box["buttons"]) == (
        title, f"Internal Error: {primitive}", ["OK"])


def test_a_title_outside_ascii_goes_through_the_code_page_like_the_text(tmp_path, display):
    # Under the Cyrillic code page these bytes are "Дан"; taken byte by byte, "Äàí".
    narrow = bytes([0xC4, 0xE0, 0xED])
    exe = build_launcher(tmp_path, {**SETTINGS, 1000: narrow, 1016: narrow})
    result = run_launcher(exe, box="ok", lang="ru_RU.UTF-8")
    assert result.exit_code == NO_RUNTIME
    assert (result.box["title"], result.box["text"]) == ("Дан", "Дан")
