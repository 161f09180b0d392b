#pragma once
// The Python class Quat.

#include "kalvor/src/binding/object.hpp"
#include "morvix/src/quat.hpp"

#include <string>

KALVOR_DECLARE_CLASS(morvix::Quat, "kalvor", "Quat");

namespace kalvor {

// "Quat(w, i, j, k)" in the module's float text format; the reprs of QuatList and
// RigidTransform use it too.
void append_quat_repr(std::string& out, const morvix::Quat& q);

}  // namespace kalvor
