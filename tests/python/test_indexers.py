"""iloc, loc, iat, at, the Series indexers and df[name] = value.

Expected rows come from NumPy indexing of the source arrays, cells and
conversions from hand computation; where the module's rules differ from
pandas a comment says so.
"""

import math

import numpy as np
import pytest

import kadmo_rs as k
from kadmo_test_helpers import same

F = np.array([1.5, 2.5, np.nan, 4.0])
I = np.array([10, 20, 30, 40], dtype=np.int64)
B = np.array([True, False, True, False])
S = np.array(["a", "b", "c", "d"], dtype=object)
T = np.array(["2021-01-04T14:30", "2021-01-05T14:30", "2021-01-06T14:30", "2021-01-07T14:30"], dtype="datetime64[ns]")
SRC = {"f": F, "i": I, "b": B, "s": S, "t": T}
NAMES = list(SRC)

needs_directives = pytest.mark.skipif(
    not hasattr(k.DataFrame, "__getitem__"), reason="directive columns (df[...]) not wired yet"
)
needs_read_csv = pytest.mark.skipif(not hasattr(k, "read_csv"), reason="read_csv not wired yet")
needs_set_index = pytest.mark.skipif(not hasattr(k.DataFrame, "set_index"), reason="set_index not wired yet")


@pytest.fixture
def df():
    return k.DataFrame({"f": F.copy(), "i": I.copy(), "b": B.copy(), "s": list(S), "t": T.copy()})


def values(obj, name):
    return obj.get_column(name).to_list()


def frame_lists(frame):
    return {n: values(frame, n) for n in frame.columns}


def expect_rows(frame, positions, labels=None):
    assert frame.columns == NAMES
    for n in NAMES:
        same(values(frame, n), SRC[n][positions].tolist() if n != "t" else list(SRC[n][positions]))
    if labels is not None:
        assert frame.index.tolist() == labels


# ---- positional reads -----------------------------------------------------


@pytest.mark.parametrize(
    "key, positions",
    [
        ([3, 0, 0], [3, 0, 0]),
        ([-1, 1], [3, 1]),
        (np.array([2, 1]), [2, 1]),
        ([True, False, True, False], [0, 2]),
        (np.array([False, True, True, False]), [1, 2]),
        # Not a mask: a bool list of another length is read as 0 / 1
        # (pandas would raise instead).
        ([True, False, True], [1, 0, 1]),
        (slice(None, None, -2), [3, 1]),
        (slice(None, None, 2), [0, 2]),
    ],
)
def test_iloc_gathers_rows_with_their_labels(df, key, positions):
    expect_rows(df.iloc[key], positions, labels=positions)


def test_iloc_bool_series_is_a_mask(df):
    mask = df.get_column("i") > 15
    expect_rows(df.iloc[mask], [1, 2, 3])
    expect_rows(df.loc[mask], [1, 2, 3])


def test_iloc_step_one_slice_is_a_frame_slice(df):
    # A step-1 slice of a range index restarts its labels at 0 (pandas keeps
    # 1, 2); Python's clamping applies.
    expect_rows(df.iloc[1:3], [1, 2], labels=[0, 1])
    expect_rows(df.iloc[-2:], [2, 3], labels=[0, 1])
    expect_rows(df.iloc[2:99], [2, 3], labels=[0, 1])
    assert df.iloc[3:1].shape == (0, 5)


@pytest.mark.parametrize("pos, want", [(0, 0), (2, 2), (-1, 3), (-4, 0)])
def test_iloc_int_is_a_row(df, pos, want):
    row = df.iloc[pos]
    assert isinstance(row, k.Row)
    assert row.name == want
    d = row.to_dict()
    assert list(d) == NAMES
    same([d["f"], d["i"], d["b"], d["s"]], [F[want].item(), I[want].item(), B[want].item(), S[want]])
    assert d["t"] == T[want]


def test_two_dimensional_reads_by_result_kind(df):
    cell = df.iloc[1, 1]
    assert type(cell) is int and cell == 20
    assert df.iloc[-1, -2] == "d"
    assert df.iat[-1, 0] == 4.0 and df.iat[1, 2] is False

    row = df.iloc[0, [0, 3]]
    assert isinstance(row, k.Row) and row.to_dict() == {"f": 1.5, "s": "a"}

    col = df.iloc[:, 0]
    assert isinstance(col, k.Series) and col.name == "f"
    same(col.to_list(), F.tolist())
    # All rows keep the frame's own index, so the result combines with the
    # frame's columns.
    assert (col - df.get_column("f")).fillna(0.0).to_list() == [0.0] * 4

    sub = df.iloc[1:3, 0:2]
    assert isinstance(sub, k.DataFrame) and sub.columns == ["f", "i"]
    same(values(sub, "f"), [2.5, float("nan")])
    assert values(sub, "i") == [20, 30]
    assert sub.index.tolist() == [1, 2]

    picked = df.iloc[[3, 1], [4, 1]]
    assert picked.columns == ["t", "i"] and values(picked, "i") == [40, 20]
    assert values(picked, "t") == [T[3], T[1]]
    assert df.iloc[[0, 1], []].shape == (2, 0)

    # The same through labels: on a range index labels are positions.
    assert df.loc[1, "i"] == 20
    assert df.loc[0, ["f", "s"]].to_dict() == {"f": 1.5, "s": "a"}
    assert df.loc[[2, 0], "s"].to_list() == ["c", "a"]
    assert df.loc[[2, 0], "s"].index.tolist() == [2, 0]
    assert df.at[3, "s"] == "d"


@pytest.mark.parametrize(
    "key, want",
    [
        ("i", [10, 20, 30, 40]),
        (["s", "i"], {"s": list(S), "i": I.tolist()}),
        (slice("i", "s"), ["i", "b", "s"]),
        (slice(None, "i"), ["f", "i"]),
        (slice("s", None), ["s", "t"]),
        (slice("s", "i"), []),
    ],
)
def test_loc_column_selectors(df, key, want):
    got = df.loc[:, key]
    if isinstance(want, list) and isinstance(key, str):
        assert got.to_list() == want
    elif isinstance(want, dict):
        assert got.columns == list(want) and frame_lists(got) == want
    else:
        assert got.columns == want


def test_loc_column_names_go_through_aliases(df):
    df.alias("price", "f")
    assert df.at[0, "price"] == 1.5
    assert df.loc[:, "price"].name == "f"
    df.loc[[0], "price"] = 9.0
    assert values(df, "f")[0] == 9.0


def test_loc_on_integer_labels():
    d = k.DataFrame({"v": [0.0, 1.0, 2.0, 3.0, 4.0]}).iloc[[1, 3, 2, 4]]
    assert d.index.tolist() == [1, 3, 2, 4]
    assert d.loc[3]["v"] == 3.0
    assert d.at[1, "v"] == 1.0
    assert d.loc[[2, 4], "v"].to_list() == [2.0, 4.0]
    # Label slices scan as if sorted: from the first label >= 2 (3, at
    # position 1) to the last label <= 3 counted from the back (2, at
    # position 2), both inclusive.
    assert values(d.loc[2:3], "v") == [3.0, 2.0]
    assert values(d.loc[:3], "v") == [1.0, 3.0, 2.0]
    assert d.loc[5:].shape == (0, 1)
    with pytest.raises(KeyError, match="label not found"):
        d.loc[0]
    with pytest.raises(KeyError, match="label not found"):
        d.loc[[1, 7]]


@needs_set_index
def test_loc_on_string_labels():
    d = k.DataFrame({"sym": ["aa", "bb", "cc"], "v": [1, 2, 3]}).set_index("sym")
    assert d.loc["bb"]["v"] == 2
    assert values(d.loc["aa":"bb"], "v") == [1, 2]
    assert d.at["cc", "v"] == 3
    with pytest.raises(KeyError, match="label must be a string for a string index"):
        d.loc[0]


# ---- errors ----------------------------------------------------------------


def _set(target, key, value):
    target[key] = value


@pytest.mark.parametrize(
    "op, exc, msg",
    [
        (lambda d: d.iloc[4], IndexError, "index out of range"),
        (lambda d: d.iloc[-5], IndexError, "index out of range"),
        (lambda d: d.iloc[2**70], IndexError, "index out of range"),
        (lambda d: d.iloc[[0, 4]], IndexError, "index out of range"),
        (lambda d: d.iloc[1.0], TypeError, "iloc row selector must be an int, slice, int list, or boolean mask"),
        (lambda d: d.iloc["f"], TypeError, "iloc row selector must be an int, slice, int list, or boolean mask"),
        (lambda d: d.iloc[[0, "x"]], TypeError, "iloc row selector must be an int, slice, int list, or boolean mask"),
        (lambda d: d.iloc[:, 5], IndexError, "index out of range"),
        (lambda d: d.iloc[:, "f"], TypeError, "iloc column selector must be an int, slice, or int list"),
        (lambda d: d.iat[0, 5], IndexError, "index out of range"),
        (lambda d: d.iat[4, 0], IndexError, "index out of range"),
        (lambda d: d.iat[0], TypeError, None),
        (lambda d: d.loc[9], KeyError, "label not found"),
        (lambda d: d.loc["2021-01-04"], KeyError, "label not found"),  # a UTC instant on a range index
        (lambda d: d.loc["nonsense"], KeyError, 'invalid datetime label "nonsense"'),
        (lambda d: d.loc[1.5], KeyError, "label must be a datetime string or integer"),
        (lambda d: d.loc[:, "zz"], KeyError, 'column "zz" not found'),
        (lambda d: d.loc[:, ["f", "zz"]], KeyError, 'column "zz" not found'),
        (lambda d: d.loc[:, 0], TypeError, "loc column selector must be a name, name list, or name slice"),
        (lambda d: d.loc[:, ["f", 1]], TypeError, "loc column selector must be a name, name list, or name slice"),
        (lambda d: d.at[0, "zz"], KeyError, 'column "zz" not found'),
        (lambda d: d.at[7, "f"], KeyError, "label not found"),
        (lambda d: _set(d.loc, 0, 5), TypeError,
         "loc assignment needs a (rows, column) key, e.g. df.loc[mask, 'col'] = value"),
        (lambda d: _set(d.iloc, 0, 5), TypeError,
         "iloc assignment needs a (rows, column) key, e.g. df.iloc[mask, 'col'] = value"),
        (lambda d: _set(d.loc, (0, "f", 1), 5), TypeError, "loc assignment key must be (rows, column)"),
        (lambda d: _set(d.iloc, (0,), 5), TypeError, "iloc assignment key must be (rows, column)"),
        (lambda d: _set(d.loc, (0, ["f"]), 5), TypeError, "loc assignment column must be a single column name"),
        (lambda d: _set(d.loc, (0, "new"), 5), KeyError, 'column "new" not found'),
        (lambda d: _set(d.iloc, (0, 5), 5), IndexError, "index out of range"),
        (lambda d: _set(d.iloc, (0, "f"), 5), TypeError, "cannot be interpreted as an integer"),
        (lambda d: _set(d.iloc, (slice(None), 0), [1.0, 2.0]), ValueError, "cannot assign 2 values to 4 selected rows"),
        (lambda d: _set(d.iloc, ([0, 1], 0), [1.0]), ValueError, "cannot assign 1 values to 2 selected rows"),
        (lambda d: _set(d.iloc, (0, 0), "x"), TypeError, "expected a number"),
        (lambda d: _set(d.iloc, (0, 1), None), TypeError, "expected a number"),
        (lambda d: _set(d.iloc, (0, 1), 2**70), OverflowError, "int too large for an int64 column"),
        (lambda d: _set(d.iloc, (0, 2), 1), TypeError, "expected a bool"),
        (lambda d: _set(d.iloc, (0, 3), 1), TypeError, "expected a string"),
        (lambda d: _set(d.iloc, (0, 4), "soon"), KeyError, 'invalid datetime label "soon"'),
        (lambda d: _set(d.iloc, (slice(None), 2), [1.0, 0.0, 1.0, 0.0]), TypeError,
         "cannot assign float64 values into a bool column"),
        (lambda d: _set(d.iloc, (slice(None), 0), ["a", "b", "c", "d"]), TypeError,
         "cannot assign object values into a float64 column"),
        (lambda d: _set(d.iat, (0, 9), 1.0), IndexError, "index out of range"),
        (lambda d: _set(d.at, (9, "f"), 1.0), KeyError, "label not found"),
        (lambda d: _set(d, "f", [1.0]), ValueError, 'new column "f" has length 1 but frame height is 4'),
        (lambda d: _set(d, "n", d.iloc[:2, 0]), ValueError, 'new column "n" has length 2 but frame height is 4'),
        (lambda d: _set(d, "n", "abc"), TypeError,
         "column values must be a 1-D numeric array, a list of numbers, or a list of strings"),
        (lambda d: _set(d, "n", k.DataFrame({"a": ["p", "q", "r", "s"]})), TypeError,
         "column values must be a 1-D numeric array, a list of numbers, or a list of strings"),
        (lambda d: _set(d.iloc, (slice(None), 3), d), TypeError,
         "column values must be a 1-D numeric array, a list of numbers, or a list of strings"),
        (lambda d: _set(d, 5, [1, 2, 3, 4]), TypeError, None),
    ],
)
def test_errors_leave_the_frame_unchanged(df, op, exc, msg):
    before = frame_lists(df)
    dtypes = df.dtypes
    with pytest.raises(exc) as e:
        op(df)
    if msg is not None:
        # Python's own conversion errors are matched in part.
        assert e.value.args[0] == msg or (msg.startswith("cannot be") and msg in e.value.args[0])
    assert df.dtypes == dtypes and df.columns == NAMES
    after = frame_lists(df)
    for n in NAMES:
        same(after[n], before[n])


@pytest.mark.parametrize(
    "op",
    [
        lambda d: d.__delitem__("f"),
        lambda d: d.loc.__delitem__(0),
        lambda d: d.iloc.__delitem__(0),
        lambda d: d.iat.__delitem__((0, 0)),
        lambda d: d.at.__delitem__((0, "f")),
        lambda d: d.get_column("f").loc.__delitem__(0),
        lambda d: d.get_column("f").iloc.__delitem__(0),
    ],
)
def test_deleting_is_not_supported(df, op):
    with pytest.raises(NotImplementedError, match="can't delete item"):
        op(df)
    assert df.columns == NAMES and len(df) == 4


# ---- writes -----------------------------------------------------------------


def test_mask_write_into_int_column_keeps_or_widens_dtype(df):
    mask = df.get_column("b")
    df.loc[mask, "i"] = 1
    assert df.dtypes["i"] == "int64" and values(df, "i") == [1, 20, 1, 40]
    df.loc[mask, "i"] = 2.0  # whole floats stay int
    assert df.dtypes["i"] == "int64" and values(df, "i") == [2, 20, 2, 40]
    df.loc[mask, "i"] = 0.5
    assert df.dtypes["i"] == "float64" and values(df, "i") == [0.5, 20.0, 0.5, 40.0]


def test_int_column_takes_nan_by_turning_float(df):
    df.iloc[[1], 1] = float("nan")
    assert df.dtypes["i"] == "float64"
    same(values(df, "i"), [10.0, float("nan"), 30.0, 40.0])


@pytest.mark.parametrize(
    "value, want",
    [
        ([7.0, 8.0], [7.0, 2.5, 8.0, 4.0]),
        (np.array([7, 8]), [7.0, 2.5, 8.0, 4.0]),  # int values into a float column
        (5, [5.0, 2.5, 5.0, 4.0]),
        (True, [1.0, 2.5, 1.0, 4.0]),
        (np.float32(0.25), [0.25, 2.5, 0.25, 4.0]),
    ],
)
def test_iloc_write_values(df, value, want):
    df.iloc[[0, 2], 0] = value
    assert df.dtypes["f"] == "float64"
    assert values(df, "f") == want


def test_series_value_is_written_by_position_not_label(df):
    # No label alignment: the k-th value goes to the k-th selected row.
    src = df.get_column("i").iloc[::-1]  # labels 3, 2, 1, 0
    df.iloc[:, 1] = src
    assert values(df, "i") == [40, 30, 20, 10]


def test_cell_writes_of_every_dtype(df):
    df.iat[0, 2] = False
    df.at[1, "s"] = "zz"
    df.iat[-1, 4] = "2021-02-01 00:00:00"
    df.at[0, "t"] = k.Timestamp("2021-02-01 09:30:00", tz="America/New_York")
    df.at[2, "t"] = 0
    df.at[3, "f"] = -1
    assert values(df, "b") == [False, False, True, False]
    assert values(df, "s") == ["a", "zz", "c", "d"]
    assert values(df, "t") == [
        np.datetime64("2021-02-01T14:30", "ns"),
        T[1],
        np.datetime64(0, "ns"),
        np.datetime64("2021-02-01T00:00", "ns"),
    ]
    assert values(df, "f")[3] == -1.0


def test_writes_are_copy_on_write(df):
    snapshot = k.DataFrame(df)
    series = df.get_column("f")
    row = df.iloc[0]
    rows = df.iloc[0:2]
    cols = df.loc[:, ["f", "i"]]
    col = df.iloc[:, 0]
    df.iloc[[0], 0] = 100.0
    df.loc[[1], "i"] = 200
    df.iat[0, 3] = "new"
    df.at[0, "b"] = False
    df["f"] = [0.0, 0.0, 0.0, 0.0]
    assert values(df, "i")[1] == 200 and values(df, "s")[0] == "new" and values(df, "f") == [0.0] * 4
    for frame in (snapshot,):
        expect_rows(frame, [0, 1, 2, 3])
    same(series.to_list(), F.tolist())
    same(col.to_list(), F.tolist())
    assert row.to_dict()["f"] == 1.5 and row["s"] == "a" and row["b"] is True
    assert values(rows, "f") == [1.5, 2.5] and values(rows, "i") == [10, 20]
    assert values(cols, "i") == I.tolist()


def test_indexer_writes_reach_the_frame_object(df):
    loc = df.loc
    loc[[0], "f"] = 0.0
    assert values(df, "f")[0] == 0.0
    # The indexer keeps its frame alive.
    it = k.DataFrame({"a": [1, 2]}).iat
    assert it[1, 0] == 2


def test_setitem_whole_columns(df):
    df["x"] = 1
    assert df.dtypes["x"] == "float64" and values(df, "x") == [1.0] * 4
    df["y"] = True
    assert df.dtypes["y"] == "bool" and values(df, "y") == [True] * 4
    df["z"] = [1, 2, 3, 4]
    assert df.dtypes["z"] == "int64"
    df["w"] = np.array([0.5, 1.5, 2.5, 3.5])
    assert values(df, "w") == [0.5, 1.5, 2.5, 3.5]
    df["v"] = df.get_column("i")
    assert df.dtypes["v"] == "int64" and values(df, "v") == I.tolist()
    assert df.columns == NAMES + ["x", "y", "z", "w", "v"]
    # Replacing keeps the position; an alias replaces its target.
    df["i"] = ["p", "q", "r", "s"]
    df.alias("F", "f")
    df["F"] = 0
    assert df.columns == NAMES + ["x", "y", "z", "w", "v"]
    assert df.dtypes["i"] == "object" and values(df, "f") == [0.0] * 4


def test_setitem_on_an_empty_frame_sets_the_height():
    d = k.DataFrame({})
    d["a"] = [1.0, 2.0, 3.0]
    assert d.shape == (3, 1) and d.index.tolist() == [0, 1, 2]


# ---- Series indexers --------------------------------------------------------


def test_series_iloc_and_loc(df):
    s = df.get_column("i")
    assert s.iloc[0] == 10 and s.iloc[-1] == 40 and type(s.iloc[0]) is int
    sub = s.iloc[1::2]
    assert sub.to_list() == [20, 40] and sub.index.tolist() == [1, 3] and sub.name == "i"
    assert s.loc[2] == 30
    sub = s.loc[1:2]
    assert sub.to_list() == [20, 30] and sub.index.tolist() == [1, 2]
    taken = df.iloc[[3, 1], 1]
    assert taken.loc[3] == 40 and taken.loc[1] == 20
    assert taken.loc[2:].to_list() == [40, 20]  # 3 is the first label >= 2
    with pytest.raises(IndexError, match="index out of range"):
        s.iloc[4]
    with pytest.raises(TypeError, match="iloc key must be an integer or slice"):
        s.iloc[[0, 1]]
    with pytest.raises(KeyError, match="label not found"):
        s.loc[9]
    with pytest.raises(TypeError):
        s.iloc[0] = 1
    with pytest.raises(TypeError):
        s.loc[0] = 1
    assert s.to_list() == I.tolist()


def test_series_indexer_holds_its_own_series(df):
    loc = df.get_column("f").loc
    df.iloc[[0], 0] = 99.0
    assert loc[0] == 1.5


# ---- datetime labels ----------------------------------------------------------


@pytest.fixture
def ny(tmp_path):
    p = tmp_path / "bars.csv"
    p.write_text(
        "time,close\n"
        "2021-01-04 09:30:00,1\n"
        "2021-01-04 10:30:00,2\n"
        "2021-02-01 09:30:00,3\n"
        "2021-03-01 09:30:00,4\n"
        "2021-04-01 09:30:00,5\n"
    )
    return k.read_csv(str(p), index_col="time", tz="America/New_York")


@needs_read_csv
def test_datetime_labels_are_wall_clocks_in_the_index_zone(ny):
    # 09:30 in New York in January is 14:30 UTC.
    assert ny.loc["2021-01-04 09:30:00"]["close"] == 1
    assert ny.loc[k.Timestamp("2021-01-04 14:30:00", tz="UTC")]["close"] == 1
    assert ny.at[k.Timestamp("2021-01-04 23:30:00", tz="Asia/Tokyo"), "close"] == 1
    assert ny.loc["2021-01-04T10:30:00", "close"] == 2
    assert ny.iloc[0].name == "2021-01-04 09:30:00"
    # Stop-inclusive; a bare date is midnight in New York, before that day's
    # 09:30 bar.
    assert values(ny.loc["2021-01-01":"2021-03-01"], "close") == [1, 2, 3]
    assert values(ny.loc["2021-01-04 10:30:00":"2021-03-01 09:30:00"], "close") == [2, 3, 4]
    assert values(ny.loc[:"2021-01-04"], "close") == []
    s = ny.get_column("close")
    assert s.loc["2021-02-01 09:30:00"] == 3
    assert s.loc["2021-03-01":].to_list() == [4, 5]
    with pytest.raises(KeyError, match="label not found"):
        ny.loc["2021-01-04 14:30:00"]  # read as New York time, so no bar
    with pytest.raises(KeyError, match='invalid datetime label "2021-13-01"'):
        ny.loc["2021-13-01"]


# ---- cached directive columns -----------------------------------------------


@pytest.fixture
def bars_df(bars):
    return k.DataFrame(bars)


def sma(x, n):
    out = np.full(len(x), np.nan)
    for i in range(n - 1, len(x)):
        out[i] = np.mean(x[i - n + 1 : i + 1])
    return out


@needs_directives
@pytest.mark.parametrize(
    "write",
    [
        lambda d: d.iloc.__setitem__((slice(None), 3), 1.0),
        lambda d: d.loc.__setitem__((slice(None), "close"), 1.0),
        lambda d: d.iat.__setitem__((10, 3), 1.0),
        lambda d: d.at.__setitem__((10, "close"), 1.0),
        lambda d: d.__setitem__("close", d.get_column("close") * 2.0),
    ],
)
def test_writes_send_cached_columns_back_to_a_full_recompute(bars_df, write):
    bars_df["ma:5"]
    write(bars_df)
    close = np.asarray(bars_df.get_column("close").to_list())
    np.testing.assert_allclose(bars_df["ma:5"].to_numpy(), sma(close, 5), rtol=1e-12, equal_nan=True)


@needs_directives
def test_writing_a_cached_column_makes_it_plain(bars_df):
    bars_df["ma:5"]
    bars_df.iloc[:, bars_df.columns.index("ma:5")] = 7.0
    bars_df.fulfill()
    assert bars_df["ma:5"].to_list() == [7.0] * len(bars_df)


@needs_directives
def test_stale_columns_block_indexers_until_fulfill(bars_df):
    bars_df["ma:5"]
    bars_df.append(bars_df.iloc[-1])
    before = frame_lists(bars_df)
    msg = "frame has stale computed (directive) columns after append; call fulfill() before a bulk or positional read"
    ops = [
        lambda d: d.iloc[0],
        lambda d: d.loc[0, "close"],
        lambda d: d.iat[0, 0],
        lambda d: d.at[0, "close"],
        lambda d: d.iloc.__setitem__((0, 0), 1.0),
        lambda d: d.at.__setitem__((0, "close"), 1.0),
    ]
    for op in ops:
        with pytest.raises(ValueError) as e:
            op(bars_df)
        assert e.value.args[0] == msg
    after = frame_lists(bars_df)
    for n in before:
        same(after[n], before[n])
    # A Series is a snapshot and never checks.
    assert bars_df.get_column("close").iloc[0] == before["close"][0]
    bars_df.fulfill()
    assert bars_df.at[0, "close"] == before["close"][0]
