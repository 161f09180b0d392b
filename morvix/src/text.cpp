#include "morvix/src/text.hpp"

#include <charconv>
#include <cmath>
#include <system_error>

namespace morvix {

namespace {

// True when `v` needs no digits: NaN, ±inf. Writes its spelling.
bool append_special(std::string& out, double v) {
  if (std::isnan(v)) {
    out += "NaN";
    return true;
  }
  if (std::isinf(v)) {
    out += v < 0 ? "-inf" : "inf";
    return true;
  }
  return false;
}

}  // namespace

void append_float(std::string& out, double v) {
  if (append_special(out, v)) return;
  // Fixed notation without a precision is the shortest round-trip text; the
  // longest double in it (DBL_MAX) has 309 integer digits, the smallest
  // subnormal 1074 decimals after the point plus "-0.".
  char buffer[1100];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed);
  out.append(buffer, result.ptr);
}

void append_float_fixed(std::string& out, double v, int decimals) {
  if (append_special(out, v)) return;
  char buffer[1500];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, decimals < 0 ? 0 : decimals);
  if (result.ec == std::errc{}) out.append(buffer, result.ptr);
}

std::string float_text(double v) {
  std::string out;
  append_float(out, v);
  return out;
}

}  // namespace morvix
