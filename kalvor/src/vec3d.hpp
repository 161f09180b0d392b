#pragma once
// The Python class Vec3d, wrapping one morvix::Vec3d.

#include "kalvor/src/binding/object.hpp"
#include "morvix/src/vec3d.hpp"

#include <string>

KALVOR_DECLARE_CLASS(morvix::Vec3d, "kalvor", "Vec3d");

namespace kalvor {

// "Vec3d(x, y, z)" in the module's float text format; VecList's repr uses it too.
void append_vec3d_repr(std::string& out, const morvix::Vec3d& v);

}  // namespace kalvor
