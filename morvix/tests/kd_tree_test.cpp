#include "morvix/src/spatial/kd_tree.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace morvix {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

struct Found {
  std::vector<std::uint64_t> distance_bits;
  std::vector<std::int64_t> indices;
  bool operator==(const Found&) const = default;
};

Found query(const KDTree& tree, const Vec3d& q, std::size_t k, double bound) {
  std::vector<double> d(k);
  Found out{{}, std::vector<std::int64_t>(k)};
  tree.query(q, k, bound, d.data(), out.indices.data());
  for (double x : d) out.distance_bits.push_back(bits(x));
  return out;
}

std::vector<Vec3d> uniform(std::size_t n, std::uint32_t seed, double scale) {
  std::mt19937_64 g(seed);
  std::uniform_real_distribution<double> u(-scale, scale);
  std::vector<Vec3d> out(n);
  for (auto& p : out) p = {u(g), u(g), u(g)};
  return out;
}

// Point sets that stress ties and bounds: many equal distances (a grid queried from grid points and cell centres),
// each point three times, tight clusters far apart, one point, two identical points.
struct Cloud {
  std::string name;
  std::vector<Vec3d> points, queries;
};

std::vector<Cloud> clouds() {
  std::vector<Vec3d> grid, grid_queries, duplicates, clusters;
  for (int i = 0; i < 343; ++i) grid.push_back({i / 49 * 0.1, i / 7 % 7 * 0.1, i % 7 * 0.1});
  for (int i = 0; i < 64; ++i) grid_queries.push_back({i / 16 * 0.2, i / 4 % 4 * 0.2, i % 4 * 0.2});
  for (int i = 0; i < 27; ++i) grid_queries.push_back({i / 9 * 0.2 + 0.05, i / 3 % 3 * 0.2 + 0.05, i % 3 * 0.2 + 0.05});
  for (int r = 0; r < 3; ++r)
    for (const Vec3d& p : uniform(150, 3, 1.0)) duplicates.push_back(p);
  for (int c = 0; c < 6; ++c)
    for (const Vec3d& p : uniform(80, 10 + c, 1e-6)) clusters.push_back({p.x + c * 100.0, p.y, p.z - c * 3.0});
  return {{"uniform", uniform(700, 1, 1.0), uniform(60, 2, 1.2)}, {"grid", grid, grid_queries},
          {"duplicates", duplicates, uniform(40, 4, 1.0)}, {"clusters", clusters, uniform(40, 5, 300.0)},
          {"one_point", {{0.25, -1.0, 3.0}}, uniform(10, 6, 4.0)}, {"two_identical_points", {{1, 2, 3}, {1, 2, 3}}, uniform(10, 7, 4.0)}};
}

class KDTreeAgainstBruteForce : public testing::TestWithParam<Cloud> {};

// Bounds at every occurring distance (sampled), the doubles on each side of it, and none: count_within, within
// and query with max_distance all agree with every distance ranked by value, then index.
TEST_P(KDTreeAgainstBruteForce, BoundsAdmitDistancesEqualToThem) {
  const auto& c = GetParam();
  const KDTree tree(c.points);
  const auto n = static_cast<std::int64_t>(c.points.size());
  for (const Vec3d& q : c.queries) {
    std::vector<std::pair<double, std::int64_t>> all;
    for (std::int64_t i = 0; i < n; ++i) all.push_back({distance_to(c.points[i], q), i});
    std::sort(all.begin(), all.end());
    std::vector<double> bounds{inf};
    for (std::size_t r = 0; r < all.size(); r += 1 + all.size() / 12)
      for (double b : {std::nextafter(all[r].first, 0.0), all[r].first, std::nextafter(all[r].first, inf)}) bounds.push_back(b);
    for (double bound : bounds) {
      Found want{std::vector<std::uint64_t>(7, bits(inf)), std::vector<std::int64_t>(7, n)};
      std::vector<std::int64_t> inside;
      for (std::size_t s = 0; s < all.size() && all[s].first <= bound; ++s) {
        inside.push_back(all[s].second);
        if (s < 7) {
          want.distance_bits[s] = bits(all[s].first);
          want.indices[s] = all[s].second;
        }
      }
      EXPECT_EQ(query(tree, q, 7, bound), want) << c.name << " bound " << bound;
      std::sort(inside.begin(), inside.end());
      ASSERT_EQ(tree.count_within(q, bound), inside.size()) << c.name << " bound " << bound;
      std::vector<std::int64_t> got(inside.size());
      tree.within(q, bound, got.data());
      EXPECT_EQ(got, inside) << c.name << " bound " << bound;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Clouds, KDTreeAgainstBruteForce, testing::ValuesIn(clouds()),
                         [](const testing::TestParamInfo<Cloud>& info) { return info.param.name; });

// Two squared distances that differ in the last bit but share a root: the smaller index wins though its square is
// the larger one, and a bound equal to the shared distance admits both.
TEST(KDTree, TiesAreDecidedOnTheDistanceNotItsSquare) {
  const Vec3d q{0.0, 0.0, 0.0};
  std::mt19937_64 g(42);
  std::uniform_real_distribution<double> u(0.5, 2.0);
  int found = 0;
  for (int attempt = 0; attempt < 200000 && found < 20; ++attempt) {
    const Vec3d a{u(g), u(g), 0.0}, b{std::nextafter(a.x, 0.0), std::nextafter(a.y, 3.0), 0.0};
    const double da2 = distance_squared(a, q), db2 = distance_squared(b, q), d = std::sqrt(da2);
    if (da2 == db2 || d != std::sqrt(db2)) continue;
    ++found;
    const KDTree tree(da2 > db2 ? std::vector<Vec3d>{a, b} : std::vector<Vec3d>{b, a});  // index 0 has the larger square
    EXPECT_EQ(tree.nearest(q).index, 0u);
    for (double bound : {inf, d}) EXPECT_EQ(query(tree, q, 2, bound), (Found{{bits(d), bits(d)}, {0, 1}}));
    EXPECT_EQ(tree.count_within(q, d), 2u);
  }
  EXPECT_GT(found, 10);
}

// Squares that overflow give real neighbours at an infinite distance, which keep their indices and their order;
// squares that underflow give distance 0.
TEST(KDTree, FarPointsAndOverflowingDistances) {
  const KDTree tree(std::vector<Vec3d>{{1e300, 0, 0}, {-1e300, 0, 0}, {0, 1e300, 0}, {0, 0, 0}, {1e-300, 0, 0}});
  const std::uint64_t i = bits(inf), z = bits(0.0);
  EXPECT_EQ(query(tree, {-1e300, 0, 0}, 6, inf), (Found{{z, i, i, i, i, i}, {1, 0, 2, 3, 4, 5}}));
  EXPECT_EQ(query(tree, {0, 0, 0}, 6, inf), (Found{{z, z, i, i, i, i}, {3, 4, 0, 1, 2, 5}}));
  EXPECT_EQ(query(tree, {0, 0, 0}, 3, 0.0), (Found{{z, z, i}, {3, 4, 5}}));
  EXPECT_EQ(tree.nearest({1e300, 1e300, 1e300}).index, 0u);
  EXPECT_EQ(tree.nearest({1e300, 1e300, 1e300}).distance, inf);
  EXPECT_EQ(tree.count_within({0, 0, 0}, inf), 5u);
  std::size_t partners = 0, at = 0;  // the only pair within 1e-300 is (3, 4)
  for (std::size_t p = 0; p < 5; ++p) {
    partners += tree.count_partners(p, 1e-300);
    if (tree.index_at(p) == 3) at = p;
  }
  std::int64_t partner = -1;
  tree.partners(at, 1e-300, &partner);
  EXPECT_EQ(partners, 1u);
  EXPECT_EQ(partner, 4);
}

TEST(KDTree, EmptyTreeHasNoNeighbours) {
  const KDTree tree(std::span<const Vec3d>{});
  EXPECT_EQ(tree.size(), 0u);
  EXPECT_EQ(tree.nearest({1, 2, 3}).index, 0u);
  EXPECT_EQ(tree.nearest({1, 2, 3}).distance, inf);
  EXPECT_EQ(query(tree, {0, 0, 0}, 2, inf), (Found{{bits(inf), bits(inf)}, {0, 0}}));
  EXPECT_EQ(tree.count_within({0, 0, 0}, inf), 0u);
}

}  // namespace
}  // namespace morvix
