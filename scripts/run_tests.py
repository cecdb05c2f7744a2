"""Runs the source checks and the five test suites and prints one summary line:
'N passed, N failed, N skipped'."""

import os
import re
import shutil
import subprocess
import sys
import time
import xml.etree.ElementTree as ElementTree
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BUILD = ROOT / "build"
WINE = "/usr/lib/wine/wine64"
# A smoke run: the seeds and a few seconds of mutation catch a parser that crashes on what it
# already reads; scripts/fuzz.sh does the long runs.
FUZZ_SECONDS = 6


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
    code = command(report) if callable(command) else subprocess.call(command, cwd=ROOT, env=env)
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


def fuzz_smoke(report):
    """Gives each libFuzzer target a short run on a copy of its seeds, so that the run never
    writes into the checked-in corpus; one test case per target, failed with the fuzzer's
    report when it finds a crash, a leak, UB, a timeout or a broken property."""
    work = BUILD / "fuzz/smoke"
    shutil.rmtree(work, ignore_errors=True)
    (work / "findings").mkdir(parents=True)
    suite = ElementTree.Element("testsuite", name="fuzz smoke")
    for source in sorted((ROOT / "tests/fuzz").glob("*_fuzz.cpp")):
        target = source.stem.removesuffix("_fuzz")
        corpus = work / "corpus" / target
        shutil.copytree(ROOT / "tests/fuzz/corpus" / target, corpus)
        command = [str(BUILD / "fuzz/tests/fuzz" / target), f"-max_total_time={FUZZ_SECONDS}",
                   "-timeout=10", "-rss_limit_mb=2048", "-print_final_stats=1",
                   f"-artifact_prefix={work / 'findings'}/{target}-", str(corpus)]
        dictionary = ROOT / "tests/fuzz" / f"{target}.dict"
        if dictionary.exists():
            command.insert(1, f"-dict={dictionary}")
        started = time.monotonic()
        try:
            result = subprocess.run(command, cwd=ROOT, capture_output=True, text=True,
                                    errors="replace", timeout=FUZZ_SECONDS * 4 + 60)
            code, output = result.returncode, result.stderr
        except (OSError, subprocess.TimeoutExpired) as error:
            code, output = None, str(error)
        case = ElementTree.SubElement(suite, "testcase", classname="fuzz", name=target,
                                      time=f"{time.monotonic() - started:.1f}")
        done = re.findall(r"^#\d+\s+DONE\s+(.*)$", output, re.MULTILINE)
        if code == 0:
            print(f"{target}: {done[-1] if done else 'done'}", flush=True)
        else:
            print(f"{target}: FAILED (exit code {code})", flush=True)
            failure = ElementTree.SubElement(case, "failure", message=f"exit code {code}")
            failure.text = output[-20000:]
    ElementTree.ElementTree(suite).write(report, encoding="utf-8", xml_declaration=True)
    return 0


def java_tests(report):
    """JUnit 4's text report turned into the XML form of the other suites: one case per test,
    the failed ones named as JUnit names them."""
    result = subprocess.run(["/bin/bash", str(ROOT / "java/build.sh")], cwd=ROOT,
                            capture_output=True, text=True, errors="replace")
    print(result.stdout + result.stderr, end="", flush=True)
    ok = re.search(r"^OK \((\d+) tests?\)", result.stdout, re.MULTILINE)
    ran = re.search(r"^Tests run: (\d+)", result.stdout, re.MULTILINE)
    failures = re.findall(r"^\d+\) (.+)$", result.stdout, re.MULTILINE)
    total = int((ok or ran).group(1)) if ok or ran else 0
    suite = ElementTree.Element("testsuite", name="java")
    for name in failures:
        case = ElementTree.SubElement(suite, "testcase", classname="java", name=name)
        ElementTree.SubElement(case, "failure", message=name).text = result.stdout[-20000:]
    for number in range(total - len(failures)):
        ElementTree.SubElement(suite, "testcase", classname="java", name=f"passed {number + 1}")
    ElementTree.ElementTree(suite).write(report, encoding="utf-8", xml_declaration=True)
    return result.returncode


def tracked_sources():
    listed = subprocess.run(["git", "ls-files", "*.cpp", "*.h"], cwd=ROOT, capture_output=True,
                            text=True)
    return listed.stdout.split() if listed.returncode == 0 else []


def tree_state():
    """Untracked and ignored files outside build/: a test run must leave none behind."""
    # -z: names stay unquoted, whatever characters they hold.
    listed = subprocess.run(["git", "status", "--porcelain", "-z", "--ignored"], cwd=ROOT,
                            capture_output=True, text=True)
    if listed.returncode != 0:
        return None
    return {entry for entry in listed.stdout.split("\0")
            if entry[:2] in ("??", "!!") and not entry[3:].startswith("build/")}


def checks_report(report, cases):
    """Writes one JUnit case per check: name, output, passed."""
    suite = ElementTree.Element("testsuite", name="source checks")
    for name, output, passed in cases:
        case = ElementTree.SubElement(suite, "testcase", classname="checks", name=name)
        print(f"{name}: {'ok' if passed else 'FAILED'}", flush=True)
        if not passed:
            ElementTree.SubElement(case, "failure", message=name).text = output[-20000:]
            print(output[-5000:], flush=True)
    ElementTree.ElementTree(suite).write(report, encoding="utf-8", xml_declaration=True)
    return 0


def source_checks(report):
    """The include direction of src/ and the formatting of every C++ file."""
    layers = subprocess.run(["/usr/bin/python3", str(ROOT / "scripts/check_layers.py")],
                            cwd=ROOT, capture_output=True, text=True)
    formatting = subprocess.run(["clang-format", "--dry-run", "--Werror", *tracked_sources()],
                                cwd=ROOT, capture_output=True, text=True)
    return checks_report(report, [
        ("include layers", layers.stdout + layers.stderr, layers.returncode == 0),
        ("clang-format", formatting.stderr, formatting.returncode == 0),
    ])


def main():
    reports = BUILD / "reports"
    reports.mkdir(parents=True, exist_ok=True)
    totals = [0, 0, 0]
    before = tree_state()

    suites = [
        ("source checks", source_checks, reports / "checks.xml", None),
        ("native unit tests (ASan, UBSan)",
         [str(BUILD / "native/tests/tesmo_unit_tests"), "--gtest_brief=1",
          f"--gtest_output=xml:{reports / 'native.xml'}"], reports / "native.xml", None),
        ("Windows unit tests (wine64)",
         [WINE, str(BUILD / "win64/tests/tesmo_unit_tests.exe"), "--gtest_brief=1",
          "--gtest_output=xml:Z:" + str(reports / "windows.xml").replace("/", "\\")], reports / "windows.xml",
         wine_environment(BUILD / "wineprefix-unit")),
        ("end-to-end tests (Wine, Xvfb)",
         ["/usr/bin/python3", "-B", "-m", "pytest", "-p", "no:cacheprovider", "-q", "-rs",
          "tests/e2e",
          f"--junitxml={reports / 'e2e.xml'}", *sys.argv[1:]], reports / "e2e.xml", None),
        ("Java-side runtime (OpenJDK 17)", java_tests, reports / "java.xml", None),
        ("fuzz smoke (libFuzzer, ASan, UBSan)", fuzz_smoke, reports / "fuzz.xml", None),
    ]
    for title, command, report, env in suites:
        for i, value in enumerate(run(title, command, report, env)):
            totals[i] += value

    after = tree_state()
    left = sorted(after - before) if before is not None and after is not None else []
    for i, value in enumerate(run("source tree untouched",
                                  lambda report: checks_report(report, [(
                                      "no files written into the source tree",
                                      "\n".join(left), not left)]),
                                  reports / "tree.xml")):
        totals[i] += value

    subprocess.call(["/usr/bin/python3", str(ROOT / "scripts/test_budget.py")], cwd=ROOT)
    print(f"summary: {totals[0]} passed, {totals[1]} failed, {totals[2]} skipped")
    return 1 if totals[1] else 0


if __name__ == "__main__":
    sys.exit(main())
