// Huffman decoding of arbitrary streams; a stream that decodes must encode
// and decode back to the same bytes.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "huffman.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 0x7FFFFFFF) return 0;
  HUFFMAN_set_output_limit(1 << 20);
  int32_t length = -2;
  unsigned char *out = HUFFMAN_uncompress(data, (int32_t)size, &length);
  if ((out == NULL) != (length <= 0)) abort();
  if (out != NULL) {
    int32_t stream_length = 0;
    unsigned char *stream = HUFFMAN_compress(out, length, &stream_length);
    if (stream == NULL) abort();
    int32_t again_length = 0;
    unsigned char *again = HUFFMAN_uncompress(stream, stream_length, &again_length);
    if (again == NULL || again_length != length || memcmp(again, out, (size_t)length) != 0) abort();
    free(again);
    free(stream);
  }
  free(out);
  return 0;
}
