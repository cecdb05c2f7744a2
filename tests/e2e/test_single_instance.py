"""Instance semaphores, single-instance mode and window counting with real processes under
Wine and Xvfb. The stand-in VM runs no Java, so the real Java-side wrapper runs beside the
first instance on the machine's JVM, watching its communication file."""

import json
import re
import shutil
import subprocess
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

/** Appends each hand-over to -Dreceiver.report as one line, every argument in brackets;
 * after -Dreceiver.pauseAfter hand-overs its listener takes no more. */
public class Receiver {
    public static void main(String[] args) throws Exception {
        final java.io.PrintStream out = new java.io.PrintStream(new java.io.FileOutputStream(
            System.getProperty("receiver.report"), true), true, "UTF-8");
        final int[] left = {Integer.getInteger("receiver.pauseAfter", 0)};
        com.tesmo.runtime.Launcher.addInstanceListener(arguments -> {
            StringBuilder line = new StringBuilder();
            for (String argument : arguments) {
                line.append('[').append(argument).append(']');
            }
            out.println(line);
            while (--left[0] == 0) {
                java.util.concurrent.locks.LockSupport.park();
                left[0]++;
            }
        });
        Thread.sleep(Long.MAX_VALUE);
    }
}
"""


@pytest.fixture(scope="session")
def receiver_jar(tmp_path_factory):
    root = tmp_path_factory.mktemp("receiver")
    source = root / "com" / "example" / "Receiver.java"
    source.parent.mkdir(parents=True)
    source.write_text(RECEIVER_SOURCE)
    subprocess.run(["javac", "--release", "8", "-cp", str(JAVA_RUNTIME), "-d",
                    str(root / "classes"), str(source)], check=True, capture_output=True)
    subprocess.run(["jar", "cf", str(root / "receiver.jar"), "-C", str(root / "classes"), "."],
                   check=True)
    return root / "receiver.jar"


class Receiver:
    """The real wrapper started the way the launcher starts it, given the first instance's
    communication file: the Java side of the first instance."""

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


class Installed:
    """An application installed in ``root`` with a stand-in runtime; each start picks the
    stand-in's behaviour with a "-J" option."""

    def __init__(self, root: Path, application: Path, settings=None, includes=None):
        (root / "lib").mkdir(parents=True)
        shutil.copy(JAVA_RUNTIME, root / "lib" / "kvnruntime.jar")
        shutil.copy(application, root / "lib" / "app.jar")
        self.runtime = make_runtime(root / "jre", "jre8")
        self.exe = build_launcher(root, {
            1000: "Instances", 101: "instances", 128: "B.\\jre", 125: 1,
            122: "com.example.Receiver", 121: "A0.\\lib\\kvnruntime.jar;A1.\\lib\\app.jar",
            **(settings or {})}, includes=includes)
        self.exe_windows = unix_to_windows(self.exe)
        self.semaphore = self.exe_windows.lower().replace("\\", "_").replace(" ", "_")

    def property(self, pid: int, name: str):
        path = self.runtime.jvm_dll.parent / f"jvm-launch-{pid}.json"
        options = json.loads(path.read_text(encoding="utf-8"))["options"] if path.exists() else []
        return next((o.split("=", 1)[1] for o in options if o.startswith(f"-D{name}=")), None)

    def start(self, behaviour: str, env=None) -> instances.Running:
        return instances.start(self.exe, [f"-J-Dstandin.main={behaviour}"], env=env)

    def loads(self) -> int:
        """How many processes loaded the stand-in VM library."""
        record = self.runtime.jvm_dll.parent / "jvm-record.txt"
        return record.read_text().count("loaded=") if record.exists() else 0


def test_ordinary_instances_take_the_lowest_free_number(tmp_path, receiver_jar):
    app = Installed(tmp_path / "My App", receiver_jar, {158: 1})
    first = app.start("sleep:60000")
    try:
        rig.wait_for(lambda: app.property(first.pid, "tesmo.semaphoreName") or
                     not first.running(), "the first start")
        assert first.running(), first.wait().stderr
        second = run_launcher(app.exe, args=["-J-Dstandin.main=return"])
    finally:
        first.end()
    # The first one ended the hard way, and its number is free again.
    third = run_launcher(app.exe, args=["-J-Dstandin.main=return"])
    assert second.exit_code == third.exit_code == 0
    assert [app.property(pid, "tesmo.semaphoreName") for pid in (first.pid, second.pid,
            third.pid)] == [f"Global\\{app.semaphore}{n}" for n in (0, 1, 0)]
    assert not app.property(second.pid, "tesmo.processCommFile")


@pytest.mark.usefixtures("display")
@pytest.mark.parametrize("halfway", [False, True])
def test_later_starts_hand_over_once_each_and_bring_the_first_to_the_front(
        tmp_path, receiver_jar, halfway):
    payload = tmp_path / "payload.txt"
    payload.write_text("included")
    # What gives the first instance its splash and an extracted file must give later
    # starts neither.
    app = Installed(tmp_path / "app", receiver_jar, settings={**SINGLE, 108: 1},
                    includes={"payload.txt": payload})
    shared = tmp_path / "shared-tmp"
    shared.mkdir()
    env = {"TMP": unix_to_windows(shared) + "\\", "TEMP": unix_to_windows(shared) + "\\",
           "TESMO_LOG": "yes"}
    first = app.start("window:300000", env=env)
    other = receiver = None
    half = LOAD_STARTS // 2
    try:
        window = instances.wait_for_window(first.pid, instances.STANDIN_WINDOW, tmp_path)
        comm = app.property(first.pid, "tesmo.processCommFile")
        assert comm == unix_to_windows(shared) + f"\\tsm_p{first.pid}.tmp"
        assert app.property(first.pid, "tesmo.semaphoreName") == "Local\\" + app.semaphore
        receiver = Receiver(receiver_jar, windows_to_unix(comm), tmp_path / "report.txt",
                            pause_after=half if halfway else 0)
        assert instances.run_tool("minimize", "--pid", first.pid).returncode == 0
        # Another program's window in front, as when the user works elsewhere.
        ready = tmp_path / "ready"
        other = instances.start(rig.helper_path("instancetool"),
                                ["show", "--title", "other", "--count", 1, "--ms", 120000,
                                 "--ready-file", unix_to_windows(ready)])
        rig.wait_for(lambda: ready.exists() and instances.windows(first.pid, tmp_path)[
            "foregroundPid"] == other.pid, "the other program in front")
        temp_entries, loads = sorted(shared.glob("tsm*")), app.loads()
        # A tab is no separator, and single quotes group too.
        later = [instances.start(cmdline=f'"{app.exe_windows}"  line-{n:02d}\ttab "caf\u00e9 '
                                         f"\u20ac\" 'third {n}'", env=env)
                 for n in range(LOAD_STARTS)]
        if halfway:
            # Every later start is past its detection before the first instance ends, so
            # none of them becomes a first instance itself.
            rig.wait_for(lambda: sum("waiting for notification semaphore" in text for text in
                                     instances.log_texts(shared)) == LOAD_STARTS,
                         "every later start queueing", 60)
            rig.wait_for(lambda: len(receiver.lines()) >= half, "half of them arriving", 60)
            receiver.process.kill()
            first.end()
        results = [start.wait() for start in later]
        assert [r.exit_code for r in results] == [0] * LOAD_STARTS, [r.stderr for r in results]
        if not halfway:
            # Every start has ended, so once the file is gone nothing more is on its way.
            rig.wait_for(lambda: len(receiver.lines()) >= LOAD_STARTS and
                         not windows_to_unix(comm).exists(), "every hand-over arriving")
            assert app.loads() == loads and sorted(shared.glob("tsm*")) == temp_entries
            # Wine hands the focus over through the X server, so a change may land a moment
            # after the program that asked for it has ended.
            rig.wait_for(lambda: instances.windows(first.pid, tmp_path)["foreground"] ==
                         window["handle"], "the first instance's window in front")
            assert not instances.windows(first.pid, tmp_path)["windows"][0]["iconic"]
        received = receiver.lines()
        assert len(received) == len(set(received)) == (half if halfway else LOAD_STARTS)
        assert set(received) <= {f"[line-{n:02d}\ttab][caf\u00e9 \u20ac][third {n}]"
                                 for n in range(LOAD_STARTS)}
        assert not list(shared.glob("tsm_p*.tmp"))
    finally:
        for process in (first, other):
            if process and process.running():
                process.end()
        if receiver:
            receiver.process.kill()
            receiver.process.wait(timeout=30)
    logs = [text.splitlines() for text in instances.log_texts(shared)]
    assert any("Starting splash screen thread" in lines for lines in logs)
    later_logs = [lines for lines in logs if f"other pid {first.pid}" in lines]
    assert len(later_logs) == LOAD_STARTS
    assert not any("splash" in line for lines in later_logs for line in lines)
    if halfway:
        assert any("main process already released semaphore." in lines for lines in logs)
    else:
        assert all(lines[-1] == "exiting" for lines in later_logs)


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
                          relay=("kernel32.SetConsoleTitleA", "user32.FindWindowA"))
    assert result.exit_code == 0, result.stderr
    found = json.loads(out.read_text())
    assert found["count"] == count
    assert found["titleAfter"] == found["titleBefore"] == \
        ("console stand-in" if fake else "instancetool console")
    if not fake:
        # The console is found by a title of its own for a moment.
        titles = result.relay_calls("KERNEL32.SetConsoleTitleA")
        assert re.fullmatch(rf'\w+ "\d+/{result.pid}"', titles[1]), titles
        [looked_up] = re.findall(r"Ret  user32\.FindWindowA\(\) retval=([0-9a-f]+)",
                                 result.wine_log)
        assert int(looked_up, 16) == found["consoleWindow"]
