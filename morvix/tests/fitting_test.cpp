#include "morvix/src/fitting.hpp"
#include "morvix/src/statistics.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace morvix {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

bool same_bits(const Quat& a, const Quat& b) {
  return std::bit_cast<std::uint64_t>(a.w) == std::bit_cast<std::uint64_t>(b.w) &&
         std::bit_cast<std::uint64_t>(a.i) == std::bit_cast<std::uint64_t>(b.i) &&
         std::bit_cast<std::uint64_t>(a.j) == std::bit_cast<std::uint64_t>(b.j) &&
         std::bit_cast<std::uint64_t>(a.k) == std::bit_cast<std::uint64_t>(b.k);
}

// Runs the blocks last to first and combines them in order afterwards: a
// pool could finish them in any order.
struct BackwardFold {
  template <class Part, class Combine>
  auto operator()(std::size_t n, Part part, Combine combine) const {
    const std::size_t blocks = (n + sum_block - 1) / sum_block;
    std::vector<decltype(part(0, 0))> values(blocks);
    for (std::size_t b = blocks; b-- > 0;) values[b] = part(b * sum_block, std::min(n, (b + 1) * sum_block));
    auto acc = values[0];
    for (std::size_t b = 1; b < blocks; ++b) acc = combine(acc, values[b]);
    return acc;
  }
};

// A fixed stream of numbers in [−1, 1).
struct Numbers {
  std::uint64_t state = 0x9E3779B97F4A7C15u;
  double next() {
    state = state * 6364136223846793005u + 1442695040888963407u;
    return static_cast<double>(static_cast<std::int64_t>(state >> 11)) * 0x1p-52 - 1.0;
  }
  Vec3d vec() { return {next(), next(), next()}; }
};

const Quat some_rotation = normalize(Quat{0.3, -0.5, 0.7, 0.1});

// ---- aligning vectors

TEST(AlignRotation, RecoversTheRotationOfExactDataAtEveryScale) {
  Numbers numbers;
  std::vector<Vec3d> base(50);
  for (auto& v : base) v = numbers.vec();
  for (double scale : {1e-150, 1e-20, 1.0, 3e7, 1e150}) {
    std::vector<Vec3d> source, target;
    for (const Vec3d& v : base) {
      source.push_back(v * scale);
      target.push_back(rotate(some_rotation, v * scale));
    }
    const auto fit = align_rotation(source.data(), target.data(), source.size(), UnitWeights{}, SerialFold{});
    ASSERT_TRUE(fit.has_value());
    EXPECT_LE(angle_between(fit->rotation, some_rotation), 1e-13) << scale;
    EXPECT_LE(fit->rssd, 1e-12 * scale) << scale;
    EXPECT_GE(fit->rotation.w, 0.0);
  }
}

TEST(AlignRotation, OnePairGivesTheShortestArc) {
  const Vec3d s{1, 2, 3}, t{-2, 0.5, 1};
  const auto fit = align_rotation(&s, &t, 1, UnitWeights{}, SerialFold{});
  ASSERT_TRUE(fit.has_value());
  EXPECT_LE(angle_between(fit->rotation, between(s, t)), 1e-15);
  // Opposite directions: a half turn.
  const Vec3d opposite{-2, -4, -6};
  const auto half = align_rotation(&s, &opposite, 1, UnitWeights{}, SerialFold{});
  ASSERT_TRUE(half.has_value());
  EXPECT_NEAR(half->rotation.w, 0.0, 1e-15);
  EXPECT_NEAR(half->rssd, magnitude(s), 1e-14);
}

TEST(AlignRotation, VectorsOnOneLineGiveTheSmallestOfTheBestRotations) {
  const Vec3d s[] = {{1, 1, 0}, {-2, -2, 0}, {0.5, 0.5, 0}};
  const Vec3d t[] = {{0, 0, 3}, {2, 1, 7}, {-1, 1, 2}};
  const auto fit = align_rotation(s, t, 3, UnitWeights{}, SerialFold{});
  ASSERT_TRUE(fit.has_value());
  // Σ t·sᵀ = g·(1, 1, 0)ᵀ with g = t₀ − 2·t₁ + t₂/2: the best rotations take
  // (1, 1, 0) along g, and the smallest of them is the shortest arc.
  const Vec3d g{-4.5, -1.5, -10};
  EXPECT_LE(angle_between(fit->rotation, between(Vec3d{1, 1, 0}, g)), 1e-14);
}

TEST(AlignRotation, CancellingPairsGiveTheIdentity) {
  const Vec3d s[] = {{1, 0, 0}, {-1, 0, 0}};
  const Vec3d t[] = {{0, 1, 0}, {0, 1, 0}};
  const auto fit = align_rotation(s, t, 2, UnitWeights{}, SerialFold{});
  ASSERT_TRUE(fit.has_value());
  EXPECT_TRUE(same_bits(fit->rotation, Quat::identity()));
}

TEST(AlignRotation, Refusals) {
  const Vec3d good[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  const Vec3d bad[] = {{1, 0, 0}, {0, nan, 1}, {0, inf, 1}};
  const auto refused = [](auto result) { return result.has_value() ? FitError{FitFault::empty, 99} : result.error(); };
  auto e = refused(align_rotation(good, good, 0, UnitWeights{}, SerialFold{}));
  EXPECT_EQ(e.fault, FitFault::empty);
  e = refused(align_rotation(bad, good, 3, UnitWeights{}, SerialFold{}));
  EXPECT_EQ(e.fault, FitFault::source_not_finite);
  EXPECT_EQ(e.index, 1u);
  e = refused(align_pose(good, bad, 3, UnitWeights{}, SerialFold{}));
  EXPECT_EQ(e.fault, FitFault::target_not_finite);
  EXPECT_EQ(e.index, 1u);
  const struct {
    double w[3];
    FitFault fault;
    std::size_t index;
  } weights[] = {
      {{1, -1, nan}, FitFault::weight_negative, 1},
      {{1, 0, nan}, FitFault::weight_nan, 2},
      {{-inf, 1, 1}, FitFault::weight_infinite, 0},
      {{0, -0.0, 0}, FitFault::weights_zero, no_index},
  };
  for (const auto& row : weights) {
    const auto w = [&row](std::size_t i) { return row.w[i]; };
    e = refused(align_rotation(good, good, 3, w, SerialFold{}));
    EXPECT_EQ(e.fault, row.fault);
    EXPECT_EQ(e.index, row.index);
  }
}

TEST(AlignPose, RecoversThePoseAndTheSinglePointCase) {
  Numbers numbers;
  std::vector<Vec3d> source, target;
  const RigidTransform pose{some_rotation, {1e6, -2e6, 5}};
  for (int i = 0; i < 20; ++i) {
    source.push_back(numbers.vec() + Vec3d{1e6, 1e6, 1e6});
    target.push_back(apply(pose, source.back()));
  }
  const auto fit = align_pose(source.data(), target.data(), source.size(), UnitWeights{}, SerialFold{});
  ASSERT_TRUE(fit.has_value());
  EXPECT_LE(angle_between(fit->transform.rotation, some_rotation), 1e-9);
  EXPECT_LE(fit->rssd, 1e-12 * 4e6);
  // One point: no rotation, the translation between the points.
  const Vec3d s{0.1, 0.2, 0.3}, t{1, 1, 1};
  const auto one = align_pose(&s, &t, 1, [](std::size_t) { return 3.0; }, SerialFold{});
  ASSERT_TRUE(one.has_value());
  EXPECT_TRUE(same_bits(one->transform.rotation, Quat::identity()));
  EXPECT_EQ(one->rssd, 0.0);
}

TEST(Fits, BitsDoNotDependOnTheOrderBlocksRunIn) {
  Numbers numbers;
  const std::size_t n = 3 * sum_block + 17;
  std::vector<Vec3d> source(n), target(n);
  std::vector<double> weights(n);
  std::vector<Quat> quats(n);
  for (std::size_t i = 0; i < n; ++i) {
    source[i] = numbers.vec();
    target[i] = rotate(some_rotation, source[i]) + numbers.vec() * 0.01;
    weights[i] = numbers.next() + 1.0;
    quats[i] = Quat{numbers.next(), numbers.next(), numbers.next(), numbers.next()};
  }
  const auto w = [&weights](std::size_t i) { return weights[i]; };
  const auto a = align_pose(source.data(), target.data(), n, w, SerialFold{});
  const auto b = align_pose(source.data(), target.data(), n, w, BackwardFold{});
  EXPECT_TRUE(same_bits(a->transform.rotation, b->transform.rotation));
  EXPECT_EQ(std::bit_cast<std::uint64_t>(a->rssd), std::bit_cast<std::uint64_t>(b->rssd));
  EXPECT_TRUE(same_bits(*mean(quats.data(), n, w, SerialFold{}), *mean(quats.data(), n, w, BackwardFold{})));
}

// ---- the mean rotation

TEST(Mean, IgnoresSignsAndFindsTheCommonRotation) {
  Numbers numbers;
  std::vector<Quat> quats, flipped;
  for (int i = 0; i < 40; ++i) {
    // Small turns about some_rotation, mirrored in pairs so that it is the mean.
    const Vec3d v = numbers.vec() * 0.1;
    for (const Vec3d& turn : {v, -v}) {
      const Quat q = then(from_rotation_vector(turn), some_rotation);
      quats.push_back(q);
      flipped.push_back(i % 3 == 0 ? Quat{-q.w, -q.i, -q.j, -q.k} : q);
    }
  }
  const auto m = mean(quats.data(), quats.size(), UnitWeights{}, SerialFold{});
  ASSERT_TRUE(m.has_value());
  EXPECT_TRUE(same_bits(*m, *mean(flipped.data(), flipped.size(), UnitWeights{}, SerialFold{})));
  EXPECT_GE(m->w, 0.0);
  EXPECT_LE(angle_between(*m, some_rotation), 1e-3);
  // One element, at any magnitude: itself, normalised.
  for (double scale : {1e-300, 1.0, 1e300}) {
    const Quat q{-0.5 * scale, 0.5 * scale, -0.5 * scale, 0.5 * scale};
    const auto one = mean(&q, 1, UnitWeights{}, SerialFold{});
    ASSERT_TRUE(one.has_value());
    EXPECT_LE(angle_between(*one, Quat{0.5, -0.5, 0.5, -0.5}), 1e-15);
    EXPECT_GT(one->w, 0.0);
  }
}

TEST(Mean, ElementsOfAnyLengthCountAsTheirDirection) {
  // Lengths whose squares over- or underflow take the careful path, in pairs and alone.
  Numbers numbers;
  std::vector<Quat> unit, scaled;
  const double scales[] = {1.0, 1e200, 1e-200, 3.0, 1.0, 1e-170, 1e300};
  for (int i = 0; i < 301; ++i) {
    const Quat q = normalize(then(from_rotation_vector(numbers.vec() * 0.2), some_rotation));
    const double c = scales[i % 7] * (i % 5 == 0 ? -1.0 : 1.0);
    unit.push_back(q);
    scaled.push_back({c * q.w, c * q.i, c * q.j, c * q.k});
  }
  const Quat a = *mean(unit.data(), unit.size(), UnitWeights{}, SerialFold{});
  const Quat b = *mean(scaled.data(), scaled.size(), UnitWeights{}, BackwardFold{});
  EXPECT_LE(angle_between(a, b), 4e-15);
  // Weights so large or small that their sums are taken again, scaled.
  for (double w : {1e-300, 1e300}) {
    const Quat c = *mean(unit.data(), unit.size(), [w](std::size_t) { return w; }, SerialFold{});
    EXPECT_LE(angle_between(a, c), 4e-15) << w;
  }
}

TEST(Mean, Refusals) {
  const Quat quats[] = {{1, 0, 0, 0}, {0, 0, 0, 0}, {nan, 0, 0, 1}};
  EXPECT_EQ(mean(quats, 0, UnitWeights{}, SerialFold{}).error().fault, FitFault::empty);
  EXPECT_EQ(mean(quats + 2, 1, UnitWeights{}, SerialFold{}).error().fault, FitFault::element_not_finite);
  EXPECT_EQ(mean(quats, 3, UnitWeights{}, SerialFold{}).error().fault, FitFault::element_zero);
  const auto zero = mean(quats, 2, UnitWeights{}, SerialFold{}).error();
  EXPECT_EQ(zero.fault, FitFault::element_zero);
  EXPECT_EQ(zero.index, 1u);
  EXPECT_EQ(mean(quats, 1, [](std::size_t) { return 0.0; }, SerialFold{}).error().fault, FitFault::weights_zero);
}

// ---- random rotations, powers and series

TEST(Random, IsAFixedStreamOfUnitQuaternions) {
  // The first elements of the stream of seed 0 and seed 2⁶⁴ − 1, to the bit.
  const Quat q0 = random_rotation(0, 0);
  const Quat again = random_rotation(0, 0);
  EXPECT_TRUE(same_bits(q0, again));
  EXPECT_FALSE(same_bits(random_rotation(0, 1), q0));
  EXPECT_FALSE(same_bits(random_rotation(~std::uint64_t{0}, 0), q0));
  for (std::uint64_t i = 0; i < 2000; ++i) {
    const Quat q = random_rotation(42, i);
    EXPECT_GE(q.w, 0.0);
    EXPECT_NEAR(magnitude(q), 1.0, 4e-16);
  }
}

TEST(Power, IsItsDefinition) {
  for (double t : {0.0, 1.0, -1.0, 0.5, 2.5, nan}) {
    EXPECT_TRUE(same_bits(power(some_rotation, t), from_rotation_vector(to_rotation_vector(some_rotation) * t)));
  }
  EXPECT_EQ(angle_between(power(some_rotation, 0.0), Quat::identity()), 0.0);
  EXPECT_LE(angle_between(power(some_rotation, -1.0), inverse(some_rotation)), 1e-15);
  const Quat half = power(some_rotation, 0.5);
  EXPECT_LE(angle_between(then(half, half), some_rotation), 1e-15);
}

TEST(Series, AccumulateAndDifferencesUndoEachOther) {
  Numbers numbers;
  std::vector<Quat> steps(100), running(100);
  for (auto& q : steps) q = from_rotation_vector(numbers.vec());
  accumulate(steps.data(), steps.size(), running.data());
  Quat acc = steps[0];
  EXPECT_TRUE(same_bits(running[0], steps[0]));
  for (std::size_t i = 1; i < steps.size(); ++i) {
    acc = then(acc, steps[i]);
    EXPECT_TRUE(same_bits(running[i], acc));
    EXPECT_TRUE(same_bits(difference(running[i - 1], running[i]), then(inverse(running[i - 1]), running[i])));
    EXPECT_LE(angle_between(difference(running[i - 1], running[i]), steps[i]), 1e-13);
  }
  // In place.
  accumulate(steps.data(), steps.size(), steps.data());
  EXPECT_TRUE(same_bits(steps.back(), running.back()));
}

}  // namespace
}  // namespace morvix
