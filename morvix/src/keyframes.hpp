#pragma once
// Where a time falls among keyframe times.

#include <cstddef>

namespace morvix {

// The keys `from` and `to` around time t, and the fraction of the way from
// one to the other, (t − t_from) / (t_to − t_from).
struct KeyInterval {
  std::size_t from;
  std::size_t to;
  double fraction;
};

// t among n ≥ 1 strictly increasing key times times[0 .. n − 1] (anything
// indexable): the interval [t_k, t_k+1) that holds it, found by a binary
// search. At or before the first key time, the first interval at 0; at or
// after the last, the last interval at 1 (so a time at a key is that key,
// from the interval it starts, or the last); one key is an interval from it
// to itself at 0. A NaN t gives the first interval at NaN.
template <class Times>
KeyInterval locate_key(const Times& times, std::size_t n, double t) noexcept {
  const std::size_t last = n - 1;
  if (last == 0) return {0, 0, 0.0};
  if (t <= times[0]) return {0, 1, 0.0};
  if (t >= times[last]) return {last - 1, last, 1.0};
  // times[lo] <= t < times[hi], or t is NaN
  std::size_t lo = 0, hi = last;
  while (hi - lo > 1) {
    const std::size_t mid = lo + (hi - lo) / 2;
    (times[mid] <= t ? lo : hi) = mid;
  }
  const double start = times[lo];
  return {lo, hi, (t - start) / (times[hi] - start)};
}

}  // namespace morvix
