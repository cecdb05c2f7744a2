"""Entry Y on the real launcher and registry: for each layout read, which runtimes are checked
in which order and which is loaded. The order within one layout is the native table's."""

import pytest

from rig import NO_RUNTIME, build_launcher, run_launcher
from runtimes import LOADED, make_runtime, register_javasoft, set_installations

MODERN_FALLBACK = ("no runtime under the old JavaSoft keys, trying SOFTWARE\\JavaSoft\\JDK "
                   "and SOFTWARE\\JavaSoft\\JRE")
FOUND = {"JavaSoft": "found sun ", "installed": "found JRE from previous installation "}
JRE, JDK = "JavaSoft/Java Runtime Environment", "JavaSoft/Java Development Kit"
HKCU_APP, HKLM_APP = "installed/HKCU/app", "installed/HKLM/app"
# Each runtime: where it is registered and its version (None: its probe fails); the settings;
# the runtimes checked in order, "fallback" where the modern keys are turned to; the last wins.
CASES = {
    "old-kit-higher": ({"runtime": (f"{JRE}/1.7", "1.7.0_51"), "kit": (f"{JDK}/1.8", "1.8.0_80")},
                       {}, ["kit"]),
    "installed-machine": ({"user": (HKCU_APP, None), "machine": (HKLM_APP, "1.8.0_40")},
                          {160: "app"}, ["fallback", "user", "machine"]),
    # The key's default value has the empty name: reading it would find a runtime.
    "installation-without-id": ({"user": ("installed/HKCU/", "1.8.0_30")}, {}, ["fallback"]),
    "modern-runtime": ({"modern": ("JavaSoft/JRE/17", "17.0.15")}, {}, ["fallback", "modern"]),
    # At equal versions the runtime would win, were its product not skipped for a kit.
    "modern-kit": ({"runtime": ("JavaSoft/JRE/17", "17.0.15"),
                    "kit": ("JavaSoft/JDK/17", "17.0.15")}, {131: 1}, ["fallback", "kit"]),
    # Refused by the strict and by the tolerant pass before the modern keys are read.
    "old-refused": ({"old": (f"{JRE}/1.8", "1.8.0_05"), "modern": ("JavaSoft/JDK/17", "17.0.15")},
                    {126: "1.8.0_100"}, ["old", "old", "fallback", "modern"]),
}


def register(where, runtime):
    layout, *place = where.split("/")
    if layout == "JavaSoft":
        register_javasoft(place[0], place[1], {place[1]: runtime})
    else:
        set_installations(place[0], place[1], runtime.home.parent)


@pytest.mark.parametrize("case", CASES)
def test_registered_runtimes(tmp_path, case):
    registered, settings, expected = CASES[case]
    runtimes = {}
    for name, (where, version) in registered.items():
        # Kits all, so that only the product keys decide where a kit is required.
        runtimes[name] = make_runtime(tmp_path / name / "jre", "jdk8", version=version or "1.8",
                                      exit_code=0 if version else 1)
        register(where, runtimes[name])
    exe = build_launcher(tmp_path / "app", {128: "Y", **settings}, bits=64)
    result = run_launcher(exe, env={"TESMO_LOG": "yes"})

    lines = result.log_text.splitlines()
    names = {runtime.java_windows: name for name, runtime in runtimes.items()}
    checked = ["fallback" if line == MODERN_FALLBACK else
               names[line[len("checkJavaExe ("):line.index(", [out], ")]]
               for line in lines if line == MODERN_FALLBACK or line.startswith("checkJavaExe (")]
    assert checked == expected
    winner = None if expected[-1] == "fallback" else expected[-1]
    assert result.exit_code == (NO_RUNTIME if winner is None else LOADED), result.log_text
    loaded = [name for name, runtime in runtimes.items()
              if any(line.startswith("loaded=") for line in runtime.jvm_record())]
    assert loaded == ([winner] if winner else [])
    if winner:
        java = runtimes[winner].java_windows.lower()
        [line] = [line for line in lines if line.startswith("found ") and java in line]
        assert line.startswith(FOUND[registered[winner][0].split("/")[0]])
