"""The stand-in jvm.dll as a double of the JNI invocation interface, driven under Wine by
jnidriver.exe the way the launcher drives a VM: creation with options, FindClass against the
class path, GetStaticMethodID, the main call and its behaviours, the JavaVM's threads, and
the record jvm-launch-<pid>.json it leaves beside itself. The classes are compiled here by
javac and packed by jar, as an application's would be."""

from __future__ import annotations

import json
import shutil
import subprocess
from dataclasses import dataclass
from pathlib import Path

import pytest

from rig import run_launcher, unix_to_windows
from runtimes import make_runtime, standin_path

JDK_BIN = Path("/usr/lib/jvm/java-17-openjdk-amd64/bin")
MAIN_SIGNATURE = "([Ljava/lang/String;)V"
WRAPPER = "com/tesmo/runtime/WinLauncher"
ABORTED = 3

# The application's classes go to a directory, the wrapper's into a jar.
APPLICATION_SOURCES = {
    "com/example/App.java": """
        package com.example;
        public class App {
            public static void main(String[] args) {}
            static void helper(int count) {}
            public void run() {}
        }""",
    "com/example/NoMain.java": """
        package com.example;
        public class NoMain {
            public static void start(String[] args) {}
        }""",
}
WRAPPER_SOURCES = {
    "com/tesmo/runtime/WinLauncher.java": """
        package com.tesmo.runtime;
        public final class WinLauncher {
            public static void main(String[] args) {}
        }""",
    "com/korvane/runtime/launcher/FirstRun.java": """
        package com.korvane.runtime.launcher;
        public final class FirstRun {
            public static boolean firstRun() { return true; }
        }""",
    "com/example/App.java": APPLICATION_SOURCES["com/example/App.java"],
}


@dataclass(frozen=True)
class Compiled:
    classes: Path
    jar: Path

    def class_path(self) -> str:
        return f"{unix_to_windows(self.classes)};;{unix_to_windows(self.jar)}"


def tool(name: str) -> str:
    found = shutil.which(name) or str(JDK_BIN / name)
    if not Path(found).is_file():
        pytest.skip(f"{name} of a JDK is not installed")
    return found


def compile_sources(sources: dict[str, str], root: Path) -> Path:
    source_dir = root / "src"
    files = []
    for name, text in sources.items():
        path = source_dir / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text)
        files.append(str(path))
    out = root / "classes"
    subprocess.run([tool("javac"), "--release", "8", "-nowarn", "-d", str(out), *files],
                   check=True, capture_output=True)
    return out


@pytest.fixture(scope="module")
def compiled(tmp_path_factory) -> Compiled:
    root = tmp_path_factory.mktemp("java")
    classes = compile_sources(APPLICATION_SOURCES, root / "application")
    wrapper = compile_sources(WRAPPER_SOURCES, root / "wrapper")
    jar = root / "wrapper.jar"
    subprocess.run([tool("jar"), "--create", "--file", str(jar), "-C", str(wrapper), "."],
                   check=True, capture_output=True)
    return Compiled(classes=classes, jar=jar)


@dataclass
class Run:
    result: object
    record: dict | None
    runtime: object

    @property
    def lines(self) -> list[str]:
        return self.result.stdout.splitlines()

    def events(self, call: str | None = None) -> list[dict]:
        return [e for e in self.record["events"] if call is None or e["call"] == call]


def drive(tmp_path, steps, options=(), create=(), bits=64, timeout=30, display=None) -> Run:
    runtime = make_runtime(tmp_path / "jre", "modern", bits=bits, java_bits=64)
    arguments = ["--jvm", runtime.jvm_dll_windows, *create]
    for option in options:
        arguments += ["-O", option]
    result = run_launcher(standin_path("jnidriver.exe", bits), [*arguments, *steps],
                          timeout=timeout, display=display)
    assert not result.timed_out
    record_file = runtime.jvm_dll.parent / f"jvm-launch-{result.pid}.json"
    record = json.loads(record_file.read_text(encoding="utf-8")) if record_file.exists() else None
    return Run(result, record, runtime)


def main_steps(cls, args):
    return ["--main", cls, str(len(args)), *args]


class TestCreation:
    def test_records_the_arguments_exactly(self, tmp_path, compiled):
        run = drive(tmp_path, [], options=["-Xmx512m", "-Dname=caf\u00e9",
                                           f"-Djava.class.path={compiled.class_path()}"])
        assert run.lines == ["JNI_CreateJavaVM: 0"]
        record = run.record
        assert record["pid"] == run.result.pid
        assert record["dll"].lower() == run.runtime.jvm_dll_windows.lower()
        assert record["version"] == 0x00010002
        assert record["ignoreUnrecognized"] is True
        assert record["options"] == ["-Xmx512m", "-Dname=caf\u00e9",
                                     f"-Djava.class.path={compiled.class_path()}"]
        assert record["classPath"] == [unix_to_windows(compiled.classes),
                                       unix_to_windows(compiled.jar)]
        assert (record["created"], record["createResult"]) == (True, 0)
        assert run.events() == [{"call": "JNI_CreateJavaVM", "thread": run.events()[0]["thread"],
                                 "result": 0}]
        # The record of loads the launcher's runtime tests rely on goes on as before.
        assert [line.split("=", 1)[0] for line in run.runtime.jvm_record()] == [
            "loaded", "PATH", "CRT_PATH", "create"]
        assert not list(run.runtime.jvm_dll.parent.glob("*.tmp"))

    @pytest.mark.parametrize("options, create, code, stderr", [
        (["-Xmx65g"], [], -4, "Could not reserve enough space for object heap"),
        (["-Xmx64g"], [], 0, ""),
        (["-Dstandin.create=fail"], [], -1, ""),
        (["-Xmx12q"], [], -6, "Invalid maximum heap size: -Xmx12q"),
        (["-Dstandin.main=dance"], [], -6, "the stand-in does not know this behaviour"),
        ([], ["--version", "0x10001"], -3, ""),
        (["-splash:x.png"], ["--strict"], -1, "Unrecognized option: -splash:x.png"),
        (["-splash:x.png"], [], 0, ""),
        (["-Dx"], ["--null-option"], -6, ""),
        (["-Dx"], ["--option-count", "-1"], -6, ""),
        ([], ["--no-args"], -1, ""),
    ], ids=["heap", "heap-limit", "fail", "heap-syntax", "behaviour", "version", "strict",
            "ignored", "null-option", "negative-count", "no-args"])
    def test_creation_fails_as_asked(self, tmp_path, options, create, code, stderr):
        run = drive(tmp_path, [], options=options, create=create)
        assert run.lines == [f"JNI_CreateJavaVM: {code}"]
        assert run.result.exit_code == (0 if code == 0 else 1)
        assert stderr in run.result.stderr
        assert (run.record["created"], run.record["createResult"]) == (code == 0, code)
        assert [e["result"] for e in run.events("JNI_CreateJavaVM")] == [code]

    def test_vm_messages_go_through_the_vfprintf_hook(self, tmp_path):
        run = drive(tmp_path, [], options=["-splash:x.png"], create=["--strict", "--vfprintf-hook"])
        assert run.lines == ["vfprintf hook: Unrecognized option: -splash:x.png",
                             "JNI_CreateJavaVM: -1"]
        assert run.result.stderr == ""
        assert run.record["options"] == ["vfprintf", "-splash:x.png"]

    def test_a_second_vm_is_refused(self, tmp_path):
        run = drive(tmp_path, ["--create-again"], options=["-Dfirst"])
        assert run.lines == ["JNI_CreateJavaVM: 0", "JNI_CreateJavaVM again: -5"]
        assert [e["result"] for e in run.events("JNI_CreateJavaVM")] == [0, -5]
        assert run.record["options"] == ["-Dfirst"]


class TestClasses:
    def test_found_in_a_directory_a_jar_and_the_bootstrap_set(self, tmp_path, compiled):
        run = drive(tmp_path, ["--find", "com/example/App", "--find", WRAPPER,
                               "--find", "java/lang/String", "--get-version"],
                    options=[f"-Djava.class.path={compiled.class_path()}"])
        assert run.lines[1:] == [f"FindClass {name}: found" for name in
                                 ("com/example/App", WRAPPER, "java/lang/String")] + [
            "GetVersion: 0x000a0000"]
        # App.class is in both entries: the directory comes first.
        assert [(e["name"], e["from"]) for e in run.events("FindClass")] == [
            ("com/example/App", unix_to_windows(compiled.classes)),
            (WRAPPER, unix_to_windows(compiled.jar)),
            ("java/lang/String", "bootstrap")]

    def test_the_class_path_is_read_in_the_ansi_code_page(self, tmp_path, compiled):
        folder = tmp_path / "Programme \u00e9t\u00e9"
        shutil.copytree(compiled.classes, folder)
        run = drive(tmp_path, ["--find", "com/example/App"],
                    options=[f"-Djava.class.path={unix_to_windows(folder)}"])
        assert run.lines[1:] == ["FindClass com/example/App: found"]
        assert run.record["classPath"] == [unix_to_windows(folder)]
        assert run.events("FindClass")[0]["from"] == unix_to_windows(folder)

    def test_a_missing_class_is_null_with_a_pending_no_class_def_found_error(self, tmp_path,
                                                                              compiled):
        run = drive(tmp_path, ["--find", "com/example/Missing", "--find", "com.example.App"],
                    options=[f"-Djava.class.path={unix_to_windows(compiled.jar)}"])
        assert run.lines[1:] == ["FindClass com/example/Missing: null",
                                 "FindClass com/example/Missing: exception pending",
                                 "FindClass com.example.App: null",
                                 "FindClass com.example.App: exception pending"]
        assert run.result.stderr.splitlines() == [
            'Exception in thread "main" java.lang.NoClassDefFoundError: com/example/Missing',
            'Exception in thread "main" java.lang.NoClassDefFoundError: com.example.App']
        assert [(e["found"], e["exception"]) for e in run.events("FindClass")] == [
            (False, "java.lang.NoClassDefFoundError")] * 2
        assert [e["message"] for e in run.events("ExceptionDescribe")] == [
            "com/example/Missing", "com.example.App"]

    def test_static_methods_are_found_by_name_and_descriptor(self, tmp_path, compiled):
        app = "com/example/App"
        run = drive(tmp_path, ["--method", app, "main", MAIN_SIGNATURE,
                               "--method", app, "main", "()V",
                               "--method", app, "helper", "(I)V",
                               "--method", app, "run", "()V"],
                    options=[f"-Djava.class.path={unix_to_windows(compiled.classes)}"])
        found = [line for line in run.lines if line.startswith("GetStaticMethodID")]
        assert found == [f"GetStaticMethodID main {MAIN_SIGNATURE}: found",
                         "GetStaticMethodID main ()V: null",
                         "GetStaticMethodID main: exception pending",
                         "GetStaticMethodID helper (I)V: found",
                         "GetStaticMethodID run ()V: null",
                         "GetStaticMethodID run: exception pending"]
        assert run.result.stderr.splitlines() == [
            'Exception in thread "main" java.lang.NoSuchMethodError: '
            "static Lcom/example/App;.main()V",
            'Exception in thread "main" java.lang.NoSuchMethodError: '
            "static Lcom/example/App;.run()V"]
        assert [(e["name"], e["signature"], e["found"])
                for e in run.events("GetStaticMethodID")] == [
            ("main", MAIN_SIGNATURE, True), ("main", "()V", False), ("helper", "(I)V", True),
            ("run", "()V", False)]


ARGUMENTS = ["com.example.App", "", "two  words", 'say "hi"', "tab\there", "back\\slash\\",
             "caf\u00e9 \u65e5\u672c \U0001F600", "--null"]


class TestMain:
    @pytest.mark.parametrize("style", ["plain", "V", "A"])
    def test_records_the_exact_array(self, tmp_path, compiled, style):
        args = ["config", *ARGUMENTS]
        run = drive(tmp_path, ["--style", style, *main_steps(WRAPPER, args)],
                    options=[f"-Djava.class.path={compiled.class_path()}"])
        assert run.result.exit_code == 0
        assert "NewObjectArray: length 9" in run.lines
        assert run.lines[-1].startswith("main returned after ")
        main, = run.events("main")
        assert main["class"] == "com.tesmo.runtime.WinLauncher"
        assert main["args"] == [None if a == "--null" else a for a in args]
        assert (main["application"], main["check"]) == ("com.example.App", "ok")
        assert (main["behaviour"], main["returned"]) == ("return", True)
        assert run.result.stderr == ""

    @pytest.mark.parametrize("application, exception", [
        ("com.example.Gone", "java.lang.ClassNotFoundException: com.example.Gone"),
        ("com.example.NoMain", "java.lang.NoSuchMethodError: public static void main(String[]) "
                               "not found in com.example.NoMain"),
    ])
    def test_the_wrapper_checks_the_application_class(self, tmp_path, compiled, application,
                                                      exception):
        run = drive(tmp_path, main_steps(WRAPPER, ["config", application]),
                    options=[f"-Djava.class.path={compiled.class_path()}",
                             "-Dstandin.main=exit:9"])
        assert run.result.exit_code == 0
        assert run.lines[-1] == "main: exception pending"
        assert run.result.stderr.splitlines() == [f'Exception in thread "main" {exception}']
        main, = run.events("main")
        assert main["check"].startswith(f"the application class {application} ")
        assert "behaviour" not in main

    def test_throw_leaves_the_exception_pending(self, tmp_path, compiled):
        run = drive(tmp_path, main_steps(WRAPPER, ["config", "com.example.App"]),
                    options=[f"-Djava.class.path={compiled.class_path()}",
                             "-Dstandin.main=throw:com.example.Boom"])
        assert run.lines[-1] == "main: exception pending"
        assert run.result.stderr.splitlines() == [
            'Exception in thread "main" com.example.Boom: thrown by the stand-in']
        main, = run.events("main")
        assert (main["exception"], main["returned"]) == ("com.example.Boom", True)
        assert run.events()[-1] == {"call": "ExceptionDescribe", "thread": main["thread"],
                                    "exception": "com.example.Boom",
                                    "message": "thrown by the stand-in"}

    @pytest.mark.parametrize("code", [37, 0, -2])
    def test_exit_ends_the_process_and_the_record_is_complete(self, tmp_path, compiled, code):
        run = drive(tmp_path, [*main_steps(WRAPPER, ["config", "com.example.App", "x"]),
                               "--destroy"],
                    options=[f"-Djava.class.path={compiled.class_path()}",
                             f"-Dstandin.main=exit:{code}"])
        assert run.result.exit_code == code
        assert not any(line.startswith("main returned") for line in run.lines)
        main = run.events("main")[0]
        assert (main["args"], main["behaviour"], main["returned"]) == (
            ["config", "com.example.App", "x"], f"exit:{code}", False)
        assert run.events()[-1] == {"call": "exit", "thread": main["thread"], "code": code}
        assert run.events("DestroyJavaVM") == []
        assert not list(run.runtime.jvm_dll.parent.glob("*.tmp"))

    def test_exit_goes_through_the_exit_hook(self, tmp_path, compiled):
        run = drive(tmp_path, main_steps("com/example/App", []), create=["--exit-hook"],
                    options=[f"-Djava.class.path={compiled.class_path()}",
                             "-Dstandin.main=exit:4"])
        assert run.result.exit_code == 4
        assert run.lines[-1] == "exit hook: 4"

    def test_window_shows_a_visible_window_for_the_given_time(self, tmp_path, compiled, display):
        run = drive(tmp_path, ["--watch-window", *main_steps(WRAPPER, ["c", "com.example.App"])],
                    options=[f"-Djava.class.path={compiled.class_path()}",
                             "-Dstandin.main=window:1500"], display=True)
        took = next(line for line in run.lines if line.startswith("main returned after "))
        assert int(took.split()[3]) >= 1500
        assert "window seen, visible" in run.lines
        main, = run.events("main")
        assert (main["behaviour"], main["windowShown"], main["returned"]) == (
            "window:1500", True, True)

    def test_sleep_returns_after_the_given_time(self, tmp_path, compiled):
        run = drive(tmp_path, main_steps("com/example/App", ["a"]),
                    options=[f"-Djava.class.path={compiled.class_path()}",
                             "-Dstandin.main=sleep:800"])
        took = next(line for line in run.lines if line.startswith("main returned after "))
        assert int(took.split()[3]) >= 800
        main, = run.events("main")
        assert "check" not in main
        assert (main["behaviour"], main["returned"]) == ("sleep:800", True)


class TestFirstRun:
    @pytest.mark.parametrize("option, style, printed, stderr", [
        (None, "plain", "firstRun: true", ""),
        ("true", "V", "firstRun: true", ""),
        ("false", "A", "firstRun: false", ""),
        ("throw", "plain", "firstRun: false",
         'Exception in thread "main" java.lang.IllegalStateException: thrown by the stand-in'),
    ])
    def test_answers_as_the_option_says(self, tmp_path, compiled, option, style, printed, stderr):
        options = [f"-Djava.class.path={unix_to_windows(compiled.jar)}"]
        if option:
            options.append(f"-Dstandin.firstRun={option}")
        run = drive(tmp_path, ["--style", style, "--first-run",
                               "com/korvane/runtime/launcher/FirstRun"], options=options)
        assert printed in run.lines
        assert run.result.stderr.strip() == stderr
        call, = run.events("firstRun")
        assert call["class"] == "com.korvane.runtime.launcher.FirstRun"
        assert call["result"] == {"true": True, "false": False, "throw": None}.get(option, True)


class TestObjectsAndThreads:
    def test_storing_outside_an_array_leaves_an_index_exception(self, tmp_path):
        run = drive(tmp_path, ["--store-outside"])
        assert run.lines[-1] == "SetObjectArrayElement 1: exception pending"
        assert run.result.stderr.splitlines() == [
            'Exception in thread "main" java.lang.ArrayIndexOutOfBoundsException: '
            "Index 1 out of bounds for length 1"]

    def test_threads_attach_and_detach_and_the_vm_is_destroyed_once(self, tmp_path):
        run = drive(tmp_path, ["--thread", "attach", "--thread", "daemon",
                               "--thread", "detach-unattached", "--thread", "getenv",
                               "--destroy", "--destroy"])
        assert run.lines[1:] == [
            "AttachCurrentThread: 0", "GetEnv: 0 same env", "DetachCurrentThread: 0",
            "GetEnv after detach: -2",
            "AttachCurrentThread: 0", "GetEnv: 0 same env", "DetachCurrentThread: 0",
            "GetEnv after detach: -2",
            "DetachCurrentThread: -2", "GetEnv: -2", "DestroyJavaVM: 0", "DestroyJavaVM: -1"]
        main_thread = run.events("JNI_CreateJavaVM")[0]["thread"]
        attaches = run.events("AttachCurrentThread") + run.events("AttachCurrentThreadAsDaemon")
        assert [(e["name"], e["result"]) for e in attaches] == [("splash", 0), ("splash", 0)]
        assert all(e["thread"] != main_thread for e in attaches)
        assert [e["result"] for e in run.events("DetachCurrentThread")] == [0, 0, -2]
        assert [(e["thread"], e["result"]) for e in run.events("DestroyJavaVM")] == [
            (main_thread, 0), (main_thread, -1)]


class TestLoudFailures:
    def test_an_unimplemented_function_ends_the_process(self, tmp_path):
        run = drive(tmp_path, ["--unimplemented"])
        assert run.result.exit_code == ABORTED
        assert "GetObjectClass returned" not in run.lines
        assert ("jvm stand-in: the launcher called JNIEnv->GetObjectClass, which the stand-in "
                "does not implement") in run.result.stderr
        assert run.runtime.jvm_record()[-1] == "unimplemented GetObjectClass"
        assert run.events()[-1]["call"] == "unimplemented"
        assert run.events()[-1]["name"] == "GetObjectClass"

    def test_the_abort_hook_is_called_before_the_end(self, tmp_path):
        run = drive(tmp_path, ["--unimplemented"], create=["--abort-hook"])
        assert run.result.exit_code == ABORTED
        assert run.lines == ["JNI_CreateJavaVM: 0", "abort hook"]

    def test_an_env_used_on_another_thread_ends_the_process(self, tmp_path):
        run = drive(tmp_path, ["--foreign-env"])
        assert run.result.exit_code == ABORTED
        fatal = run.events()[-1]
        assert fatal["call"] == "fatal"
        assert fatal["message"].startswith("ExceptionCheck: the JNIEnv of thread ")
        assert fatal["message"] in run.result.stderr
        assert run.runtime.jvm_record()[-1] == f"fatal {fatal['message']}"


def test_the_32_bit_stand_in_runs_main_and_records_it(tmp_path, compiled, wine32_available):
    # Every calling convention in one process: a start costs about 45 s where 32-bit
    # programs run through qemu.
    first_run = "com/korvane/runtime/launcher/FirstRun"
    run = drive(tmp_path, ["--method", "com/example/App", "helper", "(I)V",
                           "--first-run", first_run, "--style", "A", "--first-run", first_run,
                           "--style", "V",
                           *main_steps(WRAPPER, ["config", "com.example.App", "two words"])],
                options=[f"-Djava.class.path={compiled.class_path()}", "-Dstandin.main=exit:5"],
                bits=32, timeout=600)
    assert run.result.exit_code == 5
    assert run.lines[0] == "JNI_CreateJavaVM: 0"
    assert "GetStaticMethodID helper (I)V: found" in run.lines
    assert run.lines.count("firstRun: true") == 2
    main, = run.events("main")
    assert (main["args"], main["check"]) == (["config", "com.example.App", "two words"], "ok")
    assert run.events()[-1]["call"] == "exit"
