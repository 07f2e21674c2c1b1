"""Hostile and edge inputs found by fuzzing: each case once crashed, read out
of bounds, or gave wrong data, and must now give the right value or a clear
error that leaves the frame as it was."""

import datetime

import numpy as np
import pytest

import kadmo_rs as k


def _flat_bars(close):
    c = np.asarray(close, dtype=float)
    return {"open": c, "high": c, "low": c, "close": c}


# closes 5, 5, 5, 5, then 0 and 5 appended one bar at a time; by hand the
# last row's rsv is (5 - 0) / (5 - 0) * 100 = 100 for both periods, and
# ma:2 there is (0 + 5) / 2.
@pytest.mark.parametrize("directive, last", [("rsv:3", 100.0), ("rsv:5 + ma:2", 102.5)])
def test_rsv_refresh_after_flat_stretch(directive, last):
    # rsv's warm-up rows hold 0 like a flat range does, so a short refresh
    # window cannot tell a warm-up row from a real one.
    df = k.DataFrame(_flat_bars([5.0, 5.0, 5.0, 5.0]))
    df[directive]
    df.append(k.DataFrame(_flat_bars([0.0])))
    df[directive]
    df.append(k.DataFrame(_flat_bars([5.0])))
    got = df[directive].to_list()
    assert got[-1] == last
    assert got[-2] == (0.0 if directive == "rsv:3" else 2.5)


@pytest.mark.parametrize(
    "values, unit",
    [
        (["3000-01-01", "2000-01-01"], "D"),
        (["9999", "2021"], "Y"),
        (["2263-01", "2000-01"], "M"),
        ([10**11, 0], "s"),
    ],
)
def test_datetime_array_outside_ns_range_is_refused(values, unit):
    # NumPy's astype to nanoseconds wraps silently (year 3000 would read as
    # 1830); such a column must be refused, and the frame left as it was.
    arr = np.array(values, dtype=f"datetime64[{unit}]")
    with pytest.raises(ValueError, match="out of range for datetime64"):
        k.DataFrame({"t": arr})
    df = k.DataFrame({"x": [1.0, 2.0]})
    with pytest.raises(ValueError, match="out of range for datetime64"):
        df["t"] = arr
    assert df.columns == ["x"]
    with pytest.raises(ValueError, match="out of range for datetime64"):
        k.to_datetime(arr)


def test_datetime_array_edges_still_convert():
    # the last and first whole days inside the range, and NaT
    arr = np.array(["2262-04-11", "NaT", "1677-09-22"], dtype="datetime64[D]")
    got = k.DataFrame({"t": arr}).get_column("t").to_numpy().view("int64").tolist()
    day = 86_400 * 10**9
    epoch = datetime.date(1970, 1, 1)
    assert got == [
        (datetime.date(2262, 4, 11) - epoch).days * day,
        np.iinfo(np.int64).min,
        (datetime.date(1677, 9, 22) - epoch).days * day,
    ]
    # a finer unit loses its sub-nanosecond digits (NumPy floors) but is no overflow
    ps = np.array([1_500, -2_500], dtype="datetime64[ps]")
    assert k.DataFrame({"t": ps}).get_column("t").to_numpy().view("int64").tolist() == [1, -3]


# A cross reads the row before, increase:p the p rows before, and apo / ppo
# their fast average: more history than the lookback counts, so a refresh
# window sized by the lookback alone saw their warm-up in place of real values.
@pytest.mark.parametrize(
    "directive, closes, new, expected",
    [
        # increase: [F, F, T, T]; close 1 <= 1 then 4 > 1 crosses up at row 3
        ("close // increase", [1.0, 0.0, 1.0], 4.0, [0, 0, 0, 1]),
        # increase:2 is true only at row 5 (1 < 3 < 4) and close > 2 is
        # [1, 0, 0, 0, 1, 1, 1]: crosses up at row 4 (0 <= 0, 1 > 0) and at
        # row 6 (1 <= 1, 1 > 0)
        ("(close > 2) // increase:2", [4.0, 2.0, 1.0, 1.0, 3.0, 4.0], 4.0, [0, 0, 0, 0, 1, 0, 1]),
        # apo's lookback counts its slow average (1 here) only; the fast
        # average of 3 is NaN before row 2, and a comparison hides that NaN:
        # row 2 is 2 - 3 < 0, row 3 is 5/3 - 0 > 0
        ("apo:3,1 > 0", [1.0, 2.0, 3.0], 0.0, [0, 0, 0, 1]),
    ],
)
def test_cross_refresh_reads_enough_history(directive, closes, new, expected):
    df = k.DataFrame({"close": closes})
    assert df[directive].to_list() == [bool(x) for x in expected[:-1]]
    df.append(k.DataFrame({"close": [new]}))
    assert df[directive].to_list() == [bool(x) for x in expected]
