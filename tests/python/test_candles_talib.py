"""Agreement of the 61 candlestick patterns with TA-Lib's CDL functions.

The recognisers share TA-Lib's names, candle settings and comparisons, so
every output after the warm-up must equal TA-Lib's integer exactly. TA-Lib
writes 0 into the warm-up where ours holds NaN; the warm-up is checked against
the lookback instead.

Plain random walks rarely show the longer patterns, so the bars come from a
palette of shapes (long, short, doji and shaven bodies, gaps, inside bars)
with hand-made pattern templates planted at random, scaled and jittered so
that some pass and some just miss; one copy sits on a quarter-point grid so
that ties with the thresholds (the <= / < edges) happen often.
"""

import numpy as np
import pytest

talib = pytest.importorskip("talib")
kt = pytest.importorskip("kadmo_testing")

NAMES = [
    "2crows", "3blackcrows", "3inside", "3linestrike", "3outside", "3starsinsouth",
    "3whitesoldiers", "abandonedbaby", "advanceblock", "belthold", "breakaway",
    "closingmarubozu", "concealbabyswall", "counterattack", "darkcloudcover", "doji",
    "dojistar", "dragonflydoji", "engulfing", "eveningdojistar", "eveningstar",
    "gapsidesidewhite", "gravestonedoji", "hammer", "hangingman", "harami", "haramicross",
    "highwave", "hikkake", "hikkakemod", "homingpigeon", "identical3crows", "inneck",
    "invertedhammer", "kicking", "kickingbylength", "ladderbottom", "longleggeddoji",
    "longline", "marubozu", "matchinglow", "mathold", "morningdojistar", "morningstar",
    "onneck", "piercing", "rickshawman", "risefall3methods", "separatinglines",
    "shootingstar", "shortline", "spinningtop", "stalledpattern", "sticksandwich",
    "takuri", "tasukigap", "thrusting", "tristar", "unique3river", "upsidegap2crows",
    "xsidegap3methods",
]
PENETRATION = {"abandonedbaby", "darkcloudcover", "eveningdojistar", "eveningstar",
               "mathold", "morningdojistar", "morningstar"}

# (open, high, low, close) relative to the first open; each satisfies its
# pattern on typical palette averages.
TEMPLATES = [
    # 3 stars in the south
    [(10, 10.1, 3.5, 7), (8, 8.1, 5, 6.5), (6.2, 6.2, 5.9, 5.9)],
    # concealing baby swallow
    [(20, 20, 17, 17), (17, 17, 14, 14), (13, 14.5, 11.8, 12), (14.8, 15, 11, 11.2)],
    # mat hold
    [(10, 14.1, 9.9, 14), (15, 15.1, 14.5, 14.6), (14.3, 14.4, 13.8, 13.9),
     (14.1, 14.2, 13.6, 13.7), (13.8, 16.1, 13.7, 16)],
    # breakaway (bearish)
    [(10, 13.1, 9.9, 13), (13.5, 14.2, 13.4, 14), (14.1, 14.6, 13.9, 14.4),
     (14.5, 15.1, 14.3, 14.9), (14.8, 14.9, 13.1, 13.2)],
    # breakaway (bullish)
    [(13, 13.1, 9.9, 10), (9.5, 9.6, 8.8, 9), (8.9, 9.1, 8.4, 8.6),
     (8.5, 8.7, 7.9, 8.1), (8.2, 9.9, 8.1, 9.8)],
    # two crows, upside gap two crows
    [(10, 13.1, 9.9, 13), (14.5, 14.6, 13.5, 13.6), (14, 14.1, 11.4, 11.5)],
    [(10, 13.1, 9.9, 13), (14, 14.1, 13.5, 13.6), (14.2, 14.3, 13.1, 13.2)],
    # three black crows (after a white bar), three white soldiers
    [(19, 20.5, 18.9, 20), (20.2, 20.3, 18.5, 18.5), (19.5, 19.6, 17.5, 17.5), (18.5, 18.6, 16.5, 16.5)],
    [(10, 12, 9.8, 12), (11.5, 13.5, 11.4, 13.5), (13, 15, 12.9, 15)],
    # kicking
    [(12, 12, 10, 10), (12.5, 14.5, 12.5, 14.5)],
    [(10, 12, 10, 12), (9.5, 9.5, 7, 7)],
    # abandoned baby
    [(14, 14.1, 10.9, 11), (10.3, 10.5, 10.1, 10.3), (10.8, 13.6, 10.7, 13.5)],
    [(11, 14.1, 10.9, 14), (14.7, 14.9, 14.5, 14.7), (14.2, 14.3, 11.4, 11.5)],
    # ladder bottom
    [(15, 15.1, 13.4, 13.5), (14, 14.1, 12.4, 12.5), (13, 13.1, 11.4, 11.5),
     (12, 12.8, 11.3, 11.4), (12.2, 13.6, 12.1, 13.5)],
    # rising three methods, falling three methods
    [(10, 13.6, 9.9, 13.5), (13.2, 13.3, 12.7, 12.8), (12.9, 13, 12.3, 12.4),
     (12.5, 12.6, 11.9, 12), (12.2, 15.1, 12.1, 15)],
    [(15, 15.1, 11.4, 11.5), (11.8, 12.3, 11.7, 12.2), (12.1, 12.7, 12, 12.6),
     (12.5, 13.1, 12.4, 13), (12.8, 12.9, 9.9, 10)],
    # three-line strike
    [(10, 11.6, 9.9, 11.5), (11, 12.6, 10.9, 12.5), (12, 13.6, 11.9, 13.5), (13.8, 13.9, 9.4, 9.5)],
    # modified hikkake and its confirmation
    [(11, 20, 10, 19), (17, 18, 12, 12.2), (14, 17, 13, 16), (15, 16, 12.5, 13), (14, 18, 13.9, 17.5)],
]


def palette(n, seed, grid=False):
    rng = np.random.default_rng(seed)
    rows = []
    pc, ph, pl = 100.0, 101.0, 99.0
    while len(rows) < n:
        if rng.random() < 0.04:
            t = TEMPLATES[rng.integers(len(TEMPLATES))]
            scale = rng.uniform(0.6, 1.4)
            base = pc + rng.normal(0, 0.5) - t[0][0] * scale
            for bar in t:
                o, h, lo, c = (base + v * scale + rng.normal(0, 0.04) for v in bar)
                rows.append((o, max(h, o, c), min(lo, o, c), c))
        elif rng.random() < 0.12:  # inside bar
            span = ph - pl
            lo = pl + span * rng.uniform(0.05, 0.4)
            hi = ph - span * rng.uniform(0.05, 0.4)
            a, b = rng.uniform(lo, hi, 2)
            rows.append((a, hi, lo, b))
        else:
            kind = rng.choice(4, p=[0.35, 0.3, 0.2, 0.15])  # long, short, doji, shaven
            body = [rng.uniform(1.5, 4), rng.uniform(0.1, 0.6), 0.0, rng.uniform(1.5, 4)][kind]
            move = rng.choice(4, p=[0.4, 0.25, 0.2, 0.15])
            o = [pc, pc + rng.uniform(0.3, 3), pc - rng.uniform(0.3, 3), pc + rng.normal(0, 0.8)][move]
            c = o + body * (1 if rng.random() < 0.5 else -1)
            wick = lambda: rng.choice([0.0, rng.uniform(0, 0.3), rng.uniform(0.5, 3)])
            up, dn = (0.0, 0.0) if kind == 3 else (wick(), wick())
            rows.append((o, max(o, c) + up, min(o, c) - dn, c))
        pc, ph, pl = rows[-1][3], rows[-1][1], rows[-1][2]
    o, h, lo, c = (np.array(col[:n]) for col in zip(*rows))
    if grid:
        o, h, lo, c = (np.round(x * 4) / 4 for x in (o, h, lo, c))
        h = np.maximum.reduce([h, o, c])
        lo = np.minimum.reduce([lo, o, c])
    return o, h, lo, c


def doji_walk(n, seed):
    """A random walk with frequent dojis, gaps and shaven ends."""
    rng = np.random.default_rng(seed)
    gap = np.where(rng.random(n) < 0.25, rng.normal(0, 1.5, n), rng.normal(0, 0.1, n))
    move = np.where(rng.random(n) < 0.15, 0.0, rng.normal(0, 1.0, n))
    o = np.empty(n)
    c = np.empty(n)
    prev = 100.0
    for i in range(n):
        o[i] = prev + gap[i]
        c[i] = prev = o[i] + move[i]
    tails = lambda: np.where(rng.random(n) < 0.25, 0.0, rng.exponential(0.6, n))
    return o, np.maximum(o, c) + tails(), np.minimum(o, c) - tails(), c


DATASETS = {
    "palette": palette(6000, 11),
    "palette_grid": palette(6000, 12, grid=True),
    "doji_walk": doji_walk(4000, 13),
}


def talib_fn(name):
    return getattr(talib, "CDL" + name.upper())


@pytest.mark.parametrize("name", NAMES)
def test_pattern_agrees_with_talib(name):
    lb = kt.candle_lookback(name)
    for label, (o, h, lo, c) in DATASETS.items():
        ours = kt.candle(name, o, h, lo, c)
        want = talib_fn(name)(o, h, lo, c).astype(float)
        assert np.isnan(ours[:lb]).all(), label
        assert not np.isnan(ours[lb:]).any(), label
        bad = np.nonzero(ours[lb:] != want[lb:])[0]
        assert bad.size == 0, f"{label}: first difference at {bad[0] + lb}: {ours[bad[0] + lb]} vs {want[bad[0] + lb]}"


def test_every_pattern_occurs_in_the_data():
    # Agreement on all-zero output would prove little.
    for name in NAMES:
        hits = sum(np.count_nonzero(talib_fn(name)(*d)) for d in DATASETS.values())
        assert hits >= 3, name


def test_lookback_matches_talib():
    from talib import abstract

    for name in NAMES:
        fn = abstract.Function("CDL" + name.upper())
        assert kt.candle_lookback(name) == fn.lookback, name


@pytest.mark.parametrize("name", sorted(PENETRATION))
@pytest.mark.parametrize("penetration", [0.0, 0.1, 0.8])
def test_penetration_is_passed_through(name, penetration):
    o, h, lo, c = DATASETS["palette"]
    lb = kt.candle_lookback(name)
    ours = kt.candle(name, o, h, lo, c, penetration)
    want = talib_fn(name)(o, h, lo, c, penetration=penetration).astype(float)
    np.testing.assert_array_equal(ours[lb:], want[lb:])


def test_hikkake_confirmations_occur():
    # The +-200 branch must be exercised, not only the pattern bars.
    o, h, lo, c = DATASETS["palette"]
    for name in ("hikkake", "hikkakemod"):
        assert np.any(np.abs(talib_fn(name)(o, h, lo, c)) == 200), name


def test_unknown_name_is_rejected():
    x = np.ones(20)
    with pytest.raises(ValueError):
        kt.candle("Doji", x, x, x, x)
    assert kt.candle_lookback("3BlackCrows") is None
