#include "morvix/src/rigid_transform.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>

namespace morvix {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

bool same_bits(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

void expect_bits(const Vec3d& got, const Vec3d& want) {
  EXPECT_TRUE(same_bits(got.x, want.x) && same_bits(got.y, want.y) && same_bits(got.z, want.z))
      << got.x << ' ' << got.y << ' ' << got.z << " vs " << want.x << ' ' << want.y << ' ' << want.z;
}
void expect_bits(const Quat& got, const Quat& want) {
  EXPECT_TRUE(same_bits(got.w, want.w) && same_bits(got.i, want.i) && same_bits(got.j, want.j) &&
              same_bits(got.k, want.k))
      << got.w << ' ' << got.i << ' ' << got.j << ' ' << got.k;
}
void expect_bits(const RigidTransform& got, const RigidTransform& want) {
  expect_bits(got.rotation, want.rotation);
  expect_bits(got.translation, want.translation);
}

const Quat quarter_turn_z = from_axis_angle(unit_k(), AngleRadians::half_pi());
const RigidTransform pose{normalize(Quat{0.3, -0.5, 0.7, 0.1}), {1.5, -2.25, 4}};
const RigidTransform other{normalize(Quat{-0.2, 0.4, 0.1, 0.9}), {-3, 0.5, 0.125}};

// ---- apply: the rotation, then the translation added, bit for bit

struct ApplyCase {
  std::string name;
  RigidTransform t;
  Vec3d v;
};

class RigidApply : public testing::TestWithParam<ApplyCase> {};

TEST_P(RigidApply, IsRotateThenAdd) {
  const auto& [name, t, v] = GetParam();
  expect_bits(apply(t, v), rotate(t.rotation, v) + t.translation);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RigidApply,
    testing::Values(ApplyCase{"Identity", RigidTransform::identity(), {1, 2, 3}},
                    ApplyCase{"Pose", pose, {0.25, -7, 3}},
                    ApplyCase{"NonUnitRotation", {{2, 0, 0, 0}, {1, 1, 1}}, {1, 2, 3}},
                    ApplyCase{"NanTranslation", {quarter_turn_z, {nan, 0, -0.0}}, {1, 0, 0}},
                    ApplyCase{"NanRotation", {{nan, 0, 0, 1}, {1, 2, 3}}, {1, 0, 0}},
                    ApplyCase{"InfiniteVector", {quarter_turn_z, {0, 0, 0}}, {inf, 0, 0}},
                    ApplyCase{"SignedZeros", {{1, -0.0, 0, -0.0}, {-0.0, -0.0, 0}}, {-0.0, -0.0, -0.0}}),
    [](const testing::TestParamInfo<ApplyCase>& info) { return info.param.name; });

TEST(RigidApply, QuarterTurnAndShift) {
  // A right-hand quarter turn about z takes x to y, then the shift.
  expect_bits(apply({quarter_turn_z, {10, 20, 30}}, {1, 0, 0}), {10.0, 21.0, 30.0});
}

// ---- then, inverse, interpolate

TEST(RigidThenInverse, ExactAlgebra) {
  const RigidTransform c = then(pose, other);
  expect_bits(c, {then(pose.rotation, other.rotation), apply(other, pose.translation)});
  expect_bits(inverse(pose), {inverse(pose.rotation), -rotate(inverse(pose.rotation), pose.translation)});
  // A half turn about z and a shift: the inverse turns back and shifts back.
  expect_bits(inverse(RigidTransform{{0, 0, 0, 1}, {1, 2, 3}}), {{0, -0.0, -0.0, -1}, {1, 2, -3}});
  const RigidTransform z = inverse(RigidTransform{{0, 0, 0, 0}, {1, 2, 3}});
  EXPECT_TRUE(std::isnan(z.rotation.w) && std::isnan(z.translation.x));
}

TEST(RigidInterpolate, EndsAndWrittenOrder) {
  expect_bits(interpolate(pose, other, 0.0), {slerp(pose.rotation, other.rotation, 0.0), pose.translation});
  expect_bits(interpolate(pose, other, 1.0).translation, other.translation);
  // (1 − s)·a + s·b: with s = 0.1 the other order, a + s·(b − a), differs.
  const RigidTransform a{Quat::identity(), {0.1, 0.2, 0.3}}, b{Quat::identity(), {0.7, -0.3, 1e16}};
  const double s = 0.1;
  expect_bits(interpolate(a, b, s).translation,
              {(0.9 * 0.1) + (s * 0.7), (0.9 * 0.2) + (s * -0.3), (0.9 * 0.3) + (s * 1e16)});
  expect_bits(interpolate(pose, other, 0.3).rotation, slerp(pose.rotation, other.rotation, 0.3));
}

// ---- a whole pose settled at once gives each part the bits it has when settled alone

bool exact(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }
bool exact(const RigidTransform& a, const RigidTransform& b) {
  return exact(a.rotation.w, b.rotation.w) && exact(a.rotation.i, b.rotation.i) && exact(a.rotation.j, b.rotation.j) &&
         exact(a.rotation.k, b.rotation.k) && exact(a.translation.x, b.translation.x) &&
         exact(a.translation.y, b.translation.y) && exact(a.translation.z, b.translation.z);
}

const double nan_a = std::bit_cast<double>(std::uint64_t{0xFFF80000DEADBEEF});
const double nan_b = std::bit_cast<double>(std::uint64_t{0x7FF800000000CAFE});

class RigidPartsSettled : public testing::TestWithParam<std::pair<RigidTransform, RigidTransform>> {};

TEST_P(RigidPartsSettled, ThenInverseNormalizeMatrix) {
  const auto& [a, b] = GetParam();
  EXPECT_TRUE(exact(then(a, b), {then(a.rotation, b.rotation), apply(b, a.translation)}));
  const Quat r = inverse(a.rotation);
  EXPECT_TRUE(exact(inverse(a), {r, -rotate(r, a.translation)}));
  EXPECT_TRUE(exact(normalize(a), {normalize(a.rotation), a.translation}));
  // The matrix holds the rotation's matrix and the translation, bits unchanged, wherever its layout puts them.
  const Matrix4 m = to_matrix(a);
  const Matrix3 block = to_rotation_matrix(a.rotation);
  const double parts[] = {block[0][0], block[0][1], block[0][2], block[1][0], block[1][1], block[1][2],
                          block[2][0], block[2][1], block[2][2], a.translation.x, a.translation.y, a.translation.z};
  for (const double part : parts) {
    bool found = false;
    for (const auto& row : m)
      for (const double entry : row) found = found || exact(entry, part);
    EXPECT_TRUE(found) << part;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, RigidPartsSettled,
    testing::Values(std::pair{pose, other}, std::pair{RigidTransform{pose.rotation, {nan_a, 1, -0.0}}, other},
                    std::pair{pose, RigidTransform{{0.5, nan_b, 0.5, 0.5}, {1, nan_a, 2}}},
                    std::pair{RigidTransform{{nan_b, 0, 0, 1}, {nan_a, 2, 3}}, RigidTransform{{0, 0, 0, 0}, {inf, 0, 0}}},
                    std::pair{RigidTransform{{0, 0, 0, 0}, {1, 2, 3}}, pose}));

// ---- trajectory rows and stacks without the last row

TEST(RigidRows, RoundTripKeepsEveryBit) {
  const PoseRow row{1.5, -0.0, nan_a, 0.25, nan_b, -0.5, 0.75};
  const RigidTransform t = from_xyz_xyzw(row);
  EXPECT_TRUE(exact(t, {from_xyzw(0.25, nan_b, -0.5, 0.75), {1.5, -0.0, nan_a}}));
  const PoseRow back = to_xyz_xyzw(t);
  for (std::size_t c = 0; c < 7; ++c) EXPECT_TRUE(exact(back[c], row[c])) << c;
  const Matrix4 m = with_last_row({{{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}}});
  EXPECT_EQ(m, (Matrix4{{{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}, {0, 0, 0, 1}}}));
}

// ---- matrices

TEST(RigidMatrix, LayoutAndRoundTrip) {
  // Column vectors: the block is the transpose of to_rotation_matrix, the
  // translation is the last column.
  const Matrix4 m = to_matrix(pose);
  const Matrix3 r = to_rotation_matrix(pose.rotation);
  const Vec3d t = pose.translation;
  const Matrix4 want{{{r[0][0], r[1][0], r[2][0], t.x},
                      {r[0][1], r[1][1], r[2][1], t.y},
                      {r[0][2], r[1][2], r[2][2], t.z},
                      {0, 0, 0, 1}}};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_TRUE(same_bits(m[i][j], want[i][j])) << i << ' ' << j;
  expect_bits(from_matrix(m), {from_rotation_matrix(r), t});
  EXPECT_EQ(rigid_matrix_fault(m), RigidMatrixFault::none);
  // M·[v, 1] is apply(t, v).
  const Vec3d v{0.25, -7, 3}, moved = apply(pose, v);
  for (int i = 0; i < 3; ++i) {
    const double row = (((m[i][0] * v.x) + (m[i][1] * v.y)) + (m[i][2] * v.z)) + m[i][3];
    EXPECT_NEAR(row, moved[i], 1e-14 * 8);
  }
}

struct FaultCase {
  std::string name;
  Matrix4 m;
  RigidMatrixFault want;
};

class RigidMatrixFaults : public testing::TestWithParam<FaultCase> {};

TEST_P(RigidMatrixFaults, Table) { EXPECT_EQ(rigid_matrix_fault(GetParam().m), GetParam().want); }

INSTANTIATE_TEST_SUITE_P(
    Table, RigidMatrixFaults,
    testing::Values(
        FaultCase{"Identity", {{{1, 0, 0, 5}, {0, 1, 0, 6}, {0, 0, 1, 7}, {0, 0, 0, 1}}}, RigidMatrixFault::none},
        FaultCase{"RowWithinTolerance",
                  {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {1e-12, -1e-12, 0, 1 + 9e-13}}},
                  RigidMatrixFault::none},
        FaultCase{"RowFirstOff", {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {1e-9, 0, 0, 1}}}, RigidMatrixFault::last_row},
        FaultCase{"RowSecondOff", {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 1e-9, 0, 1}}}, RigidMatrixFault::last_row},
        FaultCase{"RowThirdOff", {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, -1e-9, 1}}}, RigidMatrixFault::last_row},
        FaultCase{"CornerOff", {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1 + 1e-9}}}, RigidMatrixFault::last_row},
        // NaN and infinity anywhere, the translation included, come first.
        FaultCase{"RowNan", {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, nan, 0, 1}}}, RigidMatrixFault::not_finite},
        FaultCase{"TranslationInf", {{{1, 0, 0, inf}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}},
                  RigidMatrixFault::not_finite},
        FaultCase{"BlockNan", {{{nan, 0.1, 0, 0}, {0, 1, 0, 0}, {0, 0, -1, 0}, {0, 0, 0, 2}}}, RigidMatrixFault::not_finite},
        FaultCase{"RowVectorLayout", {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {5, 6, 7, 1}}},
                  RigidMatrixFault::last_row},
        // The block comes first, whatever the last row holds.
        FaultCase{"Skewed", {{{1, 0.1, 0, 5}, {0, 1, 0, 0}, {0, 0, 1, 0}, {3, 0, 0, 1}}},
                  RigidMatrixFault::not_orthonormal},
        FaultCase{"Reflection", {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, -1, 0}, {0, 0, 0, 1}}},
                  RigidMatrixFault::reflection}),
    [](const testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

// ---- equality

TEST(RigidEquality, BothPartsTolerant) {
  EXPECT_EQ(pose, (RigidTransform{pose.rotation, pose.translation + Vec3d{1e-17, 0, 0}}));
  EXPECT_NE(pose, (RigidTransform{pose.rotation, pose.translation + Vec3d{1e-15, 0, 0}}));
  EXPECT_NE(pose, (RigidTransform{other.rotation, pose.translation}));
  const RigidTransform with_nan{Quat::identity(), {nan, 0, 0}};
  EXPECT_FALSE(with_nan == with_nan);
}

}  // namespace
}  // namespace morvix
