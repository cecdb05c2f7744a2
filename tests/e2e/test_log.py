"""The diagnostic log of the real launcher: when it is on, where it goes, what it holds."""

import re

import pytest

from rig import NO_RUNTIME, build_launcher, helper_path, run_launcher, run_wine, unix_to_windows

SETTINGS = {101: "log tests", 107: 1, 1000: "Log tests"}
START_LINE = re.compile(
    r"^Started executable (?P<exe>.+) at [A-Z][a-z]{2} [A-Z][a-z]{2} \d\d \d\d:\d\d:\d\d \d{4}$")
QUESTION = ("The following log file will be created:\n\n{path}\n\n"
            "Do you want to open an Explorer window?")


@pytest.fixture
def launcher(tmp_path):
    return build_launcher(tmp_path, SETTINGS)


def test_only_exactly_yes_switches_it_on_and_each_run_gets_a_fresh_file(launcher):
    rows = [({}, False), ({"TESMO_LOG": "yes"}, True), ({"KORVANE_LOG": "yes"}, True),
            ({"TESMO_LOG": "Yes", "KORVANE_LOG": " yes"}, False),
            ({"TESMO_LOG": "1", "KORVANE_LOG": ""}, False)]
    names = []
    for env, logged in rows:
        result = run_launcher(launcher, env=env)
        assert result.exit_code == NO_RUNTIME
        assert [p.parent for p in result.log_files] == [result.tmp_dir] * logged, env
        assert len(list(result.tmp_dir.iterdir())) == logged, env
        names += [re.fullmatch(r"kvn_nlog_\d+", p.name)[0] for p in result.log_files]
    assert len(set(names)) == 2


def test_without_a_tmp_directory_the_log_goes_to_the_drive_root(launcher, wine_session):
    result = run_launcher(launcher, env={"TESMO_LOG": "yes", "TMP": "C:\\no\\such\\dir"})
    assert result.exit_code == NO_RUNTIME
    logs = sorted((wine_session.prefix / "drive_c").glob("kvn_nlog_*"))
    raw = logs[-1].read_bytes()
    for log in logs:
        log.unlink()
    assert b"\n" not in raw.replace(b"\r\n", b"")
    first = raw.decode("cp1252").splitlines()[0]
    assert START_LINE.match(first)["exe"] == unix_to_windows(launcher)


@pytest.mark.parametrize("answer", ["no", "yes"])
def test_the_switch_asks_and_yes_opens_explorer_on_the_file(tmp_path, display, answer):
    # A console-type launcher: its question box still shows, while the messages about the
    # missing runtime that follow go to standard error.
    exe = build_launcher(tmp_path, {**SETTINGS, 107: 2})
    result = run_launcher(exe, args=["-create-kvn-log", "next"], box=answer)
    assert result.exit_code == NO_RUNTIME
    [log] = result.log_files
    assert (result.box["title"], result.box["text"], result.box["buttons"]) == (
        "korvane", QUESTION.format(path=unix_to_windows(log)), ["Yes", "No"])
    # The question comes after the block has been read: the log holds its lines.
    assert "language/country is" in result.log_text
    calls = [line for line in result.log_text.splitlines() if line.startswith(("calling ",
                                                                               "could not"))]
    if answer == "no":
        assert calls == []
    else:
        short = run_wine([str(helper_path("wintest")), "short-path", "--path",
                          unix_to_windows(log)]).stdout.strip()
        assert "~" in short
        assert calls == [f"calling C:\\windows\\explorer.exe /select,{short}"]
