"""Measures the launcher's start-up under Wine, in one run of its own Wine session.

(a) Start to loaded jvm.dll: the launcher finds one runtime through a "B" entry, with the
    version cache warm, against loadjvm.exe (tests/standins), which does nothing but load
    the same jvm.dll. Both are started through ``wintest run``, the way the end-to-end
    tests start programs, so both pay the same process-start cost; the difference is what
    the launcher itself adds before the VM library is in the process.
(b) A search over many located runtimes (entry Y): a cold run that probes every java.exe
    and fills the cache, then warm runs, compared with a warm search over one located
    runtime to give the cost per candidate.

The moment jvm.dll is loaded is taken from the Linux side: the jvm.dll stand-in appends to
jvm-record.txt in its DllMain, and an inotify watch notes when that file is first written
after the start. Nothing inside the launcher is instrumented.

Run after scripts/build.sh:  /usr/bin/python3 scripts/benchmark.py [--runs N] [--located N]
"""

from __future__ import annotations

import argparse
import ctypes
import os
import select
import shutil
import statistics
import struct
import sys
import tempfile
import threading
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "tests" / "e2e"))

import rig  # noqa: E402
import runtimes  # noqa: E402

RECORD = "jvm-record.txt"
IN_MODIFY = 0x002
IN_CREATE = 0x100
EVENT_HEADER = struct.Struct("iIII")


class WriteWatch:
    """Notes, with the monotonic clock, each time a file is created or written in the
    watched directories. The watching thread runs while the benchmark waits on Wine."""

    def __init__(self) -> None:
        self._libc = ctypes.CDLL(None, use_errno=True)
        self._fd = self._libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        if self._fd < 0:
            raise OSError(ctypes.get_errno(), "inotify_init1 failed")
        self._directories: dict[int, Path] = {}
        self._events: list[tuple[float, Path]] = []
        self._lock = threading.Lock()
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._read, daemon=True)
        self._thread.start()

    def watch(self, directory: Path) -> None:
        descriptor = self._libc.inotify_add_watch(self._fd, os.fsencode(directory),
                                                  IN_MODIFY | IN_CREATE)
        if descriptor < 0:
            raise OSError(ctypes.get_errno(), f"inotify_add_watch failed for {directory}")
        self._directories[descriptor] = directory

    def _read(self) -> None:
        while not self._stop.is_set():
            ready, _, _ = select.select([self._fd], [], [], 0.2)
            if not ready:
                continue
            seen = time.perf_counter()
            try:
                data = os.read(self._fd, 65536)
            except BlockingIOError:
                continue
            offset = 0
            while offset < len(data):
                descriptor, _, _, length = EVENT_HEADER.unpack_from(data, offset)
                name = data[offset + EVENT_HEADER.size:offset + EVENT_HEADER.size + length]
                offset += EVENT_HEADER.size + length
                directory = self._directories.get(descriptor)
                if directory is not None:
                    with self._lock:
                        self._events.append((seen, directory / os.fsdecode(name.rstrip(b"\0"))))

    def first_write(self, path: Path, after: float, before: float) -> float | None:
        with self._lock:
            times = [t for t, p in self._events if p == path and after <= t <= before]
        return min(times) if times else None

    def close(self) -> None:
        self._stop.set()
        self._thread.join(timeout=2)
        os.close(self._fd)


class Timing:
    """Times one run of a program that loads a jvm.dll, in seconds: from the start of
    ``wintest run`` and from the creation of the program's process to the first write of
    the DLL's record, and from the start of ``wintest run`` to the end of the run.

    ``wintest run`` creates the run's stdout.bin immediately before it creates the
    program's process, so that file's creation marks the process start without the cost
    of starting Wine and wintest, which varies by tens of milliseconds from run to run."""

    def __init__(self, watch: WriteWatch) -> None:
        self.watch = watch
        wine = rig.session()
        allocate = wine.next_run_dir

        def next_run_dir(parent: Path) -> Path:
            directory = allocate(parent)
            watch.watch(directory)
            return directory

        wine.next_run_dir = next_run_dir

    def run(self, jvm_dll: Path, exe, args=(), timeout: float = 60) -> dict[str, float]:
        record = jvm_dll.parent / RECORD
        loads_before = count_loads(record)
        started = time.perf_counter()
        result = rig.run_launcher(exe, args, timeout=timeout)
        ended = time.perf_counter()
        if result.timed_out:
            raise rig.RigError(f"{exe} did not end within {timeout} s")
        if count_loads(record) != loads_before + 1:
            raise rig.RigError(f"{exe} did not load {jvm_dll} (exit code {result.exit_code}); "
                               f"stderr: {result.stderr!r}")
        # The watching thread may still be handing over the last events.
        for _ in range(100):
            loaded = self.watch.first_write(record, started, ended)
            created = self.watch.first_write(result.run_dir / "stdout.bin", started, ended)
            if loaded is not None and created is not None:
                return {"spawn": loaded - started, "process": loaded - created,
                        "end": ended - started, "exit": result.exit_code}
            time.sleep(0.01)
        raise rig.RigError(f"the writes of {record} and the run's stdout.bin were not seen")


def count_loads(record: Path) -> int:
    if not record.is_file():
        return 0
    return sum(1 for line in record.read_bytes().decode("utf-8").splitlines()
               if line.startswith("loaded="))


def summary(samples: list[float]) -> dict[str, float]:
    ordered = sorted(samples)
    quartiles = statistics.quantiles(ordered, n=4) if len(ordered) >= 2 else ordered * 3
    return {"median": statistics.median(ordered), "q1": quartiles[0], "q3": quartiles[2],
            "min": ordered[0], "max": ordered[-1]}


def ms(seconds: float) -> str:
    return f"{seconds * 1000:9.1f}"


def table(title: str, rows: list[tuple[str, list[float]]]) -> None:
    print(f"\n{title}")
    header = f"  {'':38} {'runs':>5} {'median':>9} {'q1':>9} {'q3':>9} {'min':>9} {'max':>9}"
    print(header + "   (ms)")
    print("  " + "-" * (len(header) - 2))
    for label, samples in rows:
        s = summary(samples)
        print(f"  {label:38} {len(samples):5d} {ms(s['median'])} {ms(s['q1'])} {ms(s['q3'])} "
              f"{ms(s['min'])} {ms(s['max'])}")


# ---------------------------------------------------------------------------------------


def load_benchmark(root: Path, timing: Timing, runs: int) -> None:
    app = root / "single"
    runtime = runtimes.make_runtime(app / "jre", "jre8")
    timing.watch.watch(runtime.jvm_dll.parent)
    launcher = rig.build_launcher(app, {128: "B.\\jre"})
    loadjvm = runtimes.standin_path("loadjvm.exe")
    programs = {"tesmo64.exe": (launcher, []), "loadjvm.exe": (loadjvm, [runtime.jvm_dll_windows])}

    cold = timing.run(runtime.jvm_dll, launcher)
    if len(runtime.invocations()) != 1:
        raise rig.RigError("the cold run did not probe the runtime once")
    timing.run(runtime.jvm_dll, loadjvm, [runtime.jvm_dll_windows])

    samples: dict[str, list[dict[str, float]]] = {name: [] for name in programs}
    # Alternating, so that a slow phase of the machine hits both alike.
    for _ in range(runs):
        for name, (exe, args) in programs.items():
            samples[name].append(timing.run(runtime.jvm_dll, exe, args))
    if len(runtime.invocations()) != 1:
        raise rig.RigError("a warm run probed the runtime again: the version cache was not used")

    def column(name: str, key: str) -> list[float]:
        return [sample[key] for sample in samples[name]]

    table("(a) to loaded jvm.dll, warm version cache (tesmo64.exe: entry B.\\jre)", [
        ("process start -> loaded, tesmo64.exe", column("tesmo64.exe", "process")),
        ("process start -> loaded, loadjvm.exe", column("loadjvm.exe", "process")),
        ("wintest start -> loaded, tesmo64.exe", column("tesmo64.exe", "spawn")),
        ("wintest start -> loaded, loadjvm.exe", column("loadjvm.exe", "spawn")),
        ("wintest start -> end, tesmo64.exe", column("tesmo64.exe", "end")),
        ("wintest start -> end, loadjvm.exe", column("loadjvm.exe", "end")),
    ])
    for key, label in (("process", "process start"), ("spawn", "wintest start")):
        launcher_median = statistics.median(column("tesmo64.exe", key))
        loadjvm_median = statistics.median(column("loadjvm.exe", key))
        print(f"  from {label}: ratio of medians tesmo64 / loadjvm "
              f"{launcher_median / loadjvm_median:.2f}, the launcher adds "
              f"{(launcher_median - loadjvm_median) * 1000:.1f} ms")
    print(f"  cold first run (one probe, cache filled): {cold['process'] * 1000:.1f} ms from "
          f"process start to loaded")
    print(f"  exit code of tesmo64.exe after loading: {samples['tesmo64.exe'][-1]['exit']}")


def located_runtimes(root: Path, count: int) -> tuple[runtimes.Runtime, list[Path]]:
    """``count`` java.exe in directories of their own, each with its own version; the
    highest is a whole runtime with a jvm.dll, the others hard links of one copy."""
    width = len(str(count))
    versions = [f"1.8.0_{i:0{width}d}" for i in range(1, count + 1)]
    winner = runtimes.make_runtime(root / "located" / "winner", "jre8", version=versions[-1])
    master = root / "located" / "java.exe"
    shutil.copyfile(runtimes.standin_path("java-standin.exe"), master)
    javas = []
    for index, version in enumerate(versions[:-1]):
        # Names that are valid 8.3 names themselves: Wine derives the short names of
        # longer ones from a hash, and among a thousand similar names some collide, so the
        # short path the launcher starts a probe through would not name this directory.
        directory = root / "located" / f"j{index:05d}" / "bin"
        directory.mkdir(parents=True)
        os.link(master, directory / "java.exe")
        # The stand-in's own configuration format (see runtimes.Runtime.set_banner).
        runtimes._write_config([directory], {"banner": runtimes.banner_for("jre8", version)})
        javas.append(directory / "java.exe")
    return winner, javas


def search_benchmark(root: Path, timing: Timing, runs: int, count: int) -> None:
    runtimes.registry_clear()
    winner, others = located_runtimes(root, count)
    timing.watch.watch(winner.jvm_dll.parent)
    launcher = rig.build_launcher(root / "search", {128: "Y"})

    runtimes.add_located("HKCU", [winner])
    timing.run(winner.jvm_dll, launcher)
    one = [timing.run(winner.jvm_dll, launcher) for _ in range(runs)]

    runtimes.add_located("HKCU", others)
    cold = timing.run(winner.jvm_dll, launcher, timeout=3600)
    logs = [java.parent / "invocations.log" for java in others]
    probed = sum(1 for log in logs if log.is_file())
    if probed != len(others):
        raise rig.RigError(f"the cold run probed {probed} of {len(others)} located runtimes")
    marks = {log: log.stat().st_size for log in logs}
    many = [timing.run(winner.jvm_dll, launcher, timeout=600) for _ in range(runs)]
    if any(log.stat().st_size != size for log, size in marks.items()):
        raise rig.RigError("a warm run probed a located runtime again")

    table("(b) entry Y over located runtimes, process start -> loaded jvm.dll", [
        ("1 located, warm", [sample["process"] for sample in one]),
        (f"{count} located, warm", [sample["process"] for sample in many]),
    ])
    one_median = statistics.median(sample["process"] for sample in one)
    many_median = statistics.median(sample["process"] for sample in many)
    print(f"  {count} located, cold (probes every java.exe): {cold['process']:.2f} s, "
          f"{cold['process'] / count * 1000:.1f} ms per candidate")
    print(f"  warm, per candidate: {(many_median - one_median) / (count - 1) * 1e6:.0f} us "
          f"(median {count} - median 1) / {count - 1}")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=15, help="timed runs per measurement")
    parser.add_argument("--located", type=int, default=1000,
                        help="located runtimes of the search benchmark")
    options = parser.parse_args()
    if options.runs < 1 or options.located < 2:
        parser.error("--runs must be at least 1 and --located at least 2")

    root = Path(tempfile.mkdtemp(prefix="tesmo-benchmark-"))
    watch = WriteWatch()
    try:
        started = time.monotonic()
        rig.start_session(root / "wine")
        print(f"Wine session ready in {time.monotonic() - started:.1f} s "
              f"({rig.launcher_stub(64)})")
        rig.set_test_dir(root / "runs")
        runtimes.registry_clear()
        timing = Timing(watch)
        load_benchmark(root, timing, options.runs)
        search_benchmark(root, timing, options.runs, options.located)
    finally:
        rig.set_test_dir(None)
        rig.stop_session()
        watch.close()
        shutil.rmtree(root, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
