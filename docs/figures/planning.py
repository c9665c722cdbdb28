"""Planning: how the split of a fixed counting time between the four
measurements of one reflection sets the precision of its flipping ratio.

A rate r measured for a time t has the standard deviation sqrt(r*t)/t (Poisson
counts r*t), which is what the optimal times minimise; the flipping ratio and
its deviation are taken from the rates themselves.
"""

from itertools import product

import numpy as np

import vantrel
from _common import pm, plt, run, save, table

# Expected rates (counts/s) of a weak magnetic reflection, from a survey scan:
# peak +, background +, peak -, background -.
RATES = dict(Npp=12.0, Nbp=1.5, Npm=8.0, Nbm=1.5)
TOTAL = 3600.0  # s of beam time for this reflection
SURVEY = 20.0   # s per position in the survey that gave RATES

NAMES = ("peak +", "background +", "peak −", "background −")
OPTIMAL = (vantrel.OptCountingTimeTpp, vantrel.OptCountingTimeTbp,
           vantrel.OptCountingTimeTpm, vantrel.OptCountingTimeTbm)
OPTIMAL_SDEV = (vantrel.OptCountingTimeTppSDev, vantrel.OptCountingTimeTbpSDev,
                vantrel.OptCountingTimeTpmSDev, vantrel.OptCountingTimeTbmSDev)


def rate_sdev(times):
    """Standard deviations of the four rates measured for `times` (s)."""
    rates = np.array(list(RATES.values())).reshape((4,) + (1,) * np.ndim(times[0]))
    times = np.asarray(times, dtype=float)
    return np.sqrt(rates * times) / times


def ratio_sdev(times):
    sigma = rate_sdev(times)
    return vantrel.FlippingRatioSDev(**RATES, sigmaPp=sigma[0], sigmaBp=sigma[1],
                                     sigmaPm=sigma[2], sigmaBm=sigma[3])


def asymmetry_sdev(times):
    sigma = rate_sdev(times)
    return vantrel.AsymmetrySDev(**RATES, sigmaPp=sigma[0], sigmaBp=sigma[1],
                                 sigmaPm=sigma[2], sigmaBm=sigma[3])


def build(outdir):
    best = np.array([f(**RATES, T=TOTAL) for f in OPTIMAL])
    survey_sigma = np.sqrt(np.array(list(RATES.values())) * SURVEY) / SURVEY
    best_sigma = [f(**RATES, T=TOTAL, sigmaPp=survey_sigma[0], sigmaBp=survey_sigma[1],
                    sigmaPm=survey_sigma[2], sigmaBm=survey_sigma[3]) for f in OPTIMAL_SDEV]
    sigma_best = ratio_sdev(best)

    # Two one-parameter families of splits through the optimum: the share of
    # the peaks (the two peaks and the two backgrounds each keeping their
    # optimal proportion), and the share of the + state (likewise within each
    # state).
    share = np.linspace(0.02, 0.98, 481)
    peaks = best[[0, 2]].sum() / TOTAL
    plus = best[[0, 1]].sum() / TOTAL
    w = best / TOTAL
    by_peaks = np.array([share * w[0] / peaks, (1 - share) * w[1] / (1 - peaks),
                         share * w[2] / peaks, (1 - share) * w[3] / (1 - peaks)]) * TOTAL
    by_plus = np.array([share * w[0] / plus, share * w[1] / plus,
                        (1 - share) * w[2] / (1 - plus), (1 - share) * w[3] / (1 - plus)]) * TOTAL

    splits = [
        ("equal quarters", np.full(4, TOTAL / 4)),
        ("peaks twice the backgrounds", np.array([2, 1, 2, 1]) * TOTAL / 6),
        ("optimal (`OptCountingTime…`)", best),
    ]

    fig, ax = plt.subplots(figsize=(6.4, 4.0))
    ax.plot(share, ratio_sdev(by_peaks), color="C0",
            label="share on the peaks varied")
    ax.plot(share, ratio_sdev(by_plus), color="C1",
            label="share in the + state varied")
    ax.plot([peaks, plus], [sigma_best] * 2, "k*", markersize=11, label="optimal split")
    ax.axhline(ratio_sdev(splits[0][1]), color="0.5", linestyle="--",
               label="equal quarters")
    ax.set_xlim(0, 1)
    ax.set_ylim(0.8 * sigma_best, 1.8 * sigma_best)
    ax.set_xlabel(f"share of the total time ({TOTAL:.0f} s) on the peaks, or in the + state")
    ax.set_ylabel("standard deviation of the flipping ratio")
    ax.set_title("R = {:.3f} from rates {:g}, {:g}, {:g}, {:g} counts/s".format(
        vantrel.FlippingRatio(**RATES), *RATES.values()), fontsize=10)
    ax.legend(loc="upper center")
    fig.tight_layout()
    save(fig, outdir, "planning")

    rows = []
    for name, times in splits:
        sigma = ratio_sdev(times)
        rows.append([name] + [f"{t:.0f}" for t in times]
                    + [f"{sigma:.4f}", f"{asymmetry_sdev(times):.4f}",
                       f"{TOTAL * (sigma / sigma_best) ** 2:.0f}"])
    splits_table = table(["split", "t p+ (s)", "t b+ (s)", "t p− (s)", "t b− (s)",
                          "σ(R)", "σ(A)", "time for σ(R) of the optimum (s)"], rows)

    inputs = (f"Rates of {RATES['Npp']:g} and {RATES['Nbp']:g} counts/s on the peak and "
              f"the background with spin +, {RATES['Npm']:g} and {RATES['Nbm']:g} with spin −, "
              f"so R = {vantrel.FlippingRatio(**RATES):.4f} and "
              f"A = {vantrel.Asymmetry(**RATES):.4f}; one reflection gets "
              f"{TOTAL:.0f} s.")
    # The worst of the splits one standard deviation off in every time, scaled
    # back to the total.
    worst = max(ratio_sdev(t * TOTAL / t.sum()) for t in
                (best + np.array(signs) * best_sigma for signs in product((-1, 1), repeat=4)))
    survey = ("With rates from a survey of {:g} s per position, the optimal times are uncertain "
              "(`OptCountingTime…SDev`): {}. The minimum is flat enough for that not to "
              "matter: the worst split one standard deviation off in every time (scaled back "
              "to {:.0f} s) gives σ(R) = {:.4f}, {:.1f} % above the optimum.".format(
                  SURVEY, ", ".join(f"{n} {pm(t, s)} s" for n, t, s in
                                    zip(NAMES, best, best_sigma)),
                  TOTAL, worst, 100 * (worst / sigma_best - 1)))
    return {"planning-inputs": inputs, "planning-table": splits_table,
            "planning-survey": survey}


if __name__ == "__main__":
    run(build)
