import pytest

import kadmo_rs as k


@pytest.mark.parametrize(
    "text, canonical",
    [
        ("MACD:12,26", "macd"),
        ("macd.dea", "macd.signal"),
        ("ma:20", "ma:20"),
        ("close > ma:20", "close>ma:20"),
        ("ma:5 > close", "(ma:5)>close"),  # must read back as the same tree
        ("close > ma:5 & x", "close>(ma:5)&x"),
        ("cdl.hammer", "cdl.hammer"),
    ],
)
def test_stringify(text, canonical):
    assert k.directive_stringify(text) == canonical
    # the canonical text is a fixed point
    assert k.directive_stringify(canonical) == canonical


@pytest.mark.parametrize(
    "text, lookback",
    [
        ("boll:20", 19),
        ("ma:5", 4),
        ("ema:10@(ma:5)", 13),
        ("mavp:2,18446744073709551615,8", 18446744073709551615),
        ("t3:18446744073709551615", 18446744073709551615),
        ("unknowncmd:5", 0),
    ],
)
def test_lookback(text, lookback):
    assert k.directive_lookback(text) == lookback


@pytest.mark.parametrize(
    "text",
    ["", "ma:5 >", "(close", "close)", "a\x00b", "\ud800", "\xff" * 3, "(" * 100_000, "-" * 100_000,
     "~" * 100_000, "close" + "+close" * 200_000, "x" * 1_000_000 + ")"],
)
def test_malformed_text_is_a_syntax_error_with_position(text):
    with pytest.raises(k.DirectiveSyntaxError, match=r" \(line \d+, column \d+\)$"):
        k.directive_stringify(text)
    with pytest.raises(k.DirectiveSyntaxError):
        k.directive_lookback(text)


def test_nesting_limit_message():
    with pytest.raises(k.DirectiveSyntaxError, match=r"^too deeply nested \(line 1, column 201\)$"):
        k.directive_stringify("(" * 300 + "close" + ")" * 300)
    assert k.directive_stringify("(" * 150 + "close" + ")" * 150) == "close"


def test_line_and_column_count_bytes():
    with pytest.raises(k.DirectiveSyntaxError, match=r"\(line 2, column \d+\)"):
        k.directive_stringify("close >\n  ma:5 +")


def test_argument_types():
    with pytest.raises(TypeError):
        k.directive_stringify(5)
    with pytest.raises(TypeError):
        k.directive_lookback(None)
