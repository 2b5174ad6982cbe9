// MEMORY_allocate/MEMORY_deallocate pairs against malloc/free, for small and
// 4 KiB blocks. Run from the `bench` preset (optimised, no sanitizers).
#define VBUG_SOURCE "bench\\memory_bench.cpp"
#include <stdlib.h>

#include <chrono>

#include <benchmark/benchmark.h>

#include "memory.h"
#include "vbug.h"

static void BM_TrackedPair(benchmark::State &state) {
  const int32_t size = (int32_t)state.range(0);
  MEMORY_initialise();
  for (auto _ : state) {
    void *p = MEMORY_ALLOC(nullptr, size, MEMORY_NO_FILL, "bench");
    benchmark::DoNotOptimize(p);
    MEMORY_FREE(p);
  }
  MEMORY_deinitialise();
}
BENCHMARK(BM_TrackedPair)->Arg(16)->Arg(4096);

static void BM_MallocPair(benchmark::State &state) {
  const size_t size = (size_t)state.range(0);
  for (auto _ : state) {
    void *p = malloc(size);
    benchmark::DoNotOptimize(p);
    free(p);
  }
}
BENCHMARK(BM_MallocPair)->Arg(16)->Arg(4096);

// Many blocks live at once: the slot table and free stack at work.
static void BM_TrackedBatch(benchmark::State &state) {
  const int count = 1000;
  static void *blocks[1000];
  MEMORY_initialise();
  for (auto _ : state) {
    for (int i = 0; i < count; i++) blocks[i] = MEMORY_ALLOC(nullptr, 16, MEMORY_NO_FILL, "b");
    for (int i = 0; i < count; i++) MEMORY_FREE(blocks[i]);
  }
  MEMORY_deinitialise();
}
BENCHMARK(BM_TrackedBatch);

static void BM_MallocBatch(benchmark::State &state) {
  const int count = 1000;
  static void *blocks[1000];
  for (auto _ : state) {
    for (int i = 0; i < count; i++) blocks[i] = malloc(16);
    for (int i = 0; i < count; i++) free(blocks[i]);
  }
}
BENCHMARK(BM_MallocBatch);

// The heap's own share of the tracked batch: the same pattern with blocks of
// the size each tracked 16-byte block takes from the heap (180-byte header,
// 16 user bytes, 128-byte foot area).
static void BM_MallocBatchOfTrackedSize(benchmark::State &state) {
  const int count = 1000;
  static void *blocks[1000];
  for (auto _ : state) {
    for (int i = 0; i < count; i++) blocks[i] = malloc(MEMORY_HEADER_SIZE + 16 + 128);
    for (int i = 0; i < count; i++) free(blocks[i]);
  }
}
BENCHMARK(BM_MallocBatchOfTrackedSize);

// The tracked pair against malloc/free in alternating batches of 1000, so that
// both see the same machine: on a shared or throttled machine the speed drifts
// between the separate benchmarks above. Reports tracked time / malloc time.
static void BM_TrackedToMallocPairRatio(benchmark::State &state) {
  const int32_t size = (int32_t)state.range(0);
  const int batch = 1000;
  MEMORY_initialise();
  double tracked = 0, plain = 0;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < batch; i++) {
      void *p = MEMORY_ALLOC(nullptr, size, MEMORY_NO_FILL, "bench");
      benchmark::DoNotOptimize(p);
      MEMORY_FREE(p);
    }
    auto middle = std::chrono::steady_clock::now();
    for (int i = 0; i < batch; i++) {
      void *p = malloc((size_t)size);
      benchmark::DoNotOptimize(p);
      free(p);
    }
    auto end = std::chrono::steady_clock::now();
    tracked += std::chrono::duration<double>(middle - start).count();
    plain += std::chrono::duration<double>(end - middle).count();
  }
  MEMORY_deinitialise();
  state.counters["tracked_ns"] = tracked * 1e9 / ((double)state.iterations() * batch);
  state.counters["malloc_ns"] = plain * 1e9 / ((double)state.iterations() * batch);
  state.counters["ratio"] = tracked / plain;
}
BENCHMARK(BM_TrackedToMallocPairRatio)->Arg(16)->Arg(4096);
