"""The splash screen end to end on the demo's own launcher, built from
examples/demo/demo.toml: its window on the X display compared with its bitmap, when it goes
away, and the Java runtime's splash library, played by the stand-in splashscreen.dll.
``wintest watch`` records when each window of the launcher's process is visible; the
stand-in VM's record shows the controller's answers and the splash thread's calls."""

from __future__ import annotations

import json
import os
import shutil
import subprocess
from pathlib import Path

import pytest

import rig
from rig import run_launcher, unix_to_windows, wait_for
from runtimes import make_runtime
from screens import differing, read_bmp8, screenshot
from test_vm_launch import JAVA_RUNTIME, application  # noqa: F401 (fixture)

DEMO = rig.REPO_ROOT / "examples" / "demo"
WIDTH, HEIGHT, PALETTE, PIXELS = read_bmp8(DEMO / "splash.bmp")
SPLASH_CLASS = "TesmoSplashScreen"
IMAGE_BYTES = bytes(range(256)) * 12 + b"tesmo splash image"


class Demo:
    """The demo installed in ``root``, its configuration edited by ``replace`` and given the
    stand-in's behaviour among its VM options; main waits for ``done``."""

    def __init__(self, root: Path, application: Path, options=(), replace=(), **runtime):
        shutil.copytree(DEMO, root / "demo")
        (root / "lib").mkdir()
        shutil.copy(application, root / "lib" / "demo.jar")
        shutil.copy(JAVA_RUNTIME, root / "lib" / "kvnruntime.jar")
        (root / "demo" / "image.bin").write_bytes(IMAGE_BYTES)
        self.runtime = make_runtime(root / "jre", "jre8", **runtime)
        self.done, config, self.exe = root / "done.flag", root / "demo" / "demo.toml", \
            root / "demo.exe"
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
        self.pid = None

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


def look(display):
    """A screenshot, the origin of its centred splash-sized rectangle, how many of its
    pixels show the bitmap, and how many in each line's band show the line's colour."""
    screen = screenshot(display)
    left, top = (screen.width - WIDTH) // 2, (screen.height - HEIGHT) // 2
    rows = screen.region(left, top, WIDTH, HEIGHT)
    picture = sum(rows[y][3 * x:3 * x + 3] == bytes(PALETTE[PIXELS[y][x]])
                  for y in range(HEIGHT) for x in range(WIDTH))
    lines = [screen.count(left, top + y, WIDTH, 30, lambda p, c=colour: p == c)
             for y, colour in ((36, (225, 240, 255)), (170, (255, 255, 255)))]
    return screen, left, top, picture, lines


def splash_shown(display):
    """The look once the window shows the bitmap everywhere but where both lines are."""
    seen = look(display)
    return seen if seen[3] + sum(seen[4]) > 0.9 * WIDTH * HEIGHT and min(seen[4]) > 20 \
        else None


def splash_gone(display):
    return look(display)[3] < WIDTH * HEIGHT // 2


class Watch:
    """``wintest watch`` on a running process: which of its windows were visible when."""

    def __init__(self, out: Path, pid: int):
        self.out = out
        self.process = subprocess.Popen(
            [str(rig.WINE64), str(rig.helper_path("wintest")), "watch", "--pid", str(pid),
             "--out", unix_to_windows(out), "--timeout-ms", "120000"],
            env=rig.session().unix_env(display=True), cwd=out.parent,
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)

    def windows(self, type_name: str) -> list[dict]:
        self.process.wait(timeout=60)
        found = json.loads(self.out.read_text(encoding="utf-8"))["windows"]
        return [w for w in found if w["class"] == type_name]


def calls(events, name):
    """The splash thread's calls, and the controller's answers to it."""
    return [e for e in events if e["call"] == name or e.get("name") == name]


def attaches(events):
    return calls(events, "AttachCurrentThread") + calls(events, "AttachCurrentThreadAsDaemon")


@pytest.mark.parametrize("auto_close", ["true", "false"])
def test_the_window_and_when_it_goes(tmp_path, application, display, auto_close):
    """The picture in README.md too: left in build/e2e/splash.png, and with TESMO_DOCS=1
    copied to docs/splash.png."""
    # The probe takes a while, and the splash is up before it ends.
    app = Demo(tmp_path, application, ["-Dstandin.main=window:3000"],
               [("auto-close = true", f"auto-close = {auto_close}")], delay_ms=5000)
    seen = {}

    def watch(pid):
        seen["watch"] = Watch(tmp_path / "watch.json", pid)
        wait_for(lambda: app.runtime.invocations(), "the version probe")
        seen["look"] = wait_for(lambda: splash_shown(display), "the splash")
        assert app.runtime.finished() == 0, "the probe ended before the splash was seen"
        # The application's window opens once the splash thread has attached to the VM.
        wait_for(lambda: attaches(app.events()), "the splash to attach")
        app.done.touch()

    result = app.run(watch)
    assert result.exit_code == 0, result.log_text
    screen, left, top = seen["look"][:3]
    [window] = seen["watch"].windows(SPLASH_CLASS)
    assert window["rect"] == [left, top, left + WIDTH, top + HEIGHT]
    log = result.log_text.splitlines()
    assert log.index("Starting splash screen thread") < log.index("extracting files")
    [splash] = window["visible"]
    [app_window] = seen["watch"].windows("TesmoStandinApplication")[0]["visible"]
    assert splash[0] < app_window[0]
    assert ("Splash screen auto off" in log) == (auto_close == "true")
    events, [main] = result.events, calls(result.events, "JNI_CreateJavaVM")
    attached = attaches(events)
    assert attached and attached[0]["thread"] != main["thread"]
    ends = [(e["call"], e["thread"]) for e in events]
    if auto_close == "true":
        # Off while the window is still up (how soon is for scripts/benchmark.py), and
        # detached before the VM goes.
        assert app_window[0] <= splash[1] < app_window[1], (splash, app_window)
        assert ends.index(("DetachCurrentThread", attached[0]["thread"])) < \
            ends.index(("DestroyJavaVM", main["thread"]))
        out = rig.build_dir() / "e2e" / "splash.png"
        out.parent.mkdir(parents=True, exist_ok=True)
        screen.save_png(out, left - 16, top - 16, WIDTH + 32, HEIGHT + 32)
        if os.environ.get("TESMO_DOCS") == "1":
            shutil.copy(out, rig.REPO_ROOT / "docs" / "splash.png")
    else:
        # Still attached when main has returned; a VM waits in DestroyJavaVM for attached
        # threads that are no daemons.
        assert splash[1] >= app_window[1]
        assert calls(events, "DestroyJavaVM")[0]["attachedThreads"] == []


def test_a_hidden_show_code_shows_nothing(tmp_path, application):
    app = Demo(tmp_path, application)
    app.done.touch()
    log = app.run(lambda pid: None, show=0).log_text.splitlines()
    assert "Hiding splash screen" in log and "Starting splash screen thread" not in log


def answered(events, text):
    """The controller's answer ``text``, two polls ago, so its paint has had its tick."""
    at = [i for i, e in enumerate(events) if e.get("name") == "getText" and e["result"] == text]
    return at and len(calls(events[at[0]:], "getAction")) >= 2


@pytest.mark.parametrize("controlled", [False, True])
def test_the_splash_is_hidden_before_a_message_box(tmp_path, application, display,
                                                   controlled):
    # main fails once ``done`` exists, which ends the launcher with message 1005. When
    # ``controlled`` the application changes the status line (a null text leaves it) and
    # closes the splash, whose thread ends with the window, so the box must not be given
    # the dead window as owner.
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
            seen["after"] = splash_shown(display)
            (tmp_path / "close").touch()
            wait_for(lambda: calls(app.events(), "DetachCurrentThread"), "the detach")
            wait_for(lambda: splash_gone(display), "the splash to close", seconds=10)
        app.done.touch()

    result = app.run(fail, box="ok")
    assert result.exit_code == 1
    assert result.box["text"].startswith("The JVM could not be started.")
    assert result.box["ownerClass"] == (None if controlled else SPLASH_CLASS)
    assert SPLASH_CLASS not in result.box["otherVisibleClasses"]
    if controlled:
        before, after = (seen[key][0].region(*seen[key][1:3], WIDTH, HEIGHT)
                         for key in ("before", "after"))
        assert differing(after, before) > 0
        answers = [e["result"] for e in calls(result.events, "getAction")]
        assert answers[-1] == 1 and answers.count(1) == 1
        # The characters were released, and no call was made with an exception pending.
        pinned = calls(result.events, "GetStringChars") + \
            calls(result.events, "ReleaseStringChars")
        assert [(e["call"], e.get("pinned")) for e in pinned][-1] == ("ReleaseStringChars", 0)
        assert not [e for e in result.events if e["call"] in ("warning", "fatal",
                                                              "unimplemented")]


def test_the_runtime_library_gets_the_image_and_is_closed_on_an_error(tmp_path, application):
    app = Demo(tmp_path, application, replace=[
        ("-Xmx256m", "-Xmx100g"),
        ("[splash]\n", '[splash]\nruntime-library = true\nimage = "image.bin"\n')],
        splash_library=True)
    app.done.touch()
    result = app.run(lambda pid: None, display=False)
    assert result.exit_code == 1
    assert app.runtime.splash_record() == [f"{result.pid} {call}" for call in
                                           ["init", f"load {len(IMAGE_BYTES)} 1", "close"]]
    assert app.runtime.splash_image(result.pid) == IMAGE_BYTES
    log = [line.lower() for line in result.log_text.splitlines()]
    loaded = log.index(f"loading splashscreen dll from {app.runtime.home_windows.lower()}"
                       "\\bin\\..\\bin\\splashscreen.dll")
    assert log.index("loading of jvm-dll successful") < loaded
    assert "starting splash screen thread" not in log
