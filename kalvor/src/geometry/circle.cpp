#include "kalvor/src/geometry/circle.hpp"

#include "kalvor/src/binding/class_builder.hpp"
#include "kalvor/src/geometry/plane.hpp"
#include "kalvor/src/vec3d.hpp"

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
                       .equality_derived_ne<circle_eq_impl>());
}

}  // namespace

}  // namespace kalvor

KALVOR_CLASS_TYPE(morvix::Circle, kalvor::circle_table)
