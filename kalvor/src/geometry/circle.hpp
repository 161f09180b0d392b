#pragma once
// The Python class Circle of kalvor.geometry, wrapping one morvix::Circle.

#include "kalvor/src/binding/object.hpp"
#include "morvix/src/geometry/circle.hpp"

KALVOR_DECLARE_CLASS(morvix::Circle, "kalvor.geometry", "Circle");
