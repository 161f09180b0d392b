#pragma once
// The Python classes AngleRadians and AngleDegrees.

#include "kalvor/src/binding/object.hpp"
#include "morvix/src/angle.hpp"

KALVOR_DECLARE_CLASS(morvix::AngleRadians, "kalvor", "AngleRadians");
KALVOR_DECLARE_CLASS(morvix::AngleDegrees, "kalvor", "AngleDegrees");
