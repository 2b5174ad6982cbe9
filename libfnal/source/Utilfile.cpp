// Utilfile: the recursive directory scan over the platform's find-first and
// find-next calls.
#define VBUG_SOURCE "libfnal\\source\\Utilfile.cpp"
#include "Utilfile.h"

#include <string.h>

#include "platform.h"
#include "vbug.h"

static unsigned char utilfile_is_dot_entry(const char *name) {
  return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

// Joins directory (directory_length characters), a backslash and name into
// out (UTILFILE_PATH_SIZE bytes). Returns 0 when the result would not fit.
static unsigned char utilfile_join(char *out, const char *directory, size_t directory_length,
                                   const char *name) {
  size_t name_length = strlen(name);
  if (directory_length + 1 + name_length >= UTILFILE_PATH_SIZE) return 0;
  memcpy(out, directory, directory_length);
  out[directory_length] = '\\';
  memcpy(out + directory_length + 1, name, name_length + 1);
  return 1;
}

// The sub-folders that one listing met, kept for the sub-folder pass so that
// a folder is listed once: each as its listing step (4 bytes) followed by its
// name and terminator. `steps` counts the entries listed; `searched` says
// whether the search was started at all (its pattern fitted).
typedef struct UTILFILE_KEPT {
  char *records;
  size_t used;
  size_t room;
  uint32_t steps;
  unsigned char searched;
  unsigned char failed;  // the heap refused: the sub-folder pass lists again
} UTILFILE_KEPT;

static void utilfile_keep(UTILFILE_KEPT *kept, uint32_t step, const char *name) {
  size_t bytes = sizeof step + strlen(name) + 1;
  if (kept->failed) return;
  if (kept->used + bytes > kept->room) {
    size_t room = kept->room ? kept->room * 2 : 1024;
    while (room < kept->used + bytes) room *= 2;
    char *grown = (char *)PLATFORM_realloc(kept->records, room);
    if (grown == NULL) {
      kept->failed = 1;
      return;
    }
    kept->records = grown;
    kept->room = room;
  }
  memcpy(kept->records + kept->used, &step, sizeof step);
  memcpy(kept->records + kept->used + sizeof step, name, bytes - sizeof step);
  kept->used += bytes;
}

// Lists directory\mask, ticking before each step. With walk 0, reports
// every entry other than "." and ".." (keeping the sub-folders in kept,
// when given); with walk 1, scans every sub-folder instead.
static void utilfile_list(const char *directory, const char *mask, unsigned char walk,
                          const char *pattern, UTILFILE_CALLBACK callback, uint32_t flags,
                          UTILFILE_KEPT *kept) {
  char search[UTILFILE_PATH_SIZE];
  char path[UTILFILE_PATH_SIZE];
  PLATFORM_FIND_DATA data;
  size_t directory_length = strlen(directory);
  if (!utilfile_join(search, directory, directory_length, mask)) return;
  if (kept != NULL) kept->searched = 1;
  callback(NULL, UTILFILE_KIND_TICK);
  PLATFORM_FIND *find = PLATFORM_find_first(search, &data);
  if (find == NULL) return;
  uint32_t step = 0;
  do {
    if (!utilfile_is_dot_entry(data.name) &&
        utilfile_join(path, directory, directory_length, data.name)) {
      if (walk && data.is_directory) recursive_file_search(pattern, path, callback, flags);
      if (!walk) callback(path, data.is_directory ? UTILFILE_KIND_DIRECTORY : UTILFILE_KIND_FILE);
      if (!walk && kept != NULL && data.is_directory) utilfile_keep(kept, step, data.name);
    }
    callback(NULL, UTILFILE_KIND_TICK);
    step++;
  } while (PLATFORM_find_next(find, &data));
  if (kept != NULL) kept->steps = step;
  PLATFORM_find_close(find);
}

// The sub-folder pass over a kept listing: the same ticks and the same
// folders, in the same order, as listing the folder again.
static void utilfile_walk_kept(const char *directory, const UTILFILE_KEPT *kept,
                               const char *pattern, UTILFILE_CALLBACK callback, uint32_t flags) {
  char path[UTILFILE_PATH_SIZE];
  size_t directory_length = strlen(directory), at = 0;
  if (!kept->searched) return;
  callback(NULL, UTILFILE_KIND_TICK);
  for (uint32_t step = 0; step < kept->steps; step++) {
    uint32_t kept_step = 0;
    if (at < kept->used) memcpy(&kept_step, kept->records + at, sizeof kept_step);
    if (at < kept->used && kept_step == step) {
      const char *name = kept->records + at + sizeof kept_step;
      at += sizeof kept_step + strlen(name) + 1;
      if (utilfile_join(path, directory, directory_length, name))
        recursive_file_search(pattern, path, callback, flags);
    }
    callback(NULL, UTILFILE_KIND_TICK);
  }
}

void recursive_file_search(const char *pattern, const char *directory, UTILFILE_CALLBACK callback,
                           uint32_t flags) {
  VBUG_TRACE("recursive_file_search");
  if (pattern == NULL || directory == NULL || callback == NULL) return;
  unsigned char recursive = (flags & UTILFILE_RECURSIVE) != 0;
  // With the pattern "*.*" both passes see the same listing: list it once.
  UTILFILE_KEPT kept = {NULL, 0, 0, 0, 0, 0};
  unsigned char reuse = recursive && strcmp(pattern, "*.*") == 0;
  utilfile_list(directory, pattern, 0, pattern, callback, flags, reuse ? &kept : NULL);
  if (reuse && !kept.failed) {
    utilfile_walk_kept(directory, &kept, pattern, callback, flags);
  } else if (recursive) {
    utilfile_list(directory, "*.*", 1, pattern, callback, flags, NULL);
  }
  PLATFORM_free(kept.records);
}

unsigned char UTILFILE_file_scan(const char *pattern, const char *directory,
                                 UTILFILE_CALLBACK callback, uint32_t flags) {
  VBUG_TRACE("UTILFILE_file_scan");
  recursive_file_search(pattern, directory, callback, flags);
  return 1;
}
