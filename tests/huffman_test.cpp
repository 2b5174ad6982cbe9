// Huffman streams: the tree built by the queue rules, decoding, the failures,
// the output growth and the encoder's round trip.
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bytes.h"
#include "huffman.h"

namespace {

typedef std::vector<unsigned char> Bytes;

// A stream with N, the given weights and the code bits written as '0'/'1'
// characters (spaces ignored); the last byte is padded with `pad` bits.
Bytes make_stream(int32_t n, const std::map<unsigned char, int> &weights, const std::string &bits,
                  int pad = 0) {
  Bytes stream(HUFFMAN_HEADER_SIZE, 0);
  BYTES_write_le32(stream.data(), (uint32_t)n);
  for (const auto &w : weights) stream[4 + w.first] = (unsigned char)w.second;
  size_t position = 0;
  for (char c : bits) {
    if (c == ' ') continue;
    if (position % 8 == 0) stream.push_back(pad ? 0xFF : 0x00);
    unsigned char bit = (unsigned char)(0x80u >> (position % 8));
    if (c == '1') stream.back() |= bit;
    if (c == '0') stream.back() &= (unsigned char)~bit;
    position++;
  }
  return stream;
}

struct Decoded {
  int32_t length;
  std::string bytes;
  bool null;
};

Decoded decode(const Bytes &stream) {
  int32_t length = 12345;
  unsigned char *out = HUFFMAN_uncompress(stream.data(), (int32_t)stream.size(), &length);
  Decoded d = {length, out ? std::string((char *)out, length > 0 ? length : 0) : "", out == NULL};
  free(out);
  return d;
}

void collect_codes(const BTREE_NODE *node, const std::string &code,
                   std::map<char, std::string> &codes) {
  if (node->left == NULL && node->right == NULL) {
    codes[(char)((const HUFFMAN_SYMBOL *)node->data)->value] = code;
    return;
  }
  if (node->left) collect_codes(node->left, code + "0", codes);
  if (node->right) collect_codes(node->right, code + "1", codes);
}

std::map<char, std::string> codes_for(const std::map<unsigned char, int> &weights) {
  int32_t table[256] = {0};
  for (const auto &w : weights) table[w.first] = w.second;
  BTREE *tree = NULL;
  EXPECT_EQ(0, huffman_build_tree(table, &tree));
  std::map<char, std::string> codes;
  if (tree == NULL) return codes;
  collect_codes(tree->root, "", codes);
  huffman_destroy_tree(tree);
  return codes;
}

}  // namespace

TEST(HuffmanBuildTree, FollowsTheQueueRulesOfTheWorkedExamples) {
  struct Case {
    std::map<unsigned char, int> weights;
    std::map<char, std::string> codes;
  } cases[] = {
      {{{'a', 1}, {'b', 1}, {'c', 2}}, {{'c', "0"}, {'a', "10"}, {'b', "11"}}},
      {{{'a', 2}, {'b', 2}, {'c', 2}, {'d', 2}},
       {{'a', "00"}, {'d', "01"}, {'c', "10"}, {'b', "11"}}},
  };
  for (const Case &c : cases) EXPECT_EQ(c.codes, codes_for(c.weights));
}

TEST(HuffmanBuildTree, AllWeightsZeroFails) {
  int32_t weights[256] = {0};
  BTREE *tree = (BTREE *)&weights;  // must be overwritten
  EXPECT_EQ(-1, huffman_build_tree(weights, &tree));
  EXPECT_EQ(nullptr, tree);
}

TEST(HuffmanBuildTree, CountsEveryNodeOfTheJoinedTree) {
  int32_t weights[256] = {0};
  int32_t total = 0;
  for (int i = 0; i < 256; i++) total += weights[i] = 1 + i % 7;
  BTREE *tree = NULL;
  ASSERT_EQ(0, huffman_build_tree(weights, &tree));
  EXPECT_EQ(511, tree->count);
  EXPECT_EQ(total, ((HUFFMAN_SYMBOL *)tree->root->data)->weight);
  huffman_destroy_tree(tree);
}

TEST(HuffmanContainers, BtreeInsertTakesOnlyFreePlaces) {
  BTREE tree;
  btree_init(&tree, free);
  EXPECT_EQ(1, btree_insert(&tree, NULL, malloc(1)));
  void *spare = malloc(1);
  EXPECT_EQ(0, btree_insert(&tree, NULL, spare)) << "second root";
  EXPECT_EQ(1, btree_insert(&tree, tree.root, spare));
  void *other = malloc(1);
  EXPECT_EQ(0, btree_insert(&tree, tree.root, other)) << "left child taken";
  free(other);
  EXPECT_EQ(2, tree.count);
  btree_clear(&tree);
  EXPECT_EQ(nullptr, tree.root);
  EXPECT_EQ(0, tree.count);
}

static int compare_ints(const void *a, const void *b) {
  int x = *(const int *)a, y = *(const int *)b;
  return x < y ? 1 : x > y ? -1 : 0;
}

TEST(HuffmanContainers, PqueuePopsSmallestFirstAndDestroyReleasesTheRest) {
  PQUEUE queue;
  pqueue_init(&queue, compare_ints, free);
  int values[] = {5, 3, 9, 1, 7, 3, 0};
  for (int v : values) {
    int *item = (int *)malloc(sizeof(int));
    *item = v;
    ASSERT_EQ(1, pqueue_push(&queue, item));
  }
  std::vector<int> popped;
  for (int i = 0; i < 4; i++) {
    void *item = NULL;
    ASSERT_EQ(1, pqueue_pop(&queue, &item));
    popped.push_back(*(int *)item);
    free(item);
  }
  EXPECT_EQ((std::vector<int>{0, 1, 3, 3}), popped);
  EXPECT_EQ(3, queue.count);
  pqueue_destroy(&queue);  // the sanitizer reports the three if they leak
  void *item = NULL;
  EXPECT_EQ(0, pqueue_pop(&queue, &item));
}

TEST(HuffmanUncompress, DecodesTheWorkedExamples) {
  struct Case {
    std::map<unsigned char, int> weights;
    std::string bits;
    std::string expected;
  } cases[] = {
      {{{'a', 1}, {'b', 1}, {'c', 2}}, "0 10 11 0", "cabc"},
      {{{'a', 2}, {'b', 2}, {'c', 2}, {'d', 2}}, "00 01 10 11", "adcb"},
  };
  for (const Case &c : cases) {
    for (int pad = 0; pad < 2; pad++) {
      Decoded d = decode(make_stream((int32_t)c.expected.size(), c.weights, c.bits, pad));
      EXPECT_EQ(c.expected, d.bytes) << c.bits << " pad " << pad;
      EXPECT_EQ((int32_t)c.expected.size(), d.length);
    }
  }
}

TEST(HuffmanUncompress, SingleSymbolRepeatsItWithoutCodeBits) {
  Decoded d = decode(make_stream(7, {{'z', 9}}, ""));
  EXPECT_EQ(std::string(7, 'z'), d.bytes);
  EXPECT_EQ(7, d.length);
}

TEST(HuffmanUncompress, NothingToProduceGivesNullAndZero) {
  for (int32_t n : {0, -5}) {
    Decoded d = decode(make_stream(n, {{'a', 1}, {'b', 1}}, "0101"));
    EXPECT_TRUE(d.null) << n;
    EXPECT_EQ(0, d.length) << n;
  }
}

TEST(HuffmanUncompress, BadStreamsFailWithMinusOne) {
  const std::map<unsigned char, int> abc = {{'a', 1}, {'b', 1}, {'c', 2}};
  Bytes full = make_stream(4, abc, "0 10 11 0");
  struct Case {
    const char *what;
    Bytes stream;
  } cases[] = {
      {"all weights 0", make_stream(3, {}, "000")},
      {"bits run out", make_stream(7, abc, "0 10 11 0")},  // 6 bits + 2 pad
      {"last code cut short", make_stream(8, abc, "0000000 1")},
      {"header cut short", Bytes(full.begin(), full.begin() + 259)},
      {"length beyond what the bits can hold", make_stream(0x7FFFFFFF, abc, "0000")},
  };
  for (const Case &c : cases) {
    Decoded d = decode(c.stream);
    EXPECT_TRUE(d.null) << c.what;
    EXPECT_EQ(-1, d.length) << c.what;
  }
  int32_t length = 0;
  EXPECT_EQ(nullptr, HUFFMAN_uncompress(NULL, 300, &length));
  EXPECT_EQ(-1, length);
}

TEST(HuffmanUncompress, SingleSymbolAllocatesOnceOrFailsAboveTheLimit) {
  Decoded big = decode(make_stream(3000000, {{'q', 1}}, ""));
  ASSERT_EQ(3000000, big.length);
  EXPECT_EQ(3000000u, huffman_current_capacity()) << "sized once from N";
  EXPECT_EQ(std::string::npos, big.bytes.find_first_not_of('q'));

  HUFFMAN_set_output_limit(1000);
  Decoded refused = decode(make_stream(1001, {{'q', 1}}, ""));
  Decoded allowed = decode(make_stream(1000, {{'q', 1}}, ""));
  HUFFMAN_set_output_limit(HUFFMAN_DEFAULT_OUTPUT_LIMIT);
  EXPECT_EQ(-1, refused.length);
  EXPECT_EQ(1000, allowed.length);
  Decoded huge = decode(make_stream(0x7FFFFFFF, {{'q', 1}}, ""));
  EXPECT_EQ(-1, huge.length);
}

TEST(HuffmanGrowth, StepsOfAFifthOfTheBase) {
  huffman_set_realloc_default(300);
  huffman_set_realloc_default(0);   // ignored
  huffman_set_realloc_default(-4);  // ignored
  unsigned char *buffer = huffman_init_realloc(1);
  ASSERT_NE(nullptr, buffer);
  EXPECT_EQ(300u, huffman_current_capacity());
  int steps = 0;
  for (uint32_t j = 1; j < 1000; j++) {
    uint32_t before = huffman_current_capacity();
    buffer = huffman_realloc(buffer, j + 1);
    ASSERT_NE(nullptr, buffer);
    buffer[j] = (unsigned char)j;
    if (huffman_current_capacity() != before) {
      EXPECT_EQ(before + 60, huffman_current_capacity());
      steps++;
    }
  }
  EXPECT_EQ(12, steps);
  free(buffer);

  unsigned char *bigger = huffman_init_realloc(5000);
  EXPECT_EQ(5000u, huffman_current_capacity()) << "request above the default";
  free(bigger);
  huffman_set_realloc_default(HUFFMAN_DEFAULT_CAPACITY);
}

namespace {

// Decodes by walking the tree one bit at a time, exactly as the format
// describes it: the reference for the table-driven decoder.
int32_t reference_decode(const Bytes &stream, std::string *out) {
  if (stream.size() < HUFFMAN_HEADER_SIZE) return -1;
  int32_t n = (int32_t)BYTES_read_le32(stream.data());
  int32_t weights[256], symbols = 0;
  for (int i = 0; i < 256; i++) symbols += (weights[i] = stream[4 + i]) != 0;
  BTREE *tree = NULL;
  if (huffman_build_tree(weights, &tree) != 0) return -1;
  out->clear();
  const BTREE_NODE *root = tree->root;
  size_t p = HUFFMAN_HEADER_SIZE * 8;
  int32_t result = n <= 0 ? 0 : n;
  for (int32_t j = 0; j < n && result >= 0; j++) {
    const BTREE_NODE *node = root;
    while (symbols > 1 && (node->left || node->right)) {
      if (p / 8 >= stream.size()) {
        result = -1;
        break;
      }
      node = (stream[p / 8] & (0x80 >> (p % 8))) ? node->right : node->left;
      p++;
    }
    if (result >= 0) out->push_back((char)((const HUFFMAN_SYMBOL *)node->data)->value);
  }
  huffman_destroy_tree(tree);
  return result;
}

}  // namespace

TEST(HuffmanUncompress, AgreesWithABitByBitWalkOnRandomStreams) {
  std::mt19937 random(20020404);
  for (int round = 0; round < 300; round++) {
    Bytes stream(HUFFMAN_HEADER_SIZE + random() % 64);
    static const int fib[] = {1, 1, 2, 3, 5, 8, 13, 21, 34, 55, 89, 144, 233};
    int mode = round % 3;
    int symbols = mode == 2 ? 13 : 1 + random() % (mode == 0 ? 256 : 12);
    for (unsigned char &b : stream) b = (unsigned char)random();
    for (int i = 0; i < 256; i++) stream[4 + i] = 0;
    for (int s = 0; s < symbols; s++) {
      // Fibonacci weights give codes longer than one table look-up.
      int weight = mode == 0 ? 1 + random() % 255 : mode == 1 ? 1 << (s % 8) : fib[s];
      stream[4 + (mode == 2 ? 3 * s : random() % 256)] = (unsigned char)weight;
    }
    int32_t n = (int32_t)(random() % 400) - 10;
    BYTES_write_le32(stream.data(), (uint32_t)n);
    std::string expected;
    int32_t expected_length = reference_decode(stream, &expected);
    Decoded d = decode(stream);
    ASSERT_EQ(expected_length, d.length) << "round " << round;
    if (expected_length > 0) {
      ASSERT_EQ(expected, d.bytes) << "round " << round;
    }
  }
}

TEST(HuffmanCompress, RoundTripsAndUsesLongCodes) {
  std::mt19937 random(7);
  std::string skewed;
  int fib[] = {1, 1, 2, 3, 5, 8, 13, 21, 34, 55, 89, 144, 233};
  for (int s = 0; s < 13; s++) skewed += std::string(fib[s], (char)('A' + s));
  std::string binary(5000, 0), all_values;
  for (char &c : binary) c = (char)random();
  for (int i = 0; i < 256; i++) all_values += (char)i;
  struct Case {
    const char *what;
    std::string data;
  } cases[] = {
      {"empty", ""},
      {"one value", std::string(100, 'x')},
      {"text", "It was a bright cold day in April, and the clocks were striking thirteen."},
      {"fibonacci counts", skewed},
      {"random bytes", binary},
      {"every value once", all_values},
  };
  for (const Case &c : cases) {
    int32_t stream_length = 0;
    unsigned char *stream = HUFFMAN_compress((const unsigned char *)c.data.data(),
                                             (int32_t)c.data.size(), &stream_length);
    ASSERT_NE(nullptr, stream) << c.what;
    Bytes bytes(stream, stream + stream_length);
    free(stream);
    Decoded d = decode(bytes);
    EXPECT_EQ((int32_t)c.data.size(), d.length) << c.what;
    EXPECT_EQ(c.data, d.bytes) << c.what;
    std::string reference;
    EXPECT_EQ((int32_t)c.data.size(), reference_decode(bytes, &reference)) << c.what;
    EXPECT_EQ(c.data, reference) << c.what;
    if (c.data == skewed) {
      std::map<unsigned char, int> weights;
      for (int i = 0; i < 256; i++) {
        if (bytes[4 + i]) weights[(unsigned char)i] = bytes[4 + i];
      }
      size_t longest = 0;
      for (const auto &code : codes_for(weights)) longest = std::max(longest, code.second.size());
      EXPECT_GT(longest, 11u) << "codes longer than one table look-up";
    }
  }
  int32_t length = 0;
  EXPECT_EQ(nullptr, HUFFMAN_compress((const unsigned char *)"x", -1, &length));
  EXPECT_EQ(-1, length);
}

namespace {

// Weights whose trees reach every decoding path: the first `count` values
// get the Fibonacci numbers capped at `cap`, which makes codes up to 18 bits
// long (with 139 values and a cap of 232), the longest 8-bit weights allow.
std::vector<int32_t> fibonacci_weights(int count, int cap) {
  std::vector<int32_t> weights(256, 0);
  int64_t a = 1, b = 1;
  for (int i = 0; i < count; i++) {
    weights[(size_t)i] = (int32_t)std::min<int64_t>(a, cap);
    int64_t c = std::min<int64_t>(a + b, 1 << 20);
    a = b;
    b = c;
  }
  return weights;
}

// Random weight tables of several shapes, and the codes of each value.
std::vector<int32_t> random_weights(std::mt19937 &random, int shape) {
  if (shape == 0) return fibonacci_weights(13 + (int)(random() % 244), 200 + (int)(random() % 56));
  std::vector<int32_t> weights(256, 0);
  int symbols = 2 + (int)(random() % 255);
  for (int s = 0; s < symbols; s++) {
    int weight = shape == 1 ? 1 + (int)(random() % 255) : 1 << (random() % 8);
    weights[random() % 256] = weight;
  }
  return weights;
}

std::vector<std::string> codes_of(const std::vector<int32_t> &weights) {
  std::vector<std::string> codes(256);
  BTREE *tree = NULL;
  EXPECT_EQ(0, huffman_build_tree(weights.data(), &tree));
  if (tree == NULL) return codes;
  std::map<char, std::string> found;
  collect_codes(tree->root, "", found);
  huffman_destroy_tree(tree);
  for (const auto &code : found) codes[(unsigned char)code.first] = code.second;
  return codes;
}

// A stream of the given symbols with their codes, `extra` random bits after
// them, and the last byte's pad bits random too.
Bytes encode_symbols(const std::vector<int32_t> &weights, const std::vector<std::string> &codes,
                     const std::string &symbols, size_t extra, std::mt19937 &random) {
  std::string bits;
  for (char c : symbols) bits += codes[(unsigned char)c];
  for (size_t i = 0; i < extra; i++) bits += random() % 2 ? '1' : '0';
  Bytes stream(HUFFMAN_HEADER_SIZE, 0);
  int32_t n = (int32_t)symbols.size();
  BYTES_write_le32(stream.data(), (uint32_t)n);
  for (int i = 0; i < 256; i++) stream[4 + i] = (unsigned char)weights[(size_t)i];
  for (size_t p = 0; p < bits.size(); p++) {
    if (p % 8 == 0) stream.push_back((unsigned char)random());
    unsigned char bit = (unsigned char)(0x80u >> (p % 8));
    stream.back() = (unsigned char)(bits[p] == '1' ? stream.back() | bit : stream.back() & ~bit);
  }
  return stream;
}

}  // namespace

TEST(HuffmanUncompress, AgreesWithABitByBitWalkOnRandomTreesWithLongCodes) {
  std::mt19937 random(1303);
  size_t longest_used = 0;
  for (int round = 0; round < 240; round++) {
    std::vector<int32_t> weights = random_weights(random, round % 3);
    std::vector<std::string> codes = codes_of(weights);
    std::string present;
    for (int v = 0; v < 256; v++)
      if (!codes[(size_t)v].empty()) present += (char)v;
    ASSERT_GE(present.size(), 2u);
    // Values drawn evenly, so that the rare long codes come up often.
    std::string symbols((size_t)(random() % 3000), '\0');
    for (char &c : symbols) {
      c = present[random() % present.size()];
      longest_used = std::max(longest_used, codes[(unsigned char)c].size());
    }
    Bytes stream = encode_symbols(weights, codes, symbols, random() % 40, random);
    // Every fourth stream is cut short, by up to four bytes.
    if (round % 4 == 3)
      stream.resize(stream.size() - std::min<size_t>(stream.size() - 260, 1 + random() % 4));
    std::string expected;
    int32_t expected_length = reference_decode(stream, &expected);
    if (round % 4 != 3) {
      ASSERT_EQ((int32_t)symbols.size(), expected_length) << "round " << round;
    }
    Decoded d = decode(stream);
    ASSERT_EQ(expected_length, d.length) << "round " << round;
    ASSERT_EQ(expected_length <= 0, d.null) << "round " << round;
    if (expected_length > 0) {
      ASSERT_EQ(expected, d.bytes) << "round " << round;
    }
  }
  EXPECT_GT(longest_used, (size_t)(HUFFMAN_TABLE_BITS + HUFFMAN_SUB_BITS))
      << "codes longer than both table levels, decoded by the walk";
}
