#include "morvix/src/geometry/intersection.hpp"

#include <cmath>

namespace morvix {

std::string_view message(IntersectionError error) noexcept {
  switch (error) {
    case IntersectionError::TooFarApart:
      return "The given geometries are too far apart and do not intersect at all.";
    case IntersectionError::Contained:
      return "One of the given geometries is contained entirely within the other. The surfaces do not intersect.";
    case IntersectionError::Identical:
      return "The given geometries are identical.";
    case IntersectionError::OutOfPlane:
      return "The given geometries are out of plane from each other";
  }
  return {};
}

namespace {

// How far the point lies inside the rim: radius − |point − center|.
double rim_clearance(const Circle& circle, const Vec3d& point) noexcept {
  return circle.radius - magnitude(point - circle.center);
}

// The point test after the in-plane check. l exactly ε or NaN counts as outside.
std::expected<void, IntersectionError> classify_clearance(double l, bool inner) noexcept {
  if (std::fabs(l) < epsilon) return {};
  if (l > epsilon) {
    if (inner) return {};
    return std::unexpected(IntersectionError::Contained);
  }
  return std::unexpected(IntersectionError::TooFarApart);
}

}  // namespace

std::expected<void, IntersectionError> circle_point(const Circle& circle, const Vec3d& point, bool inner) noexcept {
  const Vec3d n = normalize(circle.normal);
  if (!within_epsilon(dot(n, point), dot(n, circle.center))) return std::unexpected(IntersectionError::OutOfPlane);
  return classify_clearance(rim_clearance(circle, point), inner);
}

bool circle_point_unchecked(const Circle& circle, const Vec3d& point, bool inner) noexcept {
  return classify_clearance(rim_clearance(circle, point), inner).has_value();
}

std::expected<std::pair<Vec3d, Vec3d>, IntersectionError> circle_circle(const Circle& circle1,
                                                                        const Circle& circle2) noexcept {
  if (circle1 == circle2) return std::unexpected(IntersectionError::Identical);
  if (!in_same_plane(circle1, circle2)) return std::unexpected(IntersectionError::OutOfPlane);

  const Vec3d& c1 = circle1.center;
  const Vec3d& c2 = circle2.center;
  const double r1 = circle1.radius;
  const double r2 = circle2.radius;
  const Vec3d& n = circle2.normal;

  // A NaN distance or radius fails both tests and yields NaN points.
  const double d = magnitude(c1 - c2);
  if (d > r1 + r2) return std::unexpected(IntersectionError::TooFarApart);
  if (d < std::fabs(r1 - r2)) return std::unexpected(IntersectionError::Contained);

  // P, the foot of the common chord on the line of centers, lies at c1 + Δ·h.
  const Vec3d delta = c2 - c1;
  const double d2 = d * d;
  const double h = (((r1 * r1) - (r2 * r2)) / (2.0 * d2)) + 0.5;
  const Vec3d p{c1.x + (delta.x * h), c1.y + (delta.y * h), c1.z + (delta.z * h)};

  // Half the chord. Tangent circles can round the radicand just below zero;
  // that is the tangent point, so it counts as +0.0. A NaN radicand stays NaN.
  double radicand = (r1 * r1) - (d2 * (h * h));
  if (radicand < 0.0) radicand = 0.0;
  const double height = std::sqrt(radicand);

  // Across the line of centers, in circle2's plane.
  const Vec3d m = normalize(cross(delta, n));
  return std::pair{
      Vec3d{p.x + (m.x * height), p.y + (m.y * height), p.z + (m.z * height)},
      Vec3d{p.x - (m.x * height), p.y - (m.y * height), p.z - (m.z * height)},
  };
}

Vec3d plane_line(const Plane& plane, const Vec3d& a, const Vec3d& b) noexcept {
  const Vec3d delta = b - a;
  const double t = -(dot(plane.normal, a) + plane.distance) / dot(plane.normal, delta);
  return {a.x + (delta.x * t), a.y + (delta.y * t), a.z + (delta.z * t)};
}

}  // namespace morvix
