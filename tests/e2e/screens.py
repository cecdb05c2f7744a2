"""Pictures for the splash tests: 8-bit bitmaps to put into a launcher, and screenshots of
the session's X display to compare them with.

Screenshots go through ``xwd`` and ImageMagick's ``convert`` into binary PPM, read here
without any imaging library.
"""

from __future__ import annotations

import struct
import subprocess
from dataclasses import dataclass
from pathlib import Path
from typing import Callable, Iterable, Sequence

Colour = tuple[int, int, int]


def write_bmp8(path: Path, width: int, height: int, palette: Sequence[Colour],
               index: Callable[[int, int], int]) -> bytes:
    """Writes an 8-bit palette bitmap (the form the splash images take) whose pixel (x, y),
    counted from the top left, has the palette entry ``index(x, y)``; returns the file."""
    if not 0 < len(palette) <= 256:
        raise ValueError("a palette has 1 to 256 colours")
    stride = (width + 3) & ~3
    rows = []
    for y in reversed(range(height)):  # bottom-up, as bitmaps are stored
        row = bytes(index(x, y) for x in range(width))
        rows.append(row + b"\0" * (stride - width))
    colours = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    pixels = b"".join(rows)
    offset = 14 + 40 + len(colours)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(pixels), 3780, 3780,
                       len(palette), 0)
    header = b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
    data = header + info + colours + pixels
    Path(path).write_bytes(data)
    return data


def read_bmp8(path: Path) -> tuple[int, int, list[Colour], list[bytes]]:
    """Width, height, palette and palette indices row by row from the top of an 8-bit
    uncompressed bitmap file."""
    data = Path(path).read_bytes()
    offset, = struct.unpack_from("<I", data, 10)
    size, width, height, _, bits, compression = struct.unpack_from("<IiiHHI", data, 14)
    if data[:2] != b"BM" or bits != 8 or compression != 0 or height <= 0:
        raise ValueError(f"{path}: not an uncompressed bottom-up 8-bit bitmap")
    count = struct.unpack_from("<I", data, 46)[0] or 256
    palette = [(data[i + 2], data[i + 1], data[i])
               for i in range(14 + size, 14 + size + 4 * count, 4)]
    stride = (width + 3) & ~3
    rows = [data[offset + y * stride:offset + y * stride + width] for y in range(height)]
    return width, height, palette, rows[::-1]


@dataclass
class Screen:
    width: int
    height: int
    pixels: bytes  # RGB, row by row from the top

    def pixel(self, x: int, y: int) -> Colour:
        at = (y * self.width + x) * 3
        return self.pixels[at], self.pixels[at + 1], self.pixels[at + 2]

    def region(self, left: int, top: int, width: int, height: int) -> list[bytes]:
        """The RGB rows of a rectangle, clipped to the screen."""
        right = min(left + width, self.width)
        left = max(left, 0)
        rows = []
        for y in range(max(top, 0), min(top + height, self.height)):
            start = (y * self.width + left) * 3
            rows.append(self.pixels[start:start + (right - left) * 3])
        return rows

    def count(self, left: int, top: int, width: int, height: int,
              wanted: Callable[[Colour], bool]) -> int:
        found = 0
        for row in self.region(left, top, width, height):
            for i in range(0, len(row), 3):
                if wanted((row[i], row[i + 1], row[i + 2])):
                    found += 1
        return found

    def save_png(self, path: Path, left: int = 0, top: int = 0, width: int | None = None,
                 height: int | None = None) -> None:
        width = self.width - left if width is None else width
        height = self.height - top if height is None else height
        rows = self.region(left, top, width, height)
        ppm = f"P6 {len(rows[0]) // 3} {len(rows)} 255\n".encode() + b"".join(rows)
        subprocess.run(["convert", "ppm:-", f"png:{path}"], input=ppm, check=True,
                       capture_output=True, timeout=60)


def _parse_ppm(data: bytes) -> Screen:
    fields: list[bytes] = []
    position = 0
    while len(fields) < 4:
        while data[position:position + 1].isspace():
            position += 1
        if data[position:position + 1] == b"#":
            position = data.index(b"\n", position) + 1
            continue
        end = position
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[position:end])
        position = end
    if fields[0] != b"P6" or fields[3] != b"255":
        raise ValueError("not an 8-bit binary PPM")
    width, height = int(fields[1]), int(fields[2])
    pixels = data[position + 1:position + 1 + width * height * 3]
    if len(pixels) != width * height * 3:
        raise ValueError("the PPM ends early")
    return Screen(width, height, pixels)


def screenshot(display: str) -> Screen:
    """The whole X display as it is now."""
    # -screen takes the image from the root window in one request: without it xwd reads
    # windows of other visuals (Wine makes some) one by one, and fails when one of them is
    # destroyed meanwhile. The retry covers the same fault where Wine destroys such a
    # window while xwd still asks for the root's visual.
    for _ in range(3):
        taken = subprocess.run(["xwd", "-root", "-screen", "-silent", "-display", display],
                               capture_output=True, timeout=60)
        if taken.returncode == 0:
            break
    else:
        raise RuntimeError(f"xwd failed: {taken.stderr.decode(errors='replace')}")
    dump = taken.stdout
    ppm = subprocess.run(["convert", "xwd:-", "ppm:-"], input=dump, capture_output=True,
                         check=True, timeout=60).stdout
    return _parse_ppm(ppm)


def differing(a: Iterable[bytes], b: Iterable[bytes]) -> int:
    """How many pixels differ between two regions of the same size."""
    count = 0
    for row_a, row_b in zip(a, b):
        for i in range(0, len(row_a), 3):
            if row_a[i:i + 3] != row_b[i:i + 3]:
                count += 1
    return count
