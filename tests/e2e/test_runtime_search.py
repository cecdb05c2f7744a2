"""Finding a Java runtime with the real launcher: the preferred-location file, the version
cache in the real registry, and the message each kind of search entry gives when its
runtime cannot be used. The order of the search is decided natively."""

import pytest

import runtimes
from rig import NO_RUNTIME, build_launcher, run_launcher, unix_to_windows
from runtimes import LOADED, make_runtime

NOT_STARTED = "The JVM could not be started.\n"
# Key 107 absent: a console-type launcher, whose messages go to standard error.
BASE = {101: "search tests", 1005: NOT_STARTED.rstrip(),
        1016: "No JVM could be found on your system.\nPlease define TESMO_JAVA_HOME\nto point "
              "to an installed {0}-bit JDK or JRE",
        1018: "The {0} environment variable does not\npoint to a working 64-bit JDK or JRE.",
        1020: "The JVM found at {0} is damaged."}
LOG = {"TESMO_LOG": "yes"}


def launcher(app, settings):
    return build_launcher(app, {**BASE, **settings})


def test_preferred_location_file_comes_before_the_sequence(tmp_path):
    app = tmp_path / "app"
    beside = make_runtime(app / "jre", "jre8")
    preferred = make_runtime(tmp_path / "preferred jre", "jre8", version="1.8.0_300")
    (app / "inst" / ".korvane").mkdir(parents=True)
    (app / "inst" / ".korvane" / "pref_jre.cfg").write_bytes(
        preferred.home_windows.encode("cp1252") + b"\r\nsecond line\r\n")
    result = run_launcher(launcher(app, {128: "B.\\jre", 10003: "inst"}), env=LOG)
    assert result.exit_code == LOADED
    log = result.log_text.splitlines()
    assert f"Has preferred location {preferred.home_windows}" in log
    assert not [line for line in log if line.startswith("Searching for a JVM6")]
    assert preferred.jvm_record() and not beside.jvm_record()


def test_version_cache_spares_the_probe_until_java_exe_changes(tmp_path):
    jre = make_runtime(tmp_path / "app" / "jre", "jre8", version="1.8.0_201")
    exe = launcher(tmp_path / "app", {128: "B.\\jre"})
    key = runtimes.cache_key_name(jre.java)
    for version, source, probes in [("1.8.0_201", "execution", 1), ("1.8.0_201", "registry", 1),
                                    ("1.8.0_202", "execution", 2)]:
        if version != "1.8.0_201":
            jre.set_banner(version=version)
            jre.touch()
        result = run_launcher(exe, env=LOG)
        assert result.exit_code == LOADED
        assert f"got version from {source} {version}" in result.log_text.splitlines()
        assert len(jre.invocations()) == probes
        assert runtimes.cached_versions()[key] == (runtimes.filetime_bytes(jre.java), version)


@pytest.mark.parametrize("entry, where, message", [
    ("B.\\none;EJAVA_HOME", None, BASE[1016].format(64)),
    ("B.\\jre", "app", "The JVM found at .\\jre is damaged.\n" + NOT_STARTED),
    ("EMY_JAVA", "variable", BASE[1018].format("MY_JAVA") + "\n" + NOT_STARTED),
    ("S", "path", BASE[1016].format(64) + "\n" + NOT_STARTED),
    # The catalogue's runtimes are not named: only the closing message.
    ("Y", "registry", NOT_STARTED),
])
def test_message_by_the_entry_that_found_an_unusable_runtime(tmp_path, entry, where, message):
    app = tmp_path / "app"
    app.mkdir()
    jre = make_runtime((app if where == "app" else tmp_path) / "jre", "jre8", jvm="junk")
    if where == "registry":
        runtimes.add_located("HKCU", [jre.java])
    result = run_launcher(launcher(app, {128: entry}),
                          env={"JAVA_HOME": None, "MY_JAVA": jre.home_windows,
                               "PATH": f"C:\\windows\\system32;{unix_to_windows(jre.bin)}"})
    assert result.exit_code == NO_RUNTIME
    assert result.stderr == message.rstrip("\n").replace("\n", "\r\n") + "\r\n"
