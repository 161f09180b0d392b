#pragma once
// Plane: the points p with normal·p + distance = 0.
//
// Every factory stores a unit normal (up to rounding) unless it is given a
// zero normal or collinear points, which give NaN. Nothing keeps the normal
// unit afterwards: the fields are public and the point tests use the stored
// normal without dividing by its length.

#include <cmath>

#include "morvix/src/vec3d.hpp"

namespace morvix {

struct Plane {
  Vec3d normal;
  double distance = 0.0;

  // The coordinate planes z = 0, y = 0 and x = 0. The distance is −0.0, the
  // negated zero offset, as the other factories would store it.
  static constexpr Plane xy() noexcept { return {unit_k(), -0.0}; }
  static constexpr Plane xz() noexcept { return {unit_j(), -0.0}; }
  static constexpr Plane yz() noexcept { return {unit_i(), -0.0}; }
};

// ---- construction

// The plane normal·p = distance: stores the normal normalised and the distance
// negated (Plane(n, 5) is the plane z = 5 for n along z, its field reads −5).
Plane make_plane(const Vec3d& normal, double distance) noexcept;

// n̂ = normal normalised; distance −(n̂·point).
Plane from_point(const Vec3d& normal, const Vec3d& point) noexcept;

// n̂ = normalised (point2 − point1) × (point3 − point1), so the points run
// counter-clockwise seen from n̂; distance −(n̂·point1). Collinear points give
// NaN normal and distance.
Plane from_points(const Vec3d& point1, const Vec3d& point2, const Vec3d& point3) noexcept;

// ---- point tests

// |normal·point + distance|: the true distance only for a unit normal.
inline double distance_to_point(const Plane& plane, const Vec3d& point) noexcept {
  return std::fabs(dot(plane.normal, point) + plane.distance);
}

inline bool contains_point(const Plane& plane, const Vec3d& point) noexcept {
  return distance_to_point(plane, point) < epsilon;
}

}  // namespace morvix
