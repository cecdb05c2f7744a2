"""Instance semaphores, single-instance mode and window counting with real processes: the
real launcher against the stand-in VM under Wine and Xvfb, later starts meeting a running
first instance, and the real Java-side wrapper on the machine's JVM taking what they hand
over. The stand-in VM runs no Java, so the wrapper runs beside it, watching the first
instance's communication file."""

import json
import re
import shutil
import subprocess
import time
from pathlib import Path

import pytest

import instances
import rig
from rig import build_launcher, run_launcher, unix_to_windows, windows_to_unix
from runtimes import make_runtime

JAVA_RUNTIME = rig.build_dir() / "java" / "kvnruntime.jar"
SINGLE = {10005: 1}
LOAD_STARTS = 20

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
                        java.util.concurrent.locks.LockSupport.park();
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
    root = tmp_path_factory.mktemp("receiver")
    source = root / "src" / "com" / "example" / "Receiver.java"
    source.parent.mkdir(parents=True)
    source.write_text(RECEIVER_SOURCE)
    subprocess.run(["javac", "--release", "8", "-cp", str(JAVA_RUNTIME), "-d",
                    str(root / "classes"), str(source)], check=True, capture_output=True)
    subprocess.run(["jar", "cf", str(root / "receiver.jar"), "-C", str(root / "classes"), "."],
                   check=True)
    return root / "receiver.jar"


class Receiver:
    """The real wrapper on the machine's JVM, started the way the launcher starts it, with
    the first instance's communication file: the Java side of the first instance."""

    def __init__(self, jar: Path, comm_file: Path, report: Path, pause_after: int = 0):
        self.report = report
        self.process = subprocess.Popen(
            ["java", f"-Dtesmo.processCommFile={comm_file}", f"-Dreceiver.report={report}",
             f"-Dreceiver.pauseAfter={pause_after}", "-cp", f"{JAVA_RUNTIME}:{jar}",
             "com.tesmo.runtime.WinLauncher", "true", "com.example.Receiver", "", "", "false",
             "app.exe"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)

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
        (root / "lib").mkdir(parents=True, exist_ok=True)
        shutil.copy(JAVA_RUNTIME, root / "lib" / "kvnruntime.jar")
        shutil.copy(application, root / "lib" / "app.jar")
        self.runtime = make_runtime(root / "jre", "jre8")
        base = {1000: "Instances", 101: "instances", 128: "B.\\jre", 125: 1,
                122: "com.example.Receiver", 121: "A0.\\lib\\kvnruntime.jar;A1.\\lib\\app.jar"}
        self.exe = build_launcher(root, {**base, **(settings or {})}, includes=includes)
        self.exe_windows = unix_to_windows(self.exe)

    def record(self, pid: int):
        path = self.runtime.jvm_dll.parent / f"jvm-launch-{pid}.json"
        return json.loads(path.read_text(encoding="utf-8")) if path.exists() else None

    def property(self, pid: int, name: str):
        for option in self.record(pid)["options"]:
            if option.startswith(f"-D{name}="):
                return option[len(name) + 3:]
        return None

    def start(self, behaviour: str, env=None) -> instances.Running:
        return instances.start(self.exe, [f"-J-Dstandin.main={behaviour}"], env=env)

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


@pytest.fixture
def out_dir(tmp_path):
    directory = tmp_path / "tool"
    directory.mkdir()
    return directory


@pytest.mark.parametrize("settings, prefix", [({}, "Local\\"), ({158: 1}, "Global\\")])
def test_ordinary_instances_take_the_lowest_free_number(tmp_path, receiver_jar, settings,
                                                        prefix):
    app = Installed(tmp_path / "My App", receiver_jar, settings)
    first = app.start("sleep:60000")
    try:
        rig.wait_for(lambda: app.record(first.pid) or not first.running(), "the first start")
        assert first.running(), first.wait().stderr
        second = run_launcher(app.exe, args=["-J-Dstandin.main=return"])
    finally:
        first.end()
    # The first one ended the hard way, and its number is free again.
    third = run_launcher(app.exe, args=["-J-Dstandin.main=return"])
    assert second.exit_code == third.exit_code == 0
    base = semaphore_base(app.exe_windows, prefix)
    assert [app.property(pid, "tesmo.semaphoreName") for pid in
            (first.pid, second.pid, third.pid)] == [base + "0", base + "1", base + "0"]
    assert not app.property(second.pid, "tesmo.processCommFile")


@pytest.mark.usefixtures("display")
def test_a_later_start_brings_the_first_to_the_front_and_hands_over(tmp_path, out_dir,
                                                                    receiver_jar):
    payload = tmp_path / "payload.txt"
    payload.write_text("included")
    # What gives the first instance its splash and an extracted file must give later
    # starts neither.
    app = Installed(tmp_path / "app", receiver_jar, settings={**SINGLE, 108: 1},
                    includes={"payload.txt": payload})
    shared, env = shared_tmp(tmp_path)
    first = app.start("window:120000", env=env)
    other = receiver = None
    try:
        window = instances.wait_for_window(first.pid, instances.STANDIN_WINDOW, out_dir)
        comm = app.property(first.pid, "tesmo.processCommFile")
        assert comm == unix_to_windows(shared) + f"\\tsm_p{first.pid}.tmp"
        assert app.property(first.pid, "tesmo.semaphoreName") == semaphore_base(app.exe_windows)
        receiver = Receiver(receiver_jar, windows_to_unix(comm), tmp_path / "report.txt")
        assert instances.run_tool("minimize", "--pid", first.pid).returncode == 0
        # Another program's window in front, as when the user works elsewhere.
        ready = tmp_path / "ready"
        other = instances.start(rig.helper_path("instancetool"),
                                ["show", "--title", "other", "--count", 1, "--ms", 120000,
                                 "--ready-file", unix_to_windows(ready)])
        rig.wait_for(lambda: ready.exists() and instances.windows(first.pid, out_dir)[
            "foregroundPid"] == other.pid, "the other program in front")
        temp_entries = sorted(shared.glob("tsm*"))
        loads = app.loads()
        for tail in ['    first "second arg"  \'third one\'', "   ",
                     ' unquoted\ttab "caf\u00e9 \u20ac"']:
            result = run_launcher(None, cmdline=f'"{app.exe_windows}"{tail}', env=env,
                                  display=True)
            assert result.exit_code == 0, result.stderr
        rig.wait_for(lambda: len(receiver.lines()) == 3, "the application receiving them")
        assert receiver.lines() == ["[first][second arg][third one]", "",
                                    "[unquoted\ttab][caf\u00e9 \u20ac]"]
        assert app.loads() == loads
        assert sorted(shared.glob("tsm*")) == temp_entries
        # Wine hands the focus over through the X server, so a change may land a moment
        # after the program that asked for it has ended.
        rig.wait_for(lambda: instances.windows(first.pid, out_dir)["foreground"] ==
                     window["handle"], "the first instance's window in front")
        assert not instances.windows(first.pid, out_dir)["windows"][0]["iconic"]
    finally:
        for process in (first, other):
            if process:
                process.end()
        if receiver:
            receiver.stop()

    logs = [text.splitlines() for text in instances.log_texts(shared)]
    later = [lines for lines in logs if f"other pid {first.pid}" in lines]
    assert len(later) == 3
    assert not any("splash" in line for lines in later for line in lines)
    assert any("Starting splash screen thread" in lines for lines in logs)
    # Only the first later start found the window minimised.
    [lines] = [lines for lines in later if "restore" in lines]
    found = lines.index(f"found window {window['handle']:016X}")
    assert lines[found + 1:found + 5] == ["restore", "foreground", "popup", "done"]
    assert lines.index("single instance mode") < found
    assert lines.index("done") < lines.index(f"notification via {comm}") < \
        lines.index("waiting for notification semaphore") < \
        lines.index("waiting for file deletion")
    assert lines[-1] == "exiting"


@pytest.mark.usefixtures("display")
@pytest.mark.parametrize("halfway", [False, True])
def test_every_hand_over_arrives_once_even_if_the_first_instance_ends(tmp_path, receiver_jar,
                                                                      out_dir, halfway):
    app = Installed(tmp_path / "app", receiver_jar, settings=SINGLE)
    shared, env = shared_tmp(tmp_path)
    first = app.start("window:300000", env=env)
    receiver = None
    half = LOAD_STARTS // 2
    expected = {f"[line-{n:02d}][with space][q{n}]" for n in range(LOAD_STARTS)}
    try:
        instances.wait_for_window(first.pid, instances.STANDIN_WINDOW, out_dir)
        comm_file = windows_to_unix(app.property(first.pid, "tesmo.processCommFile"))
        receiver = Receiver(receiver_jar, comm_file, tmp_path / "report.txt",
                            pause_after=half if halfway else 0)
        later = [instances.start(cmdline=f'"{app.exe_windows}"  line-{n:02d} "with space" '
                                         f"'q{n}'", env=env) for n in range(LOAD_STARTS)]
        if halfway:
            # Every later start is past its detection before the first instance ends, so
            # none of them becomes a first instance itself.
            rig.wait_for(lambda: sum("waiting for notification semaphore" in text for text in
                                     instances.log_texts(shared)) == LOAD_STARTS,
                         "every later start queueing", 60)
            rig.wait_for(lambda: len(receiver.lines()) >= half, "half of them arriving", 60)
            receiver.stop()
            first.end()
        results = [start.wait() for start in later]
        assert [r.exit_code for r in results] == [0] * LOAD_STARTS, [r.stderr for r in results]
        if not halfway:
            # Every start has ended, so once the file is gone nothing more is on its way.
            rig.wait_for(lambda: len(receiver.lines()) >= LOAD_STARTS and
                         not comm_file.exists(), "every hand-over reaching the application")
            assert first.running()
        received = receiver.lines()
        assert len(received) == len(set(received)) == (half if halfway else LOAD_STARTS)
        assert set(received) <= expected
        assert not list(shared.glob("tsm_p*.tmp"))
        logs = instances.log_texts(shared)
        if halfway:
            assert any("main process already released semaphore." in t for t in logs)
        else:
            assert sum(text.splitlines()[-1] == "exiting" for text in logs) == LOAD_STARTS
    finally:
        if receiver and receiver.process.poll() is None:
            receiver.stop()
        if first.running():
            first.end()


@pytest.mark.usefixtures("display")
@pytest.mark.parametrize("launcher_type, fake, count", [(0, True, 1), (1, True, 2),
                                                        (0, False, 1)])
def test_the_own_console_window_is_not_counted(tmp_path, launcher_type, fake, count):
    # With ``fake`` one of the process's own windows plays the console window, so leaving it
    # out is what keeps the count at 1; a GUI launcher (type 1) does not look for it.
    out = tmp_path / "console.json"
    result = run_launcher(rig.helper_path("instancetool"),
                          ["console", "--type", launcher_type, "--fake", int(fake),
                           "--out", unix_to_windows(out)], display=True,
                          relay=("kernel32.GetConsoleTitleA", "kernel32.SetConsoleTitleA",
                                 "user32.FindWindowA"))
    assert result.exit_code == 0, result.stderr
    found = json.loads(out.read_text())
    assert found["count"] == count
    title = "console stand-in" if fake else "instancetool console"
    assert found["titleAfter"] == found["titleBefore"] == title
    titles = result.relay_calls("KERNEL32.SetConsoleTitleA")
    if fake:
        assert found["visible"] == 2
    else:
        # The console is found by a title of its own for a moment.
        unique = re.fullmatch(r'\w+ "(\d+/(\d+))"', titles[1])
        assert unique and int(unique[2]) == result.pid, titles
        assert titles[2].endswith('"instancetool console"')
        [looked_up] = re.findall(r"Ret  user32\.FindWindowA\(\) retval=([0-9a-f]+)",
                                 result.wine_log)
        assert int(looked_up, 16) == found["consoleWindow"]
