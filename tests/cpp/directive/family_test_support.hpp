#pragma once
// Helpers shared by the directive family tests: bitwise comparison of value
// columns, parsing and running a directive on a frame, and the check that a
// state taken over a head of the rows resumes to the full evaluation.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "kadmo/directive/exec.hpp"
#include "kadmo/directive/exec_resume.hpp"
#include "kadmo/directive/parser.hpp"

namespace kadmo::directive::family_test {

using core::Column;
using core::DataFrame;
using V = std::vector<double>;
using B = std::vector<std::uint8_t>;

inline constexpr double N = std::numeric_limits<double>::quiet_NaN();

// Equal bit for bit, any NaN matching any NaN.
inline bool same(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

inline ::testing::AssertionResult same_all(const V& a, const V& b) {
  if (a.size() != b.size()) return ::testing::AssertionFailure() << a.size() << " vs " << b.size() << " values";
  for (std::size_t i = 0; i < a.size(); ++i)
    if (!same(a[i], b[i])) return ::testing::AssertionFailure() << "row " << i << ": " << a[i] << " vs " << b[i];
  return ::testing::AssertionSuccess();
}

// n values, every one NaN.
inline ::testing::AssertionResult all_nan(const V& v, std::size_t n) {
  if (v.size() != n) return ::testing::AssertionFailure() << v.size() << " values, want " << n;
  for (std::size_t i = 0; i < v.size(); ++i)
    if (!std::isnan(v[i])) return ::testing::AssertionFailure() << "row " << i << " is " << v[i];
  return ::testing::AssertionSuccess();
}

// Blanks the first `lead` rows of each of the columns.
inline void blank_lead(std::size_t lead, std::initializer_list<V*> columns) {
  for (V* v : columns)
    for (std::size_t i = 0; i < lead; ++i) (*v)[i] = N;
}

inline DataFrame frame_of(std::vector<std::string> names, std::initializer_list<const V*> columns) {
  std::vector<Column> cols;
  for (const V* v : columns) cols.push_back(Column::f64(*v));
  auto f = DataFrame::make(std::move(names), std::move(cols));
  EXPECT_TRUE(f.has_value());
  return std::move(*f);
}

inline Node tree(const std::string& text) {
  auto r = parse_uncached(text);
  EXPECT_TRUE(r.has_value()) << text;
  return r ? std::move(*r) : ident("close");
}

inline core::Result<Column> run(const DataFrame& f, const std::string& text) { return execute(f, tree(text)); }

inline V floats(const DataFrame& f, const std::string& text) {
  auto c = run(f, text);
  EXPECT_TRUE(c.has_value()) << text << ": " << (c ? "" : c.error().message);
  if (!c || !c->f64_values()) return {};
  return *c->f64_values();
}

inline B flags(const DataFrame& f, const std::string& text) {
  auto c = run(f, text);
  EXPECT_TRUE(c.has_value()) << text << ": " << (c ? "" : c.error().message);
  if (!c || !c->bool_values()) return {};
  return *c->bool_values();
}

// How a resume is expected to behave at a split.
struct SplitRule {
  // Splits before this row leave missing values among the new rows; the
  // resume must decline them (the evaluation falls back to a full one).
  std::size_t declined_before = 0;
  // Whether a state that was taken must also resume.
  bool must_resume = true;
};

// The state over the first k rows, resumed over all rows, gives exactly the
// full evaluation's tail and the full state. Returns whether it was used.
inline bool check_split(const DataFrame& full, const std::string& text, std::size_t k, SplitRule rule = {}) {
  const Node node = tree(text);
  auto st = initial_state(full.slice(0, k), node);
  if (!st) return false;
  auto res = execute_resume(full, node, *st, k, 0);
  if (k < rule.declined_before) {
    EXPECT_FALSE(res.has_value()) << text << " split at " << k;
    return false;
  }
  if (rule.must_resume) {
    EXPECT_TRUE(res.has_value()) << text << " split at " << k;
  }
  if (!res) return false;
  const V all = floats(full, text);
  EXPECT_TRUE(same_all(*res->first.f64_values(), V(all.begin() + static_cast<std::ptrdiff_t>(k), all.end())))
      << text << " split at " << k;
  auto full_state = initial_state(full, node);
  EXPECT_TRUE(full_state.has_value()) << text;
  if (full_state) {
    EXPECT_TRUE(same_all(res->second, *full_state)) << text << " split at " << k;
  }
  return true;
}

// Evaluating with state gives the plain evaluation and the state taken
// afterwards over the same rows.
inline void expect_first_evaluation_with_state(const DataFrame& f, std::span<const char* const> texts) {
  for (const char* text : texts) {
    auto r = execute_with_state(f, tree(text));
    ASSERT_TRUE(r.has_value()) << text;
    EXPECT_TRUE(same_all(*r->first.f64_values(), floats(f, text))) << text;
    auto st = initial_state(f, tree(text));
    ASSERT_TRUE(st.has_value()) << text;
    EXPECT_TRUE(same_all(r->second, *st)) << text;
  }
}

}  // namespace kadmo::directive::family_test
