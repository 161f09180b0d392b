#include "kalvor/src/kd_tree.hpp"

#include "kalvor/src/binding/class_builder.hpp"
#include "kalvor/src/binding/ndarray.hpp"
#include "kalvor/src/vec3d.hpp"
#include "kalvor/src/vec_list.hpp"

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <tuple>
#include <utility>

namespace kalvor {

using morvix::KDTree;
using morvix::Vec3d;

namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

// ---- argument checks

// The points of a list, all finite, else a ValueError naming the first that is not.
const VecArray& finite_points(const VecList& list) {
  const VecArray& items = list.items;
  for (std::size_t i = 0; i < items.size(); ++i)
    if (!morvix::is_finite(items[i])) [[unlikely]]
      binding::throw_not_finite("points", i);
  return items;
}

double bound(std::optional<double> value, const char* name) {
  const double b = value.value_or(inf);
  if (!(b >= 0.0)) binding::throw_bad_bound(name);
  return b;
}

using binding::NdArray;
using Indices = NdArray<std::int64_t>;

// A search costs about as much as a few hundred of the cheapest element-wise
// operations, so even a short batch is spread over the workers.
constexpr std::size_t search_weight = 256;

// Runs search(i) for every query point i on the pool. Many searches run in
// the tree's search order, each close in memory to the previous one; each
// writes only its own results, so the order changes no result.
template <class Search>
void each_query(const KDTree& self, const VecArray& q, Search search) {
  const std::size_t n = q.size();
  if (n < 4096 || n > std::numeric_limits<std::uint32_t>::max()) {
    bulk::run_parallel(n, [&search](std::size_t begin, std::size_t end) {
      for (std::size_t i = begin; i < end; ++i) search(i);
    }, search_weight);
    return;
  }
  binding::ListOf<std::uint32_t> order(n);
  self.search_order(std::span<const Vec3d>(q.data(), n), order.data);
  const std::uint32_t* o = order.data;
  bulk::run_parallel(n, [&search, o](std::size_t begin, std::size_t end) {
    for (std::size_t j = begin; j < end; ++j) search(o[j]);
  }, search_weight);
}

// Ragged results in compressed rows: the counts of every row first, their
// running sum as the offsets, then each row written at its offset.
template <class Count, class Fill>
std::tuple<Indices, Indices> compressed_rows(const KDTree& self, const VecArray& q, Count count, Fill fill) {
  const std::size_t n = q.size();
  Indices offsets({n + 1}, 1);
  std::int64_t* o = offsets.data();
  o[0] = 0;
  each_query(self, q, [o, &count](std::size_t i) { o[i + 1] = static_cast<std::int64_t>(count(i)); });
  for (std::size_t i = 0; i < n; ++i) o[i + 1] += o[i];
  Indices found({static_cast<std::size_t>(o[n])}, 1);
  std::int64_t* f = found.data();
  each_query(self, q, [o, f, &fill](std::size_t i) { fill(i, f + o[i]); });
  return {std::move(offsets), std::move(found)};
}

// ---- impls

KDTree kd_tree_new_impl(const VecList& points) {
  const VecArray& items = finite_points(points);
  return KDTree(std::span<const Vec3d>(items.data(), items.size()));
}

std::size_t kd_tree_len_impl(const KDTree& self) { return self.size(); }
// The instance and everything the tree holds, its copy of the points included.
std::size_t kd_tree_sizeof_impl(const KDTree& self) {
  return sizeof(binding::Object<KDTree>) - sizeof(KDTree) + self.memory_bytes();
}

VecList kd_tree_points_impl(const KDTree& self) {
  VecList out = bulk::sized_list<VecElement>(self.size());
  self.copy_points(out.items.data());
  return out;
}

// Pickled and copied as the constructor's argument: the tree is rebuilt.
std::tuple<VecList> kd_tree_args_impl(const KDTree& self) { return {kd_tree_points_impl(self)}; }

std::pair<std::size_t, double> kd_tree_nearest_impl(const KDTree& self, const Vec3d& point) {
  if (!morvix::is_finite(point)) binding::throw_not_finite("point");
  if (self.size() == 0) binding::throw_empty_tree("KDTree.nearest()");
  const morvix::Neighbour found = self.nearest(point);
  return {found.index, found.distance};
}

std::tuple<NdArray<double>, Indices> kd_tree_query_impl(const KDTree& self, const VecList& points,
                                                        std::optional<std::int64_t> k_given,
                                                        std::optional<double> max_distance) {
  const std::int64_t k_signed = k_given.value_or(1);
  if (k_signed < 1) binding::throw_k_below_one();
  const double limit = bound(max_distance, "max_distance");
  const VecArray& q = finite_points(points);
  const std::size_t n = q.size();
  const auto k = static_cast<std::size_t>(k_signed);
  NdArray<double> distances({n, k}, 2);
  Indices indices({n, k}, 2);
  double* d = distances.data();
  std::int64_t* x = indices.data();
  each_query(self, q, [&self, &q, k, limit, d, x](std::size_t i) { self.query(q[i], k, limit, d + i * k, x + i * k); });
  return {std::move(distances), std::move(indices)};
}

std::tuple<Indices, Indices> kd_tree_within_impl(const KDTree& self, const VecList& points, double radius) {
  const double r = bound(radius, "radius");
  const VecArray& q = finite_points(points);
  return compressed_rows(
      self, q, [&](std::size_t i) { return self.count_within(q[i], r); },
      [&](std::size_t i, std::int64_t* out) { self.within(q[i], r, out); });
}

Indices kd_tree_count_within_impl(const KDTree& self, const VecList& points, double radius) {
  const double r = bound(radius, "radius");
  const VecArray& q = finite_points(points);
  Indices counts({q.size()}, 1);
  std::int64_t* c = counts.data();
  each_query(self, q, [&self, &q, r, c](std::size_t i) { c[i] = static_cast<std::int64_t>(self.count_within(q[i], r)); });
  return counts;
}

// Every pair i < j: the partners of each point by position in the tree
// (neighbouring searches stay close in memory), each written at the rows of
// its index i; the offsets are only a step towards the pairs.
Indices kd_tree_pairs_within_impl(const KDTree& self, double radius) {
  const double r = bound(radius, "radius");
  const std::size_t n = self.size();
  binding::ListOf<std::int64_t> offsets(n + 1);
  std::int64_t* o = offsets.data;
  o[0] = 0;
  bulk::run_parallel(n, [&self, r, o](std::size_t begin, std::size_t end) {
    for (std::size_t p = begin; p < end; ++p) o[self.index_at(p) + 1] = static_cast<std::int64_t>(self.count_partners(p, r));
  }, search_weight);
  for (std::size_t i = 0; i < n; ++i) o[i + 1] += o[i];
  const auto m = static_cast<std::size_t>(o[n]);
  Indices pairs({m, 2}, 2);
  std::int64_t* out = pairs.data();
  bulk::run_parallel(n, [&self, r, o, out](std::size_t begin, std::size_t end) {
    for (std::size_t p = begin; p < end; ++p) {
      const std::size_t i = self.index_at(p);
      std::int64_t* row = out + 2 * o[i];
      // The partners are written to the second column, then spread out with i beside each.
      const std::size_t count = static_cast<std::size_t>(o[i + 1] - o[i]);
      self.partners(p, r, row + count);
      for (std::size_t c = 0; c < count; ++c) {
        row[2 * c] = static_cast<std::int64_t>(i);
        row[2 * c + 1] = row[count + c];
      }
    }
  }, search_weight);
  return pairs;
}

// ---- tables

binding::ClassBuilder<KDTree> kd_tree_table() {
  return std::move(binding::ClassBuilder<KDTree>("KDTree")
                       .constructor<kd_tree_new_impl>("points")
                       .len<kd_tree_len_impl>()
                       .property<kd_tree_points_impl>("points")
                       .method<kd_tree_sizeof_impl>("__sizeof__")
                       .method<kd_tree_nearest_impl>("nearest", "point")
                       .method<kd_tree_query_impl>("query", "points", "k=1", "max_distance=1e999")
                       .method<kd_tree_within_impl>("within", "points", "radius")
                       .method<kd_tree_count_within_impl>("count_within", "points", "radius")
                       .method<kd_tree_pairs_within_impl>("pairs_within", "radius")
                       .pickled_by_constructor<kd_tree_args_impl>());
}

}  // namespace

}  // namespace kalvor

KALVOR_CLASS_TYPE(morvix::KDTree, kalvor::kd_tree_table)
