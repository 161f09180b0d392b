#pragma once
// What the fits and means of Quat, RigidTransform and QuatList share: the
// fold that runs their sums on the pool, in blocks whose size does not depend
// on the number of workers, and the optional weights.

#include "kalvor/src/binding/buffer.hpp"
#include "kalvor/src/binding/errors.hpp"
#include "kalvor/src/bulk_list.hpp"
#include "kalvor/src/vec_list.hpp"
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

// The value of fn(weights, BlockFold{}) over n elements, weights all 1 for
// None, else the floats given, one per element; each refusal (of the call or
// of the core's std::expected result) becomes the ValueError naming `call`,
// `item` naming one element ("quaternion").
template <class Fn>
auto fitted(std::string_view call, const std::optional<binding::Floats>& weights, std::size_t n,
            std::string_view item, Fn fn) {
  if (n == 0) binding::throw_fit_error(call, {morvix::FitFault::empty}, item);
  if (weights && weights->size != n) binding::throw_weight_count(call, n, item, weights->size);
  const auto result = weights ? fn(FloatWeights{*weights}, BlockFold{}) : fn(morvix::UnitWeights{}, BlockFold{});
  if (!result) binding::throw_fit_error(call, result.error(), item);
  return *result;
}

// The same for pairs of VecLists, which must be of one length.
template <class Fn>
auto fitted_pairs(std::string_view call, const VecList& source, const VecList& target,
                  const std::optional<binding::Floats>& weights, std::string_view item, Fn fn) {
  const std::size_t n = source.items.size();
  if (target.items.size() != n) binding::throw_pair_lengths(call, n, target.items.size());
  return fitted(call, weights, n, item, [&](const auto& w, BlockFold fold) {
    return fn(source.items.data(), target.items.data(), n, w, fold);
  });
}

}  // namespace kalvor
