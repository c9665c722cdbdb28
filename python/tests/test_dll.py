"""The module against Vantrel-64.xop in the stand-in host under Wine, on the shared
inputs: the same bits wherever only + − × ÷ and √ enter.

The functions below also call the C runtime's pow (exponent 3 or more), exp,
log, cos, atan or hyperbolic functions; the Windows C runtime rounds those
differently from glibc in the last bit, so there the two agree to the last
digits only.
"""

import os
import subprocess

import numpy as np
import pytest

import vantrel
from conftest import WINDOWS_BUILD, need, same_bits, shared_inputs

MATHEMATICS_LIBRARY = {
    "CountRateDDTSDev", "CountRateMonitorSDev",             # pow(x, 3 … 5)
    "FlippingRatioOptDDTSDev", "AsymmetryOptDDTSDev",       # CountRateDDTSDev's pow
    "PeakCentringGauss", "PeakCentringGaussSDev",           # pow up to 19, exp
    "STLrhombohedral", "STLmonoclinicB", "STLmonoclinicC", "STLtriclinic",  # cos, atan
    "He3Efficiency", "He3EfficiencySDev", "He3Transmission", "He3TransmissionSDev",  # exp, hyperbolic
    "He3Efficiency2SDev",                                   # pow(x, 3)
    "He3Polarisation", "He3PolarisationSDev",               # log, atanh
}

# "The last digits": the relative difference allowed where the mathematics
# library enters.
RELATIVE = 1e-12


@pytest.fixture(scope="module")
def dll_results():
    """{function name: (inputs, message-14 results, message-15 results)} for all 46 in one host run."""
    host = os.path.join(WINDOWS_BUILD, "Igor64.exe")
    need(host, "the stand-in host")
    inputs = {f.name: shared_inputs(f) for f in vantrel.functions}
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


def test_the_exceptions_are_catalogue_names():
    assert MATHEMATICS_LIBRARY <= {f.name for f in vantrel.functions}


def test_module_agrees_with_the_dll(function, dll_results):
    inputs, by_message, by_address = dll_results[function.name]
    assert same_bits(by_message, by_address).all()
    ours = function(*inputs.T)
    if function.name not in MATHEMATICS_LIBRARY:
        assert same_bits(ours, by_message).all(), inputs[~same_bits(ours, by_message)]
        return
    # Same NaNs and infinities; finite values to the last digits.
    assert (np.isnan(ours) == np.isnan(by_message)).all()
    finite = np.isfinite(ours) & np.isfinite(by_message)
    assert (ours[~finite & ~np.isnan(ours)] == by_message[~finite & ~np.isnan(ours)]).all()
    scale = np.maximum(np.abs(ours[finite]), np.finfo(float).tiny)
    assert (np.abs(ours[finite] - by_message[finite]) <= RELATIVE * scale).all()
