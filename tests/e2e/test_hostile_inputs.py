"""Hostile inputs end to end: damaged blocks, options files, registry values, environment
values and paths that the launcher must survive with a defined outcome, never a crash,
a hang or garbage handed to the VM."""

from __future__ import annotations

import json
import shutil
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import pytest

import hostile
import rig
from pe import read_image
from rig import NO_RUNTIME, build_launcher, run_launcher, unix_to_windows, windows_to_unix
from runtimes import (CACHE_KEY, REG_SZ, RegRaw, cache_key_name, filetime_bytes, make_runtime,
                      reg_key_text, registry_apply)

JAVA_RUNTIME = rig.build_dir() / "java" / "kvnruntime.jar"
QUIET = "-q_kvn_internal"
LOG = {"TESMO_LOG": "yes"}
NO_JVM = "No JVM found (64-bit)"
MESSAGES = {1000: "Hostile tests", 1005: "The JVM could not be started.",
            1006: "File or directory {0} not found or empty",
            1008: "The environment variable {0} has to be defined",
            1009: "An internal error occurred (error code: {0})",
            1010: "Couldn't load main class.", 1016: "No JVM found ({0}-bit)"}
# How a launcher that ended as it means to ends: launched, a failure with its message, or
# no runtime.
DEFINED_EXITS = (0, 1, NO_RUNTIME)
# The stand-in VM checks that the application class has a main method; the runtime
# archive's own wrapper class has one, so no application needs compiling.
MAIN_CLASS = "com.tesmo.runtime.WinLauncher"
# Capacities of the launcher (characters including the terminator).
PATH_CAPACITY = 6000
CLASS_PATH_CAPACITY = 1 << 20
# An options file hands over lines of at most this many bytes, and reads this much of a file.
PIECE = PATH_CAPACITY - 1
FILE_LIMIT = 16 * 1024 * 1024


class App:
    """An installed application: a launcher with a realistic block (class path of three
    kinds, VM options with an include, fixed arguments, a search sequence, messages,
    localized sets, included files), the runtime archive in lib and a runtime beside it.
    Its archives have names that are their own 8.3 names."""

    def __init__(self, root: Path, settings=None):
        self.root = root
        lib = root / "lib"
        (lib / "plugins").mkdir(parents=True, exist_ok=True)
        shutil.copy(JAVA_RUNTIME, lib / "runtime.jar")
        for jar in (lib / "app.jar", lib / "plugins" / "one.zip"):
            jar.write_bytes(b"PK\x05\x06" + bytes(18))
        (root / "extra.vmoptions").write_text("-Dfrom.file=1\n# comment\n-Xss2m\n")
        payload = root / "payload"
        payload.mkdir(exist_ok=True)
        (payload / "data.txt").write_bytes(b"included data\n" * 40)
        (payload / "tool.jar").write_bytes(b"PK\x05\x06" + bytes(18))
        self.runtime = make_runtime(root / "jre", "jre8")
        block = {**MESSAGES, 101: "hostile tests", 122: MAIN_CLASS,
                 121: "A0.\\lib\\runtime.jar;A1.\\lib\\app.jar;S0.\\lib\\plugins",
                 123: '-Xms16m "-Dapp.mode=a b" -include-options "${TESMO_EXEDIR}extra.vmoptions"',
                 124: '--fixed "two words"', 126: "1.6", 127: "17", 128: "B.\\jre;Y;EJAVA_HOME",
                 146: "${TESMO_EXEDIR}", 152: "client", 2001: "t", 10004: ".\\native",
                 **(settings or {})}
        self.exe = build_launcher(root, block, wide={1005: "wide text"},
                                  locale_sets={"de": {1000: "Fehler"}, "": {1011: "none"}},
                                  includes={"data.txt": payload / "data.txt",
                                            "lib\\tool.jar": payload / "tool.jar"})

    def record(self, pid: int | None) -> dict | None:
        path = self.runtime.jvm_dll.parent / f"jvm-launch-{pid}.json"
        return json.loads(path.read_text(encoding="utf-8")) if path.is_file() else None

    def run(self, args=(), env=None, **kwargs):
        """Runs the launcher with the log on; ``result.record`` is the VM's record."""
        result = run_launcher(self.exe, args=list(args), env={**LOG, **(env or {})}, **kwargs)
        result.record = self.record(result.pid)
        return result


def no_runtime(result) -> bool:
    return (result.exit_code, result.stderr.splitlines()[0]) == (NO_RUNTIME, NO_JVM)


def launched(result) -> dict:
    assert (result.exit_code, result.stderr) == (0, ""), result.log_text[-3000:]
    return result.record


def option(record: dict, name: str) -> str:
    [value] = [o[len(name) + 1:] for o in record["options"] if o.startswith(name + "=")]
    return value


def file_options(record: dict) -> list[str]:
    """The options of the default options file: behind the configured ones, before the
    class path."""
    options = record["options"]
    return options[options.index("-Xss2m") + 1:-1]


# ---------------------------------------------------------------------------------------
# 1. Damaged blocks

SEED = 7193
MUTANTS = 1000
BATCH_SIZE = 125
# Every so many mutants runs without the quiet switch: its messages go to boxes, which
# fail at once without a display.
BOXED_EVERY = 10


def mutant_name(index: int) -> str:
    return f"m{index:04d}"


@pytest.fixture(scope="module")
def mutant_runs(request, tmp_path_factory, wine_session):
    """Runs the intact launcher, then the mutants the session selected in batches, two at
    a time, in a prefix of their own. Returns the app, the block's start, the intact run
    with its VM record and {index: Outcome}."""
    wanted = sorted(int(item.name[len("test_block_mutant[m"):-1])
                    for item in request.session.items if item.originalname == "test_block_mutant")
    root = tmp_path_factory.mktemp("mutants")
    app = App(root / "app")
    intact = app.exe.read_bytes()
    start = read_image(app.exe).end
    tmp = root / "tmp"
    tmp.mkdir()
    env = rig.base_environment(unix_to_windows(tmp))
    batches = [wanted[i:i + BATCH_SIZE] for i in range(0, len(wanted), BATCH_SIZE)]
    lines = []
    for batch in batches:
        lines.append([])
        for index in batch:
            exe = app.root / f"{mutant_name(index)}.exe"
            exe.write_bytes(hostile.mutate(intact, start, SEED, index)[0])
            lines[-1].append(rig.windows_command_line(exe, [] if index % BOXED_EVERY == 0
                                                      else [QUIET]))
    with hostile.private_wine(root / "prefix") as prefix:
        # Process ids come round again: the record is read before any other run.
        [first] = hostile.run_batch(prefix, [rig.windows_command_line(app.exe, [QUIET])],
                                    root / "intact", env, app.root)
        record = app.record(first.pid)
        with ThreadPoolExecutor(2) as pool:
            runs = pool.map(lambda n: hostile.run_batch(prefix, lines[n], root / f"batch{n}",
                                                        env, app.root), range(len(batches)))
            outcomes = {i: o for batch, ran in zip(batches, runs) for i, o in zip(batch, ran)}
    return app, start, (first, record), outcomes


@pytest.mark.own_prefix
def test_the_intact_launcher_launches(mutant_runs):
    _, _, (intact, record), _ = mutant_runs
    assert intact.exit_code == 0, intact.stderr_text
    assert "-Dfrom.file=1" in record["options"]
    assert record["events"][-1]["call"] == "DestroyJavaVM"


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
        # Where reading must stop, it stops with exactly that message.
        assert code == 1, f"{where}: exit {code:#x} instead of the {failure} failure"
        assert outcome.stderr_text == (f"Internal Error: {failure}\n" if quiet else ""), where
    else:
        assert code in DEFINED_EXITS, f"{where}: exit {code:#x}, stderr {outcome.stderr_text!r}"
        # Every failure says why, whatever the damage made of the message texts.
        assert code != 1 or outcome.stderr or not quiet, where
    exe.unlink()


# ---------------------------------------------------------------------------------------
# 2. VM options files


def utf16(text: str) -> bytes:
    return text.encode("utf-16-le", "surrogatepass")


def chained(count: int) -> dict[str, bytes]:
    """app.vmoptions including d1, d1 including d2 and so on."""
    files = {"app.vmoptions": b"-Dd=0\n-include-options d1.vmoptions\n"}
    for level in range(1, count + 1):
        text = f"-Dd={level}\n-include-options d{level + 1}.vmoptions\n"
        files[f"d{level}.vmoptions"] = text.encode()
    return files


LONG = "-Dlong=" + "x" * 14000
OPTIONS_FILES = {
    "line-at-capacity": ({"app.vmoptions": f"-Da={'y' * (PIECE - 4)}\n".encode()},
                         [f"-Da={'y' * (PIECE - 4)}"]),
    "line-one-past": ({"app.vmoptions": f"-Da={'y' * (PIECE - 3)}\n".encode()},
                      [f"-Da={'y' * (PIECE - 4)}", "y"]),
    "line-far-past": ({"app.vmoptions": f"{LONG}\r\n-Dafter=1\n".encode()},
                      [LONG[i:i + PIECE] for i in range(0, len(LONG), PIECE)] + ["-Dafter=1"]),
    # The VM takes C strings: a line with a NUL is no option, never a part of one.
    "nul-bytes": ({"app.vmoptions": b"-Dnul=a\0b\n\0\n-Dafter=1\n"}, ["-Dafter=1"],
                  "ERROR: VM options line holding a NUL byte left out"),
    # Bytes pass unchanged; the VM decodes them in its code page.
    "invalid-utf-8": ({"app.vmoptions": b"  -Dbad=\xff\xfe\xc0\x80\xed\xa0\x80 \n"},
                      ["-Dbad=\xff\xfe\xc0\x80\xed\xa0\x80"]),
    "utf-16-lone-surrogate": ({"app.vmoptions": utf16("\ufeff-Dx=1\r\n-Dy=\ud800z\r\n")}, [],
                              "ERROR: VM options line holding a NUL byte left out"),
    # Only the whole lines of the first 16 MiB count.
    "past-the-size-limit": ({"app.vmoptions": b"\n" * (FILE_LIMIT - 16) +
                             b"-Dwithin=1\n-Dcut=123456789\n-Dbeyond=1\n"}, ["-Dwithin=1"],
                            "ERROR: {root}\\app.vmoptions holds more than 16777216 bytes"),
    "include-cycle": ({"app.vmoptions": b"-Dd=0\n-include-options a.vmoptions\n",
                       "a.vmoptions": b"-Da=1\n-include-options b.vmoptions\n",
                       "b.vmoptions": b"-Db=1\n-include-options a.vmoptions\n"},
                      ["-Dd=0"] + ["-Da=1", "-Db=1"] * 8,
                      "ERROR: not including {root}\\a.vmoptions: options files nested more"),
    # Includes are bounded in all: the configured options' include counts too.
    "include-fan-out": ({"app.vmoptions": b"-Df=1\n" + b"-include-options app.vmoptions\n" * 2},
                        ["-Df=1"] * 256,
                        "ERROR: not including {root}\\app.vmoptions: more than 256 options files"),
    "include-depth": (chained(20), [f"-Dd={level}" for level in range(17)],
                      "ERROR: not including {root}\\d17.vmoptions: options files nested more"),
    "missing-includes": ({"app.vmoptions": b"-include-options missing.vmoptions\n"
                          b"-include-options ${NO_SUCH_VARIABLE}\n"
                          b"-include-options " + b"m" * 5900 + b"\n-Dafter=1\n"},
                         ["-Dafter=1"]),
}


@pytest.mark.parametrize("case", OPTIONS_FILES)
def test_options_file(tmp_path, case):
    files, expected, *logged = OPTIONS_FILES[case]
    app = App(tmp_path / "app")
    for name, content in files.items():
        (app.root / name).write_bytes(content)
    result = app.run()
    assert file_options(launched(result)) == expected
    for line in logged:
        line = line.format(root=unix_to_windows(app.root))
        assert any(entry.startswith(line) for entry in result.log_text.splitlines()), line


# ---------------------------------------------------------------------------------------
# 3. Registry values

PRODUCT = "HKLM\\SOFTWARE\\JavaSoft\\Java Runtime Environment"


def jre(version: str = "", **values) -> str:
    return reg_key_text(f"{PRODUCT}\\{version}" if version else PRODUCT, values)


def cached(runtime, **values) -> str:
    key = f"HKCU\\SOFTWARE\\{CACHE_KEY}\\{cache_key_name(runtime)}"
    return jre("1.8.0_201", JavaHome=runtime.home_windows) + reg_key_text(key, values)


def padded(path: str, length: int) -> str:
    """``path`` with backslashes up to ``length`` characters: the same directory."""
    return path + "\\" * (length - len(path))


# Each case: the registry fixture for the runtime, and whether the search finds it with
# its version from a probe, finds it with the cached version, or finds none.
REGISTRY = {
    "home-as-dword": (lambda rt: jre("1.8.0_201", JavaHome=0x5A003A), "none"),
    "dword-before-a-string": (lambda rt: jre("1.8.0_301", JavaHome=0x5A003A) +
                              jre("1.8.0_201", JavaHome=rt.home_windows), "probed"),
    # Values are read whatever their type, with or without terminator.
    "home-as-binary": (lambda rt: jre("1.8.0_201", JavaHome=utf16(rt.home_windows)), "probed"),
    "home-with-an-odd-byte": (lambda rt: jre("1.8.0_201", JavaHome=RegRaw(
        REG_SZ, utf16(rt.home_windows) + b"Z")), "probed"),
    "home-at-capacity": (lambda rt: jre("1.8.0_201",
                                        JavaHome=padded(rt.home_windows, 2999)), "probed"),
    "home-one-past": (lambda rt: jre("1.8.0_201", JavaHome=padded(rt.home_windows, 3000)),
                      "none"),
    "home-far-past": (lambda rt: jre("1.8.0_201", JavaHome=padded(rt.home_windows, 40000)),
                      "none"),
    "current-version-as-dword": (lambda rt: jre(CurrentVersion=0x312E31) +
                                 jre("1.8.0_201", JavaHome=rt.home_windows), "probed"),
    "current-version-far-past": (lambda rt: jre(CurrentVersion="1.8" + "0" * 400) +
                                 jre("1.8.0_201", JavaHome=rt.home_windows), "probed"),
    "many-subkeys": (lambda rt: "".join(jre(f"1.8.0_{n:04d}", JavaHome=f"C:\\none\\{n}")
                                        for n in range(1000)) +
                     jre("1.8.0_" + "9" * 249) + jre("1.8.0_0000_", JavaHome=rt.home_windows),
                     "probed"),
    # The version cache: a value of the wrong type or size is no cached version.
    "cached-version-as-dword": (lambda rt: cached(rt, LastWriteTime=filetime_bytes(rt.java),
                                                 Version=0x38002E), "probed"),
    "cached-version-far-past": (lambda rt: cached(rt, LastWriteTime=filetime_bytes(rt.java),
                                                  Version="1.0" + "0" * 4000), "probed"),
    # A string without its terminator is still the version.
    "unterminated-cached-version": (
        lambda rt: cached(rt, LastWriteTime=filetime_bytes(rt.java),
                          Version=RegRaw(REG_SZ, utf16("1.8.0_201"))), "cached"),
    "cached-time-as-string": (lambda rt: cached(rt, LastWriteTime="1.8.0_201",
                                                Version="1.0.0"), "probed"),
}


@pytest.mark.parametrize("case", REGISTRY)
def test_registry_values(tmp_path, case):
    entries, outcome = REGISTRY[case]
    app = App(tmp_path / "app", settings={128: "Y"})
    registry_apply(entries(app.runtime))
    result = app.run()
    if outcome == "none":
        assert no_runtime(result)
        assert "ERROR: No JVM found" in result.log_text.splitlines()
    else:
        assert launched(result)["dll"].lower() == app.runtime.jvm_dll_windows.lower()
        # A cache entry that is no version leaves the version to the probe.
        probed = "got version from execution 1.8.0_201" in result.log_text.splitlines()
        assert probed == (outcome == "probed")


# ---------------------------------------------------------------------------------------
# 4. Environment values at and beyond the capacities the launcher reads


@pytest.mark.parametrize("length", [PIECE - 4, PIECE - 3, 32000])
def test_expansion_at_its_capacity(tmp_path, length):
    """An options line, the working directory and the fixed arguments each refer to a
    variable whose value reaches the capacity exactly, misses it by one, or far."""
    app = App(tmp_path / "app", settings={146: "${WORK}", 124: "${FIXED}"})
    (app.root / "app.vmoptions").write_text("-Dv=${BIG}\n")
    work = tmp_path / "work"
    work.mkdir()
    big, fixed = "v" * length, "f" * (length - PIECE + 2003)
    result = app.run(env={"BIG": big, "FIXED": fixed,
                          "WORK": padded(unix_to_windows(work), length + 4)})
    record = launched(result)
    fits = length + 4 <= PIECE
    # A reference whose value would not fit stays as it is.
    assert file_options(record) == ["-Dv=" + (big if fits else "${BIG}")]
    expected = unix_to_windows(work) + "\\" if fits else f"{unix_to_windows(app.root)}\\${{WORK}}"
    assert f"change working directory to {expected}" in result.log_text.splitlines()
    # The fixed arguments hold 2000 characters.
    [main] = [e for e in record["events"] if e["call"] == "main"]
    assert main["args"][6:] == [fixed if fits else "${FIXED}"]


@pytest.mark.parametrize("length", [PIECE, PIECE + 1, 32767])
def test_java_home_at_its_capacity(tmp_path, length):
    app = App(tmp_path / "app", settings={128: "EJAVA_HOME"})
    home = padded(app.runtime.home_windows, min(length, PIECE)) + "x" * (length - PIECE)
    result = app.run(env={"JAVA_HOME": home})
    if length <= PIECE:
        assert launched(result)["dll"].lower() == app.runtime.jvm_dll_windows.lower()
    else:
        # Cut to its capacity the value would name the runtime's home, which it does not.
        assert no_runtime(result)


@pytest.mark.parametrize("length", [32000, 32767 - 20, 32767])
def test_path_at_its_limit(tmp_path, length):
    """PATH takes the native library directories in front and the runtime's behind; a
    value beyond the system's 32767 characters is not set, so PATH stays whole."""
    app = App(tmp_path / "app")
    path = "C:\\windows\\system32;" + "p" * (length - 20)
    result = app.run(env={"PATH": path})
    extended = (f"{unix_to_windows(app.root)}\\.\\native;{path};"
                f"{unix_to_windows(app.runtime.bin).lower()}")
    fits = len(extended) <= 32767
    assert option(launched(result), "-Djava.library.path") == (extended if fits else path)
    refusals = [line for line in result.log_text.splitlines()
                if line.startswith("Setting PATH") and line.endswith("failed with error 206")]
    assert len(refusals) == (0 if fits else 2)


def nested_directory(root: Path, length: int) -> Path:
    """A new directory whose Windows path is ``length`` characters long."""
    directory = root
    while len(unix_to_windows(directory)) < length:
        directory /= "d" * min(200, length - len(unix_to_windows(directory)) - 1)
    directory.mkdir(parents=True)
    return directory


@pytest.mark.parametrize("length, where", [(200, "TMP"), (246, "none"), (257, "none"),
                                           (4000, "profile"), (32000, "profile")])
def test_tmp_at_its_limits(tmp_path, length, where):
    """The temporary directory comes from TMP: GetTempFileName takes directories of up to
    246 characters, GetTempPath refuses those beyond 259, and the launcher then takes the
    profile. Between the two no directory can be made and the launcher says so."""
    app = App(tmp_path / "app")
    tmp = (unix_to_windows(nested_directory(tmp_path / "t", length)) if length < 4096 else
           "Q:\\none\\" + "t" * (length - 8))
    result = app.run(env={"TMP": tmp, "TEMP": tmp, "TESMO_LOG": None})
    if where == "none":
        assert (result.exit_code, result.stderr.strip()) == (
            1, "An internal error occurred (error code: 7)")
        return
    temp = option(launched(result), "-Dtesmo.tempDir")
    profile = rig.base_environment("")["USERPROFILE"]
    assert temp.startswith((tmp if where == "TMP" else profile) + "\\tsm")
    if where == "profile":
        shutil.rmtree(windows_to_unix(temp))


def test_class_path_past_its_capacity(tmp_path):
    names = [f"CP{n:02d}" for n in range(40)]
    values = {name: f"Z:\\{name}\\" + "c" * 29990 for name in names}
    app = App(tmp_path / "app", settings={
        121: "A0.\\lib\\runtime.jar;" + ";".join(f"E0{name}" for name in names)})
    result = app.run(env=values)
    expected = f"-Djava.class.path={unix_to_windows(app.root)}\\.\\lib\\runtime.jar;"
    for part in [part for name in names for part in (values[name], ";")]:
        if len(expected) + len(part) > CLASS_PATH_CAPACITY - 1:
            break
        expected += part
    assert launched(result)["options"][-1] == expected
    assert (f"ERROR: class path longer than {CLASS_PATH_CAPACITY - 1} characters: the rest is "
            "left out") in result.log_text.splitlines()


@pytest.mark.parametrize("key, length", [(124, 1999), (124, 2000), (123, PIECE), (123, 40000)])
def test_block_values_past_their_capacity(tmp_path, key, length):
    """A value longer than its reading site holds (written by a builder that does not check)
    is cut to the capacity: the fixed arguments hold 2000 characters, the VM options 6000."""
    app = App(tmp_path / "app", settings={key: "x"})
    value = ("-Dk=" + "k" * (length - 4)) if key == 123 else "f" * length
    start = read_image(app.exe).end
    app.exe.write_bytes(hostile.with_record(app.exe.read_bytes(), start, key, value.encode()))
    record = launched(app.run())
    kept = value[:(PIECE if key == 123 else 1999)]
    if key == 123:
        assert kept in record["options"]
    else:
        [main] = [e for e in record["events"] if e["call"] == "main"]
        assert main["args"][6:] == [kept]


# ---------------------------------------------------------------------------------------
# 5. Directories the ANSI code page cannot name, and awkward characters


@pytest.mark.parametrize("name", ["Ελληνικά", "中文 目录", "emoji \U0001F600",
                                  "a b (c) & 'd' %e% 100%"])
def test_unusual_directory_names(tmp_path, name):
    """The executable's, the installation's and the runtime's directories below one named
    so; the korvane flavour puts the installation's runtime archive on the class path."""
    app = App(tmp_path / name, settings={2001: "k", 10003: "inst"})
    (app.root / "inst" / ".korvane").mkdir(parents=True)
    shutil.copy(JAVA_RUNTIME, app.root / "inst" / ".korvane" / "kvnruntime.jar")
    record = launched(app.run(args=["x y"]))
    assert record["dll"].lower() == app.runtime.jvm_dll_windows.lower()
    exe = option(record, "-Dtesmo.moduleName")
    directory = exe[:-len("app.exe")]
    assert option(record, "-Dsun.java.command") == exe
    # Names the narrow code page cannot hold reach the VM in their 8.3 form, others whole.
    installed, *entries = record["classPath"]
    if name.isascii():
        assert directory == unix_to_windows(app.root) + "\\"
        assert installed == f"{unix_to_windows(app.root)}\\inst\\.korvane\\kvnruntime.jar"
    assert (directory + installed).isascii() and "?" not in directory + installed
    assert entries == [f"{directory}.\\lib\\runtime.jar", f"{directory}.\\lib\\app.jar",
                       f"{directory}.\\lib\\plugins\\one.zip"]
    finds = [e for e in record["events"] if e["call"] == "FindClass"]
    assert all(e["found"] and "classPathProblems" not in e for e in finds)
    assert finds[0]["from"] == installed
    assert "-Dfrom.file=1" in record["options"]
    [main] = [e for e in record["events"] if e["call"] == "main"]
    assert main["check"] == "ok"
    assert main["args"][6:] == ["--fixed", "two words", "x y"]
