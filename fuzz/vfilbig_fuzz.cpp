// The sized archive open on arbitrary bytes, then a full walk of the tree
// (by record index and by path) and a read of every member.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include "huffman.h"
#include "vfilbig.h"

// Walks a directory by index, reading each file; depth is bounded by the
// reader's own parent-chain check.
static void walk_by_index(int32_t handle, int32_t parent) {
  for (int32_t i = VFILBIG_next_child(handle, parent, parent); i >= 0;
       i = VFILBIG_next_child(handle, parent, i)) {
    const VBIG_FAT_ENTRY *entry = VFILBIG_get_fat_entry(handle, i);
    if (entry == NULL) abort();
    if (entry->type == VBIG_ENTRY_DIRECTORY) {
      walk_by_index(handle, i);
      continue;
    }
    int32_t length = -1;
    void *data = VFILBIG_read_entry(handle, i, &length);
    if (data != NULL && length < 0) abort();
    free(data);
  }
}

// Lists a directory by path. Paths can be ambiguous (names that differ only
// in case), so the listing is bounded by the entry count.
static void walk_by_path(int32_t handle, const char *directory, int depth) {
  int32_t budget = VFILBIG_get_entry_count(handle) + 1;
  uint8_t type = 0;
  char *path = VFILBIG_find_first_entry(handle, directory, &type);
  while (path != NULL && budget-- > 0) {
    if (type == VBIG_ENTRY_DIRECTORY && depth < 8) walk_by_path(handle, path, depth + 1);
    if (type == VBIG_ENTRY_FILE) {
      int32_t length = 0;
      free(VFILBIG_read_file(handle, path, NULL, &length));
      char small[16];
      length = (int32_t)sizeof small;
      VFILBIG_read_file(handle, path, small, &length);
    }
    char *next = VFILBIG_find_next_entry(handle, path, &type);
    free(path);
    path = next;
  }
  free(path);
}

// Bounded inputs and a small output limit keep every run short.
#define VFILBIG_FUZZ_MAX_INPUT 65536
#define VFILBIG_FUZZ_OUTPUT 256

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > VFILBIG_FUZZ_MAX_INPUT) return 0;
  HUFFMAN_set_output_limit(VFILBIG_FUZZ_OUTPUT);
  if (!VFILBIG_initialise(1)) abort();
  int32_t handle = VFILBIG_open_from_memory_with_size(data, (int32_t)size);
  if (handle >= 0) {
    walk_by_index(handle, -1);
    walk_by_path(handle, NULL, 0);
  }
  VFILBIG_deinitialise();
  return 0;
}
