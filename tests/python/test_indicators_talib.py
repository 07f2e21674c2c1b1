"""Agreement of the indicator kernels with TA-Lib on random-walk bars.

TA-Lib is an independent implementation of the same arithmetic; where the two
differ by definition the pair is compared only where they must agree, or left
out with the reason.
"""

import numpy as np
import pytest
from kadmo_test_helpers import ohlc_walk

talib = pytest.importorskip("talib")
kt = pytest.importorskip("kadmo_testing")

RTOL = 1e-9


def _bars(n=4000, seed=20240611):
    _, high, low, close = ohlc_walk(np.random.default_rng(seed), n, open_jitter=0.0)
    return high, low, close


H, L, C = _bars()


def assert_agrees(got, want, skip=0, rtol=RTOL, atol=1e-9):
    got = np.asarray(got)[skip:]
    want = np.asarray(want)[skip:]
    assert got.shape == want.shape
    np.testing.assert_array_equal(np.isnan(got), np.isnan(want))
    np.testing.assert_allclose(got, want, rtol=rtol, atol=atol, equal_nan=True)


# (name, ours, TA-Lib's); values and warm-up NaN must both agree.
CASES = [
    ("sma", lambda: kt.sma(C, 30), lambda: talib.SMA(C, 30)),
    ("ema", lambda: kt.ema(C, 30), lambda: talib.EMA(C, 30)),
    ("wma", lambda: kt.wma(C, 30), lambda: talib.WMA(C, 30)),
    ("dema", lambda: kt.dema(C, 30), lambda: talib.DEMA(C, 30)),
    ("tema", lambda: kt.tema(C, 30), lambda: talib.TEMA(C, 30)),
    ("trima_even", lambda: kt.trima(C, 30), lambda: talib.TRIMA(C, 30)),
    ("trima_odd", lambda: kt.trima(C, 31), lambda: talib.TRIMA(C, 31)),
    ("kama", lambda: kt.kama(C, 30), lambda: talib.KAMA(C, 30)),
    ("t3", lambda: kt.t3(C, 5, 0.7), lambda: talib.T3(C, 5, 0.7)),
    ("tr", lambda: kt.tr(H, L, C), lambda: talib.TRANGE(H, L, C)),
    ("atr", lambda: kt.atr(H, L, C, 14), lambda: talib.ATR(H, L, C, 14)),
    ("natr", lambda: kt.natr(H, L, C, 14), lambda: talib.NATR(H, L, C, 14)),
    ("sar", lambda: kt.sar(H, L, 0.02, 0.2), lambda: talib.SAR(H, L, 0.02, 0.2)),
    ("sar_capped_step", lambda: kt.sar(H, L, 0.3, 0.2), lambda: talib.SAR(H, L, 0.3, 0.2)),
    (
        "sarext",
        lambda: kt.sarext(H, L, 0.0, 0.01, 0.01, 0.03, 0.25, 0.02, 0.01, 0.15),
        lambda: talib.SAREXT(H, L, 0.0, 0.01, 0.01, 0.03, 0.25, 0.02, 0.01, 0.15),
    ),
    (
        "sarext_start_short",
        lambda: kt.sarext(H, L, -105.0, 0.0, 0.02, 0.02, 0.2, 0.02, 0.02, 0.2),
        lambda: talib.SAREXT(H, L, -105.0, 0.0, 0.02, 0.02, 0.2, 0.02, 0.02, 0.2),
    ),
    # RSI differs from TA-Lib only on flat windows (100 here, 0 there); a
    # random walk has none.
    ("rsi", lambda: kt.rsi(C, 14), lambda: talib.RSI(C, 14)),
    ("cmo", lambda: kt.cmo(C, 14), lambda: talib.CMO(C, 14)),
    ("rolling_max", lambda: kt.rolling_max(C, 30), lambda: talib.MAX(C, 30)),
    ("rolling_min", lambda: kt.rolling_min(C, 30), lambda: talib.MIN(C, 30)),
    ("hhv_scan", lambda: kt.hhv(C, 10), lambda: talib.MAX(C, 10)),
    ("midpoint", lambda: kt.midpoint(C, 14), lambda: talib.MIDPOINT(C, 14)),
    ("midprice", lambda: kt.midprice(H, L, 14), lambda: talib.MIDPRICE(H, L, 14)),
    ("rolling_std", lambda: kt.rolling_mean_std(C, 20)[1], lambda: talib.STDDEV(C, 20, 1.0)),
    ("stoch_d_default", lambda: kt.stoch_d_default_sma(H, L, C), lambda: talib.STOCH(H, L, C, 5, 3, 0, 3, 0)[1]),
    ("stochf_d_default", lambda: kt.stochf_d_default_sma(H, L, C), lambda: talib.STOCHF(H, L, C, 5, 3, 0)[1]),
    ("stochrsi_d_default", lambda: kt.stochrsi_d_default_sma(C), lambda: talib.STOCHRSI(C, 14, 5, 3, 0)[1]),
]


@pytest.mark.parametrize("name,ours,theirs", CASES, ids=[c[0] for c in CASES])
def test_agrees_with_talib(name, ours, theirs):
    assert_agrees(ours(), theirs())


def test_mean_agrees_with_numpy():
    mean, std = kt.rolling_mean_std(C, 20)
    windows = np.lib.stride_tricks.sliding_window_view(C, 20)
    assert_agrees(mean[19:], windows.mean(axis=1))
    assert_agrees(std[19:], windows.std(axis=1))


# TA-Lib starts these lines at the D line's warm-up, so compare the %K values
# from there on.
@pytest.mark.parametrize(
    "ours,theirs,skip",
    [
        (lambda: kt.stoch_fastk(H, L, C, 5), lambda: talib.STOCHF(H, L, C, 5, 3, 0)[0], 6),
        (lambda: kt.stochrsi_fastk(C, 14, 5), lambda: talib.STOCHRSI(C, 14, 5, 3, 0)[0], 20),
    ],
    ids=["stoch_fastk", "stochrsi_fastk"],
)
def test_fastk_agrees_after_talib_warmup(ours, theirs, skip):
    got, want = ours(), theirs()
    assert np.isnan(got[: skip - 2]).all()
    assert_agrees(got, want, skip=skip)


# TA-Lib seeds MACD's fast average at the slow one's start, and starts the
# line at the signal's warm-up; the seeds differ, so compare once the fast
# average has forgotten its seed ((11/13)^400 is far below the tolerance).
@pytest.mark.parametrize("index,ours", [(0, kt.macd), (1, kt.macd_signal), (2, kt.macd_histogram)])
def test_macd_agrees_after_seed_decay(index, ours):
    want = talib.MACD(C, 12, 26, 9)[index]
    got = ours(C, 12, 26) if index == 0 else ours(C, 12, 26, 9)
    assert np.isnan(got[:25]).all() and not np.isnan(got[33 if index else 25])
    assert_agrees(got, want, skip=400)


# The one-pass form against TA-Lib's single MACD call, under the same seed rule.
def test_macd_all_agrees_after_seed_decay():
    for got, want in zip(kt.macd_all(C, 12, 26, 9), talib.MACD(C, 12, 26, 9)):
        assert_agrees(got, want, skip=400)


# TA-Lib's wrapper skips leading NaN, as these indicators do: the RSI of an
# average (and the stochastic RSI built on it) must not be NaN everywhere.
@pytest.mark.parametrize(
    "ours,theirs",
    [
        (lambda e: kt.rsi(e, 14), lambda e: talib.RSI(e, 14)),
        (lambda e: kt.stochrsi_fastk(e, 14, 5), lambda e: talib.STOCHRSI(e, 14, 5, 3, 0)[0]),
        (lambda e: kt.wma(e, 9), lambda e: talib.WMA(e, 9)),
        (lambda e: kt.kama(e, 9), lambda e: talib.KAMA(e, 9)),
        (lambda e: kt.tema(e, 5), lambda e: talib.TEMA(e, 5)),
    ],
    ids=["rsi", "stochrsi_fastk", "wma", "kama", "tema"],
)
def test_leading_nan_input(ours, theirs):
    e = talib.EMA(C, 10)
    got, want = ours(e), theirs(e)
    first = int(np.argmax(~np.isnan(want)))
    assert not np.isnan(got[-1])
    assert_agrees(got, want, skip=first)


def test_unequal_lengths_rejected():
    with pytest.raises(ValueError):
        kt.atr(H, L[:-1], C, 14)
