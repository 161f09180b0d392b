#include "kalvor/src/quat.hpp"

#include "kalvor/src/angle.hpp"
#include "kalvor/src/binding/class_builder.hpp"
#include "kalvor/src/fitting.hpp"
#include "kalvor/src/quat_list.hpp"
#include "kalvor/src/vec3d.hpp"
#include "kalvor/src/vec_list.hpp"
#include "morvix/src/statistics.hpp"

#include <tuple>
#include <utility>
#include <variant>

namespace kalvor {

using morvix::AngleRadians;
using morvix::EulerAxes;
using morvix::EulerFrame;
using morvix::Quat;
using morvix::Vec3d;

namespace {

binding::TextForm quat_text_impl(const Quat& q) { return {"Quat(", ", ", ")", {q.w, q.i, q.j, q.k}, 4}; }

}  // namespace

void append_quat_repr(std::string& out, const Quat& q) { binding::append_text(out, quat_text_impl(q)); }

namespace {

Quat quat_new_impl(double w, double i, double j, double k) { return {w, i, j, k}; }
Quat quat_from_axis_angle_impl(const Vec3d& axis, const AngleRadians& angle) {
  return morvix::from_axis_angle(axis, angle);
}
Quat quat_conjugate_impl(const Quat& q) { return morvix::conjugate(q); }
double quat_magnitude_impl(const Quat& q) { return morvix::magnitude(q); }
Quat quat_normalize_impl(const Quat& q) { return morvix::normalize(q); }
// A tuple of three floats, not a Vec3d.
std::tuple<double, double, double> quat_to_vec3d_impl(const Quat& q) { return {q.i, q.j, q.k}; }
bool quat_is_unit_impl(const Quat& q) { return morvix::is_unit(q); }
std::pair<Vec3d, AngleRadians> quat_to_axis_angle_impl(const Quat& q) {
  const auto [axis, angle] = morvix::to_axis_angle(q);
  return {axis, angle};
}
morvix::Matrix3 quat_to_rotation_matrix_impl(const Quat& q) { return morvix::to_rotation_matrix(q); }
Vec3d quat_rotate_impl(const Quat& q, const Vec3d& v) { return morvix::rotate(q, v); }
// One rotation before one, or before each of a list: element i of the list
// result is then(q, other[i]), bit for bit.
std::variant<Quat, QuatList> quat_then_impl(const Quat& q, const binding::OneOf<Quat, QuatList>& other) {
  if (const QuatList* list = other.get_if<QuatList>()) {
    constexpr auto after_q = [](const auto& o, const auto& first) noexcept { return morvix::formula::then(first, o); };
    return bulk::settled_list<QuatElement>(*list, after_q, q);
  }
  return morvix::then(q, *other.get_if<Quat>());
}
Quat quat_inverse_impl(const Quat& q) { return morvix::inverse(q); }
Quat quat_slerp_impl(const Quat& q, const Quat& other, double t) { return morvix::slerp(q, other, t); }
Quat quat_between_impl(const Vec3d& a, const Vec3d& b) { return morvix::between(a, b); }
// Only a rotation matrix is accepted: the conversion itself takes any matrix.
Quat quat_from_rotation_matrix_impl(const morvix::Matrix3& m) {
  const morvix::MatrixFault fault = morvix::rotation_matrix_fault(m);
  if (fault != morvix::MatrixFault::none) binding::throw_not_a_rotation(fault);
  return morvix::from_rotation_matrix(m);
}
template <EulerFrame Frame>
Quat quat_from_euler_impl(const EulerAxes& axes, const AngleRadians& a, const AngleRadians& b, const AngleRadians& c) {
  return morvix::from_euler(axes, Frame, a.angle, b.angle, c.angle);
}
template <EulerFrame Frame>
std::tuple<AngleRadians, AngleRadians, AngleRadians> quat_to_euler_impl(const Quat& q, const EulerAxes& axes) {
  const auto [a, b, c] = morvix::to_euler(q, axes, Frame);
  return {{a}, {b}, {c}};
}
Quat quat_from_rotation_vector_impl(const Vec3d& v) { return morvix::from_rotation_vector(v); }
Vec3d quat_to_rotation_vector_impl(const Quat& q) { return morvix::to_rotation_vector(q); }
Quat quat_from_xyzw_impl(double x, double y, double z, double w) { return morvix::from_xyzw(x, y, z, w); }
std::tuple<double, double, double, double> quat_to_xyzw_impl(const Quat& q) {
  const auto [x, y, z, w] = morvix::to_xyzw(q);
  return {x, y, z, w};
}
Quat quat_from_wxyz_impl(double w, double x, double y, double z) { return morvix::from_wxyz(w, x, y, z); }
std::tuple<double, double, double, double> quat_to_wxyz_impl(const Quat& q) {
  const auto [w, x, y, z] = morvix::to_wxyz(q);
  return {w, x, y, z};
}
AngleRadians quat_angle_to_impl(const Quat& q, const Quat& other) { return {morvix::angle_between(q, other)}; }
Quat quat_power_impl(const Quat& q, double t) { return morvix::power(q, t); }

std::tuple<Quat, double> quat_align_impl(const VecList& source, const VecList& target,
                                         const std::optional<binding::Floats>& weights) {
  const morvix::Alignment fit = fitted_pairs(binding::signature_of<quat_align_impl>->call, source, target, weights,
                                             "pair of vectors", [](auto... args) { return morvix::align_rotation(args...); });
  return {fit.rotation, fit.rssd};
}

bool quat_eq_impl(const Quat& a, const Quat& b) { return a == b; }
std::tuple<double, double, double, double> quat_args_impl(const Quat& q) { return {q.w, q.i, q.j, q.k}; }

static_assert(sizeof(Quat) == 4 * sizeof(double) && std::is_standard_layout_v<Quat>,
              "a quaternion is lent as its four doubles w, i, j, k");

// The four fields, lent as a vector of doubles in field order.
binding::DoubleArray quat_buffer_impl(const Quat& q) { return {&q.w, {4}, 1}; }

binding::ClassBuilder<Quat> quat_table() {
  return std::move(binding::ClassBuilder<Quat>("Quat")
                       .constructor<quat_new_impl>("w", "i", "j", "k")
                       .static_method<&Quat::identity>("identity")
                       .static_method<quat_from_axis_angle_impl>("from_axis_angle", "axis", "angle")
                       .field<&Quat::w>("w")
                       .field<&Quat::i>("i")
                       .field<&Quat::j>("j")
                       .field<&Quat::k>("k")
                       .method<quat_conjugate_impl>("conjugate")
                       .method<quat_magnitude_impl>("magnitude")
                       .method<quat_normalize_impl>("normalize")
                       .method<quat_to_vec3d_impl>("to_vec3d")
                       .method<quat_is_unit_impl>("is_unit")
                       .method<quat_to_axis_angle_impl>("to_axis_angle")
                       .method<quat_to_rotation_matrix_impl>("to_rotation_matrix")
                       .method<quat_rotate_impl>("rotate", "v")
                       .method<quat_then_impl>("then", "other")
                       .method<quat_inverse_impl>("inverse")
                       .method<quat_slerp_impl>("slerp", "other", "t")
                       .static_method<quat_between_impl>("between", "a", "b")
                       .static_method<quat_from_rotation_matrix_impl>("from_rotation_matrix", "m")
                       .static_method<quat_from_euler_impl<EulerFrame::intrinsic>>("from_intrinsic_euler", "axes",
                                                                                   "a", "b", "c")
                       .static_method<quat_from_euler_impl<EulerFrame::extrinsic>>("from_extrinsic_euler", "axes",
                                                                                   "a", "b", "c")
                       .method<quat_to_euler_impl<EulerFrame::intrinsic>>("to_intrinsic_euler", "axes")
                       .method<quat_to_euler_impl<EulerFrame::extrinsic>>("to_extrinsic_euler", "axes")
                       .static_method<quat_from_rotation_vector_impl>("from_rotation_vector", "v")
                       .method<quat_to_rotation_vector_impl>("to_rotation_vector")
                       .static_method<quat_from_xyzw_impl>("from_xyzw", "x", "y", "z", "w")
                       .method<quat_to_xyzw_impl>("to_xyzw")
                       .method<quat_angle_to_impl>("angle_to", "other")
                       .static_method<quat_from_wxyz_impl>("from_wxyz", "w", "x", "y", "z")
                       .method<quat_to_wxyz_impl>("to_wxyz")
                       .method<quat_power_impl>("power", "t")
                       .static_method<quat_align_impl>("align", "source", "target", "weights=None")
                       .equality<quat_eq_impl>()
                       .text<quat_text_impl>()
                       .buffer<quat_buffer_impl>()
                       .no_number_conversions()
                       .class_attribute("__array_ufunc__", Py_None)
                       .pickled_by_constructor<quat_args_impl>());
}

}  // namespace

}  // namespace kalvor

KALVOR_CLASS_TYPE(morvix::Quat, kalvor::quat_table)
