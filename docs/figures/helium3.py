"""A helium-3 spin-filter cell: transmission, polarising efficiency (the
polarisation of the transmitted beam) and the figure of merit P²T against
wavelength, for two polarisations of the gas.
"""

import numpy as np

import vantrel
from _common import pm, plt, run, save, table

CELL = dict(p=1.2, T=293.0, L=10.0)        # atm, K, cm
SIGMA = dict(sigmaP=0.02, sigmaT=3.0, sigmaL=0.1, sigmaLambda=0.01)  # atm, K, cm, Å
GAS = (0.5, 0.75)                           # helium-3 polarisations
SIGMA_GAS = 0.02
WAVELENGTHS = (1.0, 2.0, 4.0)               # Å, for the table


def build(outdir):
    wavelength = np.linspace(0.5, 6.0, 221)
    fig, axes = plt.subplots(3, 1, figsize=(6.0, 7.2), sharex=True)
    axes[0].plot(wavelength, vantrel.He3Transmission(**CELL, lambda_=wavelength, PHe=0.0),
                 color="0.5", linestyle="--", label="unpolarised gas")
    for colour, gas in zip(("C0", "C1"), GAS):
        transmission = vantrel.He3Transmission(**CELL, lambda_=wavelength, PHe=gas)
        efficiency = vantrel.He3Efficiency(**CELL, lambda_=wavelength, PHe=gas)
        label = f"P(³He) = {gas:g}"
        axes[0].plot(wavelength, transmission, color=colour, label=label)
        axes[1].plot(wavelength, efficiency, color=colour, label=label)
        axes[2].plot(wavelength, efficiency ** 2 * transmission, color=colour, label=label)
    axes[0].set_ylabel("transmission T\n(unpolarised beam)")
    axes[1].set_ylabel("neutron polarisation P\n(= efficiency)")
    axes[2].set_ylabel("figure of merit P²T")
    axes[2].set_xlabel("wavelength λ (Å)")
    axes[0].set_ylim(0, 1)
    axes[1].set_ylim(0, 1)
    axes[2].set_ylim(bottom=0)
    axes[2].set_xlim(wavelength[0], wavelength[-1])
    axes[0].legend(loc="upper right")
    axes[0].set_title("Cell of {p:g} atm at {T:g} K, {L:g} cm long".format(**CELL), fontsize=10)
    fig.align_ylabels(axes)
    fig.tight_layout()
    save(fig, outdir, "helium3")

    rows = []
    for wl in WAVELENGTHS:
        row = [f"{wl:g}"]
        for gas in GAS:
            args = dict(**CELL, lambda_=wl, PHe=gas)
            sigmas = dict(**SIGMA, sigmaPHe=SIGMA_GAS)
            row += [pm(vantrel.He3Transmission(**args), vantrel.He3TransmissionSDev(**args, **sigmas)),
                    pm(vantrel.He3Efficiency(**args), vantrel.He3EfficiencySDev(**args, **sigmas))]
        rows.append(row)
    header = ["λ (Å)"]
    for gas in GAS:
        header += [f"T, P(³He) = {gas:g}", f"P, P(³He) = {gas:g}"]
    values = table(header, rows)
    conditions = (
        "The cell: p = {p:g} ± {sigmaP:g} atm, T = {T:g} ± {sigmaT:g} K, L = {L:g} ± {sigmaL:g} cm; "
        "λ known to ± {sigmaLambda:g} Å and the gas polarisation to ± {gas:g}.".format(
            **CELL, **SIGMA, gas=SIGMA_GAS))
    return {"helium3-conditions": conditions, "helium3-table": values}


if __name__ == "__main__":
    run(build)
