"""Starting the application end to end: the stand-in VM records the options, the class path
and the wrapper's argument array; the same array then runs the real wrapper on a real JVM."""

import shutil
import subprocess

import pytest

from apps import JAVA_RUNTIME, App
from rig import unix_to_windows


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


@pytest.mark.parametrize("answer", ["true", "throw"])
def test_korvane_first_run_hook(tmp_path, application, answer):
    app = App(tmp_path / "app", application, runtime_jar=False,
              settings={121: "A1.\\lib\\app.jar", 10003: "inst", 2001: "k",
                        123: f"-Dstandin.firstRun={answer}"})
    korvane = app.root / "inst" / ".korvane"
    korvane.mkdir(parents=True)
    (korvane / "firstrun").write_text("")
    shutil.copy(JAVA_RUNTIME, korvane / "kvnruntime.jar")
    result = app.run()
    assert result.exit_code == 0, result.stderr
    assert result.record["options"][1] == "-Dtesmo.isKorvane=true"
    assert event(result, "firstRun") and event(result, "DestroyJavaVM")
    called = [e["class"] for e in event(result, "main")]
    assert called == (["com.korvane.runtime.launcher.WinLauncher"] if answer == "true" else [])
    stopped = "checkFirstRun stopped further execution" in result.log_text.splitlines()
    assert stopped == (answer != "true")
