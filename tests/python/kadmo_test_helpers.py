"""Helpers shared by the Python tests: seeded random-walk bars and an
element-wise comparison where NaN equals NaN."""

import math

import numpy as np


def ohlc_walk(rng, n, open_jitter=0.2):
    """Open, high, low and close of a random walk near 100 drawn from rng.

    Each open is the previous close moved by normal noise of open_jitter
    (none drawn when it is 0); the wicks are exponential. The extra columns a
    test needs are drawn from rng afterwards.
    """
    close = 100.0 + np.cumsum(rng.normal(0.0, 1.0, n))
    open_ = np.r_[100.0, close[:-1]]
    if open_jitter:
        open_ = open_ + rng.normal(0.0, open_jitter, n)
    high = np.maximum(open_, close) + rng.exponential(0.5, n)
    low = np.minimum(open_, close) - rng.exponential(0.5, n)
    return open_, high, low, close


def same(a, b, signed_zeros=False):
    """Element-wise equality (values and types) where NaN equals NaN; with
    signed_zeros, -0.0 differs from 0.0."""
    assert len(a) == len(b), (a, b)
    for x, y in zip(a, b):
        if isinstance(x, float) and math.isnan(x):
            assert isinstance(y, float) and math.isnan(y), (a, b)
        else:
            assert x == y and type(x) is type(y), (a, b)
            if signed_zeros and isinstance(x, float) and x == 0.0:
                assert math.copysign(1, x) == math.copysign(1, y), (a, b)
