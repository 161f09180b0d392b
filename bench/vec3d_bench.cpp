// The core Vec3d formulas in a tight loop: what the bulk operations cost per
// element before any Python object is made.
#include "morvix/src/vec3d.hpp"

#include <benchmark/benchmark.h>

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

}  // namespace

BENCHMARK_MAIN();
