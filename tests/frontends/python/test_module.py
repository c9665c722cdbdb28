"""The module on its own: names, arguments, numbers and arrays, documented values."""

import inspect
import keyword
import math
import os
from decimal import Decimal
from fractions import Fraction

import numpy as np
import pytest

import vantrel
from conftest import documented_cases, same_bits, shared_inputs


# ---- Names ---------------------------------------------------------------------

def test_every_function_by_name_and_alias_in_catalogue_order():
    assert len(vantrel.functions) > 46  # the plug-in's, then the library's own
    aliases = set()
    for index, f in enumerate(vantrel.functions):
        assert f.index == index
        assert f.exported == (index < 46)
        assert getattr(vantrel, f.name) is f
        assert getattr(vantrel, f.alias) is f
        assert f.__name__ == f.name
        assert f.alias.isidentifier() and f.alias == f.alias.lower() and not keyword.iskeyword(f.alias)
        aliases.add(f.alias)
    assert len(aliases) == len(vantrel.functions)


@pytest.mark.parametrize("name, alias", [
    ("FlippingRatioOptSDev", "flipping_ratio_opt_sdev"),
    ("STLmonoclinicB", "stl_monoclinic_b"),
    ("He3Efficiency2SDev", "he3_efficiency2_sdev"),
    ("CountRateDDTSDev", "count_rate_ddt_sdev"),
    ("OptCountingTimeTpp", "opt_counting_time_tpp"),
])
def test_alias_rule(name, alias):
    assert getattr(vantrel, name).alias == alias


def test_signature_lists_the_catalogue_arguments():
    numpy = ", *, out=None, where=True, casting='same_kind', order='K', dtype=None, subok=True)"
    assert str(inspect.signature(vantrel.FlippingRatio)) == "(Npp, Nbp, Npm, Nbm" + numpy
    # A name Python reserves takes a trailing underscore.
    assert str(inspect.signature(vantrel.he3_transmission)) == "(p, T, L, lambda_, PHe" + numpy
    assert vantrel.He3Transmission.arguments == ("p", "T", "L", "lambda", "PHe")
    assert "He3Transmission(p, T, L, lambda, PHe)" in vantrel.He3Transmission.__doc__
    assert repr(vantrel.CountRate) == "<vantrel function CountRate(N, t)>"


# ---- Calls ---------------------------------------------------------------------

def test_positional_keyword_and_mixed_calls_agree():
    expected = vantrel.He3Transmission(1, 293, 10, 2, 0.7)
    assert vantrel.he3_transmission(p=1, T=293, L=10, lambda_=2, PHe=0.7) == expected
    assert vantrel.he3_transmission(1, 293, PHe=0.7, L=10, **{"lambda": 2}) == expected
    assert vantrel.FlippingRatio(Nbm=150, Npm=300, Nbp=200, Npp=1000) == 5.333333333333333


@pytest.mark.parametrize("call, message", [
    (lambda: vantrel.CountRate(1), "CountRate(N, t) is missing 't'"),
    (lambda: vantrel.CountRate(1, 2, 3), "CountRate(N, t) takes 2 arguments, got 3"),
    (lambda: vantrel.CountRate(1, N=2), "got argument 'N' twice"),
    (lambda: vantrel.CountRate(1, time=2), "has no argument 'time'"),
    (lambda: vantrel.count_rate(N=1000, tt=50), "has no argument 'tt'; did you mean 't'?"),
    (lambda: vantrel.count_rate(1000, 50, outt=None), "has no argument 'outt'; did you mean 'out'?"),
    (lambda: vantrel.he3_transmission(1, 293, 10, lamda=2, PHe=0.7), "did you mean 'lambda'?"),
    (lambda: vantrel.he3_polarisation_sdev(**dict.fromkeys(vantrel.he3_polarisation_sdev.arguments[:-2], 1),
                                           sigmaPm=1, sigmalambda=1), "did you mean 'sigmaLambda'?"),
    (lambda: vantrel.He3Transmission(1, 293, 10, 2, 0.7, lambda_=2), "got argument 'lambda' twice"),
    (lambda: vantrel.CountRate("1000", 50), "argument 'N' has dtype <U4, not a real number type"),
    (lambda: vantrel.CountRate(50, None), "argument 't' holds None (NoneType), not a real number"),
])
def test_bad_calls_raise_type_error_with_the_signature(call, message):
    with pytest.raises(TypeError, match=message.replace("(", r"\(").replace(")", r"\)")):
        call()


def test_numbers_in_float_out():
    for arguments in [(1000, 50), (1000.0, 50.0), (np.float64(1000), np.int64(50)), (np.array(1000.0), 50),
                      (True, 2)]:
        result = vantrel.CountRate(*arguments)
        assert type(result) is float, arguments
    assert vantrel.CountRate(1000, 50) == 20.0
    assert math.isnan(vantrel.CountRate(1, 0))


class Measured:
    """A user's own number type: all it offers is __float__."""
    def __init__(self, value):
        self.value = value

    def __float__(self):
        return float(self.value)

    def __repr__(self):
        return f"Measured({self.value!r})"


@pytest.mark.parametrize("N", [
    Decimal("1000"), Fraction(1000), np.longdouble(1000), Measured(1000), [Decimal(1000)], [Fraction(1000)],
    [np.longdouble(1000)], [Measured(1000)], np.array([1000], dtype=np.longdouble),
    np.array([1000, Decimal(1000), Fraction(1000), Measured(1000)], dtype=object),
], ids=repr)
def test_every_real_number_type_is_taken_as_float64(N):
    rates = np.atleast_1d(vantrel.count_rate(N, 50))
    assert rates.dtype == np.float64 and (rates == 20.0).all()
    # A true infinity is one, not a value beyond a double.
    infinities = [Decimal("Infinity"), [np.longdouble("inf")], Measured(math.inf)]
    assert [float(vantrel.count_rate(x, 1)) for x in infinities] == [math.inf] * 3


@pytest.mark.parametrize("N, shown", [
    (2**1024, "17976931348623159077… (309 digits)"),                   # a plain number
    (-10**5000, "-10000000000000000000… (5001 digits)"),                # beyond Python's own str()
    (Fraction(10**400, 3), "10000000000000000000…000000/3 (Fraction)"),
    (np.array([1.0, Decimal("1e400")], dtype=object), "1E+400 (decimal.Decimal)"),
    (np.longdouble("1e400"), "1e+400 (numpy.float128)"),
    ([Measured(10**400)], "Measured(10000000000…0000000) (Measured)"),
], ids=lambda x: type(x).__name__)
def test_a_value_beyond_a_double_is_refused_naming_the_argument(N, shown):
    with pytest.raises(OverflowError) as raised:
        vantrel.count_rate(N, 50)
    assert str(raised.value) == f"CountRate(N, t): argument 'N' holds {shown}, which does not fit a double"


@pytest.mark.parametrize("function, arguments", [
    (vantrel.count_rate_sdev, (-1.0, 1e-308)),   # invalid
    (vantrel.count_rate, (1e308, 1e-308)),       # overflow
    (vantrel.count_rate, (-1.0, 1e308)),         # underflow
    (vantrel.stl_cubic, (0.0, 1e308, 1.0, 1.0)),
])
def test_numbers_leave_no_floating_point_flags(function, arguments):
    with np.errstate(all="raise"):
        one_by_one = np.vectorize(function)(*([x] for x in arguments))
    assert same_bits(one_by_one, function.ufunc(*arguments)).all()


def test_broadcasting_follows_numpy():
    N = np.arange(12.0).reshape(3, 1, 4)
    t = np.array([[1.0], [2.0], [4.0]])
    result = vantrel.CountRate(N, t)
    assert result.shape == np.broadcast(N, t).shape == (3, 3, 4)
    assert result.dtype == np.float64 and result.flags.c_contiguous
    np.testing.assert_array_equal(result, N / t)

    assert vantrel.CountRate([1000, 2000], 50).tolist() == [20.0, 40.0]
    assert vantrel.CountRate(np.arange(3, dtype=np.int32), 2).tolist() == [0.0, 0.5, 1.0]
    assert vantrel.CountRate(np.empty((0, 3)), 1.0).shape == (0, 3)
    with pytest.raises(ValueError, match="could not be broadcast together with shapes"):
        vantrel.CountRate(np.ones(3), np.ones(4))


def test_any_memory_layout():
    rng = np.random.default_rng(3)
    block = rng.uniform(1, 100, (6, 8, 5))
    views = [block[::2, 1::3], block.transpose(2, 0, 1)[:, :3], np.asfortranarray(block[:3, :2]),
             block[..., ::-1][:, :1]]
    for a in views:
        b = np.ascontiguousarray(a)
        assert np.array_equal(vantrel.STLorthorhombic(1, 2, 3, a, 5.0, b), vantrel.STLorthorhombic(1, 2, 3, b, 5.0, b))


def test_arrays_give_the_bits_of_single_calls(function):
    """Each element is exactly what a call with those numbers gives, on both paths."""
    inputs = shared_inputs(function)
    columns = [inputs[:, k] for k in range(inputs.shape[1])]
    together = function(*columns)
    one_by_one = [function(*map(float, row)) for row in inputs]
    assert same_bits(together, one_by_one).all()


def test_threads_do_not_change_a_bit():
    """Large arrays are split among threads at arbitrary points of the broadcast shape."""
    rng = np.random.default_rng(5)
    shape = (3, 70001)
    args = [rng.uniform(500, 2000, shape), rng.uniform(50, 300, 70001), rng.uniform(200, 400, (3, 1)), 150.0,
            *(rng.uniform(1, 40, shape) for _ in range(4))]
    previous = vantrel.get_num_threads()
    try:
        vantrel.set_num_threads(1)
        single = vantrel.AsymmetrySDev(*args)
        vantrel.set_num_threads(3)
        several = vantrel.AsymmetrySDev(*args)
    finally:
        vantrel.set_num_threads(previous)
    assert same_bits(single, several).all()


@pytest.mark.parametrize("threads, in_effect", [
    (0, os.cpu_count()),  # one per processor, as BatchOptions{.threads = 0}
    (3, 3),
    (1024, 1024),
    (1025, "set_num_threads takes at most 1024 threads, not 1025"),  # never clamped unsaid
    (10**30, "takes at most 1024 threads, not 1000000000000000000000000000000"),
    (-1, "set_num_threads takes a number of threads, or 0 for one per processor, not -1"),
    (-10**30, "not -1000000000000000000000000000000"),
])
def test_thread_counts(threads, in_effect):
    previous = vantrel.get_num_threads()
    try:
        if isinstance(in_effect, str):
            with pytest.raises(ValueError, match=in_effect):
                vantrel.set_num_threads(threads)
        else:
            vantrel.set_num_threads(threads)
            assert vantrel.get_num_threads() == in_effect
    finally:
        vantrel.set_num_threads(previous)


# ---- Documented values ---------------------------------------------------------

# A representative few, as the function reference quotes them.
@pytest.mark.parametrize("name, arguments, expected", [
    ("CountRate", (1000, 50), 20.0),
    ("CountRate", (5, -0.0), math.nan),
    ("FlippingRatio", (1000, 200, 300, 150), 5.333333333333333),
    ("FlippingRatioSDev", (1000, 200, 300, 150, 30, 15, 20, 10), 0.8258927081843614),
    ("FlippingRatioOpt", (1000, 200, 300, 150, 0, 30, 50, 40, 5000, 2500), -math.inf),
    ("AsymmetryOpt", (100, 200, 50, 150, 60, 30, 50, 40, 5000, 2500), 0.2875536480686695),
    ("AsymmetryOptSDev", (100, 200, 50, 150, 60, 30, 50, 40, 5000, 2500), 0.06553383303730394),
    ("OptCountingTimeTbmSDev", (100, 10, 50, 10, 3600, 1, 0.5, 0.8, 0), 8.793085082683067),
    ("STLcubic", (1, 1, 1, 0), math.nan),
    ("He3Polarisation", (1, 293, 10, 2, 1.2, 0.5), math.nan),
])
def test_documented_values(name, arguments, expected):
    got = getattr(vantrel, name)(*arguments)
    assert same_bits(got, expected), f"{name}{arguments} = {got!r}, expected {expected!r}"


def test_every_documented_value_of_the_cpp_tests_to_the_bit():
    cases = documented_cases()
    assert len({name for name, _, _ in cases}) == len(vantrel.functions)
    wrong = [(name, arguments, getattr(vantrel, name)(*arguments), expected)
             for name, arguments, expected in cases
             if not same_bits(getattr(vantrel, name)(*arguments), expected)]
    assert not wrong

