"""Finding a Java runtime with the real launcher: the order of the search, what each kind
of entry does, the installation check with its version cache, and the words of the
messages when nothing fits."""

import pytest

import runtimes
from rig import NO_RUNTIME, build_launcher, run_launcher, unix_to_windows
from runtimes import LOADED, make_runtime

MESSAGES = {
    1000: "Search tests",
    1005: "The JVM could not be started.",
    1016: "No JVM could be found on your system.\nPlease define TESMO_JAVA_HOME\nto point "
          "to an installed {0}-bit JDK or JRE",
    1018: "The {0} environment variable does not\npoint to a working 64-bit JDK or JRE.",
    1020: "The JVM found at {0} is damaged.",
}
# Key 107 absent: a console-type launcher, whose messages go to standard error.
BASE = {101: "search tests", **MESSAGES}
LOG = {"TESMO_LOG": "yes"}


def text(value):
    """A message as it reaches standard error, through a text-mode stream."""
    return value.replace("\n", "\r\n")


def lines(result):
    return result.log_text.splitlines()


def checked(result):
    """The executables the check was asked about, in order."""
    prefix = "checkJavaExe ("
    return [line[len(prefix):line.index(", [out]")] for line in lines(result)
            if line.startswith(prefix)]


def lowered(path):
    return unix_to_windows(path).lower()


@pytest.fixture
def app(tmp_path):
    directory = tmp_path / "app"
    directory.mkdir()
    return directory


def launcher(app, settings):
    return build_launcher(app, {**BASE, **settings})


class TestSearchOrder:
    def test_runtime_beside_the_executable(self, app):
        jre = make_runtime(app / "jre", "jre8")
        result = run_launcher(launcher(app, {128: "B.\\jre;Y"}), env=LOG)
        assert result.exit_code == LOADED, result.stderr
        log = lines(result)
        assert "Searching for a JVM6 .\\jre 5" in log
        assert "Testing location .\\jre (type B)" in log
        assert f"Trying to load JVM-DLL from {lowered(jre.java)}" in log
        assert "Loading of JVM-DLL successful" in log
        assert jre.jvm_record()[0] == f"loaded={lowered(jre.jvm_dll)}"
        assert len(jre.invocations()) == 1

    def test_preferred_location_file_comes_before_the_sequence(self, app, tmp_path):
        beside = make_runtime(app / "jre", "jre8")
        preferred = make_runtime(tmp_path / "preferred jre", "jre8", version="1.8.0_300")
        (app / "inst" / ".korvane").mkdir(parents=True)
        (app / "inst" / ".korvane" / "pref_jre.cfg").write_bytes(
            preferred.home_windows.encode("cp1252") + b"\r\nsecond line\r\n")
        result = run_launcher(launcher(app, {128: "B.\\jre", 10003: "inst"}), env=LOG)
        assert result.exit_code == LOADED
        log = lines(result)
        assert f"Has preferred location {preferred.home_windows}" in log
        assert "Using preferred location" in log
        assert not [line for line in log if line.startswith("Searching for a JVM6")]
        assert preferred.jvm_record() and not beside.jvm_record()

    def test_fallback_location_names_the_damaged_runtime(self, app):
        make_runtime(app / "jre", "jre8", version="1.6.0_45", jvm="none")
        result = run_launcher(launcher(app, {128: "B.\\jre", 126: "1.8"}))
        assert result.exit_code == NO_RUNTIME
        assert result.stderr == "The JVM found at .\\jre is damaged.\r\n" \
                                "The JVM could not be started.\r\n"

    def test_environment_entry_that_cannot_load_names_the_variable(self, app, tmp_path):
        jre = make_runtime(tmp_path / "jre8", "jre8", jvm="junk")
        result = run_launcher(launcher(app, {128: "EMY_JAVA"}), env={"MY_JAVA": jre.home_windows})
        assert result.exit_code == NO_RUNTIME
        assert result.stderr == text(MESSAGES[1018].replace("{0}", "MY_JAVA")) + "\r\n" + \
            "The JVM could not be started.\r\n"

    def test_system_search_uses_path(self, app, tmp_path):
        jre = make_runtime(tmp_path / "on path", "jre8")
        result = run_launcher(launcher(app, {128: "S"}),
                              env={**LOG, "PATH": f"C:\\windows\\system32;{unix_to_windows(jre.bin)}"})
        assert result.exit_code == LOADED
        assert "Testing location  (type S)" in lines(result)
        assert checked(result) == [jre.java_windows]

    def test_nothing_found_ends_with_the_fixed_variables(self, app):
        result = run_launcher(launcher(app, {128: "B.\\none;EJAVA_HOME"}),
                              env={**LOG, "JAVA_HOME": None})
        assert result.exit_code == NO_RUNTIME
        log = lines(result)
        assert log[-3:] == ["Search sequence finished", "ERROR: No JVM found",
                            "Hiding splash screen"]
        expected = text(MESSAGES[1016].replace("{0}", "64"))
        assert result.stderr == f"{expected}\r\n\r\nLog: {unix_to_windows(result.log_files[0])}\r\n"

    def test_nothing_found_box(self, app, display):
        result = run_launcher(launcher(app, {128: "B.\\none", 107: 1}), box="ok")
        assert result.exit_code == NO_RUNTIME
        assert result.box["title"] == "Search tests"
        assert result.box["text"] == MESSAGES[1016].replace("{0}", "64")
        assert len(result.boxes) == 1

class TestInstallationCheck:
    def test_version_cache_spares_the_second_probe(self, app):
        jre = make_runtime(app / "jre", "jre8", version="1.8.0_201")
        exe = launcher(app, {128: "B.\\jre"})
        first = run_launcher(exe, env=LOG)
        assert "got version from execution 1.8.0_201" in lines(first)
        key = runtimes.cache_key_name(jre.java)
        assert runtimes.cached_versions()[key] == (runtimes.filetime_bytes(jre.java), "1.8.0_201")

        second = run_launcher(exe, env=LOG)
        assert second.exit_code == LOADED
        assert "got version from registry 1.8.0_201" in lines(second)
        assert len(jre.invocations()) == 1

        jre.set_banner(version="1.8.0_202")
        jre.touch()
        third = run_launcher(exe, env=LOG)
        assert "got version from execution 1.8.0_202" in lines(third)
        assert len(jre.invocations()) == 2
        assert runtimes.cached_versions()[key] == (runtimes.filetime_bytes(jre.java), "1.8.0_202")

    @pytest.mark.parametrize("banner, version", [
        (['openjdk version "17.0.15" 2025-04-15', "OpenJDK Runtime Environment"], "17.0.15"),
        (['java version "1.8.0_201"', "Java(TM) SE Runtime Environment"], "1.8.0_201"),
        (["Picked up JAVA_TOOL_OPTIONS: -Dfile.encoding=UTF-8",
          'openjdk version "21.0.2" 2024-01-16 LTS'], "21.0.2"),
        (["Picked up _JAVA_OPTIONS: -Xmx512m",
          "NOTE: Picked up JDK_JAVA_OPTIONS: --add-opens=java.base/java.lang=ALL-UNNAMED",
          'openjdk version "11.0.22" 2024-01-16'], "11.0.22"),
        (["Error occurred during initialization of VM", 'java version "1.8.0_201"'], None),
        (["Picked up SOMETHING_ELSE: x", 'java version "1.8.0_201"'], None),
        ([], None),
    ])
    def test_version_from_the_banner(self, app, banner, version):
        make_runtime(app / "jre", "modern", banner=banner)
        result = run_launcher(launcher(app, {128: "B.\\jre", 126: "1.1"}), env=LOG)
        if version is None:
            assert "couldn't get version" in lines(result)
            assert result.exit_code == LOADED  # the fallback pass takes it all the same
        else:
            assert f"Java version: {version}" in lines(result)
            assert "checkJavaExe returning 1" in lines(result)

    @pytest.mark.parametrize("entry, prerelease_key, accepted", [
        ("EMY_JAVA", 0, False), ("EMY_JAVA", 1, True), ("B{home}", 0, True)])
    def test_prerelease_rule(self, app, tmp_path, entry, prerelease_key, accepted):
        jre = make_runtime(tmp_path / "ea", "jre8", version="1.8.0_20-ea")
        settings = {128: entry.format(home=jre.home_windows), 130: prerelease_key}
        result = run_launcher(launcher(app, settings), env={**LOG, "MY_JAVA": jre.home_windows})
        assert ("beta vm not allowed" in lines(result)) != accepted
        assert (result.exit_code == LOADED) == accepted

    @pytest.mark.parametrize("kind, accepted, executable", [("modern", True, "bin\\java.exe")])
    def test_development_kit_rule(self, app, tmp_path, kind, accepted, executable):
        home = make_runtime(tmp_path / kind, kind)
        result = run_launcher(launcher(app, {128: "EMY_JAVA", 131: 1}),
                              env={**LOG, "MY_JAVA": home.home_windows})
        assert (result.exit_code == LOADED) == accepted
        expected = [f"{home.home_windows}\\{executable}"] if executable else []
        assert checked(result) == expected

    @pytest.mark.parametrize("javaw", [True])
    def test_windowed_launcher_needs_javaw(self, app, tmp_path, javaw):
        jre = make_runtime(tmp_path / "jre", "jre8", javaw=javaw)
        result = run_launcher(launcher(app, {128: "EMY_JAVA", 107: 1}),
                              env={**LOG, "MY_JAVA": jre.home_windows})
        log = lines(result)
        assert f"checkJavaExe returning {int(javaw)}" in log
        if javaw:
            assert result.exit_code == LOADED
            assert f"Trying to load JVM-DLL from {lowered(jre.javaw)}" in log
        else:
            assert result.exit_code == NO_RUNTIME
