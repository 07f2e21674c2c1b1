#pragma once
// A frame built in a test; a refusal fails the test with the reason.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "kadmo/core/dataframe.hpp"

namespace kadmo::core::test_support {

inline DataFrame frame(std::vector<std::string> names, std::vector<Column> cols,
                       std::optional<Index> idx = std::nullopt) {
  auto r = DataFrame::make(std::move(names), std::move(cols), std::move(idx));
  EXPECT_TRUE(r) << (r ? "" : r.error().text());
  return *r;
}

}  // namespace kadmo::core::test_support
