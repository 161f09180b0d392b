#include "kalvor/src/kd_tree.hpp"

#include "kalvor/src/binding/class_builder.hpp"
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

bool finite(const Vec3d& p) noexcept { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// The points of a list, all finite, else a ValueError naming the first that is not.
const VecArray& finite_points(const VecList& list) {
  const VecArray& items = list.items;
  for (std::size_t i = 0; i < items.size(); ++i)
    if (!finite(items[i])) [[unlikely]]
      binding::throw_not_finite("points", i);
  return items;
}

double bound(std::optional<double> value, const char* name) {
  const double b = value.value_or(inf);
  if (!(b >= 0.0)) binding::throw_bad_bound(name);
  return b;
}

// Rows of a result: n · width items, MemoryError at once when they cannot be held.
template <class T>
binding::ListOf<T> rows(std::size_t n, std::size_t width) {
  if (width != 0 && n > std::size_t(-1) / sizeof(T) / width) throw std::bad_array_new_length();
  return binding::ListOf<T>(n * width);
}

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
std::pair<binding::ListOf<std::int64_t>, binding::ListOf<std::int64_t>> compressed_rows(const KDTree& self, const VecArray& q, Count count,
                                                                                        Fill fill) {
  const std::size_t n = q.size();
  binding::ListOf<std::int64_t> offsets = rows<std::int64_t>(n + 1, 1);
  std::int64_t* o = offsets.data;
  o[0] = 0;
  each_query(self, q, [o, &count](std::size_t i) { o[i + 1] = static_cast<std::int64_t>(count(i)); });
  for (std::size_t i = 0; i < n; ++i) o[i + 1] += o[i];
  binding::ListOf<std::int64_t> found = rows<std::int64_t>(static_cast<std::size_t>(o[n]), 1);
  std::int64_t* f = found.data;
  each_query(self, q, [o, f, &fill](std::size_t i) { fill(i, f + o[i]); });
  return {std::move(offsets), std::move(found)};
}

// A numpy array result of one or two extents, int64 or float64.
// TEMPORARY: copied through bytes until the shared array result type lands.
template <class T>
struct NdArray {
  binding::ListOf<T> data;
  std::size_t rows;
  std::size_t columns;
  int ndim;
};

template <class T>
PyObject* to_python(NdArray<T>&& a) {
  using binding::Ref;
  using binding::steal;
  Ref bytes = steal(PyBytes_FromStringAndSize(reinterpret_cast<const char*>(a.data.data),
                                              static_cast<Py_ssize_t>(a.data.size * sizeof(T))));
  if (!bytes) throw binding::PythonError{};
  Ref np = steal(PyImport_ImportModule("numpy"));
  if (!np) throw binding::PythonError{};
  Ref flat = steal(PyObject_CallMethod(np.get(), "frombuffer", "Os", bytes.get(),
                                       std::is_same_v<T, double> ? "float64" : "int64"));
  if (!flat) throw binding::PythonError{};
  PyObject* shaped = a.ndim == 1 ? PyObject_CallMethod(flat.get(), "reshape", "n", static_cast<Py_ssize_t>(a.rows))
                                 : PyObject_CallMethod(flat.get(), "reshape", "nn", static_cast<Py_ssize_t>(a.rows),
                                                       static_cast<Py_ssize_t>(a.columns));
  if (shaped == nullptr) throw binding::PythonError{};
  return shaped;
}

using Int64Array = NdArray<std::int64_t>;
using Float64Array2 = NdArray<double>;

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
  if (!finite(point)) binding::throw_not_finite("point");
  if (self.size() == 0) binding::throw_empty_tree("KDTree.nearest()");
  const morvix::Neighbour found = self.nearest(point);
  return {found.index, found.distance};
}

std::tuple<Float64Array2, Int64Array> kd_tree_query_impl(const KDTree& self, const VecList& points,
                                                        std::optional<std::int64_t> k_given,
                                                        std::optional<double> max_distance) {
  const std::int64_t k_signed = k_given.value_or(1);
  if (k_signed < 1) binding::throw_k_below_one();
  const double limit = bound(max_distance, "max_distance");
  const VecArray& q = finite_points(points);
  const std::size_t n = q.size();
  const auto k = static_cast<std::size_t>(k_signed);
  binding::ListOf<double> distances = rows<double>(n, k);
  binding::ListOf<std::int64_t> indices = rows<std::int64_t>(n, k);
  double* d = distances.data;
  std::int64_t* x = indices.data;
  each_query(self, q, [&self, &q, k, limit, d, x](std::size_t i) { self.query(q[i], k, limit, d + i * k, x + i * k); });
  return {Float64Array2{std::move(distances), n, k, 2}, Int64Array{std::move(indices), n, k, 2}};
}

std::tuple<Int64Array, Int64Array> kd_tree_within_impl(const KDTree& self, const VecList& points, double radius) {
  const double r = bound(radius, "radius");
  const VecArray& q = finite_points(points);
  auto [offsets, found] = compressed_rows(
      self, q, [&](std::size_t i) { return self.count_within(q[i], r); },
      [&](std::size_t i, std::int64_t* out) { self.within(q[i], r, out); });
  const std::size_t m = found.size;
  return {Int64Array{std::move(offsets), q.size() + 1, 1, 1}, Int64Array{std::move(found), m, 1, 1}};
}

Int64Array kd_tree_count_within_impl(const KDTree& self, const VecList& points, double radius) {
  const double r = bound(radius, "radius");
  const VecArray& q = finite_points(points);
  binding::ListOf<std::int64_t> counts = rows<std::int64_t>(q.size(), 1);
  std::int64_t* c = counts.data;
  each_query(self, q, [&self, &q, r, c](std::size_t i) { c[i] = static_cast<std::int64_t>(self.count_within(q[i], r)); });
  return Int64Array{std::move(counts), q.size(), 1, 1};
}

// Every pair i < j: the partners of each point by position in the tree
// (neighbouring searches stay close in memory), each written at the rows of
// its index i; the offsets are only a step towards the pairs.
Int64Array kd_tree_pairs_within_impl(const KDTree& self, double radius) {
  const double r = bound(radius, "radius");
  const std::size_t n = self.size();
  binding::ListOf<std::int64_t> offsets = rows<std::int64_t>(n + 1, 1);
  std::int64_t* o = offsets.data;
  o[0] = 0;
  bulk::run_parallel(n, [&self, r, o](std::size_t begin, std::size_t end) {
    for (std::size_t p = begin; p < end; ++p) o[self.index_at(p) + 1] = static_cast<std::int64_t>(self.count_partners(p, r));
  }, search_weight);
  for (std::size_t i = 0; i < n; ++i) o[i + 1] += o[i];
  const auto m = static_cast<std::size_t>(o[n]);
  binding::ListOf<std::int64_t> pairs = rows<std::int64_t>(m, 2);
  std::int64_t* out = pairs.data;
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
  return Int64Array{std::move(pairs), m, 2, 2};
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
