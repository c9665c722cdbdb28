"""The moment of nickel from flipping ratios: counts simulated from the structure (nickel.cif) and
a moment along the field, reduced and corrected for the beam with the guide's counting functions,
and the moment fitted back, once with the orbital term of the form factor and once without.
"""

import os

import numpy as np

import vantrel
from _common import HERE, pm, plt, run, save, table

CIF = os.path.join(HERE, "nickel.cif")
TRUE_MOMENT = 0.60                  # μB per nickel atom, along the field
G = 1.84                            # nickel's g′ (1/g′ + 1/g = 1 with the resonance g = 2.18)
SITE = ("Ni1", "Ni", G)
FIELD = (1, -1, 0)                  # vertical; the reflections hhl lie in the horizontal plane
HKL = np.array([(1, 1, 1), (0, 0, 2), (2, 2, 0), (1, 1, 3), (2, 2, 2), (0, 0, 4), (3, 3, 1),
                (2, 2, 4), (1, 1, 5), (3, 3, 3), (4, 4, 0), (4, 4, 2), (0, 0, 6)])
CELL = dict(p=3.0, T=293.0, L=10.0, lambda_=0.84)    # a helium-3 polariser for 0.84 Å neutrons
PHE, SIGMA_PHE = 0.70, 0.01
FLIPPER, SIGMA_FLIPPER = 0.99, 0.005
SCALE = 100.0                       # counts/s of the peak per 10⁻²⁴ cm² of |F|²
BACKGROUND = 2.0                    # counts/s, in either spin state
TOTAL = 600.0                       # s of counting per reflection
SEED = 20261210


def beam():
    """The polariser's P and its deviation (from the gas's), as in section 1."""
    zero = dict(sigmaP=0, sigmaT=0, sigmaL=0, sigmaLambda=0)
    P = vantrel.He3Efficiency(**CELL, PHe=PHE)
    return P, vantrel.He3EfficiencySDev(**CELL, PHe=PHE, **zero, sigmaPHe=SIGMA_PHE)


def measure(P, rng):
    """s and the flipping ratios of every reflection with their deviations, from simulated counts
    in times split as in section 3."""
    plan, _ = vantrel.plan_measurements(CIF, [SITE], [TRUE_MOMENT], P=P, f=FLIPPER,
                                        field=FIELD, hkl=HKL)
    given = np.argsort(plan["row"])                   # back from the plan's order to HKL's
    s = plan["s"][given]
    background = np.full(len(s), BACKGROUND)
    rates = dict(Npp=SCALE * plan["I_plus"][given] + background, Nbp=background,
                 Npm=SCALE * plan["I_minus"][given] + background, Nbm=background)
    split = (vantrel.opt_counting_time_tpp, vantrel.opt_counting_time_tbp,
             vantrel.opt_counting_time_tpm, vantrel.opt_counting_time_tbm)
    times = [f(**rates, T=TOTAL) for f in split]
    counts = [rng.poisson(rate * t) for rate, t in zip(rates.values(), times)]
    measured = [vantrel.count_rate(N=n, t=t) for n, t in zip(counts, times)]
    deviations = [np.sqrt(n) / t for n, t in zip(counts, times)]
    R = vantrel.flipping_ratio(*measured)
    return s, R, vantrel.flipping_ratio_sdev(*measured, *deviations)


def fit(R0, sigma, g=G):
    """The moment that fits corrected ratios: P = f = 1, the beam being corrected for."""
    return vantrel.fit_moments(CIF, [("Ni1", "Ni", g)], HKL, R0, sigma, P=1, f=1, field=FIELD)


def build(outdir):
    rng = np.random.default_rng(SEED)
    P, sigma_P = beam()
    s, R, sigma_R = measure(P, rng)
    R0 = vantrel.FlippingRatioCorrected(R=R, P=P, f=FLIPPER)
    # The counts scatter each ratio on its own; P and f move them all together, so they are
    # kept out of the weights and carried to the moment afterwards.
    sigma_R0 = vantrel.FlippingRatioCorrectedSDev(R=R, P=P, f=FLIPPER, sigmaR=sigma_R, sigmaP=0,
                                                 sigmaF=0)
    fitted = fit(R0, sigma_R0)
    moment, sigma_counts = fitted["moments"][0], fitted["deviations"][0]
    shifted = [fit(vantrel.FlippingRatioCorrected(R=R, P=P + sigma_P, f=FLIPPER), sigma_R0),
               fit(vantrel.FlippingRatioCorrected(R=R, P=P, f=FLIPPER - SIGMA_FLIPPER), sigma_R0)]
    sigma_beam = np.hypot(*[other["moments"][0] - moment for other in shifted])
    sigma_moment = np.hypot(sigma_counts, sigma_beam)
    spin_only = fit(R0, sigma_R0, g=2.0)
    resonance = fit(R0, sigma_R0, g=1 / (1 - 1 / G))  # the g of resonance, taken as it stands

    # F_M/F_N of each reflection from its ratio: with P = f = q2 = 1, R0 = ((1 + γ)/(1 − γ))², the
    # root of smaller magnitude. F_M over its share p·Σ exp(−B·s²) of every atom is μ·f(s).
    root = np.sqrt(R0)
    gamma = (root - 1) / (root + 1)
    sigma_gamma = sigma_R0 / (root * (root + 1) ** 2)
    at = vantrel.magnetic_reflections(CIF, [SITE], hkl=HKL, field=FIELD)
    per_moment_form = at["FM_per_muB_Ni1"].real / vantrel.magnetic_form_factor("Ni", s, g=G)
    scale = at["FN"].real / per_moment_form
    mu_f, sigma_mu_f = gamma * scale, sigma_gamma * scale

    curve = np.linspace(0.0, 0.9, 200)
    fig, axes = plt.subplots(1, 2, figsize=(8.6, 3.8))
    calculated = fitted["reflections"]["R_calc"]
    axes[0].errorbar(s, R, sigma_R, fmt="o", mfc="white", color="C3", capsize=2,
                     label=f"as counted (P = {P:.3f}, f = {FLIPPER:g})")
    axes[0].errorbar(s, R0, sigma_R0, fmt="o", color="C0", capsize=2, label="corrected for the beam")
    axes[0].plot(s, calculated, "x", color="k", ms=7, label=f"fit: μ = {moment:.4f} μB")
    for x, y, indices in zip(s[:6], R0[:6], HKL[:6]):
        axes[0].annotate("".join(map(str, indices)), (x, y), textcoords="offset points",
                         xytext=(6, 2), fontsize=8)
    axes[0].axhline(1.0, color="0.6", linewidth=0.8)
    axes[0].set_xlabel("sin θ/λ (Å⁻¹)")
    axes[0].set_ylabel("flipping ratio")
    axes[0].legend(fontsize=8)
    axes[1].errorbar(s, mu_f, sigma_mu_f, fmt="o", color="C0", capsize=2,
                     label="F_M/(4p·exp(−B s²)) of each ratio")
    axes[1].plot(curve, moment * vantrel.magnetic_form_factor("Ni", curve, g=G), color="C1",
                 label=f"μ·(⟨j0⟩ + (2/g − 1)⟨j2⟩), g = {G:g}")
    axes[1].plot(curve, spin_only["moments"][0] * vantrel.magnetic_form_factor("Ni", curve),
                 color="0.4", linestyle="--", label="spin only: μ·⟨j0⟩, g = 2")
    axes[1].set_xlabel("sin θ/λ (Å⁻¹)")
    axes[1].set_ylabel("μ·f(s) (μB)")
    axes[1].set_xlim(0, 0.9)
    axes[1].set_ylim(0, 0.65)
    axes[1].legend(fontsize=8)
    fig.tight_layout()
    save(fig, outdir, "magnetic")

    conditions = (
        f"Nickel (`figures/nickel.cif`) with {TRUE_MOMENT:g} μB per atom and g = {G:g}, in a "
        f"field along [1 −1 0]: the {len(HKL)} reflections hhl up to sin θ/λ = "
        f"{s.max():.2f} Å⁻¹, so q² = 1. Neutrons of {CELL['lambda_']:g} Å through a helium-3 "
        f"cell of {CELL['p']:g} atm and {CELL['L']:g} cm at P(³He) = {PHE:g} ± {SIGMA_PHE:g}: "
        f"P = {pm(P, sigma_P)}; f = {FLIPPER:g} ± {SIGMA_FLIPPER:g}. Peak rates "
        f"{SCALE:g} counts/s per 10⁻²⁴ cm² of intensity, backgrounds {BACKGROUND:g} counts/s, "
        f"{TOTAL:g} s per reflection split by `OptCountingTime…`, Poisson counts.")
    rows = [["".join(map(str, indices)), f"{x:.4f}", pm(r, sr), pm(r0, sr0), f"{rc:.4f}"]
            for indices, x, r, sr, r0, sr0, rc in zip(HKL, s, R, sigma_R, R0, sigma_R0,
                                                     calculated)]
    ratios = table(["hkl", "sin θ/λ (Å⁻¹)", "R counted", "R corrected", "R fitted"], rows)
    result = (
        f"The fit: μ = {pm(moment, sigma_counts)} μB from the counts (reduced χ² = "
        f"{fitted['reduced_chi_square']:.2f} over {fitted['degrees_of_freedom']} degrees of "
        f"freedom), ± {sigma_beam:.4f} more from P and f, which move every ratio together: "
        f"μ = {pm(moment, sigma_moment)} μB, for {TRUE_MOMENT:g} simulated. With a spin-only "
        f"form factor (g = 2) the best moment is {spin_only['moments'][0]:.4f} μB, but the "
        f"reduced χ² is {spin_only['reduced_chi_square']:.1f}: the chance of one as large is "
        f"{spin_only['probability']:.0e}. The g of resonance that g′ = {G:g} belongs to, "
        f"{1 / (1 - 1 / G):.2f}, taken for g turns the orbital term's sign, and the reduced χ² to "
        f"{resonance['reduced_chi_square']:.0f}.").replace("e-0", "e-")
    return {"magnetic-conditions": conditions, "magnetic-table": ratios, "magnetic-fit": result}


if __name__ == "__main__":
    run(build)
