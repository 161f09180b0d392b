#include "morvix/src/rigid_transform.hpp"

#include <cmath>

namespace morvix {

namespace {

constexpr Matrix3 rotation_block(const Matrix4& m) noexcept {
  return {{{m[0][0], m[0][1], m[0][2]}, {m[1][0], m[1][1], m[1][2]}, {m[2][0], m[2][1], m[2][2]}}};
}

constexpr Matrix3 transposed(const Matrix3& a) noexcept {
  return {{{a[0][0], a[1][0], a[2][0]}, {a[0][1], a[1][1], a[2][1]}, {a[0][2], a[1][2], a[2][2]}}};
}

}  // namespace

RigidMatrixFault rigid_matrix_fault(const Matrix4& m) noexcept {
  for (const auto& row : m)
    for (const double entry : row)
      if (!std::isfinite(entry)) return RigidMatrixFault::not_finite;
  // The block's rows, as the rotation matrix's are tested; the transposed
  // block has the same determinant.
  switch (rotation_matrix_fault(rotation_block(m))) {
    case MatrixFault::not_finite:  // tested above
    case MatrixFault::not_orthonormal:
      return RigidMatrixFault::not_orthonormal;
    case MatrixFault::reflection:
      return RigidMatrixFault::reflection;
    case MatrixFault::none:
      break;
  }
  const double deviations[] = {m[3][0], m[3][1], m[3][2], m[3][3] - 1.0};
  for (const double deviation : deviations)
    if (!(std::fabs(deviation) <= last_row_tolerance)) return RigidMatrixFault::last_row;
  return RigidMatrixFault::none;
}

RigidTransform from_matrix(const Matrix4& m) noexcept {
  return {from_rotation_matrix(transposed(rotation_block(m))), {m[0][3], m[1][3], m[2][3]}};
}

}  // namespace morvix
