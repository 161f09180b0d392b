#pragma once
// Which NaN a formula returns.
//
// IEEE-754 leaves open which NaN an operation returns when both operands are
// NaN, and the compiler may swap the operands of + and × (vectorised loops
// and the register allocator do), so one formula could return NaNs of
// different sign or payload on different paths. Every element-wise formula
// is therefore settled: evaluated on doubles, and when a result is NaN,
// evaluated once more on `Strict`, whose operations return their first NaN
// operand in the written order, quieted (an operation that makes a NaN from
// numbers, 0·∞ or √−1, gives the processor's default NaN). A result that is
// not NaN never involved a NaN, and + and × commute exactly on numbers, so it
// is the same whichever way the compiler arranged the operands.

#include <array>
#include <bit>
#include <cstddef>
#include <cmath>
#include <cstdint>

namespace morvix {

struct Strict {
  double v;
  constexpr Strict(double d) noexcept : v(d) {}
};

namespace strict_detail {

inline double quiet(double a) noexcept {
  return std::bit_cast<double>(std::bit_cast<std::uint64_t>(a) | std::uint64_t{0x0008000000000000});
}

// The first NaN of a and b, quieted; r (a ∘ b) when neither is NaN.
inline double first_nan(double a, double b, double r) noexcept {
  return std::isnan(a) ? quiet(a) : std::isnan(b) ? quiet(b) : r;
}

}  // namespace strict_detail

inline Strict operator+(Strict a, Strict b) noexcept { return strict_detail::first_nan(a.v, b.v, a.v + b.v); }
inline Strict operator-(Strict a, Strict b) noexcept { return strict_detail::first_nan(a.v, b.v, a.v - b.v); }
inline Strict operator*(Strict a, Strict b) noexcept { return strict_detail::first_nan(a.v, b.v, a.v * b.v); }
inline Strict operator/(Strict a, Strict b) noexcept { return strict_detail::first_nan(a.v, b.v, a.v / b.v); }
// Negation flips the sign bit, of a NaN too, as on doubles.
inline Strict operator-(Strict a) noexcept { return -a.v; }
inline Strict sqrt(Strict a) noexcept { return std::isnan(a.v) ? strict_detail::quiet(a.v) : std::sqrt(a.v); }

// ---- settling: each value type says how it becomes Strict, back, and
// whether it holds a NaN (overloads beside the type, found by lookup).

constexpr Strict strict_of(double v) noexcept { return v; }
constexpr double from_strict(Strict v) noexcept { return v.v; }
inline bool has_nan(double v) noexcept { return std::isnan(v); }

// Arrays of them (a matrix's rows), element by element.
template <class T, std::size_t N>
auto from_strict(const std::array<T, N>& a) noexcept {
  std::array<decltype(from_strict(a[0])), N> out;
  for (std::size_t n = 0; n < N; ++n) out[n] = from_strict(a[n]);
  return out;
}
template <class T, std::size_t N>
bool has_nan(const std::array<T, N>& a) noexcept {
  bool found = false;
  for (const T& e : a) found = found || has_nan(e);
  return found;
}

// The formula evaluated on Strict values.
template <class F, class... A>
auto strict_eval(F formula, const A&... args) noexcept {
  return from_strict(formula(strict_of(args)...));
}

// The formula on doubles, and again on Strict when the result holds a NaN.
template <class F, class... A>
auto settled(F formula, const A&... args) noexcept {
  auto r = formula(args...);
  if (has_nan(r)) [[unlikely]]
    r = strict_eval(formula, args...);
  return r;
}

}  // namespace morvix
