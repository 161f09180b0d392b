#include "kalvor/src/rigid_transform_list.hpp"

#include "kalvor/src/binding/class_builder.hpp"
#include "kalvor/src/binding/ndarray.hpp"
#include "kalvor/src/quat_list.hpp"
#include "kalvor/src/vec_list.hpp"
#include "morvix/src/rigid_transform.hpp"

#include <array>
#include <cstddef>
#include <utility>

namespace kalvor {

using binding::NdArray;
using morvix::Matrix4;
using morvix::Quat;
using morvix::RigidTransform;
using morvix::Vec3d;

namespace {

using bulk::each;
using bulk::mapped_list;
using bulk::settled_list;

// An operand that is one value for every element or a list of as many.
using PoseOrList = binding::OneOf<RigidTransform, RigidTransformList>;
using QuatOrList = binding::OneOf<Quat, QuatList>;
using VecOrList = binding::OneOf<Vec3d, VecList>;

// ---- the two parts

// Either part may be one value for every pose; at least one is a list, which
// gives the length.
RigidTransformList rigid_transform_list_from_components_impl(const QuatOrList& rotations, const VecOrList& translations) {
  const QuatList* rotation_list = rotations.get_if<QuatList>();
  const VecList* translation_list = translations.get_if<VecList>();
  if (rotation_list == nullptr && translation_list == nullptr)
    binding::throw_no_component_list(binding::signature_of<rigid_transform_list_from_components_impl>->call);
  const std::size_t n = rotation_list != nullptr ? rotation_list->items.size() : translation_list->items.size();
  return bulk::broadcast<QuatElement>(rotations, n, [&](const auto& r) {
    return bulk::broadcast<VecElement>(translations, n, [&](const auto& t) {
      RigidTransformList out = bulk::sized_list<PoseElement>(n);
      bulk::map_into(out.items.data(), n, [](const Quat& q, const Vec3d& v) { return RigidTransform{q, v}; }, r, t);
      return out;
    });
  });
}
QuatList rigid_transform_list_rotations_impl(const RigidTransformList& self) {
  return mapped_list<QuatElement>(self, [](const RigidTransform& t) { return t.rotation; });
}
VecList rigid_transform_list_translations_impl(const RigidTransformList& self) {
  return mapped_list<VecElement>(self, [](const RigidTransform& t) { return t.translation; });
}

// ---- element-wise operations: each the formula or function of the single-pose method

VecList rigid_transform_list_apply_impl(const RigidTransformList& self, const VecOrList& points) {
  return bulk::broadcast<VecElement>(points, self.items.size(), [&](const auto& p) {
    return settled_list<VecElement>(self, morvix::formula::pose_apply, p);
  });
}
RigidTransformList rigid_transform_list_then_impl(const RigidTransformList& self, const PoseOrList& other) {
  return bulk::broadcast<PoseElement>(other, self.items.size(), [&](const auto& o) {
    return settled_list<PoseElement>(self, morvix::formula::pose_then, o);
  });
}
RigidTransformList rigid_transform_list_inverse_impl(const RigidTransformList& self) {
  return settled_list<PoseElement>(self, morvix::formula::pose_inverse);
}
RigidTransformList rigid_transform_list_normalize_impl(const RigidTransformList& self) {
  return settled_list<PoseElement>(self, morvix::formula::pose_normalize);
}

// The rotation angle between matching rotations and the distance between
// matching translations, the two terms of a trajectory's error.
NdArray<double> rigid_transform_list_angle_to_impl(const RigidTransformList& self, const PoseOrList& other) {
  return bulk::broadcast<PoseElement>(other, self.items.size(), [&](const auto& o) {
    return bulk::mapped_array<bulk::transcendental_weight>(
        self, [](const RigidTransform& a, const RigidTransform& b) { return morvix::angle_between(a.rotation, b.rotation); },
        o);
  });
}
NdArray<double> rigid_transform_list_distance_to_impl(const RigidTransformList& self, const PoseOrList& other) {
  return bulk::broadcast<PoseElement>(other, self.items.size(), [&](const auto& o) {
    return bulk::mapped_array(
        self, [](const RigidTransform& a, const RigidTransform& b) { return morvix::distance_to(a.translation, b.translation); },
        o);
  });
}

// Between two keys, the very function RigidTransform.interpolate runs.
RigidTransformList rigid_transform_list_interpolate_impl(const RigidTransformList& self, const binding::LazyFloats& key_times,
                                                         const binding::Floats& times) {
  return bulk::interpolate_keys(
      binding::signature_of<rigid_transform_list_interpolate_impl>->call, self, key_times, times,
      [](const RigidTransform& a, const RigidTransform& b, double s) { return morvix::interpolate(a, b, s); });
}

// ---- trajectory rows and matrices

RigidTransformList rigid_transform_list_from_xyz_xyzw_array_impl(const binding::StridedBuffer& array) {
  static constexpr std::size_t pose_row[] = {7};
  const binding::FloatRows rows =
      binding::float_rows(array, binding::signature_of<rigid_transform_list_from_xyz_xyzw_array_impl>->call, pose_row);
  RigidTransformList out = bulk::sized_list<PoseElement>(rows.rows);
  bulk::map_rows(out.items.data(), rows, [](const binding::FloatRows& row, std::size_t i) {
    return morvix::from_xyz_xyzw(
        {row.at(i, 0), row.at(i, 1), row.at(i, 2), row.at(i, 3), row.at(i, 4), row.at(i, 5), row.at(i, 6)});
  });
  return out;
}
NdArray<double> rigid_transform_list_to_xyz_xyzw_array_impl(const RigidTransformList& self) {
  const std::size_t n = self.items.size();
  NdArray<double> out({n, 7}, 2);
  bulk::map_into(out.items<morvix::PoseRow>(), n, [](const RigidTransform& t) { return morvix::to_xyz_xyzw(t); }, each(self));
  return out;
}

NdArray<double> rigid_transform_list_to_matrices_impl(const RigidTransformList& self) {
  const std::size_t n = self.items.size();
  NdArray<double> out({n, 4, 4}, 3);
  bulk::settled_map<bulk::matrix_weight>(out.items<Matrix4>(), n, morvix::formula::pose_matrix, each(self));
  return out;
}

// (n, 4, 4) matrices, or (n, 3, 4) whose last row (0, 0, 0, 1) is implied.
// Every matrix is checked, then converted, in one pass; a piece stops at its
// first bad matrix and the smallest such index across pieces is reported,
// with RigidTransform.from_matrix's reason. Nothing is returned unless all of
// them are poses.
RigidTransformList rigid_transform_list_from_matrices_impl(const binding::StridedBuffer& array) {
  static constexpr std::size_t full[] = {4, 4}, top_rows[] = {3, 4};
  const Py_buffer& view = *array.view;
  const bool three_rows = view.ndim == 3 && view.shape != nullptr && view.shape[1] == 3 && view.shape[2] == 4;
  const binding::FloatRows rows = binding::float_rows(
      array, binding::signature_of<rigid_transform_list_from_matrices_impl>->call, three_rows ? top_rows : full);
  auto matrix = [&rows, three_rows](std::size_t i) {
    Matrix4 m = morvix::with_last_row({});
    for (std::size_t r = 0; r < (three_rows ? 3 : 4); ++r)
      for (std::size_t c = 0; c < 4; ++c) m[r][c] = rows.at(i, r, c);
    return m;
  };
  RigidTransformList out = bulk::sized_list<PoseElement>(rows.rows);
  if (const auto bad = bulk::checked_map<bulk::transcendental_weight>(
          out.items.data(), rows.rows, matrix, morvix::rigid_matrix_fault,
          [](const Matrix4& m) { return morvix::from_matrix(m); }))
    binding::throw_not_a_pose_matrix(bad->second, bad->first);
  return out;
}

// ---- tables

binding::ClassBuilder<RigidTransformList> rigid_transform_list_table() {
  return std::move(bulk_list_table<PoseElement>()
                       .static_method<rigid_transform_list_from_components_impl>("from_components", "rotations",
                                                                                 "translations")
                       .property<rigid_transform_list_rotations_impl>("rotations")
                       .property<rigid_transform_list_translations_impl>("translations")
                       .method<rigid_transform_list_apply_impl>("apply", "points")
                       .method<rigid_transform_list_then_impl>("then", "other")
                       .method<rigid_transform_list_inverse_impl>("inverse")
                       .method<rigid_transform_list_normalize_impl>("normalize")
                       .method<rigid_transform_list_interpolate_impl>("interpolate", "key_times", "times")
                       .method<rigid_transform_list_to_matrices_impl>("to_matrices")
                       .static_method<rigid_transform_list_from_matrices_impl>("from_matrices", "array")
                       .static_method<rigid_transform_list_from_xyz_xyzw_array_impl>("from_xyz_xyzw_array", "array")
                       .method<rigid_transform_list_to_xyz_xyzw_array_impl>("to_xyz_xyzw_array")
                       .method<rigid_transform_list_angle_to_impl>("angle_to", "other")
                       .method<rigid_transform_list_distance_to_impl>("distance_to", "other"));
}

}  // namespace

}  // namespace kalvor

KALVOR_CLASS_TYPE(kalvor::RigidTransformList, kalvor::rigid_transform_list_table)
KALVOR_CLASS_TYPE(kalvor::RigidTransformListIterator, kalvor::bulk_iterator_table<kalvor::PoseElement>)
