#pragma once

#include <gtest/gtest.h>

#include <string>

// The reason a rule that fails with why gives, or "" where it passes; a failure without a reason,
// or a pass with one, fails the test.
template <typename Rule, typename... Args>
std::string WhyOf(Rule rule, const Args&... args) {
  std::string why;
  const bool passed = rule(args..., &why);
  EXPECT_EQ(passed, why.empty()) << why;
  return why;
}
