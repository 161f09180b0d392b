#include "morvix/src/angle.hpp"

#include "morvix/src/text.hpp"

namespace morvix {

namespace {

// The number in the float text format (or with `decimals` fixed digits when
// that is not negative), then the unit suffix.
std::string with_suffix(double v, int decimals, std::string_view suffix) {
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
