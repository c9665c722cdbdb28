"""A week of the helium-3 cell: transmission ratios every six hours with counting noise, the gas
polarisation from each, the decay fit with its band, the polariser's efficiency at each run, and
the reduced flipping ratios of the guide's reflections corrected for the beam.
"""

import numpy as np

import vantrel
import reduction
from _common import pm, plt, run, save, table

CELL = dict(p=1.2, T=293.0, L=10.0, lambda_=2.0)   # atm, K, cm, Å
TRUE_P0, TRUE_T1 = 0.76, 120.0                     # the gas as filled, and its T₁ in hours
EVERY, HOURS = 6.0, 168.0                          # a transmission measurement every 6 h for a week
DIRECT = 5.0e4                                     # counts of the direct beam per measurement
UNPOLARISED = 5.0e6                                # direct-beam counts of the long unpolarised run
FLIPPER, SIGMA_FLIPPER = 0.99, 0.005               # spin-flip probability f
RUN_TIMES = (14.0, 38.0, 62.0, 86.0, 110.0, 134.0)  # hours: when each reflection was measured
SEED = 20261209


def measurements(rng):
    """Times and transmission ratios T_p/T_u with their standard deviations, from counts."""
    t = np.arange(0.0, HOURS + EVERY / 2, EVERY)
    opacity_only = vantrel.He3Transmission(**CELL, PHe=0.0)            # e^(−O): T_u without glass
    polarised = vantrel.He3Transmission(**CELL, PHe=TRUE_P0 * np.exp(-t / TRUE_T1))
    n_p, n_0 = rng.poisson(DIRECT * polarised), rng.poisson(DIRECT, t.size)
    n_u, n_0u = rng.poisson(UNPOLARISED * opacity_only), rng.poisson(UNPOLARISED)
    ratio = (n_p / n_0) / (n_u / n_0u)
    sigma = ratio * np.sqrt(1 / n_p + 1 / n_0 + 1 / n_u + 1 / n_0u)
    return t, ratio, sigma


def reflections():
    """The dead-time-corrected flipping ratios of the guide's reduction, with their deviations."""
    names = ("Npp", "Nbp", "Npm", "Nbm", "Mp", "Mb")
    data = {name: np.array(column, dtype=float)
            for name, column in zip(names, zip(*reduction.MEASURED.values()))}
    dead = dict(tau=reduction.TAU, tau2=reduction.TAU2)
    R = vantrel.FlippingRatioOptDDT(**data, **reduction.TIMES, **dead)
    sigma = vantrel.FlippingRatioOptDDTSDev(**data, **reduction.TIMES, **dead,
                                            sigmaTau=reduction.SIGMA_TAU,
                                            sigmaTau2=reduction.SIGMA_TAU2)
    return ["".join(map(str, hkl)) for hkl in reduction.MEASURED], R, sigma


def build(outdir):
    rng = np.random.default_rng(SEED)
    t, ratio, sigma_ratio = measurements(rng)
    # Only the ratio's counting error scatters the points; the cell's p, T, L and λ scale all of
    # them alike and belong to the result, not to the fit (the cross-section's share is 0.13 %).
    PHe = vantrel.He3PolarisationFromTransmission(**CELL, Tratio=ratio)
    sigma_PHe = vantrel.He3PolarisationFromTransmissionSDev(
        **CELL, Tratio=ratio, sigmaP=0, sigmaT=0, sigmaL=0, sigmaLambda=0, sigmaTratio=sigma_ratio)
    fit = vantrel.he3_decay_fit(t, PHe, sigma_PHe)

    runs = np.array(RUN_TIMES)
    gas, sigma_gas = fit.at(runs)
    zero = dict(sigmaP=0, sigmaT=0, sigmaL=0, sigmaLambda=0)
    P = vantrel.He3Efficiency(**CELL, PHe=gas)
    sigma_P = vantrel.He3EfficiencySDev(**CELL, PHe=gas, **zero, sigmaPHe=sigma_gas)
    names, R, sigma_R = reflections()
    R0 = vantrel.FlippingRatioCorrected(R=R, P=P, f=FLIPPER)
    sigma_R0 = vantrel.FlippingRatioCorrectedSDev(R=R, P=P, f=FLIPPER, sigmaR=sigma_R,
                                                  sigmaP=sigma_P, sigmaF=SIGMA_FLIPPER)

    fig, axes = plt.subplots(2, 1, figsize=(6.4, 6.4), sharex=True,
                             gridspec_kw=dict(height_ratios=(3, 2)))
    band = np.linspace(0.0, HOURS, 300)
    value, deviation = fit.at(band)
    axes[0].fill_between(band, value - deviation, value + deviation, color="C0", alpha=0.25,
                         label="fit ± σ")
    axes[0].plot(band, value, color="C0")
    axes[0].plot(band, TRUE_P0 * np.exp(-band / TRUE_T1), color="0.4", linestyle="--",
                 label=f"as simulated: {TRUE_P0:g}·exp(−t/{TRUE_T1:g} h)")
    axes[0].errorbar(t, PHe, sigma_PHe, fmt="o", ms=3, color="C1", capsize=2,
                     label="from each transmission ratio")
    axes[0].set_ylabel("helium-3 polarisation")
    axes[0].legend(loc="upper right", fontsize=8)
    axes[0].set_title("A week of the cell: {p:g} atm, {T:g} K, {L:g} cm, λ = {lambda_:g} Å"
                      .format(**CELL), fontsize=10)
    efficiency, efficiency_sdev = (vantrel.He3Efficiency(**CELL, PHe=value),
                                   vantrel.He3EfficiencySDev(**CELL, PHe=value, **zero,
                                                             sigmaPHe=deviation))
    axes[1].fill_between(band, efficiency - efficiency_sdev, efficiency + efficiency_sdev,
                         color="C2", alpha=0.25)
    axes[1].plot(band, efficiency, color="C2", label="polariser efficiency P of the beam")
    axes[1].errorbar(runs, P, sigma_P, fmt="s", ms=4, color="C3", capsize=2,
                     label="at each reflection's run")
    for x, y, name in zip(runs, P, names):
        axes[1].annotate(name, (x, y), textcoords="offset points", xytext=(4, 6), fontsize=8)
    axes[1].set_ylabel("neutron polarisation P")
    axes[1].set_xlabel("time since the cell was filled (h)")
    axes[1].set_xlim(0, HOURS)
    axes[1].legend(loc="upper right", fontsize=8)
    fig.align_ylabels(axes)
    fig.tight_layout()
    save(fig, outdir, "polarisation")

    conditions = (
        f"Transmission ratios every {EVERY:g} h for {HOURS / 24:g} days, each from "
        f"{DIRECT:.0e} direct-beam counts through the polarised cell and one unpolarised run of "
        f"{UNPOLARISED:.0e}, simulated from P₀ = {TRUE_P0:g} and T₁ = {TRUE_T1:g} h with Poisson "
        f"noise. The fit of the {fit.n} gas polarisations: P₀ = {pm(fit.PHe0, fit.sigmaPHe0)}, "
        f"T₁ = {pm(fit.T1, fit.sigmaT1)} h, ρ = {fit.rho:.2f}, reduced χ² = "
        f"{fit.reduced_chi_square:.2f}.").replace("e+0", "e")
    rows = [[name, f"{time:g}", pm(p, sp), pm(r, sr), pm(r0, sr0)]
            for name, time, p, sp, r, sr, r0, sr0 in zip(names, runs, P, sigma_P, R, sigma_R,
                                                           R0, sigma_R0)]
    corrected = table(["hkl", "run at (h)", "beam P", "R measured", "R corrected"], rows)
    return {"polarisation-conditions": conditions, "polarisation-table": corrected}


if __name__ == "__main__":
    run(build)
