#include "kalvor/src/geometry/plane.hpp"

#include "kalvor/src/binding/class_builder.hpp"
#include "kalvor/src/vec3d.hpp"

#include <array>
#include <tuple>

namespace kalvor {

using morvix::Plane;
using morvix::Vec3d;

namespace {

// ---- impls

Plane plane_new_impl(const Vec3d& normal, double distance) { return morvix::make_plane(normal, distance); }
Plane plane_from_point_impl(const Vec3d& normal, const Vec3d& point) { return morvix::from_point(normal, point); }
Plane plane_from_points_impl(const Vec3d& point1, const Vec3d& point2, const Vec3d& point3) {
  return morvix::from_points(point1, point2, point3);
}
bool plane_contains_point_impl(const Plane& plane, const Vec3d& point) {
  return morvix::contains_point(plane, point);
}
double plane_distance_to_point_impl(const Plane& plane, const Vec3d& point) {
  return morvix::distance_to_point(plane, point);
}

// The stored fields, which the constructor would normalise and negate: a
// pickle rebuilds them exactly through __setstate__.
std::tuple<double, double, double, double> plane_state_impl(const Plane& plane) {
  return {plane.normal.x, plane.normal.y, plane.normal.z, plane.distance};
}
void plane_setstate_impl(Plane& plane, const std::array<double, 4>& state) {
  plane = {{state[0], state[1], state[2]}, state[3]};
}

// ---- table

// Equality, hash and repr stay the interpreter's defaults (identity and the
// object address), so the table declares no comparison, hash or repr slot.
binding::ClassBuilder<Plane> plane_table() {
  return std::move(binding::ClassBuilder<Plane>("Plane")
                       .constructor<plane_new_impl>("normal", "distance")
                       .static_method<plane_from_point_impl>("from_point", "normal", "point")
                       .static_method<&Plane::xy>("xy")
                       .static_method<&Plane::xz>("xz")
                       .static_method<&Plane::yz>("yz")
                       .static_method<plane_from_points_impl>("from_points", "point1", "point2", "point3")
                       .method<plane_contains_point_impl>("contains_point", "point")
                       .method<plane_distance_to_point_impl>("distance_to_point", "point")
                       .field<&Plane::normal>("normal")
                       .field<&Plane::distance>("distance")
                       .pickled_by_state<plane_state_impl, plane_setstate_impl>("xy"));
}

}  // namespace

}  // namespace kalvor

KALVOR_CLASS_TYPE(morvix::Plane, kalvor::plane_table)
