"""Cumulation: 1,000,000 one-minute bars to days against pandas resample, and
the per-bar cost of folding appended bars into a tf-aware frame."""

import os
import sys
import time

import numpy as np
import pandas as pd

sys.path.insert(0, os.path.dirname(__file__))
from common import best, fmt, report  # noqa: E402

import kadmo_rs as kd  # noqa: E402

FIELDS = ["open", "high", "low", "close", "volume"]
AGG = {"open": "first", "high": "max", "low": "min", "close": "last", "volume": "sum"}
MINUTE = 60_000_000_000
DAY = 86_400_000_000_000


def columns(n, seed=5):
    rng = np.random.default_rng(seed)
    close = 100 + np.cumsum(rng.normal(0, 0.1, n))
    open_ = close + rng.normal(0, 0.03, n)
    return {
        "open": open_,
        "high": np.maximum(open_, close) + rng.random(n) * 0.1,
        "low": np.minimum(open_, close) - rng.random(n) * 0.1,
        "close": close,
        "volume": rng.random(n) * 1000,
    }


def kadmo_frame(ns, cols, tz=None):
    df = kd.DataFrame({"t": ns.astype("datetime64[ns]"), **cols}).set_index("t")
    return df.tz_convert(tz) if tz else df


def batch(n=1_000_000):
    ns = np.datetime64("2020-01-01T00:00", "ns").astype(np.int64) + np.arange(n, dtype=np.int64) * MINUTE
    cols = columns(n)
    print(f"cumulate {n:,} one-minute bars to 1d (best of 5)")
    for tz in (None, "America/New_York"):
        ours_df = kadmo_frame(ns, cols, tz)
        idx = pd.DatetimeIndex(ns.astype("datetime64[ns]"))
        idx = idx.tz_localize("UTC").tz_convert(tz) if tz else idx
        p = pd.DataFrame(cols, index=idx)
        assert len(ours_df.cumulate("1d")) == len(p.resample("1D").agg(AGG))
        ours = best(lambda: ours_df.cumulate("1d"))
        peer = best(lambda: p.resample("1D").agg(AGG))
        report(f"  cumulate('1d'), index zone {tz or 'UTC'}", ours, peer, "pandas resample.agg", target=1.0)


def fold(n, feed_bars=20_000):
    """Seconds per appended one-minute bar on a 1d tf-aware frame of n rows."""
    start = np.datetime64("1990-01-01T00:00", "ns").astype(np.int64)
    days = start + np.arange(n, dtype=np.int64) * DAY
    df = kd.DataFrame(kadmo_frame(days, columns(n)), time_frame="1d")
    t0 = days[-1] + DAY
    feed_ns = t0 + np.arange(feed_bars, dtype=np.int64) * MINUTE
    cols = columns(feed_bars, seed=9)
    feed = [kadmo_frame(feed_ns[i : i + 1], {f: cols[f][i : i + 1] for f in FIELDS}) for i in range(feed_bars)]
    df.append(feed[0])  # the first append grows every column once
    t = time.perf_counter()
    for bar in feed[1:]:
        df.append(bar)
    return (time.perf_counter() - t) / (feed_bars - 1), len(df)


if __name__ == "__main__":
    batch()
    print("fold one appended one-minute bar into a 1d tf-aware frame (periods of up to 1440 bars)")
    per = {}
    for n in (1_000, 1_000_000):
        per[n], rows = fold(n)
        print(f"  {n:>9,} rows: {fmt(per[n])} per bar ({rows - n} periods added)")
    print(f"  per-bar cost 1e6 / 1e3 rows: {per[1_000_000] / per[1_000]:.2f} (independent of length: ~1)")
