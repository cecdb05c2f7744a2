"""Starting the application end to end: the real launcher, the stand-in VM and the real
Java-side runtime archive. The stand-in records the options, the class path and the
wrapper's argument array; the same array then runs the real wrapper on the machine's JVM."""

import json
import shutil
import subprocess
from pathlib import Path

import pytest

import rig
from pe import read_image
from rig import build_launcher, read_block, run_launcher, unix_to_windows
from runtimes import make_runtime

JAVA_RUNTIME = rig.build_dir() / "java" / "kvnruntime.jar"
LOG = {"TESMO_LOG": "yes"}
MESSAGES = {1000: "VM tests", 1005: "The JVM could not be started.",
            1009: "An internal error occurred (error code: {0})",
            1010: "Couldn't load main class.", 1011: "Main method not found.",
            1006: "File or directory {0} not found or empty", 1008: "The environment "
            "variable {0} has to be defined"}

APP_SOURCE = """
package com.example;

public class App {
    public static void main(String[] args) throws Exception {
        java.io.PrintStream out = new java.io.PrintStream(
            new java.io.FileOutputStream(System.getProperty("app.report")), true, "UTF-8");
        for (String arg : args) out.println(arg);
        out.close();
    }
}
"""


@pytest.fixture(scope="session")
def application(tmp_path_factory):
    """The test application's jar (com.example.App writes its arguments to the file named
    by -Dapp.report, one per line)."""
    if not JAVA_RUNTIME.is_file():
        pytest.fail(f"{JAVA_RUNTIME} is missing: scripts/build.sh builds it")
    root = tmp_path_factory.mktemp("application")
    source = root / "src" / "com" / "example" / "App.java"
    source.parent.mkdir(parents=True)
    source.write_text(APP_SOURCE)
    classes = root / "classes"
    subprocess.run(["javac", "--release", "8", "-d", str(classes), str(source)], check=True,
                   capture_output=True)
    jar = root / "app.jar"
    subprocess.run(["jar", "cf", str(jar), "-C", str(classes), "."], check=True)
    return jar


class App:
    """An installed application: launcher, lib folder with the jars, a runtime beside it."""

    def __init__(self, root: Path, application: Path, settings=None, wide=None, includes=None,
                 flavour=None, runtime_jar=True, bits=64):
        self.root = root
        lib = root / "lib"
        lib.mkdir(parents=True, exist_ok=True)
        shutil.copy(application, lib / "app.jar")
        if runtime_jar:
            shutil.copy(JAVA_RUNTIME, lib / "kvnruntime.jar")
        self.runtime = make_runtime(root / "jre", "jre8", bits=bits)
        base = {**MESSAGES, 101: "vm tests", 128: "B.\\jre", 122: "com.example.App",
                121: "A0.\\lib\\kvnruntime.jar;A1.\\lib\\app.jar"}
        if flavour:
            base[2001] = flavour
        self.exe = build_launcher(root, {**base, **(settings or {})}, wide=wide,
                                  includes=includes, bits=bits)

    def run(self, args=None, env=None, **kwargs):
        result = run_launcher(self.exe, args=args, env={**LOG, **(env or {})}, **kwargs)
        path = self.runtime.jvm_dll.parent / f"jvm-launch-{result.pid}.json"
        result.record = json.loads(path.read_text(encoding="utf-8")) if path.exists() else None
        return result


def options(result):
    return result.record["options"]


def event(result, call):
    return [e for e in result.record["events"] if e["call"] == call]


def main_args(result):
    [main] = event(result, "main")
    return main["args"]


def exe_windows(app):
    return unix_to_windows(app.exe)


@pytest.fixture
def app(tmp_path, application):
    return App(tmp_path / "app", application)


class TestCompletedLaunch:
    def test_options_in_their_order(self, tmp_path, application):
        app = App(tmp_path / "app", application,
                  settings={123: '-Xms64m "-Dconfigured=a b" -include-options extra.vmoptions',
                            125: 1})
        (app.root / "extra.vmoptions").write_text("-Dincluded=1\n")
        (app.root / "app.vmoptions").write_text("  -Dfrom.file=1  \n# comment\n-Xmx256m\n")
        result = app.run(args=["user", "-J-Dfrom.j=1", "-Dsun.locale.formatasdefault=false"],
                         env={"MANPATH": None}, lang="de_DE.UTF-8")
        assert result.exit_code == 0, result.stderr
        exe = exe_windows(app)
        got = options(result)
        assert got[0].startswith("-Dtesmo.semaphoreName=Local\\")
        assert got[1:5] == [f"-Dtesmo.moduleName={exe}", f"-Dsun.java.command={exe}",
                            "-Dtesmo.tempDir=", "-Dtesmo.unextractedPosition=0"]
        assert got[5].startswith("-Djava.library.path=")
        assert got[6].startswith("-Dtesmo.consoleCodepage=cp")
        assert got[7:-1] == ["-Xms64m", "-Dconfigured=a b", "-Dincluded=1", "-Dfrom.j=1",
                             "-Dsun.locale.formatasdefault=false", "-Duser.language=de",
                             "-Duser.country=DE", "-Dfrom.file=1", "-Xmx256m"]
        assert got[-1].startswith("-Djava.class.path=")
        assert result.record["ignoreUnrecognized"] is True
        assert result.record["version"] == 0x00010002

    @pytest.mark.parametrize("bits", [64, 32])
    def test_wrapper_arguments(self, tmp_path, application, request, bits):
        if bits == 32:
            # Its JNI calls go through __stdcall and 32-bit pointers: nothing else reaches main.
            request.getfixturevalue("wine32_available")
        app = App(tmp_path / "app", application, bits=bits,
                  settings={124: '--fixed "two words"', 125: 1, 102: 1, 103: "logs\\error.log",
                            104: 1, 105: "${MY_OUTPUT}", 106: 1, 107: 1})
        result = app.run(args=["a", "-Jx", "-Dsun.locale.formatasdefault=true", "b c"],
                         env={"MY_OUTPUT": None}, timeout=240)
        assert result.exit_code == 0, result.stderr
        assert main_args(result) == ["true", "com.example.App",
                                     unix_to_windows(app.root / "logs" / "error.log"),
                                     "${MY_OUTPUT}", "true", exe_windows(app), "--fixed",
                                     "two words", "a", "b c"]
        assert event(result, "DestroyJavaVM")

    def test_class_path_is_last_and_resolved(self, app):
        result = app.run()
        assert result.exit_code == 0, result.stderr
        root = unix_to_windows(app.root)
        assert options(result)[-1] == (f"-Djava.class.path={root}\\.\\lib\\kvnruntime.jar;"
                                       f"{root}\\.\\lib\\app.jar;")
        assert event(result, "DestroyJavaVM")
        assert result.log_text.splitlines()[-1] == "launch done"


class TestRealWrapperAgrees:
    def test_the_recorded_array_runs_the_real_wrapper(self, tmp_path, application):
        app = App(tmp_path / "app", application, settings={124: "--fixed"})
        result = app.run(args=["first", "second arg", "-console"])
        assert result.exit_code == 0
        args = main_args(result)
        report = tmp_path / "report.txt"
        properties = [option for option in options(result)
                      if option.startswith("-Dtesmo.") and "library" not in option]
        completed = subprocess.run(
            ["java", f"-Dapp.report={report}", *properties, "-cp",
             f"{JAVA_RUNTIME}:{application}", "com.tesmo.runtime.WinLauncher", *args],
            capture_output=True, text=True, timeout=120)
        assert completed.returncode == 0, completed.stderr
        assert report.read_text(encoding="utf-8").splitlines() == [
            "--fixed", "first", "second arg", "-console"]


def compile_jar(tmp_path, name, sources):
    """A jar of the given Java sources ({relative path: text})."""
    root = tmp_path / name
    for relative, text in sources.items():
        path = root / "src" / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text)
    classes = root / "classes"
    subprocess.run(["javac", "--release", "8", "-d", str(classes),
                    *[str(root / "src" / r) for r in sources]], check=True, capture_output=True)
    jar = root / f"{name}.jar"
    subprocess.run(["jar", "cf", str(jar), "-C", str(classes), "."], check=True)
    return jar


class TestFailures:
    def quiet(self, result):
        return result.stderr.replace("\r\n", "\n")

    def test_vm_not_created(self, tmp_path, application):
        app = App(tmp_path / "app", application, settings={123: "-Xmx100g"})
        result = app.run()
        assert result.exit_code == 1
        assert result.record["createResult"] == -4
        assert "ERROR: could not initialize JVM" in result.log_text.splitlines()
        # The VM says why first, then the launcher's message.
        assert "Could not reserve enough space for object heap\nThe JVM could not be started." \
            in self.quiet(result)

    @pytest.mark.parametrize("wrapper, log_line, message", [
        (None, "ERROR: could not find main class", "Couldn't load main class."),
        ("public class WinLauncher { public void run() {} }",
         "ERROR: could not find main method", "Main method not found.")])
    def test_wrapper_unusable(self, tmp_path, application, wrapper, log_line, message):
        class_path = "A1.\\lib\\app.jar"
        if wrapper:
            fake = compile_jar(tmp_path, "fake", {"com/tesmo/runtime/WinLauncher.java":
                                                  f"package com.tesmo.runtime;\n{wrapper}\n"})
            class_path = f"A0{unix_to_windows(fake)};{class_path}"
        app = App(tmp_path / "app", application, runtime_jar=False, settings={121: class_path})
        result = app.run()
        assert result.exit_code == 1
        assert log_line in result.log_text.splitlines()
        assert self.quiet(result).startswith(message)

    def test_exception_from_main(self, tmp_path, application):
        app = App(tmp_path / "app", application,
                  settings={123: "-Dstandin.main=throw:java.lang.IllegalStateException"})
        result = app.run()
        assert result.exit_code == 1
        log = result.log_text.splitlines()
        # Every message first hides the splash, whether one was shown or not.
        assert log[-4:] == ["main returned", "ERROR: an exception occured",
                            "ERROR: could not call main", "Hiding splash screen"]
        assert 'Exception in thread "main" java.lang.IllegalStateException' in result.stderr
        assert not event(result, "DestroyJavaVM")

    def test_system_exit_ends_the_process_with_its_code(self, tmp_path, application):
        app = App(tmp_path / "app", application, settings={123: "-Dstandin.main=exit:7"})
        result = app.run()
        assert result.exit_code == 7
        assert result.log_text.splitlines()[-1] == "calling main"


class TestKorvaneFlavour:
    def korvane(self, tmp_path, application, settings=None, runtime_jar=JAVA_RUNTIME):
        app = App(tmp_path / "app", application, flavour="k", runtime_jar=False,
                  settings={121: "A1.\\lib\\app.jar", 10003: "inst", **(settings or {})})
        korvane = app.root / "inst" / ".korvane"
        korvane.mkdir(parents=True)
        if runtime_jar:
            shutil.copy(runtime_jar, korvane / "kvnruntime.jar")
        return app, korvane

    def test_wrapper_runtime_archive_and_property(self, tmp_path, application):
        app, _ = self.korvane(tmp_path, application)
        result = app.run()
        assert result.exit_code == 0, result.stderr
        got = options(result)
        assert got[1] == "-Dtesmo.isKorvane=true"
        root = unix_to_windows(app.root)
        assert got[-1] == (f"-Djava.class.path={root}\\inst\\.korvane\\kvnruntime.jar;"
                           f"{root}\\.\\lib\\app.jar;")
        [main] = event(result, "main")
        assert main["class"] == "com.korvane.runtime.launcher.WinLauncher"
        assert not event(result, "firstRun")

    @pytest.mark.parametrize("answer, main_called", [("true", True), ("false", False),
                                                      ("throw", False)])
    def test_first_run_hook(self, tmp_path, application, answer, main_called):
        app, korvane = self.korvane(tmp_path, application,
                                    {123: f"-Dstandin.firstRun={answer}"})
        (korvane / "firstrun").write_text("")
        result = app.run()
        assert result.exit_code == 0
        assert event(result, "firstRun")
        assert bool(event(result, "main")) == main_called
        stopped = "checkFirstRun stopped further execution" in result.log_text.splitlines()
        assert stopped != main_called
        assert event(result, "DestroyJavaVM")

    @pytest.mark.parametrize("first_run_source, code", [
        (None, 14), ("package com.korvane.runtime.launcher;\npublic class FirstRun {}\n", 15)])
    def test_first_run_hook_unusable(self, tmp_path, application, first_run_source, code):
        runtime_jar = first_run_source and compile_jar(
            tmp_path, "kvnruntime",
            {"com/korvane/runtime/launcher/FirstRun.java": first_run_source})
        app, korvane = self.korvane(tmp_path, application, runtime_jar=runtime_jar)
        (korvane / "firstrun").write_text("")
        result = app.run()
        assert result.exit_code == 1
        assert result.stderr.startswith(f"An internal error occurred (error code: {code})")


class TestPathsAndProperties:
    def test_native_library_path_reaches_the_vm(self, tmp_path, application):
        app = App(tmp_path / "app", application, settings={10004: ".\\native;${TESMO_EXEDIR}lib"})
        result = app.run(env={"PATH": "C:\\windows\\system32"})
        assert result.exit_code == 0
        root = unix_to_windows(app.root)
        bin_dir = unix_to_windows(app.runtime.bin).lower()
        expected = f"{root}\\.\\native;{root}\\lib;C:\\windows\\system32;{bin_dir}"
        assert f"-Djava.library.path={expected}" in options(result)
        assert f"Setting PATH (native libs) {root}\\.\\native;{root}\\lib;C:\\windows\\system32" \
            in result.log_text.splitlines()

    def test_manpath_suppresses_the_console_code_page(self, app):
        result = app.run(env={"MANPATH": "C:\\man"})
        assert not [o for o in options(result) if o.startswith("-Dtesmo.consoleCodepage=")]


class TestIncludedFilesInACompletedLaunch:
    def test_extracted_files_stay_for_the_application(self, tmp_path, application):
        payload = tmp_path / "payload"
        payload.mkdir()
        contents = {"data.bin": bytes(range(256)) * 23 + b"x" * 113,  # 6001 bytes
                    "lib\\tool.jar": application.read_bytes(),
                    "empty.txt": b"", "user\\plugin.zip": b"PK\x05\x06" + b"\x00" * 18}
        includes = {}
        for name, data in contents.items():
            path = payload / name.replace("\\", "_")
            path.write_bytes(data)
            includes[name] = path
        app = App(tmp_path / "app", application, includes=includes)
        result = app.run()
        assert result.exit_code == 0, result.stderr
        got = options(result)
        temp = next(o for o in got if o.startswith("-Dtesmo.tempDir="))[len("-Dtesmo.tempDir="):]
        directory = rig.windows_to_unix(temp)
        assert directory.is_dir()
        assert (directory / "data.bin").read_bytes() == contents["data.bin"]
        assert (directory / "lib" / "tool.jar").read_bytes() == contents["lib\\tool.jar"]
        assert not (directory / "empty.txt").exists()
        position = int(next(o for o in got if o.startswith("-Dtesmo.unextractedPosition="))
                       .split("=")[1])
        assert position == app.exe.stat().st_size
        assert position > read_block(app.exe).end
        # The archives of the directory and of its "user" folder lead the class path.
        root = unix_to_windows(app.root)
        assert got[-1] == (f"-Djava.class.path={temp}\\user\\plugin.zip;"
                           f"{root}\\.\\lib\\kvnruntime.jar;{root}\\.\\lib\\app.jar;")
        shutil.rmtree(directory)

    def test_language_restart_passes_no_position(self, tmp_path, application):
        source = tmp_path / "one.txt"
        source.write_text("one")
        app = App(tmp_path / "app", application, includes={"one.txt": source})
        result = app.run(args=["__kvn_lang_restart"])
        assert "-Dtesmo.unextractedPosition=-1" in options(result)
        assert main_args(result)[-1] == "__kvn_lang_restart"


def patch_block_text(exe, old, new):
    """Changes a value inside the block in place (same length), as a damaged or hand-made
    block would carry what the block tool refuses to write."""
    assert len(old) == len(new)
    data = exe.read_bytes()
    at = data.index(old.encode("ascii"), read_image_end(exe))
    exe.write_bytes(data[:at] + new.encode("ascii") + data[at + len(old):])


def read_image_end(exe):
    return read_image(exe).end


def temp_directory_of(result):
    temp = next(o for o in options(result) if o.startswith("-Dtesmo.tempDir="))
    return rig.windows_to_unix(temp[len("-Dtesmo.tempDir="):])


class TestIncludedFileCounts:
    @pytest.fixture
    def three(self, tmp_path):
        files = {}
        for name in ("a.txt", "b.txt", "c.txt"):
            path = tmp_path / "payload" / name
            path.parent.mkdir(exist_ok=True)
            path.write_bytes(name.encode() * 3)
            files[name] = path
        return files

    def test_fewer_counted_than_named(self, tmp_path, application, three):
        app = App(tmp_path / "app", application, includes=three)
        data = app.exe.read_bytes()
        block = read_block(app.exe)
        assert block.narrow[2002] == b"3"
        # Key 2002's value is the single byte "3" after its length field.
        record = data.index(b"\xd2\x07\x00\x00\x01\x00\x00\x003", read_image_end(app.exe))
        app.exe.write_bytes(data[:record + 8] + b"2" + data[record + 9:])
        result = app.run()
        assert result.exit_code == 0, result.stderr
        directory = temp_directory_of(result)
        assert sorted(p.name for p in directory.iterdir()) == ["a.txt", "b.txt"]
        position = int(next(o for o in options(result)
                            if o.startswith("-Dtesmo.unextractedPosition=")).split("=")[1])
        # Behind entry 2: the third entry is left for the application.
        assert position == block.end + 2 * (8 + 15)
        shutil.rmtree(directory)

    def test_a_repeated_name_is_overwritten_by_the_later_entry(self, tmp_path, application,
                                                             three):
        app = App(tmp_path / "app", application, includes=three)
        patch_block_text(app.exe, "a.txt;b.txt;c.txt", "a.txt;b.txt;a.txt")
        result = app.run()
        directory = temp_directory_of(result)
        assert (directory / "a.txt").read_bytes() == b"c.txt" * 3
        shutil.rmtree(directory)

    def test_a_failure_after_extraction_removes_the_directory(self, tmp_path, application,
                                                            three):
        app = App(tmp_path / "app", application, includes=three, runtime_jar=False,
                  settings={121: "A1.\\lib\\app.jar"})
        result = app.run()
        assert result.exit_code == 1
        directory = temp_directory_of(result)
        assert not directory.exists()


class TestOptionsFiles:
    def test_second_candidate_name_and_directives(self, tmp_path, application):
        app = App(tmp_path / "app", application)
        extra = tmp_path / "extra.jar"
        shutil.copy(application, extra)
        (app.root / "app.exe.vmoptions").write_text(
            f"-classpath/a {unix_to_windows(tmp_path)}\\first.jar\n"
            f"-classpath/a {unix_to_windows(extra)}\n"
            f"-classpath/p {unix_to_windows(app.root)}\\lib\\kvnruntime.jar\n"
            "-Dfrom.second.name=1\n")
        result = app.run()
        assert result.exit_code == 0, result.stderr
        got = options(result)
        assert "-Dfrom.second.name=1" in got
        root = unix_to_windows(app.root)
        assert got[-1] == (f"-Djava.class.path={root}\\lib\\kvnruntime.jar;"
                           f"{root}\\.\\lib\\kvnruntime.jar;{root}\\.\\lib\\app.jar;"
                           f"{unix_to_windows(extra)}")


class TestMessageBoxes:
    """The later failures as a windowed launcher shows them."""

    @pytest.mark.parametrize("settings, runtime_jar, text, vm_started", [
        ({123: "-Xmx100g"}, True, "The JVM could not be started.", True),
        ({121: "A1.\\lib\\app.jar"}, False, "Couldn't load main class.", True),
        ({121: "A0.\\lib\\kvnruntime.jar;A1.\\lib\\missing.jar"}, True,
         "File or directory .\\lib\\missing.jar not found or empty", False),
        ({121: "E1UNSET_CLASSPATH"}, True,
         "The environment variable UNSET_CLASSPATH has to be defined", False),
    ])
    def test_box(self, tmp_path, application, display, settings, runtime_jar, text, vm_started):
        app = App(tmp_path / "app", application, runtime_jar=runtime_jar,
                  settings={107: 1, **settings})
        result = app.run(box="ok", env={"TESMO_LOG": None, "UNSET_CLASSPATH": None})
        assert result.exit_code == 1
        assert (result.box["title"], result.box["text"]) == ("VM tests", text)
        # A class path that cannot be built stops the launch before any VM is asked for.
        assert (result.record is not None) == vm_started
