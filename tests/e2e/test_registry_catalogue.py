"""Search entry Y on the real 64-bit launcher and the real registry: each layout the
launcher reads, which registered runtime is checked, in which order, and whose jvm.dll is
loaded. The order within one layout is decided natively; here the keys are real.

Every runtime of a test has its own home and its own version, so the log lines, the probes
its java.exe recorded and the loads its jvm.dll recorded tell the runtimes apart."""

import pytest

from rig import NO_RUNTIME, build_launcher, run_launcher
from runtimes import LOADED, add_located, make_runtime, register_javasoft, set_installations

MODERN_FALLBACK = ("no runtime under the old JavaSoft keys, trying SOFTWARE\\JavaSoft\\JDK "
                   "and SOFTWARE\\JavaSoft\\JRE")
CHECK_PREFIX = "checkJavaExe ("


def launch(tmp_path, settings=None):
    exe = build_launcher(tmp_path / "app", {128: "Y", **(settings or {})}, bits=64)
    return run_launcher(exe, env={"TESMO_LOG": "yes"})


def checked(result):
    """The executables handed to the installation check, in order."""
    return [line[len(CHECK_PREFIX):line.index(", [out], ")]
            for line in result.log_text.splitlines() if line.startswith(CHECK_PREFIX)]


def assert_loaded(result, chosen, *others):
    assert result.exit_code == LOADED, result.log_text
    for runtime in (chosen, *others):
        loads = [line.lower() for line in runtime.jvm_record() if line.startswith("loaded=")]
        assert loads == ([f"loaded={chosen.jvm_dll_windows}".lower()] if runtime is chosen
                         else []), runtime.home


@pytest.mark.parametrize("kit_current, runtime_current, require_kit, winner", [
    ("1.7", "1.7", 0, "runtime"),
    ("1.8", "1.7", 0, "kit"),
    ("1.7", "1.8", 0, "runtime"),
    # Both homes are kits, so only skipping the runtime product keeps the higher one out.
    ("1.7", "1.8", 1, "kit"),
])
def test_old_javasoft_products_by_their_current_versions(tmp_path, kit_current,
                                                          runtime_current, require_kit, winner):
    plain = make_runtime(tmp_path / "jre", "jdk8", version=f"{runtime_current}.0_51")
    kit = make_runtime(tmp_path / "jdk", "jdk8", version=f"{kit_current}.0_80")
    register_javasoft("Java Runtime Environment", runtime_current, {runtime_current: plain})
    register_javasoft("Java Development Kit", kit_current, {kit_current: kit})
    result = launch(tmp_path, {131: require_kit})

    chosen, other, version = ((plain, kit, f"{runtime_current}.0_51") if winner == "runtime"
                              else (kit, plain, f"{kit_current}.0_80"))
    assert checked(result) == [chosen.java_windows]
    assert f"found sun {chosen.java_windows.lower()} {version}" in result.log_text.splitlines()
    assert_loaded(result, chosen, other)


def test_located_runtimes_of_both_hives_are_checked_and_a_tie_goes_to_the_machine(tmp_path):
    user = make_runtime(tmp_path / "user-jre", "jre8", version="1.7.0_51")
    machine = make_runtime(tmp_path / "machine-jre", "jre8", version="1.7.0_51")
    add_located("HKCU", [user])
    add_located("HKLM", [machine])
    result = launch(tmp_path)

    assert checked(result) == [user.java_windows, machine.java_windows]
    lines = result.log_text.splitlines()
    assert f"found located {machine.java_windows.lower()} 1.7.0_51" in lines
    assert not any(line.startswith("found sun ") for line in lines)
    assert_loaded(result, machine, user)


@pytest.mark.parametrize("installation_id, user_works, winner", [
    ("sample app", True, "user"),
    ("sample app", False, "machine"),
    # The key's default value has the empty name: reading it would find a runtime.
    (None, True, None),
    ("", True, None),
])
def test_previous_installations_user_hive_first(tmp_path, installation_id, user_works, winner):
    homes = {}
    for hive, name, version in (("HKCU", "user", "1.8.0_30"), ("HKLM", "machine", "1.8.0_40")):
        homes[name] = make_runtime(tmp_path / name / "jre", "jre8", version=version,
                                   exit_code=0 if user_works or name == "machine" else 1)
        set_installations(hive, installation_id or "", tmp_path / name)
    settings = {} if installation_id is None else {160: installation_id}
    result = launch(tmp_path, settings)

    user, machine = homes["user"], homes["machine"]
    if winner is None:
        assert result.exit_code == NO_RUNTIME
        assert checked(result) == []
        assert result.log_text.splitlines()[-2:] == ["ERROR: No JVM found", "Hiding splash screen"]
        return
    chosen, other = (user, machine) if winner == "user" else (machine, user)
    assert checked(result) == ([user.java_windows] if user_works
                               else [user.java_windows, machine.java_windows])
    assert (f"found JRE from previous installation ({winner}) {chosen.java_windows.lower()}"
            in result.log_text.splitlines())
    assert_loaded(result, chosen, other)


@pytest.mark.parametrize("product, require_kit, served", [
    ("JDK", 1, True),
    ("JRE", 0, True),
    ("JRE", 1, False),
])
def test_a_machine_with_only_modern_registrations(tmp_path, product, require_kit, served):
    modern = make_runtime(tmp_path / "jdk17", "modern", version="17.0.15")
    register_javasoft(product, "17", {"17": modern})
    result = launch(tmp_path, {131: require_kit})

    assert MODERN_FALLBACK in result.log_text.splitlines()
    if served:
        assert checked(result) == [modern.java_windows]
        assert_loaded(result, modern)
    else:
        assert result.exit_code == NO_RUNTIME
        assert checked(result) == []
        assert modern.jvm_record() == []


@pytest.mark.parametrize("settings, old_accepted", [({}, True), ({126: "1.8.0_100"}, False)])
def test_modern_keys_are_read_only_when_the_old_ones_yield_nothing(tmp_path, settings,
                                                                  old_accepted):
    old = make_runtime(tmp_path / "jre8", "jre8", version="1.8.0_05")
    modern = make_runtime(tmp_path / "jdk17", "modern", version="17.0.15")
    register_javasoft("Java Runtime Environment", "1.8", {"1.8": old})
    register_javasoft("JDK", "17", {"17": modern})
    result = launch(tmp_path, settings)

    lines = result.log_text.splitlines()
    if old_accepted:
        assert MODERN_FALLBACK not in lines
        assert checked(result) == [old.java_windows]
        assert_loaded(result, old, modern)
    else:
        # Refused by the strict and by the tolerant pass, then the modern keys.
        assert checked(result) == [old.java_windows, old.java_windows, modern.java_windows]
        checks = [i for i, line in enumerate(lines) if line.startswith(CHECK_PREFIX)]
        assert checks[1] < lines.index(MODERN_FALLBACK) < checks[2]
        assert f"found sun {modern.java_windows.lower()} 17.0.15" in lines
        assert_loaded(result, modern, old)
