"""The Series surface: reductions, transforms, operators, indexing, conversions."""

import functools
import math
import operator

import numpy as np
import pytest

import kadmo_rs as kd
import kadmo_test_helpers as helpers

nan = float("nan")
INDEX_MISMATCH = (
    "operands have different indexes; kadmo aligns by position, not by label \u2014 "
    "reindex or slice them to a common index first"
)


def ser(values, name="x"):
    return kd.DataFrame({name: values}).get_column(name)


# -0.0 differs from 0.0 here.
same = functools.partial(helpers.same, signed_zeros=True)


def csv_frame(tmp_path, text, **kw):
    if not hasattr(kd, "read_csv"):
        pytest.skip("read_csv is not part of the module yet")
    path = tmp_path / "f.csv"
    path.write_text(text)
    return kd.read_csv(str(path), **kw)


# ---- reductions ---------------------------------------------------------------------------

rng = np.random.default_rng(11)
NOISY = rng.normal(10, 3, 41)
NOISY[[0, 7, 8, 40]] = nan

REDUCTION_DATA = [
    [1.0, 2.0, 3.0, 4.0],
    [1.0, nan, 3.0, 2.0],
    [7.5, nan, -2.25, 0.0, 1e10],
    list(NOISY),
]


@pytest.mark.parametrize("values", REDUCTION_DATA)
def test_reductions_agree_with_numpy_nan_functions(values):
    s = ser(values)
    a = np.array(values)
    kept = [v for v in values if not math.isnan(v)]
    # The sum is defined left to right from -0.0; a plain fold is that rule.
    assert s.sum() == functools.reduce(operator.add, kept, -0.0)
    assert s.sum() == pytest.approx(np.nansum(a), rel=1e-14)
    assert s.mean() == pytest.approx(np.nanmean(a), rel=1e-14)
    assert s.min() == np.nanmin(a)
    assert s.max() == np.nanmax(a)
    assert s.var() == pytest.approx(np.nanvar(a, ddof=1), rel=1e-12)
    assert s.std() == pytest.approx(np.nanstd(a, ddof=1), rel=1e-12)
    assert s.median() == np.nanmedian(a)
    for q in (0.0, 0.1, 0.25, 0.5, 0.9, 1.0):
        # NumPy's linear method interpolates from the upper end for weights
        # above one half, so the last bit may differ from v[lo] + w·(v[hi] − v[lo]).
        assert s.quantile(q) == pytest.approx(np.nanquantile(a, q, method="linear"), rel=1e-14)
    for r in (s.sum(), s.mean(), s.min(), s.max(), s.var(), s.std(), s.median(), s.quantile()):
        assert type(r) is float


@pytest.mark.parametrize("values", [[], [nan], [nan, nan, nan]])
def test_reductions_of_nothing(values):
    s = ser(values if values else np.array([], dtype=float))
    assert s.sum() == 0.0 and math.copysign(1, s.sum()) == -1.0
    for r in (s.mean(), s.min(), s.max(), s.var(), s.std(), s.median(), s.quantile(0.3)):
        assert math.isnan(r)
    assert s.all() is True
    assert s.any() is False
    for f in (s.idxmax, s.idxmin):
        with pytest.raises(ValueError, match="^Encountered all NA values$"):
            f()


def test_small_counts_and_hand_values():
    assert ser([1.0, 2.0, 3.0, 4.0]).quantile(0.25) == 1.75
    assert ser([1.0, nan, 3.0, 2.0]).median() == 2.0
    assert ser([4.0, 1.0, 3.0, 2.0]).median() == 2.5
    one = ser([5.0, nan])
    assert math.isnan(one.var()) and math.isnan(one.std())
    assert one.mean() == 5.0 and one.median() == 5.0 and one.quantile(0.7) == 5.0
    # Infinities are values, not missing: the start of min/max must not hide them.
    assert ser([math.inf, nan]).min() == math.inf
    assert ser([-math.inf]).max() == -math.inf
    assert ser([nan] * 3 + [2.0] + [nan] * 13).max() == 2.0


def test_reductions_read_other_dtypes_as_floats():
    assert ser([1, 2, 3, 4]).mean() == 2.5
    assert ser([True, False, True]).sum() == 2.0
    strings = ser(["a", "b"])
    assert math.copysign(1, strings.sum()) == -1.0 and math.isnan(strings.max())
    t = ser(np.array([1, 3], dtype="datetime64[s]"))
    assert t.max() == 3e9


@pytest.mark.parametrize("q", [-0.1, 1.5, nan])
def test_quantile_rejects_q_outside_unit_interval(q):
    with pytest.raises(ValueError, match=r"^quantile: q must be in \[0, 1\]$"):
        ser([1.0, 2.0]).quantile(q)


@pytest.mark.parametrize(
    "values, any_, all_",
    [
        ([True, False], True, False),
        ([True, True], True, True),
        ([False], False, False),
        ([0.0, nan], False, False),
        ([nan, 2.0], True, True),
        ([1, 0], True, False),
        (["a"], False, True),  # strings read as NaN: never nonzero, never zero
    ],
)
def test_any_all(values, any_, all_):
    s = ser(values)
    assert s.any() is any_
    assert s.all() is all_


def test_idxmax_idxmin_labels_of_range_and_integer_indexes():
    s = ser([1.0, 3.0, 3.0, nan, -1.0, -1.0])
    assert s.idxmax() == 1 and s.idxmin() == 4
    # dropna and slicing give integer indexes: the label, not the position, comes back.
    d = ser([nan, 2.0, nan, 9.0, 9.0, 0.5]).dropna()
    assert list(d.index) == [1, 3, 4, 5]
    assert d.idxmax() == 3 and d.idxmin() == 5
    assert type(d.idxmax()) is int
    assert ser([5.0, 1.0, 7.0, 2.0])[::-1].idxmin() == 1


def test_idxmax_labels_of_datetime_and_string_indexes(tmp_path):
    text = "time,sym,v\n2021-01-04 09:30:00,a,1.0\n2021-01-04 09:31:00,b,4.0\n2021-01-04 09:32:00,c,-2.0\n"
    df = csv_frame(tmp_path, text, index_col="time", tz="America/New_York")
    s = df.get_column("v")
    assert s.idxmax() == "2021-01-04 09:31:00"
    assert s.tz == "America/New_York"
    assert s["2021-01-04 09:32:00"] == -2.0
    by_sym = csv_frame(tmp_path, text, index_col="sym").get_column("v")
    assert by_sym.idxmin() == "c"
    assert by_sym["b"] == 4.0
    assert by_sym.tz is None
    with pytest.raises(KeyError, match="label must be a string for a string index"):
        by_sym[1.5]


# ---- transforms ---------------------------------------------------------------------------

TRANSFORM_INPUT = [0.0, -0.0, 0.5, -0.5, 1.0, -1.0, 2.0, -3.7, 100.0, nan, math.inf, -math.inf]


@pytest.mark.parametrize(
    "method, ref",
    [
        ("abs", np.abs), ("ceil", np.ceil), ("floor", np.floor), ("sqrt", np.sqrt), ("exp", np.exp),
        ("ln", np.log), ("log10", np.log10), ("sin", np.sin), ("cos", np.cos), ("tan", np.tan),
        ("asin", np.arcsin), ("acos", np.arccos), ("atan", np.arctan), ("sinh", np.sinh),
        ("cosh", np.cosh), ("tanh", np.tanh),
    ],
)
def test_math_transforms_match_numpy(method, ref):
    s = ser(TRANSFORM_INPUT, "close")
    out = getattr(s, method)()
    assert out.dtype == "float64" and out.name == "close"
    with np.errstate(all="ignore"):
        expected = ref(np.array(TRANSFORM_INPUT))
    # NumPy's vector kernels may differ from the C library in the last bit.
    np.testing.assert_allclose(out.to_numpy(), expected, rtol=2e-16 * 4, atol=0, equal_nan=True)


def test_transforms_of_edge_domains():
    out = ser([-1.0, 0.0, 2.0]).ln().to_list()
    assert math.isnan(out[0]) and out[1] == -math.inf
    assert ser([0.0]).log10().to_list() == [-math.inf]
    assert math.isnan(ser([1.5]).asin().to_list()[0])
    same(ser([-0.0, -4.0]).sqrt().to_list(), [-0.0, nan])
    same(ser([-0.0, -2.5]).abs().to_list(), [0.0, 2.5])
    assert ser([1, 4]).sqrt().to_list() == [1.0, 2.0]


@pytest.mark.parametrize(
    "value, decimals, expected",
    [
        (2.5, 0, 3.0),
        (-2.5, 0, -3.0),
        (-0.5, 0, -1.0),
        (0.5, 0, 1.0),
        (1.4, 0, 1.0),
        (0.49999999999999994, 0, 0.0),  # the largest double below one half
        (1234.0, -1, 1230.0),
        (1235.0, -1, 1240.0),
        (0.125, 2, 0.13),
        (-0.125, 2, -0.13),
        (nan, 1, nan),
        (math.inf, 2, math.inf),
        # A scale beyond the double range has no digits to drop; one that
        # rounds to zero makes the unit dwarf every value.
        (1.5, 400, 1.5),
        (-7.25, 320, -7.25),
        (1234.0, -400, 0.0),
    ],
)
def test_round_halves_away_from_zero(value, decimals, expected):
    same(ser([value]).round(decimals).to_list(), [expected])


def test_round_default_and_argument_type():
    assert ser([2.5, 3.5]).round().to_list() == [3.0, 4.0]
    with pytest.raises(TypeError):
        ser([1.0]).round(2**31)
    with pytest.raises(TypeError):
        ser([1.0]).round("2")


@pytest.mark.parametrize(
    "kw, expected",
    [
        ({}, [1.0, 5.0, nan, 10.0]),
        ({"lower": 2, "upper": 8}, [2.0, 5.0, nan, 8.0]),
        ({"lower": 5, "upper": 1}, [1.0, 1.0, nan, 1.0]),
        ({"upper": 4.5}, [1.0, 4.5, nan, 4.5]),
        ({"lower": 6.0}, [6.0, 6.0, nan, 10.0]),
        ({"lower": nan, "upper": nan}, [1.0, 5.0, nan, 10.0]),
        ({"lower": nan, "upper": 3}, [1.0, 3.0, nan, 3.0]),
    ],
)
def test_clip(kw, expected):
    same(ser([1.0, 5.0, nan, 10.0]).clip(**kw).to_list(), expected)


@pytest.mark.parametrize(
    "values, n, expected",
    [
        ([1.0, 2.0, 3.0], 1, [nan, 1.0, 2.0]),
        ([1.0, 2.0, 3.0], -1, [2.0, 3.0, nan]),
        ([1.0, 2.0, 3.0], 0, [1.0, 2.0, 3.0]),
        ([1.0, 2.0, 3.0], 2, [nan, nan, 1.0]),
        ([1.0, 2.0, 3.0], 3, [nan, nan, nan]),
        ([1.0, 2.0, 3.0], 5, [nan, nan, nan]),
        ([1.0, 2.0, 3.0], -5, [nan, nan, nan]),
        ([1.0, 2.0, 3.0], -(2**63), [nan, nan, nan]),
        ([1.0, 2.0, 3.0], 2**63 - 1, [nan, nan, nan]),
        ([1, 2], 1, [nan, 1.0]),
    ],
)
def test_shift(values, n, expected):
    same(ser(values).shift(n).to_list(), expected)


@pytest.mark.parametrize(
    "values, n, expected",
    [
        ([1.0, 2.0, 4.0], 1, [nan, 1.0, 2.0]),
        ([1.0, 2.0, 4.0], -1, [-1.0, -2.0, nan]),
        ([1.0, 2.0, 4.0, 7.0], 2, [nan, nan, 3.0, 5.0]),
        ([1.0, 2.0, 4.0, 7.0], -2, [-3.0, -5.0, nan, nan]),
        ([1.0, 2.0, 4.0], 0, [0.0, 0.0, 0.0]),
        ([1.0, 2.0, 4.0], 3, [nan, nan, nan]),
        ([1.0, 2.0, 4.0], -(2**63), [nan, nan, nan]),
        ([1.0, nan, 4.0, 5.0], 1, [nan, nan, nan, 1.0]),
    ],
)
def test_diff(values, n, expected):
    same(ser(values).diff(n).to_list(), expected)


def test_shift_and_diff_defaults():
    s = ser([1.0, 3.0, 6.0])
    same(s.shift().to_list(), [nan, 1.0, 3.0])
    same(s.diff().to_list(), [nan, 2.0, 3.0])


@pytest.mark.parametrize(
    "values, expected",
    [
        ([1.0, nan, 2.0, 3.5], [1.0, nan, 3.0, 6.5]),
        ([nan, nan, 1.0], [nan, nan, 1.0]),
        ([1, 2, 3], [1.0, 3.0, 6.0]),
        ([True, True, False], [1.0, 2.0, 2.0]),
        (np.array([], dtype=float), []),
    ],
)
def test_cumsum_skips_nan_without_resetting(values, expected):
    same(ser(values).cumsum().to_list(), expected)


@pytest.mark.parametrize(
    "kw, expected",
    [
        ({"value": 0.0}, [0.0, 1.0, 0.0, 3.0, 0.0]),
        ({"value": 7}, [7.0, 1.0, 7.0, 3.0, 7.0]),
        ({"method": "ffill"}, [nan, 1.0, 1.0, 3.0, 3.0]),
        ({"method": "pad"}, [nan, 1.0, 1.0, 3.0, 3.0]),
        ({"method": "bfill"}, [1.0, 1.0, 3.0, 3.0, nan]),
        ({"method": "backfill"}, [1.0, 1.0, 3.0, 3.0, nan]),
    ],
)
def test_fillna(kw, expected):
    same(ser([nan, 1.0, nan, 3.0, nan]).fillna(**kw).to_list(), expected)


@pytest.mark.parametrize(
    "kw, message",
    [
        ({}, "fillna: pass a `value` or a `method`"),
        ({"value": 1.0, "method": "ffill"}, "fillna: pass either `value` or `method`, not both"),
        ({"method": "FFILL"}, "fillna: unknown method 'FFILL'"),
        ({"method": "nearest"}, "fillna: unknown method 'nearest'"),
    ],
)
def test_fillna_errors(kw, message):
    with pytest.raises(ValueError) as e:
        ser([nan, 1.0]).fillna(**kw)
    assert str(e.value) == message


def test_fillna_leaves_other_dtypes_alone_but_checks_argument_types_first():
    for values in ([1, 2], ["a"], [True]):
        s = ser(values)
        for kw in ({}, {"method": "nope"}, {"value": 1.0, "method": "ffill"}):
            out = s.fillna(**kw)
            assert out.dtype == s.dtype and out.to_list() == s.to_list()
    with pytest.raises(TypeError):
        ser([1, 2]).fillna(value="zero")
    with pytest.raises(TypeError):
        ser([1, 2]).fillna(method=3)


def test_isna_notna_dropna():
    s = ser([nan, 1.0, nan, 2.0], "v")
    assert s.isna().to_list() == [True, False, True, False]
    assert s.notna().to_list() == [False, True, False, True]
    assert s.isna().dtype == "bool"
    d = s.dropna()
    assert d.to_list() == [1.0, 2.0] and list(d.index) == [1, 3] and d.name == "v"
    for values in ([1, 2], ["a", "b"], [True, False]):
        o = ser(values)
        assert o.isna().to_list() == [False, False]
        assert o.notna().to_list() == [True, True]
        assert o.dropna().to_list() == o.to_list()
    whole = ser([1.0, 2.0]).dropna()
    assert list(whole.index) == [0, 1] and whole.to_list() == [1.0, 2.0]


@pytest.mark.parametrize(
    "a, b, expected",
    [
        ([1.0, nan], [1.0, nan], True),
        ([1.0, nan], [1.0, 2.0], False),
        ([1.0, 2.0], [1.0, 2.0, 3.0], False),
        ([1, 2], [1.0, 2.0], False),
        ([1, 2], [1, 2], True),
        (["a", "b"], ["a", "b"], True),
        (["a", "b"], ["a", "c"], False),
        ([True], [True], True),
        ([True], [1], False),
    ],
)
def test_equals(a, b, expected):
    assert ser(a, "left").equals(ser(b, "right")) is expected


def test_equals_needs_a_series():
    with pytest.raises(TypeError):
        ser([1.0]).equals([1.0])


# ---- astype and export --------------------------------------------------------------------


@pytest.mark.parametrize(
    "values, dtype, out_dtype, expected",
    [
        ([1.9, -1.9, nan, 1e300], "int64", "int64", [1, -1, 0, 9223372036854775807]),
        ([0.0, nan, -2.0], "bool", "bool", [False, True, True]),
        ([1.0, 2.5], "str", "object", ["1", "2.5"]),
        ([True, False], "object", "object", ["True", "False"]),
        ([1, -2], "float", "float64", [1.0, -2.0]),
        (["x"], "float64", "float64", [nan]),
        ([1.0], "double", "float64", [1.0]),
        ([0, 60], "datetime64[s]", "datetime64[ns]", [np.datetime64(0, "s"), np.datetime64(60, "s")]),
        ([1500], "datetime64[ms]", "datetime64[ns]", [np.datetime64(1500, "ms")]),
        ([7], "datetime64[us]", "datetime64[ns]", [np.datetime64(7000, "ns")]),
        ([7], "datetime", "datetime64[ns]", [np.datetime64(7, "ns")]),
        ([1.9, -1.9], "datetime64[s]", "datetime64[ns]", [np.datetime64(1, "s"), np.datetime64(-1, "s")]),
        (["2021-01-04"], "datetime64[s]", "datetime64[ns]", [np.datetime64("2021-01-04T00:00:00", "ns")]),
        (["2021-01-04 09:30:00+08:00"], "datetime64", "datetime64[ns]", [np.datetime64("2021-01-04T01:30", "ns")]),
    ],
)
def test_astype(values, dtype, out_dtype, expected):
    out = ser(values, "c").astype(dtype)
    assert out.dtype == out_dtype and out.name == "c"
    same(out.to_list(), expected)


@pytest.mark.parametrize(
    "values, dtype, exc, message",
    [
        ([1.0], "Float64", ValueError, 'unknown dtype "Float64"'),
        ([1.0], "datetime64[D]", ValueError, 'unknown dtype "datetime64[D]"'),
        (["a"], "int64", TypeError, "cannot cast a object column to int64"),
        (["a"], "bool", TypeError, "cannot cast a object column to bool"),
        ([True], "datetime64[s]", TypeError,
         "cannot read a bool column as an epoch timestamp (need int64 / float64)"),
        (["soon"], "datetime", kd.DirectiveValueError, 'could not parse datetime "soon"'),
        ([9223372037], "datetime64[s]", kd.DirectiveValueError, 'invalid epoch unit "s" or overflow'),
    ],
)
def test_astype_errors(values, dtype, exc, message):
    with pytest.raises(exc) as e:
        ser(values).astype(dtype)
    assert str(e.value) == message


def test_datetime_series_round_trips():
    t = ser(np.array(["2021-01-04T09:30", "2021-01-05T00:00"], dtype="datetime64[m]"), "t")
    assert t.dtype == "datetime64[ns]"
    assert t.astype("datetime64[ns]").equals(t)
    items = t.to_list()
    assert all(isinstance(v, np.datetime64) for v in items)
    assert items[0] == np.datetime64("2021-01-04T09:30", "ns")
    assert t.to_numpy().dtype == np.dtype("datetime64[ns]")
    assert repr(kd.to_datetime([1, 2, 3])) == "Series(name=None, dtype=datetime64[ns], len=3)"


def test_export_and_properties():
    s = ser([1.5, 2.5, nan], "close")
    same(s.tolist(), [1.5, 2.5, nan])
    same(s.to_list(), [1.5, 2.5, nan])
    np.testing.assert_array_equal(s.to_numpy(), np.array([1.5, 2.5, nan]))
    assert s.to_numpy(dtype="float32").dtype == np.float32
    assert np.asarray(s).dtype == np.float64
    assert s.shape == (3,) and len(s) == 3 and s.tz is None and s.name == "close"
    np.testing.assert_array_equal(s.index, np.arange(3))
    with pytest.raises(TypeError):
        kd.Series()


@pytest.mark.parametrize(
    "name, text",
    [
        ("close", 'Series(name=Some("close"), dtype=float64, len=2)'),
        ('a"b\\c', 'Series(name=Some("a\\"b\\\\c"), dtype=float64, len=2)'),
        ("", 'Series(name=Some(""), dtype=float64, len=2)'),
    ],
)
def test_repr(name, text):
    assert repr(ser([1.0, 2.0], name)) == text


# ---- operators ----------------------------------------------------------------------------

OPERANDS = [3, 2.5, True, np.float64(-1.5), np.int64(4)]


@pytest.mark.parametrize("other", OPERANDS)
@pytest.mark.parametrize("op", [operator.add, operator.sub, operator.mul, operator.truediv])
def test_arithmetic_with_scalars_in_both_orders(op, other):
    values = [1.0, -2.0, nan, 0.5, 8.0]
    s = ser(values, "p")
    a = np.array(values)
    f = float(other)
    left, right = op(s, other), op(other, s)
    assert left.dtype == right.dtype == "float64"
    assert left.name == right.name == "p"
    np.testing.assert_array_equal(left.to_numpy(), op(a, f))
    np.testing.assert_array_equal(right.to_numpy(), op(f, a))


def test_arithmetic_hand_values():
    s = ser([1.0, 2.0, 0.0, -3.0])
    assert (5 - s).to_list() == [4.0, 3.0, 5.0, 8.0]
    assert (1 / ser([2.0, 4.0])).to_list() == [0.5, 0.25]
    same((s / 0).to_list(), [math.inf, math.inf, nan, -math.inf])
    same((ser(["a", "b"]) + 1).to_list(), [nan, nan])
    assert (ser([1, 2]) * ser([True, False])).to_list() == [1.0, 0.0]


def test_series_with_series_over_the_same_index():
    df = kd.DataFrame({"a": [1.0, 2.0, 6.0], "b": [4.0, 0.5, 3.0]})
    a, b = df.get_column("a"), df.get_column("b")
    assert (a + b).to_list() == [5.0, 2.5, 9.0]
    assert (a - b).to_list() == [-3.0, 1.5, 3.0]
    assert (b - a).to_list() == [3.0, -1.5, -3.0]
    assert (a / b).to_list() == [0.25, 4.0, 2.0]
    assert (a * b).name == "a" and (b * a).name == "b"
    # Equal indexes from different frames align too.
    other = kd.DataFrame({"c": [1.0, 1.0, 1.0]}).get_column("c")
    assert (a + other).to_list() == [2.0, 3.0, 7.0]
    # Results share the operand's index: a derived series still matches it.
    assert ((a + 1) * a).to_list() == [2.0, 6.0, 42.0]


def _mismatched_pairs():
    s = ser([1.0, 2.0, 3.0])
    sliced = ser([0.0, 1.0, 2.0, 3.0])[1:]  # integer labels 1..3, same length
    relabelled = ser([0.0, 1.0, 2.0])[0:3]  # integer labels 0..2: another index kind than a range
    longer = ser([1.0, 2.0, 3.0, 4.0])
    return [(s, sliced), (s, relabelled), (s, longer)]


@pytest.mark.parametrize(
    "op",
    [operator.add, operator.sub, operator.mul, operator.truediv, operator.lt, operator.le, operator.eq,
     operator.ne, operator.ge, operator.gt, operator.and_, operator.or_, operator.xor],
)
def test_operands_with_different_indexes_are_refused(op):
    for left, right in _mismatched_pairs():
        with pytest.raises(ValueError) as e:
            op(left, right)
        assert str(e.value) == INDEX_MISMATCH


@pytest.mark.parametrize("other", ["3", None, [1.0], object(), np.array([1.0, 2.0])])
def test_non_number_operands_are_refused(other):
    s = ser([1.0, 2.0])
    for op in (operator.add, operator.sub, operator.mul, operator.truediv, operator.lt, operator.ge,
               operator.eq):
        with pytest.raises(TypeError, match="^unsupported operand for a Series operation$"):
            op(s, other)
    for op in (operator.add, operator.truediv):
        with pytest.raises(TypeError, match="^unsupported operand for a Series operation$"):
            op(other, s)
    for op in (operator.and_, operator.or_, operator.xor):
        with pytest.raises(TypeError, match="^unsupported operand for a Series logical op$"):
            op(s, other)


def test_unsupported_operators_are_absent():
    s = ser([1.0, 2.0])
    for f in (lambda: -s, lambda: s // 2, lambda: s % 2, lambda: s**2, lambda: abs(s)):
        with pytest.raises(TypeError):
            f()


@pytest.mark.parametrize("other", [0.0, 2, nan, -math.inf])
@pytest.mark.parametrize("op", [operator.lt, operator.le, operator.eq, operator.ne, operator.ge, operator.gt])
def test_comparisons_with_scalars(op, other):
    # Enough values to cross the blocks of eight, with NaN in several lanes.
    values = [nan, 2.0, -1.0, 0.0, math.inf, -0.0, 2.0, nan, 3.5, -math.inf, 2.0, 1.0, nan, 0.0, 7.0, 2.0,
              -2.0, nan, 4.0]
    s = ser(values, "c")
    a = np.array(values)
    out = op(s, other)
    assert out.dtype == "bool" and out.name == "c"
    assert out.to_list() == list(op(a, other))
    reflected = op(other, s)
    assert reflected.to_list() == list(op(other, a))


@pytest.mark.parametrize("op", [operator.lt, operator.le, operator.eq, operator.ne, operator.ge, operator.gt])
def test_comparisons_between_series(op):
    df = kd.DataFrame({"a": [1.0, nan, 3.0, nan, 5.0, 0.0, -1.0, 2.0, 9.0, 1.0],
                       "b": [1.0, 1.0, nan, nan, 4.0, -0.0, 1.0, 2.0, 8.0, 2.0]})
    a, b = df.get_column("a"), df.get_column("b")
    expected = list(op(a.to_numpy(), b.to_numpy()))
    assert op(a, b).to_list() == expected


def test_nan_comparisons():
    s = ser([1.0, nan])
    assert (s == s).to_list() == [True, False]
    assert (s != s).to_list() == [False, True]
    assert (s > 0).to_list() == [True, False]


@pytest.mark.parametrize(
    "other, and_, or_, xor",
    [
        (True, [False, True, True, False], [True, True, True, True], [True, False, False, True]),
        (False, [False] * 4, [False, True, True, False], [False, True, True, False]),
        (0.0, [False] * 4, [False, True, True, False], [False, True, True, False]),
        (nan, [False, True, True, False], [True] * 4, [True, False, False, True]),
        (2, [False, True, True, False], [True] * 4, [True, False, False, True]),
    ],
)
def test_logical_ops_with_scalars_read_the_bool_view(other, and_, or_, xor):
    # The bool view of [0.0, NaN, 2.0, -0.0]: NaN is true.
    s = ser([0.0, nan, 2.0, -0.0])
    assert (s & other).to_list() == and_ == (other & s).to_list()
    assert (s | other).to_list() == or_ == (other | s).to_list()
    assert (s ^ other).to_list() == xor == (other ^ s).to_list()
    assert (s & other).dtype == "bool"


def test_logical_ops_between_series_and_dtypes():
    df = kd.DataFrame({"f": [0.0, nan, 2.0, 1.0], "b": [True, True, False, False], "s": ["", "a", "b", "c"],
                       "i": [0, 1, 0, 5]})
    f, b, st, i = (df.get_column(k) for k in ("f", "b", "s", "i"))
    assert (f & b).to_list() == [False, True, False, False]
    assert (f | i).to_list() == [False, True, True, True]
    assert (b ^ i).to_list() == [True, False, False, True]
    # Every string element is true, the empty string included.
    assert (st & True).to_list() == [True] * 4
    assert (~st).to_list() == [False] * 4
    assert ((f > 0) & (i > 0)).to_list() == [False, False, False, True]


def test_invert_and_truth_value():
    assert (~ser([0.0, nan, 2.0])).to_list() == [True, False, False]
    assert (~ser([True, False])).to_list() == [False, True]
    assert (~ser([0, 3])).to_list() == [True, False]
    assert bool(ser([0.0])) is False
    assert bool(ser([nan])) is True
    assert bool(ser([True])) is True
    assert bool(ser(["x"])) is True
    for values in ([], [1.0, 2.0]):
        with pytest.raises(ValueError) as e:
            bool(ser(values if values else np.array([], dtype=float)))
        assert str(e.value) == "The truth value of a Series is ambiguous \u2014 use s.any() or s.all()"


# ---- subscripts ---------------------------------------------------------------------------


def test_positional_keys():
    s = ser([10.0, 20.0, 30.0])
    assert s[0] == 10.0 and s[-1] == 30.0 and s[True] == 20.0 and s[False] == 10.0
    assert s[np.int64(2)] == 30.0
    for key in (3, -4, 10, 2**70, -(2**70)):
        with pytest.raises(IndexError, match="^index out of range$"):
            s[key]
    assert ser([1, 2])[1] == 2 and type(ser([1, 2])[1]) is int
    assert ser(["a", "b"])[0] == "a"
    assert ser([True, False])[1] is False
    # A position, even on an integer index whose labels differ.
    d = ser([nan, 5.0, 6.0]).dropna()
    assert d[0] == 5.0


@pytest.mark.parametrize(
    "key",
    [slice(1, None), slice(None, 2), slice(None, None, 2), slice(None, None, -1), slice(-2, None),
     slice(4, 1, -2), slice(5, 9), slice(None, None, 3)],
)
def test_slices_take_values_and_labels(key):
    values = [0.0, 1.0, 2.0, 3.0, 4.0]
    s = ser(values, "v")
    out = s[key]
    assert out.to_list() == values[key]
    assert list(out.index) == list(range(5))[key]
    assert out.name == "v"
    # Slicing a slice keeps the labels of the first.
    assert list(out[1:].index) == list(range(5))[key][1:]


def test_slice_with_zero_step_fails():
    with pytest.raises(ValueError):
        ser([1.0])[::0]


def test_label_keys_on_numeric_indexes():
    s = ser([1.0, 2.0])
    # A str on a range index is read as a UTC datetime, i.e. a huge integer label.
    with pytest.raises(KeyError, match="label not found"):
        s["2021-01-04"]
    with pytest.raises(KeyError, match="invalid datetime label"):
        s["soon"]
    with pytest.raises(KeyError, match="label must be a datetime string or integer"):
        s[1.5]
    with pytest.raises(KeyError, match="label must be a datetime string or integer"):
        s[None]


def test_item_assignment_is_not_supported():
    s = ser([1.0])
    with pytest.raises(TypeError):
        s[0] = 2.0


# ---- sharing ------------------------------------------------------------------------------


def test_results_keep_name_and_do_not_change_the_source():
    df = kd.DataFrame({"close": [3.0, nan, 1.0]})
    s = df.get_column("close")
    for out in (s.abs(), s.round(1), s.clip(0, 2), s.shift(), s.diff(), s.cumsum(), s.fillna(0.0), s.isna(),
                s > 1, ~s, s + 1, s.astype("int64")):
        assert out.name == "close"
        assert len(out) == 3
    same(s.to_list(), [3.0, nan, 1.0])
    same(df.get_column("close").to_list(), [3.0, nan, 1.0])


def test_large_series_matches_numpy():
    a = np.random.default_rng(5).normal(0, 1, 100_003)
    a[::97] = nan
    b = np.random.default_rng(6).normal(0, 1, 100_003)
    df = kd.DataFrame({"a": a, "b": b})
    s, t = df.get_column("a"), df.get_column("b")
    np.testing.assert_array_equal((s + t).to_numpy(), a + b)
    np.testing.assert_array_equal((s > t).to_numpy(), a > b)
    np.testing.assert_array_equal((s <= 0.25).to_numpy(), a <= 0.25)
    np.testing.assert_array_equal((s != t).to_numpy(), a != b)
    assert s.min() == np.nanmin(a) and s.max() == np.nanmax(a)
    assert s.idxmax() == int(np.nanargmax(a)) and s.idxmin() == int(np.nanargmin(a))
    assert s.median() == np.nanmedian(a)
