// Any bytes as an INI text: VELOINI_open_memory parses them in place in a
// buffer of exactly their size, then VELOINI_get_entry looks up a few keys
// and a key taken from the input itself; the handle is closed again and no
// tracked block may stay behind.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "Veloini.h"
#include "memory.h"

static void fuzz_start(void) {
  static bool started = false;
  if (started) return;
  started = MEMORY_initialise() == 1 && VELOINI_initialise(5, "cev") == 1;
  if (!started) abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz_start();
  if (size == 0 || size > 0x7FFFFFFF) return 0;
  int32_t live = MEMORY_live_blocks();
  char *text = (char *)malloc(size);
  memcpy(text, data, size);
  // A key from the first bytes, up to the first separator, so that keys the
  // text really holds are asked for too.
  std::string own_key;
  for (size_t i = 0; i < size && i < 64 && strchr(" \t\r\n=;", (char)data[i]) == NULL; i++)
    own_key += (char)data[i];
  int16_t handle = VELOINI_open_memory(text, (int32_t)size, -1);
  if (handle >= 0) {
    for (const char *key : {"version_number", "speed", "", "#", own_key.c_str()}) {
      const char *value = VELOINI_get_entry(handle, key);
      if (value != NULL && (value < text || value >= text + size)) abort();
      if (value != NULL && value + strlen(value) >= text + size) abort();
    }
    if (VELOINI_close_memory(handle) != 1) abort();
  }
  if (MEMORY_live_blocks() != live) abort();
  free(text);
  return 0;
}
