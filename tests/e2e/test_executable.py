"""The shipped executables: stripped GUI programs on Windows' own DLLs, with their manifest."""

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
def test_a_stripped_gui_program_on_windows_dlls_with_its_manifest(bits):
    headers = objdump(bits, "-p")
    assert "(Windows GUI)" in headers
    dlls = {entry.split()[0].lower() for entry in headers.split("DLL Name:")[1:]}
    assert dlls and dlls <= SYSTEM_DLLS, dlls
    assert "no symbols" in objdump(bits, "-t")
    data = rig.launcher_stub(bits).read_bytes()
    assert b'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' in data
    assert b'level="asInvoker"' in data
