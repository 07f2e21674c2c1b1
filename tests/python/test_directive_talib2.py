"""Momentum, volume and window-position indicators through directives agree
with TA-Lib on random-walk bars (rtol 1e-9), and cached position columns keep
their numbering when the frame is cut from the front and extended."""

import numpy as np
import pytest

import kadmo_rs as k
from kadmo_test_helpers import ohlc_walk

talib = pytest.importorskip("talib")

RTOL = 1e-9


def _bars(n=4000, seed=20240613):
    rng = np.random.default_rng(seed)
    open_, high, low, close = ohlc_walk(rng, n)
    volume = np.round(rng.uniform(1e3, 1e5, n))
    return open_, high, low, close, volume


O, H, L, C, VOL = _bars()
DF = k.DataFrame({"open": O, "high": H, "low": L, "close": C, "volume": VOL})


def _index(values, n):
    # TA-Lib writes 0 on the warm-up rows of its integer positions; here they
    # are NaN like every other warm-up.
    out = values.astype(np.float64)
    out[: n - 1] = np.nan
    return out


# (directive, TA-Lib's values[, absolute tolerance]). A running window sum
# leaves a rounding residue where the true sum is 0 (a window of only falling
# bars); the two libraries' residues differ, so the sum-based ratios also take
# an absolute tolerance of 1e-9 on their 0..100 scale.
CASES = [
    ("aroon.up", talib.AROON(H, L, 14)[1]),
    ("aroon.down:25", talib.AROON(H, L, 25)[0]),
    ("aroonosc", talib.AROONOSC(H, L, 14)),
    ("aroonosc:5", talib.AROONOSC(H, L, 5)),
    ("bop", talib.BOP(O, H, L, C)),
    ("cci", talib.CCI(H, L, C, 14)),
    ("cci:40", talib.CCI(H, L, C, 40)),
    ("imi", talib.IMI(O, C, 14)),
    ("mfi", talib.MFI(H, L, C, VOL, 14), 1e-9),
    ("mfi:5", talib.MFI(H, L, C, VOL, 5), 1e-9),
    ("mom", talib.MOM(C, 10)),
    ("mom:1", talib.MOM(C, 1)),
    ("roc", talib.ROC(C, 10)),
    ("rocp:3", talib.ROCP(C, 3)),
    ("rocr", talib.ROCR(C, 10)),
    ("rocr100:20", talib.ROCR100(C, 20)),
    ("trix", talib.TRIX(C, 30)),
    ("trix:5", talib.TRIX(C, 5)),
    ("willr", talib.WILLR(H, L, C, 14)),
    ("willr:3", talib.WILLR(H, L, C, 3)),
    # TA-Lib sorts the three periods (shortest weighted 4); here the weights
    # follow the argument order, so only ascending periods are compared.
    ("ultosc", talib.ULTOSC(H, L, C, 7, 14, 28)),
    ("ultosc:2,5,9", talib.ULTOSC(H, L, C, 2, 5, 9)),
    ("obv", talib.OBV(C, VOL)),
    ("ad", talib.AD(H, L, C, VOL)),
    ("adosc", talib.ADOSC(H, L, C, VOL, 3, 10)),
    ("adosc:5,20", talib.ADOSC(H, L, C, VOL, 5, 20)),
    ("sum", talib.SUM(C, 30)),
    ("sum:7", talib.SUM(C, 7)),
    ("maxindex", _index(talib.MAXINDEX(C, 30), 30)),
    ("minindex:9", _index(talib.MININDEX(C, 9), 9)),
    ("minmaxindex.max:12", _index(talib.MINMAXINDEX(C, 12)[1], 12)),
    ("minmaxindex.min:12", _index(talib.MINMAXINDEX(C, 12)[0], 12)),
]


@pytest.mark.parametrize("case", CASES, ids=[c[0] for c in CASES])
def test_agrees_with_talib(case):
    directive, want, atol = case if len(case) == 3 else (*case, 0)
    got = DF[directive].to_numpy()
    assert got.shape == want.shape
    # same warm-up, then the values
    np.testing.assert_array_equal(np.isnan(got), np.isnan(want))
    np.testing.assert_allclose(got, want, rtol=RTOL, atol=atol, equal_nan=True)


def test_aroon_lines_and_bop_edges():
    up = DF["aroon.up"].to_numpy()
    down = DF["aroon.down"].to_numpy()
    np.testing.assert_allclose(DF["aroonosc"].to_numpy(), up - down, atol=1e-9)
    flat = k.DataFrame({"open": [1.0, 2.0], "high": [3.0, 2.0], "low": [1.0, 2.0], "close": [2.0, 2.0]})
    np.testing.assert_array_equal(flat["bop"].to_numpy(), [0.5, 0.0])


def _frame(lo, hi):
    return k.DataFrame({"open": O[lo:hi], "high": H[lo:hi], "low": L[lo:hi], "close": C[lo:hi],
                        "volume": VOL[lo:hi]})


POSITIONS = ["maxindex:5", "minindex:8", "minmaxindex.max:6", "minmaxindex.min"]


@pytest.mark.parametrize("cut", ["iloc", "tail", "slice"])
def test_positions_keep_their_numbering_after_a_cut(cut):
    # A cached position column counts rows of the data it was computed over;
    # after rows are cut from the front and bars appended, the new rows count
    # the same way, so the whole column equals positions over the uncut data.
    df = _frame(0, 300)
    for d in POSITIONS:
        df[d]
    if cut == "iloc":
        part = df.iloc[40:]
    elif cut == "tail":
        part = df.tail(230)
    else:
        part = df[70:]
    start = 300 - part.shape[0]
    at = 300
    for step in (1, 1, 5, 17, 2):
        part.append(_frame(at, at + step))
        at += step
        for d in POSITIONS[::2]:
            part[d]
    part.fulfill()
    whole = _frame(0, at)
    for d in POSITIONS:
        got = part[d].to_numpy()
        want = whole[d].to_numpy()[start:]
        np.testing.assert_array_equal(got, want, err_msg=d)


def test_head_keeps_positions_and_refreshes():
    df = _frame(0, 200)
    df["maxindex:5"]
    part = df.head(150)
    part.append(_frame(150, 160))
    np.testing.assert_array_equal(part["maxindex:5"].to_numpy(), _frame(0, 160)["maxindex:5"].to_numpy())


def test_signal_tools_through_directives():
    df = k.DataFrame({"open": [1.0, 2.0, 3.0, 3.0, 2.0, 1.0], "close": [2.0, 3.0, 3.0, 4.0, 5.0, 0.5]})
    np.testing.assert_array_equal(df["style:bullish"].to_numpy(), [True, True, False, True, True, False])
    np.testing.assert_array_equal(df["cdl.bearish"].to_numpy(), [False, False, False, False, False, True])
    np.testing.assert_array_equal(df["repeat:2@(style.bullish)"].to_numpy(),
                                  [False, True, False, False, True, False])
    np.testing.assert_array_equal(df["increase:2"].to_numpy(), [False, False, False, False, True, False])
    np.testing.assert_allclose(df["change:3"].to_numpy(), [np.nan, np.nan, 0.5, 1 / 3, 5 / 3 - 1, 0.5 / 4 - 1],
                               rtol=1e-12, equal_nan=True)
    with pytest.raises(k.DirectiveValueError, match="style should be 'bullish' or 'bearish', got 'up'"):
        df["style:up"]


@pytest.mark.parametrize("text", ["mom", "mom:5", "roc:3", "rocp", "rocr:7", "rocr100:2"])
def test_refresh_shortcut_matches_the_batch(text):
    # One appended bar takes the single-row shortcut; two take it as a tail.
    df = _frame(0, 100)
    df[text]
    df.append(_frame(100, 101))
    df[text]
    df.append(_frame(101, 103))
    got = df[text].to_numpy()
    want = _frame(0, 103)[text].to_numpy()
    assert np.array_equal(got, want, equal_nan=True)
