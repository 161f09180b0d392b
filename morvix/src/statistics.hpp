#pragma once
// Statistics and series of rotations: the weighted mean rotation (Markley's
// method), uniformly random rotations from a counter-based generator,
// powers of a rotation, and the running product and the step-by-step
// differences of a sequence of rotations.
//
// The mean's sums follow fitting.hpp: fixed blocks, combined left to right by
// the caller's fold, so its bits do not depend on the worker count.

#include "morvix/src/fitting.hpp"
#include "morvix/src/quat.hpp"
#include "morvix/src/vec3d.hpp"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <limits>

namespace morvix {

// ---- the mean rotation

// The first element that is not finite, the first that is zero, the first
// bad weight and the largest weight.
struct QuatExtent {
  std::size_t bad_element = no_index;
  std::size_t zero_element = no_index;
  std::size_t bad_weight = no_index;
  double heaviest = 0.0;
};

inline QuatExtent combine(const QuatExtent& a, const QuatExtent& b) noexcept {
  return {std::min(a.bad_element, b.bad_element), std::min(a.zero_element, b.zero_element),
          std::min(a.bad_weight, b.bad_weight), std::max(a.heaviest, b.heaviest)};
}

// A finite, non-zero quaternion at unit length: scaled by the power of two
// that brings its largest component into [0.5, 1) (exact, so no square over-
// or underflows), then divided by its magnitude. −q gives exactly −(q's).
inline Quat unit_of(const Quat& q) noexcept {
  const double largest = std::max(std::max(std::fabs(q.w), std::fabs(q.i)), std::max(std::fabs(q.j), std::fabs(q.k)));
  const double c = unit_scale(largest);
  return formula::quat_normalize(Quat{c * q.w, c * q.i, c * q.j, c * q.k});
}

// The ten entries of Σ w·q·qᵀ/|q|² on and above the diagonal, row by row:
// (ww, wi, wj, wk, ii, ij, ik, jj, jk, kk).
using QuatMoments = std::array<double, 10>;

inline QuatMoments combine(const QuatMoments& a, const QuatMoments& b) noexcept {
  QuatMoments m;
  for (std::size_t n = 0; n < m.size(); ++n) m[n] = a[n] + b[n];
  return m;
}

// The unit eigenvector of the largest eigenvalue of the symmetric matrix the
// moments describe, w ≥ 0 (when w is zero, the first non-zero of i, j, k is
// positive).
Quat principal_rotation(const QuatMoments& m) noexcept;

// The checks and the moments of one block, taken in one pass.
struct MeanBlock {
  QuatExtent extent;
  QuatMoments moments;
};
inline MeanBlock combine(const MeanBlock& a, const MeanBlock& b) noexcept {
  return {combine(a.extent, b.extent), combine(a.moments, b.moments)};
}

// Adds w·c·cᵀ to the moments m, entry by entry as QuatMoments orders them;
// T is double, or Pair: two elements side by side, one in each lane.
template <class T>
[[gnu::always_inline]] inline void add_moments(std::array<T, 10>& m, const T (&c)[4], T w) noexcept {
  std::size_t n = 0;
  for (int r = 0; r < 4; ++r) {
    const T wr = w * c[r];
    for (int s = r; s < 4; ++s, ++n) m[n] = m[n] + wr * c[s];
  }
}
inline void add_moments(QuatMoments& m, const Quat& u, double w) noexcept {
  const double c[4] = {u.w, u.i, u.j, u.k};
  add_moments(m, c, w);
}
// |u|² far from over- and underflow: then u is finite and not zero, and w / |u|²
// (one division where normalising u takes four and a square root) loses nothing.
inline bool moderate(double m2) noexcept { return m2 > 0x1p-900 && m2 < 0x1p900; }

// Two doubles that the compiler keeps in one SSE register: each operation is
// the IEEE-754 operation on each lane, so the lanes give the bits of two
// scalar sums.
using Pair = double __attribute__((vector_size(16)));

// The moments of [begin, end) in two lanes: elements at even offsets from
// begin in lane 0, at odd offsets in lane 1, each lane summed in order, then
// lane 0 + lane 1. `add(lanes, lane, i)` adds element i in one lane itself
// when the pair cannot take the common path.
template <class Weight, class Add>
QuatMoments paired_moments(const Quat* q, const Weight& weight, double weight_scale, std::size_t begin,
                           std::size_t end, Add add) noexcept {
  std::array<Pair, 10> lanes{};
  std::size_t i = begin;
  for (; i + 1 < end; i += 2) {
    const Quat& a = q[i];
    const Quat& b = q[i + 1];
    const double ma = formula::quat_magnitude_squared(a), mb = formula::quat_magnitude_squared(b);
    if (moderate(ma) & moderate(mb)) [[likely]] {
      const Pair w = Pair{weight(i), weight(i + 1)} * weight_scale;
      const Pair c[4] = {{a.w, b.w}, {a.i, b.i}, {a.j, b.j}, {a.k, b.k}};
      add_moments(lanes, c, w / Pair{ma, mb});
    } else {
      add(lanes, 0, i);
      add(lanes, 1, i + 1);
    }
  }
  if (i < end) add(lanes, 0, i);
  QuatMoments m;
  for (std::size_t n = 0; n < m.size(); ++n) m[n] = lanes[n][0] + lanes[n][1];
  return m;
}

// Element i's w·u·uᵀ/|u|² added in lane `lane` alone, the way the pair adds it;
// a u whose |u|² is not moderate is normalised by unit_of first.
inline void add_in_lane(std::array<Pair, 10>& lanes, int lane, const Quat& u, double w) noexcept {
  const double m2 = formula::quat_magnitude_squared(u);
  const Quat v = moderate(m2) ? u : unit_of(u);
  const double f = moderate(m2) ? w / m2 : w;
  QuatMoments m;
  for (std::size_t n = 0; n < m.size(); ++n) m[n] = lanes[n][lane];
  add_moments(m, v, f);
  for (std::size_t n = 0; n < m.size(); ++n) lanes[n][lane] = m[n];
}

template <class Weight>
QuatMoments quat_moments(const Quat* q, const Weight& weight, double weight_scale, std::size_t begin,
                         std::size_t end) noexcept {
  return paired_moments(q, weight, weight_scale, begin, end, [&](std::array<Pair, 10>& lanes, int lane, std::size_t i) {
    add_in_lane(lanes, lane, q[i], weight(i) * weight_scale);
  });
}

// Checks and moments in one pass, weights unscaled (a refused element only
// spoils sums no one reads). Only a quaternion whose |q|² is not moderate can
// be zero or hold a non-finite component, so only that one is looked at closely.
template <class Weight>
MeanBlock mean_block(const Quat* q, const Weight& weight, std::size_t begin, std::size_t end) noexcept {
  MeanBlock out{};
  QuatExtent& e = out.extent;
  for (std::size_t i = begin; i < end; ++i) {
    const double w = weight(i);
    if (!good_weight(w) && e.bad_weight == no_index) e.bad_weight = i;
    e.heaviest = std::max(e.heaviest, w);
  }
  out.moments = paired_moments(q, weight, 1.0, begin, end, [&](std::array<Pair, 10>& lanes, int lane, std::size_t i) {
    const Quat& u = q[i];
    constexpr double big = std::numeric_limits<double>::max();
    const bool finite = (std::fabs(u.w) <= big) & (std::fabs(u.i) <= big) & (std::fabs(u.j) <= big) & (std::fabs(u.k) <= big);
    const bool zero = (u.w == 0.0) & (u.i == 0.0) & (u.j == 0.0) & (u.k == 0.0);
    if (!finite && e.bad_element == no_index) e.bad_element = i;
    if (zero && e.zero_element == no_index) e.zero_element = i;
    if (finite && !zero) add_in_lane(lanes, lane, u, weight(i));
  });
  return out;
}

// The rotation minimising Σ wᵢ·‖R(q) − R(qᵢ)‖² (chordal distances of the
// rotation matrices), q and −q counting as the same rotation: the principal
// eigenvector of Σ wᵢ·qᵢ·qᵢᵀ over the unit elements. Flipping the sign of
// any element leaves the bits of the result unchanged. The data are read once
// unless the weights are so large or small that their sums could over- or
// underflow: then the moments are taken again on scaled weights.
template <class Weight, class Fold>
std::expected<Quat, FitError> mean(const Quat* q, std::size_t n, const Weight& weight, Fold fold) {
  if (n == 0) return std::unexpected(FitError{FitFault::empty});
  const MeanBlock all = fold(
      n, [&](std::size_t b, std::size_t end) { return mean_block(q, weight, b, end); },
      [](const MeanBlock& a, const MeanBlock& b) { return combine(a, b); });
  const QuatExtent& e = all.extent;
  // The first unusable element, whichever its fault.
  if (e.bad_element < e.zero_element) return std::unexpected(FitError{FitFault::element_not_finite, e.bad_element});
  if (e.zero_element != no_index) return std::unexpected(FitError{FitFault::element_zero, e.zero_element});
  if (e.bad_weight != no_index) return std::unexpected(FitError{weight_fault(weight(e.bad_weight)), e.bad_weight});
  if (!(e.heaviest > 0.0)) return std::unexpected(FitError{FitFault::weights_zero});
  if (e.heaviest >= 0x1p-500 && e.heaviest <= 0x1p500) return principal_rotation(all.moments);
  const double scale = weight_scale(e.heaviest).scale;
  const QuatMoments m = fold(
      n, [&](std::size_t b, std::size_t end) { return quat_moments(q, weight, scale, b, end); },
      [](const QuatMoments& a, const QuatMoments& b) { return combine(a, b); });
  return principal_rotation(m);
}

// ---- random rotations

// Rotation number `index` of the stream keyed by `seed`, uniform over all
// rotations, w ≥ 0. Each draw d = 0, 1, 2, ... is Philox4x64-10 (Random123)
// of the counter (index, d, 0, 0) under the key (seed, 0): four 64-bit words
// x₀ … x₃. A word x gives the coordinate (x >> 11)·2⁻⁵² − 1 in [−1, 1), and
// each draw gives two candidate points of the square, (x₀, x₁) then (x₂, x₃).
// Candidates (a, b) with 0 < s = a·a + b·b < 1 are kept, the others skipped:
// the first two kept, (a₁, b₁, s₁) and (a₂, b₂, s₂), give with
// f = sqrt((1 − s₁) / s₂) the unit quaternion (a₁, b₁, a₂·f, b₂·f) as
// (w, i, j, k), uniform on the 3-sphere (Marsaglia, 1972), negated when
// w < 0. Only sums, products, a division and a square root, each rounded
// once by IEEE-754, so every machine gives the same bits.
Quat random_rotation(std::uint64_t seed, std::uint64_t index) noexcept;
// out[k] = random_rotation(seed, first + k) for k in [0, count), faster.
void random_rotations(std::uint64_t seed, std::uint64_t first, std::size_t count, Quat* out) noexcept;

// ---- powers and series

// The rotation by t times the angle about the same axis, written as its
// definition: from_rotation_vector(to_rotation_vector(q)·t).
inline Quat power(const Quat& q, double t) noexcept { return from_rotation_vector(to_rotation_vector(q) * t); }

// The rotation d with then(a, d) = b: then(inverse(a), b).
inline Quat difference(const Quat& a, const Quat& b) noexcept { return then(inverse(a), b); }

// out[i] = then(…then(then(q[0], q[1]), q[2])…, q[i]), left to right; out may be q.
inline void accumulate(const Quat* q, std::size_t n, Quat* out) noexcept {
  if (n == 0) return;
  Quat acc = q[0];
  out[0] = acc;
  for (std::size_t i = 1; i < n; ++i) out[i] = acc = then(acc, q[i]);
}

}  // namespace morvix
