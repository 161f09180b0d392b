#include "morvix/src/text.hpp"

#include <charconv>
#include <cmath>
#include <string_view>
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

// The shortest digits that read back to `v` (std::to_chars in scientific
// form picks the same ones as Python's repr), written out positionally: zeros
// after them up to the decimal point for a large magnitude, zeros between the
// point and them for a small one.
void append_float(std::string& out, double v) {
  if (append_special(out, v)) return;
  // "-d.ddddddddddddddddde-308" at the longest.
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::scientific);
  std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
  if (text.front() == '-') {
    out += '-';
    text.remove_prefix(1);
  }
  const std::size_t e = text.find('e');
  std::string_view mantissa = text.substr(0, e);
  std::string_view exponent = text.substr(e + 1);
  if (exponent.front() == '+') exponent.remove_prefix(1);
  int power = 0;
  std::from_chars(exponent.data(), exponent.data() + exponent.size(), power);
  // The digits d₁d₂…dₙ, and the point after the first `point` of them.
  char digits[20];
  std::size_t n = 0;
  for (char c : mantissa)
    if (c != '.') digits[n++] = c;
  const long point = static_cast<long>(power) + 1;
  if (point <= 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-point), '0');
    out.append(digits, n);
  } else if (static_cast<std::size_t>(point) >= n) {
    out.append(digits, n);
    out.append(static_cast<std::size_t>(point) - n, '0');
  } else {
    out.append(digits, static_cast<std::size_t>(point));
    out += '.';
    out.append(digits + point, n - static_cast<std::size_t>(point));
  }
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
