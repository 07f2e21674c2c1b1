"""Timing helpers shared by the benchmarks: best-of-N wall time, ratio lines."""

import time


def best(fn, repeat=5, number=1):
    """Best per-call time in seconds over `repeat` rounds of `number` calls."""
    out = float("inf")
    for _ in range(repeat):
        t0 = time.perf_counter()
        for _ in range(number):
            fn()
        out = min(out, (time.perf_counter() - t0) / number)
    return out


def fmt(seconds):
    if seconds < 1e-6:
        return f"{seconds * 1e9:8.1f} ns"
    if seconds < 1e-3:
        return f"{seconds * 1e6:8.2f} us"
    if seconds < 1:
        return f"{seconds * 1e3:8.2f} ms"
    return f"{seconds:8.3f} s "


def report(label, ours, peer, peer_name, target=None):
    ratio = ours / peer
    goal = f"  (target <= {target:g}x)" if target is not None else ""
    flag = "" if target is None or ratio <= target else "  MISSED"
    print(f"{label:<48} ours {fmt(ours)}  {peer_name} {fmt(peer)}  ratio {ratio:6.3f}{goal}{flag}")
    return ratio
