"""What the shipped executables are: GUI programs that need nothing beyond Windows' own
DLLs, stripped, with the manifest that asks for common controls 6 and no elevation."""

import subprocess

import pytest

import rig

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "comctl32.dll", "gdi32.dll",
               "msvcrt.dll", "shell32.dll", "ole32.dll"}
OBJDUMP = {64: "x86_64-w64-mingw32-objdump", 32: "i686-w64-mingw32-objdump"}


def objdump(bits, *arguments):
    return subprocess.run([OBJDUMP[bits], *arguments, str(rig.launcher_stub(bits))],
                          capture_output=True, text=True, check=True).stdout


@pytest.mark.parametrize("bits", [64, 32])
class TestShippedExecutable:
    def test_gui_subsystem(self, bits):
        assert "(Windows GUI)" in objdump(bits, "-p")

    def test_imports_only_windows_dlls(self, bits):
        dlls = {line.split(":", 1)[1].strip().lower()
                for line in objdump(bits, "-p").splitlines() if "DLL Name:" in line}
        assert dlls and dlls <= SYSTEM_DLLS, dlls

    def test_stripped(self, bits):
        assert "no symbols" in objdump(bits, "-t")

    def test_manifest_asks_for_common_controls_and_no_elevation(self, bits):
        data = rig.launcher_stub(bits).read_bytes()
        assert b'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' in data
        assert b'level="asInvoker"' in data
