#include "kalvor/src/geometry/circle.hpp"

#include "kalvor/src/binding/class_builder.hpp"
#include "kalvor/src/geometry/plane.hpp"
#include "kalvor/src/vec3d.hpp"

#include <array>
#include <tuple>

namespace kalvor {

using morvix::Circle;
using morvix::Plane;
using morvix::Vec3d;

namespace {

// ---- impls

Circle circle_new_impl(const Vec3d& center, double radius, const Vec3d& normal) {
  return morvix::make_circle(center, radius, normal);
}
bool circle_is_degenerate_impl(const Circle& c) { return morvix::is_degenerate(c); }
double circle_area_impl(const Circle& c) { return morvix::area(c); }
Plane circle_get_plane_impl(const Circle& c) { return morvix::get_plane(c); }
bool circle_in_same_plane_impl(const Circle& c, const Circle& other) { return morvix::in_same_plane(c, other); }
bool circle_eq_impl(const Circle& a, const Circle& b) { return a == b; }

// The stored fields (the constructor would take |radius| and normalise the
// normal): center, radius, normal.
std::tuple<double, double, double, double, double, double, double> circle_state_impl(const Circle& c) {
  return {c.center.x, c.center.y, c.center.z, c.radius, c.normal.x, c.normal.y, c.normal.z};
}
void circle_setstate_impl(Circle& c, const std::array<double, 7>& s) {
  c = {{s[0], s[1], s[2]}, s[3], {s[4], s[5], s[6]}};
}

// ---- table

// == is the tolerant circle equality and != the negation of the interpreter's
// whole == (reflection and identity fallback included); no ordering, and
// without a hash slot the class is unhashable. No repr of its own.
binding::ClassBuilder<Circle> circle_table() {
  return std::move(binding::ClassBuilder<Circle>("Circle")
                       .constructor<circle_new_impl>("center", "radius", "normal")
                       .static_method<&Circle::none>("none")
                       .method<circle_is_degenerate_impl>("is_degenerate")
                       .property<circle_area_impl>("area")
                       .method<circle_get_plane_impl>("get_plane")
                       .method<circle_in_same_plane_impl>("in_same_plane", "other")
                       .field<&Circle::center>("center")
                       .field<&Circle::radius>("radius")
                       .field<&Circle::normal>("normal")
                       .equality_derived_ne<circle_eq_impl>()
                       .pickled_by_state<circle_state_impl, circle_setstate_impl>("none"));
}

}  // namespace

}  // namespace kalvor

KALVOR_CLASS_TYPE(morvix::Circle, kalvor::circle_table)
