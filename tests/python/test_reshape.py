"""DataFrame methods that derive a new frame, checked against pandas, NumPy,
TA-Lib or hand-computed values."""

import math

import numpy as np
import pandas as pd
import pytest
import talib

import kadmo_rs as k

NAN = float("nan")
SEC = 10**9
T0 = 1609718400  # 2021-01-04 00:00:00 UTC


def col(frame, name):
    return frame[name].to_list()


def same_list(a, b):
    return len(a) == len(b) and all((x != x and y != y) or x == y for x, y in zip(a, b))


@pytest.fixture
def df():
    return k.DataFrame({
        "f": [NAN, 1.0, NAN, 4.0],
        "i": [1, 2, 3, 4],
        "s": ["a", "b", "c", "d"],
        "b": [True, False, True, False],
    })


def dt_frame(seconds, tz=None, **cols):
    """A frame indexed by the given epoch seconds (shown in tz when given)."""
    t = np.array(seconds, dtype="int64") * SEC
    d = k.DataFrame({"t": t.astype("datetime64[ns]"), **cols}).set_index("t")
    return d.tz_convert(tz) if tz else d


def snapshot(frame):
    return repr((frame.columns, frame.dtypes, frame.shape, frame.index.tolist(), frame.tz,
                 [frame.get_column(c).to_list() for c in frame.columns]))


# ---- copy ------------------------------------------------------------------


def test_copy_keeps_cached_columns_and_refreshes_independently(bars):
    close = bars["close"]
    d = k.DataFrame({"close": close[:40]})
    d["ema:5"]
    c = d.copy()
    assert c.columns == ["close", "ema:5"]
    # Each frame gets different bars; each cached column must follow its own.
    d.append(k.DataFrame({"close": close[40:50]}))
    c.append(k.DataFrame({"close": close[40:44]}))
    c.append(k.DataFrame({"close": close[44:47] + 10}))
    want_d = talib.EMA(close[:50], 5)
    want_c = talib.EMA(np.concatenate([close[:44], close[44:47] + 10]), 5)
    np.testing.assert_allclose(d["ema:5"].to_numpy(), want_d, rtol=1e-12, equal_nan=True)
    np.testing.assert_allclose(c["ema:5"].to_numpy(), want_c, rtol=1e-12, equal_nan=True)
    assert d.columns == c.columns == ["close", "ema:5"]


def test_copy_is_unaffected_by_writes_to_either_side(df):
    c = df.copy()
    before = snapshot(df)
    c.iloc[0, 1] = 99
    c.append(df)
    assert snapshot(df) == before
    df.iat[1, 1] = -5
    assert col(c, "i")[:2] == [99, 2]


# ---- head / tail ------------------------------------------------------------


def test_head_and_tail(df):
    h0 = df.head(0)
    assert h0.shape == (0, 4) and h0.columns == df.columns
    assert df.tail(100).shape == (4, 4)
    t2 = df.tail(2)
    assert col(t2, "i") == [3, 4]
    assert t2.index.tolist() == [0, 1]  # a range index restarts at 0
    assert col(df.head(), "s") == ["a", "b", "c", "d"]
    assert col(df.head(3), "i") == [1, 2, 3]
    with pytest.raises(TypeError):
        df.head(-1)


def test_head_keeps_a_cached_column_that_still_refreshes(bars):
    close = bars["close"]
    d = k.DataFrame({"close": close[:30]})
    d["ma:3"]
    h = d.tail(20)  # rows 10..29: the cached column comes along
    h.append(k.DataFrame({"close": close[30:35]}))
    np.testing.assert_allclose(h["ma:3"].to_numpy()[2:], talib.SMA(close[10:35], 3)[2:], rtol=1e-12)


# ---- isna / notna / fillna / dropna ----------------------------------------


def test_isna_and_notna(df):
    na, nn = df.isna(), df.notna()
    assert na.columns == nn.columns == df.columns
    assert set(na.dtypes.values()) == {"bool"}
    assert col(na, "f") == [True, False, True, False]
    assert col(na, "i") == col(na, "s") == col(na, "b") == [False] * 4
    assert col(nn, "f") == [False, True, False, True]
    assert col(nn, "i") == [True] * 4
    pdf = pd.DataFrame({"f": [NAN, 1.0, NAN, 4.0], "i": [1, 2, 3, 4]})
    assert na[["f", "i"]].to_numpy().astype(bool).tolist() == pdf.isna().to_numpy().tolist()


@pytest.mark.parametrize("kwargs, want", [
    ({"value": 0}, [0.0, 1.0, 0.0, 4.0, 0.0]),
    ({"value": 2.5}, [2.5, 1.0, 2.5, 4.0, 2.5]),
    ({"method": "ffill"}, [NAN, 1.0, 1.0, 4.0, 4.0]),
    ({"method": "pad"}, [NAN, 1.0, 1.0, 4.0, 4.0]),
    ({"method": "bfill"}, [1.0, 1.0, 4.0, 4.0, NAN]),
    ({"method": "backfill"}, [1.0, 1.0, 4.0, 4.0, NAN]),
])
def test_fillna(kwargs, want):
    d = k.DataFrame({"f": [NAN, 1.0, NAN, 4.0, NAN], "i": [1, 2, 3, 4, 5]})
    out = d.fillna(**kwargs)
    assert same_list(col(out, "f"), want)
    assert col(out, "i") == [1, 2, 3, 4, 5]
    assert same_list(col(d, "f"), [NAN, 1.0, NAN, 4.0, NAN])
    # pandas agrees (ffill/bfill are its methods of the same name)
    s = pd.Series([NAN, 1.0, NAN, 4.0, NAN])
    ref = s.fillna(kwargs["value"]) if "value" in kwargs else (
        s.ffill() if kwargs["method"] in ("ffill", "pad") else s.bfill())
    assert same_list(ref.tolist(), want)


@pytest.mark.parametrize("kwargs, msg", [
    ({}, "fillna: pass a `value` or a `method`"),
    ({"value": 1, "method": "ffill"}, "fillna: pass either `value` or `method`, not both"),
    ({"method": "nearest"}, "fillna: unknown method 'nearest'"),
])
def test_fillna_errors(df, kwargs, msg):
    with pytest.raises(ValueError) as e:
        df.fillna(**kwargs)
    assert str(e.value) == msg
    with pytest.raises(ValueError):
        k.DataFrame({"i": [1]}).fillna(**kwargs)


def test_dropna(df):
    assert col(df.dropna(), "i") == [2, 4]
    assert df.dropna().index.tolist() == [1, 3]
    assert df.dropna(how="all").shape == (4, 4)  # non-float columns are never missing
    assert col(df.dropna(how="whatever"), "i") == [2, 4]
    only_f = k.DataFrame({"a": [NAN, NAN, 1.0], "b": [NAN, 2.0, NAN]})
    ref = pd.DataFrame({"a": [NAN, NAN, 1.0], "b": [NAN, 2.0, NAN]})
    assert only_f.dropna(how="all").index.tolist() == ref.dropna(how="all").index.tolist() == [1, 2]
    assert only_f.dropna().shape == (0, 2)


# ---- drop / rename ------------------------------------------------------------


def test_drop_columns(df):
    out = df.drop(["s", "nope"], axis=1)
    assert out.columns == ["f", "i", "b"]
    assert df.drop(("f", "i"), axis=1).columns == ["s", "b"]
    with pytest.raises(TypeError):
        df.drop("s", axis=1)
    with pytest.raises(TypeError):
        df.drop(5, axis=1)
    with pytest.raises(TypeError):
        df.drop([1], axis=1)


def test_drop_rows_by_label(df):
    assert col(df.drop([0, 2, 99]), "i") == [2, 4]
    assert df.drop([0, 2]).index.tolist() == [1, 3]
    s = k.DataFrame({"sym": ["x", "y", "x"], "v": [1, 2, 3]}).set_index("sym")
    assert col(s.drop(["x"]), "v") == [2]
    with pytest.raises(KeyError, match="label must be a string for a string index"):
        s.drop([0])
    with pytest.raises(KeyError, match="invalid datetime label"):
        df.drop(["soon"])


def test_drop_datetime_labels_are_wall_clocks_in_the_index_zone():
    # Two bars at 2021-01-04 00:00 +08:00 (= 2021-01-03 16:00 UTC), one later.
    d = dt_frame([T0 - 8 * 3600, T0 - 8 * 3600, T0], tz="+08:00", v=[1, 2, 3])
    assert col(d.drop(["2021-01-04"]), "v") == [3]
    assert col(d.drop([k.Timestamp("2021-01-04", tz="UTC")]), "v") == [1, 2]
    assert col(d.drop([(T0 - 8 * 3600) * SEC]), "v") == [3]


def test_rename(df):
    out = df.rename({"f": "g", "s": "i", "zzz": "q"})
    assert out.columns == ["g", "i", "i", "b"]
    assert out.dtypes == {"g": "float64", "i": "object", "b": "bool"}
    assert df.columns == ["f", "i", "s", "b"]
    with pytest.raises(TypeError, match="columns"):
        df.rename({"f": 1})
    with pytest.raises(TypeError):
        df.rename(["f"])


# ---- astype ---------------------------------------------------------------------


def test_astype_datetime_units_and_casts():
    d = k.DataFrame({"t": [T0], "ms": [T0 * 1000], "x": [1.9], "y": [-1.9], "txt": ["2021-01-04 09:30:00"]})
    out = d.astype({"t": "datetime64[s]", "ms": "datetime64[ms]", "x": "int", "y": "int64",
                    "txt": "datetime"})
    assert out.dtypes == {"t": "datetime64[ns]", "ms": "datetime64[ns]", "x": "int64", "y": "int64",
                          "txt": "datetime64[ns]"}
    assert out["t"].to_list() == [np.datetime64("2021-01-04T00:00", "ns")]
    assert out["ms"].to_list() == [np.datetime64("2021-01-04T00:00", "ns")]
    assert out["txt"].to_list() == [np.datetime64("2021-01-04T09:30", "ns")]
    # Truncation toward zero, as pandas/NumPy astype does.
    assert col(out, "x") == pd.Series([1.9]).astype("int64").tolist() == [1]
    assert col(out, "y") == [-1]
    assert d.dtypes["t"] == "int64"


def test_astype_goes_through_aliases_and_drops_cached_metadata(bars):
    d = k.DataFrame({"close": bars["close"][:20]})
    d["ma:3"]
    d.alias("c", "close")
    out = d.astype({"c": "object"})
    assert out.dtypes == {"close": "object", "ma:3": "float64"}
    out.append(k.DataFrame({"close": ["1"]}))
    assert math.isnan(out["ma:3"].to_list()[-1])  # a plain column now: padded, not refreshed


@pytest.mark.parametrize("dtypes, exc, msg", [
    ({"i": "Float64"}, ValueError, 'unknown dtype "Float64"'),
    ({"nope": "datetime64[s]"}, KeyError, 'column "nope" not found'),
    ({"s": "datetime"}, k.DirectiveValueError, 'could not parse datetime "a"'),
    ({"s": "bool"}, TypeError, "cannot cast a object column to bool"),
    ({"b": "datetime64[s]"}, TypeError, "cannot read a bool column as an epoch timestamp"),
    # entries are visited in order, casts applied last: the datetime failure wins
    ({"s": "bool", "s2": "datetime"}, k.DirectiveValueError, 'could not parse datetime "a"'),
    ({"i": 5}, TypeError, "dtypes"),
])
def test_astype_errors(df, dtypes, exc, msg):
    df["s2"] = ["a", "b", "c", "d"]
    before = snapshot(df)
    with pytest.raises(exc, match=msg.replace("(", r"\(")):
        df.astype(dtypes)
    assert snapshot(df) == before


# ---- index changes ------------------------------------------------------------


def test_set_index_kinds_and_errors(df):
    by_int = df.set_index("i")
    assert by_int.columns == ["f", "s", "b"] and by_int.index.tolist() == [1, 2, 3, 4]
    by_str = df.set_index("s")
    assert by_str.index.tolist() == ["a", "b", "c", "d"]
    d = dt_frame([T0, T0 + 60], v=[1.0, 2.0])
    assert d.tz is None
    assert d.index.tolist() == pd.to_datetime([T0, T0 + 60], unit="s").as_unit("ns").asi8.tolist()
    with pytest.raises(TypeError, match=r"cannot use a float64 column as an index \(only datetime / int64 / string\)"):
        df.set_index("f")
    with pytest.raises(TypeError, match="cannot use a bool column"):
        df.set_index("b")
    with pytest.raises(KeyError, match='column "nope" not found'):
        df.set_index("nope")


def test_reset_index():
    d = dt_frame([T0 - 8 * 3600, T0], tz="+08:00", v=[1.0, 2.0])
    out = d.reset_index()
    assert out.columns == ["index", "v"]
    assert out.dtypes["index"] == "datetime64[ns]"
    # The UTC instants (columns carry no zone), over a fresh range index.
    assert out["index"].to_list() == [np.datetime64(T0 - 8 * 3600, "s"), np.datetime64(T0, "s")]
    assert out.index.tolist() == [0, 1] and out.tz is None
    assert d.reset_index(drop=True).columns == ["v"]
    r = k.DataFrame({"v": [5, 6]}).reset_index()
    assert col(r, "index") == [0, 1] and r.dtypes["index"] == "int64"
    s = k.DataFrame({"k": ["x", "y"], "v": [5, 6]}).set_index("k").reset_index()
    assert s.columns == ["index", "v"] and col(s, "index") == ["x", "y"]


@pytest.mark.parametrize("ascending", [True, False])
def test_sort_index_is_stable_like_pandas(ascending):
    labels = [3, 1, 3, 2, 1, 2, 3]
    d = k.DataFrame({"k": labels, "pos": list(range(7))}).set_index("k")
    ref = pd.DataFrame({"pos": list(range(7))}, index=labels).sort_index(ascending=ascending, kind="stable")
    out = d.sort_index(ascending=ascending)
    assert col(out, "pos") == ref["pos"].tolist()
    assert out.index.tolist() == ref.index.tolist()


def test_sort_index_of_strings_and_ranges():
    d = k.DataFrame({"k": ["b", "B", "a", "b"], "v": [0, 1, 2, 3]}).set_index("k")
    assert col(d.sort_index(), "v") == [1, 2, 0, 3]  # byte-wise: "B" < "a" < "b"
    r = k.DataFrame({"v": [1, 2, 3]}).sort_index(ascending=False)
    assert r.index.tolist() == [2, 1, 0] and col(r, "v") == [3, 2, 1]


# ---- time zones ------------------------------------------------------------------


def test_tz_convert_keeps_instants_and_cached_columns(bars):
    close = bars["close"]
    d = dt_frame([T0 + 60 * i for i in range(20)], close=close[:20])
    d["ma:3"]
    e = d.tz_convert("America/New_York")
    assert e.tz == "America/New_York" and d.tz is None
    assert e.index.tolist() == d.index.tolist()
    bar = dt_frame([T0 + 60 * 20], close=close[20:21])
    e.append(bar)
    np.testing.assert_allclose(e["ma:3"].to_numpy()[2:], talib.SMA(close[:21], 3)[2:], rtol=1e-12)
    assert e.to_pandas().index.equals(
        pd.to_datetime([T0 + 60 * i for i in range(21)], unit="s").tz_localize("UTC").tz_convert("America/New_York"))


def test_tz_localize_matches_pandas():
    secs = [T0 + 9 * 3600 + 1800, 1636248600]  # 2021-01-04 09:30 and 2021-11-07 01:30 (a fold)
    d = dt_frame(secs, v=[1.0, 2.0])
    out = d.tz_localize("America/New_York")
    assert out.tz == "America/New_York"
    ref = pd.to_datetime(secs, unit="s").tz_localize("America/New_York", ambiguous=[True, True])
    assert out.index.tolist() == ref.as_unit("ns").asi8.tolist()
    # From a zoned frame: the wall clock shown in +08:00 becomes a UTC wall clock.
    east = dt_frame([T0 + 1800], tz="+08:00", v=[1.0])
    assert east.tz_localize("UTC").index.tolist() == [(T0 + 8 * 3600 + 1800) * SEC]


@pytest.mark.parametrize("call, exc, msg", [
    (lambda d: d.tz_localize("America/New_York"), ValueError,
     "wall-clock 2021-03-14 02:30:00 does not exist in America/New_York"),
    (lambda d: d.tz_localize("Mars/Base"), ValueError, 'unknown timezone "Mars/Base"'),
    (lambda d: d.tz_convert("+24:00"), ValueError, 'unknown timezone "+24:00"'),
    (lambda d: d.reset_index().tz_convert("UTC"), TypeError, "tz_convert requires a DatetimeIndex"),
    (lambda d: d.reset_index().tz_localize("UTC"), TypeError, "tz_localize requires a DatetimeIndex"),
])
def test_tz_errors(call, exc, msg):
    d = dt_frame([T0, 1615689000], v=[1.0, 2.0])  # the second is 2021-03-14 02:30
    before = snapshot(d)
    with pytest.raises(exc) as e:
        call(d)
    assert str(e.value) == msg
    assert snapshot(d) == before


# ---- equality and comparison -----------------------------------------------------


def test_equals(df):
    assert df.equals(df.copy())
    assert not df.equals(df.rename({"f": "g"}))
    assert not df.equals(df.astype({"i": "float64"}))  # same numbers, other dtype
    assert not df.equals(df.dropna(how="all"))  # range index vs integer index
    d = dt_frame([T0], v=[NAN])
    assert d.equals(dt_frame([T0], v=[NAN]))
    assert not d.equals(d.tz_convert("+01:00"))
    with pytest.raises(TypeError):
        df.equals({"f": [1.0]})


def test_comparisons_against_numpy(df):
    other = k.DataFrame({"f": [NAN, 2.0, 3.0, 4.0], "i": [0, 2, 5, 4], "s": ["a", "b", "c", "d"],
                         "b": [True, True, False, False]})
    a = np.array([[NAN, 1, NAN, 4], [1, 2, 3, 4], [NAN] * 4, [1, 0, 1, 0]], dtype=float).T
    b = np.array([[NAN, 2, 3, 4], [0, 2, 5, 4], [NAN] * 4, [1, 1, 0, 0]], dtype=float).T
    for op in ["__eq__", "__ne__", "__lt__", "__le__", "__gt__", "__ge__"]:
        got = getattr(df, op)(other)
        assert got.columns == df.columns and set(got.dtypes.values()) == {"bool"}
        assert got.to_numpy().astype(bool).tolist() == getattr(a, op)(b).tolist(), op
        got = getattr(df, op)(2)
        assert got.to_numpy().astype(bool).tolist() == getattr(a, op)(2.0).tolist(), op
    assert (3 > df).to_numpy().astype(bool).tolist() == (3.0 > a).tolist()
    assert (np.float64(3) > df).to_numpy().astype(bool).tolist() == (3.0 > a).tolist()


def test_frame_equals_its_copy_except_nan(df):
    eq = df == df.copy()
    assert col(eq, "f") == [False, True, False, True]
    assert col(eq, "i") == [True] * 4
    assert col(eq, "s") == [False] * 4  # strings are NaN as floats
    assert col(df != df, "s") == [True] * 4


def test_datetime_columns_compare_as_exact_nanoseconds():
    a = k.DataFrame({"t": np.array([2**62 + 1], dtype="int64").astype("datetime64[ns]")})
    b = k.DataFrame({"t": np.array([2**62], dtype="int64").astype("datetime64[ns]")})
    assert col(a == b, "t") == [False] and col(a > b, "t") == [True]


# Operands are built inside the test: pytest keeps parameter objects alive
# past interpreter teardown, which nanobind reports as leaks.
@pytest.mark.parametrize("make_other, exc, msg", [
    (lambda: "a", TypeError, "unsupported operand for a DataFrame comparison"),
    (lambda: None, TypeError, "unsupported operand for a DataFrame comparison"),
    (lambda: [1, 2, 3, 4], TypeError, "unsupported operand for a DataFrame comparison"),
    (lambda: k.DataFrame({"f": [1.0] * 4}), ValueError, "cannot compare DataFrames with different columns"),
])
def test_comparison_errors(df, make_other, exc, msg):
    with pytest.raises(exc, match=msg):
        df == make_other()


def test_comparison_needs_the_same_index():
    a = k.DataFrame({"k": [1, 2, 3], "v": [1.0, 2.0, 3.0]}).set_index("k")
    b = k.DataFrame({"k": [1, 2, 3], "v": [3.0, 2.0, 1.0]}).set_index("k")
    c = k.DataFrame({"k": [1, 2, 4], "v": [3.0, 2.0, 1.0]}).set_index("k")
    assert col(a < b, "v") == [True, False, False]  # equal, not identical, indexes
    with pytest.raises(ValueError) as e:
        a < c
    assert str(e.value) == ("operands have different indexes; kadmo aligns by position, not by label \u2014 "
                            "reindex or slice them to a common index first")
    with pytest.raises(ValueError, match="different indexes"):
        a == a.reset_index(drop=True)[["v"]]  # same labels 0.., other kind
    with pytest.raises(TypeError):
        hash(a)


# ---- results are plain frames ---------------------------------------------------


@pytest.mark.parametrize("derive", [
    lambda d: d.rename({}),
    lambda d: d.drop([], axis=1),
    lambda d: d.dropna(how="all"),
    lambda d: d.sort_index(),
    lambda d: d.astype({}),
    lambda d: d.fillna(0),
])
def test_derived_frames_stop_refreshing_cached_columns(bars, derive):
    d = k.DataFrame({"close": bars["close"][:20]})
    d["ma:3"]
    out = derive(d)
    assert "ma:3" in out.columns
    out.append(k.DataFrame({"close": [1.0]}))
    out.iloc[-1]  # no stale cached columns to refuse
    assert math.isnan(out["ma:3"].to_list()[-1])
    assert d.shape == (20, 2)
