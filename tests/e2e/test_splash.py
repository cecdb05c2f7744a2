"""The splash screen end to end: the launcher's own window on the X display, compared pixel
by pixel with the bitmap it was given; when it goes away (the application's first window,
the application's controller, a message box); and the Java runtime's splash library, played
by the stand-in splashscreen.dll. ``wintest watch`` records when each window of the
launcher's process is visible; the stand-in VM's record shows the controller's answers and
the splash thread's attach and detach."""

from __future__ import annotations

import json
import os
import shutil
import subprocess
from pathlib import Path

import pytest

import rig
from rig import build_launcher, run_launcher, unix_to_windows, wait_for
from runtimes import make_runtime
from screens import differing, read_bmp8, screenshot, write_bmp8
from test_vm_launch import JAVA_RUNTIME, MESSAGES, application  # noqa: F401 (fixture)

WIDTH, HEIGHT, STATUS_Y, VERSION_Y = 400, 120, 10, 62
GREYS = [(v, v, v) for v in (0, 36, 72, 108, 144, 180, 216, 252)]
IMAGE_BYTES = bytes(range(256)) * 12 + b"tesmo splash image"
SPLASH_CLASS = "TesmoSplashScreen"
# A windowed launcher, which shows its messages in boxes. Both lines in one face and size
# so their weights can be compared; 24 points at 96 pixels per inch is a 32-pixel character
# height.
SPLASH = {
    101: "splash tests", 107: 1, 108: 1, 141: WIDTH, 142: HEIGHT, 145: 0, 147: 1,
    10109: 20, 10110: STATUS_Y, 10111: "Splash Hg", 10112: "Tahoma", 10113: 24,
    10114: "255,0,0", 10115: 400,
    10116: 20, 10117: VERSION_Y, 10118: "Splash Hg", 10119: "Tahoma", 10120: 24,
    10121: "0,0,255", 10122: 800,
}


def shade(x: int, y: int) -> int:
    # Blocks of 6 by 5 pixels, so a window off by one pixel in either direction shows.
    return (x // 6 + 2 * (y // 5)) % len(GREYS)


def tinted(pixel, channel: int, by: int = 0) -> bool:
    """Text is smoothed into the grey beneath, so any red tint is the status line's and any
    blue tint the version line's; ``by`` 96 asks for what is mostly the colour itself."""
    others = [pixel[i] for i in range(3) if i != channel]
    return pixel[channel] > others[0] + by and abs(others[0] - others[1]) <= 2


@pytest.fixture(scope="session")
def splash_stub(wine_session, tmp_path_factory):
    """The 64-bit stub given bitmap 10000 and RT_RCDATA 10000 through Windows' own resource
    functions."""
    root = tmp_path_factory.mktemp("splash-stub")
    write_bmp8(root / "splash.bmp", WIDTH, HEIGHT, GREYS, shade)
    (root / "image.bin").write_bytes(IMAGE_BYTES)
    shutil.copy(rig.launcher_stub(64), root / "stub.exe")
    added = rig.run_wine([str(rig.helper_path("wintest")), "add-resource",
                          "--file", unix_to_windows(root / "stub.exe"),
                          "--bitmap", unix_to_windows(root / "splash.bmp"),
                          "--rcdata", unix_to_windows(root / "image.bin")])
    assert added.returncode == 0, added.stderr
    return root / "stub.exe"


class SplashApp:
    """An installed application whose launcher shows a splash; main waits for ``done``."""

    def __init__(self, root: Path, application: Path, stub: Path, options="", settings=None,
                 **runtime):
        (root / "lib").mkdir(parents=True)
        shutil.copy(application, root / "lib" / "app.jar")
        shutil.copy(JAVA_RUNTIME, root / "lib" / "kvnruntime.jar")
        self.runtime = make_runtime(root / "jre", "jre8", **runtime)
        self.done = root / "done.flag"
        self.exe = build_launcher(root, {
            **MESSAGES, **SPLASH, 128: "B.\\jre", 122: "com.example.App",
            121: "A0.\\lib\\kvnruntime.jar;A1.\\lib\\app.jar",
            123: f"{options} -Dstandin.mainWait={unix_to_windows(self.done)}",
            **(settings or {})}, stub=stub)
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


def window_of(screen, width=WIDTH, height=HEIGHT):
    """The rows of the screen's centred rectangle, and its origin."""
    left, top = (screen.width - width) // 2, (screen.height - height) // 2
    return screen.region(left, top, width, height), left, top


def bitmap_mismatches(screen) -> int:
    """Pixels of the centred window that show neither the bitmap's grey nor a text line's
    colour in that line's half of the window."""
    wrong = 0
    for y, row in enumerate(window_of(screen)[0]):
        for x in range(WIDTH):
            pixel = row[3 * x:3 * x + 3]
            line = 2 if y >= VERSION_Y else 0
            wrong += pixel != bytes(GREYS[shade(x, y)]) and not tinted(pixel, line)
    return wrong


def splash_shown(display):
    """A screenshot once it shows the splash with its status line, else None."""
    screen = screenshot(display)
    _, left, top = window_of(screen)
    red = screen.count(left, top, WIDTH, VERSION_Y, lambda p: tinted(p, 0, 96))
    return screen if bitmap_mismatches(screen) == 0 and red > 20 else None


def splash_gone(display):
    return bitmap_mismatches(screenshot(display)) > WIDTH * HEIGHT // 2


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

    def visible(self, type_name: str) -> list[list[int]]:
        return [interval for w in self.windows(type_name) for interval in w["visible"]]


def calls(events, name):
    """The splash thread's calls, and the controller's answers to it."""
    return [e for e in events if e["call"] == name or e.get("name") == name]


def attaches(events):
    return calls(events, "AttachCurrentThread") + calls(events, "AttachCurrentThreadAsDaemon")


def splash_thread_detached_before_destroy(events):
    [main] = calls(events, "JNI_CreateJavaVM")
    splash = attaches(events)
    assert splash and splash[0]["thread"] != main["thread"]
    ends = [(e["call"], e["thread"]) for e in events]
    detach = ends.index(("DetachCurrentThread", splash[0]["thread"]))
    assert events[detach]["result"] == 0
    return detach < ends.index(("DestroyJavaVM", main["thread"]))


@pytest.mark.parametrize("auto_off", [1, 0])
def test_the_window_and_when_it_goes(tmp_path, application, splash_stub, display, auto_off):
    # The probe takes a while, and the splash is up before it ends.
    app = SplashApp(tmp_path / "app", application, splash_stub, "-Dstandin.main=window:3000",
                    {145: auto_off}, delay_ms=5000)
    seen = {}

    def look(pid):
        seen["watch"] = Watch(tmp_path / "watch.json", pid)
        wait_for(lambda: app.runtime.invocations(), "the version probe")
        seen["screen"] = wait_for(lambda: splash_shown(display), "the splash")
        assert app.runtime.finished() == 0, "the probe ended before the splash was seen"
        # The application's window opens once the splash thread has attached to the VM.
        wait_for(lambda: attaches(app.events()), "the splash to attach")
        app.done.touch()

    result = app.run(look)
    assert result.exit_code == 0, result.log_text
    screen, watch = seen["screen"], seen["watch"]
    _, left, top = window_of(screen)
    [window] = watch.windows(SPLASH_CLASS)
    assert window["rect"] == [left, top, left + WIDTH, top + HEIGHT]
    assert window["topmost"] is True and window["title"] == "splash tests"
    # Each line's text starts at its position; "H" and "g" span 31 of the 32 pixels of the
    # character height, and the line is as wide as Tahoma makes it (bold is wider).
    bounds = [screen.bounds(left, top + line_top, WIDTH, 50, lambda p, c=channel: tinted(p, c))
              for line_top, channel in ((0, 0), (VERSION_Y, 2))]
    for (x0, y0, x1, y1), line_top in zip(bounds, (STATUS_Y, VERSION_Y)):
        assert 20 <= x0 - left <= 23 and line_top <= y0 - top <= line_top + 10, bounds
        assert 29 <= y1 - y0 <= 33, bounds
    assert 150 <= bounds[0][2] - bounds[0][0] <= 162 < bounds[1][2] - bounds[1][0] - 10, bounds
    # Weight 800 against 400: the same text in the same size takes more ink.
    red = screen.count(left, top, WIDTH, VERSION_Y, lambda p: tinted(p, 0, 96))
    blue = screen.count(left, top + VERSION_Y, WIDTH, HEIGHT - VERSION_Y,
                        lambda p: tinted(p, 2, 96))
    assert blue > 1.3 * red, (red, blue)
    log = result.log_text.splitlines()
    assert log.index("Starting splash screen thread") < log.index("extracting files")
    assert "got version from execution 1.8.0_201" in log and "Initializing splash screen" in log

    [splash] = watch.visible(SPLASH_CLASS)
    [app_window] = watch.visible("TesmoStandinApplication")
    assert splash[0] < app_window[0]
    assert ("Splash screen auto off" in log) == bool(auto_off)
    if auto_off:
        # Off while the window is still up (how soon is for scripts/benchmark.py).
        assert app_window[0] <= splash[1] < app_window[1], (splash, app_window)
        assert splash_thread_detached_before_destroy(result.events)
    else:
        # Still attached when main has returned; a VM waits in DestroyJavaVM for attached
        # threads that are no daemons.
        assert splash[1] >= app_window[1]
        assert calls(result.events, "DestroyJavaVM")[0]["attachedThreads"] == []


def test_a_hidden_show_code_shows_nothing(tmp_path, application, splash_stub):
    app = SplashApp(tmp_path / "app", application, splash_stub)
    app.done.touch()
    log = app.run(lambda pid: None, show=0).log_text.splitlines()
    assert "Hiding splash screen" in log
    assert "Starting splash screen thread" not in log and "Initializing splash screen" not in log


def test_the_application_changes_the_text_and_closes_it(tmp_path, application, splash_stub,
                                                        display):
    triggers = [tmp_path / f"{name}.flag" for name in ("text", "close")]
    app = SplashApp(tmp_path / "app", application, splash_stub,
                    f'"-Dstandin.splash=2:;until:{unix_to_windows(triggers[0])};2:Second text Hg;'
                    f'until:{unix_to_windows(triggers[1])};1"')
    seen = {}

    def answered(text):
        # Two polls after the answer, so the text's paint has had its tick.
        events = app.events()
        at = [i for i, e in enumerate(events) if e.get("name") == "getText"
              and e["result"] == text]
        return at and len(calls(events[at[0]:], "getAction")) >= 2

    def drive(pid):
        # A null text leaves the status line as it was.
        wait_for(lambda: answered(None), "the null text")
        seen["before"] = wait_for(lambda: splash_shown(display), "the splash")
        triggers[0].touch()
        wait_for(lambda: answered("Second text Hg"), "the new text")
        seen["after"] = screenshot(display)
        triggers[1].touch()
        wait_for(lambda: splash_gone(display), "the splash to close", seconds=10)
        seen["closed"] = app.events()
        app.done.touch()

    result = app.run(drive)
    assert result.exit_code == 0, result.log_text
    assert bitmap_mismatches(seen["after"]) == 0
    assert differing(window_of(seen["after"])[0], window_of(seen["before"])[0]) > 0
    events = result.events
    answers = [e["result"] for e in calls(events, "getAction")]
    assert 1 in answers and answers[answers.index(1) + 1:] == []
    assert [e["result"] for e in calls(events, "getText")] == [None, "Second text Hg"]
    # The characters were released, and no call was made with an exception pending.
    pinned = calls(events, "GetStringChars") + calls(events, "ReleaseStringChars")
    assert [(e["call"], e.get("pinned")) for e in pinned][-1] == ("ReleaseStringChars", 0)
    assert len(pinned) == 2
    assert not [e for e in events if e["call"] in ("warning", "fatal", "unimplemented")]
    # Detached when it closed, while the application still ran.
    assert splash_thread_detached_before_destroy(events)
    assert calls(seen["closed"], "DetachCurrentThread")


@pytest.mark.parametrize("closed_first", [False, True])
def test_the_splash_is_hidden_before_a_message_box(tmp_path, application, splash_stub,
                                                   display, closed_first):
    # main fails once ``done`` exists, which ends the launcher with message 1005. With
    # ``closed_first`` the controller closes the splash at its first poll and its thread
    # ends with the window, so the box must not be given the dead window as owner.
    app = SplashApp(tmp_path / "app", application, splash_stub,
                    "-Dstandin.main=throw:java.lang.IllegalStateException" +
                    (" -Dstandin.splash=1" if closed_first else ""))
    watches = []

    def fail(pid):
        watches.append(Watch(tmp_path / "w.json", pid))
        if closed_first:
            wait_for(lambda: calls(app.events(), "DetachCurrentThread"), "the detach")
            wait_for(lambda: splash_gone(display), "the splash to close", seconds=10)
        else:
            wait_for(lambda: splash_shown(display), "the splash")
        app.done.touch()

    result = app.run(fail, box="ok")
    assert result.exit_code == 1
    assert result.box["text"].startswith("The JVM could not be started.")
    assert result.box["ownerClass"] == (None if closed_first else SPLASH_CLASS)
    assert SPLASH_CLASS not in result.box["otherVisibleClasses"]
    [splash] = watches[0].visible(SPLASH_CLASS)
    [box] = watches[0].visible("#32770")
    assert splash[1] <= box[0]


@pytest.mark.parametrize("options, exit_code, closes", [("", 0, []), ("-Xmx100g", 1, ["close"])])
def test_the_runtime_library_gets_the_image_unchanged(tmp_path, application, splash_stub,
                                                      options, exit_code, closes):
    app = SplashApp(tmp_path / "app", application, splash_stub, options, {10123: 1},
                    splash_library=True)
    app.done.touch()
    result = app.run(lambda pid: None, display=False)
    assert result.exit_code == exit_code
    pid = result.pid
    assert app.runtime.splash_record() == [f"{pid} {call}" for call in
                                           ["init", f"load {len(IMAGE_BYTES)} 1", *closes]]
    assert app.runtime.splash_image(pid) == IMAGE_BYTES
    log = [line.lower() for line in result.log_text.splitlines()]
    loaded = log.index(f"loading splashscreen dll from {app.runtime.home_windows.lower()}"
                       "\\bin\\..\\bin\\splashscreen.dll")
    assert log.index("loading of jvm-dll successful") < loaded
    assert log[loaded + 1].startswith("splash load memory returned 1 (")
    assert "starting splash screen thread" not in log


def test_readme_picture(tmp_path, application, display):
    """The picture in README.md: the demo's own launcher, built from examples/demo/demo.toml,
    showing its splash, everywhere its bitmap but where both lines are drawn. It is left in
    build/e2e/splash.png; TESMO_DOCS=1 copies it to docs/splash.png."""
    demo = rig.REPO_ROOT / "examples" / "demo"
    width, height, palette, pixels = read_bmp8(demo / "splash.bmp")
    shutil.copytree(demo, tmp_path / "demo")
    (tmp_path / "lib").mkdir()
    shutil.copy(application, tmp_path / "lib" / "demo.jar")
    shutil.copy(JAVA_RUNTIME, tmp_path / "lib" / "kvnruntime.jar")
    make_runtime(tmp_path / "jre", "jre8")
    config = tmp_path / "demo" / "demo.toml"
    done = tmp_path / "done.flag"
    config.write_text(config.read_text(encoding="utf-8").replace(
        "options = [", f"options = ['-Dstandin.mainWait={unix_to_windows(done)}', ", 1),
        encoding="utf-8")
    built = subprocess.run([str(rig.build_dir() / "native" / "tools" / "tesmo-build"), "build",
                            str(config), "--stub", str(rig.launcher_stub(64)),
                            "--out", str(tmp_path / "demo.exe")], capture_output=True, text=True)
    assert built.returncode == 0, built.stderr
    shots = []

    def shown():
        screen = screenshot(display)
        rows, left, top = window_of(screen, width, height)
        picture = sum(rows[y][3 * x:3 * x + 3] == bytes(palette[pixels[y][x]])
                      for y in range(height) for x in range(width))
        text = sum(tuple(row[i:i + 3]) not in palette for row in rows
                   for i in range(0, 3 * width, 3))
        whole = picture + text == width * height and picture > 0.8 * width * height
        return (screen, left, top) if whole and text > 300 else None

    def look(pid):
        shots.append(wait_for(shown, "the demo's splash"))
        done.touch()

    assert run_launcher(tmp_path / "demo.exe", display=True, started=look).exit_code == 0
    screen, left, top = shots[0]
    out = rig.build_dir() / "e2e" / "splash.png"
    out.parent.mkdir(parents=True, exist_ok=True)
    screen.save_png(out, left - 16, top - 16, width + 32, height + 32)
    if os.environ.get("TESMO_DOCS") == "1":
        shutil.copy(out, rig.REPO_ROOT / "docs" / "splash.png")
