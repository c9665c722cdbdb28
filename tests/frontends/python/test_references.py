"""The exact formulas of tools/references.py checked against mathematics written another way:
each standard deviation against the first-order propagation of its value function (derivatives
taken numerically at 50 digits), the values against the closed forms the reference documents,
and the library's conventions (exact zero tests, NaN, IEEE infinities) on rows whose exact value
is known."""

import math
import os
import sys

import pytest

mpmath = pytest.importorskip("mpmath")
sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "..", "tools"))
import references  # noqa: E402
from mpmath import mp, mpf  # noqa: E402

import vantrel  # noqa: E402

EXAMPLES = {f.name: list(f.example[0]) for f in vantrel.functions}


def exact(name, args):
    mp.dps = 50
    references.SIGNED = any(math.copysign(1.0, x) < 0 for x in args)
    return references.FORMULAS[name][0](*[mpf(float(x)) for x in args])


def close(a, b, relative):
    return abs(a - b) <= relative * abs(b)


# standard deviation, value function, variance of each value argument from the deviation's
# arguments (a Poisson count is its own variance; a deviation argument enters squared), and
# whether the helium-3 cross-section's relative variance adds to them
POISSON = "poisson"
CROSS_SECTION = True
PROPAGATION = [
    ("FlippingRatioCorrectedSDev", "FlippingRatioCorrected", [3, 4, 5]),
    ("AsymmetryCorrectedSDev", "AsymmetryCorrected", [3, 4, 5]),
    ("He3PolarisationFromTransmissionSDev", "He3PolarisationFromTransmission", [5, 6, 7, 8, 9], CROSS_SECTION),
    ("He3PolarisationFromTransmissionPointSDev", "He3PolarisationFromTransmission", [0, 0, 0, 0, 5]),
    ("GammaFromFlippingRatioSDev", "GammaFromFlippingRatio", [4, 5, 6, 0]),
    ("FlippingRatioFromGammaSDev", "FlippingRatioFromGamma", [4, 5, 6, 0]),
    ("GammaFromAsymmetrySDev", "GammaFromAsymmetry", [4, 5, 6, 0]),
    ("AsymmetryFromGammaSDev", "AsymmetryFromGamma", [4, 5, 6, 0]),
    ("CountRateSDev", "CountRate", [POISSON, 0]),
    ("CountRateDDTSDev", "CountRateDDT", [POISSON, 0, 4, 5]),
    ("CountRateMonitorSDev", "CountRateMonitor", [POISSON, POISSON]),
    ("FlippingRatioSDev", "FlippingRatio", [4, 5, 6, 7]),
    ("AsymmetrySDev", "Asymmetry", [4, 5, 6, 7]),
    ("FlippingRatioOptSDev", "FlippingRatioOpt", [POISSON] * 4 + [0] * 4 + [POISSON] * 2),
    ("AsymmetryOptSDev", "AsymmetryOpt", [POISSON] * 4 + [0] * 4 + [POISSON] * 2),
    ("PeakCentringLinSDev", "PeakCentringLin", [6, 7, 8, 6, 9, 10]),
    ("He3Efficiency2SDev", "He3Efficiency2", [POISSON] * 4),
]


@pytest.mark.parametrize("sdev, value, variances, cross_section", [(*p, False)[:4] for p in PROPAGATION],
                         ids=[p[0] for p in PROPAGATION])
def test_a_deviation_is_the_first_order_propagation_through_its_value(sdev, value, variances, cross_section):
    args = EXAMPLES[sdev]
    mp.dps = 50
    formula = references.FORMULAS[value][0]
    x = [mpf(a) for a in args[:len(variances)]]
    total = formula(*x) ** 2 * references.K2 / references.K1 if cross_section else mpf(0)
    for i, variance in enumerate(variances):
        if variance == 0:
            continue
        v = x[i] if variance == POISSON else mpf(args[variance]) ** 2
        derivative = mp.diff(lambda xi: formula(*x[:i], xi, *x[i + 1:]), x[i])
        total += derivative**2 * v
    assert close(exact(sdev, args), mp.sqrt(total), mpf(10) ** -30)


def opacity(p, T, L, lam):
    return p * references.N_A / (T * references.R_GAS) * L * references.SIGMA0 / references.LAMBDA0 * lam


def sigma_relative(p, T, L, lam, sp, sT, sL, slam):
    return (sp / p) ** 2 + (sT / T) ** 2 + (sL / L) ** 2 + (slam / lam) ** 2 + references.K2 / references.K1


def he3_efficiency_sdev(p, T, L, lam, P, sp, sT, sL, slam, sP):
    x = opacity(p, T, L, lam) * P
    return x / mp.cosh(x) ** 2 * mp.sqrt(sigma_relative(p, T, L, lam, sp, sT, sL, slam) + (sP / P) ** 2)


def he3_transmission_sdev(p, T, L, lam, P, sp, sT, sL, slam, sP):
    O = opacity(p, T, L, lam)
    x = O * P
    S = sigma_relative(p, T, L, lam, sp, sT, sL, slam)
    return mp.exp(-O) * O * mp.sqrt((P * mp.sinh(x) - mp.cosh(x)) ** 2 * S + mp.sinh(x) ** 2 * sP**2)


def he3_polarisation_sdev(p, T, L, lam, Pr, Pm, sp, sT, sL, slam, sPr, sPm):
    O, S = opacity(p, T, L, lam), sigma_relative(p, T, L, lam, sp, sT, sL, slam)
    if Pr == 0:
        return mp.sqrt(mp.atanh(Pm) ** 2 * S + sPm**2 / (1 - Pm**2) ** 2) / O
    B = mp.log(2 * Pm / (Pr - Pm) + 1)
    return mp.sqrt(B**2 * S + 4 * (Pm**2 * sPr**2 + Pr**2 * sPm**2) / (Pr**2 - Pm**2) ** 2) / (2 * O)


def time_share(position):
    def share(Npp, Nbp, Npm, Nbm, T):
        N = [Npp, Nbp, Npm, Nbm]
        net = [abs(Npp - Nbp)] * 2 + [abs(Npm - Nbm)] * 2
        weights = [mp.sqrt(n) / d for n, d in zip(N, net)]
        return T * weights[position] / sum(weights)
    return share


def stl_monoclinic_b(h, k, l, a, b, c, beta):
    cb, sb = mp.cos(mp.radians(beta)), mp.sin(mp.radians(beta))
    return mp.sqrt((h**2 / a**2 + k**2 * sb**2 / b**2 + l**2 / c**2 - 2 * h * l * cb / (a * c)) / sb**2) / 2


# function, closed form of the documentation, relative agreement: 1e-30 where the closed form is
# the same mathematics; looser where the library's constants (a 12-digit π, k₁ the double of
# (σ₀/λ₀)², √3 as a double) make the written formula another number in the last digits
CLOSED_FORMS = [
    ("CountRateDDT", lambda N, t, tau, tau2: (N / t) / (1 - tau * (N / t) - tau2 * (N / t) ** 2), 1e-30),
    ("CountRateDDTSDev", lambda N, t, tau, tau2, st, st2: mp.sqrt(
        N * t**2 * (t**2 + tau2 * N**2) ** 2 + N**4 * t**4 * st**2 + N**6 * t**2 * st2**2)
        / ((t - N * tau) * t - tau2 * N**2) ** 2, 1e-30),
    ("OptCountingTimeTpp", time_share(0), 1e-30),
    ("OptCountingTimeTbm", time_share(3), 1e-30),
    ("PeakCentringLin", lambda x1, A1, B1, x2, A2, B2: (x2 * (A1 - B1) - x1 * (A2 - B2)) / (A1 - B1 - A2 + B2), 1e-30),
    ("STLorthorhombic", lambda h, k, l, a, b, c: mp.sqrt((h / a) ** 2 + (k / b) ** 2 + (l / c) ** 2) / 2, 1e-30),
    ("STLhexagonal", lambda h, k, l, a, c: mp.sqrt(4 * (h**2 + h * k + k**2) / (3 * a**2) + (l / c) ** 2) / 2, 1e-15),
    ("STLmonoclinicB", stl_monoclinic_b, 1e-11),
    ("He3Efficiency2SDev", lambda n1, n2, n3, n4: (lambda r: r**2 / mp.sqrt(1 - r**2))(n2 * n3 / (n1 * n4))
     * mp.sqrt(1 / n1 + 1 / n2 + 1 / n3 + 1 / n4), 1e-30),
    ("He3EfficiencySDev", he3_efficiency_sdev, 1e-15),
    ("He3TransmissionSDev", he3_transmission_sdev, 1e-15),
    ("He3PolarisationSDev", he3_polarisation_sdev, 1e-15),
    # PHe0 and T1 correlated as a decay fit gives them, in the expanded form
    ("He3PolarisationAtTimeSDev", lambda P0, T1, t, s0, sT, rho: (lambda a, b: mp.sqrt(
        (a * s0) ** 2 + (b * sT) ** 2 + 2 * rho * a * b * s0 * sT))(mp.exp(-t / T1), P0 * mp.exp(-t / T1) * t / T1**2),
     1e-30),
]


@pytest.mark.parametrize("name, closed_form, relative", CLOSED_FORMS, ids=[c[0] for c in CLOSED_FORMS])
def test_the_written_formula_is_its_closed_form(name, closed_form, relative):
    rows = [EXAMPLES[name]]
    if name == "He3PolarisationSDev":
        rows.append(EXAMPLES[name][:4] + [0.0] + EXAMPLES[name][5:])  # the branch without a reference
    for args in rows:
        mp.dps = 50
        assert close(exact(name, args), closed_form(*[mpf(a) for a in args]), mpf(relative)), args


INF, NAN = math.inf, math.nan
CONVENTIONS = [
    # function, arguments, exact value (NaN: any NaN; None: the sign of a zero decides, row dropped)
    ("CountRate", [1000, 50], 20),
    ("CountRate", [5, 0.0], NAN),
    ("CountRate", [5, -0.0], NAN),
    ("CountRate", [NAN, 0.0], NAN),
    ("CountRateSDev", [-4, 2], NAN),                                   # a negative radicand
    ("FlippingRatioOpt", [1000, 200, 300, 150, 0, 30, 50, 40, 5000, 2500], -INF),  # t_p+ = +0
    ("FlippingRatioOpt", [1000, 200, 300, 150, -0.0, 30, 50, 40, 5000, 2500], None),
    ("AsymmetryOpt", [1000, 200, 300, 150, 60, 30, 50, 40, 5000, 0], NAN),        # a zero monitor
    ("OptCountingTimeTbmSDev", [100, 10, 50, 0, 3600, 1, 0.5, 0.8, 0.5], INF),     # own rate zero
    ("OptCountingTimeTbmSDev", [100, 10, 50, 10, 3600, 1, 0.5, 0.8, 0], 3600 * math.sqrt(12.5) / 1447.4921988897822),
    ("PeakCentringGauss", [10, 120, 80, 11, 60, 40], NAN),             # equal asymmetries
    ("STLcubic", [1, 1, 1, -5], -math.sqrt(3) / 10),
    ("STLrhombohedral", [1, 0, 0, 1, 120], NAN),                       # a flat cell
    ("He3Efficiency", [1, 0, 10, 2, 0.7], 1),                          # T = 0: an infinite opacity
    ("He3Efficiency2", [1, 0, 1, 1], 1),
    ("He3Efficiency2", [2000, 10000, 5000, 10000], NAN),
    ("He3Polarisation", [1, 293, 10, 2, 0.9, 0.9], INF),
    ("He3Polarisation", [1, 293, 10, 2, 0, 1.5], NAN),
    ("He3PolarisationAtTime", [0.75, INF, 24], 0.75),                   # no relaxation
    ("He3PolarisationAtTime", [0.75, -0.0, 24], NAN),
    ("He3PolarisationAtTimeSDev", [0.75, 150, 24, 0.01, 8, -1.5], NAN),  # |rho| > 1
    ("He3PolarisationAtTimeSDev", [0.75, INF, 24, 0.01, INF, 0], 0.01),  # no relaxation: T1 moves nothing
    ("He3PolarisationAtTimeSDev", [0.75, 150, INF, 0.01, 8, 0], 0.0),    # the limit of t·exp(-t/T1)
    ("He3PolarisationAtTimeSDev", [0.75, 150, 24, 0.01, INF, 0], INF),   # an infinite deviation
    ("He3PolarisationFromTransmission", [-1, -293, 10, 2, 1.6], NAN),   # two negative quantities
    ("He3PolarisationFromTransmission", [1, 293, 10, 2, 0.999], NAN),   # a ratio below 1
    ("He3PolarisationFromTransmission", [1, -0.0, 10, 2, 1.6], NAN),    # an infinite opacity, either sign
    ("He3PolarisationFromTransmission", [0, 293, 10, 2, 1.6], NAN),     # no gas
    ("He3PolarisationFromTransmissionSDev", [1, 293, 10, 2, 1, 0.01, 1, 0.1, 0.02, 0.02], INF),
    ("He3PolarisationFromTransmissionSDev", [1, 293, 10, 2, 1, 0.01, 1, 0.1, 0.02, 0], 0),
    ("FlippingRatioCorrected", [5, 1, 1], 5),                           # a perfect beam
    ("FlippingRatioCorrected", [3, 0.5, 1], NAN),                       # the pole (1 + P)/(1 - P')
    ("FlippingRatioCorrected", [5, -0.0, 1], NAN),                      # P = 0: the states alike
    ("FlippingRatioCorrectedSDev", [5, 0.9, 1.5, 0.8, 0.01, 0.005], NAN),
    ("AsymmetryCorrected", [0.6, 0.75, 1], 0.8),
    ("AsymmetryCorrected", [1, 0.5, 0.5], NAN),                         # f - A(1 - f) = 0
    ("AsymmetryCorrectedSDev", [0.6, 1.5, 1, 0.04, 0.01, 0.005], NAN),
    ("He3PolarisationFromTransmissionPointSDev", [1, 293, 10, 2, 1, 0.02], INF),
    ("He3PolarisationFromTransmissionPointSDev", [1, 293, 10, 2, 1, 0], 0),
    ("He3PolarisationFromTransmissionPointSDev", [1, 293, 10, 2, NAN, 0], NAN),
    ("He3PolarisationFromTransmissionCommonRelSDev", [-1, -293, 10, 2, 0, 0, 0, 0], NAN),
    # a perfect beam at q² = 1: R = ((1 + γ)/(1 − γ))², A = 2γ/(1 + γ²)
    ("GammaFromFlippingRatio", [4, 1, 1, 1], 1 / 3),
    ("GammaFromFlippingRatio", [0, 1, 1, 1], -1),                       # the double root
    ("GammaFromFlippingRatio", [100, 1, 1, 0.25], NAN),                 # out of reach at that q²
    ("GammaFromFlippingRatio", [1.25, -0.0, 0.99, 0.8], NAN),
    ("GammaFromFlippingRatioSDev", [0, 1, 1, 1, 0.01, 0, 0], INF),
    ("GammaFromFlippingRatioSDev", [0, 1, 1, 1, 0, 0, 0], 0),
    ("FlippingRatioFromGamma", [0.5, 1, 1, 1], 9),
    ("FlippingRatioFromGamma", [1, 1, 1, 1], NAN),                      # I− = 0
    ("GammaFromAsymmetry", [0.6, 1, 1, 1], 1 / 3),
    ("GammaFromAsymmetry", [1.01, 1, 1, 1], NAN),
    ("GammaFromAsymmetrySDev", [1, 1, 1, 1, 0.01, 0, 0], INF),
    ("AsymmetryFromGamma", [0.5, 1, 1, 1], 0.8),
    ("AsymmetryFromGamma", [0.5, 0.9, 0.9, 1.5], NAN),
]


@pytest.mark.parametrize("name, args, expected", CONVENTIONS)
def test_the_exact_formulas_keep_the_librarys_conventions(name, args, expected):
    if expected is None:
        with pytest.raises(references.Undetermined):
            exact(name, args)
        return
    value = exact(name, args)
    if math.isnan(expected):
        assert mpmath.isnan(value)
    elif math.isinf(expected):
        assert value == expected
    else:
        assert close(value, mpf(expected), mpf(1e-15))


def test_the_transmission_deviation_is_its_two_parts():
    """(value·common)² + point² is the whole deviation's square."""
    cell, deviations, ratio, sigma = [1, 293, 10, 2], [0.01, 1, 0.1, 0.02], 1.6, 0.02
    value = exact("He3PolarisationFromTransmission", cell + [ratio])
    common = exact("He3PolarisationFromTransmissionCommonRelSDev", cell + deviations)
    point = exact("He3PolarisationFromTransmissionPointSDev", cell + [ratio, sigma])
    whole = exact("He3PolarisationFromTransmissionSDev", cell + [ratio] + deviations + [sigma])
    assert close(mp.sqrt((value * common) ** 2 + point**2), whole, mpf(10) ** -30)


@pytest.mark.parametrize("inverse, forward", [("GammaFromFlippingRatio", "FlippingRatioFromGamma"),
                                              ("GammaFromAsymmetry", "AsymmetryFromGamma")])
@pytest.mark.parametrize("gamma, P, f, q2", [(0.05, 0.95, 0.99, 0.8), (-0.4, 0.9, 0.97, 0.5), (0.3, -0.8, 0.9, 1),
                                             (1e-9, 0.93, 0.98, 1), (0.9, 0.6, 0.5, 0.3)])
def test_gamma_comes_back_from_its_ratio_and_asymmetry(inverse, forward, gamma, P, f, q2):
    mp.dps = 50
    measured = references.FORMULAS[forward][0](*[mpf(x) for x in (gamma, P, f, q2)])
    back = references.FORMULAS[inverse][0](measured, *[mpf(x) for x in (P, f, q2)])
    assert close(back, mpf(gamma), mpf(10) ** -40)


def test_every_formula_names_a_catalogue_function_with_its_arity():
    functions = {f.name: f for f in vantrel.functions}
    for name, (formula, ranges) in references.FORMULAS.items():
        assert name in functions
        assert exact(name, EXAMPLES[name]) is not None
        assert all(0 <= j < len(functions[name].arguments) for j in ranges)
