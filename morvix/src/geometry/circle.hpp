#pragma once
// Circle: a center, a radius and the normal of the circle's plane.
//
// make_circle stores a non-negative radius and a unit normal; the fields are
// public and may hold anything afterwards (a negative radius, a non-unit or
// zero normal). Equality and the same-plane test use the stored normal as it
// is; only get_plane and circle_point work with a normalised copy.

#include <limits>

#include "morvix/src/geometry/plane.hpp"
#include "morvix/src/vec3d.hpp"

namespace morvix {

struct Circle {
  Vec3d center;
  double radius = 0.0;
  Vec3d normal;

  // Center at the origin, radius 0, normal of default quiet NaNs: equal to
  // no circle and in a plane with no circle, itself included.
  static constexpr Circle none() noexcept {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    return {zero(), 0.0, {nan, nan, nan}};
  }
};

// ---- construction

// Stores center unchanged, |radius| (sign bit cleared) and normal normalised.
Circle make_circle(const Vec3d& center, double radius, const Vec3d& normal) noexcept;

// ---- measures

// radius == 0.0, so also for −0.0 and not for NaN; nothing else is examined.
constexpr bool is_degenerate(const Circle& c) noexcept { return c.radius == 0.0; }

constexpr double area(const Circle& c) noexcept { return (c.radius * c.radius) * 3.141592653589793; }

// The plane of the normalised normal through the center: from_point(normal, center).
Plane get_plane(const Circle& c) noexcept;

// ---- comparisons

// The stored normals agree within ε per component, tested x, y, z.
constexpr bool normals_parallel(const Vec3d& a, const Vec3d& b) noexcept {
  return within_epsilon(a.x, b.x) && within_epsilon(a.y, b.y) && within_epsilon(a.z, b.z);
}

// The stored normals cancel within ε per component: |a + b| < ε, tested x, y, z.
// within_epsilon(a, −b) computes a − (−b), which is a + b exactly.
constexpr bool normals_opposite(const Vec3d& a, const Vec3d& b) noexcept {
  return within_epsilon(a.x, -b.x) && within_epsilon(a.y, -b.y) && within_epsilon(a.z, -b.z);
}

// Normals parallel or opposite, and the two plane offsets n·center agreeing
// within ε. With opposite normals the offsets of one plane have opposite
// signs, so they are added rather than subtracted.
bool in_same_plane(const Circle& a, const Circle& b) noexcept;

// Centers within ε per component, radii exactly equal (0.0 == −0.0, NaN never),
// normals parallel or opposite; the plane offsets are not compared.
bool operator==(const Circle& a, const Circle& b) noexcept;

}  // namespace morvix
