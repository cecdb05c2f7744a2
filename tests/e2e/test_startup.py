"""The start-up sequence of the real launcher: working directory, locale, console switches
and the reboot request."""

import os
import subprocess

import pytest

import rig
from rig import NO_RUNTIME, build_launcher, run_launcher, unix_to_windows

SETTINGS = {101: "startup tests", 107: 1, 1000: "Startup tests"}
LOG = {"TESMO_LOG": "yes"}


def test_working_directory(tmp_path):
    (tmp_path / "data").mkdir()
    here, data = unix_to_windows(tmp_path), unix_to_windows(tmp_path / "data")
    # Key 146, the arguments, the environment, and the line logged (None: no line).
    rows = [
        (".", [], {}, f"change working directory to {here}"),
        ("sub\\..\\data", [], {}, f"change working directory to {data}"),
        ("${TESMO_EXEDIR}data", [], {}, f"change working directory to {data}"),
        ("${APP_DATA_DIR}\\x", [], {"APP_DATA_DIR": "C:\\data"},
         "change working directory to C:\\data\\x"),
        ("C:\\no\\such\\place", [], {}, "change working directory to C:\\no\\such\\place"),
        (None, [], {}, "working directory unchanged"),
        # A language restart keeps the directory it inherited.
        (".", ["__kvn_lang_restart"], {}, None),
    ]
    for value, args, env, expected in rows:
        keys = SETTINGS if value is None else {**SETTINGS, 146: value}
        result = run_launcher(build_launcher(tmp_path, keys), args=args, env={**LOG, **env})
        assert result.exit_code == NO_RUNTIME
        lines = [line for line in result.log_text.splitlines() if "working directory" in line]
        assert lines == ([expected] if expected else []), value


@pytest.mark.parametrize("lang, tail, locale, flag", [
    ("de_AT.UTF-8", "", "de_AT", "true"),
    # The flag is read from the real command line once it has been split.
    ("C.UTF-8", ' "a"-Dsun.locale.formatasdefault=false', "en_US", "false"),
])
def test_locale_and_format_flag(tmp_path, lang, tail, locale, flag):
    exe = build_launcher(tmp_path, SETTINGS,
                         locale_sets=[("de", {1000: "Fehler"}), ("de_AT", {1000: "Fehla"}),
                                      ("", {1005: "all"})])
    result = run_launcher(None, cmdline=f'"{unix_to_windows(exe)}"{tail}', env=LOG, lang=lang)
    assert result.exit_code == NO_RUNTIME
    lines = result.log_text.splitlines()
    assert f"language/country is {locale}" in lines
    assert f"sun.locale.formatasdefault is {flag}" in lines


# Which switches count is the native tables'; here the keys that allow them, and the real
# calls.
@pytest.mark.parametrize("keys, arguments, attaches", [
    ({}, ["-console", "-c"], 0),
    ({156: 1}, ["-console"], 1),
    ({154: 1}, ["-console", "-console"], 2),
])
def test_console_attach_requests(tmp_path, keys, arguments, attaches):
    exe = build_launcher(tmp_path, {**SETTINGS, **keys})
    result = run_launcher(exe, args=arguments,
                          relay=["kernel32.AttachConsole", "kernelbase.AttachConsole",
                                 "kernel32.AllocConsole", "kernelbase.AllocConsole"])
    assert result.exit_code == NO_RUNTIME
    calls = (result.relay_calls("KERNEL32.AttachConsole") +
             result.relay_calls("KERNELBASE.AttachConsole"))
    assert calls == ["ffffffff"] * attaches, result.wine_log[-2000:]


def test_the_reboot_marker_alone_reboots_without_a_log(tmp_path, wine_session):
    # The reboot ends the Wine session it runs in, so it gets a prefix of its own.
    prefix = wine_session.private_prefix(tmp_path / "prefix")
    rig.set_relay_filter(["kernel32.Sleep", "kernelbase.Sleep", "advapi32.OpenProcessToken",
                          "kernelbase.OpenProcessToken", "advapi32.LookupPrivilegeValueW",
                          "advapi32.AdjustTokenPrivileges", "kernelbase.AdjustTokenPrivileges",
                          "user32.ExitWindowsEx"], prefix=prefix)
    try:
        exe = build_launcher(tmp_path, SETTINGS)
        result = rig.run_wine([str(exe), "__kvn_reboot"], prefix=prefix, debug="-all,+relay",
                              env=LOG, timeout=120)
        assert result.returncode == 0
        trace = result.stderr.upper()
        # The pause before the reboot is seen as its call, not timed.
        assert "SLEEP(00001388)" in trace
        assert 0 <= trace.find("ADJUSTTOKENPRIVILEGES(") < \
            trace.find("CALL USER32.EXITWINDOWSEX(00000002,00000000)")
        assert list((prefix / "drive_c").rglob("kvn_nlog*")) == []
    finally:
        subprocess.run([str(rig.WINESERVER64), "-k"], env={**os.environ, "WINEPREFIX": str(prefix)},
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
