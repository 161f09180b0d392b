// The pool's hand-off beside the machine's floor for it. A job of a few
// elements is computed by a worker while the caller waits, so its cost is one
// round trip between two processors plus what the pool adds to it; the first
// benchmark measures that round trip alone (two threads passing a counter
// through cache lines), the others the same through parallel::map.
#include "parallel/src/pool.hpp"
#include "morvix/src/vec3d.hpp"

#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

void BM_round_trip(benchmark::State& state) {
  alignas(64) std::atomic<long> ping{0};
  alignas(64) std::atomic<long> pong{0};
  std::thread echo([&] {
    for (long seen = 0;;) {
      long p;
      while ((p = ping.load(std::memory_order_acquire)) == seen) __builtin_ia32_pause();
      if (p < 0) return;
      seen = p;
      pong.store(p, std::memory_order_release);
    }
  });
  long i = 0;
  for (auto _ : state) {
    ping.store(++i, std::memory_order_release);
    while (pong.load(std::memory_order_acquire) != i) __builtin_ia32_pause();
  }
  ping.store(-1, std::memory_order_release);
  echo.join();
}
BENCHMARK(BM_round_trip);

void BM_map_add(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  std::vector<morvix::Vec3d> in(n, morvix::Vec3d{1, 2, 3}), out(n);
  const morvix::Vec3d o{0.25, -1.5, 2.0};
  for (auto _ : state) {
    auto status = parallel::map(n, [&](std::size_t begin, std::size_t end) {
      for (std::size_t i = begin; i < end; ++i) out[i] = in[i] + o;
    });
    benchmark::DoNotOptimize(status);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_map_add)->Arg(10)->Arg(1000);

}  // namespace

BENCHMARK_MAIN();
