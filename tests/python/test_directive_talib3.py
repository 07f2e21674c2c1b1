"""Candlestick patterns, the Hilbert-transform family and MAMA through
directives agree with TA-Lib: the right inputs, lines, arguments and
defaults reach each function, under every alias.

The functions themselves are compared with TA-Lib in their own tests; here
the dispatch is what is checked. TA-Lib writes 0 into the warm-up of its
integer outputs where ours holds NaN, and it starts every line of a
multi-output function at the longest warm-up of all of them; our warm-ups
follow directive_lookback, so values are compared where TA-Lib has one and
the warm-up is checked against the lookback.
"""

import numpy as np
import pytest

import kadmo_rs as k

talib = pytest.importorskip("talib")

RTOL = 1e-9
# The phase-based Hilbert outputs run one shared recursion from bar 12,
# TA-Lib a fresh one from bar 37 for each of them; they meet once that
# start-up transient has decayed.
BURN_IN = 600

# (open, high, low, close) offsets of planted patterns; the last close of
# each is drawn from a range so that it lands on either side of the
# penetration thresholds 0, 0.3 and 0.5.
TEMPLATES = [
    # morning star: close3 against close1 + body1 * penetration
    ([(14, 14.1, 10.9, 11), (10.3, 10.6, 10.0, 10.4), (10.8, None, 10.7, None)], (11.1, 13.8)),
    # evening star
    ([(11, 14.1, 10.9, 14), (14.6, 15.0, 14.4, 14.7), (14.2, 14.3, None, None)], (11.2, 13.9)),
    # dark cloud cover: close2 against close1 - body1 * penetration
    ([(10, 13.1, 9.9, 13), (13.5, 13.6, None, None)], (10.2, 12.9)),
    # abandoned baby (bullish)
    ([(14, 14.1, 10.9, 11), (10.3, 10.5, 10.1, 10.3), (10.8, None, 10.7, None)], (11.1, 13.8)),
    # mat hold: the pullback bars against close1 - body1 * penetration
    ([(10, 14.1, 9.9, 14), (15, 15.1, 14.5, 14.6), (14.3, 14.4, None, None), (14.1, 14.2, None, None),
      (13.8, 16.1, 13.2, 16)], (11.5, 13.9)),
]


def _bars(n=5000, seed=20240614):
    rng = np.random.default_rng(seed)
    rows = []
    pc = 100.0
    while len(rows) < n:
        if rng.random() < 0.05:
            bars, (lo, hi) = TEMPLATES[rng.integers(len(TEMPLATES))]
            base = pc - bars[0][0]
            last = rng.uniform(lo, hi)
            for o, h, low, c in bars:
                c = last if c is None else c
                o, c = base + o, base + c
                h = max(o, c) + 0.05 if h is None else max(base + h, o, c)
                low = min(o, c) - 0.05 if low is None else min(base + low, o, c)
                rows.append((o, h, low, c))
        else:
            kind = rng.choice(3, p=[0.4, 0.4, 0.2])  # long, short, doji
            body = [rng.uniform(1.5, 4), rng.uniform(0.1, 0.6), 0.0][kind]
            o = pc + (rng.normal(0, 1.5) if rng.random() < 0.25 else rng.normal(0, 0.1))
            c = o + body * (1 if rng.random() < 0.5 else -1)
            wick = lambda: 0.0 if rng.random() < 0.25 else rng.exponential(0.6)
            rows.append((o, max(o, c) + wick(), min(o, c) - wick(), c))
        pc = rows[-1][3]
    return tuple(np.array(col[:n]) for col in zip(*rows))


O, H, L, C = _bars()
V = np.round(np.random.default_rng(5).uniform(1e3, 1e5, len(C)))
DF = k.DataFrame({"open": O, "high": H, "low": L, "close": C, "volume": V})


def check(directive, want, skip=0, exact=False):
    got = DF[directive].to_numpy()
    want = np.asarray(want, dtype=np.float64)
    assert got.shape == want.shape, directive
    lb = k.directive_lookback(directive)
    assert np.isnan(got[:lb]).all() and not np.isnan(got[lb:]).any(), directive
    start = max(lb, int(np.argmax(~np.isnan(want))), skip)
    if exact:
        np.testing.assert_array_equal(got[start:], want[start:], err_msg=directive)
    else:
        np.testing.assert_allclose(got[start:], want[start:], rtol=RTOL, atol=1e-9, err_msg=directive)


# ---- candlestick patterns ----

def cdl(name, *pen):
    return getattr(talib, "CDL" + name.upper())(O, H, L, C, *pen).astype(np.float64)


PATTERNS = [
    ("style.doji", cdl("doji")),
    ("cdl.doji", cdl("doji")),
    ("CDL.hammer", cdl("hammer")),
    ("style.engulfing", cdl("engulfing")),
    ("cdl.engulfing", cdl("engulfing")),
    ("style.3outside", cdl("3outside")),
    ("style.hikkake", cdl("hikkake")),
    ("style.harami", cdl("harami")),
    ("style.spinningtop", cdl("spinningtop")),
    ("style.shootingstar", cdl("shootingstar")),
    ("style.3blackcrows", cdl("3blackcrows")),
    # penetration: default, written default, overrides, alias
    ("style.morningstar", cdl("morningstar", 0.3)),
    ("style.morningstar:0.3", cdl("morningstar", 0.3)),
    ("style.morningstar:0.5", cdl("morningstar", 0.5)),
    ("cdl.morningstar:0", cdl("morningstar", 0.0)),
    ("style.eveningstar", cdl("eveningstar", 0.3)),
    ("style.eveningstar:0.6", cdl("eveningstar", 0.6)),
    ("style.morningdojistar:0.1", cdl("morningdojistar", 0.1)),
    ("style.eveningdojistar", cdl("eveningdojistar", 0.3)),
    ("style.darkcloudcover", cdl("darkcloudcover", 0.5)),
    ("cdl.darkcloudcover:0.2", cdl("darkcloudcover", 0.2)),
    ("style.abandonedbaby", cdl("abandonedbaby", 0.3)),
    ("style.abandonedbaby:0.8", cdl("abandonedbaby", 0.8)),
    ("style.mathold", cdl("mathold", 0.5)),
    ("style.mathold:0.1", cdl("mathold", 0.1)),
]


@pytest.mark.parametrize("directive,want", PATTERNS, ids=[p[0] for p in PATTERNS])
def test_patterns_agree_with_talib(directive, want):
    check(directive, want, exact=True)


def test_pattern_data_makes_the_penetration_matter():
    # Otherwise the cases above could not tell a dropped argument from a
    # passed one.
    for name, a, b in [("morningstar", 0.3, 0.5), ("morningstar", 0.3, 0.0), ("darkcloudcover", 0.5, 0.2),
                       ("eveningstar", 0.3, 0.6), ("mathold", 0.5, 0.1)]:
        assert (cdl(name, a) != 0).sum() > 5, name
        assert (cdl(name, a) != cdl(name, b)).sum() > 0, (name, a, b)
    for name in ["doji", "hammer", "engulfing", "3outside", "hikkake", "harami", "abandonedbaby"]:
        assert (cdl(name, *([0.3] if name == "abandonedbaby" else [])) != 0).sum() > 3, name


def test_pattern_inputs_come_from_their_series_slots():
    # Slots are open, high, low, close; a swapped slot is what TA-Lib gets
    # from the same swap.
    got = DF["style.engulfing@close,,,open"].to_numpy()
    want = talib.CDLENGULFING(C, H, L, O).astype(np.float64)
    np.testing.assert_array_equal(got[2:], want[2:])
    assert not np.array_equal(got[2:], DF["style.engulfing"].to_numpy()[2:])


def test_pattern_names_and_lookbacks():
    assert DF["style.morningstar:0.3"].name == "style.morningstar"
    assert DF["style.morningstar:0.30"].name == "style.morningstar:0.30"
    # cdl is no table name: its canonical text keeps every argument.
    assert DF["cdl.morningstar:0.3"].name == "cdl.morningstar:0.3"
    assert DF["CDL.doji"].name == "cdl.doji"
    for text, lb in [("style.morningstar", 12), ("cdl.engulfing", 2), ("style.hikkake", 5),
                     ("style.3blackcrows", 13), ("style.mathold:0.1", 14), ("style.nosuch", 0)]:
        assert k.directive_lookback(text) == lb, text


@pytest.mark.parametrize("directive,message", [
    ("style.hammer:0.5", 'command "style" accepts at most 0 argument(s), got 1'),
    ("style.morningstar:0.3,1", 'command "style" accepts at most 1 argument(s), got 2'),
    ("style.morningstar:x", "expected a number, got 'x'"),
    ("style.morningstar:-0.5", "penetration must be a finite number >= 0, got '-0.5'"),
    ("cdl.darkcloudcover:nan", "penetration must be a finite number >= 0, got 'nan'"),
    ("cdl.Doji", 'command "style" has no sub-command "Doji"'),
    ("style.nosuch", 'command "style" has no sub-command "nosuch"'),
    ("mama:1.5", "mama fast_limit must be greater than 0 and at most 1, got '1.5'"),
    ("mama.fama:,0", "mama slow_limit must be greater than 0 and at most 1, got '0'"),
    ("mama:x", "expected a number, got 'x'"),
    ("mama.x", 'command "mama" has no sub-command "x"'),
    ("ht_sine:1", 'command "ht_sine" accepts at most 0 argument(s), got 1'),
    ("ht_phasor.Q", 'command "ht_phasor" has no sub-command "Q"'),
])
def test_errors(directive, message):
    df = k.DataFrame({"open": O[:50], "high": H[:50], "low": L[:50], "close": C[:50]})
    with pytest.raises(k.DirectiveValueError) as e:
        df[directive]
    assert str(e.value) == message
    assert directive not in df.columns


# ---- Hilbert family and MAMA ----

HT_SINE = talib.HT_SINE(C)
HT_PHASOR = talib.HT_PHASOR(C)

# (directive, TA-Lib's values, rows to skip for the start-up transient)
HILBERT = [
    ("ht_dcperiod", talib.HT_DCPERIOD(C), 0),
    ("ht_dcperiod@high", talib.HT_DCPERIOD(H), 0),
    ("ht_phasor", HT_PHASOR[0], 0),
    ("ht_phasor.inphase", HT_PHASOR[0], 0),
    ("ht_phasor.i", HT_PHASOR[0], 0),
    ("ht_phasor.quadrature", HT_PHASOR[1], 0),
    ("ht_phasor.quad", HT_PHASOR[1], 0),
    ("ht_phasor.q", HT_PHASOR[1], 0),
    ("mama", talib.MAMA(C, 0.5, 0.05)[0], 0),
    ("mama.mama", talib.MAMA(C, 0.5, 0.05)[0], 0),
    ("mama.fama", talib.MAMA(C, 0.5, 0.05)[1], 0),
    ("mama:0.3,0.02", talib.MAMA(C, 0.3, 0.02)[0], 0),
    ("mama.fama:,0.1", talib.MAMA(C, 0.5, 0.1)[1], 0),
    ("mama:0.25@low", talib.MAMA(L, 0.25, 0.05)[0], 0),
    ("ht_dcphase", talib.HT_DCPHASE(C), BURN_IN),
    ("ht_sine", HT_SINE[0], BURN_IN),
    ("ht_sine.sine", HT_SINE[0], BURN_IN),
    ("ht_sine.leadsine", HT_SINE[1], BURN_IN),
    ("ht_sine.lead", HT_SINE[1], BURN_IN),
    ("ht_trendline", talib.HT_TRENDLINE(C), BURN_IN),
    ("ht_trendline@open", talib.HT_TRENDLINE(O), BURN_IN),
    ("ht_trendmode", talib.HT_TRENDMODE(C).astype(np.float64), BURN_IN),
    # ma_type 7: the MAMA line with limits 0.5 and 0.05, whatever the period
    ("ma:10,7", talib.MA(C, 10, 7), 0),
    ("ma:50,7", talib.MA(C, 10, 7), 0),
    ("apo:5,20,7", talib.APO(C, 5, 20, 7), 0),
    ("ppo:12,26,7", talib.PPO(C, 12, 26, 7), 0),
    ("stoch.k:5,3,7", talib.STOCH(H, L, C, 5, 3, 7, 3, 0)[0], 0),
    ("stoch.d:5,3,0,3,7", talib.STOCH(H, L, C, 5, 3, 0, 3, 7)[1], 0),
    ("stochf.d:5,3,7", talib.STOCHF(H, L, C, 5, 3, 7)[1], 0),
    ("macdext:12,7,26,0", talib.MACDEXT(C, 12, 7, 26, 0, 9, 0)[0], 0),
    ("macdext.signal:12,0,26,0,9,7", talib.MACDEXT(C, 12, 0, 26, 0, 9, 7)[1], 0),
    ("mavp:2,30,7@,volume", talib.MAVP(C, V, 2, 30, 7), 0),
]


@pytest.mark.parametrize("directive,want,skip", HILBERT, ids=[h[0] for h in HILBERT])
def test_hilbert_family_agrees_with_talib(directive, want, skip):
    check(directive, want, skip=skip)


def test_hilbert_names_and_lookbacks():
    for text, name in [("mama.mama", "mama"), ("mama.fama:0.5,0.05", "mama.fama"), ("ht_sine.lead", "ht_sine.leadsine"),
                       ("ht_sine.sine", "ht_sine"), ("ht_phasor.q", "ht_phasor.quadrature"),
                       ("HT_PHASOR.i", "ht_phasor"), ("ma:10,7", "ma:10,7")]:
        assert DF[text].name == name, text
    for text, lb in [("mama", 32), ("mama.fama", 32), ("ht_dcperiod", 32), ("ht_phasor.q", 32), ("ht_dcphase", 63),
                     ("ht_sine.lead", 63), ("ht_trendline", 63), ("ht_trendmode", 63), ("ma:10,7", 32),
                     ("stoch.k:5,3,7", 36)]:
        assert k.directive_lookback(text) == lb, text


def test_short_frames_are_all_nan():
    df = k.DataFrame({"open": O[:40], "high": H[:40], "low": L[:40], "close": C[:40]})
    for d in ["ht_dcphase", "ht_sine.lead", "ht_trendline", "ht_trendmode"]:
        assert np.isnan(df[d].to_numpy()).all(), d
    for d in ["mama", "ht_dcperiod", "ht_phasor.q"]:
        v = df[d].to_numpy()
        assert np.isnan(v[:32]).all() and not np.isnan(v[32:]).any(), d
    empty = k.DataFrame({"open": O[:0], "high": H[:0], "low": L[:0], "close": C[:0]})
    for d in ["mama", "ht_trendmode", "style.morningstar", "ma:5,7"]:
        assert len(empty[d].to_numpy()) == 0, d
