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
  // A double's exact binary fraction ends within 1074 decimals, so any digit
  // past that is 0: convert with at most 1074 and pad. The longest text then
  // is "-", 309 integer digits, "." and 1074 decimals.
  constexpr int exact_decimals = 1074;
  const int wanted = decimals < 0 ? 0 : decimals;
  char buffer[1400];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed,
                                    wanted < exact_decimals ? wanted : exact_decimals);
  if (result.ec != std::errc{}) return;
  out.append(buffer, result.ptr);
  if (wanted > exact_decimals) out.append(static_cast<std::size_t>(wanted - exact_decimals), '0');
}

std::string float_text(double v) {
  std::string out;
  append_float(out, v);
  return out;
}

void append_call_text(std::string& out, std::string_view name, std::initializer_list<double> values) {
  out += name;
  out += '(';
  bool first = true;
  for (double v : values) {
    if (!first) out += ", ";
    first = false;
    append_float(out, v);
  }
  out += ')';
}

}  // namespace morvix
