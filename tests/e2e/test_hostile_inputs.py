"""Hostile inputs end to end: damaged blocks, values at capacity and unusual paths end in a
defined outcome, never a crash, a hang or garbage handed to the VM."""

import shutil

import pytest

import hostile
import rig
from apps import JAVA_RUNTIME, MESSAGES, App
from pe import read_image
from rig import NO_RUNTIME, build_launcher, unix_to_windows

QUIET = "-q_kvn_internal"


def launched(result) -> dict:
    assert (result.exit_code, result.stderr) == (0, ""), result.log_text[-3000:]
    return result.record


SEED = 7193
MUTANTS = 160
# Every so many mutants runs without the quiet switch: its messages go to boxes, which
# fail at once without a display.
BOXED_EVERY = 10


def mutant_name(index: int) -> str:
    return f"m{index:04d}"


@pytest.fixture(scope="module")
def mutant_runs(request, tmp_path_factory, wine_session, application):
    """Runs the intact launcher, then the session's mutants in one batch, in a prefix of their
    own: the app, the block's start, the intact run and {index: Outcome}."""
    wanted = sorted(int(item.name[len("test_block_mutant[m"):-1])
                    for item in request.session.items if item.originalname == "test_block_mutant")
    root = tmp_path_factory.mktemp("mutants")
    app = App(root / "app", application)
    (app.root / "extra.vmoptions").write_text("-Dfrom.file=1\n# comment\n-Xss2m\n")
    # A block with every section and many kinds of setting gives the damage much to hit.
    app.exe = build_launcher(app.root, {
        **MESSAGES, 101: "hostile tests", 122: "com.example.App", 124: '--fixed "two words"',
        121: "A0.\\lib\\kvnruntime.jar;A1.\\lib\\app.jar;S0.\\lib",
        123: '-Xms16m "-Dapp.mode=a b" -include-options "${TESMO_EXEDIR}extra.vmoptions"',
        126: "1.6", 127: "17", 128: "B.\\jre;Y;EJAVA_HOME", 146: "${TESMO_EXEDIR}", 152: "client",
        2001: "t", 10004: ".\\native"}, wide={1005: "wide text"},
        locale_sets={"de": {1000: "Fehler"}, "": {1011: "none"}},
        includes={"data.txt": app.root / "extra.vmoptions", "a.jar": app.root / "lib" / "app.jar"})
    intact = app.exe.read_bytes()
    start = read_image(app.exe).end
    env = rig.base_environment(unix_to_windows(root))
    lines = []
    for index in wanted:
        exe = app.root / f"{mutant_name(index)}.exe"
        exe.write_bytes(hostile.mutate(intact, start, SEED, index)[0])
        lines.append(rig.windows_command_line(exe, [] if index % BOXED_EVERY == 0 else [QUIET]))
    with hostile.private_wine(root / "prefix") as prefix:
        [first] = hostile.run_batch(prefix, [rig.windows_command_line(app.exe, [QUIET])],
                                    root / "intact", env, app.root)
        outcomes = hostile.run_batch(prefix, lines, root / "mutants", env, app.root)
    return app, start, first, dict(zip(wanted, outcomes))


@pytest.mark.own_prefix
def test_the_intact_launcher_launches(mutant_runs):
    intact = mutant_runs[2]
    assert (intact.exit_code, intact.stderr_text) == (0, "")


@pytest.mark.own_prefix
@pytest.mark.parametrize("index", range(MUTANTS), ids=mutant_name)
def test_block_mutant(mutant_runs, index):
    app, start, _, outcomes = mutant_runs
    data, description = hostile.mutate(app.exe.read_bytes(), start, SEED, index)
    outcome = outcomes[index]
    failure = hostile.reading_failure(data, start)
    exe = app.root / f"{mutant_name(index)}.exe"
    where = (f"mutant {index} of seed {SEED} ({description}), kept as {exe}; again: "
             f"python3 -m pytest -q tests/e2e/test_hostile_inputs.py -k {mutant_name(index)}")
    assert not outcome.failure, f"{where}: wintest could not start it: {outcome.failure}"
    assert outcome.exit_code is not None, f"{where}: still running after the time limit"
    code, quiet = outcome.exit_code, index % BOXED_EVERY != 0
    if failure:
        assert code == 1, f"{where}: exit {code:#x} instead of the {failure} failure"
        assert outcome.stderr_text == (f"Internal Error: {failure}\n" if quiet else ""), where
    else:
        assert code in (0, 1, NO_RUNTIME), f"{where}: exit {code:#x}, {outcome.stderr_text!r}"
        # Every failure says why, whatever the damage made of the message texts.
        assert code != 1 or outcome.stderr or not quiet, where
    exe.unlink()


def test_a_tmp_too_long_for_any_temporary_name_ends_with_its_error(tmp_path, application):
    """GetTempFileName takes directories of up to 246 characters and GetTempPath refuses
    only those beyond 259: between the two no directory for the included files can be made."""
    app = App(tmp_path / "app", application, includes={"app.jar": application})
    tmp = tmp_path / "t"
    while len(unix_to_windows(tmp)) < 246:
        tmp /= "d" * min(200, 246 - len(unix_to_windows(tmp)) - 1)
    tmp.mkdir(parents=True)
    result = app.run(env={"TMP": unix_to_windows(tmp), "TEMP": unix_to_windows(tmp),
                          "TESMO_LOG": None})
    assert (result.exit_code, result.stderr.strip()) == (
        1, "An internal error occurred (error code: 7)")


def test_class_path_past_its_capacity(tmp_path, application):
    names = [f"CP{n:02d}" for n in range(40)]
    values = {name: f"Z:\\{name}\\" + "c" * 29990 for name in names}
    app = App(tmp_path / "app", application, settings={
        121: "A0.\\lib\\kvnruntime.jar;" + ";".join(f"E0{name}" for name in names)})
    result = app.run(env=values)
    expected = f"-Djava.class.path={unix_to_windows(app.root)}\\.\\lib\\kvnruntime.jar;"
    # Whole entries up to the capacity of 1 MiB characters, the terminator included.
    for part in [part for name in names for part in (values[name], ";")]:
        if len(expected) + len(part) > (1 << 20) - 1:
            break
        expected += part
    assert launched(result)["options"][-1] == expected
    assert (f"ERROR: class path longer than {(1 << 20) - 1} characters: the rest is "
            "left out") in result.log_text.splitlines()


@pytest.mark.parametrize("name", ["中文 目录", "emoji \U0001F600", "a b (c) & 'd' %e% 100%"])
def test_unusual_directory_names(tmp_path, application, name):
    """The executable's, the korvane installation's and the runtime's directories so named."""
    app = App(tmp_path / name, application, runtime_jar=False,
              settings={2001: "k", 10003: "inst", 121: "A1.\\lib\\app.jar"})
    (app.root / "inst" / ".korvane").mkdir(parents=True)
    shutil.copy(JAVA_RUNTIME, app.root / "inst" / ".korvane" / "kvnruntime.jar")
    record = launched(app.run())
    assert record["dll"].lower() == app.runtime.jvm_dll_windows.lower()
    [exe] = [o.split("=", 1)[1] for o in record["options"] if o.startswith("-Dtesmo.moduleName=")]
    directory = exe[:-len("app.exe")]
    # Names the narrow code page cannot hold reach the VM in their 8.3 form, others whole.
    installed, *entries = record["classPath"]
    if name.isascii():
        assert directory == unix_to_windows(app.root) + "\\"
        assert installed == f"{directory}inst\\.korvane\\kvnruntime.jar"
    assert (directory + installed).isascii() and "?" not in directory + installed
    assert entries == [f"{directory}.\\lib\\app.jar"]
    finds = [e for e in record["events"] if e["call"] == "FindClass"]
    assert all(e["found"] and "classPathProblems" not in e for e in finds)
    assert finds[0]["from"] == installed
    assert [e["check"] for e in record["events"] if e["call"] == "main"] == ["ok"]
