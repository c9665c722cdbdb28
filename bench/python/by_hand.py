#!/usr/bin/python3
"""Every function of the module written by hand with numpy: the baseline of the Python benchmark.

The Python benchmark compares each function of the module against what a user would write instead of
calling the module: the formula of docs/functions.md as plain, vectorised numpy expressions. These
expressions carry none of the functions' guards for degenerate inputs (zero denominators, paralysed
detectors, out-of-range polarisations), which favours numpy; on ordinary inputs they agree with the
module to rounding (the peak-centring polynomial to about 1e-10, see inverse_erf_polynomial).

    BY_HAND[name](*args)      the hand formula, arguments in the module's call order
    inputs(name, n, rng)      n rows of ordinary arguments for that function (float64 arrays)

    python3 bench/python/by_hand.py --check [--rows N] [--time-rows N]

(with the built module importable, e.g. through PYTHONPATH) checks every hand formula against the
module (largest relative difference, limit 1e-8) and times both as a quick indication; the
benchmark proper is bench.py.
"""

import argparse
import inspect
import math
import sys
import time

import numpy as np

# The module's constants (docs/functions.md): the helium-3 cell and the 12-digit π of its angles.
NA, R_GAS, SIGMA0, LAMBDA0 = 6.0221367e23, 82.096, 5.333e-21, 1.8
K1, K2 = 8.778052160493825e-42, 1.51235e-47
PI12 = 3.14159265359
DEG = PI12 / 180.0

NO_HAND_FORMULA = {}  # name -> why no hand formula exists; every function has one.

# ---- Count rates and the dead-time model -------------------------------------------

def _dead_time_q(N, t, tau, tau2):
    return (t - N * tau) * t - (N * tau2) * N


def _dead_time_var(N, t, tau2, sigmaTau, sigmaTau2):
    """Numerator of the variance of the corrected rate; divide by q⁴."""
    N2, t2 = N * N, t * t
    return N * t2 * (t2 + tau2 * N2) ** 2 + N2 * N2 * t2 * t2 * sigmaTau ** 2 + N2 * N2 * N2 * t2 * sigmaTau2 ** 2


def count_rate_ddt(N, t, tau, tau2):
    return t * N / _dead_time_q(N, t, tau, tau2)


def count_rate_ddt_sdev(N, t, tau, tau2, sigmaTau, sigmaTau2):
    q = _dead_time_q(N, t, tau, tau2)
    return np.sqrt(_dead_time_var(N, t, tau2, sigmaTau, sigmaTau2)) / (q * q)


# ---- Four measurements: peak +, background +, peak −, background − -----------------

def _opt_terms(Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb):
    """Monitor-rate factors a, b, c, d of the four counts and the net levels I+ = U, I− = D."""
    Tp, Tb = tPp + tPm, tBp + tBm
    a, b = Tp / (Mp * tPp), Tb / (Mb * tBp)
    c, d = Tp / (Mp * tPm), Tb / (Mb * tBm)
    return a, b, c, d, a * Npp - b * Nbp, c * Npm - d * Nbm


def _ratio_sdev(C, V, t, M):
    """σ of I+/I− for counts C with variances V (Poisson counts: V = C) and Poisson monitors M."""
    Cpp, Cbp, Cpm, Cbm = C
    a, b, c, d, U, D = _opt_terms(*C, *t, *M)
    R = U / D
    var = (a * a * V[0] + b * b * V[1] + R * R * (c * c * V[2] + d * d * V[3])
           + (R * c * Cpm - a * Cpp) ** 2 / M[0] + (b * Cbp - R * d * Cbm) ** 2 / M[1]) / (D * D)
    return np.sqrt(var)


def _asymmetry_sdev(C, V, t, M):
    """σ of (I+ − I−)/(I+ + I−), counts and monitors as in _ratio_sdev."""
    Cpp, Cbp, Cpm, Cbm = C
    a, b, c, d, U, D = _opt_terms(*C, *t, *M)
    S = U + D
    var = (D * D * (a * a * V[0] + b * b * V[1]) + U * U * (c * c * V[2] + d * d * V[3])
           + (U * c * Cpm - D * a * Cpp) ** 2 / M[0] + (D * b * Cbp - U * d * Cbm) ** 2 / M[1])
    return 2.0 * np.sqrt(var) / (S * S)


def _corrected_counts(N, t, tau, tau2):
    """Dead-time-corrected counts C_k = n_k·t_k of the four measurements."""
    return [tk * (tk * Nk) / _dead_time_q(Nk, tk, tau, tau2) for Nk, tk in zip(N, t)]


def _corrected_counts_var(N, t, tau, tau2, sigmaTau, sigmaTau2):
    """The corrected counts and their variances t_k²·σ²(n_k), the four taken as independent."""
    C, V = [], []
    for Nk, tk in zip(N, t):
        q = _dead_time_q(Nk, tk, tau, tau2)
        q2 = q * q
        C.append(tk * (tk * Nk) / q)
        V.append(tk * tk * _dead_time_var(Nk, tk, tau2, sigmaTau, sigmaTau2) / (q2 * q2))
    return C, V


def flipping_ratio_opt(Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb):
    *_, U, D = _opt_terms(Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb)
    return U / D


def asymmetry_opt(Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb):
    *_, U, D = _opt_terms(Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb)
    return (U - D) / (U + D)


def numpy_flipping_ratio_opt_sdev(Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb):
    C = (Npp, Nbp, Npm, Nbm)
    return _ratio_sdev(C, C, (tPp, tBp, tPm, tBm), (Mp, Mb))


def numpy_asymmetry_opt_sdev(Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb):
    C = (Npp, Nbp, Npm, Nbm)
    return _asymmetry_sdev(C, C, (tPp, tBp, tPm, tBm), (Mp, Mb))


def flipping_ratio_opt_ddt(Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb, tau, tau2):
    t = (tPp, tBp, tPm, tBm)
    return flipping_ratio_opt(*_corrected_counts((Npp, Nbp, Npm, Nbm), t, tau, tau2), *t, Mp, Mb)


def asymmetry_opt_ddt(Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb, tau, tau2):
    t = (tPp, tBp, tPm, tBm)
    return asymmetry_opt(*_corrected_counts((Npp, Nbp, Npm, Nbm), t, tau, tau2), *t, Mp, Mb)


def flipping_ratio_opt_ddt_sdev(Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb, tau, tau2, sigmaTau, sigmaTau2):
    t = (tPp, tBp, tPm, tBm)
    C, V = _corrected_counts_var((Npp, Nbp, Npm, Nbm), t, tau, tau2, sigmaTau, sigmaTau2)
    return _ratio_sdev(C, V, t, (Mp, Mb))


def asymmetry_opt_ddt_sdev(Npp, Nbp, Npm, Nbm, tPp, tBp, tPm, tBm, Mp, Mb, tau, tau2, sigmaTau, sigmaTau2):
    t = (tPp, tBp, tPm, tBm)
    C, V = _corrected_counts_var((Npp, Nbp, Npm, Nbm), t, tau, tau2, sigmaTau, sigmaTau2)
    return _asymmetry_sdev(C, V, t, (Mp, Mb))


def flipping_ratio_sdev(Npp, Nbp, Npm, Nbm, sigmaPp, sigmaBp, sigmaPm, sigmaBm):
    U, D = Npp - Nbp, Npm - Nbm
    return np.sqrt((sigmaPm ** 2 + sigmaBm ** 2) * U * U + (sigmaBp ** 2 + sigmaPp ** 2) * D * D) / (D * D)


def asymmetry_sdev(Npp, Nbp, Npm, Nbm, sigmaPp, sigmaBp, sigmaPm, sigmaBm):
    U, D = Npp - Nbp, Npm - Nbm
    S = U + D
    return 2.0 * np.sqrt((sigmaPm ** 2 + sigmaBm ** 2) * U * U + (sigmaBp ** 2 + sigmaPp ** 2) * D * D) / (S * S)


# ---- Optimal counting times: own = 0, 1, 2, 3 for Tpp, Tbp, Tpm, Tbm -----------------

def _time_split(Npp, Nbp, Npm, Nbm):
    """Net rates |Δ+|, |Δ−| and the normalisation D."""
    dp, dm = np.abs(Npp - Nbp), np.abs(Npm - Nbm)
    return dp, dm, (np.sqrt(Npp) + np.sqrt(Nbp)) * dm + (np.sqrt(Npm) + np.sqrt(Nbm)) * dp


def _optimal_time(own, Npp, Nbp, Npm, Nbm, T):
    dp, dm, D = _time_split(Npp, Nbp, Npm, Nbm)
    return np.sqrt((Npp, Nbp, Npm, Nbm)[own]) * T * (dm if own < 2 else dp) / D


def _optimal_time_sdev(own, Npp, Nbp, Npm, Nbm, T, sigmaPp, sigmaBp, sigmaPm, sigmaBm):
    dp, dm, D = _time_split(Npp, Nbp, Npm, Nbm)
    R, s = (Npp, Nbp, Npm, Nbm)[own], (sigmaPp, sigmaBp, sigmaPm, sigmaBm)[own]
    so1, so2, other = (sigmaPm, sigmaBm, dm) if own < 2 else (sigmaPp, sigmaBp, dp)
    return np.sqrt((so1 ** 2 + so2 ** 2) * R + other * other * s * s / (4.0 * R)) * T / D


# ---- Peak centring --------------------------------------------------------------------

def _inverse_erf_at(y):
    """erf⁻¹(y) for one float, by Newton's method on math.erf."""
    x = 0.0
    for _ in range(100):
        step = (math.erf(x) - y) / (2.0 / math.sqrt(math.pi) * math.exp(-x * x))
        x -= step
        if abs(step) < 1e-17:
            break
    return x


# The degree-19 interpolant of erf⁻¹ at ±0.05, …, ±0.95. Interpolating odd data it is odd:
# S(a) = a·P(a²) with P of degree 9 through the ten positive nodes. The module's coefficients carry
# the residue of their original fit (even terms up to 5e-10), so the centres agree to about 1e-10
# relative, not to rounding.
_NODES = np.arange(0.05, 1.0, 0.1)
_ODD_COEFFICIENTS = np.linalg.solve(np.vander(_NODES ** 2, 10, increasing=True),
                                    [_inverse_erf_at(y) / y for y in _NODES])


def inverse_erf_polynomial(a):
    return a * np.polynomial.polynomial.polyval(a * a, _ODD_COEFFICIENTS)


def _line_zero(x1, y1, x2, y2):
    return (x2 * y1 - x1 * y2) / (y1 - y2)


def _line_zero_sdev(x1, y1, x2, y2, sigmaX, var1, var2):
    """σ of the zero of the line through (x1, y1), (x2, y2); var1, var2 are those of y1, y2."""
    d2 = (y1 - y2) ** 2
    return np.sqrt(sigmaX ** 2 * (y1 * y1 + y2 * y2) / d2 + (x2 - x1) ** 2 * (y2 * y2 * var1 + y1 * y1 * var2) / (d2 * d2))


def _mapped(A, B):
    return inverse_erf_polynomial((A - B) / (A + B))


def _mapped_var(A, B, sigmaA, sigmaB, u):
    """Variance of u = S(a), with the slope (√π/2)·e^(u²) of the exact erf⁻¹ and σ(a) from A, B."""
    slope = math.sqrt(PI12) / 2.0 * np.exp(u * u)
    S = A + B
    return slope * slope * 4.0 * (B * B * sigmaA ** 2 + A * A * sigmaB ** 2) / (S * S * S * S)


def peak_centring_lin(x1, A1, B1, x2, A2, B2):
    return _line_zero(x1, A1 - B1, x2, A2 - B2)


def peak_centring_lin_sdev(x1, A1, B1, x2, A2, B2, sigmaX, sigmaA1, sigmaB1, sigmaA2, sigmaB2):
    return _line_zero_sdev(x1, A1 - B1, x2, A2 - B2, sigmaX,
                           sigmaA1 ** 2 + sigmaB1 ** 2, sigmaA2 ** 2 + sigmaB2 ** 2)


def peak_centring_gauss(x1, A1, B1, x2, A2, B2):
    return _line_zero(x1, _mapped(A1, B1), x2, _mapped(A2, B2))


def peak_centring_gauss_sdev(x1, A1, B1, x2, A2, B2, sigmaX, sigmaA1, sigmaB1, sigmaA2, sigmaB2):
    u1, u2 = _mapped(A1, B1), _mapped(A2, B2)
    return _line_zero_sdev(x1, u1, x2, u2, sigmaX,
                           _mapped_var(A1, B1, sigmaA1, sigmaB1, u1), _mapped_var(A2, B2, sigmaA2, sigmaB2, u2))


# ---- sin(θ)/λ ---------------------------------------------------------------------------

def _oblique(h, l, a, c, angle):
    """1/d² contribution of the plane holding the oblique angle (monoclinic, h and l about b)."""
    cos = np.cos(angle * DEG)
    return ((h / a) ** 2 + (l / c) ** 2 - 2.0 * h * l * cos / (a * c)) / (1.0 - cos * cos)


def stl_rhombohedral(h, k, l, a, alpha):
    cos = np.cos(alpha * DEG)
    cos2 = cos * cos
    q = (((h * h + k * k + l * l) * (1.0 - cos2) + 2.0 * (h * k + k * l + l * h) * (cos2 - cos))
         / (a * a * (1.0 - 3.0 * cos2 + 2.0 * cos2 * cos)))
    return np.sqrt(q) / 2.0


def _metric_cofactors(a, b, c, alpha, beta, gamma, cos=np.cos):
    """Cofactors of the direct metric tensor and its determinant (the squared cell volume)."""
    g12 = a * b * cos(gamma * DEG)
    g13 = a * c * cos(beta * DEG)
    g23 = b * c * cos(alpha * DEG)
    a2, b2, c2 = a * a, b * b, c * c
    K11, K22, K33 = b2 * c2 - g23 * g23, a2 * c2 - g13 * g13, a2 * b2 - g12 * g12
    K12, K13, K23 = g13 * g23 - g12 * c2, g12 * g23 - g13 * b2, g12 * g13 - g23 * a2
    D = a2 * K11 + g12 * K12 + g13 * K13
    return K11, K22, K33, K12, K13, K23, D


def numpy_stl_triclinic_metric(h, k, l, a, b, c, alpha, beta, gamma):
    """The inverse metric tensor straight into 1/d², as a numpy user writes it (three cosines)."""
    K11, K22, K33, K12, K13, K23, D = _metric_cofactors(a, b, c, alpha, beta, gamma)
    q = (h * h * K11 + k * k * K22 + l * l * K33 + 2 * (h * k * K12 + k * l * K23 + l * h * K13)) / D
    return np.sqrt(q) / 2


def numpy_stl_triclinic(h, k, l, a, b, c, alpha, beta, gamma):
    """The route the reference describes: the reciprocal cell a*, b*, c*, α*, β*, γ*, then
    |h·a* + k·b* + l·c*|/2. The benchmark times it beside the shortcut; BY_HAND uses the shortcut."""
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


# ---- Helium-3 cell ------------------------------------------------------------------------

def _opacity(p, T, L, lam):
    return p * NA / (T * R_GAS) * L * SIGMA0 / LAMBDA0 * lam


def _opacity_rel_var(p, T, L, lam, sigmaP, sigmaT, sigmaL, sigmaLambda):
    return (sigmaP / p) ** 2 + (sigmaT / T) ** 2 + (sigmaL / L) ** 2 + (sigmaLambda / lam) ** 2 + K2 / K1


def he3_efficiency_sdev(p, T, L, lam, PHe, sigmaP, sigmaT, sigmaL, sigmaLambda, sigmaPHe):
    x = _opacity(p, T, L, lam) * PHe
    S = _opacity_rel_var(p, T, L, lam, sigmaP, sigmaT, sigmaL, sigmaLambda)
    return x / np.cosh(x) ** 2 * np.sqrt(S + (sigmaPHe / PHe) ** 2)


def he3_efficiency2_sdev(n1, n2, n3, n4):
    r = n2 * n3 / (n1 * n4)
    return r * r / np.sqrt(1.0 - r * r) * np.sqrt(1.0 / n1 + 1.0 / n2 + 1.0 / n3 + 1.0 / n4)


def he3_transmission(p, T, L, lam, PHe):
    O = _opacity(p, T, L, lam)
    return np.cosh(O * PHe) * np.exp(-O)


def numpy_he3_transmission_sdev(p, T, L, lam, PHe, sigmaP, sigmaT, sigmaL, sigmaLambda, sigmaPHe):
    O = _opacity(p, T, L, lam)
    x = O * PHe
    S = _opacity_rel_var(p, T, L, lam, sigmaP, sigmaT, sigmaL, sigmaLambda)
    sh, ch = np.sinh(x), np.cosh(x)
    return np.exp(-O) * O * np.sqrt((PHe * sh - ch) ** 2 * S + sh * sh * sigmaPHe ** 2)


# No reference polarisation (P_r = 0) is a reference of exactly 1: the formulas then reduce to
# those the reference gives for that case.
def he3_polarisation(p, T, L, lam, Pr, Pm):
    return np.arctanh(Pm / np.where(Pr == 0, 1.0, Pr)) / _opacity(p, T, L, lam)


def he3_polarisation_sdev(p, T, L, lam, Pr, Pm, sigmaP, sigmaT, sigmaL, sigmaLambda, sigmaPr, sigmaPm):
    none = Pr == 0
    Pr, sigmaPr = np.where(none, 1.0, Pr), np.where(none, 0.0, sigmaPr)
    B = 2.0 * np.arctanh(Pm / Pr)
    S = _opacity_rel_var(p, T, L, lam, sigmaP, sigmaT, sigmaL, sigmaLambda)
    return np.sqrt(B * B * S + 4.0 * (Pm * Pm * sigmaPr ** 2 + Pr * Pr * sigmaPm ** 2) / (Pr * Pr - Pm * Pm) ** 2) / (
        2.0 * _opacity(p, T, L, lam))



# ---- The cell over an experiment and the beam's corrections (library only) --------------

def he3_polarisation_at_time_sdev(PHe0, T1, t, sigmaPHe0, sigmaT1, rho):
    a = np.exp(-t / T1)
    b = PHe0 * a * t / (T1 * T1)
    return np.sqrt((a * sigmaPHe0) ** 2 + (b * sigmaT1) ** 2 + 2.0 * rho * a * b * sigmaPHe0 * sigmaT1)


def he3_polarisation_from_transmission_sdev(p, T, L, lam, Tratio, sigmaP, sigmaT, sigmaL, sigmaLambda,
                                            sigmaTratio):
    S = _opacity_rel_var(p, T, L, lam, sigmaP, sigmaT, sigmaL, sigmaLambda)
    return np.sqrt(np.arccosh(Tratio) ** 2 * S + sigmaTratio ** 2 / (Tratio * Tratio - 1.0)) / _opacity(p, T, L, lam)


def flipping_ratio_corrected(R, P, f):
    flipped = (2.0 * f - 1.0) * P
    return (R * (1.0 + flipped) - (1.0 - P)) / ((1.0 + P) - R * (1.0 - flipped))


def flipping_ratio_corrected_sdev(R, P, f, sigmaR, sigmaP, sigmaF):
    D = (1.0 + P) - R * (1.0 - (2.0 * f - 1.0) * P)
    beam = (1.0 + (2.0 * f - 1.0) * R) ** 2 * sigmaP ** 2 + (2.0 * P * R * sigmaF) ** 2
    return 2.0 * np.sqrt((2.0 * f * P * sigmaR) ** 2 + (1.0 - R) ** 2 * beam) / (D * D)


def asymmetry_corrected_sdev(A, P, f, sigmaA, sigmaP, sigmaF):
    Q = f - A * (1.0 - f)
    return np.sqrt(((f * sigmaA) ** 2 + (A * (1.0 + A) * sigmaF) ** 2) * P * P + (A * Q * sigmaP) ** 2) / (P * P * Q * Q)


# ---- The magnetic-to-nuclear ratio γ of a reflection (library only) -------------------------

def _plus_minus(gamma, P, f, q2):
    """I+ and I− in units of |F_N|²."""
    flipped = (2.0 * f - 1.0) * P
    return 1.0 + 2.0 * P * q2 * gamma + q2 * gamma ** 2, 1.0 - 2.0 * flipped * q2 * gamma + q2 * gamma ** 2


def _smaller_root(a, B, c):
    """The root of smaller magnitude of a·γ² − 2B·γ + c = 0, without cancellation."""
    return c / (B + np.copysign(np.sqrt(B * B - a * c), B))


def gamma_from_flipping_ratio(R, P, f, q2):
    return _smaller_root((R - 1.0) * q2, q2 * (R * (2.0 * f - 1.0) * P + P), R - 1.0)


def gamma_from_flipping_ratio_sdev(R, P, f, q2, sigmaR, sigmaP, sigmaF):
    gamma = gamma_from_flipping_ratio(R, P, f, q2)
    minus = _plus_minus(gamma, P, f, q2)[1]
    slope = 2.0 * q2 * ((R - 1.0) * gamma - (R * (2.0 * f - 1.0) * P + P))
    terms = (minus * sigmaR) ** 2 + (2.0 * q2 * gamma * (R * (2.0 * f - 1.0) + 1.0) * sigmaP) ** 2 + (
        4.0 * q2 * gamma * R * P * sigmaF) ** 2
    return np.sqrt(terms) / np.abs(slope)


def flipping_ratio_from_gamma_sdev(gamma, P, f, q2, sigmaGamma, sigmaP, sigmaF):
    plus, minus = _plus_minus(gamma, P, f, q2)
    g2 = q2 * gamma ** 2
    terms = (f * P * (1.0 - g2) * sigmaGamma) ** 2 + (f * gamma * (1.0 + g2) * sigmaP) ** 2 + (
        P * gamma * plus * sigmaF) ** 2
    return 4.0 * q2 * np.sqrt(terms) / minus ** 2


def gamma_from_asymmetry(A, P, f, q2):
    return _smaller_root(A * q2, q2 * P * (f - A * (1.0 - f)), A)


def gamma_from_asymmetry_sdev(A, P, f, q2, sigmaA, sigmaP, sigmaF):
    gamma = gamma_from_asymmetry(A, P, f, q2)
    Q = f - A * (1.0 - f)
    total = 1.0 + 2.0 * (1.0 - f) * P * q2 * gamma + q2 * gamma ** 2
    slope = 2.0 * q2 * (A * gamma - P * Q)
    terms = (total * sigmaA) ** 2 + (2.0 * q2 * gamma * Q * sigmaP) ** 2 + (2.0 * q2 * P * gamma * (1.0 + A) * sigmaF) ** 2
    return np.sqrt(terms) / np.abs(slope)


def asymmetry_from_gamma(gamma, P, f, q2):
    return 2.0 * f * P * q2 * gamma / (1.0 + 2.0 * (1.0 - f) * P * q2 * gamma + q2 * gamma ** 2)


def asymmetry_from_gamma_sdev(gamma, P, f, q2, sigmaGamma, sigmaP, sigmaF):
    plus = _plus_minus(gamma, P, f, q2)[0]
    g2 = q2 * gamma ** 2
    total = 1.0 + 2.0 * (1.0 - f) * P * q2 * gamma + g2
    terms = (f * P * (1.0 - g2) * sigmaGamma) ** 2 + (f * gamma * (1.0 + g2) * sigmaP) ** 2 + (
        P * gamma * plus * sigmaF) ** 2
    return 2.0 * q2 * np.sqrt(terms) / total ** 2


# ---- The catalogue ------------------------------------------------------------------------

BY_HAND = {
    "CountRate": lambda N, t: N / t,
    "CountRateSDev": lambda N, t: np.sqrt(N) / t,
    "CountRateDDT": count_rate_ddt,
    "CountRateDDTSDev": count_rate_ddt_sdev,
    "CountRateMonitor": lambda N, M: N / M,
    "CountRateMonitorSDev": lambda N, M: np.sqrt((M + N) * N / M ** 3),
    "FlippingRatio": lambda Npp, Nbp, Npm, Nbm: (Npp - Nbp) / (Npm - Nbm),
    "FlippingRatioSDev": flipping_ratio_sdev,
    "FlippingRatioOpt": flipping_ratio_opt,
    "FlippingRatioOptSDev": numpy_flipping_ratio_opt_sdev,
    "FlippingRatioOptDDT": flipping_ratio_opt_ddt,
    "FlippingRatioOptDDTSDev": flipping_ratio_opt_ddt_sdev,
    "OptCountingTimeTpp": lambda Npp, Nbp, Npm, Nbm, T: _optimal_time(0, Npp, Nbp, Npm, Nbm, T),
    "OptCountingTimeTbp": lambda Npp, Nbp, Npm, Nbm, T: _optimal_time(1, Npp, Nbp, Npm, Nbm, T),
    "OptCountingTimeTpm": lambda Npp, Nbp, Npm, Nbm, T: _optimal_time(2, Npp, Nbp, Npm, Nbm, T),
    "OptCountingTimeTbm": lambda Npp, Nbp, Npm, Nbm, T: _optimal_time(3, Npp, Nbp, Npm, Nbm, T),
    "OptCountingTimeTppSDev": lambda Npp, Nbp, Npm, Nbm, T, sigmaPp, sigmaBp, sigmaPm, sigmaBm:
        _optimal_time_sdev(0, Npp, Nbp, Npm, Nbm, T, sigmaPp, sigmaBp, sigmaPm, sigmaBm),
    "OptCountingTimeTbpSDev": lambda Npp, Nbp, Npm, Nbm, T, sigmaPp, sigmaBp, sigmaPm, sigmaBm:
        _optimal_time_sdev(1, Npp, Nbp, Npm, Nbm, T, sigmaPp, sigmaBp, sigmaPm, sigmaBm),
    "OptCountingTimeTpmSDev": lambda Npp, Nbp, Npm, Nbm, T, sigmaPp, sigmaBp, sigmaPm, sigmaBm:
        _optimal_time_sdev(2, Npp, Nbp, Npm, Nbm, T, sigmaPp, sigmaBp, sigmaPm, sigmaBm),
    "OptCountingTimeTbmSDev": lambda Npp, Nbp, Npm, Nbm, T, sigmaPp, sigmaBp, sigmaPm, sigmaBm:
        _optimal_time_sdev(3, Npp, Nbp, Npm, Nbm, T, sigmaPp, sigmaBp, sigmaPm, sigmaBm),
    "PeakCentringLin": peak_centring_lin,
    "PeakCentringLinSDev": peak_centring_lin_sdev,
    "PeakCentringGauss": peak_centring_gauss,
    "PeakCentringGaussSDev": peak_centring_gauss_sdev,
    "STLcubic": lambda h, k, l, a: np.sqrt(h * h + k * k + l * l) / (2.0 * a),
    "STLhexagonal": lambda h, k, l, a, c: np.sqrt(4.0 / 3.0 * (h * h + h * k + k * k) / (a * a) + (l / c) ** 2) / 2.0,
    "STLrhombohedral": stl_rhombohedral,
    "STLtetragonal": lambda h, k, l, a, c: np.sqrt((h * h + k * k) / (a * a) + (l / c) ** 2) / 2.0,
    "STLorthorhombic": lambda h, k, l, a, b, c: np.sqrt((h / a) ** 2 + (k / b) ** 2 + (l / c) ** 2) / 2.0,
    "STLmonoclinicB": lambda h, k, l, a, b, c, beta: np.sqrt(_oblique(h, l, a, c, beta) + (k / b) ** 2) / 2.0,
    "STLmonoclinicC": lambda h, k, l, a, b, c, gamma: np.sqrt(_oblique(h, k, a, b, gamma) + (l / c) ** 2) / 2.0,
    "STLtriclinic": numpy_stl_triclinic_metric,
    "Asymmetry": lambda Npp, Nbp, Npm, Nbm: ((Npp - Nbp) - (Npm - Nbm)) / ((Npp - Nbp) + (Npm - Nbm)),
    "AsymmetrySDev": asymmetry_sdev,
    "AsymmetryOpt": asymmetry_opt,
    "AsymmetryOptSDev": numpy_asymmetry_opt_sdev,
    "AsymmetryOptDDT": asymmetry_opt_ddt,
    "AsymmetryOptDDTSDev": asymmetry_opt_ddt_sdev,
    "He3Efficiency": lambda p, T, L, lam, PHe: np.tanh(_opacity(p, T, L, lam) * PHe),
    "He3EfficiencySDev": he3_efficiency_sdev,
    "He3Efficiency2": lambda n1, n2, n3, n4: np.sqrt(1.0 - ((n3 / n4) / (n1 / n2)) ** 2),
    "He3Efficiency2SDev": he3_efficiency2_sdev,
    "He3Transmission": he3_transmission,
    "He3TransmissionSDev": numpy_he3_transmission_sdev,
    "He3Polarisation": he3_polarisation,
    "He3PolarisationSDev": he3_polarisation_sdev,
    "He3PolarisationAtTime": lambda PHe0, T1, t: PHe0 * np.exp(-t / T1),
    "He3PolarisationAtTimeSDev": he3_polarisation_at_time_sdev,
    "He3PolarisationFromTransmission": lambda p, T, L, lam, Tratio: np.arccosh(Tratio) / _opacity(p, T, L, lam),
    "He3PolarisationFromTransmissionSDev": he3_polarisation_from_transmission_sdev,
    "He3PolarisationFromTransmissionPointSDev": lambda p, T, L, lam, Tratio, sigmaTratio:
        sigmaTratio / np.sqrt(Tratio * Tratio - 1.0) / _opacity(p, T, L, lam),
    "He3PolarisationFromTransmissionCommonRelSDev": lambda p, T, L, lam, sigmaP, sigmaT, sigmaL, sigmaLambda:
        np.sqrt(_opacity_rel_var(p, T, L, lam, sigmaP, sigmaT, sigmaL, sigmaLambda)),
    "FlippingRatioCorrected": flipping_ratio_corrected,
    "FlippingRatioCorrectedSDev": flipping_ratio_corrected_sdev,
    "AsymmetryCorrected": lambda A, P, f: A / (P * (f - A * (1.0 - f))),
    "AsymmetryCorrectedSDev": asymmetry_corrected_sdev,
    "GammaFromFlippingRatio": gamma_from_flipping_ratio,
    "GammaFromFlippingRatioSDev": gamma_from_flipping_ratio_sdev,
    "FlippingRatioFromGamma": lambda gamma, P, f, q2: np.divide(*_plus_minus(gamma, P, f, q2)),
    "FlippingRatioFromGammaSDev": flipping_ratio_from_gamma_sdev,
    "GammaFromAsymmetry": gamma_from_asymmetry,
    "GammaFromAsymmetrySDev": gamma_from_asymmetry_sdev,
    "AsymmetryFromGamma": asymmetry_from_gamma,
    "AsymmetryFromGammaSDev": asymmetry_from_gamma_sdev,
    "LatticeSpacing": lambda s: 1.0 / (2.0 * s),
    "LatticeSpacingSDev": lambda s, sigmaS: (np.abs(sigmaS) / s) / (2.0 * s),
    "TwoTheta": lambda s, lam: 2.0 * np.arcsin(lam * s) * (180.0 / PI12),
    "TwoThetaSDev": lambda s, lam, sigmaS, sigmaLambda: (
        (2.0 * (180.0 / PI12)) * np.hypot(lam * sigmaS, s * sigmaLambda) / np.sqrt((1.0 - lam * s) * (1.0 + lam * s))),
    "He3FigureOfMerit": lambda Pn, Tn: (Pn * Pn) * Tn,
    "He3FigureOfMeritSDev": lambda Pn, Tn, sigmaPn, sigmaTn: np.hypot((2.0 * Pn) * Tn * sigmaPn, (Pn * Pn) * sigmaTn),
}


def arguments(name):
    """The hand formula's parameter names: the module's argument names ('lam' for 'lambda')."""
    return [("lambda" if p == "lam" else p) for p in inspect.signature(BY_HAND[name]).parameters]


# ---- Ordinary inputs --------------------------------------------------------------------------

FOUR = ("Npp", "Nbp", "Npm", "Nbm")
SIGMAS = ("sigmaPp", "sigmaBp", "sigmaPm", "sigmaBm")


def _reflection_rates(n, rng):
    """Count rates (per second) of peak +, background +, peak −, background − of one reflection per
    row. Flipping ratios of 1.5–5 or their inverses keep I+ and I− apart, so that neither the
    asymmetry nor I+ + I− comes near a cancellation that no formula could follow to 1e-8."""
    u = lambda lo, hi: rng.uniform(lo, hi, n)
    net_minus = np.exp(u(np.log(50), np.log(2000)))
    ratio = np.exp(u(np.log(1.5), np.log(5)) * rng.choice([-1.0, 1.0], n))
    bp, bm = u(2, 20), u(2, 20)
    return [net_minus * ratio + bp, bp, net_minus + bm, bm]


def _dead_time(n, rng):
    tau, tau2 = rng.uniform(1e-6, 1e-5, n), rng.uniform(0, 1e-10, n)   # s, s²
    return dict(tau=tau, tau2=tau2, sigmaTau=tau * rng.uniform(0.01, 0.1, n), sigmaTau2=tau2 * rng.uniform(0.05, 0.2, n))


def _intensities(n, rng):
    """The four counts taken over one counting time, so that they are intensities in a common unit."""
    t = rng.uniform(30, 120, n)
    N = [rng.poisson(r * t) + 0.0 for r in _reflection_rates(n, rng)]
    return dict(zip(FOUR, N), **dict(zip(SIGMAS, np.sqrt(N))))


def _four_measurements(n, rng):
    """The Opt arguments: counts over their own times, monitors over both peak and both background
    measurements, and the detector's dead time."""
    u = lambda lo, hi: rng.uniform(lo, hi, n)
    times = [u(30, 120), u(10, 60), u(30, 120), u(10, 60)]
    monitor = u(50, 500)                                                 # monitor counts per second
    x = dict(zip(FOUR, (rng.poisson(r * t) + 0.0 for r, t in zip(_reflection_rates(n, rng), times))))
    x.update(zip(("tPp", "tBp", "tPm", "tBm"), times))
    x.update(Mp=rng.poisson(monitor * (times[0] + times[2])) + 0.0, Mb=rng.poisson(monitor * (times[1] + times[3])) + 0.0)
    return dict(x, **_dead_time(n, rng))


def _rates(n, rng):
    """Four count rates known to 1–5 % (the optimal split is planned from rates) and the total time."""
    r = _reflection_rates(n, rng)
    sigmas = [ri * rng.uniform(0.01, 0.05, n) for ri in r]
    return dict(zip(FOUR, r), **dict(zip(SIGMAS, sigmas)), T=rng.uniform(600, 36000, n))


def _count_rate(n, rng):
    t = rng.uniform(1, 600, n)
    return dict(N=rng.poisson(np.exp(rng.uniform(np.log(1), np.log(5000), n)) * t) + 1.0, t=t,
                M=rng.poisson(rng.uniform(50, 500, n) * t) + 0.0, **_dead_time(n, rng))


def _peak(n, rng):
    """Two points on the flanks of a peak at x_c, asymmetry erf(k(x − x_c)) of 0.1–0.8 on either side."""
    xc, width, total = rng.uniform(5, 120, n), rng.uniform(0.05, 1.0, n), rng.uniform(2000, 20000, n)
    x = dict(sigmaX=rng.uniform(0.001, 0.01, n))
    for i, side in (("1", -1.0), ("2", 1.0)):
        a = side * rng.uniform(0.1, 0.8, n)
        x["x" + i] = xc + width * inverse_erf_polynomial(a)
        x["A" + i] = rng.poisson(total * (1 + a) / 2) + 0.0
        x["B" + i] = rng.poisson(total * (1 - a) / 2) + 0.0
        x["sigmaA" + i], x["sigmaB" + i] = np.sqrt(x["A" + i]), np.sqrt(x["B" + i])
    return x


def _cell(n, rng):
    hkl = rng.integers(-6, 7, (3, n)).astype(float)
    hkl[0, ~hkl.any(axis=0)] = 1.0                                          # no (000)
    u = lambda lo, hi: rng.uniform(lo, hi, n)
    return dict(h=hkl[0], k=hkl[1], l=hkl[2], a=u(3, 12), b=u(3, 12), c=u(3, 12),
                alpha=u(75, 105), beta=u(75, 105), gamma=u(75, 105))


def _he3(n, rng):
    """Cells of opacity 0.5–6 (transmission of the unpolarised cell 61 % down to 0.25 %): thinner
    ones hardly polarise; thicker ones pass too little beam to use, and their tanh(O·P_He) is 1 to
    the last bits, which leaves P_He undetermined."""
    rows = {}
    while len(rows.get("p", ())) < n:
        m = 2 * n
        c = dict(p=rng.uniform(0.5, 3, m), T=rng.uniform(280, 310, m), L=rng.uniform(5, 20, m),
                 lam=rng.uniform(0.8, 6, m))
        O = _opacity(**c)
        keep = (O >= 0.5) & (O <= 6)
        for k, v in c.items():
            rows[k] = np.concatenate([rows.get(k, np.empty(0)), v[keep]])
    x = {k: v[:n] for k, v in rows.items()}
    x["lambda"] = x.pop("lam")
    O = _opacity(x["p"], x["T"], x["L"], x["lambda"])
    u = lambda lo, hi: rng.uniform(lo, hi, n)
    x.update(PHe=u(0.5, 0.8), sigmaP=u(0.005, 0.05), sigmaT=u(0.1, 2), sigmaL=u(0.01, 0.1),
             sigmaLambda=x["lambda"] * u(0.002, 0.02), sigmaPHe=u(0.005, 0.02),
             Pr=np.where(rng.random(n) < 0.25, 0.0, u(0.9, 1.0)), sigmaPr=u(0.001, 0.01), sigmaPm=u(0.001, 0.01))
    x["Pm"] = np.where(x["Pr"] == 0, 1.0, x["Pr"]) * np.tanh(O * x["PHe"])
    # Transmission counts: direct beam n2, n4; polarised n1 = n2·T_u·cosh(O·P_He), unpolarised n3 = n4·T_u.
    x["n2"], x["n4"] = rng.poisson(u(1e5, 1e6)) + 0.0, rng.poisson(u(1e5, 1e6)) + 0.0
    x["n1"] = rng.poisson(x["n2"] * np.exp(-O) * np.cosh(O * x["PHe"])) + 0.0
    x["n3"] = rng.poisson(x["n4"] * np.exp(-O)) + 0.0
    return x


def _decay(n, rng):
    """A cell relaxing with T₁ of 40–400 h, seen up to 300 h on, as a decay fit describes it."""
    u = lambda lo, hi: rng.uniform(lo, hi, n)
    T1 = u(40, 400)
    return dict(PHe0=u(0.5, 0.85), T1=T1, t=u(0, 300), sigmaPHe0=u(0.001, 0.02), sigmaT1=T1 * u(0.005, 0.05),
                rho=u(-0.95, 0.95))


def _transmission_ratio(n, rng):
    """The cells of _he3 with the ratio of their transmissions polarised and unpolarised."""
    x = _he3(n, rng)
    x["Tratio"] = np.cosh(_opacity(x["p"], x["T"], x["L"], x["lambda"]) * x["PHe"])
    x["sigmaTratio"] = x["Tratio"] * rng.uniform(0.002, 0.02, n)
    return x


def _beam(n, rng):
    """Ratios and asymmetries measured with a beam of polarisation 0.5–1 and a flipper of 0.8–1."""
    u = lambda lo, hi: rng.uniform(lo, hi, n)
    P, f = u(0.5, 1.0), u(0.8, 1.0)
    up, down = np.exp(u(np.log(100), np.log(1e5))), np.exp(u(np.log(100), np.log(1e5)))
    flipped = (2 * f - 1) * P
    plus, minus = 0.5 * ((1 + P) * up + (1 - P) * down), 0.5 * ((1 - flipped) * up + (1 + flipped) * down)
    R, A = plus / minus, (plus - minus) / (plus + minus)
    return dict(R=R, A=A, P=P, f=f, sigmaR=R * u(0.005, 0.05), sigmaA=u(0.005, 0.05), sigmaP=u(0.001, 0.01),
                sigmaF=u(0.001, 0.01))


def _reflection(n, rng):
    """Centric reflections of γ = F_M/F_N up to ±0.5 seen with a beam of polarisation 0.5–1 either way
    along the field, a flipper of 0.8–1 and q² of 0.2–1, with the ratio and asymmetry they give."""
    u = lambda lo, hi: rng.uniform(lo, hi, n)
    gamma, P, f, q2 = u(-0.5, 0.5), u(0.5, 1.0) * rng.choice([-1.0, 1.0], n), u(0.8, 1.0), u(0.2, 1.0)
    plus, minus = _plus_minus(gamma, P, f, q2)
    R, A = plus / minus, (plus - minus) / (plus + minus)
    return dict(gamma=gamma, P=P, f=f, q2=q2, R=R, A=A, sigmaGamma=np.abs(gamma) * u(0.01, 0.1) + 1e-3,
                sigmaR=R * u(0.005, 0.05), sigmaA=u(0.005, 0.05), sigmaP=u(0.001, 0.01), sigmaF=u(0.001, 0.01))


def _reflections(n, rng):
    """sin(θ)/λ of reflections up to 0.95 of the reach of wavelengths of 0.8–6 Å."""
    u = lambda lo, hi: rng.uniform(lo, hi, n)
    lam = u(0.8, 6)
    s = u(0.02, 0.95) / lam
    return dict(s=s, sigmaS=s * u(1e-4, 1e-2), sigmaLambda=lam * u(1e-3, 1e-2), **{"lambda": lam})


def _polarisers(n, rng):
    """Neutron polarisations and transmissions of helium-3 cells."""
    u = lambda lo, hi: rng.uniform(lo, hi, n)
    return dict(Pn=u(0.3, 0.99), Tn=u(0.05, 0.5), sigmaPn=u(0.001, 0.02), sigmaTn=u(0.001, 0.02))


# First match wins.
_GROUPS = [("GammaFrom", _reflection), ("FlippingRatioFromGamma", _reflection), ("AsymmetryFromGamma", _reflection),
           ("LatticeSpacing", _reflections), ("TwoTheta", _reflections), ("He3FigureOfMerit", _polarisers),
           ("He3PolarisationAtTime", _decay), ("He3PolarisationFromTransmission", _transmission_ratio),
           ("FlippingRatioCorrected", _beam), ("AsymmetryCorrected", _beam),
           ("CountRate", _count_rate), ("FlippingRatioOpt", _four_measurements), ("AsymmetryOpt", _four_measurements),
           ("FlippingRatio", _intensities), ("Asymmetry", _intensities),
           ("OptCountingTime", _rates), ("PeakCentring", _peak), ("STL", _cell), ("He3", _he3)]


def inputs(name, n, rng):
    """n rows of ordinary arguments for `name`, float64 arrays in call order."""
    make = next(f for prefix, f in _GROUPS if name.startswith(prefix))
    x = make(n, rng)
    return [np.ascontiguousarray(x[a], dtype=np.float64) for a in arguments(name)]


# ---- Self-check ---------------------------------------------------------------------------------

def _best_of(f, repeats=3):
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        f()
        best = min(best, time.perf_counter() - start)
    return best


def check(rows, time_rows, limit=1e-8):
    import vantrel
    catalogue = {f.name: f for f in vantrel.functions}
    assert sorted(catalogue) == sorted(BY_HAND), "BY_HAND and the catalogue name different functions"
    rng = np.random.default_rng(20240607)
    failures = []
    print(f"{'function':24} {'max rel diff':>12} {'compared':>9}   {'by hand':>9} {'module':>9}  (ms, {time_rows:.0e} rows)")
    for name, f in catalogue.items():
        hand = BY_HAND[name]
        if hand is None:
            print(f"{name:24} no hand formula: {NO_HAND_FORMULA[name]}")
            continue
        if list(f.arguments) != arguments(name):
            failures.append(name)
            print(f"{name:24} arguments {arguments(name)} differ from the module's {list(f.arguments)}")
            continue
        args = inputs(name, rows, rng)
        with np.errstate(all="ignore"):
            got, expected = np.asarray(hand(*args), dtype=np.float64), f(*args)
            ok = np.isfinite(expected) & (expected != 0)
            diff = np.abs(got[ok] - expected[ok]) / np.abs(expected[ok])
        worst = float(np.max(diff, initial=0.0)) if np.all(np.isfinite(diff)) else float("inf")
        big = inputs(name, time_rows, rng)
        t_hand, t_module = _best_of(lambda: hand(*big)), _best_of(lambda: f(*big))
        flag = "" if worst <= limit and ok.sum() > 0.99 * rows else "  <-- FAILS"
        if flag:
            failures.append(name)
        print(f"{name:24} {worst:12.1e} {int(ok.sum()):9d}   {t_hand * 1e3:9.1f} {t_module * 1e3:9.1f}{flag}", flush=True)
    print(f"\n{len(catalogue) - len(failures)} of {len(catalogue)} within {limit:g}"
          + (f"; failing: {', '.join(failures)}" if failures else ""))
    return not failures


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--check", action="store_true", help="compare every hand formula with the module")
    parser.add_argument("--rows", type=int, default=10**5, help="rows compared per function")
    parser.add_argument("--time-rows", type=int, default=10**6, help="elements timed per function")
    options = parser.parse_args()
    if not options.check:
        parser.print_help()
        return 0
    return 0 if check(options.rows, options.time_rows) else 1


if __name__ == "__main__":
    sys.exit(main())
