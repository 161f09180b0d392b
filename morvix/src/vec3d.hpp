#pragma once
// Vec3d: a point or direction in three dimensions, three IEEE-754 doubles.
//
// These functions are the single definition of vector arithmetic: the Python
// class, the bulk list operations and the geometry all call them, so every
// result is bit-identical whichever path computes it. Sums of three terms are
// evaluated left to right, ((a + b) + c); every product is rounded before it
// is added (the build forbids fused multiply-add).

#include <cmath>
#include <cstddef>
#include <limits>
#include <type_traits>

#include "morvix/src/strict.hpp"

namespace morvix {

// ε is the absolute tolerance of every tolerant test in the library; a test
// against it is a strict less-than and a NaN always fails it.
inline constexpr double epsilon = 2.220446049250313e-16;  // 2^-52

// |a - b| < ε, false for NaN.
constexpr bool within_epsilon(double a, double b) noexcept { return __builtin_fabs(a - b) < epsilon; }

// No default member values: a default-initialised array of vectors (the
// output of a bulk operation, filled right after) costs no zeroing pass.
// Vec3d{} is still (0, 0, 0). The number type is a parameter only so that
// the formulas below can also run on Strict (morvix/src/strict.hpp).
template <class S>
struct Vec3 {
  S x;
  S y;
  S z;

  // Position 0, 1 or 2; any other position is a caller's bug, checked by the
  // binding layer before it indexes.
  constexpr S operator[](std::size_t n) const noexcept { return n == 0 ? x : n == 1 ? y : z; }
};

using Vec3d = Vec3<double>;

constexpr Vec3<Strict> strict_of(const Vec3d& p) noexcept { return {p.x, p.y, p.z}; }
constexpr Vec3d from_strict(const Vec3<Strict>& p) noexcept { return {p.x.v, p.y.v, p.z.v}; }
inline bool has_nan(const Vec3d& p) noexcept { return std::isnan(p.x) || std::isnan(p.y) || std::isnan(p.z); }
// No component NaN or infinite; branch-free, so a loop over many vectorises.
inline bool is_finite(const Vec3d& p) noexcept {
  constexpr double big = std::numeric_limits<double>::max();
  return (__builtin_fabs(p.x) <= big) & (__builtin_fabs(p.y) <= big) & (__builtin_fabs(p.z) <= big);
}

// ---- the element-wise formulas, each written once, on double or Strict
// numbers alike. The functions further down settle them (strict.hpp); the
// bulk list operations run them on doubles and settle the NaN results alike.
namespace formula {

template <class V>
using scalar_of = decltype(V::x);

inline constexpr auto add = [](const auto& p, const auto& o) noexcept {
  return Vec3<scalar_of<std::remove_cvref_t<decltype(p)>>>{p.x + o.x, p.y + o.y, p.z + o.z};
};
inline constexpr auto sub = [](const auto& p, const auto& o) noexcept {
  return Vec3<scalar_of<std::remove_cvref_t<decltype(p)>>>{p.x - o.x, p.y - o.y, p.z - o.z};
};
// Scaling multiplies with the scalar on the left: s·x, s·y, s·z.
inline constexpr auto scale = [](const auto& p, const auto& s) noexcept {
  return Vec3<scalar_of<std::remove_cvref_t<decltype(p)>>>{s * p.x, s * p.y, s * p.z};
};
inline constexpr auto divide = [](const auto& p, const auto& s) noexcept {
  return Vec3<scalar_of<std::remove_cvref_t<decltype(p)>>>{p.x / s, p.y / s, p.z / s};
};
inline constexpr auto dot = [](const auto& p, const auto& o) noexcept {
  return ((p.x * o.x) + (p.y * o.y)) + (p.z * o.z);
};
inline constexpr auto cross = [](const auto& p, const auto& o) noexcept {
  return Vec3<scalar_of<std::remove_cvref_t<decltype(p)>>>{
      (p.y * o.z) - (p.z * o.y), (p.z * o.x) - (p.x * o.z), (p.x * o.y) - (p.y * o.x)};
};
inline constexpr auto magnitude = [](const auto& p) noexcept {
  using std::sqrt;
  return sqrt(((p.x * p.x) + (p.y * p.y)) + (p.z * p.z));
};
// No zero test: the zero vector gives (NaN, NaN, NaN).
inline constexpr auto normalize = [](const auto& p) noexcept {
  const auto m = magnitude(p);
  return Vec3<scalar_of<std::remove_cvref_t<decltype(p)>>>{p.x / m, p.y / m, p.z / m};
};
inline constexpr auto distance_squared = [](const auto& p, const auto& o) noexcept {
  const auto dx = p.x - o.x;
  const auto dy = p.y - o.y;
  const auto dz = p.z - o.z;
  return ((dx * dx) + (dy * dy)) + (dz * dz);
};
inline constexpr auto distance_to = [](const auto& p, const auto& o) noexcept {
  using std::sqrt;
  return sqrt(distance_squared(p, o));
};

}  // namespace formula

// ---- construction

constexpr Vec3d zero() noexcept { return {0.0, 0.0, 0.0}; }
constexpr Vec3d unit_i() noexcept { return {1.0, 0.0, 0.0}; }
constexpr Vec3d unit_j() noexcept { return {0.0, 1.0, 0.0}; }
constexpr Vec3d unit_k() noexcept { return {0.0, 0.0, 1.0}; }

// The vector that leads from `from` to `to`.
constexpr Vec3d new_from_to(const Vec3d& from, const Vec3d& to) noexcept {
  return {to.x - from.x, to.y - from.y, to.z - from.z};
}

// ---- arithmetic

constexpr Vec3d operator-(const Vec3d& p) noexcept { return {-p.x, -p.y, -p.z}; }
inline Vec3d operator+(const Vec3d& p, const Vec3d& o) noexcept { return settled(formula::add, p, o); }
inline Vec3d operator-(const Vec3d& p, const Vec3d& o) noexcept { return settled(formula::sub, p, o); }
inline Vec3d operator*(const Vec3d& p, double s) noexcept { return settled(formula::scale, p, s); }
inline Vec3d operator*(double s, const Vec3d& p) noexcept { return p * s; }
inline Vec3d operator/(const Vec3d& p, double s) noexcept { return settled(formula::divide, p, s); }

// ---- products and measures

inline double dot(const Vec3d& p, const Vec3d& o) noexcept { return settled(formula::dot, p, o); }
inline Vec3d cross(const Vec3d& p, const Vec3d& o) noexcept { return settled(formula::cross, p, o); }
inline double magnitude(const Vec3d& p) noexcept { return settled(formula::magnitude, p); }
inline bool is_unit(const Vec3d& p) noexcept { return within_epsilon(formula::magnitude(p), 1.0); }
inline Vec3d normalize(const Vec3d& p) noexcept { return settled(formula::normalize, p); }
inline double distance_squared(const Vec3d& p, const Vec3d& o) noexcept {
  return settled(formula::distance_squared, p, o);
}
inline double distance_to(const Vec3d& p, const Vec3d& o) noexcept { return settled(formula::distance_to, p, o); }

// p·(b × c): the signed volume of the parallelepiped spanned by p, b and c.
inline double scalar_triple_product(const Vec3d& p, const Vec3d& b, const Vec3d& c) noexcept {
  return dot(p, cross(b, c));
}

// ---- projections

// Removes the component along `normal`, assumed to have length 1 (not normalised here).
inline Vec3d project_onto_plane(const Vec3d& p, const Vec3d& normal) noexcept {
  const double t = dot(p, normal);
  return {p.x - (normal.x * t), p.y - (normal.y * t), p.z - (normal.z * t)};
}

// Foot of the perpendicular from p onto the line through line_q and line_r;
// NaN everywhere when the two points coincide (0 ÷ 0).
inline Vec3d project_onto_line(const Vec3d& p, const Vec3d& line_r, const Vec3d& line_q) noexcept {
  const Vec3d d = line_r - line_q;
  const double t = (((d.x * (line_q.x - p.x)) + (d.y * (line_q.y - p.y))) + (d.z * (line_q.z - p.z))) /
                   (((d.x * d.x) + (d.y * d.y)) + (d.z * d.z));
  return {line_q.x - (d.x * t), line_q.y - (d.y * t), line_q.z - (d.z * t)};
}

// Distance from p to the infinite line through a and b. Computed on its own,
// not through project_onto_line: the foot is reached from a, not from line_q,
// and the rounding differs.
inline double distance_to_line(const Vec3d& p, const Vec3d& a, const Vec3d& b) noexcept {
  const Vec3d d = b - a;
  const double t = (((d.x * (p.x - a.x)) + (d.y * (p.y - a.y))) + (d.z * (p.z - a.z))) /
                   (((d.x * d.x) + (d.y * d.y)) + (d.z * d.z));
  const Vec3d f{a.x + (d.x * t), a.y + (d.y * t), a.z + (d.z * t)};
  const double fx = p.x - f.x;
  const double fy = p.y - f.y;
  const double fz = p.z - f.z;
  return std::sqrt(((fx * fx) + (fy * fy)) + (fz * fz));
}

// ---- equality

// Tolerant: every component within ε, tested x, y, z. A NaN or infinite
// component makes the vector unequal to everything, itself included.
constexpr bool operator==(const Vec3d& p, const Vec3d& o) noexcept {
  // Every component is compared (no short cut): branch-free, and as cheap.
  return within_epsilon(p.x, o.x) & within_epsilon(p.y, o.y) & within_epsilon(p.z, o.z);
}

}  // namespace morvix
