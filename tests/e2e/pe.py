"""Reading the section table of a PE file, to know where a launcher's block starts."""

import struct
from dataclasses import dataclass
from pathlib import Path


@dataclass
class Section:
    name: str
    raw_size: int
    raw_offset: int


@dataclass
class Image:
    header: int
    optional_size: int
    sections: list[Section]

    @property
    def end(self) -> int:
        """Where the last section's raw data ends: the launcher's block starts there."""
        last = self.sections[-1]
        return last.raw_offset + last.raw_size

def read_image(path: Path) -> Image:
    data = Path(path).read_bytes()
    header = struct.unpack_from("<I", data, 60)[0]
    count = struct.unpack_from("<H", data, header + 6)[0]
    optional_size = struct.unpack_from("<H", data, header + 20)[0]
    table = header + 24 + optional_size
    sections = []
    for i in range(count):
        entry = table + 40 * i
        name = data[entry:entry + 8].rstrip(b"\0").decode("ascii", "replace")
        raw_size, raw_offset = struct.unpack_from("<II", data, entry + 16)
        sections.append(Section(name, raw_size, raw_offset))
    return Image(header, optional_size, sections)
