"""The rig of the end-to-end tests: builds launchers and runs them under Wine.

A test session owns one Wine prefix, one persistent wineserver and one Xvfb display.
Every run goes through ``wintest run``, which hands the launcher an exact command line
and a complete environment; the rig gives every run its own TMP directory, so the log
files a run writes are found there and nowhere else.

Newlines in the decoded outputs are left as the program wrote them ("\\r\\n" from text
mode): tests that compare lines use ``splitlines()``.
"""

from __future__ import annotations

import contextlib
import fcntl
import hashlib
import json
import os
import re
import pwd
import select
import shutil
import signal
import subprocess
import tempfile
import time
from dataclasses import dataclass, field
from pathlib import Path
from typing import Callable, Iterable, Mapping, Sequence, Union

REPO_ROOT = Path(__file__).resolve().parents[2]
WINE64 = Path("/usr/lib/wine/wine64")
WINESERVER64 = Path("/usr/lib/wine/wineserver64")
WINE_INF = Path("/usr/share/wine/wine.inf")
I686_GCC = "i686-w64-mingw32-gcc-posix"
QEMU_I386 = Path("/usr/bin/qemu-i386")
BINFMT_DIR = Path("/proc/sys/fs/binfmt_misc")

# Gecko and Mono would be offered for download in a dialog while a prefix is created.
DLL_OVERRIDES = "mscoree,mshtml="

# Raised when a template's layout or creation changes, so that older templates are rebuilt.
TEMPLATE_FORMAT = 2

# Files of a prefix that Wine only reads: the copy of a template links them instead of
# copying 1.3 GB. Everything else (registry, .ini files, hosts) is copied, because Wine
# rewrites those in place.
_LINKED_SUFFIXES = frozenset(
    ".dll .exe .drv .sys .ocx .cpl .acm .ax .tlb .nls .ds .vxd .com .mod .msstyles".split()
)

Value = Union[str, int, bytes]
SettingsMap = Mapping[Union[int, str], Value]


# The launcher's exit code when no usable Java runtime was found.
NO_RUNTIME = 83


class RigError(RuntimeError):
    """The rig could not do what a test asked: a build, a start, a missing program."""


def build_dir() -> Path:
    return Path(os.environ.get("TESMO_BUILD_DIR", REPO_ROOT / "build")).resolve()


def launcher_stub(bits: int = 64) -> Path:
    if bits == 64:
        return build_dir() / "win64" / "tesmo64.exe"
    if bits == 32:
        return build_dir() / "win32" / "tesmo32.exe"
    raise ValueError(f"bits is 32 or 64, not {bits}")


def helper_path(name: str) -> Path:
    """A Windows helper program of tests/helpers, e.g. ``helper_path("wintest")``."""
    return build_dir() / "win64" / "tests" / "helpers" / f"{name}.exe"


def block_tool() -> Path:
    return build_dir() / "native" / "tools" / "tesmo-block"


def _require(path: Path, what: str) -> Path:
    if not path.is_file():
        raise RigError(f"{what} not found at {path}; build it first (see CMakePresets.json)")
    return path


# ---------------------------------------------------------------------------------------
# Paths and command lines


def unix_to_windows(path: Union[str, Path]) -> str:
    """The Z: form Wine gives to a Unix path: /tmp/a b -> Z:\\tmp\\a b."""
    absolute = os.path.abspath(os.fspath(path))
    return "Z:" + absolute.replace("/", "\\")


def windows_to_unix(path: str) -> Path | None:
    """The Unix path of a Z: or C: path of the session's prefix, else None."""
    if len(path) < 2 or path[1] != ":":
        return None
    drive = path[0].upper()
    rest = path[2:].replace("\\", "/").lstrip("/")
    if drive == "Z":
        return Path("/" + rest)
    if drive == "C" and _session is not None:
        return _session.prefix / "drive_c" / rest
    return None


def quote_windows_arg(argument: str) -> str:
    """Quotes one argument so that the Microsoft C runtime reads it back unchanged."""
    if argument and not any(c in argument for c in ' \t\n\v"'):
        return argument
    quoted = '"'
    backslashes = 0
    for c in argument:
        if c == "\\":
            backslashes += 1
            continue
        if c == '"':
            quoted += "\\" * (2 * backslashes + 1) + '"'
        else:
            quoted += "\\" * backslashes + c
        backslashes = 0
    return quoted + "\\" * (2 * backslashes) + '"'


def windows_command_line(exe: Union[str, Path], args: Iterable[object] = ()) -> str:
    program = exe if isinstance(exe, str) and ":" in exe[:2] else unix_to_windows(exe)
    return " ".join([quote_windows_arg(program)] + [quote_windows_arg(str(a)) for a in args])


# The launcher's narrow output is in the ANSI code page, 1252 under Wine's English locale.
# The five bytes 1252 leaves undefined map to the code points of the same number, so that
# no byte is lost.
def _narrow_table() -> str:
    chars = []
    for byte in range(256):
        try:
            chars.append(bytes([byte]).decode("cp1252"))
        except UnicodeDecodeError:
            chars.append(chr(byte))
    return "".join(chars)


_NARROW = _narrow_table()


def decode_narrow(data: bytes) -> str:
    return "".join(_NARROW[b] for b in data)


# ---------------------------------------------------------------------------------------
# Building launchers


def _escape_value(value: Value) -> str:
    if isinstance(value, bool):
        value = int(value)
    if isinstance(value, bytes):
        value = value.decode("latin-1")
    text = str(value)
    out = []
    for c in text:
        if c == "\\":
            out.append("\\\\")
        elif c == "\n":
            out.append("\\n")
        elif c == "\r":
            out.append("\\r")
        elif c == "\t":
            out.append("\\t")
        elif ord(c) < 0x20 or ord(c) == 0x7F:
            out.append(f"\\x{ord(c):02x}")
        elif 0xD800 <= ord(c) <= 0xDFFF:
            out.append(f"\\u{ord(c):04x}")
        else:
            out.append(c)
    return "".join(out)


def _key_text(key: Union[int, str]) -> str:
    text = str(int(key))
    if int(text) < 0:
        raise ValueError(f"keys are not negative: {key}")
    return text


def build_launcher(
    tmp_path: Union[str, Path],
    settings: SettingsMap,
    name: str = "app.exe",
    wide: SettingsMap | None = None,
    locale_sets: Union[Mapping[str, SettingsMap], Sequence[tuple[str, SettingsMap]], None] = None,
    bits: int = 64,
    includes: Mapping[str, Union[str, Path]] | None = None,
    stub: Union[str, Path, None] = None,
) -> Path:
    """Writes ``tmp_path/name``: the launcher stub with a block of the given records.

    ``settings`` are narrow records and ``wide`` wide ones, both keyed by number; values
    are text (escaped for the block tool here, so pass them literally), ints or bytes
    (narrow, Latin-1). ``locale_sets`` maps a locale prefix to the wide records of its
    set, in order; ``includes`` maps an included file's name to its host file. ``stub``
    replaces the built launcher of ``bits`` (a copy given resources, say).
    """
    tool = _require(block_tool(), "the block tool tesmo-block")
    stub = _require(Path(stub) if stub else launcher_stub(bits), f"the {bits}-bit launcher")
    out = Path(tmp_path) / name
    out.parent.mkdir(parents=True, exist_ok=True)

    command = [str(tool), "--stub", str(stub), "--out", str(out)]
    for key, value in settings.items():
        command += ["--set", f"{_key_text(key)}={_escape_value(value)}"]
    for key, value in (wide or {}).items():
        command += ["--set", f"wide.{_key_text(key)}={_escape_value(value)}"]

    raw_lines = []
    for host_name, host_path in (includes or {}).items():
        raw_lines.append(f"include {host_name}={Path(host_path).resolve()}")
    sets = locale_sets.items() if isinstance(locale_sets, Mapping) else (locale_sets or [])
    for prefix, records in sets:
        raw_lines.append(f"[locale {prefix}]" if prefix else "[locale]")
        for key, value in records.items():
            raw_lines.append(f"{_key_text(key)}={_escape_value(value)}")

    with contextlib.ExitStack() as stack:
        if raw_lines:
            raw = stack.enter_context(
                tempfile.NamedTemporaryFile("w", suffix=".txt", encoding="utf-8", delete=True)
            )
            raw.write("\n".join(raw_lines) + "\n")
            raw.flush()
            command += ["--raw", raw.name]
        result = subprocess.run(command, capture_output=True, text=True, timeout=60)
    if result.returncode != 0:
        raise RigError(f"tesmo-block failed ({result.returncode}):\n{result.stderr}")
    return out


# ---------------------------------------------------------------------------------------
# The Wine session


def _wine_version() -> str:
    result = subprocess.run([str(WINE64), "--version"], capture_output=True, text=True,
                            timeout=60, stdin=subprocess.DEVNULL)
    return result.stdout.strip()


def _user_name() -> str:
    return pwd.getpwuid(os.getuid()).pw_name


def _kill_group(process: subprocess.Popen) -> None:
    with contextlib.suppress(ProcessLookupError, PermissionError):
        os.killpg(process.pid, signal.SIGKILL)
    with contextlib.suppress(subprocess.TimeoutExpired):
        process.wait(timeout=10)


def wait_for(condition, what: str, seconds: float = 30, interval: float = 0.05):
    """Polls ``condition`` until it gives a true value, which it returns; fails the test
    with ``what`` when ``seconds`` pass first. Tests wait for what they need to see, never
    for a while."""
    deadline = time.monotonic() + seconds
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {seconds} s waiting for {what}")
        time.sleep(interval)


def _wait_for_file(path: Path, seconds: float, alive: subprocess.Popen | None = None) -> bool:
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if path.is_file() and path.stat().st_size > 0:
            return True
        if alive is not None and alive.poll() is not None:
            return path.is_file() and path.stat().st_size > 0
        time.sleep(0.02)
    return False


def _copy_prefix(template: Path, target: Path) -> None:
    for root, dirs, files in os.walk(template):
        relative = Path(root).relative_to(template)
        destination = target / relative
        destination.mkdir(parents=True, exist_ok=True)
        for name in dirs + files:
            source = Path(root) / name
            if source.is_symlink():
                os.symlink(os.readlink(source), destination / name)
                if name in dirs:
                    dirs.remove(name)
        for name in files:
            source = Path(root) / name
            if source.is_symlink():
                continue
            if source.suffix.lower() in _LINKED_SUFFIXES:
                try:
                    os.link(source, destination / name)
                    continue
                except OSError:
                    pass
            shutil.copy2(source, destination / name)
        shutil.copystat(root, destination, follow_symlinks=False)


@dataclass
class WineSession:
    root: Path
    prefix: Path = field(init=False)
    display: str | None = None
    creation_seconds: float = 0.0
    template_reused: bool = False
    _xvfb: subprocess.Popen | None = None
    _holder: subprocess.Popen | None = None
    _runs: int = 0

    def __post_init__(self) -> None:
        self.prefix = self.root / "prefix"

    def unix_env(self, display: bool = False, lang: str | None = None,
                 prefix: Path | None = None) -> dict[str, str]:
        """The Unix environment of a Wine process. Wine hands a started program the Unix
        environment of its starter, whatever Windows environment block it gets, so the
        display and the locale are set here."""
        env = {
            "PATH": "/usr/bin:/bin",
            "HOME": os.environ.get("HOME", "/root"),
            "USER": _user_name(),
            "WINEPREFIX": str(prefix or self.prefix),
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": DLL_OVERRIDES,
            "LANG": "C.UTF-8",
        }
        if lang:
            env["LANG"] = lang
            env["LC_ALL"] = lang
        if display:
            if self.display is None:
                raise RigError("no X display: Xvfb did not start")
            env["DISPLAY"] = self.display
        return env

    # -- prefix -------------------------------------------------------------------------

    def _template_key(self) -> str:
        inf = WINE_INF.stat() if WINE_INF.exists() else None
        material = json.dumps([TEMPLATE_FORMAT, _wine_version(), DLL_OVERRIDES,
                               inf.st_mtime_ns if inf else 0, inf.st_size if inf else 0])
        return hashlib.sha1(material.encode()).hexdigest()[:12]

    def _template(self) -> Path:
        """A freshly booted prefix kept under the build directory, made once per Wine
        installation; a template is only used once its creation has completed."""
        store = build_dir() / "e2e"
        store.mkdir(parents=True, exist_ok=True)
        template = store / f"wine-prefix-{self._template_key()}"
        with open(store / "wine-prefix.lock", "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            if (template / ".tesmo-complete").is_file():
                self.template_reused = True
                return template
            for stale in store.glob("wine-prefix-*"):
                if stale.is_dir():
                    shutil.rmtree(stale, ignore_errors=True)
            building = store / f"wine-prefix-{os.getpid()}.partial"
            log = store / "wine-prefix-creation.log"
            env = self.unix_env(prefix=building)
            with open(log, "w") as out:
                boot = subprocess.run([str(WINE64), "wineboot", "--init"], env=env,
                                      stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                                      timeout=900)
                # Xvfb has no window manager: a managed window's process would wait two
                # seconds at exit for the manager to confirm that its windows are gone.
                unmanaged = subprocess.run(
                    [str(WINE64), "reg", "add", "HKCU\\Software\\Wine\\X11 Driver",
                     "/v", "Managed", "/d", "N", "/f"],
                    env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=out, timeout=120)
                # The registry reaches the disk when the server ends.
                subprocess.run([str(WINESERVER64), "-w"], env=env, stdin=subprocess.DEVNULL,
                               stdout=out, stderr=out, timeout=120)
            if boot.returncode != 0 or not (building / "system.reg").is_file():
                raise RigError(f"wineboot failed ({boot.returncode}); see {log}")
            if unmanaged.returncode != 0:
                raise RigError(f"reg add failed ({unmanaged.returncode}); see {log}")
            (building / ".tesmo-complete").write_text("complete\n")
            building.rename(template)
            return template

    def private_prefix(self, target: Path) -> Path:
        """A prefix of its own, for a test whose program would disturb the session's
        (one that ends the Wine session, say). It gets its own wineserver on first use;
        end it with ``wineserver -k`` in that prefix."""
        _copy_prefix(self._template(), target)
        (target / ".tesmo-complete").unlink(missing_ok=True)
        return target

    # -- lifetime -----------------------------------------------------------------------

    def start(self) -> None:
        started = time.monotonic()
        template = self._template()
        _copy_prefix(template, self.prefix)
        (self.prefix / ".tesmo-complete").unlink(missing_ok=True)
        logs = self.root / "logs"
        logs.mkdir(exist_ok=True)
        with open(logs / "wineserver.log", "w") as out:
            # -p: the server outlives every program, so each start costs tens of
            # milliseconds instead of a server start.
            subprocess.run([str(WINESERVER64), "-p"], env=self.unix_env(),
                           stdin=subprocess.DEVNULL, stdout=out, stderr=out, timeout=60,
                           start_new_session=True)
        self._start_display(logs)
        self.creation_seconds = time.monotonic() - started

    def _start_display(self, logs: Path) -> None:
        if shutil.which("Xvfb") is None:
            return
        read_end, write_end = os.pipe()
        try:
            self._xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                 "-nolisten", "tcp"],
                pass_fds=(write_end,), stdin=subprocess.DEVNULL,
                stdout=open(logs / "xvfb.log", "w"), stderr=subprocess.STDOUT,
                start_new_session=True)
            os.close(write_end)
            number = b""
            deadline = time.monotonic() + 30
            while not number.endswith(b"\n") and time.monotonic() < deadline:
                ready, _, _ = select.select([read_end], [], [], 0.5)
                if ready:
                    chunk = os.read(read_end, 16)
                    if not chunk:
                        break
                    number += chunk
        finally:
            os.close(read_end)
        if not number.strip().isdigit():
            raise RigError(f"Xvfb did not report its display; see {logs / 'xvfb.log'}")
        self.display = ":" + number.strip().decode()

        ready = self.root / "holder.ready"
        wintest = _require(helper_path("wintest"), "wintest.exe")
        self._holder = subprocess.Popen(
            [str(WINE64), str(wintest), "hold", "--ready-file", unix_to_windows(ready)],
            env=self.unix_env(display=True), cwd=self.root, stdin=subprocess.DEVNULL,
            stdout=open(logs / "holder.log", "w"), stderr=subprocess.STDOUT,
            start_new_session=True)
        if not _wait_for_file(ready, 60, self._holder):
            raise RigError(f"the desktop did not start; see {logs / 'holder.log'}")

    def stop(self) -> None:
        if self._holder is not None:
            _kill_group(self._holder)
        subprocess.run([str(WINESERVER64), "-k"], env=self.unix_env(),
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
        subprocess.run([str(WINESERVER64), "-w"], env=self.unix_env(),
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
        if self._xvfb is not None:
            self._xvfb.terminate()
            with contextlib.suppress(subprocess.TimeoutExpired):
                self._xvfb.wait(timeout=10)
            if self._xvfb.poll() is None:
                _kill_group(self._xvfb)

    def next_run_dir(self, parent: Path) -> Path:
        self._runs += 1
        run_dir = parent / "runs" / f"{self._runs:03d}"
        run_dir.mkdir(parents=True)
        return run_dir


_session: WineSession | None = None
_test_dir: Path | None = None


def start_session(root: Path) -> WineSession:
    global _session
    if not WINE64.is_file():
        raise RigError(f"Wine is not installed ({WINE64} is missing)")
    _require(helper_path("wintest"), "wintest.exe")
    session = WineSession(Path(root))
    try:
        session.start()
    except BaseException:
        session.stop()
        raise
    _session = session
    return session


def stop_session() -> None:
    global _session
    if _session is not None:
        _session.stop()
        _session = None


def set_test_dir(path: Path | None) -> None:
    global _test_dir
    _test_dir = path


def leftover_temp_files(test_dir: Path, wine: WineSession, before: set[Path]) -> list[Path]:
    """What the launchers of a test left in temporary folders and should not have. A
    launch that reached the application's main leaves its directory to the application
    (the stand-in VM's records name it); every other exit removes it, and the name
    GetTempFileName reserves never stays."""
    handed_over = set()
    for record in test_dir.rglob("jvm-launch-*.json"):
        try:
            launch = json.loads(record.read_text(encoding="utf-8"))
        except (OSError, ValueError):
            continue
        if any(event.get("call") == "main" for event in launch.get("events", [])):
            for option in launch.get("options", []):
                if option.startswith("-Dtesmo.tempDir=") and \
                        (folder := windows_to_unix(option.split("=", 1)[1])) is not None:
                    handed_over.add(str(folder).lower())
    found = launcher_litter(test_dir) + [p for p in prefix_temp_litter(wine) if p not in before]
    return [p for p in found if str(p).lower() not in handed_over]


# What a launcher creates in a temporary folder: the name GetTempFileName reserves and
# the directory beside it that holds the extracted files.
_LITTER = re.compile(r"tsm[0-9A-Fa-f]{1,4}\.tmp(_dir-?\d+)?")


def launcher_litter(root: Path) -> list[Path]:
    """Launcher temporary files and directories anywhere below `root`."""
    found = []
    for directory, subdirectories, files in os.walk(root):
        for name in subdirectories + files:
            if _LITTER.fullmatch(name):
                found.append(Path(directory) / name)
        subdirectories[:] = [d for d in subdirectories if not _LITTER.fullmatch(d)]
    return sorted(found)


def prefix_temp_litter(wine: WineSession) -> list[Path]:
    """Launcher temporary files in the folders a launcher falls back to when TMP does
    not lead anywhere: the profile's, Windows' and the drive root."""
    drive = wine.prefix / "drive_c"
    folders = [drive, drive / "windows" / "temp", *drive.glob("users/*/Temp"),
               *drive.glob("users/*/AppData/Local/Temp")]
    return sorted(path for folder in folders if folder.is_dir() for path in folder.iterdir()
                  if _LITTER.fullmatch(path.name))


def session() -> WineSession:
    if _session is None:
        raise RigError("no Wine session: run the test through pytest with tests/e2e/conftest.py")
    return _session


# ---------------------------------------------------------------------------------------
# Running programs


def base_environment(tmp_windows: str) -> dict[str, str]:
    """The Windows environment every run starts from: what a Windows program usually
    finds, with TMP and TEMP naming the run's own directory."""
    user = _user_name()
    profile = f"C:\\users\\{user}"
    return {
        "ALLUSERSPROFILE": "C:\\ProgramData",
        "APPDATA": f"{profile}\\AppData\\Roaming",
        "ComSpec": "C:\\windows\\system32\\cmd.exe",
        "HOMEDRIVE": "C:",
        "HOMEPATH": f"\\users\\{user}",
        "LOCALAPPDATA": f"{profile}\\AppData\\Local",
        "OS": "Windows_NT",
        "PATH": "C:\\windows\\system32;C:\\windows",
        "PATHEXT": ".COM;.EXE;.BAT;.CMD",
        "ProgramData": "C:\\ProgramData",
        "ProgramFiles": "C:\\Program Files",
        "SystemDrive": "C:",
        "SystemRoot": "C:\\windows",
        "TEMP": tmp_windows,
        "TMP": tmp_windows,
        "USERNAME": user,
        "USERPROFILE": profile,
        "windir": "C:\\windows",
    }


def merge_environment(base: Mapping[str, str],
                      changes: Mapping[str, str | None] | None) -> dict[str, str]:
    """Windows names are case-insensitive: a change replaces or removes (None) the
    variable of the same name in any case, and keeps the spelling of the change."""
    merged = dict(base)
    for name, value in (changes or {}).items():
        if "=" in name[1:] or not name:
            raise ValueError(f"not a variable name: {name!r}")
        for existing in [k for k in merged if k.upper() == name.upper()]:
            del merged[existing]
        if value is not None:
            if "\n" in value or "\r" in value or "\0" in value:
                raise ValueError(f"{name}: an environment block cannot hold line breaks")
            merged[name] = value
    return merged


@dataclass
class Result:
    exit_code: int | None
    stdout: str
    stderr: str
    stdout_bytes: bytes
    stderr_bytes: bytes
    box: dict | None
    boxes: list[dict]
    log_text: str
    log_files: list[Path]
    timed_out: bool
    pid: int | None
    cmdline: str
    environment: dict[str, str]
    run_dir: Path
    tmp_dir: Path
    # Wine's own trace output of the run (see ``relay``).
    wine_log: str = ""

    def relay_calls(self, function: str) -> list[str]:
        """The traced calls of ``function`` ("KERNEL32.AttachConsole"), each as its
        argument text."""
        marker = f"Call {function}("
        calls = []
        for line in self.wine_log.splitlines():
            at = line.find(marker)
            if at >= 0:
                calls.append(line[at + len(marker):line.rfind(") ret=")])
        return calls


_BOX_CHOICES = {"none", "ok", "yes", "no", "cancel"}


def _signed(code: int) -> int:
    return code - (1 << 32) if code >= (1 << 31) else code


def _log_directories(environment: Mapping[str, str], tmp_dir: Path) -> list[Path]:
    directories = [tmp_dir]
    for name, value in environment.items():
        if name.upper() == "TMP":
            unix = windows_to_unix(value)
            if unix is not None and unix.is_dir() and unix not in directories:
                directories.append(unix)
    return directories


def run_launcher(
    exe: Union[str, Path, None],
    args: Sequence[object] | None = None,
    cmdline: str | None = None,
    env: Mapping[str, str | None] | None = None,
    box: str = "none",
    timeout: float = 30,
    cwd: Union[str, Path, None] = None,
    show: int | None = None,
    lang: str | None = None,
    display: bool | None = None,
    before_start: Callable[[], None] | None = None,
    relay: Sequence[str] = (),
    started: Callable[[int], None] | None = None,
) -> Result:
    """Runs a Windows program through ``wintest run`` and collects what it left behind.

    ``cmdline`` is the exact Windows command line; without it, ``exe`` and ``args`` are
    quoted the way the C runtime reads them back. ``env`` changes the base environment
    (None removes a variable). With ``box`` other than "none" the program gets the X
    display and a watcher presses the given button on each message box it shows;
    ``display`` gives the display without pressing anything. ``lang`` is the Unix locale
    of Wine ("de_DE.UTF-8"), which the Windows user locale follows. ``cwd`` defaults to
    the test's directory. ``before_start`` runs while the started process is still
    suspended, before any of its code has run. ``relay`` names Windows functions
    ("kernel32.AllocConsole") whose calls Wine traces into ``Result.wine_log``, so a test
    can see calls that leave no other trace. ``started`` is called with the process id once
    the program runs, before its end is awaited: a test looks at the running program there.
    """
    if box not in _BOX_CHOICES:
        raise ValueError(f"box is one of {sorted(_BOX_CHOICES)}, not {box!r}")
    wine = session()
    if _test_dir is None:
        raise RigError("run_launcher needs the test directory the conftest fixture sets")
    run_dir = wine.next_run_dir(_test_dir)
    return _run(wine, run_dir, exe, args, cmdline, env, box, timeout, cwd, show, lang,
                display, before_start, relay, started)


def set_relay_filter(functions: Sequence[str], prefix: Path | None = None) -> None:
    """Limits Wine's call tracing to ``functions``; a trace of everything would be huge."""
    run_wine(["reg", "add", "HKCU\\Software\\Wine\\Debug", "/v", "RelayInclude", "/d",
              ";".join(functions), "/f"], prefix=prefix)


def _run(wine: WineSession, run_dir: Path, exe, args, cmdline, env, box, timeout, cwd, show,
         lang, display, before_start, relay, started=None) -> Result:
    wintest = _require(helper_path("wintest"), "wintest.exe")
    tmp_dir = run_dir / "tmp"
    tmp_dir.mkdir()
    if cmdline is None:
        if exe is None:
            raise ValueError("give exe or cmdline")
        cmdline = windows_command_line(exe, args or [])
    environment = merge_environment(base_environment(unix_to_windows(tmp_dir)), env)
    want_display = box != "none" if display is None else display

    files = {name: run_dir / name for name in
             ("cmdline.txt", "env.txt", "stdout.bin", "stderr.bin", "pid.txt", "exit.txt",
              "wintest.log")}
    files["cmdline.txt"].write_bytes(cmdline.encode("utf-8"))
    files["env.txt"].write_bytes(
        "".join(f"{k}={v}\n" for k, v in environment.items()).encode("utf-8"))
    fixed_log = wine.prefix / "drive_c" / "kvn_nlog"
    fixed_log.unlink(missing_ok=True)

    command = [str(WINE64), str(wintest), "run",
               "--cmdline-file", unix_to_windows(files["cmdline.txt"]),
               "--env-file", unix_to_windows(files["env.txt"]),
               "--stdout", unix_to_windows(files["stdout.bin"]),
               "--stderr", unix_to_windows(files["stderr.bin"]),
               "--pid-file", unix_to_windows(files["pid.txt"]),
               "--exit-code-file", unix_to_windows(files["exit.txt"]),
               "--timeout-ms", str(int(timeout * 1000)),
               "--cwd", unix_to_windows(cwd if cwd is not None else run_dir.parent.parent)]
    if show is not None:
        command += ["--show", str(show)]
    resume_file = run_dir / "resume.flag"
    if before_start is not None:
        command += ["--resume-file", unix_to_windows(resume_file)]

    # Now and then wine64 ends with code 1 and no word before the helper has started
    # anything (seen once in a CI run). Nothing of the program under test has run then,
    # so starting again is safe; once the pid file exists it never is.
    for _ in range(3):
        for stale in ("pid.txt", "exit.txt"):
            files[stale].unlink(missing_ok=True)
        process, boxes = _run_wintest(wine, wintest, command, files, run_dir, resume_file,
                                      timeout, want_display, lang, relay, box, before_start,
                                      started)
        if (process.returncode != 1 or files["exit.txt"].is_file() or
                files["pid.txt"].is_file() or files["wintest.log"].stat().st_size > 0):
            break

    code_text = files["exit.txt"].read_text().strip() if files["exit.txt"].is_file() else ""
    wintest_log = files["wintest.log"].read_bytes().decode("utf-8", "replace")
    timed_out = code_text == "timeout" or process.returncode is None or process.returncode < 0
    if not code_text and not timed_out:
        raise RigError(f"wintest run failed ({process.returncode}):\n{wintest_log}\n"
                       f"command line: {cmdline}")
    exit_code = None if timed_out else _signed(int(code_text))

    pid_text = files["pid.txt"].read_text().strip() if files["pid.txt"].is_file() else ""
    stdout_bytes = files["stdout.bin"].read_bytes() if files["stdout.bin"].is_file() else b""
    stderr_bytes = files["stderr.bin"].read_bytes() if files["stderr.bin"].is_file() else b""

    log_files: list[Path] = []
    for directory in _log_directories(environment, tmp_dir):
        log_files += sorted(directory.glob("kvn_nlog_*"), key=lambda p: p.stat().st_mtime_ns)
    if fixed_log.is_file():
        log_files.append(fixed_log)
    log_text = "".join(decode_narrow(p.read_bytes()) for p in log_files)

    return Result(
        exit_code=exit_code,
        stdout=decode_narrow(stdout_bytes),
        stderr=decode_narrow(stderr_bytes),
        stdout_bytes=stdout_bytes,
        stderr_bytes=stderr_bytes,
        box=boxes[0] if boxes else None,
        boxes=boxes,
        log_text=log_text,
        log_files=log_files,
        timed_out=timed_out,
        pid=int(pid_text) if pid_text.isdigit() else None,
        cmdline=cmdline,
        environment=environment,
        run_dir=run_dir,
        tmp_dir=tmp_dir,
        wine_log=files["wintest.log"].read_bytes().decode("utf-8", "replace"),
    )


def _run_wintest(wine: WineSession, wintest: Path, command: list[str], files: dict,
                 run_dir: Path, resume_file: Path, timeout: float, want_display: bool,
                 lang, relay, box: str, before_start, started):
    deadline = time.monotonic() + timeout + 30
    with open(files["wintest.log"], "wb") as log:
        unix_env = wine.unix_env(display=want_display, lang=lang)
        if relay:
            set_relay_filter(relay)
            unix_env["WINEDEBUG"] = "-all,+relay"
        process = subprocess.Popen(command, env=unix_env,
                                   cwd=run_dir, stdin=subprocess.DEVNULL, stdout=log,
                                   stderr=log, start_new_session=True)
        boxes: list[dict] = []
        try:
            if before_start is not None:
                if not _wait_for_file(files["pid.txt"], timeout, process):
                    raise RigError("the started process never reported its pid")
                before_start()
                resume_file.touch()
            if started is not None:
                if not _wait_for_file(files["pid.txt"], timeout, process):
                    raise RigError("the started process never reported its pid")
                started(int(files["pid.txt"].read_text().strip()))
            if box != "none":
                boxes = _watch_boxes(wine, wintest, run_dir, files["pid.txt"], process, box,
                                     deadline)
            process.wait(timeout=max(1.0, deadline - time.monotonic()))
        except subprocess.TimeoutExpired:
            _kill_group(process)
        except BaseException:
            _kill_group(process)
            raise
    return process, boxes


def _watch_boxes(wine: WineSession, wintest: Path, run_dir: Path, pid_file: Path,
                 process: subprocess.Popen, press: str, deadline: float) -> list[dict]:
    """Presses `press` on every box the started program shows until it ends; a box that
    stays after the press ends the watch, and the run then runs into its timeout."""
    if not _wait_for_file(pid_file, 30, process):
        return []
    pid = pid_file.read_text().strip()
    boxes: list[dict] = []
    while process.poll() is None:
        remaining = deadline - time.monotonic() - 5
        if remaining <= 0:
            break
        out = run_dir / f"box{len(boxes) + 1}.json"
        watcher = subprocess.run(
            [str(WINE64), str(wintest), "box", "--pid", pid, "--press", press,
             "--timeout-ms", str(int(remaining * 1000)), "--out", unix_to_windows(out)],
            env=wine.unix_env(display=True), cwd=run_dir, stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=remaining + 15)
        if not out.is_file():
            raise RigError(f"wintest box wrote nothing (exit {watcher.returncode})")
        found = json.loads(out.read_text(encoding="utf-8"))
        if "title" not in found:
            break
        boxes.append(found)
        if not found.get("dismissed", False):
            break
    return boxes


def run_wine(argv: Sequence[str], timeout: float = 60, lang: str | None = None,
             prefix: Path | None = None, debug: str | None = None,
             env: Mapping[str, str] | None = None) -> subprocess.CompletedProcess:
    """Runs a program of the prefix the plain Wine way (``wine64 reg add ...``), for setup;
    its output is captured through files, which Wine's helper processes cannot hold open.
    ``prefix`` runs it in another prefix than the session's, ``debug`` sets WINEDEBUG,
    ``env`` adds variables, which Wine passes on to the program's environment."""
    wine = session()
    unix_env = {**wine.unix_env(lang=lang, prefix=prefix), **(env or {})}
    if debug:
        unix_env["WINEDEBUG"] = debug
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        completed = subprocess.run([str(WINE64), *argv], env=unix_env,
                                   stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                   timeout=timeout, cwd=wine.root)
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(completed.args, completed.returncode,
                                           out.read().decode("utf-8", "replace"),
                                           err.read().decode("utf-8", "replace"))


# ---------------------------------------------------------------------------------------
# 32-bit programs

_HELLO32_SOURCE = '#include <stdio.h>\nint main(void) { puts("tesmo-wine32-ok"); return 0; }\n'
_HELLO32_LINE = "tesmo-wine32-ok"
_QEMU_I386_RULE = (
    r":qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00"
    r":\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff"
    r":/usr/bin/qemu-i386:"
)


def _boot_id() -> str:
    with contextlib.suppress(OSError):
        return Path("/proc/sys/kernel/random/boot_id").read_text().strip()
    return ""


def _hello32(store: Path) -> Path | None:
    exe = store / "hello32.exe"
    source = store / "hello32.c"
    if exe.is_file() and source.is_file() and source.read_text() == _HELLO32_SOURCE:
        return exe
    if shutil.which(I686_GCC) is None:
        return None
    source.write_text(_HELLO32_SOURCE)
    built = subprocess.run([I686_GCC, "-O2", "-s", "-o", str(exe), str(source)],
                           capture_output=True, text=True, timeout=120)
    return exe if built.returncode == 0 else None


def _register_qemu() -> str | None:
    """Registers qemu-i386 for 32-bit ELF programs; returns why it could not."""
    if not QEMU_I386.is_file():
        return "qemu-i386 is not installed (Debian qemu-user)"
    if os.geteuid() != 0:
        return "registering qemu-i386 with binfmt_misc needs root"
    if not (BINFMT_DIR / "register").exists():
        subprocess.run(["mount", "-t", "binfmt_misc", "binfmt_misc", str(BINFMT_DIR)],
                       capture_output=True, timeout=30)
    if (BINFMT_DIR / "qemu-i386").exists():
        return None
    try:
        (BINFMT_DIR / "register").write_text(_QEMU_I386_RULE)
    except OSError as error:
        return f"binfmt_misc refused the qemu-i386 rule: {error}"
    return None


def check_wine32(wine: WineSession) -> tuple[bool, str]:
    """Whether 32-bit programs run in the session's prefix, natively or through qemu.
    The answer is kept under the build directory for this boot and Wine installation,
    since finding out through qemu takes minutes."""
    store = build_dir() / "e2e"
    store.mkdir(parents=True, exist_ok=True)
    cache = store / "wine32-check.json"
    key = {"wine": _wine_version(), "kernel": os.uname().release, "boot": _boot_id()}
    with contextlib.suppress(OSError, ValueError, KeyError):
        cached = json.loads(cache.read_text())
        if cached["key"] == key:
            return cached["available"], cached["reason"]

    def attempt(hello: Path) -> tuple[bool, str]:
        run_dir = wine.next_run_dir(wine.root / "wine32-check")
        try:
            result = _run(wine, run_dir, hello, [], None, None, "none", 600, None, None, None,
                          False, None, ())
        except RigError as error:
            return False, f"a 32-bit program did not start: {error}"
        if _HELLO32_LINE in result.stdout:
            return True, "32-bit programs run"
        return False, f"a 32-bit program printed {result.stdout!r}, exit {result.exit_code}"

    hello = _hello32(store)
    if hello is None:
        available, reason = False, f"{I686_GCC} could not build a 32-bit test program"
    else:
        available, reason = attempt(hello)
        if not available:
            problem = _register_qemu()
            if problem is not None:
                reason += f"; {problem}"
            else:
                available, reason = attempt(hello)
    cache.write_text(json.dumps({"key": key, "available": available, "reason": reason}))
    return available, reason


@dataclass
class Block:
    narrow: dict[int, bytes]
    wide: dict[int, str]
    locale_sets: list[tuple[bytes, dict[int, str]]]
    # The file offset behind the localized sets, where included files begin.
    end: int = 0


def read_block(launcher: Path, bits: int = 64, stub: Union[str, Path, None] = None) -> Block:
    """The block of a launcher built from this build's stub (or ``stub``), decoded as the
    launcher reads it, so that tests can see what a launcher really carries."""
    data = Path(launcher).read_bytes()
    position = Path(stub or launcher_stub(bits)).stat().st_size

    def take(size: int) -> bytes:
        nonlocal position
        if position + size > len(data):
            raise RigError(f"{launcher}: the block ends early")
        chunk = data[position:position + size]
        position += size
        return chunk

    def int32() -> int:
        return int.from_bytes(take(4), "little", signed=True)

    def counted() -> bytes:
        return take(int32())

    def wide_records() -> dict[int, str]:
        records = {}
        for _ in range(int32()):
            key = int32()
            records[key] = counted().decode("utf-16-le", "surrogatepass")
        return records

    if int32() & 0xFFFFFFFF != 0xE8E413D5:
        raise RigError(f"{launcher}: no block behind the stub")
    take(16)
    narrow = {}
    for _ in range(int32()):
        key = int32()
        narrow[key] = counted()
    wide = wide_records()
    sets = []
    for _ in range(int32()):
        prefix = counted()
        sets.append((prefix, wide_records()))
    return Block(narrow, wide, sets, position)
