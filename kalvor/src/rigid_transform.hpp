#pragma once
// The Python class RigidTransform, wrapping one morvix::RigidTransform.

#include "kalvor/src/binding/object.hpp"
#include "morvix/src/rigid_transform.hpp"

KALVOR_DECLARE_CLASS(morvix::RigidTransform, "kalvor", "RigidTransform");
