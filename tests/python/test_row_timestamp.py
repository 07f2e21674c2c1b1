"""Timestamp: construction, civil fields, formatting, comparison and hashing.

Expected instants and wall clocks come from the standard library's datetime
and zoneinfo (and NumPy for arrays), never from kadmo itself.
"""

import datetime as dt
from zoneinfo import ZoneInfo

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import kadmo_rs
from kadmo_rs import Timestamp

UTC = dt.timezone.utc
NS_MIN, NS_MAX = -(2**63), 2**63 - 1


def ns_of(d: dt.datetime) -> int:
    """Exact UTC nanoseconds of an aware datetime (whole microseconds)."""
    delta = d - dt.datetime(1970, 1, 1, tzinfo=UTC)
    return (delta.days * 86_400 + delta.seconds) * 10**9 + delta.microseconds * 1000


def wall_of(ns: int, zone) -> dt.datetime:
    """Wall clock of an instant in a zone, sub-second part floored away."""
    secs = ns // 10**9
    utc = dt.datetime(1970, 1, 1, tzinfo=UTC) + dt.timedelta(seconds=secs)
    return utc.astimezone(zone)


NY = ZoneInfo("America/New_York")


# ------------------------------------------------------------- construction


@pytest.mark.parametrize(
    "value, tz, expected_ns, expected_tz",
    [
        # naive text is a wall clock in the given zone
        ("2021-01-04 09:30:00", "America/New_York", ns_of(dt.datetime(2021, 1, 4, 9, 30, tzinfo=NY)), "America/New_York"),
        ("2021-07-04T09:30:00", "America/New_York", ns_of(dt.datetime(2021, 7, 4, 9, 30, tzinfo=NY)), "America/New_York"),
        ("2021-01-04", "+08:00", ns_of(dt.datetime(2021, 1, 3, 16, 0, tzinfo=UTC)), "+08:00"),
        ("2021-01-04 14:30:00", None, ns_of(dt.datetime(2021, 1, 4, 14, 30, tzinfo=UTC)), None),
        # an offset in the text wins over the zone, which only shows it
        ("2021-01-04T09:30:00+08:00", "America/New_York", ns_of(dt.datetime(2021, 1, 4, 1, 30, tzinfo=UTC)), "America/New_York"),
        ("2021-01-04 09:30:00-05:00", None, ns_of(dt.datetime(2021, 1, 4, 14, 30, tzinfo=UTC)), None),
        # integers are epoch nanoseconds, NumPy integers included
        (0, "-01:00", 0, "-01:00"),
        (-1, None, -1, None),
        (np.int64(1_600_000_000_123_456_789), "Asia/Tokyo", 1_600_000_000_123_456_789, "Asia/Tokyo"),
        (NS_MAX, None, NS_MAX, None),
        (NS_MIN, None, NS_MIN, None),
        # zero offsets are the UTC variant
        (0, "UTC", 0, None),
        (0, "+00:00", 0, None),
    ],
)
def test_construction(value, tz, expected_ns, expected_tz):
    ts = Timestamp(value, tz=tz)
    assert ts.value == expected_ns
    assert ts.tz == expected_tz


def test_fold_takes_the_earlier_instant_and_gap_is_rejected():
    # 01:30 happens twice on 2021-11-07 in New York: EDT (UTC-4) comes first.
    ts = Timestamp("2021-11-07 01:30:00", tz="America/New_York")
    assert ts.value == ns_of(dt.datetime(2021, 11, 7, 5, 30, tzinfo=UTC))
    # 02:30 never happens on 2021-03-14; no instant is invented for it.
    with pytest.raises(KeyError, match='invalid datetime label "2021-03-14 02:30:00"'):
        Timestamp("2021-03-14 02:30:00", tz="America/New_York")


def test_rezoning_keeps_the_instant():
    ts = Timestamp("2021-01-04 09:30:00", tz="America/New_York")
    tokyo = Timestamp(ts, tz="Asia/Tokyo")
    assert tokyo.value == ts.value
    assert tokyo.tz == "Asia/Tokyo"
    assert tokyo.hour == 23  # 14:30 UTC is 23:30 in Tokyo
    assert Timestamp(ts).tz is None and Timestamp(ts).value == ts.value


@pytest.mark.parametrize(
    "value, tz, exc, message",
    [
        (1.5, None, KeyError, "label must be a datetime string or integer"),
        (None, None, KeyError, "label must be a datetime string or integer"),
        ([1], None, KeyError, "label must be a datetime string or integer"),
        (2**63, None, KeyError, "label must be a datetime string or integer"),
        (-(2**63) - 1, None, KeyError, "label must be a datetime string or integer"),
        ("2021-13-01", None, KeyError, 'invalid datetime label "2021-13-01"'),
        ("2021-01-04 09:30", None, KeyError, 'invalid datetime label "2021-01-04 09:30"'),
        ('say "hi"', None, KeyError, r'invalid datetime label "say \"hi\""'),
        (0, "Mars/Olympus", ValueError, 'unknown timezone "Mars/Olympus"'),
        (0, "../etc/passwd", ValueError, 'unknown timezone "../etc/passwd"'),
        (0, "america/new_york", ValueError, 'unknown timezone "america/new_york"'),
    ],
)
def test_construction_errors(value, tz, exc, message):
    with pytest.raises(exc) as e:
        Timestamp(value, tz=tz)
    assert e.value.args[0] == message


def test_tz_must_be_a_str():
    with pytest.raises(TypeError):
        Timestamp(0, tz=8)


def test_timestamp_is_immutable():
    ts = Timestamp(5)
    with pytest.raises(AttributeError):
        ts.value = 6
    with pytest.raises(AttributeError):
        ts.extra = 1
    with pytest.warns(RuntimeWarning), pytest.raises(TypeError):
        ts.__init__(7)
    assert ts.value == 5


def test_uninitialised_instance_is_refused_not_crashing():
    raw = Timestamp.__new__(Timestamp)
    with pytest.warns(RuntimeWarning), pytest.raises(TypeError):
        raw.value
    # As a comparison operand it is not an instant either.
    with pytest.raises(KeyError):
        Timestamp(0) == raw


# ------------------------------------------------------------ civil fields


ZONES = ["UTC", "America/New_York", "Europe/London", "Asia/Kolkata", "Australia/Lord_Howe", "+08:00", "-01:00", "+05:45"]


def zoneinfo_of(name):
    if name[0] in "+-":
        sign = 1 if name[0] == "+" else -1
        h, m = int(name[1:3]), int(name[4:6])
        return dt.timezone(sign * dt.timedelta(hours=h, minutes=m))
    return ZoneInfo(name)


def expected_tz_name(name):
    return None if name == "UTC" else name


@settings(max_examples=300, deadline=None)
@given(ns=st.integers(NS_MIN, NS_MAX), zone=st.sampled_from(ZONES))
def test_civil_fields_and_weekday_match_zoneinfo(ns, zone):
    ts = Timestamp(ns, tz=zone)
    wall = wall_of(ns, zoneinfo_of(zone))
    assert (ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second) == (
        wall.year, wall.month, wall.day, wall.hour, wall.minute, wall.second)
    assert ts.weekday() == wall.weekday()
    assert ts.tz == expected_tz_name(zone)


@pytest.mark.parametrize(
    "ns, tz, fields, weekday",
    [
        (0, None, (1970, 1, 1, 0, 0, 0), 3),  # a Thursday
        (0, "-01:00", (1969, 12, 31, 23, 0, 0), 2),
        (-1, None, (1969, 12, 31, 23, 59, 59), 2),  # flooring, not truncation
        (NS_MAX, None, (2262, 4, 11, 23, 47, 16), 4),
        (NS_MIN, None, (1677, 9, 21, 0, 12, 43), 1),
        (NS_MAX, "+14:00", (2262, 4, 12, 13, 47, 16), 5),
    ],
)
def test_civil_fields_at_the_edges(ns, tz, fields, weekday):
    ts = Timestamp(ns, tz=tz)
    assert (ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second) == fields
    assert ts.weekday() == weekday


# --------------------------------------------------------------- strftime


@settings(max_examples=200, deadline=None)
@given(ns=st.integers(NS_MIN, NS_MAX), zone=st.sampled_from(ZONES))
def test_strftime_matches_the_wall_clock(ns, zone):
    fmt = "%Y-%m-%d %H:%M:%S|%y %b %B %a %A %j %I %p|%F %T|100%%"
    wall = wall_of(ns, zoneinfo_of(zone))
    assert Timestamp(ns, tz=zone).strftime(fmt) == wall.strftime(fmt)


def test_strftime_cases():
    ts = Timestamp("2021-01-04 09:30:15", tz="America/New_York")
    assert ts.strftime("%Y-%m-%d %H:%M") == "2021-01-04 09:30"
    assert ts.strftime("") == ""
    assert ts.strftime("no specifiers") == "no specifiers"
    # Offsets print the timestamp's own zone.
    assert ts.strftime("%z") == "-0500"
    assert Timestamp("2021-07-04 09:30:00", tz="America/New_York").strftime("%z") == "-0400"
    assert ts.strftime("%:z") == "-05:00"
    assert Timestamp(0, tz="+05:45").strftime("%H:%M %z") == "05:45 +0545"
    # Sub-second digits are not kept.
    assert Timestamp(1_500_000_000).strftime("%S") == "01"


@pytest.mark.parametrize("fmt", ["%Q", "%Y-%m-%d %", "%", "abc %K", "%Y%~"])
def test_strftime_rejects_unknown_specifiers(fmt):
    with pytest.raises(ValueError, match="^invalid strftime format string$"):
        Timestamp(0).strftime(fmt)


# ------------------------------------------------------- repr and to_numpy


@pytest.mark.parametrize(
    "value, tz, text",
    [
        (0, "+08:00", "Timestamp('1970-01-01 08:00:00', tz='+08:00')"),
        ("2021-01-04 14:30:00", None, "Timestamp('2021-01-04 14:30:00')"),
        ("2021-01-04 09:30:00", "America/New_York", "Timestamp('2021-01-04 09:30:00', tz='America/New_York')"),
        (1_999_999_999, None, "Timestamp('1970-01-01 00:00:01')"),
        (0, "Z", "Timestamp('1970-01-01 00:00:00')"),
    ],
)
def test_repr(value, tz, text):
    assert repr(Timestamp(value, tz=tz)) == text


def test_to_numpy_holds_the_utc_instant():
    ts = Timestamp("2021-01-04 09:30:00.123456789-05:00".replace(" ", "T"), tz="Asia/Tokyo")
    arr = ts.to_numpy()
    assert arr.dtype == np.dtype("datetime64[ns]")
    assert arr.shape == (1,)
    assert arr[0] == np.datetime64("2021-01-04T14:30:00.123456789", "ns")
    assert Timestamp(NS_MIN + 1).to_numpy().view("int64")[0] == NS_MIN + 1


# ------------------------------------------------ comparisons and hashing


NS_1430 = ns_of(dt.datetime(2021, 1, 4, 14, 30, tzinfo=UTC))


@pytest.fixture
def ny_0930():
    return Timestamp("2021-01-04 09:30:00", tz="America/New_York")  # 14:30 UTC


@pytest.mark.parametrize(
    "other, relation",
    [
        (("2021-01-04 14:30:00", None), 0),
        (("2021-01-05 00:30:00", "+10:00"), 0),
        ((NS_1430 + 1, None), -1),
        # text is read as UTC, not in the timestamp's zone
        ("2021-01-04 14:30:00", 0),
        ("2021-01-04 09:30:00", 1),
        ("2021-01-05 00:00:00", -1),
        ("2021-01-04T09:30:00-05:00", 0),
        (NS_1430, 0),
        (NS_1430 - 1, 1),
        (np.int64(NS_1430 + 1), -1),
    ],
)
def test_comparisons(ny_0930, other, relation):
    ts = ny_0930
    if isinstance(other, tuple):  # another Timestamp
        other = Timestamp(*other)
    assert (ts == other) is (relation == 0)
    assert (ts != other) is (relation != 0)
    assert (ts < other) is (relation < 0)
    assert (ts <= other) is (relation <= 0)
    assert (ts > other) is (relation > 0)
    assert (ts >= other) is (relation >= 0)


def test_reflected_comparison_with_text(ny_0930):
    assert "2021-01-04 00:00:00" < ny_0930
    assert "2021-01-05 00:00:00" > ny_0930


@pytest.mark.parametrize(
    "other, message",
    [
        (None, "label must be a datetime string or integer"),
        (1.5, "label must be a datetime string or integer"),
        ([NS_1430], "label must be a datetime string or integer"),
        ("not a date", 'invalid datetime label "not a date"'),
    ],
)
def test_comparison_with_an_unreadable_operand_raises(ny_0930, other, message):
    for op in ("__eq__", "__ne__", "__lt__", "__le__", "__gt__", "__ge__"):
        with pytest.raises(KeyError, match=message):
            getattr(ny_0930, op)(other)
    with pytest.raises(KeyError):
        ny_0930 == other  # noqa: B015
    with pytest.raises(KeyError):
        other != ny_0930  # noqa: B015


def test_hash_follows_the_instant(ny_0930):
    same = [ny_0930, Timestamp("2021-01-04 14:30:00"), Timestamp(ny_0930, tz="+05:45")]
    assert len({hash(t) for t in same}) == 1
    assert hash(ny_0930) == NS_1430
    assert len(set(same)) == 1
    assert {ny_0930: "x"}[Timestamp(NS_1430, tz="Asia/Tokyo")] == "x"
    # -1 is reserved by CPython; it hashes to -2 and does not break lookups.
    assert hash(Timestamp(-1)) == -2
    assert hash(Timestamp(-2)) == -2
    assert len({Timestamp(-1), Timestamp(-2)}) == 2


def test_registered_in_order():
    names = [n for n in vars(kadmo_rs) if n in ("DataFrame", "Series", "Row", "Timestamp")]
    assert names == ["DataFrame", "Series", "Row", "Timestamp"]


def test_row_cannot_be_built_from_python():
    with pytest.raises(TypeError):
        kadmo_rs.Row()


# --------------------------------------------------------------------- Row
#
# A Row only comes out of a frame's positional indexer; these run once the
# frame has one.

needs_iloc = pytest.mark.skipif(not hasattr(kadmo_rs.DataFrame, "iloc"), reason="DataFrame.iloc not available yet")

DT = np.array(["2021-01-04T14:30", "2021-01-05T14:30", "2021-01-06T14:30"], dtype="datetime64[ns]")


@pytest.fixture
def mixed():
    cols = {
        "open": [1.5, float("nan"), 3.5],
        "flag": [True, False, True],
        "vol": [10, -20, 2**62],
        "sym": ["a", "b", "ç"],
        "ts": DT,
    }
    return cols, kadmo_rs.DataFrame(cols)


@needs_iloc
@pytest.mark.parametrize("pos", [0, 1, 2])
def test_row_values_keep_their_types(mixed, pos):
    cols, df = mixed
    row = df.iloc[pos]
    assert row.name == pos
    expected = {
        "open": cols["open"][pos],
        "flag": cols["flag"][pos],
        "vol": cols["vol"][pos],
        "sym": cols["sym"][pos],
        "ts": DT[pos],
    }
    got = row.to_dict()
    assert list(got) == ["open", "flag", "vol", "sym", "ts"]
    for key, want in expected.items():
        for value in (row[key], got[key]):
            assert type(value) is type(want)
            if key == "open" and np.isnan(want):
                assert np.isnan(value)
            else:
                assert value == want
    assert np.datetime_data(row["ts"].dtype) == ("ns", 1)


@needs_iloc
def test_row_to_numpy_is_the_float_view(mixed):
    cols, df = mixed
    arr = df.iloc[2].to_numpy()
    assert arr.dtype == np.float64 and arr.shape == (1, 5)
    want = [3.5, 1.0, float(2**62), np.nan, float(DT[2].astype("int64"))]
    np.testing.assert_array_equal(arr[0], np.array(want))


@needs_iloc
def test_row_lookup_repr_and_errors(mixed):
    _, df = mixed
    df.alias("o", "open")
    row = df.iloc[-1]
    assert row.name == 2
    assert row["o"] == 3.5  # aliases resolve as on the frame
    assert repr(row) == 'Row(columns=["open", "flag", "vol", "sym", "ts"])'
    with pytest.raises(KeyError) as e:
        row["close"]
    assert e.value.args[0] == 'column "close" not found'
    with pytest.raises(TypeError):
        row[0]
    with pytest.raises(AttributeError):
        row.name = 5


@needs_iloc
def test_row_is_a_snapshot_and_appends(mixed):
    _, df = mixed
    row = df.iloc[0]
    df.append(df)
    assert row.to_dict()["vol"] == 10 and len(df) == 6
    df.append(row)
    assert len(df) == 7
    assert df.get_column("sym").to_list()[-1] == "a"
