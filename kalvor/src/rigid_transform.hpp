#pragma once
// The Python class RigidTransform, wrapping one morvix::RigidTransform.

#include "kalvor/src/binding/object.hpp"
#include "morvix/src/rigid_transform.hpp"

#include <string>

namespace kalvor {

// Appends the repr of one pose, "RigidTransform(Quat(...), Vec3d(...))".
void append_rigid_transform_repr(std::string& out, const morvix::RigidTransform& t);

}  // namespace kalvor

KALVOR_DECLARE_CLASS(morvix::RigidTransform, "kalvor", "RigidTransform");
