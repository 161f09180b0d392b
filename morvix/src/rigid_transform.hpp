#pragma once
// RigidTransform: a pose, the rotation `rotation` followed by the translation
// `translation`, so that it maps v to rotate(rotation, v) + translation.
//
// Poses compose, undo and interpolate as algebra on the two parts, never
// through a 4×4 matrix. Like Quat, a pose is never normalised behind the
// caller's back: a non-unit rotation scales what it moves by its squared
// magnitude, and then/inverse follow rotate wherever it goes.

#include <array>
#include <type_traits>

#include "morvix/src/quat.hpp"
#include "morvix/src/vec3d.hpp"

namespace morvix {

struct RigidTransform {
  Quat rotation;
  Vec3d translation;

  static constexpr RigidTransform identity() noexcept { return {Quat::identity(), zero()}; }
};

// Rows of a 4×4 matrix, row 1 first.
using Matrix4 = std::array<std::array<double, 4>, 4>;

// ---- settling (morvix/src/strict.hpp): a pose on Strict values

struct StrictRigidTransform {
  StrictQuat rotation;
  Vec3<Strict> translation;
};
template <class S>
using RigidTransformOf = std::conditional_t<std::is_same_v<S, Strict>, StrictRigidTransform, RigidTransform>;
template <class S>
using Matrix4Of = std::array<std::array<S, 4>, 4>;

constexpr StrictRigidTransform strict_of(const RigidTransform& t) noexcept {
  return {strict_of(t.rotation), strict_of(t.translation)};
}
constexpr RigidTransform from_strict(const StrictRigidTransform& t) noexcept {
  return {from_strict(t.rotation), from_strict(t.translation)};
}
inline bool has_nan(const RigidTransform& t) noexcept { return has_nan(t.rotation) || has_nan(t.translation); }

namespace formula {

// rotate(q, v) + t: the rotation first, then each component plus its
// translation (one rounding each). The bulk list transform runs this very
// formula, so its elements carry the bits of apply.
inline constexpr auto transform = [](const auto& q, const auto& t, const auto& v) noexcept {
  return add(rotate(q, v), t);
};

// The formulas of a whole pose, which the single pose and the bulk list run
// alike. Settled as a whole, each part comes out with the bits it has when
// settled alone: a part without NaN is the same on doubles and on Strict.
inline constexpr auto pose_apply = [](const auto& t, const auto& v) noexcept {
  return transform(t.rotation, t.translation, v);
};
inline constexpr auto pose_then = [](const auto& a, const auto& b) noexcept {
  using S = std::remove_const_t<decltype(a.rotation.w)>;
  return RigidTransformOf<S>{then(a.rotation, b.rotation), transform(b.rotation, b.translation, a.translation)};
};
inline constexpr auto pose_inverse = [](const auto& t) noexcept {
  using S = std::remove_const_t<decltype(t.rotation.w)>;
  const auto r = inverse(t.rotation);
  const auto moved = rotate(r, t.translation);
  return RigidTransformOf<S>{r, Vec3<S>{-moved.x, -moved.y, -moved.z}};
};
inline constexpr auto pose_normalize = [](const auto& t) noexcept {
  using S = std::remove_const_t<decltype(t.rotation.w)>;
  return RigidTransformOf<S>{quat_normalize(t.rotation), t.translation};
};

}  // namespace formula

// ---- applying, composing, undoing

// Bit for bit rotate(t.rotation, v) + t.translation, NaN results included.
inline Vec3d apply(const RigidTransform& t, const Vec3d& v) noexcept {
  return settled(formula::transform, t.rotation, t.translation, v);
}

// The pose that applies `a` first and `b` second: rotation then(a, b), and
// a's translation carried through b, apply(b, a.translation).
inline RigidTransform then(const RigidTransform& a, const RigidTransform& b) noexcept {
  return settled(formula::pose_then, a, b);
}

// Rotation inverse(r); translation −rotate(inverse(r), t), the negation exact.
// The zero rotation gives NaN everywhere.
inline RigidTransform inverse(const RigidTransform& t) noexcept { return settled(formula::pose_inverse, t); }

// The rotation by slerp (so normalised), the translation (1 − s)·a + s·b,
// each product rounded before the sum. Not screw-linear: the path of a
// moved point is not a helix unless the translation lies along the axis.
inline RigidTransform interpolate(const RigidTransform& a, const RigidTransform& b, double s) noexcept {
  return {slerp(a.rotation, b.rotation, s), ((1.0 - s) * a.translation) + (s * b.translation)};
}

// The rotation normalised (normalize(Quat)), the translation unchanged.
inline RigidTransform normalize(const RigidTransform& t) noexcept { return settled(formula::pose_normalize, t); }

// ---- trajectory rows: (x, y, z, qx, qy, qz, qw), the translation then the
// scalar-last quaternion as from_xyzw reads it. Only signs change, so a row
// read and written back keeps its bits, NaN payloads included.

using PoseRow = std::array<double, 7>;

constexpr RigidTransform from_xyz_xyzw(const PoseRow& r) noexcept {
  return {from_xyzw(r[3], r[4], r[5], r[6]), {r[0], r[1], r[2]}};
}
constexpr PoseRow to_xyz_xyzw(const RigidTransform& t) noexcept {
  const std::array<double, 4> q = to_xyzw(t.rotation);
  return {t.translation.x, t.translation.y, t.translation.z, q[0], q[1], q[2], q[3]};
}

// ---- 4×4 matrices, in the column-vector convention of OpenGL, Eigen, ROS
// and scipy: M·[x, y, z, 1] = [apply(t, v), 1]. The top-left block A is the
// matrix with A·v = rotate(rotation, v), the transpose of
// to_rotation_matrix(rotation); the last column holds the translation and 1,
// the last row is (0, 0, 0, 1).

namespace formula {

inline constexpr auto pose_matrix = [](const auto& t) noexcept {
  using S = std::remove_const_t<decltype(t.rotation.w)>;
  const auto r = to_rotation_matrix(t.rotation);
  const S zero = 0.0, one = 1.0;
  return Matrix4Of<S>{{
      {r[0][0], r[1][0], r[2][0], t.translation.x},
      {r[0][1], r[1][1], r[2][1], t.translation.y},
      {r[0][2], r[1][2], r[2][2], t.translation.z},
      {zero, zero, zero, one},
  }};
};

}  // namespace formula

inline Matrix4 to_matrix(const RigidTransform& t) noexcept { return settled(formula::pose_matrix, t); }

// A 4×4 matrix from its top three rows, the last row (0, 0, 0, 1): the
// [block | translation] rows of pose stacks that leave that row out (KITTI).
using Matrix34 = std::array<std::array<double, 4>, 3>;
constexpr Matrix4 with_last_row(const Matrix34& top) noexcept { return {top[0], top[1], top[2], {0.0, 0.0, 0.0, 1.0}}; }

// Why a 4×4 matrix is not a pose, tested in this order. One matrix at a time,
// so a list of matrices reports the first fault of each.
enum class RigidMatrixFault {
  none,
  not_finite,       // some entry, anywhere, is NaN or infinite
  not_orthonormal,  // the rows of the top-left block, as rotation_matrix_fault tests them
  reflection,       // the top-left block is orthonormal with determinant −1
  last_row,         // some entry of the last row is off (0, 0, 0, 1) by more than 1e-12
};
inline constexpr double last_row_tolerance = 1e-12;
RigidMatrixFault rigid_matrix_fault(const Matrix4& m) noexcept;

// The inverse of to_matrix for a matrix without fault: the rotation from the
// transposed top-left block by from_rotation_matrix (q or −q), the
// translation the last column. Not checked: any other matrix gives some pose.
RigidTransform from_matrix(const Matrix4& m) noexcept;

// ---- equality

// Tolerant: both parts as Quat and Vec3d compare them.
constexpr bool operator==(const RigidTransform& a, const RigidTransform& b) noexcept {
  return (a.rotation == b.rotation) & (a.translation == b.translation);
}

}  // namespace morvix
