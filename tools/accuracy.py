#!/usr/bin/env python3
"""How far Vantrel-64.xop, under the Windows C runtime, is from the native build.

Every function is evaluated natively (the Python module `vantrel`, taken from
sys.path) and in the DLL (the stand-in host under Wine, `batch` command) on the
same inputs, row by row:

  documented  the arguments of the documented values of the C++ tests
  shared      the inputs the Python tests share (shared_inputs() of
              python/tests/conftest.py: plausible rows, wide rows and the
              documented arguments), exactly as the tests make them
  random      --rows further plausible rows per function, from the same
              generator with another seed

Over the shared and random rows (the documented ones are among the shared) it
writes tests/windows_accuracy.csv, one line per function in catalogue order:

  function,exact,max_ulps,max_relative,rows

exact is 1 when the two agree bit for bit wherever both are numbers and give NaN
for the same rows; otherwise max_ulps is the worst distance in units in the last
place (+0 and -0 count as equal, as in the C++ tests) and max_relative the worst
|native - dll| / |native|, rounded up to two significant digits. rows counts the
rows measured. The C++ tests of the DLL and the Python comparison with the DLL
read this table as their tolerance.

The two runtimes "part" on a row when one gives NaN or an infinity where the
other gives a number (or the other infinity), or when the relative difference
exceeds 1e-10. No row of the table may part: the script stops with an error if
one does. It then looks for partings beyond the ordinary inputs and prints what
it finds:

  extreme     rows with 30 % of the arguments of any magnitude (1e-308 to 1e308,
              either sign) and 5 % zeros, infinities, NaN, subnormals
  angles      the reciprocal-cell sin(theta)/lambda functions with angles of
              growing magnitude (0 to 1e308 degrees)
  opacity     the helium-3 functions with cell opacities from 0.01 to 1e4, and
              He3TransmissionSDev with helium-3 polarisations close to 1
  centring    the Gaussian peak centring with the centre extrapolated ever
              further from the two points (nearly equal mapped asymmetries)

Run from the top of the source tree, after building both configurations:

  PYTHONPATH=build/native/python/module python3 tools/accuracy.py

The documented values come from the program the Python tests use for them
(VANTREL_EDGE_CASES, by default build/native/python/tests/vantrel_edge_case_dump).
"""

import argparse
import math
import os
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor
from decimal import ROUND_CEILING, Decimal
from pathlib import Path

import numpy as np

ROOT = Path(__file__).resolve().parent.parent
PARTING_RELATIVE = 1e-10
COMMAND = "PYTHONPATH=build/native/python/module python3 tools/accuracy.py"

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
    parser.add_argument("--edge-cases", default=os.environ.get(
        "VANTREL_EDGE_CASES", str(ROOT / "build" / "native" / "python" / "tests" / "vantrel_edge_case_dump")),
        help="the program that prints the documented values")
    parser.add_argument("--rows", type=int, default=50000, help="random plausible rows per function (default 50000)")
    parser.add_argument("--extreme-rows", type=int, default=20000, help="extreme rows per function (default 20000)")
    parser.add_argument("--output", default=str(ROOT / "tests" / "windows_accuracy.csv"),
                        help="the table to write ('-': standard output)")
    parser.add_argument("--no-survey", action="store_true", help="write the table only, without looking for partings")
    return parser.parse_args()


# ---- Inputs ------------------------------------------------------------------

def load_shared_inputs(edge_cases):
    """The generator of the Python tests, with the documented values it includes."""
    if not os.path.exists(edge_cases):
        sys.exit(f"accuracy: no program printing the documented values at {edge_cases}\n"
                 "  build it (cmake --build build/native --target vantrel_edge_case_dump) or pass --edge-cases")
    os.environ["VANTREL_EDGE_CASES"] = edge_cases
    sys.path.insert(0, str(ROOT / "python" / "tests"))
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


# ---- The table -------------------------------------------------------------------

def plugin(vantrel):
    """The functions the DLL has: the library's own, after them, are not exported to the host."""
    return [f for f in vantrel.functions if f.exported]


def measure_table(vantrel, conftest, dll, rows_per_function, pool):
    def one(function):
        shared = conftest.shared_inputs(function)
        documented = len(conftest._DOCUMENTED[function.name])
        rows = np.vstack([shared, random_rows(conftest, function, rows_per_function, 20000 + function.index)])
        return function, rows, len(shared), documented, Comparison(native(function, rows), dll.evaluate(function.name, rows))

    conftest.shared_inputs(vantrel.functions[0])  # loads the documented values once, before the threads
    return list(pool.map(one, plugin(vantrel)))


def write_table(results, rows_per_function, output):
    header = (f"# Vantrel-64.xop (Windows C runtime, stand-in host under Wine) against the native build (glibc), "
              f"per function over the documented values, the shared inputs of the Python tests and "
              f"{rows_per_function} random plausible rows: exact=1 when the bits agree wherever both are numbers "
              f"and NaN falls on the same rows, else the worst distance in ulps (+0 and -0 equal), the worst "
              f"|native - dll|/|native| rounded up to 2 digits, and the worst distance in ulps over the "
              f"documented values alone; no row parts (NaN or infinity against a number, "
              f"or a relative difference above 1e-10). Made by: {COMMAND}")
    lines = [header, "function,exact,max_ulps,max_relative,documented_ulps,rows"]
    for function, rows, n_shared, n_documented, comparison in results:
        exact, ulps, relative = comparison.worst()
        documented = np.zeros(len(rows), bool)
        documented[n_shared - n_documented:n_shared] = True
        _, documented_ulps, _ = comparison.worst(documented)
        if exact:
            lines.append(f"{function.name},1,0,0,0,{len(rows)}")
        else:
            lines.append(f"{function.name},0,{ulps},{round_up(relative)},{documented_ulps},{len(rows)}")
    text = "\n".join(lines) + "\n"
    if output == "-":
        sys.stdout.write(text)
    else:
        Path(output).write_text(text)


def report_table(results):
    print("Ordinary inputs (the table): rows, rows with other bits, worst ulps and relative difference;")
    print("shared = the Python tests' inputs, of them documented = the C++ tests' documented values")
    print(f"{'function':26} {'rows':>7} {'differ':>7} {'ulps':>6} {'relative':>9}   "
          f"{'shared: ulps':>12} {'relative':>9}   {'documented: ulps':>16}")
    for function, rows, n_shared, n_documented, c in results:
        exact, ulps, relative = c.worst()
        shared = np.zeros(len(rows), bool)
        shared[:n_shared] = True
        documented = np.zeros(len(rows), bool)
        documented[n_shared - n_documented:n_shared] = True
        _, s_ulps, s_relative = c.worst(shared)
        _, d_ulps, _ = c.worst(documented)
        print(f"{function.name:26} {len(rows):7} {int((~c.same_bits).sum()):7} {ulps:6} {relative:9.2g}   "
              f"{s_ulps:12} {s_relative:9.2g}   {d_ulps:16}")


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

    for function, rows, c in pool.map(one, plugin(vantrel)):
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


def main():
    arguments = parse_arguments()
    import vantrel

    conftest = load_shared_inputs(arguments.edge_cases)
    if not conftest._documented_arguments():
        sys.exit(f"accuracy: {arguments.edge_cases} printed no documented values")
    dll = Dll(arguments.wine_run, arguments.host, arguments.dll)
    with ThreadPoolExecutor(max_workers=max(1, min(4, os.cpu_count() or 1))) as pool:
        results = measure_table(vantrel, conftest, dll, arguments.rows, pool)
        report_table(results)
        parting = [(f.name, int(c.parting.sum())) for f, _, _, _, c in results if c.parting.any()]
        if parting:
            sys.exit("accuracy: the runtimes part on ordinary rows, so the table would not hold there: "
                     + ", ".join(f"{name} ({n} rows)" for name, n in parting))
        write_table(results, arguments.rows, arguments.output)
        if arguments.output != "-":
            print(f"\nwrote {arguments.output}")
        if not arguments.no_survey:
            survey_extreme(vantrel, conftest, dll, arguments.extreme_rows, pool)
            survey_angles(vantrel, conftest, dll)
            survey_opacity(vantrel, conftest, dll)
            survey_polarisation(vantrel, conftest, dll)
            survey_centring(vantrel, conftest, dll)


if __name__ == "__main__":
    main()
