#pragma once
// Intersections of points, lines, planes and circles. The routines that can
// fail return the failure as an IntersectionError value; nothing raises.

#include <expected>
#include <string_view>
#include <utility>

#include "morvix/src/geometry/circle.hpp"
#include "morvix/src/geometry/plane.hpp"
#include "morvix/src/vec3d.hpp"

namespace morvix {

enum class IntersectionError {
  TooFarApart,
  Contained,
  Identical,
  OutOfPlane,
};

// The fixed display text of each variant.
std::string_view message(IntersectionError error) noexcept;

// Succeeds when the point lies in the circle's plane and on the circle, or,
// with `inner`, strictly inside it. Fails with OutOfPlane, Contained (inside
// but not `inner`) or TooFarApart.
std::expected<void, IntersectionError> circle_point(const Circle& circle, const Vec3d& point, bool inner) noexcept;

// circle_point without the in-plane test: the normal is not used at all.
bool circle_point_unchecked(const Circle& circle, const Vec3d& point, bool inner) noexcept;

// The two points where two circles of one plane meet. The order follows
// circle2's normal: reversing it swaps the points.
std::expected<std::pair<Vec3d, Vec3d>, IntersectionError> circle_circle(const Circle& circle1,
                                                                        const Circle& circle2) noexcept;

// Where the infinite line through a and b meets the plane. Never fails: a line
// parallel to the plane gives infinite or NaN components, a = b gives NaN.
Vec3d plane_line(const Plane& plane, const Vec3d& a, const Vec3d& b) noexcept;

}  // namespace morvix
