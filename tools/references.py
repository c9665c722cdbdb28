#!/usr/bin/env python3
"""The exact value of every function, for measuring how close each build comes to it.

Each function is written once more below, apart from the C++, in arbitrary precision
(mpmath): the value of the formula exactly as the library defines it, with the constants
it uses (the 12-digit pi 3.14159265359 and the degree factors derived from it, the older
Avogadro number and gas constant, the cross-section at 1.8 Å, the polynomial inverse
error function, the run-time square roots of 2 and 3 as doubles), not of a better
physics. Grouping does not matter at this precision; constants do, so every constant
enters as the double the library holds. A failed test gives NaN, as in the library.

For every function it writes tests/accuracy/<Name>.csv: the inputs (doubles, exact) and
the reference value to 30 significant digits, each row marked

  realistic   random rows over each argument's realistic range (the ranges the Python
              tests draw plausible rows from, unless the entry narrows them)
  documented  the catalogue's example and the documented values of the tests
  hostile     the wide rows of the Python tests (magnitudes 1e-4 to 1e5 of either sign,
              zeros, infinities, NaN, subnormals) and huge and tiny scalings of
              realistic rows

Every row is evaluated at 50 and again at 80 digits; a row whose two values differ in
the first 30 digits is reported and dropped. Rows whose value depends on the sign of a
zero that an unguarded division meets are dropped too (the sign of zero is not a number
mpmath keeps). The data change only when this script is run on purpose:

  PYTHONPATH=build/dev/frontends/python/module VANTREL_EDGE_CASES=build/dev/tests/frontends/python/vantrel_edge_case_dump \\
      python3 tools/references.py [--only NAME ...]

A new function is one entry: @reference("Name") over a function of its arguments,
with ranges=... where an argument's realistic range is not the one its name implies.
"""

import argparse
import math
import sys
from concurrent.futures import ProcessPoolExecutor
from pathlib import Path

import mpmath
import numpy as np
from mpmath import mp, mpf

ROOT = Path(__file__).resolve().parent.parent
DATA = ROOT / "tests" / "accuracy"
DIGITS = 30
REALISTIC_ROWS = 1000
SCALED_ROWS = 40
FORMULAS = {}


class Undetermined(Exception):
    """The value hangs on the sign of a zero divisor."""


def reference(name, ranges=None):
    """Registers the exact formula of `name`; ranges maps an argument's position to (low, high)
    or to a function (rng, n) -> values, overriding the range its name implies."""
    def register(formula):
        FORMULAS[name] = (formula, ranges or {})
        return formula
    return register


# ---- Arithmetic with the library's conventions -------------------------------------

NAN = mpf("nan")


def d(x):
    """A double constant, exactly."""
    return mpf(float(x))


def isnan(x):
    return mpmath.isnan(x)


def zero(x):
    """The library's exact zero test: NaN is not zero."""
    return not isnan(x) and x == 0


SIGNED = False  # whether the row holds a negative number or -0.0, so that a zero may be -0.0


def div(a, b):
    """a / b; a zero divisor is +0.0 when the row is free of signs, so that IEEE arithmetic's
    infinity is known."""
    if zero(b):
        if isnan(a) or a == 0:
            return NAN
        if SIGNED:
            raise Undetermined
        return mp.inf if a > 0 else -mp.inf
    return a / b


def sqrt(x):
    return NAN if isnan(x) or x < 0 else mp.sqrt(x)


def log(x):
    return NAN if isnan(x) or x < 0 else mp.log(x)


def atanh(x):
    if isnan(x) or abs(x) > 1:
        return NAN
    return mp.atanh(x)


def guarded(test, value):
    """value() when test holds, else NaN."""
    return value() if test else NAN


# ---- Count rates ---------------------------------------------------------------------

def q_dead_time(N, t, tau, tau2):
    return (t - N * tau) * t - N * tau2 * N


def rate_ddt(N, t, tau, tau2):
    q = q_dead_time(N, t, tau, tau2)
    return guarded(not zero(q), lambda: div(t * N, q))


def rate_ddt_sdev(N, t, tau, tau2, s_tau, s_tau2):
    g = N * N * tau2 + (N * tau - t) * t
    if zero(g):
        return NAN
    S = (tau2**2 * N**4 + 2 * tau2 * N**2 * t**2 + t**4 + N**3 * t**2 * s_tau**2 + N**5 * s_tau2**2) * (t**2 * N)
    return sqrt(div(S, (N**2 * tau2 + (N * tau - t) * t) ** 4))


@reference("CountRate")
def count_rate(N, t):
    return guarded(not zero(t), lambda: N / t)


@reference("CountRateSDev")
def count_rate_sdev(N, t):
    return guarded(not zero(t), lambda: sqrt(N) / t)


reference("CountRateDDT")(rate_ddt)
reference("CountRateDDTSDev")(rate_ddt_sdev)


@reference("CountRateMonitor")
def count_rate_monitor(N, M):
    return guarded(not zero(M), lambda: N / M)


@reference("CountRateMonitorSDev")
def count_rate_monitor_sdev(N, M):
    return guarded(not zero(M), lambda: sqrt(div((M + N) * N, M**3)))


# ---- Flipping ratios and asymmetries --------------------------------------------------

@reference("FlippingRatio")
def flipping_ratio(Npp, Nbp, Npm, Nbm):
    den = Npm - Nbm
    return guarded(not zero(den), lambda: (Npp - Nbp) / den)


@reference("FlippingRatioSDev")
def flipping_ratio_sdev(Npp, Nbp, Npm, Nbm, spp, sbp, spm, sbm):
    den = Npm - Nbm
    if zero(den):
        return NAN
    S = (spm**2 + sbm**2) * (Npp - Nbp) ** 2 + (sbp**2 + spp**2) * den**2
    return sqrt(S) / den**2


def normalised(X, t, M, T):
    return div(T * X, M * t)


def four_ratio(X, t, Mp, Mb):
    """U and D of the flipping ratio: the normalised, background-subtracted intensities."""
    Tp, Tb = t[0] + t[2], t[1] + t[3]
    D = normalised(X[2], t[2], Mp, Tp) - normalised(X[3], t[3], Mb, Tb)
    U = normalised(X[0], t[0], Mp, Tp) - normalised(X[1], t[1], Mb, Tb)
    return U, D, Tp, Tb


def flipping_ratio_sdev_of(X, V, t, Mp, Mb):
    if not monitors_and_times(t, Mp, Mb):  # tested after D, NaN all the same
        return NAN
    U, D, Tp, Tb = four_ratio(X, t, Mp, Mb)
    if zero(D):
        return NAN
    gMp = U * X[2] * Tp / ((D * Mp) ** 2 * t[2]) - Tp * X[0] / (Mp**2 * D * t[0])
    gMb = Tb * X[1] / (Mb**2 * D * t[1]) - U * X[3] * Tb / ((D * Mb) ** 2 * t[3])
    e_mon = gMb**2 * Mb + gMp**2 * Mp
    e = [V[0] * Tp**2 / (D * Mp * t[0]) ** 2, V[1] * Tb**2 / (D * Mb * t[1]) ** 2,
         V[2] * (U * Tp) ** 2 / (D * D * Mp * t[2]) ** 2, V[3] * (U * Tb) ** 2 / (D * D * Mb * t[3]) ** 2]
    return sqrt(e[0] + e_mon + e[1] + e[2] + e[3])


def flipping_ratio_of(X, t, Mp, Mb):
    U, D, _, _ = four_ratio(X, t, Mp, Mb)
    return guarded(not zero(D), lambda: div(U, D))


def corrected(N, t, tau, tau2):
    """The dead-time-corrected counts, or None when a denominator is zero."""
    q = [q_dead_time(n, tk, tau, tau2) for n, tk in zip(N, t)]
    if any(zero(x) for x in q):
        return None
    return [div(tk * n, qk) * tk for n, tk, qk in zip(N, t, q)]


def ddt_sdev_inputs(N, t, tau, tau2, s_tau, s_tau2):
    C = corrected(N, t, tau, tau2)
    if C is None:
        return None, None
    V = [(rate_ddt_sdev(n, tk, tau, tau2, s_tau, s_tau2) * tk) ** 2 for n, tk in zip(N, t)]
    return C, V


@reference("Asymmetry")
def asymmetry(Npp, Nbp, Npm, Nbm):
    den = Npp - Nbp + Npm - Nbm
    return guarded(not zero(den), lambda: (Npp - Nbp - Npm + Nbm) / den)


@reference("AsymmetrySDev")
def asymmetry_sdev(Npp, Nbp, Npm, Nbm, spp, sbp, spm, sbm):
    den = Npp - Nbp + Npm - Nbm
    if zero(den):
        return NAN
    S = (spm**2 + sbm**2) * (Npp - Nbp) ** 2 + (sbp**2 + spp**2) * (Npm - Nbm) ** 2
    return 2 * sqrt(S) / den**2


def asymmetry_parts(X, t, Mp, Mb):
    Tp, Tb = t[0] + t[2], t[1] + t[3]
    Lp, Lb = Tp * Mb * t[1] * t[3], Tb * Mp * t[0] * t[2]
    den = (t[2] * X[0] + t[0] * X[2]) * Lp - (t[3] * X[1] + t[1] * X[3]) * Lb
    num = (t[2] * X[0] - t[0] * X[2]) * Lp - (t[3] * X[1] - t[1] * X[3]) * Lb
    return num, den, Tp, Tb


def monitors_and_times(t, Mp, Mb):
    """All six non-zero: a zero would cancel one position out of the multiplied-out form."""
    return not (zero(Mp) or zero(Mb) or any(zero(x) for x in t))


def asymmetry_of(X, t, Mp, Mb):
    num, den, _, _ = asymmetry_parts(X, t, Mp, Mb)
    return guarded(not zero(den) and monitors_and_times(t, Mp, Mb), lambda: num / den)


def asymmetry_sdev_of(X, V, t, Mp, Mb):
    num, den, Tp, Tb = asymmetry_parts(X, t, Mp, Mb)
    if zero(den) or not monitors_and_times(t, Mp, Mb):
        return NAN
    A = num / den
    u, v, c = A + 1, 1 - A, 2 * (1 - A * A)
    Wb, Wp = (Tb * t[0] * t[2]) ** 2, (Tp * t[1] * t[3]) ** 2
    Gb = ((V[3] * Mp + X[3] ** 2) * (t[1] ** 2 * u**2) + (V[1] * Mp + X[1] ** 2) * (t[3] ** 2 * v**2)
          - c * X[1] * t[1] * X[3] * t[3])
    Yp = u * t[0] * X[2] - v * t[2] * X[0]
    Gp = (t[2] ** 2 * v**2 * V[0] + t[0] ** 2 * u**2 * V[2]) * Mb + Yp**2
    return sqrt(Gb * (Wb * Mp) + Gp * (Wp * Mb)) / abs(den)  # a deviation carries no sign


def opt_levels(stem, value, deviation):
    """The Opt, OptSDev, OptDDT and OptDDTSDev functions of a quantity of the four measurements,
    from its value(X, t, Mp, Mb) and deviation(X, V, t, Mp, Mb) on counts X of variances V."""
    def opt(*a):
        return value(list(a[:4]), list(a[4:8]), a[8], a[9])

    def opt_sdev(*a):
        N = list(a[:4])
        return deviation(N, N, list(a[4:8]), a[8], a[9])

    def opt_ddt(*a):
        t = list(a[4:8])
        C = corrected(list(a[:4]), t, a[10], a[11])
        return NAN if C is None else value(C, t, a[8], a[9])

    def opt_ddt_sdev(*a):
        t = list(a[4:8])
        C, V = ddt_sdev_inputs(list(a[:4]), t, *a[10:14])
        return NAN if C is None else deviation(C, V, t, a[8], a[9])

    for suffix, formula in (("Opt", opt), ("OptSDev", opt_sdev), ("OptDDT", opt_ddt), ("OptDDTSDev", opt_ddt_sdev)):
        reference(stem + suffix)(formula)


opt_levels("FlippingRatio", flipping_ratio_of, flipping_ratio_sdev_of)
opt_levels("Asymmetry", asymmetry_of, asymmetry_sdev_of)


# ---- Optimal counting times --------------------------------------------------------------

def counting_time(position, sdev):
    """The time (or its deviation) of measurement `position` (0 p+, 1 b+, 2 p-, 3 b-)."""
    def formula(*args):
        N, T, s = args[:4], args[4], args[5:]
        dp, dm = N[0] - N[1], N[2] - N[3]
        D = (sqrt(N[0]) + sqrt(N[1])) * abs(dm) + (sqrt(N[2]) + sqrt(N[3])) * abs(dp)
        if zero(D):
            return NAN
        other = dm if position < 2 else dp
        R = N[position]
        if not sdev:
            return sqrt(R) * T * abs(other) / D
        others = (s[3], s[2]) if position < 2 else (s[1], s[0])
        V = (others[0] ** 2 + others[1] ** 2) * R
        if not zero(s[position]):  # an exact own rate contributes nothing, even at R = 0
            V += div(other**2 * s[position] ** 2, R * 4)
        return sqrt(V) * T / D
    return formula


for _i, _name in enumerate(("Tpp", "Tbp", "Tpm", "Tbm")):
    reference("OptCountingTime" + _name)(counting_time(_i, False))
    reference("OptCountingTime" + _name + "SDev")(counting_time(_i, True))


# ---- Peak centring ------------------------------------------------------------------------

ERF_COEFFICIENTS = [d(c) for c in (
    1.9984014443252818e-15, 0.8862269106082287, 3.963496197911809e-14, 0.23202082965039034,
    3.125832925832128e-13, 0.12703288632527693, -3.3933411636155597e-12, 0.10023334436514425,
    2.91690005482792e-11, -0.10311856355056132, 1.366189383844585e-10, 1.148563634025252,
    3.6082525856073744e-10, -3.9627980009259867, 5.395195401547426e-10, 8.22054124550718,
    4.205684689395639e-10, -8.702399491304316, 1.326059262396484e-10, 3.850157790038759)]
PI12 = d(3.14159265359)


def inverse_erf_polynomial(x):
    return sum(c * x**k for k, c in enumerate(ERF_COEFFICIENTS))


@reference("PeakCentringLin")
def peak_centring_lin(x1, A1, B1, x2, A2, B2):
    den = A1 - B1 - A2 + B2
    return guarded(not zero(den), lambda: (x2 * A1 - x2 * B1 - A2 * x1 + B2 * x1) / den)


@reference("PeakCentringLinSDev")
def peak_centring_lin_sdev(x1, A1, B1, x2, A2, B2, sx, sA1, sB1, sA2, sB2):
    den = A1 - B1 - A2 + B2
    if zero(den):
        return NAN
    d1, d2 = A1 - B1, A2 - B2
    V = ((sB2**2 + sA2**2) * d1**2 + (sB1**2 + sA1**2) * d2**2) * (x1 - x2) ** 2 / den**2 + sx**2 * (d1**2 + d2**2)
    return sqrt(V) / abs(den)


def gauss_points(A1, B1, A2, B2):
    s1, s2 = B1 + A1, B2 + A2
    if zero(s1) or zero(s2):
        return None
    u1, u2 = inverse_erf_polynomial((A1 - B1) / s1), inverse_erf_polynomial((A2 - B2) / s2)
    return (s1, s2, u1, u2) if not zero(u1 - u2) else None


@reference("PeakCentringGauss")
def peak_centring_gauss(x1, A1, B1, x2, A2, B2):
    points = gauss_points(A1, B1, A2, B2)
    if points is None:
        return NAN
    _, _, u1, u2 = points
    return (u1 * x2 - u2 * x1) / (u1 - u2)


@reference("PeakCentringGaussSDev")
def peak_centring_gauss_sdev(x1, A1, B1, x2, A2, B2, sx, sA1, sB1, sA2, sB2):
    points = gauss_points(A1, B1, A2, B2)
    if points is None:
        return NAN
    s1, s2, u1, u2 = points
    delta = u1 - u2
    e2, e1 = mp.exp(2 * u2**2), mp.exp(2 * u1**2)
    V2 = (sB2**2 * A2**2 + sA2**2 * B2**2) * 4 / s2**4
    V1 = (sA1**2 * B1**2 + sB1**2 * A1**2) * 4 / s1**4
    G = e2 * V2 * u1**2 + e1 * V1 * u2**2
    F = (x1 - x2) ** 2 * PI12 * d(0.25) / delta**2
    return sqrt(G * F + sx**2 * (u1**2 + u2**2)) / abs(delta)


# ---- sin(theta)/lambda -----------------------------------------------------------------------

DEG_TO_RAD = d(0.017453292519944444)
RAD_TO_DEG = d(57.29577951307855)
SQRT2 = d(math.sqrt(2.0))
SQRT3 = d(math.sqrt(3.0))
SINGULAR_METRIC = d(1e-13)


def reciprocal_cell(a, b, c, alpha, beta, gamma):
    """(a*, b*, c*, alpha*, beta*, gamma*), or None for a cell the library refuses."""
    g12 = mp.cos(gamma * DEG_TO_RAD) * (a * b)
    g13 = mp.cos(beta * DEG_TO_RAD) * (a * c)
    g23 = mp.cos(alpha * DEG_TO_RAD) * (b * c)
    a2, b2, c2 = a * a, b * b, c * c
    K11, K12, K13 = c2 * b2 - g23 * g23, g23 * g13 - g12 * c2, g23 * g12 - g13 * b2
    K22, K23, K33 = c2 * a2 - g13 * g13, g13 * g12 - g23 * a2, b2 * a2 - g12 * g12
    D = K12 * g12 + K11 * a2 + K13 * g13
    if not isnan(D) and D < SINGULAR_METRIC:
        return None
    ra, rb, rc = sqrt(K11 / D), sqrt(K22 / D), sqrt(K33 / D)

    def angle(x):
        s = sqrt(x + 1)
        return mp.atan(sqrt((SQRT2 - s) / (SQRT2 + s))) * 4 * RAD_TO_DEG

    return ra, rb, rc, angle(K23 / D / (rb * rc)), angle(K13 / D / (rc * ra)), angle(K12 / D / (rb * ra))


def stl_reciprocal(cell, terms):
    """The quadratic form in the reciprocal cell, with the cross terms named in `terms`."""
    def formula(h, k, l, *parameters):
        r = reciprocal_cell(*cell(*parameters))
        if r is None:
            return NAN
        ra, rb, rc, alpha, beta, gamma = r
        sum_ = (ra * h) ** 2 + (rb * k) ** 2 + (rc * l) ** 2
        cross = {"gamma": mp.cos(gamma * DEG_TO_RAD) * 2 * h * k * ra * rb,
                 "alpha": mp.cos(alpha * DEG_TO_RAD) * 2 * k * l * rb * rc,
                 "beta": mp.cos(beta * DEG_TO_RAD) * 2 * l * h * rc * ra}
        return sqrt(sum_ + sum(cross[t] for t in terms)) * d(0.5)
    return formula


def closed_form(E, S):
    def formula(*args):
        e = E(*args)
        return guarded(not zero(e), lambda: div(sqrt(S(*args)), e) * d(0.5))
    return formula


reference("STLcubic")(closed_form(lambda h, k, l, a: a, lambda h, k, l, a: k * k + h * h + l * l))
reference("STLhexagonal")(closed_form(
    lambda h, k, l, a, c: SQRT3 * a * c, lambda h, k, l, a, c: (k * k + h * h + k * h) * 4 * c * c + (a * l) ** 2 * 3))
reference("STLtetragonal")(closed_form(
    lambda h, k, l, a, c: c * a, lambda h, k, l, a, c: (k * k + h * h) * c * c + (a * l) ** 2))
reference("STLorthorhombic")(closed_form(
    lambda h, k, l, a, b, c: b * a * c,
    lambda h, k, l, a, b, c: (c * k * a) ** 2 + (b * h * c) ** 2 + (a * l * b) ** 2))


@reference("STLrhombohedral")
def stl_rhombohedral(h, k, l, a, alpha):
    r = reciprocal_cell(a, a, a, alpha, alpha, alpha)
    if r is None:
        return NAN
    s = l * k + l * h + k * h
    return sqrt(mp.cos(r[3] * DEG_TO_RAD) * 2 * s + (k * k + h * h + l * l)) * r[0] * d(0.5)


RIGHT = d(90.0)
reference("STLmonoclinicB")(stl_reciprocal(lambda a, b, c, beta: (a, b, c, RIGHT, beta, RIGHT), ("beta",)))
reference("STLmonoclinicC")(stl_reciprocal(lambda a, b, c, gamma: (a, b, c, RIGHT, RIGHT, gamma), ("gamma",)))
reference("STLtriclinic")(stl_reciprocal(lambda *cell: cell, ("gamma", "alpha", "beta")))


# ---- Helium-3 cell ---------------------------------------------------------------------------

N_A = d(6.0221367e23)
R_GAS = d(82.096)
SIGMA0 = d(5.333e-21)
LAMBDA0 = d(1.8)
K1 = d(8.778052160493825e-42)
K2 = d(1.51235e-47)
N_A2 = d(3.6266130433486886e47)
R_GAS2 = d(6739.753216000001)


def opacity(p, T, L, lam):
    return div(p * N_A, T * R_GAS) * L * SIGMA0 / LAMBDA0 * lam


@reference("He3Efficiency")
def he3_efficiency(p, T, L, lam, P):
    return mp.tanh(opacity(p, T, L, lam) * P)


@reference("He3EfficiencySDev")
def he3_efficiency_sdev(p, T, L, lam, P, sp, sT, sL, slam, sP):
    v = mp.cosh(opacity(p, T, L, lam) * P)
    t = T * P * lam * SIGMA0 / LAMBDA0
    u = p * P * T * lam * SIGMA0 / LAMBDA0
    S1 = (sT**2 * P**2 + sP**2 * T**2) * lam**2 + slam**2 * (T * P) ** 2
    S2 = S1 * K1 + (T * P * lam) ** 2 * K2
    S4 = (S2 * p**2 + sp**2 * t**2) * L**2 + sL**2 * u**2
    return sqrt(div(div(S4 * N_A2, v**4), (T**2 * R_GAS) ** 2))


@reference("He3Efficiency2")
def he3_efficiency2(n1, n2, n3, n4):
    x, y = div(n1, n2), div(n3, n4)
    w = 1 - div(y * y, x * x)
    return NAN if isnan(w) or w < 0 else mp.sqrt(w)


@reference("He3Efficiency2SDev")
def he3_efficiency2_sdev(n1, n2, n3, n4):
    D = n1**3 * n4**3 * ((n1 * n1) * (n4 * n4) - (n2 * n2) * (n3 * n3))
    if zero(D):
        return NAN
    N = n2**3 * n3**3 * ((n3 + n4) * (n1 * n2) + (n1 + n2) * (n3 * n4))
    return sqrt(N / D)


@reference("He3Transmission")
def he3_transmission(p, T, L, lam, P):
    O = opacity(p, T, L, lam)
    return mp.cosh(O * P) * mp.exp(-O)


@reference("He3TransmissionSDev")
def he3_transmission_sdev(p, T, L, lam, P, sp, sT, sL, slam, sP):
    O = opacity(p, T, L, lam)
    x = O * P
    pL = p * L
    Q1 = L**2 * sp**2 + p**2 * sL**2
    XS = ((((sP**2 * pL**2 + P**2 * Q1) * T**2 + (pL * P) ** 2 * sT**2) * lam**2 + (pL * P * T) ** 2 * slam**2) * K1
          + (pL * P * T * lam) ** 2 * K2) * mp.sinh(x) ** 2
    c = p * T * lam * SIGMA0 / LAMBDA0
    XC = (((((T**2 * sp**2 + p**2 * sT**2) * lam**2 + (p * T) ** 2 * slam**2) * K1 + (p * T * lam) ** 2 * K2) * L**2
           + c**2 * sL**2) * mp.cosh(x) ** 2)
    XX = ((Q1 * T**2 + pL**2 * sT**2) * lam**2 + (pL * T) ** 2 * slam**2) * K1 + (pL * T * lam) ** 2 * K2
    V = div((XS + XC - mp.sinh(2 * O * P) * P * XX) * (mp.exp(-2 * O) * N_A2), (T**2 * R_GAS) ** 2)
    return sqrt(V)


def polarisation_branch(Pr, Pm):
    """'A' (no reference polarisation), 'B', or None where the library gives NaN."""
    if Pr < 0 or Pr > 1:
        return None
    if zero(Pr):
        return "A"
    if Pm < 0 or Pm > 1 or Pm > Pr:
        return None
    return "B"


@reference("He3Polarisation")
def he3_polarisation(p, T, L, lam, Pr, Pm):
    O = opacity(p, T, L, lam)
    branch = polarisation_branch(Pr, Pm)
    if branch is None:
        return NAN
    if branch == "A":
        return div(atanh(Pm), O)
    return div(log(div(Pr + Pm, Pr - Pm)), 2 * O)


@reference("He3PolarisationSDev")
def he3_polarisation_sdev(p, T, L, lam, Pr, Pm, sp, sT, sL, slam, sPr, sPm):
    branch = polarisation_branch(Pr, Pm)
    if branch is None:
        return NAN
    s_per_l = SIGMA0 / LAMBDA0
    if branch == "A":
        r = Pm * Pm - 1
        A = atanh(Pm) * r
        W = (((lam**2 * K2 + slam**2 * K1) * T**2 + (lam * s_per_l) ** 2 * sT**2) * p**2
             + (T * lam * s_per_l) ** 2 * sp**2) * L**2 + (p * T * lam * s_per_l) ** 2 * sL**2
        E1, G = p * L * T * lam * s_per_l, p * L * lam * s_per_l
        return sqrt(div((A * A * W + E1**2 * sPm**2) * R_GAS2, (G**2 * (r * N_A)) ** 2))
    B = log(div(2 * Pm, Pr - Pm) + 1)
    X = ((((p**2 * sT**2 + T**2 * sp**2) * lam**2 + (p * T) ** 2 * slam**2) * K1 + (p * T * lam) ** 2 * K2) * L**2
         + (p * T * lam * s_per_l) ** 2 * sL**2)
    E2, H = p * L * T * lam * s_per_l, p * L * s_per_l * lam
    Y = div((sPr**2 * Pm**2 + Pr**2 * sPm**2) * (E2**2 * 4), (Pm**2 - Pr**2) ** 2)
    return sqrt(div((X * B**2 + Y) * R_GAS2, (H**2 * N_A) ** 2 * 4))


# ---- The cell over an experiment, and the beam's corrections -------------------------------

def log_uniform(low, high):
    return lambda rng, n: np.exp(rng.uniform(math.log(low), math.log(high), n))


# A cell filled to 0 to 1 and relaxing with T1 of 20 to 500 h, over two weeks.
CELL_DECAY = {0: (0, 1), 1: (20, 500), 2: (0, 300)}


@reference("He3PolarisationAtTime", ranges=CELL_DECAY)
def he3_polarisation_at_time(PHe0, T1, t):
    return guarded(T1 > 0, lambda: PHe0 * mp.exp(-t / T1))


@reference("He3PolarisationAtTimeSDev", ranges={**CELL_DECAY, 3: (0, 0.02), 4: (0, 20), 5: (-1, 1)})
def he3_polarisation_at_time_sdev(PHe0, T1, t, s0, sT1, rho):
    if not T1 > 0 or abs(rho) > 1:
        return NAN
    a = mp.exp(-t / T1)
    # x·e^(−x) at its limit 0 where e^(−x) is 0 (t = +∞); a term whose derivative is 0 adds nothing
    # whatever its deviation (t = 0 with σ_T1 = ∞); an infinite term makes the whole +∞
    slope = 0 if a == 0 else PHe0 * (a * (t / T1))
    u = 0 if a == 0 and not isnan(s0) else a * abs(s0)
    v = 0 if slope == 0 and not isnan(sT1) else slope * abs(sT1) / T1
    if isnan(u) or isnan(v):
        return NAN
    if mpmath.isinf(u) or mpmath.isinf(v):
        return mp.inf
    # the completed square, as the library writes it
    return sqrt((u + rho * v) ** 2 + (1 - rho * rho) * v**2)


def usable_opacity(p, T, L, lam):
    """The cell's opacity, or None where no polarisation can be read from a transmission (no gas, an
    infinitely opaque cell, any quantity not above 0, even two negative ones whose opacity is
    positive)."""
    if not (p > 0 and T > 0 and L > 0 and lam > 0):
        return None
    O = opacity(p, T, L, lam)
    return O if O > 0 and mpmath.isfinite(O) else None


TRANSMISSION_RATIO = {4: (1, 4)}


@reference("He3PolarisationFromTransmission", ranges=TRANSMISSION_RATIO)
def he3_polarisation_from_transmission(p, T, L, lam, r):
    O = usable_opacity(p, T, L, lam)
    return NAN if O is None or not r >= 1 else mp.acosh(r) / O


@reference("He3PolarisationFromTransmissionSDev", ranges={**TRANSMISSION_RATIO, 9: (0, 0.02)})
def he3_polarisation_from_transmission_sdev(p, T, L, lam, r, sp, sT, sL, slam, sr):
    O = usable_opacity(p, T, L, lam)
    if O is None or not r >= 1:
        return NAN
    relative = (sp / p) ** 2 + (sT / T) ** 2 + (sL / L) ** 2 + (slam / lam) ** 2 + K2 / K1
    if zero(sr):
        ratio = mpf(0)  # a ratio known exactly adds nothing, also at r = 1
    else:
        q = (r - 1) * (r + 1)  # +0 at r = 1
        ratio = sr**2 / q if q != 0 else (NAN if isnan(sr) else mp.inf)
    return sqrt(mp.acosh(r) ** 2 * relative + ratio) / O


@reference("He3PolarisationFromTransmissionPointSDev", ranges={**TRANSMISSION_RATIO, 5: (0, 0.02)})
def he3_polarisation_from_transmission_point_sdev(p, T, L, lam, r, sr):
    O = usable_opacity(p, T, L, lam)
    if O is None or not r >= 1:
        return NAN
    if zero(sr):
        return mpf(0)
    q = (r - 1) * (r + 1)
    if q == 0:
        return NAN if isnan(sr) else mp.inf
    return abs(sr) / sqrt(q) / O


@reference("He3PolarisationFromTransmissionCommonRelSDev")
def he3_polarisation_from_transmission_common_rel_sdev(p, T, L, lam, sp, sT, sL, slam):
    if usable_opacity(p, T, L, lam) is None:
        return NAN
    return sqrt((sp / p) ** 2 + (sT / T) ** 2 + (sL / L) ** 2 + (slam / lam) ** 2 + K2 / K1)


def usable_beam(P, f):
    return not (P < -1 or P > 1 or f < 0 or f > 1 or zero(P) or zero(f))


# Flipping ratios from 0.1 to 10, a polariser of 0.8 to 1 and a flipper of 0.9 to 1: P' up to 1
# lets a measured ratio reach (1 + P)/(1 - P'), so some rows lie beyond it and near the pole.
BEAM = {1: (0.8, 1), 2: (0.9, 1)}
BEAM_DEVIATIONS = {4: (0, 0.02), 5: (0, 0.02)}


@reference("FlippingRatioCorrected", ranges={0: log_uniform(0.1, 10), **BEAM})
def flipping_ratio_corrected(R, P, f):
    if not usable_beam(P, f):
        return NAN
    Pf = (2 * f - 1) * P
    den = (1 + P) - R * (1 - Pf)
    return guarded(not zero(den), lambda: (R * (1 + Pf) - (1 - P)) / den)


@reference("FlippingRatioCorrectedSDev", ranges={0: log_uniform(0.1, 10), **BEAM, 3: (0, 1), **BEAM_DEVIATIONS})
def flipping_ratio_corrected_sdev(R, P, f, sR, sP, sf):
    if not usable_beam(P, f):
        return NAN
    D = (1 + P) - R * (1 - (2 * f - 1) * P)
    if zero(D):
        return NAN
    V = (2 * f * P * sR) ** 2 + (1 - R) ** 2 * ((1 + (2 * f - 1) * R) ** 2 * sP**2 + (2 * P * R * sf) ** 2)
    return 2 * sqrt(V) / D**2


@reference("AsymmetryCorrected", ranges={0: (-1, 1), **BEAM})
def asymmetry_corrected(A, P, f):
    if not usable_beam(P, f):
        return NAN
    den = P * (f - A * (1 - f))
    return guarded(not zero(den), lambda: A / den)


@reference("AsymmetryCorrectedSDev", ranges={0: (-1, 1), **BEAM, 3: (0, 0.05), **BEAM_DEVIATIONS})
def asymmetry_corrected_sdev(A, P, f, sA, sP, sf):
    if not usable_beam(P, f):
        return NAN
    Q = f - A * (1 - f)
    if zero(P * Q):
        return NAN
    V = ((f * sA) ** 2 + (A * (1 + A) * sf) ** 2) * P**2 + (A * Q * sP) ** 2
    return sqrt(V) / (P**2 * Q**2)


# ---- The magnetic-to-nuclear ratio γ of a centric reflection ---------------------------------
# Each written from the intensities I+ ∝ N(γ) and I− ∝ M(γ) in units of |F_N|²; the inverse ones
# solve G(γ) = 0 for the root of smaller magnitude, and their deviations differentiate G
# implicitly, σ_γ² = Σ (∂G/∂x·σ_x)² / (∂G/∂γ)².

def reflection_ratio_parts(g, P, f, q2):
    """R = N/M: N = I+ and M = I− in units of |F_N|², and their derivatives in γ, P and f."""
    Pf = (2 * f - 1) * P
    N, M = 1 + 2 * P * q2 * g + q2 * g**2, 1 - 2 * Pf * q2 * g + q2 * g**2
    dN = (2 * P * q2 + 2 * q2 * g, 2 * q2 * g, mpf(0))
    dM = (-2 * Pf * q2 + 2 * q2 * g, -2 * (2 * f - 1) * q2 * g, -4 * P * q2 * g)
    return N, M, dN, dM


def reflection_asymmetry_parts(g, P, f, q2):
    """A = U/S: U = (I+ − I−)/2 and S = (I+ + I−)/2 in units of |F_N|², and their derivatives."""
    U, S = 2 * f * P * q2 * g, 1 + 2 * (1 - f) * P * q2 * g + q2 * g**2
    dU = (2 * f * P * q2, 2 * f * q2 * g, 2 * P * q2 * g)
    dS = (2 * (1 - f) * P * q2 + 2 * q2 * g, 2 * (1 - f) * q2 * g, -2 * P * q2 * g)
    return U, S, dU, dS


def smaller_root(a, B, c):
    """The root of a·γ² − 2B·γ + c = 0 of smaller magnitude, or NaN; a = 0 leaves c/(2B)."""
    D = B * B - a * c
    if isnan(D) or D < 0:
        return NAN, D
    if zero(a):
        return (mpf(0) if zero(c) else c / (2 * B)), D
    # Both roots as the textbook writes them: the smaller one cancels as much as γ² is small
    # against 1, which 40 more digits leave far below the 30 written.
    with mp.extradps(40):
        D = B * B - a * c
        roots = [(B + sqrt(D)) / a, (B - sqrt(D)) / a]
        return +min(roots, key=abs), D


def reflection_ratio_root(R, P, f, q2):
    if not R >= 0:
        return NAN, None
    return smaller_root((R - 1) * q2, q2 * (R * (2 * f - 1) * P + P), R - 1)


def reflection_asymmetry_root(A, P, f, q2):
    if not -1 <= A <= 1:
        return NAN, None
    return smaller_root(A * q2, q2 * P * (f - A * (1 - f)), A)


def usable_reflection(P, f, q2):
    return -1 <= P <= 1 and not zero(P) and 0 < f <= 1 and 0 < q2 <= 1


def from_gamma(parts):
    """The measured top/bottom of a reflection of ratio γ, and its deviation."""
    def value(g, P, f, q2):
        if not usable_reflection(P, f, q2):
            return NAN
        top, bottom, _, _ = parts(g, P, f, q2)
        return guarded(not zero(bottom), lambda: top / bottom)

    def sdev(g, P, f, q2, sg, sP, sf):
        if not usable_reflection(P, f, q2):
            return NAN
        top, bottom, dtop, dbottom = parts(g, P, f, q2)
        if zero(bottom):
            return NAN
        return sqrt(sum(((a * bottom - top * b) / bottom**2 * s) ** 2 for a, b, s in zip(dtop, dbottom, [sg, sP, sf])))
    return value, sdev


def to_gamma(parts, root):
    """γ from a measured x = top/bottom, and its deviation: G = x·bottom(γ) − top(γ) = 0 differentiated
    implicitly, σ_γ² = Σ (∂G/∂x·σ_x)² / (∂G/∂γ)²; where the two roots meet, +∞ (0 without deviations)."""
    def value(x, P, f, q2):
        return root(x, P, f, q2)[0] if usable_reflection(P, f, q2) else NAN

    def sdev(x, P, f, q2, sx, sP, sf):
        if not usable_reflection(P, f, q2):
            return NAN
        g, D = root(x, P, f, q2)
        if isnan(g):
            return NAN
        _, bottom, dtop, dbottom = parts(g, P, f, q2)
        terms = sum((d * s) ** 2 for d, s in zip([bottom, x * dbottom[1] - dtop[1], x * dbottom[2] - dtop[2]],
                                                 [sx, sP, sf]))
        if D == 0:
            return mpf(0) if terms == 0 else (NAN if isnan(terms) else mp.inf)
        return sqrt(terms) / abs(x * dbottom[0] - dtop[0])
    return value, sdev


MAGNETIC = {1: (0.5, 1), 2: (0.8, 1), 3: (0.2, 1)}
MAGNETIC_DEVIATIONS = {5: (0, 0.01), 6: (0, 0.01)}
GAMMA_RANGES = {0: (-0.5, 0.5), **MAGNETIC}
RATIO_RANGES = {0: log_uniform(0.7, 1.5), **MAGNETIC}
ASYMMETRY_RANGES = {0: (-0.3, 0.3), **MAGNETIC}


def register_gamma_pair(measured, parts, root, ranges, deviation):
    """GammaFrom<measured> and <measured>FromGamma with their deviations."""
    inverse, inverse_sdev = to_gamma(parts, root)
    reference(f"GammaFrom{measured}", ranges=ranges)(inverse)
    reference(f"GammaFrom{measured}SDev", ranges={**ranges, 4: (0, deviation), **MAGNETIC_DEVIATIONS})(inverse_sdev)
    forward, forward_sdev = from_gamma(parts)
    reference(f"{measured}FromGamma", ranges=GAMMA_RANGES)(forward)
    reference(f"{measured}FromGammaSDev", ranges={**GAMMA_RANGES, 4: (0, 0.02), **MAGNETIC_DEVIATIONS})(forward_sdev)


register_gamma_pair("FlippingRatio", reflection_ratio_parts, reflection_ratio_root, RATIO_RANGES, 0.05)
register_gamma_pair("Asymmetry", reflection_asymmetry_parts, reflection_asymmetry_root, ASYMMETRY_RANGES, 0.02)
# ---- Where a reflection is seen, what a polariser is worth ------------------------------

# sin(theta)/lambda within reach of every wavelength drawn, and near its edge.
REFLECTION = {0: (0.01, 0.16)}


@reference("LatticeSpacing", ranges=REFLECTION)
def lattice_spacing(s):
    return 1 / (2 * s) if s > 0 else NAN


@reference("LatticeSpacingSDev", ranges={**REFLECTION, 1: (0, 0.002)})
def lattice_spacing_sdev(s, ss):
    return abs(ss) / (2 * s * s) if s > 0 else NAN


def reach(s, lam):
    """lambda*s, or None where no angle is defined."""
    if not (s >= 0 and lam > 0):
        return None
    x = lam * s
    return x if x <= 1 else None


@reference("TwoTheta", ranges={**REFLECTION, 1: (0.7, 6)})
def two_theta(s, lam):
    x = reach(s, lam)
    return NAN if x is None else 2 * mp.asin(x) * RAD_TO_DEG


@reference("TwoThetaSDev", ranges={**REFLECTION, 1: (0.7, 6), 2: (0, 0.002), 3: (0, 0.05)})
def two_theta_sdev(s, lam, ss, slam):
    x = reach(s, lam)
    if x is None:
        return NAN
    spread = sqrt((lam * ss) ** 2 + (s * slam) ** 2)
    if isnan(spread) or zero(spread):
        return spread
    if x == 1:
        return mp.inf
    return 2 * RAD_TO_DEG * spread / sqrt(1 - x * x)


def usable_polariser(Pn, Tn):
    return -1 <= Pn <= 1 and 0 <= Tn <= 1


POLARISER = {0: (-1, 1), 1: (0, 1)}


@reference("He3FigureOfMerit", ranges=POLARISER)
def he3_figure_of_merit(Pn, Tn):
    return Pn * Pn * Tn if usable_polariser(Pn, Tn) else NAN


@reference("He3FigureOfMeritSDev", ranges={**POLARISER, 2: (0, 0.02), 3: (0, 0.02)})
def he3_figure_of_merit_sdev(Pn, Tn, sPn, sTn):
    if not usable_polariser(Pn, Tn):
        return NAN
    return sqrt((2 * Pn * Tn * sPn) ** 2 + (Pn * Pn * sTn) ** 2)


# ---- Rows --------------------------------------------------------------------------------------

def load_tests_inputs():
    """The Python tests' generator of plausible and wide values, and the documented values."""
    sys.path.insert(0, str(ROOT / "tests" / "frontends" / "python"))
    import conftest  # noqa: E402  (needs vantrel and VANTREL_EDGE_CASES)
    if not conftest.EDGE_CASES:
        sys.exit("references: set VANTREL_EDGE_CASES to the program printing the documented values")
    return conftest


def realistic_rows(conftest, function, ranges, n, rng):
    columns = []
    for j, name in enumerate(function.arguments):
        draw = ranges.get(j)
        if draw is None:
            columns.append(conftest._plausible(rng, name, n))
        elif callable(draw):
            columns.append(draw(rng, n))
        else:
            columns.append(rng.uniform(draw[0], draw[1], n))
    return np.column_stack(columns)


def hostile_rows(conftest, function, ranges, rng):
    """The wide rows of the Python tests, and realistic rows with every argument scaled
    by one huge or tiny power of ten (the same one throughout a row)."""
    wide = np.column_stack([conftest._wide(rng, 100) for _ in function.arguments])
    scaled = realistic_rows(conftest, function, ranges, SCALED_ROWS, rng)
    scaled *= (10.0 ** rng.choice([-150.0, -60.0, -20.0, 20.0, 60.0, 150.0], SCALED_ROWS))[:, None]
    return np.vstack([wide, scaled])


def evaluate(formula, row, digits):
    global SIGNED
    mp.dps = digits
    SIGNED = any(math.copysign(1.0, x) < 0 for x in row)
    try:
        return formula(*[mpf(float(x)) for x in row])
    except Undetermined:
        return None


def text(value):
    if isnan(value):
        return "nan"
    if mpmath.isinf(value):
        return "inf" if value > 0 else "-inf"
    return mpmath.nstr(value, DIGITS, min_fixed=1, max_fixed=0, strip_zeros=False)


def settled(a, b):
    """The two evaluations agree to the digits written."""
    if a is None or b is None:
        return False
    if isnan(a) or isnan(b):
        return isnan(a) and isnan(b)
    if mpmath.isinf(a) or mpmath.isinf(b) or a == 0 or b == 0:
        return a == b
    return abs(a - b) <= abs(b) * mpf(10) ** -(DIGITS + 2)


def references(job):
    name, kinds, rows = job
    formula = FORMULAS[name][0]
    lines, dropped = [], 0
    for kind, row in zip(kinds, rows):
        low, high = evaluate(formula, row, 50), evaluate(formula, row, 80)
        if not settled(low, high):
            dropped += 1
            continue
        mp.dps = 80
        lines.append(",".join([kind, *(repr(float(x)) for x in row), text(high)]))
    return name, lines, dropped


# Edges where a written grouping overflows, underflows or meets 0·∞ while the formula has a
# limit, as hostile rows beside the generated ones.
EDGES = {
    "He3PolarisationAtTimeSDev": [(0.75, 150, 24, 0.01, math.inf, 0), (0.75, 150, math.inf, 0.01, 8, 0),
                                  (0.75, 150, 0, 0.01, math.inf, 0), (0.75, 1e-200, 1e-200, 0.01, 1e-200, 0),
                                  (0.75, 1e200, 1e200, 0.01, 1e200, 0)],
    "He3PolarisationFromTransmission": [(-1, -293, 10, 2, 1.6), (1, 293, -10, -2, 1.6)],
    "He3PolarisationFromTransmissionSDev": [(-1, -293, 10, 2, 1.6, 0, 0, 0, 0, 0.01)],
    "FlippingRatioCorrected": [(1e308, 1, 1), (1.7e308, 1, 1), (1e308, 0.99, 1)],
    "FlippingRatioCorrectedSDev": [(1e200, 1, 1, 1e200, 0, 0)],
    "AsymmetryCorrectedSDev": [(0.3, 1e-151, 0.9, 1e-5, 1e-153, 0), (0.3, 1e-160, 0.9, 1e-5, 1e-162, 0.001)],
}


def rows_of(conftest, function, documented, rng):
    ranges = FORMULAS[function.name][1]
    blocks = [("realistic", realistic_rows(conftest, function, ranges, REALISTIC_ROWS, rng)),
              ("documented", np.array([function.example[0], *documented[function.name]], dtype=float)),
              ("hostile", hostile_rows(conftest, function, ranges, rng))]
    if function.name in EDGES:
        blocks.append(("hostile", np.array(EDGES[function.name], dtype=float)))
    kinds = [kind for kind, block in blocks for _ in range(len(block))]
    return kinds, np.vstack([block for _, block in blocks])


def write(function, lines):
    header = (f"# {function.name}: inputs in call order (doubles, exact) and the value of the formula to "
              f"{DIGITS} significant digits; written by tools/references.py, regenerated only on purpose\n"
              f"kind,{','.join(function.arguments)},reference\n")
    (DATA / f"{function.name}.csv").write_text(header + "\n".join(lines) + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--only", nargs="*", help="regenerate these functions only")
    parser.add_argument("--jobs", type=int, default=2)
    arguments = parser.parse_args()
    conftest = load_tests_inputs()
    import vantrel

    missing = sorted(set(FORMULAS) - {f.name for f in vantrel.functions})
    if missing:
        sys.exit(f"references: formulas for functions the catalogue lacks: {', '.join(missing)}")
    documented = conftest._documented_arguments()
    chosen = [f for f in vantrel.functions if f.name in FORMULAS and (not arguments.only or f.name in arguments.only)]
    jobs = []
    for function in chosen:
        kinds, rows = rows_of(conftest, function, documented, np.random.default_rng(90000 + function.index))
        jobs.append((function.name, kinds, rows))
    DATA.mkdir(exist_ok=True)
    by_name = {f.name: f for f in chosen}
    with ProcessPoolExecutor(max_workers=arguments.jobs) as pool:
        for name, lines, dropped in pool.map(references, jobs):
            write(by_name[name], lines)
            print(f"{name:26} {len(lines):5} rows" + (f", {dropped} dropped (unsettled or undetermined)"
                                                       if dropped else ""))
    without = [f.name for f in vantrel.functions if f.name not in FORMULAS]
    if without:
        print("no formula yet: " + ", ".join(without))


if __name__ == "__main__":
    main()
