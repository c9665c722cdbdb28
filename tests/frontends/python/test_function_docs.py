"""tools/function_docs.py: the function reference is what it writes from the catalogue, a
document that has drifted from the catalogue fails its check naming the function, and a new
function needs no more than its Result paragraph."""

import os
import re
import subprocess
import sys
from pathlib import Path
from types import SimpleNamespace

import pytest

import vantrel

ROOT = Path(__file__).resolve().parents[3]
sys.path.insert(0, str(ROOT / "tools"))
import accuracy  # noqa: E402
import function_docs  # noqa: E402

DOCUMENT = function_docs.DOCUMENT.read_text(encoding="utf-8")


def render(text, functions=None):
    return function_docs.render(text, functions or list(vantrel.functions), accuracy.read_table())


def check(tmp_path, text):
    path = tmp_path / "functions.md"
    path.write_text(text, encoding="utf-8")
    return subprocess.run([sys.executable, str(ROOT / "tools" / "function_docs.py"), "--check", "--document", str(path)],
                          capture_output=True, text=True, env=os.environ)


def test_the_tree_is_what_the_script_writes(tmp_path):
    assert render(DOCUMENT) == DOCUMENT
    assert check(tmp_path, DOCUMENT).returncode == 0


@pytest.mark.parametrize("old, new, name", [
    ("| N | counts recorded | counts |\n| t | counting time | s |\n\n**Result** N/t",
     "| N | recorded counts | counts |\n| t | counting time | s |\n\n**Result** N/t", "CountRate"),
    ("`CountRateMonitor(2500, 1e5) = 0.025`", "`CountRateMonitor(2500, 1e5) = 0.026`", "CountRateMonitor"),
    ("**NaN when** s not above 0.", "**NaN when** s = 0.", "LatticeSpacing"),
    ("| 44 | [`He3Polarisation`](#he3polarisation-44) | helium-3 polarisation | 1 |",
     "| 44 | [`He3Polarisation`](#he3polarisation-44) | helium-3 polarisation | K |", "He3Polarisation"),
])
def test_a_stale_part_fails_the_check_naming_the_function(tmp_path, old, new, name):
    assert DOCUMENT.count(old) == 1
    run = check(tmp_path, DOCUMENT.replace(old, new))
    assert run.returncode != 0
    assert f"writes for: {name}\n" in run.stderr
    stale = new.splitlines()[0]
    assert any(line.startswith("-") and stale in line for line in run.stdout.splitlines())  # the diff


@pytest.mark.parametrize("name", ["CountRate", "He3PolarisationSDev", "He3FigureOfMeritSDev"])
def test_a_section_without_its_result_is_an_error_naming_it(tmp_path, name):
    start = DOCUMENT.index(f"### {name} (")
    result = DOCUMENT.index("**Result**", start)
    end = DOCUMENT.index("**NaN when**", result)
    run = check(tmp_path, DOCUMENT[:result] + DOCUMENT[end:])
    assert run.returncode != 0
    assert f"write the Result paragraph of {name} " in run.stderr


def newcomer(index, name="BraggWidth"):
    """A function the catalogue has not yet: what the script reads of one."""
    return SimpleNamespace(name=name, index=index, exported=False, arguments=("s",), meanings=("sin(θ)/λ",),
                           units=("Å⁻¹",), result_unit="degrees", nan_when="s < 0.", summary="Width of a peak.",
                           example=((0.5,), 1.25), __doc__=f"Example:\n  {name}(0.5) = 1.25\n")


def test_a_new_function_needs_only_its_result_paragraph():
    functions = list(vantrel.functions)
    last = functions[-1]
    stub = "### BraggWidth\n\n**Result** The width of a reflection, in degrees.\n\n"
    # written anywhere under its group's heading: here at its head
    first = DOCUMENT.rindex("### ", 0, DOCUMENT.index(f"### {last.name} ("))
    first = DOCUMENT.rindex("\n## ", 0, first)
    first = DOCUMENT.index("### ", first)
    text = DOCUMENT[:first] + stub + DOCUMENT[first:]
    table = {**accuracy.read_table(), "BraggWidth": {}}
    new = last.index + 1
    written = function_docs.render(text, functions + [newcomer(new)], table)
    placed = written.index(f"### BraggWidth ({new})")
    assert written.index(f"### {last.name} ({last.index})") < placed < written.index("\n## ", placed)
    heading = written[written.rindex("\n## ", 0, placed):].splitlines()[1]
    assert re.search(rf"\(indices \d+–{new}\b", heading)
    assert f"| {new} | [`BraggWidth`](#braggwidth-{new}) | Width of a peak | degrees |" in written
    assert "| s | sin(θ)/λ | Å⁻¹ |" in written[placed:]
    assert "**Example** `BraggWidth(0.5) = 1.25`" in written[placed:]
    assert written.count("**Result** The width of a reflection") == 1
    # and once written it stays
    assert function_docs.render(written, functions + [newcomer(new)], table) == written


@pytest.mark.parametrize("indices, text", [
    ([0, 1, 2, 3, 4, 5], "indices 0–5"),
    ([6, 7, 8, 32, 33], "indices 6–8 and 32–33"),
    ([1, 3, 4, 9], "indices 1, 3–4 and 9"),
    ([7], "index 7"),
])
def test_a_group_heading_names_the_indices_of_its_sections(indices, text):
    assert function_docs.index_ranges(indices) == text
    assert function_docs.with_indices("## Beam (indices 46–53, library only)", indices) == f"## Beam ({text}, library only)"


def test_sections_come_back_to_index_order_under_the_heading_that_covers_them():
    start, middle = DOCUMENT.index("### CountRate (0)"), DOCUMENT.index("### CountRateSDev (1)")
    end = DOCUMENT.index("### CountRateDDT (2)")
    swapped = DOCUMENT[:start] + DOCUMENT[middle:end] + DOCUMENT[start:middle] + DOCUMENT[end:]
    assert swapped != DOCUMENT
    assert render(swapped) == DOCUMENT


# Prose anywhere but in the Result paragraph would be lost on rewriting: refused, by name.
@pytest.mark.parametrize("after, name", [
    ("**Example** `TwoTheta(", "TwoTheta"),
    ("**NaN when** as `LatticeSpacing`.", "LatticeSpacingSDev"),
    ("| t | counting time | s |\n", "CountRate"),
])
def test_prose_outside_the_result_paragraph_is_an_error(after, name):
    at = DOCUMENT.index("\n", DOCUMENT.index(after)) + 1
    text = DOCUMENT[:at] + "\nA remark of its own.\n" + DOCUMENT[at:]
    with pytest.raises(function_docs.DocumentError, match=f"^{name}: .*'A remark of its own.'"):
        render(text)


@pytest.mark.parametrize("name, message", [("Gone", "sections of no catalogue function: Gone"),
                                           ("TwoTheta", "two sections of TwoTheta")])
def test_a_section_of_no_function_or_of_one_described_twice_is_an_error(name, message):
    text = DOCUMENT.replace("### CountRate (0)", f"### {name}\n\n**Result** Nothing.\n\n### CountRate (0)", 1)
    with pytest.raises(function_docs.DocumentError, match=message):
        render(text)


# A line that would open with "+ " or "= " reads as a list or worse: the word before comes down.
@pytest.mark.parametrize("text", ["a " * 48 + "(1 + P) − R = 0.", "x " * 49 + "= A(1 − f).", "y " * 49 + "- z"])
def test_wrapped_lines_open_with_no_markdown_marker(text):
    wrapped = function_docs.wrap(text).splitlines()
    assert all(len(line) <= function_docs.WIDTH for line in wrapped)
    assert not any(line.startswith(("+ ", "= ", "- ")) for line in wrapped[1:])
    assert " ".join(wrapped) == text.strip()
