import math

import numpy as np
import pytest
import talib

import kadmo_rs as k


@pytest.fixture
def df(bars):
    return k.DataFrame(bars)


def test_directive_read_is_cached_under_canonical_name(df, bars):
    s = df["MACD:12,26"]
    assert s.name == "macd"
    assert df.columns[-1] == "macd"
    again = df["macd"]
    assert again.name == "macd"
    assert df.columns.count("macd") == 1
    np.testing.assert_array_equal(s.to_numpy(), again.to_numpy())


@pytest.mark.parametrize(
    "directive, expected",
    [
        ("ma:5", lambda b: talib.SMA(b["close"], 5)),
        ("ema:10", lambda b: talib.EMA(b["close"], 10)),
        ("atr:14", lambda b: talib.ATR(b["high"], b["low"], b["close"], 14)),
        ("wma:7@open", lambda b: talib.WMA(b["open"], 7)),
        ("close - open", lambda b: b["close"] - b["open"]),
        ("close > ma:20", lambda b: b["close"] > talib.SMA(b["close"], 20)),
    ],
)
def test_directive_values_match_talib(df, bars, directive, expected):
    got = df[directive].to_numpy()
    want = expected(bars)
    if want.dtype == bool:
        assert got.dtype == bool
        np.testing.assert_array_equal(got, want)
    else:
        np.testing.assert_allclose(got, want, rtol=1e-9, equal_nan=True)


def test_plain_column_wins_and_unknown_names_fail(df):
    assert df["close"].name == "close"
    with pytest.raises(k.DirectiveValueError, match='unknown command "clsoe"'):
        df["clsoe"]
    with pytest.raises(k.DirectiveSyntaxError, match=r"\(line 1, column \d+\)"):
        df["ma:5 >"]
    with pytest.raises(k.DirectiveValueError, match="missing required argument #0"):
        df["ma"]


def test_failed_evaluation_caches_nothing(df):
    before = df.columns
    with pytest.raises(k.DirectiveValueError):
        df["ma:5,0,1"]
    with pytest.raises(k.DirectiveValueError):
        df["ema:5@nope"]
    assert df.columns == before


def test_key_kinds(df, bars):
    n = len(df)
    mask = bars["close"] > bars["open"]
    for key in (mask, mask.tolist(), df["close > open"]):
        sub = df[key]
        assert len(sub) == int(mask.sum())
        np.testing.assert_array_equal(sub.get_column("close").to_numpy(), bars["close"][mask])
    with pytest.raises(IndexError, match=f"boolean index has wrong length: 2 instead of {n}"):
        df[[True, False]]
    part = df[10:20]
    assert len(part) == 10 and part.index.tolist() == list(range(10))
    np.testing.assert_array_equal(part.get_column("close").to_numpy(), bars["close"][10:20])
    stepped = df[::7]
    np.testing.assert_array_equal(stepped.get_column("close").to_numpy(), bars["close"][::7])
    assert len(df[-5:]) == 5
    picked = df[["close", "ma:5"]]
    assert picked.columns == ["close", "ma:5"]
    assert "ma:5" not in df  # a name list evaluates without caching
    assert df[[]].shape == (n, 0)
    with pytest.raises(KeyError, match="key must be a column name, directive, list, boolean mask, or slice"):
        df[3]


def test_exec(df, bars):
    a = df.exec("ma:5")
    np.testing.assert_allclose(a, talib.SMA(bars["close"], 5), equal_nan=True)
    df.exec("ma:5")
    assert "ma:5" not in df
    df.exec("ma:5", create_column=True)
    assert "ma:5" in df
    np.testing.assert_array_equal(df.exec("close"), bars["close"])


def test_alias_reaches_directives(df, bars):
    df.alias("c", "close")
    np.testing.assert_array_equal(df["c > open"].to_numpy(), bars["close"] > bars["open"])


def test_directive_lookback_function():
    assert k.directive_lookback("boll:20") == 19
    assert k.directive_lookback("ma:5") == 4
    with pytest.raises(k.DirectiveSyntaxError):
        k.directive_lookback("(")


def test_absurd_periods_do_not_crash(df):
    with pytest.raises(k.DirectiveValueError, match="expected an integer"):
        df["ma:99999999999999999999"]
    s = df["ema:18446744073709551615"].to_numpy()
    assert np.isnan(s).all()
