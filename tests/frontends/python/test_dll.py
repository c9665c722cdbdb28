"""The module against Vantrel-64.xop in the stand-in host under Wine, on the shared
inputs, each function as tests/accuracy/table.csv allows: where it says windows_exact, the
same bits; elsewhere (the Windows C runtime rounds pow, exp, log, cos, atan and the
hyperbolic functions otherwise than glibc in the last bit) the same NaNs and
infinities, and finite values within its windows_relative. In the same host run the
plug-in meets the exact values of tests/accuracy/ within the table's Windows column.
The library's own functions are not in the plug-in and not tested here.
"""

import os
import subprocess
import sys

import numpy as np
import pytest

import vantrel
from conftest import WINDOWS_BUILD, need, same_bits, shared_inputs

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "..", "tools"))
import accuracy  # noqa: E402


PLUGIN = [f for f in vantrel.functions if f.exported]


@pytest.fixture(params=PLUGIN, ids=lambda f: f.name)
def function(request):
    """The plug-in's functions only (conftest's fixture of the same name gives them all)."""
    return request.param


@pytest.fixture(scope="module")
def table():
    return accuracy.read_table()


@pytest.fixture(scope="module")
def tolerance(table):
    """{function name: (exact, max_relative)} against the native build, for the plug-in's functions."""
    return {f.name: (table[f.name]["windows_exact"] == "1", float(table[f.name]["windows_relative"])) for f in PLUGIN}


@pytest.fixture(scope="module")
def references():
    """The exact values of every function that has them (test_accuracy.py requires them of all)."""
    return {f.name: accuracy.References(f.name) for f in PLUGIN
            if (accuracy.REFERENCES / f"{f.name}.csv").exists()}


@pytest.fixture(scope="module")
def dll_results(references):
    """{function name: (inputs, message-14 results, message-15 results)} for the plug-in's functions in
    one host run: the shared inputs, then the rows of the references."""
    host = os.path.join(WINDOWS_BUILD, "Igor64.exe")
    need(host, "the stand-in host")
    inputs = {f.name: np.vstack([shared_inputs(f), *([references[f.name].rows] if f.name in references else [])])
              for f in PLUGIN}
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


def test_the_dll_is_within_the_table_of_the_exact_values(function, dll_results, references, table):
    if function.name not in references:
        pytest.skip("no exact values yet")
    exact = references[function.name]
    _, by_message, _ = dll_results[function.name]
    values = by_message[len(by_message) - len(exact.rows):]
    assert accuracy.within(table[function.name], "windows", exact, values) == []


def test_module_agrees_with_the_dll(function, dll_results, references, tolerance):
    inputs, by_message, by_address = dll_results[function.name]
    assert same_bits(by_message, by_address).all()
    # The hostile references are judged by their exact values alone: there the runtimes may part.
    hostile = references[function.name].hostile if function.name in references else np.zeros(0, bool)
    ordinary = np.concatenate([np.ones(len(inputs) - len(hostile), bool), ~hostile])
    inputs, by_message = inputs[ordinary], by_message[ordinary]
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
