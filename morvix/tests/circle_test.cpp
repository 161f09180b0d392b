#include "morvix/src/geometry/circle.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace morvix {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

// ---- construction and measures

TEST(CircleMake, NormalisesNormalAndClearsRadiusSign) {
  const Circle c = make_circle({1, 2, 3}, -2.0, {0, 0, 5});
  EXPECT_EQ(bits(c.radius), bits(2.0));
  EXPECT_EQ(bits(c.normal.z), bits(1.0));
  EXPECT_EQ(c.center.x, 1.0);
  EXPECT_EQ(c.center.z, 3.0);
  EXPECT_EQ(bits(make_circle({0, 0, 0}, -nan, unit_k()).radius), bits(nan));
  EXPECT_TRUE(std::isnan(make_circle({0, 0, 0}, 1.0, {0, 0, 0}).normal.x));
}

TEST(CircleNone, DegenerateWithDefaultQuietNaNNormal) {
  const Circle n = Circle::none();
  EXPECT_EQ(bits(n.normal.x), 0x7FF8000000000000u);
  EXPECT_EQ(bits(n.normal.y), 0x7FF8000000000000u);
  EXPECT_EQ(bits(n.normal.z), 0x7FF8000000000000u);
  EXPECT_EQ(bits(n.radius), bits(0.0));
  EXPECT_TRUE(is_degenerate(n));
  EXPECT_EQ(area(n), 0.0);
  EXPECT_FALSE(n == n);
  EXPECT_TRUE(n != n);
  EXPECT_FALSE(in_same_plane(n, n));
}

TEST(CircleMeasures, DegenerateAndArea) {
  EXPECT_TRUE(is_degenerate({{1, 1, 1}, -0.0, unit_k()}));
  EXPECT_FALSE(is_degenerate({{0, 0, 0}, nan, unit_k()}));
  EXPECT_EQ(area({{0, 0, 0}, 2.0, unit_k()}), 12.566370614359172);
  EXPECT_EQ(area({{0, 0, 0}, -2.0, unit_k()}), 12.566370614359172);
  EXPECT_EQ(area({{0, 0, 0}, 1.0, unit_k()}), 3.141592653589793);
}

TEST(CircleGetPlane, UsesNormalisedCopyOfNormal) {
  // Stored normal (0, 0, 2), as a property setter would leave it.
  const Circle c{{1, 1, 1}, 1.0, {0, 0, 2}};
  const Plane p = get_plane(c);
  EXPECT_EQ(bits(p.normal.z), bits(1.0));
  EXPECT_EQ(bits(p.distance), bits(-1.0));
  EXPECT_EQ(c.normal.z, 2.0);
}

// ---- equality and the same-plane test

struct PairCase {
  std::string name;
  Circle a;
  Circle b;
  bool equal;
  bool same_plane;
};

class CirclePair : public testing::TestWithParam<PairCase> {};

TEST_P(CirclePair, EqualityAndSamePlane) {
  const auto& c = GetParam();
  EXPECT_EQ(c.a == c.b, c.equal);
  EXPECT_EQ(c.a != c.b, !c.equal);
  EXPECT_EQ(in_same_plane(c.a, c.b), c.same_plane);
  // Both relations are symmetric.
  EXPECT_EQ(c.b == c.a, c.equal);
  EXPECT_EQ(in_same_plane(c.b, c.a), c.same_plane);
}

constexpr Vec3d up{0, 0, 1};
constexpr Vec3d down{0, 0, -1};

INSTANTIATE_TEST_SUITE_P(
    Table, CirclePair,
    testing::Values(
        PairCase{"Same", {{1, 2, 3}, 1, up}, {{1, 2, 3}, 1, up}, true, true},
        // Opposite normals count as the same orientation.
        PairCase{"OppositeNormals", {{1, 2, 3}, 1, up}, {{1, 2, 3}, 1, down}, true, true},
        // Radii compare exactly.
        PairCase{"RadiusOneUlp", {{0, 0, 0}, 1.0, up}, {{0, 0, 0}, 1.0000000000000002, up}, false, true},
        PairCase{"RadiusSignedZero", {{0, 0, 0}, 0.0, up}, {{0, 0, 0}, -0.0, up}, true, true},
        PairCase{"CenterWithinEpsilon", {{0, 0, 0}, 1, up}, {{1e-17, 0, 0}, 1, up}, true, true},
        PairCase{"NaNRadius", {{0, 0, 0}, nan, up}, {{0, 0, 0}, nan, up}, false, true},
        // Equality compares no plane offsets; the same-plane test does.
        PairCase{"EqualOffsetsDiffer", {{1000, 0, 0}, 1, {1e-17, 0, 1}}, {{1000, 0, 0}, 1, up}, true, false},
        PairCase{"OnePlaneMovedCenter", {{0, 0, 5}, 1, up}, {{3, 4, 5}, 1, up}, false, true},
        PairCase{"OneUlpAboveThePlane", {{0, 0, 5}, 1, up}, {{3, 4, 5.000000000000001}, 1, up}, false, false},
        // Opposite normals on the plane z = 5: the offsets 5 and −5 cancel.
        PairCase{"OppositeNormalsOffPlaneOrigin", {{0, 0, 5}, 1, up}, {{1, 0, 5}, 1, down}, false, true},
        PairCase{"OppositeNormalsThroughOrigin", {{0, 0, 0}, 1, up}, {{1, 0, 0}, 1, down}, false, true},
        PairCase{"ParallelPlanes", {{0, 0, 0}, 1, up}, {{0, 0, 1}, 1, up}, false, false},
        PairCase{"ParallelPlanesOppositeNormals", {{0, 0, 0}, 1, up}, {{0, 0, 1}, 1, down}, false, false},
        PairCase{"CrossingPlanes", {{0, 0, 0}, 1, up}, {{0, 0, 0}, 1, {0, 1, 0}}, false, false},
        // The stored normal is not renormalised.
        PairCase{"LongNormal", {{0, 0, 5}, 1, up}, {{0, 0, 5}, 1, {0, 0, 2}}, false, false},
        PairCase{"NaNCenter", {{nan, 0, 0}, 1, up}, {{0, 0, 0}, 1, up}, false, false}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace morvix
