#!/usr/bin/python3
"""Speed of the Python module against what its users would otherwise write, side by side.

  1. CountRate against numpy's N / t, FlippingRatio against (a - b) / (c - d): 10^7 contiguous
     float64 elements, on one thread (set_num_threads(1)) and on the default thread count.
  2. Every function against its numpy formula written by hand (by_hand.py), the same way.
  3. Small calls: CountRate(1000.0, 50.0), and a 10-element array against np.divide on the same.
  4. With --uncertainties: four functions against the `uncertainties` package (unumpy arrays of
     ufloats), the usual way to propagate errors in Python, on a sample scaled to 10^6 elements.

The two sides run in turn (module, numpy, module, numpy, ...); each figure is the best of its runs,
since interference on a shared machine only ever adds time, and each ratio is module / numpy, so
below 1 means the module is faster. Every hand formula is checked against the module first.

    /usr/bin/python3 bench/python/bench.py [--module-dir DIR] [--elements N] [--output FILE.md]
"""

import argparse
import os
import platform
import sys
import time
import timeit

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, HERE)

import by_hand  # noqa: E402


def import_module(module_dir):
    candidates = [module_dir] if module_dir else [
        os.path.join(ROOT, "build", d, "frontends", "python", "module") for d in ("native", "dev")]
    for d in candidates:
        if d and os.path.isdir(d):
            sys.path.insert(0, d)
            break
    import vantrel
    return vantrel


def side_by_side(first, second, runs):
    """Best times of two callables run in turn."""
    best = [float("inf"), float("inf")]
    for _ in range(runs):
        for i, f in enumerate((first, second)):
            start = time.perf_counter()
            f()
            best[i] = min(best[i], time.perf_counter() - start)
    return best


def runs_for(seconds):
    """Fewer runs for the slow functions, so that the whole benchmark takes minutes."""
    return 7 if seconds < 0.2 else 5 if seconds < 1.0 else 3


def relative_difference(x, reference):
    x, reference = np.asarray(x), np.asarray(reference)
    ok = np.isfinite(reference) & (reference != 0)
    return float(np.max(np.abs(x[ok] - reference[ok]) / np.abs(reference[ok]), initial=0.0))


def compare(vantrel, function, hand, arguments, threads):
    """(module 1 thread, numpy, module default threads, numpy) in seconds."""
    with np.errstate(all="ignore"):
        assert relative_difference(hand(*arguments), function(*arguments)) < 1e-8, function.name
        start = time.perf_counter()
        function(*arguments)
        runs = runs_for(time.perf_counter() - start)
        vantrel.set_num_threads(1)
        single = side_by_side(lambda: function(*arguments), lambda: hand(*arguments), runs)
        vantrel.set_num_threads(threads)
        default = side_by_side(lambda: function(*arguments), lambda: hand(*arguments), runs)
    return single, default


def small_calls(vantrel):
    timer = lambda f: min(timeit.repeat(f, number=20000, repeat=7)) / 20000
    x, y = np.arange(1.0, 11.0), np.full(10, 3.0)
    scalar = timer(lambda: vantrel.CountRate(1000.0, 50.0))
    ten, divide = timer(lambda: vantrel.CountRate(x, y)), timer(lambda: np.divide(x, y))
    return scalar, ten, divide


# ---- The uncertainties package (--uncertainties) ----------------------------------

def _poisson(unumpy, counts):
    return unumpy.uarray(counts, np.sqrt(counts))


def _uncertain_opt(unumpy, Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb):
    Npp, Nbp, Npm, Nbm, Mp, Mb = (_poisson(unumpy, x) for x in (Npp, Nbp, Npm, Nbm, Mp, Mb))
    Tp, Tb = tPp + tPm, tBp + tBm
    U = Tp * Npp / (Mp * tPp) - Tb * Nbp / (Mb * tBp)
    D = Tp * Npm / (Mp * tPm) - Tb * Nbm / (Mb * tBm)
    return U, D


def uncertainties_cases(unumpy, ufloat):
    """name → the same quantity with `uncertainties`, arguments in the module's call order."""
    def flipping_ratio_opt_sdev(*x):
        U, D = _uncertain_opt(unumpy, *x)
        return unumpy.std_devs(U / D)

    def asymmetry_opt_sdev(*x):
        U, D = _uncertain_opt(unumpy, *x)
        return unumpy.std_devs((U - D) / (U + D))

    def stl_triclinic(h, k, l, a, b, c, alpha, beta, gamma):
        # sin(θ)/λ with the cell's errors (0.001 Å, 0.01°) propagated, as a user of the package would.
        a, b, c = (unumpy.uarray(v, np.full(len(v), 1e-3)) for v in (a, b, c))
        alpha, beta, gamma = (unumpy.uarray(v, np.full(len(v), 0.01)) for v in (alpha, beta, gamma))
        K11, K22, K33, K12, K13, K23, D = by_hand._metric_cofactors(a, b, c, alpha, beta, gamma, cos=unumpy.cos)
        q = (h * h * K11 + k * k * K22 + l * l * K33 + 2 * (h * k * K12 + k * l * K23 + l * h * K13)) / D
        return unumpy.nominal_values(unumpy.sqrt(q) / 2)

    def he3_transmission_sdev(p, T, L, lam, PHe, sigmaP, sigmaT, sigmaL, sigmaLambda, sigmaPHe):
        p, T, L, lam, PHe = (unumpy.uarray(v, s) for v, s in
                             ((p, sigmaP), (T, sigmaT), (L, sigmaL), (lam, sigmaLambda), (PHe, sigmaPHe)))
        cross_section = ufloat(by_hand.SIGMA0 / by_hand.LAMBDA0, np.sqrt(by_hand.K2))
        O = p * by_hand.NA / (T * by_hand.R_GAS) * L * cross_section * lam
        return unumpy.std_devs(unumpy.cosh(O * PHe) * unumpy.exp(-O))

    return {"FlippingRatioOptSDev": flipping_ratio_opt_sdev, "AsymmetryOptSDev": asymmetry_opt_sdev,
            "STLtriclinic": stl_triclinic, "He3TransmissionSDev": he3_transmission_sdev}


def uncertainties_section(vantrel, rng, sample):
    from uncertainties import ufloat, unumpy
    import uncertainties
    rows = ["", "### Against `uncertainties`", "",
            f"One run on {sample} elements, scaled to 10⁶; the module on 10⁶ elements, one thread. "
            "`STLtriclinic` has no deviation companion: the package's run also propagates the cell's "
            "errors (0.001 Å, 0.01°), as its users would.", "",
            "| Function | Module, 1 thread | `uncertainties` | uncertainties / module |", "|---|---:|---:|---:|"]
    vantrel.set_num_threads(1)
    for name, f in uncertainties_cases(unumpy, ufloat).items():
        function = getattr(vantrel, name)
        arguments = by_hand.inputs(name, 10**6, rng)
        t_module, _ = side_by_side(lambda: function(*arguments), lambda: None, 3)
        part = [a[:sample] for a in arguments]
        start = time.perf_counter()
        got = f(*part)
        t_unc = (time.perf_counter() - start) * 10**6 / sample
        assert relative_difference(got, function(*part)) < 1e-8, name
        rows.append(f"| `{name}` | {t_module * 1e3:.1f} ms | {t_unc:.1f} s | {t_unc / t_module:,.0f} |")
        print(rows[-1], flush=True)
    rows.append("")
    rows.append(f"uncertainties {uncertainties.__version__}.")
    return rows


# ---- Report --------------------------------------------------------------------------

def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--module-dir", help="directory holding the built module (default: build/native/frontends/python/module)")
    parser.add_argument("--elements", type=int, default=10**7, help="elements per call (default 10^7)")
    parser.add_argument("--only", nargs="*", help="names of the functions to time (default: all)")
    parser.add_argument("--uncertainties", action="store_true", help="also time the `uncertainties` package")
    parser.add_argument("--output", help="also write the results as markdown to this file")
    options = parser.parse_args()

    vantrel = import_module(options.module_dir)
    threads = vantrel.get_num_threads()
    n = options.elements
    rng = np.random.default_rng(20241208)
    print(f"{n:.0e} elements; module on 1 and on {threads} threads; ratios module / numpy", flush=True)

    # 1. The headline: the cheapest functions against numpy's own arithmetic.
    N, t = rng.uniform(0, 5000, n), rng.uniform(1, 100, n)
    a, b, c, d = (rng.uniform(1, 1000, n) for _ in range(4))
    headline = [("`CountRate(N, t)`", "`N / t`", vantrel.CountRate, lambda *x: x[0] / x[1], (N, t)),
                ("`FlippingRatio(a, b, c, d)`", "`(a - b) / (c - d)`", vantrel.FlippingRatio,
                 lambda *x: (x[0] - x[1]) / (x[2] - x[3]), (a, b, c, d))]
    lines = ["## The Python module against numpy", "",
             f"{n:,} contiguous float64 elements per call; best of 3 to 7 runs taken in turn with numpy's; "
             f"the module on one thread (`set_num_threads(1)`) and on the default {threads} threads. "
             "A ratio is the module's time over numpy's: below 1 the module is faster.", "",
             "| Call | numpy | ms | Module, 1 thread, ms | ratio | Module, default threads, ms | ratio |",
             "|---|---|---:|---:|---:|---:|---:|"]
    for label, numpy_label, function, hand, arguments in headline:
        (m1, h1), (md, hd) = compare(vantrel, function, hand, arguments, threads)
        h = min(h1, hd)
        lines.append(f"| {label} | {numpy_label} | {h * 1e3:.1f} | {m1 * 1e3:.1f} | {m1 / h:.2f} | "
                     f"{md * 1e3:.1f} | {md / h:.2f} |")
        print(lines[-1], flush=True)
    del N, t, a, b, c, d

    # 2. Every function against its hand formula.
    lines += ["", "### Every function against its formula written with numpy", "",
              "numpy by hand: `bench/python/by_hand.py`, the formula of docs/functions.md in plain array "
              "expressions, without the guards for degenerate inputs (which favours numpy), checked to agree "
              "with the module to 1e-8.", "",
              "| # | Function | numpy, ms | Module, 1 thread, ms | ratio | Module, default threads, ms | ratio |",
              "|---:|---|---:|---:|---:|---:|---:|"]
    slower = []
    for function in vantrel.functions:
        if options.only and function.name not in options.only:
            continue
        hand = by_hand.BY_HAND[function.name]
        if hand is None:
            lines.append(f"| {function.index} | `{function.name}` | – | – | – | – | – |")
            continue
        arguments = by_hand.inputs(function.name, n, rng)
        (m1, h1), (md, hd) = compare(vantrel, function, hand, arguments, threads)
        h = min(h1, hd)
        if m1 > h:
            slower.append(function.name)
        lines.append(f"| {function.index} | `{function.name}` | {h * 1e3:.1f} | {m1 * 1e3:.1f} | {m1 / h:.2f} | "
                     f"{md * 1e3:.1f} | {md / h:.2f} |")
        print(lines[-1], flush=True)
        del arguments
    lines += ["", f"Slower than numpy by hand on one thread: {', '.join(f'`{s}`' for s in slower) or 'none'}."]

    # 3. Small calls.
    scalar, ten, divide = small_calls(vantrel)
    lines += ["", "### Small calls", "",
              f"- `CountRate(1000.0, 50.0)`: {scalar * 1e6:.3f} µs per call.",
              f"- `CountRate(x, y)` on 10 elements: {ten * 1e6:.3f} µs, {ten / divide:.2f} × "
              f"`np.divide(x, y)` on the same ({divide * 1e6:.3f} µs)."]
    print("\n".join(lines[-3:]), flush=True)

    if options.uncertainties:
        lines += uncertainties_section(vantrel, rng, 10**4)

    lines += ["", f"Machine: {platform.machine()}, {os.cpu_count()} processors; Python {platform.python_version()}, "
              f"numpy {np.__version__}, vantrel {vantrel.__version__}.", "",
              "Command: `/usr/bin/python3 bench/python/bench.py` (`--output FILE.md` also writes this section)."]
    text = "\n".join(lines) + "\n"
    print()
    print(text)
    if options.output:
        with open(options.output, "w", encoding="utf-8") as f:
            f.write(text)


if __name__ == "__main__":
    main()
