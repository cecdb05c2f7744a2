"""Start-up of the real launcher: working directory, console switches, reboot."""

import os
import subprocess

import pytest

import rig
from rig import NO_RUNTIME, build_launcher, run_launcher, unix_to_windows

SETTINGS = {101: "startup tests", 107: 1, 1000: "Startup tests"}
LOG = {"TESMO_LOG": "yes"}


def test_working_directory(tmp_path):
    (tmp_path / "data").mkdir()
    change = "change working directory to "
    # Key 146 (None: unset), the arguments, and the lines logged about the directory.
    rows = [
        (".", [], [change + unix_to_windows(tmp_path)]),
        ("${TESMO_EXEDIR}data", [], [change + unix_to_windows(tmp_path / "data")]),
        (None, [], ["working directory unchanged"]),
        # A language restart keeps the directory it inherited.
        (".", ["__kvn_lang_restart"], []),
    ]
    for value, args, expected in rows:
        exe = build_launcher(tmp_path, {**SETTINGS, **({} if value is None else {146: value})})
        result = run_launcher(exe, args=args, env=LOG)
        assert result.exit_code == NO_RUNTIME
        lines = [line for line in result.log_text.splitlines() if "working directory" in line]
        assert lines == expected, value


# Which switches count is the native tables'; here the keys that allow them, and the calls.
@pytest.mark.parametrize("keys, arguments, attaches", [
    ({}, ["-console", "-c"], 0),
    ({156: 1}, ["-console"], 1),
    ({154: 1}, ["-console", "-console"], 2),
])
def test_console_attach_requests(tmp_path, keys, arguments, attaches):
    exe = build_launcher(tmp_path, {**SETTINGS, **keys})
    result = run_launcher(exe, args=arguments,
                          relay=["kernel32.AttachConsole", "kernelbase.AttachConsole"])
    assert result.exit_code == NO_RUNTIME
    calls = sum((result.relay_calls(f"{d}.AttachConsole") for d in ("KERNEL32", "KERNELBASE")), [])
    assert calls == ["ffffffff"] * attaches, result.wine_log[-2000:]


def test_the_reboot_marker_alone_reboots_without_a_log(tmp_path, wine_session):
    # The reboot ends the Wine session it runs in, so it gets a prefix of its own.
    prefix = wine_session.private_prefix(tmp_path / "prefix")
    rig.set_relay_filter(["advapi32.AdjustTokenPrivileges", "kernelbase.AdjustTokenPrivileges",
                          "user32.ExitWindowsEx"], prefix=prefix)
    try:
        exe = build_launcher(tmp_path, SETTINGS)
        result = rig.run_wine([str(exe), "__kvn_reboot"], prefix=prefix, debug="-all,+relay",
                              env=LOG, timeout=120)
        assert result.returncode == 0
        trace = result.stderr.upper()
        assert 0 <= trace.find("ADJUSTTOKENPRIVILEGES(") < \
            trace.find("CALL USER32.EXITWINDOWSEX(00000002,00000000)")
        assert list((prefix / "drive_c").rglob("kvn_nlog*")) == []
    finally:
        subprocess.run([str(rig.WINESERVER64), "-k"], env={**os.environ, "WINEPREFIX": str(prefix)},
                       stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
