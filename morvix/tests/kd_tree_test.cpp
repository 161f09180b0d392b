#include "morvix/src/spatial/kd_tree.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace morvix {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

// ---- brute force: every distance, sorted by distance then index

struct Pair {
  double distance;
  std::int64_t index;
};

std::vector<Pair> ranked(const std::vector<Vec3d>& points, const Vec3d& q) {
  std::vector<Pair> all;
  for (std::size_t i = 0; i < points.size(); ++i)
    all.push_back({distance_to(points[i], q), static_cast<std::int64_t>(i)});
  std::stable_sort(all.begin(), all.end(), [](const Pair& a, const Pair& b) { return a.distance < b.distance; });
  return all;
}

// ---- data sets that stress ties, duplicates and the bounds

struct Cloud {
  std::string name;
  std::vector<Vec3d> points;
  std::vector<Vec3d> queries;
};

std::vector<Vec3d> uniform(std::size_t n, std::uint32_t seed, double scale) {
  std::mt19937_64 g(seed);
  std::uniform_real_distribution<double> u(-scale, scale);
  std::vector<Vec3d> out(n);
  for (auto& p : out) p = {u(g), u(g), u(g)};
  return out;
}

std::vector<Vec3d> grid(int side, double step) {
  std::vector<Vec3d> out;
  for (int i = 0; i < side; ++i)
    for (int j = 0; j < side; ++j)
      for (int k = 0; k < side; ++k) out.push_back({i * step, j * step, k * step});
  return out;
}

std::vector<Cloud> clouds() {
  std::vector<Cloud> out;
  out.push_back({"uniform", uniform(700, 1, 1.0), uniform(60, 2, 1.2)});
  // Many equal distances: a grid queried from grid points and cell centres.
  auto g = grid(7, 0.1);
  auto gq = grid(4, 0.2);
  for (auto& p : grid(3, 0.2)) gq.push_back({p.x + 0.05, p.y + 0.05, p.z + 0.05});
  out.push_back({"grid", g, gq});
  // Duplicates: each point three times, in scattered positions.
  auto base = uniform(150, 3, 1.0);
  std::vector<Vec3d> dup;
  for (int r = 0; r < 3; ++r) dup.insert(dup.end(), base.begin(), base.end());
  out.push_back({"duplicates", dup, uniform(40, 4, 1.0)});
  // Clustered: tight groups far apart, and queries between them.
  std::vector<Vec3d> clusters;
  for (int c = 0; c < 6; ++c)
    for (auto& p : uniform(80, 10 + c, 1e-6)) clusters.push_back({p.x + c * 100.0, p.y, p.z - c * 3.0});
  out.push_back({"clusters", clusters, uniform(40, 5, 300.0)});
  out.push_back({"one point", {{0.25, -1.0, 3.0}}, uniform(10, 6, 4.0)});
  out.push_back({"two identical points", {{1.0, 2.0, 3.0}, {1.0, 2.0, 3.0}}, uniform(10, 7, 4.0)});
  // Coordinates whose squares overflow: distances of inf, still reported.
  out.push_back({"huge", {{1e300, 0, 0}, {-1e300, 0, 0}, {0, 1e300, 0}, {0, 0, 0}}, {{-1e300, -1e300, 0}, {1e300, 1e300, 1e300}}});
  return out;
}

class KDTreeAgainstBruteForce : public testing::TestWithParam<Cloud> {};

TEST_P(KDTreeAgainstBruteForce, QueryMatchesRankedDistances) {
  const auto& c = GetParam();
  const KDTree tree(c.points);
  ASSERT_EQ(tree.size(), c.points.size());
  const std::int64_t n = static_cast<std::int64_t>(c.points.size());
  for (const Vec3d& q : c.queries) {
    const auto all = ranked(c.points, q);
    for (std::size_t k : {std::size_t{1}, std::size_t{2}, std::size_t{7}, c.points.size() + 3}) {
      std::vector<double> d(k);
      std::vector<std::int64_t> idx(k);
      tree.query(q, k, inf, d.data(), idx.data());
      for (std::size_t s = 0; s < k; ++s) {
        if (s < all.size()) {
          EXPECT_EQ(bits(d[s]), bits(all[s].distance)) << c.name << " k=" << k << " slot " << s;
          EXPECT_EQ(idx[s], all[s].index) << c.name << " k=" << k << " slot " << s;
        } else {
          EXPECT_EQ(d[s], inf);
          EXPECT_EQ(idx[s], n);
        }
      }
    }
    const Neighbour best = tree.nearest(q);
    EXPECT_EQ(best.index, static_cast<std::size_t>(all[0].index));
    EXPECT_EQ(bits(best.distance), bits(all[0].distance));
  }
}

TEST_P(KDTreeAgainstBruteForce, BoundsAdmitDistancesEqualToThem) {
  const auto& c = GetParam();
  const KDTree tree(c.points);
  const std::int64_t n = static_cast<std::int64_t>(c.points.size());
  for (const Vec3d& q : c.queries) {
    const auto all = ranked(c.points, q);
    // Every distance that occurs is tried as a bound, and the doubles on each side of it.
    for (std::size_t r = 0; r < all.size(); r += 1 + all.size() / 12) {
      for (double bound : {std::nextafter(all[r].distance, 0.0), all[r].distance, std::nextafter(all[r].distance, inf)}) {
        if (std::isinf(bound) && bound < 0) continue;
        std::vector<std::int64_t> want;
        for (const auto& p : all)
          if (p.distance <= bound) want.push_back(p.index);
        std::vector<std::int64_t> sorted_want = want;
        std::sort(sorted_want.begin(), sorted_want.end());
        ASSERT_EQ(tree.count_within(q, bound), want.size()) << c.name;
        std::vector<std::int64_t> got(want.size());
        tree.within(q, bound, got.data());
        EXPECT_EQ(got, sorted_want) << c.name << " radius " << bound;
        // query with max_distance: the ranked prefix inside the bound.
        const std::size_t k = 5;
        std::vector<double> d(k);
        std::vector<std::int64_t> idx(k);
        tree.query(q, k, bound, d.data(), idx.data());
        for (std::size_t s = 0; s < k; ++s) {
          if (s < want.size()) {
            EXPECT_EQ(idx[s], want[s]) << c.name;
            EXPECT_EQ(bits(d[s]), bits(all[s].distance));
          } else {
            EXPECT_EQ(idx[s], n);
            EXPECT_EQ(d[s], inf);
          }
        }
      }
    }
  }
}

TEST_P(KDTreeAgainstBruteForce, PartnersArePairsOfLargerIndex) {
  const auto& c = GetParam();
  const KDTree tree(c.points);
  std::vector<Vec3d> copy(c.points.size());
  tree.copy_points(copy.data());
  for (std::size_t i = 0; i < copy.size(); ++i) EXPECT_EQ(bits(copy[i].x), bits(c.points[i].x));
  const double radius = c.points.size() > 100 ? 0.15 : 1.0;
  std::vector<bool> seen(c.points.size());
  for (std::size_t p = 0; p < tree.size(); ++p) {
    const std::size_t i = tree.index_at(p);
    seen[i] = true;
    std::vector<std::int64_t> want;
    for (std::size_t j = i + 1; j < c.points.size(); ++j)
      if (distance_to(c.points[j], c.points[i]) <= radius) want.push_back(static_cast<std::int64_t>(j));
    ASSERT_EQ(tree.count_partners(p, radius), want.size());
    std::vector<std::int64_t> got(want.size());
    tree.partners(p, radius, got.data());
    EXPECT_EQ(got, want) << c.name;
  }
  EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](bool b) { return b; }));
}

INSTANTIATE_TEST_SUITE_P(Clouds, KDTreeAgainstBruteForce, testing::ValuesIn(clouds()),
                         [](const testing::TestParamInfo<Cloud>& info) {
                           std::string name = info.param.name;
                           std::replace(name.begin(), name.end(), ' ', '_');
                           return name;
                         });

// Two squared distances that differ in the last bit but share a root: the
// smaller index wins though its square is the larger one.
TEST(KDTree, TiesAreDecidedOnTheDistanceNotItsSquare) {
  const Vec3d q{0.0, 0.0, 0.0};
  std::mt19937_64 g(42);
  std::uniform_real_distribution<double> u(0.5, 2.0);
  int found = 0;
  for (int attempt = 0; attempt < 200000 && found < 20; ++attempt) {
    const Vec3d a{u(g), u(g), 0.0};
    const Vec3d b{std::nextafter(a.x, 0.0), std::nextafter(a.y, 3.0), 0.0};
    const double da2 = distance_squared(a, q);
    const double db2 = distance_squared(b, q);
    if (da2 == db2 || std::sqrt(da2) != std::sqrt(db2)) continue;
    ++found;
    // The point with the larger square first, so the tie goes to index 0.
    const bool a_larger = da2 > db2;
    const std::vector<Vec3d> pts = a_larger ? std::vector<Vec3d>{a, b} : std::vector<Vec3d>{b, a};
    const KDTree tree(pts);
    EXPECT_EQ(tree.nearest(q).index, 0u);
    double d[2];
    std::int64_t idx[2];
    tree.query(q, 2, inf, d, idx);
    EXPECT_EQ(idx[0], 0);
    EXPECT_EQ(idx[1], 1);
    EXPECT_EQ(bits(d[0]), bits(d[1]));
    // A bound equal to the shared distance admits both.
    EXPECT_EQ(tree.count_within(q, std::sqrt(da2)), 2u);
  }
  EXPECT_GT(found, 0);
}

TEST(KDTree, EmptyTreeHasNoNeighbours) {
  const KDTree tree(std::span<const Vec3d>{});
  EXPECT_EQ(tree.size(), 0u);
  const Neighbour n = tree.nearest({1, 2, 3});
  EXPECT_EQ(n.index, 0u);
  EXPECT_EQ(n.distance, inf);
  double d[2];
  std::int64_t idx[2];
  tree.query({0, 0, 0}, 2, inf, d, idx);
  EXPECT_EQ(d[1], inf);
  EXPECT_EQ(idx[1], 0);
  EXPECT_EQ(tree.count_within({0, 0, 0}, inf), 0u);
}

TEST(KDTree, KeepsItsOwnCopyAndFewBytesPerPoint) {
  auto pts = uniform(100000, 9, 1.0);
  const KDTree tree(pts);
  const Vec3d q = pts[123];
  pts[123] = {5, 5, 5};
  EXPECT_EQ(tree.nearest(q).index, 123u);
  EXPECT_EQ(tree.nearest(q).distance, 0.0);
  EXPECT_LE(tree.memory_bytes(), 40u * pts.size());
}

}  // namespace
}  // namespace morvix
