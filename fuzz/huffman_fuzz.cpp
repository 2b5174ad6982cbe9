// Huffman decoding of streams built from a compact input, so that every run
// builds a small tree: byte 0 gives the number of (symbol, weight) pairs (up
// to HUFFMAN_FUZZ_SYMBOLS), bytes 1-2 the declared N (signed), then the
// pairs, and the rest are the code bits. A stream that decodes must encode
// and decode back to the same bytes. Wide alphabets are reached through the
// archive targets' compressed members.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "huffman.h"

#define HUFFMAN_FUZZ_SYMBOLS 24  // enough for codes longer than the table
#define HUFFMAN_FUZZ_OUTPUT 256  // the output limit while fuzzing
#define HUFFMAN_FUZZ_CODE_BYTES 512

// Lays the input out as a stream in `stream`; returns its length, or 0 when
// the input is too short or too long.
static int32_t fuzz_make_stream(const uint8_t *data, size_t size, unsigned char *stream) {
  if (size < 3) return 0;
  size_t pairs = data[0] % (HUFFMAN_FUZZ_SYMBOLS + 1);
  size_t code_start = 3 + 2 * pairs;
  if (size < code_start || size - code_start > HUFFMAN_FUZZ_CODE_BYTES) return 0;
  int16_t n = (int16_t)(data[1] | data[2] << 8);
  int32_t declared = n;
  memset(stream, 0, HUFFMAN_HEADER_SIZE);
  for (int i = 0; i < 4; i++) stream[i] = (unsigned char)((uint32_t)declared >> (8 * i));
  for (size_t p = 0; p < pairs; p++) stream[4 + data[3 + 2 * p]] = data[4 + 2 * p];
  memcpy(stream + HUFFMAN_HEADER_SIZE, data + code_start, size - code_start);
  return (int32_t)(HUFFMAN_HEADER_SIZE + size - code_start);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static unsigned char stream[HUFFMAN_HEADER_SIZE + HUFFMAN_FUZZ_CODE_BYTES];
  int32_t stream_length = fuzz_make_stream(data, size, stream);
  if (stream_length == 0) return 0;
  HUFFMAN_set_output_limit(HUFFMAN_FUZZ_OUTPUT);
  int32_t length = -2;
  unsigned char *out = HUFFMAN_uncompress(stream, stream_length, &length);
  if ((out == NULL) != (length <= 0)) abort();
  if (out != NULL) {
    int32_t encoded_length = 0;
    unsigned char *encoded = HUFFMAN_compress(out, length, &encoded_length);
    if (encoded == NULL) abort();
    int32_t again_length = 0;
    unsigned char *again = HUFFMAN_uncompress(encoded, encoded_length, &again_length);
    if (again == NULL || again_length != length || memcmp(again, out, (size_t)length) != 0) abort();
    free(again);
    free(encoded);
  }
  free(out);
  return 0;
}
