"""Loading the chosen runtime's jvm.dll into the real launcher: the VM folders it tries,
PATH as the library and later child processes see it, and the messages when the library
cannot be used."""

import pytest

import runtimes
from rig import NO_RUNTIME, build_launcher, run_launcher, unix_to_windows
from runtimes import LOADED, make_runtime

BASE = {101: "loading tests", 1005: "The JVM could not be started.",
        1016: "No {0}-bit JVM.", 1018: "Variable {0} is no 64-bit JVM.",
        1020: "The JVM found at {0} is damaged."}
LOG = {"TESMO_LOG": "yes"}


def lines(result):
    return result.log_text.splitlines()


def lowered(path):
    return unix_to_windows(path).lower()


def record_value(runtime, name):
    values = [line.split("=", 1)[1] for line in runtime.jvm_record() if line.startswith(name + "=")]
    assert len(values) == 1, runtime.jvm_record()
    return values[0]


def run(tmp_path, settings, runtime_home, env=None):
    exe = build_launcher(tmp_path / "app", {**BASE, 128: "EMY_JAVA", **settings})
    return run_launcher(exe, env={**LOG, "MY_JAVA": runtime_home, **(env or {})})


class TestVmFolders:
    @pytest.mark.parametrize("preferred, present, tried", [
        ("", "client", ["hotspot", "client"]),
        ("", "jrockit", ["hotspot", "client", "server", "classic", "jrockit"]),
        ("server", "classic", ["server", "hotspot", "client", "server", "classic"]),
        ("myvm", "myvm", ["myvm"]),
    ])
    def test_order(self, tmp_path, preferred, present, tried):
        jre = make_runtime(tmp_path / "jre", "jre8", vm=present)
        result = run(tmp_path, {152: preferred}, jre.home_windows)
        assert result.exit_code == LOADED
        bin_dir = lowered(jre.bin)
        attempts = [line for line in lines(result)
                    if line.startswith("Trying ") and not line.startswith("Trying to load")]
        assert attempts == [f"Trying {bin_dir}\\{vm}\\jvm.dll (exists {int(vm == present)})"
                            for vm in tried]

    def test_development_kit_launcher_reaches_the_embedded_runtime(self, tmp_path):
        jdk = make_runtime(tmp_path / "jdk", "jdk8")
        kit_bin = jdk.home / "bin"
        exe = build_launcher(tmp_path / "app", {**BASE, 128: "S"})
        original = f"C:\\windows\\system32;{unix_to_windows(kit_bin)}"
        result = run_launcher(exe, env={**LOG, "PATH": original})
        assert result.exit_code == LOADED
        log = lines(result)
        kit = lowered(kit_bin)
        embedded = f"{kit}\\..\\jre\\bin"
        assert f"Setting PATH {original};{kit}" in log
        # The kit's own folders fail, PATH goes back, the embedded runtime is tried next.
        assert log.index(f"Setting PATH {original}") < log.index(
            f"Trying {embedded}\\hotspot\\jvm.dll (exists 0)")
        assert record_value(jdk, "PATH") == f"{original};{embedded}"


class TestPath:
    def test_bin_folder_is_appended_for_the_library_and_the_c_runtime(self, tmp_path):
        jre = make_runtime(tmp_path / "jre", "jre8")
        result = run(tmp_path, {}, jre.home_windows, env={"PATH": "C:\\windows\\system32"})
        expected = f"C:\\windows\\system32;{lowered(jre.bin)}"
        assert f"Setting PATH {expected}" in lines(result)
        assert record_value(jre, "PATH") == expected
        # Programs started through the C runtime read its copy.
        assert record_value(jre, "CRT_PATH") == expected

    def test_a_long_path_is_kept_whole(self, tmp_path):
        jre = make_runtime(tmp_path / "jre", "jre8")
        long_path = "C:\\windows\\system32;" + ";".join(f"C:\\tools\\t{i:05}" for i in range(1500))
        assert len(long_path) > 18000
        result = run(tmp_path, {}, jre.home_windows, env={"PATH": long_path})
        assert result.exit_code == LOADED
        assert record_value(jre, "PATH") == f"{long_path};{lowered(jre.bin)}"

    def test_failed_load_restores_path(self, tmp_path):
        jre = make_runtime(tmp_path / "jre", "jre8", jvm="none")
        result = run(tmp_path, {}, jre.home_windows, env={"PATH": "C:\\windows\\system32"})
        setting = [line for line in lines(result) if line.startswith("Setting PATH")]
        assert setting[-1] == "Setting PATH C:\\windows\\system32"


class TestUnusableLibrary:
    @pytest.mark.parametrize("jvm, error_logged", [
        ("junk", True), ("other-bits", True), ("none", False), ("noexport", False)])
    def test_messages_by_the_runtimes_source(self, tmp_path, jvm, error_logged):
        jre = make_runtime(tmp_path / "jre", "jre8", jvm=jvm)
        result = run(tmp_path, {}, jre.home_windows)
        assert result.exit_code == NO_RUNTIME
        log = lines(result)
        # A library that is there but not loadable names the system's reason.
        assert any(line.startswith("Failed with error code ") for line in log) == error_logged
        errors = [line for line in log if line.startswith("ERROR: ")]
        if jvm == "noexport":
            assert errors == ["ERROR: Could not load functions"]
        else:
            assert errors == ["ERROR: Could not get DLL-Handle.", "ERROR: Could not load functions"]
        log_suffix = f"\r\n\r\nLog: {unix_to_windows(result.log_files[0])}\r\n"
        assert result.stderr == (f"Variable MY_JAVA is no 64-bit JVM.{log_suffix}"
                                 f"The JVM could not be started.{log_suffix}")

    def test_other_architecture_is_reported_as_a_bad_image(self, tmp_path):
        jre = make_runtime(tmp_path / "jre", "jre8", jvm="other-bits")
        result = run(tmp_path, {}, jre.home_windows)
        assert f"Trying {lowered(jre.jvm_dll)} (exists 1)" in lines(result)
        assert "Failed with error code 193" in lines(result)

    def test_location_message_names_the_location(self, tmp_path):
        make_runtime(tmp_path / "app" / "jre", "jre8", jvm="junk")
        exe = build_launcher(tmp_path / "app", {**BASE, 128: "B.\\jre"})
        result = run_launcher(exe)
        assert result.exit_code == NO_RUNTIME
        assert result.stderr == ("The JVM found at .\\jre is damaged.\r\n"
                                 "The JVM could not be started.\r\n")

    def test_system_search_message_names_the_word_size(self, tmp_path):
        jre = make_runtime(tmp_path / "jre", "jre8", jvm="junk")
        exe = build_launcher(tmp_path / "app", {**BASE, 128: "S"})
        result = run_launcher(exe, env={"PATH": f"C:\\windows;{unix_to_windows(jre.bin)}"})
        assert result.stderr == "No 64-bit JVM.\r\nThe JVM could not be started.\r\n"

    def test_registry_runtime_shows_only_the_last_message(self, tmp_path):
        jre = make_runtime(tmp_path / "jre", "jre8", jvm="junk")
        runtimes.add_located("HKCU", [jre.java])
        exe = build_launcher(tmp_path / "app", {**BASE, 128: "Y"})
        result = run_launcher(exe)
        assert result.exit_code == NO_RUNTIME
        assert result.stderr == "The JVM could not be started.\r\n"

    def test_box_per_message(self, tmp_path, display):
        jre = make_runtime(tmp_path / "jre", "jre8", jvm="junk")
        exe = build_launcher(tmp_path / "app", {**BASE, 1000: "Loading", 107: 1, 128: "EMY_JAVA"})
        result = run_launcher(exe, box="ok", env={"MY_JAVA": jre.home_windows})
        assert result.exit_code == NO_RUNTIME
        assert [(box["title"], box["text"]) for box in result.boxes] == [
            ("Loading", "Variable MY_JAVA is no 64-bit JVM."),
            ("Loading", "The JVM could not be started.")]


class TestShipped32BitLauncher:
    MESSAGES = {1017: "Variable {0} is no 32-bit JVM.", 1019: "The JVM at {0} is no 32-bit JVM.",
                1016: "No {0}-bit JVM."}

    @pytest.mark.parametrize("jvm, code, stderr", [
        ("ok", LOADED, None),
        ("other-bits", NO_RUNTIME,
         "Variable MY_JAVA is no 32-bit JVM.\r\nThe JVM could not be started.\r\n"),
    ])
    def test_loads_only_32_bit_libraries(self, tmp_path, wine32_available, jvm, code, stderr):
        # The probe's own word size does not matter; a 64-bit java.exe keeps it quick.
        jre = make_runtime(tmp_path / "jre", "jre8", bits=32, java_bits=64, jvm=jvm)
        exe = build_launcher(tmp_path / "app", {**BASE, **self.MESSAGES, 128: "EMY_JAVA"},
                             bits=32)
        result = run_launcher(exe, env={"MY_JAVA": jre.home_windows}, timeout=300)
        assert result.exit_code == code
        if stderr is not None:
            assert result.stderr == stderr
        loaded = [line for line in jre.jvm_record() if line.startswith("loaded=")]
        assert loaded == ([f"loaded={lowered(jre.jvm_dll)}"] if jvm == "ok" else [])
