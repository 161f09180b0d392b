#pragma once
// The module functions of kalvor.geometry: plane_line, circle_point,
// circle_point_unchecked and circle_circle.

#include <Python.h>

namespace kalvor {

// Adds circle_circle, circle_point, circle_point_unchecked and plane_line to
// the module, in that order, by the adding rule; -1 with an error set when an
// addition fails (the ones after it are not made).
int add_intersection_functions(PyObject* module) noexcept;

}  // namespace kalvor
