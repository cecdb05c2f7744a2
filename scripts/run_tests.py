"""Runs the four test suites and prints one summary line: 'N passed, N failed, N skipped'."""

import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ElementTree
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BUILD = ROOT / "build"
WINE = "/usr/lib/wine/wine64"


def count_junit(path):
    """Counts test cases in a JUnit XML report (pytest and GoogleTest write the same form)."""
    passed = failed = skipped = 0
    for case in ElementTree.parse(path).getroot().iter("testcase"):
        if case.find("failure") is not None or case.find("error") is not None:
            failed += 1
        elif case.find("skipped") is not None or case.get("result") == "skipped":
            skipped += 1
        else:
            passed += 1
    return passed, failed, skipped


def run(title, command, report, env=None):
    print(f"== {title}", flush=True)
    if report.exists():
        report.unlink()
    code = subprocess.call(command, cwd=ROOT, env=env)
    if not report.exists():
        print(f"{title}: no report (exit code {code})")
        return 0, 1, 0
    passed, failed, skipped = count_junit(report)
    # A crash after the last test still fails the suite; pytest's 5 means nothing selected.
    if code not in (0, 5) and failed == 0:
        failed = 1
    print(f"{title}: {passed} passed, {failed} failed, {skipped} skipped", flush=True)
    return passed, failed, skipped


def wine_environment(prefix):
    env = dict(os.environ, WINEPREFIX=str(prefix), WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=")
    env.pop("DISPLAY", None)
    if not (prefix / "system.reg").exists():
        subprocess.call([WINE, "wineboot", "--init"], env=env,
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return env


def main():
    reports = BUILD / "reports"
    reports.mkdir(parents=True, exist_ok=True)
    totals = [0, 0, 0]

    suites = [
        ("native unit tests (ASan, UBSan)",
         [str(BUILD / "native/tests/tesmo_unit_tests"), "--gtest_brief=1",
          f"--gtest_output=xml:{reports / 'native.xml'}"], reports / "native.xml", None),
        ("Windows unit tests (wine64)",
         [WINE, str(BUILD / "win64/tests/tesmo_unit_tests.exe"), "--gtest_brief=1",
          "--gtest_output=xml:Z:" + str(reports / "windows.xml").replace("/", "\\")], reports / "windows.xml",
         wine_environment(BUILD / "wineprefix-unit")),
        ("end-to-end tests (Wine, Xvfb)",
         ["/usr/bin/python3", "-m", "pytest", "-q", "-rs", "tests/e2e",
          f"--junitxml={reports / 'e2e.xml'}", *sys.argv[1:]], reports / "e2e.xml", None),
        ("Java-side runtime (OpenJDK 17)",
         ["/bin/bash", str(ROOT / "java/build.sh")], reports / "java.xml", None),
    ]
    for title, command, report, env in suites:
        for i, value in enumerate(run(title, command, report, env)):
            totals[i] += value

    print(f"summary: {totals[0]} passed, {totals[1]} failed, {totals[2]} skipped")
    return 1 if totals[1] else 0


if __name__ == "__main__":
    sys.exit(main())
