#pragma once
// What the fits and means of Quat, RigidTransform and QuatList share: the
// fold that runs their sums on the pool, in blocks whose size does not depend
// on the number of workers, and the optional weights.

#include "kalvor/src/binding/buffer.hpp"
#include "kalvor/src/binding/errors.hpp"
#include "kalvor/src/bulk_list.hpp"
#include "morvix/src/fitting.hpp"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace kalvor {

// Runs part(begin, end) of every block of morvix::sum_block elements on the
// pool, each block's value in its own slot, then combines the slots left to
// right on the calling thread: the same bits at any worker count.
struct BlockFold {
  template <class Part, class Combine>
  auto operator()(std::size_t n, Part part, Combine combine) const {
    constexpr std::size_t block = morvix::sum_block;
    using T = decltype(part(std::size_t{}, std::size_t{}));
    std::vector<T> values((n + block - 1) / block);
    T* slots = values.data();
    bulk::run_parallel(
        values.size(),
        [&part, slots, n](std::size_t begin, std::size_t end) {
          for (std::size_t b = begin; b < end; ++b) slots[b] = part(b * block, std::min(n, (b + 1) * block));
        },
        block);
    T acc = values[0];
    for (std::size_t b = 1; b < values.size(); ++b) acc = combine(acc, values[b]);
    return acc;
  }
};

// Weight i read from a run of floats.
struct FloatWeights {
  binding::Floats floats;
  double operator()(std::size_t i) const noexcept { return floats[i]; }
};

// fn(weights) with every weight 1 for None, else the floats given, which must
// be one per element: `item` names an element in the error ("quaternion").
template <class Fn>
auto with_weights(std::string_view call, const std::optional<binding::Floats>& weights, std::size_t n,
                  std::string_view item, Fn fn) {
  if (n == 0) binding::throw_fit_error(call, {morvix::FitFault::empty}, item);
  if (!weights) return fn(morvix::UnitWeights{});
  if (weights->size != n) binding::throw_weight_count(call, n, item, weights->size);
  return fn(FloatWeights{*weights});
}

}  // namespace kalvor
