#include "morvix/src/geometry/plane.hpp"

namespace morvix {

Plane make_plane(const Vec3d& normal, double distance) noexcept { return {normalize(normal), -distance}; }

Plane from_point(const Vec3d& normal, const Vec3d& point) noexcept {
  const Vec3d n = normalize(normal);
  return {n, -dot(n, point)};
}

Plane from_points(const Vec3d& point1, const Vec3d& point2, const Vec3d& point3) noexcept {
  const Vec3d n = normalize(cross(point2 - point1, point3 - point1));
  return {n, -dot(n, point1)};
}

}  // namespace morvix
