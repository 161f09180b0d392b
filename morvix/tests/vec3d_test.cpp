#include "morvix/src/vec3d.hpp"

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

// Bit-for-bit, so −0.0 differs from +0.0; any NaN matches a NaN, since the
// sign and payload of a NaN made by arithmetic belong to the processor.
void expect_bits(const Vec3d& got, const Vec3d& want) {
  for (std::size_t n = 0; n < 3; ++n) {
    if (std::isnan(want[n])) {
      EXPECT_TRUE(std::isnan(got[n])) << "component " << n << ": " << got[n];
    } else {
      EXPECT_EQ(std::bit_cast<std::uint64_t>(got[n]), std::bit_cast<std::uint64_t>(want[n]))
          << "component " << n << ": " << got[n] << " vs " << want[n];
    }
  }
}

// ---- unfused products

// a·b = 1 − 2⁻⁶⁰ exactly, which rounds to 1.0; a fused multiply-add keeps the
// −2⁻⁶⁰. The inputs pass through volatiles so the products are computed at run
// time under the build's flags instead of being folded by the compiler.
constexpr double a = 1.0 + 0x1p-30;
constexpr double b = 1.0 - 0x1p-30;

TEST(Vec3dUnfused, ProductsRoundBeforeTheyAreAdded) {
  volatile double va = a, vb = b, big = 1e16;
  volatile double product = va * vb;
  ASSERT_EQ(product - 1.0, 0.0);
  ASSERT_EQ(std::fma(va, vb, -1.0), -0x1p-60);

  // cross x = p.y·o.z − p.z·o.y = a·b − 1·1.
  EXPECT_EQ(std::bit_cast<std::uint64_t>(cross({0.0, va, 1.0}, {0.0, 1.0, vb}).x), 0u);
  // dot = ((−1·1) + 0·0) + a·b: the last product fused into the sum would leave −2⁻⁶⁰.
  EXPECT_EQ(std::bit_cast<std::uint64_t>(dot({-1.0, 0.0, va}, {1.0, 0.0, vb})), 0u);
  // Left to right: (1e16 + 1) − 1e16 is 0; 1e16 + (1 − 1e16) would be 2.
  EXPECT_EQ(dot({big, 1.0, -big}, {1.0, 1.0, 1.0}), 0.0);
}

// ---- tolerant tests

struct ToleranceCase {
  std::string name;
  Vec3d p;
  Vec3d o;
  bool equal;
};

class Vec3dEquality : public testing::TestWithParam<ToleranceCase> {};

TEST_P(Vec3dEquality, AbsoluteEpsilon) {
  EXPECT_EQ(GetParam().p == GetParam().o, GetParam().equal);
  EXPECT_EQ(GetParam().p != GetParam().o, !GetParam().equal);
}

INSTANTIATE_TEST_SUITE_P(Cases, Vec3dEquality,
                         testing::Values(ToleranceCase{"DifferenceExactlyEpsilon", {1, 2, 3}, {1 + 0x1p-52, 2, 3}, false},
                                         ToleranceCase{"HalfUlpBelowOne", {0.5, 0, 0}, {0.5 + 0x1p-53, 0, 0}, true},
                                         ToleranceCase{"LargeNeighbours", {1e20, 0, 0}, {1e20 + 16384, 0, 0}, false},
                                         ToleranceCase{"SignedZeros", {0, 0, 0}, {-0.0, -0.0, -0.0}, true},
                                         ToleranceCase{"TinyAlwaysEqual", {1e-17, 0, 0}, {-1e-17, 0, 0}, true},
                                         ToleranceCase{"NaNNotItself", {nan, 0, 0}, {nan, 0, 0}, false},
                                         ToleranceCase{"InfNotItself", {0, 0, inf}, {0, 0, inf}, false}),
                         [](const auto& info) { return info.param.name; });

TEST(Vec3dIsUnit, StrictAgainstEpsilon) {
  EXPECT_TRUE(is_unit({1, 0, 0}));
  EXPECT_FALSE(is_unit({1 + 0x1p-52, 0, 0}));  // magnitude exactly ε away
  EXPECT_TRUE(is_unit({1 - 0x1p-53, 0, 0}));
  EXPECT_TRUE(is_unit({0.6, 0.8, 0}));
  EXPECT_FALSE(is_unit(zero()));
  EXPECT_FALSE(is_unit({nan, 0, 0}));
}

// ---- results with fixed bits

struct BitsCase {
  std::string name;
  Vec3d got;
  Vec3d want;
};

class Vec3dBits : public testing::TestWithParam<BitsCase> {};

TEST_P(Vec3dBits, Exact) { expect_bits(GetParam().got, GetParam().want); }

INSTANTIATE_TEST_SUITE_P(
    Cases, Vec3dBits,
    testing::Values(BitsCase{"NormalizeZero", normalize(zero()), {nan, nan, nan}},
                    BitsCase{"NormalizeInfinite", normalize({inf, 1, 0}), {nan, 0, 0}},
                    BitsCase{"NegateZero", -zero(), {-0.0, -0.0, -0.0}},
                    BitsCase{"DivideByZero", Vec3d{1, 0, -1} / 0.0, {inf, nan, -inf}},
                    BitsCase{"CrossJI", cross(unit_j(), unit_i()), {0, 0, -1}},
                    BitsCase{"ProjectOntoLine", project_onto_line({1, 1, 0}, {2, 0, 0}, {0, 0, 0}), {1, 0, 0}},
                    BitsCase{"ProjectOntoLineOnePoint", project_onto_line({1, 1, 0}, {2, 0, 0}, {2, 0, 0}), {nan, nan, nan}},
                    BitsCase{"ProjectOntoPlane", project_onto_plane({1, 2, 3}, unit_k()), {1, 2, 0}},
                    // The normal is taken as unit length, not normalised.
                    BitsCase{"ProjectOntoPlaneLongNormal", project_onto_plane({1, 2, 3}, {0, 0, 2}), {1, 2, -9}}),
    [](const auto& info) { return info.param.name; });

TEST(Vec3dMeasures, LinesAndTripleProduct) {
  EXPECT_EQ(distance_to_line({0, 1, 0}, {0, 0, 0}, {2, 0, 0}), 1.0);
  EXPECT_TRUE(std::isnan(distance_to_line({0, 1, 0}, {2, 0, 0}, {2, 0, 0})));
  EXPECT_EQ(scalar_triple_product(unit_j(), unit_i(), unit_k()), -1.0);
}

}  // namespace
}  // namespace morvix
