#pragma once
// The library's float text format: the shortest decimal that reads back to the
// same double, in plain positional notation (never an exponent), no trailing
// ".0" for integral values, and the spellings "NaN", "inf", "-inf", "-0".

#include <initializer_list>
#include <string>
#include <string_view>

namespace morvix {

// The longest float text: "-0.", 323 zeros, then 17 digits.
inline constexpr std::size_t float_text_max = 343;

// Writes the text of `v` at `out`, which has room for float_text_max
// characters, and returns the end of the text.
char* write_float(char* out, double v);

// Appends the text of `v` to `out`.
void append_float(std::string& out, double v);

// Appends `v` with exactly `decimals` digits after the decimal point; the
// special values are spelled as above.
void append_float_fixed(std::string& out, double v, int decimals);

std::string float_text(double v);

}  // namespace morvix
