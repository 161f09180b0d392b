#pragma once
// AngleRadians and AngleDegrees: one double each, never range-reduced.
//
// An angle never travels as a bare number; converting between the units is
// always an explicit call. Radians is the working type (trigonometry,
// arithmetic, constants); degrees only converts, negates and compares.

#include <cmath>
#include <compare>
#include <string>
#include <string_view>

#include "morvix/src/vec3d.hpp"

namespace morvix {

struct AngleRadians {
  double angle = 0.0;

  // Each constant is the double π multiplied or divided by a small integer in
  // double arithmetic; third_pi and sixth_pi are therefore one ulp below the
  // doubles nearest to π/3 and π/6.
  static constexpr AngleRadians zero() noexcept { return {0.0}; }
  static constexpr AngleRadians pi() noexcept { return {3.141592653589793}; }
  static constexpr AngleRadians two_pi() noexcept { return {3.141592653589793 * 2.0}; }
  static constexpr AngleRadians half_pi() noexcept { return {3.141592653589793 / 2.0}; }
  static constexpr AngleRadians quarter_pi() noexcept { return {3.141592653589793 / 4.0}; }
  static constexpr AngleRadians third_pi() noexcept { return {3.141592653589793 / 3.0}; }
  static constexpr AngleRadians sixth_pi() noexcept { return {3.141592653589793 / 6.0}; }

  // Plain IEEE-754 comparison, no tolerance: +0.0 equals −0.0, NaN is
  // unordered (every test with it is false, != true).
  friend constexpr bool operator==(const AngleRadians&, const AngleRadians&) noexcept = default;
  friend constexpr std::partial_ordering operator<=>(const AngleRadians&, const AngleRadians&) noexcept = default;
};

struct AngleDegrees {
  double angle = 0.0;

  friend constexpr bool operator==(const AngleDegrees&, const AngleDegrees&) noexcept = default;
  friend constexpr std::partial_ordering operator<=>(const AngleDegrees&, const AngleDegrees&) noexcept = default;
};

// ---- unit conversion

// Multiply first, divide second: a precomputed 180/π factor would change the
// last digit for some inputs (0.1 rad gives ...232°, not ...233°).
constexpr AngleDegrees to_degrees(AngleRadians r) noexcept { return {(r.angle * 180.0) / 3.141592653589793}; }
constexpr AngleRadians to_radians(AngleDegrees d) noexcept { return {(d.angle * 3.141592653589793) / 180.0}; }

// ---- trigonometry

inline double sin(AngleRadians r) noexcept { return std::sin(r.angle); }
inline double cos(AngleRadians r) noexcept { return std::cos(r.angle); }
inline double tan(AngleRadians r) noexcept { return std::tan(r.angle); }
// Reciprocals with no guard: a zero denominator gives an infinity with its sign.
// cot is 1/tan, not cos/sin.
inline double sec(AngleRadians r) noexcept { return 1.0 / std::cos(r.angle); }
inline double csc(AngleRadians r) noexcept { return 1.0 / std::sin(r.angle); }
inline double cot(AngleRadians r) noexcept { return 1.0 / std::tan(r.angle); }

// ---- arithmetic (radians only; each is one double operation)

constexpr AngleRadians operator+(AngleRadians a, AngleRadians b) noexcept { return {a.angle + b.angle}; }
constexpr AngleRadians operator-(AngleRadians a, AngleRadians b) noexcept { return {a.angle - b.angle}; }
constexpr AngleRadians operator*(AngleRadians a, double s) noexcept { return {a.angle * s}; }
constexpr AngleRadians operator/(AngleRadians a, double s) noexcept { return {a.angle / s}; }
// Flips the sign bit only: −(+0.0) is −0.0, a NaN keeps its payload.
constexpr AngleRadians operator-(AngleRadians a) noexcept { return {-a.angle}; }
constexpr AngleDegrees operator-(AngleDegrees a) noexcept { return {-a.angle}; }

// ---- text form

inline constexpr std::string_view radians_suffix = " radians";
// U+00B0 DEGREE SIGN in UTF-8, spelled as bytes so the execution charset does not matter.
inline constexpr std::string_view degrees_suffix = "\xC2\xB0";

// The float text followed by " radians" / "°" (U+00B0, no space). With
// `decimals`, the number has exactly that many digits after the point.
std::string to_string(AngleRadians r);
std::string to_string(AngleRadians r, int decimals);
std::string to_string(AngleDegrees d);
std::string to_string(AngleDegrees d, int decimals);

// ---- angle between two vectors

// acos(p·o ÷ (|p|·|o|)), magnitudes multiplied first. The quotient is clamped
// to [−1, 1] because rounding can push it an ulp past ±1 for (nearly)
// parallel vectors, where acos would give NaN; NaN (a zero vector, a NaN or
// infinite component) passes the clamp unchanged.
inline AngleRadians angle_to(const Vec3d& p, const Vec3d& o) noexcept {
  double c = dot(p, o) / (magnitude(p) * magnitude(o));
  if (c > 1.0) c = 1.0;
  if (c < -1.0) c = -1.0;
  return {std::acos(c)};
}

}  // namespace morvix
