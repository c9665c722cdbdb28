"""Shared pieces of the module's tests: exact bits, the documented values and one
set of inputs for every function, so that the module, the command-line tool and
the DLL are compared on the same numbers.

ctest sets VANTREL_CLI (the tool), VANTREL_EDGE_CASES (a program printing the
documented values) and VANTREL_WINDOWS_BUILD_DIR; a test whose input is missing
is skipped.
"""

import os
import re
import struct
import subprocess
from collections import defaultdict

import numpy as np
import pytest

import vantrel

CLI = os.environ.get("VANTREL_CLI", "")
EDGE_CASES = os.environ.get("VANTREL_EDGE_CASES", "")
WINDOWS_BUILD = os.environ.get("VANTREL_WINDOWS_BUILD_DIR", "")


def bits(x):
    return struct.unpack("<Q", struct.pack("<d", float(x)))[0]


def from_bits(b):
    return struct.unpack("<d", struct.pack("<Q", b))[0]


def same_bits(a, b):
    """Element-wise: identical bits, or both NaN (a NaN's sign and payload carry no meaning)."""
    a, b = np.asarray(a, dtype=np.float64), np.asarray(b, dtype=np.float64)
    return (a.view(np.uint64) == b.view(np.uint64)) | (np.isnan(a) & np.isnan(b))


def need(path, what):
    if not path or not os.path.exists(path):
        pytest.skip(f"{what} not available ({path!r})")


def documented_cases():
    """(function, arguments, expected) for every documented value of the C++ tests."""
    need(EDGE_CASES, "the documented values")
    out = subprocess.run([EDGE_CASES], check=True, capture_output=True, text=True).stdout
    cases = []
    for line in out.splitlines():
        name, expected, *arguments = line.split()
        cases.append((name, [from_bits(int(a, 16)) for a in arguments], from_bits(int(expected, 16))))
    return cases


# ---- One set of inputs for every function --------------------------------------

# Plausible values by argument name, so that most rows give a finite value.
_PLAUSIBLE = [
    (r"^sigmaTau2$", lambda r, n: r.uniform(0, 1e-9, n)),
    (r"^sigmaTau$", lambda r, n: r.uniform(0, 1e-5, n)),
    (r"^sigma(Pr|Pm|PHe|Pn|Tn)$", lambda r, n: r.uniform(0, 0.02, n)),
    (r"^sigmaS$", lambda r, n: r.uniform(0, 0.002, n)),
    (r"^sigma", lambda r, n: r.uniform(0, 5, n)),
    (r"^tau2$", lambda r, n: r.uniform(0, 1e-8, n)),
    (r"^tau$", lambda r, n: r.uniform(0, 1e-4, n)),
    (r"^(h|k|l)$", lambda r, n: r.integers(-6, 7, n).astype(float)),
    (r"^(a|b|c)$", lambda r, n: r.uniform(2, 15, n)),
    (r"^(alpha|beta|gamma)$", lambda r, n: r.uniform(60, 120, n)),
    (r"^(PHe|Pr|Pm|Pn|Tn)$", lambda r, n: r.uniform(0, 1, n)),
    (r"^s$", lambda r, n: r.uniform(0.01, 0.16, n)),  # sin(θ)/λ within reach of any λ
    (r"^(P|f|q2)$", lambda r, n: r.uniform(0.1, 1, n)),  # a beam, a flipper, sin² of the field's angle
    (r"^p$", lambda r, n: r.uniform(0.3, 3, n)),
    (r"^T$", lambda r, n: r.uniform(250, 3600, n)),
    (r"^L$", lambda r, n: r.uniform(3, 20, n)),
    (r"^lambda$", lambda r, n: r.uniform(0.7, 6, n)),
    (r"^x[12]$", lambda r, n: r.uniform(-2, 2, n)),
    (r"^t", lambda r, n: r.uniform(1, 100, n)),
    (r"", lambda r, n: r.uniform(1, 5000, n)),  # counts, monitors, rates
]

_SPECIAL = np.array([0.0, -0.0, np.nan, np.inf, -np.inf, 1.0, -1.0, 5e-324])


def _plausible(rng, name, n):
    for pattern, draw in _PLAUSIBLE:
        if re.search(pattern, name):
            return draw(rng, n)
    raise AssertionError(name)


def _wide(rng, n):
    """Any magnitude and sign, with zeros, infinities, NaN and subnormals mixed in."""
    values = rng.choice([-1.0, 1.0], n) * 10.0 ** rng.uniform(-4, 5, n)
    special = rng.random(n) < 0.12
    values[special] = rng.choice(_SPECIAL, special.sum())
    return values


def _documented_arguments():
    by_function = defaultdict(list)
    if EDGE_CASES and os.path.exists(EDGE_CASES):
        for name, arguments, _ in documented_cases():
            by_function[name].append(arguments)
    return by_function


_DOCUMENTED = None


def shared_inputs(function, plausible=60, wide=40):
    """A (rows, arguments) array for one function: plausible rows, wide rows and
    the documented cases' arguments, the same on every call."""
    global _DOCUMENTED
    if _DOCUMENTED is None:
        _DOCUMENTED = _documented_arguments()
    rng = np.random.default_rng(1000 + function.index)
    columns = [_plausible(rng, name, plausible) for name in function.arguments]
    rows = [np.column_stack(columns)]
    rows.append(np.column_stack([_wide(rng, wide) for _ in function.arguments]))
    if _DOCUMENTED[function.name]:
        rows.append(np.array(_DOCUMENTED[function.name], dtype=np.float64))
    return np.vstack(rows)


@pytest.fixture(params=vantrel.functions, ids=lambda f: f.name)
def function(request):
    return request.param
