"""Every function of the catalogue has each place a function needs beyond its
formula and its catalogue entry: the documented values of the C++ tests, its
exact references and row of the accuracy table, the Result paragraph of its
section in the function reference (tools/function_docs.py writes the rest of the
section and its index row), and its numpy version for the benchmarks. A function
newly added to the catalogue fails here with the list of what it still lacks."""

import re
import sys
from pathlib import Path

import vantrel

ROOT = Path(__file__).resolve().parents[3]
sys.path.insert(0, str(ROOT / "tools"))
import references  # noqa: E402


def read(path):
    return (ROOT / path).read_text(encoding="utf-8")


def places():
    """(what, test) for each place: test(name) is true where the place has the function."""
    cases = "".join(p.read_text(encoding="utf-8") for p in sorted((ROOT / "tests" / "cases").rglob("*.cpp")))
    table = {line.split(",")[0] for line in read("tests/accuracy/table.csv").splitlines()}
    reference = read("docs/functions.md")
    by_hand = read("bench/python/by_hand.py")
    return [
        ("documented values (tests/cases/)", lambda n: re.search(rf"\b{n}\b", cases)),
        ("exact references (tools/references.py)", lambda n: n in references.FORMULAS),
        ("exact values (tests/accuracy/<name>.csv)", lambda n: (ROOT / "tests" / "accuracy" / f"{n}.csv").is_file()),
        ("a row of the accuracy table (tests/accuracy/table.csv)", lambda n: n in table),
        # The rest of its section and its index row are tools/function_docs.py's to write.
        ("a Result paragraph in docs/functions.md",
         lambda n: re.search(rf"^### {n}\b[^\n]*\n(?:(?!^##)[\s\S])*?^\*\*Result\*\*", reference, re.M)),
        ("a numpy version (bench/python/by_hand.py)", lambda n: f'"{n}":' in by_hand),
    ]


def test_every_function_has_every_place():
    checks = places()
    missing = {f.name: [what for what, has in checks if not has(f.name)] for f in vantrel.functions}
    missing = {name: lacks for name, lacks in missing.items() if lacks}
    assert not missing, "\n".join(f"{name} lacks: {', '.join(lacks)}" for name, lacks in missing.items())
