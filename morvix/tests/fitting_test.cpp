#include "morvix/src/fitting.hpp"
#include "morvix/src/statistics.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

namespace morvix {
namespace {

bool same_bits(const Quat& a, const Quat& b) { return std::memcmp(&a, &b, sizeof(Quat)) == 0; }

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

TEST(Mean, ElementsAndWeightsOfAnyMagnitude) {
  // One element, at any magnitude: itself, normalised, with w ≥ 0.
  for (double scale : {1e-300, 1.0, 1e300}) {
    const Quat q{-0.5 * scale, 0.5 * scale, -0.5 * scale, 0.5 * scale};
    const Quat one = *mean(&q, 1, UnitWeights{}, SerialFold{});
    EXPECT_TRUE(angle_between(one, Quat{0.5, -0.5, 0.5, -0.5}) <= 1e-15 && one.w > 0.0) << scale;
  }
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
  EXPECT_LE(angle_between(a, *mean(scaled.data(), scaled.size(), UnitWeights{}, BackwardFold{})), 4e-15);
  // Weights so large or small that their sums are taken again, scaled.
  for (double w : {1e-300, 1e300}) {
    const Quat c = *mean(unit.data(), unit.size(), [w](std::size_t) { return w; }, SerialFold{});
    EXPECT_LE(angle_between(a, c), 4e-15) << w;
  }
}

TEST(Random, TheBatchIsTheStreamFromAnyStart) {
  for (std::uint64_t seed : {std::uint64_t{0}, std::uint64_t{42}, ~std::uint64_t{0}}) {
    std::vector<Quat> batch(2000);
    random_rotations(seed, 1000, batch.size(), batch.data());
    for (std::size_t k = 0; k < batch.size(); ++k) {
      ASSERT_TRUE(same_bits(batch[k], random_rotation(seed, 1000 + k))) << seed << ' ' << k;
      EXPECT_GE(batch[k].w, 0.0);
      EXPECT_NEAR(magnitude(batch[k]), 1.0, 4e-16);
    }
  }
}

TEST(Series, AccumulateInPlaceGivesTheSameBits) {
  Numbers numbers;
  std::vector<Quat> steps(100), running(100);
  for (auto& q : steps) q = from_rotation_vector(numbers.vec());
  accumulate(steps.data(), steps.size(), running.data());
  accumulate(steps.data(), steps.size(), steps.data());
  for (std::size_t i = 0; i < steps.size(); ++i) EXPECT_TRUE(same_bits(steps[i], running[i])) << i;
}

}  // namespace
}  // namespace morvix
