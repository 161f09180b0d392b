#include "kalvor/src/vec3d.hpp"

#include "kalvor/src/angle.hpp"
#include "kalvor/src/binding/class_builder.hpp"
#include "kalvor/src/quat.hpp"
#include "morvix/src/siphash.hpp"

#include <bit>
#include <cmath>
#include <cstring>
#include <tuple>

namespace kalvor {

using morvix::Vec3d;

namespace {

binding::TextForm vec3d_text_impl(const Vec3d& p) { return {"Vec3d(", ", ", ")", {p.x, p.y, p.z}, 3}; }

}  // namespace

void append_vec3d_repr(std::string& out, const Vec3d& v) { binding::append_text(out, vec3d_text_impl(v)); }

namespace {

// ---- impls

Vec3d vec3d_new_impl(double x, double y, double z) { return {x, y, z}; }
Vec3d vec3d_zero_impl() { return morvix::zero(); }
Vec3d vec3d_i_impl() { return morvix::unit_i(); }
Vec3d vec3d_j_impl() { return morvix::unit_j(); }
Vec3d vec3d_k_impl() { return morvix::unit_k(); }
Vec3d vec3d_new_from_to_impl(const Vec3d& from, const Vec3d& to) { return morvix::new_from_to(from, to); }

double vec3d_dot_impl(const Vec3d& p, const Vec3d& o) { return morvix::dot(p, o); }
Vec3d vec3d_cross_impl(const Vec3d& p, const Vec3d& o) { return morvix::cross(p, o); }
double vec3d_magnitude_impl(const Vec3d& p) { return morvix::magnitude(p); }
bool vec3d_is_unit_impl(const Vec3d& p) { return morvix::is_unit(p); }
Vec3d vec3d_normalize_impl(const Vec3d& p) { return morvix::normalize(p); }
double vec3d_distance_to_impl(const Vec3d& p, const Vec3d& o) { return morvix::distance_to(p, o); }
double vec3d_distance_squared_impl(const Vec3d& p, const Vec3d& o) { return morvix::distance_squared(p, o); }
double vec3d_distance_to_line_impl(const Vec3d& p, const Vec3d& a, const Vec3d& b) {
  return morvix::distance_to_line(p, a, b);
}
Vec3d vec3d_project_onto_line_impl(const Vec3d& p, const Vec3d& line_r, const Vec3d& line_q) {
  return morvix::project_onto_line(p, line_r, line_q);
}
Vec3d vec3d_project_onto_plane_impl(const Vec3d& p, const Vec3d& normal) {
  return morvix::project_onto_plane(p, normal);
}
double vec3d_scalar_triple_product_impl(const Vec3d& p, const Vec3d& b, const Vec3d& c) {
  return morvix::scalar_triple_product(p, b, c);
}
morvix::AngleRadians vec3d_angle_to_impl(const Vec3d& p, const Vec3d& other) { return morvix::angle_to(p, other); }
morvix::Quat vec3d_to_quat_impl(const Vec3d& p) { return morvix::to_quat(p); }
std::array<double, 3> vec3d_to_array_impl(const Vec3d& p) { return {p.x, p.y, p.z}; }
// The constructor's arguments, which it stores unchanged: pickles are bit-exact.
std::tuple<double, double, double> vec3d_args_impl(const Vec3d& p) { return {p.x, p.y, p.z}; }

static_assert(sizeof(Vec3d) == 3 * sizeof(double) && std::is_standard_layout_v<Vec3d>,
              "a vector is lent as its three doubles x, y, z");

// The three components, lent as a vector of doubles in field order.
binding::DoubleArray vec3d_buffer_impl(const Vec3d& p) { return {&p.x, {3}, 1}; }

// SipHash-1-3 with the zero key over the three components as little-endian
// words; NaN of any sign or payload hashes as the canonical quiet NaN and
// -0.0 as +0.0, so equal components always hash alike.
Py_hash_t vec3d_hash_impl(const Vec3d& p) {
  auto word = [](double c) {
    return std::isnan(c) ? std::uint64_t{0x7FF8000000000000} : std::bit_cast<std::uint64_t>(c + 0.0);
  };
  const auto h = static_cast<Py_hash_t>(morvix::siphash13_words(0, 0, {word(p.x), word(p.y), word(p.z)}));
  return h == -1 ? -2 : h;
}

bool vec3d_eq_impl(const Vec3d& p, const Vec3d& o) { return p == o; }

double vec3d_getitem_impl(const Vec3d& p, std::size_t index) {
  if (index > 2) binding::throw_index_error();
  return p[index];
}

Vec3d vec3d_neg_impl(const Vec3d& p) { return -p; }
Vec3d vec3d_add_impl(const Vec3d& p, const Vec3d& other) { return p + other; }
Vec3d vec3d_sub_impl(const Vec3d& p, const Vec3d& other) { return p - other; }
Vec3d vec3d_mul_impl(const Vec3d& p, double rhs) { return rhs * p; }
Vec3d vec3d_rmul_impl(const Vec3d& p, double lhs) { return lhs * p; }
Vec3d vec3d_truediv_impl(const Vec3d& p, double rhs) { return p / rhs; }

// ---- table

binding::ClassBuilder<Vec3d> vec3d_table() {
  return std::move(binding::ClassBuilder<Vec3d>("Vec3d")
                       .constructor<vec3d_new_impl>("x", "y", "z")
                       .field<&Vec3d::x>("x")
                       .field<&Vec3d::y>("y")
                       .field<&Vec3d::z>("z")
                       .static_method<vec3d_zero_impl>("zero")
                       .static_method<vec3d_i_impl>("i")
                       .static_method<vec3d_j_impl>("j")
                       .static_method<vec3d_k_impl>("k")
                       .static_method<vec3d_new_from_to_impl>("new_from_to", "from", "to")
                       .method<vec3d_dot_impl>("dot", "other")
                       .method<vec3d_cross_impl>("cross", "other")
                       .method<vec3d_magnitude_impl>("magnitude")
                       .method<vec3d_is_unit_impl>("is_unit")
                       .method<vec3d_normalize_impl>("normalize")
                       .method<vec3d_distance_to_impl>("distance_to", "other")
                       .method<vec3d_distance_squared_impl>("distance_squared", "other")
                       .method<vec3d_distance_to_line_impl>("distance_to_line", "a", "b")
                       .method<vec3d_project_onto_line_impl>("project_onto_line", "line_r", "line_q")
                       .method<vec3d_project_onto_plane_impl>("project_onto_plane", "normal")
                       .method<vec3d_scalar_triple_product_impl>("scalar_triple_product", "b", "c")
                       .method<vec3d_angle_to_impl>("angle_to", "other")
                       .method<vec3d_to_quat_impl>("to_quat")
                       .method<vec3d_to_array_impl>("to_array")
                       .text<vec3d_text_impl>()
                       .hash<vec3d_hash_impl>()
                       .equality<vec3d_eq_impl>()
                       .getitem<vec3d_getitem_impl>()
                       .neg<vec3d_neg_impl>()
                       .add<vec3d_add_impl>()
                       .sub<vec3d_sub_impl>()
                       .mul<vec3d_mul_impl, vec3d_rmul_impl>()
                       .truediv<vec3d_truediv_impl>()
                       .buffer<vec3d_buffer_impl>()
                       .no_number_conversions()
                       .class_attribute("__array_ufunc__", Py_None)
                       .pickled_by_constructor<vec3d_args_impl>());
}

}  // namespace

}  // namespace kalvor

KALVOR_CLASS_TYPE(morvix::Vec3d, kalvor::vec3d_table)
