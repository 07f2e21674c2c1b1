"""Candlestick patterns against TA-Lib on 1,000,000 random-walk bars.

Prints the best time of each of the 61 patterns over REPEAT runs, TA-Lib's
in the same run, the ratio ours / TA-Lib (below 1 is faster), whether the
two agree on every row after the warm-up, and the median ratio.
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
REPEAT = 7

# Ours by name; TA-Lib's function is CDL + the name in capitals. The seven
# that take a penetration use the same default on both sides.
NAMES = [
    "2crows", "3blackcrows", "3inside", "3linestrike", "3outside", "3starsinsouth", "3whitesoldiers",
    "abandonedbaby", "advanceblock", "belthold", "breakaway", "closingmarubozu", "concealbabyswall",
    "counterattack", "darkcloudcover", "doji", "dojistar", "dragonflydoji", "engulfing", "eveningdojistar",
    "eveningstar", "gapsidesidewhite", "gravestonedoji", "hammer", "hangingman", "harami", "haramicross",
    "highwave", "hikkake", "hikkakemod", "homingpigeon", "identical3crows", "inneck", "invertedhammer",
    "kicking", "kickingbylength", "ladderbottom", "longleggeddoji", "longline", "marubozu", "matchinglow",
    "mathold", "morningdojistar", "morningstar", "onneck", "piercing", "rickshawman", "risefall3methods",
    "separatinglines", "shootingstar", "shortline", "spinningtop", "stalledpattern", "sticksandwich", "takuri",
    "tasukigap", "thrusting", "tristar", "unique3river", "upsidegap2crows", "xsidegap3methods",
]
PATTERNS = {name: "CDL" + name.upper() for name in NAMES}


def bars(n, seed=1):
    # A random walk of closes; each bar opens near the previous close (a small
    # gap on a third of the bars) and has shadows on most bars, so long and
    # short bodies, doji and gaps all occur.
    rng = np.random.default_rng(seed)
    close = 100.0 + np.cumsum(rng.normal(0.0, 1.0, n))
    open_ = np.r_[100.0, close[:-1]] + rng.normal(0.0, 0.3, n) * (rng.random(n) < 0.3)
    high = np.maximum(open_, close) + rng.exponential(0.5, n) * (rng.random(n) > 0.1)
    low = np.minimum(open_, close) - rng.exponential(0.5, n) * (rng.random(n) > 0.1)
    return open_, high, low, close


def timed(fn):
    fn()
    return best(fn, repeat=REPEAT)


def main():
    o, h, l, c = bars(N)
    only = set(sys.argv[1:])
    ratios = []
    print(f"{'pattern':18s} {'kadmo ms':>10s} {'talib ms':>10s} {'ratio':>7s} {'signals':>8s} {'same':>5s}")
    for name, fn in PATTERNS.items():
        if only and name not in only:
            continue
        peer = getattr(talib, fn)

        def ours(name=name):
            return kt.candle(name, o, h, l, c)

        def theirs(peer=peer):
            return peer(o, h, l, c)

        a, b = timed(ours), timed(theirs)
        ratios.append(a / b)
        x, y = np.asarray(ours()), theirs()
        lb = kt.candle_lookback(name)
        same = bool(np.array_equal(x[lb:], y[lb:].astype(np.float64)))
        print(f"{name:18s} {a * 1e3:10.2f} {b * 1e3:10.2f} {a / b:7.2f} {np.count_nonzero(y):8d} {'yes' if same else 'NO':>5s}")
    print(f"{'median ratio':18s} {'':10s} {'':10s} {statistics.median(ratios):7.2f}")
    print(f"{'worst ratio':18s} {'':10s} {'':10s} {max(ratios):7.2f}")


if __name__ == "__main__":
    main()
