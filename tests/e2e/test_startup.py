"""The start-up sequence of the real launcher: markers, command line, working directory,
locale, console switches and the reboot request."""

import os
import subprocess

import pytest

import rig
from rig import NO_RUNTIME, build_launcher, run_launcher, unix_to_windows

SETTINGS = {101: "startup tests", 107: 1, 1000: "Startup tests"}
LOG = {"TESMO_LOG": "yes"}


def log_lines(result):
    return result.log_text.splitlines()


def working_directory_line(result):
    [line] = [line for line in log_lines(result) if "working directory" in line]
    return line


def flag_line(result):
    return next(line for line in log_lines(result)
                if line.startswith("sun.locale.formatasdefault is "))


class TestWorkingDirectory:
    @pytest.mark.parametrize("value, relative", [(".", ""), ("sub\\..\\data", "data"),
                                                 ("${TESMO_EXEDIR}data", "data")])
    def test_relative_to_the_executable(self, tmp_path, value, relative):
        (tmp_path / "data").mkdir()
        exe = build_launcher(tmp_path, {**SETTINGS, 146: value})
        result = run_launcher(exe, env=LOG)
        assert result.exit_code == NO_RUNTIME
        expected = unix_to_windows(tmp_path / relative) if relative else unix_to_windows(tmp_path)
        assert working_directory_line(result) == f"change working directory to {expected}"

    def test_environment_references_are_expanded(self, tmp_path):
        exe = build_launcher(tmp_path, {**SETTINGS, 146: "${APP_DATA_DIR}\\x"})
        result = run_launcher(exe, env={**LOG, "APP_DATA_DIR": "C:\\data"})
        lines = log_lines(result)
        assert "expanding2 ${APP_DATA_DIR} to C:\\data in C:\\data\\x." in lines
        assert working_directory_line(result) == "change working directory to C:\\data\\x"

    def test_a_missing_directory_is_still_logged(self, tmp_path):
        exe = build_launcher(tmp_path, {**SETTINGS, 146: "C:\\no\\such\\place"})
        result = run_launcher(exe, env=LOG)
        assert result.exit_code == NO_RUNTIME
        assert working_directory_line(result) == "change working directory to C:\\no\\such\\place"

    def test_absent_key_leaves_it_unchanged(self, tmp_path):
        result = run_launcher(build_launcher(tmp_path, SETTINGS), env=LOG)
        assert working_directory_line(result) == "working directory unchanged"

    def test_language_restart_keeps_the_inherited_directory(self, tmp_path):
        # Which arguments are the restart marker is settled in the native tables.
        exe = build_launcher(tmp_path, {**SETTINGS, 146: "."})
        result = run_launcher(exe, args=["__kvn_lang_restart"], env=LOG)
        assert result.exit_code == NO_RUNTIME
        assert [line for line in log_lines(result) if "working directory" in line] == []


class TestLocale:
    @pytest.mark.parametrize("lang, locale", [("de_AT.UTF-8", "de_AT"), ("C.UTF-8", "en_US")])
    def test_user_locale_decides(self, tmp_path, lang, locale):
        exe = build_launcher(tmp_path, SETTINGS,
                             locale_sets=[("de", {1000: "Fehler"}), ("de_AT", {1000: "Fehla"}),
                                          ("", {1005: "all"})])
        result = run_launcher(exe, env=LOG, lang=lang)
        assert result.exit_code == NO_RUNTIME
        assert f"language/country is {locale}" in log_lines(result)

    # The flag line shows that the real command line was split before the flag was read;
    # the splitting and the flag's rules are the native tables'.
    @pytest.mark.parametrize("tail, flag", [
        (' "a"-Dsun.locale.formatasdefault=false', "false"),
        (" don't -Dsun.locale.formatasdefault=false", "true"),
    ])
    def test_format_as_default_follows_the_split_arguments(self, tmp_path, tail, flag):
        exe = build_launcher(tmp_path, SETTINGS)
        result = run_launcher(None, cmdline=f'"{unix_to_windows(exe)}"{tail}', env=LOG)
        assert result.exit_code == NO_RUNTIME
        assert flag_line(result) == f"sun.locale.formatasdefault is {flag}"


CONSOLE_CALLS = ["kernel32.AttachConsole", "kernelbase.AttachConsole", "kernel32.AllocConsole",
                 "kernelbase.AllocConsole"]


def attach_calls(result):
    return (result.relay_calls("KERNEL32.AttachConsole") +
            result.relay_calls("KERNELBASE.AttachConsole"))


class TestConsoleSwitches:
    # Which switches count is the native tables'; here the keys that allow them, and the
    # real calls.
    @pytest.mark.parametrize("keys, arguments, attaches", [
        ({}, ["-console", "-c"], 0),
        ({156: 1}, ["-console"], 1),
        ({154: 1}, ["-console", "-console"], 2),
    ])
    def test_attach_requests(self, tmp_path, keys, arguments, attaches):
        exe = build_launcher(tmp_path, {**SETTINGS, **keys})
        result = run_launcher(exe, args=arguments, relay=CONSOLE_CALLS)
        assert result.exit_code == NO_RUNTIME
        calls = attach_calls(result)
        assert calls == ["ffffffff"] * attaches, result.wine_log[-2000:]


REBOOT_CALLS = ["kernel32.Sleep", "kernelbase.Sleep", "advapi32.OpenProcessToken", "kernelbase.OpenProcessToken",
                "advapi32.LookupPrivilegeValueW", "advapi32.AdjustTokenPrivileges",
                "kernelbase.AdjustTokenPrivileges", "user32.ExitWindowsEx"]


# The pause before the reboot, seen as the call rather than timed, so a slow machine does
# not decide the outcome.
REBOOT_PAUSE = "SLEEP(00001388)"


class TestReboot:
    """The reboot ends the Wine session it runs in, so it gets a prefix of its own."""

    @pytest.fixture
    def reboot_prefix(self, tmp_path, wine_session):
        prefix = wine_session.private_prefix(tmp_path / "prefix")
        rig.set_relay_filter(REBOOT_CALLS, prefix=prefix)
        yield prefix
        subprocess.run([str(rig.WINESERVER64), "-k"], env={**os.environ, "WINEPREFIX": str(prefix)},
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)

    def run_in(self, prefix, exe, *arguments):
        return rig.run_wine([str(exe), *arguments], prefix=prefix, debug="-all,+relay",
                            env=LOG, timeout=120)

    def temp_logs(self, prefix):
        return list((prefix / "drive_c").rglob("kvn_nlog*"))

    def test_marker_alone_reboots_without_a_log(self, tmp_path, reboot_prefix):
        exe = build_launcher(tmp_path, SETTINGS)
        result = self.run_in(reboot_prefix, exe, "__kvn_reboot")
        assert result.returncode == 0
        trace = result.stderr
        assert REBOOT_PAUSE in trace.upper()
        assert "Call user32.ExitWindowsEx(00000002,00000000)" in trace.replace("USER32", "user32")
        adjust = trace.find("AdjustTokenPrivileges(")
        assert 0 <= adjust < trace.upper().find("CALL USER32.EXITWINDOWSEX")
        assert self.temp_logs(reboot_prefix) == []

    def test_marker_with_more_arguments_runs_the_normal_sequence(self, tmp_path, reboot_prefix):
        exe = build_launcher(tmp_path, SETTINGS)
        result = self.run_in(reboot_prefix, exe, "__kvn_reboot", "x")
        assert result.returncode == NO_RUNTIME
        assert REBOOT_PAUSE not in result.stderr.upper()
        assert "CALL USER32.EXITWINDOWSEX" not in result.stderr.upper()
        [log] = self.temp_logs(reboot_prefix)
        assert "working directory unchanged" in log.read_text(encoding="cp1252")
