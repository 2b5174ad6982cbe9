// Utilfile: a recursive directory scan that reports every entry, and a tick
// before every listing step, to a callback. No module state.
#ifndef UTILFILE_H
#define UTILFILE_H

#include <stdint.h>

// Kinds of report given to the scan callback.
#define UTILFILE_KIND_FILE 0       // path of an entry without the directory attribute
#define UTILFILE_KIND_DIRECTORY 1  // path of a folder
#define UTILFILE_KIND_TICK 2       // no path: sent before every listing step

// Scan flags.
#define UTILFILE_RECURSIVE 1  // walk into subfolders

// Size of the buffers in which paths are built; longer paths are skipped.
#define UTILFILE_PATH_SIZE 2048

// Receives each report: a path (null for a tick) and its kind.
typedef void (*UTILFILE_CALLBACK)(const char *path, int32_t kind);

// Reports every entry of directory matching pattern (such as "*.*") as
// directory, a backslash and its name ("." and ".." skipped), then with
// UTILFILE_RECURSIVE walks every subfolder the same way, depth-first in
// listing order. A folder that cannot be listed reports nothing but ticks.
// Returns 1 (the scan has no failure result); a null argument scans nothing.
unsigned char UTILFILE_file_scan(const char *pattern, const char *directory,
                                 UTILFILE_CALLBACK callback, uint32_t flags);

// One level of the scan: the matching entries of directory, then (with
// UTILFILE_RECURSIVE) each subfolder. Paths that would not fit
// UTILFILE_PATH_SIZE are neither reported nor entered.
void recursive_file_search(const char *pattern, const char *directory, UTILFILE_CALLBACK callback,
                           uint32_t flags);

#endif
