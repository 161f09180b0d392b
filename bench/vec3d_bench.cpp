// The core Vec3d formulas in a tight loop: what the bulk operations cost per
// element before any Python object is made.
#include "morvix/src/siphash.hpp"
#include "morvix/src/vec3d.hpp"

#include <benchmark/benchmark.h>

#include <bit>
#include <cstdint>
#include <vector>

namespace {

std::vector<morvix::Vec3d> points(std::size_t n) {
  std::vector<morvix::Vec3d> out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = {0.5 * i, 1.0 - i, 0.25 * i * i};
  return out;
}

void BM_dot(benchmark::State& state) {
  const auto v = points(static_cast<std::size_t>(state.range(0)));
  const morvix::Vec3d o{1, 2, 3};
  for (auto _ : state) {
    double sum = 0;
    for (const auto& p : v) sum += morvix::dot(p, o);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_dot)->Arg(1 << 16);

void BM_normalize(benchmark::State& state) {
  const auto v = points(static_cast<std::size_t>(state.range(0)));
  std::vector<morvix::Vec3d> out(v.size());
  for (auto _ : state) {
    for (std::size_t i = 0; i < v.size(); ++i) out[i] = morvix::normalize(v[i]);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_normalize)->Arg(1 << 16);

// The latency of the Vec3d hash's SipHash-1-3 over three words, one hash after
// another (each message takes in the previous hash): what hash(v) pays on top
// of the interpreter's hash call.
void BM_siphash13_three_words(benchmark::State& state) {
  std::uint64_t h = std::bit_cast<std::uint64_t>(1.5);
  const std::uint64_t y = std::bit_cast<std::uint64_t>(-2.25), z = std::bit_cast<std::uint64_t>(3.125);
  for (auto _ : state) {
    h = morvix::siphash13_words(0, 0, {h, y, z});
    benchmark::DoNotOptimize(h);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_siphash13_three_words);

}  // namespace

BENCHMARK_MAIN();
