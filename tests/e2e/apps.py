"""The test application the end-to-end tests install: its jar, built once per session, and an
installation of it with a launcher, the runtime archive and a stand-in runtime."""

import json
import shutil
import subprocess
from pathlib import Path

import rig
from rig import build_launcher, run_launcher
from runtimes import make_runtime

JAVA_RUNTIME = rig.build_dir() / "java" / "kvnruntime.jar"
DEMO = rig.REPO_ROOT / "examples" / "demo"
LOG = {"TESMO_LOG": "yes"}
MESSAGES = {1000: "VM tests", 1005: "The JVM could not be started.",
            1009: "An internal error occurred (error code: {0})",
            1010: "Couldn't load main class.", 1006: "File or directory {0} not found or empty"}

APP_SOURCE = """package com.example;
public class App {
    public static void main(String[] args) throws Exception {
        try (java.io.PrintStream out = new java.io.PrintStream(new java.io.FileOutputStream(
                System.getProperty("app.report")), true, "UTF-8")) {
            for (String arg : args) out.println(arg);
        }
    }
}
"""


def build_application(root: Path) -> Path:
    """com.example.App, which writes its arguments to the file named by -Dapp.report, one a
    line, in root/app.jar."""
    if not JAVA_RUNTIME.is_file():
        raise rig.RigError(f"{JAVA_RUNTIME} is missing: scripts/build.sh builds it")
    source = root / "src" / "com" / "example" / "App.java"
    source.parent.mkdir(parents=True)
    source.write_text(APP_SOURCE)
    subprocess.run(["javac", "--release", "8", "-d", str(root / "classes"), str(source)],
                   check=True, capture_output=True)
    subprocess.run(["jar", "cf", str(root / "app.jar"), "-C", str(root / "classes"), "."],
                   check=True)
    return root / "app.jar"


class App:
    """An installed application: launcher, lib folder with the jars, a runtime beside it."""

    def __init__(self, root: Path, application: Path, settings=None, includes=None,
                 runtime_jar=True, bits=64):
        self.root = root
        lib = root / "lib"
        lib.mkdir(parents=True, exist_ok=True)
        shutil.copy(application, lib / "app.jar")
        if runtime_jar:
            shutil.copy(JAVA_RUNTIME, lib / "kvnruntime.jar")
        self.runtime = make_runtime(root / "jre", "jre8", bits=bits)
        base = {**MESSAGES, 101: "vm tests", 128: "B.\\jre", 122: "com.example.App",
                121: "A0.\\lib\\kvnruntime.jar;A1.\\lib\\app.jar"}
        self.exe = build_launcher(root, {**base, **(settings or {})}, includes=includes,
                                  bits=bits)

    def run(self, args=None, env=None, **kwargs):
        result = run_launcher(self.exe, args=args, env={**LOG, **(env or {})}, **kwargs)
        path = self.runtime.jvm_dll.parent / f"jvm-launch-{result.pid}.json"
        result.record = json.loads(path.read_text(encoding="utf-8")) if path.exists() else None
        return result


def install_demo(root: Path, application: Path, runtime_jar: Path = JAVA_RUNTIME,
                 demo: Path = DEMO, **runtime):
    """The demo's folder in ``root`` as its readme lays it out, with ``application`` as
    lib\\demo.jar, the runtime archive beside it and a stand-in runtime in jre, returned."""
    shutil.copytree(demo, root)
    (root / "lib").mkdir()
    shutil.copy(application, root / "lib" / "demo.jar")
    shutil.copy(runtime_jar, root / "lib" / "kvnruntime.jar")
    return make_runtime(root / "jre", "jre8", **runtime)
