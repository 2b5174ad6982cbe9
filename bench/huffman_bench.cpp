// Huffman decoding throughput against zlib's inflate of the same data
// compressed Huffman-only (Z_HUFFMAN_ONLY), on text-like and binary data.
// Compare the bytes_per_second of each pair from the same run.
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <zlib.h>

#include "bench_data.h"
#include "huffman.h"

namespace {

typedef std::vector<unsigned char> Bytes;

const size_t kSize = 4 << 20;

Bytes huffman_stream(const Bytes &data) {
  int32_t length = 0;
  unsigned char *stream = HUFFMAN_compress(data.data(), (int32_t)data.size(), &length);
  Bytes bytes(stream, stream + length);
  free(stream);
  return bytes;
}

Bytes zlib_huffman_only(const Bytes &data) {
  z_stream z;
  memset(&z, 0, sizeof z);
  deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, Z_HUFFMAN_ONLY);
  Bytes out(deflateBound(&z, data.size()));
  z.next_in = (Bytef *)data.data();
  z.avail_in = (uInt)data.size();
  z.next_out = out.data();
  z.avail_out = (uInt)out.size();
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

void decode_huffman(benchmark::State &state, const Bytes &data) {
  Bytes stream = huffman_stream(data);
  for (auto _ : state) {
    int32_t length = 0;
    unsigned char *out = HUFFMAN_uncompress(stream.data(), (int32_t)stream.size(), &length);
    if (out == NULL || length != (int32_t)data.size()) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(out);
    free(out);
  }
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)data.size());
  state.counters["ratio"] = (double)stream.size() / (double)data.size();
}

void decode_zlib(benchmark::State &state, const Bytes &data) {
  Bytes compressed = zlib_huffman_only(data);
  Bytes out(data.size());
  for (auto _ : state) {
    uLongf length = (uLongf)out.size();
    if (uncompress(out.data(), &length, compressed.data(), (uLong)compressed.size()) != Z_OK ||
        length != data.size()) {
      state.SkipWithError("inflate failed");
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)data.size());
  state.counters["ratio"] = (double)compressed.size() / (double)data.size();
}

void BM_HuffmanDecodeText(benchmark::State &state) {
  static const Bytes data = bench_text_data(kSize);
  decode_huffman(state, data);
}
void BM_ZlibInflateHuffmanOnlyText(benchmark::State &state) {
  static const Bytes data = bench_text_data(kSize);
  decode_zlib(state, data);
}
void BM_HuffmanDecodeBinary(benchmark::State &state) {
  static const Bytes data = bench_binary_data(kSize);
  decode_huffman(state, data);
}
void BM_ZlibInflateHuffmanOnlyBinary(benchmark::State &state) {
  static const Bytes data = bench_binary_data(kSize);
  decode_zlib(state, data);
}

}  // namespace

BENCHMARK(BM_HuffmanDecodeText)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ZlibInflateHuffmanOnlyText)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HuffmanDecodeBinary)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ZlibInflateHuffmanOnlyBinary)->Unit(benchmark::kMillisecond)->UseRealTime();
