#include "morvix/src/geometry/intersection.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace morvix {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

// Bit-for-bit; any NaN matches a NaN (its sign and payload belong to the processor).
void expect_bits(const Vec3d& got, const Vec3d& want) {
  for (std::size_t n = 0; n < 3; ++n) {
    if (std::isnan(want[n])) {
      EXPECT_TRUE(std::isnan(got[n])) << "component " << n << ": " << got[n];
    } else {
      EXPECT_EQ(bits(got[n]), bits(want[n])) << "component " << n << ": " << got[n] << " vs " << want[n];
    }
  }
}

constexpr Vec3d up{0, 0, 1};
constexpr Vec3d down{0, 0, -1};
constexpr Circle unit_circle{{0, 0, 0}, 1, up};

// ---- messages

TEST(IntersectionErrorMessage, FixedTexts) {
  EXPECT_EQ(message(IntersectionError::TooFarApart),
            "The given geometries are too far apart and do not intersect at all.");
  EXPECT_EQ(message(IntersectionError::Contained),
            "One of the given geometries is contained entirely within the other. The surfaces do not intersect.");
  EXPECT_EQ(message(IntersectionError::Identical), "The given geometries are identical.");
  EXPECT_EQ(message(IntersectionError::OutOfPlane), "The given geometries are out of plane from each other");
}

// ---- point against circle

struct PointCase {
  std::string name;
  Circle circle;
  Vec3d point;
  bool inner;
  std::optional<IntersectionError> error;  // empty: success
  bool unchecked;
};

class CirclePoint : public testing::TestWithParam<PointCase> {};

TEST_P(CirclePoint, CheckedAndUnchecked) {
  const auto& c = GetParam();
  const auto got = circle_point(c.circle, c.point, c.inner);
  if (c.error) {
    ASSERT_FALSE(got.has_value());
    EXPECT_EQ(got.error(), *c.error) << message(got.error());
  } else {
    EXPECT_TRUE(got.has_value()) << message(got.error());
  }
  EXPECT_EQ(circle_point_unchecked(c.circle, c.point, c.inner), c.unchecked);
}

using enum IntersectionError;

INSTANTIATE_TEST_SUITE_P(
    Table, CirclePoint,
    testing::Values(PointCase{"OnRim", unit_circle, {1, 0, 0}, false, std::nullopt, true},
                    PointCase{"InsideNotInner", unit_circle, {0.5, 0, 0}, false, Contained, false},
                    PointCase{"InsideInner", unit_circle, {0.5, 0, 0}, true, std::nullopt, true},
                    PointCase{"CenterInner", unit_circle, {0, 0, 0}, true, std::nullopt, true},
                    PointCase{"OutsideInner", unit_circle, {2, 0, 0}, true, TooFarApart, false},
                    PointCase{"OutsideNotInner", unit_circle, {2, 0, 0}, false, TooFarApart, false},
                    // The unchecked test ignores the plane.
                    PointCase{"AboveRim", unit_circle, {1, 0, 1e-15}, false, OutOfPlane, true},
                    PointCase{"AboveCenterInner", unit_circle, {0, 0, 1}, true, OutOfPlane, true},
                    PointCase{"ZeroRadiusCenter", {{3, 4, 5}, 0, up}, {3, 4, 5}, false, std::nullopt, true},
                    PointCase{"ZeroRadiusCenterInner", {{3, 4, 5}, 0, up}, {3, 4, 5}, true, std::nullopt, true},
                    // A normalised copy of the normal decides the plane.
                    PointCase{"LongNormal", {{0, 0, 5}, 1, {0, 0, 2}}, {0, 1, 5}, false, std::nullopt, true},
                    PointCase{"NaNRadius", {{0, 0, 0}, nan, up}, {0, 0, 0}, true, TooFarApart, false},
                    PointCase{"ZeroNormal", {{0, 0, 0}, 1, {0, 0, 0}}, {1, 0, 0}, false, OutOfPlane, true}),
    [](const auto& info) { return info.param.name; });

// ---- circle against circle

struct CircleCircleCase {
  std::string name;
  Circle circle1;
  Circle circle2;
  std::optional<IntersectionError> error;  // empty: the two points below
  Vec3d first;
  Vec3d second;
};

class CircleCircle : public testing::TestWithParam<CircleCircleCase> {};

TEST_P(CircleCircle, PointsOrError) {
  const auto& c = GetParam();
  const auto got = circle_circle(c.circle1, c.circle2);
  if (c.error) {
    ASSERT_FALSE(got.has_value());
    EXPECT_EQ(got.error(), *c.error) << message(got.error());
  } else {
    ASSERT_TRUE(got.has_value()) << message(got.error());
    expect_bits(got->first, c.first);
    expect_bits(got->second, c.second);
  }
}

constexpr double half_root3 = 0.8660254037844386;

INSTANTIATE_TEST_SUITE_P(
    Table, CircleCircle,
    testing::Values(
        CircleCircleCase{"Crossing", unit_circle, {{1, 0, 0}, 1, up}, {}, {0.5, -half_root3, 0}, {0.5, half_root3, 0}},
        // circle2's normal orders the pair.
        CircleCircleCase{"CrossingReversed", unit_circle, {{1, 0, 0}, 1, down}, {}, {0.5, half_root3, 0}, {0.5, -half_root3, 0}},
        CircleCircleCase{"ThreeFourFive", {{0, 0, 0}, 5, up}, {{8, 0, 0}, 5, up}, {}, {4, -3, 0}, {4, 3, 0}},
        CircleCircleCase{"ExternallyTangent", unit_circle, {{2, 0, 0}, 1, up}, {}, {1, 0, 0}, {1, 0, 0}},
        CircleCircleCase{"InternallyTangent", {{0, 0, 0}, 2, up}, {{1, 0, 0}, 1, up}, {}, {2, 0, 0}, {2, 0, 0}},
        // Tangent at 0.1 + 0.2: the radicand rounds to about −3.5e-18 and counts as
        // +0.0, giving the tangent point twice instead of NaN.
        CircleCircleCase{"TangentNegativeRadicand", {{0, 0, 0}, 0.1, up}, {{0.30000000000000004, 0, 0}, 0.2, up}, {},
                         {0.10000000000000002, 0, 0}, {0.10000000000000002, 0, 0}},
        CircleCircleCase{"TooFarApart", unit_circle, {{3, 0, 0}, 1, up}, TooFarApart, {}, {}},
        CircleCircleCase{"Contained", {{0, 0, 0}, 3, up}, {{1, 0, 0}, 1, up}, Contained, {}, {}},
        CircleCircleCase{"Concentric", unit_circle, {{0, 0, 0}, 2, up}, Contained, {}, {}},
        CircleCircleCase{"Itself", unit_circle, unit_circle, Identical, {}, {}},
        CircleCircleCase{"OppositeNormalCopy", unit_circle, {{0, 0, 0}, 1, down}, Identical, {}, {}},
        CircleCircleCase{"NoneWithItself", Circle::none(), Circle::none(), OutOfPlane, {}, {}},
        CircleCircleCase{"NaNRadius", unit_circle, {{1, 0, 0}, nan, up}, {}, {nan, nan, nan}, {nan, nan, nan}},
        CircleCircleCase{"NaNCenter", unit_circle, {{nan, 0, 0}, 1, up}, OutOfPlane, {}, {}},
        CircleCircleCase{"ParallelPlanes", unit_circle, {{1, 0, 1}, 1, up}, OutOfPlane, {}, {}},
        CircleCircleCase{"CrossingPlanes", unit_circle, {{1, 0, 0}, 1, {0, 1, 0}}, OutOfPlane, {}, {}},
        // Opposite normals on one plane z = 5 are in the same plane.
        CircleCircleCase{"OneOffsetPlaneOppositeNormals", {{0, 0, 5}, 1, up}, {{1, 0, 5}, 1, down}, {},
                         {0.5, half_root3, 5}, {0.5, -half_root3, 5}}),
    [](const auto& info) { return info.param.name; });

// ---- plane against line

struct PlaneLineCase {
  std::string name;
  Plane plane;
  Vec3d a;
  Vec3d b;
  Vec3d want;
};

class PlaneLine : public testing::TestWithParam<PlaneLineCase> {};

TEST_P(PlaneLine, Exact) {
  const auto& c = GetParam();
  expect_bits(plane_line(c.plane, c.a, c.b), c.want);
}

const Plane z5{up, -5.0};

INSTANTIATE_TEST_SUITE_P(
    Table, PlaneLine,
    testing::Values(
        // The whole line, not the segment: the point lies beyond b.
        PlaneLineCase{"BeyondB", z5, {1, 2, 0}, {1, 2, 1}, {1, 2, 5}},
        PlaneLineCase{"Slanted", z5, {0, 0, 0}, {1, 1, 1}, {5, 5, 5}},
        PlaneLineCase{"Parallel", z5, {0, 0, 0}, {1, 0, 0}, {inf, nan, nan}},
        PlaneLineCase{"SamePoint", z5, {1, 1, 1}, {1, 1, 1}, {nan, nan, nan}},
        // The stored normal is used unnormalised; the result is the same point.
        PlaneLineCase{"LongNormal", Plane{{0, 0, 2}, -10.0}, {1, 2, 0}, {1, 2, 1}, {1, 2, 5}}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace morvix
