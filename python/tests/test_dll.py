"""The module against Vantrel-64.xop in the stand-in host under Wine, on the shared
inputs, each function as tests/windows_accuracy.csv allows: where it says exact, the
same bits; elsewhere (the Windows C runtime rounds pow, exp, log, cos, atan and the
hyperbolic functions otherwise than glibc in the last bit) the same NaNs and
infinities, and finite values within its max_relative.
"""

import csv
import os
import subprocess

import numpy as np
import pytest

import vantrel
from conftest import WINDOWS_BUILD, need, same_bits, shared_inputs

# The plug-in's functions: the library's own, which follow them, are not in the DLL.
PLUGIN = [f for f in vantrel.functions if f.exported]
ACCURACY = os.path.join(os.path.dirname(__file__), "..", "..", "tests", "windows_accuracy.csv")


@pytest.fixture(scope="module")
def tolerance():
    """{function name: (exact, max_relative)} from the table tools/accuracy.py writes."""
    with open(ACCURACY, encoding="utf-8") as f:
        rows = list(csv.DictReader(line for line in f if not line.startswith("#")))
    assert rows and list(rows[0]) == ["function", "exact", "max_ulps", "max_relative", "documented_ulps", "rows"]
    assert all(row["exact"] in ("0", "1") for row in rows)
    assert len({row["function"] for row in rows}) == len(rows), "a function twice"
    return {row["function"]: (row["exact"] == "1", float(row["max_relative"])) for row in rows}


@pytest.fixture(scope="module")
def dll_results():
    """{function name: (inputs, message-14 results, message-15 results)} for all 46 in one host run."""
    host = os.path.join(WINDOWS_BUILD, "Igor64.exe")
    need(host, "the stand-in host")
    inputs = {f.name: shared_inputs(f) for f in PLUGIN}
    lines = [" ".join([name, *(float.hex(float(x)) for x in row)]) for name, rows in inputs.items() for row in rows]
    run = subprocess.run([os.path.join(WINDOWS_BUILD, "wine-run"), host, os.path.join(WINDOWS_BUILD, "Vantrel-64.xop"),
                          "batch"], input="\n".join(lines) + "\n", capture_output=True, text=True, timeout=600)
    assert run.returncode == 0, run.stderr
    out = [line.split() for line in run.stdout.splitlines()]
    assert len(out) == len(lines)
    results, i = {}, 0
    for name, rows in inputs.items():
        chunk = out[i:i + len(rows)]
        i += len(rows)
        assert all(r[0] == name and r[3:] == ["0", "0", "clean"] for r in chunk), chunk
        as_doubles = lambda column: np.array([int(r[column], 16) for r in chunk], dtype=np.uint64).view(np.float64)
        results[name] = (rows, as_doubles(1), as_doubles(2))
    return results


def test_the_table_has_every_function_once_in_catalogue_order(tolerance):
    assert list(tolerance) == [f.name for f in PLUGIN]


def test_module_agrees_with_the_dll(function, dll_results, tolerance):
    if not function.exported:
        pytest.skip("the library's own: not in the plug-in")
    inputs, by_message, by_address = dll_results[function.name]
    assert same_bits(by_message, by_address).all()
    ours = function(*inputs.T)
    exact, max_relative = tolerance[function.name]
    if exact:
        assert same_bits(ours, by_message).all(), inputs[~same_bits(ours, by_message)]
        return
    # Same NaNs and infinities; finite values within the table's relative difference.
    assert (np.isnan(ours) == np.isnan(by_message)).all()
    finite = np.isfinite(ours) & np.isfinite(by_message)
    assert (ours[~finite & ~np.isnan(ours)] == by_message[~finite & ~np.isnan(ours)]).all()
    scale = np.maximum(np.abs(ours[finite]), np.finfo(float).tiny)
    assert (np.abs(ours[finite] - by_message[finite]) <= max_relative * scale).all()
