#pragma once
// Quat: the quaternion w + i·𝐢 + j·𝐣 + k·𝐤, scalar first, Hamilton products.
//
// Never normalised behind the caller's back. The operations do not share one
// rotation convention, and that is deliberate: from_axis_angle stores the
// half-angle negated and rotate applies the conjugate on the left, so the two
// together turn a vector by +θ about the axis (right-hand rule), while
// to_rotation_matrix and to_axis_angle read the stored value in the opposite
// sense (rotate(q, v) is Mᵀ·v).
//
// Everything that chains, undoes, interpolates or builds rotations (then,
// inverse, slerp, between, from_rotation_matrix) is defined by what it does to
// rotate, so it holds whatever convention a caller brings.

#include <array>
#include <cmath>
#include <cstddef>
#include <optional>
#include <string_view>
#include <type_traits>

#include "morvix/src/angle.hpp"
#include "morvix/src/vec3d.hpp"

namespace morvix {

struct Quat {
  double w = 0.0;
  double i = 0.0;
  double j = 0.0;
  double k = 0.0;

  static constexpr Quat identity() noexcept { return {1.0, 0.0, 0.0, 0.0}; }
};

// Rows of a 3×3 matrix, row 1 first.
using Matrix3 = std::array<std::array<double, 3>, 3>;

struct AxisAngle {
  Vec3d axis;
  AngleRadians angle;
};

// ---- construction and conversion

// The pure quaternion (0, x, y, z); components copied unchanged.
constexpr Quat to_quat(const Vec3d& v) noexcept { return {0.0, v.x, v.y, v.z}; }

// (cos(−θ/2), sin(−θ/2)·axis); the axis is not normalised, so the result is a
// unit quaternion only for a unit axis.
inline Quat from_axis_angle(const Vec3d& axis, AngleRadians angle) noexcept {
  const double h = angle.angle * -0.5;
  const double s = std::sin(h);
  return {std::cos(h), s * axis.x, s * axis.y, s * axis.z};
}

// Only w decides the near-identity case; otherwise nothing is guarded:
// |w| > 1 gives NaN, w = −1 divides by sin(π) ≈ 1.2e-16.
inline AxisAngle to_axis_angle(const Quat& q) noexcept {
  if (within_epsilon(q.w, 1.0)) return {unit_i(), AngleRadians::zero()};
  const double a = std::acos(q.w);
  const double angle = a + a;
  const double s = std::sin(angle * 0.5);
  return {{q.i / s, q.j / s, q.k / s}, {angle}};
}

// The vector part (i, j, k); w is dropped.
constexpr std::array<double, 3> to_vec3d(const Quat& q) noexcept { return {q.i, q.j, q.k}; }

// ---- rotation

// The four fields on Strict numbers, for settling the formulas below.
struct StrictQuat {
  Strict w, i, j, k;
};
constexpr StrictQuat strict_of(const Quat& q) noexcept { return {q.w, q.i, q.j, q.k}; }
constexpr Quat from_strict(const StrictQuat& q) noexcept { return {q.w.v, q.i.v, q.j.v, q.k.v}; }
inline bool has_nan(const Quat& q) noexcept {
  return std::isnan(q.w) || std::isnan(q.i) || std::isnan(q.j) || std::isnan(q.k);
}

// A quaternion or a matrix on the number type S (double or Strict).
template <class S>
using QuatOf = std::conditional_t<std::is_same_v<S, Strict>, StrictQuat, Quat>;
template <class S>
using Matrix3Of = std::array<std::array<S, 3>, 3>;

namespace formula {

// Vector part of conj(q) ⊗ (0, x, y, z) ⊗ q as two full Hamilton products.
// The terms multiplied by the vector's zero scalar part stay: they turn an
// infinite field into NaN and decide the sign of zero results. Sums run left
// to right. A non-unit q also scales v by w² + i² + j² + k².
inline constexpr auto rotate = [](const auto& q, const auto& v) noexcept {
  const auto w = q.w, i = q.i, j = q.j, k = q.k;
  const auto x = v.x, y = v.y, z = v.z;
  const decltype(x) zero = 0.0;
  const auto t0 = (((x * i) + (w * zero)) + (y * j)) + (z * k);
  const auto t1 = (((x * w) - (i * zero)) - (z * j)) + (y * k);
  const auto t2 = (((y * w) - (j * zero)) - (x * k)) + (z * i);
  const auto t3 = (((z * w) - (k * zero)) - (y * i)) + (x * j);
  return Vec3<std::remove_const_t<decltype(x)>>{
      (((i * t0) + (w * t1)) + (k * t2)) - (j * t3),
      (((w * t2) + (j * t0)) + (i * t3)) - (k * t1),
      (((w * t3) + (k * t0)) + (j * t1)) - (i * t2),
  };
};

}  // namespace formula

inline Vec3d rotate(const Quat& q, const Vec3d& v) noexcept { return settled(formula::rotate, q, v); }

// ---- measures

// Flips the sign bits of i, j and k.
constexpr Quat conjugate(const Quat& q) noexcept { return {q.w, -q.i, -q.j, -q.k}; }

namespace formula {

// ((w² + i²) + j²) + k², each square rounded before the addition.
inline constexpr auto quat_magnitude_squared = [](const auto& q) noexcept {
  return (((q.w * q.w) + (q.i * q.i)) + (q.j * q.j)) + (q.k * q.k);
};

// Each field divided by the magnitude; no zero test: the zero quaternion gives four NaN.
inline constexpr auto quat_normalize = [](const auto& q) noexcept {
  using std::sqrt;
  const auto m = sqrt(quat_magnitude_squared(q));
  return QuatOf<std::remove_const_t<decltype(m)>>{q.w / m, q.i / m, q.j / m, q.k / m};
};

// From the fields as stored; a non-unit q gives a non-orthogonal matrix.
// Doubling is exact, so only the bracketed sums round.
inline constexpr auto to_rotation_matrix = [](const auto& q) noexcept {
  const auto w = q.w, i = q.i, j = q.j, k = q.k;
  using S = std::remove_const_t<decltype(w)>;
  const S one = 1.0, two = 2.0;
  return Matrix3Of<S>{{
      {one - (two * ((j * j) + (k * k))), two * ((i * j) - (w * k)), two * ((i * k) + (w * j))},
      {two * ((i * j) + (w * k)), one - (two * ((i * i) + (k * k))), two * ((j * k) - (w * i))},
      {two * ((i * k) - (w * j)), two * ((j * k) + (w * i)), one - (two * ((i * i) + (j * j)))},
  }};
};

// a ⊗ b: sixteen rounded products, each sum left to right.
inline constexpr auto then = [](const auto& a, const auto& b) noexcept {
  return QuatOf<std::remove_const_t<decltype(a.w)>>{
      (((a.w * b.w) - (a.i * b.i)) - (a.j * b.j)) - (a.k * b.k),
      (((a.w * b.i) + (a.i * b.w)) + (a.j * b.k)) - (a.k * b.j),
      (((a.w * b.j) - (a.i * b.k)) + (a.j * b.w)) + (a.k * b.i),
      (((a.w * b.k) + (a.i * b.j)) - (a.j * b.i)) + (a.k * b.w),
  };
};

// The conjugate (sign bits of i, j, k flipped) divided field by field by the
// squared magnitude.
inline constexpr auto inverse = [](const auto& q) noexcept {
  const auto n = quat_magnitude_squared(q);
  return QuatOf<std::remove_const_t<decltype(n)>>{q.w / n, (-q.i) / n, (-q.j) / n, (-q.k) / n};
};

}  // namespace formula

constexpr double magnitude_squared(const Quat& q) noexcept { return formula::quat_magnitude_squared(q); }

inline double magnitude(const Quat& q) noexcept { return std::sqrt(magnitude_squared(q)); }

// No zero test: the zero quaternion gives four NaN.
inline Quat normalize(const Quat& q) noexcept { return settled(formula::quat_normalize, q); }

inline bool is_unit(const Quat& q) noexcept { return within_epsilon(magnitude(q), 1.0); }

// From the fields as stored (formula::to_rotation_matrix); a non-unit q gives
// a non-orthogonal matrix.
inline Matrix3 to_rotation_matrix(const Quat& q) noexcept { return settled(formula::to_rotation_matrix, q); }

// From a 3×3 matrix by rows, the inverse of to_rotation_matrix for a rotation
// matrix: returns q or −q, normalised (a matrix rounded to float32 gives a
// quaternion a little off unit length before that). Branches on the largest
// of the trace and the three diagonal terms, which picks the largest of |w|,
// |i|, |j|, |k| (returned positive) as the one taken from a square root, so no
// branch divides by a small number; a single trace formula would lose all
// precision near a half turn. Not checked: any other matrix gives some
// quaternion, NaN gives NaN.
Quat from_rotation_matrix(const Matrix3& m) noexcept;

// Why a matrix is not a rotation matrix, tested in this order.
enum class MatrixFault {
  none,
  not_finite,       // some entry is NaN or infinite
  not_orthonormal,  // some row·row differs from 1, or row·other row from 0, by more than 1e-6 (or is NaN)
  reflection,       // orthonormal with determinant −1
};
// Loose enough for any rotation matrix rounded to float32 (its rows are then
// orthonormal within about 4e-7), tight enough to refuse a plain mistake.
inline constexpr double orthonormal_tolerance = 1e-6;
MatrixFault rotation_matrix_fault(const Matrix3& m) noexcept;

// ---- chaining and interpolation

// q ⊗ other, the rotation that applies q first and other second:
// rotate(then(q, o), v) = rotate(o, rotate(q, v)), since rotate applies the
// conjugate on the left. Sixteen rounded products, each sum left to right.
inline Quat then(const Quat& a, const Quat& b) noexcept { return settled(formula::then, a, b); }

// The conjugate divided field by field by the squared magnitude: undoes q
// (then(q, inverse(q)) is the identity). The zero quaternion gives four NaN.
inline Quat inverse(const Quat& q) noexcept { return settled(formula::inverse, q); }

// Spherical linear interpolation along the shorter arc: both ends normalised,
// `to` negated when the four-dimensional dot product is negative. t = 0 gives
// `from` normalised, t = 1 the (possibly negated) target, other t extrapolate
// along the same great circle. Below an arc of slerp_linear_below radians
// (four-dimensional) the ends are interpolated linearly and normalised.
Quat slerp(const Quat& from, const Quat& to, double t) noexcept;
inline constexpr double slerp_linear_below = 1e-9;

// The shortest-arc rotation that turns the direction of `from` into the
// direction of `to` (through rotate). Parallel directions give the identity;
// opposite ones the half turn (0, −n) about n = normalize(from × e), e the
// unit axis of from's smallest component in absolute value (x before y
// before z on ties); a zero or non-finite vector gives NaN. Otherwise it is
// (cos(θ/2), −sin(θ/2)·axis) like from_axis_angle, for the angle θ between
// the directions and the unit axis along from × to.
Quat between(const Vec3d& from, const Vec3d& to) noexcept;

// ---- other representations of a rotation
//
// Each is defined by what it does to rotate, whatever the convention of the
// representation it reads or writes.

// The scalar-last quaternion of glTF, ROS, Unity and scipy, which rotates v as
// q·v·q*: the conjugate of this class's quaternion for the same rotate. Only
// signs change; nothing is normalised, −0.0 and NaN payloads are kept.
constexpr Quat from_xyzw(double x, double y, double z, double w) noexcept { return {w, -x, -y, -z}; }
constexpr std::array<double, 4> to_xyzw(const Quat& q) noexcept { return {-q.i, -q.j, -q.k, q.w}; }

// The same quaternion scalar first, as PyGLM, Eigen, numpy-quaternion and
// pytransform3d hold it (Hamilton products, v turned as q·v·q*).
constexpr Quat from_wxyz(double w, double x, double y, double z) noexcept { return from_xyzw(x, y, z, w); }
constexpr std::array<double, 4> to_wxyz(const Quat& q) noexcept { return {q.w, -q.i, -q.j, -q.k}; }

// The turn by |v| radians about v/|v| (right-hand rule): the rotation of
// from_axis_angle(normalize(v), |v|). |v| is taken without underflow or
// overflow of its squares, and below rotation_vector_series_below radians
// sin(|v|/2)/|v| comes from its series, so a tiny v gives the vector part −v/2
// to the last bit (the zero vector gives the identity). Infinite or NaN
// components give NaN.
Quat from_rotation_vector(const Vec3d& v) noexcept;
inline constexpr double rotation_vector_series_below = 1e-3;

// The v with |v| in [0, π] that from_rotation_vector turns back into the
// rotation of q, normalised first: the angle is 2·atan2(|vector part|, |w|),
// accurate at every angle, where 2·acos(w) loses the small ones. Zero or
// non-finite q gives NaN.
Vec3d to_rotation_vector(const Quat& q) noexcept;

// The angle in [0, π] of the rotation that takes a to b, q and −q being one
// rotation: both normalised, b taken on a's side, then 4·atan2(|a − b|, |a + b|),
// accurate down to the smallest angles. Zero or non-finite input gives NaN.
double angle_between(const Quat& a, const Quat& b) noexcept;

// ---- Euler angles

// A sequence of three axes (0 = x, 1 = y, 2 = z), no axis twice in a row: the
// six Tait–Bryan sequences (three different axes) and the six proper Euler
// sequences (the first axis again last).
struct EulerAxes {
  std::array<unsigned char, 3> axis;
};

// Parses "xyz", "ZYX", "zxz" ... (either case); nullopt for anything else.
std::optional<EulerAxes> parse_euler_axes(std::string_view text) noexcept;

// Extrinsic "pqr" with (a, b, c) turns about the fixed axis P by a, then the
// fixed Q by b, then the fixed R by c. Intrinsic "pqr" turns about P by a, then
// about the once-turned Q by b, then about the twice-turned R by c: the same
// rotation as extrinsic "rqp" with (c, b, a).
enum class EulerFrame { intrinsic, extrinsic };

// from_axis_angle of each unit axis chained with then, in the frame's order:
// bit for bit from_axis_angle(P, a).then(from_axis_angle(Q, b)).then(from_axis_angle(R, c))
// for extrinsic "pqr".
Quat from_euler(const EulerAxes& axes, EulerFrame frame, double a, double b, double c) noexcept;

// The angles (a, b, c) that from_euler turns back into the rotation of q,
// normalised first. a and c lie in [−π, π]; b in [−π/2, π/2] for Tait–Bryan
// sequences and [0, π] for proper Euler ones. When b comes out exactly at a
// limit of its range (gimbal lock: only a ± c is determined), c is 0 and a
// carries the whole turn. There is no lock threshold: the angles come from
// the half-sum and half-difference of a and c, each an atan2, which stay
// exact close to the lock. Zero or non-finite q gives three NaN.
std::array<double, 3> to_euler(const Quat& q, const EulerAxes& axes, EulerFrame frame) noexcept;

// ---- equality

// Tolerant: every field within ε, tested w, i, j, k. Not transitive; a NaN
// field makes the quaternion unequal to everything, itself included.
constexpr bool operator==(const Quat& a, const Quat& b) noexcept {
  return within_epsilon(a.w, b.w) & within_epsilon(a.i, b.i) & within_epsilon(a.j, b.j) & within_epsilon(a.k, b.k);
}

}  // namespace morvix
