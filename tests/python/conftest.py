import numpy as np
import pytest


@pytest.fixture
def bars():
    """A small seeded random walk of OHLCV bars as NumPy columns."""
    rng = np.random.default_rng(7)
    n = 64
    close = 100 + np.cumsum(rng.normal(0, 1, n))
    open_ = close + rng.normal(0, 0.3, n)
    high = np.maximum(open_, close) + rng.random(n)
    low = np.minimum(open_, close) - rng.random(n)
    volume = rng.integers(100, 1000, n).astype(np.int64)
    return {"open": open_, "high": high, "low": low, "close": close, "volume": volume}
