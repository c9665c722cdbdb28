"""Every function is a genuine numpy ufunc, and behaves as one wherever numpy,
dask and xarray users combine ufuncs with their data."""

import copy
import pickle
import re
import threading
from decimal import Decimal
from concurrent.futures import ProcessPoolExecutor

import numpy as np
import pytest

import vantrel
from conftest import same_bits, shared_inputs


def test_each_function_has_its_ufunc(function):
    u = function.ufunc
    k = len(function.arguments)
    assert isinstance(u, np.ufunc) and (u.nin, u.nout) == (k, 1) and u.types == ["d" * k + "->d", "O" * k + "->d"]
    assert getattr(vantrel.ufuncs, function.name) is u and getattr(vantrel.ufuncs, function.alias) is u
    assert u.__name__ == function.name
    columns = list(shared_inputs(function, plausible=20, wide=20).T)
    assert same_bits(u(*columns), function(*columns)).all()


BINARY = [f for f in vantrel.functions if len(f.arguments) == 2]


def left_fold(function, values, start=None):
    """Every partial result of a Python loop over the function: numpy's meaning of reduce."""
    values = list(map(float, values))
    acc = values.pop(0) if start is None else start
    partial = [acc] if start is None else []
    for x in values:
        acc = function(acc, x)
        partial.append(acc)
    return partial


@pytest.mark.parametrize("function", BINARY, ids=lambda f: f.name)
@pytest.mark.parametrize("n", [6, 17, 70_000])  # 70,000: enough elements for several threads
def test_reductions_are_the_left_fold_bit_for_bit(function, n):
    u = function.ufunc
    xs = np.random.default_rng(n).uniform(1, 5000, n)
    partial = left_fold(function, xs)
    assert same_bits(u.reduce(xs), partial[-1])
    assert same_bits(u.accumulate(xs), partial).all()
    assert same_bits(u.reduce(xs, initial=7.0), left_fold(function, xs, start=7.0)[-1])
    cuts = [0, 2, 2, n // 2]  # numpy: a cut not before the next gives the element itself
    expected = [left_fold(function, xs[0:2])[-1], xs[2], left_fold(function, xs[2:n // 2])[-1],
                left_fold(function, xs[n // 2:])[-1]]
    assert same_bits(u.reduceat(xs, cuts), expected).all()
    table = xs[: n - n % 3].reshape(-1, 3)
    assert same_bits(u.reduce(table, axis=1), [left_fold(function, row)[-1] for row in table]).all()
    assert same_bits(u.reduce(table, axis=0), [left_fold(function, col)[-1] for col in table.T]).all()


def test_count_rate_reduces_as_numpy_divides():
    assert vantrel.ufuncs.CountRate.reduce(np.array([1000.0, 50.0, 2.0])) == np.divide.reduce([1000, 50, 2]) == 10.0


def test_numpy_keywords_pass_through():
    N, t = np.array([[1000.0, 2000.0], [3000.0, 4000.0]]), np.array([50.0, 0.0])
    out = np.full((2, 2), -1.0)
    assert vantrel.CountRate(N, t, out=out) is out
    np.testing.assert_array_equal(out, [[20, np.nan], [60, np.nan]])

    out = np.full((2, 2), -1.0)
    vantrel.count_rate(N=N, t=t, out=out, where=[True, False])
    np.testing.assert_array_equal(out, [[20, -1], [60, -1]])

    assert vantrel.CountRate(N, t, order="F").flags.f_contiguous
    assert vantrel.CountRate(np.float32(1000), np.float32(50), dtype=np.float64) == 20.0
    with pytest.raises(TypeError):  # float64 does not fit into int64 'same_kind'
        vantrel.CountRate(N, 50.0, out=np.zeros((2, 2), dtype=np.int64))
    assert vantrel.CountRate(N, 50.0, out=np.zeros((2, 2), dtype=np.int64), casting="unsafe")[0, 0] == 20


def test_masked_arrays_keep_their_masks():
    result = vantrel.count_rate(np.ma.masked_array([1000.0, 2000.0], mask=[0, 1]), 50)
    assert isinstance(result, np.ma.MaskedArray)
    assert result.mask.tolist() == [False, True] and result[0] == 20.0


def test_no_floating_point_warnings_for_degenerate_inputs():
    with np.errstate(all="raise"):
        result = vantrel.CountRate([1000.0, 5.0, np.inf], [50.0, 0.0, np.inf])
    assert np.isnan(result[1:]).all()


def test_pickled_and_copied_by_reference():
    for f in (vantrel.CountRate, vantrel.count_rate, vantrel.He3Efficiency2SDev):
        assert pickle.loads(pickle.dumps(f)) is f
        assert copy.copy(f) is f and copy.deepcopy(f) is f
        assert pickle.loads(pickle.dumps(f.ufunc)) is f.ufunc
    with ProcessPoolExecutor(2) as pool:
        assert list(pool.map(vantrel.count_rate, [1000, 2000], [50, 50])) == [20.0, 40.0]
        assert list(pool.map(vantrel.ufuncs.count_rate, [1000.0], [50.0])) == [20.0]


def test_dask_stays_lazy_and_gives_the_same_bits():
    da = pytest.importorskip("dask.array")
    rng = np.random.default_rng(11)
    arrays = [rng.uniform(1, 1000, 20_000) for _ in range(4)]
    lazy = vantrel.flipping_ratio_sdev(*(da.from_array(a, chunks=3000) for a in arrays), 3.0, 2.0, 1.0, 1.0)
    assert isinstance(lazy, da.Array)
    assert same_bits(lazy.compute(), vantrel.flipping_ratio_sdev(*arrays, 3.0, 2.0, 1.0, 1.0)).all()


def test_dask_distributed_workers_give_the_same_bits():
    distributed = pytest.importorskip("dask.distributed")
    da = pytest.importorskip("dask.array")
    N = np.random.default_rng(12).uniform(0, 1e4, 50_000)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, distributed.Client(cluster):
        got = vantrel.count_rate_ddt(da.from_array(N, chunks=10_000), 10.0, 1e-5, 1e-9).compute()
    assert same_bits(got, vantrel.count_rate_ddt(N, 10.0, 1e-5, 1e-9)).all()


def test_xarray_keeps_coordinates():
    xr = pytest.importorskip("xarray")
    counts = xr.DataArray([[1000.0, 2000.0], [3000.0, 4000.0]], dims=("h", "run"),
                          coords={"h": [1, 2], "run": ["a", "b"]})
    times = xr.DataArray([50.0, 100.0], dims="run", coords={"run": ["a", "b"]})
    rate = vantrel.count_rate(N=counts, t=times)
    assert isinstance(rate, xr.DataArray) and rate.dims == ("h", "run")
    assert rate.coords["h"].values.tolist() == [1, 2] and rate.sel(h=2, run="b").item() == 40.0


@pytest.mark.parametrize("value, error, message", [
    (np.array([1.0, None], dtype=object), TypeError, "argument 'N' holds None (NoneType), not a real number"),
    (np.array(["1.5"], dtype=object), TypeError, "argument 'N' holds '1.5' (str), not a real number"),
    (["1.5", "2"], TypeError, "argument 'N' has dtype <U3, not a real number type"),
    (np.array([1j]), TypeError, "argument 'N' has dtype complex128, not a real number type"),
    ([2**1100], OverflowError, "argument 'N' holds 13582985290493858492… (332 digits), which does not fit a double"),
])
def test_refuses_what_is_not_a_real_number_naming_the_argument(value, error, message):
    with pytest.raises(error) as raised:
        vantrel.count_rate(value, 50)
    assert str(raised.value) == "CountRate(N, t): " + message
    with pytest.raises(error):  # the raw ufunc refuses them too
        vantrel.ufuncs.CountRate(np.asarray(value), 50.0)
    # Object arrays of real numbers, as pandas keeps them, are taken.
    assert vantrel.count_rate(np.array([1000, 2000.0], dtype=object), 50).tolist() == [20.0, 40.0]


@pytest.mark.parametrize("bad, message", [
    ("abc", "has dtype <U3, not a real number type"),
    (1j, "has dtype complex128, not a real number type"),
    (np.array(["2020-01-01"], dtype="datetime64[ns]"), "has dtype datetime64[ns], not a real number type"),
])
def test_a_bad_argument_beside_a_dask_array_computes_nothing(bad, message):
    da = pytest.importorskip("dask.array")
    computed = []
    counts = da.from_array(np.ones(4), chunks=2).map_blocks(lambda b: computed.append(b.size) or b, dtype=float)
    with pytest.raises(TypeError, match=re.escape("CountRate(N, t): argument 't' " + message)):
        vantrel.count_rate(counts, bad)
    assert 2 not in computed  # no chunk (the graph may try its function on an empty block)


def test_pandas_object_columns_and_mixed_rows_are_taken_as_float64():
    pd = pytest.importorskip("pandas")
    rates = vantrel.count_rate(pd.Series([1000, Decimal(2000)], dtype=object), 50)
    assert isinstance(rates, pd.Series) and rates.dtype == np.float64 and rates.tolist() == [20.0, 40.0]
    table = pd.DataFrame({"sample": ["Fe", "Ni"], "N": [1000, 2000], "t": [50.0, 25.0]})
    row = table.loc[1, ["N", "t"]]  # a row of a mixed table holds objects
    assert row.dtype == object and vantrel.count_rate(*row) == 80.0
    assert vantrel.count_rate(row, 2).tolist() == [1000.0, 12.5]
    with pytest.raises(OverflowError, match="argument 'N' holds 1E"):
        vantrel.count_rate(pd.Series([Decimal("1e400")]), 1)


def test_thread_count_changes_during_a_computation_change_no_bit():
    rng = np.random.default_rng(13)
    N, t = rng.uniform(0, 1e4, 500_000), rng.uniform(1, 100, 500_000)
    expected = vantrel.CountRateSDev(N, t)
    previous = vantrel.get_num_threads()
    done = threading.Event()

    def toggle():
        while not done.is_set():
            for threads in (1, 2, 3):
                vantrel.set_num_threads(threads)

    toggler = threading.Thread(target=toggle)
    toggler.start()
    try:
        assert all(same_bits(vantrel.CountRateSDev(N, t), expected).all() for _ in range(10))
    finally:
        done.set()
        toggler.join()
        vantrel.set_num_threads(previous)
