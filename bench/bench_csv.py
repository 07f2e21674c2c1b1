"""CSV read and write speed and read memory against pandas (and pyarrow).

Run with the extension on the path:  PYTHONPATH=build/dev/python python bench/bench_csv.py [rows]
Prints ratios measured in this run; nothing is asserted.
"""

import json
import os
import subprocess
import sys
import tempfile
import time

import numpy as np
import pandas as pd

import kadmo_rs

ROWS = int(sys.argv[1]) if len(sys.argv) > 1 else 1_000_000
COLS = ["open", "high", "low", "close", "volume"]


def make_file(path, rows):
    rng = np.random.default_rng(11)
    t = np.datetime64("2021-01-04T00:00:00") + np.arange(rows) * np.timedelta64(60, "s")
    times = np.datetime_as_string(t, unit="s").astype("U19")
    times = np.char.replace(times, "T", " ")
    price = 100 + np.cumsum(rng.normal(0, 0.1, rows))
    data = {
        "open": price + rng.normal(0, 0.05, rows),
        "high": price + rng.random(rows),
        "low": price - rng.random(rows),
        "close": price,
        "volume": rng.random(rows) * 1e4,
    }
    frame = pd.DataFrame({"time": times, **{k: np.round(v, 5) for k, v in data.items()}})
    frame.to_csv(path, index=False, float_format="%.5f")


def best(fn, repeat):
    times = []
    out = None
    for _ in range(repeat):
        t0 = time.perf_counter()
        out = fn()
        times.append(time.perf_counter() - t0)
    return min(times), out


MEMORY_CHILD = r"""
import json, sys
import kadmo_rs

def hwm_kib():
    # Peak RSS of this process image (ru_maxrss would carry the parent's peak over fork).
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])

path = sys.argv[1]
before = hwm_kib()
df = kadmo_rs.read_csv(path, index_col="time", tz="UTC")
after = hwm_kib()
print(json.dumps({"delta_kib": after - before, "rows": len(df), "cols": df.shape[1]}))
"""


def read_memory(path):
    out = subprocess.run([sys.executable, "-c", MEMORY_CHILD, path], check=True, capture_output=True, text=True)
    return json.loads(out.stdout)


def main():
    with tempfile.TemporaryDirectory() as d:
        path = os.path.join(d, "bars.csv")
        make_file(path, ROWS)
        size = os.path.getsize(path)
        print(f"file: {ROWS} rows, {size / 1e6:.1f} MB")

        t_k, df = best(lambda: kadmo_rs.read_csv(path, index_col="time", tz="UTC"), 9)
        t_p, pdf = best(lambda: pd.read_csv(path, parse_dates=["time"], index_col="time"), 9)
        print(f"read  kadmo {t_k:.3f}s  pandas {t_p:.3f}s  ratio pandas/kadmo {t_p / t_k:.2f}x")
        try:
            import pyarrow.csv as pacsv

            t_a, _ = best(lambda: pacsv.read_csv(path), 3)
            print(f"read  pyarrow {t_a:.3f}s  ratio pyarrow/kadmo {t_a / t_k:.2f}x")
        except ImportError:
            print("read  pyarrow not installed")

        mem = read_memory(path)
        frame_bytes = mem["rows"] * 8 * (mem["cols"] + 1)  # float columns plus the datetime index
        peak = mem["delta_kib"] * 1024
        print(
            f"read  peak RSS growth {peak / 1e6:.1f} MB; frame data {frame_bytes / 1e6:.1f} MB + file {size / 1e6:.1f} MB;"
            f" ratio {peak / (frame_bytes + size):.2f}x of (frame + file)"
        )

        out = os.path.join(d, "out.csv")
        t_kw, _ = best(lambda: df.to_csv(out), 3)
        t_pw, _ = best(lambda: pdf.to_csv(out), 1)
        print(f"write kadmo {t_kw:.3f}s  pandas {t_pw:.3f}s  ratio pandas/kadmo {t_pw / t_kw:.2f}x")


if __name__ == "__main__":
    main()
