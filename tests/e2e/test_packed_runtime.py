"""A runtime beside the launcher with packed archives: the real launcher restores them with the
runtime's unpack200 (a stand-in that records its command lines) before it checks the runtime."""

import runtimes
from rig import build_launcher, run_launcher, unix_to_windows
from runtimes import LOADED, make_runtime

# In the order they are restored, less the JavaFX and plug-in ones the tests' runtime lacks.
PRESENT = ["lib\\rt.jar", "lib\\charsets.jar", "lib\\deploy.jar", "lib\\ext\\localedata.jar",
           "lib\\jsse.jar"]


def run(tmp_path, archives, settings=None, refuse=(), without_tool=False):
    # The home needs quotes in a command line and holds a "%" the log must take as text.
    runtime = make_runtime(tmp_path / "50%s jre", "jre8")
    for archive in archives:
        path = runtime.home / archive.replace("\\", "/")
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(f"{archive}\n".encode() + bytes(range(256)) + b"\r\n\x1a")
    originals = runtime.pack(archives)
    for archive in refuse:
        path = runtime.home / (archive.replace("\\", "/") + ".pack")
        path.write_bytes(runtimes.PACK_HEADER + runtimes.PACK_REFUSAL)
        del originals[path]
    if without_tool:
        (runtime.bin / "unpack200.exe").unlink()
    exe = build_launcher(tmp_path, {128: "B.\\50%s jre", **(settings or {})})
    return runtime, originals, exe, run_launcher(exe, env={"TESMO_LOG": "yes"})


def test_every_archive_is_restored_in_order_before_the_check(tmp_path):
    runtime, originals, exe, result = run(tmp_path, PRESENT, refuse=["lib\\charsets.jar"])
    assert result.exit_code == LOADED, result.log_text
    home = unix_to_windows(runtime.home).lower()
    tool = [(f"{home}\\bin\\unpack200.exe", f'-r "{home}\\{a}.pack" "{home}\\{a}"')
            for a in PRESENT]
    assert runtime.unpack_log() == [f'"{path}" {arguments}' for path, arguments in tool]
    lines = result.log_text.splitlines()
    # Logged as text though they hold a "%", and all restored before the runtime is checked.
    logged = [line for line in lines if line.startswith((home, "-r "))]
    assert logged == [part for pair in tool for part in pair]
    done = lines.index("Unpacking JRE done")
    assert done < next(i for i, line in enumerate(lines) if line.startswith("checkJavaExe ("))
    assert result.stdout.splitlines() == ["Preparing JRE ..."]
    # A refused archive stops none of the others, and its packed file goes all the same.
    assert sorted(runtime.home.rglob("*.pack")) == []
    assert not (runtime.home / "lib" / "charsets.jar").exists()
    for packed, content in originals.items():
        assert packed.with_suffix("").read_bytes() == content, packed

    # Neither a finished runtime with a packed file left over nor one never packed is touched.
    left_over = runtime.home / "lib" / "rt.jar.pack"
    left_over.write_bytes(b"left over")
    for state in ("finished", "never packed"):
        again = run_launcher(exe, env={"TESMO_LOG": "yes"})
        assert (again.exit_code, again.stdout) == (LOADED, ""), state
        assert "Unpacking JRE" not in again.log_text.splitlines(), state
        left_over.unlink(missing_ok=True)
        (runtime.home / "lib" / "jsse.jar").unlink(missing_ok=True)


def test_a_missing_unpack200_is_an_internal_error(tmp_path):
    runtime, originals, _, result = run(
        tmp_path, ["lib\\rt.jar", "lib\\jsse.jar"],
        {1009: "An internal error occurred (error code: {0})"}, without_tool=True)
    assert result.exit_code == 1
    assert result.stderr.startswith("An internal error occurred (error code: 20)\r\n")
    assert "could not create unpack process" in result.log_text.splitlines()
    assert sorted(runtime.home.rglob("*.pack")) == sorted(originals)
