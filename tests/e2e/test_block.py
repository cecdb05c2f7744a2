"""Finding and reading the configuration block of the real launcher, and how a reading
failure is told: the exact message, where it goes, and the exit code. One truncation per
primitive here; the mutants of test_hostile_inputs.py sweep the rest of the block."""

import shutil
import struct
import subprocess

import pytest

import rig
from pe import read_image
from rig import NO_RUNTIME, build_launcher, run_launcher, unix_to_windows
from test_vm_launch import App, application  # noqa: F401 (fixture)

TITLE = "Configured title"
SETTINGS = {101: "block tests", 107: 1, 1000: TITLE}
WIDE = {1005: "wide text"}
LOCALES = {"de": {1000: "Fehler"}, "fr": {1000: "Erreur"}}

OPEN_FAILURE = "Error opening media file. Please move this file to an ascii-only path like c:\\"
QUIET = "-q_kvn_internal"


def block_fields(data: bytes, start: int):
    """Every field of the block at ``start`` as (offset, end, primitive), in reading order,
    walked independently of the launcher's reader."""
    fields = []
    at = start

    def take(size, primitive):
        nonlocal at
        fields.append((at, at + size, primitive))
        at += size

    def counted(primitive):
        length = struct.unpack_from("<i", data, at)[0]
        take(4 + length, primitive)

    def count():
        value = struct.unpack_from("<i", data, at)[0]
        take(4, "readInt")
        return value

    for _ in range(3):
        take(4, "readInt")
    take(8, "readLong")
    for _ in range(count()):
        take(4, "readInt")
        counted("readString")
    for _ in range(count()):
        take(4, "readInt")
        counted("readWString")
    for _ in range(count()):
        counted("readString")
        for _ in range(count()):
            take(4, "readInt")
            counted("readWString")
    return fields


def truncated_copy(source, target, length):
    target.write_bytes(source.read_bytes()[:length])
    return target


@pytest.fixture
def launcher(tmp_path):
    return build_launcher(tmp_path, SETTINGS, wide=WIDE, locale_sets=LOCALES)


def quiet_message(result):
    return result.stderr.replace("\r\n", "\n").rstrip("\n")


class TestLocating:
    def test_log_shows_the_walk_to_the_block(self, tmp_path):
        exe = build_launcher(tmp_path, SETTINGS)
        image = read_image(exe)
        result = run_launcher(exe, env={"TESMO_LOG": "yes"})
        assert result.exit_code == NO_RUNTIME
        last = image.sections[-1]
        expected = [
            f"number of sections: {len(image.sections)}",
            f"size of optional headers: {image.optional_size}",
            f"resSectionTableStart: {image.last_section_table_entry}",
            f"rawDataSize: {last.raw_size}, rawDataOffset: {last.raw_offset}",
        ]
        lines = result.log_text.splitlines()
        assert lines[2:6] == expected

    def test_both_toolchains_end_in_a_section_other_than_the_resources(self):
        for bits in (64, 32):
            image = read_image(rig.launcher_stub(bits))
            names = [section.name for section in image.sections]
            assert ".rsrc" in names
            assert names[-1] != ".rsrc"

    def test_block_behind_resources_added_before_it(self, tmp_path):
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
        assert "language/country is" in result.log_text

    def test_a_launcher_signed_after_building_starts_its_application(self, tmp_path,
                                                                       application):
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
        verify = subprocess.run(["osslsigncode", "verify", "-CAfile", str(cert), "-in",
                                 str(app.exe)], capture_output=True, text=True)
        assert "Signature verification: ok" in verify.stdout
        assert app.exe.stat().st_size > unsigned.stat().st_size

        result = app.run()
        assert result.exit_code == 0, result.stderr
        assert [e["args"] for e in result.record["events"] if e["call"] == "main"]
        [temp] = [o.split("=", 1)[1] for o in result.record["options"]
                  if o.startswith("-Dtesmo.tempDir=")]
        extracted = rig.windows_to_unix(temp)
        assert (extracted / "payload.bin").read_bytes() == payload.read_bytes()
        shutil.rmtree(extracted)

    def test_the_shipped_32_bit_launcher_reads_its_block(self, tmp_path, wine32_available):
        exe = build_launcher(tmp_path, SETTINGS, wide=WIDE, locale_sets=LOCALES, bits=32)
        image = read_image(exe)
        result = run_launcher(exe, env={"TESMO_LOG": "yes"}, lang="de_DE.UTF-8", timeout=240)
        assert result.exit_code == NO_RUNTIME
        assert f"resSectionTableStart: {image.last_section_table_entry}" in result.log_text
        assert "language/country is de_DE" in result.log_text
        assert "working directory unchanged" in result.log_text.splitlines()


class TestReadingFailures:
    def test_an_executable_that_cannot_be_opened(self, tmp_path, display):
        exe = build_launcher(tmp_path, SETTINGS)
        result = run_launcher(exe, box="ok", env={"TESMO_LOG": "yes"},
                              before_start=exe.unlink)
        assert result.exit_code == 1
        log_path = unix_to_windows(result.log_files[0])
        assert result.box["title"] == ""
        assert result.box["text"] == f"{OPEN_FAILURE}\n\nLog: {log_path}"
        assert f"ERROR: Could not open {unix_to_windows(exe)}" in result.log_text.splitlines()

    def test_an_executable_that_cannot_be_opened_quietly(self, tmp_path):
        exe = build_launcher(tmp_path, SETTINGS)
        result = run_launcher(exe, args=[QUIET], before_start=exe.unlink)
        assert result.exit_code == 1
        assert quiet_message(result) == OPEN_FAILURE
        assert result.box is None

    def test_wrong_magic_shows_a_box_without_title(self, tmp_path, launcher, display):
        data = bytearray(launcher.read_bytes())
        data[read_image(launcher).end] ^= 0xFF
        launcher.write_bytes(bytes(data))
        result = run_launcher(launcher, box="ok")
        assert result.exit_code == 1
        assert result.box["title"] == ""
        assert result.box["text"] == "Internal Error: magic"
        assert result.box["buttons"] == ["OK"]

        quiet = run_launcher(launcher, args=[QUIET])
        assert quiet.exit_code == 1
        assert quiet_message(quiet) == "Internal Error: magic"
        assert quiet.stderr.endswith("\n")

    def test_a_stub_without_block(self, tmp_path):
        exe = tmp_path / "bare.exe"
        shutil.copy(rig.launcher_stub(64), exe)
        result = run_launcher(exe, args=[QUIET])
        assert result.exit_code == 1
        assert quiet_message(result) == "Internal Error: readInt"

    @pytest.mark.parametrize("primitive", ["readInt", "readLong", "readString", "readWString"])
    def test_truncation_inside_each_primitive(self, tmp_path, launcher, primitive, display):
        start = read_image(launcher).end
        fields = block_fields(launcher.read_bytes(), start)
        offset, end, _ = next(f for f in fields if f[2] == primitive and f[1] - f[0] > 2)
        cut = truncated_copy(launcher, tmp_path / "cut.exe", (offset + end) // 2)
        message = f"Internal Error: {primitive}"

        quiet = run_launcher(cut, args=[QUIET], env={"TESMO_LOG": "yes"})
        assert quiet.exit_code == 1
        [log] = quiet.log_files
        assert quiet_message(quiet) == f"{message}\n\nLog: {unix_to_windows(log)}"
        if primitive in ("readInt", "readLong"):
            assert "\nerror " in quiet.log_text

        boxed = run_launcher(cut, box="ok")
        assert boxed.exit_code == 1
        assert boxed.box["text"] == message
        # The title is the configured one once the narrow records have been read.
        assert boxed.box["title"] == (TITLE if primitive == "readWString" else "")

    def test_late_truncation_box_carries_the_configured_title(self, tmp_path, launcher,
                                                               display):
        start = read_image(launcher).end
        fields = block_fields(launcher.read_bytes(), start)
        offset, end, _ = [f for f in fields if f[2] == "readWString"][-1]
        cut = truncated_copy(launcher, tmp_path / "cut.exe", end - 1)
        result = run_launcher(cut, box="ok")
        assert result.exit_code == 1
        assert result.box == {**result.box, "title": TITLE,
                              "text": "Internal Error: readWString"}

    def test_a_title_outside_ascii_goes_through_the_code_page_like_the_text(self, tmp_path,
                                                                             display):
        # Under the Cyrillic code page these bytes are "Дан"; taken byte by byte, "Äàí".
        narrow = bytes([0xC4, 0xE0, 0xED])
        exe = build_launcher(tmp_path, {**SETTINGS, 1000: narrow, 1016: narrow})
        result = run_launcher(exe, box="ok", lang="ru_RU.UTF-8")
        assert result.exit_code == NO_RUNTIME
        assert (result.box["title"], result.box["text"]) == ("Дан", "Дан")

    def test_odd_wide_length_is_refused(self, tmp_path, launcher):
        start = read_image(launcher).end
        data = bytearray(launcher.read_bytes())
        offset, _, _ = next(f for f in block_fields(bytes(data), start) if f[2] == "readWString")
        length = struct.unpack_from("<i", data, offset)[0]
        struct.pack_into("<i", data, offset, length - 1)
        launcher.write_bytes(bytes(data))
        result = run_launcher(launcher, args=[QUIET])
        assert result.exit_code == 1
        assert quiet_message(result) == "Internal Error: readWString"
