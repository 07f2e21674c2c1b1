"""Cumulation to coarser time frames and tf-aware frames that fold appended bars.

Expected values come from pandas ``resample(...).agg(...)`` in the index zone
(labels: the first bar of each bin) or from the bars written in each test.
"""

import math

import numpy as np
import pandas as pd
import pytest

import kadmo_rs as k

OHLCV = ["open", "high", "low", "close", "volume"]
PANDAS_AGG = {"open": "first", "high": "max", "low": "min", "close": "last", "volume": "sum"}


def frame(times, tz=None, **cols):
    """A frame indexed by wall-clock times (read in tz, UTC when None)."""
    t = pd.DatetimeIndex(pd.to_datetime(times))
    if tz is not None:
        t = t.tz_localize(tz).tz_convert("UTC").tz_localize(None)
    data = {"t": t.values.astype("datetime64[ns]")}
    data.update({name: np.asarray(v) for name, v in cols.items()})
    df = k.DataFrame(data).set_index("t")
    return df.tz_convert(tz) if tz is not None else df


def bars(times, rows, tz=None):
    """OHLCV bars from (open, high, low, close, volume) tuples."""
    cols = np.array(rows, dtype=float).reshape(len(rows), 5)
    return frame(times, tz, **{name: cols[:, j] for j, name in enumerate(OHLCV)})


def rows(df):
    return [list(r) for r in df.to_pandas()[OHLCV].itertuples(index=False)]


def labels(df):
    return [t.strftime("%Y-%m-%d %H:%M") for t in df.to_pandas().index]


def random_bars(n, tz, seed, step="1min"):
    rng = np.random.default_rng(seed)
    t = pd.date_range("2021-03-10 22:17", periods=n, freq=step, tz=tz)
    t = t[np.sort(rng.choice(n, size=n * 4 // 5, replace=False))]  # gaps: labels are not bin starts
    m = len(t)
    close = 100 + np.cumsum(rng.normal(0, 1, m))
    p = pd.DataFrame(
        {
            "open": close + rng.normal(0, 0.3, m),
            "high": close + rng.random(m),
            "low": close - rng.random(m),
            "close": close,
            "volume": rng.integers(1, 1000, m).astype(float),
        },
        index=t,
    )
    utc = t.tz_convert("UTC").tz_localize(None).values.astype("datetime64[ns]")
    df = k.DataFrame({"t": utc, **{c: p[c].to_numpy() for c in OHLCV}}).set_index("t").tz_convert(tz)
    return p, df


def pandas_cumulate(p, rule, aggs=PANDAS_AGG):
    want = p.resample(rule).agg(aggs)
    first = p.index.to_series().resample(rule).first()
    keep = first.notna().to_numpy()
    want = want[keep]
    want.index = pd.DatetimeIndex(first[keep])
    return want


@pytest.mark.parametrize(
    "tz, tf, rule",
    [
        ("UTC", "5m", "5min"),
        ("UTC", "15m", "15min"),
        ("+05:30", "1h", "1h"),
        ("+05:30", "4h", "4h"),
        ("-03:00", "12h", "12h"),
        ("America/New_York", "1d", "1D"),  # 2021-03-14 has 23 hours there
        ("America/New_York", "1w", "W-SUN"),
        ("Europe/London", "1M", "MS"),
        ("Asia/Tokyo", "1y", "YS"),
    ],
)
def test_cumulate_matches_pandas_resample(tz, tf, rule):
    step = "7h" if tf in ("1M", "1y") else "1min"
    p, df = random_bars(20000 if step == "1min" else 3000, tz, seed=len(rule), step=step)
    got = df.cumulate(tf).to_pandas()
    want = pandas_cumulate(p, rule)
    utc = got.index.tz_localize("UTC") if got.index.tz is None else got.index.tz_convert("UTC")
    assert list(utc.as_unit("ns").asi8) == list(want.index.tz_convert("UTC").as_unit("ns").asi8)
    assert df.tz == (None if tz == "UTC" else tz)
    np.testing.assert_array_equal(got[["open", "high", "low", "close"]].to_numpy(), want[["open", "high", "low", "close"]].to_numpy())
    # Summation order is the same, but pandas may sum pairwise: compare to rounding.
    np.testing.assert_allclose(got["volume"].to_numpy(), want["volume"].to_numpy(), rtol=1e-15)


def test_labels_are_the_first_bar_of_each_period():
    one = [(1, 2, 0, 1, 1)]
    df = bars(pd.date_range("2021-01-04 09:30", "2021-01-04 09:39", freq="1min"), one * 10)
    assert labels(df.cumulate("5m")) == ["2021-01-04 09:30", "2021-01-04 09:35"]
    df = bars(pd.date_range("2021-01-04 09:32", "2021-01-04 09:36", freq="1min"), one * 5)
    assert labels(df.cumulate("5m")) == ["2021-01-04 09:32", "2021-01-04 09:35"]
    days = bars(["2021-01-04 09:30", "2021-01-04 15:59", "2021-01-05 09:30", "2021-01-05 16:00"], one * 4)
    assert labels(days.cumulate(k.TimeFrame.D1)) == ["2021-01-04 09:30", "2021-01-05 09:30"]


def test_missing_values_and_superseded_bars():
    nan = math.nan
    df = bars(
        ["2021-01-04 09:30", "2021-01-04 09:31", "2021-01-04 09:31", "2021-01-04 09:32"],
        [(1, nan, nan, 1, 5), (2, 90, 0, 2, 500), (3, nan, 7, 3, 6), (4, nan, nan, 4, nan)],
    )
    (o, h, l, c, v), = rows(df.cumulate("1d"))
    # The first 09:31 bar is superseded by the second; NaN is skipped by
    # max/min but poisons the sum.
    assert (o, h, l, c) == (1, -math.inf, 7, 4)
    assert math.isnan(v)
    assert rows(df.iloc[:3].cumulate("1d")) == [[1, -math.inf, 7, 3, 11]]


def test_cumulators_and_dtypes():
    t = ["2021-01-04 09:30", "2021-01-04 09:31"]
    df = frame(t, high=[1.0, 3.0], volume=[5, 7], note=["a", "b"], flag=[True, False])
    out = df.cumulate("1d", cumulators={"volume": "max", "flag": "first"})
    assert out.dtypes == {"high": "float64", "volume": "int64", "note": "object", "flag": "bool"}
    p = out.to_pandas()
    assert (p["high"].iloc[0], p["volume"].iloc[0], p["note"].iloc[0], p["flag"].iloc[0]) == (3.0, 7, "b", True)
    assert df.cumulate("1d", cumulators={"note": "first"}).to_pandas()["note"].iloc[0] == "a"

    cases = [
        ({"volume": "mean"}, ValueError, "^unknown aggregator 'mean'$"),
        ({"volume": "Sum"}, ValueError, "^unknown aggregator 'Sum'$"),
        ({"volume": 1}, TypeError, "^cumulator values must be aggregator names like 'sum'$"),
        ({1: "sum"}, TypeError, "column names"),
        ({"note": "max"}, TypeError, "^cannot max a object column$"),
        ({"flag": "sum"}, TypeError, "^cannot sum a bool column$"),
    ]
    for cumulators, exc, msg in cases:
        with pytest.raises(exc, match=msg):
            df.cumulate("1d", cumulators=cumulators)
    with pytest.raises(TypeError, match="^cannot max a object column$"):
        frame(t, high=["x", "y"]).cumulate("1d")
    with pytest.raises(TypeError, match="cumulators"):
        df.cumulate("1d", cumulators=[("volume", "max")])


def test_cumulate_refusals_and_time_frame_rules():
    with pytest.raises(ValueError, match="^the data frame to be appended is empty$"):
        frame([], close=np.array([], dtype=float)).cumulate("1d")
    with pytest.raises(ValueError, match="^cumulation target must have a DatetimeIndex$"):
        k.DataFrame({"close": [1.0]}).cumulate("1d")
    with pytest.raises(ValueError, match='^"5M" is an invalid time frame$'):
        bars(["2021-01-04"], [(1, 1, 1, 1, 1)]).cumulate("5M")
    with pytest.raises(TypeError, match="time_frame must be a TimeFrame"):
        bars(["2021-01-04"], [(1, 1, 1, 1, 1)]).cumulate(5)

    five = bars(pd.date_range("2021-01-04 09:00", periods=6, freq="5min"), [(i, i, i, i, 1) for i in range(6)])
    five = five.cumulate("5m")
    assert len(five.cumulate("15m")) == 2
    same = five.cumulate("5m")
    assert same is not five and rows(same) == rows(five)
    for target, msg in [("1m", "5m -> 1m"), ("1s", "5m -> 1s")]:
        with pytest.raises(ValueError, match=f"^cannot cumulate {msg}: the target is not a whole multiple of the source frame$"):
            five.cumulate(target)
    with pytest.raises(ValueError, match="cannot cumulate 3d -> 1w"):
        five.cumulate("3d").cumulate("1w")
    assert len(five.cumulate("1d").cumulate("1M").cumulate("1y")) == 1


def test_cumulate_leaves_the_source_alone_and_reads_fresh_cached_columns():
    df = bars(pd.date_range("2021-01-04 09:30", periods=5, freq="1min"), [(i, i, i, i, 1) for i in range(5)])
    df["ma:2"]
    df.append(bars(["2021-01-04 09:35"], [(10, 10, 10, 10, 1)]))
    out = df.cumulate("1d").to_pandas()
    assert out["ma:2"].iloc[0] == (4 + 10) / 2  # not the padding of the stale row
    assert out["volume"].iloc[0] == 6
    assert len(df) == 6
    with pytest.raises(ValueError):
        df.iloc[-1]  # still stale: cumulate refreshed a snapshot


def daily():
    minute = bars(["2021-01-04 09:30", "2021-01-04 09:31"], [(10, 11, 9, 10.5, 100), (10.5, 12, 10, 11, 50)])
    return minute.cumulate("1d")


def test_appended_bars_fold_into_the_forming_period():
    df = daily()
    assert rows(df) == [[10, 12, 9, 11, 150]]
    assert df.append(bars(["2021-01-04 09:32"], [(11, 11.5, 8, 9, 20)])) is df
    assert rows(df) == [[10, 12, 8, 9, 170]]
    # Re-sent with other values: replaces the bar, volume 100 + 50 + 30.
    df.append(bars(["2021-01-04 09:32"], [(11, 13, 10, 12, 30)]))
    assert rows(df) == [[10, 13, 9, 12, 180]]
    assert labels(df) == ["2021-01-04 09:30"]
    df.append(bars(["2021-01-05 09:30"], [(20, 21, 19, 20.5, 5)]))
    assert rows(df) == [[10, 13, 9, 12, 180], [20, 21, 19, 20.5, 5]]
    # A late bar of the previous day opens yet another row.
    df.append(bars(["2021-01-04 16:00"], [(1, 2, 0, 1, 1)]))
    assert labels(df) == ["2021-01-04 09:30", "2021-01-05 09:30", "2021-01-04 16:00"]
    # A Row of a datetime-indexed frame folds too.
    df.append(bars(["2021-01-04 16:01"], [(1, 5, 1, 4, 2)]).iloc[0])
    assert rows(df)[-1] == [1, 5, 0, 4, 3]


def test_a_batch_folds_row_by_row():
    df = daily()
    df.append(
        bars(
            ["2021-01-04 09:32", "2021-01-04 09:32", "2021-01-05 09:30", "2021-01-05 09:31"],
            [(11, 11.5, 8, 9, 20), (11, 13, 10, 12, 30), (20, 21, 19, 20.5, 5), (20.5, 22, 20, 21, 7)],
        )
    )
    assert rows(df) == [[10, 13, 9, 12, 180], [20, 22, 19, 21, 12]]


def test_failed_folds_change_nothing():
    df = daily()
    before = rows(df)
    with pytest.raises(ValueError, match="^append to a time_frame DataFrame requires a DatetimeIndex$"):
        df.append(k.DataFrame({c: [1.0] for c in OHLCV}))
    with pytest.raises(TypeError, match="cannot append a int64 column onto a float64 column"):
        df.append(frame(["2021-01-04 09:40"], **{c: [1.0] for c in OHLCV[:4]}, volume=[1]))
    # The int volume takes the first (forming) bar but refuses the second
    # bar's float row: neither is kept.
    df["volume"] = [150]
    with pytest.raises(TypeError, match="cannot append a float64 column onto a int64 column"):
        df.append(bars(["2021-01-04 09:40", "2021-01-05 09:40"], [(1, 99, 1, 1, 1), (1, 1, 1, 1, 1)]))
    assert rows(df) == before and df.dtypes["volume"] == "int64"
    df.append(bars(["2021-01-04 09:40"], [(1, 99, 1, 1, 1)]))
    assert rows(df) == [[10, 99, 1, 1, 151]]


def test_time_frame_constructor_and_copies_keep_independent_state():
    base = bars(["2021-01-04 09:30"], [(1, 1, 1, 1, 1)])
    df = k.DataFrame(base, time_frame="1d", cumulators={"volume": "max"})
    # No pending bars: the first bar opens a row even on the same day.
    df.append(bars(["2021-01-04 10:00"], [(2, 3, 0, 2, 4)]))
    df.append(bars(["2021-01-04 11:00"], [(5, 5, 5, 5, 3)]))
    assert rows(df) == [[1, 1, 1, 1, 1], [2, 5, 0, 5, 4]]
    assert len(base) == 1

    for clone in (df.copy(), k.DataFrame(df)):
        clone.append(bars(["2021-01-04 12:00"], [(6, 9, 6, 6, 9)]))
        assert rows(clone)[-1] == [2, 9, 0, 6, 9]
        assert rows(df)[-1] == [2, 5, 0, 5, 4]
    df.append(bars(["2021-01-04 12:00"], [(6, 7, 6, 6, 1)]))
    assert rows(df)[-1] == [2, 7, 0, 6, 4]
    # time_frame= on a tf-aware frame starts over with no pending bars.
    again = k.DataFrame(df, time_frame="1d")
    again.append(bars(["2021-01-04 13:00"], [(1, 1, 1, 1, 1)]))
    assert len(again) == 3 and len(df) == 2
    # Other methods return plain frames: appends add rows.
    plain = df.head(2)
    plain.append(bars(["2021-01-04 13:00"], [(1, 1, 1, 1, 1)]))
    assert len(plain) == 3


def test_folds_bucket_in_the_zone_of_the_appended_bars():
    df = bars(["2021-01-04 09:00"], [(1, 1, 1, 1, 1)], tz="Asia/Tokyo").cumulate("1d")
    # 23:30 and 00:30 Tokyo are the same UTC day but two Tokyo days.
    df.append(bars(["2021-01-04 23:30"], [(2, 2, 2, 2, 1)], tz="Asia/Tokyo"))
    df.append(bars(["2021-01-05 00:30"], [(3, 3, 3, 3, 1)], tz="Asia/Tokyo"))
    assert len(df) == 2 and df.tz == "Asia/Tokyo"
    assert labels(df) == ["2021-01-04 09:00", "2021-01-05 00:30"]


def test_cached_directive_columns_follow_folds_and_roll_overs():
    rng = np.random.default_rng(3)
    t = pd.date_range("2021-01-04 09:30", periods=30, freq="20min")
    minute = bars(t, [(c, c + 1, c - 1, c, 1) for c in 100 + np.cumsum(rng.normal(0, 1, 30))])
    df = minute.iloc[:8].cumulate("1h")
    df["ma:3"]
    for i in range(8, 30):
        bar = minute.iloc[i : i + 1]
        df.append(bar)
        if i % 3 == 1:  # a re-sent bar with a new close
            df.append(bars([t[i]], [(1, 1, 1, 1 + i, 1)]))
        got = df["ma:3"].to_numpy()
        close = df.to_pandas()["close"].to_numpy()
        want = np.full(len(close), np.nan)
        want[2:] = np.convolve(close, np.ones(3), "valid") / 3
        np.testing.assert_allclose(got, want, rtol=1e-12, equal_nan=True)
    assert len(df) == 11
