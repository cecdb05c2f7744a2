"""Loading the chosen runtime's jvm.dll into the real launcher: the VM folders on disk, PATH
as the library and its child processes see it, unusable libraries, the 32-bit launcher."""

import pytest

from rig import NO_RUNTIME, build_launcher, run_launcher, unix_to_windows
from runtimes import LOADED, make_runtime

SYSTEM = "C:\\windows\\system32"


def run(tmp_path, runtime, settings=None, env=None, bits=64):
    exe = build_launcher(tmp_path / "app", {1005: "The JVM could not be started.",
                                            1017: "Variable {0} is no 32-bit JVM.",
                                            128: "EMY_JAVA", **(settings or {})}, bits=bits)
    result = run_launcher(exe, env={"TESMO_LOG": "yes", "MY_JAVA": runtime.home_windows,
                                    "PATH": SYSTEM, **(env or {})}, timeout=300)
    return result, result.log_text.splitlines()


def record(runtime):
    return dict(line.split("=", 1) for line in runtime.jvm_record() if "=" in line)


def test_vm_folders_and_the_bin_folder_on_path_for_the_library_and_the_c_runtime(tmp_path):
    jre = make_runtime(tmp_path / "jre", "jre8", vm="jrockit")
    result, log = run(tmp_path, jre, {152: "server"})
    assert result.exit_code == LOADED
    bin_dir = unix_to_windows(jre.bin).lower()
    assert [line for line in log if line.startswith("Trying ") and "(exists " in line] == [
        f"Trying {bin_dir}\\{vm}\\jvm.dll (exists {int(vm == 'jrockit')})"
        for vm in ["server", "hotspot", "client", "server", "classic", "jrockit"]]
    # Programs started through the C runtime read its own copy.
    assert record(jre)["PATH"] == record(jre)["CRT_PATH"] == f"{SYSTEM};{bin_dir}"


def test_development_kit_launcher_reaches_the_embedded_runtime(tmp_path):
    jdk = make_runtime(tmp_path / "jdk", "jdk8")
    original = f"{SYSTEM};{unix_to_windows(jdk.home / 'bin')}"
    result, log = run(tmp_path, jdk, {128: "S"}, env={"PATH": original})
    assert result.exit_code == LOADED
    kit = unix_to_windows(jdk.home / "bin").lower()
    embedded = f"{kit}\\..\\jre\\bin"
    assert f"Setting PATH {original};{kit}" in log
    # The kit's own folders fail, PATH goes back, the embedded runtime is tried next.
    assert log.index(f"Setting PATH {original}") < log.index(
        f"Trying {embedded}\\hotspot\\jvm.dll (exists 0)")
    assert record(jdk)["PATH"] == f"{original};{embedded}"


@pytest.mark.parametrize("jvm, logged", [
    ("other-bits", ["Failed with error code 193", "ERROR: Could not get DLL-Handle."]),
    ("none", ["ERROR: Could not get DLL-Handle."]),
    ("noexport", [])])
def test_an_unusable_library_is_reported(tmp_path, jvm, logged):
    result, log = run(tmp_path, make_runtime(tmp_path / "jre", "jre8", jvm=jvm))
    assert result.exit_code == NO_RUNTIME
    # A library that is there but cannot be loaded names the system's reason.
    assert [line for line in log if line.startswith(("Failed with", "ERROR: "))] == [
        *logged, "ERROR: Could not load functions"]


def test_the_32_bit_launcher_refuses_a_64_bit_library(tmp_path, wine32_available):
    # The 32-bit wrapper-argument test loads a 32-bit one. The probe's own word size does not
    # matter; a 64-bit java.exe keeps it quick.
    jre = make_runtime(tmp_path / "jre", "jre8", bits=32, java_bits=64, jvm="other-bits")
    result, _ = run(tmp_path, jre, env={"TESMO_LOG": None}, bits=32)
    assert result.exit_code == NO_RUNTIME
    assert result.stderr == ("Variable MY_JAVA is no 32-bit JVM.\r\n"
                             "The JVM could not be started.\r\n")
