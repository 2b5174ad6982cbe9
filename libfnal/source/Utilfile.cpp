// Utilfile: the recursive directory scan over the platform's find-first and
// find-next calls.
#define VBUG_SOURCE "libfnal\\source\\Utilfile.cpp"
#include "Utilfile.h"

#include <stdio.h>
#include <string.h>

#include "platform.h"
#include "vbug.h"

static unsigned char utilfile_is_dot_entry(const char *name) {
  return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

// Joins directory, a backslash and name into out (UTILFILE_PATH_SIZE bytes).
// Returns 0 when the result would not fit.
static unsigned char utilfile_join(char *out, const char *directory, const char *name) {
  int written = snprintf(out, UTILFILE_PATH_SIZE, "%s\\%s", directory, name);
  return written >= 0 && written < UTILFILE_PATH_SIZE;
}

// Lists directory\mask, ticking before each step, and hands every entry
// other than "." and ".." to visit.
typedef void (*UTILFILE_VISIT)(const char *path, const PLATFORM_FIND_DATA *data,
                               const char *pattern, UTILFILE_CALLBACK callback, uint32_t flags);

static void utilfile_list(const char *directory, const char *mask, UTILFILE_VISIT visit,
                          const char *pattern, UTILFILE_CALLBACK callback, uint32_t flags) {
  char search[UTILFILE_PATH_SIZE];
  char path[UTILFILE_PATH_SIZE];
  PLATFORM_FIND_DATA data;
  if (!utilfile_join(search, directory, mask)) return;
  callback(NULL, UTILFILE_KIND_TICK);
  PLATFORM_FIND *find = PLATFORM_find_first(search, &data);
  if (find == NULL) return;
  do {
    if (!utilfile_is_dot_entry(data.name) && utilfile_join(path, directory, data.name))
      visit(path, &data, pattern, callback, flags);
    callback(NULL, UTILFILE_KIND_TICK);
  } while (PLATFORM_find_next(find, &data));
  PLATFORM_find_close(find);
}

static void utilfile_report(const char *path, const PLATFORM_FIND_DATA *data, const char *pattern,
                            UTILFILE_CALLBACK callback, uint32_t flags) {
  (void)pattern;
  (void)flags;
  callback(path, data->is_directory ? UTILFILE_KIND_DIRECTORY : UTILFILE_KIND_FILE);
}

static void utilfile_descend(const char *path, const PLATFORM_FIND_DATA *data, const char *pattern,
                             UTILFILE_CALLBACK callback, uint32_t flags) {
  if (data->is_directory) recursive_file_search(pattern, path, callback, flags);
}

void recursive_file_search(const char *pattern, const char *directory, UTILFILE_CALLBACK callback,
                           uint32_t flags) {
  VBUG_TRACE("recursive_file_search");
  if (pattern == NULL || directory == NULL || callback == NULL) return;
  utilfile_list(directory, pattern, utilfile_report, pattern, callback, flags);
  if (flags & UTILFILE_RECURSIVE)
    utilfile_list(directory, "*.*", utilfile_descend, pattern, callback, flags);
}

unsigned char UTILFILE_file_scan(const char *pattern, const char *directory,
                                 UTILFILE_CALLBACK callback, uint32_t flags) {
  VBUG_TRACE("UTILFILE_file_scan");
  recursive_file_search(pattern, directory, callback, flags);
  return 1;
}
