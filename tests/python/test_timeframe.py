"""TimeFrame constants and UTC period keys.

Which instants share a bar is checked against pandas: UTC wall clocks floored
to the period, or to_period('W-SUN' / 'M' / 'Y') for weeks, months and years.
"""

import copy
import pickle

import numpy as np
import pandas as pd
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import kadmo_rs as k

TF = k.TimeFrame

# Parameter tables name constants rather than hold them: pytest with the
# hypothesis plugin keeps parameter objects alive past interpreter teardown,
# which nanobind then reports as leaked instances.

# Constant name, label, pandas bucket of a UTC wall clock.
FRAMES = [
    ("s1", "1s", lambda t: t.floor("1s")),
    ("m1", "1m", lambda t: t.floor("1min")),
    ("m3", "3m", lambda t: t.floor("3min")),
    ("m5", "5m", lambda t: t.floor("5min")),
    ("m15", "15m", lambda t: t.floor("15min")),
    ("m30", "30m", lambda t: t.floor("30min")),
    ("H1", "1h", lambda t: t.floor("1h")),
    ("H2", "2h", lambda t: t.floor("2h")),
    ("H4", "4h", lambda t: t.floor("4h")),
    ("H6", "6h", lambda t: t.floor("6h")),
    ("H8", "8h", lambda t: t.floor("8h")),
    ("H12", "12h", lambda t: t.floor("12h")),
    ("D1", "1d", lambda t: t.floor("1D")),
    # floor('3D') of a naive stamp is aligned to 1970-01-01, as 3-day bars are.
    ("D3", "3d", lambda t: t.floor("3D")),
    ("W1", "1w", lambda t: t.to_period("W-SUN")),
    ("M1", "1M", lambda t: t.to_period("M")),
    ("Y1", "1y", lambda t: t.to_period("Y")),
]


def test_constants_labels_and_reprs():
    for name, label, _ in FRAMES:
        tf = getattr(TF, name)
        assert isinstance(tf, TF)
        assert str(tf) == label
        assert repr(tf) == "TimeFrame." + label
    assert str(TF.M1) == "1M" and str(TF.m1) == "1m"
    assert repr(TF.H12) == "TimeFrame.12h"
    assert len({id(getattr(TF, n)) for n, _, _ in FRAMES}) == 17


def test_constants_are_singletons_and_class_is_not_instantiable():
    for name, _, _ in FRAMES:
        tf = getattr(TF, name)
        assert getattr(TF, name) is tf
        assert copy.copy(tf) is tf
        assert copy.deepcopy(tf) is tf
        assert pickle.loads(pickle.dumps(tf)) is tf
    with pytest.raises(TypeError):
        TF()
    # A bare instance made through __new__ holds no period; using it is a
    # TypeError, never a crash.
    bare = TF.__new__(TF)
    with pytest.warns(RuntimeWarning), pytest.raises(TypeError):
        bare.unify(0)


@pytest.mark.parametrize(
    "tf, same, different",
    [
        ("D1", ["2021-01-04 00:00:00", "2021-01-04 23:59:59"], "2021-01-05 00:00:00"),
        ("H4", ["2021-01-04 00:00:00", "2021-01-04 03:59:59"], "2021-01-04 04:00:00"),
        ("H12", ["2021-01-04 12:00:00", "2021-01-04 23:59:59"], "2021-01-04 11:59:59"),
        ("m15", ["2021-01-04 09:30:00", "2021-01-04 09:44:59"], "2021-01-04 09:45:00"),
        ("m3", ["2021-01-04 09:00:00", "2021-01-04 09:02:59"], "2021-01-04 09:03:00"),
        # Weeks run Monday to Sunday.
        ("W1", ["2021-01-04", "2021-01-10 23:59:59"], "2021-01-11"),
        ("W1", ["1970-01-01", "1969-12-29"], "1969-12-28 23:59:59"),
        # 3-day bars from 1970-01-01; the day before belongs to the key before.
        ("D3", ["1970-01-01", "1970-01-02", "1970-01-03 23:59:59"], "1970-01-04"),
        ("D3", ["1969-12-29", "1969-12-31 23:59:59"], "1970-01-01"),
        ("M1", ["2020-02-01", "2020-02-29 23:59:59"], "2020-03-01"),
        ("Y1", ["2021-01-01", "2021-12-31 23:59:59"], "2022-01-01"),
    ],
)
def test_unify_bar_boundaries(tf, same, different):
    tf = getattr(TF, tf)
    keys = {tf.unify(t) for t in same}
    assert len(keys) == 1
    assert tf.unify(different) not in keys


def test_unify_reads_timestamps_text_and_integers_as_instants():
    ns = pd.Timestamp("2021-01-04 23:00:00", tz="UTC").value
    key = TF.D1.unify(ns)
    assert key == 20210104000000  # the day's key has the shape YYYYMMDD000000
    # The key is always taken in UTC: a Timestamp shown in Tokyo (already the
    # 5th there) and text with an offset name the same UTC day.
    assert TF.D1.unify(k.Timestamp(ns, tz="Asia/Tokyo")) == key
    assert TF.D1.unify("2021-01-05 08:00:00+09:00") == key
    assert TF.D1.unify("2021-01-04T23:00:00Z") == key
    assert TF.D1.unify(np.int64(ns)) == key
    assert TF.s1.unify(-1) == 19691231235959
    # The ends of the int64 range are exact keys, not overflows.
    assert TF.s1.unify(np.iinfo(np.int64).min) == 16770921001243
    assert TF.s1.unify(np.iinfo(np.int64).max) == 22620411234716


@pytest.mark.parametrize(
    "value, message",
    [
        (None, "label must be a datetime string or integer"),
        (1.5, "label must be a datetime string or integer"),
        (2**63, "label must be a datetime string or integer"),
        (b"2021-01-04", "label must be a datetime string or integer"),
        ("2021-01-04 09:30", 'invalid datetime label "2021-01-04 09:30"'),
        ("soon", 'invalid datetime label "soon"'),
    ],
)
def test_unify_rejects_unreadable_values_with_key_error(value, message):
    with pytest.raises(KeyError) as err:
        TF.H1.unify(value)
    assert err.value.args[0] == message


# Instants where pandas Timestamps are exact (pandas itself stops a little
# inside the int64 range).
INSTANTS = st.integers(min_value=-(2**62), max_value=2**62)
GAPS = st.sampled_from([1, 59, 60, 3599, 3600, 86399, 86400, 3 * 86400, 7 * 86400, 31 * 86400, 366 * 86400])


@settings(max_examples=300, deadline=None)
@given(a=INSTANTS, gap_s=GAPS, jitter=st.integers(min_value=-(10**9), max_value=10**9))
def test_keys_share_a_bar_exactly_when_pandas_buckets_agree(a, gap_s, jitter):
    b = a + gap_s * 10**9 + jitter
    ta, tb = pd.Timestamp(a, unit="ns"), pd.Timestamp(b, unit="ns")
    for name, _, bucket in FRAMES:
        tf = getattr(TF, name)
        ka, kb = tf.unify(a), tf.unify(b)
        assert (ka == kb) == (bucket(ta) == bucket(tb)), (name, ta, tb)
        # b is never before a, and UTC keys never decrease.
        assert ka <= kb, (name, ta, tb)
