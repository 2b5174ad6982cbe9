// Timings of the shipped 32-bit code, run under Wine (Google Benchmark is
// not built for Windows here): Huffman decoding of the benchmarks' text and
// binary data, and tracked allocate/free pairs against malloc/free in the
// same run. Each figure is the median of several rounds.
#define VBUG_SOURCE "bench\\win32\\fnal_timing.cpp"
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

#include "bench_data.h"
#include "huffman.h"
#include "memory.h"
#include "vbug.h"

namespace {

typedef std::vector<unsigned char> Bytes;
const int kRounds = 7;

// Median time of one call of work, in nanoseconds, over kRounds rounds of
// `calls` calls each.
double median_ns(int calls, const std::function<void()> &work) {
  std::vector<double> rounds;
  for (int r = 0; r < kRounds; r++) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; i++) work();
    std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
    rounds.push_back(took.count() / calls);
  }
  std::sort(rounds.begin(), rounds.end());
  return rounds[kRounds / 2];
}

void time_decoding(const char *what, const Bytes &data) {
  int32_t length = 0;
  unsigned char *stream = HUFFMAN_compress(data.data(), (int32_t)data.size(), &length);
  Bytes bytes(stream, stream + length);
  free(stream);
  bool ok = true;
  double ns = median_ns(5, [&] {
    int32_t n = 0;
    unsigned char *out = HUFFMAN_uncompress(bytes.data(), (int32_t)bytes.size(), &n);
    ok = ok && out != NULL && n == (int32_t)data.size();
    free(out);
  });
  printf("Huffman decoding, %-6s %8.1f MB/s%s\n", what, data.size() / ns * 1e3,
         ok ? "" : "  (decode failed)");
}

void time_pairs(int32_t size) {
  double tracked = median_ns(200000, [&] {
    void *p = MEMORY_ALLOC(nullptr, size, MEMORY_NO_FILL, "bench");
    MEMORY_FREE(p);
  });
  double plain = median_ns(200000, [&] {
    void *volatile p = malloc((size_t)size);
    free(p);
  });
  printf("Tracked pair, %5d B  %8.1f ns   malloc/free %8.1f ns   %.2fx\n", (int)size, tracked,
         plain, tracked / plain);
}

void time_live_blocks() {
  static void *blocks[1000];
  double tracked = median_ns(200, [&] {
    for (void *&b : blocks) b = MEMORY_ALLOC(nullptr, 16, MEMORY_NO_FILL, "b");
    for (void *&b : blocks) MEMORY_FREE(b);
  });
  double plain = median_ns(200, [&] {
    for (void *&b : blocks) b = malloc(16);
    for (void *&b : blocks) free(b);
  });
  printf("1000 live blocks      %8.1f us   malloc/free %8.1f us   %.2fx\n", tracked / 1e3,
         plain / 1e3, tracked / plain);
}

}  // namespace

int main() {
  time_decoding("text", bench_text_data(4 << 20));
  time_decoding("binary", bench_binary_data(4 << 20));
  if (!MEMORY_initialise()) return 1;
  time_pairs(16);
  time_pairs(4096);
  time_live_blocks();
  MEMORY_deinitialise();
  return 0;
}
