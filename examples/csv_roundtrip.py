"""Bars from a CSV file: read with a zoned index, add indicators, write the result."""

import os
import sys

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from bars import generate_bars  # noqa: E402

import kadmo_rs as kd  # noqa: E402

data = os.path.join(HERE, "data", "bars.csv")
if not os.path.exists(data):
    # Generated once from the seeded generator, so every run reads the same file.
    os.makedirs(os.path.dirname(data), exist_ok=True)
    b = generate_bars(n=2_000, seed=2024, start="2024-03-08 14:30:00")
    df0 = kd.DataFrame({k: v for k, v in b.items() if k != "time"})
    df0["time"] = kd.to_datetime(b["time"])
    text = df0.to_csv(index=False, float_format="%.4f")
    with open(data, "w") as fh:
        fh.write(text)

df = kd.read_csv(data, index_col="time", tz="America/New_York")
print(df, "zone:", df.tz)
for d in ("ma:20", "ema:50", "rsi:14", "macd.signal", "close > ma:20"):
    df[d]
out_dir = os.path.join(HERE, "out")
os.makedirs(out_dir, exist_ok=True)
out = os.path.join(out_dir, "bars_with_indicators.csv")
df.to_csv(out, float_format="%.4f")
with open(out) as fh:
    head = [next(fh) for _ in range(3)]
print("wrote", out)
print("".join(head), end="")
back = kd.read_csv(out, index_col="index", tz="America/New_York")
print("read back:", back.shape, "last rsi:14 =", np.round(back.get_column("rsi:14").to_numpy()[-1], 4))
