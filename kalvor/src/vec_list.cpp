#include "kalvor/src/vec_list.hpp"

#include "kalvor/src/binding/class_builder.hpp"
#include "kalvor/src/quat.hpp"
#include "kalvor/src/rigid_transform.hpp"
#include "kalvor/src/vec3d.hpp"
#include "parallel/src/pool.hpp"

#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <utility>

namespace kalvor {

using binding::ListOf;
using morvix::Vec3d;

namespace {

using bulk::each;
using bulk::settled_floats;
using bulk::settled_list;

// ---- element-wise operations

ListOf<double> vec_list_dot_impl(const VecList& self, const Vec3d& other) {
  return settled_floats(self, morvix::formula::dot, other);
}
VecList vec_list_cross_impl(const VecList& self, const Vec3d& other) {
  return settled_list<VecElement>(self, morvix::formula::cross, other);
}
ListOf<double> vec_list_distance_to_impl(const VecList& self, const Vec3d& other) {
  return settled_floats(self, morvix::formula::distance_to, other);
}
ListOf<double> vec_list_distance_squared_impl(const VecList& self, const Vec3d& other) {
  return settled_floats(self, morvix::formula::distance_squared, other);
}
ListOf<double> vec_list_magnitude_impl(const VecList& self) {
  return settled_floats(self, morvix::formula::magnitude);
}
VecList vec_list_normalize_impl(const VecList& self) {
  return settled_list<VecElement>(self, morvix::formula::normalize);
}
ListOf<bool> vec_list_is_unit_impl(const VecList& self) {
  ListOf<bool> out(self.items.size());
  bulk::map_into(out.data, self.items.size(), [](const Vec3d& p) { return morvix::is_unit(p); }, each(self));
  return out;
}
ListOf<std::array<double, 3>> vec_list_to_array_impl(const VecList& self) {
  ListOf<std::array<double, 3>> out(self.items.size());
  bulk::map_into(
      out.data, self.items.size(), [](const Vec3d& p) { return std::array<double, 3>{p.x, p.y, p.z}; }, each(self));
  return out;
}

// The component chosen by `axis` becomes +0.0.
VecList vec_list_collapse_impl(const VecList& self, std::size_t axis) {
  if (axis > 2) binding::panic(binding::text::axis_assertion);
  return bulk::mapped_list<VecElement>(self, [axis](Vec3d p) {
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
  bulk::run_parallel(self.items.size(), [elements, quat](std::size_t begin, std::size_t end) {
    bulk::settled_range<true>(elements, begin, end, decltype(rotated){}, bulk::Each<Vec3d>{elements}, quat);
  });
}

// In place like rotate, each element overwritten by the pose applied to it.
void vec_list_transform_impl(VecList& self, const morvix::RigidTransform& t) {
  Vec3d* elements = self.items.data();
  constexpr auto transformed = [](const auto& v, const auto& q, const auto& shift) noexcept {
    return morvix::formula::transform(q, shift, v);
  };
  bulk::run_parallel(self.items.size(), [elements, q = t.rotation, shift = t.translation](std::size_t begin, std::size_t end) {
    bulk::settled_range<true>(elements, begin, end, decltype(transformed){}, bulk::Each<Vec3d>{elements}, q, shift);
  });
}

VecList vec_list_add_impl(const VecList& self, const Vec3d& other) {
  return settled_list<VecElement>(self, morvix::formula::add, other);
}
VecList vec_list_sub_impl(const VecList& self, const Vec3d& other) {
  return settled_list<VecElement>(self, morvix::formula::sub, other);
}
VecList vec_list_mul_impl(const VecList& self, double s) {
  return settled_list<VecElement>(self, morvix::formula::scale, s);
}
// Three true divisions, not a multiplication by 1 / s.
VecList vec_list_truediv_impl(const VecList& self, double s) {
  return settled_list<VecElement>(self, morvix::formula::divide, s);
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

// ---- tables

binding::ClassBuilder<VecList> vec_list_table() {
  return std::move(bulk_list_table<VecElement>()
                       .method<vec_list_rotate_impl>("rotate", "quat")
                       .method<vec_list_transform_impl>("transform", "t")
                       .method<vec_list_to_array_impl>("to_array")
                       .method<vec_list_magnitude_impl>("magnitude")
                       .method<vec_list_is_unit_impl>("is_unit")
                       .method<vec_list_normalize_impl>("normalize")
                       .method<vec_list_dot_impl>("dot", "other")
                       .method<vec_list_cross_impl>("cross", "other")
                       .method<vec_list_collapse_impl>("collapse", "axis")
                       .method<vec_list_distance_to_impl>("distance_to", "other")
                       .method<vec_list_distance_squared_impl>("distance_squared", "other")
                       .method<vec_list_minimum_distance_to_impl>("minimum_distance_to", "other", "stride")
                       .add<vec_list_add_impl>()
                       .sub<vec_list_sub_impl>()
                       .mul<vec_list_mul_impl, vec_list_mul_impl>()
                       .truediv<vec_list_truediv_impl>());
}

}  // namespace

}  // namespace kalvor

KALVOR_CLASS_TYPE(kalvor::VecList, kalvor::vec_list_table)
KALVOR_CLASS_TYPE(kalvor::VecListIterator, kalvor::bulk_iterator_table<kalvor::VecElement>)
