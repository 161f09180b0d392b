#include "morvix/src/keyframes.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace morvix {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

struct LocateCase {
  std::vector<double> times;
  double t;
  KeyInterval want;
};

class LocateKey : public ::testing::TestWithParam<LocateCase> {};

TEST_P(LocateKey, IntervalAndFraction) {
  const LocateCase& c = GetParam();
  const KeyInterval got = locate_key(c.times, c.times.size(), c.t);
  EXPECT_EQ(got.from, c.want.from);
  EXPECT_EQ(got.to, c.want.to);
  if (std::isnan(c.want.fraction)) {
    EXPECT_TRUE(std::isnan(got.fraction));
  } else {
    EXPECT_EQ(got.fraction, c.want.fraction);
  }
}

const std::vector<double> four = {0.0, 1.0, 3.0, 3.5};

INSTANTIATE_TEST_SUITE_P(
    Keyframes, LocateKey,
    ::testing::Values(LocateCase{four, 0.0, {0, 1, 0.0}}, LocateCase{four, 1.0, {1, 2, 0.0}},   // a key starts its interval
                      LocateCase{four, 3.5, {2, 3, 1.0}}, LocateCase{four, 2.5, {1, 2, 0.75}},  // the last ends the last
                      LocateCase{four, 0.25, {0, 1, 0.25}}, LocateCase{four, 3.25, {2, 3, 0.5}},
                      LocateCase{four, -inf, {0, 1, 0.0}}, LocateCase{four, 1e300, {2, 3, 1.0}},
                      LocateCase{four, nan, {0, 1, nan}}, LocateCase{{2.0}, 9.0, {0, 0, 0.0}},
                      LocateCase{{2.0}, nan, {0, 0, 0.0}}, LocateCase{{-1.0, 1.0}, -0.0, {0, 1, 0.5}}));

}  // namespace
}  // namespace morvix
