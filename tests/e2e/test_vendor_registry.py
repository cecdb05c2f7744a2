"""Entry V on the real registry and process (the rules case by case are the native table's), and
messages in the user's language in boxes and on standard error."""

import pytest

from rig import NO_RUNTIME, build_launcher, run_launcher
from runtimes import LOADED, REG_SZ, RegRaw, make_runtime, reg_key_text, registry_apply

# Each runtime's key and version ("-jre": no kit, "semeru": its VM in bin\j9vm). With
# an upper limit of 17 and a development kit required, Semeru's 17.0.10 is the highest to pass.
RUNTIMES = {"temurin": ("HKCU\\SOFTWARE\\Eclipse Adoptium\\JDK\\17.0.9.9\\hotspot\\MSI", "17.0.9"),
            "semeru": ("HKLM\\SOFTWARE\\Semeru\\JDK\\17.0.10.7\\openj9\\MSI", "17.0.10"),
            "zulu": ("HKLM\\SOFTWARE\\Azul Systems\\Zulu\\zulu-11", "11.0.22"),
            "microsoft": ("HKLM\\SOFTWARE\\Microsoft\\JDK\\21.0.2.13\\hotspot\\MSI", "21.0.2"),
            "liberica-jre": ("HKCU\\SOFTWARE\\BellSoft\\Liberica\\17", "17.0.11"),
            "adopt": ("HKLM\\SOFTWARE\\AdoptOpenJDK\\JDK\\11.0.2.9\\openj9\\MSI", "11.0.2")}
JUNK = "HKCU\\SOFTWARE\\Eclipse Adoptium\\JDK\\{}\\hotspot\\MSI"


def test_the_highest_version_loads_junk_is_skipped_and_a_warm_start_probes_nothing(tmp_path):
    fixture = "".join(reg_key_text(JUNK.format(i), {"Path": value}) for i, value in (
        (1, 17), (2, b"C:\\\0"), (3, "C:\\" + "x" * 6000), (4, "C:\\no\\such\\home")))
    runtimes = {}
    for name, (key, version) in RUNTIMES.items():
        kind, vm = "jre8" if "-jre" in name else "modern", "j9vm" if name == "semeru" else None
        runtime = runtimes[name] = make_runtime(tmp_path / name, kind, version, vm=vm)
        # As installers write it, with a trailing backslash; stored without a terminator.
        home = RegRaw(REG_SZ, (runtime.home_windows + "\\").encode("utf-16-le"))
        fixture += reg_key_text(key, {"InstallationPath" if "Zulu" in key or "Liberica" in key
                                      else "Path": home})
    registry_apply(fixture)
    exe = build_launcher(tmp_path / "app", {128: "V", 127: "17", 131: 1})
    probes = []
    for _ in ("cold", "warm"):
        result = run_launcher(exe, env={"TESMO_LOG": "yes"})
        assert result.exit_code == LOADED, result.log_text
        assert [name for name, runtime in runtimes.items() if runtime.jvm_record()] == ["semeru"]
        probes.append(sum(len(runtime.invocations()) for runtime in runtimes.values()))
    assert probes[0] > 0 and probes[1] == probes[0]
    lines = result.log_text.splitlines()
    assert [line.rsplit("\\", 1)[1] for line in lines if line.startswith((
        "vendor value HKEY_CURRENT_USER", "vendor home"))] == [
        "Path is not a string", "Path is not a string", "Path is longer than 5999 characters",
        "home does not exist"]
    # OpenJ9's VM folder comes after the fixed ones.
    assert [line for line in lines if line.startswith("Trying ")][-1] == \
        f"Trying {runtimes['semeru'].jvm_dll_windows.lower()} (exists 1)"


ENGLISH = {1000: "Error", 1016: "No Java runtime found.\nPlease install a {0}-bit JDK."}
# The demo's titles; U+2011 (a hyphen) and U+202F (French space before "!") need UTF-16.
SETS = {"de": {1000: "tesmo-Demo", 1016: "Keine Java\u2011Laufzeit.\nBitte ein {0}-Bit-JDK."},
        "fr": {1000: "Démo tesmo", 1016: "Aucun Java trouvé\u202f!\nInstallez un JDK {0} bits."}}


@pytest.mark.parametrize("lang", ["de_DE.UTF-8", "fr_FR.UTF-8", "it_IT.UTF-8"])
def test_messages_in_the_users_language_in_a_box_and_on_standard_error(tmp_path, display, lang):
    texts = SETS.get(lang[:2], ENGLISH)
    boxed = run_launcher(build_launcher(tmp_path / "box", {107: 1, 128: "V", **ENGLISH},
                                        locale_sets=SETS), box="ok", lang=lang)
    assert boxed.exit_code == NO_RUNTIME
    assert (boxed.box["title"], boxed.box["text"]) == (texts[1000], texts[1016].format(64))
    quiet = run_launcher(build_launcher(tmp_path / "quiet", {128: "V", **ENGLISH},
                                        locale_sets=SETS), lang=lang)
    # Localized texts as UTF-16, narrow ones in the code page.
    stderr = quiet.stderr_bytes.decode("utf-16-le") if lang[:2] in SETS else quiet.stderr
    assert stderr == texts[1016].format(64).replace("\n", "\r\n") + "\r\n"
