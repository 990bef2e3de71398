// Pool allocator: one Alloc + Free pair of a small slot against one
// malloc + free pair of the same size. The time per iteration is the time per
// pair. Run: build/release/bench/pool_bench
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "foundation/zr_granularity.h"
#include "foundation/zr_memory_watcher.h"

namespace {

ZrGranularityMemoryWatcher* BenchWatcher() {
  static ZrGranularityMemoryWatcher watcher("pool_bench", "bench", 0);
  return &watcher;
}

void BM_PoolAllocFree(benchmark::State& state) {
  uint32_t size = static_cast<uint32_t>(state.range(0));
  ZrGranularity* g = ZrGranularity::ForSize(size);
  for (auto _ : state) {
    void* p = g->Alloc(size, BenchWatcher());
    benchmark::DoNotOptimize(p);
    g->Free(p, BenchWatcher());
  }
}

void BM_MallocFree(benchmark::State& state) {
  size_t size = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    void* p = malloc(size);
    benchmark::DoNotOptimize(p);
    free(p);
  }
}

// 64 slots live at once, freed in allocation order: the free list is walked
// in a different order than it was filled.
void BM_PoolBurst64(benchmark::State& state) {
  uint32_t size = static_cast<uint32_t>(state.range(0));
  ZrGranularity* g = ZrGranularity::ForSize(size);
  std::vector<void*> live(64);
  for (auto _ : state) {
    for (void*& p : live) p = g->Alloc(size, BenchWatcher());
    for (void* p : live) g->Free(p, BenchWatcher());
  }
  state.SetItemsProcessed(state.iterations() * 64);
}

void BM_MallocBurst64(benchmark::State& state) {
  size_t size = static_cast<size_t>(state.range(0));
  std::vector<void*> live(64);
  for (auto _ : state) {
    for (void*& p : live) {
      p = malloc(size);
      benchmark::DoNotOptimize(p);
    }
    for (void* p : live) free(p);
  }
  state.SetItemsProcessed(state.iterations() * 64);
}

BENCHMARK(BM_PoolAllocFree)->Arg(8)->Arg(32)->Arg(256);
BENCHMARK(BM_MallocFree)->Arg(8)->Arg(32)->Arg(256);
BENCHMARK(BM_PoolBurst64)->Arg(32);
BENCHMARK(BM_MallocBurst64)->Arg(32);

}  // namespace

// The pool's block is set up before main (pv_pool_setup).
BENCHMARK_MAIN();
