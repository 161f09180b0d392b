#include "morvix/src/quat.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <string>
#include <utility>

namespace morvix {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// Bit-for-bit; any NaN matches a NaN (its sign and payload belong to the processor).
void expect_bits(std::initializer_list<double> got, std::initializer_list<double> want) {
  for (auto g = got.begin(), w = want.begin(); g != got.end(); ++g, ++w) {
    if (std::isnan(*w)) {
      EXPECT_TRUE(std::isnan(*g)) << "field " << (g - got.begin()) << ": " << *g;
    } else {
      EXPECT_EQ(std::bit_cast<std::uint64_t>(*g), std::bit_cast<std::uint64_t>(*w))
          << "field " << (g - got.begin()) << ": " << *g << " vs " << *w;
    }
  }
}

void expect_bits(const Vec3d& got, const Vec3d& want) { expect_bits({got.x, got.y, got.z}, {want.x, want.y, want.z}); }
void expect_bits(const Quat& got, const Quat& want) {
  expect_bits({got.w, got.i, got.j, got.k}, {want.w, want.i, want.j, want.k});
}

const Quat quarter_turn_z = from_axis_angle(unit_k(), AngleRadians::half_pi());

// ---- rotate

struct RotateCase {
  std::string name;
  Quat q;
  Vec3d v;
  Vec3d want;
};

class QuatRotate : public testing::TestWithParam<RotateCase> {};

TEST_P(QuatRotate, Exact) { expect_bits(rotate(GetParam().q, GetParam().v), GetParam().want); }

INSTANTIATE_TEST_SUITE_P(
    Table, QuatRotate,
    testing::Values(RotateCase{"Identity", Quat::identity(), {1, 2, 3}, {1, 2, 3}},
                    // A non-unit quaternion scales by w² + i² + j² + k².
                    RotateCase{"ScalesByMagnitudeSquared", {2, 0, 0, 0}, {1, 2, 3}, {4, 8, 12}},
                    // A right-hand turn towards +y.
                    RotateCase{"QuarterTurnZ", quarter_turn_z, {1, 0, 0}, {2.220446049250313e-16, 1, 0}},
                    RotateCase{"ThreeFourFive", {0.6, 0, 0, 0.8}, {1, 0, 0}, {-0.28000000000000014, -0.96, 0}},
                    // The terms with the vector's zero scalar part decide signed zeros
                    // (k·0 with k = −0.0 makes z′ +0.0; without it z′ is −0.0)...
                    RotateCase{"ZeroTermsDecideSignedZero", {1, 0, 0, -0.0}, {-1, 0, -0.0}, {-1, 0, 0}},
                    // ...and turn infinities into NaN (without them x′ is inf).
                    RotateCase{"ZeroTermsTurnInfToNaN", {0, inf, 1, 1}, {1, 1, 1}, {nan, nan, nan}}),
    [](const auto& info) { return info.param.name; });

TEST(QuatRotate, IsTransposedMatrix) {
  const Quat q = normalize({0.3, -0.5, 0.7, 0.1});
  const Vec3d v{1.5, -2.0, 0.25};
  const Matrix3 m = to_rotation_matrix(q);
  const Vec3d r = rotate(q, v);
  for (std::size_t c = 0; c < 3; ++c) EXPECT_NEAR(r[c], m[0][c] * v.x + m[1][c] * v.y + m[2][c] * v.z, 1e-14);
}

// ---- axis and angle

TEST(QuatFromAxisAngle, NegatedHalfAngleUnnormalisedAxis) {
  // Negative sine times a +0.0 component gives −0.0.
  expect_bits(quarter_turn_z, {0.7071067811865476, -0.0, -0.0, -0.7071067811865475});
  expect_bits(from_axis_angle({1, 2, 3}, AngleRadians::zero()), {1, -0.0, -0.0, -0.0});
  expect_bits(from_axis_angle({0, 0, 2}, AngleRadians::pi()), {6.123233995736766e-17, -0.0, -0.0, -2});
}

struct AxisAngleCase {
  std::string name;
  Quat q;
  Vec3d axis;
  double angle;
};

class QuatToAxisAngle : public testing::TestWithParam<AxisAngleCase> {};

TEST_P(QuatToAxisAngle, Exact) {
  const AxisAngle got = to_axis_angle(GetParam().q);
  expect_bits(got.axis, GetParam().axis);
  expect_bits({got.angle.angle}, {GetParam().angle});
}

INSTANTIATE_TEST_SUITE_P(
    Table, QuatToAxisAngle,
    testing::Values(
        // Reads the stored quaternion in the opposite sense: the axis comes back negated.
        AxisAngleCase{"QuarterTurnZ", quarter_turn_z, {-0.0, -0.0, -1}, 1.5707963267948966},
        // Only w decides the near-identity case.
        AxisAngleCase{"OnlyWExamined", {1, 5, 5, 5}, {1, 0, 0}, 0.0},
        AxisAngleCase{"JustInsideEpsilon", {1 - 0x1p-53, 0.3, 0, 0}, {1, 0, 0}, 0.0},
        AxisAngleCase{"ExactlyEpsilon", {1 - 0x1p-52, 0.3, 0, 0}, {14235939.843637731, 0, 0}, 4.2146848510894035e-08},
        // Divides the zero vector part by sin(π) ≈ 1.2e-16.
        AxisAngleCase{"MinusOne", {-1, 0, 0, 0}, {0, 0, 0}, 6.283185307179586},
        AxisAngleCase{"HalfTurn", {0, 0, 0, 1}, {0, 0, 1}, 3.141592653589793},
        AxisAngleCase{"WAboveOne", {2, 0, 0, 0}, {nan, nan, nan}, nan}),
    [](const auto& info) { return info.param.name; });

// ---- measures and matrix

TEST(QuatMeasures, NoGuards) {
  EXPECT_EQ(magnitude({1, 1, 1, 1}), 2.0);
  expect_bits(normalize({0, 0, 0, 0}), {nan, nan, nan, nan});
  EXPECT_FALSE(is_unit({1 + 0x1p-52, 0, 0, 0}));
  EXPECT_TRUE(is_unit({1 - 0x1p-53, 0, 0, 0}));
  EXPECT_FALSE(is_unit({0, 0, 0, 0}));
  expect_bits(conjugate(Quat::identity()), {1, -0.0, -0.0, -0.0});
  expect_bits(to_quat({1, -0.0, 3}), {0, 1, -0.0, 3});
}

struct MatrixCase {
  std::string name;
  Quat q;
  Matrix3 want;
};

class QuatMatrix : public testing::TestWithParam<MatrixCase> {};

TEST_P(QuatMatrix, Exact) {
  const Matrix3 got = to_rotation_matrix(GetParam().q);
  for (std::size_t r = 0; r < 3; ++r) {
    SCOPED_TRACE(testing::Message() << "row " << r);
    const auto& want = GetParam().want[r];
    expect_bits({got[r][0], got[r][1], got[r][2]}, {want[0], want[1], want[2]});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, QuatMatrix,
    testing::Values(MatrixCase{"Identity", Quat::identity(), {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}}},
                    // The turn by −θ: M·(1, 0, 0) points towards −y.
                    MatrixCase{"QuarterTurnZ",
                               quarter_turn_z,
                               {{{2.220446049250313e-16, 1, 0}, {-1, 2.220446049250313e-16, 0}, {0, 0, 1}}}},
                    MatrixCase{"ThreeFourFive",
                               {0.6, 0, 0, 0.8},
                               {{{-0.28000000000000025, -0.96, 0}, {0.96, -0.28000000000000025, 0}, {0, 0, 1}}}},
                    // Not normalised first: a non-unit quaternion is not orthogonal.
                    MatrixCase{"NonUnit", {0, 2, 0, 0}, {{{1, 0, 0}, {0, -7, 0}, {0, 0, -7}}}}),
    [](const auto& info) { return info.param.name; });

// ---- then, inverse, slerp (their identities are tested from Python)

TEST(QuatThen, SixteenProductsInFixedOrder) {
  // w summed as ((a.w·b.w − a.i·b.i) − a.j·b.j) − a.k·b.k gives ...9999; summing
  // the three vector products first would give 0.5900000000000001.
  expect_bits(then({0.3, -0.5, 0.7, 0.1}, {0.9, 0.2, -0.4, 0.6}),
              {0.5899999999999999, 0.06999999999999998, 0.8300000000000001, 0.33});
}

TEST(QuatInverse, ConjugateOverSquaredMagnitude) {
  expect_bits(inverse({0.3, -0.5, 0.7, 0.1}),
              {0.3571428571428572, 0.5952380952380953, -0.8333333333333334, -0.11904761904761907});
  expect_bits(inverse({0, 0, 0, 0}), {nan, nan, nan, nan});
}

TEST(QuatSlerp, FarSideNegatedAndNoDivisionBySinZero) {
  const Quat a{0.3, -0.5, 0.7, 0.1};
  const Quat b{-0.9, -0.2, -0.4, -0.6};  // on the far side: negated first
  const Quat nb = normalize(b);
  expect_bits(slerp(a, b, 1.0), {-nb.w, -nb.i, -nb.j, -nb.k});
  // Equal ends, −q included, fall back to the normalised linear mix.
  const Quat n = normalize(a);
  expect_bits(slerp(a, {-a.w, -a.i, -a.j, -a.k}, 0.5), normalize(Quat{0.5 * n.w + 0.5 * n.w, 0.5 * n.i + 0.5 * n.i,
                                                                      0.5 * n.j + 0.5 * n.j, 0.5 * n.k + 0.5 * n.k}));
  expect_bits(slerp({0, 0, 0, 0}, a, 0.5), {nan, nan, nan, nan});
}

// Exact bits, NaN included: a NaN result is settled to the first NaN operand in
// the written order, so a bulk loop that computes it otherwise comes out alike.
void expect_same_bits(const Quat& got, const Quat& want) {
  const double g[] = {got.w, got.i, got.j, got.k}, w[] = {want.w, want.i, want.j, want.k};
  for (int n = 0; n < 4; ++n)
    EXPECT_EQ(std::bit_cast<std::uint64_t>(g[n]), std::bit_cast<std::uint64_t>(w[n])) << "field " << n;
}

TEST(QuatSettled, NanResultsCarryTheFirstNanOperandInWrittenOrder) {
  const double first = std::bit_cast<double>(std::uint64_t{0x7FF800000000BEEF});
  const double second = std::bit_cast<double>(std::uint64_t{0xFFF8000000000123});
  // then's w is ((a.w·b.w − a.i·b.i) − ...): a.w meets b.w first, whichever is which.
  EXPECT_EQ(std::bit_cast<std::uint64_t>(then({first, 0, 0, 0}, {second, 0, 0, 0}).w), std::bit_cast<std::uint64_t>(first));
  EXPECT_EQ(std::bit_cast<std::uint64_t>(then({second, 0, 0, 0}, {first, 0, 0, 0}).w), std::bit_cast<std::uint64_t>(second));
  // normalize divides w by |q|, which holds w's NaN squared first: w's NaN in every field.
  expect_same_bits(normalize({first, second, 0, 0}), {first, second, first, first});
  // inverse's i is (−i) / |q|²: the sign-flipped NaN of i.
  EXPECT_EQ(std::bit_cast<std::uint64_t>(inverse({1, first, 0, 0}).i), std::bit_cast<std::uint64_t>(-first));
}

TEST(QuatBetween, OneCasePerBranch) {
  expect_bits(between({1, 2, 3}, {2, 4, 6}), Quat::identity());
  // Half the chord lengths √2: cos and sin of 45° both 0.7071067811865476.
  expect_bits(between({1, 0, 0}, {0, 5, 0}), {0.7071067811865476, -0.0, -0.0, -0.7071067811865476});
  // Opposite: the half turn (0, −n), n = from × e, e the axis of from's
  // smallest component, the first of equal ones.
  expect_bits(between({1, 1, 1}, {-1, -1, -1}), {0, -0.0, -0.7071067811865476, 0.7071067811865476});
  expect_bits(between({0, 0, 0}, {1, 0, 0}), {nan, nan, nan, nan});
}

// Nearly opposite directions dominated by one axis: a × b is rounding noise
// there, so the axis comes from a × (a + b).
TEST(QuatBetween, NearlyOppositeAlongAnAxis) {
  const Vec3d a{0.6, 3e-9, -5.8e-9};
  for (const Vec3d& b : {a * -6.6, Vec3d{-682.6655, -0.001953125, -0.7000007}}) {
    const Vec3d got = rotate(between(a, b), normalize(a)), want = normalize(b);
    EXPECT_LT(std::fabs(got.x - want.x) + std::fabs(got.y - want.y) + std::fabs(got.z - want.z), 1e-14);
  }
}

TEST(QuatFromMatrix, OneCasePerBranch) {
  // Each branch returns its largest component positive.
  expect_bits(from_rotation_matrix({{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}}), {1, 0, 0, 0});
  expect_bits(from_rotation_matrix(to_rotation_matrix(quarter_turn_z)),
              {0.7071067811865476, 0, 0, -0.7071067811865475});
  expect_bits(from_rotation_matrix({{{1, 0, 0}, {0, -1, 0}, {0, 0, -1}}}), {0, 1, 0, 0});
  expect_bits(from_rotation_matrix({{{-1, 0, 0}, {0, 1, 0}, {0, 0, -1}}}), {0, 0, 1, 0});
  expect_bits(from_rotation_matrix({{{-1, 0, 0}, {0, -1, 0}, {0, 0, 1}}}), {0, 0, 0, 1});
  expect_bits(from_rotation_matrix({{{nan, 0, 0}, {0, 1, 0}, {0, 0, 1}}}), {nan, nan, nan, nan});
  // Near a half turn a single trace formula would lose every digit of w.
  const Quat q = normalize({1e-9, 0.6, 0.8, 0});
  const Quat r = from_rotation_matrix(to_rotation_matrix(q));
  for (const auto& [got, want] : {std::pair{r.w, q.w}, {r.i, q.i}, {r.j, q.j}, {r.k, q.k}}) {
    EXPECT_NEAR(got, want, 1e-15);
  }
}

TEST(QuatFromMatrix, Fault) {
  EXPECT_EQ(rotation_matrix_fault(to_rotation_matrix(normalize({0.3, -0.5, 0.7, 0.1}))), MatrixFault::none);
  EXPECT_EQ(rotation_matrix_fault({{{1, 0, 0}, {0, 1, 0}, {0, 0, -1}}}), MatrixFault::reflection);
  // Row lengths: (1 + 4e-7)² − 1 is within 1e-6, (1 + 6e-7)² − 1 is not.
  EXPECT_EQ(rotation_matrix_fault({{{1 + 4e-7, 0, 0}, {0, 1, 0}, {0, 0, 1}}}), MatrixFault::none);
  EXPECT_EQ(rotation_matrix_fault({{{1 + 6e-7, 0, 0}, {0, 1, 0}, {0, 0, 1}}}), MatrixFault::not_orthonormal);
  EXPECT_EQ(rotation_matrix_fault({{{1, 0, 0}, {0, 1, 0}, {0, 0, nan}}}), MatrixFault::not_finite);
  EXPECT_EQ(rotation_matrix_fault({{{1, 0.1, 0}, {0, 1, 0}, {0, 0, -inf}}}), MatrixFault::not_finite);
}

// ---- other representations (their agreement with scipy is tested from Python)

TEST(QuatXyzw, SignsOnly) {
  expect_bits(from_xyzw(-0.0, 2, nan, -5), {-5, 0.0, -2, nan});
  const std::array<double, 4> back = to_xyzw(from_xyzw(-0.0, 2, 3, -5));
  expect_bits({back[0], back[1], back[2], back[3]}, {-0.0, 2, 3, -5});
}

TEST(QuatWxyz, ScalarFirstIsXyzwReordered) {
  expect_bits(from_wxyz(-5, -0.0, 2, nan), from_xyzw(-0.0, 2, nan, -5));
  const std::array<double, 4> back = to_wxyz(from_wxyz(-5, -0.0, 2, 3));
  expect_bits({back[0], back[1], back[2], back[3]}, {-5, -0.0, 2, 3});
  // A quarter turn about z in the Hamilton convention turns x to y through rotate.
  const Vec3d y = rotate(from_wxyz(0.7071067811865476, 0, 0, 0.7071067811865476), {1, 0, 0});
  EXPECT_NEAR(y.x, 0.0, 1e-15);
  EXPECT_NEAR(y.y, 1.0, 1e-15);
}

TEST(QuatRotationVector, TinyZeroAndNonFinite) {
  // |v| underflows when squared; the series keeps −v/2 exact.
  expect_bits(from_rotation_vector({3e-300, -4e-300, 0}), {1, -1.5e-300, 2e-300, -0.0});
  expect_bits(from_rotation_vector({0, 0, 0}), {1, -0.0, -0.0, -0.0});
  expect_bits(from_rotation_vector({inf, 0, 0}), {nan, nan, nan, nan});
  expect_bits(to_rotation_vector(from_rotation_vector({3e-300, -4e-300, 0})), {3e-300, -4e-300, 0});
  // q and −q give one vector; the identity gives zeros with from_axis_angle's sign.
  expect_bits(to_rotation_vector({-0.5, 0.5, 0.5, -0.5}), to_rotation_vector({0.5, -0.5, -0.5, 0.5}));
  expect_bits(to_rotation_vector(Quat::identity()), {-0.0, -0.0, -0.0});
  expect_bits(to_rotation_vector({0, 0, 0, 0}), {nan, nan, nan});
  expect_bits(to_rotation_vector({inf, 0, 0, 0}), {nan, nan, nan});
  expect_bits(to_rotation_vector({1, inf, 0, 0}), {nan, nan, nan});
}

TEST(QuatRotationVector, SeriesMeetsSine) {
  // On both sides of the switch, from_axis_angle of the unit axis within an ulp.
  for (const double angle : {0.999e-3, 1e-3, 1.001e-3, 0.5, 3.0}) {
    const Quat got = from_rotation_vector({0, angle, 0});
    const Quat want = from_axis_angle(unit_j(), {angle});
    EXPECT_NEAR(got.j, want.j, 0x1p-52 * std::fabs(want.j)) << angle;
    EXPECT_EQ(got.w, want.w) << angle;
    EXPECT_NEAR(to_rotation_vector(got).y, angle, 4e-16 * angle) << angle;
  }
}

TEST(QuatAngleBetween, SmallSameAndOpposite) {
  const Quat q = normalize({0.3, -0.5, 0.7, 0.1});
  expect_bits({angle_between(q, q), angle_between(q, {-q.w, -q.i, -q.j, -q.k})}, {0, 0});
  EXPECT_NEAR(angle_between(Quat::identity(), from_rotation_vector({0, 0, 1e-300})), 1e-300, 1e-314);
  EXPECT_NEAR(angle_between({2, 0, 0, 0}, {0, 0, 0, 3}), AngleRadians::pi().angle, 1e-15);
  expect_bits({angle_between({0, 0, 0, 0}, q), angle_between(q, {nan, 0, 0, 0})}, {nan, nan});
}

// ---- Euler angles (round trips over every convention and scipy's agreement are tested from Python)

TEST(EulerAxes, Parse) {
  for (const char* good : {"xyz", "ZYX", "zXz", "yxy"}) EXPECT_TRUE(parse_euler_axes(good)) << good;
  for (const char* bad : {"", "xy", "xyzx", "xxy", "xyy", "xyw", "XYW", "x y", "8yz", "\xf8yz"})
    EXPECT_FALSE(parse_euler_axes(bad)) << bad;
  const EulerAxes axes = *parse_euler_axes("ZxZ");
  EXPECT_EQ(axes.axis, (std::array<unsigned char, 3>{2, 0, 2}));
}

TEST(Euler, FromIsTheChainedTurns) {
  const EulerAxes xyz = *parse_euler_axes("xyz"), zyx = *parse_euler_axes("zyx");
  const Quat chained = then(then(from_axis_angle(unit_i(), {0.1}), from_axis_angle(unit_j(), {-0.2})),
                            from_axis_angle(unit_k(), {0.3}));
  expect_bits(from_euler(xyz, EulerFrame::extrinsic, 0.1, -0.2, 0.3), chained);
  expect_bits(from_euler(zyx, EulerFrame::intrinsic, 0.3, -0.2, 0.1), chained);
}

TEST(Euler, GimbalLockPutsTheTurnInTheFirstAngle) {
  const double pi = AngleRadians::pi().angle, half_pi = AngleRadians::half_pi().angle;
  // A turn about z alone: zyz sees b = 0 exactly.
  const Quat about_z = from_axis_angle(unit_k(), {2.5}), about_x = from_axis_angle(unit_i(), {2.5});
  for (const EulerFrame frame : {EulerFrame::extrinsic, EulerFrame::intrinsic}) {
    const std::array<double, 3> zyz = to_euler(about_z, *parse_euler_axes("zyz"), frame);
    expect_bits({zyz[0], zyz[1], zyz[2]}, {2.5, 0, 0});
    // b = π: the half-sum is undetermined, the half-difference carries the turn.
    const std::array<double, 3> flipped = to_euler(then(about_z, {0, 1, 0, 0}), *parse_euler_axes("zxz"), frame);
    EXPECT_EQ(flipped[1], pi);
    EXPECT_EQ(flipped[2], 0.0);
    // Tait–Bryan xyz at b = ±π/2: a quarter turn about y with w = |v_y|
    // exactly, after the turn about x (extrinsic) or before it (intrinsic).
    for (const double side : {1.0, -1.0}) {
      const Quat quarter{std::sqrt(0.5), 0, -side * std::sqrt(0.5), 0};
      const Quat locked = frame == EulerFrame::extrinsic ? then(about_x, quarter) : then(quarter, about_x);
      const std::array<double, 3> xyz = to_euler(locked, *parse_euler_axes("xyz"), frame);
      EXPECT_NEAR(xyz[0], 2.5, 1e-15);
      EXPECT_EQ(xyz[1], side * half_pi);
      EXPECT_EQ(xyz[2], 0.0);
      const Quat back = from_euler(*parse_euler_axes("xyz"), frame, xyz[0], xyz[1], xyz[2]);
      const Vec3d v{0.3, -1.2, 0.7};
      const Vec3d want = rotate(locked, v), got = rotate(back, v);
      for (std::size_t c = 0; c < 3; ++c) EXPECT_NEAR(got[c], want[c], 1e-15);
    }
  }
}

TEST(Euler, NonUnitAndDegenerate) {
  const EulerAxes zyx = *parse_euler_axes("zyx");
  const std::array<double, 3> unit = to_euler(normalize({0.3, -0.5, 0.7, 0.1}), zyx, EulerFrame::intrinsic);
  const std::array<double, 3> scaled = to_euler({3, -5, 7, 1}, zyx, EulerFrame::intrinsic);
  for (std::size_t c = 0; c < 3; ++c) EXPECT_NEAR(scaled[c], unit[c], 1e-15);
  for (const Quat bad : {Quat{0, 0, 0, 0}, Quat{inf, 0, 0, 0}, Quat{1, nan, 0, 0}}) {
    const std::array<double, 3> angles = to_euler(bad, zyx, EulerFrame::extrinsic);
    expect_bits({angles[0], angles[1], angles[2]}, {nan, nan, nan});
  }
}

// ---- equality

TEST(QuatEquality, AbsoluteEpsilonPerField) {
  EXPECT_EQ((Quat{0.5, 0, 0, 0}), (Quat{0.5000000000000001, 0, 0, 0}));
  EXPECT_NE((Quat{0.5, 0, 0, 0}), (Quat{0.5000000000000003, 0, 0, 0}));
  EXPECT_NE((Quat{1, 0, 0, 0}), (Quat{1 + 0x1p-52, 0, 0, 0}));
  EXPECT_EQ(Quat::identity(), (Quat{1, 0, 0, 1e-17}));
  const Quat with_nan{1, 0, nan, 0};
  EXPECT_FALSE(with_nan == with_nan);
  EXPECT_TRUE(with_nan != with_nan);
}

}  // namespace
}  // namespace morvix
