// Extraction of arbitrary bytes as a sized archive into a fresh temporary
// folder on the host, then deletion of what was recorded. Every recorded path
// must lie inside the new folder, and nothing may land outside it: after the
// folder is gone, the private temporary-files folder (also the working
// folder, so that relative paths land there) and the folder above it must be
// empty again. No tracked block may stay behind.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "huffman.h"
#include "memory.h"
#include "platform.h"
#include "utilvbig.h"
#include "vfilbig.h"

namespace fs = std::filesystem;

#define UTILVBIG_FUZZ_MAX_INPUT 65536
#define UTILVBIG_FUZZ_OUTPUT 256
#define UTILVBIG_FUZZ_PATH_SIZE 4096

static fs::path fuzz_root;  // holds only "temp": TMPDIR and the working folder
static fs::path fuzz_home;  // the fuzzer's own working folder
// The same folders as plain texts, for the system calls of every run.
static std::string root_text, temp_text, home_text;

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // tmpfs where there is one: every run creates and deletes files.
  fs::path base = fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path();
  fuzz_root = base / ("fnal_extract_fuzz_" + std::to_string((long)getpid()));
  fuzz_home = fs::current_path();
  root_text = fuzz_root.string();
  temp_text = (fuzz_root / "temp").string();
  home_text = fuzz_home.string();
  fs::remove_all(fuzz_root);
  fs::create_directories(fuzz_root / "temp");
  setenv("TMPDIR", temp_text.c_str(), 1);
  atexit([] {
    std::error_code error;
    fs::remove_all(fuzz_root, error);
  });
  return MEMORY_initialise() ? 0 : 1;
}

// Aborts unless the private folders hold nothing at all. rmdir removes only
// an empty folder, so removing "temp" and then its parent proves that nothing
// is left in it or beside it; both are made again for the next run. Cheaper
// than listing the two folders, which every run would do.
static void fuzz_check_folders_empty(void) {
  if (rmdir(temp_text.c_str()) != 0 || rmdir(root_text.c_str()) != 0) abort();
  if (mkdir(root_text.c_str(), 0700) != 0 || mkdir(temp_text.c_str(), 0700) != 0) abort();
}

// Every recorded path of one kind starts with the folder and a backslash.
static void fuzz_check_recorded(unsigned char is_dir, const char *folder) {
  size_t length = strlen(folder);
  int32_t count = is_dir ? UTILVBIG_recorded_dir_count() : UTILVBIG_recorded_file_count();
  for (int32_t i = 0; i < count; i++) {
    const char *path = UTILVBIG_recorded_path(is_dir, i);
    if (path == NULL || strncmp(path, folder, length) != 0 || path[length] != '\\') abort();
  }
}

// A library path (backslashes) as a host path.
static fs::path fuzz_host_path(std::string path) {
  for (char &c : path)
    if (c == '\\') c = '/';
  return path;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > UTILVBIG_FUZZ_MAX_INPUT) return 0;
  HUFFMAN_set_output_limit(UTILVBIG_FUZZ_OUTPUT);
  if (!VFILBIG_initialise(1) || !UTILVBIG_initialise(1)) abort();
  // The extraction runs in the private working folder; the fuzzer's own
  // relative paths need its folder back afterwards.
  if (chdir(temp_text.c_str()) != 0) abort();
  char folder[PLATFORM_MAX_PATH];
  if (UTILVBIG_extract_to_temp_dir_from_mem_with_size(data, (int32_t)size, folder)) {
    fuzz_check_recorded(0, folder);
    fuzz_check_recorded(1, folder);
    UTILVBIG_delete_extracted_files();
    UTILVBIG_delete_extracted_dirs();
    // Members beyond the recorded 100 stay; the folder goes with them.
    std::error_code error;
    fs::remove_all(fuzz_host_path(folder), error);
  }
  UTILVBIG_deinitialise();
  VFILBIG_deinitialise();
  // The library must have left the working folder as it found it.
  char where[UTILVBIG_FUZZ_PATH_SIZE];
  if (getcwd(where, sizeof where) == NULL || temp_text != where) abort();
  if (chdir(home_text.c_str()) != 0) abort();
  fuzz_check_folders_empty();
  if (MEMORY_live_blocks() != 0) abort();
  return 0;
}
