"""Instance semaphores, single-instance mode and window counting with real processes; as the
stand-in VM runs no Java, the real Java-side wrapper runs beside the first instance."""

import json
import subprocess
from pathlib import Path

import pytest

import instances
import rig
from apps import JAVA_RUNTIME, App
from rig import run_launcher, unix_to_windows, windows_to_unix

LOAD_STARTS = 20
ALONE = 4

RECEIVER_SOURCE = """
/** Each hand-over as a line of -Dreceiver.report; none taken after -Dreceiver.pauseAfter. */
public class Receiver {
    public static void main(String[] args) throws Exception {
        final java.io.PrintStream out = new java.io.PrintStream(new java.io.FileOutputStream(
            System.getProperty("receiver.report"), true), true, "UTF-8");
        final int[] left = {Integer.getInteger("receiver.pauseAfter", 0)};
        com.tesmo.runtime.Launcher.addInstanceListener(arguments -> {
            out.println("[" + String.join("][", arguments) + "]");
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
    (root / "Receiver.java").write_text(RECEIVER_SOURCE)
    subprocess.run(["javac", "--release", "8", "-cp", str(JAVA_RUNTIME), "-d",
                    str(root / "classes"), str(root / "Receiver.java")], check=True)
    subprocess.run(["jar", "cf", str(root / "receiver.jar"), "-C", str(root / "classes"), "."],
                   check=True)
    return root / "receiver.jar"


def receive(jar: Path, comm_file: Path, report: Path, pause_after: int = 0):
    """The Java side of the first instance: the real wrapper, started as the launcher would."""
    return subprocess.Popen(["java", f"-Dtesmo.processCommFile={comm_file}",
                             f"-Dreceiver.report={report}", f"-Dreceiver.pauseAfter={pause_after}",
                             "-cp", f"{JAVA_RUNTIME}:{jar}", "com.tesmo.runtime.WinLauncher",
                             "true", "Receiver", "", "", "false", "app.exe"])


def received(report: Path) -> list[str]:
    return report.read_text(encoding="utf-8").splitlines() if report.exists() else []


class Installed(App):
    """The receiver installed as the VM tests' application, in single-instance mode."""

    def __init__(self, root: Path, application: Path, settings=None, includes=None):
        super().__init__(root, application, {122: "Receiver", 125: 1, **(settings or {})},
                         includes)
        self.semaphore = unix_to_windows(self.exe).lower().replace("\\", "_").replace(" ", "_")

    def property(self, pid: int, name: str):
        path = self.runtime.jvm_dll.parent / f"jvm-launch-{pid}.json"
        options = json.loads(path.read_text(encoding="utf-8"))["options"] if path.exists() else []
        return next((o.split("=", 1)[1] for o in options if o.startswith(f"-D{name}=")), None)


@pytest.mark.usefixtures("display")
@pytest.mark.parametrize("halfway", [False, True])
def test_later_starts_hand_over_once_each_and_bring_the_first_to_the_front(
        tmp_path, receiver_jar, halfway):
    # What gives the first instance a splash and an extracted file gives later starts neither.
    app = Installed(tmp_path / "app", receiver_jar, settings={10005: 1, 108: 1},
                    includes={"payload.txt": __file__})
    shared, report = tmp_path / "shared-tmp", tmp_path / "report.txt"
    shared.mkdir()
    env = {**dict.fromkeys(("TMP", "TEMP"), unix_to_windows(shared) + "\\"), "TESMO_LOG": "yes"}
    first = instances.start(app.exe, ["-J-Dstandin.main=window:300000"], env=env)
    other = receiver = None
    half = LOAD_STARTS // 2
    try:
        window = instances.wait_for_window(first.pid, instances.STANDIN_WINDOW, tmp_path)
        comm = app.property(first.pid, "tesmo.processCommFile")
        assert app.property(first.pid, "tesmo.semaphoreName") == "Local\\" + app.semaphore
        receiver = receive(receiver_jar, windows_to_unix(comm), report, half if halfway else 0)
        # Minimised, and another program in front, as when the user works elsewhere.
        assert instances.run_tool("minimize", "--pid", first.pid).returncode == 0
        other = instances.start(rig.helper_path("instancetool"),
                                ["show", "--title", "other", "--count", 1, "--ms", 120000,
                                 "--ready-file", unix_to_windows(tmp_path / "ready")])
        rig.wait_for(lambda: (tmp_path / "ready").exists() and instances.windows(
            first.pid, tmp_path)["foregroundPid"] == other.pid, "the other program in front")
        temp_entries = sorted(shared.glob("tsm*"))

        def command(n):
            # A tab is no separator, and single quotes group too.
            return f'"{unix_to_windows(app.exe)}"  line-{n:02d}\ttab "caf\u00e9 \u20ac" \'q {n}\''

        # A few alone: the first restores the window, but under Wine the focus only lands with
        # a later request.
        for n in range(ALONE):
            assert run_launcher(None, cmdline=command(n), env=env, display=True).exit_code == 0
        rig.wait_for(lambda: instances.windows(first.pid, tmp_path)["foreground"] ==
                     window["handle"], "the first instance's window in front")
        assert not instances.windows(first.pid, tmp_path)["windows"][0]["iconic"]
        later = [instances.start(cmdline=command(n), env=env) for n in range(ALONE, LOAD_STARTS)]
        if halfway:
            # All past their detection before the first ends, so none becomes a first itself.
            rig.wait_for(lambda: sum("waiting for notification semaphore" in text for text in
                                     instances.log_texts(shared)) == LOAD_STARTS,
                         "every later start queueing", 60)
            rig.wait_for(lambda: len(received(report)) >= half, "half of them arriving", 60)
            receiver.kill()
            first.end()
        assert [start.wait().exit_code for start in later] == [0] * (LOAD_STARTS - ALONE)
        if not halfway:
            # Every start has ended, so once the file is gone nothing more is on its way.
            rig.wait_for(lambda: len(received(report)) >= LOAD_STARTS and
                         not windows_to_unix(comm).exists(), "every hand-over arriving")
            assert sorted(shared.glob("tsm*")) == temp_entries
            assert (app.runtime.jvm_dll.parent / "jvm-record.txt").read_text().count("loaded=") == 1
        lines = received(report)
        assert len(lines) == len(set(lines)) == (half if halfway else LOAD_STARTS)
        assert set(lines) <= {f"[line-{n:02d}\ttab][caf\u00e9 \u20ac][q {n}]"
                              for n in range(LOAD_STARTS)}
        assert not list(shared.glob("tsm_p*.tmp"))
    finally:
        for process in (first, other):
            if process and process.running():
                process.end()
        if receiver:
            receiver.kill()
            receiver.wait(timeout=30)
    logs = [text.splitlines() for text in instances.log_texts(shared)]
    assert any("Starting splash screen thread" in lines for lines in logs)
    later_logs = [lines for lines in logs if f"other pid {first.pid}" in lines]
    assert len(later_logs) == LOAD_STARTS
    assert not any("splash" in line for lines in later_logs for line in lines)


@pytest.mark.usefixtures("display")
def test_the_own_console_window_is_not_counted(tmp_path):
    # One of its two windows plays the console window; leaving that out keeps the count at 1.
    out = tmp_path / "console.json"
    result = run_launcher(rig.helper_path("instancetool"), ["console", "--type", 0, "--fake",
                          1, "--out", unix_to_windows(out)], display=True)
    assert result.exit_code == 0, result.stderr
    found = json.loads(out.read_text())
    assert (found["count"], found["visible"]) == (1, 2)
    assert found["titleAfter"] == found["titleBefore"] == "console stand-in"
