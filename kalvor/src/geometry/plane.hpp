#pragma once
// The Python class Plane of kalvor.geometry, wrapping one morvix::Plane.

#include "kalvor/src/binding/object.hpp"
#include "morvix/src/geometry/plane.hpp"

KALVOR_DECLARE_CLASS(morvix::Plane, "kalvor.geometry", "Plane");
