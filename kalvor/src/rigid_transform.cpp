#include "kalvor/src/rigid_transform.hpp"

#include "kalvor/src/binding/class_builder.hpp"
#include "kalvor/src/fitting.hpp"
#include "kalvor/src/quat.hpp"
#include "kalvor/src/rigid_transform_list.hpp"
#include "kalvor/src/vec3d.hpp"
#include "kalvor/src/vec_list.hpp"

#include <string>
#include <tuple>
#include <utility>
#include <variant>

namespace kalvor {

using morvix::Quat;
using morvix::RigidTransform;
using morvix::Vec3d;

namespace {

// ---- impls

// Both parts stored as given.
RigidTransform rigid_transform_new_impl(const Quat& rotation, const Vec3d& translation) {
  return {rotation, translation};
}
Quat rigid_transform_rotation_impl(const RigidTransform& t) { return t.rotation; }
Vec3d rigid_transform_translation_impl(const RigidTransform& t) { return t.translation; }
// One point, or each of a list: the list result is bit for bit what
// VecList.transform(t) makes of a copy.
std::variant<Vec3d, VecList> rigid_transform_apply_impl(const RigidTransform& t,
                                                        const binding::OneOf<Vec3d, VecList>& v) {
  if (const VecList* list = v.get_if<VecList>()) {
    constexpr auto transformed = [](const auto& p, const auto& q, const auto& shift) noexcept {
      return morvix::formula::transform(q, shift, p);
    };
    return bulk::settled_list<VecElement>(*list, transformed, t.rotation, t.translation);
  }
  return morvix::apply(t, *v.get_if<Vec3d>());
}
// One pose, or this pose first and then each pose of a list.
std::variant<RigidTransform, RigidTransformList> rigid_transform_then_impl(
    const RigidTransform& t, const binding::OneOf<RigidTransform, RigidTransformList>& other) {
  if (const RigidTransformList* list = other.get_if<RigidTransformList>())
    return bulk::settled_list<PoseElement>(
        *list, [](const auto& each, const auto& first) noexcept { return morvix::formula::pose_then(first, each); }, t);
  return morvix::then(t, *other.get_if<RigidTransform>());
}
RigidTransform rigid_transform_inverse_impl(const RigidTransform& t) { return morvix::inverse(t); }
RigidTransform rigid_transform_interpolate_impl(const RigidTransform& t, const RigidTransform& other, double s) {
  return morvix::interpolate(t, other, s);
}
morvix::Matrix4 rigid_transform_to_matrix_impl(const RigidTransform& t) { return morvix::to_matrix(t); }

// Only a pose matrix is accepted: the conversion itself takes any matrix.
RigidTransform rigid_transform_from_matrix_impl(const morvix::Matrix4& m) {
  const morvix::RigidMatrixFault fault = morvix::rigid_matrix_fault(m);
  if (fault != morvix::RigidMatrixFault::none) binding::throw_not_a_pose_matrix(fault);
  return morvix::from_matrix(m);
}

std::tuple<RigidTransform, double> rigid_transform_align_impl(const VecList& source, const VecList& target,
                                                              const std::optional<binding::Floats>& weights) {
  const morvix::PoseAlignment fit = fitted_pairs(binding::signature_of<rigid_transform_align_impl>->call, source, target,
                                                 weights, "pair of points", [](auto... args) { return morvix::align_pose(args...); });
  return {fit.transform, fit.rssd};
}

bool rigid_transform_eq_impl(const RigidTransform& a, const RigidTransform& b) { return a == b; }
// The constructor's arguments, which it stores unchanged: pickles are bit-exact.
std::tuple<Quat, Vec3d> rigid_transform_args_impl(const RigidTransform& t) { return {t.rotation, t.translation}; }

std::string rigid_transform_repr_impl(const RigidTransform& t) {
  std::string out;
  append_rigid_transform_repr(out, t);
  return out;
}

}  // namespace

void append_rigid_transform_repr(std::string& out, const RigidTransform& t) {
  out += "RigidTransform(";
  append_quat_repr(out, t.rotation);
  out += ", ";
  append_vec3d_repr(out, t.translation);
  out += ')';
}

namespace {

// ---- table

// No hash: the tolerant equality cannot have one.
binding::ClassBuilder<RigidTransform> rigid_transform_table() {
  return std::move(binding::ClassBuilder<RigidTransform>("RigidTransform")
                       .constructor<rigid_transform_new_impl>("rotation", "translation")
                       .static_method<&RigidTransform::identity>("identity")
                       .static_method<rigid_transform_from_matrix_impl>("from_matrix", "m")
                       .property<rigid_transform_rotation_impl>("rotation")
                       .property<rigid_transform_translation_impl>("translation")
                       .method<rigid_transform_apply_impl>("apply", "v")
                       .method<rigid_transform_then_impl>("then", "other")
                       .method<rigid_transform_inverse_impl>("inverse")
                       .method<rigid_transform_interpolate_impl>("interpolate", "other", "s")
                       .method<rigid_transform_to_matrix_impl>("to_matrix")
                       .static_method<rigid_transform_align_impl>("align", "source", "target", "weights=None")
                       .equality<rigid_transform_eq_impl>()
                       .repr<rigid_transform_repr_impl>()
                       .pickled_by_constructor<rigid_transform_args_impl>());
}

}  // namespace

}  // namespace kalvor

KALVOR_CLASS_TYPE(morvix::RigidTransform, kalvor::rigid_transform_table)
