"""The splash screen of the demo's own launcher (examples/demo/demo.toml) on the X display,
when it goes away, and the runtime's splash library, played by the stand-in splashscreen.dll;
the stand-in VM's record shows the controller's answers and the splash thread's calls."""

from __future__ import annotations

import json
import os
import shutil
import subprocess
from pathlib import Path

import pytest

import rig
from apps import DEMO, install_demo
from rig import run_launcher, unix_to_windows, wait_for
from screens import differing, read_bmp8, screenshot

WIDTH, HEIGHT, PALETTE, PIXELS = read_bmp8(DEMO / "splash.bmp")
SPLASH_CLASS = "TesmoSplashScreen"


class Demo:
    """The demo in ``root``, given VM options and ``replace``d settings; main awaits ``done``."""

    def __init__(self, root: Path, application: Path, options=(), replace=(), **runtime):
        self.runtime = install_demo(root / "demo", application, **runtime)
        self.done, config, self.exe = root / "done.flag", root / "demo" / "demo.toml", \
            root / "demo" / "demo.exe"
        options = [*options, f"-Dstandin.mainWait={unix_to_windows(self.done)}"]
        text = config.read_text(encoding="utf-8").replace(
            "options = [", "options = [" + "".join(f"'{o}', " for o in options), 1)
        for old, new in replace:
            text = text.replace(old, new)
        config.write_text(text, encoding="utf-8")
        built = subprocess.run([str(rig.build_dir() / "native" / "tools" / "tesmo-build"),
                                "build", str(config), "--stub", str(rig.launcher_stub(64)),
                                "--out", str(self.exe)], capture_output=True, text=True)
        assert built.returncode == 0, built.stderr

    def run(self, started, display=True, **kwargs):
        result = run_launcher(self.exe, env={"TESMO_LOG": "yes"}, display=display,
                              started=lambda pid: (setattr(self, "pid", pid), started(pid)),
                              **kwargs)
        result.events = self.events()
        return result

    def events(self):
        try:
            path = self.runtime.jvm_dll.parent / f"jvm-launch-{self.pid}.json"
            return json.loads(path.read_text(encoding="utf-8"))["events"]
        except (OSError, ValueError):
            return []  # not yet written, or caught while being rewritten


def splash_shown(display):
    """A screenshot and its centred window's origin once the window shows the bitmap but
    where the lines are drawn, each in its colour; else None."""
    screen = screenshot(display)
    left, top = (screen.width - WIDTH) // 2, (screen.height - HEIGHT) // 2
    rows = screen.region(left, top, WIDTH, HEIGHT)
    picture = sum(rows[y][3 * x:3 * x + 3] == bytes(PALETTE[PIXELS[y][x]])
                  for y in range(HEIGHT) for x in range(WIDTH))
    lines = [screen.count(left, top + y, WIDTH, 30, lambda p, c=colour: p == c)
             for y, colour in ((36, (225, 240, 255)), (170, (255, 255, 255)))]
    shown = picture + sum(lines) > 0.9 * WIDTH * HEIGHT and min(lines) > 20
    return (screen, left, top) if shown else None


def watch(out: Path, pid: int):
    """``wintest watch`` on a running process; once it has ended, the answer gives when the
    process's window of a class was visible."""
    process = subprocess.Popen(
        [str(rig.WINE64), str(rig.helper_path("wintest")), "watch", "--pid", str(pid),
         "--out", unix_to_windows(out), "--timeout-ms", "120000"],
        env=rig.session().unix_env(display=True), cwd=out.parent, stdin=subprocess.DEVNULL,
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)

    def visible(type_name: str) -> list[list[int]]:
        process.wait(timeout=60)
        return next(w["visible"] for w in json.loads(out.read_text(encoding="utf-8"))["windows"]
                    if w["class"] == type_name)
    return visible


def calls(events, name):
    return [e for e in events if e["call"] == name or e.get("name") == name]


def attaches(events):
    return calls(events, "AttachCurrentThread") + calls(events, "AttachCurrentThreadAsDaemon")


@pytest.mark.parametrize("auto_close", ["true", "false"])
def test_the_window_and_when_it_goes(tmp_path, application, display, auto_close):
    # The probe takes a while, and the splash is up before it ends. The picture in README.md
    # is left in build/e2e/splash.png, and with TESMO_DOCS=1 copied to docs/splash.png.
    app = Demo(tmp_path, application, ["-Dstandin.main=window:3000"],
               [("auto-close = true", f"auto-close = {auto_close}")], delay_ms=5000)
    seen = {}

    def look(pid):
        seen["visible"] = watch(tmp_path / "watch.json", pid)
        wait_for(lambda: app.runtime.invocations(), "the version probe")
        seen["look"] = wait_for(lambda: splash_shown(display), "the splash")
        assert app.runtime.finished() == 0, "the probe ended before the splash was seen"
        # The application's window opens once the splash thread has attached to the VM.
        wait_for(lambda: attaches(app.events()), "the splash to attach")
        app.done.touch()

    result = app.run(look)
    assert result.exit_code == 0, result.log_text
    screen, left, top = seen["look"]
    log = result.log_text.splitlines()
    assert log.index("Starting splash screen thread") < log.index("extracting files")
    [splash] = seen["visible"](SPLASH_CLASS)
    [app_window] = seen["visible"]("TesmoStandinApplication")
    assert splash[0] < app_window[0]
    assert ("Splash screen auto off" in log) == (auto_close == "true")
    events, attached = result.events, attaches(result.events)
    [main] = calls(events, "JNI_CreateJavaVM")
    assert attached and attached[0]["thread"] != main["thread"]
    ends = [(e["call"], e["thread"]) for e in events]
    if auto_close == "true":
        # Off while the window is up, and detached before the VM goes.
        assert app_window[0] <= splash[1] < app_window[1], (splash, app_window)
        assert ends.index(("DetachCurrentThread", attached[0]["thread"])) < \
            ends.index(("DestroyJavaVM", main["thread"]))
        out = rig.build_dir() / "e2e" / "splash.png"
        out.parent.mkdir(parents=True, exist_ok=True)
        screen.save_png(out, left - 16, top - 16, WIDTH + 32, HEIGHT + 32)
        if os.environ.get("TESMO_DOCS") == "1":
            shutil.copy(out, rig.REPO_ROOT / "docs" / "splash.png")
    else:
        # Attached past main as a daemon, which DestroyJavaVM does not wait for.
        assert splash[1] >= app_window[1]
        assert calls(events, "DestroyJavaVM")[0]["attachedThreads"] == []


def answered(events, text):
    """The controller's answer ``text``, two polls ago, so its paint has had its tick."""
    at = [i for i, e in enumerate(events) if e.get("name") == "getText" and e["result"] == text]
    return at and len(calls(events[at[0]:], "getAction")) >= 2


@pytest.mark.parametrize("controlled", [False, True])
def test_the_splash_is_hidden_before_a_message_box(tmp_path, application, display,
                                                   controlled):
    # main fails once ``done`` exists, ending the launcher with message 1005. ``controlled``
    # changes the status line (a null text leaves it) and closes the splash, ending its
    # thread with the window: the box must not be given the dead window as owner.
    text, close = (unix_to_windows(tmp_path / name) for name in ("text", "close"))
    script = f"-Dstandin.splash=2:;until:{text};2:Second text Hg;until:{close};1"
    app = Demo(tmp_path, application, ["-Dstandin.main=throw:java.lang.IllegalStateException",
                                       *([script] if controlled else [])])
    seen = {}

    def fail(pid):
        if controlled:
            wait_for(lambda: answered(app.events(), None), "the null text")
        seen["before"] = wait_for(lambda: splash_shown(display), "the splash")
        if controlled:
            (tmp_path / "text").touch()
            wait_for(lambda: answered(app.events(), "Second text Hg"), "the new text")
            seen["after"] = wait_for(lambda: splash_shown(display), "the new text drawn")
            (tmp_path / "close").touch()
            wait_for(lambda: calls(app.events(), "DetachCurrentThread"), "the detach")
            wait_for(lambda: not splash_shown(display), "the splash to close", seconds=10)
        app.done.touch()

    result = app.run(fail, box="ok")
    assert result.exit_code == 1
    assert result.box["text"].startswith("The JVM could not be started.")
    assert result.box["ownerClass"] == (None if controlled else SPLASH_CLASS)
    assert SPLASH_CLASS not in result.box["otherVisibleClasses"]
    if controlled:
        before, after = (seen[key][0].region(*seen[key][1:], WIDTH, HEIGHT)
                         for key in ("before", "after"))
        assert differing(after, before) > 0
        events = result.events
        answers = [e["result"] for e in calls(events, "getAction")]
        assert answers[-1] == 1 and answers.count(1) == 1
        # The characters were released, and no call was made with an exception pending.
        assert calls(events, "ReleaseStringChars")[-1]["pinned"] == 0
        assert not [e for e in events if e["call"] in ("warning", "fatal", "unimplemented")]


def test_the_runtime_library_gets_the_image_and_is_closed_on_an_error(tmp_path, application):
    app = Demo(tmp_path, application, replace=[("-Xmx256m", "-Xmx100g"), (
        "[splash]\n", '[splash]\nruntime-library = true\nimage = "splash.bmp"\n')],
        splash_library=True)
    app.done.touch()
    result = app.run(lambda pid: None, display=False)
    assert result.exit_code == 1
    image = (DEMO / "splash.bmp").read_bytes()
    assert app.runtime.splash_record() == [f"{result.pid} {call}" for call in
                                           ["init", f"load {len(image)} 1", "close"]]
    assert app.runtime.splash_image(result.pid) == image
