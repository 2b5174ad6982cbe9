// The data sets of the Huffman benchmarks, shared by the Google Benchmark
// program and the Windows timing program.
#ifndef BENCH_DATA_H
#define BENCH_DATA_H

#include <string.h>

#include <random>
#include <vector>

// English-like text: words drawn with a skewed distribution.
inline std::vector<unsigned char> bench_text_data(size_t size) {
  static const char *words[] = {"the",    "iron",   "meadow",  "of",     "and",
                                "a",      "to",     "install", "game",   "patch",
                                "readme", "window", "set-up",  "folder", "cd"};
  std::mt19937 random(1);
  std::geometric_distribution<int> pick(0.25);
  std::vector<unsigned char> data;
  while (data.size() < size) {
    const char *word = words[pick(random) % 15];
    data.insert(data.end(), word, word + strlen(word));
    data.push_back(random() % 12 == 0 ? '\n' : ' ');
  }
  data.resize(size);
  return data;
}

// Binary data like an executable: small values common, the rest spread out.
inline std::vector<unsigned char> bench_binary_data(size_t size) {
  std::mt19937 random(2);
  std::geometric_distribution<int> small(0.08);
  std::vector<unsigned char> data(size);
  for (unsigned char &b : data) b = (unsigned char)(random() % 3 ? small(random) : random());
  return data;
}

#endif
