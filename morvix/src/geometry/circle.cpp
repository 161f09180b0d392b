#include "morvix/src/geometry/circle.hpp"

#include <cmath>

namespace morvix {

Circle make_circle(const Vec3d& center, double radius, const Vec3d& normal) noexcept {
  return {center, std::fabs(radius), normalize(normal)};
}

Plane get_plane(const Circle& c) noexcept { return from_point(c.normal, c.center); }

bool in_same_plane(const Circle& a, const Circle& b) noexcept {
  const double offset_a = dot(a.normal, a.center);
  const double offset_b = dot(b.normal, b.center);
  if (normals_parallel(a.normal, b.normal)) return std::fabs(offset_b - offset_a) < epsilon;
  if (normals_opposite(a.normal, b.normal)) return std::fabs(offset_b + offset_a) < epsilon;
  return false;
}

bool operator==(const Circle& a, const Circle& b) noexcept {
  return a.center == b.center && a.radius == b.radius &&
         (normals_parallel(a.normal, b.normal) || normals_opposite(a.normal, b.normal));
}

}  // namespace morvix
