"""Search entry Y and the previous installations on the real 64-bit launcher: which registered
runtime is checked, in which order, and which one's jvm.dll is finally loaded.

Every runtime of a test has its own home and its own version, so the log lines, the probes
its java.exe recorded and the loads its jvm.dll recorded tell the runtimes apart."""

import pytest

from rig import NO_RUNTIME, build_launcher, run_launcher, unix_to_windows
from runtimes import LOADED, add_located, make_runtime, register_javasoft, set_installations


LOG = {"TESMO_LOG": "yes"}
RUNTIME_PRODUCT = "Java Runtime Environment"
KIT_PRODUCT = "Java Development Kit"
MODERN_FALLBACK = ("no runtime under the old JavaSoft keys, trying SOFTWARE\\JavaSoft\\JDK "
                   "and SOFTWARE\\JavaSoft\\JRE")
CHECK_PREFIX = "checkJavaExe ("
INSTALLATION_ID = "sample app"


def launch(tmp_path, settings=None):
    exe = build_launcher(tmp_path / "app", {128: "Y", **(settings or {})}, bits=64)
    return run_launcher(exe, env=LOG)


def log_lines(result):
    return result.log_text.splitlines()


def checked(result):
    """The executables handed to the installation check, in order, as the launcher logged
    them (before it normalises them)."""
    return [line[len(CHECK_PREFIX):line.index(", [out], ")]
            for line in log_lines(result) if line.startswith(CHECK_PREFIX)]


def loads(runtime):
    return [line for line in runtime.jvm_record() if line.startswith("loaded=")]


def assert_loaded(result, chosen, *others):
    assert result.exit_code == LOADED, result.log_text
    assert "Loading of JVM-DLL successful" in log_lines(result)
    assert [line.lower() for line in loads(chosen)] == [f"loaded={chosen.jvm_dll_windows}".lower()]
    for other in others:
        assert loads(other) == [], other.home


def probes(runtime):
    return len(runtime.invocations(runtime.java))


def jre(tmp_path, name, version, **options):
    return make_runtime(tmp_path / name, "jre8", version=version, **options)


class TestJavaSoftProducts:
    def test_names_sort_by_characters_so_1_9_comes_before_1_10(self, tmp_path):
        nine = jre(tmp_path, "jre19", "1.9.0_1", exit_code=1)
        ten = jre(tmp_path, "jre110", "1.10.0_1")
        register_javasoft(RUNTIME_PRODUCT, None, {"1.10": ten, "1.9": nine})
        result = launch(tmp_path)
        assert checked(result) == [nine.java_windows, ten.java_windows]
        assert_loaded(result, ten, nine)

    @pytest.mark.parametrize("kit_current, runtime_current, winner", [
        ("1.7", "1.7", "runtime"),
        ("1.8", "1.7", "kit"),
        ("1.7", "1.8", "runtime"),
    ])
    def test_current_versions_pick_one_product(self, tmp_path, kit_current, runtime_current,
                                               winner):
        plain = jre(tmp_path, "jre", f"{runtime_current}.0_51")
        kit = make_runtime(tmp_path / "jdk", "jdk8", version=f"{kit_current}.0_80")
        register_javasoft(RUNTIME_PRODUCT, runtime_current, {runtime_current: plain})
        register_javasoft(KIT_PRODUCT, kit_current, {kit_current: kit})
        result = launch(tmp_path)

        chosen, other, version = ((plain, kit, f"{runtime_current}.0_51") if winner == "runtime"
                                  else (kit, plain, f"{kit_current}.0_80"))
        assert checked(result) == [chosen.java_windows]
        assert f"found sun {chosen.java_windows.lower()} {version}" in log_lines(result)
        assert_loaded(result, chosen, other)

    @pytest.mark.parametrize("with_current_version", [True, False],
                             ids=["current-version", "enumerated"])
    def test_a_required_kit_never_consults_the_runtime_product(self, tmp_path,
                                                               with_current_version):
        # A kit registered as the runtime product would qualify by its layout, so only
        # skipping the product keeps it out.
        misfiled = make_runtime(tmp_path / "jdk18", "jdk8", version="1.8.0_201")
        kit = make_runtime(tmp_path / "jdk17", "jdk8", version="1.7.0_80")
        register_javasoft(RUNTIME_PRODUCT, "1.8" if with_current_version else None,
                          {"1.8": misfiled})
        register_javasoft(KIT_PRODUCT, "1.7" if with_current_version else None, {"1.7": kit})

        required = launch(tmp_path / "required", {131: 1})
        assert checked(required) == [kit.java_windows]
        assert probes(misfiled) == 0
        assert f"found sun {kit.java_windows.lower()} 1.7.0_80" in log_lines(required)
        assert_loaded(required, kit, misfiled)

        # Without the requirement the same registry yields the misfiled kit.
        kit.clear_records()
        anything = launch(tmp_path / "anything")
        assert checked(anything) == [misfiled.java_windows]
        assert_loaded(anything, misfiled, kit)


class TestLocatedRuntimes:
    @pytest.mark.parametrize("user_version, machine_version, winner", [
        ("1.7.0_51", "1.7.0_51", "machine"),
    ])
    def test_between_hives_the_higher_version_wins(self, tmp_path, user_version,
                                                   machine_version, winner):
        user = jre(tmp_path, "user-jre", user_version)
        machine = jre(tmp_path, "machine-jre", machine_version)
        add_located("HKCU", [user])
        add_located("HKLM", [machine])
        result = launch(tmp_path)

        assert checked(result) == [user.java_windows, machine.java_windows]
        chosen, other, version = ((user, machine, user_version) if winner == "user"
                                  else (machine, user, machine_version))
        assert f"found located {chosen.java_windows.lower()} {version}" in log_lines(result)
        assert not any(line.startswith("found sun ") for line in log_lines(result))
        assert_loaded(result, chosen, other)


def installation(tmp_path, name, version, **options):
    """An earlier installation directory carrying its runtime in jre\\."""
    directory = tmp_path / name
    runtime = make_runtime(directory / "jre", "jre8", version=version, **options)
    return directory, runtime


class TestPreviousInstallations:
    @pytest.mark.parametrize("settings", [{}, {160: ""}], ids=["absent", "empty"])
    def test_without_an_installation_id_nothing_is_looked_up(self, tmp_path, settings):
        # The key's default value has the empty name: reading it would find this runtime.
        directory, runtime = installation(tmp_path, "old", "1.8.0_201")
        for hive in ("HKCU", "HKLM"):
            set_installations(hive, "", directory)
        result = launch(tmp_path, settings)

        assert result.exit_code == NO_RUNTIME
        lines = log_lines(result)
        assert not any(line.startswith("found installations") for line in lines)
        assert probes(runtime) == 0
        assert lines[-2:] == ["ERROR: No JVM found", "Hiding splash screen"]

    @pytest.mark.parametrize("user_works", [True, False])
    def test_the_user_hive_comes_before_the_machine_hive(self, tmp_path, user_works):
        user_dir, user = installation(tmp_path, "user", "1.8.0_30",
                                      exit_code=0 if user_works else 1)
        machine_dir, machine = installation(tmp_path, "machine", "1.8.0_40")
        set_installations("HKCU", INSTALLATION_ID, user_dir)
        set_installations("HKLM", INSTALLATION_ID, machine_dir)
        result = launch(tmp_path, {160: INSTALLATION_ID})

        lines = log_lines(result)
        if user_works:
            assert checked(result) == [user.java_windows]
            assert (f"found JRE from previous installation (user) {user.java_windows.lower()}"
                    in lines)
            assert_loaded(result, user, machine)
        else:
            assert checked(result) == [user.java_windows, machine.java_windows]
            assert (f"found JRE from previous installation (machine) "
                    f"{machine.java_windows.lower()}" in lines)
            assert_loaded(result, machine, user)


class TestModernProductKeys:
    @pytest.mark.parametrize("product, require_kit, served", [
        ("JDK", 0, True),
        ("JDK", 1, True),
        ("JRE", 0, True),
        ("JRE", 1, False),
    ])
    def test_a_machine_with_only_modern_registrations(self, tmp_path, product, require_kit,
                                                      served):
        modern = make_runtime(tmp_path / "jdk17", "modern", version="17.0.15")
        register_javasoft(product, "17", {"17": modern})
        result = launch(tmp_path, {131: require_kit})

        lines = log_lines(result)
        assert MODERN_FALLBACK in lines
        if served:
            assert checked(result) == [modern.java_windows]
            assert f"found sun {modern.java_windows.lower()} 17.0.15" in lines
            assert_loaded(result, modern)
        else:
            assert result.exit_code == NO_RUNTIME
            assert probes(modern) == 0
            assert loads(modern) == []

    def test_an_acceptable_old_registration_wins(self, tmp_path):
        old = jre(tmp_path, "jre8", "1.8.0_201")
        modern = make_runtime(tmp_path / "jdk17", "modern", version="17.0.15")
        register_javasoft(RUNTIME_PRODUCT, "1.8", {"1.8": old})
        register_javasoft("JDK", "17", {"17": modern})
        result = launch(tmp_path)

        lines = log_lines(result)
        assert MODERN_FALLBACK not in lines
        assert checked(result) == [old.java_windows]
        assert probes(modern) == 0
        assert f"found sun {old.java_windows.lower()} 1.8.0_201" in lines
        assert_loaded(result, old, modern)

    def test_an_old_registration_outside_the_limits_gives_way(self, tmp_path):
        old = jre(tmp_path, "jre8", "1.8.0_05")
        modern = make_runtime(tmp_path / "jdk17", "modern", version="17.0.15")
        register_javasoft(RUNTIME_PRODUCT, "1.8", {"1.8": old})
        register_javasoft("JDK", "17", {"17": modern})
        result = launch(tmp_path, {126: "1.8.0_100"})

        lines = log_lines(result)
        assert checked(result) == [old.java_windows, old.java_windows, modern.java_windows]
        assert lines.count("checkJavaExe returning 0") == 2
        # The old product keys are given up before the modern ones are read.
        fallback = lines.index(MODERN_FALLBACK)
        check_lines = [i for i, line in enumerate(lines) if line.startswith(CHECK_PREFIX)]
        assert check_lines[1] < fallback < check_lines[2]
        assert f"found sun {modern.java_windows.lower()} 17.0.15" in lines
        assert_loaded(result, modern, old)
