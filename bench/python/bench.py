#!/usr/bin/python3
"""Speed of the Python module against what its users would otherwise write.

For each function, on arrays of 10^6 inputs:
  - the module (all processors, and one thread);
  - the same formula written by hand with numpy, as the function reference states it;
  - the `uncertainties` package (unumpy arrays of ufloats), the usual way to
    propagate errors in Python. It runs on a sample of 10^4 elements and its
    time is scaled to 10^6: it handles one Python object per element and
    operation, so its time grows in proportion (--full runs all 10^6).

Every alternative is checked against the module before it is timed.

    /usr/bin/python3 bench/python/bench.py [--module-dir DIR] [--output FILE.md]
"""

import argparse
import os
import platform
import sys
import time

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))

N = 10**6
SAMPLE = 10**4

# The module's constants (docs/functions.md, helium-3 cell).
NA, R_GAS, SIGMA0, LAMBDA0 = 6.0221367e23, 82.096, 5.333e-21, 1.8
K1, K2 = 8.778052160493825e-42, 1.51235e-47
DEG = 3.14159265359 / 180.0


def import_module(module_dir):
    candidates = [module_dir] if module_dir else [
        os.path.join(ROOT, "build", d, "python", "module") for d in ("native", "dev")]
    for d in candidates:
        if d and os.path.isdir(d):
            sys.path.insert(0, d)
            break
    import vantrel
    return vantrel


# ---- Inputs --------------------------------------------------------------------

def opt_inputs(rng, n):
    """One reflection per element: counts, times and monitors of a typical measurement."""
    return dict(Npp=rng.poisson(1500, n) + 1.0, Nbp=rng.poisson(200, n) + 1.0,
                Npm=rng.poisson(600, n) + 1.0, Nbm=rng.poisson(150, n) + 1.0,
                tPp=rng.uniform(30, 90, n), tBp=rng.uniform(10, 40, n),
                tPm=rng.uniform(30, 90, n), tBm=rng.uniform(10, 40, n),
                Mp=rng.uniform(4000, 9000, n), Mb=rng.uniform(1500, 4000, n))


def cell_inputs(rng, n):
    ints = lambda: rng.integers(-6, 7, n).astype(float)
    return dict(h=ints(), k=ints(), l=ints(),
                a=rng.uniform(3, 12, n), b=rng.uniform(3, 12, n), c=rng.uniform(3, 12, n),
                alpha=rng.uniform(75, 105, n), beta=rng.uniform(75, 105, n), gamma=rng.uniform(75, 105, n))


def cell_errors(n):
    return dict(a=np.full(n, 1e-3), b=np.full(n, 1e-3), c=np.full(n, 1e-3),
                alpha=np.full(n, 0.01), beta=np.full(n, 0.01), gamma=np.full(n, 0.01))


def he3_inputs(rng, n):
    return dict(p=rng.uniform(0.5, 3, n), T=rng.uniform(280, 310, n), L=rng.uniform(5, 20, n),
                **{"lambda": rng.uniform(0.8, 6, n)}, PHe=rng.uniform(0.5, 0.8, n),
                sigmaP=rng.uniform(0.001, 0.05, n), sigmaT=rng.uniform(0.1, 2, n),
                sigmaL=rng.uniform(0.01, 0.1, n), sigmaLambda=rng.uniform(0.001, 0.02, n),
                sigmaPHe=rng.uniform(0.005, 0.02, n))


# ---- The same formulas with numpy ----------------------------------------------

def _opt_terms(Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb):
    Tp, Tb = tPp + tPm, tBp + tBm
    a, b = Tp / (Mp * tPp), Tb / (Mb * tBp)
    c, d = Tp / (Mp * tPm), Tb / (Mb * tBm)
    return a, b, c, d, a * Npp - b * Nbp, c * Npm - d * Nbm


def numpy_flipping_ratio_opt_sdev(Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb):
    a, b, c, d, U, D = _opt_terms(Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb)
    R = U / D
    var = (a * a * Npp + b * b * Nbp + R * R * (c * c * Npm + d * d * Nbm)
           + (R * c * Npm - a * Npp) ** 2 / Mp + (b * Nbp - R * d * Nbm) ** 2 / Mb) / (D * D)
    return np.sqrt(var)


def numpy_asymmetry_opt_sdev(Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb):
    a, b, c, d, U, D = _opt_terms(Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb)
    S = U + D
    var = (D * D * (a * a * Npp + b * b * Nbp) + U * U * (c * c * Npm + d * d * Nbm)
           + (U * c * Npm - D * a * Npp) ** 2 / Mp + (D * b * Nbp - U * d * Nbm) ** 2 / Mb)
    return 2.0 * np.sqrt(var) / (S * S)


def _metric_cofactors(a, b, c, alpha, beta, gamma, cos=np.cos):
    g12 = a * b * cos(gamma * DEG)
    g13 = a * c * cos(beta * DEG)
    g23 = b * c * cos(alpha * DEG)
    a2, b2, c2 = a * a, b * b, c * c
    K11, K22, K33 = b2 * c2 - g23 * g23, a2 * c2 - g13 * g13, a2 * b2 - g12 * g12
    K12, K13, K23 = g13 * g23 - g12 * c2, g12 * g23 - g13 * b2, g12 * g13 - g23 * a2
    D = a2 * K11 + g12 * K12 + g13 * K13
    return K11, K22, K33, K12, K13, K23, D


def numpy_stl_triclinic(h, k, l, a, b, c, alpha, beta, gamma):
    """As the reference states it: the reciprocal cell a*, b*, c*, α*, β*, γ*, then |h·a* + k·b* + l·c*|/2."""
    K11, K22, K33, K12, K13, K23, D = _metric_cofactors(a, b, c, alpha, beta, gamma)
    ast, bst, cst = np.sqrt(K11 / D), np.sqrt(K22 / D), np.sqrt(K33 / D)
    alst = np.arccos(K23 / D / (bst * cst)) / DEG
    best = np.arccos(K13 / D / (cst * ast)) / DEG
    gast = np.arccos(K12 / D / (ast * bst)) / DEG
    q = ((h * ast) ** 2 + (k * bst) ** 2 + (l * cst) ** 2
         + 2 * h * k * ast * bst * np.cos(gast * DEG)
         + 2 * k * l * bst * cst * np.cos(alst * DEG)
         + 2 * l * h * cst * ast * np.cos(best * DEG))
    return np.sqrt(q) / 2


def numpy_stl_triclinic_metric(h, k, l, a, b, c, alpha, beta, gamma):
    """The shortcut: the inverse metric tensor straight into 1/d², no reciprocal angles."""
    K11, K22, K33, K12, K13, K23, D = _metric_cofactors(a, b, c, alpha, beta, gamma)
    q = (h * h * K11 + k * k * K22 + l * l * K33 + 2 * (h * k * K12 + k * l * K23 + l * h * K13)) / D
    return np.sqrt(q) / 2


def numpy_he3_transmission_sdev(p, T, L, lam, PHe, sigmaP, sigmaT, sigmaL, sigmaLambda, sigmaPHe):
    O = p * NA / (T * R_GAS) * L * SIGMA0 / LAMBDA0 * lam
    x = O * PHe
    S = (sigmaP / p) ** 2 + (sigmaT / T) ** 2 + (sigmaL / L) ** 2 + (sigmaLambda / lam) ** 2 + K2 / K1
    sh, ch = np.sinh(x), np.cosh(x)
    return np.exp(-O) * O * np.sqrt((PHe * sh - ch) ** 2 * S + sh * sh * sigmaPHe ** 2)


# ---- The same with uncertainties -----------------------------------------------

def _poisson(unumpy, counts):
    return unumpy.uarray(counts, np.sqrt(counts))


def _uncertain_opt(unumpy, Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb):
    Npp, Nbp, Npm, Nbm, Mp, Mb = (_poisson(unumpy, x) for x in (Npp, Nbp, Npm, Nbm, Mp, Mb))
    Tp, Tb = tPp + tPm, tBp + tBm
    U = Tp * Npp / (Mp * tPp) - Tb * Nbp / (Mb * tBp)
    D = Tp * Npm / (Mp * tPm) - Tb * Nbm / (Mb * tBm)
    return U, D


def uncertainties_flipping_ratio_opt_sdev(unumpy, **x):
    U, D = _uncertain_opt(unumpy, **x)
    return unumpy.std_devs(U / D)


def uncertainties_asymmetry_opt_sdev(unumpy, **x):
    U, D = _uncertain_opt(unumpy, **x)
    return unumpy.std_devs((U - D) / (U + D))


def uncertainties_stl_triclinic(unumpy, h, k, l, a, b, c, alpha, beta, gamma):
    """sin(θ)/λ with the cell's errors propagated, as a user of the package would have it."""
    e = cell_errors(len(h))
    a, b, c = (unumpy.uarray(v, e[n]) for v, n in ((a, "a"), (b, "b"), (c, "c")))
    alpha, beta, gamma = (unumpy.uarray(v, e[n]) for v, n in ((alpha, "alpha"), (beta, "beta"), (gamma, "gamma")))
    K11, K22, K33, K12, K13, K23, D = _metric_cofactors(a, b, c, alpha, beta, gamma, cos=unumpy.cos)
    q = (h * h * K11 + k * k * K22 + l * l * K33 + 2 * (h * k * K12 + k * l * K23 + l * h * K13)) / D
    return unumpy.nominal_values(unumpy.sqrt(q) / 2)


def uncertainties_he3_transmission_sdev(unumpy, ufloat, p, T, L, lam, PHe, sigmaP, sigmaT, sigmaL,
                                        sigmaLambda, sigmaPHe):
    p, T, L, lam, PHe = (unumpy.uarray(v, s) for v, s in
                         ((p, sigmaP), (T, sigmaT), (L, sigmaL), (lam, sigmaLambda), (PHe, sigmaPHe)))
    cross_section = ufloat(SIGMA0 / LAMBDA0, np.sqrt(K2))  # σ₀/λ₀, uncertain as the module takes it
    O = p * NA / (T * R_GAS) * L * cross_section * lam
    return unumpy.std_devs(unumpy.cosh(O * PHe) * unumpy.exp(-O))


# ---- Timing --------------------------------------------------------------------

def best_of(f, repeats=7):
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        f()
        best = min(best, time.perf_counter() - start)
    return best


def relative_difference(x, reference):
    x, reference = np.asarray(x), np.asarray(reference)
    ok = np.isfinite(reference) & (reference != 0)
    return float(np.max(np.abs(x[ok] - reference[ok]) / np.abs(reference[ok])))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--module-dir", help="directory holding the built module (default: build/native/python/module)")
    parser.add_argument("--output", help="also write the results as markdown to this file")
    parser.add_argument("--full", action="store_true", help="time uncertainties on all 10^6 elements (minutes)")
    options = parser.parse_args()

    vantrel = import_module(options.module_dir)
    from uncertainties import ufloat, unumpy
    import uncertainties

    rng = np.random.default_rng(20240607)
    opt, cell, he3 = opt_inputs(rng, N), cell_inputs(rng, N), he3_inputs(rng, N)
    he3_args = lambda x: tuple(x.values())

    cases = [
        ("FlippingRatioOptSDev", opt, lambda x: numpy_flipping_ratio_opt_sdev(**x),
         lambda x: uncertainties_flipping_ratio_opt_sdev(unumpy, **x), ""),
        ("AsymmetryOptSDev", opt, lambda x: numpy_asymmetry_opt_sdev(**x),
         lambda x: uncertainties_asymmetry_opt_sdev(unumpy, **x), ""),
        ("STLtriclinic", cell, lambda x: numpy_stl_triclinic(**x),
         lambda x: uncertainties_stl_triclinic(unumpy, **x), "through the reciprocal angles"),
        ("STLtriclinic", cell, lambda x: numpy_stl_triclinic_metric(**x), None,
         "numpy shortcut: inverse metric only"),
        ("He3TransmissionSDev", he3, lambda x: numpy_he3_transmission_sdev(*he3_args(x)),
         lambda x: uncertainties_he3_transmission_sdev(unumpy, ufloat, *he3_args(x)), ""),
    ]

    threads = vantrel.get_num_threads()
    rows = []
    for name, inputs, by_numpy, by_uncertainties, note in cases:
        function = getattr(vantrel, name)
        arguments = [inputs[a] for a in function.arguments]
        expected = function(*arguments)

        t_module = best_of(lambda: function(*arguments))
        vantrel.set_num_threads(1)
        t_single = best_of(lambda: function(*arguments))
        vantrel.set_num_threads(threads)

        numpy_difference = relative_difference(by_numpy(inputs), expected)
        assert numpy_difference < 1e-8, (name, note, numpy_difference)
        t_numpy = best_of(lambda: by_numpy(inputs))

        t_uncertainties = u_difference = None
        if by_uncertainties is not None:
            size = N if options.full else SAMPLE
            sample = {k: v[:size] for k, v in inputs.items()}
            start = time.perf_counter()
            got = by_uncertainties(sample)
            t_uncertainties = (time.perf_counter() - start) * (N / size)
            u_difference = relative_difference(got, expected[:size])
            assert u_difference < 1e-8, (name, u_difference)

        rows.append((name, note, t_module, t_single, t_numpy, t_uncertainties, numpy_difference, u_difference))
        print(f"{name:22} {note:38} module {t_module * 1e3:8.1f} ms (1 thread {t_single * 1e3:8.1f} ms)  "
              f"numpy {t_numpy * 1e3:8.1f} ms  " +
              (f"uncertainties {t_uncertainties:8.1f} s" if t_uncertainties else ""), flush=True)

    lines = [
        "## The Python module against numpy and `uncertainties`",
        "",
        f"Arrays of 10⁶ inputs; best of seven runs (`uncertainties`: one run on "
        f"{'10⁶' if options.full else '10⁴'} elements{'' if options.full else ', scaled to 10⁶'}). "
        f"Ratios are the alternative's time over the module's with {threads} threads "
        "(one per processor, the default); the single-thread ratio is in brackets.",
        "",
        "| Function | Module | Module, 1 thread | numpy by hand | × | `uncertainties` | × |",
        "|---|---:|---:|---:|---:|---:|---:|",
    ]
    for name, note, t_module, t_single, t_numpy, t_unc, _, _ in rows:
        label = f"`{name}`" + (f" ({note})" if note else "")
        unc = (f"{t_unc:.1f} s | {t_unc / t_module:,.0f} ({t_unc / t_single:,.0f})" if t_unc else "– | –")
        lines.append(f"| {label} | {t_module * 1e3:.1f} ms | {t_single * 1e3:.1f} ms | {t_numpy * 1e3:.1f} ms | "
                     f"{t_numpy / t_module:.2f} ({t_numpy / t_single:.2f}) | {unc} |")
    lines += [
        "",
        "Targets: at least as fast as numpy by hand (× ≥ 1), at least 100 times faster than `uncertainties`.",
        "",
        "- numpy by hand is the formula of `docs/functions.md` in plain array expressions, without the "
        "functions' guards (the inputs have no degenerate cases), which favours numpy.",
        "- `STLtriclinic` goes through the reciprocal cell's angles (an arc cosine, then its cosine): nine "
        "calls of `cos` and `atan` per element. Its last bits must stay those of the DLL, so the module keeps "
        "that route; the numpy shortcut straight from the inverse metric needs three `cos`.",
        "- `STLtriclinic` has no standard-deviation companion; the `uncertainties` run propagates the cell's "
        "errors (0.001 Å, 0.01°) as a user of that package would, so it also computes a deviation.",
        "- The module shares large arrays among threads; with one thread it is the single-thread column.",
        "",
        "Largest relative difference from the module: " + ", ".join(
            f"{name}{' (' + note.split(':')[0] + ')' if note else ''} numpy {nd:.1e}"
            + (f", uncertainties {ud:.1e}" if ud is not None else "")
            for name, note, _, _, _, _, nd, ud in rows) + ". The hand-written numpy deviations of the Opt "
        "functions lose a few digits where their derivative terms cancel.",
        "",
        f"Machine: {platform.machine()}, {os.cpu_count()} processors; Python {platform.python_version()}, "
        f"numpy {np.__version__}, uncertainties {uncertainties.__version__}, vantrel {vantrel.__version__}.",
        "",
        "Command: `/usr/bin/python3 bench/python/bench.py` (prints this section; `--output FILE.md` also writes it to a file).",
    ]
    text = "\n".join(lines) + "\n"
    print()
    print(text)
    if options.output:
        with open(options.output, "w", encoding="utf-8") as f:
            f.write(text)


if __name__ == "__main__":
    main()
