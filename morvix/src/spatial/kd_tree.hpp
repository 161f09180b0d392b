#pragma once
// KDTree: an exact nearest-neighbour index over a fixed set of points.
//
// Every distance it reports is distance_to(points[i], q), bit for bit. The
// search prunes on squared distances, but orders neighbours and decides
// bounds on the distance itself: among equal distances the smaller index
// comes first (even when the squared distances differ and only their roots
// are equal), and a bound admits a point whose distance equals it.
//
// The tree never changes once built, so any number of threads may query it
// at once. Indices are positions in the list the tree was built from.

#include "morvix/src/vec3d.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace morvix {

struct Neighbour {
  std::size_t index;
  double distance;
};

class KDTree {
 public:
  // The points are copied; they must all be finite (the caller checks).
  // Allocation failure throws std::bad_alloc, like any container.
  explicit KDTree(std::span<const Vec3d> points);
  ~KDTree();
  KDTree(KDTree&&) noexcept;
  KDTree& operator=(KDTree&&) noexcept;

  std::size_t size() const noexcept;
  // The points in their original order.
  void copy_points(Vec3d* out) const noexcept;
  // Bytes held by the tree, its copy of the points included.
  std::size_t memory_bytes() const noexcept;

  // The nearest point, the smaller index among equals; {size(), inf} when empty.
  Neighbour nearest(const Vec3d& q) const noexcept;

  // The k nearest points at distance <= max_distance, sorted by distance then
  // index, into distances[0, k) and indices[0, k); slots without a neighbour
  // get inf and size().
  void query(const Vec3d& q, std::size_t k, double max_distance, double* distances,
             std::int64_t* indices) const noexcept;

  // How many points lie at distance <= radius.
  std::size_t count_within(const Vec3d& q, double radius) const noexcept;
  // Those points' indices in increasing order, into out[0, count_within(q, radius)).
  void within(const Vec3d& q, double radius, std::int64_t* out) const noexcept;

  // An order in which to run searches from many query points, each close in
  // space (and so in the tree's memory) to the one before: queries grouped
  // by cell of a grid over the tree's bounding box, the cells in Morton
  // order. Writes a permutation of [0, queries.size()) to `order`.
  void search_order(std::span<const Vec3d> queries, std::uint32_t* order) const;

  // The tree keeps its points in an order of its own: position p holds point
  // index_at(p). Walking the points by position keeps each search close in
  // memory to the previous one.
  std::size_t index_at(std::size_t position) const noexcept;
  // The partners of the point at `position`: the points of larger index at
  // distance <= radius. The count, then the indices in increasing order.
  std::size_t count_partners(std::size_t position, double radius) const noexcept;
  void partners(std::size_t position, double radius, std::int64_t* out) const noexcept;

 private:
  struct Index;
  std::unique_ptr<Index> index_;
};

}  // namespace morvix
