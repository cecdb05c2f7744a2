"""Damaged launchers and the rig that runs many of them: the fields of a block, a reader
that says independently of the launcher where reading a damaged block must fail, seeded
mutations of a block, and ``wintest batch`` in a Wine prefix of its own without a display.
"""

from __future__ import annotations

import contextlib
import random
import subprocess
from dataclasses import dataclass
from pathlib import Path
from typing import Iterator, Sequence

import rig
from rig import unix_to_windows

INT_MAX = 0x7FFFFFFF


@dataclass(frozen=True)
class Field:
    offset: int
    role: str  # "header", "count", "key" or "length"
    primitive: str  # what the launcher reads the field with; a length names its string kind


def block_fields(data: bytes, start: int) -> list[Field]:
    """The fields of an intact block at ``start`` in reading order, included files last (each
    a "length" read by readLong)."""
    fields: list[Field] = []
    at = start

    def take(role: str, primitive: str, size: int = 4) -> int:
        nonlocal at
        fields.append(Field(at, role, primitive))
        value = int.from_bytes(data[at:at + size], "little", signed=True)
        at += size
        return value

    def skip(size: int) -> None:
        nonlocal at
        at += size

    def records(primitive: str) -> None:
        for _ in range(take("count", "readInt")):
            take("key", "readInt")
            skip(take("length", primitive))

    for _ in range(3):
        take("header", "readInt")
    take("header", "readLong", 8)
    records("readString")
    records("readWString")
    for _ in range(take("count", "readInt")):
        skip(take("length", "readString"))
        records("readWString")
    while at + 8 <= len(data):
        skip(max(0, take("length", "readLong", 8)))
    return fields


def reading_failure(data: bytes, start: int) -> str | None:
    """Where the launcher's block reader must give up on ``data``: "magic", "readInt",
    "readLong", "readString" or "readWString", or None for a block it reads to the end.
    Lengths are refused when negative, odd for wide text or beyond the end of the file."""
    at = start

    class Failure(Exception):
        pass

    def fixed(size: int, primitive: str) -> int:
        nonlocal at
        if at + size > len(data):
            raise Failure(primitive)
        at += size
        return int.from_bytes(data[at - size:at], "little", signed=True)

    def counted(primitive: str) -> None:
        nonlocal at
        length = fixed(4, primitive)
        if length < 0 or (primitive == "readWString" and length % 2) or length > len(data) - at:
            raise Failure(primitive)
        at += length

    def records(primitive: str) -> None:
        for _ in range(fixed(4, "readInt")):
            fixed(4, "readInt")
            counted(primitive)

    try:
        if fixed(4, "readInt") & 0xFFFFFFFF != 0xE8E413D5:
            return "magic"
        fixed(4, "readInt")
        fixed(4, "readInt")
        fixed(8, "readLong")
        records("readString")
        records("readWString")
        for _ in range(fixed(4, "readInt")):
            counted("readString")
            records("readWString")
    except Failure as failure:
        return str(failure)
    return None


KINDS = ("flip", "truncate", "length", "count", "key", "length+flip")
# Keys a changed key number takes: settings the launcher reads, and one it does not.
KEYS = (107, 108, 121, 123, 124, 128, 146, 152, 2002, 2003, 10004, 10005, 10111, 149, -1)


def mutate(data: bytes, start: int, seed: int, index: int) -> tuple[bytes, str]:
    """Mutant ``index`` of the launcher ``data`` (block at ``start``), the same for the same
    seed, with a description of what was changed."""
    rng = random.Random(seed * 1_000_003 + index)
    kind = KINDS[index % len(KINDS)]
    fields = block_fields(data, start)
    out = bytearray(data)

    def put(field: Field, value: int) -> str:
        size = 8 if field.primitive == "readLong" else 4
        out[field.offset:field.offset + size] = (value & ((1 << 8 * size) - 1)).to_bytes(
            size, "little")
        return f"{field.role} at {field.offset} ({field.primitive}) = {value}"

    def flip() -> str:
        changes = []
        for _ in range(rng.randint(1, 4)):
            at = rng.randrange(start, len(out))
            out[at] ^= rng.randint(1, 255)
            changes.append(f"{at}:{out[at]:#04x}")
        return "bytes " + ",".join(changes)

    if kind == "truncate":
        cut = rng.randrange(start, len(data))
        return data[:cut], f"truncate at {cut}"
    if kind == "flip":
        return bytes(out), flip()
    if kind == "key":
        field = rng.choice([f for f in fields if f.role == "key"])
        return bytes(out), put(field, rng.choice(KEYS))
    role = "count" if kind == "count" else "length"
    field = rng.choice([f for f in fields if f.role == role])
    size = 8 if field.primitive == "readLong" else 4
    current = int.from_bytes(data[field.offset:field.offset + size], "little", signed=True)
    remaining = len(data) - field.offset - size
    value = rng.choice([INT_MAX, -1, -0x80000000, 0xFFFFFFFF, 0, -2, remaining, remaining + 1,
                        current + 1, current - 1, current * 2 + 1, 1 << 40])
    description = put(field, value)
    if kind == "length+flip":
        description += "; " + flip()
    return bytes(out), description


# ---------------------------------------------------------------------------------------
# Running many programs in a prefix of their own


@contextlib.contextmanager
def private_wine(target: Path) -> Iterator[Path]:
    """A Wine prefix of its own with a persistent wineserver and no X display: a damaged
    block can switch on anything a block can say (a splash window, a second instance, the
    version cache), and none of it may reach the session's prefix or desktop; without a
    display a window fails at once instead of waiting for a hand."""
    wine = rig.session()
    prefix = wine.private_prefix(target)
    env = wine.unix_env(prefix=prefix)
    subprocess.run([str(rig.WINESERVER64), "-p"], env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60,
                   start_new_session=True)
    try:
        yield prefix
    finally:
        subprocess.run([str(rig.WINESERVER64), "-k"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)


@dataclass
class Outcome:
    pid: int
    exit_code: int | None  # None after a timeout
    stdout: bytes
    stderr: bytes
    failure: str = ""  # why wintest could not start the program

    @property
    def stderr_text(self) -> str:
        return rig.decode_narrow(self.stderr).replace("\r\n", "\n")


def run_batch(prefix: Path, command_lines: Sequence[str], work: Path, env: dict[str, str],
              cwd: Path, timeout: float = 20) -> list[Outcome]:
    """Runs the command lines one after another through one ``wintest batch`` in ``prefix``,
    each with the Windows environment ``env``, and returns what each left behind."""
    work.mkdir(parents=True, exist_ok=True)
    (work / "list.txt").write_bytes("".join(f"{line}\n" for line in command_lines).encode())
    (work / "env.txt").write_bytes("".join(f"{k}={v}\n" for k, v in env.items()).encode())
    results = work / "results.txt"
    command = [str(rig.WINE64), str(rig.helper_path("wintest")), "batch",
               "--list", unix_to_windows(work / "list.txt"),
               "--env-file", unix_to_windows(work / "env.txt"),
               "--output-dir", unix_to_windows(work), "--results", unix_to_windows(results),
               "--cwd", unix_to_windows(cwd), "--timeout-ms", str(int(timeout * 1000))]
    # wine64 now and then ends at once without a word (see rig._run); nothing has run then,
    # so the batch starts again.
    for _ in range(3):
        with open(work / "wintest.log", "wb") as log:
            subprocess.run(command, env=rig.session().unix_env(prefix=prefix), cwd=work,
                           stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                           timeout=len(command_lines) * (timeout + 10) + 60)
        lines = results.read_text().splitlines() if results.is_file() else []
        if lines or (work / "wintest.log").stat().st_size > 0:
            break
    outcomes = []
    for index, line in enumerate(lines):
        _, pid, code = line.split(" ", 2)
        read = [(work / f"{index}.{s}").read_bytes() if (work / f"{index}.{s}").is_file()
                else b"" for s in ("out", "err")]
        outcome = Outcome(int(pid), None, *read)
        if code.startswith("error"):
            outcome.failure = code
        elif code != "timeout":
            outcome.exit_code = int(code)
        outcomes.append(outcome)
    if len(outcomes) != len(command_lines):
        raise rig.RigError(f"wintest batch ran {len(outcomes)} of {len(command_lines)}; see "
                           f"{work / 'wintest.log'}")
    return outcomes

