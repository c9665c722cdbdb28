#!/usr/bin/python3
"""Speed of he3_decay_fit against scipy's curve_fit with absolute sigma, on the same data side by side.

Each data set (a week of points, a short run, points far from t = 0) is fitted by both in turn
(module, scipy, module, scipy, ...); each figure is the best of its runs, since interference on a
shared machine only ever adds time. The two fits are first checked to agree.

    /usr/bin/python3 bench/python/decay_fit.py [--module-dir DIR] [--repeat N]
"""

import argparse
import os
import sys
import timeit

import numpy as np
from scipy import optimize

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))


def data(seed, P0=0.78, T1=140.0, n=25, start=0.0, hours=168.0):
    rng = np.random.default_rng(seed)
    t = start + np.sort(rng.uniform(0, hours, n))
    sigma = rng.uniform(0.005, 0.02, n)
    return t, P0 * np.exp(-t / T1) + rng.normal(0, sigma), sigma


def scipy_fit(t, PHe, sigma):
    popt, pcov = optimize.curve_fit(lambda t, a, T1: a * np.exp(-t / T1), t, PHe,
                                    p0=[PHe[0] * np.exp(t[0] / 100.0), 100.0], sigma=sigma,
                                    absolute_sigma=True)
    return popt, pcov


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--module-dir")
    parser.add_argument("--repeat", type=int, default=7)
    args = parser.parse_args()
    for d in [args.module_dir] if args.module_dir else [
            os.path.join(ROOT, "build", d, "frontends", "python", "module") for d in ("native", "dev")]:
        if d and os.path.isdir(d):
            sys.path.insert(0, d)
            break
    import vantrel
    cases = {"week, 25 points": data(1), "short, 8 points": data(2, T1=300, n=8, hours=72),
             "100 points": data(5, n=100), "200 points": data(3, n=200), "far from t = 0, 6 points": data(4, n=6, start=1000, hours=24, P0=1e3)}
    print("| data | he3_decay_fit µs | curve_fit µs | curve_fit / he3_decay_fit |")
    print("|---|---|---|---|")
    for name, (t, PHe, sigma) in cases.items():
        fit = vantrel.he3_decay_fit(t, PHe, sigma)
        popt, _ = scipy_fit(t, PHe, sigma)
        assert abs(fit.T1 / popt[1] - 1) < 1e-5, (name, fit.T1, popt[1])
        ours, theirs = [], []
        for _ in range(args.repeat):
            n = 200
            ours.append(timeit.timeit(lambda: vantrel.he3_decay_fit(t, PHe, sigma), number=n) / n)
            theirs.append(timeit.timeit(lambda: scipy_fit(t, PHe, sigma), number=n) / n)
        a, b = min(ours) * 1e6, min(theirs) * 1e6
        print(f"| {name} | {a:.1f} | {b:.1f} | {b / a:.1f}× |")


if __name__ == "__main__":
    main()
