"""A runtime installed beside the launcher with its archives packed: the real launcher
restores them with the runtime's own unpack200 before it checks the runtime.

The unpack200 stand-in records every command line it is started with and restores our
packed format byte for byte, so the tests see both what the launcher asked for and what it
got on disk."""

import runtimes
from rig import build_launcher, run_launcher, unix_to_windows
from runtimes import LOADED, make_runtime

# Every archive the launcher knows, in the order it restores them; the runtime of the
# tests lacks the JavaFX and browser plug-in ones, as many do.
ARCHIVES = ["lib\\rt.jar", "lib\\jfxrt.jar", "lib\\charsets.jar", "lib\\plugin.jar",
            "lib\\deploy.jar", "lib\\ext\\localedata.jar", "lib\\jsse.jar"]
PRESENT = [a for a in ARCHIVES if a not in ("lib\\jfxrt.jar", "lib\\plugin.jar")]
# A space and a "%" in the home: the command line needs quotes, the log takes it as text.
DIRECTORY = "50%s jre"


def packed_runtime(tmp_path, archives):
    runtime = make_runtime(tmp_path / DIRECTORY, "jre8")
    for archive in archives:
        path = runtime.home / archive.replace("\\", "/")
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(f"{archive}\n".encode() + bytes(range(256)) + b"\r\n\x1a")
    return runtime, runtime.pack(archives)


def launch(tmp_path, settings=None):
    exe = build_launcher(tmp_path, {128: f"B.\\{DIRECTORY}", **(settings or {})})
    return run_launcher(exe, env={"TESMO_LOG": "yes"})


def tool_and_arguments(runtime, archive):
    home = unix_to_windows(runtime.home).lower()
    return (f"{home}\\bin\\unpack200.exe", f'-r "{home}\\{archive}.pack" "{home}\\{archive}"')


def test_every_archive_is_restored_in_order_before_the_check(tmp_path):
    runtime, originals = packed_runtime(tmp_path, PRESENT)
    refused = runtime.home / "lib" / "charsets.jar.pack"
    refused.write_bytes(runtimes.PACK_HEADER + runtimes.PACK_REFUSAL)
    result = launch(tmp_path)
    assert result.exit_code == LOADED, result.log_text

    expected = ["Unpacking JRE"]
    for archive in ARCHIVES:
        expected += ([*tool_and_arguments(runtime, archive), "waiting for unpack200 to finish",
                      "unpack done"] if archive in PRESENT else ["pack path doesn't exists"])
    lines = result.log_text.splitlines()
    start, done = lines.index("Unpacking JRE"), lines.index("Unpacking JRE done")
    assert lines[start:done] == expected
    assert done < next(i for i, line in enumerate(lines) if line.startswith("checkJavaExe ("))
    assert runtime.unpack_log() == ['"{}" {}'.format(*tool_and_arguments(runtime, archive))
                                    for archive in PRESENT]
    assert result.stdout.splitlines() == ["Preparing JRE ..."]
    # A refused archive stops none of the others, and its packed file goes all the same.
    assert sorted(runtime.home.rglob("*.pack")) == []
    assert not (runtime.home / "lib" / "charsets.jar").exists()
    for packed, content in originals.items():
        if packed != refused:
            assert packed.with_suffix("").read_bytes() == content, packed
    assert runtime.jvm_record()[0].lower() == f"loaded={runtime.jvm_dll_windows}".lower()

    # Neither a finished runtime with a packed file left over nor one never packed is touched.
    left_over = runtime.home / "lib" / "rt.jar.pack"
    left_over.write_bytes(b"left over")
    for state in ("finished", "never packed"):
        again = launch(tmp_path)
        assert (again.exit_code, again.stdout) == (LOADED, ""), state
        assert "Unpacking JRE" not in again.log_text.splitlines(), state
        left_over.unlink(missing_ok=True)
        (runtime.home / "lib" / "jsse.jar").unlink(missing_ok=True)
    assert len(runtime.unpack_log()) == len(PRESENT)


def test_a_missing_unpack200_is_an_internal_error(tmp_path):
    runtime, originals = packed_runtime(tmp_path, ["lib\\rt.jar", "lib\\jsse.jar"])
    (runtime.bin / "unpack200.exe").unlink()
    result = launch(tmp_path, {1009: "An internal error occurred (error code: {0})"})

    assert result.exit_code == 1
    assert result.stdout.splitlines() == ["Preparing JRE ..."]
    assert result.stderr == ("An internal error occurred (error code: 20)\r\n\r\n"
                             f"Log: {unix_to_windows(result.log_files[0])}\r\n")
    lines = result.log_text.splitlines()
    assert lines[lines.index("Unpacking JRE"):] == [
        "Unpacking JRE", *tool_and_arguments(runtime, "lib\\rt.jar"),
        "could not create unpack process", "Hiding splash screen"]
    assert sorted(runtime.home.rglob("*.pack")) == sorted(originals)
