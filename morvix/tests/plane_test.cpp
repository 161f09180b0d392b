#include "morvix/src/geometry/plane.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace morvix {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// Bit-for-bit; any NaN matches a NaN (its sign and payload belong to the processor).
void expect_bits(double got, double want) {
  if (std::isnan(want)) {
    EXPECT_TRUE(std::isnan(got)) << got;
  } else {
    EXPECT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(want)) << got << " vs " << want;
  }
}

// ---- factories

struct FactoryCase {
  std::string name;
  Plane got;
  Vec3d normal;
  double distance;
};

class PlaneFactory : public testing::TestWithParam<FactoryCase> {};

TEST_P(PlaneFactory, StoresNormalAndDistance) {
  const auto& c = GetParam();
  expect_bits(c.got.normal.x, c.normal.x);
  expect_bits(c.got.normal.y, c.normal.y);
  expect_bits(c.got.normal.z, c.normal.z);
  expect_bits(c.got.distance, c.distance);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PlaneFactory,
    testing::Values(
        // The constructor normalises and negates: Plane(n, 5) is z = 5.
        FactoryCase{"MakeNormalises", make_plane({0, 0, 2}, 5.0), {0, 0, 1}, -5.0},
        FactoryCase{"MakeZeroNormal", make_plane({0, 0, 0}, 5.0), {nan, nan, nan}, -5.0},
        FactoryCase{"XY", Plane::xy(), {0, 0, 1}, -0.0},
        FactoryCase{"XZ", Plane::xz(), {0, 1, 0}, -0.0},
        FactoryCase{"YZ", Plane::yz(), {1, 0, 0}, -0.0},
        FactoryCase{"FromPoint", from_point({0, 0, 3}, {1, 1, 4}), {0, 0, 1}, -4.0},
        FactoryCase{"FromPointZeroNormal", from_point({0, 0, 0}, {1, 1, 4}), {nan, nan, nan}, nan},
        FactoryCase{"FromPointsCounterClockwise", from_points({0, 0, 0}, {1, 0, 0}, {0, 1, 0}), {0, 0, 1}, -0.0},
        FactoryCase{"FromPointsClockwise", from_points({0, 0, 0}, {0, 1, 0}, {1, 0, 0}), {0, 0, -1}, -0.0},
        FactoryCase{"FromPointsOffset", from_points({0, 0, 5}, {1, 0, 5}, {0, 1, 5}), {0, 0, 1}, -5.0},
        FactoryCase{"FromPointsCollinear", from_points({0, 0, 0}, {1, 1, 1}, {2, 2, 2}), {nan, nan, nan}, nan}),
    [](const auto& info) { return info.param.name; });

// ---- point tests

struct PointCase {
  std::string name;
  Plane plane;
  Vec3d point;
  bool contains;
  double distance;
};

class PlanePoint : public testing::TestWithParam<PointCase> {};

TEST_P(PlanePoint, ContainsAndDistance) {
  const auto& c = GetParam();
  EXPECT_EQ(contains_point(c.plane, c.point), c.contains);
  expect_bits(distance_to_point(c.plane, c.point), c.distance);
}

const Plane z5 = make_plane({0, 0, 2}, 5.0);

INSTANTIATE_TEST_SUITE_P(
    Table, PlanePoint,
    testing::Values(PointCase{"OnPlane", z5, {1, 2, 5}, true, 0.0},
                    PointCase{"Origin", z5, {0, 0, 0}, false, 5.0},
                    PointCase{"Beyond", z5, {0, 0, 7}, false, 2.0},
                    // The next double above 5 is 2⁻⁵⁰ away, more than ε.
                    PointCase{"NextDoubleAbove", z5, {0, 0, 5 + 0x1p-50}, false, 0x1p-50},
                    PointCase{"YZContains", Plane::yz(), {0, 5, 7}, true, 0.0},
                    PointCase{"YZMisses", Plane::yz(), {1, 1, 0}, false, 1.0},
                    PointCase{"XZContains", Plane::xz(), {5, 0, 7}, true, 0.0},
                    PointCase{"XYContains", Plane::xy(), {5, 7, 0}, true, 0.0},
                    // The stored normal is used as it is, not renormalised.
                    PointCase{"LongNormal", Plane{{0, 0, 2}, -5.0}, {0, 0, 1}, false, 3.0},
                    PointCase{"NaNPlane", from_points({0, 0, 0}, {1, 0, 0}, {2, 0, 0}), {0, 0, 0}, false, nan}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace morvix
