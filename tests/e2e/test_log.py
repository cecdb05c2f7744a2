"""The diagnostic log of the real launcher: when it is on, where it goes, what it holds."""

import re

import pytest

from pe import read_image
from rig import NO_RUNTIME, build_launcher, helper_path, run_launcher, run_wine, unix_to_windows

SETTINGS = {101: "log tests", 107: 1, 1000: "Log tests"}
# A console-type launcher: its question box still shows, while the messages about the
# missing runtime that follow go to standard error.
CONSOLE = {**SETTINGS, 107: 2}
START_LINE = re.compile(
    r"^Started executable (?P<exe>.+) at [A-Z][a-z]{2} [A-Z][a-z]{2} \d\d \d\d:\d\d:\d\d \d{4}$")
LOG_NAME = re.compile(r"^kvn_nlog_\d+$")
QUESTION = ("The following log file will be created:\n\n{path}\n\n"
            "Do you want to open an Explorer window?")


@pytest.fixture
def launcher(tmp_path):
    return build_launcher(tmp_path, SETTINGS)


class TestSwitchingOn:
    def test_off_by_default(self, launcher):
        result = run_launcher(launcher)
        assert result.exit_code == NO_RUNTIME
        assert result.log_files == []
        assert list(result.tmp_dir.iterdir()) == []

    @pytest.mark.parametrize("variable", ["TESMO_LOG", "KORVANE_LOG"])
    def test_variable_yes_writes_a_fresh_file_in_tmp(self, launcher, variable):
        first = run_launcher(launcher, env={variable: "yes"})
        second = run_launcher(launcher, env={variable: "yes"})
        assert first.exit_code == second.exit_code == NO_RUNTIME
        for result in (first, second):
            [log] = result.log_files
            assert log.parent == result.tmp_dir
            assert LOG_NAME.match(log.name)
        assert first.log_files[0].name != second.log_files[0].name

    @pytest.mark.parametrize("value", ["Yes", "YES", "1", "true", "yes ", " yes", ""])
    def test_only_exactly_yes_counts(self, launcher, value):
        result = run_launcher(launcher, env={"TESMO_LOG": value, "KORVANE_LOG": value})
        assert result.exit_code == NO_RUNTIME
        assert result.log_files == []

    def test_file_starts_with_the_startup_line_and_an_empty_line(self, launcher):
        result = run_launcher(launcher, env={"KORVANE_LOG": "yes"})
        raw = result.log_files[0].read_bytes()
        assert b"\r\n" in raw and b"\n" not in raw.replace(b"\r\n", b"")
        lines = result.log_text.splitlines()
        match = START_LINE.match(lines[0])
        assert match, lines[0]
        assert match["exe"] == unix_to_windows(launcher)
        assert lines[1] == ""
        assert lines[2].startswith("number of sections: ")
        # The stages in their order: block, locale, working directory, instance semaphore,
        # extraction, native library path, runtime search.
        assert lines[6:9] == ["sun.locale.formatasdefault is true",
                              "language/country is en_US",
                              "working directory unchanged"]
        assert lines[9].startswith("semaphore name Local\\")
        assert lines[10:13] == ["extracting files", "Included files: 0", "native lib dir is "]
        assert lines[13].startswith("Setting PATH (native libs) ")
        assert lines[14] == "LoadDLL (1, (null), 0)"
        assert lines[-2:] == ["ERROR: No JVM found", "Hiding splash screen"]

    def test_tmp_naming_no_directory_falls_back_to_the_drive_root(self, launcher,
                                                                  wine_session):
        result = run_launcher(launcher, env={"TESMO_LOG": "yes", "TMP": "C:\\no\\such\\dir"})
        assert result.exit_code == NO_RUNTIME
        drive = wine_session.prefix / "drive_c"
        logs = sorted(drive.glob("kvn_nlog_*"))
        assert logs, "no log in c:\\"
        text = logs[-1].read_bytes().decode("cp1252")
        for log in logs:
            log.unlink()
        assert START_LINE.match(text.splitlines()[0])


class TestLogSwitch:
    @pytest.fixture
    def launcher(self, tmp_path):
        return build_launcher(tmp_path, CONSOLE)

    def test_first_argument_switches_the_log_on_and_asks(self, launcher, display):
        result = run_launcher(launcher, args=["-create-kvn-log", "next"], box="no")
        assert result.exit_code == NO_RUNTIME
        [log] = result.log_files
        assert result.box["title"] == "korvane"
        assert result.box["text"] == QUESTION.format(path=unix_to_windows(log))
        assert result.box["buttons"] == ["Yes", "No"]
        assert "calling" not in result.log_text
        # The question comes after the block has been read: the log holds its lines.
        assert "language/country is" in result.log_text

    def test_question_title_follows_the_flavour(self, tmp_path, display):
        exe = build_launcher(tmp_path, {**CONSOLE, 2001: "t"})
        result = run_launcher(exe, args=["-create-tsm-log"], box="no")
        assert result.box["title"] == "tesmo"

    def test_yes_opens_explorer_on_the_file(self, launcher, display):
        result = run_launcher(launcher, args=["-create-kvn-log"], box="yes")
        assert result.exit_code == NO_RUNTIME
        [log] = result.log_files
        lines = result.log_text.splitlines()
        calls = [line for line in lines if line.startswith("calling ")]
        assert len(calls) == 1
        short = run_wine([str(helper_path("wintest")), "short-path", "--path",
                          unix_to_windows(log)]).stdout.strip()
        assert "~" in short
        assert calls == [f"calling C:\\windows\\explorer.exe /select,{short}"]
        assert not any(line.startswith("could not open explorer window") for line in lines)


class TestMessagesCarryTheLogPath:
    @pytest.mark.parametrize("quiet", [False, True])
    def test_message_ends_with_the_log_path(self, launcher, request, quiet):
        data = bytearray(launcher.read_bytes())
        data[read_image(launcher).end] ^= 0xFF
        launcher.write_bytes(bytes(data))
        if quiet:
            result = run_launcher(launcher, args=["-q_kvn_internal"], env={"KORVANE_LOG": "yes"})
        else:
            request.getfixturevalue("display")
            result = run_launcher(launcher, box="ok", env={"TESMO_LOG": "yes"})
        assert result.exit_code == 1
        [log] = result.log_files
        text = f"Internal Error: magic\n\nLog: {unix_to_windows(log)}"
        if quiet:
            assert result.stderr == text.replace("\n", "\r\n") + "\r\n"
        else:
            assert result.box["text"] == text
