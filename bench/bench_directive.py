"""Directive parsing and directive columns against a no-op call, TA-Lib and NumPy."""

import os
import sys
import time

import numpy as np
import talib

sys.path.insert(0, os.path.dirname(__file__))
from common import best, fmt, report  # noqa: E402

import kadmo_rs as kd  # noqa: E402

D40 = "close > ma:20 & boll.upper:20,2 < high + 1"
print(f"directive of {len(D40)} characters: {D40!r}")


def noop(x):
    return x


N = 200_000
t_hit = best(lambda: [kd.directive_stringify(D40) for _ in range(N)], repeat=5) / N
t_noop = best(lambda: [noop(D40) for _ in range(N)], repeat=5) / N
print(f"directive_stringify, cache hit: {fmt(t_hit)} per call; no-op Python call {fmt(t_noop)} (target < 1 us)")

# Cache misses: every text is new (a different period each time) and the
# per-thread cache is emptied wholesale every 512 entries.
texts = [f"close > ma:{i} & boll.upper:20,2 < high + 1" for i in range(100_000, 100_000 + N)]
t0 = time.perf_counter()
for t in texts:
    kd.directive_stringify(t)
t_miss = (time.perf_counter() - t0) / N
print(f"directive_stringify, cache miss (parse + canonical text + cache insert, from Python): {fmt(t_miss)} "
      f"(parse target < 2 us in C++; this includes the Python call)")

rng = np.random.default_rng(5)
for n in (1_000, 1_000_000):
    close = 100 + np.cumsum(rng.normal(0, 1, n))
    df = kd.DataFrame({"close": close, "high": close + 1, "low": close - 1, "open": close})
    df["ema:20"]
    t = best(lambda: [df["ema:20"] for _ in range(10_000)], repeat=5) / 10_000
    print(f"cached read df['ema:20'], rows {n:>9,}: {fmt(t)} per call (target < 1 us, flat in rows)")

n = 1_000_000
close = 100 + np.cumsum(rng.normal(0, 1, n))
base = kd.DataFrame({"close": close, "high": close + 1, "low": close - 1, "open": close})


def first_read(directive):
    # Each round reads the directive from a fresh copy of the frame: the copy
    # shares the columns and has no cached column, so the read is a first
    # one. Building a new 32 MB frame every round instead would hand the
    # timed read the page faults of memory the allocator gave back meanwhile.
    def run():
        df = kd.DataFrame(base)
        t0 = time.perf_counter()
        df[directive]
        return time.perf_counter() - t0
    return min(run() for _ in range(60))


report("df['ema:20'] first read (evaluate + cache)", first_read("ema:20"),
       best(lambda: np.copy(talib.EMA(close, 20)), repeat=7), "talib.EMA+np.copy", 1.2)
report("df['close > ma:20'] first read", first_read("close > ma:20"),
       best(lambda: close > talib.SMA(close, 20), repeat=7), "numpy+talib.SMA", 1.5)
