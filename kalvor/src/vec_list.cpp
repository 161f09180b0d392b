#include "kalvor/src/vec_list.hpp"

#include "kalvor/src/binding/class_builder.hpp"
#include "kalvor/src/quat.hpp"
#include "kalvor/src/rigid_transform.hpp"
#include "kalvor/src/vec3d.hpp"
#include "parallel/src/pool.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

namespace kalvor {

using binding::ListOf;
using morvix::Vec3d;

namespace {

// ---- running element-wise work on the pool

// Runs body(begin, end) over [0, n) on the pool; a failure of the pool or of
// a piece becomes an internal failure of the call, after every piece stopped.
template <class Body>
void run_parallel(std::size_t n, Body&& body) {
  if (parallel::Status status = parallel::map(n, body); !status) binding::panic(status.error().message);
}

// Result i = op(element i), gathered into a list result.
template <class R, class Op>
ListOf<R> map_to_list(const VecArray& in, Op op) {
  ListOf<R> out(in.size());
  R* slots = out.data;
  const Vec3d* elements = in.data();
  run_parallel(in.size(), [=](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) slots[i] = op(elements[i]);
  });
  return out;
}

// Elements per block of a settled loop: the formula runs over a block on
// doubles, where it vectorises, noting whether any result is NaN; only then
// are the block's NaN results settled (morvix/src/strict.hpp), while it is
// still in the first-level cache. So element i comes out with the very bits
// of the single-vector operation.
constexpr std::size_t settle_block = 256;

// Branch-free NaN tests, noted in the loop that computes the results; the
// components are stored one by one, which keeps that loop vectorised.
inline bool nan_in(double v) noexcept { return __builtin_isnan(v); }
inline bool nan_in(const Vec3d& p) noexcept { return nan_in(p.x) | nan_in(p.y) | nan_in(p.z); }
inline void store(double& slot, double v) noexcept { slot = v; }
inline void store(Vec3d& slot, const Vec3d& v) noexcept {
  slot.x = v.x;
  slot.y = v.y;
  slot.z = v.z;
}

// out[i] = formula(in[i], operands...) for i in [begin, end), settled. With
// InPlace, `out` is `in`: each block is computed into a local array and
// copied back once settled. The operands are taken by value: local copies
// that no store through `out` can alias.
template <bool InPlace, class R, class F, class... A>
void settled_range(R* out, const Vec3d* in, std::size_t begin, std::size_t end, F formula, A... operands) {
  [[maybe_unused]] R local[InPlace ? settle_block : 1];
  for (std::size_t b = begin; b < end; b += settle_block) {
    const std::size_t n = std::min(end - b, settle_block);
    const Vec3d* source = in + b;
    R* target = InPlace ? local : out + b;
    bool found = false;
    for (std::size_t i = 0; i < n; ++i) {
      const R r = formula(source[i], operands...);
      found |= nan_in(r);
      store(target[i], r);
    }
    if (found) [[unlikely]] {
      for (std::size_t i = 0; i < n; ++i)
        if (morvix::has_nan(target[i])) target[i] = morvix::strict_eval(formula, source[i], operands...);
    }
    if constexpr (InPlace) std::copy_n(local, n, out + b);
  }
}

// The formulas are captureless lambdas: a job's closure holds only pointers
// and operands, small enough to reach a worker in one cache line.
template <class F>
concept Formula = std::is_empty_v<F> && std::is_default_constructible_v<F>;

// Result i = formula(element i, operands...), settled, as a list result.
template <Formula F, class... A>
ListOf<double> settled_to_list(const VecArray& in, F, const A&... operands) {
  ListOf<double> out(in.size());
  double* slots = out.data;
  const Vec3d* elements = in.data();
  run_parallel(in.size(), [slots, elements, operands...](std::size_t begin, std::size_t end) {
    settled_range<false>(slots, elements, begin, end, F{}, operands...);
  });
  return out;
}

// Result i = op(element i), as a new list of vectors.
template <class Op>
VecList map_to_vec_list(const VecArray& in, Op op) {
  VecList out;
  out.items.resize(in.size());
  Vec3d* slots = out.items.data();
  const Vec3d* elements = in.data();
  run_parallel(in.size(), [=](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) slots[i] = op(elements[i]);
  });
  return out;
}

// Result i = formula(element i, operands...), settled, as a new list of vectors.
template <Formula F, class... A>
VecList settled_to_vec_list(const VecArray& in, F, const A&... operands) {
  VecList out;
  out.items.resize(in.size());
  Vec3d* slots = out.items.data();
  const Vec3d* elements = in.data();
  run_parallel(in.size(), [slots, elements, operands...](std::size_t begin, std::size_t end) {
    settled_range<false>(slots, elements, begin, end, F{}, operands...);
  });
  return out;
}

// ---- container

VecList vec_list_new_impl(VecArray& list) {
  VecList out;
  out.items = std::move(list);
  return out;
}
VecList vec_list_empty_impl() { return {}; }
const VecArray& vec_list_list_impl(const VecList& self) { return self.items; }
std::size_t vec_list_len_impl(const VecList& self) { return self.items.size(); }

void vec_list_append_impl(VecList& self, const Vec3d& vec) { self.items.push_back(vec); }

// `self` is borrowed exclusively before `other` is converted, so extending a
// list by itself fails on the borrow and leaves it unchanged.
void vec_list_extend_impl(VecList& self, const VecList& other) {
  self.items.insert(self.items.end(), other.items.begin(), other.items.end());
}

Vec3d vec_list_getitem_impl(const VecList& self, std::size_t index) {
  if (index >= self.items.size()) binding::throw_index_error();
  return self.items[index];
}

VecListIterator vec_list_iter_impl(const VecList& self) { return {self.items, 0}; }

// ---- data exchange

static_assert(sizeof(Vec3d) == 3 * sizeof(double) && std::is_standard_layout_v<Vec3d>,
              "the element array is read as rows of three doubles");

// The element array itself, lent as an (n, 3) matrix of doubles.
// A vector and its first component share their address (standard layout), so
// no member is reached through the pointer: an empty list's is null.
binding::DoubleArray vec_list_buffer_impl(const VecList& self) {
  return {reinterpret_cast<const double*>(self.items.data()), {self.items.size(), 3}, 2};
}

// One block copy: the copy is bound by memory bandwidth, which a second
// thread does not add to.
void copy_elements(Vec3d* out, const void* source, std::size_t count) {
  if (count > 0) std::memcpy(static_cast<void*>(out), source, count * sizeof(Vec3d));
}

// One pass over the rows, whatever their strides (on the pool: widening and
// gathering cost more than the memory traffic); back-to-back rows of native
// doubles are copied as one block.
VecList vec_list_from_array_impl(const binding::StridedBuffer& array) {
  const binding::FloatRows rows = binding::float_rows(array, binding::signature_of<vec_list_from_array_impl>->call);
  VecList out;
  out.items.resize(rows.rows);
  Vec3d* elements = out.items.data();
  if (rows.packed()) {
    copy_elements(elements, rows.base, rows.rows);
    return out;
  }
  run_parallel(rows.rows, [=](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) elements[i] = {rows.at(i, 0), rows.at(i, 1), rows.at(i, 2)};
  });
  return out;
}

// A pickled block: whole vectors in the machine's byte order. The new array is
// filled before it replaces the old one, so a bad block changes nothing.
void vec_list_setstate_impl(VecList& self, const binding::Block& block) {
  if (block.bytes % sizeof(Vec3d) != 0) binding::throw_block_size(sizeof(Vec3d), block.bytes);
  VecArray items(block.bytes / sizeof(Vec3d));
  copy_elements(items.data(), block.data, items.size());
  self.items = std::move(items);
}

std::string vec_list_repr_impl(const VecList& self) {
  const VecArray& items = self.items;
  std::vector<std::string> texts(items.size());
  run_parallel(items.size(), [&](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) append_vec3d_repr(texts[i], items[i]);
  });
  std::size_t length = 2 + (texts.empty() ? 0 : texts.size() - 1);
  for (const auto& text : texts) length += text.size();
  std::string out;
  out.reserve(length);
  out += '[';
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (i > 0) out += '\n';
    out += texts[i];
  }
  out += ']';
  return out;
}

// ---- element-wise operations

ListOf<double> vec_list_dot_impl(const VecList& self, const Vec3d& other) {
  return settled_to_list(self.items, morvix::formula::dot, other);
}
VecList vec_list_cross_impl(const VecList& self, const Vec3d& other) {
  return settled_to_vec_list(self.items, morvix::formula::cross, other);
}
ListOf<double> vec_list_distance_to_impl(const VecList& self, const Vec3d& other) {
  return settled_to_list(self.items, morvix::formula::distance_to, other);
}
ListOf<double> vec_list_distance_squared_impl(const VecList& self, const Vec3d& other) {
  return settled_to_list(self.items, morvix::formula::distance_squared, other);
}
ListOf<double> vec_list_magnitude_impl(const VecList& self) {
  return settled_to_list(self.items, morvix::formula::magnitude);
}
VecList vec_list_normalize_impl(const VecList& self) {
  return settled_to_vec_list(self.items, morvix::formula::normalize);
}
ListOf<bool> vec_list_is_unit_impl(const VecList& self) {
  return map_to_list<bool>(self.items, [](const Vec3d& p) { return morvix::is_unit(p); });
}
ListOf<std::array<double, 3>> vec_list_to_array_impl(const VecList& self) {
  return map_to_list<std::array<double, 3>>(self.items,
                                           [](const Vec3d& p) { return std::array<double, 3>{p.x, p.y, p.z}; });
}

// The component chosen by `axis` becomes +0.0.
VecList vec_list_collapse_impl(const VecList& self, std::size_t axis) {
  if (axis > 2) binding::panic(binding::text::axis_assertion);
  return map_to_vec_list(self.items, [axis](Vec3d p) {
    (axis == 0 ? p.x : axis == 1 ? p.y : p.z) = 0.0;
    return p;
  });
}

// In place, each element overwritten by its own rotation. The per-element
// step cannot fail, and the only failure of the pool (it cannot start) comes
// before any piece runs, so a failed call still leaves the list unchanged;
// meanwhile the exclusive borrow keeps every other reader out.
void vec_list_rotate_impl(VecList& self, const morvix::Quat& quat) {
  Vec3d* elements = self.items.data();
  // The element comes first in a settled loop, the quaternion in the formula.
  constexpr auto rotated = [](const auto& v, const auto& q) noexcept { return morvix::formula::rotate(q, v); };
  run_parallel(self.items.size(), [elements, quat](std::size_t begin, std::size_t end) {
    settled_range<true>(elements, elements, begin, end, decltype(rotated){}, quat);
  });
}

// In place like rotate, each element overwritten by the pose applied to it.
void vec_list_transform_impl(VecList& self, const morvix::RigidTransform& t) {
  Vec3d* elements = self.items.data();
  constexpr auto transformed = [](const auto& v, const auto& q, const auto& shift) noexcept {
    return morvix::formula::transform(q, shift, v);
  };
  run_parallel(self.items.size(), [elements, q = t.rotation, shift = t.translation](std::size_t begin, std::size_t end) {
    settled_range<true>(elements, elements, begin, end, decltype(transformed){}, q, shift);
  });
}

VecList vec_list_add_impl(const VecList& self, const Vec3d& other) {
  return settled_to_vec_list(self.items, morvix::formula::add, other);
}
VecList vec_list_sub_impl(const VecList& self, const Vec3d& other) {
  return settled_to_vec_list(self.items, morvix::formula::sub, other);
}
VecList vec_list_mul_impl(const VecList& self, double s) {
  return settled_to_vec_list(self.items, morvix::formula::scale, s);
}
// Three true divisions, not a multiplication by 1 / s.
VecList vec_list_truediv_impl(const VecList& self, double s) {
  return settled_to_vec_list(self.items, morvix::formula::divide, s);
}

// ---- nearest-point search

// Index of the smallest squared distance among [begin, begin + count·step)
// taken every `step`, keys ordered by IEEE totalOrder, the first among equals;
// nullopt for an empty range.
std::optional<parallel::Minimum<double>> nearest(const VecArray& items, const Vec3d& other, std::size_t begin,
                                                 std::size_t count, std::size_t step) {
  const Vec3d* elements = items.data() + begin;
  auto found = parallel::min_by(
      count, [=](std::size_t k) { return morvix::distance_squared(elements[k * step], other); },
      parallel::total_order_less);
  if (!found) binding::panic(found.error().message);
  return *found;
}

// A coarse pass over every stride-th element, then a fine pass over the
// window around the best sample, which holds the stride - 1 skipped elements
// on each side and the preceding sample.
std::pair<std::size_t, double> vec_list_minimum_distance_to_impl(const VecList& self, const Vec3d& other,
                                                                 std::size_t stride) {
  if (stride == 0) binding::panic(binding::text::stride_assertion);
  const VecArray& items = self.items;
  const std::size_t n = items.size();
  const std::size_t samples = n == 0 ? 0 : (n - 1) / stride + 1;
  const auto coarse = nearest(items, other, 0, samples, stride);
  if (!coarse) binding::panic(binding::text::unwrap_none);
  const std::size_t i = coarse->index * stride;
  const std::size_t start = i >= stride ? i - stride : 0;
  const std::size_t end = stride <= n - i ? i + stride : n;
  const auto fine = nearest(items, other, start, end - start, 1);
  if (!fine) binding::panic(binding::text::unwrap_none);
  return {start + fine->index, std::sqrt(fine->key)};
}

// ---- iterator

std::optional<Vec3d> iterator_next_impl(VecListIterator& it) {
  if (it.cursor >= it.snapshot.size()) return std::nullopt;
  return it.snapshot[it.cursor++];
}

// ---- tables

binding::ClassBuilder<VecList> vec_list_table() {
  return std::move(binding::ClassBuilder<VecList>("VecList")
                       .constructor<vec_list_new_impl>("list")
                       .static_method<vec_list_empty_impl>("empty")
                       .property<vec_list_list_impl>("list")
                       .method<vec_list_rotate_impl>("rotate", "quat")
                       .method<vec_list_transform_impl>("transform", "t")
                       .method<vec_list_to_array_impl>("to_array")
                       .method<vec_list_magnitude_impl>("magnitude")
                       .method<vec_list_extend_impl>("extend", "other")
                       .method<vec_list_append_impl>("append", "vec")
                       .method<vec_list_is_unit_impl>("is_unit")
                       .method<vec_list_normalize_impl>("normalize")
                       .method<vec_list_dot_impl>("dot", "other")
                       .method<vec_list_cross_impl>("cross", "other")
                       .method<vec_list_collapse_impl>("collapse", "axis")
                       .method<vec_list_distance_to_impl>("distance_to", "other")
                       .method<vec_list_distance_squared_impl>("distance_squared", "other")
                       .method<vec_list_minimum_distance_to_impl>("minimum_distance_to", "other", "stride")
                       .len<vec_list_len_impl>()
                       .getitem<vec_list_getitem_impl>()
                       .iter<vec_list_iter_impl>()
                       .repr<vec_list_repr_impl>()
                       .add<vec_list_add_impl>()
                       .sub<vec_list_sub_impl>()
                       .mul<vec_list_mul_impl, vec_list_mul_impl>()
                       .truediv<vec_list_truediv_impl>()
                       .static_method<vec_list_from_array_impl>("from_array", "array")
                       .buffer<vec_list_buffer_impl>()
                       .class_attribute("__array_ufunc__", Py_None)
                       .pickled_by_buffer<vec_list_setstate_impl>("empty"));
}

binding::ClassBuilder<VecListIterator> iterator_table() {
  return std::move(binding::ClassBuilder<VecListIterator>("VecListIterator").no_constructor().next<iterator_next_impl>());
}

}  // namespace

}  // namespace kalvor

KALVOR_CLASS_TYPE(kalvor::VecList, kalvor::vec_list_table)
KALVOR_CLASS_TYPE(kalvor::VecListIterator, kalvor::iterator_table)
