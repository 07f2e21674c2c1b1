"""Datetime text parsing: kadmo_rs.to_datetime against pandas.to_datetime on the same strings."""

import os
import sys

import numpy as np
import pandas as pd

sys.path.insert(0, os.path.dirname(__file__))
from common import best, report  # noqa: E402

import kadmo_rs as kd  # noqa: E402

N = 1_000_000
rng = np.random.default_rng(1)
stamps = pd.to_datetime(rng.integers(946_684_800, 1_893_456_000, N), unit="s")

cases = [
    ("'YYYY-MM-DD HH:MM:SS'", stamps.strftime("%Y-%m-%d %H:%M:%S").tolist(), "%Y-%m-%d %H:%M:%S", 0.5),
    ("'YYYY-MM-DD'", stamps.strftime("%Y-%m-%d").tolist(), "%Y-%m-%d", 0.5),
    ("'YYYY-MM-DDTHH:MM:SS.fff+00:00'", stamps.strftime("%Y-%m-%dT%H:%M:%S.123+00:00").tolist(), "ISO8601", None),
]

print(f"{N:,} strings per call, best of 3")
for label, texts, pd_format, target in cases:
    assert (kd.to_datetime(texts).to_numpy().astype("int64") ==
            pd.to_datetime(texts, format=pd_format, utc=True).as_unit("ns").asi8).all(), label
    report(f"to_datetime {label}", best(lambda: kd.to_datetime(texts), repeat=3),
           best(lambda: pd.to_datetime(texts, format=pd_format), repeat=3), "pandas", target)

texts = stamps.strftime("%d/%m/%Y %H:%M").tolist()
report("to_datetime(format='%d/%m/%Y %H:%M')", best(lambda: kd.to_datetime(texts, format="%d/%m/%Y %H:%M"), repeat=3),
       best(lambda: pd.to_datetime(texts, format="%d/%m/%Y %H:%M"), repeat=3), "pandas")
