"""Launchers side by side: starting instances of one executable that run at the same time,
and ``instancetool``, which looks at and drives their windows.

``rig.run_launcher`` waits for its program to end; the single-instance tests need a first
instance that keeps running while later starts meet it, and twenty later starts at once.
``start`` runs a program the same way (``wintest run``: exact command line, complete
environment, its own run directory) without waiting, and ``Running.wait`` collects what it
left behind as a ``rig.Result``.

Instances that must find one another's communication file share a TMP directory, so their
log files land there together: ``log_texts`` returns them one text per file.
"""

from __future__ import annotations

import json
import subprocess
import time
from pathlib import Path
from typing import Mapping, Sequence, Union

import rig
from rig import RigError, unix_to_windows

STANDIN_WINDOW = "tesmo stand-in application"


def tool() -> Path:
    path = rig.helper_path("instancetool")
    if not path.is_file():
        raise RigError(f"instancetool.exe not found at {path}; build build/win64")
    return path


class Running:
    """A started program; ``pid`` is its Windows process id."""

    def __init__(self, process: subprocess.Popen, run_dir: Path, cmdline: str,
                 environment: dict[str, str], timeout: float):
        self.process = process
        self.run_dir = run_dir
        self.cmdline = cmdline
        self.environment = environment
        self.deadline = time.monotonic() + timeout + 30
        self._pid: int | None = None
        self._result: rig.Result | None = None

    @property
    def pid(self) -> int:
        if self._pid is None:
            pid_file = self.run_dir / "pid.txt"
            until = time.monotonic() + 60
            while not (pid_file.is_file() and pid_file.read_text().strip().isdigit()):
                if time.monotonic() > until or self.process.poll() is not None and \
                        not pid_file.is_file():
                    raise RigError(f"no pid from {self.cmdline}")
                time.sleep(0.02)
            self._pid = int(pid_file.read_text().strip())
        return self._pid

    def running(self) -> bool:
        return self.process.poll() is None

    def end(self) -> None:
        """Ends the Windows process the hard way, as a crash or the task manager would."""
        run_tool("end", "--pid", self.pid)

    def wait(self) -> rig.Result:
        if self._result is not None:
            return self._result
        try:
            self.process.wait(timeout=max(1.0, self.deadline - time.monotonic()))
        except subprocess.TimeoutExpired:
            rig._kill_group(self.process)
        files = {name: self.run_dir / name for name in
                 ("stdout.bin", "stderr.bin", "exit.txt", "wintest.log")}
        code_text = files["exit.txt"].read_text().strip() if files["exit.txt"].is_file() else ""
        timed_out = code_text in ("", "timeout")
        stdout = files["stdout.bin"].read_bytes() if files["stdout.bin"].is_file() else b""
        stderr = files["stderr.bin"].read_bytes() if files["stderr.bin"].is_file() else b""
        tmp = rig.windows_to_unix(self.environment["TMP"])
        log_files = sorted(tmp.glob("kvn_nlog_*")) if tmp and tmp.is_dir() else []
        self._result = rig.Result(
            exit_code=None if timed_out else rig._signed(int(code_text)),
            stdout=rig.decode_narrow(stdout), stderr=rig.decode_narrow(stderr),
            stdout_bytes=stdout, stderr_bytes=stderr, box=None, boxes=[],
            log_text="".join(rig.decode_narrow(p.read_bytes()) for p in log_files),
            log_files=log_files, timed_out=timed_out, pid=self._pid, cmdline=self.cmdline,
            environment=self.environment, run_dir=self.run_dir, tmp_dir=self.run_dir / "tmp",
            wine_log=files["wintest.log"].read_bytes().decode("utf-8", "replace")
            if files["wintest.log"].is_file() else "")
        return self._result


def start(exe: Union[str, Path, None] = None, args: Sequence[object] = (),
          cmdline: str | None = None, env: Mapping[str, str | None] | None = None,
          timeout: float = 120, display: bool = True) -> Running:
    """Starts ``exe`` with ``args`` (or the exact ``cmdline``) and returns at once. The run
    gets a TMP directory of its own unless ``env`` names one."""
    wine = rig.session()
    if rig._test_dir is None:
        raise RigError("start needs the test directory the conftest fixture sets")
    run_dir = wine.next_run_dir(rig._test_dir)
    (run_dir / "tmp").mkdir()
    if cmdline is None:
        cmdline = rig.windows_command_line(exe, args)
    environment = rig.merge_environment(rig.base_environment(unix_to_windows(run_dir / "tmp")),
                                        env)
    (run_dir / "cmdline.txt").write_bytes(cmdline.encode("utf-8"))
    (run_dir / "env.txt").write_bytes(
        "".join(f"{k}={v}\n" for k, v in environment.items()).encode("utf-8"))
    command = [str(rig.WINE64), str(rig.helper_path("wintest")), "run"]
    for option, name in (("--cmdline-file", "cmdline.txt"), ("--env-file", "env.txt"),
                         ("--stdout", "stdout.bin"), ("--stderr", "stderr.bin"),
                         ("--pid-file", "pid.txt"), ("--exit-code-file", "exit.txt")):
        command += [option, unix_to_windows(run_dir / name)]
    command += ["--timeout-ms", str(int(timeout * 1000)), "--cwd", unix_to_windows(run_dir)]
    with open(run_dir / "wintest.log", "wb") as log:
        process = subprocess.Popen(command, env=wine.unix_env(display=display), cwd=run_dir,
                                   stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                   start_new_session=True)
    return Running(process, run_dir, cmdline, environment, timeout)


def run_tool(*args: object, timeout: float = 60) -> subprocess.CompletedProcess:
    """Runs instancetool with the display; its output is captured through files."""
    # Now and then wine64 ends with code 1 and no word before the tool has started (the
    # fault the rig's launcher runs also meet). Every verb the tests use can safely be
    # asked twice: a query, minimising, ending a process.
    for _ in range(3):
        completed = rig.run_wine([str(tool()), *map(str, args)], timeout=timeout,
                                 env={"DISPLAY": rig.session().display or ""})
        if completed.returncode != 1 or completed.stdout or completed.stderr:
            break
    return completed


def windows(pid: int, out_dir: Path) -> dict:
    """The visible top-level windows of ``pid`` (handle, title, iconic) and the foreground
    window with its process."""
    out = out_dir / f"windows-{pid}-{time.monotonic_ns()}.json"
    for _ in range(3):  # a pure query, so any failure of Wine's may be asked again
        completed = run_tool("windows", "--pid", pid, "--out", unix_to_windows(out))
        if completed.returncode == 0 and out.is_file():
            return json.loads(out.read_text())
    raise RigError(f"instancetool windows failed ({completed.returncode}): {completed.stderr}")


def wait_for_window(pid: int, title: str, out_dir: Path, seconds: float = 60) -> dict:
    """Waits until ``pid`` shows a visible window titled ``title``; returns it."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        for window in windows(pid, out_dir)["windows"]:
            if window["title"] == title:
                return window
        time.sleep(0.2)
    raise RigError(f"process {pid} showed no window {title!r} within {seconds} s")


def log_texts(directory: Path) -> list[str]:
    """The log files in a shared TMP directory, one text per file."""
    return [rig.decode_narrow(path.read_bytes()) for path in sorted(directory.glob("kvn_nlog_*"))]
