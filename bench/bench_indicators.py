"""Indicator kernels against TA-Lib on 1,000,000 float64 bars.

Prints the best time of each over REPEAT runs (allocation and page faults of
the outputs make single runs noisy) and the ratio ours / TA-Lib (below 1 is
faster), then the timing of sma, rolling max and trima over periods 5..500,
which should not depend on the period.
"""

import os
import statistics
import sys

import numpy as np
import talib

sys.path.insert(0, os.path.dirname(__file__))
from common import best  # noqa: E402

import kadmo_testing as kt  # noqa: E402

N = 1_000_000
REPEAT = 25


def bars(n, seed=1):
    rng = np.random.default_rng(seed)
    close = 100.0 + np.cumsum(rng.normal(0.0, 1.0, n))
    open_ = np.r_[100.0, close[:-1]]
    high = np.maximum(open_, close) + rng.exponential(0.5, n)
    low = np.minimum(open_, close) - rng.exponential(0.5, n)
    return high, low, close


def same_bits(ours, theirs):
    # MACD: three lines on both sides, the first is compared. The stochastics:
    # TA-Lib returns K and D, ours the D line alone.
    if isinstance(ours, tuple):
        a, b = ours[0], theirs[0]
    else:
        a, b = ours, theirs[-1] if isinstance(theirs, tuple) else theirs
    a, b = np.asarray(a), np.asarray(b)
    both = ~np.isnan(a) & ~np.isnan(b)
    return float(np.mean(a[both] == b[both])) if both.any() else float("nan")


def timed(fn):
    fn()
    return best(fn, repeat=REPEAT)


def main():
    h, l, c = bars(N)
    cases = [
        ("sma(30)", lambda: kt.sma(c, 30), lambda: talib.SMA(c, 30)),
        ("ema(30)", lambda: kt.ema(c, 30), lambda: talib.EMA(c, 30)),
        ("wma(30)", lambda: kt.wma(c, 30), lambda: talib.WMA(c, 30)),
        ("dema(30)", lambda: kt.dema(c, 30), lambda: talib.DEMA(c, 30)),
        ("tema(30)", lambda: kt.tema(c, 30), lambda: talib.TEMA(c, 30)),
        ("trima(30)", lambda: kt.trima(c, 30), lambda: talib.TRIMA(c, 30)),
        ("kama(30)", lambda: kt.kama(c, 30), lambda: talib.KAMA(c, 30)),
        ("t3(5)", lambda: kt.t3(c, 5, 0.7), lambda: talib.T3(c, 5, 0.7)),
        # Line, signal and histogram in one call on both sides.
        ("macd", lambda: kt.macd_all(c, 12, 26, 9), lambda: talib.MACD(c, 12, 26, 9)),
        ("atr(14)", lambda: kt.atr(h, l, c, 14), lambda: talib.ATR(h, l, c, 14)),
        ("sar", lambda: kt.sar(h, l, 0.02, 0.2), lambda: talib.SAR(h, l, 0.02, 0.2)),
        ("rsi(14)", lambda: kt.rsi(c, 14), lambda: talib.RSI(c, 14)),
        ("stoch (default, %D)", lambda: kt.stoch_d_default_sma(h, l, c), lambda: talib.STOCH(h, l, c)),
        ("stochrsi (default, %D)", lambda: kt.stochrsi_d_default_sma(c), lambda: talib.STOCHRSI(c)),
        ("rolling max(30)", lambda: kt.rolling_max(c, 30), lambda: talib.MAX(c, 30)),
        ("rolling min(30)", lambda: kt.rolling_min(c, 30), lambda: talib.MIN(c, 30)),
    ]
    ratios = []
    # "same bits": the share of rows where both have a value and the values
    # are identical. At 1.00 the two loops perform the same operations in the
    # same order, so neither can be faster by its arithmetic.
    print(f"{'indicator':24s} {'kadmo ms':>10s} {'talib ms':>10s} {'ratio':>7s} {'same bits':>10s}")
    for name, ours, theirs in cases:
        a, b = timed(ours), timed(theirs)
        ratios.append(a / b)
        print(f"{name:24s} {a * 1e3:10.2f} {b * 1e3:10.2f} {a / b:7.2f} {same_bits(ours(), theirs()):10.2f}")
    print(f"median ratio {statistics.median(ratios):.2f}, worst {max(ratios):.2f}")

    print("\nperiod dependence (ms)")
    print(f"{'period':>8s} {'sma':>8s} {'max':>8s} {'talib MAX':>10s} {'trima':>8s} {'talib TRIMA':>12s}")
    for p in (5, 30, 100, 500):
        print(
            f"{p:8d} {timed(lambda: kt.sma(c, p)) * 1e3:8.2f} {timed(lambda: kt.rolling_max(c, p)) * 1e3:8.2f}"
            f" {timed(lambda: talib.MAX(c, p)) * 1e3:10.2f} {timed(lambda: kt.trima(c, p)) * 1e3:8.2f}"
            f" {timed(lambda: talib.TRIMA(c, p)) * 1e3:12.2f}"
        )


if __name__ == "__main__":
    main()
