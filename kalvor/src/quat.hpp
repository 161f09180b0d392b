#pragma once
// The Python class Quat.

#include "kalvor/src/binding/object.hpp"
#include "morvix/src/quat.hpp"

KALVOR_DECLARE_CLASS(morvix::Quat, "kalvor", "Quat");
