// Signal tools: row-wise comparison, relative change, repeated conditions and
// monotonic runs.

#include <cstdint>
#include <limits>

#include "kadmo/compute/indicators/tools.hpp"
#include "test_support.hpp"

namespace kadmo::compute {
namespace {

using namespace testing;
using V = std::vector<double>;
using B = std::vector<std::uint8_t>;

TEST(Signal, Style) {
  const V x{1, 2, 3, NaN, 5}, y{2, 2, 1, 1, NaN};
  EXPECT_EQ(style(true, x, y), (B{0, 0, 1, 0, 0}));
  EXPECT_EQ(style(false, x, y), (B{1, 0, 0, 0, 0}));
  EXPECT_TRUE(style(true, V{}, V{}).empty());
}

TEST(Signal, Change) {
  const struct {
    const char* name;
    V x;
    std::size_t n;
    V want;
  } cases[] = {
      // x[t] / x[t - n + 1] - 1: a span of n rows including the current one
      {"n=2", {2, 3, 6, 3}, 2, {NaN, 0.5, 1, -0.5}},
      {"n=3", {2, 3, 6, 3}, 3, {NaN, NaN, 2, 0}},
      {"n=1 is 0 except missing or tiny", {2, NaN, 0, 1e-11, -4}, 1, {0, NaN, NaN, NaN, 0}},
      {"zero base", {0, 1, 1e-11, 2}, 2, {NaN, NaN, 1e-11 - 1, NaN}},
      {"n=0", {1, 2}, 0, {NaN, NaN}},
      {"n>len", {1, 2}, 3, {NaN, NaN}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(near_all(change(c.x, c.n), c.want, 1e-12));
  }
  EXPECT_EQ(change_lookback(5), 4u);
}

TEST(Signal, Repeat) {
  const B b{1, 1, 0, 1, 1, 1};
  EXPECT_EQ(repeat(b, 3), (B{0, 0, 0, 0, 0, 1}));
  EXPECT_EQ(repeat(b, 2), (B{0, 1, 0, 0, 1, 1}));
  EXPECT_EQ(repeat(b, 1), b);
  EXPECT_EQ(repeat(b, 0), B(6, 0));
  EXPECT_EQ(repeat(b, 7), B(6, 0));
  EXPECT_EQ(repeat(b, static_cast<std::size_t>(-1)), B(6, 0));
}

TEST(Signal, Increase) {
  const std::size_t huge = std::numeric_limits<std::size_t>::max();
  const struct {
    const char* name;
    V x;
    std::size_t n;
    std::int64_t d;
    B want;
  } cases[] = {
      {"rising n=2", {1, 2, 3, 3, 4}, 2, 1, {0, 0, 1, 0, 0}},
      {"falling from row n", {5, 4, 3, 2, 1}, 2, -1, {0, 0, 1, 1, 1}},
      {"rising n=1", {1, 2, 2, 3}, 1, 1, {0, 1, 0, 1}},
      {"a missing value fails", {1, 2, NaN, 4, 5, 6}, 2, 1, {0, 0, 0, 0, 0, 1}},
      // d = 0 never matches; d = 2 fails on the first value against +inf.
      {"d=0", {1, 2, 3}, 1, 0, {0, 0, 0}},
      {"d=2", {1, 2, 3}, 1, 2, {0, 0, 0}},
      {"d=-3 falls like -1", {3, 2, 1}, 1, -3, {0, 1, 1}},
      // n = 0: a single value against the sentinel.
      {"n=0", {1, NaN, -std::numeric_limits<double>::infinity()}, 0, 1, {1, 0, 0}},
      {"len <= n", {1, 2, 3}, 3, 1, {0, 0, 0}},
      {"huge n", {1, 2, 3}, huge, 1, {0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(increase(c.x, c.n, c.d), c.want);
  }
}

}  // namespace
}  // namespace kadmo::compute
