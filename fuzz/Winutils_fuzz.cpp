// Command-line splitting on arbitrary text: every token must lie inside the
// text and be terminated there, and the array must hold every token stored.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "Winutils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<char> text(data, data + size);
  text.push_back('\0');
  int32_t count = -1;
  char **tokens = WINUTILS_parse_command_line(text.data(), &count);
  if (tokens == NULL) return 0;
  if (count < 1) abort();
  const char *end = text.data() + text.size();
  for (int32_t i = 0; i < count; i++) {
    if (tokens[i] < text.data() || tokens[i] >= end) abort();
    if (memchr(tokens[i], '\0', (size_t)(end - tokens[i])) == NULL) abort();
  }
  free(tokens);
  return 0;
}
