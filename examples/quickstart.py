"""A first look at kadmo: build a frame from generated bars and inspect it."""

import os
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(__file__))
from bars import generate_bars  # noqa: E402

import kadmo_rs as kd  # noqa: E402

bars = generate_bars(n=500, seed=7)
df = kd.DataFrame(bars)

print(df)
print("dtypes:", df.dtypes)
print("shape:", df.shape)

np.set_printoptions(precision=4, suppress=True, linewidth=120)
print("first rows (as float64 through NumPy):")
print(df.to_numpy()[:3, 1:])

close = df.get_column("close")
print(close, "last close:", close.to_numpy()[-1])

times = kd.to_datetime(["2024-01-02 09:30:00", "2024-01-02 09:31:00+01:00"])
print("parsed instants (UTC):", times.to_numpy())

# Indicators by directive: evaluated once, cached under their canonical names.
for directive in ("ma:20", "EMA:20", "rsi:14", "macd.signal", "atr:14", "close > ma:20", "close // ema:50"):
    s = df[directive]
    print(f"{directive!r:>18} -> column {s.name!r:<16} last value {s.to_numpy()[-1]}")
print("cached columns:", df.columns[6:])
print("lookback of boll:20 =", kd.directive_lookback("boll:20"), "| canonical of 'MACD:12,26' =",
      repr(kd.directive_stringify("MACD:12,26")))
print("last 3 rows:")
print(df[["close", "ma:20", "rsi:14", "close > ma:20"]].to_numpy()[-3:])
