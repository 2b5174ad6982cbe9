// platform: the few file-system calls that differ between Windows and the
// host. Paths in the library are backslash-separated; on Windows these calls
// go straight to the Win32 API, on the host they map '\\' to '/' where they
// touch the file system and, where the exact spelling does not exist, find a
// component whose name differs only in letter case, as Windows file systems
// do. No module state.
#ifndef PLATFORM_H
#define PLATFORM_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

// Buffer size for paths and names handed back by these calls (MAX_PATH).
#define PLATFORM_MAX_PATH 260

// One entry of a directory listing.
typedef struct PLATFORM_FIND_DATA {
  char name[PLATFORM_MAX_PATH];  // the entry's long name
  unsigned char is_directory;    // 1 when the entry has the directory attribute
} PLATFORM_FIND_DATA;

// An open directory listing (opaque).
typedef struct PLATFORM_FIND PLATFORM_FIND;

// Status of a file or folder.
typedef struct PLATFORM_FILE_STATUS {
  int64_t size;                // bytes; 0 for a folder
  unsigned char is_directory;  // 1 for a folder
} PLATFORM_FILE_STATUS;

// Starts listing the entries that match pattern ("dir\\*.*"; the last
// component may hold the wildcards '*' and '?', compared without regard to
// case, "*.*" matching every name) and stores the first in data, like
// FindFirstFileA. As there, "." and ".." are listed (first) where the system
// lists them, and callers skip them. On the host the entries come in a fixed
// order: case-insensitive name order, as Windows' usual file systems list.
// Returns the listing, closed with PLATFORM_find_close, or null when the
// folder cannot be listed or nothing matches (nothing to close then).
PLATFORM_FIND *PLATFORM_find_first(const char *pattern, PLATFORM_FIND_DATA *data);

// Stores the next entry of the listing in data. Returns 1, or 0 at the end of
// the listing (data is then unchanged).
unsigned char PLATFORM_find_next(PLATFORM_FIND *find, PLATFORM_FIND_DATA *data);

// Ends a listing and frees it; a null listing does nothing.
void PLATFORM_find_close(PLATFORM_FIND *find);

// Fills status for the file or folder at path. Returns 1, or 0 when it does
// not exist or cannot be queried (status unchanged).
unsigned char PLATFORM_file_status(const char *path, PLATFORM_FILE_STATUS *status);

// Opens a standard stream like fopen, with the path mapped for the host.
// Returns the stream, or null when it cannot be opened.
FILE *PLATFORM_fopen(const char *path, const char *mode);

// Writes the system's temporary folder, ending in a backslash, into buffer
// (size bytes), like GetTempPathA (on the host with '\\' for '/'). Returns its length without the
// terminator; when buffer is too small, the size needed with the terminator (buffer untouched); 0
// on failure.
uint32_t PLATFORM_get_temp_path(uint32_t size, char *buffer);

// Creates a new empty file named folder, a backslash, the first three
// characters of prefix, a hexadecimal number and ".TMP", like
// GetTempFileNameA with no unique number given, and writes its path into
// result (PLATFORM_MAX_PATH bytes). Returns the number used (non-zero), or 0
// when no file can be created or the path would not fit (result undefined).
uint32_t PLATFORM_get_temp_file_name(const char *folder, const char *prefix, char *result);

// Creates one folder (its parent must exist). Returns 1, or 0 when it exists
// already or cannot be created.
unsigned char PLATFORM_create_directory(const char *path);

// Removes one empty folder. Returns 1, or 0 when it cannot be removed.
unsigned char PLATFORM_remove_directory(const char *path);

// Deletes one file. Returns 1, or 0 when it cannot be deleted.
unsigned char PLATFORM_delete_file(const char *path);

// Writes the current directory into buffer (size bytes), like
// GetCurrentDirectoryA (on the host with '\\' for '/'). Returns its length
// without the terminator; when buffer is too small, the size needed with the
// terminator (buffer untouched); 0 on failure.
uint32_t PLATFORM_get_current_directory(uint32_t size, char *buffer);

// Makes path the current directory. Returns 1, or 0 when it cannot.
unsigned char PLATFORM_set_current_directory(const char *path);

// The runtime heap. Every heap call of the library goes through these, so
// that the whole library's use of the heap has one place to watch. They
// behave like malloc, calloc, realloc and free; a block from any of the first
// three may be released with free by a caller outside the library.
void *PLATFORM_malloc(size_t bytes);
void *PLATFORM_calloc(size_t count, size_t bytes);
void *PLATFORM_realloc(void *block, size_t bytes);
void PLATFORM_free(void *block);

// Allocates bytes at an address that is a multiple of alignment (a power of
// two, at least sizeof(void *)). Returns null on failure. The block is
// released only with PLATFORM_aligned_free, and resized only with
// PLATFORM_aligned_realloc.
void *PLATFORM_aligned_malloc(size_t bytes, size_t alignment);

// Resizes an aligned block to bytes, keeping min(old_bytes, bytes) of its
// contents, at the same alignment. Returns the block, or null with the old
// block untouched.
void *PLATFORM_aligned_realloc(void *block, size_t old_bytes, size_t bytes, size_t alignment);

// Releases an aligned block; null does nothing.
void PLATFORM_aligned_free(void *block);

#ifdef FNAL_HEAP_FAULTS
// Test builds only (the library variant built with FNAL_HEAP_FAULTS): starts
// counting the allocating heap calls above from 0 and makes call number
// `call` (1 for the next one) fail, returning null; 0 fails none.
void PLATFORM_heap_fail_at(uint64_t call);

// The allocating heap calls made since the last PLATFORM_heap_fail_at.
uint64_t PLATFORM_heap_calls(void);

// The blocks given out by the calls above and not yet released through them
// (a block released with the runtime's free is not seen).
int64_t PLATFORM_heap_live_blocks(void);
#endif

#endif
