#!/usr/bin/env python3
"""How close each build of Vantrel comes to the exact value, and the table the tests read.

The references (tests/accuracy/<Name>.csv, written by tools/references.py) hold, per
function, inputs and the exact value of the formula. This script evaluates them in each
build and measures the error of every row in ulps of the result: |value - exact| divided
by the spacing of doubles at the exact value (the spacing of the binade [2^e, 2^(e+1))
that holds |exact|; 2^-1074 below the normal range and at 0). A NaN reference must meet
a NaN, an infinite one the same infinity; a row where the build's value is NaN, infinite
or finite while the exact value is not is "apart" and counts as an infinite error.

  native   the Python module of the native build (glibc), taken from sys.path
  windows  Vantrel-64.xop in the stand-in host under Wine (`batch` command, message 14;
           both routes must agree)
  page     build/web/vantrel.html in headless Chromium, through the page's own batch path
           (tests/frontends/web/evaluate.mjs)

Per function and build the table gives the largest and the 99.9th-percentile error over
the realistic and documented rows, and over the hostile rows the largest finite error
and the number of rows apart; the condition number of the formula at the realistic row
with the largest native error; and, against the native build, whether the plug-in gives
the same bits everywhere, its worst distance on the documented values and its worst
relative difference on the shared inputs of the Python tests, the ordinary references and
--rows further random plausible rows (the tolerances of the DLL tests). It writes
tests/accuracy/table.csv and the Accuracy section of docs/functions.md from it:

  PYTHONPATH=build/native/frontends/python/module python3 tools/accuracy.py    # after building both trees
  PYTHONPATH=build/native/frontends/python/module python3 tools/accuracy.py --only NAME ...   # these alone
  PYTHONPATH=build/native/frontends/python/module python3 tools/accuracy.py --builds page   # the page alone
  python3 tools/accuracy.py --document                              # the section from the table alone

The library's own functions are not in the plug-in: their Windows columns stay empty, and
measuring them alone needs no Windows build.

With --survey it also looks for rows where the two runtimes part, beyond the references:

  extreme     rows with 30 % of the arguments of any magnitude (1e-308 to 1e308,
              either sign) and 5 % zeros, infinities, NaN, subnormals
  angles      the reciprocal-cell sin(theta)/lambda functions with angles of
              growing magnitude (0 to 1e308 degrees)
  opacity     the helium-3 functions with cell opacities from 0.01 to 1e4, and
              He3TransmissionSDev with helium-3 polarisations close to 1
  centring    the Gaussian peak centring with the centre extrapolated ever
              further from the two points (nearly equal mapped asymmetries)
"""

import argparse
import base64
import csv
import json
import math
import os
import subprocess
import sys
import textwrap
import threading
from concurrent.futures import ThreadPoolExecutor
from decimal import ROUND_CEILING, Decimal, localcontext
from pathlib import Path

import numpy as np

ROOT = Path(__file__).resolve().parent.parent
REFERENCES = ROOT / "tests" / "accuracy"
TABLE = REFERENCES / "table.csv"
DOCUMENT = ROOT / "docs" / "functions.md"
PARTING_RELATIVE = 1e-10
COMMAND = "PYTHONPATH=build/native/frontends/python/module python3 tools/accuracy.py"
BUILDS = ("native", "windows", "page")
STATISTICS = ("max", "p999", "hostile", "apart")
COLUMNS = (["function", "rows", "hostile_rows"] + [f"{b}_{s}" for b in BUILDS for s in STATISTICS]
           + ["condition", "windows_exact", "windows_documented_ulps", "windows_relative"])

RECIPROCAL_CELL = ("STLrhombohedral", "STLmonoclinicB", "STLmonoclinicC", "STLtriclinic")
OPACITY = ("He3Efficiency", "He3EfficiencySDev", "He3Transmission", "He3TransmissionSDev",
           "He3Polarisation", "He3PolarisationSDev")
GAUSSIAN = ("PeakCentringGauss", "PeakCentringGaussSDev")


def parse_arguments():
    windows = ROOT / "build" / "windows"
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--wine-run", default=str(windows / "wine-run"), help="the Wine wrapper of the Windows build")
    parser.add_argument("--host", default=str(windows / "Igor64.exe"), help="the stand-in host")
    parser.add_argument("--dll", default=str(windows / "Vantrel-64.xop"), help="the DLL")
    parser.add_argument("--page", default=str(ROOT / "build" / "web" / "vantrel.html"),
                        help="the browser page (cmake --workflow --preset web)")
    parser.add_argument("--edge-cases", default=os.environ.get(
        "VANTREL_EDGE_CASES", str(ROOT / "build" / "native" / "tests" / "frontends" / "python" / "vantrel_edge_case_dump")),
        help="the program that prints the documented values")
    parser.add_argument("--rows", type=int, default=50000,
                        help="random plausible rows per function for the comparison with the native build")
    parser.add_argument("--only", nargs="+", metavar="NAME",
                        help="measure these functions alone and keep the table's rows of the others")
    parser.add_argument("--builds", nargs="+", choices=BUILDS[1:], default=list(BUILDS[1:]),
                        help="the builds to measure besides the native one; the others keep the table's columns")
    parser.add_argument("--document", action="store_true",
                        help="only rewrite the Accuracy section of docs/functions.md from the table")
    parser.add_argument("--survey", action="store_true", help="also look for rows where the runtimes part")
    parser.add_argument("--extreme-rows", type=int, default=20000, help="extreme rows per function (default 20000)")
    return parser.parse_args()


# ---- Against the exact value ----------------------------------------------------------

class References:
    """The rows of one function: kind, inputs, and the exact value as a sum hi + lo of two doubles."""

    def __init__(self, name):
        with open(REFERENCES / f"{name}.csv", encoding="utf-8") as f:
            lines = list(csv.reader(line for line in f if not line.startswith("#")))
        body = lines[1:]
        self.name = name
        self.arguments = lines[0][1:-1]
        self.kinds = np.array([line[0] for line in body])
        self.rows = np.array([[float(x) for x in line[1:-1]] for line in body], dtype=np.float64).reshape(
            len(body), len(self.arguments))
        self.hi, self.lo = exact_values([line[-1] for line in body])
        self.hostile = self.kinds == "hostile"


def exact_values(texts):
    """Decimal texts as hi + lo: hi the nearest double, lo the rest to double precision."""
    with localcontext() as context:
        context.prec = 60
        exact = [Decimal(s) for s in texts]
        hi = np.array([float(x) for x in exact])
        lo = np.array([float(x - Decimal(h)) if x.is_finite() and math.isfinite(h) else 0.0
                       for x, h in zip(exact, hi)])
    return hi, lo


def ulp_errors(values, hi, lo):
    """|value - (hi + lo)| in ulps of hi + lo; apart (NaN, infinite or finite against another) is inf."""
    values = np.asarray(values, dtype=np.float64)
    errors = np.full(len(values), np.inf)
    same_kind = (np.isnan(values) & np.isnan(hi)) | (np.isinf(hi) & (values == hi))
    errors[same_kind] = 0.0
    finite = np.isfinite(values) & np.isfinite(hi)
    magnitude = np.abs(hi[finite])
    mantissa, exponent = np.frexp(magnitude)
    # hi a power of two with the exact value below it: the binade beneath
    below = (mantissa == 0.5) & (np.sign(lo[finite]) * np.sign(hi[finite]) < 0)
    exponent = np.where(magnitude == 0, -1073, exponent - below)
    ulp = np.ldexp(1.0, np.maximum(exponent - 53, -1074))
    with np.errstate(all="ignore"):
        errors[finite] = np.abs((values[finite] - hi[finite]) - lo[finite]) / ulp
    return errors


def statistics(errors, hostile):
    """(max, 99.9th percentile) over the ordinary rows, (max finite, rows apart) over the hostile ones."""
    ordinary, wild = errors[~hostile], errors[hostile]
    finite = wild[np.isfinite(wild)]
    return (float(ordinary.max()), float(np.percentile(ordinary, 99.9, method="higher")),
            float(finite.max()) if len(finite) else 0.0, int((~np.isfinite(wild)).sum()))


def bound(x):
    """An error in ulps rounded up for the table: tenths below 10, else two significant digits."""
    if math.isinf(x):
        return "inf"
    if x < 10:
        return f"{math.ceil(round(x * 10, 6)) / 10:.1f}"
    digits = int(math.floor(math.log10(x))) - 1
    value = math.ceil(x / 10**digits) * 10**digits
    return f"{value:.0f}" if value < 1e6 else f"{value:.1e}".replace("e+", "e")


def round_up_relative(x):
    return round_up(x) if x else "0"


def read_table(path=TABLE):
    """{function: {column: text}} in table order."""
    with open(path, encoding="utf-8") as f:
        rows = list(csv.DictReader(line for line in f if not line.startswith("#")))
    if not rows or list(rows[0]) != COLUMNS:
        raise ValueError(f"{path}: the columns are not {','.join(COLUMNS)}")
    return {row["function"]: row for row in rows}


def write_table(rows, path=TABLE):
    header = ("# Error against the exact value of the formula (tests/accuracy/<Name>.csv), in ulps of the result, "
              "per build: max and p999 over the realistic and documented rows, hostile = the largest finite error "
              "over the hostile rows and apart = those of them where NaN, an infinity or a number meets another; "
              "condition = the formula's condition number at the row of the largest native error; windows_exact, "
              "windows_documented_ulps and windows_relative compare the plug-in with the native build. "
              f"Made by: {COMMAND}\n")
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(header)
        writer = csv.DictWriter(f, COLUMNS, lineterminator="\n")
        writer.writeheader()
        writer.writerows(rows)


def within(table_row, build, references, values):
    """The statistics of values that exceed the table's bounds for build: [] when all hold."""
    measured = statistics(ulp_errors(values, references.hi, references.lo), references.hostile)
    faults = []
    for name, value in zip(STATISTICS, measured):
        allowed = table_row[f"{build}_{name}"]
        if allowed and value > float(allowed):
            faults.append(f"{name} {value:.3g} > {allowed}")
    return faults


def condition_number(name, row):
    """sum |x_i * df/dx_i| / |f| at row, by central differences at 60 digits."""
    sys.path.insert(0, str(ROOT / "tools"))
    import references as exact  # noqa: E402
    from mpmath import mp, mpf

    formula = exact.FORMULAS[name][0]
    mp.dps = 60
    exact.SIGNED = False
    x = [mpf(float(v)) for v in row]
    f = formula(*x)
    if not mp.isfinite(f) or f == 0:
        return math.inf
    total = mpf(0)
    for i, xi in enumerate(x):
        if xi == 0:
            continue
        h = abs(xi) * mpf(10) ** -25
        up, down = list(x), list(x)
        up[i], down[i] = xi + h, xi - h
        total += abs(xi * (formula(*up) - formula(*down)) / (2 * h))
    return float(total / abs(f))


def measure(functions, conftest, builds, pool, rows):
    """One table row per function, and the ordinary row of its largest native error. builds maps
    a build's name to its evaluate(function, rows); a build that is absent, or that returns None
    for a function it does not have (the plug-in for the library's own), leaves its columns empty."""
    missing = [f.name for f in functions if not (REFERENCES / f"{f.name}.csv").exists()]
    if missing:
        sys.exit(f"accuracy: no references for {', '.join(missing)}: run tools/references.py")
    conftest.shared_inputs(functions[0])  # loads the documented values once, before the threads

    def one(function):
        references = References(function.name)
        ordinary = ~references.hostile
        row = {"function": function.name, "rows": int(ordinary.sum()), "hostile_rows": int(references.hostile.sum())}
        values = {build: evaluate(function, references.rows) for build, evaluate in builds.items()}
        values = {build: v for build, v in values.items() if v is not None}
        for build in BUILDS:
            measured = statistics(ulp_errors(values[build], references.hi, references.lo), references.hostile) \
                if build in values else ("",) * len(STATISTICS)
            for name, value in zip(STATISTICS, measured):
                row[f"{build}_{name}"] = value if value == "" else str(value) if name == "apart" else bound(value)
        ours = values["native"]
        row.update(windows_exact="", windows_relative="", windows_documented_ulps="")
        if "windows" in values:
            # The plug-in against the native build, on the rows of the Python tests' comparison: the
            # shared inputs, further random rows and the ordinary references (on hostile rows the
            # runtimes may part; the exact values judge them there).
            more = np.vstack([conftest.shared_inputs(function),
                              random_rows(conftest, function, rows, 20000 + function.index)])
            theirs = values["windows"]
            exact, _, relative = Comparison(np.concatenate([builds["native"](function, more), ours[ordinary]]),
                                            np.concatenate([builds["windows"](function, more), theirs[ordinary]])).worst()
            row.update(windows_exact=int(exact), windows_relative=round_up_relative(relative),
                       windows_documented_ulps=Comparison(ours, theirs).worst(references.kinds == "documented")[1])
        native_errors = ulp_errors(ours, references.hi, references.lo)
        return row, references.rows[int(np.argmax(np.where(ordinary, native_errors, -1.0)))]

    return list(pool.map(one, functions))


def condition_text(kappa):
    if not math.isfinite(kappa):
        return "inf"
    return f"{float(f'{kappa:.2g}'):.2g}".replace("e+0", "e").replace("e+", "e")


# ---- Inputs ------------------------------------------------------------------

def load_shared_inputs(edge_cases):
    """The generator of the Python tests, with the documented values it includes."""
    if not os.path.exists(edge_cases):
        sys.exit(f"accuracy: no program printing the documented values at {edge_cases}\n"
                 "  build it (cmake --build build/native --target vantrel_edge_case_dump) or pass --edge-cases")
    os.environ["VANTREL_EDGE_CASES"] = edge_cases
    sys.path.insert(0, str(ROOT / "tests" / "frontends" / "python"))
    import conftest  # noqa: E402  (needs the environment above)
    return conftest


def random_rows(conftest, function, n, seed):
    rng = np.random.default_rng(seed)
    return np.column_stack([conftest._plausible(rng, name, n) for name in function.arguments])


_SPECIAL = np.array([0.0, -0.0, np.nan, np.inf, -np.inf, 1.0, -1.0, 5e-324, -5e-324, 2.2250738585072014e-308,
                     1.7976931348623157e308])


def extreme_rows(conftest, function, n, seed):
    rng = np.random.default_rng(seed)
    columns = []
    for name in function.arguments:
        values = conftest._plausible(rng, name, n)
        wild = rng.random(n) < 0.3
        values[wild] = rng.choice([-1.0, 1.0], wild.sum()) * 10.0 ** rng.uniform(-308, 308, wild.sum())
        special = rng.random(n) < 0.05
        values[special] = rng.choice(_SPECIAL, special.sum())
        columns.append(values)
    return np.column_stack(columns)


# ---- Evaluation ----------------------------------------------------------------

class Dll:
    def __init__(self, wine_run, host, dll):
        for path, what in ((wine_run, "--wine-run"), (host, "--host"), (dll, "--dll")):
            if not os.path.exists(path):
                sys.exit(f"accuracy: {path} does not exist ({what})")
        self.command = [wine_run, host, dll, "batch"]

    def evaluate(self, name, rows):
        """The value by message 14 of every row; both routes must agree and report status 0."""
        text = "".join(name + " " + " ".join(map(float.hex, row)) + "\n" for row in rows.tolist())
        run = subprocess.run(self.command, input=text, capture_output=True, text=True, timeout=1800)
        if run.returncode != 0:
            sys.exit(f"accuracy: the host failed on {name}: {run.stderr.strip()}")
        lines = [line.split() for line in run.stdout.splitlines() if line.strip()]
        if len(lines) != len(rows):
            sys.exit(f"accuracy: {len(rows)} rows of {name} sent, {len(lines)} lines back")
        for line in lines:
            if line[0] != name or line[1] != line[2] or line[3:] != ["0", "0", "clean"]:
                sys.exit(f"accuracy: unexpected host line for {name}: {' '.join(line)}")
        return np.array([int(line[1], 16) for line in lines], dtype=np.uint64).view(np.float64)


class Page:
    """The browser page's batch path: tests/frontends/web/evaluate.mjs drives build/web/vantrel.html in
    headless Chromium, one request at a time."""

    def __init__(self, page):
        if not os.path.exists(page):
            sys.exit(f"accuracy: {page} does not exist (--page)")
        environment = dict(os.environ, VANTREL_PAGE=str(Path(page).resolve()))
        environment.setdefault("NODE_PATH", "/usr/share/nodejs")
        self.process = subprocess.Popen(["node", str(ROOT / "tests" / "frontends" / "web" / "evaluate.mjs")], cwd=ROOT,
                                        env=environment, stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.lock = threading.Lock()

    def evaluate(self, name, rows):
        columns = base64.b64encode(np.ascontiguousarray(rows.T, dtype="<f8").tobytes()).decode()
        with self.lock:
            self.process.stdin.write(json.dumps({"name": name, "columns": columns}) + "\n")
            self.process.stdin.flush()
            answer = json.loads(self.process.stdout.readline() or '{"error": "the page runner stopped"}')
        if "error" in answer:
            sys.exit(f"accuracy: the page failed on {name}: {answer['error']}")
        values = np.frombuffer(base64.b64decode(answer["values"]), dtype="<f8").astype(np.float64)
        if len(values) != len(rows):
            sys.exit(f"accuracy: {len(rows)} rows of {name} sent to the page, {len(values)} values back")
        return values

    def close(self):
        self.process.stdin.close()
        self.process.wait(timeout=60)


def native(function, rows):
    with np.errstate(all="ignore"):
        return np.asarray(function(*rows.T), dtype=np.float64)


def ulp_key(x):
    """Doubles as ordered integers, +0 and -0 both 0."""
    bits = x.view(np.int64)
    return np.where(bits < 0, np.iinfo(np.int64).min - bits, bits)


class Comparison:
    """Row-by-row comparison of the native values a and the DLL's b."""

    def __init__(self, a, b):
        self.a, self.b = a, b
        nan_a, nan_b = np.isnan(a), np.isnan(b)
        inf_a, inf_b = np.isinf(a), np.isinf(b)
        self.finite = np.isfinite(a) & np.isfinite(b)
        self.same_bits = (a.view(np.uint64) == b.view(np.uint64)) | (nan_a & nan_b)
        with np.errstate(all="ignore"):
            self.relative = np.where(self.finite, np.abs(a - b) / np.maximum(np.abs(a), np.finfo(float).tiny), 0.0)
            self.ulps = np.where(self.finite, np.abs(ulp_key(a) - ulp_key(b)), 0)
        self.parting = ((nan_a != nan_b) | (~nan_a & ~nan_b & (inf_a != inf_b)) | (inf_a & inf_b & (a != b))
                        | (self.finite & (self.relative > PARTING_RELATIVE)))

    def spread(self, mask):
        """(worst ulps, worst relative difference) over the rows of mask where both are finite, parting or not."""
        finite = mask & self.finite
        if not finite.any():
            return 0, 0.0
        return int(self.ulps[finite].max()), float(self.relative[finite].max())

    def worst(self, mask=None):
        """(exact, worst ulps, worst relative difference) over the rows that do not part."""
        mask = np.ones(len(self.a), bool) if mask is None else mask
        ordinary = mask & ~self.parting
        exact = bool(self.same_bits[mask].all())
        if not ordinary.any():
            return exact, 0, 0.0
        return exact, int(self.ulps[ordinary].max()), float(self.relative[ordinary].max())


def round_up(x, digits=2):
    """x rounded up to `digits` significant digits, as text."""
    if x == 0:
        return "0"
    d = Decimal(repr(x))
    quantum = Decimal(1).scaleb(d.adjusted() - digits + 1)
    return f"{float((d / quantum).to_integral_value(rounding=ROUND_CEILING) * quantum):.{digits - 1}e}"

# ---- The Accuracy section of the function reference -------------------------------------

SECTION_START, SECTION_END = "## Accuracy\n", "## References\n"

INTRODUCTION = """\
## Accuracy

Each function is measured against the exact value of its own formula: the same formula and the
same constants (the 12-digit π, the older Avogadro number and gas constant, σ₀ at 1.8 Å, the
polynomial inverse error function), evaluated in 50-digit arithmetic by `tools/references.py`
apart from the C++. The error of a value is its distance from the exact value in **ulps of the
result**, the spacing of doubles at the exact value: a correctly rounded result is within 0.5 ulp,
and an error of 2ᵏ ulps means that about k of the 53 bits are wrong. A NaN must meet a NaN and an
infinity the same infinity.

**The rows.** `tests/accuracy/` holds, per function, {realistic} ordinary rows (realistic rows
drawn over the ranges below, the catalogue's example and the documented values of the tests) and
about 140 hostile rows: every argument of any magnitude from 10⁻⁴ to 10⁵ and either sign with zeros,
infinities, NaN, ±1 and subnormals mixed in, and realistic rows scaled by 10^±20, 10^±60 or
10^±150. Realistic rows draw counts, monitor counts and rates from 1 to 5000, times from 1 to
100 s, τ up to 100 µs and τ₂ up to 10⁻⁸ s² (σ_τ up to 10 µs, σ_τ₂ up to 10⁻⁹ s²), polarisations
from 0 to 1 (their deviations up to 0.02), other deviations up to 5, positions from −2 to 2, Miller
indices from −6 to 6, edges from 2 to 15 Å, angles from 60° to 120°, p from 0.3 to 3 atm, T from
250 to 3600 (K, or s for the total time), L from 3 to 20 cm and λ from 0.7 to 6 Å. The library's
own functions draw PHe0 from 0 to 1, T1 from 20 to 500 h and t up to 300 h (σ up to 0.02 and 20 h,
ρ from −1 to 1), transmission ratios from 1 to 4 (σ up to 0.02), flipping ratios from 0.1 to 10
(uniform in the logarithm; σ up to 1) and asymmetries from −1 to 1 (σ up to 0.05), with P from
0.8 to 1 and f from 0.9 to 1 (σ up to 0.02). The ratio γ's functions draw γ from −0.5 to 0.5 (σ up
to 0.02), flipping ratios from 0.7 to 1.5 (uniform in the logarithm; σ up to 0.05) and asymmetries
from −0.3 to 0.3 (σ up to 0.02), with P from 0.5 to 1, f from 0.8 to 1 (σ up to 0.01) and q² from
0.2 to 1. Uniform draws such as these make nearly equal pairs (a
peak close to its background, equal asymmetries) common enough to show how a formula behaves there.

**The builds.** *Native* is the library as Linux builds it (glibc), through the Python module;
*Windows* is `Vantrel-64.xop` in the stand-in host under Wine, whose `msvcrt.dll` stands for the
Windows C runtime; the *page* is `vantrel.html` in headless Chromium, its WebAssembly with
the C library of emscripten (musl), through the page's own batch path. `tools/accuracy.py` measures
them and writes `tests/accuracy/table.csv`, from which it writes this section; the tests check
every build against that table and that this section is what the table gives:

```sh
PYTHONPATH=build/native/frontends/python/module python3 tools/accuracy.py    # after building both trees
```

**The table.** Per build: the largest and the 99.9th-percentile error over the realistic and
documented rows (max / 99.9 %), and over the hostile rows the largest finite error with, in
brackets, the rows where the build gives NaN, an infinity or a number while the exact value is
another of these. *Condition* is the formula's condition number at the realistic row with the
largest native error: how many ulps the result moves when every argument moves by one ulp,
Σ|xᵢ·∂f/∂xᵢ|/|f|. An error of the order of the condition number is the formula's (its inputs
are known only to half an ulp); an error far above it is lost by the arithmetic in between.
"""

# One sentence a family, from the measured rows: where the error exceeds a few ulps, whether the
# formula or the arithmetic loses the digits, and the range that keeps them.
FAMILY_NOTES = {
    "hostile": "Hostile errors of 10¹⁵ ulps and more are results with no correct digit: an intermediate "
               "power or product under- or overflows (subnormal arguments, every argument of a row scaled by "
               "10^±60 or 10^±150). Give arguments in units that "
               "keep them near 1 (counts, seconds, Å, atm): the deviations raise them to powers up to the "
               "sixth, and the helium-3 constants reach 10⁴⁷.",
    "counting": "**Count rates, optimal counting times.** Well conditioned: within 6 ulps of the exact value "
                "on every realistic row (dead-time loss N·τ/t up to 0.5), natively and on Windows alike.",
    "flipping": "**Flipping ratios.** The digits lost are the formula's, a difference of peak and background: "
                "keep each net intensity at least 10 % of its gross, |N_p − N_b| ≥ 0.1·(N_p + N_b), in both "
                "spin states, and every level stays within 31 ulps (about 7·10⁻¹⁵ relative); at 1 % the "
                "`Opt` levels reach 380 ulps.",
    "asymmetry": "**Asymmetries.** A and its deviation lose digits as I+ + I− or I+ − I− cancels (condition "
                 "1.2·10⁴ at the worst row): keep 0.1 ≤ |(I+ − I−)/(I+ + I−)| and each net intensity at least "
                 "10 % of its gross, and every level stays within 70 ulps; quote an asymmetry near 0 to a "
                 "fixed number of decimals (its absolute error stays near 10⁻¹⁶), not of significant digits.",
    "centring": "**Peak centring.** A centre far outside the two positions is an extrapolation whose "
                "condition grows with the distance in spacings |x₂ − x₁| (the worst rows lie 100 to 700 "
                "spacings out): measure on both flanks so that the centre lies between the points, where the "
                "Gaussian centre keeps within 70 ulps and its deviation within 6; keep |(A − B)/(A + B)| ≤ "
                "0.95, where the polynomial inverse error function holds.",
    "lattice": "**sin(θ)/λ.** The closed forms and the monoclinic and triclinic cells stay within 8 ulps; a "
               "rhombohedral cell loses digits as α approaches 120°, where it flattens (570 ulps at 119.98°, "
               "condition 2.4·10³): α up to 115° keeps within 7 ulps.",
    "helium3": "**Helium-3 cell.** `He3TransmissionSDev` loses digits to the arithmetic, not the formula: its "
               "expanded square cancels as P_He approaches 1 (3500 ulps at P_He = 0.997 against a condition "
               "of 67); keep P_He ≤ 0.9 for 80 ulps (2·10⁻¹⁴), ≤ 0.99 for 1400. `He3Polarisation` with "
               "P_m ≪ P_r takes the logarithm of a ratio near 1 (160 ulps at P_m/P_r = 8·10⁻⁴, condition 6): "
               "P_m/P_r ≥ 0.01 keeps 18 ulps. `He3PolarisationSDev` is ill-conditioned as P_m approaches "
               "P_r (440 ulps at P_m/P_r = 0.9996, condition 5.9·10³). The others stay within 31 ulps.",
    "beam": "**The cell over an experiment, ratios corrected for the beam.** `FlippingRatioCorrected` and its "
            "deviation lose digits to the formula near the limits of what the beam can show: R₀ has a pole "
            "where the measured R reaches (1 + P)/(1 − P′) and a zero where it falls to (1 − P)/(1 + P′), "
            "P′ = (2f − 1)·P (230 ulps 1 % below the pole, condition 1.6·10³). Keep R a factor 1.2 inside "
            "both and value and deviation stay within 16 ulps; a ratio near or beyond them says that P or f "
            "is overestimated. The relaxation exp(−t/T₁) multiplies the rounding of t/T₁ by t/T₁ (6 ulps at "
            "t = 11·T₁); the other functions stay within 5 ulps.",
    "magnetic": "**The ratio γ of a reflection.** Well conditioned wherever the beam can produce the ratio: "
                "γ from a ratio or an asymmetry and back, and every deviation, stay within 7 ulps. The "
                "condition of γ's deviation grows towards the edge of reach, where the two roots of the "
                "quadratic meet and the deviation is +∞ (81 at the worst realistic row).",
}

NOTES_HEADING = """
**Where the digits go, and what to do.**
"""


def in_plugin(row):
    """The plug-in's functions have their comparison with the native build; the library's own none."""
    return row["windows_exact"] != ""


def cell(row, build):
    if not row[f"{build}_max"]:
        return "not in the plug-in" if build == "windows" and not in_plugin(row) else "—"
    return f"{row[f'{build}_max']} / {row[f'{build}_p999']}"


def hostile_cell(row, build):
    if not row[f"{build}_hostile"]:
        return "—"
    apart = int(row[f"{build}_apart"])
    return row[f"{build}_hostile"] + (f" ({apart})" if apart else "")


def render_section(table, notes=None):
    notes = FAMILY_NOTES if notes is None else notes
    realistic = {int(row["rows"]) for row in table.values()}
    lines = [INTRODUCTION.format(realistic=f"{min(realistic):,} to {max(realistic):,}")]
    lines.append("| Function | Native | Windows | Page | Hostile: native | Windows | Page | Condition |")
    lines.append("|---|---|---|---|---|---|---|---|")
    for name, row in table.items():
        lines.append(f"| `{name}` | {' | '.join(cell(row, b) for b in BUILDS)} | "
                     f"{' | '.join(hostile_cell(row, b) for b in BUILDS)} | {row['condition']} |")
    lines.append(NOTES_HEADING)
    lines.extend(textwrap.fill(text, 100, initial_indent="- ", subsequent_indent="  ") for text in notes.values())
    lines.append("")
    plugin = [row for row in table.values() if in_plugin(row)]
    exact = sum(row["windows_exact"] == "1" for row in plugin)
    lines.append(textwrap.fill(
        f"**Windows against native.** {exact} functions give the native build's bits on every row in the "
        f"plug-in; the other {len(plugin) - exact} call `pow`, `exp`, `log`, `cos`, `atan` or the hyperbolic "
        "functions, which the Windows C runtime rounds otherwise in the last bit, and differ from the native "
        "values by the relative amounts the DLL tests allow (`windows_relative` in the table). The library's "
        f"own {len(table) - len(plugin)} are not in the plug-in and have no Windows column.", 100))
    lines.append("")
    measured = [row for row in table.values() if row["page_max"]]
    alike = [row for row in measured if all(row[f"page_{s}"] == row[f"native_{s}"] for s in STATISTICS)]
    if measured:
        lines.append(textwrap.fill(
            f"**The page against native.** For {len(alike)} of the {len(measured)} functions the page's errors are "
            "the native build's in every column, though its C library (musl) rounds `pow`, `exp`, `cos` and the "
            "hyperbolic functions otherwise in the last bit for some inputs (`docs/web.md` says where and by how "
            "much); on the reference rows that moves the table only for "
            + (", ".join(f"`{row['function']}`" for row in measured if row not in alike) or "none") + ".", 100))
        lines.append("")
    lines.append(RUNTIMES)
    return "\n".join(lines)


def replace_section(document, section):
    start, end = document.index(SECTION_START), document.index(SECTION_END)
    return document[:start] + section + "\n" + document[end:]


def current_section(document):
    return document[document.index(SECTION_START):document.index(SECTION_END)]


RUNTIMES = """\
**Where the two runtimes part.** The runtimes part on a row when one gives NaN or an infinity where
the other gives a number, or when they differ by more than 10⁻¹⁰ relatively. The script looks for
such rows beyond the ordinary inputs: 20,000 rows per function with 30 % of the arguments of any
magnitude from 10⁻³⁰⁸ to 10³⁰⁸ and 5 % zeros, infinities, NaN and subnormals, and scans of angle,
opacity, helium-3 polarisation and extrapolation. The 29 exact functions keep the same bits on all
the extreme rows. The others part only in these cases, which also bound the range in which the
table holds:

- **sin(θ)/λ through the reciprocal cell with absurd angles.** The Windows runtime's `cos` loses
  accuracy on large arguments, where glibc's stays right to the last bit, so the difference grows
  with the angle. The table holds for angles from 60° to 120°, the sampled range. In a scan of
  2000 rows per band and function, angles anywhere within ±360° stay within 31 ulps
  (5.4·10⁻¹⁵, `STLrhombohedral`; 16 ulps for `STLtriclinic`, 6 and 4 for the monoclinic ones);
  within ±10⁵° within 203 ulps (3.3·10⁻¹⁴), except nearly flat rhombohedral cells, whose poor
  condition magnifies the difference (up to 1.4·10⁴ ulps, 2.5·10⁻¹²). From about 10⁶° the
  difference grows tenfold per decade, and the runtimes part from 10⁸° (`STLrhombohedral`,
  `STLtriclinic`) or 10⁹° (the monoclinic ones); at 10¹²° and beyond most rows part, and for an
  angle such as 10³⁰⁸° the two results have nothing in common (a NaN against a number, or
  unrelated numbers). Of the 20,000 extreme rows per function 1519 (`STLrhombohedral`), 798
  (`STLmonoclinicB`), 846 (`STLmonoclinicC`) and 1514 (`STLtriclinic`) part: all with an angle
  beyond 10¹²°, except 34 of `STLmonoclinicC`, flat cells (γ within 10⁻²¹° of 0) with an edge of
  10¹⁴ Å or more, which the absolute determinant limit lets through. **Valid range: angles within
  ±10⁵°** (a physical cell needs 0° to 180°). A cell whose metric determinant lies within rounding
  of the limit 10⁻¹³ Å⁶ could also be refused by one runtime and accepted by the other; no sample
  met one.
- **Gaussian centring far outside the two points.** When the two mapped asymmetries nearly
  coincide, the centre lies far from the points and the difference grows with the distance,
  counted in spacings |x2 − x1| from the nearer point: relative 6.5·10⁻¹⁴ within one spacing,
  3.3·10⁻¹³ within 100 (the table holds there), 3.3·10⁻¹² within 10³ and 4·10⁻¹¹ within 10⁴. The
  runtimes part from about 10⁴ spacings: 42 and 15 of the 20,000 extreme rows of
  `PeakCentringGauss` and `PeakCentringGaussSDev` part, all beyond 5·10⁴ spacings. **Valid range:
  a centre within 10³ spacings of the points.**
- **`He3TransmissionSDev` with P_He close to 1.** Its expanded square cancels. At opacities up to
  350, P_He up to 0.9 keeps within 150 ulps (2.5·10⁻¹⁴; the table holds there), 0.9 to 0.99 within
  1.8·10⁻¹², 0.99 to 0.999 reaches 1.8·10⁻¹⁰ (2 of 8000 rows part), and above 0.999 47 of 8000 rows
  part (up to 6.7·10⁻⁹). **Valid range: P_He up to 0.99.** The other functions of the opacity do
  not part at any opacity from 0.01 to 10⁴, and their differences stay within the table: where
  cosh, sinh or exp overflow or underflow, both runtimes do so on the same rows.

No other function parts on any of these rows.
"""


# ---- Where the runtimes part -------------------------------------------------------

def opacity(p, T, L, wavelength):
    """CellOpacity, in the library's order."""
    return (((((p * 6.0221367e23) / (T * 82.096)) * L) * 5.333e-21) / 1.8) * wavelength


def cell_shape(function, rows):
    """The largest |angle| of each row (degrees) and the cell's squared volume over (a·b·c)²,
    1 - cos²α - cos²β - cos²γ + 2·cosα·cosβ·cosγ, with the angles the function fixes."""
    named = dict(zip(function.arguments, rows.T))
    fixed = {"STLrhombohedral": ("alpha", "alpha", "alpha"), "STLmonoclinicB": (90.0, "beta", 90.0),
             "STLmonoclinicC": (90.0, 90.0, "gamma"), "STLtriclinic": ("alpha", "beta", "gamma")}[function.name]
    angles = [named[a] if isinstance(a, str) else np.full(len(rows), a) for a in fixed]
    with np.errstate(all="ignore"):
        ca, cb, cg = (np.cos(np.radians(np.fmod(x, 360.0))) for x in angles)
        volume = 1 - ca * ca - cb * cb - cg * cg + 2 * ca * cb * cg
    return np.abs(np.column_stack(angles)).max(axis=1), volume


def survey_extreme(vantrel, conftest, dll, n, pool):
    print(f"\nExtreme inputs: {n} rows per function (30 % of the arguments of any magnitude, 5 % special values)")

    def one(function):
        rows = extreme_rows(conftest, function, n, 30000 + function.index)
        return function, rows, Comparison(native(function, rows), dll.evaluate(function.name, rows))

    for function, rows, c in pool.map(one, [f for f in vantrel.functions if f.exported]):
        differ = int((~c.same_bits).sum())
        parting = np.nonzero(c.parting)[0]
        line = f"  {function.name:26} other bits {differ:6}, parting {len(parting):5}"
        if len(parting) and function.name in RECIPROCAL_CELL:
            angle, volume = cell_shape(function, rows[parting])
            large = angle > 1e6
            if large.any():
                line += f"; {int(large.sum())} with an angle beyond 1e6 degrees (the least {angle[large].min():.3g})"
            if (~large).any():
                line += (f", {int((~large).sum())} nearly flat cells with huge or tiny edges "
                         f"(normalised volume squared at most {volume[~large].max():.2g})")
        elif len(parting) and function.name in GAUSSIAN:
            line += f"; least extrapolation among them {extrapolation(vantrel, rows[parting]).min():.3g} spacings"
        elif len(parting):
            line += "; for example " + ", ".join(
                f"{function.name}({', '.join(f'{x:.17g}' for x in rows[i])}) = {c.a[i]!r} natively, {c.b[i]!r}"
                for i in parting[:2])
        print(line)


def band_report(name, bands, band_of_row, c):
    print(f"  {name}")
    for i, band in enumerate(bands):
        mask = band_of_row == i
        ulps, relative = c.spread(mask)
        print(f"    {band:24} rows {int(mask.sum()):6}, finite {int((mask & c.finite).sum()):6}, "
              f"parting {int((mask & c.parting).sum()):5}; worst {ulps:>15} ulps, relative {relative:.2g}")


def survey_bands(conftest, dll, function, edges, bands, per_band, seed, shape):
    """Rows of `function` drawn band by band, each shaped into its band by shape(rows, low, high, rng),
    and the two runtimes compared per band."""
    rng = np.random.default_rng(seed + function.index)
    blocks, band_of_row = [], []
    for i, (low, high) in enumerate(zip(edges, edges[1:])):
        rows = random_rows(conftest, function, per_band, rng.integers(1 << 32))
        shape(rows, low, high, rng)
        blocks.append(rows)
        band_of_row += [i] * per_band
    rows = np.vstack(blocks)
    band_report(function.name, bands, np.array(band_of_row),
                Comparison(native(function, rows), dll.evaluate(function.name, rows)))


def survey_angles(vantrel, conftest, dll):
    print("\nAngles: the reciprocal-cell functions, every angle of the row drawn in the band (either sign)")
    edges = [0, 360, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e12, 1e308]
    bands = [f"|angle| {a:g}-{b:g} deg" for a, b in zip(edges, edges[1:])]
    functions = {f.name: f for f in vantrel.functions}
    for name in RECIPROCAL_CELL:
        function = functions[name]

        def shape(rows, low, high, rng):
            for j, argument in enumerate(function.arguments):
                if argument in ("alpha", "beta", "gamma"):
                    draw = rng.uniform(low, high, 2000) if low == 0 else np.exp(rng.uniform(math.log(low), math.log(high), 2000))
                    rows[:, j] = rng.choice([-1.0, 1.0], 2000) * draw

        survey_bands(conftest, dll, function, edges, bands, 2000, 40000, shape)


def survey_opacity(vantrel, conftest, dll):
    print("\nOpacity: the helium-3 functions with the pressure scaled to a cell opacity O in the band")
    edges = [0.01, 1, 10, 30, 100, 300, 700, 1e4]
    bands = [f"O {a:g}-{b:g}" for a, b in zip(edges, edges[1:])]

    def shape(rows, low, high, rng):
        target = np.exp(rng.uniform(math.log(low), math.log(high), len(rows)))
        rows[:, 0] *= target / opacity(*rows[:, :4].T)

    functions = {f.name: f for f in vantrel.functions}
    for name in OPACITY:
        survey_bands(conftest, dll, functions[name], edges, bands, 3000, 50000, shape)


def survey_polarisation(vantrel, conftest, dll):
    print("\nHe3TransmissionSDev by helium-3 polarisation, at opacities O 1-350: its variance is a difference of")
    print("terms that grow as cosh²(O·P_He) and cancel as P_He approaches 1")
    edges = [0, 0.9, 0.99, 0.999, 1]
    bands = [f"P_He {a:g}-{b:g}" for a, b in zip(edges, edges[1:])]

    def shape(rows, low, high, rng):
        rows[:, 0] *= np.exp(rng.uniform(0, math.log(350), len(rows))) / opacity(*rows[:, :4].T)
        rows[:, 4] = rng.uniform(low, high, len(rows))

    function = next(f for f in vantrel.functions if f.name == "He3TransmissionSDev")
    survey_bands(conftest, dll, function, edges, bands, 8000, 70000, shape)


def extrapolation(vantrel, rows):
    """How far the Gaussian centre lies from the nearer point, in units of the spacing x2 - x1."""
    with np.errstate(all="ignore"):
        centre = native(vantrel.PeakCentringGauss, rows[:, :6])
        x1, x2 = rows[:, 0], rows[:, 3]
        return np.minimum(np.abs(centre - x1), np.abs(centre - x2)) / np.abs(x2 - x1)


def survey_centring(vantrel, conftest, dll):
    print("\nCentring: the Gaussian model with nearly equal asymmetries at the two points, by how far the centre")
    print("lies from the nearer point (in spacings x2 - x1)")
    edges = [0, 1, 10, 100, 1e3, 1e4, 1e5, 1e6, 1e9, 1e16]
    bands = [f"{a:g}-{b:g} spacings" for a, b in zip(edges, edges[1:])]
    functions = {f.name: f for f in vantrel.functions}
    for name in GAUSSIAN:
        function = functions[name]
        rng = np.random.default_rng(60000 + function.index)
        rows = random_rows(conftest, function, 60000, rng.integers(1 << 32))
        a1 = (rows[:, 1] - rows[:, 2]) / (rows[:, 1] + rows[:, 2])
        a2 = np.clip(a1 + rng.choice([-1.0, 1.0], len(rows)) * 10.0 ** rng.uniform(-14, 0, len(rows)), -0.999, 0.999)
        total = rng.uniform(1, 5000, len(rows))
        rows[:, 4], rows[:, 5] = total * (1 + a2) / 2, total * (1 - a2) / 2
        band = np.digitize(extrapolation(vantrel, rows), edges) - 1
        band_report(name, bands, band, Comparison(native(function, rows), dll.evaluate(name, rows)))



def write_document(table):
    text = DOCUMENT.read_text(encoding="utf-8")
    DOCUMENT.write_text(replace_section(text, render_section(table)), encoding="utf-8")


def main():
    arguments = parse_arguments()
    if arguments.document:
        write_document(read_table())
        print(f"wrote the Accuracy section of {DOCUMENT} from {TABLE}")
        return
    import vantrel

    conftest = load_shared_inputs(arguments.edge_cases)
    if not conftest._documented_arguments():
        sys.exit(f"accuracy: {arguments.edge_cases} printed no documented values")
    functions = [f for f in vantrel.functions if not arguments.only or f.name in arguments.only]
    unknown = sorted(set(arguments.only or ()) - {f.name for f in functions})
    if unknown:
        sys.exit(f"accuracy: no such functions: {', '.join(unknown)}")
    measured = {"native", *arguments.builds}
    # The plug-in carries the host's functions only: the library's own have no Windows columns.
    needs_dll = arguments.survey or ("windows" in measured and any(f.exported for f in functions))
    dll = Dll(arguments.wine_run, arguments.host, arguments.dll) if needs_dll else None
    page = Page(arguments.page) if "page" in measured else None
    with ThreadPoolExecutor(max_workers=max(1, min(4, os.cpu_count() or 1))) as pool:
        builds = {"native": native}
        if dll:
            builds["windows"] = lambda function, rows: dll.evaluate(function.name, rows) if function.exported else None
        if page:
            builds["page"] = lambda function, rows: page.evaluate(function.name, rows)
        kept = read_table() if arguments.only or measured != set(BUILDS) else {}
        for row, worst in measure(functions, conftest, builds, pool, arguments.rows):
            row["condition"] = condition_text(condition_number(row["function"], worst))
            # A build left out keeps the table's columns
            for column in COLUMNS:
                if column.split("_")[0] in set(BUILDS) - measured and row["function"] in kept:
                    row[column] = kept[row["function"]][column]
            kept[row["function"]] = row
            print(" ".join(f"{column}={row[column]}" for column in COLUMNS if row[column] != ""))
        if page:
            page.close()
        write_table([kept[f.name] for f in vantrel.functions if f.name in kept])
        write_document(read_table())
        print(f"\nwrote {TABLE} and the Accuracy section of {DOCUMENT}")
        if arguments.survey:
            survey_extreme(vantrel, conftest, dll, arguments.extreme_rows, pool)
            survey_angles(vantrel, conftest, dll)
            survey_opacity(vantrel, conftest, dll)
            survey_polarisation(vantrel, conftest, dll)
            survey_centring(vantrel, conftest, dll)


if __name__ == "__main__":
    main()
