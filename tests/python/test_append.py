import math

import numpy as np
import pytest

import kadmo_rs as k


def test_append_returns_self_and_pads():
    df = k.DataFrame({"close": [1.0, 2.0], "vol": [10, 20]})
    assert df.append(k.DataFrame({"close": [3.0], "extra": [1.0]})) is df
    assert df.columns == ["close", "vol"]
    assert df.dtypes == {"close": "float64", "vol": "float64"}
    v = df.get_column("vol").to_list()
    assert v[:2] == [10.0, 20.0] and math.isnan(v[2])
    assert df.index.tolist() == [0, 1, 2]


def test_self_append_doubles_once():
    df = k.DataFrame({"a": [1.0, 2.0, 3.0]})
    df.append(df)
    assert df.get_column("a").to_list() == [1.0, 2.0, 3.0, 1.0, 2.0, 3.0]


def test_snapshots_are_unaffected():
    df = k.DataFrame({"a": [1.0, 2.0]})
    snap = k.DataFrame(df)
    s = df.get_column("a")
    df.append(k.DataFrame({"a": [3.0]}))
    assert len(snap) == 2 and snap.get_column("a").to_list() == [1.0, 2.0]
    assert s.to_list() == [1.0, 2.0]
    snap.append(k.DataFrame({"a": [9.0]}))
    assert df.get_column("a").to_list() == [1.0, 2.0, 3.0]


@pytest.mark.parametrize(
    "other, exc, msg",
    [
        # frames are built inside the test (lambdas): objects held by the
        # parameter list would outlive the interpreter's module teardown
        (lambda: 42, TypeError, "append expects a DataFrame or Row"),
        (lambda: {"a": [1.0]}, TypeError, "append expects a DataFrame or Row"),
        (lambda: k.DataFrame({"a": [1], "s": ["x"]}), TypeError, "cannot append a int64 column onto a float64 column"),
        (lambda: k.DataFrame({"a": [1.0]}), TypeError,
         'cannot append: column "s" (object) is missing from the appended frame and has no missing-value representation'),
    ],
)
def test_append_failures_leave_frame_unchanged(other, exc, msg):
    df = k.DataFrame({"a": [1.0, 2.0], "s": ["p", "q"]})
    with pytest.raises(exc) as e:
        df.append(other())
    assert msg in str(e.value)
    assert len(df) == 2 and df.get_column("a").to_list() == [1.0, 2.0]
    assert df.get_column("s").to_list() == ["p", "q"]


def test_alias():
    df = k.DataFrame({"close": [1.0], "open": [2.0]})
    df.alias("c", "close")
    df.alias("cc", "c")  # an alias of an alias resolves to the final column
    assert "c" in df and "cc" in df
    assert df.get_column("cc").to_list() == [1.0]
    assert df.get_column("cc").name == "cc"
    assert df.columns == ["close", "open"]
    with pytest.raises(ValueError, match='column "close" already exists'):
        df.alias("close", "open")
    with pytest.raises(ValueError, match='column "nope" not exists'):
        df.alias("z", "nope")


def test_alias_is_copy_on_write():
    df = k.DataFrame({"close": [1.0]})
    other = k.DataFrame(df)
    df.alias("c", "close")
    assert "c" in df and "c" not in other
