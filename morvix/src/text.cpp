#include "morvix/src/text.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <system_error>

namespace morvix {

namespace {

// The spelling of `v` when it needs no digits (NaN, ±inf), else empty.
std::string_view special_text(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
  return {};
}

bool append_special(std::string& out, double v) {
  const std::string_view text = special_text(v);
  out += text;
  return !text.empty();
}

char* copy(char* out, std::string_view text) {
  for (char c : text) *out++ = c;
  return out;
}

char* fill(char* out, std::size_t count, char c) {
  for (std::size_t i = 0; i < count; ++i) *out++ = c;
  return out;
}

// The digits d₁d₂…dₙ with the point after the first `point` of them,
// positionally: zeros after them up to the point, or between the point and
// them.
char* write_positional(char* out, std::string_view digits, long point) {
  const std::size_t n = digits.size();
  if (point <= 0) {
    out = copy(out, "0.");
    out = fill(out, static_cast<std::size_t>(-point), '0');
    return copy(out, digits);
  }
  if (static_cast<std::size_t>(point) >= n) return fill(copy(out, digits), static_cast<std::size_t>(point) - n, '0');
  out = copy(out, digits.substr(0, static_cast<std::size_t>(point)));
  *out++ = '.';
  return copy(out, digits.substr(static_cast<std::size_t>(point)));
}

constexpr double powers_of_ten[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Most numbers people write have a short decimal form, which is found here
// without the general shortest-digits search: the decimal of at most 15
// significant digits that reads back to |v|, if there is one. Two such
// decimals lie further apart than any two numbers that round to one double,
// so there is at most one, and then it is the shortest text. |v|·10^e, with e
// chosen to give 15 integer digits, is within 0.2 of it, so rounding finds its
// digits; they read back exactly when the division undoes the scaling (both
// operands are exact, the quotient correctly rounded, as reading the text
// would be). Its trailing zeros are dropped. False when there is none.
bool write_short(char*& out, double v) {
  const double a = std::fabs(v);
  if (!(a >= 1e-8 && a < 1e15)) return false;
  int e = 14;
  while (e > 0 && a * powers_of_ten[e] >= 1e15) --e;
  while (e < 22 && a * powers_of_ten[e + 1] < 1e15) ++e;
  const auto scaled = static_cast<std::uint64_t>(a * powers_of_ten[e] + 0.5);
  if (static_cast<double>(scaled) / powers_of_ten[e] != a) return false;
  char digits[24];
  const auto length = static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, scaled).ptr - digits);
  std::size_t n = length;
  while (digits[n - 1] == '0') --n;  // scaled > 0
  if (std::signbit(v)) *out++ = '-';
  out = write_positional(out, std::string_view(digits, n), static_cast<long>(length) - e);
  return true;
}

}  // namespace

// The shortest digits that read back to `v` (std::to_chars in scientific
// form picks the same ones as Python's repr), written out positionally.
char* write_float(char* out, double v) {
  if (const std::string_view special = special_text(v); !special.empty()) return copy(out, special);
  if (write_short(out, v)) return out;
  // "-d.ddddddddddddddddde-308" at the longest.
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::scientific);
  std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
  if (text.front() == '-') {
    *out++ = '-';
    text.remove_prefix(1);
  }
  const std::size_t e = text.find('e');
  std::string_view mantissa = text.substr(0, e);
  std::string_view exponent = text.substr(e + 1);
  if (exponent.front() == '+') exponent.remove_prefix(1);
  int power = 0;
  std::from_chars(exponent.data(), exponent.data() + exponent.size(), power);
  char digits[20];
  std::size_t n = 0;
  for (char c : mantissa)
    if (c != '.') digits[n++] = c;
  return write_positional(out, std::string_view(digits, n), static_cast<long>(power) + 1);
}

void append_float(std::string& out, double v) {
  char text[float_text_max];
  out.append(text, write_float(text, v));
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

}  // namespace morvix
