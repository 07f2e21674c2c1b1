import numpy as np
import pandas as pd
import pytest

import kadmo_rs as k


def ns(s):
    return s.to_numpy().view("int64").tolist()


def pd_ns(texts):
    return pd.to_datetime(texts, utc=True).as_unit("ns").asi8.tolist()


@pytest.mark.parametrize(
    "obj, kwargs, expected",
    [
        ([1.5], {"unit": "s"}, [1_500_000_000]),
        ([1], {"unit": "ms"}, [1_000_000]),
        ([1, 2], {"unit": "us"}, [1_000, 2_000]),
        ([7], {}, [7]),
        (np.array([-1.5]), {"unit": "s"}, [-1_500_000_000]),
        ([], {"unit": "bogus"}, []),  # an empty input never checks the unit
        (["2021-01-04 09:30:00+08:00"], {}, pd_ns(["2021-01-04 01:30:00"])),
        (["2021-01-04"], {}, pd_ns(["2021-01-04"])),
        (["2021/01/04 10:00:00", "2021-01-04T10:00:00Z"], {}, pd_ns(["2021-01-04 10:00", "2021-01-04 10:00"])),
        (["04/01/2021"], {"format": "%d/%m/%Y"}, pd_ns(["2021-01-04"])),
        (["04/01/2021 13:45:10"], {"format": "%d/%m/%Y %H:%M:%S"}, pd_ns(["2021-01-04 13:45:10"])),
    ],
)
def test_to_datetime_values(obj, kwargs, expected):
    s = k.to_datetime(obj, **kwargs)
    assert s.dtype == "datetime64[ns]"
    assert ns(s) == expected
    assert s.name is None


@pytest.mark.parametrize(
    "obj, kwargs, exc, msg",
    [
        ([float("nan")], {}, k.DirectiveValueError, 'invalid epoch unit "ns" or overflow'),
        ([float("inf")], {"unit": "s"}, k.DirectiveValueError, 'invalid epoch unit "s" or overflow'),
        ([1e300], {"unit": "s"}, k.DirectiveValueError, 'invalid epoch unit "s" or overflow'),
        ([2**62], {"unit": "s"}, k.DirectiveValueError, 'invalid epoch unit "s" or overflow'),
        ([1], {"unit": "h"}, k.DirectiveValueError, 'invalid epoch unit "h" or overflow'),
        ([True], {}, TypeError, "cannot read a bool column as an epoch timestamp (need int64 / float64)"),
        (["nope"], {}, k.DirectiveValueError, 'could not parse datetime "nope"'),
        (["2021-01-04 09:30"], {}, k.DirectiveValueError, 'could not parse datetime "2021-01-04 09:30"'),
        (["2021-01-04"], {"format": "%d/%m/%Y"}, ValueError, '"2021-01-04" does not match format "%d/%m/%Y"'),
    ],
)
def test_to_datetime_failures(obj, kwargs, exc, msg):
    with pytest.raises(exc) as e:
        k.to_datetime(obj, **kwargs)
    assert msg in str(e.value)


def test_to_datetime_of_series_keeps_name_and_index():
    df = k.DataFrame({"t": [1, 2], "d": np.array([5, 6], dtype="datetime64[ns]")})
    s = k.to_datetime(df.get_column("t"), unit="s")
    assert s.name == "t"
    assert s.index.tolist() == [0, 1]
    assert ns(s) == [1_000_000_000, 2_000_000_000]
    same = k.to_datetime(df.get_column("d"))
    assert ns(same) == [5, 6] and same.name == "d"
    assert same.to_list() == [np.datetime64(5, "ns"), np.datetime64(6, "ns")]


def test_to_datetime_argument_types():
    with pytest.raises(TypeError):
        k.to_datetime([1], unit=1)
    with pytest.raises(TypeError):
        k.to_datetime([1], format=3)
