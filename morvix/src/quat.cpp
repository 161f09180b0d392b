#include "morvix/src/quat.hpp"

#include <algorithm>
#include <cmath>

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

// The four-dimensional angle between two unit quaternions from the lengths of
// their difference and sum, 2·atan2(|a − b|, |a + b|): accurate to the last
// bits at every angle, where acos of the dot product loses half of them near 0.
double arc(const Quat& a, const Quat& b) noexcept {
  const Quat d{a.w - b.w, a.i - b.i, a.j - b.j, a.k - b.k};
  const Quat s{a.w + b.w, a.i + b.i, a.j + b.j, a.k + b.k};
  return 2.0 * std::atan2(magnitude(d), magnitude(s));
}

}  // namespace

// ---- interpolation

// Both steps are kept out of line: slerp and every caller that prepares the
// arc once run this very code, so their results agree to the bit, NaN included.
[[gnu::noinline]] SlerpArc slerp_arc(const Quat& from, const Quat& to) noexcept {
  const Quat a = normalize(from);
  Quat b = normalize(to);
  // q and −q are the same rotation: take the end on a's side of the sphere.
  if (dot4(a, b) < 0.0) b = negated(b);
  const double omega = arc(a, b);
  return {a, b, omega, std::sin(omega)};
}

[[gnu::noinline]] Quat slerp_at(const SlerpArc& arc, double t) noexcept {
  const Quat& a = arc.from;
  const Quat& b = arc.to;
  const double omega = arc.omega;
  if (omega < slerp_linear_below) return normalize(combine(1.0 - t, a, t, b));
  // At t = 0 and t = 1 one weight is exactly 1 and the other 0.
  const double s = arc.sin_omega;
  return combine(std::sin((1.0 - t) * omega) / s, a, std::sin(t * omega) / s, b);
}

Quat slerp(const Quat& from, const Quat& to, double t) noexcept { return slerp_at(slerp_arc(from, to), t); }

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

Quat from_rotation_matrix(const Matrix3& m) noexcept {
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

MatrixFault rotation_matrix_fault(const Matrix3& m) noexcept {
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

}  // namespace morvix
