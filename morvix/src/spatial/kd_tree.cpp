#include "morvix/src/spatial/kd_tree.hpp"

#include <nanoflann.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <new>

namespace morvix {

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double largest = std::numeric_limits<double>::max();

// The tree's points sit in the order of its leaves, so a leaf's points are
// neighbours in memory; `original` maps a position back to the index the
// caller knows.
struct Cloud {
  std::vector<Vec3d> points;
  std::vector<std::uint32_t> original;

  std::size_t kdtree_get_point_count() const noexcept { return points.size(); }
  double kdtree_get_pt(std::uint32_t i, std::size_t axis) const noexcept {
    const Vec3d& p = points[i];
    return axis == 0 ? p.x : axis == 1 ? p.y : p.z;
  }
  template <class Box>
  bool kdtree_get_bbox(Box&) const noexcept {
    return false;
  }
};

// Squared distances in the order of distance_squared, which is the only
// order used to decide anything. The library sums them again its own way to
// bound a box; those sums only prune, with a margin (see `margin`). Both are
// capped at the largest double: the library subtracts them as it walks the
// tree, and inf − inf would give a NaN that prunes everything.
struct Metric {
  using ElementType = double;
  using DistanceType = double;

  const Cloud& cloud;
  explicit Metric(const Cloud& c) : cloud(c) {}

  double evalMetric(const double* q, std::uint32_t i, std::size_t) const noexcept {
    const double d2 = formula::distance_squared(cloud.points[i], Vec3d{q[0], q[1], q[2]});
    return std::min(d2, largest);
  }
  template <class U, class V>
  double accum_dist(U a, V b, std::size_t) const noexcept {
    const double d = a - b;
    return std::min(d * d, largest);
  }
};

using Tree = nanoflann::KDTreeSingleIndexAdaptor<Metric, Cloud, 3, std::uint32_t>;

// Leaves of up to 32 points: their points are contiguous, so a larger leaf
// costs little to scan and keeps the nodes to a few bytes per point.
constexpr std::size_t leaf_max_size = 32;

// The bound handed to the library for pruning: a little above d2, so the
// library's own rounding (it bounds boxes by sums in another order) never
// prunes a point whose exact distance ties the bound, and every squared
// distance whose root equals sqrt(d2) passes.
double margin(double d2) noexcept { return d2 * (1.0 + 0x1p-40) + 0x1p-1000; }

// Spreads the low 10 bits of v to every third bit.
std::uint32_t spread(std::uint32_t v) noexcept {
  v &= 0x3ffu;
  v = (v | (v << 16)) & 0x030000ffu;
  v = (v | (v << 8)) & 0x0300f00fu;
  v = (v | (v << 4)) & 0x030c30c3u;
  v = (v | (v << 2)) & 0x09249249u;
  return v;
}

// The points' indices grouped by cell of a grid over the box [low, high]
// (at most `cells` cells, whole powers of eight), the cells in Morton order
// and the points of a cell in increasing index order: neighbours in this
// order are mostly neighbours in space. Points outside the box count in the
// nearest cell.
void grid_order(std::span<const Vec3d> points, std::size_t cells, std::array<double, 3> low,
                std::array<double, 3> high, std::uint32_t* order) {
  const std::size_t m = points.size();
  int bits = 0;
  while (bits < 7 && (std::size_t{1} << (3 * (bits + 1))) <= cells) ++bits;
  if (bits == 0) {
    for (std::size_t i = 0; i < m; ++i) order[i] = static_cast<std::uint32_t>(i);
    return;
  }
  const double side = static_cast<double>(1u << bits);
  std::array<double, 3> scale;
  for (int a = 0; a < 3; ++a) {
    const double span = high[a] - low[a];
    scale[a] = span > 0 ? side / span : 0.0;
  }
  const auto cell_of = [&](const Vec3d& q) noexcept {
    const double c[3] = {q.x, q.y, q.z};
    std::uint32_t key = 0;
    for (int a = 0; a < 3; ++a) {
      double t = (c[a] - low[a]) * scale[a];
      t = t >= 0 ? (t < side - 1 ? t : side - 1) : 0;
      key |= spread(static_cast<std::uint32_t>(t)) << a;
    }
    return key;
  };
  std::vector<std::uint32_t> start((std::size_t{1} << (3 * bits)) + 1, 0);
  std::vector<std::uint32_t> cell(m);
  for (std::size_t i = 0; i < m; ++i) ++start[(cell[i] = cell_of(points[i])) + 1];
  for (std::size_t c = 1; c < start.size(); ++c) start[c] += start[c - 1];
  for (std::size_t i = 0; i < m; ++i) order[start[cell[i]]++] = static_cast<std::uint32_t>(i);
}

// The points in grid order, with their indices: the tree's build walks
// them through a permutation, which then reads memory nearly in order.
void presort(std::span<const Vec3d> points, std::vector<Vec3d>& sorted, std::vector<std::uint32_t>& index) {
  const std::size_t n = points.size();
  index.resize(n);
  sorted.resize(n);
  if (n == 0) return;
  std::array<double, 3> low{points[0].x, points[0].y, points[0].z}, high = low;
  for (const Vec3d& p : points) {
    const double c[3] = {p.x, p.y, p.z};
    for (int a = 0; a < 3; ++a) {
      low[a] = std::min(low[a], c[a]);
      high[a] = std::max(high[a], c[a]);
    }
  }
  grid_order(points, n / 4, low, high, index.data());
  for (std::size_t i = 0; i < n; ++i) sorted[i] = points[index[i]];
}

double exact_distance(const Cloud& cloud, std::uint32_t position, const Vec3d& q, double d2) noexcept {
  // A capped square is worked out again: the true one may be infinite.
  if (d2 == largest) d2 = formula::distance_squared(cloud.points[position], q);
  return std::sqrt(d2);
}

// The k best (distance, index) pairs at distance <= bound, kept sorted in
// the caller's rows.
class Nearest {
 public:
  using DistanceType = double;
  using IndexType = std::uint32_t;

  Nearest(const Cloud& cloud, const Vec3d& q, std::size_t capacity, double bound, double* distances,
          std::int64_t* indices) noexcept
      : cloud_(cloud), q_(q), capacity_(capacity), bound_(bound), distances_(distances), indices_(indices),
        prune_(bound == inf ? inf : margin(bound * bound)) {}

  double worstDist() const noexcept { return prune_; }
  // What the library asks after a search: whether the set filled, and to sort
  // it (it is kept sorted).
  bool full() const noexcept { return count_ == capacity_; }
  void sort() const noexcept {}

  bool addPoint(double d2, std::uint32_t position) noexcept {
    const double d = exact_distance(cloud_, position, q_, d2);
    if (!(d <= bound_)) return true;
    const std::int64_t index = cloud_.original[position];
    std::size_t slot = count_;
    if (count_ == capacity_) {
      if (!before(d, index, distances_[count_ - 1], indices_[count_ - 1])) return true;
      --slot;
    } else {
      ++count_;
    }
    while (slot > 0 && before(d, index, distances_[slot - 1], indices_[slot - 1])) {
      distances_[slot] = distances_[slot - 1];
      indices_[slot] = indices_[slot - 1];
      --slot;
    }
    distances_[slot] = d;
    indices_[slot] = index;
    if (count_ == capacity_) {
      const double worst = distances_[count_ - 1];
      prune_ = worst == inf ? inf : margin(worst * worst);
    }
    return true;
  }

 private:
  static bool before(double d, std::int64_t i, double other_d, std::int64_t other_i) noexcept {
    return d < other_d || (d == other_d && i < other_i);
  }

  const Cloud& cloud_;
  Vec3d q_;
  std::size_t capacity_;
  double bound_;
  double* distances_;
  std::int64_t* indices_;
  double prune_;
  std::size_t count_ = 0;
};

// Every point at distance <= radius, handed to `found` with its position.
template <class Found>
class Within {
 public:
  using DistanceType = double;
  using IndexType = std::uint32_t;

  Within(const Cloud& cloud, const Vec3d& q, double radius, Found found) noexcept
      : cloud_(cloud), q_(q), radius_(radius), prune_(radius == inf ? inf : margin(radius * radius)), found_(found) {}

  double worstDist() const noexcept { return prune_; }
  bool full() const noexcept { return true; }
  void sort() const noexcept {}
  bool addPoint(double d2, std::uint32_t position) noexcept {
    if (exact_distance(cloud_, position, q_, d2) <= radius_) found_(position);
    return true;
  }

 private:
  const Cloud& cloud_;
  Vec3d q_;
  double radius_;
  double prune_;
  Found found_;
};

}  // namespace

struct KDTree::Index {
  Cloud cloud;
  Tree tree;

  explicit Index(std::span<const Vec3d> points)
      : cloud(presorted(points)),
        tree(3, cloud, nanoflann::KDTreeSingleIndexAdaptorParams(leaf_max_size)) {
    // The library reaches the points through vAcc_, a permutation that it
    // sorted into leaf order; the points are put into that order themselves,
    // `original` follows, and vAcc_ becomes the identity.
    const std::size_t n = cloud.points.size();
    std::vector<Vec3d> ordered(n);
    std::vector<std::uint32_t> original(n);
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint32_t from = tree.vAcc_[i];
      ordered[i] = cloud.points[from];
      original[i] = cloud.original[from];
      tree.vAcc_[i] = static_cast<std::uint32_t>(i);
    }
    cloud.points = std::move(ordered);
    cloud.original = std::move(original);
  }

  static Cloud presorted(std::span<const Vec3d> points) {
    Cloud c;
    presort(points, c.points, c.original);
    return c;
  }

  template <class ResultSet>
  void search(ResultSet& found, const Vec3d& q) const noexcept {
    const double v[3] = {q.x, q.y, q.z};
    tree.findNeighbors(found, v);
  }

  template <class Found>
  void each_within(const Vec3d& q, double radius, Found found) const noexcept {
    Within<Found> set(cloud, q, radius, found);
    search(set, q);
  }
};

KDTree::KDTree(std::span<const Vec3d> points) {
  // Positions are held in 32 bits.
  if (points.size() >= std::numeric_limits<std::uint32_t>::max()) throw std::bad_alloc();
  index_ = std::make_unique<Index>(points);
}
KDTree::~KDTree() = default;
KDTree::KDTree(KDTree&&) noexcept = default;
KDTree& KDTree::operator=(KDTree&&) noexcept = default;

std::size_t KDTree::size() const noexcept { return index_->cloud.points.size(); }

void KDTree::copy_points(Vec3d* out) const noexcept {
  const Cloud& c = index_->cloud;
  for (std::size_t i = 0; i < c.points.size(); ++i) out[c.original[i]] = c.points[i];
}

std::size_t KDTree::memory_bytes() const noexcept {
  const Index& x = *index_;
  return sizeof(KDTree) + sizeof(Index) + x.cloud.points.capacity() * sizeof(Vec3d) +
         x.cloud.original.capacity() * sizeof(std::uint32_t) + x.tree.vAcc_.capacity() * sizeof(std::uint32_t) +
         x.tree.pool_.usedMemory + x.tree.pool_.wastedMemory;
}

Neighbour KDTree::nearest(const Vec3d& q) const noexcept {
  double distance = inf;
  std::int64_t index = static_cast<std::int64_t>(size());
  Nearest set(index_->cloud, q, 1, inf, &distance, &index);
  index_->search(set, q);
  return {static_cast<std::size_t>(index), distance};
}

void KDTree::query(const Vec3d& q, std::size_t k, double max_distance, double* distances,
                   std::int64_t* indices) const noexcept {
  const std::size_t n = size();
  const std::size_t capacity = std::min(k, n);
  std::fill(distances, distances + k, inf);
  std::fill(indices, indices + k, static_cast<std::int64_t>(n));
  if (capacity == 0) return;
  Nearest set(index_->cloud, q, capacity, max_distance, distances, indices);
  index_->search(set, q);
}

std::size_t KDTree::count_within(const Vec3d& q, double radius) const noexcept {
  std::size_t count = 0;
  index_->each_within(q, radius, [&count](std::uint32_t) { ++count; });
  return count;
}

void KDTree::within(const Vec3d& q, double radius, std::int64_t* out) const noexcept {
  std::int64_t* end = out;
  const std::uint32_t* original = index_->cloud.original.data();
  index_->each_within(q, radius, [&end, original](std::uint32_t p) { *end++ = original[p]; });
  std::sort(out, end);
}

void KDTree::search_order(std::span<const Vec3d> queries, std::uint32_t* order) const {
  // About one cell per leaf: finer cells would only add to the histogram.
  const std::size_t cells = std::min(queries.size(), size()) / leaf_max_size;
  const auto& box = index_->tree.root_bbox_;
  grid_order(queries, cells, {box[0].low, box[1].low, box[2].low}, {box[0].high, box[1].high, box[2].high}, order);
}

std::size_t KDTree::index_at(std::size_t position) const noexcept { return index_->cloud.original[position]; }

std::size_t KDTree::count_partners(std::size_t position, double radius) const noexcept {
  const Cloud& c = index_->cloud;
  const std::uint32_t i = c.original[position];
  std::size_t count = 0;
  index_->each_within(c.points[position], radius, [&count, &c, i](std::uint32_t p) { count += c.original[p] > i; });
  return count;
}

void KDTree::partners(std::size_t position, double radius, std::int64_t* out) const noexcept {
  const Cloud& c = index_->cloud;
  const std::uint32_t i = c.original[position];
  std::int64_t* end = out;
  index_->each_within(c.points[position], radius, [&end, &c, i](std::uint32_t p) {
    if (c.original[p] > i) *end++ = c.original[p];
  });
  std::sort(out, end);
}

}  // namespace morvix
