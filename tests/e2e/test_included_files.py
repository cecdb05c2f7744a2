"""Files carried behind the configuration block: extracted into the launcher's own
temporary directory before the runtime is searched, and removed again on every exit
that goes through a failure."""

import re

import pytest

from pe import read_image
from rig import NO_RUNTIME, build_launcher, read_block, run_launcher, unix_to_windows, windows_to_unix

BASE = {101: "included files", 1009: "An internal error occurred (error code: {0})"}
LOG = {"TESMO_LOG": "yes"}


def lines(result):
    return result.log_text.splitlines()


def temp_directory(result):
    [line] = [line for line in lines(result) if line.startswith("Temp dir: ")]
    return windows_to_unix(line[len("Temp dir: "):])


@pytest.fixture
def payload(tmp_path):
    files = {"app.jar": b"PK" + bytes(range(256)) * 30, "lib\\native.dll": b"MZ" + b"\x00" * 6001,
             "empty.txt": b""}
    paths = {}
    for name, content in files.items():
        path = tmp_path / "payload" / name.replace("\\", "_")
        path.parent.mkdir(exist_ok=True)
        path.write_bytes(content)
        paths[name] = path
    return paths


class TestWithoutRuntime:
    """No runtime: the launcher extracts, then ends with 83 through the failure exit."""

    def test_extracts_then_removes_everything_on_the_failure_exit(self, tmp_path, payload):
        exe = build_launcher(tmp_path / "app", BASE, includes=payload)
        result = run_launcher(exe, env=LOG)
        assert result.exit_code == NO_RUNTIME
        log = lines(result)
        directory = temp_directory(result)
        target = unix_to_windows(directory)
        assert log[log.index("extracting files") + 1] == "Included files: 3"
        assert f"creating directory {target}\\lib" in log
        assert f"extracting {target}\\app.jar (size: 7682)" in log
        assert f"extracting {target}\\lib\\native.dll (size: 6003)" in log
        assert f"extracting {target}\\empty.txt (size: 0)" in log
        assert "extracting files done" in log
        # Extraction comes before the runtime search.
        assert log.index("extracting files done") < log.index("LoadDLL (1, (null), 0)")
        assert not directory.exists()
        assert f"emptying {target}" in log
        assert f"attempting to remove {target}\\lib (1)" in log

    def test_nothing_to_extract_makes_no_directory(self, tmp_path):
        result = run_launcher(build_launcher(tmp_path / "app", BASE), env=LOG)
        log = lines(result)
        assert "Included files: 0" in log
        assert not [line for line in log if line.startswith("Temp dir: ")]

    def test_a_truncated_entry_ends_with_its_message(self, tmp_path, payload):
        exe = build_launcher(tmp_path / "app", BASE, includes=payload)
        data = exe.read_bytes()
        exe.write_bytes(data[:-7000])  # inside lib\native.dll
        result = run_launcher(exe, args=["-q_kvn_internal"], env=LOG)
        assert result.exit_code == 1
        assert result.stderr.startswith("An internal error occurred (error code: 16)")
        log = lines(result)
        assert any(re.match(r"ERROR: ReadFile failed 0 0 \d+", line) for line in log)
        assert any(line.startswith("ERROR: Failed to extract ") for line in log)
        assert not temp_directory(result).exists()

    def test_a_missing_size_field_ends_with_read_long(self, tmp_path, payload):
        exe = build_launcher(tmp_path / "app", BASE, includes=payload)
        # Cut inside the size field of the second entry.
        end = read_block(exe).end + 8 + len(payload["app.jar"].read_bytes()) + 3
        exe.write_bytes(exe.read_bytes()[:end])
        result = run_launcher(exe, args=["-q_kvn_internal"], env=LOG)
        assert result.exit_code == 1
        assert result.stderr.startswith("Internal Error: readLong")
        assert not temp_directory(result).exists()

    def test_a_name_that_leaves_the_directory_is_refused_before_writing(self, tmp_path):
        # Which names leave is the native name check's table; here, that a refused one
        # stops the launch before anything is written.
        name = "..\\evil.dll"
        # The block tool refuses such names, so a safe name of the same length is written
        # and then changed in place, as a damaged or hostile block would have it.
        safe = "x" * len(name)
        source = tmp_path / "payload.bin"
        source.write_bytes(b"data")
        exe = build_launcher(tmp_path / "app", BASE, includes={safe: source})
        data = exe.read_bytes()
        block = read_image(exe).end
        at = data.index(safe.encode("ascii"), block)
        exe.write_bytes(data[:at] + name.encode("ascii") + data[at + len(name):])
        result = run_launcher(exe, args=["-q_kvn_internal"], env=LOG)
        assert result.exit_code == 1
        assert result.stderr.startswith("An internal error occurred (error code: 11)")
        log = lines(result)
        assert f"ERROR: included file name {name} leaves the temporary directory" in log
        assert not [line for line in log if line.startswith("Temp dir: ")]
        assert not (tmp_path / "evil.dll").exists()
