#pragma once
// Fitting to matched vectors: the rotation that best maps one set of vectors
// onto another (Wahba's problem) and the pose without scale that best maps
// one set of points onto another (Kabsch–Umeyama), each with the root of the
// weighted sum of squared distances left over (rssd).
//
// Every sum over the elements is taken in blocks of sum_block elements, each
// summed left to right, and the block values are combined left to right, so
// the bits of a result do not depend on how the blocks are spread over
// workers. The caller supplies the `fold` that runs the blocks:
//   fold(n, part, combine) -> T
// where part(begin, end) is the value of the block [begin, end), and
// combine(acc, next) joins the value of the next block onto that of all the
// blocks before it. SerialFold runs them all on the calling thread.
//
// The data are scaled by powers of two (exact) before anything is summed,
// so sets of vectors at any magnitude from about 1e-300 to 1e300 fit as well
// as sets of unit vectors.

#include "morvix/src/quat.hpp"
#include "morvix/src/rigid_transform.hpp"
#include "morvix/src/vec3d.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <expected>
#include <limits>

namespace morvix {

// Elements per block of every sum.
inline constexpr std::size_t sum_block = 4096;
inline constexpr std::size_t no_index = static_cast<std::size_t>(-1);

struct SerialFold {
  template <class Part, class Combine>
  auto operator()(std::size_t n, Part part, Combine combine) const {
    auto acc = part(0, std::min(n, sum_block));
    for (std::size_t b = sum_block; b < n; b += sum_block) acc = combine(acc, part(b, std::min(n, b + sum_block)));
    return acc;
  }
};

// Weights when none are given: 1 for every element.
struct UnitWeights {
  double operator()(std::size_t) const noexcept { return 1.0; }
};

// Why data cannot be fitted; `index` names the first offending element.
enum class FitFault {
  empty,            // no elements
  source_not_finite,
  target_not_finite,
  weight_negative,
  weight_nan,
  weight_infinite,  // +inf or −inf
  weights_zero,     // every weight is zero
  element_not_finite,
  element_zero,
};
struct FitError {
  FitFault fault;
  std::size_t index = no_index;
};

struct Alignment {
  Quat rotation;
  double rssd;
};
struct PoseAlignment {
  RigidTransform transform;
  double rssd;
};

// ---- scales

// The power of two 2^−e that brings `largest` (> 0) into [0.5, 1); 1 for 0.
// Never above 2^1000, so that it stays finite for subnormal data.
inline double unit_scale(double largest) noexcept {
  if (!(largest > 0.0)) return 1.0;
  int e = 0;
  std::frexp(largest, &e);
  return std::ldexp(1.0, -std::max(e, -1000));
}

// The weights' scale 2^−2k, which brings the largest weight into (0, 1], and
// its root's inverse 2^k: sqrt(Σ w·x) = sqrt(Σ (w·2^−2k)·x)·2^k, exactly.
struct WeightScale {
  double scale = 1.0;
  double root = 1.0;
};
inline WeightScale weight_scale(double heaviest) noexcept {
  if (!(heaviest > 0.0)) return {};
  int e = 0;
  std::frexp(heaviest, &e);
  const int k = std::max((e + 1) / 2, -500);
  return {std::ldexp(1.0, -2 * k), std::ldexp(1.0, k)};
}

// ---- checks, one block at a time

// The first non-finite element of each list and of the weights, the largest
// |coordinate| and the largest weight.
struct PairExtent {
  std::size_t bad_source = no_index;
  std::size_t bad_target = no_index;
  std::size_t bad_weight = no_index;
  double largest = 0.0;
  double heaviest = 0.0;
};

inline double largest_of(const Vec3d& v) noexcept {
  return std::max(std::max(std::fabs(v.x), std::fabs(v.y)), std::fabs(v.z));
}
// A usable weight is finite and not negative (−0.0 is zero).
inline bool good_weight(double w) noexcept { return w >= 0.0 && w <= std::numeric_limits<double>::max(); }

template <class Weight>
PairExtent pair_extent(const Vec3d* source, const Vec3d* target, const Weight& weight, std::size_t begin,
                       std::size_t end) noexcept {
  PairExtent e;
  for (std::size_t i = begin; i < end; ++i) {
    if (!is_finite(source[i]) && e.bad_source == no_index) e.bad_source = i;
    if (!is_finite(target[i]) && e.bad_target == no_index) e.bad_target = i;
    const double w = weight(i);
    if (!good_weight(w) && e.bad_weight == no_index) e.bad_weight = i;
    e.largest = std::max(e.largest, std::max(largest_of(source[i]), largest_of(target[i])));
    e.heaviest = std::max(e.heaviest, w);
  }
  return e;
}
inline PairExtent combine(const PairExtent& a, const PairExtent& b) noexcept {
  return {std::min(a.bad_source, b.bad_source), std::min(a.bad_target, b.bad_target),
          std::min(a.bad_weight, b.bad_weight), std::max(a.largest, b.largest), std::max(a.heaviest, b.heaviest)};
}

// What is wrong with a weight that is not good_weight.
inline FitFault weight_fault(double w) noexcept {
  return std::isnan(w) ? FitFault::weight_nan : std::isinf(w) ? FitFault::weight_infinite : FitFault::weight_negative;
}

// ---- sums, one block at a time, on scaled data

// Σ w, Σ w·(s − s₀) and Σ w·(t − t₀) of the scaled points: the centroids
// relative to the first points, so that equal points give their own value
// exactly as the centroid.
struct PointSums {
  double weight = 0.0;
  Vec3d source{};
  Vec3d target{};
};
struct Scaling {
  double data = 1.0;    // multiplies every coordinate
  double weight = 1.0;  // multiplies every weight
};

template <class Weight>
PointSums point_sums(const Vec3d* source, const Vec3d* target, const Weight& weight, Scaling scaling,
                     std::size_t begin, std::size_t end) noexcept {
  const double c = scaling.data;
  const Vec3d s0 = formula::scale(source[0], c);
  const Vec3d t0 = formula::scale(target[0], c);
  PointSums sums;
  for (std::size_t i = begin; i < end; ++i) {
    const double w = weight(i) * scaling.weight;
    sums.weight = sums.weight + w;
    sums.source = formula::add(sums.source, formula::scale(formula::sub(formula::scale(source[i], c), s0), w));
    sums.target = formula::add(sums.target, formula::scale(formula::sub(formula::scale(target[i], c), t0), w));
  }
  return sums;
}
inline PointSums combine(const PointSums& a, const PointSums& b) noexcept {
  return {a.weight + b.weight, formula::add(a.source, b.source), formula::add(a.target, b.target)};
}

// Σ w·(t − t̄)(s − s̄)ᵀ of the scaled vectors about the centres s̄, t̄, entry
// [r][c] = Σ (w·(t − t̄)ᵣ)·(s − s̄)꜀.
template <class Weight>
Matrix3 cross_sums(const Vec3d* source, const Vec3d* target, const Weight& weight, Scaling scaling,
                   const Vec3d& source_centre, const Vec3d& target_centre, std::size_t begin, std::size_t end) noexcept {
  Matrix3 m{};
  for (std::size_t i = begin; i < end; ++i) {
    const double w = weight(i) * scaling.weight;
    const Vec3d s = formula::sub(formula::scale(source[i], scaling.data), source_centre);
    const Vec3d t = formula::sub(formula::scale(target[i], scaling.data), target_centre);
    const double ws[3] = {w * t.x, w * t.y, w * t.z};
    const double sc[3] = {s.x, s.y, s.z};
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) m[r][c] = m[r][c] + ws[r] * sc[c];
  }
  return m;
}
inline Matrix3 combine(const Matrix3& a, const Matrix3& b) noexcept {
  Matrix3 m;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) m[r][c] = a[r][c] + b[r][c];
  return m;
}

// Σ w·|t − (rotate(q, s) + shift)|² of the scaled data: the residuals
// themselves, not a difference of large sums.
template <class Weight>
double residual_sums(const Vec3d* source, const Vec3d* target, const Weight& weight, Scaling scaling,
                     const Quat& q, const Vec3d& shift, std::size_t begin, std::size_t end) noexcept {
  double sum = 0.0;
  for (std::size_t i = begin; i < end; ++i) {
    const double w = weight(i) * scaling.weight;
    const Vec3d moved = formula::add(formula::rotate(q, formula::scale(source[i], scaling.data)), shift);
    const Vec3d r = formula::sub(formula::scale(target[i], scaling.data), moved);
    sum = sum + w * formula::dot(r, r);
  }
  return sum;
}

// ---- the solution

// The unit quaternion q (w ≥ 0) whose rotation R = v ↦ rotate(q, v)
// maximises trace(Rᵀ·cross), for cross = Σ w·t·sᵀ: the SVD U·Σ·Vᵀ of cross
// gives R = U·diag(1, 1, det(U·Vᵀ))·Vᵀ. When the second singular value is at
// most rank_one_below of the first, every source (or every target) lies on
// one line and R is not unique: the smallest of the best rotations is
// between(v₁, u₁) of the first singular vectors; a zero matrix gives the identity.
Quat best_rotation(const Matrix3& cross) noexcept;
inline constexpr double rank_one_below = 1e-13;

// The common checks of both fits: nothing empty, every coordinate finite,
// every weight finite and not negative, some weight positive.
template <class Weight, class Fold>
std::expected<PairExtent, FitError> checked_pairs(const Vec3d* source, const Vec3d* target, std::size_t n,
                                                   const Weight& weight, Fold& fold) {
  if (n == 0) return std::unexpected(FitError{FitFault::empty});
  const PairExtent e = fold(
      n, [&](std::size_t b, std::size_t end) { return pair_extent(source, target, weight, b, end); },
      [](const PairExtent& a, const PairExtent& b) { return combine(a, b); });
  if (e.bad_source != no_index) return std::unexpected(FitError{FitFault::source_not_finite, e.bad_source});
  if (e.bad_target != no_index) return std::unexpected(FitError{FitFault::target_not_finite, e.bad_target});
  if (e.bad_weight != no_index) return std::unexpected(FitError{weight_fault(weight(e.bad_weight)), e.bad_weight});
  if (!(e.heaviest > 0.0)) return std::unexpected(FitError{FitFault::weights_zero});
  return e;
}

// rssd of a fit found on scaled data, back in the data's units.
template <class Weight, class Fold>
double rssd_of(const Vec3d* source, const Vec3d* target, std::size_t n, const Weight& weight, Fold& fold,
               Scaling scaling, double weight_root, const Quat& q, const Vec3d& shift) {
  const double sum = fold(
      n, [&](std::size_t b, std::size_t end) { return residual_sums(source, target, weight, scaling, q, shift, b, end); },
      [](double a, double b) { return a + b; });
  return (std::sqrt(sum) * weight_root) / scaling.data;
}

// The rotation q minimising Σ wᵢ·|targetᵢ − rotate(q, sourceᵢ)|², and its rssd.
template <class Weight, class Fold>
std::expected<Alignment, FitError> align_rotation(const Vec3d* source, const Vec3d* target, std::size_t n,
                                                  const Weight& weight, Fold fold) {
  const auto extent = checked_pairs(source, target, n, weight, fold);
  if (!extent) return std::unexpected(extent.error());
  const WeightScale ws = weight_scale(extent->heaviest);
  const Scaling scaling{unit_scale(extent->largest), ws.scale};
  const Vec3d origin{};
  const Matrix3 cross = fold(
      n, [&](std::size_t b, std::size_t end) { return cross_sums(source, target, weight, scaling, origin, origin, b, end); },
      [](const Matrix3& a, const Matrix3& b) { return combine(a, b); });
  const Quat q = best_rotation(cross);
  return Alignment{q, rssd_of(source, target, n, weight, fold, scaling, ws.root, q, origin)};
}

// The pose t minimising Σ wᵢ·|targetᵢ − apply(t, sourceᵢ)|², and its rssd:
// the rotation fitted to the points about their weighted centroids, the
// translation the target centroid less the rotated source centroid.
template <class Weight, class Fold>
std::expected<PoseAlignment, FitError> align_pose(const Vec3d* source, const Vec3d* target, std::size_t n,
                                                  const Weight& weight, Fold fold) {
  const auto extent = checked_pairs(source, target, n, weight, fold);
  if (!extent) return std::unexpected(extent.error());
  const WeightScale ws = weight_scale(extent->heaviest);
  const Scaling scaling{unit_scale(extent->largest), ws.scale};
  const PointSums sums = fold(
      n, [&](std::size_t b, std::size_t end) { return point_sums(source, target, weight, scaling, b, end); },
      [](const PointSums& a, const PointSums& b) { return combine(a, b); });
  const Vec3d source_centre = scaling.data * source[0] + sums.source / sums.weight;
  const Vec3d target_centre = scaling.data * target[0] + sums.target / sums.weight;
  const Matrix3 cross = fold(
      n,
      [&](std::size_t b, std::size_t end) {
        return cross_sums(source, target, weight, scaling, source_centre, target_centre, b, end);
      },
      [](const Matrix3& a, const Matrix3& b) { return combine(a, b); });
  const Quat q = best_rotation(cross);
  const Vec3d shift = target_centre - rotate(q, source_centre);
  const double rssd = rssd_of(source, target, n, weight, fold, scaling, ws.root, q, shift);
  return PoseAlignment{{q, shift / scaling.data}, rssd};
}

}  // namespace morvix
