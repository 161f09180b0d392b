#include "morvix/src/quat.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace morvix {

namespace {

// ((a.w·b.w + a.i·b.i) + a.j·b.j) + a.k·b.k
constexpr double dot4(const Quat& a, const Quat& b) noexcept {
  return (((a.w * b.w) + (a.i * b.i)) + (a.j * b.j)) + (a.k * b.k);
}

constexpr Quat negated(const Quat& q) noexcept { return {-q.w, -q.i, -q.j, -q.k}; }

// wa·a + wb·b, field by field.
constexpr Quat combine(double wa, const Quat& a, double wb, const Quat& b) noexcept {
  return {(wa * a.w) + (wb * b.w), (wa * a.i) + (wb * b.i), (wa * a.j) + (wb * b.j), (wa * a.k) + (wb * b.k)};
}

// √(x₀² + x₁² + ...), the squares summed left to right.
template <class... X>
double plain_norm(X... x) noexcept {
  return std::sqrt((... + (x * x)));
}

// The same without underflow or overflow of the squares: when the largest |xₙ|
// lies outside [2⁻⁵⁰⁰, 2⁵⁰⁰] the terms are first scaled by an exact power of
// two. Inside, the bits are those of plain_norm. A NaN reaches the result on
// every path.
template <class... X>
double scaled_norm(X... x) noexcept {
  const double largest = std::max({std::fabs(x)...});
  if (largest < 0x1p-500) return plain_norm((x * 0x1p600)...) * 0x1p-600;
  if (largest > 0x1p500) return plain_norm((x * 0x1p-600)...) * 0x1p600;
  return plain_norm(x...);
}

// The four-dimensional angle between two unit quaternions from the lengths of
// their difference and sum, 2·atan2(|a − b|, |a + b|): accurate to the last
// bits at every angle, where acos of the dot product loses half of them near 0.
double arc(const Quat& a, const Quat& b) noexcept {
  return 2.0 * std::atan2(scaled_norm(a.w - b.w, a.i - b.i, a.j - b.j, a.k - b.k),
                          scaled_norm(a.w + b.w, a.i + b.i, a.j + b.j, a.k + b.k));
}

// The unit vector along axis 0, 1 or 2.
Vec3d unit_axis(unsigned char axis) noexcept { return axis == 0 ? unit_i() : axis == 1 ? unit_j() : unit_k(); }

// Into [−π, π]: the angles it gets lie in [−2π, 2π]. Adding +0.0 turns −0.0,
// which a flipped sum of zeros gives, into 0.0 and changes nothing else.
double wrapped(double angle) noexcept {
  constexpr double pi = AngleRadians::pi().angle, two_pi = AngleRadians::two_pi().angle;
  return (angle > pi ? angle - two_pi : angle < -pi ? angle + two_pi : angle) + 0.0;
}

}  // namespace

// ---- interpolation

// Each field divided by the magnitude, as normalize does, without settling:
// for the functions of this file that normalise their input (slerp, the
// rotation vector, angle_between, the Euler angles). They only ever run out of
// line, so a QuatList element and the Quat method give the same bits, NaN
// included, and settling cost slerp a fifth of its call. Always inlined: its
// quaternion handed back through memory cost to_rotation_vector 15 ns a call.
namespace {
[[gnu::always_inline]] inline Quat scaled_to_unit(const Quat& q) noexcept {
  const double m = magnitude(q);
  return {q.w / m, q.i / m, q.j / m, q.k / m};
}
}  // namespace

Quat slerp(const Quat& from, const Quat& to, double t) noexcept {
  const Quat a = scaled_to_unit(from);
  Quat b = scaled_to_unit(to);
  // q and −q are the same rotation: take the end on a's side of the sphere.
  if (dot4(a, b) < 0.0) b = negated(b);
  const double omega = arc(a, b);
  if (omega < slerp_linear_below) return scaled_to_unit(combine(1.0 - t, a, t, b));
  // At t = 0 and t = 1 one weight is exactly 1 and the other 0.
  const double s = std::sin(omega);
  return combine(std::sin((1.0 - t) * omega) / s, a, std::sin(t * omega) / s, b);
}

// ---- between two directions

Quat between(const Vec3d& from, const Vec3d& to) noexcept {
  const Vec3d a = normalize(from);
  const Vec3d b = normalize(to);
  // NaN exactly when a or b holds a NaN (a zero or non-finite input).
  const double d = dot(a, b);
  // Beyond a right angle the cross product is taken as a × (a + b), the same
  // vector: near a half turn a × b is two nearly equal products cancelling,
  // pure rounding noise, while a + b is exact there (each sum of nearly
  // opposite components is) and a × (a + b) rounds each product once.
  const Vec3d c = d < 0.0 ? cross(a, a + b) : cross(a, b);
  // A NaN here makes the result NaN whatever largest holds: see d.
  const double largest = std::max(std::max(std::fabs(c.x), std::fabs(c.y)), std::fabs(c.z));
  if (largest == 0.0 && d > 0.0) return Quat::identity();
  if (largest == 0.0 && d < 0.0) {
    // Any axis perpendicular to a will do; this one is fixed by a alone.
    const double ax = std::fabs(a.x), ay = std::fabs(a.y), az = std::fabs(a.z);
    const Vec3d e = (ax <= ay && ax <= az) ? unit_i() : (ay <= az) ? unit_j() : unit_k();
    const Vec3d n = normalize(cross(a, e));
    return {0.0, -n.x, -n.y, -n.z};
  }
  // The axis: the cross product, normalised. An error e along a in it comes
  // back in rotate(q, a) scaled by 1 − cos θ, and e is about 1e-16 / sin θ: so
  // beyond a right angle, where that product grows without bound near a half
  // turn, the component along a is first projected out (an error within the
  // plane perpendicular to a is scaled down by sin θ). A tiny cross product
  // (nearly parallel or opposite directions) is first scaled by 2⁶⁰⁰, exactly,
  // so that its squares do not underflow.
  const Vec3d u = largest < 0x1p-500 ? c * 0x1p600 : c;
  const Vec3d axis = normalize(d < 0.0 ? u - (a * dot(u, a)) : u);
  // cos(θ/2) and sin(θ/2) are half the chord lengths |a + b| and |a − b|:
  // accurate at every angle, where 1 + a·b or acos(a·b) lose digits near 0
  // and π. Stored as from_axis_angle does, the sine negated.
  const double half_sin = magnitude(a - b) * 0.5;
  return {magnitude(a + b) * 0.5, -(half_sin * axis.x), -(half_sin * axis.y), -(half_sin * axis.z)};
}

// ---- rotation matrices

namespace {

Quat unnormalised_from_rotation_matrix(const Matrix3& m) noexcept {
  const double m00 = m[0][0], m01 = m[0][1], m02 = m[0][2];
  const double m10 = m[1][0], m11 = m[1][1], m12 = m[1][2];
  const double m20 = m[2][0], m21 = m[2][1], m22 = m[2][2];
  const double trace = (m00 + m11) + m22;
  // 4w² = 1 + trace, 4i² = 1 + m00 − m11 − m22, and so on: the largest of
  // trace, m00, m11, m22 marks the largest component. s is four times it.
  if (trace >= m00 && trace >= m11 && trace >= m22) {
    const double s = std::sqrt(1.0 + trace) * 2.0;
    return {s * 0.25, (m21 - m12) / s, (m02 - m20) / s, (m10 - m01) / s};
  }
  if (m00 >= m11 && m00 >= m22) {
    const double s = std::sqrt(((1.0 + m00) - m11) - m22) * 2.0;
    return {(m21 - m12) / s, s * 0.25, (m01 + m10) / s, (m02 + m20) / s};
  }
  if (m11 >= m22) {
    const double s = std::sqrt(((1.0 + m11) - m00) - m22) * 2.0;
    return {(m02 - m20) / s, (m01 + m10) / s, s * 0.25, (m12 + m21) / s};
  }
  const double s = std::sqrt(((1.0 + m22) - m00) - m11) * 2.0;
  return {(m10 - m01) / s, (m02 + m20) / s, (m12 + m21) / s, s * 0.25};
}

}  // namespace

Quat from_rotation_matrix(const Matrix3& m) noexcept { return normalize(unnormalised_from_rotation_matrix(m)); }

MatrixFault rotation_matrix_fault(const Matrix3& m) noexcept {
  for (const auto& row : m)
    for (const double entry : row)
      if (!std::isfinite(entry)) return MatrixFault::not_finite;
  const Vec3d r0{m[0][0], m[0][1], m[0][2]};
  const Vec3d r1{m[1][0], m[1][1], m[1][2]};
  const Vec3d r2{m[2][0], m[2][1], m[2][2]};
  const double deviations[] = {
      dot(r0, r0) - 1.0, dot(r1, r1) - 1.0, dot(r2, r2) - 1.0, dot(r0, r1), dot(r0, r2), dot(r1, r2),
  };
  // Written so that a NaN fails the test.
  for (const double deviation : deviations)
    if (!(std::fabs(deviation) <= orthonormal_tolerance)) return MatrixFault::not_orthonormal;
  if (scalar_triple_product(r0, r1, r2) < 0.0) return MatrixFault::reflection;
  return MatrixFault::none;
}

// ---- other representations

Quat from_rotation_vector(const Vec3d& v) noexcept {
  const double angle = scaled_norm(v.x, v.y, v.z);
  // sin(θ/2)/θ = 1/2 − θ²/48 + θ⁴/3840 − ...; the next term is below 1e-23
  // of the sum there, and θ² may underflow to 0 harmlessly.
  const double t = angle * angle;
  // Both of the half angle, unconditionally: the compiler makes them one sincos.
  const double half_cos = std::cos(angle * 0.5), half_sin = std::sin(angle * 0.5);
  const double s = angle < rotation_vector_series_below ? 0.5 - (t * ((1.0 / 48.0) - (t / 3840.0))) : half_sin / angle;
  // Stored as from_axis_angle does, the sine negated.
  return {half_cos, -(s * v.x), -(s * v.y), -(s * v.z)};
}

Vec3d to_rotation_vector(const Quat& q) noexcept {
  const Quat n = scaled_to_unit(q);
  const double s = scaled_norm(n.i, n.j, n.k);
  const double angle = 2.0 * std::atan2(s, std::fabs(n.w));
  // θ and s are both accurate, so θ/s is too, down to the smallest angles: no
  // series needed. It tends to 2/|w| as s goes to 0; s = 0 (the identity)
  // takes the limit.
  // A NaN fails the test and reaches the limit's division.
  const double scale = s > 0.0 ? angle / s : 2.0 / std::fabs(n.w);
  // q and −q are one rotation: the one with w ≥ 0 has the vector part
  // −sin(θ/2)·v/|v|, from_axis_angle's sign.
  const double k = -std::copysign(scale, n.w);
  return {k * n.i, k * n.j, k * n.k};
}

double angle_between(const Quat& a, const Quat& b) noexcept {
  const Quat na = scaled_to_unit(a);
  Quat nb = scaled_to_unit(b);
  if (dot4(na, nb) < 0.0) nb = negated(nb);
  // The rotation's angle is twice the four-dimensional one.
  return 2.0 * arc(na, nb);
}

// ---- Euler angles

std::optional<EulerAxes> parse_euler_axes(std::string_view text) noexcept {
  if (text.size() != 3) return std::nullopt;
  EulerAxes axes{};
  for (std::size_t n = 0; n < 3; ++n) {
    // Setting bit 5 lower-cases X, Y, Z and maps no other byte onto x, y, z.
    const int letter = text[n] | 0x20;
    if (letter < 'x' || letter > 'z') return std::nullopt;
    axes.axis[n] = static_cast<unsigned char>(letter - 'x');
  }
  if (axes.axis[0] == axes.axis[1] || axes.axis[1] == axes.axis[2]) return std::nullopt;
  return axes;
}

Quat from_euler(const EulerAxes& axes, EulerFrame frame, double a, double b, double c) noexcept {
  const Quat first = from_axis_angle(unit_axis(axes.axis[0]), {a});
  const Quat second = from_axis_angle(unit_axis(axes.axis[1]), {b});
  const Quat third = from_axis_angle(unit_axis(axes.axis[2]), {c});
  return frame == EulerFrame::extrinsic ? then(then(first, second), third) : then(then(third, second), first);
}

// Bernardes and Viollet's method, for all twelve sequences at once. For the
// extrinsic proper sequence p m p with angles (a, b, c), the scalar-last
// quaternion of the rotation (the conjugate of ours) is
//   w = cos(b/2)·cos(σ),  v_p = cos(b/2)·sin(σ),  v_m = sin(b/2)·cos(δ),  ±v_o = sin(b/2)·sin(δ)
// with σ = (a + c)/2, δ = (c − a)/2, o the third axis, + when p, m, o run in the
// cyclic order x, y, z. So b/2, σ and δ are three atan2. A Tait–Bryan sequence
// p m r is the proper p m p after a quarter turn about m, which adds π/2 to b and
// flips c for a non-cyclic order; (a', b', c', d') below are that product's
// components (times √2, which atan2 ignores). Intrinsic "pqr" is extrinsic
// "rqp" with the angles reversed.
std::array<double, 3> to_euler(const Quat& q, const EulerAxes& axes, EulerFrame frame) noexcept {
  constexpr double pi = AngleRadians::pi().angle, half_pi = AngleRadians::half_pi().angle;
  const bool intrinsic = frame == EulerFrame::intrinsic;
  const unsigned p = axes.axis[intrinsic ? 2 : 0], m = axes.axis[1], r = axes.axis[intrinsic ? 0 : 2];
  const bool proper = p == r;
  const double sign = (m + 3 - p) % 3 == 1 ? 1.0 : -1.0;
  const Quat n = scaled_to_unit(q);
  const double w = n.w, v[3] = {-n.i, -n.j, -n.k};
  const double ap = proper ? w : w - v[m];
  const double bp = proper ? v[p] : v[p] + (sign * v[r]);
  const double cp = proper ? v[m] : v[m] + w;
  const double dp = proper ? sign * v[3 - p - m] : (sign * v[r]) - v[p];
  const double half_b = std::atan2(plain_norm(cp, dp), plain_norm(ap, bp));
  const double half_sum = std::atan2(bp, ap), half_diff = std::atan2(dp, cp);
  const double b = proper ? half_b * 2.0 : (half_b * 2.0) - half_pi;
  // c as the proper sequence has it; the Tait–Bryan one is flipped by `sign`.
  const double flip = proper ? 1.0 : sign;
  double first = half_sum - half_diff, last = flip * (half_sum + half_diff);
  // b exactly at a limit: only first + c (at the low one) or c − first (at the
  // high one) is determined, 2σ or 2δ. The angle the caller reads last (c,
  // which is `first` here when intrinsic) is 0, the other carries the turn.
  // Close to a limit σ and δ are still exact, so no threshold is needed.
  const bool low = proper ? b == 0.0 : b == -half_pi, high = proper ? b == pi : b == half_pi;
  if (low || high) {
    const double turn = low ? half_sum * 2.0 : half_diff * 2.0;
    first = intrinsic ? 0.0 : (low ? turn : -turn);
    last = intrinsic ? flip * turn : 0.0;
  }
  first = wrapped(first);
  last = wrapped(last);
  if (intrinsic) return {last, b, first};
  return {first, b, last};
}

}  // namespace morvix
