#include "morvix/src/angle.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace morvix {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

TEST(AngleConstants, HoldTheirBits) {
  EXPECT_EQ(bits(AngleRadians::zero().angle), 0x0000000000000000u);
  EXPECT_EQ(bits(AngleRadians::pi().angle), 0x400921FB54442D18u);
  EXPECT_EQ(bits(AngleRadians::two_pi().angle), 0x401921FB54442D18u);
  EXPECT_EQ(bits(AngleRadians::half_pi().angle), 0x3FF921FB54442D18u);
  EXPECT_EQ(bits(AngleRadians::quarter_pi().angle), 0x3FE921FB54442D18u);
  // One ulp below the doubles nearest π/3 and π/6.
  EXPECT_EQ(bits(AngleRadians::third_pi().angle), 0x3FF0C152382D7365u);
  EXPECT_EQ(bits(AngleRadians::sixth_pi().angle), 0x3FE0C152382D7365u);
}

// ---- unit conversion: multiply first, divide second

struct ConversionCase {
  std::string name;
  double radians;
  double degrees;
};

class AngleToDegrees : public testing::TestWithParam<ConversionCase> {};
class AngleToRadians : public testing::TestWithParam<ConversionCase> {};

TEST_P(AngleToDegrees, Exact) { EXPECT_EQ(bits(to_degrees({GetParam().radians}).angle), bits(GetParam().degrees)); }
TEST_P(AngleToRadians, Exact) { EXPECT_EQ(bits(to_radians({GetParam().degrees}).angle), bits(GetParam().radians)); }

INSTANTIATE_TEST_SUITE_P(Table, AngleToDegrees,
                         testing::Values(ConversionCase{"Pi", AngleRadians::pi().angle, 180.0},
                                         ConversionCase{"HalfPi", AngleRadians::half_pi().angle, 90.0},
                                         ConversionCase{"QuarterPi", AngleRadians::quarter_pi().angle, 45.0},
                                         ConversionCase{"TwoPi", AngleRadians::two_pi().angle, 360.0},
                                         ConversionCase{"ThirdPi", AngleRadians::third_pi().angle, 59.99999999999999},
                                         ConversionCase{"SixthPi", AngleRadians::sixth_pi().angle, 29.999999999999996},
                                         ConversionCase{"One", 1.0, 57.29577951308232},
                                         // ...233 with a precomputed 180/π factor.
                                         ConversionCase{"PointOne", 0.1, 5.729577951308232}),
                         [](const auto& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(Table, AngleToRadians,
                         testing::Values(ConversionCase{"Sixty", AngleRadians::third_pi().angle, 60.0},
                                         ConversionCase{"Thirty", AngleRadians::sixth_pi().angle, 30.0},
                                         ConversionCase{"Ninety", AngleRadians::half_pi().angle, 90.0}),
                         [](const auto& info) { return info.param.name; });

// ---- trigonometry and arithmetic: IEEE results, no guards

TEST(AngleTrig, ReciprocalsAreUnguarded) {
  // cos of the double nearest π/2 is about 6.1e-17, not 0.
  EXPECT_EQ(sec(AngleRadians::half_pi()), 1.633123935319537e16);
  EXPECT_EQ(cot(AngleRadians::half_pi()), 6.123233995736766e-17);
  EXPECT_EQ(csc({0.0}), inf);
  EXPECT_EQ(cot({0.0}), inf);
  EXPECT_EQ(csc({-0.0}), -inf);
  EXPECT_EQ(cot({-0.0}), -inf);
}

TEST(AngleArithmetic, DegenerateOperands) {
  EXPECT_EQ((AngleRadians{1} / 0.0).angle, inf);
  EXPECT_TRUE(std::isnan((AngleRadians{0} / 0.0).angle));
  EXPECT_EQ(bits((-AngleRadians::zero()).angle), bits(-0.0));
  EXPECT_EQ(-AngleRadians::zero(), AngleRadians::zero());
  // Negation flips the sign bit of a NaN too.
  EXPECT_EQ(bits((-AngleDegrees{nan}).angle), bits(nan) ^ 0x8000000000000000u);
}

struct OrderCase {
  std::string name;
  double lhs, rhs;
  bool eq, lt, le, gt, ge;
};

class AngleOrder : public testing::TestWithParam<OrderCase> {};

template <class Angle>
void expect_order(const OrderCase& c) {
  const Angle l{c.lhs}, r{c.rhs};
  EXPECT_EQ(l == r, c.eq);
  EXPECT_EQ(l != r, !c.eq);
  EXPECT_EQ(l < r, c.lt);
  EXPECT_EQ(l <= r, c.le);
  EXPECT_EQ(l > r, c.gt);
  EXPECT_EQ(l >= r, c.ge);
}

TEST_P(AngleOrder, PlainIeee) {
  expect_order<AngleRadians>(GetParam());
  expect_order<AngleDegrees>(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Table, AngleOrder,
                         testing::Values(OrderCase{"Less", 1.0, 2.0, false, true, true, false, false},
                                         OrderCase{"SignedZeros", 0.0, -0.0, true, false, true, false, true},
                                         // No tolerance: one ulp apart is unequal.
                                         OrderCase{"OneUlp", 0.5, 0.5 + 0x1p-53, false, true, true, false, false},
                                         OrderCase{"NaNItself", nan, nan, false, false, false, false, false},
                                         OrderCase{"NaNAgainstOne", nan, 1.0, false, false, false, false, false}),
                         [](const auto& info) { return info.param.name; });

// ---- text form

struct TextCase {
  std::string name;
  std::string got;
  std::string want;
};

class AngleText : public testing::TestWithParam<TextCase> {};

TEST_P(AngleText, Exact) { EXPECT_EQ(GetParam().got, GetParam().want); }

INSTANTIATE_TEST_SUITE_P(
    Table, AngleText,
    testing::Values(TextCase{"Fraction", to_string(AngleRadians{1.5}), "1.5 radians"},
                    TextCase{"Integral", to_string(AngleRadians{2.0}), "2 radians"},
                    TextCase{"NegativeZero", to_string(-AngleRadians::zero()), "-0 radians"},
                    TextCase{"NaN", to_string(AngleRadians{nan}), "NaN radians"},
                    TextCase{"Large", to_string(AngleRadians{1e21}), "1000000000000000000000 radians"},
                    TextCase{"Small", to_string(AngleRadians{1e-7}), "0.0000001 radians"},
                    TextCase{"Degrees", to_string(AngleDegrees{90.0}), "90\xC2\xB0"},
                    TextCase{"NaNDegrees", to_string(AngleDegrees{nan}), "NaN\xC2\xB0"},
                    TextCase{"Fixed", to_string(AngleRadians::half_pi(), 2), "1.57 radians"},
                    TextCase{"FixedPads", to_string(AngleDegrees{2.0}, 3), "2.000\xC2\xB0"},
                    TextCase{"FixedInf", to_string(AngleDegrees{-inf}, 2), "-inf\xC2\xB0"}),
    [](const auto& info) { return info.param.name; });

TEST(AngleTextFixed, BeyondTheExactDigits) {
  // Digits past the 1074th decimal are zeros for every double.
  const std::string text = to_string(AngleRadians{1e300}, 1200);
  EXPECT_EQ(text.size(), 301 + 1 + 1200 + std::string(" radians").size());
  EXPECT_EQ(text.substr(0, 4), "1000");
}

// ---- angle between two vectors

struct AngleToCase {
  std::string name;
  Vec3d p, o;
  double want;  // NaN: any NaN
};

class AngleTo : public testing::TestWithParam<AngleToCase> {};

TEST_P(AngleTo, ClampedArcCosine) {
  const double got = angle_to(GetParam().p, GetParam().o).angle;
  if (std::isnan(GetParam().want)) {
    EXPECT_TRUE(std::isnan(got)) << got;
  } else {
    EXPECT_EQ(bits(got), bits(GetParam().want)) << got;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, AngleTo,
    testing::Values(AngleToCase{"Perpendicular", {1, 0, 0}, {0, 1, 0}, AngleRadians::half_pi().angle},
                    AngleToCase{"SameExact", {1, 2, 3}, {1, 2, 3}, 0.0},
                    // The quotient rounds to ±1.0000000000000002 and is clamped.
                    AngleToCase{"SameRoundsAboveOne", {1, 1, 1}, {1, 1, 1}, 0.0},
                    AngleToCase{"OppositeRoundsBelowMinusOne", {1, 1, 1}, {-1, -1, -1}, AngleRadians::pi().angle},
                    AngleToCase{"ZeroLeft", {0, 0, 0}, {1, 0, 0}, nan},
                    AngleToCase{"ZeroRight", {1, 0, 0}, {0, 0, 0}, nan},
                    AngleToCase{"NaNComponent", {nan, 0, 0}, {1, 0, 0}, nan},
                    AngleToCase{"InfComponent", {inf, 0, 0}, {1, 0, 0}, nan}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace morvix
