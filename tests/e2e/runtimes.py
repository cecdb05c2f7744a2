"""Java runtimes and registry entries for the end-to-end tests.

No Windows Java runtime can be installed here, so a runtime home is laid out with the
stand-ins of tests/standins: every java.exe, javaw.exe and javac.exe is a copy of
java-standin that prints what the standin.cfg of its directory says and logs each start to
invocations.log there; jvm.dll is jvm-standin.dll, which records its loading in
jvm-record.txt beside it. The layouts follow the real generations of runtimes, so that a
launcher's search meets what it would meet on a user's machine.

The registry helpers write a whole fixture through one ``wintest registry``, which uses the
registry API, so that a thousand keys cost one Wine start and any value type can be written.
"""

from __future__ import annotations

import os
import shutil
import struct
import tempfile
from dataclasses import dataclass, field
from pathlib import Path
from typing import Iterable, Mapping, Union

import rig
from rig import RigError, unix_to_windows

PACK_HEADER = b"TESMO-PACK\n"
# Lets a test make the unpacking of one archive fail: the unpack200 stand-in refuses it.
PACK_REFUSAL = b"FAIL"

# FILETIME counts 100-ns intervals since 1601-01-01; Unix time starts 11644473600 s later.
_FILETIME_UNIX_EPOCH = 116444736000000000

# A launcher whose runtime was found and loaded but that was given no application to
# start ends with the failure to start one: exit code 1, where a launcher that found no
# runtime ends with 83.
LOADED = 1

KINDS = ("jre8", "jdk8", "modern")
JVM_CHOICES = ("ok", "noexport", "junk", "none", "other-bits")


def standin_path(name: str, bits: int = 64) -> Path:
    """A built stand-in, e.g. ``standin_path("jvm-standin.dll", 32)``."""
    if bits not in (32, 64):
        raise ValueError(f"bits is 32 or 64, not {bits}")
    path = rig.build_dir() / f"win{bits}" / "tests" / "standins" / name
    if not path.is_file():
        raise RigError(f"the stand-in {name} ({bits}-bit) is not built at {path}; build "
                       f"build/win{bits} (see CMakePresets.json)")
    return path


def filetime(path: Union[str, Path]) -> int:
    """A file's last-write time as Windows reports it under Wine (FILETIME as an int)."""
    return os.stat(path).st_mtime_ns // 100 + _FILETIME_UNIX_EPOCH


# ---------------------------------------------------------------------------------------
# Runtime homes


@dataclass(frozen=True)
class _Layout:
    runtime_bin: str
    launcher_dirs: tuple[str, ...]
    default_vm: str
    archives: tuple[str, ...]
    javac_dirs: tuple[str, ...]
    modern: bool


_LAYOUTS = {
    "jre8": _Layout("bin", ("bin",), "client", ("lib/rt.jar",), (), False),
    # The kit's own bin holds launchers without a jvm.dll beside them; the runtime the kit
    # carries is in jre\.
    "jdk8": _Layout("jre/bin", ("bin", "jre/bin"), "server", ("lib/tools.jar", "jre/lib/rt.jar"),
                    ("bin",), False),
    "modern": _Layout("bin", ("bin",), "server", ("lib/modules",), ("bin",), True),
}

_DEFAULT_VERSIONS = {"jre8": "1.8.0_201", "jdk8": "1.8.0_201", "modern": "17.0.15"}


def banner_for(kind: str, version: str, bits: int = 64) -> list[str]:
    """The lines ``java -version`` of a runtime of this kind prints to standard error."""
    if kind not in _LAYOUTS:
        raise ValueError(f"kind is one of {KINDS}, not {kind!r}")
    if _LAYOUTS[kind].modern:
        vm = "OpenJDK 64-Bit Server VM" if bits == 64 else "OpenJDK Server VM"
        return [f'openjdk version "{version}" 2025-04-15',
                f"OpenJDK Runtime Environment (build {version}+6)",
                f"{vm} (build {version}+6, mixed mode, sharing)"]
    vm = "Java HotSpot(TM) 64-Bit Server VM" if bits == 64 else "Java HotSpot(TM) Client VM"
    return [f'java version "{version}"',
            f"Java(TM) SE Runtime Environment (build {version}-b09)",
            f"{vm} (build 25.201-b09, mixed mode)"]


def _first_token(command_line: str) -> str:
    """The program part of a Windows command line, as CreateProcess reads it."""
    if command_line.startswith('"'):
        end = command_line.find('"', 1)
        return command_line[1:] if end < 0 else command_line[1:end]
    return command_line.split(None, 1)[0] if command_line.strip() else ""


def _program_name(token: str) -> str:
    name = token.replace("/", "\\").rsplit("\\", 1)[-1].lower()
    return name[:-4] if name.endswith(".exe") else name


@dataclass
class Runtime:
    """A runtime home made by ``make_runtime``. ``java`` and ``javaw`` are the executables a
    launcher would pick (the ones beside the runtime's jvm.dll), ``bin`` their directory."""

    home: Path
    kind: str
    bits: int
    java_bits: int
    vm: str
    java: Path
    javaw: Path | None
    bin: Path
    jvm_dll: Path
    launcher_dirs: list[Path]
    _config: dict = field(default_factory=dict, repr=False)

    # -- Windows forms of the paths -----------------------------------------------------

    @property
    def home_windows(self) -> str:
        return unix_to_windows(self.home)

    @property
    def java_windows(self) -> str:
        return unix_to_windows(self.java)

    @property
    def jvm_dll_windows(self) -> str:
        return unix_to_windows(self.jvm_dll)

    # -- what the stand-ins recorded ----------------------------------------------------

    def _log_lines(self, exe: Union[str, Path, None], kind: str) -> list[str]:
        if exe is None:
            directories, name = self.launcher_dirs, None
        else:
            path = Path(exe) if Path(exe).is_absolute() else self.home / str(exe).replace("\\", "/")
            directories, name = [path.parent], _program_name(path.name)
        lines = []
        for directory in directories:
            log = directory / "invocations.log"
            if not log.is_file():
                continue
            for line in log.read_bytes().decode("utf-8").splitlines():
                word, _, command_line = line.partition(" ")
                if word != kind:
                    continue
                if name is None or _program_name(_first_token(command_line)) == name:
                    lines.append(command_line)
        return lines

    def invocations(self, exe: Union[str, Path, None] = None) -> list[str]:
        """The command lines of every start of the runtime's stand-ins, oldest first; with
        ``exe`` (absolute, or relative to the home like "jre\\\\bin\\\\javaw.exe") only of that
        one. A start counts as soon as the process runs, before any delay."""
        return self._log_lines(exe, "start")

    def finished(self, exe: Union[str, Path, None] = None) -> int:
        """How many of those starts printed their banner and ended by themselves; a probe
        terminated during its delay counts in ``invocations`` but not here."""
        return len(self._log_lines(exe, "end"))

    def jvm_record(self) -> list[str]:
        """The lines jvm.dll wrote: ``loaded=PATH``, ``PATH=...``, ``CRT_PATH=...`` at each
        load, ``create`` at each call of JNI_CreateJavaVM."""
        record = self.jvm_dll.parent / "jvm-record.txt"
        return record.read_bytes().decode("utf-8").splitlines() if record.is_file() else []

    def splash_record(self) -> list[str]:
        """What the stand-in splashscreen.dll was asked, "<pid> init", "<pid> load <size>
        <result>", "<pid> close", oldest first (see ``make_runtime(splash_library=True)``)."""
        record = self.bin / "splash-record.txt"
        return record.read_text(encoding="utf-8").splitlines() if record.is_file() else []

    def splash_image(self, pid: int) -> bytes | None:
        """The bytes that process ``pid`` handed to SplashLoadMemory."""
        image = self.bin / f"splash-image-{pid}.bin"
        return image.read_bytes() if image.is_file() else None

    def unpack_log(self) -> list[str]:
        """The command lines unpack200.exe was started with (after ``pack``)."""
        log = self.bin / "unpack200.log"
        return log.read_bytes().decode("utf-8").splitlines() if log.is_file() else []

    # -- changing the runtime -----------------------------------------------------------

    def set_banner(self, banner: list[str] | None = None, version: str | None = None,
                   exit_code: int | None = None, delay_ms: int | None = None,
                   stdout: list[str] | None = None) -> None:
        """Changes what every java.exe/javaw.exe of the runtime prints and does; what is not
        given stays as it was. ``version`` makes a banner of the runtime's kind."""
        if banner is None and version is not None:
            banner = banner_for(self.kind, version, self.bits)
        for key, value in (("banner", banner), ("exit", exit_code), ("delay_ms", delay_ms),
                           ("stdout", stdout)):
            if value is not None:
                self._config[key] = value
        _write_config(self.launcher_dirs, self._config)

    def touch(self, seconds: int = 5) -> int:
        """Moves java.exe's last-write time forward by ``seconds``, as an update of the
        runtime would, so that a cached version no longer matches; returns the new time."""
        stat = self.java.stat()
        os.utime(self.java, ns=(stat.st_atime_ns, stat.st_mtime_ns + seconds * 1_000_000_000))
        return filetime(self.java)

    def pack(self, archives: Iterable[str]) -> dict[Path, bytes]:
        """Turns each archive (relative to the home, "lib\\\\rt.jar") into ``lib\\\\rt.jar.pack``
        of our packed format, as an installer leaves them, and puts unpack200.exe into the
        runtime's bin. Returns each packed file with the bytes unpacking must restore."""
        packed = {}
        for relative in archives:
            archive = self.home / relative.replace("\\", "/")
            content = archive.read_bytes()
            target = archive.with_name(archive.name + ".pack")
            target.write_bytes(PACK_HEADER + content)
            archive.unlink()
            packed[target] = content
        unpack200 = self.bin / "unpack200.exe"
        if not unpack200.exists():
            shutil.copyfile(standin_path("unpack200-standin.exe", self.java_bits), unpack200)
        return packed


def _write_config(directories: Iterable[Path], config: Mapping) -> None:
    lines = [f"banner={line}" for line in config.get("banner", [])]
    lines += [f"stdout={line}" for line in config.get("stdout", [])]
    lines.append(f"exit={int(config.get('exit', 0))}")
    lines.append(f"delay_ms={int(config.get('delay_ms', 0))}")
    for line in lines:
        if "\n" in line or "\r" in line:
            raise ValueError(f"a stand-in line cannot hold a line break: {line!r}")
    text = "\n".join(lines) + "\n"
    for directory in directories:
        (directory / "standin.cfg").write_bytes(text.encode("utf-8"))


def _archive_content(relative: str) -> bytes:
    # Every byte value, so that a restoration that loses or translates one is caught.
    return f"stand-in archive {relative}\n".encode() + bytes(range(256))


def make_runtime(
    root: Union[str, Path],
    kind: str,
    version: str | None = None,
    banner: list[str] | None = None,
    exit_code: int = 0,
    delay_ms: int = 0,
    javaw: bool = True,
    jvm: str = "ok",
    vm: str | None = None,
    bits: int = 64,
    java_bits: int | None = None,
    splash_library: bool = False,
) -> Runtime:
    """Lays out a runtime home at ``root`` (created if missing).

    ``kind``: "jre8" (bin\\java.exe, bin\\javaw.exe, bin\\client\\jvm.dll, lib\\rt.jar),
    "jdk8" (the kit's bin\\java.exe, bin\\javaw.exe, bin\\javac.exe; jre\\bin\\java.exe,
    jre\\bin\\javaw.exe, jre\\bin\\server\\jvm.dll, lib\\tools.jar, jre\\lib\\rt.jar) or
    "modern" (bin\\java.exe, bin\\javaw.exe, bin\\javac.exe, bin\\server\\jvm.dll,
    lib\\modules). ``banner`` is what ``java -version`` prints to standard error, line by
    line; without it ``version`` fills the banner of the kind (default 1.8.0_201 or 17.0.15).
    ``jvm``: "ok" (the stand-in of ``bits``), "noexport" (no JNI_CreateJavaVM), "junk" (text
    named jvm.dll), "none" (no jvm.dll), "other-bits" (the stand-in of the other
    architecture). ``vm`` names the VM directory (client for jre8, server otherwise).
    ``java_bits`` is the architecture of the java.exe copies, ``bits`` unless given: a
    32-bit one takes about 45 s per start through qemu, so pass 64 where a probe's
    architecture does not matter. ``splash_library`` puts the stand-in splashscreen.dll
    beside the runtime's java.exe, where a runtime keeps its splash library.
    """
    if kind not in _LAYOUTS:
        raise ValueError(f"kind is one of {KINDS}, not {kind!r}")
    if jvm not in JVM_CHOICES:
        raise ValueError(f"jvm is one of {JVM_CHOICES}, not {jvm!r}")
    if bits not in (32, 64):
        raise ValueError(f"bits is 32 or 64, not {bits}")
    layout = _LAYOUTS[kind]
    home = Path(root).resolve()
    vm = vm or layout.default_vm
    java_bits = java_bits or bits

    launcher_dirs = []
    for relative in layout.launcher_dirs:
        directory = home / relative
        directory.mkdir(parents=True, exist_ok=True)
        launcher_dirs.append(directory)
        # Copies, not links: touching one java.exe must not change any other.
        shutil.copyfile(standin_path("java-standin.exe", java_bits), directory / "java.exe")
        if javaw:
            shutil.copyfile(standin_path("javaw-standin.exe", java_bits), directory / "javaw.exe")
    for relative in layout.javac_dirs:
        shutil.copyfile(standin_path("java-standin.exe", java_bits), home / relative / "javac.exe")
    for relative in layout.archives:
        archive = home / relative
        archive.parent.mkdir(parents=True, exist_ok=True)
        archive.write_bytes(_archive_content(relative))

    runtime_bin = home / layout.runtime_bin
    jvm_dll = runtime_bin / vm / "jvm.dll"
    if jvm != "none":
        jvm_dll.parent.mkdir(parents=True, exist_ok=True)
        if jvm == "junk":
            jvm_dll.write_bytes(b"This is not a DLL, only text named like one.\r\n" * 20)
        else:
            source = {"ok": ("jvm-standin.dll", bits), "noexport": ("jvm-noexport.dll", bits),
                      "other-bits": ("jvm-standin.dll", 96 - bits)}[jvm]
            shutil.copyfile(standin_path(*source), jvm_dll)

    if splash_library:
        shutil.copyfile(standin_path("splashscreen-standin.dll", bits),
                        runtime_bin / "splashscreen.dll")

    runtime = Runtime(home=home, kind=kind, bits=bits, java_bits=java_bits, vm=vm,
                      java=runtime_bin / "java.exe",
                      javaw=runtime_bin / "javaw.exe" if javaw else None, bin=runtime_bin,
                      jvm_dll=jvm_dll, launcher_dirs=launcher_dirs)
    if banner is None:
        banner = banner_for(kind, version or _DEFAULT_VERSIONS[kind], bits)
    runtime.set_banner(banner=banner, exit_code=exit_code, delay_ms=delay_ms, stdout=[])
    return runtime


# ---------------------------------------------------------------------------------------
# The registry

_HIVES = {"HKCU": "HKEY_CURRENT_USER", "HKLM": "HKEY_LOCAL_MACHINE"}
_LONG_HIVES = {long: short for short, long in _HIVES.items()}

# Below SOFTWARE of a hive.
LOCATED_KEY = "dravik-labs\\tesmo\\locatedjvms"
INSTALLATIONS_KEY = "dravik-labs\\korvane\\installations"
# The keys the vendors' installers write, which the vendor-registry entry reads.
VENDOR_KEYS = ("Eclipse Adoptium", "Eclipse Foundation", "AdoptOpenJDK", "Semeru",
               "Microsoft\\JDK", "Azul Systems", "BellSoft")

REG_SZ, REG_BINARY, REG_DWORD, REG_QWORD = 1, 3, 4, 11


@dataclass(frozen=True)
class RegRaw:
    """A value written exactly as given: any type, any bytes (a REG_SZ without its
    terminator, say)."""

    type: int
    data: bytes


RegValue = Union[str, int, bytes, RegRaw, None]
PathLike = Union[str, Path, Runtime]


def _windows_path(path: PathLike) -> str:
    if isinstance(path, Runtime):
        return path.home_windows
    return unix_to_windows(path) if isinstance(path, Path) else path


def _full_key(key: str) -> str:
    """"HKCU\\\\SOFTWARE\\\\x" -> "HKEY_CURRENT_USER\\\\SOFTWARE\\\\x"; full names pass."""
    hive, _, rest = key.partition("\\")
    long_hive = _HIVES.get(hive.upper(), hive.upper())
    if long_hive not in _LONG_HIVES:
        raise ValueError(f"not a key of HKCU or HKLM: {key!r}")
    return f"{long_hive}\\{rest}" if rest else long_hive


def _hex_text(text: str) -> str:
    return text.encode("utf-16-le", "surrogatepass").hex()


def _typed(value: RegValue) -> RegRaw:
    if isinstance(value, RegRaw):
        return value
    if isinstance(value, bool):
        raise TypeError("a registry value is str, int (DWORD), bytes (binary) or RegRaw")
    if isinstance(value, int):
        return RegRaw(REG_DWORD, struct.pack("<I", value & 0xFFFFFFFF))
    if isinstance(value, bytes):
        return RegRaw(REG_BINARY, value)
    return RegRaw(REG_SZ, (str(value) + "\0").encode("utf-16-le"))


def reg_key_text(key: str, values: Mapping[str, RegValue] | None = None) -> str:
    """The fixture lines that create ``key`` ("HKCU\\\\SOFTWARE\\\\...") with ``values``: str
    for REG_SZ, int for REG_DWORD, bytes for REG_BINARY, RegRaw for anything else, None
    deletes the value; the name "" is the key's default value. Lines of ``wintest
    registry``, which ``registry_apply`` writes in one process."""
    lines = [f"key\t{_hex_text(_full_key(key))}"]
    for name, value in (values or {}).items():
        if value is None:
            lines.append(f"drop\t{_hex_text(name)}")
        else:
            typed = _typed(value)
            lines.append(f"value\t{typed.type}\t{_hex_text(name)}\t{typed.data.hex()}")
    return "\n".join(lines) + "\n"


def reg_delete_text(key: str) -> str:
    """The fixture line that deletes ``key`` with everything below it."""
    return f"delete\t{_hex_text(_full_key(key))}\n"


def registry_apply(text: str) -> None:
    """Writes fixture lines (``reg_key_text``, ``reg_delete_text``) with the registry API in
    one ``wintest registry``, so that a thousand keys cost one Wine start."""
    wine = rig.session()
    with tempfile.NamedTemporaryFile(dir=wine.root, suffix=".fixture", delete=False) as file:
        file.write(text.encode("ascii"))
        fixture = Path(file.name)
    try:
        result = rig.run_wine([str(rig.helper_path("wintest")), "registry",
                               "--file", unix_to_windows(fixture)])
    finally:
        fixture.unlink(missing_ok=True)
    if result.returncode != 0:
        raise RigError(f"wintest registry failed ({result.returncode}): "
                       f"{result.stdout}{result.stderr}")


def registry_clear() -> None:
    """Removes every key the launcher reads or writes, in both registry views."""
    keys = []
    for hive in ("HKCU", "HKLM"):
        for view in ("", "Wow6432Node\\"):
            keys += [f"{hive}\\SOFTWARE\\{view}{key}"
                     for key in ("dravik-labs", "JavaSoft", *VENDOR_KEYS)]
    registry_apply("".join(reg_delete_text(key) for key in keys))


def _software(hive: str, rest: str, wow64: bool = False) -> str:
    """``rest`` (below SOFTWARE) in the hive; ``wow64`` for the 32-bit view."""
    if hive.upper() not in _HIVES:
        raise ValueError(f"hive is HKCU or HKLM, not {hive!r}")
    return f"{hive.upper()}\\SOFTWARE\\" + ("Wow6432Node\\" if wow64 else "") + rest


def register_javasoft(product_key: str, current_version: str | None,
                      versions: Mapping[str, PathLike | None], hive: str = "HKLM",
                      wow64: bool = False) -> None:
    """Registers runtimes the way their installers do: ``SOFTWARE\\\\JavaSoft\\\\<product_key>``
    ("Java Runtime Environment", "Java Development Kit", "JRE", "JDK") with CurrentVersion,
    and a subkey per version with JavaHome (a Windows path, a Unix Path or a Runtime) where
    it is not None. ``wow64`` writes the 32-bit view, where 32-bit installers register.
    Adds to what is there."""
    product = _software(hive, "JavaSoft\\" + product_key, wow64)
    values = {"CurrentVersion": current_version} if current_version is not None else {}
    text = reg_key_text(product, values)
    for version, home in versions.items():
        text += reg_key_text(f"{product}\\{version}",
                             {"JavaHome": _windows_path(home)} if home is not None else {})
    registry_apply(text)


def _java_path(path: PathLike) -> str:
    return path.java_windows if isinstance(path, Runtime) else _windows_path(path)


def add_located(hive: str, java_paths: Iterable[PathLike]) -> None:
    """Adds ``SOFTWARE\\\\dravik-labs\\\\tesmo\\\\locatedjvms\\\\<path>`` keys, the path of each
    java.exe (or a Runtime's) with its backslashes as slashes, all in one import."""
    base = _software(hive, LOCATED_KEY)
    registry_apply("".join(reg_key_text(f"{base}\\{_java_path(p).replace(chr(92), '/')}")
                           for p in java_paths))


def set_installations(hive: str, name: str, value: PathLike) -> None:
    """Sets the value ``name`` of ``SOFTWARE\\\\dravik-labs\\\\korvane\\\\installations``."""
    registry_apply(reg_key_text(_software(hive, INSTALLATIONS_KEY),
                                {name: _windows_path(value)}))
