"""Starting the application end to end: the stand-in VM records the options, the class path
and the wrapper's argument array; the same array then runs the real wrapper on a real JVM."""

import json
import shutil
import subprocess
from pathlib import Path

import pytest

import rig
from rig import build_launcher, run_launcher, unix_to_windows
from runtimes import make_runtime

JAVA_RUNTIME = rig.build_dir() / "java" / "kvnruntime.jar"
LOG = {"TESMO_LOG": "yes"}
MESSAGES = {1000: "VM tests", 1005: "The JVM could not be started.",
            1009: "An internal error occurred (error code: {0})",
            1010: "Couldn't load main class.", 1006: "File or directory {0} not found or empty"}

APP_SOURCE = """package com.example;
public class App {
    public static void main(String[] args) throws Exception {
        try (java.io.PrintStream out = new java.io.PrintStream(new java.io.FileOutputStream(
                System.getProperty("app.report")), true, "UTF-8")) {
            for (String arg : args) out.println(arg);
        }
    }
}
"""


@pytest.fixture(scope="session")
def application(tmp_path_factory):
    """com.example.App writes its arguments to the file named by -Dapp.report, one a line."""
    if not JAVA_RUNTIME.is_file():
        pytest.fail(f"{JAVA_RUNTIME} is missing: scripts/build.sh builds it")
    root = tmp_path_factory.mktemp("application")
    source = root / "src" / "com" / "example" / "App.java"
    source.parent.mkdir(parents=True)
    source.write_text(APP_SOURCE)
    subprocess.run(["javac", "--release", "8", "-d", str(root / "classes"), str(source)],
                   check=True, capture_output=True)
    subprocess.run(["jar", "cf", str(root / "app.jar"), "-C", str(root / "classes"), "."],
                   check=True)
    return root / "app.jar"


class App:
    """An installed application: launcher, lib folder with the jars, a runtime beside it."""

    def __init__(self, root: Path, application: Path, settings=None, includes=None,
                 runtime_jar=True, bits=64):
        self.root = root
        lib = root / "lib"
        lib.mkdir(parents=True, exist_ok=True)
        shutil.copy(application, lib / "app.jar")
        if runtime_jar:
            shutil.copy(JAVA_RUNTIME, lib / "kvnruntime.jar")
        self.runtime = make_runtime(root / "jre", "jre8", bits=bits)
        base = {**MESSAGES, 101: "vm tests", 128: "B.\\jre", 122: "com.example.App",
                121: "A0.\\lib\\kvnruntime.jar;A1.\\lib\\app.jar"}
        self.exe = build_launcher(root, {**base, **(settings or {})}, includes=includes,
                                  bits=bits)

    def run(self, args=None, env=None, **kwargs):
        result = run_launcher(self.exe, args=args, env={**LOG, **(env or {})}, **kwargs)
        path = self.runtime.jvm_dll.parent / f"jvm-launch-{result.pid}.json"
        result.record = json.loads(path.read_text(encoding="utf-8")) if path.exists() else None
        return result


def event(result, call):
    return [e for e in result.record["events"] if e["call"] == call]


def main_args(result):
    [main] = event(result, "main")
    return main["args"]


@pytest.mark.parametrize("bits", [64, 32])
def test_wrapper_arguments(tmp_path, application, request, bits):
    if bits == 32:
        # Its JNI calls go through __stdcall and 32-bit pointers: nothing else reaches main.
        request.getfixturevalue("wine32_available")
    app = App(tmp_path / "app", application, bits=bits,
              settings={123: '-Xms64m "-Dconfigured=a b" -include-options extra.vmoptions',
                        124: '--fixed "two words"', 125: 1, 102: 1, 103: "logs\\error.log",
                        104: 1, 105: "${MY_OUTPUT}", 106: 1, 107: 1})
    (app.root / "extra.vmoptions").write_text("-Dincluded=1\n")
    (app.root / "app.vmoptions").write_text("  -Dfrom.file=1  \n# comment\n-Xmx256m\n")
    result = app.run(args=["a", "-J-Dfrom.j=1", "-Dsun.locale.formatasdefault=false", "b c"],
                     env={"MY_OUTPUT": None, "MANPATH": None}, lang="de_DE.UTF-8", timeout=240)
    assert result.exit_code == 0, result.stderr
    exe, root = unix_to_windows(app.exe), unix_to_windows(app.root)
    got = result.record["options"]
    assert got[0].startswith("-Dtesmo.semaphoreName=Local\\")
    assert got[1:5] == [f"-Dtesmo.moduleName={exe}", f"-Dsun.java.command={exe}",
                        "-Dtesmo.tempDir=", "-Dtesmo.unextractedPosition=0"]
    assert got[5].startswith("-Djava.library.path=")
    assert got[6].startswith("-Dtesmo.consoleCodepage=cp")
    assert got[7:] == ["-Xms64m", "-Dconfigured=a b", "-Dincluded=1", "-Dfrom.j=1",
                       "-Dsun.locale.formatasdefault=false", "-Duser.language=de",
                       "-Duser.country=DE", "-Dfrom.file=1", "-Xmx256m",
                       f"-Djava.class.path={root}\\.\\lib\\kvnruntime.jar;"
                       f"{root}\\.\\lib\\app.jar;"]
    assert (result.record["ignoreUnrecognized"], result.record["version"]) == (True, 0x00010002)
    assert main_args(result) == ["true", "com.example.App",
                                 unix_to_windows(app.root / "logs" / "error.log"),
                                 "${MY_OUTPUT}", "true", exe, "--fixed", "two words", "a", "b c"]
    assert event(result, "DestroyJavaVM")
    assert result.log_text.splitlines()[-1] == "launch done"


def test_the_recorded_array_runs_the_real_wrapper(tmp_path, application):
    app = App(tmp_path / "app", application, settings={124: "--fixed"})
    result = app.run(args=["first", "second arg", "-console"])
    assert result.exit_code == 0
    report = tmp_path / "report.txt"
    properties = [option for option in result.record["options"]
                  if option.startswith("-Dtesmo.") and "library" not in option]
    completed = subprocess.run(
        ["java", f"-Dapp.report={report}", *properties, "-cp",
         f"{JAVA_RUNTIME}:{application}", "com.tesmo.runtime.WinLauncher", *main_args(result)],
        capture_output=True, text=True, timeout=120)
    assert completed.returncode == 0, completed.stderr
    assert report.read_text(encoding="utf-8").splitlines() == [
        "--fixed", "first", "second arg", "-console"]


@pytest.mark.parametrize("settings, text, vm_started", [
    ({121: "A1.\\lib\\app.jar"}, "Couldn't load main class.", True),
    ({121: "A0.\\lib\\kvnruntime.jar;A1.\\lib\\missing.jar"},
     "File or directory .\\lib\\missing.jar not found or empty", False),
])
def test_failures_in_boxes(tmp_path, application, display, settings, text, vm_started):
    app = App(tmp_path / "app", application, settings={107: 1, **settings})
    result = app.run(box="ok", env={"TESMO_LOG": None})
    assert result.exit_code == 1
    assert (result.box["title"], result.box["text"]) == ("VM tests", text)
    # A class path that cannot be built stops the launch before any VM is asked for.
    assert (result.record is not None) == vm_started


@pytest.mark.parametrize("answer, hook, error", [
    ("true", JAVA_RUNTIME, None), ("throw", JAVA_RUNTIME, None),
    # Without the runtime archive there is no FirstRun class.
    ("true", None, 14)])
def test_korvane_first_run_hook(tmp_path, application, answer, hook, error):
    app = App(tmp_path / "app", application, runtime_jar=False,
              settings={121: "A1.\\lib\\app.jar", 10003: "inst", 2001: "k",
                        123: f"-Dstandin.firstRun={answer}"})
    korvane = app.root / "inst" / ".korvane"
    korvane.mkdir(parents=True)
    (korvane / "firstrun").write_text("")
    if hook:
        shutil.copy(hook, korvane / "kvnruntime.jar")
    result = app.run()
    if error:
        assert result.exit_code == 1
        assert result.stderr.startswith(f"An internal error occurred (error code: {error})")
        return
    assert result.exit_code == 0, result.stderr
    assert result.record["options"][1] == "-Dtesmo.isKorvane=true"
    assert event(result, "firstRun") and event(result, "DestroyJavaVM")
    called = [e["class"] for e in event(result, "main")]
    assert called == (["com.korvane.runtime.launcher.WinLauncher"] if answer == "true" else [])
    stopped = "checkFirstRun stopped further execution" in result.log_text.splitlines()
    assert stopped == (answer != "true")
