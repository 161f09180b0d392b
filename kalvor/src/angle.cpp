#include "kalvor/src/angle.hpp"

#include "kalvor/src/binding/class_builder.hpp"

#include <tuple>

namespace kalvor {

using morvix::AngleDegrees;
using morvix::AngleRadians;

namespace {

// Exact IEEE comparison for <, <=, ==, >, >= (the slot derives !=); every
// test involving a NaN is false.
template <class Angle>
bool angle_compare_impl(const Angle& a, const Angle& b, int op) {
  switch (op) {
    case Py_LT: return a.angle < b.angle;
    case Py_LE: return a.angle <= b.angle;
    case Py_EQ: return a.angle == b.angle;
    case Py_GT: return a.angle > b.angle;
    default: return a.angle >= b.angle;
  }
}

// The number and its unit, as morvix::to_string writes them.
binding::TextForm radians_text_impl(const AngleRadians& a) { return {"", "", morvix::radians_suffix, {a.angle}, 1}; }
binding::TextForm degrees_text_impl(const AngleDegrees& a) { return {"", "", morvix::degrees_suffix, {a.angle}, 1}; }

template <class Angle>
Angle angle_neg_impl(const Angle& a) {
  return -a;
}

template <class Angle>
std::tuple<double> angle_args_impl(const Angle& a) {
  return {a.angle};
}

// ---- AngleRadians

AngleRadians radians_new_impl(double angle) { return {angle}; }
AngleDegrees radians_to_degrees_impl(const AngleRadians& r) { return morvix::to_degrees(r); }
double radians_sin_impl(const AngleRadians& r) { return morvix::sin(r); }
double radians_cos_impl(const AngleRadians& r) { return morvix::cos(r); }
double radians_tan_impl(const AngleRadians& r) { return morvix::tan(r); }
double radians_sec_impl(const AngleRadians& r) { return morvix::sec(r); }
double radians_csc_impl(const AngleRadians& r) { return morvix::csc(r); }
double radians_cot_impl(const AngleRadians& r) { return morvix::cot(r); }
AngleRadians radians_add_impl(const AngleRadians& a, const AngleRadians& other) { return a + other; }
AngleRadians radians_sub_impl(const AngleRadians& a, const AngleRadians& other) { return a - other; }
AngleRadians radians_mul_impl(const AngleRadians& a, double rhs) { return a * rhs; }
AngleRadians radians_truediv_impl(const AngleRadians& a, double rhs) { return a / rhs; }

binding::ClassBuilder<AngleRadians> radians_table() {
  return std::move(binding::ClassBuilder<AngleRadians>("AngleRadians")
                       .constructor<radians_new_impl>("angle")
                       .static_method<&AngleRadians::zero>("zero")
                       .static_method<&AngleRadians::pi>("pi")
                       .static_method<&AngleRadians::two_pi>("two_pi")
                       .static_method<&AngleRadians::half_pi>("half_pi")
                       .static_method<&AngleRadians::quarter_pi>("quarter_pi")
                       .static_method<&AngleRadians::third_pi>("third_pi")
                       .static_method<&AngleRadians::sixth_pi>("sixth_pi")
                       .field<&AngleRadians::angle>("angle")
                       .method<radians_to_degrees_impl>("to_degrees")
                       .method<radians_sin_impl>("sin")
                       .method<radians_cos_impl>("cos")
                       .method<radians_tan_impl>("tan")
                       .method<radians_sec_impl>("sec")
                       .method<radians_csc_impl>("csc")
                       .method<radians_cot_impl>("cot")
                       .neg<angle_neg_impl<AngleRadians>>()
                       .text<radians_text_impl>()
                       .add<radians_add_impl>()
                       .sub<radians_sub_impl>()
                       .mul<radians_mul_impl>()
                       .truediv<radians_truediv_impl>()
                       .ordering<angle_compare_impl<AngleRadians>>()
                       .pickled_by_constructor<angle_args_impl<AngleRadians>>());
}

// ---- AngleDegrees

AngleDegrees degrees_new_impl(double angle) { return {angle}; }
AngleRadians degrees_to_radians_impl(const AngleDegrees& d) { return morvix::to_radians(d); }

binding::ClassBuilder<AngleDegrees> degrees_table() {
  return std::move(binding::ClassBuilder<AngleDegrees>("AngleDegrees")
                       .constructor<degrees_new_impl>("angle")
                       .field<&AngleDegrees::angle>("angle")
                       .method<degrees_to_radians_impl>("to_radians")
                       .text<degrees_text_impl>()
                       .neg<angle_neg_impl<AngleDegrees>>()
                       .ordering<angle_compare_impl<AngleDegrees>>()
                       .pickled_by_constructor<angle_args_impl<AngleDegrees>>());
}

}  // namespace

}  // namespace kalvor

KALVOR_CLASS_TYPE(morvix::AngleRadians, kalvor::radians_table)
KALVOR_CLASS_TYPE(morvix::AngleDegrees, kalvor::degrees_table)
