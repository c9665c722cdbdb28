#!/usr/bin/python3
"""Speed of magnetic_reflections and fit_moments against the same model written by hand with numpy.

The structure is a pyrochlore, Ho2Mn2O7 in F d -3 m (origin choice 2): 88 atoms in the cell, two
magnetic sites (Ho3+ with g = 5/4 on 16d, Mn4+ on 16c).

  (a) The flipping ratios (with s, q2, F_N, F_M per site, F_M, R and A) of 10^5 given reflections,
      drawn from those the symmetry allows up to sin(theta)/lambda = 0.9.
  (b) The fit of both moments to 100 measured ratios (simulated, 1 % noise), with deviations.

Both read the structure once, outside the timing: numpy by hand builds the cell's atoms from the
group's generators, closed into the group; the module reads the CIF into a vantrel.Structure (which
then builds the unit cell of the sites once). Timed on numpy's side: every phase exp(2 pi i h.r)
of every reflection and atom as one complex array, the sums per site by a matrix product, the form
factors from their published coefficients, and for (b) scipy's least_squares (MINPACK's
Levenberg-Marquardt) on the ratios with the analytic Jacobian, the factors computed once. Both
sides are first checked to agree. They run in turn (module, numpy, module, numpy, ...), a run of
(b) being 50 calls; each figure is the best of its runs, since interference on a shared machine
only ever adds time.

    /usr/bin/python3 bench/python/magnetic.py [--module-dir DIR] [--reflections N] [--runs N]
"""

import argparse
import os
import sys

import numpy as np
from scipy import optimize

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from bench import import_module, side_by_side  # noqa: E402

A = 10.06
CIF = f"""data_ho2mn2o7
_cell_length_a {A}
_cell_length_b {A}
_cell_length_c {A}
_cell_angle_alpha 90
_cell_angle_beta 90
_cell_angle_gamma 90
_space_group_name_H-M_alt 'F d -3 m :2'
loop_
_atom_site_label
_atom_site_type_symbol
_atom_site_fract_x
_atom_site_fract_y
_atom_site_fract_z
_atom_site_B_iso_or_equiv
Ho1 Ho3+ 0.5 0.5 0.5 0.31
Mn1 Mn4+ 0 0 0 0.22
O1 O2- 0.3285 0.125 0.125 0.45
O2 O2- 0.375 0.375 0.375 0.38
"""
SITES = [("Ho1", "Ho3+", 1.25), ("Mn1", "Mn4+")]
P, F, FIELD = 0.93, 0.97, np.array([1.0, -1.0, 0.0])
MOMENTS = np.array([4.2, 1.3])

# ---- numpy by hand ----------------------------------------------------------------------

P_MAG = 0.2695  # 1e-12 cm per Bohr magneton
# Bound coherent scattering lengths (Sears 1992), 1e-12 cm.
B_COH = {"Ho": 0.801, "Mn": -0.373, "O": 0.5803}
# <j0> and <j2>/s^2 as A, a, B, b, C, c, D (International Tables C, 4.4.5).
J0 = {"Ho3+": (0.0566, 18.3176, 0.3365, 7.688, 0.6317, 2.9427, -0.0248),
      "Mn4+": (0.376, 12.5661, 0.6602, 5.1329, -0.0372, 0.563, 0.0011)}
J2 = {"Ho3+": (0.2188, 18.516, 1.024, 6.707, 0.9251, 2.161, 0.0268),
      "Mn4+": (0.7879, 13.886, 1.8717, 5.743, 0.5981, 2.182, 0.0034)}
# F d -3 m, origin choice 2: generators, each (rotation, translation).
GENERATORS = [
    ([[-1, 0, 0], [0, -1, 0], [0, 0, 1]], [0.75, 0.25, 0.5]),
    ([[-1, 0, 0], [0, 1, 0], [0, 0, -1]], [0.25, 0.5, 0.75]),
    ([[0, 0, 1], [1, 0, 0], [0, 1, 0]], [0, 0, 0]),
    ([[0, 1, 0], [1, 0, 0], [0, 0, -1]], [0.75, 0.25, 0.5]),
    ([[-1, 0, 0], [0, -1, 0], [0, 0, -1]], [0, 0, 0]),
    ([[1, 0, 0], [0, 1, 0], [0, 0, 1]], [0, 0.5, 0.5]),
    ([[1, 0, 0], [0, 1, 0], [0, 0, 1]], [0.5, 0, 0.5]),
]
ASYMMETRIC = [("Ho1", "Ho", (0.5, 0.5, 0.5), 0.31), ("Mn1", "Mn", (0, 0, 0), 0.22),
              ("O1", "O", (0.3285, 0.125, 0.125), 0.45), ("O2", "O", (0.375, 0.375, 0.375), 0.38)]


def group():
    """Every operation as a 4x4 matrix, translations reduced into [0, 1)."""
    def reduced(m):
        m = m.copy()
        m[:3, 3] = np.round(m[:3, 3] % 1.0 * 24) / 24 % 1.0
        return m
    generators = []
    for R, t in GENERATORS:
        m = np.eye(4)
        m[:3, :3], m[:3, 3] = R, t
        generators.append(m)
    ops = {reduced(np.eye(4)).tobytes(): reduced(np.eye(4))}
    frontier = list(ops.values())
    while frontier:
        new = []
        for a in frontier:
            for g in generators:
                c = reduced(g @ a)
                if c.tobytes() not in ops:
                    ops[c.tobytes()] = c
                    new.append(c)
        frontier = new
    return list(ops.values())


def cell():
    """Positions (atoms, 3), each atom's site index, and per site b, B."""
    ops = group()
    assert len(ops) == 192, len(ops)
    positions, site_of = [], []
    for i, (_, _, x, _) in enumerate(ASYMMETRIC):
        images = []
        for m in ops:
            r = (m[:3, :3] @ np.array(x, float) + m[:3, 3]) % 1.0
            if all(np.linalg.norm(((r - o + 0.5) % 1.0 - 0.5) * A) > 0.05 for o in images):
                images.append(r)
        positions += images
        site_of += [i] * len(images)
    b = np.array([B_COH[e] for _, e, _, _ in ASYMMETRIC])
    B = np.array([Bi for *_, Bi in ASYMMETRIC])
    onehot = np.zeros((len(site_of), len(ASYMMETRIC)))
    onehot[np.arange(len(site_of)), site_of] = 1.0
    return np.array(positions), onehot, b, B


def expansion(k, s2):
    return k[0] * np.exp(-k[1] * s2) + k[2] * np.exp(-k[3] * s2) + k[4] * np.exp(-k[5] * s2) + k[6]


def form_factor(ion, g, s2):
    return expansion(J0[ion], s2) + (2.0 / g - 1.0) * s2 * expansion(J2[ion], s2)


def numpy_factors(model, hkl):
    """s^2, q^2, F_N and F_M per Bohr magneton of each magnetic site (columns)."""
    positions, onehot, b, B = model
    h = hkl.astype(float)
    d2 = np.einsum("ij,ij->i", h, h) / A**2  # cubic: |d*|^2
    s2 = 0.25 * d2
    sums = np.exp(2j * np.pi * (h @ positions.T)) @ onehot * np.exp(-np.outer(s2, B))
    FN = sums @ b
    per = np.column_stack([P_MAG * form_factor(site[1], site[2] if len(site) > 2 else 2.0, s2)
                           * sums[:, 0 if site[0] == "Ho1" else 1] for site in SITES])
    q2 = 1.0 - (h @ FIELD) ** 2 / (d2 * (FIELD @ FIELD) * A**2)
    return s2, q2, FN, per


def intensities(FN, FM, q2):
    cross = q2 * (FN.real * FM.real + FN.imag * FM.imag)
    nuclear, magnetic = np.abs(FN) ** 2, q2 * np.abs(FM) ** 2
    Pf = (2 * F - 1) * P
    return nuclear + 2 * P * cross + magnetic, nuclear - 2 * Pf * cross + magnetic


def numpy_reflections(model, hkl, moments):
    s2, q2, FN, per = numpy_factors(model, hkl)
    FM = per @ moments
    plus, minus = intensities(FN, FM, q2)
    return {"s": np.sqrt(s2), "q2": q2, "FN": FN, "FM": FM, "R": plus / minus,
            "A": (plus - minus) / (plus + minus), "per": per}


def numpy_fit(model, hkl, R, sigma, start):
    _, q2, FN, per = numpy_factors(model, hkl)
    Pf = (2 * F - 1) * P

    def residuals(mu):
        plus, minus = intensities(FN, per @ mu, q2)
        return (plus / minus - R) / sigma

    def jacobian(mu):
        FM = per @ mu
        plus, minus = intensities(FN, FM, q2)
        d_cross = q2[:, None] * (FN.real[:, None] * per.real + FN.imag[:, None] * per.imag)
        d_mag = 2 * q2[:, None] * (FM.real[:, None] * per.real + FM.imag[:, None] * per.imag)
        d_plus, d_minus = 2 * P * d_cross + d_mag, d_mag - 2 * Pf * d_cross
        return (d_plus * minus[:, None] - plus[:, None] * d_minus) / (minus**2 * sigma)[:, None]

    done = optimize.least_squares(residuals, start, jac=jacobian, method="lm", xtol=1e-13,
                                  ftol=1e-13, gtol=1e-13)
    covariance = np.linalg.inv(done.jac.T @ done.jac)
    return done.x, np.sqrt(np.diag(covariance)), 2 * done.cost


# ---- The benchmark ----------------------------------------------------------------------

def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--module-dir")
    parser.add_argument("--reflections", type=int, default=10**5)
    parser.add_argument("--runs", type=int, default=7)
    args = parser.parse_args()
    vantrel = import_module(args.module_dir)
    rng = np.random.default_rng(20261210)
    model = cell()
    assert len(model[0]) == 88

    allowed = vantrel.magnetic_reflections(CIF, SITES, q2=1.0, s_max=0.9)
    table = np.column_stack([allowed["h"], allowed["k"], allowed["l"]])
    hkl = table[rng.integers(0, len(table), args.reflections)]

    structure = vantrel.Structure(CIF)

    def module_a():
        return vantrel.magnetic_reflections(structure, SITES, moments=MOMENTS, P=P, f=F, field=FIELD,
                                            hkl=hkl)

    got, hand = module_a(), numpy_reflections(model, hkl, MOMENTS)
    scale = np.abs(hand["FN"]).max()
    assert np.allclose(got["FN"], hand["FN"], rtol=0, atol=1e-9 * scale)
    assert np.allclose(got["FM_per_muB_Ho1"], hand["per"][:, 0], rtol=0, atol=1e-9)
    assert np.allclose(got["q2"], hand["q2"], rtol=0, atol=1e-12)
    # Where F_N and F_M both vanish (to rounding, as for 4 8 -2) R is a ratio of roundings.
    ok = np.isfinite(got["R"]) & (np.abs(got["FN"]) + np.abs(got["FM"]) > 1e-9 * scale)
    assert ok.sum() > 0.8 * len(hkl)
    assert np.allclose(got["R"][ok], hand["R"][ok], rtol=1e-6)

    # (b): 100 reflections with a ratio well away from 1 and from the field.
    rows = got["q2"] > 0.2
    rows &= np.abs(got["R"] - 1) > 0.05
    rows &= np.abs(got["FN"]) > 0.05 * scale
    pick = rng.choice(np.flatnonzero(rows), 100, replace=False)
    hkl_fit = hkl[pick]
    sigma = 0.01 * got["R"][pick]
    R_obs = got["R"][pick] + rng.normal(0, sigma)
    start = np.array([3.0, 1.0])

    def module_b():
        return vantrel.fit_moments(structure, SITES, hkl_fit, R_obs, sigma, P=P, f=F, field=FIELD,
                                   start=start)

    fit = module_b()
    x, dev, chi2 = numpy_fit(model, hkl_fit, R_obs, sigma, start)
    assert fit["converged"], fit["message"]
    assert np.allclose(fit["moments"], x, rtol=1e-7), (fit["moments"], x)
    assert np.allclose(fit["deviations"], dev, rtol=1e-5)
    assert abs(fit["chi_square"] / chi2 - 1) < 1e-7

    # (name, module, numpy, calls per run, scale, unit): a run of the fit is 50 calls, whose
    # mean is less at the mercy of the timer and of what ran just before than one call.
    cases = [(f"(a) R of {len(hkl):,} reflections", module_a,
              lambda: numpy_reflections(model, hkl, MOMENTS), 1, 1e3, "ms"),
             ("(b) fit of 2 moments to 100 ratios", module_b,
              lambda: numpy_fit(model, hkl_fit, R_obs, sigma, start), 50, 1e6, "µs")]
    print(f"{len(model[0])} atoms in the cell; best of {args.runs} runs in turn")
    print()
    print("| case | vantrel | numpy by hand | numpy / vantrel |")
    print("|---|---:|---:|---:|")
    for name, ours, theirs, calls, scale_, unit in cases:
        a, b = side_by_side(lambda: [ours() for _ in range(calls)],
                            lambda: [theirs() for _ in range(calls)], args.runs)
        a, b = a / calls, b / calls
        print(f"| {name} | {a * scale_:.1f} {unit} | {b * scale_:.1f} {unit} | {b / a:.1f}× |",
              flush=True)


if __name__ == "__main__":
    main()
