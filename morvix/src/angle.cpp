#include "morvix/src/angle.hpp"

#include "morvix/src/text.hpp"

namespace morvix {

namespace {

constexpr const char* radians_suffix = " radians";
// U+00B0 DEGREE SIGN in UTF-8, spelled as bytes so the execution charset does not matter.
constexpr const char* degrees_suffix = "\xC2\xB0";

}  // namespace

namespace {

// The number in the float text format (or with `decimals` fixed digits when
// that is not negative), then the unit suffix.
std::string with_suffix(double v, int decimals, const char* suffix) {
  std::string out;
  if (decimals < 0) {
    append_float(out, v);
  } else {
    append_float_fixed(out, v, decimals);
  }
  out += suffix;
  return out;
}

}  // namespace

std::string to_string(AngleRadians r) { return with_suffix(r.angle, -1, radians_suffix); }
std::string to_string(AngleRadians r, int decimals) {
  return with_suffix(r.angle, decimals < 0 ? 0 : decimals, radians_suffix);
}
std::string to_string(AngleDegrees d) { return with_suffix(d.angle, -1, degrees_suffix); }
std::string to_string(AngleDegrees d, int decimals) {
  return with_suffix(d.angle, decimals < 0 ? 0 : decimals, degrees_suffix);
}

}  // namespace morvix
