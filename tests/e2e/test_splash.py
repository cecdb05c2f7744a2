"""The splash screen end to end: the launcher's own window on the X display, compared pixel
by pixel with the bitmap it was given; when it goes away (the application's first window,
the application's controller, a message box); and the Java runtime's splash library, played
by the stand-in splashscreen.dll.

The launchers are the built stub given bitmap 10000 and RT_RCDATA 10000 through Windows'
own resource functions, then a block. ``wintest watch`` records when each window of the
launcher's process is visible; the stand-in VM's record shows the controller's answers and
the splash thread's attach and detach.
"""

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
from screens import Screen, differing, read_bmp8, screenshot, write_bmp8
from test_vm_launch import JAVA_RUNTIME, MESSAGES, application  # noqa: F401 (fixture)

WIDTH, HEIGHT = 400, 120
GREYS = [(v, v, v) for v in (0, 36, 72, 108, 144, 180, 216, 252)]
# Blocks of 6 by 5 pixels, so a window off by one pixel in either direction shows.
IMAGE_BYTES = bytes(range(256)) * 12 + b"tesmo splash image"
SPLASH_CLASS = "TesmoSplashScreen"
APP_CLASS = "TesmoStandinApplication"
LOG = {"TESMO_LOG": "yes"}

STATUS_Y, VERSION_Y = 10, 62
# A windowed launcher (107), which shows its messages in boxes. Both lines in one face and
# size so their weights can be compared; 24 points at 96 pixels per inch is a 32-pixel
# character height.
SPLASH = {
    101: "splash tests", 107: 1, 108: 1, 141: WIDTH, 142: HEIGHT, 145: 0, 147: 1,
    10109: 20, 10110: STATUS_Y, 10111: "Splash Hg", 10112: "Tahoma", 10113: 24,
    10114: "255,0,0", 10115: 400,
    10116: 20, 10117: VERSION_Y, 10118: "Splash Hg", 10119: "Tahoma", 10120: 24,
    10121: "0,0,255", 10122: 800,
}


def shade(x: int, y: int) -> int:
    return (x // 6 + 2 * (y // 5)) % len(GREYS)


# Text is smoothed: its edges blend the line's colour into the grey beneath, so any red
# tint on a grey is the status line's, any blue tint the version line's; "ink" is what is
# mostly the colour itself.
def tinted_red(p):
    return p[0] > p[1] and abs(p[1] - p[2]) <= 2


def tinted_blue(p):
    return p[2] > p[0] and abs(p[0] - p[1]) <= 2


def red_ink(p):
    return p[0] > p[1] + 96 and abs(p[1] - p[2]) <= 2


def blue_ink(p):
    return p[2] > p[0] + 96 and abs(p[0] - p[1]) <= 2


@pytest.fixture(scope="session")
def splash_stub(wine_session, tmp_path_factory):
    """The 64-bit stub with the test bitmap and the library's image as resources."""
    root = tmp_path_factory.mktemp("splash-stub")
    write_bmp8(root / "splash.bmp", WIDTH, HEIGHT, GREYS, shade)
    (root / "image.bin").write_bytes(IMAGE_BYTES)
    stub = root / "stub.exe"
    shutil.copy(rig.launcher_stub(64), stub)
    added = rig.run_wine([str(rig.helper_path("wintest")), "add-resource",
                          "--file", unix_to_windows(stub),
                          "--bitmap", unix_to_windows(root / "splash.bmp"),
                          "--rcdata", unix_to_windows(root / "image.bin")])
    assert added.returncode == 0, added.stderr
    return stub


class SplashApp:
    """An installed application whose launcher shows a splash; ``done`` ends its main when
    -Dstandin.mainWait names it."""

    def __init__(self, root: Path, application: Path, stub: Path, settings=None, **runtime):
        self.root = root
        lib = root / "lib"
        lib.mkdir(parents=True, exist_ok=True)
        shutil.copy(application, lib / "app.jar")
        shutil.copy(JAVA_RUNTIME, lib / "kvnruntime.jar")
        self.runtime = make_runtime(root / "jre", "jre8", **runtime)
        self.done = root / "done.flag"
        base = {**MESSAGES, 128: "B.\\jre", 122: "com.example.App",
                121: "A0.\\lib\\kvnruntime.jar;A1.\\lib\\app.jar", **SPLASH}
        self.exe = build_launcher(root, {**base, **(settings or {})}, stub=stub)
        self.pid = None

    def run(self, started=None, **kwargs):
        def remember(pid):
            self.pid = pid
            if started:
                started(pid)

        result = run_launcher(self.exe, env=LOG, display=kwargs.pop("display", True),
                              started=remember, **kwargs)
        result.record = self.record(result.pid)
        return result

    def record(self, pid):
        path = self.runtime.jvm_dll.parent / f"jvm-launch-{pid}.json"
        try:
            return json.loads(path.read_text(encoding="utf-8"))
        except (OSError, ValueError):
            return None  # not yet written, or caught while being rewritten

    def events(self):
        record = self.record(self.pid)
        return record["events"] if record else []


def origin(screen: Screen) -> tuple[int, int]:
    return (screen.width - WIDTH) // 2, (screen.height - HEIGHT) // 2


def bitmap_mismatches(screen: Screen) -> int:
    """Pixels of the centred window that show neither the bitmap's grey nor a text line's
    colour in that line's half of the window."""
    left, top = origin(screen)
    wrong = 0
    for y, row in enumerate(screen.region(left, top, WIDTH, HEIGHT)):
        for x in range(WIDTH):
            pixel = (row[3 * x], row[3 * x + 1], row[3 * x + 2])
            if pixel == GREYS[shade(x, y)]:
                continue
            if (tinted_red(pixel) and y < VERSION_Y) or (tinted_blue(pixel) and y >= VERSION_Y):
                continue
            wrong += 1
    return wrong


def splash_shown(display):
    """A screenshot once it shows the splash with its status line, else None."""
    screen = screenshot(display)
    left, top = origin(screen)
    if bitmap_mismatches(screen) == 0 and screen.count(left, top, WIDTH, VERSION_Y, red_ink) > 20:
        return screen
    return None


def splash_gone(display):
    screen = screenshot(display)
    return screen if bitmap_mismatches(screen) > WIDTH * HEIGHT // 2 else None


def status_region(screen: Screen) -> list[bytes]:
    left, top = origin(screen)
    return screen.region(left, top, WIDTH, VERSION_Y)


def text_bounds(screen: Screen, line_top: int, wanted):
    """The bounds of a line's text pixels in window coordinates."""
    left, top = origin(screen)
    found = screen.bounds(left, top + line_top, WIDTH, 50, wanted)
    assert found, "no text pixels of the line's colour"
    return found[0] - left, found[1] - top, found[2] - left, found[3] - top


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
        found = json.loads(self.out.read_text(encoding="utf-8"))
        return [w for w in found["windows"] if w["class"] == type_name]

    def visible(self, type_name: str) -> list[list[int]]:
        return [interval for w in self.windows(type_name) for interval in w["visible"]]


def calls(events, name, thread=None):
    """The controller's answers: the calls of method ``name``."""
    return [e for e in events if e["call"] == "CallStaticMethod" and e.get("name") == name
            and (thread is None or e["thread"] == thread)]


def attaches_of(events):
    return [e for e in events
            if e["call"] in ("AttachCurrentThread", "AttachCurrentThreadAsDaemon")]


def splash_thread(events, main_thread):
    attaches = attaches_of(events)
    assert attaches, "the splash thread never attached"
    assert all(e["thread"] != main_thread for e in attaches)
    return attaches[0]["thread"]


def main_thread(record):
    [created] = [e for e in record["events"] if e["call"] == "JNI_CreateJavaVM"]
    return created["thread"]


def detached_before_destroy(record, thread):
    events = record["events"]
    names = [(e["call"], e["thread"]) for e in events]
    detach = names.index(("DetachCurrentThread", thread))
    destroy = [i for i, e in enumerate(events) if e["call"] == "DestroyJavaVM"]
    return events[detach]["result"] == 0 and (not destroy or detach < destroy[0])


# ---------------------------------------------------------------------------------------


class TestWindow:
    def test_centred_bitmap_and_lines_in_their_fonts_and_colours(self, tmp_path, application,
                                                                 splash_stub, display):
        done = tmp_path / "app" / "done.flag"
        app = SplashApp(tmp_path / "app", application, splash_stub,
                        {123: f"-Dstandin.mainWait={unix_to_windows(done)}"})
        shots = {}

        def look(pid):
            watch = Watch(tmp_path / "watch.json", pid)
            shots["screen"] = wait_for(lambda: splash_shown(display), "the splash")
            shots["watch"] = watch
            app.done.touch()

        result = app.run(started=look)
        assert result.exit_code == 0, result.log_text
        screen = shots["screen"]
        # Every pixel of the window is the bitmap's, where no text is drawn.
        assert bitmap_mismatches(screen) == 0
        [window] = shots["watch"].windows(SPLASH_CLASS)
        left, top = origin(screen)
        assert window["rect"] == [left, top, left + WIDTH, top + HEIGHT]
        assert window["topmost"] is True
        assert window["title"] == "splash tests"

        # Each line's text starts at its position; "H" and "g" span 31 of the 32 pixels of
        # the character height of 24 points (a cell height of 32 would give 27), and the
        # line is as wide as Tahoma makes it (156 pixels; bold is wider).
        status = text_bounds(screen, 0, tinted_red)
        version = text_bounds(screen, VERSION_Y, tinted_blue)
        for bounds, line_top in ((status, STATUS_Y), (version, VERSION_Y)):
            assert 20 <= bounds[0] <= 23, bounds
            assert line_top <= bounds[1] <= line_top + 10, bounds
            assert 29 <= bounds[3] - bounds[1] <= 33, bounds
        assert 150 <= status[2] - status[0] <= 162, status
        assert version[2] - version[0] > status[2] - status[0] + 10, (status, version)
        # Weight 800 against 400: the same text in the same size takes more ink.
        red = screen.count(left, top, WIDTH, VERSION_Y, red_ink)
        blue = screen.count(left, top + VERSION_Y, WIDTH, HEIGHT - VERSION_Y, blue_ink)
        assert blue > 1.3 * red, (red, blue)
        log = result.log_text.splitlines()
        assert log.index("Starting splash screen thread") < log.index("extracting files")
        assert "Initializing splash screen" in log

    def test_stays_up_while_the_runtime_is_probed(self, tmp_path, application, splash_stub,
                                                  display):
        app = SplashApp(tmp_path / "app", application, splash_stub, delay_ms=5000)

        def look(pid):
            wait_for(lambda: app.runtime.invocations(), "the version probe")
            wait_for(lambda: splash_shown(display), "the splash")
            assert app.runtime.finished() == 0, "the probe ended before the splash was seen"

        result = app.run(started=look)
        assert result.exit_code == 0
        assert "got version from execution 1.8.0_201" in result.log_text.splitlines()

    def test_hidden_show_code_shows_nothing(self, tmp_path, application, splash_stub, display):
        app = SplashApp(tmp_path / "app", application, splash_stub,
                        {123: "-Dstandin.main=sleep:1500"})
        watches = []
        result = app.run(show=0,
                         started=lambda pid: watches.append(Watch(tmp_path / "w.json", pid)))
        assert result.exit_code == 0
        assert watches[0].windows(SPLASH_CLASS) == []
        log = result.log_text.splitlines()
        assert "Hiding splash screen" in log
        assert "Starting splash screen thread" not in log
        assert "Initializing splash screen" not in log


class TestSwitchOff:
    @staticmethod
    def window_app(tmp_path, application, splash_stub, auto_off, milliseconds):
        """The application opens its window for ``milliseconds`` once the splash thread has
        attached to the VM, so that the thread's detach can be seen."""
        done = tmp_path / "app" / "done.flag"
        app = SplashApp(tmp_path / "app", application, splash_stub,
                        {145: auto_off, 123: f"-Dstandin.main=window:{milliseconds} "
                                             f"-Dstandin.mainWait={unix_to_windows(done)}"})
        watches = []

        def open_window_once_attached(pid):
            watches.append(Watch(tmp_path / "w.json", pid))
            wait_for(lambda: attaches_of(app.events()), "the splash to attach")
            app.done.touch()

        return app.run(started=open_window_once_attached), watches[0]

    def test_off_soon_after_the_applications_first_window(self, tmp_path, application,
                                                         splash_stub, display):
        result, watch = self.window_app(tmp_path, application, splash_stub, 1, 3000)
        assert result.exit_code == 0
        [splash] = watch.visible(SPLASH_CLASS)
        [window] = watch.visible(APP_CLASS)
        assert splash[0] < window[0]
        # Off while the window is still up (how soon is for scripts/benchmark.py).
        assert window[0] <= splash[1] < window[1], (splash, window)
        assert "Splash screen auto off" in result.log_text.splitlines()
        thread = splash_thread(result.record["events"], main_thread(result.record))
        assert detached_before_destroy(result.record, thread)

    def test_stays_without_automatic_switch_off(self, tmp_path, application, splash_stub,
                                                display):
        result, watch = self.window_app(tmp_path, application, splash_stub, 0, 1500)
        assert result.exit_code == 0
        [splash] = watch.visible(SPLASH_CLASS)
        [window] = watch.visible(APP_CLASS)
        assert splash[0] < window[0] and splash[1] >= window[1]
        assert "Splash screen auto off" not in result.log_text
        # The splash thread is still attached when main has returned; a VM waits in
        # DestroyJavaVM for attached threads that are no daemons.
        events = result.record["events"]
        splash_thread(events, main_thread(result.record))
        [destroy] = [e for e in events if e["call"] == "DestroyJavaVM"]
        assert destroy["attachedThreads"] == []


class TestController:
    def test_texts_and_close_from_the_application(self, tmp_path, application, splash_stub,
                                                  display):
        triggers = {name: tmp_path / f"{name}.flag" for name in ("null", "text", "close")}
        script = ";".join([f"until:{unix_to_windows(triggers['null'])}", "2:",
                           f"until:{unix_to_windows(triggers['text'])}", "2:Second text Hg",
                           f"until:{unix_to_windows(triggers['close'])}", "1"])
        done = tmp_path / "app" / "done.flag"
        app = SplashApp(tmp_path / "app", application, splash_stub,
                        {123: f'"-Dstandin.splash={script}" '
                              f'-Dstandin.mainWait={unix_to_windows(done)}'})
        seen = {}

        def polls_after(index):
            return calls(app.events()[index + 1:], "getAction")

        def answered(text_result):
            for i, e in enumerate(app.events()):
                if e in calls([e], "getText") and e["result"] == text_result:
                    return i + 1  # 0 would read as not yet
            return 0

        def drive(pid):
            before = status_region(wait_for(lambda: splash_shown(display), "the splash"))
            # A null text leaves the line as it is.
            triggers["null"].touch()
            index = wait_for(lambda: answered(None), "the null text") - 1
            wait_for(lambda: len(polls_after(index)) >= 2, "two polls after the null text")
            assert differing(status_region(screenshot(display)), before) == 0
            # A new text is painted within the tick that fetched it.
            triggers["text"].touch()
            index = wait_for(lambda: answered("Second text Hg"), "the new text") - 1
            wait_for(lambda: len(polls_after(index)) >= 2, "two polls after the new text")
            seen["after"] = screenshot(display)
            triggers["close"].touch()
            wait_for(lambda: splash_gone(display), "the splash to close", seconds=10)
            seen["closed"] = app.events()
            app.done.touch()

        result = app.run(started=drive)
        assert result.exit_code == 0, result.log_text
        after = seen["after"]
        assert bitmap_mismatches(after) == 0
        # Exactly as a launcher configured with that text from the start paints it.
        reference = reference_status(tmp_path, application, splash_stub, display,
                                     "Second text Hg")
        assert differing(status_region(after), reference) == 0
        log = result.log_text.splitlines()
        assert "Hiding splash screen" in log and "Splash screen auto off" not in log

        events = result.record["events"]
        thread = splash_thread(events, main_thread(result.record))
        answers = [e["result"] for e in calls(events, "getAction", thread)]
        assert 1 in answers and answers[answers.index(1) + 1:] == []
        assert [e["result"] for e in calls(events, "getText", thread)] == [None, "Second text Hg"]
        # The characters were released, and no call was made with an exception pending.
        pinned = [e for e in events if e["call"] in ("GetStringChars", "ReleaseStringChars")]
        assert [e["call"] for e in pinned] == ["GetStringChars", "ReleaseStringChars"]
        assert pinned[-1]["pinned"] == 0
        assert not [e for e in events if e["call"] in ("warning", "fatal", "unimplemented")]
        # Detached when it closed, while the application still ran.
        assert detached_before_destroy(result.record, thread)
        assert ("DetachCurrentThread", thread) in [(e["call"], e["thread"]) for e in seen["closed"]]


def reference_status(tmp_path, application, splash_stub, display, text):
    """The status half of a splash whose launcher was configured with ``text`` from the
    start: what a controller's text must look like once it is painted."""
    app = SplashApp(tmp_path / "reference", application, splash_stub,
                    {10111: text, 123: f"-Dstandin.mainWait="
                                       f"{unix_to_windows(tmp_path / 'reference' / 'done.flag')}"})
    shots = []

    def look(pid):
        shots.append(wait_for(lambda: splash_shown(display), "the reference splash"))
        app.done.touch()

    assert app.run(started=look).exit_code == 0
    return status_region(shots[0])


class TestMessageBoxes:
    @staticmethod
    def failing_app(tmp_path, application, splash_stub, script=""):
        """main fails once ``done`` exists, which ends the launcher with message 1005."""
        done = tmp_path / "app" / "done.flag"
        return SplashApp(tmp_path / "app", application, splash_stub,
                         {123: f"{script} -Dstandin.mainWait={unix_to_windows(done)} "
                               "-Dstandin.main=throw:java.lang.IllegalStateException"})

    def test_a_fatal_error_hides_the_splash_before_its_box(self, tmp_path, application,
                                                           splash_stub, display):
        app = self.failing_app(tmp_path, application, splash_stub)
        watches = []

        def fail_once_shown(pid):
            watches.append(Watch(tmp_path / "w.json", pid))
            wait_for(lambda: splash_shown(display), "the splash")
            app.done.touch()

        result = app.run(box="ok", started=fail_once_shown)
        assert result.exit_code == 1
        assert result.box["text"].startswith("The JVM could not be started.")
        assert result.box["ownerClass"] == SPLASH_CLASS
        assert SPLASH_CLASS not in result.box["otherVisibleClasses"]
        [splash] = watches[0].visible(SPLASH_CLASS)
        [box] = watches[0].visible("#32770")
        assert splash[1] <= box[0]

    def test_a_box_after_the_splash_has_gone_still_shows(self, tmp_path, application,
                                                         splash_stub, display):
        # The controller closes the splash at its first poll, and its thread ends with the
        # window; main then fails, and the box must not be given the dead window as owner.
        app = self.failing_app(tmp_path, application, splash_stub, "-Dstandin.splash=1")

        def close_first(pid):
            def detached():
                events = app.events()
                return any(e["call"] == "DetachCurrentThread" for e in events)

            wait_for(detached, "the splash thread to detach")
            # The splash thread gives up the boxes' owner before it detaches, so no pause is
            # needed before main fails.
            wait_for(lambda: splash_gone(display), "the splash to close", seconds=10)
            app.done.touch()

        result = app.run(box="ok", started=close_first)
        assert result.exit_code == 1
        assert result.box is not None, "no box was shown"
        assert result.box["text"].startswith("The JVM could not be started.")
        assert result.box["ownerClass"] is None


class TestRuntimeLibrary:
    SETTINGS = {10123: 1}

    def test_the_library_receives_the_image_unchanged(self, tmp_path, application, splash_stub):
        app = SplashApp(tmp_path / "app", application, splash_stub, self.SETTINGS,
                        splash_library=True)
        result = app.run(display=False)
        assert result.exit_code == 0
        pid = result.pid
        assert app.runtime.splash_record() == [f"{pid} init", f"{pid} load {len(IMAGE_BYTES)} 1"]
        assert app.runtime.splash_image(pid) == IMAGE_BYTES
        log = result.log_text.splitlines()
        path = f"{app.runtime.home_windows.lower()}\\bin\\..\\bin\\splashscreen.dll"
        line = f"loading splashscreen dll from {path}"
        assert line in [entry.lower() for entry in log]
        loaded = [entry.lower() for entry in log].index(line)
        assert log.index("Loading of JVM-DLL successful") < loaded < log.index("launching program")
        assert log[loaded + 1].startswith("splash load memory returned 1 (")
        assert log[loaded + 1].endswith(f", {len(IMAGE_BYTES)})")
        assert "Starting splash screen thread" not in log

    def test_a_runtime_without_the_library_still_starts(self, tmp_path, application,
                                                        splash_stub):
        app = SplashApp(tmp_path / "app", application, splash_stub, self.SETTINGS)
        result = app.run(display=False)
        assert result.exit_code == 0
        log = result.log_text.splitlines()
        error = log.index("ERROR: Could not load splashscreen.dll")
        assert log[error - 1].startswith("loading splashscreen dll from ")
        assert [e for e in result.record["events"] if e["call"] == "main"]

    def test_an_error_closes_the_library_splash(self, tmp_path, application, splash_stub):
        app = SplashApp(tmp_path / "app", application, splash_stub,
                        {**self.SETTINGS, 123: "-Xmx100g"}, splash_library=True)
        result = app.run(display=False)
        assert result.exit_code == 1
        pid = result.pid
        assert app.runtime.splash_record() == [f"{pid} init", f"{pid} load {len(IMAGE_BYTES)} 1",
                                               f"{pid} close"]


class TestReadmeScreenshot:
    """The picture in README.md: the demo's own launcher, built from examples/demo/demo.toml
    the way scripts/demo.sh builds it, showing its splash under Xvfb. With TESMO_DOCS=1 the
    test writes it to docs/splash.png; it always leaves it in the build directory
    (build/e2e/splash.png)."""

    def test_picture(self, tmp_path, display, wine_session):
        demo = rig.REPO_ROOT / "examples" / "demo"
        width, height, palette, pixels = read_bmp8(demo / "splash.bmp")
        app = tmp_path / "app"
        (app / "lib").mkdir(parents=True)
        subprocess.run(["javac", "--release", "8", "-nowarn", "-d", str(tmp_path / "classes"),
                        *map(str, (demo / "src").rglob("*.java"))], check=True,
                       capture_output=True)
        subprocess.run(["jar", "cf", str(app / "lib" / "demo.jar"), "-C",
                        str(tmp_path / "classes"), "."], check=True)
        shutil.copy(JAVA_RUNTIME, app / "lib" / "kvnruntime.jar")
        runtime = make_runtime(app / "jre", "jre8")
        # The demo's own configuration, with main held until the screenshot is taken.
        done = app / "done.flag"
        config = tmp_path / "demo" / "demo.toml"
        shutil.copytree(demo, config.parent)
        text = config.read_text(encoding="utf-8")
        config.write_text(text.replace(
            "options = [", f"options = ['-Dstandin.mainWait={unix_to_windows(done)}', ", 1),
            encoding="utf-8")
        built = subprocess.run([str(rig.build_dir() / "native" / "tools" / "tesmo-build"),
                                "build", str(config), "--stub", str(rig.launcher_stub(64)),
                                "--out", str(app / "demo.exe")], capture_output=True,
                               text=True)
        assert built.returncode == 0, built.stderr
        colours = set(palette)
        shots = []

        def shown():
            screen = screenshot(display)
            left, top = (screen.width - width) // 2, (screen.height - height) // 2
            picture = text = 0
            for y, row in enumerate(screen.region(left, top, width, height)):
                for x in range(width):
                    pixel = (row[3 * x], row[3 * x + 1], row[3 * x + 2])
                    if pixel == palette[pixels[y][x]]:
                        picture += 1
                    elif pixel not in colours:
                        text += 1
            # The picture everywhere but under the text, and both lines drawn.
            if picture + text == width * height and picture > 0.8 * width * height and \
                    text > 300:
                return screen, left, top
            return None

        def look(pid):
            shots.append(wait_for(shown, "the demo's splash"))
            done.touch()

        result = run_launcher(app / "demo.exe", display=True, started=look)
        assert result.exit_code == 0, result.stderr
        record = json.loads((runtime.jvm_dll.parent / f"jvm-launch-{result.pid}.json")
                            .read_text(encoding="utf-8"))
        assert [e for e in record["events"] if e["call"] == "main"]
        screen, left, top = shots[0]
        margin = 16
        out = rig.build_dir() / "e2e" / "splash.png"
        out.parent.mkdir(parents=True, exist_ok=True)
        screen.save_png(out, left - margin, top - margin, width + 2 * margin,
                        height + 2 * margin)
        if os.environ.get("TESMO_DOCS") == "1":
            shutil.copy(out, rig.REPO_ROOT / "docs" / "splash.png")
