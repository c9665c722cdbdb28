"""The module against the exact values of tests/accuracy/: no function strays further from
them than tests/accuracy/table.csv records for the native build, and the Accuracy section of
docs/functions.md is what tools/accuracy.py writes from that table."""

import math
import os
import sys
from decimal import Decimal

import numpy as np
import pytest

import vantrel

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "..", "tools"))
import accuracy  # noqa: E402


@pytest.fixture(scope="module")
def table():
    return accuracy.read_table()


def test_every_function_has_its_row_in_catalogue_order(table):
    assert list(table) == [f.name for f in vantrel.functions]


def test_the_plugin_alone_has_windows_columns(function, table):
    columns = [f"windows_{c}" for c in (*accuracy.STATISTICS, "exact", "documented_ulps", "relative")]
    assert [table[function.name][c] != "" for c in columns] == [function.exported] * len(columns)


def test_every_function_has_its_page_columns(function, table):
    assert [table[function.name][f"page_{c}"] != "" for c in accuracy.STATISTICS] == [True] * len(accuracy.STATISTICS)


def test_the_module_is_within_the_table(function, table):
    if not (accuracy.REFERENCES / f"{function.name}.csv").exists():
        pytest.fail(f"no exact values of {function.name}: give it an entry in tools/references.py and run it")
    references = accuracy.References(function.name)
    assert references.arguments == list(function.arguments)
    with np.errstate(all="ignore"):
        values = function(*references.rows.T)
    assert accuracy.within(table[function.name], "native", references, values) == []


def test_the_reference_section_is_what_the_table_gives(table):
    with open(accuracy.DOCUMENT, encoding="utf-8") as f:
        document = f.read()
    assert accuracy.current_section(document) == accuracy.render_section(table) + "\n"


TINY = 5e-324
ULP_CASES = [
    # value, exact value as text, error in ulps
    (1.0, "1", 0.0),
    (1.0 + 2**-52, "1", 1.0),
    (1.0, "1.00000000000000011102230246251565404", 0.5),   # halfway to the next double
    (1.0 - 2**-53, "1", 0.5),                               # the spacing of 1's binade, above it
    (1.0, "0.99999999999999999999999", 1e-23 * 2**53),      # just below 1: the binade beneath

    (-3.0, "-3.0000000000000004440892098500626", 1.0),
    (0.0, "0", 0.0),
    (TINY, "0", 1.0),                                       # at 0 the spacing is the subnormal one
    (TINY, str(Decimal(TINY)), 0.0),
    (float("nan"), "nan", 0.0),
    (float("inf"), "inf", 0.0),
    (float("inf"), "1e400", 0.0),                           # beyond the largest double
    (float("-inf"), "inf", math.inf),
    (1.0, "nan", math.inf),
    (float("nan"), "1", math.inf),
    (1e308, "inf", math.inf),
]


@pytest.mark.parametrize("value, text, expected", ULP_CASES)
def test_errors_are_counted_in_ulps_of_the_exact_value(value, text, expected):
    hi, lo = accuracy.exact_values([text])
    got = accuracy.ulp_errors(np.array([value]), hi, lo)[0]
    assert got == pytest.approx(expected, rel=1e-9, abs=1e-12)


@pytest.mark.parametrize("error, text", [
    (0.0, "0.0"), (0.5, "0.5"), (0.51, "0.6"), (3.21, "3.3"), (9.96, "10.0"), (10.0, "10"), (1542.2, "1600"),
    (1.8e16, "1.8e16"), (math.inf, "inf"),
])
def test_bounds_round_up(error, text):
    assert accuracy.bound(error) == text
    assert float(text) >= error


@pytest.mark.parametrize("build, measured, expected, hostile", [
    ("page", {"max": "2.5", "p999": "2.4", "hostile": "8.0e15", "apart": "26"}, "2.5 / 2.4", "8.0e15 (26)"),
    ("page", {"max": "0.5", "p999": "0.5", "hostile": "0.5", "apart": "0"}, "0.5 / 0.5", "0.5"),
    ("page", {"max": "", "p999": "", "hostile": "", "apart": ""}, "—", "—"),
    ("windows", {"max": "", "p999": "", "hostile": "", "apart": ""}, "not in the plug-in", "—"),
])
def test_each_build_has_its_cells_in_the_section(build, measured, expected, hostile):
    row = {"windows_exact": "", **{f"{build}_{k}": v for k, v in measured.items()}}
    assert (accuracy.cell(row, build), accuracy.hostile_cell(row, build)) == (expected, hostile)
