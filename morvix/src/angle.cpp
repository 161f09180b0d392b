#include "morvix/src/angle.hpp"

#include "morvix/src/text.hpp"

namespace morvix {

namespace {

constexpr const char* radians_suffix = " radians";
// U+00B0 DEGREE SIGN in UTF-8, spelled as bytes so the execution charset does not matter.
constexpr const char* degrees_suffix = "\xC2\xB0";

}  // namespace

std::string to_string(AngleRadians r) noexcept {
  std::string out;
  append_float(out, r.angle);
  out += radians_suffix;
  return out;
}

std::string to_string(AngleRadians r, int decimals) noexcept {
  std::string out;
  append_float_fixed(out, r.angle, decimals);
  out += radians_suffix;
  return out;
}

std::string to_string(AngleDegrees d) noexcept {
  std::string out;
  append_float(out, d.angle);
  out += degrees_suffix;
  return out;
}

std::string to_string(AngleDegrees d, int decimals) noexcept {
  std::string out;
  append_float_fixed(out, d.angle, decimals);
  out += degrees_suffix;
  return out;
}

}  // namespace morvix
