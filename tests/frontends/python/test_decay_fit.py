"""he3_decay_fit against scipy's curve_fit with absolute sigma, on noisy and awkward data; the
errors that name a row; and the command-line tool's he3-decay-fit on the same points."""

import math
import subprocess
import warnings

import numpy as np
import pytest

import vantrel
from conftest import CLI, need

optimize = pytest.importorskip("scipy.optimize")


def synthetic(seed, P0=0.78, T1=140.0, n=25, hours=168.0, noise=(0.005, 0.02)):
    rng = np.random.default_rng(seed)
    t = np.sort(rng.uniform(0, hours, n))
    sigma = rng.uniform(*noise, n)
    return t, P0 * np.exp(-t / T1) + rng.normal(0, sigma), sigma


def peer(t, PHe, sigma):
    """scipy's fit of the same model: (PHe0, T1), their deviations and correlation."""
    popt, pcov = optimize.curve_fit(lambda t, a, T1: a * np.exp(-t / T1), t, PHe, p0=[PHe[0], 100.0],
                                    sigma=sigma, absolute_sigma=True, xtol=1e-14, ftol=1e-14,
                                    maxfev=100000)
    deviations = np.sqrt(np.diag(pcov))
    return popt, deviations, pcov[0, 1] / (deviations[0] * deviations[1])


def assert_agrees(fit, t, PHe, sigma):
    (P0, T1), (s0, sT), rho = peer(t, PHe, sigma)
    assert fit.PHe0 == pytest.approx(P0, rel=1e-7) and fit.T1 == pytest.approx(T1, rel=1e-7)
    assert fit.sigmaPHe0 == pytest.approx(s0, rel=1e-5) and fit.sigmaT1 == pytest.approx(sT, rel=1e-5)
    assert fit.rho == pytest.approx(rho, rel=1e-5, abs=1e-7)
    chi2 = np.sum(((PHe - P0 * np.exp(-t / T1)) / sigma) ** 2)
    assert fit.reduced_chi_square == pytest.approx(chi2 / (len(t) - 2), rel=1e-6)
    assert fit.n == len(t)


def rise_in_the_middle():
    t, PHe, sigma = synthetic(7)
    PHe[t > 80] *= 1.25  # the cell re-polarised half way
    return t, PHe, sigma


def one_outlier():
    t, PHe, sigma = synthetic(8)
    PHe[10] *= 0.7
    return t, PHe, sigma


def shuffled():
    t, PHe, sigma = synthetic(9)
    order = np.random.default_rng(1).permutation(len(t))
    return t[order], PHe[order], sigma[order]


@pytest.mark.parametrize("data, poor", [
    (synthetic(1), False),
    (synthetic(2, P0=0.6, T1=300, n=8, hours=72), False),
    (synthetic(3, P0=0.8, T1=60, n=60, hours=120, noise=(0.01, 0.03)), False),  # near the noise
    (synthetic(4, n=3), False),
    (shuffled(), False),
    (rise_in_the_middle(), True),
    (one_outlier(), True),
], ids=["week", "short", "noisy", "three points", "any order", "re-polarised", "outlier"])
def test_agrees_with_scipy_and_says_a_poor_fit(data, poor):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        fit = vantrel.he3_decay_fit(*data)
    assert_agrees(fit, *data)
    said = [str(w.message) for w in caught if issubclass(w.category, RuntimeWarning)]
    assert bool(said) == poor, said
    if poor:
        assert "reduced chi-square" in said[0]


def test_two_points_fit_exactly_and_evaluate_through_the_catalogue():
    fit = vantrel.he3_decay_fit([0, 48], [0.8, 0.6], [0.01, 0.01])
    assert fit.PHe0 == pytest.approx(0.8, rel=1e-12)
    assert fit.T1 == pytest.approx(48 / math.log(0.8 / 0.6), rel=1e-12)
    assert math.isnan(fit.reduced_chi_square)
    times = np.array([0.0, 24.0, 100.0])
    P, sigma = fit.at(times)
    assert np.array_equal(P, vantrel.He3PolarisationAtTime(fit.PHe0, fit.T1, times))
    assert np.array_equal(sigma, vantrel.He3PolarisationAtTimeSDev(
        fit.PHe0, fit.T1, times, fit.sigmaPHe0, fit.sigmaT1, fit.rho))
    assert fit.at(0.0)[1] == pytest.approx(0.01, rel=1e-9)


@pytest.mark.parametrize("t, PHe, sigma, message", [
    ([1.0], [0.7], [0.01], "1 point; a decay fit needs at least two"),
    ([], [], [], "0 points"),
    ([5, 5, 5], [0.7, 0.69, 0.71], [0.01] * 3, "all 3 points are at the same time"),
    ([0, 1, 2], [0.7, 0.69, 0.68], [0.01, 0.0, 0.01], "row 2: sigmaPHe is 0"),
    ([0, 1, 2], [0.7, 0.69, 0.68], [0.01, 0.01, -0.01], "row 3: sigmaPHe is -0.01"),
    ([0, 1, 2], [0.7, -0.1, 0.68], [0.01] * 3, "row 2: PHe is -0.1"),
    ([0, 1, 2], [0.7, -2.2250738585072014e-308, 0.68], [0.01] * 3,  # the longest number, the whole reason
     "row 2: PHe is -2.2250738585072014e-308; a decay fit needs polarisations above 0$"),
    ([0, math.nan, 2], [0.7, 0.69, 0.68], [0.01] * 3, "row 2: t is NaN"),
    ([0, 1, 2], [0.7, 0.69, math.inf], [0.01] * 3, "row 3: PHe is infinite"),
    ([0, 1, 2], [0.7, 0.69], [0.01] * 3, "have 3, 2 and 3 values"),
    ([0, 10, 20], [0.6, 0.7, 0.8], [0.01] * 3, "do not decay"),
    ([[0, 1]], [[0.7, 0.6]], [[0.01, 0.01]], "t must be one-dimensional"),
])
def test_errors_name_the_row(t, PHe, sigma, message):
    with pytest.raises(ValueError, match="he3_decay_fit: .*" + message.replace("(", r"\(")):
        vantrel.he3_decay_fit(t, PHe, sigma)


def run_cli(text, *args):
    need(CLI, "the command-line tool")
    return subprocess.run([CLI, "he3-decay-fit", "--csv", "-", *args], input=text,
                          capture_output=True, text=True)


def test_the_command_line_gives_the_same_fit_from_numbers_and_from_date_times():
    t, PHe, sigma = synthetic(5, n=10)
    fit = vantrel.he3_decay_fit(t, PHe, sigma)
    numbers = "t,PHe,sigmaPHe\n" + "".join(f"{a!r},{b!r},{c!r}\n" for a, b, c in zip(t, PHe, sigma))
    start = np.datetime64("2026-12-07T06:00:00")
    stamps = [str(start + np.timedelta64(int(round(h * 3600e6)), "us")) for h in t]
    dated = "sigmaPHe,PHe,t\n" + "".join(f"{c!r},{b!r},{s}+01:00\n" for s, b, c in zip(stamps, PHe, sigma))
    for text, rel in ((numbers, 1e-15), (dated, 1e-9)):
        run = run_cli(text)
        assert run.returncode == 0, run.stderr
        header, row = run.stdout.splitlines()
        assert header == "PHe0,T1,sigmaPHe0,sigmaT1,rho,reduced_chi_square,n"
        values = row.split(",")
        # Dates are in hours from the earliest row, which here is t[0], not 0.
        shift = math.exp(t[0] / fit.T1) if text is dated else 1.0
        assert float(values[0]) * shift == pytest.approx(fit.PHe0, rel=rel)
        assert float(values[1]) == pytest.approx(fit.T1, rel=rel)
        assert int(values[6]) == 10


@pytest.mark.parametrize("text, message", [
    ("t,PHe,sigmaPHe\n0,0.7,0.01\n1,0.69,0\n", "row 2 (line 3): sigmaPHe is 0"),
    ("t,PHe,sigmaPHe\n0,0.7,0.01\n", "1 point"),
    ("t,PHe\n0,0.7\n", "lacks the column sigmaPHe"),
    ("t,PHe,sigmaPHe\n2026-12-09T10:00,0.7,0.01\n12,0.6,0.01\n", "row 2 (line 3), column 1 (t): '12' is not an ISO 8601"),
    ("t,PHe,sigmaPHe\n2026-12-09T10:00Z,0.7,0.01\n2026-12-09T12:00,0.6,0.01\n", "names no time zone"),
    ("t,PHe,sigmaPHe\n2026-02-30,0.7,0.01\n", "neither a number nor an ISO 8601"),
    ("t,PHe,sigmaPHe\n0,0.7,0.01\nx,0.6,0.01\n", "row 2 (line 3), column 1 (t): 'x' is not a number"),
])
def test_the_command_line_stops_on_a_bad_row_naming_its_line(text, message):
    run = run_cli(text)
    assert run.returncode == 1 and run.stdout == ""
    assert message in run.stderr


def test_the_command_line_says_a_poor_fit():
    t, PHe, sigma = rise_in_the_middle()
    run = run_cli("t,PHe,sigmaPHe\n" + "".join(f"{a!r},{b!r},{c!r}\n" for a, b, c in zip(t, PHe, sigma)))
    assert run.returncode == 0 and "note: reduced chi-square" in run.stderr


def exact(t, PHe, sigma, P0, T1, digits=50):
    """The weighted least-squares optimum and its covariance to `digits` digits (mpmath): Newton's
    method on the normal equations about the mean time, carried to (PHe0, T1) exactly."""
    mp = pytest.importorskip("mpmath").mp
    mp.dps = digits
    t, y, s = ([mp.mpf(float(v)) for v in column] for column in (t, PHe, sigma))
    tc = sum(t) / len(t)
    A, k = mp.mpf(float(P0)) * mp.exp(-tc / float(T1)), 1 / mp.mpf(float(T1))
    for _ in range(100):
        JTJ, g = mp.matrix(2, 2), mp.matrix(2, 1)
        for ti, yi, si in zip(t, y, s):
            e = mp.exp(-k * (ti - tc))
            J = (e / si, -A * (ti - tc) * e / si)
            r = (yi - A * e) / si
            for a in range(2):
                g[a] += J[a] * r
                for b in range(2):
                    JTJ[a, b] += J[a] * J[b]
        d = mp.lu_solve(JTJ, g)
        A, k = A + d[0], k + d[1]
        if abs(d[1] / k) < mp.mpf(10) ** (10 - digits):
            break
    E = mp.exp(k * tc)
    G = mp.matrix([[E, A * tc * E], [0, -1 / k ** 2]])
    C = G * JTJ ** -1 * G.T
    return [float(v) for v in (A * E, 1 / k, mp.sqrt(C[0, 0]), mp.sqrt(C[1, 1]),
                               C[0, 1] / mp.sqrt(C[0, 0] * C[1, 1]))]


def far_from_zero(seed, first_in_T1):
    """Six points spanning 0.005 T1, the first `first_in_T1` T1 after t = 0."""
    rng = np.random.default_rng(seed)
    T1 = rng.uniform(50, 200)
    t = first_in_T1 * T1 + np.arange(6) * 0.001 * T1
    truth = 0.7 * np.exp(-(t - t[0]) / T1)
    sigma = 1e-4 * truth
    return t, truth + rng.normal(0, sigma), sigma


@pytest.mark.parametrize("data", [synthetic(1), synthetic(2, P0=0.6, T1=300, n=8, hours=72),
                                  synthetic(4, n=3), far_from_zero(1, 50), far_from_zero(2, 300),
                                  far_from_zero(3, 600)],
                         ids=["week", "short", "three points", "50 T1", "300 T1", "600 T1"])
def test_agrees_with_a_high_precision_solution(data):
    """Where scipy's optimum or covariance parts from the exact one (points far from t = 0), the
    fit keeps to it: T1 to 1e-12, PHe0 to 1e-13 times the lever t/T1 of its extrapolation (an
    error δ in 1/T1 moves PHe0 by t·δ), deviations to 1e-10, the correlation (all but ±1 there)
    to 1e-12 absolute."""
    fit = vantrel.he3_decay_fit(*data)
    P0, T1, s0, sT, rho = exact(*data, fit.PHe0, fit.T1)
    lever = 1 + min(data[0]) / T1
    assert fit.PHe0 == pytest.approx(P0, rel=1e-13 * lever) and fit.T1 == pytest.approx(T1, rel=1e-12)
    assert fit.sigmaPHe0 == pytest.approx(s0, rel=1e-10)
    assert fit.sigmaT1 == pytest.approx(sT, rel=1e-10)
    assert fit.rho == pytest.approx(rho, abs=1e-12) and abs(fit.rho) <= 1


@pytest.mark.parametrize("scale", [1e-170, 1e-100, 1e-3, 1e3, 1e100, 1e170])
def test_a_common_scale_of_the_deviations_gives_the_same_fit(scale):
    t, PHe = [0.0, 24.0, 48.0], [0.70, 0.68, 0.66]
    reference = vantrel.he3_decay_fit(t, PHe, [0.005] * 3)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # a tiny σ makes any scatter too large
        fit = vantrel.he3_decay_fit(t, PHe, [0.005 * scale] * 3)
    assert fit.PHe0 == pytest.approx(reference.PHe0, rel=1e-13)
    assert fit.T1 == pytest.approx(reference.T1, rel=1e-12)
    assert fit.sigmaPHe0 / scale == pytest.approx(reference.sigmaPHe0, rel=1e-12)
    assert fit.sigmaT1 / scale == pytest.approx(reference.sigmaT1, rel=1e-12)
    assert fit.rho == pytest.approx(reference.rho, abs=1e-12)
