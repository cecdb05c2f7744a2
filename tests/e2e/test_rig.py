"""Tests of the rig itself: if these fail, no end-to-end result can be trusted."""

import time

import pytest

import rig
from rig import build_launcher, helper_path, run_launcher, unix_to_windows

MB_OKCANCEL = 0x1
MB_YESNO = 0x4
MB_ICONQUESTION = 0x20
IDOK, IDCANCEL, IDYES, IDNO = 1, 2, 6, 7


def echo_line(tail):
    return rig.quote_windows_arg(unix_to_windows(helper_path("argecho"))) + tail


def child_environment(result):
    """The variables argecho found, without the WINE* ones Wine adds to every process."""
    entries = result.stderr_bytes.decode("utf-8").splitlines()
    pairs = [entry.split("=", 1) for entry in entries]
    return [(name, value) for name, value in pairs if not name.upper().startswith("WINE")]


class TestPaths:
    def test_unix_paths_become_z_drive_paths_and_back(self, tmp_path):
        windows = unix_to_windows(tmp_path / "a b" / "c.exe")
        assert windows == "Z:" + str(tmp_path).replace("/", "\\") + "\\a b\\c.exe"
        assert rig.windows_to_unix(windows) == tmp_path / "a b" / "c.exe"

    def test_c_drive_paths_lie_in_the_session_prefix(self, wine_session):
        assert rig.windows_to_unix("c:\\kvn_nlog") == wine_session.prefix / "drive_c" / "kvn_nlog"

    @pytest.mark.parametrize(
        "argument, quoted",
        [
            ("plain", "plain"),
            ("", '""'),
            ("two words", '"two words"'),
            ('say "hi"', '"say \\"hi\\""'),
            ("C:\\dir\\", "C:\\dir\\"),
            ("C:\\my dir\\", '"C:\\my dir\\\\"'),
            ('a\\"b', '"a\\\\\\"b"'),
            ("tab\there", '"tab\there"'),
        ],
    )
    def test_arguments_are_quoted_for_the_c_runtime(self, argument, quoted):
        assert rig.quote_windows_arg(argument) == quoted


class TestExactCommandLine:
    @pytest.mark.parametrize(
        "tail",
        [
            "",
            " a   b",
            ' \t"quoted  \t text" x"y\\"z  ',
            " 'single' \"\" \\\\server\\share\\ \"trailing\\\\\"",
            " caf\u00e9 \u4e2d\u6587 \U0001f600",
            "   ",
        ],
        ids=["bare", "space-runs", "tabs-and-quotes", "singles-and-backslashes", "non-ascii",
             "trailing-blanks"],
    )
    def test_the_child_receives_the_line_byte_for_byte(self, tail):
        line = echo_line(tail)
        result = run_launcher(None, cmdline=line)
        assert result.exit_code == 0
        assert result.stdout_bytes == line.encode("utf-8")

    def test_args_are_joined_with_quoting(self):
        result = run_launcher(helper_path("argecho"), args=["a b", "", 'q"'])
        assert result.stdout_bytes.decode("utf-8").endswith(' "a b" "" "q\\""')


class TestEnvironment:
    def test_the_child_gets_exactly_the_given_environment_sorted(self):
        result = run_launcher(
            helper_path("argecho"),
            env={"TESMO_E2E": "value with = and spaces", "path": "C:\\only", "PATHEXT": None},
        )
        found = child_environment(result)
        expected = rig.merge_environment(
            rig.base_environment(unix_to_windows(result.tmp_dir)),
            {"TESMO_E2E": "value with = and spaces", "path": "C:\\only", "PATHEXT": None},
        )
        assert dict(found) == expected
        assert "PATHEXT" not in dict(found) and dict(found)["path"] == "C:\\only"
        # Wine moves the two variables it sets itself at start-up to the end.
        names = [name for name, _ in found if name not in ("SystemDrive", "SystemRoot")]
        assert names == sorted(names, key=str.upper)

    def test_every_run_has_its_own_tmp_directory(self):
        first = run_launcher(helper_path("argecho"))
        second = run_launcher(helper_path("argecho"))
        assert first.tmp_dir != second.tmp_dir
        for result in (first, second):
            assert dict(child_environment(result))["TMP"] == unix_to_windows(result.tmp_dir)
            assert result.tmp_dir.is_dir()

    def test_log_files_in_the_run_tmp_directory_are_collected(self):
        # cmd writes the file the way the launcher would: into %TMP%.
        line = 'C:\\windows\\system32\\cmd.exe /c "echo log line>%TMP%\\kvn_nlog_42"'
        result = run_launcher(None, cmdline=line)
        assert result.exit_code == 0
        assert [p.name for p in result.log_files] == ["kvn_nlog_42"]
        assert result.log_text.splitlines() == ["log line"]

    def test_line_breaks_in_values_are_refused(self):
        with pytest.raises(ValueError):
            run_launcher(helper_path("argecho"), env={"BAD": "a\nb"})


class TestExitCodes:
    @pytest.mark.parametrize("code", [0, 3, 300, -5])
    def test_the_full_exit_code_comes_back(self, code):
        result = run_launcher(helper_path("argecho"), env={"ARGECHO_EXIT_CODE": str(code)})
        assert result.exit_code == code
        assert not result.timed_out

    def test_a_hanging_program_is_killed_at_the_timeout(self):
        started = time.monotonic()
        # With the display and nobody to press, the box waits for ever.
        result = run_launcher(helper_path("showbox"), args=["Hang", "nobody presses"],
                              display=True, timeout=2)
        assert result.timed_out and result.exit_code is None
        assert time.monotonic() - started < 15


class TestMessageBoxes:
    def test_the_box_is_read_and_the_requested_button_pressed(self, display):
        result = run_launcher(
            helper_path("showbox"),
            args=["Caf\u00e9 title", "First line\nSecond line", str(MB_YESNO | MB_ICONQUESTION)],
            box="no",
        )
        assert result.exit_code == IDNO
        assert result.box["title"] == "Caf\u00e9 title"
        assert result.box["text"] == "First line\nSecond line"
        assert result.box["buttons"] == ["Yes", "No"]
        assert result.box["owner"] == 0
        assert result.box["dismissed"] is True
        assert len(result.boxes) == 1

    @pytest.mark.parametrize(
        "style, press, pressed",
        [(MB_OKCANCEL, "ok", IDOK), (MB_OKCANCEL, "cancel", IDCANCEL), (MB_YESNO, "yes", IDYES)],
    )
    def test_each_button_can_be_pressed(self, display, style, press, pressed):
        result = run_launcher(helper_path("showbox"), args=["T", "X", str(style)], box=press)
        assert result.exit_code == pressed

    def test_a_box_without_the_requested_button_stays_until_the_timeout(self, display):
        result = run_launcher(helper_path("showbox"), args=["T", "only OK"], box="yes",
                              timeout=4)
        assert result.box["buttons"] == ["OK"]
        assert result.box["dismissed"] is False
        assert result.timed_out

    def test_without_the_display_no_box_shows_and_later_boxes_still_work(self, display):
        # Wine's desktop takes the display of whichever program starts it and ends three
        # seconds after its last program; a run without the display must neither show a
        # box nor leave a desktop without display for the run that follows at once.
        time.sleep(4)
        quiet = run_launcher(helper_path("showbox"), args=["T", "not shown"])
        assert quiet.exit_code == -1
        assert quiet.box is None
        shown = run_launcher(helper_path("showbox"), args=["After", "shown"], box="ok")
        assert shown.exit_code == IDOK
        assert shown.box["title"] == "After"

    def test_a_program_that_ends_without_a_box_returns_promptly(self, display):
        started = time.monotonic()
        result = run_launcher(helper_path("argecho"), box="ok", timeout=30)
        assert result.box is None and result.boxes == []
        assert time.monotonic() - started < 10


class TestLocale:
    @pytest.mark.parametrize(
        "lang, lcid",
        [(None, "0x0409"), ("de_DE.UTF-8", "0x0407"), ("de_AT.UTF-8", "0x0c07"),
         ("fr_CA.UTF-8", "0x0c0c")],
    )
    def test_the_windows_user_locale_follows_lang(self, lang, lcid):
        result = run_launcher(helper_path("wintest"), args=["lcid"], lang=lang)
        assert result.stdout.splitlines() == [f"lcid={lcid}", f"uilanguage={lcid}"]


class TestBuildLauncher:
    def test_values_reach_the_block_unchanged(self, tmp_path):
        launcher = build_launcher(
            tmp_path,
            {122: "com.example.Main", 123: "-Dpath=C:\\dir\\ -Dx=\"a b\"\ttab\nnext",
             2001: 7, 124: b"\xe9\xff"},
            name="sub/app.exe",
            wide={1000: "Titel \u00fc\u4e2d \U0001f600"},
            locale_sets={"de": {1000: "Deutsch \\ Titel"}, "": {1005: "leer"}},
        )
        assert launcher == tmp_path / "sub" / "app.exe"
        block = rig.read_block(launcher)
        assert block.narrow[122] == b"com.example.Main"
        assert block.narrow[123] == b'-Dpath=C:\\dir\\ -Dx="a b"\ttab\nnext'
        assert block.narrow[2001] == b"7"
        assert block.narrow[124] == b"\xe9\xff"
        assert block.wide[1000] == "Titel \u00fc\u4e2d \U0001f600"
        assert block.locale_sets == [(b"de", {1000: "Deutsch \\ Titel"}), (b"", {1005: "leer"})]

    def test_a_value_the_tool_refuses_raises(self, tmp_path):
        with pytest.raises(rig.RigError, match="tesmo-block"):
            build_launcher(tmp_path, {122: "\u4e2d"})


class TestWine32:
    def test_a_32_bit_program_prints_its_line(self, wine32_available, tmp_path):
        hello = rig.build_dir() / "e2e" / "hello32.exe"
        result = run_launcher(hello, timeout=600)
        assert result.exit_code == 0
        assert result.stdout.splitlines() == ["tesmo-wine32-ok"]
