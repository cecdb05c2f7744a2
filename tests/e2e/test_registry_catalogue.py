"""Search entry Y on the real 64-bit launcher and the real registry: each layout the launcher
reads, which runtimes it checks, in which order, and whose jvm.dll it loads. The order within
one layout is the native catalogue table's."""

import pytest

from rig import NO_RUNTIME, build_launcher, run_launcher
from runtimes import LOADED, add_located, make_runtime, register_javasoft, set_installations

MODERN_FALLBACK = ("no runtime under the old JavaSoft keys, trying SOFTWARE\\JavaSoft\\JDK "
                   "and SOFTWARE\\JavaSoft\\JRE")
CHECK_PREFIX = "checkJavaExe ("


def launch(tmp_path, runtimes, settings=None):
    """Runs entry Y; returns the result and the runtimes' names in the order they were
    checked, with "fallback" where the modern keys were turned to."""
    exe = build_launcher(tmp_path / "app", {128: "Y", **(settings or {})}, bits=64)
    result = run_launcher(exe, env={"TESMO_LOG": "yes"})
    names = {runtime.java_windows: name for name, runtime in runtimes.items()}
    sequence = ["fallback" if line == MODERN_FALLBACK else
                names[line[len(CHECK_PREFIX):line.index(", [out], ")]]
                for line in result.log_text.splitlines()
                if line == MODERN_FALLBACK or line.startswith(CHECK_PREFIX)]
    return result, sequence


def assert_loaded(result, runtimes, chosen):
    assert result.exit_code == (NO_RUNTIME if chosen is None else LOADED), result.log_text
    for name, runtime in runtimes.items():
        loads = [line.lower() for line in runtime.jvm_record() if line.startswith("loaded=")]
        assert loads == ([f"loaded={runtime.jvm_dll_windows}".lower()] if name == chosen
                         else []), name


@pytest.mark.parametrize("kit_current, runtime_current, require_kit, winner", [
    ("1.7", "1.7", 0, "runtime"),
    ("1.8", "1.7", 0, "kit"),
    ("1.7", "1.8", 0, "runtime"),
    # Both homes are kits, so only skipping the runtime product keeps the higher one out.
    ("1.7", "1.8", 1, "kit"),
])
def test_old_javasoft_products_by_their_current_versions(tmp_path, kit_current,
                                                          runtime_current, require_kit, winner):
    versions = {"runtime": f"{runtime_current}.0_51", "kit": f"{kit_current}.0_80"}
    runtimes = {name: make_runtime(tmp_path / name, "jdk8", version=versions[name])
                for name in versions}
    register_javasoft("Java Runtime Environment", runtime_current,
                      {runtime_current: runtimes["runtime"]})
    register_javasoft("Java Development Kit", kit_current, {kit_current: runtimes["kit"]})
    result, sequence = launch(tmp_path, runtimes, {131: require_kit})
    assert sequence == [winner]
    assert (f"found sun {runtimes[winner].java_windows.lower()} {versions[winner]}"
            in result.log_text.splitlines())
    assert_loaded(result, runtimes, winner)


def test_located_runtimes_of_both_hives_are_checked_and_a_tie_goes_to_the_machine(tmp_path):
    runtimes = {name: make_runtime(tmp_path / name, "jre8", version="1.7.0_51")
                for name in ("user", "machine")}
    add_located("HKCU", [runtimes["user"]])
    add_located("HKLM", [runtimes["machine"]])
    result, sequence = launch(tmp_path, runtimes)
    assert sequence == ["fallback", "user", "machine"]
    assert (f"found located {runtimes['machine'].java_windows.lower()} 1.7.0_51"
            in result.log_text.splitlines())
    assert_loaded(result, runtimes, "machine")


@pytest.mark.parametrize("installation_id, user_works, sequence", [
    ("sample app", True, ["fallback", "user"]),
    ("sample app", False, ["fallback", "user", "machine"]),
    # The key's default value has the empty name: reading it would find a runtime.
    (None, True, ["fallback"]),
    ("", True, ["fallback"]),
])
def test_previous_installations_user_hive_first(tmp_path, installation_id, user_works,
                                                sequence):
    runtimes = {}
    for hive, name in (("HKCU", "user"), ("HKLM", "machine")):
        runtimes[name] = make_runtime(tmp_path / name / "jre", "jre8",
                                      exit_code=0 if user_works or name == "machine" else 1)
        set_installations(hive, installation_id or "", tmp_path / name)
    settings = {} if installation_id is None else {160: installation_id}
    result, checked = launch(tmp_path, runtimes, settings)
    assert checked == sequence
    winner = None if sequence[-1] == "fallback" else sequence[-1]
    if winner:
        assert (f"found JRE from previous installation ({winner}) "
                f"{runtimes[winner].java_windows.lower()}" in result.log_text.splitlines())
    assert_loaded(result, runtimes, winner)


@pytest.mark.parametrize("old_version, product, settings, expected", [
    (None, "JDK", {131: 1}, ["fallback", "modern"]),
    (None, "JRE", {}, ["fallback", "modern"]),
    (None, "JRE", {131: 1}, ["fallback"]),
    ("1.8.0_201", "JDK", {}, ["old"]),
    # Refused by the strict and by the tolerant pass before the modern keys are read.
    ("1.8.0_05", "JDK", {126: "1.8.0_100"}, ["old", "old", "fallback", "modern"]),
])
def test_modern_product_keys_only_when_the_old_ones_yield_nothing(tmp_path, old_version,
                                                                  product, settings, expected):
    runtimes = {"modern": make_runtime(tmp_path / "jdk17", "modern", version="17.0.15")}
    register_javasoft(product, "17", {"17": runtimes["modern"]})
    if old_version:
        runtimes["old"] = make_runtime(tmp_path / "jre8", "jre8", version=old_version)
        register_javasoft("Java Runtime Environment", "1.8", {"1.8": runtimes["old"]})
    result, sequence = launch(tmp_path, runtimes, settings)
    assert sequence == expected
    assert_loaded(result, runtimes, None if expected[-1] == "fallback" else expected[-1])
