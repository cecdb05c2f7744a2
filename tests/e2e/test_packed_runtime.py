"""A runtime installed beside the launcher with its archives packed: the real launcher
restores them with the runtime's own unpack200 before it checks the runtime.

The unpack200 stand-in records every command line it is started with and restores our
packed format byte for byte, so the tests see both what the launcher asked for and what it
got on disk."""

import pytest

import runtimes
from rig import build_launcher, run_launcher, unix_to_windows
from runtimes import LOADED, make_runtime

LOG = {"TESMO_LOG": "yes"}
# Every archive the launcher knows, in the order it restores them.
ARCHIVES = ["lib\\rt.jar", "lib\\jfxrt.jar", "lib\\charsets.jar", "lib\\plugin.jar",
            "lib\\deploy.jar", "lib\\ext\\localedata.jar", "lib\\jsse.jar"]
# The runtimes of the tests lack these two, as runtimes without JavaFX and the browser
# plug-in do.
ABSENT = {"lib\\jfxrt.jar", "lib\\plugin.jar"}
MARKERS = ("Unpacking JRE", "pack path doesn't exists", "unpack200", "unpack done",
           "could not create unpack process", "could not delete packed file")
INTERNAL_ERROR = "An internal error occurred (error code: {0})"
TITLE = "Packed runtime tests"


def unix_relative(archive):
    return archive.replace("\\", "/")


def packed_runtime(tmp_path, directory, archives, **options):
    """A jre8 runtime at tmp_path/directory whose ``archives`` exist and are then packed;
    returns the runtime and the bytes each packed file must be restored to."""
    runtime = make_runtime(tmp_path / directory, "jre8", **options)
    for archive in archives:
        path = runtime.home / unix_relative(archive)
        if not path.exists():
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(f"{archive}\n".encode() + bytes(range(256)) + b"\r\n\x1a")
    return runtime, runtime.pack(archives)


def launch(tmp_path, directory, settings=None, env=LOG, **options):
    exe = build_launcher(tmp_path, {128: f"B.\\{directory}", **(settings or {})})
    return run_launcher(exe, env=env, **options)


def home_text(runtime):
    """The home as the launcher forms it from a relative location: absolute and lowered."""
    return unix_to_windows(runtime.home).lower()


def tool_and_arguments(runtime, archive):
    home = home_text(runtime)
    return (f"{home}\\bin\\unpack200.exe",
            f'-r "{home}\\{archive}.pack" "{home}\\{archive}"')


def command_line(runtime, archive):
    tool, arguments = tool_and_arguments(runtime, archive)
    return f'"{tool}" {arguments}'


def unpack_lines(result):
    lines = result.log_text.splitlines()
    return [line for line in lines
            if line.startswith('-r "') or any(marker in line for marker in MARKERS)]


def section(lines, first, last):
    return lines[lines.index(first):lines.index(last) + 1]


class TestUnpacking:
    @pytest.mark.parametrize("directory", ["jre", "my jre", "50%s jre"],
                             ids=["plain", "spaces", "percent"])
    def test_every_archive_is_restored_in_order_before_the_check(self, tmp_path, directory):
        present = [a for a in ARCHIVES if a not in ABSENT]
        runtime, originals = packed_runtime(tmp_path, directory, present)
        result = launch(tmp_path, directory)
        assert result.exit_code == LOADED, result.log_text

        expected = ["Unpacking JRE"]
        for archive in ARCHIVES:
            if archive in ABSENT:
                expected.append("pack path doesn't exists")
            else:
                expected += [*tool_and_arguments(runtime, archive),
                             "waiting for unpack200 to finish", "unpack done"]
        expected.append("Unpacking JRE done")
        lines = result.log_text.splitlines()
        assert section(lines, "Unpacking JRE", "Unpacking JRE done") == expected
        assert runtime.unpack_log() == [command_line(runtime, a) for a in present]
        assert result.stdout.splitlines() == ["Preparing JRE ..."]

        for packed, content in originals.items():
            assert packed.with_suffix("").read_bytes() == content, packed
        assert sorted(runtime.home.rglob("*.pack")) == []
        restored = [runtime.home / unix_relative(a) for a in present]
        last = restored[-1].stat().st_mtime_ns
        assert all(path.stat().st_mtime_ns <= last for path in restored)

        # The runtime is checked, and loaded, as restored.
        first_check = next(i for i, line in enumerate(lines) if line.startswith("checkJavaExe ("))
        assert lines.index("Unpacking JRE done") < first_check
        assert [line.lower() for line in runtime.jvm_record() if line.startswith("loaded=")] == [
            f"loaded={runtime.jvm_dll_windows}".lower()]

        again = launch(tmp_path, directory)
        assert again.exit_code == LOADED
        assert unpack_lines(again) == []
        assert again.stdout == ""
        assert runtime.unpack_log() == [command_line(runtime, a) for a in present]

    def test_a_failing_archive_does_not_stop_the_others(self, tmp_path):
        archives = ["lib\\rt.jar", "lib\\charsets.jar", "lib\\jsse.jar"]
        runtime, originals = packed_runtime(tmp_path, "jre", archives)
        refused = runtime.home / "lib" / "charsets.jar.pack"
        refused.write_bytes(runtimes.PACK_HEADER + runtimes.PACK_REFUSAL)
        result = launch(tmp_path, "jre")

        assert result.exit_code == LOADED, result.log_text
        assert runtime.unpack_log() == [command_line(runtime, a) for a in archives]
        assert not (runtime.home / "lib" / "charsets.jar").exists()
        # The tool kept the file it refused; the launcher removes it all the same.
        assert not refused.exists()
        for archive in ("lib\\rt.jar", "lib\\jsse.jar"):
            path = runtime.home / unix_relative(archive)
            assert path.read_bytes() == originals[path.with_name(path.name + ".pack")]
        assert not any(line.startswith("could not delete packed file")
                       for line in result.log_text.splitlines())

    @pytest.mark.parametrize("state", ["finished", "ordinary"])
    def test_a_runtime_that_needs_nothing_is_left_alone(self, tmp_path, state):
        if state == "finished":
            # Packed main archive, but the last archive is already there.
            runtime, _ = packed_runtime(tmp_path, "jre", ["lib\\rt.jar"])
            (runtime.home / "lib" / "jsse.jar").write_bytes(b"unpacked earlier")
        else:
            runtime, _ = packed_runtime(tmp_path, "jre", [])
        archives = runtime.home / "lib"
        before = {p: p.read_bytes() for p in archives.rglob("*") if p.is_file()}
        result = launch(tmp_path, "jre")

        assert result.exit_code == LOADED, result.log_text
        assert unpack_lines(result) == []
        assert result.stdout == ""
        assert runtime.unpack_log() == []
        assert {p: p.read_bytes() for p in archives.rglob("*") if p.is_file()} == before


class TestMissingTool:
    def runtime_without_tool(self, tmp_path):
        runtime, originals = packed_runtime(tmp_path, "my jre", ["lib\\rt.jar", "lib\\jsse.jar"])
        (runtime.bin / "unpack200.exe").unlink()
        return runtime, originals

    def test_is_fatal_with_the_internal_error_message(self, tmp_path):
        runtime, originals = self.runtime_without_tool(tmp_path)
        result = launch(tmp_path, "my jre", {1009: INTERNAL_ERROR})

        assert result.exit_code == 1
        assert result.stdout.splitlines() == ["Preparing JRE ..."]
        [log] = result.log_files
        assert result.stderr == (f"An internal error occurred (error code: 20)\r\n\r\n"
                                 f"Log: {unix_to_windows(log)}\r\n")
        lines = result.log_text.splitlines()
        tool, arguments = tool_and_arguments(runtime, "lib\\rt.jar")
        assert lines[lines.index("Unpacking JRE"):] == [
            "Unpacking JRE", tool, arguments, "could not create unpack process",
            # Every message first hides the splash, shown or not.
            "Hiding splash screen"]
        assert not any(line.startswith("checkJavaExe") for line in lines)
        assert sorted(runtime.home.rglob("*.pack")) == sorted(originals)

    def test_shows_a_box_in_a_windowed_launcher(self, tmp_path, display):
        self.runtime_without_tool(tmp_path)
        result = launch(tmp_path, "my jre", {107: 1, 1000: TITLE, 1009: INTERNAL_ERROR},
                        env=None, box="ok")
        assert result.exit_code == 1
        assert [(box["title"], box["text"], box["buttons"]) for box in result.boxes] == [
            (TITLE, "An internal error occurred (error code: 20)", ["OK"])]
        assert result.stderr == ""
