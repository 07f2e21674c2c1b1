import math

import numpy as np
import pandas as pd
import pytest

import kadmo_rs as k


def test_module_surface_and_exceptions():
    assert issubclass(k.DirectiveError, ValueError)
    assert issubclass(k.DirectiveSyntaxError, k.DirectiveError)
    assert issubclass(k.DirectiveValueError, k.DirectiveError)
    assert k.DirectiveError.__module__ == "kadmo_rs"
    assert k.DirectiveSyntaxError.__qualname__ == "DirectiveSyntaxError"
    assert k.DirectiveError.__doc__ == "Base class for kadmo directive errors."
    assert k.DirectiveSyntaxError.__doc__ == "A directive string could not be parsed (with line / column)."
    assert k.DirectiveValueError.__doc__ == (
        "A directive has an unknown command / sub-command or an invalid argument.")


@pytest.mark.parametrize(
    "values, dtype, expected",
    [
        ([1, 2, 3], "int64", [1, 2, 3]),
        ([1, 2.5], "float64", [1.0, 2.5]),
        ([True, False], "bool", [True, False]),
        ([True, 1], "int64", [1, 1]),
        (["a", "b"], "object", ["a", "b"]),
        (["1", "2"], "object", ["1", "2"]),  # strings are never parsed
        ([], "int64", []),
        ([np.int32(3), np.int64(4)], "int64", [3, 4]),
        ([np.float32(0.5), 1], "float64", [0.5, 1.0]),
        (np.array([1.5, 2.5], dtype=np.float32), "float64", [1.5, 2.5]),
        (np.array([1, 2], dtype=np.int32), "int64", [1, 2]),
        (np.array([1, 2], dtype=np.uint8), "int64", [1, 2]),
        (np.array([], dtype=np.float32), "int64", []),
        (np.array([True, False]), "bool", [True, False]),
        (np.array(["x", "y"], dtype=object), "object", ["x", "y"]),
        (np.arange(10, dtype=np.float64)[::3], "float64", [0.0, 3.0, 6.0, 9.0]),
        (np.arange(6, dtype=np.int64)[::-2], "int64", [5, 3, 1]),
    ],
)
def test_column_converter(values, dtype, expected):
    df = k.DataFrame({"c": values})
    assert df.dtypes == {"c": dtype}
    assert df.get_column("c").to_list() == expected


def test_converter_copies_input():
    a = np.array([1.0, 2.0])
    df = k.DataFrame({"a": a})
    a[0] = 99.0
    assert df.get_column("a").to_list() == [1.0, 2.0]


@pytest.mark.parametrize(
    "arr",
    [
        np.array(["2021-01-04"], dtype="datetime64[D]"),
        np.array(["2021-01-04T00:00:00"], dtype="datetime64[s]"),
        pd.Series(pd.to_datetime(["2021-01-04"])),  # pandas 3 Series have no .view
    ],
)
def test_datetime_columns_of_any_unit(arr):
    df = k.DataFrame({"t": arr})
    assert df.dtypes == {"t": "datetime64[ns]"}
    assert df.get_column("t").to_numpy().view("int64").tolist() == [1609718400000000000]


def test_nat_arrives_as_int64_min():
    df = k.DataFrame({"t": np.array(["NaT"], dtype="datetime64[ns]")})
    assert df.get_column("t").to_numpy().view("int64")[0] == np.iinfo(np.int64).min


BAD_COLUMN = "column values must be a 1-D numeric array, a list of numbers, or a list of strings"


@pytest.mark.parametrize(
    "values",
    ["abc", [1, None], [1, "a"], np.zeros((2, 2)), np.float64(1.0), {"a": 1}, [[1], [2]], 5],
)
def test_converter_rejections(values):
    with pytest.raises(TypeError, match="^" + BAD_COLUMN + "$"):
        k.DataFrame({"a": values})


def test_constructor_errors():
    with pytest.raises(TypeError, match="data must be a dict of columns or a kadmo DataFrame"):
        k.DataFrame([1, 2])
    with pytest.raises(ValueError, match='column "b" has length 1 but frame height is 2'):
        k.DataFrame({"a": [1, 2], "b": [1.0]})
    with pytest.raises(ValueError, match="^cumulators requires time_frame$"):
        k.DataFrame({"a": [1]}, cumulators={"a": "sum"})
    with pytest.raises(TypeError):
        k.DataFrame({"a": [1]}, cumulators=[1])
    with pytest.raises(TypeError):
        k.DataFrame({1: [1]})


def test_dict_changing_size_during_conversion():
    d = {}

    class Sneaky:
        def __index__(self):
            d["late"] = [1]
            return 1

    d["a"] = [Sneaky()]
    with pytest.raises(RuntimeError, match="dictionary changed size during iteration"):
        k.DataFrame(d)


def test_read_only_surface(bars):
    df = k.DataFrame(bars)
    assert len(df) == 64
    assert df.shape == (64, 5)
    assert df.columns == ["open", "high", "low", "close", "volume"]
    assert list(df) == df.columns
    assert df.dtypes["volume"] == "int64"
    assert repr(k.DataFrame({"open": [1.0], "close": [2.0]})) == 'DataFrame(columns=["open", "close"], shape=(1, 2))'
    assert repr(k.DataFrame({})) == "DataFrame(columns=[], shape=(0, 0))"
    assert k.DataFrame({}).shape == (0, 0)
    assert "close" in df and "nope" not in df
    assert df.tz is None
    idx = df.index
    assert idx.dtype == np.int64 and idx.tolist() == list(range(64))
    with pytest.raises(ValueError, match="truth value of a DataFrame is ambiguous \u2014 use len"):
        bool(df)
    with pytest.raises(ValueError):
        bool(k.DataFrame({}))
    with pytest.raises(TypeError):
        1 in df


def test_get_column_shares_and_names(bars):
    df = k.DataFrame(bars)
    s = df.get_column("close")
    assert s.name == "close" and s.dtype == "float64" and len(s) == 64
    np.testing.assert_array_equal(s.to_numpy(), bars["close"])
    with pytest.raises(KeyError, match='column "nope" not found'):
        df.get_column("nope")
    with pytest.raises(TypeError):
        df.get_column(3)


def test_copy_constructor_is_independent(bars):
    df = k.DataFrame(bars)
    df2 = k.DataFrame(df)
    assert df2.columns == df.columns and df2.shape == df.shape


def test_to_numpy_numeric_and_object():
    df = k.DataFrame({"b": [True, False], "f": [1.5, 2.5], "i": [3, 4]})
    m = df.to_numpy()
    assert m.dtype == np.float64
    np.testing.assert_array_equal(m, [[1.0, 1.5, 3.0], [0.0, 2.5, 4.0]])
    assert df.to_numpy(dtype="int64").dtype == np.int64

    ds = k.DataFrame({"s": ["x", "y"], "f": [1.0, float("nan")], "t": np.array([0, 1], dtype="datetime64[ns]")})
    o = ds.to_numpy()
    assert o.dtype == object and o.shape == (2, 3)
    assert o[0, 0] == "x" and isinstance(o[0, 0], str)
    assert isinstance(o[1, 1], float) and math.isnan(o[1, 1])
    assert o[1, 2] == np.datetime64(1, "ns")
    for dt in ("object", "O"):
        kept = ds.to_numpy(dtype=dt)
        assert kept.dtype == object and kept[1, 0] == "y"
    for dt in ("float32", "f4", "f8", "float", "double", "f64"):
        with pytest.raises(ValueError, match="^cannot convert a string column to " + dt + "$"):
            ds.to_numpy(dtype=dt)
    with np.errstate(invalid="ignore"):  # the string cell is NaN before the cast
        as_int = k.DataFrame({"s": ["x"], "f": [2.0]}).to_numpy(dtype="int64")
    assert as_int.dtype == np.int64 and as_int[0, 1] == 2
    zero_rows = k.DataFrame({"s": np.array([], dtype=object), "f": np.array([], dtype=np.float64)})
    assert zero_rows.to_numpy(dtype="object").shape == (0, 2)
    with pytest.raises(TypeError):
        df.to_numpy(dtype=np.float64)


def test_datetime_inside_numeric_frame_exports_nanoseconds():
    df = k.DataFrame({"t": np.array([5], dtype="datetime64[ns]"), "x": [1.0]})
    np.testing.assert_array_equal(df.to_numpy(), [[5.0, 1.0]])


def test_to_pandas(bars):
    df = k.DataFrame(bars)
    p = df.to_pandas()
    assert list(p.columns) == df.columns
    np.testing.assert_array_equal(p["close"].to_numpy(), bars["close"])
    assert p["volume"].dtype == np.int64
    assert p.index.tolist() == list(range(64))
    s = k.DataFrame({"s": ["a"], "t": np.array([0], dtype="datetime64[ns]")}).to_pandas()
    assert s["s"].tolist() == ["a"] and str(s["t"].dtype).startswith("datetime64")


def test_registration_order():
    public = [n for n in vars(k) if not n.startswith("_")]
    assert public == [
        "DataFrame", "Series", "Row", "Timestamp", "DataFrameILoc", "DataFrameLoc", "DataFrameIat", "DataFrameAt",
        "SeriesILoc", "SeriesLoc", "TimeFrame",
        "DirectiveError", "DirectiveSyntaxError", "DirectiveValueError",
        "read_csv", "to_datetime", "directive_stringify", "directive_lookback",
    ]


@pytest.mark.parametrize(
    "kwargs, exc, msg",
    [
        ({"time_frame": "1d"}, ValueError, "time_frame requires a DatetimeIndex"),
        ({"time_frame": "1D"}, ValueError, "time_frame requires a DatetimeIndex"),
        ({"time_frame": "5M"}, ValueError, '"5M" is an invalid time frame'),
        ({"time_frame": 3}, TypeError, "time_frame must be a TimeFrame or a label string"),
        ({"time_frame": None, "cumulators": None}, None, None),
    ],
)
def test_time_frame_argument_checks(kwargs, exc, msg):
    if exc is None:
        assert len(k.DataFrame({"a": [1.0]}, **kwargs)) == 1
        return
    with pytest.raises(exc, match=msg):
        k.DataFrame({"a": [1.0]}, **kwargs)


def test_time_frame_on_datetime_index_makes_a_folding_frame(tmp_path):
    path = tmp_path / "bars.csv"
    path.write_text("time,close,volume\n2021-01-04 09:30:00,1.0,10.0\n")
    df = k.read_csv(str(path), index_col="time", tz="UTC")
    tf = k.DataFrame(df, time_frame="1d")
    path.write_text("time,close,volume\n2021-01-04 10:00:00,2.0,1.0\n2021-01-04 11:00:00,3.0,2.0\n")
    tf.append(k.read_csv(str(path), index_col="time", tz="UTC"))
    # The existing row is a closed period: the first bar opens a row, the
    # second folds into it (close last, volume summed).
    assert tf.get_column("close").to_list() == [1.0, 3.0]
    assert tf.get_column("volume").to_list() == [10.0, 3.0]
    assert len(df) == 1


def test_to_pandas_keeps_the_index_zone(tmp_path):
    path = tmp_path / "bars.csv"
    path.write_text("time,close\n2021-01-04 09:30:00,1.0\n2021-07-01 16:00:00,2.0\n")
    zoned = k.read_csv(str(path), index_col="time", tz="America/New_York")
    assert zoned.tz == "America/New_York"
    p = zoned.to_pandas()
    assert str(p.index.tz) == "America/New_York"
    assert [t.strftime("%Y-%m-%d %H:%M:%S") for t in p.index] == ["2021-01-04 09:30:00", "2021-07-01 16:00:00"]
    naive = k.read_csv(str(path), index_col="time", tz="UTC").to_pandas()
    assert naive.index.tz is None
    assert naive.index[0] == pd.Timestamp("2021-01-04 09:30:00")
    # the exported instants are UTC
    assert zoned.index.astype("int64").tolist() == pd.to_datetime(
        ["2021-01-04 14:30:00", "2021-07-01 20:00:00"]).as_unit("ns").asi8.tolist()
