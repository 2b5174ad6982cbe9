// platform: file-system calls through the Win32 API on Windows and through
// POSIX on the host, with one contract for both.
#define VBUG_SOURCE "libfnal\\source\\platform.cpp"
#include "platform.h"

#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <ctype.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#endif

static void platform_copy_name(char *dest, const char *source) {
  size_t length = strlen(source);
  if (length >= PLATFORM_MAX_PATH) length = PLATFORM_MAX_PATH - 1;
  memcpy(dest, source, length);
  dest[length] = '\0';
}

#ifdef _WIN32

struct PLATFORM_FIND {
  HANDLE handle;
};

static void platform_fill_find_data(const WIN32_FIND_DATAA *found, PLATFORM_FIND_DATA *data) {
  platform_copy_name(data->name, found->cFileName);
  data->is_directory = (found->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}

PLATFORM_FIND *PLATFORM_find_first(const char *pattern, PLATFORM_FIND_DATA *data) {
  WIN32_FIND_DATAA found;
  if (pattern == NULL || data == NULL) return NULL;
  HANDLE handle = FindFirstFileA(pattern, &found);
  if (handle == INVALID_HANDLE_VALUE) return NULL;
  PLATFORM_FIND *find = (PLATFORM_FIND *)PLATFORM_malloc(sizeof(PLATFORM_FIND));
  if (find == NULL) {
    FindClose(handle);
    return NULL;
  }
  find->handle = handle;
  platform_fill_find_data(&found, data);
  return find;
}

unsigned char PLATFORM_find_next(PLATFORM_FIND *find, PLATFORM_FIND_DATA *data) {
  WIN32_FIND_DATAA found;
  if (find == NULL || data == NULL || !FindNextFileA(find->handle, &found)) return 0;
  platform_fill_find_data(&found, data);
  return 1;
}

void PLATFORM_find_close(PLATFORM_FIND *find) {
  if (find == NULL) return;
  FindClose(find->handle);
  PLATFORM_free(find);
}

unsigned char PLATFORM_file_status(const char *path, PLATFORM_FILE_STATUS *status) {
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  if (path == NULL || status == NULL) return 0;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &attributes)) return 0;
  status->is_directory = (attributes.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
  status->size =
      status->is_directory
          ? 0
          : (int64_t)(((uint64_t)attributes.nFileSizeHigh << 32) | attributes.nFileSizeLow);
  return 1;
}

FILE *PLATFORM_fopen(const char *path, const char *mode) {
  if (path == NULL || mode == NULL) return NULL;
  return fopen(path, mode);
}

uint32_t PLATFORM_get_temp_path(uint32_t size, char *buffer) {
  return GetTempPathA(size, buffer);
}

uint32_t PLATFORM_get_temp_file_name(const char *folder, const char *prefix, char *result) {
  if (folder == NULL || prefix == NULL || result == NULL) return 0;
  return GetTempFileNameA(folder, prefix, 0, result);
}

unsigned char PLATFORM_create_directory(const char *path) {
  return path != NULL && CreateDirectoryA(path, NULL) ? 1 : 0;
}

unsigned char PLATFORM_remove_directory(const char *path) {
  return path != NULL && RemoveDirectoryA(path) ? 1 : 0;
}

unsigned char PLATFORM_delete_file(const char *path) {
  return path != NULL && DeleteFileA(path) ? 1 : 0;
}

uint32_t PLATFORM_get_current_directory(uint32_t size, char *buffer) {
  return GetCurrentDirectoryA(size, buffer);
}

unsigned char PLATFORM_set_current_directory(const char *path) {
  return path != NULL && SetCurrentDirectoryA(path) ? 1 : 0;
}

#else  // the host

#define PLATFORM_HOST_PATH_SIZE 4096

// The GetTempPathA / GetCurrentDirectoryA result contract for a found text.
static uint32_t platform_return_text(const char *text, uint32_t size, char *buffer) {
  size_t length = strlen(text);
  if (length + 1 > size || buffer == NULL) return (uint32_t)(length + 1);
  memcpy(buffer, text, length + 1);
  return (uint32_t)length;
}

// Case-insensitive comparison in the order of Windows' usual file systems,
// which compare upper-cased names.
static int platform_compare_names(const char *a, const char *b) {
  for (;; a++, b++) {
    int ca = toupper((unsigned char)*a), cb = toupper((unsigned char)*b);
    if (ca != cb || ca == 0) return ca - cb;
  }
}

// In the open folder dir_fd, replaces name (length bytes) by the spelling of
// an entry that differs from it only in letter case, when there is one. The
// listing is read straight into a buffer on the stack: every file or folder
// the library makes passes through here, and opendir would take a heap block
// and one more system call each time. 16 KiB take a folder of some 200
// entries in one read.
static void platform_match_in_folder(int dir_fd, char *name, size_t length) {
  alignas(struct dirent64) char buffer[16384];
  for (;;) {
    ssize_t got = getdents64(dir_fd, buffer, sizeof buffer);
    if (got <= 0) return;
    for (ssize_t at = 0; at < got;) {
      const struct dirent64 *entry = (const struct dirent64 *)(buffer + at);
      at += entry->d_reclen;
      if (strlen(entry->d_name) == length && strncasecmp(entry->d_name, name, length) == 0) {
        memcpy(name, entry->d_name, length);
        return;
      }
    }
  }
}

// Opens the folder named by the first offset characters of out (a host path
// prefix ending in '/', or "." when offset is 0); -1 when it is not there.
static int platform_open_folder(char *out, size_t offset) {
  char saved = out[offset];
  out[offset] = '\0';
  int dir_fd = open(offset == 0 ? "." : out, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  out[offset] = saved;
  return dir_fd;
}

// In the folder prefix of out (offset characters), replaces the component
// of length bytes at out + offset by a spelling differing only in case.
// Returns 0 when the folder is not there as spelled.
static unsigned char platform_match_component(char *out, size_t offset, size_t length) {
  int dir_fd = platform_open_folder(out, offset);
  if (dir_fd < 0) return 0;
  platform_match_in_folder(dir_fd, out + offset, length);
  close(dir_fd);
  return 1;
}

// Copies path (length characters and the terminator) into out with every
// '\\' as '/'.
static void platform_map_separators(const char *path, char *out, size_t length) {
  for (size_t i = 0; i <= length; i++) out[i] = path[i] == '\\' ? '/' : path[i];
}

// 1 when the first `length` characters of path name an existing entry.
static int platform_exists_before(char *path, size_t length) {
  struct stat info;
  char saved = path[length];
  path[length] = '\0';
  int exists = lstat(path, &info) == 0;
  path[length] = saved;
  return exists;
}

// Maps a library path to a host path in out (PLATFORM_HOST_PATH_SIZE bytes):
// '\\' becomes '/', and a component that does not exist as spelled takes the
// spelling of an entry differing only in case. Returns 0 when it is too long.
static unsigned char platform_host_path(const char *path, char *out) {
  size_t length = strlen(path);
  if (length >= PLATFORM_HOST_PATH_SIZE) return 0;
  platform_map_separators(path, out, length);
  struct stat info;
  if (length == 0 || lstat(out, &info) == 0) return 1;
  // A new name in a folder that exists as spelled (the usual case: a file
  // or folder about to be made) needs only its last component matched.
  size_t last = length;
  while (last > 0 && out[last - 1] != '/') last--;
  if (last > 1 && platform_match_component(out, last, length - last)) return 1;
  size_t start = 0;
  while (start < length) {
    size_t end = start;
    while (end < length && out[end] != '/') end++;
    if (end > start) {
      if (!platform_exists_before(out, end)) platform_match_component(out, start, end - start);
    }
    start = end + 1;
  }
  return 1;
}

// Maps a host path back to the library's form: '/' becomes '\\'.
static void platform_library_path(char *path) {
  for (; *path; path++)
    if (*path == '/') *path = '\\';
}

// Wildcard match of name against mask ('*', '?'), without regard to case.
static unsigned char platform_match_mask(const char *mask, const char *name) {
  if (strcmp(mask, "*.*") == 0) return 1;
  const char *star = NULL, *resume = NULL;
  while (*name) {
    if (*mask == '*') {
      star = mask++;
      resume = name;
    } else if (*mask == '?' || tolower((unsigned char)*mask) == tolower((unsigned char)*name)) {
      mask++;
      name++;
    } else if (star) {
      mask = star + 1;
      name = ++resume;
    } else {
      return 0;
    }
  }
  while (*mask == '*') mask++;
  return *mask == '\0';
}

struct PLATFORM_FIND {
  PLATFORM_FIND_DATA *entries;
  size_t count;
  size_t next;
};

// "." first, ".." second, then every other name.
static int platform_dots_rank(const char *name) {
  return strcmp(name, ".") == 0 ? 0 : strcmp(name, "..") == 0 ? 1 : 2;
}

static int platform_compare_entries(const void *a, const void *b) {
  const char *name_a = ((const PLATFORM_FIND_DATA *)a)->name;
  const char *name_b = ((const PLATFORM_FIND_DATA *)b)->name;
  int dots_a = platform_dots_rank(name_a), dots_b = platform_dots_rank(name_b);
  if (dots_a != dots_b) return dots_a - dots_b;
  int order = platform_compare_names(name_a, name_b);
  return order != 0 ? order : strcmp(name_a, name_b);
}

// 1 when the entry is a folder (following links), from the listing's type
// where it gives one.
static unsigned char platform_entry_is_directory(const char *folder, const struct dirent *entry) {
#ifdef DT_DIR
  if (entry->d_type == DT_DIR) return 1;
  if (entry->d_type == DT_REG) return 0;
#endif
  char path[PLATFORM_HOST_PATH_SIZE];
  struct stat info;
  int written = snprintf(path, sizeof path, "%s/%s", folder, entry->d_name);
  return written > 0 && (size_t)written < sizeof path && stat(path, &info) == 0 &&
         S_ISDIR(info.st_mode);
}

// Appends one entry to the listing; 0 when the heap refuses.
static unsigned char platform_add_entry(PLATFORM_FIND *find, size_t *room, const char *folder,
                                        const struct dirent *entry) {
  if (find->count == *room) {
    size_t grown = *room ? *room * 2 : 16;
    void *moved = PLATFORM_realloc(find->entries, grown * sizeof(PLATFORM_FIND_DATA));
    if (moved == NULL) return 0;
    find->entries = (PLATFORM_FIND_DATA *)moved;
    *room = grown;
  }
  PLATFORM_FIND_DATA *data = &find->entries[find->count++];
  platform_copy_name(data->name, entry->d_name);
  data->is_directory = platform_entry_is_directory(folder, entry);
  return 1;
}

// An entry with its sort key, worked out once: its rank among the dot
// entries and its upper-cased name.
typedef struct PLATFORM_SORT_ITEM {
  int rank;
  size_t index;
  const char *name;
  char key[PLATFORM_MAX_PATH];
} PLATFORM_SORT_ITEM;

static int platform_compare_items(const void *a, const void *b) {
  const PLATFORM_SORT_ITEM *item_a = (const PLATFORM_SORT_ITEM *)a;
  const PLATFORM_SORT_ITEM *item_b = (const PLATFORM_SORT_ITEM *)b;
  if (item_a->rank != item_b->rank) return item_a->rank - item_b->rank;
  int order = strcmp(item_a->key, item_b->key);
  return order != 0 ? order : strcmp(item_a->name, item_b->name);
}

// Sorts the listing as platform_compare_entries orders it, on keys worked
// out once per entry. Returns 0 when the heap refuses (listing unchanged).
static unsigned char platform_sort_on_keys(PLATFORM_FIND *find) {
  PLATFORM_SORT_ITEM *items =
      (PLATFORM_SORT_ITEM *)PLATFORM_malloc(find->count * sizeof(PLATFORM_SORT_ITEM));
  PLATFORM_FIND_DATA *sorted =
      (PLATFORM_FIND_DATA *)PLATFORM_malloc(find->count * sizeof(PLATFORM_FIND_DATA));
  if (items == NULL || sorted == NULL) {
    PLATFORM_free(items);
    PLATFORM_free(sorted);
    return 0;
  }
  for (size_t i = 0; i < find->count; i++) {
    const char *name = find->entries[i].name;
    items[i].rank = platform_dots_rank(name);
    items[i].index = i;
    items[i].name = name;
    size_t k = 0;
    for (; name[k] != '\0'; k++) items[i].key[k] = (char)toupper((unsigned char)name[k]);
    items[i].key[k] = '\0';
  }
  qsort(items, find->count, sizeof(PLATFORM_SORT_ITEM), platform_compare_items);
  for (size_t i = 0; i < find->count; i++) sorted[i] = find->entries[items[i].index];
  PLATFORM_free(items);
  PLATFORM_free(find->entries);
  find->entries = sorted;
  return 1;
}

// Reads every entry of the open folder dir that matches mask into find,
// sorted, and closes dir.
static unsigned char platform_read_listing(PLATFORM_FIND *find, DIR *dir, const char *folder,
                                           const char *mask) {
  size_t room = 0;
  unsigned char ok = 1;
  struct dirent *entry;
  while (ok && (entry = readdir(dir)) != NULL)
    if (strlen(entry->d_name) < PLATFORM_MAX_PATH && platform_match_mask(mask, entry->d_name))
      ok = platform_add_entry(find, &room, folder, entry);
  closedir(dir);
  if (ok && find->count > 1 && !platform_sort_on_keys(find))
    qsort(find->entries, find->count, sizeof(PLATFORM_FIND_DATA), platform_compare_entries);
  return ok;
}

PLATFORM_FIND *PLATFORM_find_first(const char *pattern, PLATFORM_FIND_DATA *data) {
  char host[PLATFORM_HOST_PATH_SIZE];
  if (pattern == NULL || data == NULL || strlen(pattern) >= sizeof host) return NULL;
  // Only the folder is mapped; the mask is matched against its entries.
  strcpy(host, pattern);
  char *slash = strrchr(host, '\\');
  char *other = strrchr(host, '/');
  if (other != NULL && (slash == NULL || other > slash)) slash = other;
  const char *folder = ".", *mask = host;
  char mapped[PLATFORM_HOST_PATH_SIZE];
  DIR *dir = NULL;
  if (slash != NULL) {
    *slash = '\0';
    mask = slash + 1;
    folder = slash == host ? "/" : mapped;
  }
  if (folder == mapped) {
    // The folder as spelled first; only when that does not open, the
    // spelling that differs from it in case.
    platform_map_separators(host, mapped, strlen(host));
    dir = opendir(mapped);
    if (dir == NULL && !platform_host_path(host, mapped)) return NULL;
  }
  if (dir == NULL) dir = opendir(folder);
  if (dir == NULL) return NULL;
  PLATFORM_FIND *find = (PLATFORM_FIND *)PLATFORM_calloc(1, sizeof(PLATFORM_FIND));
  if (find == NULL) {
    closedir(dir);
    return NULL;
  }
  if (!platform_read_listing(find, dir, folder, mask) || find->count == 0) {
    PLATFORM_find_close(find);
    return NULL;
  }
  *data = find->entries[0];
  find->next = 1;
  return find;
}

unsigned char PLATFORM_find_next(PLATFORM_FIND *find, PLATFORM_FIND_DATA *data) {
  if (find == NULL || data == NULL || find->next >= find->count) return 0;
  *data = find->entries[find->next++];
  return 1;
}

void PLATFORM_find_close(PLATFORM_FIND *find) {
  if (find == NULL) return;
  PLATFORM_free(find->entries);
  PLATFORM_free(find);
}

unsigned char PLATFORM_file_status(const char *path, PLATFORM_FILE_STATUS *status) {
  char host[PLATFORM_HOST_PATH_SIZE];
  struct stat info;
  if (path == NULL || status == NULL || !platform_host_path(path, host)) return 0;
  if (stat(host, &info) != 0) return 0;
  status->is_directory = S_ISDIR(info.st_mode) ? 1 : 0;
  status->size = status->is_directory ? 0 : (int64_t)info.st_size;
  return 1;
}

FILE *PLATFORM_fopen(const char *path, const char *mode) {
  char host[PLATFORM_HOST_PATH_SIZE];
  if (path == NULL || mode == NULL || !platform_host_path(path, host)) return NULL;
  return fopen(host, mode);
}

uint32_t PLATFORM_get_temp_path(uint32_t size, char *buffer) {
  const char *base = getenv("TMPDIR");
  if (base == NULL || base[0] == '\0') base = "/tmp";
  char text[PLATFORM_HOST_PATH_SIZE];
  size_t length = strlen(base);
  if (length + 2 > sizeof text) return 0;
  memcpy(text, base, length + 1);
  if (text[length - 1] != '/') memcpy(text + length, "/", 2);
  platform_library_path(text);
  return platform_return_text(text, size, buffer);
}

uint32_t PLATFORM_get_temp_file_name(const char *folder, const char *prefix, char *result) {
  if (folder == NULL || prefix == NULL || result == NULL) return 0;
  size_t length = strlen(folder);
  // The separator rule of VXSTRING_separator_after, written out here: the
  // platform layer stands below the string module, which allocates through it.
  const char *separator = length > 0 && folder[length - 1] == '\\' ? "" : "\\";
  uint32_t start = ((uint32_t)getpid() * 2654435761u ^ (uint32_t)time(NULL)) & 0xFFFFu;
  for (uint32_t tries = 0; tries < 0x10000u; tries++) {
    uint32_t unique = (start + tries) & 0xFFFFu;
    if (unique == 0) continue;
    int written =
        snprintf(result, PLATFORM_MAX_PATH, "%s%s%.3s%X.TMP", folder, separator, prefix, unique);
    char host[PLATFORM_HOST_PATH_SIZE];
    if (written < 0 || written >= PLATFORM_MAX_PATH || !platform_host_path(result, host)) return 0;
    int fd = open(host, O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd >= 0) {
      close(fd);
      return unique;
    }
    if (errno != EEXIST) return 0;
  }
  return 0;
}

unsigned char PLATFORM_create_directory(const char *path) {
  char host[PLATFORM_HOST_PATH_SIZE];
  if (path == NULL || !platform_host_path(path, host)) return 0;
  return mkdir(host, 0777) == 0 ? 1 : 0;
}

unsigned char PLATFORM_remove_directory(const char *path) {
  char host[PLATFORM_HOST_PATH_SIZE];
  if (path == NULL || !platform_host_path(path, host)) return 0;
  return rmdir(host) == 0 ? 1 : 0;
}

unsigned char PLATFORM_delete_file(const char *path) {
  char host[PLATFORM_HOST_PATH_SIZE];
  if (path == NULL || !platform_host_path(path, host)) return 0;
  // unlink never removes a folder (Linux answers EISDIR), as DeleteFile.
  return unlink(host) == 0 ? 1 : 0;
}

uint32_t PLATFORM_get_current_directory(uint32_t size, char *buffer) {
  char text[PLATFORM_HOST_PATH_SIZE];
  if (getcwd(text, sizeof text) == NULL) return 0;
  platform_library_path(text);
  return platform_return_text(text, size, buffer);
}

unsigned char PLATFORM_set_current_directory(const char *path) {
  char host[PLATFORM_HOST_PATH_SIZE];
  if (path == NULL || !platform_host_path(path, host)) return 0;
  return chdir(host) == 0 ? 1 : 0;
}

#endif

// The runtime heap: the one place where the library calls it.

#ifdef FNAL_HEAP_FAULTS
// Test builds only: the allocating calls are counted, the one numbered
// fail_at is refused as the runtime refuses when memory runs out, and the
// blocks held are counted.
static struct {
  uint64_t calls;
  uint64_t fail_at;
  int64_t live;
} platform_heap;

void PLATFORM_heap_fail_at(uint64_t call) {
  platform_heap.calls = 0;
  platform_heap.fail_at = call;
}

uint64_t PLATFORM_heap_calls(void) {
  return platform_heap.calls;
}

int64_t PLATFORM_heap_live_blocks(void) {
  return platform_heap.live;
}

static unsigned char platform_heap_refuses(void) {
  platform_heap.calls++;
  return platform_heap.calls == platform_heap.fail_at;
}

// Counts a new block given out (is_new: not a resized one), or one taken back.
static void *platform_heap_given(unsigned char is_new, void *block) {
  if (is_new && block != NULL) platform_heap.live++;
  return block;
}

static void platform_heap_taken(void *block) {
  if (block != NULL) platform_heap.live--;
}
#else
static inline unsigned char platform_heap_refuses(void) {
  return 0;
}

static inline void *platform_heap_given(unsigned char is_new, void *block) {
  (void)is_new;
  return block;
}

static inline void platform_heap_taken(void *block) {
  (void)block;
}
#endif

void *PLATFORM_malloc(size_t bytes) {
  return platform_heap_refuses() ? NULL : platform_heap_given(1, malloc(bytes));
}

void *PLATFORM_calloc(size_t count, size_t bytes) {
  return platform_heap_refuses() ? NULL : platform_heap_given(1, calloc(count, bytes));
}

void *PLATFORM_realloc(void *block, size_t bytes) {
  unsigned char is_new = block == NULL;
  return platform_heap_refuses() ? NULL : platform_heap_given(is_new, realloc(block, bytes));
}

void PLATFORM_free(void *block) {
  platform_heap_taken(block);
  free(block);
}

static void *platform_aligned_malloc(size_t bytes, size_t alignment) {
#ifdef _WIN32
  return _aligned_malloc(bytes, alignment);
#else
  void *block = NULL;
  return posix_memalign(&block, alignment, bytes) == 0 ? block : NULL;
#endif
}

void *PLATFORM_aligned_malloc(size_t bytes, size_t alignment) {
  if (platform_heap_refuses()) return NULL;
  return platform_heap_given(1, platform_aligned_malloc(bytes, alignment));
}

void *PLATFORM_aligned_realloc(void *block, size_t old_bytes, size_t bytes, size_t alignment) {
  if (platform_heap_refuses()) return NULL;
#ifdef _WIN32
  (void)old_bytes;
  return _aligned_realloc(block, bytes, alignment);
#else
  void *moved = platform_aligned_malloc(bytes, alignment);
  if (moved == NULL) return NULL;
  memcpy(moved, block, old_bytes < bytes ? old_bytes : bytes);
  free(block);
  return moved;
#endif
}

void PLATFORM_aligned_free(void *block) {
  platform_heap_taken(block);
#ifdef _WIN32
  _aligned_free(block);
#else
  free(block);
#endif
}
