// vfilbig: archive slots, the FAT load from memory with its consistency
// checks, path resolution, directory listing, member reads and the writer.
#define VBUG_SOURCE "libfnal\\source\\vfilbig.cpp"
#include "vfilbig.h"

#include <stdlib.h>
#include <string.h>

#include "Vxstring.h"
#include "bytes.h"
#include "huffman.h"
#include "platform.h"
#include "vbug.h"
#include "vfile.h"

// Field positions in the 299-byte FAT entry record.
enum {
  VBIG_POS_NAME = 0,
  VBIG_POS_TYPE = 256,
  VBIG_POS_FLAGS = 257,
  VBIG_POS_RESERVED = 258,
  VBIG_POS_PARENT = 259,
  VBIG_POS_SIZE = 263,
  VBIG_POS_USERNAME = 267,
  VBIG_POS_DATE = 287,
  VBIG_POS_DATA_POINTER = 291,
  VBIG_POS_DATA_OFFSET = 295,
};
static_assert(VBIG_POS_TYPE == VBIG_POS_NAME + VBIG_NAME_SIZE, "name field");
static_assert(VBIG_POS_USERNAME + VBIG_USERNAME_SIZE == VBIG_POS_DATE, "username field");
static_assert(VBIG_POS_DATA_OFFSET + 4 == VBIG_FAT_ENTRY_SIZE, "record size");
static_assert(sizeof(((VBIG_FAT_ENTRY *)0)->date) == 4, "date field");

#define VFILBIG_SLOT_FREE -2
#define VFILBIG_SLOT_IN_USE 1
#define VFILBIG_UNBOUNDED -1

static const struct {
  const char *text;
  int32_t code;
} vfilbig_errors[] = {
    {"VFILBIG: No last error\n", 0},
    {"VFILBIG: Unknown Error\n", -1},
    {"VFILBIG: Invalid Handle\n", -2},
    {"VFILBIG: Can't open file\n", -3},
    {"VFILBIG: No avaliable handle\n", -4},
    {"VFILBIG: Invalid flag\n", -5},
    {"VFILBIG: Malloc for new username failed\n", -6},
    {"VFILBIG: Fat entry is directory not file\n", -7},
    {"VFILBIG: Fat entry is file not directory\n", -8},
    {"VFILBIG: Fat entry is deleted\n", -9},
    {"VFILBIG: Not enough space in provided buffer\n", -10},
    {"VFILBIG: File not of VBIG type\n", -11},
    {"VFILBIG: Fat entries not NULL initialised\n", -12},
    {"VFILBIG_FILE_DATA_DOES_NOT_EXIST\n", -13},
    {"VFILBIG: fseek fail in merge function\n", -14},
    {"VFILBIG: cannot write to file\n", -15},
    {"VFILBIG: Can't create file\n", -16},
    {NULL, 0},
};

static struct {
  unsigned char initialised;
  int32_t slot_count;
  VBIG_ARCHIVE *archives;
  int32_t *slot_state;
  int32_t last_error;
} vfilbig;

// ---- Module life. ----------------------------------------------------------

static void vfilbig_reset_slot(VBIG_ARCHIVE *archive) {
  memset(archive, 0, sizeof *archive);
  archive->magic = VBIG_MAGIC;
}

unsigned char VFILBIG_initialise(int32_t max_archives) {
  VBUG_TRACE("VFILBIG_initialise");
  VBIG_ARCHIVE *archives = NULL;
  int32_t *states = NULL;
  if (max_archives > 0 && !vfilbig.initialised) {
    archives = (VBIG_ARCHIVE *)PLATFORM_calloc((size_t)max_archives, sizeof(VBIG_ARCHIVE));
    states = (int32_t *)PLATFORM_calloc((size_t)max_archives, sizeof(int32_t));
  }
  if (archives == NULL || states == NULL) {
    PLATFORM_free(archives);
    PLATFORM_free(states);
    VBUG_MESSAGE("VFILBIG_initialise: Could not allocate enough memory or invalid number of files");
    return 0;
  }
  for (int32_t i = 0; i < max_archives; i++) {
    states[i] = VFILBIG_SLOT_FREE;
    vfilbig_reset_slot(&archives[i]);
  }
  vfilbig.archives = archives;
  vfilbig.slot_state = states;
  vfilbig.slot_count = max_archives;
  vfilbig.initialised = 1;
  return 1;
}

// Frees the member copies and the FAT of a record and empties them.
static void vfilbig_free_fat(VBIG_ARCHIVE *archive) {
  for (int32_t i = 0; archive->fat != NULL && i < archive->entry_count; i++) {
    PLATFORM_free(archive->fat[i].data_pointer);
  }
  PLATFORM_free(archive->fat);
  archive->fat = NULL;
  archive->entry_count = 0;
}

void VFILBIG_deinitialise(void) {
  VBUG_TRACE("VFILBIG_deinitialise");
  for (int32_t i = 0; i < vfilbig.slot_count; i++) {
    VBIG_ARCHIVE *archive = &vfilbig.archives[i];
    if (archive->file != NULL) vfile_fclose(archive->file, VBUG_SOURCE, __LINE__);
    vfilbig_free_fat(archive);
    PLATFORM_free(archive->archive_name);
  }
  PLATFORM_free(vfilbig.archives);
  PLATFORM_free(vfilbig.slot_state);
  vfilbig.archives = NULL;
  vfilbig.slot_state = NULL;
  vfilbig.slot_count = 0;
  vfilbig.initialised = 0;
}

unsigned char VFILBIG_is_initialised(void) {
  VBUG_TRACE("VFILBIG_is_initialised");
  return vfilbig.initialised;
}

int32_t VFILBIG_get_last_error(void) {
  VBUG_TRACE("VFILBIG_get_last_error");
  return vfilbig.last_error;
}

const char *VFILBIG_error_text(int32_t code) {
  VBUG_TRACE("VFILBIG_error_text");
  for (int i = 0; vfilbig_errors[i].text != NULL; i++) {
    if (vfilbig_errors[i].code == code) return vfilbig_errors[i].text;
  }
  return NULL;
}

static int32_t vfilbig_get_new_handle(void) {
  VBUG_TRACE("vfilbig_get_new_handle");
  for (int32_t i = 0; i < vfilbig.slot_count; i++) {
    if (vfilbig.slot_state[i] == VFILBIG_SLOT_FREE) return i;
  }
  vfilbig.last_error = VFILBIG_ERR_NO_HANDLE;
  return VFILBIG_ERR_NO_HANDLE;
}

static unsigned char vfilbig_valid_handle(int32_t handle) {
  VBUG_TRACE("vfilbig_valid_handle");
  if (handle >= 0 && handle < vfilbig.slot_count &&
      vfilbig.slot_state[handle] != VFILBIG_SLOT_FREE) {
    return 1;
  }
  vfilbig.last_error = VFILBIG_ERR_INVALID_HANDLE;
  return 0;
}

// ---- The FAT load. ---------------------------------------------------------

// A block being read: its bytes, its length (VFILBIG_UNBOUNDED when not
// known) and the read cursor.
typedef struct VFILBIG_SOURCE {
  const unsigned char *block;
  int64_t length;
  int64_t cursor;
} VFILBIG_SOURCE;

// The next `count` bytes, advancing the cursor; null when they would lie
// beyond a block of known length.
static const unsigned char *vfilbig_take(VFILBIG_SOURCE *source, int64_t count) {
  if (source->length != VFILBIG_UNBOUNDED && count > source->length - source->cursor) return NULL;
  const unsigned char *bytes = source->block + source->cursor;
  source->cursor += count;
  return bytes;
}

// Decodes one record. Returns 0 when its name has no terminator.
static unsigned char vfilbig_decode_entry(const unsigned char *record, VBIG_FAT_ENTRY *entry) {
  memcpy(entry->name, record + VBIG_POS_NAME, VBIG_NAME_SIZE);
  entry->type = record[VBIG_POS_TYPE];
  entry->flags = record[VBIG_POS_FLAGS];
  entry->reserved = record[VBIG_POS_RESERVED];
  entry->parent = (int32_t)BYTES_read_le32(record + VBIG_POS_PARENT);
  entry->size = (int32_t)BYTES_read_le32(record + VBIG_POS_SIZE);
  memcpy(entry->username, record + VBIG_POS_USERNAME, VBIG_USERNAME_SIZE);
  memcpy(entry->date, record + VBIG_POS_DATE, 4);
  entry->data_pointer = NULL;
  entry->data_offset = (int32_t)BYTES_read_le32(record + VBIG_POS_DATA_OFFSET);
  return memchr(entry->name, 0, VBIG_NAME_SIZE) != NULL;
}

// Takes the data that follows an entry's record: a copy for a file, skipped
// for a deleted entry with space. Returns the error code, or 0.
static int32_t vfilbig_take_data(VFILBIG_SOURCE *source, VBIG_FAT_ENTRY *entry) {
  if (entry->type != VBIG_ENTRY_FILE && entry->type != VBIG_ENTRY_DELETED) return 0;
  if (entry->size < 0) return VFILBIG_ERR_NOT_VBIG;
  if (entry->type == VBIG_ENTRY_DELETED && entry->size == 0) return 0;
  const unsigned char *data = vfilbig_take(source, entry->size);
  if (data == NULL) return VFILBIG_ERR_NOT_VBIG;
  if (entry->type == VBIG_ENTRY_DELETED) return 0;
  // At least one byte, so that an empty member still has data.
  entry->data_pointer = (unsigned char *)PLATFORM_malloc(entry->size > 0 ? (size_t)entry->size : 1);
  if (entry->data_pointer == NULL) return VFILBIG_ERR_UNKNOWN;
  memcpy(entry->data_pointer, data, (size_t)entry->size);
  return 0;
}

// Checks every parent: in range, no cycle, at most VBIG_MAX_DEPTH ancestors.
// depth[i] caches the number of ancestors of entry i (-1 while unknown).
static unsigned char vfilbig_check_parents(const VBIG_FAT_ENTRY *fat, int32_t count) {
  int32_t *depth = (int32_t *)PLATFORM_malloc(sizeof(int32_t) * (size_t)count);
  if (depth == NULL) return 0;
  for (int32_t i = 0; i < count; i++) depth[i] = -1;
  unsigned char ok = 1;
  for (int32_t i = 0; i < count && ok; i++) {
    // Walk up until the root or an entry of known depth.
    int32_t steps = 0, at = i;
    while (ok && at != -1 && depth[at] < 0) {
      int32_t parent = fat[at].parent;
      ok = parent >= -1 && parent < count && steps <= VBIG_MAX_DEPTH;
      at = parent;
      steps++;
    }
    if (!ok) break;
    int32_t base = at == -1 ? -1 : depth[at];
    ok = base + steps <= VBIG_MAX_DEPTH;
    // Fill in the depths on the way just walked.
    for (int32_t k = i, d = base + steps; ok && k != at; k = fat[k].parent, d--) depth[k] = d;
  }
  PLATFORM_free(depth);
  return ok;
}

// Loads the header and every entry from source into archive. Returns 0 or
// the error code; on failure nothing is kept.
static int32_t vfilbig_load(VFILBIG_SOURCE *source, VBIG_ARCHIVE *archive) {
  const unsigned char *header = vfilbig_take(source, VBIG_HEADER_SIZE);
  if (header == NULL || (int32_t)BYTES_read_le32(header + VBIG_HEADER_POS_MAGIC) != VBIG_MAGIC)
    return VFILBIG_ERR_NOT_VBIG;
  int32_t count = (int32_t)BYTES_read_le32(header + VBIG_HEADER_POS_COUNT);
  archive->magic = VBIG_MAGIC;
  archive->reserved = (int32_t)BYTES_read_le32(header + VBIG_HEADER_POS_RESERVED);
  if (count <= 0) return 0;
  if (source->length != VFILBIG_UNBOUNDED &&
      (int64_t)count * VBIG_FAT_ENTRY_SIZE > source->length - source->cursor) {
    return VFILBIG_ERR_NOT_VBIG;
  }
  if ((uint64_t)count > SIZE_MAX / sizeof(VBIG_FAT_ENTRY)) return VFILBIG_ERR_UNKNOWN;
  archive->fat = (VBIG_FAT_ENTRY *)PLATFORM_calloc((size_t)count, sizeof(VBIG_FAT_ENTRY));
  if (archive->fat == NULL) return VFILBIG_ERR_UNKNOWN;
  archive->entry_count = count;
  int32_t error = 0;
  for (int32_t i = 0; i < count && error == 0; i++) {
    const unsigned char *record = vfilbig_take(source, VBIG_FAT_ENTRY_SIZE);
    if (record == NULL || !vfilbig_decode_entry(record, &archive->fat[i])) {
      error = VFILBIG_ERR_NOT_VBIG;
    } else {
      error = vfilbig_take_data(source, &archive->fat[i]);
    }
  }
  if (error == 0 && !vfilbig_check_parents(archive->fat, count)) error = VFILBIG_ERR_NOT_VBIG;
  if (error != 0) vfilbig_free_fat(archive);
  return error;
}

// Loads a memory block (length VFILBIG_UNBOUNDED when not known) into the
// archive record. Returns 1, or 0 with last_error set.
static unsigned char vfilbig_read_fat_table_from_memory(const void *block, int64_t length,
                                                        VBIG_ARCHIVE *archive) {
  VBUG_TRACE("vfilbig_read_fat_table_from_memory");
  if (block == NULL) {
    vfilbig.last_error = VFILBIG_ERR_CANT_OPEN;
    return 0;
  }
  VFILBIG_SOURCE source = {(const unsigned char *)block, length, 0};
  int32_t error = vfilbig_load(&source, archive);
  if (error != 0) {
    VBUG_MESSAGE("vfilbig_read_fat_table_from_memory: refused the archive (%d)", (int)error);
    vfilbig.last_error = error;
    return 0;
  }
  return 1;
}

static int32_t vfilbig_open(const void *block, int64_t length) {
  if (!vfilbig.initialised) {
    VBUG_retail_message("Unable to open big file, module is not initialised\n");
    return -1;
  }
  int32_t handle = vfilbig_get_new_handle();
  if (handle < 0) return -1;
  VBIG_ARCHIVE *archive = &vfilbig.archives[handle];
  vfilbig.slot_state[handle] = VFILBIG_SLOT_IN_USE;
  archive->mode = VFILBIG_MODE_MEMORY;
  archive->file = NULL;
  if (vfilbig_read_fat_table_from_memory(block, length, archive)) {
    archive->archive_name = VXSTRING_malloc_copy_text("memsave");
    if (archive->archive_name != NULL) return handle;
    vfilbig.last_error = VFILBIG_ERR_UNKNOWN;
    vfilbig_free_fat(archive);
  }
  vfilbig_reset_slot(archive);
  vfilbig.slot_state[handle] = VFILBIG_SLOT_FREE;
  return -1;
}

int32_t VFILBIG_open_from_memory(const void *block) {
  VBUG_TRACE("VFILBIG_open_from_memory");
  return vfilbig_open(block, VFILBIG_UNBOUNDED);
}

int32_t VFILBIG_open_from_memory_with_size(const void *block, int32_t length) {
  VBUG_TRACE("VFILBIG_open_from_memory_with_size");
  return vfilbig_open(block, length < 0 ? 0 : length);
}

// ---- Lookups. --------------------------------------------------------------

static char *vfilbig_parse_path(const char *path, int32_t index, int32_t *component_count_out) {
  VBUG_TRACE("vfilbig_parse_path");
  if (component_count_out != NULL) {
    int32_t count = 1;
    for (const char *p = path; *p != '\0'; p++) count += *p == '\\';
    *component_count_out = count;
  }
  return VXSTRING_parse_path_name(path, index);
}

static unsigned char vfilbig_compare_entries(int32_t handle, int32_t index, const char *name,
                                             int32_t parent, int32_t match) {
  VBUG_TRACE("vfilbig_compare_entries");
  const VBIG_FAT_ENTRY *entry = &vfilbig.archives[handle].fat[index];
  unsigned char type_ok =
      match == VBIG_MATCH_ANY ? 1
      : match == VBIG_MATCH_FILE_OR_DIRECTORY
          ? entry->type == VBIG_ENTRY_DIRECTORY || entry->type == VBIG_ENTRY_FILE
          : entry->type == match;
  return type_ok && entry->parent == parent && VXSTRING_equal_ignoring_case(entry->name, name);
}

// What vfilbig_find_fat_entry returns when no entry matches.
#define VFILBIG_NO_SUCH_ENTRY (-2)

// The index of the first entry named `name` under `parent` whose type
// matches, or VFILBIG_NO_SUCH_ENTRY.
static int32_t vfilbig_find_fat_entry(int32_t handle, const char *name, int32_t parent,
                                      int32_t match) {
  VBUG_TRACE("vfilbig_find_fat_entry");
  for (int32_t i = 0; i < vfilbig.archives[handle].entry_count; i++) {
    if (vfilbig_compare_entries(handle, i, name, parent, match)) return i;
  }
  return VFILBIG_NO_SUCH_ENTRY;
}

// Resolves path to a FAT index; wanted is VBIG_ENTRY_DIRECTORY,
// VBIG_ENTRY_FILE or VBIG_MATCH_FILE_OR_DIRECTORY. Returns -1 on failure.
static int32_t vfilbig_verify_fat_structure(int32_t handle, const char *path, int32_t wanted) {
  VBUG_TRACE("vfilbig_verify_fat_structure");
  int32_t count = 1, parent = -1;
  for (int32_t i = 0; i < count; i++) {
    char *component = vfilbig_parse_path(path, i, i == 0 ? &count : NULL);
    if (component == NULL) return -1;
    int32_t index = vfilbig_find_fat_entry(handle, component, parent, VBIG_MATCH_FILE_OR_DIRECTORY);
    PLATFORM_free(component);
    if (index < 0) return -1;
    uint8_t type = vfilbig.archives[handle].fat[index].type;
    unsigned char last = i == count - 1;
    if (wanted == VBIG_ENTRY_FILE && last && type == VBIG_ENTRY_DIRECTORY) {
      vfilbig.last_error = VFILBIG_ERR_IS_DIRECTORY;
      return -1;
    }
    if (type == VBIG_ENTRY_FILE &&
        (wanted == VBIG_ENTRY_DIRECTORY || (wanted == VBIG_ENTRY_FILE && !last))) {
      vfilbig.last_error = VFILBIG_ERR_IS_FILE;
      return -1;
    }
    parent = index;
  }
  return parent;
}

static char *vfilbig_get_path(int32_t handle, int32_t index) {
  VBUG_TRACE("vfilbig_get_path");
  const VBIG_FAT_ENTRY *fat = vfilbig.archives[handle].fat;
  size_t bytes = 0;
  int32_t levels = 0;
  for (int32_t at = index; at != -1 && levels <= VBIG_MAX_DEPTH; at = fat[at].parent, levels++) {
    bytes += strlen(fat[at].name) + 1;
  }
  char *path = bytes > 0 ? (char *)PLATFORM_malloc(bytes) : NULL;
  if (path == NULL) return NULL;
  // Fill from the end: the entry's own name last, each ancestor before it.
  size_t end = bytes - 1;
  path[end] = '\0';
  for (int32_t at = index, k = 0; k < levels; at = fat[at].parent, k++) {
    size_t length = strlen(fat[at].name);
    end -= length;
    memcpy(path + end, fat[at].name, length);
    if (end > 0) path[--end] = '\\';
  }
  return path;
}

// The first file or directory with this parent from index `start` upward.
static char *vfilbig_scan(int32_t handle, int32_t start, int32_t parent, uint8_t *type_out) {
  const VBIG_ARCHIVE *archive = &vfilbig.archives[handle];
  for (int32_t i = start; i < archive->entry_count; i++) {
    const VBIG_FAT_ENTRY *entry = &archive->fat[i];
    if (entry->parent != parent) continue;
    if (entry->type != VBIG_ENTRY_DIRECTORY && entry->type != VBIG_ENTRY_FILE) continue;
    if (type_out != NULL) *type_out = entry->type;
    return vfilbig_get_path(handle, i);
  }
  return NULL;
}

char *VFILBIG_find_first_entry(int32_t handle, const char *directory_path, uint8_t *type_out) {
  VBUG_TRACE("VFILBIG_find_first_entry");
  if (!vfilbig.initialised) {
    VBUG_MESSAGE("Unable to find first entry in big file, module is not initialised\n");
    return NULL;
  }
  if (!vfilbig_valid_handle(handle)) return NULL;
  int32_t parent = -1;
  if (directory_path != NULL) {
    parent = vfilbig_verify_fat_structure(handle, directory_path, VBIG_MATCH_FILE_OR_DIRECTORY);
    if (parent < 0) return NULL;
  }
  return vfilbig_scan(handle, parent + 1, parent, type_out);
}

char *VFILBIG_find_next_entry(int32_t handle, const char *path, uint8_t *type_out) {
  VBUG_TRACE("VFILBIG_find_next_entry");
  if (!vfilbig.initialised) {
    VBUG_MESSAGE("Unable to find next entry in big file, module is not initialised\n");
    return NULL;
  }
  if (!vfilbig_valid_handle(handle) || path == NULL) return NULL;
  int32_t index = vfilbig_verify_fat_structure(handle, path, VBIG_MATCH_FILE_OR_DIRECTORY);
  if (index < 0) return NULL;
  return vfilbig_scan(handle, index + 1, vfilbig.archives[handle].fat[index].parent, type_out);
}

unsigned char VFILBIG_find_file(int32_t handle, const char *path) {
  VBUG_TRACE("VFILBIG_find_file");
  if (!vfilbig.initialised) {
    VBUG_MESSAGE("Unable to find file in big file, module is not initialised\n");
    return 0;
  }
  if (!vfilbig_valid_handle(handle) || path == NULL) return 0;
  return vfilbig_verify_fat_structure(handle, path, VBIG_ENTRY_FILE) >= 0;
}

// ---- Reads. ----------------------------------------------------------------

void *VFILBIG_get_data_from_file(int32_t handle, int32_t index) {
  VBUG_TRACE("VFILBIG_get_data_from_file");
  if (!vfilbig.initialised || !vfilbig_valid_handle(handle)) return NULL;
  const VBIG_ARCHIVE *archive = &vfilbig.archives[handle];
  if (archive->file == NULL || index < 0 || index >= archive->entry_count) return NULL;
  const VBIG_FAT_ENTRY *entry = &archive->fat[index];
  if (entry->size < 0 || entry->data_offset < 0) return NULL;
  unsigned char *data = (unsigned char *)PLATFORM_malloc(entry->size > 0 ? (size_t)entry->size : 1);
  if (data == NULL) return NULL;
  if (VFILE_fseek(archive->file, entry->data_offset, SEEK_SET) != 0 ||
      (entry->size > 0 && VFILE_fread(data, (size_t)entry->size, 1, archive->file) != 1)) {
    PLATFORM_free(data);
    return NULL;
  }
  return data;
}

// The member's bytes, decoded when compressed: *owned says whether the
// result is a new buffer. Null (with *n = -1) on failure.
static unsigned char *vfilbig_member_bytes(int32_t handle, int32_t index, int32_t *n,
                                           unsigned char *owned) {
  VBIG_ARCHIVE *archive = &vfilbig.archives[handle];
  const VBIG_FAT_ENTRY *entry = &archive->fat[index];
  unsigned char *data = entry->data_pointer, *fetched = NULL;
  *n = -1;
  *owned = 0;
  if (data == NULL && archive->mode == VFILBIG_MODE_FILE) {
    data = fetched = (unsigned char *)VFILBIG_get_data_from_file(handle, index);
  }
  if (data == NULL) {
    if (archive->mode == VFILBIG_MODE_MEMORY) vfilbig.last_error = VFILBIG_ERR_NO_DATA;
    return NULL;
  }
  if (!(entry->flags & VBIG_FLAG_COMPRESSED)) {
    *n = entry->size;
    *owned = fetched != NULL;
    return data;
  }
  unsigned char *decoded = HUFFMAN_uncompress(data, entry->size, n);
  PLATFORM_free(fetched);
  // An empty member decodes to no buffer; give it an empty one.
  if (decoded == NULL && *n == 0) decoded = (unsigned char *)PLATFORM_malloc(1);
  if (decoded == NULL) *n = -1;
  *owned = decoded != NULL;
  return decoded;
}

// The caller's buffer of n member bytes: the decoded one itself, or a copy
// of the archive's own (at least one byte, so an empty member is not null).
static void *vfilbig_hand_out(unsigned char *bytes, int32_t n, unsigned char owned,
                              int32_t *length) {
  if (length != NULL) *length = n;
  if (owned) return bytes;
  unsigned char *copy = (unsigned char *)PLATFORM_malloc(n > 0 ? (size_t)n : 1);
  if (copy != NULL) memcpy(copy, bytes, (size_t)n);
  return copy;
}

void *VFILBIG_read_file(int32_t handle, const char *path, void *buffer, int32_t *length) {
  VBUG_TRACE("VFILBIG_read_file");
  if (!vfilbig.initialised) {
    VBUG_retail_message("Unable to read from big file, module is not initialised\n");
    return NULL;
  }
  if (!vfilbig_valid_handle(handle) || path == NULL) {
    printf("invalid handle or filename");
    return NULL;
  }
  int32_t index = vfilbig_verify_fat_structure(handle, path, VBIG_ENTRY_FILE);
  if (index < 0) {
    printf("Invalid fat struct");
    return NULL;
  }
  int32_t n = 0;
  unsigned char owned = 0;
  unsigned char *bytes = vfilbig_member_bytes(handle, index, &n, &owned);
  if (bytes == NULL) return NULL;
  if (buffer != NULL) {
    if (length == NULL || n > *length) {
      vfilbig.last_error = VFILBIG_ERR_BUFFER_TOO_SMALL;
    } else {
      memcpy(buffer, bytes, (size_t)n);
    }
    if (owned) PLATFORM_free(bytes);
    return NULL;
  }
  return vfilbig_hand_out(bytes, n, owned, length);
}

int32_t VFILBIG_next_child(int32_t handle, int32_t parent, int32_t after) {
  VBUG_TRACE("VFILBIG_next_child");
  if (!vfilbig.initialised || !vfilbig_valid_handle(handle)) return -1;
  const VBIG_ARCHIVE *archive = &vfilbig.archives[handle];
  for (int32_t i = after < -1 ? 0 : after + 1; i < archive->entry_count; i++) {
    const VBIG_FAT_ENTRY *entry = &archive->fat[i];
    if (entry->parent != parent) continue;
    if (entry->type == VBIG_ENTRY_DIRECTORY || entry->type == VBIG_ENTRY_FILE) return i;
  }
  return -1;
}

// The bytes of file entry `index` (see vfilbig_member_bytes), after the
// checks that VFILBIG_read_entry and VFILBIG_borrow_entry share.
static unsigned char *vfilbig_entry_bytes(int32_t handle, int32_t index, int32_t *n,
                                          unsigned char *owned) {
  if (!vfilbig.initialised || !vfilbig_valid_handle(handle)) return NULL;
  const VBIG_ARCHIVE *archive = &vfilbig.archives[handle];
  if (index < 0 || index >= archive->entry_count) return NULL;
  if (archive->fat[index].type != VBIG_ENTRY_FILE) {
    if (archive->fat[index].type == VBIG_ENTRY_DIRECTORY)
      vfilbig.last_error = VFILBIG_ERR_IS_DIRECTORY;
    return NULL;
  }
  return vfilbig_member_bytes(handle, index, n, owned);
}

void *VFILBIG_read_entry(int32_t handle, int32_t index, int32_t *length) {
  VBUG_TRACE("VFILBIG_read_entry");
  int32_t n = 0;
  unsigned char owned = 0;
  unsigned char *bytes = vfilbig_entry_bytes(handle, index, &n, &owned);
  if (bytes == NULL) return NULL;
  return vfilbig_hand_out(bytes, n, owned, length);
}

const void *VFILBIG_borrow_entry(int32_t handle, int32_t index, int32_t *length, void **release) {
  VBUG_TRACE("VFILBIG_borrow_entry");
  int32_t n = 0;
  unsigned char owned = 0;
  *release = NULL;
  unsigned char *bytes = vfilbig_entry_bytes(handle, index, &n, &owned);
  if (bytes == NULL) return NULL;
  if (owned) *release = bytes;
  *length = n;
  return bytes;
}

int32_t VFILBIG_get_entry_count(int32_t handle) {
  VBUG_TRACE("VFILBIG_get_entry_count");
  if (!vfilbig.initialised || !vfilbig_valid_handle(handle)) return -1;
  return vfilbig.archives[handle].entry_count;
}

const VBIG_FAT_ENTRY *VFILBIG_get_fat_entry(int32_t handle, int32_t index) {
  VBUG_TRACE("VFILBIG_get_fat_entry");
  if (!vfilbig.initialised || !vfilbig_valid_handle(handle)) return NULL;
  if (index < 0 || index >= vfilbig.archives[handle].entry_count) return NULL;
  return &vfilbig.archives[handle].fat[index];
}

// ---- The writer. -----------------------------------------------------------

// 1 when member i obeys the writer's rules.
static unsigned char vfilbig_member_ok(const VBIG_MEMBER *members, int32_t i) {
  const VBIG_MEMBER *m = &members[i];
  size_t name_length = m->name != NULL ? strlen(m->name) : 0;
  if (name_length == 0 || name_length >= VBIG_NAME_SIZE || strchr(m->name, '\\')) return 0;
  if (m->type != VBIG_ENTRY_DIRECTORY && m->type != VBIG_ENTRY_FILE) return 0;
  if (m->type == VBIG_ENTRY_FILE && (m->size < 0 || (m->size > 0 && m->data == NULL))) return 0;
  if (m->parent < -1 || m->parent >= i) return 0;
  return m->parent == -1 || members[m->parent].type == VBIG_ENTRY_DIRECTORY;
}

static void vfilbig_write_record(unsigned char *record, const VBIG_MEMBER *m, int32_t size,
                                 int32_t offset, const char *username, const uint8_t date[4]) {
  memset(record, 0, VBIG_FAT_ENTRY_SIZE);
  memcpy(record + VBIG_POS_NAME, m->name, strlen(m->name));
  record[VBIG_POS_TYPE] = m->type;
  record[VBIG_POS_FLAGS] = m->type == VBIG_ENTRY_FILE ? (m->flags & VBIG_FLAG_COMPRESSED) : 0;
  BYTES_write_le32(record + VBIG_POS_PARENT, (uint32_t)m->parent);
  BYTES_write_le32(record + VBIG_POS_SIZE, (uint32_t)size);
  if (username != NULL) {
    size_t length = strlen(username);
    memcpy(record + VBIG_POS_USERNAME, username,
           length < VBIG_USERNAME_SIZE ? length : VBIG_USERNAME_SIZE - 1);
  }
  if (date != NULL) memcpy(record + VBIG_POS_DATE, date, 4);
  BYTES_write_le32(record + VBIG_POS_DATA_OFFSET, (uint32_t)offset);
}

unsigned char *VFILBIG_build_archive(const VBIG_MEMBER *members, int32_t count,
                                     const char *username, const uint8_t date[4],
                                     int32_t *length_out) {
  VBUG_TRACE("VFILBIG_build_archive");
  if (length_out != NULL) *length_out = 0;
  if (count < 0 || (count > 0 && members == NULL)) return NULL;
  int64_t total = VBIG_HEADER_SIZE;
  for (int32_t i = 0; i < count; i++) {
    if (!vfilbig_member_ok(members, i)) return NULL;
    total += VBIG_FAT_ENTRY_SIZE + (members[i].type == VBIG_ENTRY_FILE ? members[i].size : 0);
    if (total > INT32_MAX) return NULL;
  }
  unsigned char *block = (unsigned char *)PLATFORM_malloc((size_t)total);
  if (block == NULL) return NULL;
  BYTES_write_le32(block + VBIG_HEADER_POS_MAGIC, VBIG_MAGIC);
  BYTES_write_le32(block + VBIG_HEADER_POS_RESERVED, 0);
  BYTES_write_le32(block + VBIG_HEADER_POS_COUNT, (uint32_t)count);
  int32_t at = VBIG_HEADER_SIZE;
  for (int32_t i = 0; i < count; i++) {
    const VBIG_MEMBER *m = &members[i];
    int32_t size = m->type == VBIG_ENTRY_FILE ? m->size : 0;
    int32_t offset = m->type == VBIG_ENTRY_FILE ? at + VBIG_FAT_ENTRY_SIZE : 0;
    vfilbig_write_record(block + at, m, size, offset, username, date);
    at += VBIG_FAT_ENTRY_SIZE;
    if (size > 0) memcpy(block + at, m->data, (size_t)size);
    at += size;
  }
  if (length_out != NULL) *length_out = (int32_t)total;
  return block;
}
