"""Seeded synthetic market bars, so examples and benchmarks need no download."""

import numpy as np


def generate_bars(n=1000, seed=42, start="2024-01-02 09:30:00", step_seconds=60, price=100.0):
    """Return a dict of NumPy columns: time (datetime64[ns]), open, high, low, close, volume.

    Prices follow a geometric random walk; each bar's high and low bracket its
    open and close.
    """
    rng = np.random.default_rng(seed)
    ret = rng.normal(0.0, 0.001, n)
    close = price * np.exp(np.cumsum(ret))
    open_ = np.empty(n)
    open_[0] = price
    open_[1:] = close[:-1]
    spread = np.abs(rng.normal(0.0, 0.0008, n)) * close
    high = np.maximum(open_, close) + spread
    low = np.minimum(open_, close) - spread * rng.random(n)
    volume = rng.integers(1_000, 50_000, n).astype(np.int64)
    t0 = np.datetime64(start, "ns")
    time = t0 + np.arange(n, dtype=np.int64) * np.timedelta64(step_seconds, "s").astype("timedelta64[ns]")
    return {"time": time, "open": open_, "high": high, "low": low, "close": close, "volume": volume}
