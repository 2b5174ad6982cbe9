// Any bytes as a name to resolve over a small scanned tree (mixed case,
// 12-character collisions, nested folders): VFILE_make_full_path and the
// tree lookup must stay inside their 256-character buffers and give either
// nothing or a path no longer than 255 characters.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "memory.h"
#include "platform.h"
#include "vfile.h"

static void fuzz_make_tree(const std::string &root) {
  const char *folders[] = {"", "\\Sub", "\\Sub\\Deeper", "\\directoryname1", "\\directoryname2"};
  const char *files[] = {
      "\\Setup.INI",         "\\readmecev",      "\\longfilename1.txt",      "\\longfilename2.txt",
      "\\Sub\\DataFile.txt", "\\Sub\\Deeper\\x", "\\directoryname2\\two.txt"};
  for (const char *folder : folders) PLATFORM_create_directory((root + folder).c_str());
  for (const char *file : files) {
    FILE *stream = PLATFORM_fopen((root + file).c_str(), "wb");
    if (stream) fclose(stream);
  }
}

static void fuzz_start(void) {
  static bool started = false;
  if (started) return;
  std::string root = "/tmp/fnal_resolve_fuzz_" + std::to_string((long)getpid());
  fuzz_make_tree(root);
  started = MEMORY_initialise() == 1 && VFILE_initialise(NULL) == 1 &&
            VFILE_set_search_paths(1, root.c_str()) == 1 && VFILE_set_extension("cev") == 1;
  // The tree is in memory now; relative names never touch the disk again.
  std::error_code error;
  std::filesystem::remove_all(root, error);
  if (!started) abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz_start();
  char *name = (char *)malloc(size + 1);
  memcpy(name, data, size);
  name[size] = '\0';
  const char *path = VFILE_make_full_path(name);
  if (path != NULL && strlen(path) >= VFILE_PATH_SIZE) abort();
  const VFILE_SEARCH_PATH *slot = VFILE_get_search_path(0);
  char output[VFILE_PATH_SIZE];
  if (slot->tree_count > 0 && vfile_find_full_path(name, output, slot->file_tree, 0) &&
      strlen(output) >= VFILE_PATH_SIZE)
    abort();
  free(name);
  return 0;
}
