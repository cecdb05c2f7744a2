"""Loading the chosen runtime's jvm.dll into the real launcher: the VM folders it tries on
disk, PATH as the library and later child processes see it, libraries that cannot be used,
and the real 32-bit launcher. The folder order and the messages are decided natively or
in the search's tests."""

import pytest

from rig import NO_RUNTIME, build_launcher, run_launcher, unix_to_windows
from runtimes import LOADED, make_runtime

BASE = {101: "loading tests", 1005: "The JVM could not be started.",
        1016: "No {0}-bit JVM.", 1017: "Variable {0} is no 32-bit JVM.",
        1018: "Variable {0} is no 64-bit JVM."}
SYSTEM = "C:\\windows\\system32"


def lines(result):
    return result.log_text.splitlines()


def lowered(path):
    return unix_to_windows(path).lower()


def record_value(runtime, name):
    values = [line.split("=", 1)[1] for line in runtime.jvm_record() if line.startswith(name + "=")]
    assert len(values) == 1, runtime.jvm_record()
    return values[0]


def run(tmp_path, settings, runtime, env=None, **options):
    exe = build_launcher(tmp_path / "app", {**BASE, 128: "EMY_JAVA", **settings})
    return run_launcher(exe, env={"TESMO_LOG": "yes", "MY_JAVA": runtime.home_windows,
                                  "PATH": SYSTEM, **(env or {})}, **options)


def test_preferred_vm_folder_first_then_the_fixed_order_until_one_exists(tmp_path):
    jre = make_runtime(tmp_path / "jre", "jre8", vm="jrockit")
    result = run(tmp_path, {152: "server"}, jre)
    assert result.exit_code == LOADED
    attempts = [line for line in lines(result)
                if line.startswith("Trying ") and not line.startswith("Trying to load")]
    assert attempts == [f"Trying {lowered(jre.bin)}\\{vm}\\jvm.dll (exists {int(vm == 'jrockit')})"
                        for vm in ["server", "hotspot", "client", "server", "classic", "jrockit"]]


def test_bin_folder_is_appended_for_the_library_and_the_c_runtime(tmp_path):
    jre = make_runtime(tmp_path / "jre", "jre8")
    result = run(tmp_path, {}, jre)
    expected = f"{SYSTEM};{lowered(jre.bin)}"
    assert f"Setting PATH {expected}" in lines(result)
    assert record_value(jre, "PATH") == expected
    # Programs started through the C runtime read its copy.
    assert record_value(jre, "CRT_PATH") == expected


def test_development_kit_launcher_reaches_the_embedded_runtime(tmp_path):
    jdk = make_runtime(tmp_path / "jdk", "jdk8")
    kit_bin = jdk.home / "bin"
    original = f"{SYSTEM};{unix_to_windows(kit_bin)}"
    result = run(tmp_path, {128: "S"}, jdk, env={"PATH": original})
    assert result.exit_code == LOADED
    log = lines(result)
    kit = lowered(kit_bin)
    embedded = f"{kit}\\..\\jre\\bin"
    assert f"Setting PATH {original};{kit}" in log
    # The kit's own folders fail, PATH goes back, the embedded runtime is tried next.
    assert log.index(f"Setting PATH {original}") < log.index(
        f"Trying {embedded}\\hotspot\\jvm.dll (exists 0)")
    assert record_value(jdk, "PATH") == f"{original};{embedded}"


@pytest.mark.parametrize("jvm, reason", [
    ("junk", "Failed with error code 193"), ("other-bits", "Failed with error code 193"),
    ("none", None), ("noexport", None)])
def test_an_unusable_library_is_reported(tmp_path, jvm, reason):
    jre = make_runtime(tmp_path / "jre", "jre8", jvm=jvm)
    result = run(tmp_path, {}, jre)
    assert result.exit_code == NO_RUNTIME
    log = lines(result)
    # A library that is there but not loadable names the system's reason.
    assert [line for line in log if line.startswith("Failed with error code ")] == (
        [reason] if reason else [])
    errors = [line for line in log if line.startswith("ERROR: ")]
    if jvm == "noexport":
        assert errors == ["ERROR: Could not load functions"]
    else:
        assert errors == ["ERROR: Could not get DLL-Handle.", "ERROR: Could not load functions"]
        setting = [line for line in log if line.startswith("Setting PATH")]
        assert setting[-1] == f"Setting PATH {SYSTEM}"


def test_a_windowed_launcher_shows_a_box_per_message(tmp_path, display):
    jre = make_runtime(tmp_path / "jre", "jre8", jvm="junk")
    result = run(tmp_path, {1000: "Loading", 107: 1}, jre, env={"TESMO_LOG": None}, box="ok")
    assert result.exit_code == NO_RUNTIME
    assert [(box["title"], box["text"]) for box in result.boxes] == [
        ("Loading", "Variable MY_JAVA is no 64-bit JVM."),
        ("Loading", "The JVM could not be started.")]


@pytest.mark.parametrize("jvm, code, stderr", [
    ("ok", LOADED, None),
    ("other-bits", NO_RUNTIME,
     "Variable MY_JAVA is no 32-bit JVM.\r\nThe JVM could not be started.\r\n"),
])
def test_the_32_bit_launcher_loads_only_32_bit_libraries(tmp_path, wine32_available, jvm, code,
                                                         stderr):
    # The probe's own word size does not matter; a 64-bit java.exe keeps it quick.
    jre = make_runtime(tmp_path / "jre", "jre8", bits=32, java_bits=64, jvm=jvm)
    exe = build_launcher(tmp_path / "app", {**BASE, 128: "EMY_JAVA"}, bits=32)
    result = run_launcher(exe, env={"MY_JAVA": jre.home_windows}, timeout=300)
    assert result.exit_code == code
    if stderr is not None:
        assert result.stderr == stderr
    loaded = [line for line in jre.jvm_record() if line.startswith("loaded=")]
    assert loaded == ([f"loaded={lowered(jre.jvm_dll)}"] if jvm == "ok" else [])
