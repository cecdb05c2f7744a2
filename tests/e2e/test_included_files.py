"""Files carried behind the configuration block: extracted into the launcher's own temporary
directory before the runtime is searched, and removed again on every failure exit."""

import pytest

from pe import read_image
from rig import NO_RUNTIME, build_launcher, read_block, run_launcher, unix_to_windows, windows_to_unix

BASE = {101: "included files", 1009: "An internal error occurred (error code: {0})"}
JAR = b"PK" + bytes(range(256)) * 30
FILES = {"app.jar": JAR, "lib\\native.dll": b"MZ" + b"\x00" * 6001, "empty.txt": b""}


def run(tmp_path, files=FILES, damage=None):
    # The result and the temporary directories it logged.
    for name, content in files.items():
        (tmp_path / name.replace("\\", "_")).write_bytes(content)
    exe = build_launcher(tmp_path / "app", BASE,
                         includes={name: tmp_path / name.replace("\\", "_") for name in files})
    if damage:
        exe.write_bytes(damage(exe, exe.read_bytes()))
    result = run_launcher(exe, args=["-q_kvn_internal"], env={"TESMO_LOG": "yes"})
    return result, [windows_to_unix(line[len("Temp dir: "):])
                    for line in result.log_text.splitlines() if line.startswith("Temp dir: ")]


def test_extracted_before_the_search_and_removed_on_the_failure_exit(tmp_path):
    result, [directory] = run(tmp_path)
    assert result.exit_code == NO_RUNTIME
    target = unix_to_windows(directory)
    # All of them before the runtime search; the order within is the native table's.
    lines = result.log_text.splitlines()
    assert lines.index("extracting files done") < lines.index("LoadDLL (1, (null), 0)")
    assert f"extracting {target}\\lib\\native.dll (size: 6003)" in lines
    assert not directory.exists()


def escaping_name(exe, data):
    # The block tool refuses a name that leaves the directory; a hostile block has one.
    at = data.index(b"lib\\native.dll", read_image(exe).end)
    return data[:at] + b"..\\..\\evil.dll" + data[at + 14:]


@pytest.mark.parametrize("damage, message", [
    (lambda exe, data: data[:read_block(exe).end + 8 + 100],  # inside the first file
     "An internal error occurred (error code: 16)"),
    (lambda exe, data: data[:read_block(exe).end + 8 + len(JAR) + 3],  # inside the second size
     "Internal Error: readLong"),
    # Which names leave is the native table's; a refused one stops before any directory.
    (escaping_name, "An internal error occurred (error code: 11)"),
], ids=["cut-file", "cut-size", "escaping-name"])
def test_a_damaged_executable_ends_with_its_message_and_leaves_no_directory(tmp_path, damage,
                                                                            message):
    result, directories = run(tmp_path, damage=damage)
    assert result.exit_code == 1
    [log] = result.log_files
    assert result.stderr.replace("\r\n", "\n") == f"{message}\n\nLog: {unix_to_windows(log)}\n"
    assert len(directories) == (damage is not escaping_name)
    assert not any(directory.exists() for directory in directories)
