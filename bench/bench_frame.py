"""Frame construction, cloning, NumPy export and datetime parsing against NumPy/pandas."""

import os
import sys

import numpy as np
import pandas as pd

sys.path.insert(0, os.path.dirname(__file__))
from common import best, fmt, report  # noqa: E402

import kadmo_rs as kd  # noqa: E402

N = 1_000_000
rng = np.random.default_rng(1)
cols = {name: rng.normal(100, 1, N) for name in ("open", "high", "low", "close", "volume")}
arrays = list(cols.values())

print(f"frame of {N:,} rows x 5 float64 columns")
report("DataFrame(dict of arrays)", best(lambda: kd.DataFrame(cols)), best(lambda: np.column_stack(arrays)),
       "np.column_stack", 2.0)
df = kd.DataFrame(cols)
report("df.to_numpy()", best(lambda: df.to_numpy()), best(lambda: np.column_stack(arrays)), "np.column_stack", 1.5)

print("clone DataFrame(df): time should not grow with rows")
for n in (1_000, 1_000_000):
    small = kd.DataFrame({k: v[:n] for k, v in cols.items()})
    t = best(lambda: kd.DataFrame(small), repeat=5, number=1000)
    print(f"  rows {n:>9,}: {fmt(t)} per clone")

texts = (pd.Timestamp("2020-01-01") + pd.to_timedelta(np.arange(N), unit="min")).strftime("%Y-%m-%d %H:%M:%S").tolist()
report("to_datetime(1e6 'YYYY-MM-DD HH:MM:SS')", best(lambda: kd.to_datetime(texts), repeat=3),
       best(lambda: pd.to_datetime(texts, format="%Y-%m-%d %H:%M:%S"), repeat=3), "pandas.to_datetime", 0.5)
