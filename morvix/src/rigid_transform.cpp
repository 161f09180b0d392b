#include "morvix/src/rigid_transform.hpp"

#include <cmath>

namespace morvix {

namespace {

constexpr Matrix3 rotation_block(const Matrix4& m) noexcept {
  return {{{m[0][0], m[0][1], m[0][2]}, {m[1][0], m[1][1], m[1][2]}, {m[2][0], m[2][1], m[2][2]}}};
}

}  // namespace

RigidMatrixFault rigid_matrix_fault(const Matrix4& m) noexcept {
  switch (rotation_matrix_fault(rotation_block(m))) {
    case MatrixFault::not_orthonormal:
      return RigidMatrixFault::not_orthonormal;
    case MatrixFault::reflection:
      return RigidMatrixFault::reflection;
    case MatrixFault::none:
      break;
  }
  const double deviations[] = {m[0][3], m[1][3], m[2][3], m[3][3] - 1.0};
  // Written so that a NaN fails the test.
  for (const double deviation : deviations)
    if (!(std::fabs(deviation) <= last_column_tolerance)) return RigidMatrixFault::last_column;
  return RigidMatrixFault::none;
}

RigidTransform from_matrix(const Matrix4& m) noexcept {
  return {from_rotation_matrix(rotation_block(m)), {m[3][0], m[3][1], m[3][2]}};
}

}  // namespace morvix
