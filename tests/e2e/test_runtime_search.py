"""Finding a runtime with the real launcher: the preferred-location file, the version cache in
the real registry, and each search entry's message for a runtime it cannot use."""

import pytest

import runtimes
from rig import NO_RUNTIME, build_launcher, run_launcher, unix_to_windows
from runtimes import LOADED, make_runtime

NOT_STARTED = "The JVM could not be started."
NO_JVM = "No JVM could be found on your system.\nPlease define TESMO_JAVA_HOME\nto point to an " \
         "installed {0}-bit JDK or JRE"
# Key 107 absent: a console-type launcher, whose messages go to standard error.
BASE = {101: "search tests", 1005: NOT_STARTED, 1016: NO_JVM,
        1018: "The {0} environment variable does not\npoint to a working 64-bit JDK or JRE.",
        1020: "The JVM found at {0} is damaged."}


def test_version_cache_spares_the_probe_until_java_exe_changes(tmp_path):
    jre = make_runtime(tmp_path / "app" / "jre", "jre8", version="1.8.0_201")
    exe = build_launcher(tmp_path / "app", {**BASE, 128: "B.\\jre"})
    for version, source, probes in [("1.8.0_201", "execution", 1), ("1.8.0_201", "registry", 1),
                                    ("1.8.0_202", "execution", 2)]:
        if version != "1.8.0_201":
            jre.set_banner(version=version)
            jre.touch()
        result = run_launcher(exe, env={"TESMO_LOG": "yes"})
        assert result.exit_code == LOADED
        assert f"got version from {source} {version}" in result.log_text.splitlines()
        assert len(jre.invocations()) == probes


@pytest.mark.parametrize("entry, messages", [
    ("B.\\none;EJAVA_HOME", [NO_JVM.format(64)]),
    ("B.\\jre", ["The JVM found at .\\jre is damaged.", NOT_STARTED]),
    ("EMY_JAVA", [BASE[1018].format("MY_JAVA"), NOT_STARTED]),
    ("S", [NO_JVM.format(64), NOT_STARTED]),
    # The catalogue's runtimes are not named: only the closing message.
    ("Y", [NOT_STARTED]),
])
def test_message_by_the_entry_that_found_an_unusable_runtime(tmp_path, entry, messages):
    jre = make_runtime(tmp_path / "app" / "jre", "jre8", jvm="junk")
    runtimes.add_located("HKCU", [jre.java])
    result = run_launcher(build_launcher(tmp_path / "app", {**BASE, 128: entry}),
                          env={"JAVA_HOME": None, "MY_JAVA": jre.home_windows,
                               "PATH": f"C:\\windows\\system32;{unix_to_windows(jre.bin)}"})
    assert result.exit_code == NO_RUNTIME
    assert result.stderr == "".join(text.replace("\n", "\r\n") + "\r\n" for text in messages)
