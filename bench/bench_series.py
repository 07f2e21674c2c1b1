"""Series operators and reductions on 1,000,000 float64 values against NumPy."""

import os
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(__file__))
from common import best, report  # noqa: E402

import kadmo_rs as kd  # noqa: E402

N = 1_000_000
rng = np.random.default_rng(3)
a = rng.normal(0, 1, N)
b = rng.normal(0, 1, N)
df = kd.DataFrame({"a": a, "b": b})
s = df.get_column("a")
s2 = df.get_column("b")

print(f"Series of {N:,} float64 values (no NaN); peers are the NaN-skipping NumPy functions where the")
print("Series method skips NaN, with the plain NumPy reduction shown for reference")
report("s + s2", best(lambda: s + s2, repeat=9), best(lambda: a + b, repeat=9), "a + b", 1.5)
report("s > 0", best(lambda: s > 0, repeat=9), best(lambda: a > 0, repeat=9), "a > 0", 1.5)
report("s * 2.0", best(lambda: s * 2.0, repeat=9), best(lambda: a * 2.0, repeat=9), "a * 2.0")
report("(s > 0) & (s2 > 0)", best(lambda: (s > 0) & (s2 > 0)), best(lambda: (a > 0) & (b > 0)), "numpy")

reductions = [
    ("sum", np.nansum, np.sum),
    ("mean", np.nanmean, np.mean),
    ("std", lambda x: np.nanstd(x, ddof=1), lambda x: np.std(x, ddof=1)),
    ("min", np.nanmin, np.min),
    ("max", np.nanmax, np.max),
]
for name, nan_fn, plain_fn in reductions:
    ours = best(getattr(s, name), repeat=9)
    report(f"s.{name}()", ours, best(lambda: nan_fn(a), repeat=9), f"np.nan{name}", 1.5)
    report(f"s.{name}()  [reference]", ours, best(lambda: plain_fn(a), repeat=9), f"np.{name}")

report("s.median()", best(s.median), best(lambda: np.nanmedian(a)), "np.nanmedian")
report("s.cumsum()", best(s.cumsum), best(lambda: np.nancumsum(a)), "np.nancumsum")
report("s.round(2)", best(lambda: s.round(2)), best(lambda: np.round(a, 2)), "np.round")
report("s.shift(1)", best(lambda: s.shift(1)), best(lambda: np.concatenate(([np.nan], a[:-1]))), "numpy concat")
with np.errstate(invalid="ignore"):
    report("s.sqrt()", best(s.sqrt), best(lambda: np.sqrt(a)), "np.sqrt")
