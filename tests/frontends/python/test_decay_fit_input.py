"""he3_decay_fit takes its columns as the functions take their arguments: the same errors for
what is no real number, masked points left out, pandas' missing values refused by row, times as
date-times or durations; its result pickles and copies. Also what every callable of the module
shows to inspect, and the thread count it refuses."""

import copy
import datetime
import decimal
import inspect
import pickle
import re

import numpy as np
import pytest

import vantrel

pd = pytest.importorskip("pandas")

T = [0.0, 24.0, 48.0, 96.0, 120.0]
P = [0.801, 0.672, 0.569, 0.404, 0.339]  # 0.8·exp(−t/140) within the deviations
S = [0.01, 0.012, 0.01, 0.015, 0.01]


def fitted(fit):
    return (fit.PHe0, fit.T1, fit.sigmaPHe0, fit.sigmaT1, fit.rho, fit.reduced_chi_square, fit.n,
            fit.probability, fit.sigmaPHe0_points)


def same(a, b):
    """Identical numbers, NaN matching NaN."""
    return all(x == y or (x != x and y != y) for x, y in zip(fitted(a), fitted(b)))


def objects(*values):
    return np.array(values, dtype=object)


# (what t holds, the error, its words): the ufuncs' rule, row by row where the value is one of many.
@pytest.mark.parametrize("bad, error, words", [
    (["a", "b", "c", "d", "e"], TypeError, r"argument 't' has dtype <U1, not a real number type"),
    ([0, 24, 48, 96, 120j], TypeError, r"argument 't' has dtype complex128, not a real number"),
    (objects(0.0, 24.0, None, 96.0, 120.0), TypeError, r"argument 't', row 3, holds None \(NoneType\), not a real"),
    (objects(0.0, "24", 48.0, 96.0, 120.0), TypeError, r"argument 't', row 2, holds '24' \(str\), not a real"),
    (objects(0.0, 24.0, 48.0, 96.0, 1 + 2j), TypeError, r"row 5, holds \(1\+2j\) \(complex\), not a real"),
    (objects(0.0, 24.0, 10**400, 96.0, 120.0), OverflowError, r"row 3, holds 1000000.* \(401 digits\), which does not fit a double"),
    (objects(0.0, decimal.Decimal("1e400"), 48.0, 96.0, 120.0), OverflowError, r"row 2, holds 1E\+400 \(decimal.Decimal\), which does not fit"),
    (np.array([0, 24, 48, 96, "1e400"], dtype=np.longdouble), OverflowError, r"row 5, holds 1e\+400 \(numpy.float128\), which does not fit"),
    ([[0, 24], [48, 96]], ValueError, r"he3_decay_fit: t must be one-dimensional"),
    (0.0, ValueError, r"he3_decay_fit: t must be one-dimensional"),
], ids=["text", "complex array", "None", "text in objects", "complex", "huge int", "huge Decimal", "huge long double", "2-d", "scalar"])
def test_a_column_is_converted_as_the_functions_convert(bad, error, words):
    with pytest.raises(error, match=words):
        vantrel.he3_decay_fit(bad, P, S)


@pytest.mark.parametrize("bad", [["a", "b"], [None, 1.0], [1j, 2.0], [10**400, 1.0], [decimal.Decimal("1e400"), 1.0]],
                         ids=["text", "None", "complex", "huge int", "huge Decimal"])
def test_the_fit_and_the_ufuncs_refuse_a_value_alike(bad):
    """The same exception and the same words after the argument's name."""
    column = np.array(bad, dtype=object) if not isinstance(bad[0], str) else bad
    with pytest.raises(Exception) as by_function:
        vantrel.CountRate(column, 10.0)
    with pytest.raises(Exception) as by_fit:
        vantrel.he3_decay_fit(T[:2], P[:2], column)
    assert by_fit.type is by_function.type and by_fit.type in (TypeError, OverflowError)
    tail = lambda e: re.sub(r"^.*?argument '\w+'(, row \d+,)?", "", str(e.value))
    assert tail(by_fit) == tail(by_function)


@pytest.mark.parametrize("sigma", [0.01, np.float64(0.01), np.array(0.01), decimal.Decimal("0.01")])
def test_one_sigma_stands_for_every_point(sigma):
    assert same(vantrel.he3_decay_fit(T, P, sigma), vantrel.he3_decay_fit(T, P, [0.01] * len(T)))


@pytest.mark.parametrize("sigma, error", [("0.01", TypeError), (None, TypeError), (1e400j, TypeError)])
def test_one_sigma_is_refused_as_a_value_is(sigma, error):
    with pytest.raises(error, match="argument 'sigmaPHe'"):
        vantrel.he3_decay_fit(T, P, sigma)


# ---- Masked arrays --------------------------------------------------------------------------

@pytest.mark.parametrize("column, mask", [
    ("t", [0, 0, 1, 0, 0]),
    ("PHe", [1, 0, 0, 0, 0]),
    ("sigmaPHe", [0, 0, 0, 0, 1]),
    ("PHe", [0, 1, 0, 1, 0]),
])
def test_masked_points_are_left_out_and_not_counted(column, mask):
    columns = {"t": np.array(T), "PHe": np.array(P), "sigmaPHe": np.array(S)}
    kept = ~np.array(mask, dtype=bool)
    expected = vantrel.he3_decay_fit(*(c[kept] for c in columns.values()))
    # A masked point may hold anything, even what the fit would refuse.
    data = columns[column].copy()
    data[~kept] = -1.0
    columns[column] = np.ma.masked_array(data, mask=mask)
    fit = vantrel.he3_decay_fit(**columns)
    assert same(fit, expected) and fit.n == kept.sum()


def test_a_masked_object_array_skips_what_it_hides():
    t = np.ma.masked_array(objects(0.0, None, 48.0, 96.0, 120.0), mask=[0, 1, 0, 0, 0])
    fit = vantrel.he3_decay_fit(t, P, S)
    assert fit.n == 4


def test_a_row_named_after_masking_is_the_callers_row():
    PHe = np.ma.masked_array([0.8, 0.7, 0.6, -0.1, 0.4], mask=[0, 1, 0, 0, 0])
    with pytest.raises(ValueError, match=r"row 4: PHe is -0.1"):  # the caller's fourth point
        vantrel.he3_decay_fit(T, PHe, S)


def test_masking_all_but_one_point_leaves_too_few():
    PHe = np.ma.masked_array(P, mask=[0, 1, 1, 1, 1])
    with pytest.raises(ValueError, match="1 point"):
        vantrel.he3_decay_fit(T, PHe, S)


# ---- pandas ----------------------------------------------------------------------------------

@pytest.mark.parametrize("column, values, row", [
    ("PHe", pd.array([0.8, 0.68, None, 0.41, 0.35], dtype="Float64"), 3),
    ("PHe", pd.Series([0.8, np.nan, 0.57, 0.41, 0.35]), 2),
    ("sigmaPHe", pd.Series([0.01, 0.01, 0.01, 0.01, None], dtype="Float64"), 5),
    ("t", pd.Series(pd.to_datetime(["2026-12-01", None, "2026-12-03", "2026-12-05", "2026-12-06"])), 2),
    ("t", pd.Series([0, 24, pd.NA, 96, 120], dtype="Int64"), 3),
])
def test_a_pandas_column_with_a_missing_value_is_refused_by_row(column, values, row):
    columns = {"t": T, "PHe": P, "sigmaPHe": S, column: pd.Series(values)}
    with pytest.raises(ValueError, match=rf"he3_decay_fit: {column} has no value in row {row} "):
        vantrel.he3_decay_fit(**columns)


def test_pandas_columns_fit_as_arrays_do():
    frame = pd.DataFrame({"t": T, "PHe": P, "sigmaPHe": S}, index=[10, 11, 12, 13, 14])
    frame["PHe"] = frame["PHe"].astype("Float64")
    assert same(vantrel.he3_decay_fit(frame["t"], frame["PHe"], frame["sigmaPHe"]),
                vantrel.he3_decay_fit(T, P, S))


# ---- Times -----------------------------------------------------------------------------------

# Whole seconds, in no order: hours from the earliest are seconds / 3600, as the command-line
# tool divides them, so the fits agree to the bit.
SECONDS = [7200, 0, 90000, 180000, 365000]
HOURS = [s / 3600 for s in SECONDS]
P_AT = [0.8 * np.exp(-h / 140) * (1 + 0.004 * (-1) ** i) for i, h in enumerate(HOURS)]
START = datetime.datetime(2026, 12, 7, 6, 0, 0)
STAMPS = [START + datetime.timedelta(seconds=s) for s in SECONDS]
ZONE = datetime.timezone(datetime.timedelta(hours=1))


@pytest.mark.parametrize("t", [
    np.array([np.datetime64(s) for s in STAMPS], dtype="datetime64[s]"),
    np.array([np.datetime64(s) for s in STAMPS], dtype="datetime64[ns]"),
    STAMPS,
    [s.replace(tzinfo=ZONE) for s in STAMPS],
    [pd.Timestamp(s) for s in STAMPS],
    pd.Series(pd.to_datetime(STAMPS)),
    pd.Series(pd.to_datetime(STAMPS)).dt.tz_localize("UTC"),
    np.array(SECONDS, dtype="timedelta64[s]") + np.timedelta64(0, "h"),
    [datetime.timedelta(seconds=s) for s in SECONDS],
    np.ma.masked_array(np.array([np.datetime64(s) for s in STAMPS] + [np.datetime64("NaT")]),
                       mask=[0, 0, 0, 0, 0, 1]),
], ids=["datetime64[s]", "datetime64[ns]", "datetime", "datetime with zone", "Timestamp",
        "Series", "Series with zone", "timedelta64", "timedelta", "masked NaT"])
def test_times_are_taken_in_hours(t):
    n = len(SECONDS)
    PHe = P_AT + [0.5] * (len(t) - n)
    sigma = S + [0.01] * (len(t) - n)
    assert same(vantrel.he3_decay_fit(t, PHe, sigma), vantrel.he3_decay_fit(HOURS, P_AT, S))


@pytest.mark.parametrize("t, error, words", [
    ([STAMPS[0], STAMPS[1].replace(tzinfo=ZONE)] + STAMPS[2:], TypeError, "with and without a time zone"),
    (STAMPS[:4] + [5.0], TypeError, "with other values|row 5, holds 5.0 \\(float\\), not a date-time"),
    (np.array(["2026-12-01", "NaT", "2026-12-03", "2026-12-04", "2026-12-05"], dtype="datetime64[s]"),
     ValueError, r"t has no time \(NaT\) in row 2"),
])
def test_times_that_cannot_be_counted_are_refused(t, error, words):
    with pytest.raises(error, match=words):
        vantrel.he3_decay_fit(t, P, S)


@pytest.mark.parametrize("column", ["PHe", "sigmaPHe"])
def test_only_t_takes_dates(column):
    columns = {"t": T, "PHe": P, "sigmaPHe": S, column: np.array(STAMPS, dtype="datetime64[s]")}
    with pytest.raises(TypeError, match=rf"argument '{column}' has dtype datetime64\[s\]"):
        vantrel.he3_decay_fit(**columns)


# ---- The result ------------------------------------------------------------------------------

@pytest.mark.parametrize("duplicate", [
    lambda f: pickle.loads(pickle.dumps(f)),
    lambda f: pickle.loads(pickle.dumps(f, protocol=0)),
    copy.copy,
    copy.deepcopy,
], ids=["pickle", "pickle 0", "copy", "deepcopy"])
def test_the_fit_pickles_and_copies(duplicate):
    fit = vantrel.he3_decay_fit(T, P, S)
    twin = duplicate(fit)
    assert type(twin) is vantrel.He3DecayFit and same(twin, fit) and repr(twin) == repr(fit)
    assert np.array_equal(twin.at(np.array([0.0, 50.0]))[1], fit.at(np.array([0.0, 50.0]))[1])


# (common, what is refused and why): the common relative deviation is a number like any argument.
@pytest.mark.parametrize("common, error, words", [
    ("0.01", TypeError, r"argument 'common' holds '0.01' \(str\)"),
    (1j, TypeError, r"argument 'common' holds 1j \(complex\)"),
    (-0.01, ValueError, r"the common relative deviation is -0.01"),
    (float("nan"), ValueError, r"the common relative deviation is nan"),
], ids=["text", "complex", "negative", "NaN"])
def test_common_is_refused_as_a_value_is(common, error, words):
    with pytest.raises(error, match=words):
        vantrel.he3_decay_fit(T, P, S, common=common)


def test_common_moves_only_the_deviation_of_PHe0():
    alone, shared = vantrel.he3_decay_fit(T, P, S), vantrel.he3_decay_fit(T, P, S, common=0.02)
    assert fitted(alone)[:2] == fitted(shared)[:2] and shared.sigmaT1 == alone.sigmaT1
    assert shared.sigmaPHe0_points == alone.sigmaPHe0 == alone.sigmaPHe0_points
    assert shared.sigmaPHe0 == pytest.approx(np.hypot(alone.sigmaPHe0, 0.02 * alone.PHe0), rel=1e-15)
    assert 0 < shared.probability == alone.probability < 1
    with pytest.raises(TypeError):
        vantrel.he3_decay_fit(T, P, S, 0.02)  # keyword only: a fourth column would be mistaken for it


# ---- The module's callables ------------------------------------------------------------------

CALLABLES = ([(f.name, f) for f in vantrel.functions] +
             [("he3_decay_fit", vantrel.he3_decay_fit), ("set_num_threads", vantrel.set_num_threads),
              ("get_num_threads", vantrel.get_num_threads), ("He3DecayFit.at", vantrel.He3DecayFit.at)])


@pytest.mark.parametrize("name, function", CALLABLES, ids=[c[0] for c in CALLABLES])
def test_every_callable_shows_its_signature(name, function):
    parameters = list(inspect.signature(function).parameters)
    expected = {"he3_decay_fit": ["t", "PHe", "sigmaPHe", "common"], "set_num_threads": ["threads"],
                "get_num_threads": [], "He3DecayFit.at": ["self", "t"]}
    if name in expected:
        assert parameters == expected[name]
    else:
        assert parameters[:len(function.arguments)] == [a + "_" if a == "lambda" else a
                                                         for a in function.arguments]


def test_the_ufuncs_show_their_signature_where_numpy_lets_them():
    ufunc = vantrel.ufuncs.CountRate
    try:
        inspect.signature(np.add)
    except ValueError:
        pytest.skip("this numpy gives its ufuncs no signature, nor a place to put one")
    assert len(inspect.signature(ufunc).parameters) >= ufunc.nin


@pytest.mark.parametrize("threads, error", [
    (1025, ValueError), (10**30, ValueError), (-1, ValueError), (2.0, TypeError), ("4", TypeError),
])
def test_set_num_threads_refuses_what_it_would_not_use(threads, error):
    before = vantrel.get_num_threads()
    with pytest.raises(error):
        vantrel.set_num_threads(threads)
    assert vantrel.get_num_threads() == before


@pytest.mark.parametrize("threads", [1, 1024, np.int64(3)])
def test_set_num_threads_takes_what_it_uses(threads):
    before = vantrel.get_num_threads()
    try:
        vantrel.set_num_threads(threads)
        assert vantrel.get_num_threads() == threads
    finally:
        vantrel.set_num_threads(before)
