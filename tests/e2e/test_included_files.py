"""Files carried behind the configuration block: extracted into the launcher's own
temporary directory before the runtime is searched, and removed again on every exit
that goes through a failure."""

import pytest

from pe import read_image
from rig import NO_RUNTIME, build_launcher, read_block, run_launcher, unix_to_windows, windows_to_unix

BASE = {101: "included files", 1009: "An internal error occurred (error code: {0})"}
LOG = {"TESMO_LOG": "yes"}
JAR = b"PK" + bytes(range(256)) * 30


def temp_directories(result):
    return [windows_to_unix(line[len("Temp dir: "):]) for line in result.log_text.splitlines()
            if line.startswith("Temp dir: ")]


def launcher(tmp_path, names=("app.jar", "lib\\native.dll", "empty.txt")):
    contents = {"app.jar": JAR, "lib\\native.dll": b"MZ" + b"\x00" * 6001, "empty.txt": b""}
    includes = {}
    for name in names:
        path = tmp_path / "payload" / name.replace("\\", "_")
        path.parent.mkdir(exist_ok=True)
        path.write_bytes(contents.get(name, b"data"))
        includes[name] = path
    return build_launcher(tmp_path / "app", BASE, includes=includes)


def test_extracted_before_the_search_and_removed_on_the_failure_exit(tmp_path):
    result = run_launcher(launcher(tmp_path), env=LOG)
    assert result.exit_code == NO_RUNTIME
    log = result.log_text.splitlines()
    [directory] = temp_directories(result)
    target = unix_to_windows(directory)
    # Extraction, each directory before its file, and then the runtime search.
    steps = [line for line in log if line.startswith(("extracting", "creating", "LoadDLL"))]
    assert steps[:steps.index("LoadDLL (1, (null), 0)") + 1] == [
        "extracting files", f"extracting {target}\\app.jar (size: 7682)",
        f"creating directory {target}\\lib", f"extracting {target}\\lib\\native.dll (size: 6003)",
        f"extracting {target}\\empty.txt (size: 0)", "extracting files done",
        "LoadDLL (1, (null), 0)"]
    assert f"attempting to remove {target}\\lib (1)" in log
    assert not directory.exists()

    nothing = run_launcher(launcher(tmp_path / "none", names=()), env=LOG)
    assert "Included files: 0" in nothing.log_text.splitlines()
    assert temp_directories(nothing) == []


@pytest.mark.parametrize("cut, message", [
    (8 + 100, "An internal error occurred (error code: 16)"),  # inside the first file
    (8 + len(JAR) + 3, "Internal Error: readLong"),  # inside the second size field
])
def test_a_cut_executable_ends_with_its_message_and_removes_the_directory(tmp_path, cut,
                                                                           message):
    exe = launcher(tmp_path)
    exe.write_bytes(exe.read_bytes()[:read_block(exe).end + cut])
    result = run_launcher(exe, args=["-q_kvn_internal"], env=LOG)
    assert result.exit_code == 1
    assert result.stderr.startswith(message)
    [directory] = temp_directories(result)
    assert not directory.exists()


def test_a_name_that_leaves_the_directory_is_refused_before_writing(tmp_path):
    # Which names leave is the native name check's table; here, that a refused one
    # stops the launch before anything is written. The block tool refuses such names,
    # so a safe name of the same length is changed in place, as a hostile block has it.
    name = "..\\evil.dll"
    exe = launcher(tmp_path, names=("x" * len(name),))
    data = exe.read_bytes()
    at = data.index(b"x" * len(name), read_image(exe).end)
    exe.write_bytes(data[:at] + name.encode("ascii") + data[at + len(name):])
    result = run_launcher(exe, args=["-q_kvn_internal"], env=LOG)
    assert result.exit_code == 1
    assert result.stderr.startswith("An internal error occurred (error code: 11)")
    assert (f"ERROR: included file name {name} leaves the temporary directory"
            in result.log_text.splitlines())
    assert temp_directories(result) == []
    assert not (tmp_path / "evil.dll").exists()
