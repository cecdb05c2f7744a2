"""Instance semaphores, single-instance mode and window activation with real processes: the
real launcher against the stand-in VM under Wine and Xvfb, later starts meeting a running
first instance, and the real Java-side wrapper on the machine's JVM taking what they hand
over. The stand-in VM runs no Java, so the wrapper runs beside it, watching the first
instance's communication file."""

import json
import re
import shutil
import subprocess
import threading
import time
from pathlib import Path

import pytest

import instances
import rig
from rig import build_launcher, run_launcher, unix_to_windows, windows_to_unix
import runtimes
from runtimes import make_runtime

JAVA_RUNTIME = rig.build_dir() / "java" / "kvnruntime.jar"
MESSAGES = {1000: "Instances", 1009: "An internal error occurred (error code: {0})"}
SINGLE = {10005: 1}

RECEIVER_SOURCE = """
package com.example;

import com.tesmo.runtime.InstanceListener;
import com.tesmo.runtime.Launcher;

/** Appends each hand-over to -Dreceiver.report as one line, every argument in brackets;
 * after -Dreceiver.pauseAfter hand-overs its listener stops taking more. */
public class Receiver {
    public static void main(String[] args) throws Exception {
        final java.io.PrintStream out = new java.io.PrintStream(new java.io.FileOutputStream(
            System.getProperty("receiver.report"), true), true, "UTF-8");
        final int pauseAfter = Integer.getInteger("receiver.pauseAfter", 0);
        Launcher.addInstanceListener(new InstanceListener() {
            private int count;

            @Override
            public void anotherInstanceStarted(String[] arguments) {
                StringBuilder line = new StringBuilder();
                for (String argument : arguments) {
                    line.append('[').append(argument).append(']');
                }
                out.println(line);
                if (++count == pauseAfter) {
                    while (true) {
                        try {
                            Thread.sleep(60000);
                        } catch (InterruptedException e) {
                            return;
                        }
                    }
                }
            }
        });
        Thread.sleep(Long.MAX_VALUE);
    }
}
"""


@pytest.fixture(scope="session")
def receiver_jar(tmp_path_factory):
    if not JAVA_RUNTIME.is_file():
        pytest.fail(f"{JAVA_RUNTIME} is missing: scripts/build.sh builds it")
    root = tmp_path_factory.mktemp("receiver")
    source = root / "src" / "com" / "example" / "Receiver.java"
    source.parent.mkdir(parents=True)
    source.write_text(RECEIVER_SOURCE)
    subprocess.run(["javac", "--release", "8", "-cp", str(JAVA_RUNTIME), "-d",
                    str(root / "classes"), str(source)], check=True, capture_output=True)
    jar = root / "receiver.jar"
    subprocess.run(["jar", "cf", str(jar), "-C", str(root / "classes"), "."], check=True)
    return jar


class Receiver:
    """The real wrapper on the machine's JVM, started the way the launcher starts it, with
    the first instance's communication file: the Java side of the first instance."""

    def __init__(self, jar: Path, comm_file: Path, report: Path, pause_after: int = 0):
        self.report = report
        self.process = subprocess.Popen(
            ["java", f"-Dtesmo.processCommFile={comm_file}", f"-Dreceiver.report={report}",
             f"-Dreceiver.pauseAfter={pause_after}", "-cp", f"{JAVA_RUNTIME}:{jar}",
             "com.tesmo.runtime.WinLauncher", "true", "com.example.Receiver", "", "", "false",
             "app.exe"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=open(report.with_suffix(".err"), "w"))

    def lines(self) -> list[str]:
        return self.report.read_text(encoding="utf-8").splitlines() if self.report.exists() \
            else []

    def stop(self) -> None:
        self.process.kill()
        self.process.wait(timeout=30)


class Installed:
    """An application installed in ``root``: the launcher, the runtime archive and a stand-in
    runtime beside it. Each start picks the stand-in's behaviour with a "-J" option."""

    def __init__(self, root: Path, application: Path, settings=None, includes=None):
        self.root = root
        (root / "lib").mkdir(parents=True, exist_ok=True)
        shutil.copy(JAVA_RUNTIME, root / "lib" / "kvnruntime.jar")
        shutil.copy(application, root / "lib" / "app.jar")
        self.runtime = make_runtime(root / "jre", "jre8")
        base = {**MESSAGES, 101: "instances", 128: "B.\\jre", 122: "com.example.Receiver",
                121: "A0.\\lib\\kvnruntime.jar;A1.\\lib\\app.jar", 125: 1}
        self.exe = build_launcher(root, {**base, **(settings or {})}, includes=includes)

    @property
    def exe_windows(self) -> str:
        return unix_to_windows(self.exe)

    def record(self, pid: int):
        path = self.runtime.jvm_dll.parent / f"jvm-launch-{pid}.json"
        return json.loads(path.read_text(encoding="utf-8")) if path.exists() else None

    def property(self, pid: int, name: str):
        for option in self.record(pid)["options"]:
            if option.startswith(f"-D{name}="):
                return option[len(name) + 3:]
        return None

    def wait_for_main(self, running: instances.Running, seconds: float = 60) -> None:
        """Waits until the start has called the application's main: its stage is behind it."""
        def in_main():
            record = self.record(running.pid)
            return record is not None and any(e["call"] == "main" for e in record["events"])
        rig.wait_for(lambda: in_main() or not running.running(),
                     f"start {running.pid} reaching main", seconds)
        assert running.running(), running.wait().stderr

    def start(self, behaviour: str, args=(), env=None, **kwargs) -> instances.Running:
        return instances.start(self.exe, [f"-J-Dstandin.main={behaviour}", *args], env=env,
                               **kwargs)

    def loads(self) -> int:
        """How many processes loaded the stand-in VM library."""
        record = self.runtime.jvm_dll.parent / "jvm-record.txt"
        return record.read_text().count("loaded=") if record.exists() else 0


def semaphore_base(exe_windows: str, prefix: str = "Local\\") -> str:
    return prefix + exe_windows.lower().replace("\\", "_").replace(" ", "_")


def shared_tmp(tmp_path: Path) -> tuple[Path, dict]:
    """A TMP directory for instances that must find one another's communication file."""
    directory = tmp_path / "shared-tmp"
    directory.mkdir()
    windows = unix_to_windows(directory) + "\\"
    return directory, {"TMP": windows, "TEMP": windows, "TESMO_LOG": "yes"}


def utf16(text: str) -> bytes:
    return text.encode("utf-16-le")


@pytest.fixture
def out_dir(tmp_path):
    directory = tmp_path / "tool"
    directory.mkdir()
    return directory


# ---------------------------------------------------------------------------------------
# Ordinary mode


class TestOrdinaryMode:
    def test_instances_take_the_lowest_free_number(self, tmp_path, receiver_jar):
        app = Installed(tmp_path / "My App", receiver_jar)
        base = semaphore_base(app.exe_windows)
        assert " " not in base and base.count("\\") == 1 and ":" in base
        running = []
        try:
            for _ in range(3):
                running.append(app.start("sleep:60000"))
                app.wait_for_main(running[-1])
            assert [app.property(r.pid, "tesmo.semaphoreName") for r in running] == \
                [base + "0", base + "1", base + "2"]
            running[0].end()
            later = run_launcher(app.exe, args=["-J-Dstandin.main=return"])
            assert later.exit_code == 0
            assert app.property(later.pid, "tesmo.semaphoreName") == base + "0"
        finally:
            for instance in running:
                if instance.running():
                    instance.end()
        # The ordinary mode records no pid.
        assert not app.property(running[1].pid, "tesmo.processCommFile")

    def test_global_names_with_key_158(self, tmp_path, receiver_jar):
        app = Installed(tmp_path / "app", receiver_jar, settings={158: 1})
        first = app.start("sleep:60000")
        try:
            app.wait_for_main(first)
            second = run_launcher(app.exe, args=["-J-Dstandin.main=return"])
            base = semaphore_base(app.exe_windows, "Global\\")
            assert app.property(first.pid, "tesmo.semaphoreName") == base + "0"
            assert app.property(second.pid, "tesmo.semaphoreName") == base + "1"
        finally:
            first.end()


# ---------------------------------------------------------------------------------------
# Single-instance mode: one later start at a time


def take_hand_overs(comm_file: Path, taken: list, stop: threading.Event) -> threading.Thread:
    """Plays the first instance's Java side in Python: takes each finished text and deletes
    it, keeping the raw bytes."""
    def run():
        while not stop.is_set():
            try:
                data = comm_file.read_bytes()
            except FileNotFoundError:
                data = None
            if data is not None and data.endswith(b"\n\x00") and len(data) % 2 == 0:
                comm_file.unlink()
                taken.append(data)
            stop.wait(0.02)
    thread = threading.Thread(target=run, daemon=True)
    thread.start()
    return thread


@pytest.mark.usefixtures("display")
class TestHandOver:
    def test_later_start_activates_hands_over_and_exits(self, tmp_path, out_dir, receiver_jar):
        payload = tmp_path / "payload.txt"
        payload.write_text("included")
        app = Installed(tmp_path / "app", receiver_jar, settings={**SINGLE, 108: 1},
                        includes={"payload.txt": payload})
        shared, env = shared_tmp(tmp_path)
        first = app.start("window:120000", env=env)
        try:
            window = instances.wait_for_window(first.pid, instances.STANDIN_WINDOW, out_dir)
            comm_windows = app.property(first.pid, "tesmo.processCommFile")
            assert comm_windows == unix_to_windows(shared) + f"\\tsm_p{first.pid}.tmp"
            assert app.property(first.pid, "tesmo.semaphoreName") == \
                semaphore_base(app.exe_windows)
            comm_file = windows_to_unix(comm_windows)
            assert instances.run_tool("minimize", "--pid", first.pid).returncode == 0
            # Another program's window in front, as when the user works elsewhere.
            other = show_windows(tmp_path, "other program", 1)
            rig.wait_for(
                lambda: instances.windows(first.pid, out_dir)["foregroundPid"] == other.pid,
                "the other program in front")
            state = instances.windows(first.pid, out_dir)
            assert state["windows"][0]["iconic"] and state["foregroundPid"] == other.pid
            temp_entries = sorted(p.name for p in shared.iterdir() if p.name.startswith("tsm"))
            loads = app.loads()

            taken, stop = [], threading.Event()
            take_hand_overs(comm_file, taken, stop)
            exe = app.exe_windows
            # The exact command lines; the texts are what the launcher hands over. (A program
            # name whose quote never closes cannot be started at all, so that case is left
            # to the unit tests.)
            cases = [
                (f'"{exe}"    first "second arg"  \'third one\'',
                 'first "second arg"  \'third one\''),
                (f'"{exe}"', ""),
                (f'"{exe}"   ', ""),
                (f'{exe} unquoted\ttab "caf\u00e9 \u20ac"', 'unquoted\ttab "caf\u00e9 \u20ac"'),
            ]
            results = []
            for cmdline, _ in cases:
                results.append(run_launcher(None, cmdline=cmdline, env=env, display=True,
                                            relay=("user32.CreateWindowExW",
                                                   "user32.CreateWindowExA")))
            stop.set()

            for result in results:
                assert result.exit_code == 0, result.stderr
                # No splash, runtime or temporary directory: the start ended in its stage.
                assert not result.relay_calls("user32.CreateWindowExW")
                assert not result.relay_calls("user32.CreateWindowExA")
                assert app.record(result.pid) is None
            assert taken == [utf16(text + "\n") for _, text in cases]
            assert app.loads() == loads
            assert sorted(p.name for p in shared.iterdir() if p.name.startswith("tsm")) == \
                temp_entries

            # Wine hands the focus over through the X server, so a change may land a moment
            # after the program that asked for it has ended.
            rig.wait_for(
                lambda: instances.windows(first.pid, out_dir)["foreground"] == window["handle"],
                "the first instance's window in front")
            state = instances.windows(first.pid, out_dir)
            assert not state["windows"][0]["iconic"]
            assert state["foreground"] == window["handle"]

            logs = [text for text in instances.log_texts(shared) if "other pid" in text]
            assert len(logs) == len(cases)
            # Only the first later start found the window minimised.
            [lines] = [text.splitlines() for text in logs if "restore" in text.splitlines()]
            assert "single instance mode" in lines
            assert f"other pid {first.pid}" in lines
            assert f"notification via {comm_windows}" in lines
            assert lines[-1] == "exiting"
            assert lines.index(f"found window {hex_pointer(window['handle'])}") < \
                lines.index("restore") < lines.index("waiting for notification semaphore") < \
                lines.index("waiting for file deletion")
            assert not [line for line in lines if line.startswith(("LoadDLL", "extracting"))]
            # The same configuration gave the first instance its splash; none of the later.
            [first_log] = [t for t in instances.log_texts(shared) if "other pid" not in t]
            assert "Starting splash screen thread" in first_log.splitlines()
            assert not any("splash" in text for text in logs)
        finally:
            first.end()
            other.end()

        # The same texts through the real wrapper: the application receives the arguments
        # the later starts were given, split as the launcher splits its own command line.
        handed = tmp_path / "handed" / f"tsm_p{first.pid}.tmp"
        handed.parent.mkdir()
        receiver = Receiver(receiver_jar, handed, tmp_path / "report.txt")
        try:
            for data in taken:
                handed.write_bytes(data)
                rig.wait_for(lambda: not handed.exists(), "the wrapper taking a text")
            rig.wait_for(lambda: len(receiver.lines()) == len(taken),
                         "the application receiving every hand-over")
        finally:
            receiver.stop()
        assert receiver.lines() == ["[first][second arg][third one]", "", "",
                                    "[unquoted\ttab][caf\u00e9 \u20ac]"]

    def test_no_pid_recorded_means_nothing_to_hand_over(self, tmp_path, out_dir, receiver_jar):
        app = Installed(tmp_path / "app", receiver_jar, settings=SINGLE)
        shared, env = shared_tmp(tmp_path)
        first = app.start("window:120000", env=env)
        try:
            instances.wait_for_window(first.pid, instances.STANDIN_WINDOW, out_dir)
            runtimes.registry_clear()
            result = run_launcher(app.exe, args=["x"], env=env, display=True)
            assert result.exit_code == 0
            assert not list(shared.glob("tsm_p*.tmp"))
            log = [t for t in instances.log_texts(shared) if "other pid" in t][0].splitlines()
            assert "other pid 0" in log and "no running instance recorded" in log
        finally:
            first.end()


def show_windows(tmp_path: Path, title: str, count: int) -> instances.Running:
    """Another program with ``count`` visible windows, the last one in front."""
    ready = tmp_path / f"ready-{time.monotonic_ns()}"
    shown = instances.start(rig.helper_path("instancetool"),
                            ["show", "--title", title, "--count", count, "--ms", 120000,
                             "--ready-file", unix_to_windows(ready)])
    rig.wait_for(ready.exists, f"the windows of {title!r}", 60)
    return shown


def hex_pointer(handle: int) -> str:
    return f"{handle:016X}"


# ---------------------------------------------------------------------------------------
# Twenty later starts at once


LOAD_STARTS = 20


def load_cmdline(exe: str, number: int) -> str:
    return f'"{exe}"  line-{number:02d} "with space" \'q{number}\''


def expected_line(number: int) -> str:
    return f"[line-{number:02d}][with space][q{number}]"


@pytest.mark.usefixtures("display")
class TestLoad:
    def start_all(self, app, env):
        return [instances.start(cmdline=load_cmdline(app.exe_windows, n), env=env)
                for n in range(LOAD_STARTS)]

    def test_every_hand_over_arrives_exactly_once(self, tmp_path, receiver_jar, out_dir):
        app = Installed(tmp_path / "app", receiver_jar, settings=SINGLE)
        shared, env = shared_tmp(tmp_path)
        first = app.start("window:300000", env=env)
        receiver = None
        try:
            instances.wait_for_window(first.pid, instances.STANDIN_WINDOW, out_dir)
            comm_file = windows_to_unix(app.property(first.pid, "tesmo.processCommFile"))
            receiver = Receiver(receiver_jar, comm_file, tmp_path / "report.txt")
            later = self.start_all(app, env)
            results = [start.wait() for start in later]
            assert [r.exit_code for r in results] == [0] * LOAD_STARTS, \
                [r.stderr for r in results]
            # Every start has ended, so once the file is gone nothing more is on its way.
            rig.wait_for(lambda: len(receiver.lines()) >= LOAD_STARTS and not comm_file.exists(),
                         "every hand-over reaching the application")
            assert sorted(receiver.lines()) == [expected_line(n) for n in range(LOAD_STARTS)]
            assert not comm_file.exists()
            assert first.running()
            logs = instances.log_texts(shared)
            assert sum(text.splitlines()[-1] == "exiting" for text in logs) == LOAD_STARTS
        finally:
            if receiver:
                receiver.stop()
            first.end()

    def test_first_instance_ending_halfway(self, tmp_path, receiver_jar, out_dir):
        app = Installed(tmp_path / "app", receiver_jar, settings=SINGLE)
        shared, env = shared_tmp(tmp_path)
        first = app.start("window:300000", env=env)
        receiver = None
        try:
            instances.wait_for_window(first.pid, instances.STANDIN_WINDOW, out_dir)
            comm_file = windows_to_unix(app.property(first.pid, "tesmo.processCommFile"))
            half = LOAD_STARTS // 2
            receiver = Receiver(receiver_jar, comm_file, tmp_path / "report.txt",
                                pause_after=half)
            later = self.start_all(app, env)

            # Every later start is past its detection (queued for the file, or done) before
            # the first instance ends, so none of them becomes a first instance itself.
            def all_queued():
                queued = sum("waiting for notification semaphore" in text
                             for text in instances.log_texts(shared))
                return queued == LOAD_STARTS
            rig.wait_for(all_queued, "every later start queueing", 60)
            rig.wait_for(lambda: len(receiver.lines()) >= half, "half of the hand-overs arriving",
                         60)
            receiver.stop()
            first.end()

            results = [start.wait() for start in later]
            assert [r.exit_code for r in results] == [0] * LOAD_STARTS, \
                [r.stderr for r in results]
            received = receiver.lines()
            assert len(received) == half
            assert len(set(received)) == half
            assert set(received) <= {expected_line(n) for n in range(LOAD_STARTS)}
            assert not list(shared.glob("tsm_p*.tmp"))
            logs = instances.log_texts(shared)
            assert sum("main process already released semaphore." in t for t in logs) >= 1
        finally:
            if receiver and receiver.process.poll() is None:
                receiver.stop()
            if first.running():
                first.end()


# ---------------------------------------------------------------------------------------
# Window activation and counting on real windows


@pytest.mark.usefixtures("display")
class TestWindows:

    def activate(self, pid, restore):
        return run_launcher(rig.helper_path("instancetool"),
                            ["activate", "--pid", pid, "--restore", int(restore)],
                            env={"TESMO_LOG": "yes"}, display=True)

    def test_restore_only_when_asked_and_every_window_in_turn(self, tmp_path, out_dir):
        target = show_windows(tmp_path, "target", 2)
        try:
            assert instances.run_tool("minimize", "--pid", target.pid).returncode == 0
            result = self.activate(target.pid, False)
            state = instances.windows(target.pid, out_dir)
            assert [w["iconic"] for w in state["windows"]] == [True, True]
            log = result.log_text.splitlines()[2:]
            found = [line for line in log if line.startswith("found window ")]
            assert len(found) == 2 and "restore" not in log
            assert log == [found[0], "foreground", "popup", "done",
                           found[1], "foreground", "popup", "done"]

            result = self.activate(target.pid, True)
            state = instances.windows(target.pid, out_dir)
            assert [w["iconic"] for w in state["windows"]] == [False, False]
            log = result.log_text.splitlines()[2:]
            assert log.count("restore") == 2
            # Activated in enumeration order, so the last one found ends in front.
            last = [line for line in log if line.startswith("found window ")][-1]
            assert last == f"found window {hex_pointer(state['foreground'])}"
        finally:
            target.end()

    def console(self, tmp_path, launcher_type, fake, relay=()):
        out = tmp_path / f"console-{launcher_type}-{fake}.json"
        result = run_launcher(rig.helper_path("instancetool"),
                              ["console", "--type", launcher_type, "--fake", int(fake),
                               "--out", unix_to_windows(out)], display=True, relay=relay)
        assert result.exit_code == 0, result.stderr
        return json.loads(out.read_text()), result

    def test_the_own_console_window_is_not_counted(self, tmp_path):
        # One of the process's own windows plays the console window, so leaving it out is
        # what keeps the count at 1; a GUI launcher does not look for it and counts both.
        found, _ = self.console(tmp_path, 0, True)
        assert (found["visible"], found["count"]) == (2, 1)
        assert found["titleAfter"] == found["titleBefore"] == "console stand-in"
        found, _ = self.console(tmp_path, 1, True)
        assert (found["visible"], found["count"]) == (2, 2)

    def test_console_search_on_a_real_console(self, tmp_path):
        relay = ("kernel32.GetConsoleTitleA", "kernel32.SetConsoleTitleA", "user32.FindWindowA")
        found, result = self.console(tmp_path, 0, False, relay)
        assert found["count"] == 1
        assert found["titleAfter"] == found["titleBefore"] == "instancetool console"
        titles = result.relay_calls("KERNEL32.SetConsoleTitleA")
        unique = re.fullmatch(r'\w+ "(\d+/(\d+))"', titles[1])
        assert unique and int(unique[2]) == result.pid, titles
        assert titles[2].endswith('"instancetool console"')
        [looked_up] = re.findall(r"Ret  user32\.FindWindowA\(\) retval=([0-9a-f]+)",
                                 result.wine_log)
        assert int(looked_up, 16) == found["consoleWindow"]

        # A GUI launcher never reads or sets the console title: only the tool's own calls.
        found, result = self.console(tmp_path, 1, False, relay)
        assert found["count"] == 1
        assert len(result.relay_calls("KERNEL32.SetConsoleTitleA")) == 1
        assert len(result.relay_calls("KERNEL32.GetConsoleTitleA")) == 2
        assert not result.relay_calls("user32.FindWindowA")
