"""Measures the launcher's start-up under Wine, in one run of its own Wine session, and
prints each budget with its figure and whether it holds.

(a) Start to loaded jvm.dll: the launcher finds one runtime through a "B" entry, with the
    version cache warm, against loadjvm.exe (tests/standins), which does nothing but load
    the same jvm.dll. Both are started through ``wintest run``, the way the end-to-end
    tests start programs, so both pay the same process-start cost; the difference is what
    the launcher itself adds before the VM library is in the process. The cold first run
    must probe the runtime once, the warm ones not at all.
(b) A search over many located runtimes (entry Y): a cold run that probes every java.exe
    once and fills the cache, then warm runs that probe none, compared with a warm search
    over one located runtime to give the cost per candidate.
(c) Start to the application's main: the launcher with one candidate runtime, warm cache
    and no splash, against ``loadjvm --main``, which creates the VM with the application's
    class path and calls its main directly. Budget: at most 1.25 times as long.
(d) Extraction: the same launch with 256 MiB of included files and without; the
    difference, as throughput, against CopyFileW copying the same files (copytime.exe).
    Budget: at least 0.8 times CopyFileW's throughput.
(e) Size: the stripped 32-bit launcher at most 256 KiB, importing Windows' own DLLs only.

The moments are taken from the Linux side: the jvm.dll stand-in appends to jvm-record.txt
in its DllMain and to jvm-main.txt when a main method begins, and an inotify watch notes
when such a file is first written after the start. Nothing inside the launcher is
instrumented.

Run after scripts/build.sh:
    /usr/bin/python3 scripts/benchmark.py [--runs N] [--located N] [--extract-mib N]"""

from __future__ import annotations

import argparse
import ctypes
import os
import select
import shutil
import statistics
import struct
import subprocess
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
MAIN_RECORD = "jvm-main.txt"
JAVA_RUNTIME = rig.build_dir() / "java" / "kvnruntime.jar"
APP_CLASS = "bench.App"
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "comctl32.dll",
               "msvcrt.dll", "shell32.dll", "ole32.dll"}
BUDGETS: list[tuple[str, str, bool]] = []


def budget(name: str, figure: str, holds: bool) -> None:
    BUDGETS.append((name, figure, holds))
    print(f"  budget {name}: {figure}: {'holds' if holds else 'MISSED'}")
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

    def run(self, jvm_dll: Path, exe, args=(), timeout: float = 60,
            marker: str = RECORD) -> dict[str, float]:
        """Times up to the first write of ``marker`` beside jvm.dll: the load record, or
        MAIN_RECORD, which the stand-in writes when a main method begins."""
        record = jvm_dll.parent / marker
        marks_before = count_marks(record)
        started = time.perf_counter()
        result = rig.run_launcher(exe, args, timeout=timeout)
        ended = time.perf_counter()
        if result.timed_out:
            raise rig.RigError(f"{exe} did not end within {timeout} s")
        if count_marks(record) != marks_before + 1:
            raise rig.RigError(f"{exe} did not reach {record.name} (exit code "
                               f"{result.exit_code}); stderr: {result.stderr!r}")
        # The watching thread may still be handing over the last events.
        for _ in range(100):
            loaded = self.watch.first_write(record, started, ended)
            created = self.watch.first_write(result.run_dir / "stdout.bin", started, ended)
            if loaded is not None and created is not None:
                return {"spawn": loaded - started, "process": loaded - created,
                        "end": ended - started, "exit": result.exit_code}
            time.sleep(0.01)
        raise rig.RigError(f"the writes of {record} and the run's stdout.bin were not seen")


def count_marks(record: Path) -> int:
    """How often the stand-in wrote its mark into ``record``: a load or a main begun."""
    if not record.is_file():
        return 0
    return sum(1 for line in record.read_bytes().decode("utf-8").splitlines()
               if line.startswith(("loaded=", "main")))


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
    cold_probes = len(runtime.invocations())
    timing.run(runtime.jvm_dll, loadjvm, [runtime.jvm_dll_windows])

    samples: dict[str, list[dict[str, float]]] = {name: [] for name in programs}
    # Alternating, so that a slow phase of the machine hits both alike.
    for _ in range(runs):
        for name, (exe, args) in programs.items():
            samples[name].append(timing.run(runtime.jvm_dll, exe, args))
    warm_probes = len(runtime.invocations()) - cold_probes

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
    budget("cold start, one candidate", f"{cold_probes} version probe(s), want 1",
           cold_probes == 1)
    budget("warm starts", f"{warm_probes} version probe(s) in {runs} runs, want 0",
           warm_probes == 0)


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
    probes = sum(probe_count(log) for log in logs)
    marks = {log: probe_count(log) for log in logs}
    many = [timing.run(winner.jvm_dll, launcher, timeout=600) for _ in range(runs)]
    again = sum(probe_count(log) - count for log, count in marks.items())

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
    budget(f"cold start, {count - 1} new candidates",
           f"{probes} version probes, want {count - 1}", probes == count - 1)
    budget(f"warm starts, {count} candidates", f"{again} version probes in {runs} runs, want 0",
           again == 0)


def probe_count(log: Path) -> int:
    """Starts of a java.exe stand-in: it logs a "start" line and, when done, an "end" one."""
    if not log.is_file():
        return 0
    return sum(1 for line in log.read_text(errors="replace").splitlines()
               if line.startswith("start"))


def application(root: Path) -> Path:
    """A jar with the class the stand-in VM's main is called on."""
    source = root / "src" / "bench" / "App.java"
    source.parent.mkdir(parents=True)
    source.write_text("package bench;\npublic class App {\n"
                      "    public static void main(String[] args) {}\n}\n")
    subprocess.run(["javac", "--release", "8", "-d", str(root / "classes"), str(source)],
                   check=True, capture_output=True)
    jar = root / "app.jar"
    subprocess.run(["jar", "cf", str(jar), "-C", str(root / "classes"), "."], check=True)
    return jar


def install(root: Path, jar: Path, includes=None) -> tuple[runtimes.Runtime, Path]:
    """An application with its runtime beside the launcher, as the demo lays it out."""
    (root / "lib").mkdir(parents=True)
    shutil.copy(jar, root / "lib" / "app.jar")
    shutil.copy(JAVA_RUNTIME, root / "lib" / "kvnruntime.jar")
    runtime = runtimes.make_runtime(root / "jre", "jre8")
    launcher = rig.build_launcher(root, {
        128: "B.\\jre", 122: APP_CLASS, 121: "A0.\\lib\\kvnruntime.jar;A1.\\lib\\app.jar"},
        includes=includes)
    return runtime, launcher


def main_benchmark(root: Path, timing: Timing, runs: int) -> None:
    jar = application(root / "application")
    runtime, launcher = install(root / "main", jar)
    timing.watch.watch(runtime.jvm_dll.parent)
    loadjvm = runtimes.standin_path("loadjvm.exe")
    baseline_args = [runtime.jvm_dll_windows, "--main", rig.unix_to_windows(jar), APP_CLASS]
    programs = {"tesmo64.exe": (launcher, []), "loadjvm.exe --main": (loadjvm, baseline_args)}
    for exe, args in programs.values():  # the cold start, and warm file caches for both
        timing.run(runtime.jvm_dll, exe, args, marker=MAIN_RECORD)
    samples: dict[str, list[float]] = {name: [] for name in programs}
    for _ in range(runs):
        for name, (exe, args) in programs.items():
            samples[name].append(timing.run(runtime.jvm_dll, exe, args,
                                            marker=MAIN_RECORD)["process"])
    table("(c) process start -> the application's main, warm version cache, no splash", [
        (f"{name}", values) for name, values in samples.items()])
    ratio = statistics.median(samples["tesmo64.exe"]) / statistics.median(
        samples["loadjvm.exe --main"])
    budget("launch overhead", f"{ratio:.2f}x a program that creates the VM and calls main, "
           "want at most 1.25x", ratio <= 1.25)


def extraction_benchmark(root: Path, timing: Timing, runs: int, mebibytes: int) -> None:
    jar = application(root / "application-x")
    parts = 4
    sources = root / "bundle"
    sources.mkdir()
    chunk = os.urandom(1 << 20)
    for index in range(parts):
        with open(sources / f"part{index}.bin", "wb") as out:
            for _ in range(mebibytes // parts):
                out.write(chunk)
    total = sum(f.stat().st_size for f in sources.iterdir())
    plain_runtime, plain = install(root / "plain", jar)
    bundle_runtime, bundle = install(
        root / "bundle-app", jar, includes={f.name: f for f in sorted(sources.iterdir())})
    timing.watch.watch(plain_runtime.jvm_dll.parent)
    timing.watch.watch(bundle_runtime.jvm_dll.parent)
    copies = root / "copies"
    copies.mkdir()
    copytime = rig.helper_path("copytime")

    def extracted() -> float:
        seconds = timing.run(bundle_runtime.jvm_dll, bundle, marker=MAIN_RECORD)["process"]
        # A completed launch leaves its files to the application.
        for leftover in rig.launcher_litter(root / "runs"):
            if leftover.is_dir():
                shutil.rmtree(leftover)
            else:
                leftover.unlink()
        return seconds

    def copied() -> float:
        pairs = []
        for source in sorted(sources.iterdir()):
            pairs += [rig.unix_to_windows(source), rig.unix_to_windows(copies / source.name)]
        done = rig.run_wine([str(copytime), *pairs], timeout=600)
        if done.returncode != 0:
            raise rig.RigError(f"copytime failed: {done.stderr}")
        for copy in copies.iterdir():
            copy.unlink()
        return int(done.stdout.strip()) / 1e6

    extracted(), copied()  # warm the file caches
    with_files, without, copy = [], [], []
    for _ in range(runs):
        with_files.append(extracted())
        without.append(timing.run(plain_runtime.jvm_dll, plain, marker=MAIN_RECORD)["process"])
        copy.append(copied())
    extraction = statistics.median(with_files) - statistics.median(without)
    table(f"(d) {total >> 20} MiB of included files in {parts} files", [
        ("process start -> main, with the files", with_files),
        ("process start -> main, without", without),
        ("CopyFileW of the same files", copy)])
    throughput = total / extraction / (1 << 20)
    baseline = total / statistics.median(copy) / (1 << 20)
    print(f"  extraction {extraction * 1000:.0f} ms ({throughput:.0f} MiB/s), CopyFileW "
          f"{statistics.median(copy) * 1000:.0f} ms ({baseline:.0f} MiB/s)")
    budget("extraction throughput", f"{throughput / baseline:.2f}x CopyFileW, want at least "
           "0.8x", throughput >= 0.8 * baseline)


def size_budget() -> None:
    launcher = rig.launcher_stub(32)
    size = launcher.stat().st_size
    dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", str(launcher)], check=True,
                          capture_output=True, text=True).stdout
    dlls = sorted({line.split(":", 1)[1].strip().lower() for line in dump.splitlines()
                   if line.strip().startswith("DLL Name:")})
    print(f"\n(e) {launcher.name}: {size} bytes ({size / 1024:.1f} KiB), imports {', '.join(dlls)}")
    budget("32-bit launcher size", f"{size} bytes, want at most {256 * 1024}",
           size <= 256 * 1024)
    others = [dll for dll in dlls if dll not in SYSTEM_DLLS]
    budget("32-bit launcher imports", "only Windows' own DLLs" if not others else
           f"also {', '.join(others)}", not others)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=15, help="timed runs per measurement")
    parser.add_argument("--located", type=int, default=1000,
                        help="located runtimes of the search benchmark")
    parser.add_argument("--extract-mib", type=int, default=256,
                        help="MiB of included files in the extraction benchmark")
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
        size_budget()
        load_benchmark(root, timing, options.runs)
        main_benchmark(root, timing, options.runs)
        extraction_benchmark(root, timing, max(3, options.runs // 3), options.extract_mib)
        search_benchmark(root, timing, options.runs, options.located)
    finally:
        rig.set_test_dir(None)
        rig.stop_session()
        watch.close()
        shutil.rmtree(root, ignore_errors=True)
    print("\nbudgets:")
    for name, figure, holds in BUDGETS:
        print(f"  {'holds ' if holds else 'MISSED'}  {name}: {figure}")
    return 0 if all(holds for _, _, holds in BUDGETS) else 1


if __name__ == "__main__":
    sys.exit(main())
