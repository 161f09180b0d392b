#include "kalvor/src/geometry/intersection.hpp"

#include "kalvor/src/binding/module.hpp"
#include "kalvor/src/geometry/circle.hpp"
#include "kalvor/src/geometry/plane.hpp"
#include "kalvor/src/vec3d.hpp"
#include "morvix/src/geometry/intersection.hpp"

#include <utility>

namespace kalvor {

using morvix::Circle;
using morvix::Plane;
using morvix::Vec3d;

namespace {

// ---- impls

Vec3d plane_line_impl(const Plane& plane, const Vec3d& a, const Vec3d& b) { return morvix::plane_line(plane, a, b); }

// Every IntersectionError folds into False.
bool circle_point_impl(const Circle& circle, const Vec3d& point, bool inner) {
  return morvix::circle_point(circle, point, inner).has_value();
}

bool circle_point_unchecked_impl(const Circle& circle, const Vec3d& point, bool inner) {
  return morvix::circle_point_unchecked(circle, point, inner);
}

// The one function that raises for a geometric condition: ValueError with the
// variant's message.
std::pair<Vec3d, Vec3d> circle_circle_impl(const Circle& circle1, const Circle& circle2) {
  const auto points = morvix::circle_circle(circle1, circle2);
  if (!points) binding::throw_value_error(morvix::message(points.error()));
  return *points;
}

// ---- table, in the order the submodule adds the functions

PyMethodDef* intersection_functions() {
  static PyMethodDef defs[] = {
      binding::function<circle_circle_impl>("circle_circle", "circle1", "circle2"),
      binding::function<circle_point_impl>("circle_point", "circle", "point", "inner"),
      binding::function<circle_point_unchecked_impl>("circle_point_unchecked", "circle", "point", "inner"),
      binding::function<plane_line_impl>("plane_line", "plane", "a", "b"),
      {nullptr, nullptr, 0, nullptr},
  };
  return defs;
}

}  // namespace

int add_intersection_functions(PyObject* module) noexcept {
  return binding::guarded<int>(-1, [&]() -> int {
    for (PyMethodDef* def = intersection_functions(); def->ml_name != nullptr; ++def) {
      if (binding::add_function(module, def) < 0) return -1;
    }
    return 0;
  });
}

}  // namespace kalvor
