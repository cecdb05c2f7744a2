"""The stand-ins of a Java runtime and the helpers that lay out runtimes and registry
entries. Every test of the runtime search trusts them, so they are checked here on their own,
under Wine, before any launcher uses them."""

import os
import struct
import subprocess
import time

import pytest

import rig
import runtimes
from rig import helper_path, run_launcher, unix_to_windows
from runtimes import make_runtime, standin_path

SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll", "user32.dll", "advapi32.dll", "shell32.dll"}
OBJDUMP = {64: "x86_64-w64-mingw32-objdump", 32: "i686-w64-mingw32-objdump"}
MACHINE = {64: 0x8664, 32: 0x14C}
CONSOLE, GUI = 3, 2
STANDINS = ["java-standin.exe", "javaw-standin.exe", "unpack200-standin.exe", "loadjvm.exe",
            "jvm-standin.dll", "jvm-noexport.dll"]


def pe_header(path):
    """(machine, subsystem) of a PE file."""
    data = path.read_bytes()
    header = struct.unpack_from("<I", data, 60)[0]
    machine = struct.unpack_from("<H", data, header + 4)[0]
    subsystem = struct.unpack_from("<H", data, header + 24 + 68)[0]
    return machine, subsystem


def objdump_private(path, bits):
    return subprocess.run([OBJDUMP[bits], "-p", str(path)], capture_output=True, text=True,
                          check=True).stdout


def exported_names(path, bits):
    """The names in the export table, as objdump lists them after "[Ordinal/Name Pointer]"."""
    text = objdump_private(path, bits)
    if "[Ordinal/Name Pointer] Table" not in text:
        return set()
    table = text.split("[Ordinal/Name Pointer] Table", 1)[1]
    names = set()
    for line in table.splitlines()[1:]:
        line = line.strip()
        if not line.startswith("["):
            break
        names.add(line.split("]", 1)[1].strip())
    return names


def windows_filetime(path):
    result = run_launcher(helper_path("wintest"), ["filetime", "--path", unix_to_windows(path)])
    assert result.exit_code == 0, result.stderr
    return int(result.stdout.strip())


def loadjvm(dll, bits=64, extra=(), env=None, timeout=30):
    return run_launcher(standin_path("loadjvm.exe", bits), [unix_to_windows(dll), *extra],
                        env=env, timeout=timeout)


# ---------------------------------------------------------------------------------------


@pytest.mark.parametrize("bits", [64, 32])
class TestBuiltForm:
    def test_import_only_windows_dlls(self, bits):
        for name in STANDINS:
            dlls = {line.split(":", 1)[1].strip().lower()
                    for line in objdump_private(standin_path(name, bits), bits).splitlines()
                    if "DLL Name:" in line}
            assert dlls and dlls <= SYSTEM_DLLS, (name, dlls)

    def test_architecture_and_subsystem(self, bits):
        expected = {"java-standin.exe": CONSOLE, "javaw-standin.exe": GUI,
                    "unpack200-standin.exe": CONSOLE, "loadjvm.exe": GUI}
        for name, subsystem in expected.items():
            assert pe_header(standin_path(name, bits)) == (MACHINE[bits], subsystem), name
        assert pe_header(standin_path("jvm-standin.dll", bits))[0] == MACHINE[bits]

    def test_the_entry_point_is_exported_undecorated(self, bits):
        assert exported_names(standin_path("jvm-standin.dll", bits), bits) == {"JNI_CreateJavaVM"}
        assert exported_names(standin_path("jvm-noexport.dll", bits), bits) == set()


class TestJavaStandin:
    def test_prints_banner_lines_to_stderr_in_order_and_others_to_stdout(self, tmp_path):
        runtime = make_runtime(tmp_path / "jre", "jre8",
                               banner=["first line", "", "dritte Zeile \u00fc"], exit_code=7)
        runtime.set_banner(stdout=["out one", "out two"])
        result = run_launcher(runtime.java, ["-version"])
        assert result.exit_code == 7
        assert result.stderr_bytes == "first line\r\n\r\ndritte Zeile \u00fc\r\n".encode()
        assert result.stdout_bytes == b"out one\r\nout two\r\n"

    @pytest.mark.parametrize("code", [0, 1, 255, 256, -1, 4294967294])
    def test_exits_with_the_configured_code(self, tmp_path, code):
        runtime = make_runtime(tmp_path / "jre", "modern", exit_code=code)
        result = run_launcher(runtime.java, ["-version"])
        unsigned = code & 0xFFFFFFFF
        assert result.exit_code == (unsigned - (1 << 32) if unsigned >= 1 << 31 else unsigned)

    @pytest.mark.parametrize("kind, version, first, second", [
        ("jre8", "1.8.0_45", 'java version "1.8.0_45"',
         "Java(TM) SE Runtime Environment (build 1.8.0_45-b09)"),
        ("jdk8", "1.7.0_80", 'java version "1.7.0_80"',
         "Java(TM) SE Runtime Environment (build 1.7.0_80-b09)"),
        ("modern", "11.0.2", 'openjdk version "11.0.2" 2025-04-15',
         "OpenJDK Runtime Environment (build 11.0.2+6)"),
    ])
    def test_a_version_makes_the_banner_of_the_kind(self, tmp_path, kind, version, first, second):
        runtime = make_runtime(tmp_path / kind, kind, version=version)
        lines = run_launcher(runtime.java, ["-version"]).stderr.splitlines()
        assert lines[:2] == [first, second]

    def test_an_empty_banner_prints_nothing(self, tmp_path):
        runtime = make_runtime(tmp_path / "jre", "jre8", banner=[])
        result = run_launcher(runtime.java, ["-version"])
        assert (result.exit_code, result.stderr_bytes, result.stdout_bytes) == (0, b"", b"")
        assert runtime.finished() == 1

    def test_without_configuration_it_is_java_8(self, tmp_path):
        java = tmp_path / "java.exe"
        java.write_bytes(standin_path("java-standin.exe").read_bytes())
        result = run_launcher(java, ["-version"])
        assert (result.exit_code, result.stderr_bytes) == (0, b'java version "1.8.0_201"\r\n')

    @pytest.mark.parametrize("line", ["version=1.8", "exit=x", "delay_ms=-5", "banner"])
    def test_a_configuration_line_it_does_not_understand_fails_loudly(self, tmp_path, line):
        (tmp_path / "java.exe").write_bytes(standin_path("java-standin.exe").read_bytes())
        (tmp_path / "standin.cfg").write_text(f"banner=fine\n{line}\n")
        result = run_launcher(tmp_path / "java.exe", ["-version"])
        assert result.exit_code == 120
        assert "standin.cfg line 2" in result.stderr

    def test_records_the_exact_command_line_at_start_and_end(self, tmp_path):
        runtime = make_runtime(tmp_path / "a dir" / "jre", "jre8")
        line = rig.quote_windows_arg(runtime.java_windows) + '  -version "x  y"'
        run_launcher(None, cmdline=line)
        log = (runtime.bin / "invocations.log").read_bytes().decode("utf-8").splitlines()
        assert log == [f"start {line}", f"end {line}"]
        assert runtime.invocations() == [line]
        assert runtime.finished() == 1

    def test_the_delay_comes_before_any_output(self, tmp_path):
        runtime = make_runtime(tmp_path / "jre", "jre8", delay_ms=1500)
        started = time.monotonic()
        result = run_launcher(runtime.java, ["-version"])
        assert time.monotonic() - started >= 1.5
        assert result.stderr.startswith('java version "1.8.0_201"')
        assert runtime.finished() == 1

    def test_a_terminated_probe_leaves_a_start_without_an_end(self, tmp_path):
        runtime = make_runtime(tmp_path / "jre", "jre8", delay_ms=20000)
        result = run_launcher(runtime.java, ["-version"], timeout=1.5)
        assert result.timed_out
        assert result.stderr_bytes == b""
        assert len(runtime.invocations()) == 1
        assert runtime.finished() == 0

    def test_launchers_sharing_a_directory_are_told_apart(self, tmp_path):
        runtime = make_runtime(tmp_path / "jdk", "jdk8")
        run_launcher(runtime.javaw, ["-version"])
        run_launcher(runtime.javaw, ["-version"])
        run_launcher(runtime.java, ["-version"])
        run_launcher(runtime.home / "bin" / "javac.exe", ["-version"])
        assert len(runtime.invocations()) == 4
        assert len(runtime.invocations("jre\\bin\\javaw.exe")) == 2
        assert runtime.finished("jre\\bin\\javaw.exe") == 2
        assert len(runtime.invocations(runtime.java)) == 1
        assert runtime.invocations("bin\\java.exe") == []
        assert len(runtime.invocations("bin\\javac.exe")) == 1

    def test_the_gui_javaw_prints_its_banner_too(self, tmp_path):
        runtime = make_runtime(tmp_path / "jre", "jre8", banner=["gui banner"], exit_code=3)
        result = run_launcher(runtime.javaw, ["-version"])
        assert (result.exit_code, result.stderr_bytes) == (3, b"gui banner\r\n")

    def test_simultaneous_starts_keep_every_line(self, tmp_path):
        # Wine appends in two steps (find the end, write there), so without the stand-in's
        # lock two processes now and then write to the same offset and one line is lost.
        runtime = make_runtime(tmp_path / "jre", "jre8", delay_ms=300)
        wine = rig.session()
        count = 16
        processes = [
            subprocess.Popen([str(rig.WINE64), str(runtime.java), "-version", f"run{i}"],
                             env=wine.unix_env(), cwd=tmp_path, stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for i in range(count)]
        for process in processes:
            process.wait(timeout=120)
        lines = (runtime.bin / "invocations.log").read_bytes().decode("utf-8").splitlines()
        assert len(lines) == 2 * count
        for i in range(count):
            mine = [line.split(" ", 1)[0] for line in lines if line.endswith(f" -version run{i}")]
            assert sorted(mine) == ["end", "start"], (i, lines)


class TestRuntimeLayouts:
    @pytest.mark.parametrize("kind, files, absent, java, jvm", [
        ("jre8", ["bin/java.exe", "bin/javaw.exe", "bin/client/jvm.dll", "lib/rt.jar"],
         ["jre", "bin/javac.exe", "bin/server"], "bin/java.exe", "bin/client/jvm.dll"),
        ("jdk8", ["bin/java.exe", "bin/javaw.exe", "bin/javac.exe", "jre/bin/java.exe",
                  "jre/bin/javaw.exe", "jre/bin/server/jvm.dll", "lib/tools.jar",
                  "jre/lib/rt.jar"],
         ["bin/server", "bin/client", "jre/bin/client"], "jre/bin/java.exe",
         "jre/bin/server/jvm.dll"),
        ("modern", ["bin/java.exe", "bin/javaw.exe", "bin/javac.exe", "bin/server/jvm.dll",
                    "lib/modules"], ["jre", "bin/client", "lib/rt.jar"], "bin/java.exe",
         "bin/server/jvm.dll"),
    ])
    def test_layout_of_each_generation(self, tmp_path, kind, files, absent, java, jvm):
        runtime = make_runtime(tmp_path / kind, kind)
        for relative in files:
            assert (runtime.home / relative).is_file(), relative
        for relative in absent:
            assert not (runtime.home / relative).exists(), relative
        assert runtime.java == runtime.home / java
        assert runtime.javaw == runtime.java.with_name("javaw.exe")
        assert runtime.jvm_dll == runtime.home / jvm
        assert runtime.bin == runtime.java.parent

    def test_copies_are_independent_of_the_build(self, tmp_path):
        runtime = make_runtime(tmp_path / "jdk", "jdk8")
        build_copy = standin_path("java-standin.exe")
        before = build_copy.stat().st_mtime_ns
        new_time = runtime.touch()
        assert build_copy.stat().st_mtime_ns == before
        assert runtime.java.stat().st_nlink == 1
        assert runtime.last_write_time() == new_time
        assert runtimes.filetime(runtime.home / "bin" / "java.exe") != new_time

    def test_without_javaw(self, tmp_path):
        runtime = make_runtime(tmp_path / "jre", "modern", javaw=False)
        assert runtime.javaw is None
        assert not (runtime.bin / "javaw.exe").exists()
        assert runtime.java.is_file()

    @pytest.mark.parametrize("bits", [64, 32])
    def test_jvm_choices(self, tmp_path, bits):
        def made(jvm, vm=None):
            return make_runtime(tmp_path / f"{jvm}-{vm}", "jre8", jvm=jvm, vm=vm, bits=bits,
                                java_bits=64)

        ok = made("ok")
        assert ok.jvm_dll.read_bytes() == standin_path("jvm-standin.dll", bits).read_bytes()
        assert pe_header(made("other-bits").jvm_dll)[0] == MACHINE[96 - bits]
        assert (made("noexport").jvm_dll.read_bytes()
                == standin_path("jvm-noexport.dll", bits).read_bytes())
        assert not made("junk").jvm_dll.read_bytes().startswith(b"MZ")
        assert not made("none").jvm_dll.exists()
        assert made("ok", vm="server").jvm_dll == tmp_path / "ok-server" / "bin/server/jvm.dll"
        assert pe_header(ok.java)[0] == MACHINE[64]

    def test_set_banner_reaches_every_copy_and_keeps_the_rest(self, tmp_path):
        runtime = make_runtime(tmp_path / "jdk", "jdk8", exit_code=4)
        runtime.set_banner(version="1.8.0_301")
        for java in (runtime.java, runtime.home / "bin" / "java.exe"):
            result = run_launcher(java, ["-version"])
            assert result.stderr.splitlines()[0] == 'java version "1.8.0_301"'
            assert result.exit_code == 4


class TestFileTime:
    def test_unix_time_converts_as_windows_lists_it(self, tmp_path):
        sample = tmp_path / "sample.bin"
        sample.write_bytes(b"x")
        # Sub-100-ns digits show whether both sides cut the same way.
        mtime_ns = 1_600_000_000_123_456_789
        os.utime(sample, ns=(mtime_ns, mtime_ns))
        assert runtimes.filetime(sample) == 132_444_736_001_234_567
        assert windows_filetime(sample) == runtimes.filetime(sample)
        assert runtimes.filetime_bytes(sample) == struct.pack("<Q", 132_444_736_001_234_567)

    def test_touch_moves_the_time_windows_sees(self, tmp_path):
        runtime = make_runtime(tmp_path / "jre", "jre8")
        before = windows_filetime(runtime.java)
        after = runtime.touch(seconds=3)
        assert after - before == 30_000_000
        assert windows_filetime(runtime.java) == after


class TestJvmStandin:
    def test_loads_and_has_the_entry_point(self, tmp_path):
        runtime = make_runtime(tmp_path / "jre", "jre8")
        assert loadjvm(runtime.jvm_dll).exit_code == 0

    @pytest.mark.parametrize("jvm", ["noexport", "junk", "none", "other-bits"])
    def test_unusable_jvms_fail(self, tmp_path, jvm):
        runtime = make_runtime(tmp_path / "jre", "modern", jvm=jvm)
        assert loadjvm(runtime.jvm_dll).exit_code == 1

    def test_the_record_holds_its_path_and_both_views_of_path(self, tmp_path):
        runtime = make_runtime(tmp_path / "Program Files" / "jre", "jre8")
        path = "C:\\windows\\system32;Z:\\some dir\\bin;C:\\windows"
        assert loadjvm(runtime.jvm_dll, env={"PATH": path}).exit_code == 0
        record = runtime.jvm_record()
        assert len(record) == 3, record
        assert record[0].lower() == f"loaded={runtime.jvm_dll_windows}".lower()
        assert record[1:] == [f"PATH={path}", f"CRT_PATH={path}"]

    def test_an_absent_path_is_recorded_as_unset(self, tmp_path):
        runtime = make_runtime(tmp_path / "jre", "jre8")
        assert loadjvm(runtime.jvm_dll, env={"PATH": None}).exit_code == 0
        assert runtime.jvm_record()[1:] == ["PATH=<unset>", "CRT_PATH=<unset>"]

    def test_every_load_and_call_is_appended(self, tmp_path):
        runtime = make_runtime(tmp_path / "jre", "modern")
        assert loadjvm(runtime.jvm_dll).exit_code == 0
        result = loadjvm(runtime.jvm_dll, extra=["--create"])
        assert result.exit_code == 0
        assert result.stdout_bytes == b"JNI_CreateJavaVM returned -1\r\n"
        record = runtime.jvm_record()
        assert [line.split("=", 1)[0] for line in record] == [
            "loaded", "PATH", "CRT_PATH", "loaded", "PATH", "CRT_PATH", "create"]

    def test_loadjvm_refuses_other_arguments(self, tmp_path):
        runtime = make_runtime(tmp_path / "jre", "jre8")
        assert run_launcher(standin_path("loadjvm.exe"), []).exit_code == 2
        assert loadjvm(runtime.jvm_dll, extra=["--other"]).exit_code == 2
        assert runtime.jvm_record() == []

    def test_32_bit_loads_32_bit(self, tmp_path, wine32_available):
        runtime = make_runtime(tmp_path / "jre", "jre8", bits=32, java_bits=64)
        assert loadjvm(runtime.jvm_dll, bits=32, timeout=600).exit_code == 0
        assert runtime.jvm_record()[0].lower() == f"loaded={runtime.jvm_dll_windows}".lower()


class TestUnpack200:
    def unpack(self, runtime, *arguments):
        line = " ".join([rig.quote_windows_arg(unix_to_windows(runtime.bin / "unpack200.exe")),
                         *arguments])
        return line, run_launcher(None, cmdline=line)

    @staticmethod
    def quoted(path):
        return f'"{unix_to_windows(path)}"'

    def test_restores_every_byte_and_removes_the_packed_file_with_r(self, tmp_path):
        runtime = make_runtime(tmp_path / "Program Files" / "Java" / "jre 8", "jdk8")
        original = bytes(range(256)) * 3 + b"\r\n\n\r\x1a"
        (runtime.home / "jre" / "lib" / "rt.jar").write_bytes(original)
        packed = runtime.pack(["jre\\lib\\rt.jar", "lib\\tools.jar"])
        rt_pack = runtime.home / "jre" / "lib" / "rt.jar.pack"
        assert packed[rt_pack] == original
        assert rt_pack.read_bytes() == runtimes.PACK_HEADER + original
        assert not (runtime.home / "jre" / "lib" / "rt.jar").exists()

        target = runtime.home / "jre" / "lib" / "rt.jar"
        line, result = self.unpack(runtime, "-r", self.quoted(rt_pack), self.quoted(target))
        assert result.exit_code == 0, result.stderr
        assert target.read_bytes() == original
        assert not rt_pack.exists()
        assert runtime.unpack_log() == [line]

    def test_without_r_the_packed_file_stays(self, tmp_path):
        runtime = make_runtime(tmp_path / "jre", "jre8")
        (packed, original), = runtime.pack(["lib\\rt.jar"]).items()
        target = packed.with_suffix("")
        _, result = self.unpack(runtime, self.quoted(packed), self.quoted(target))
        assert result.exit_code == 0
        assert target.read_bytes() == original
        assert packed.read_bytes() == runtimes.PACK_HEADER + original

    @pytest.mark.parametrize("content, code", [
        (runtimes.PACK_HEADER + runtimes.PACK_REFUSAL, 3),
        (b"PK\x03\x04 not packed", 2),
        (runtimes.PACK_HEADER[:-1], 2),
    ], ids=["refused", "no-header", "cut-header"])
    def test_failures_write_nothing_and_keep_the_packed_file(self, tmp_path, content, code):
        runtime = make_runtime(tmp_path / "jre", "jre8")
        (packed, _), = runtime.pack(["lib\\rt.jar"]).items()
        packed.write_bytes(content)
        target = packed.with_suffix("")
        _, result = self.unpack(runtime, "-r", self.quoted(packed), self.quoted(target))
        assert result.exit_code == code
        assert not target.exists()
        assert packed.read_bytes() == content

    def test_a_missing_argument_is_a_usage_error(self, tmp_path):
        runtime = make_runtime(tmp_path / "jre", "jre8")
        (packed, _), = runtime.pack(["lib\\rt.jar"]).items()
        line, result = self.unpack(runtime, "-r", self.quoted(packed))
        assert result.exit_code == 1
        assert packed.exists()
        assert runtime.unpack_log() == [line]


JAVASOFT = "HKLM\\SOFTWARE\\JavaSoft"


@pytest.mark.usefixtures("clean_registry")
class TestRegistry:
    @pytest.mark.parametrize("hive, wow64", [("HKLM", False), ("HKLM", True), ("HKCU", False)])
    def test_javasoft_registrations_round_trip(self, tmp_path, hive, wow64):
        runtime = make_runtime(tmp_path / "jre", "jre8")
        runtimes.register_javasoft("Java Runtime Environment", "1.8",
                                   {"1.8": runtime, "1.8.0_201": "C:\\Java\\jre \"8\"\\",
                                    "1.7": None}, hive=hive, wow64=wow64)
        view = "Wow6432Node\\" if wow64 else ""
        product = f"{hive}\\SOFTWARE\\{view}JavaSoft\\Java Runtime Environment"
        assert runtimes.registry_query(product) == {"CurrentVersion": ("REG_SZ", "1.8")}
        assert runtimes.registry_query(product + "\\1.8") == {
            "JavaHome": ("REG_SZ", runtime.home_windows)}
        assert runtimes.registry_query(product + "\\1.8.0_201") == {
            "JavaHome": ("REG_SZ", 'C:\\Java\\jre "8"\\')}
        assert runtimes.registry_query(product + "\\1.7") == {}
        runtimes.registry_clear()
        assert runtimes.registry_query(product) is None

    def test_a_product_without_current_version(self):
        runtimes.register_javasoft("JDK", None, {"17.0.15": "C:\\jdk17"})
        assert runtimes.registry_query(JAVASOFT + "\\JDK") == {}
        assert runtimes.registry_query(JAVASOFT + "\\JDK\\17.0.15") == {
            "JavaHome": ("REG_SZ", "C:\\jdk17")}

    @pytest.mark.parametrize("hive", ["HKCU", "HKLM"])
    def test_located_and_installations_round_trip(self, tmp_path, hive):
        runtime = make_runtime(tmp_path / "a b" / "jre", "modern")
        runtimes.add_located(hive, [runtime, "C:\\Program Files\\Java\\bin\\java.exe"])
        located = f"{hive}\\SOFTWARE\\dravik-labs\\tesmo\\locatedjvms"
        assert sorted(runtimes.registry_subkeys(located)) == sorted(
            [runtime.java_windows.replace("\\", "/"), "C:/Program Files/Java/bin/java.exe"])

        runtimes.set_installations(hive, "app one", runtime.home)
        runtimes.set_installations(hive, "other", "D:\\x\\")
        assert runtimes.registry_query(
            f"{hive}\\SOFTWARE\\dravik-labs\\korvane\\installations") == {
                "app one": ("REG_SZ", runtime.home_windows), "other": ("REG_SZ", "D:\\x\\")}

        runtimes.registry_clear()
        assert runtimes.registry_subkeys(located) == []
        assert runtimes.registry_query(f"{hive}\\SOFTWARE\\dravik-labs") is None

    def test_the_version_cache_round_trips(self, tmp_path):
        runtime = make_runtime(tmp_path / "Some JRE", "jre8")
        time_value = 0x01D2_3456_789A_BCDE
        runtimes.set_cached_version(runtime, time_value, "1.8.0_201")
        runtimes.set_cached_version("C:\\Program Files\\Java\\JRE\\bin\\java.exe", 5, "9")
        name = runtime.java_windows.lower().replace("\\", "/")
        assert runtimes.cached_versions() == {
            name: (struct.pack("<Q", time_value), "1.8.0_201"),
            "c:/program files/java/jre/bin/java.exe": (struct.pack("<Q", 5), "9"),
        }
        assert runtimes.registry_query(f"HKCU\\SOFTWARE\\dravik-labs\\tesmo\\jvms\\{name}") == {
            "LastWriteTime": ("REG_BINARY", "DEBC9A785634D201"),
            "Version": ("REG_SZ", "1.8.0_201")}

    def test_the_cache_reads_back_as_written_by_others(self):
        key = "HKCU\\SOFTWARE\\dravik-labs\\tesmo\\jvms"
        runtimes.registry_apply(
            runtimes.reg_key_text(f"{key}\\c:/a/java.exe", {"LastWriteTime": bytes(range(40)),
                                                           "Version": 'say "x" \\ y'})
            + runtimes.reg_key_text(f"{key}\\c:/b/java.exe", {"Version": "11"})
            + runtimes.reg_key_text(f"{key}\\c:/c/java.exe", {"LastWriteTime": 7}))
        assert runtimes.cached_versions() == {
            "c:/a/java.exe": (bytes(range(40)), 'say "x" \\ y'),
            "c:/b/java.exe": (None, "11"),
            "c:/c/java.exe": (7, None),
        }

    def test_read_registry_understands_every_value_kind(self):
        key = "HKCU\\SOFTWARE\\dravik-labs\\kinds"
        runtimes.registry_apply(
            "[HKEY_CURRENT_USER\\SOFTWARE\\dravik-labs\\kinds]\r\n"
            '@="default"\r\n'
            '"dword"=dword:fffffffe\r\n'
            '"qword"=hex(b):01,02,03,04,05,06,07,08\r\n'
            '"expand"=hex(2):25,00,41,00,25,00,00,00\r\n'
            '"multi"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n'
            '"long"=hex:' + ",".join("ab" for _ in range(300)) + "\r\n\r\n"
            "[HKEY_CURRENT_USER\\SOFTWARE\\dravik-labs\\kinds\\sub]\r\n"
            '"s"="v"\r\n')
        assert runtimes.read_registry(key) == {
            "": {"": "default", "dword": 0xFFFFFFFE, "qword": bytes(range(1, 9)),
                 "expand": "%A%", "multi": "a\0b", "long": b"\xab" * 300},
            "sub": {"s": "v"},
        }
        assert runtimes.read_registry(key + "\\missing") == {}

    def test_value_deletion_and_key_deletion_in_one_import(self):
        key = "HKCU\\SOFTWARE\\dravik-labs\\x"
        runtimes.registry_apply(runtimes.reg_key_text(key + "\\a", {"keep": "1", "drop": "2"})
                                + runtimes.reg_key_text(key + "\\b"))
        runtimes.registry_apply(runtimes.reg_key_text(key + "\\a", {"drop": None})
                                + runtimes.reg_delete_text(key + "\\b"))
        assert runtimes.read_registry(key) == {"": {}, "a": {"keep": "1"}}

    def test_clear_empties_both_hives_and_views(self):
        keys = [f"{hive}\\SOFTWARE\\{view}{name}\\k" for hive in ("HKCU", "HKLM")
                for view in ("", "Wow6432Node\\") for name in ("dravik-labs", "JavaSoft")]
        runtimes.registry_apply("".join(runtimes.reg_key_text(k, {"v": "1"}) for k in keys))
        assert all(runtimes.registry_query(k) == {"v": ("REG_SZ", "1")} for k in keys)
        runtimes.registry_clear()
        assert [k for k in keys if runtimes.registry_query(k) is not None] == []

    def test_a_thousand_located_entries_import_in_seconds(self):
        paths = [f"C:\\runtimes\\jre {i:04d}\\bin\\java.exe" for i in range(1000)]
        started = time.monotonic()
        runtimes.add_located("HKCU", paths)
        elapsed = time.monotonic() - started
        assert elapsed < 5, elapsed
        names = runtimes.registry_subkeys("HKCU\\SOFTWARE\\dravik-labs\\tesmo\\locatedjvms")
        assert sorted(names) == sorted(p.replace("\\", "/") for p in paths)
