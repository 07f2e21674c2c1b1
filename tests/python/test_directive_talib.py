"""Directional movement, bands, statistics and price transforms through
directives agree with TA-Lib on random-walk bars.

Values are compared with rtol 1e-9. Where a value is a small difference of
large running sums (variance, slope, correlation) the two libraries' roundings
differ by more than that relative to the value itself, so those also take an
absolute tolerance of 1e-9 (the inputs are prices near 100).
"""

import numpy as np
import pytest

import kadmo_rs as k
from kadmo_test_helpers import ohlc_walk

talib = pytest.importorskip("talib")

RTOL = 1e-9


def _bars(n=4000, seed=20240612):
    rng = np.random.default_rng(seed)
    open_, high, low, close = ohlc_walk(rng, n)
    spy = 50.0 + np.cumsum(rng.normal(0.0, 0.5, n)) + 0.3 * (close - 100.0)
    return open_, high, low, close, spy


O, H, L, C, SPY = _bars()
DF = k.DataFrame({"open": O, "high": H, "low": L, "close": C, "spy": SPY})

# (directive, TA-Lib's values, absolute tolerance)
CASES = [
    ("plus_dm", talib.PLUS_DM(H, L, 14), 0),
    ("minus_dm:5", talib.MINUS_DM(H, L, 5), 0),
    ("plus_di", talib.PLUS_DI(H, L, C, 14), 0),
    ("minus_di:7", talib.MINUS_DI(H, L, C, 7), 0),
    ("dx", talib.DX(H, L, C, 14), 0),
    ("dx:3", talib.DX(H, L, C, 3), 0),
    ("adx", talib.ADX(H, L, C, 14), 0),
    ("adx:30", talib.ADX(H, L, C, 30), 0),
    ("adxr", talib.ADXR(H, L, C, 14), 0),
    ("adxr:5", talib.ADXR(H, L, C, 5), 0),
    ("boll", talib.BBANDS(C, 20, 2, 2, 0)[1], 0),
    ("boll.upper", talib.BBANDS(C, 20, 2, 2, 0)[0], 0),
    ("boll.lower:10,1.5", talib.BBANDS(C, 10, 1.5, 1.5, 0)[2], 0),
    ("linearreg", talib.LINEARREG(C, 14), 0),
    ("linearreg_intercept:9", talib.LINEARREG_INTERCEPT(C, 9), 0),
    ("tsf:20", talib.TSF(C, 20), 0),
    ("linearreg_slope", talib.LINEARREG_SLOPE(C, 14), 1e-9),
    ("linearreg_angle:9", talib.LINEARREG_ANGLE(C, 9), 1e-7),  # the slope's tolerance, in degrees
    ("var", talib.VAR(C, 5), 1e-9),
    ("var:30", talib.VAR(C, 30), 1e-9),
    ("stddev", talib.STDDEV(C, 5, 1.0), 1e-9),
    ("stddev:10,2.5", talib.STDDEV(C, 10, 2.5), 1e-9),
    ("beta@,spy", talib.BETA(C, SPY, 5), 1e-9),
    ("beta:20@spy,close", talib.BETA(SPY, C, 20), 1e-9),
    ("correl@,spy", talib.CORREL(C, SPY, 30), 1e-9),
    ("correl:8@high,low", talib.CORREL(H, L, 8), 1e-9),
    ("avgprice", talib.AVGPRICE(O, H, L, C), 0),
    ("medprice", talib.MEDPRICE(H, L), 0),
    ("typprice", talib.TYPPRICE(H, L, C), 0),
    ("wclprice", talib.WCLPRICE(H, L, C), 0),
]


@pytest.mark.parametrize("directive,want,atol", CASES, ids=[c[0] for c in CASES])
def test_agrees_with_talib(directive, want, atol):
    got = DF[directive].to_numpy()
    assert got.shape == want.shape
    # Same warm-up, and the reported lookback is that warm-up.
    np.testing.assert_array_equal(np.isnan(got), np.isnan(want))
    assert int(np.argmax(~np.isnan(got))) == k.directive_lookback(directive)
    np.testing.assert_allclose(got, want, rtol=RTOL, atol=atol, equal_nan=True)


def test_dm_with_period_one():
    # With n = 1 the sum is seeded with 0 at row 0 (lookback n - 1 = 0) where
    # TA-Lib starts at row 1; from row 1 on both are the one-row movements.
    for directive, want in [("plus_dm:1", talib.PLUS_DM(H, L, 1)), ("minus_dm:1", talib.MINUS_DM(H, L, 1))]:
        got = DF[directive].to_numpy()
        assert got[0] == 0.0
        np.testing.assert_allclose(got[1:], want[1:], rtol=RTOL, err_msg=directive)


def test_hv_against_numpy():
    # TA-Lib has no historical volatility: the sample deviation of log returns
    # over windows of n returns, annualised, computed here with NumPy.
    n = 20
    r = np.log(C[1:] / C[:-1])
    want = np.full(len(C), np.nan)
    for t in range(n, len(C)):
        want[t] = np.std(r[t - n:t], ddof=1)
    for directive, scale in [("hv:20", np.sqrt(252)), ("hv:20,1h", np.sqrt(252 * 24)),
                             ("hv:20,15m,365", np.sqrt(365 * 96)), ("hv:20,90s", np.sqrt(252 * 1440))]:
        got = DF[directive].to_numpy()
        np.testing.assert_allclose(got, want * scale, rtol=1e-8, equal_nan=True, err_msg=directive)


def test_accbands_against_numpy():
    # TA-Lib's ACCBANDS divides without the zero guard; on these prices the
    # guard never applies, so the bands are compared with a NumPy rendering.
    n = 20
    f = (H - L) * 4 / (H + L)
    upper = np.convolve(H * (f + 1), np.ones(n) / n, "valid")
    lower = np.convolve(L * (1 - f), np.ones(n) / n, "valid")
    middle = np.convolve(C, np.ones(n) / n, "valid")
    for directive, want in [("accbands.upper", upper), ("accbands.lower", lower), ("accbands", middle)]:
        got = DF[directive].to_numpy()
        assert np.isnan(got[: n - 1]).all()
        np.testing.assert_allclose(got[n - 1:], want, rtol=RTOL, err_msg=directive)
    bbw = DF["bbw"].to_numpy()
    mid, up = talib.BBANDS(C, 20, 2, 2, 0)[1], talib.BBANDS(C, 20, 2, 2, 0)[0]
    np.testing.assert_allclose(bbw, 2 * (up - mid) / mid, rtol=1e-8, equal_nan=True)


def test_leading_missing_bars_are_skipped():
    # A frame whose first bars are missing: the values are TA-Lib's on the
    # bars that follow, not NaN throughout.
    lead = 9
    cols = {name: v.copy() for name, v in zip(["open", "high", "low", "close", "spy"], [O, H, L, C, SPY])}
    for name in ("high", "low", "close"):
        cols[name][:lead] = np.nan
    df = k.DataFrame(cols)
    h, lo, c = H[lead:], L[lead:], C[lead:]
    for directive, want in [("adx", talib.ADX(h, lo, c, 14)), ("plus_di", talib.PLUS_DI(h, lo, c, 14)),
                            ("minus_dm", talib.MINUS_DM(h, lo, 14)), ("var", talib.VAR(c, 5)),
                            ("linearreg", talib.LINEARREG(c, 14)), ("correl@,spy", talib.CORREL(c, SPY[lead:], 30))]:
        got = df[directive].to_numpy()
        assert np.isnan(got[:lead]).all(), directive
        np.testing.assert_allclose(got[lead:], want, rtol=RTOL, atol=1e-9, equal_nan=True, err_msg=directive)


def test_errors_are_directive_errors():
    with pytest.raises(k.DirectiveValueError, match="series argument #1 is required"):
        DF["beta:5"]
    with pytest.raises(k.DirectiveValueError, match="invalid time frame unit in '1w'"):
        DF["hv:20,1w"]
    with pytest.raises(k.DirectiveValueError, match="periods_per_year must be positive"):
        DF["hv:20,1d,0"]
