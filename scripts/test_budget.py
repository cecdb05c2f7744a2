"""Prints the size of the tests against the product code, in non-blank lines.

Budgets: test cases at most a third of the product code, test infrastructure (rig, stand-ins,
helpers) at most a half, and no tests of the infrastructure. Prints the figures only; it
never fails a run.
"""

import subprocess
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
SOURCE = (".cpp", ".h", ".py", ".java", ".sh")

# First match wins.
CATEGORIES = [
    ("product", ("src/", "tools/", "java/src/main/")),
    ("infrastructure tests", ("tests/unit/standin_", "tests/e2e/test_standin", "tests/e2e/test_rig.py",
                              "tests/standins/jnidriver.cpp")),
    ("infrastructure", ("tests/standins/", "tests/helpers/", "tests/support/", "tests/e2e/rig.py",
                        "tests/e2e/runtimes.py", "tests/e2e/apps.py", "tests/e2e/hostile.py",
                        "tests/e2e/instances.py", "tests/e2e/pe.py", "tests/e2e/screens.py")),
    # Fixtures that live beside the tests (the Java test apps and child JVM runner, pytest's
    # conftest, the fuzz targets' support) count as test cases: they grow with the tests they serve.
    ("test cases", ("tests/unit/", "tests/fuzz/", "tests/e2e/", "java/src/test/")),
]


def non_blank(path):
    try:
        return sum(1 for line in path.read_text(encoding="utf-8", errors="replace").splitlines()
                   if line.strip())
    except OSError:
        return 0


def counts():
    listed = subprocess.run(["git", "ls-files"], cwd=ROOT, capture_output=True, text=True)
    totals = {name: 0 for name, _ in CATEGORIES}
    for name in listed.stdout.split():
        if not name.endswith(SOURCE):
            continue
        for category, prefixes in CATEGORIES:
            if name.startswith(prefixes):
                totals[category] += non_blank(ROOT / name)
                break
    return totals


def main():
    totals = counts()
    product = totals["product"] or 1
    print(f"budget: product {totals['product']} lines")
    for category, limit in (("test cases", "1/3"), ("infrastructure", "1/2"),
                            ("infrastructure tests", "none")):
        print(f"budget: {category} {totals[category]} lines, "
              f"{totals[category] / product:.2f} of the product (budget {limit})")


if __name__ == "__main__":
    main()
