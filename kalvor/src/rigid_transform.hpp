#pragma once
// The Python class RigidTransform, wrapping one morvix::RigidTransform.

#include "kalvor/src/binding/object.hpp"
#include "morvix/src/rigid_transform.hpp"

#include <string>

namespace kalvor {

// Appends the repr of one pose, "RigidTransform(Quat(...), Vec3d(...))".
void append_rigid_transform_repr(std::string& out, const morvix::RigidTransform& t);

// RigidTransform.from_matrix: the pose of a 4×4 pose matrix, or a ValueError
// (pending, thrown as PythonError) saying which test the matrix failed.
morvix::RigidTransform checked_pose_of_matrix(const morvix::Matrix4& m);

}  // namespace kalvor

KALVOR_DECLARE_CLASS(morvix::RigidTransform, "kalvor", "RigidTransform");
