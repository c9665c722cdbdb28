"""Peak centring from two settings, with the linear and the Gaussian model, on
a Gaussian peak whose centre is known.

At a setting x the counts A and B are the parts of the peak below and above x
(a detector split in two at x), so (A - B)/(A + B) = erf((x - centre)/(width*sqrt 2)):
the Gaussian model holds exactly, the linear one only near the centre.
"""

import math

import numpy as np

import vantrel
from _common import pm, plt, run, save, table

CENTRE = 24.180   # degrees
WIDTH = 0.120     # degrees, standard deviation of the Gaussian peak
TOTAL = 20000     # counts in the peak, A + B
CASES = {         # two settings each, degrees
    "close to the centre": (24.10, 24.28),
    "far apart": (23.95, 24.35),
    "both below": (23.98, 24.08),
}
DRAWN = ("far apart", "both below")


def split(x):
    """Counts A (below x) and B (above x), rounded as a detector would count them."""
    below = round(TOTAL * 0.5 * (1 + math.erf((x - CENTRE) / (WIDTH * math.sqrt(2)))))
    return below, TOTAL - below


def centres(x1, x2):
    (a1, b1), (a2, b2) = split(x1), split(x2)
    args = dict(x1=x1, A1=a1, B1=b1, x2=x2, A2=a2, B2=b2)
    sigmas = dict(sigmaX=0.0, sigmaA1=math.sqrt(a1), sigmaB1=math.sqrt(b1),
                  sigmaA2=math.sqrt(a2), sigmaB2=math.sqrt(b2))
    return (args,
            (vantrel.PeakCentringLin(**args), vantrel.PeakCentringLinSDev(**args, **sigmas)),
            (vantrel.PeakCentringGauss(**args), vantrel.PeakCentringGaussSDev(**args, **sigmas)))


def build(outdir):
    fig, axes = plt.subplots(2, len(DRAWN), figsize=(8.4, 5.6), sharex="col", sharey="row")
    x = np.linspace(CENTRE - 5 * WIDTH, CENTRE + 4 * WIDTH, 400)
    profile = np.exp(-0.5 * ((x - CENTRE) / WIDTH) ** 2)
    asymmetry = np.array([math.erf((v - CENTRE) / (WIDTH * math.sqrt(2))) for v in x])
    for column, case in enumerate(DRAWN):
        top, bottom = axes[:, column]
        args, (lin, _), (gauss, _) = centres(*CASES[case])
        points = [(args["x1"], args["A1"], args["B1"]), (args["x2"], args["A2"], args["B2"])]
        top.plot(x, profile, color="0.3")
        bottom.plot(x, asymmetry, color="0.3", label="the peak")
        xs = [p[0] for p in points]
        ys = [(a - b) / (a + b) for _, a, b in points]
        # The linear model: the straight line through the two points, to its zero.
        reach = np.array([min(xs + [lin]) - 0.03, max(xs + [lin]) + 0.03])
        bottom.plot(reach, ys[0] + (reach - xs[0]) * (ys[1] - ys[0]) / (xs[1] - xs[0]),
                    color="C3", linestyle="--", label="linear model")
        bottom.plot(xs, ys, "ko", label="the two settings")
        for ax in (top, bottom):
            for v in xs:
                ax.axvline(v, color="0.6", linewidth=0.8, linestyle=":")
            ax.axvline(lin, color="C3", linestyle="--", linewidth=1.2)
            ax.axvline(gauss, color="C0", linewidth=1.2)
        top.plot([], [], color="C3", linestyle="--", label=f"linear: {lin:.3f}°")
        top.plot([], [], color="C0", label=f"Gaussian: {gauss:.3f}°")
        top.set_title(f"settings {case}: {xs[0]:.2f}° and {xs[1]:.2f}°", fontsize=10)
        top.legend(loc="upper left", fontsize=9, title="centre found", title_fontsize=9)
        bottom.axhline(0, color="0.6", linewidth=0.8)
        bottom.set_xlabel("setting ω (degrees)")
        bottom.set_ylim(-1.05, 1.05)
    axes[0, 0].set_ylabel("peak intensity (relative)")
    axes[1, 0].set_ylabel("(A − B) / (A + B)")
    axes[0, 0].set_ylim(0, 1.25)
    axes[1, 0].legend(loc="upper left", fontsize=9)
    fig.suptitle(f"Gaussian peak centred at {CENTRE:.3f}°, σ = {WIDTH:.3f}°", fontsize=10)
    fig.tight_layout()
    save(fig, outdir, "centring")

    rows, misses = [], []
    for case, settings in CASES.items():
        args, lin, gauss = centres(*settings)
        misses.append((abs(lin[0] - CENTRE) / lin[1], abs(gauss[0] - CENTRE) / gauss[1]))
        rows.append([case, f"{args['x1']:.2f}", f"{args['A1']} / {args['B1']}",
                     f"{args['x2']:.2f}", f"{args['A2']} / {args['B2']}", pm(*lin), pm(*gauss)])
    results = table(["settings", "x1 (°)", "A1 / B1", "x2 (°)", "A2 / B2",
                     "linear centre (°)", "Gaussian centre (°)"], rows)
    conditions = (f"A Gaussian peak at {CENTRE:.3f}° with σ = {WIDTH:.3f}° and {TOTAL} counts "
                  f"in all, split at each setting into A (below) and B (above).")
    verdict = ("Measured against the true centre, the straight line is off by {} standard "
               "deviations in the three cases, the Gaussian model by at most {:.1f}.".format(
                   ", ".join(f"{m:.1f}" for m, _ in misses[:-1]) + f" and {misses[-1][0]:.1f}",
                   max(g for _, g in misses)))
    return {"centring-conditions": conditions, "centring-table": results,
            "centring-verdict": verdict}


if __name__ == "__main__":
    run(build)
