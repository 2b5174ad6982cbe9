// vfile: search path slots with their file trees, name resolution through the
// trees, the size cache, whole-file reads, the check value and the stream
// wrappers.
#define VBUG_SOURCE "libfnal\\source\\vfile.cpp"
#include "vfile.h"

#include <stdarg.h>
#include <stddef.h>
#include <string.h>

#include "Utilfile.h"
#include "Vxstring.h"
#include "memory.h"
#include "platform.h"
#include "vbug.h"

#define VFILE_CRC_SLICES 16  // bytes folded into the check value per step

static const VFILE_DETAILS vfile_default_details = {
    VFILE_DEFAULT_MAX_SEARCH_PATHS,
    VFILE_DEFAULT_INITIAL_TREE_SIZE,
    "",
    VFILE_DEFAULT_TREE_GROWTH,
    VFILE_DEFAULT_CHUNK_SIZE,
    NULL,
    0,
    0,
    0,
    0,
    "",
    "",
};

static struct {
  unsigned char initialised;
  VFILE_DETAILS local_vfile_details;
  VFILE_SEARCH_PATH *search_paths;
  uint8_t *chunck_buffer;
  uint32_t check_total;
  char size_cache_path[VFILE_PATH_SIZE];  // "NOFILE" when empty
  unsigned char size_cache_valid;
  PLATFORM_FILE_STATUS size_cache_status;
  char result[VFILE_PATH_SIZE];
  uint16_t crc_table[VFILE_CRC_SLICES][256];
  unsigned char crc_table_ready;
  // The folder of the last tree report and the node whose entries it holds
  // (-1: the top level), so that reports from one folder do not walk the
  // tree from its top each time. Forgotten when a tree is built or released.
  struct {
    const VFILE_SEARCH_PATH *slot;
    char folder[VFILE_PATH_SIZE];
    int32_t node;
  } last_folder;
} vfile;

static void vfile_empty_size_cache(void) {
  strcpy(vfile.size_cache_path, "NOFILE");
  vfile.size_cache_valid = 0;
}

// Size of count elements of element_size bytes as a positive allocator size,
// or 0 when it would not fit.
static int32_t vfile_block_size(uint32_t count, size_t element_size) {
  uint64_t bytes = (uint64_t)count * element_size;
  return bytes > 0x7FFFFFFFu ? 0 : (int32_t)bytes;
}

unsigned char VFILE_initialise(const VFILE_DETAILS *details) {
  VBUG_TRACE("VFILE_initialise");
  if (vfile.initialised) return 0;
  vfile.local_vfile_details = details ? *details : vfile_default_details;
  VFILE_DETAILS *settings = &vfile.local_vfile_details;
  settings->extension[VFILE_PATH_SIZE - 1] = '\0';
  int32_t table_bytes = vfile_block_size(settings->max_search_paths, sizeof(VFILE_SEARCH_PATH));
  vfile.search_paths = (VFILE_SEARCH_PATH *)MEMORY_ALLOC(NULL, table_bytes, MEMORY_ZERO_FILL,
                                                         "VFILE: local_vfile_details.search_paths");
  if (vfile.search_paths == NULL) {
    VBUG_MESSAGE("VFILE_initialise: Failed to allocate memory size:");
    settings->max_search_paths = 0;
    return 0;
  }
  for (uint32_t i = 0; i < settings->max_search_paths; i++) {
    vfile.search_paths[i].path[0] = '\0';
    vfile.search_paths[i].file_tree = NULL;
  }
  int32_t chunk_bytes = vfile_block_size(settings->chunk_size, 1);
  vfile.chunck_buffer =
      chunk_bytes > 0
          ? (uint8_t *)MEMORY_ALLOC(NULL, chunk_bytes, MEMORY_ZERO_FILL, "VFILE: chunck_buffer")
          : NULL;
  vfile_empty_size_cache();
  vfile.initialised = 1;
  vfile.check_total = 0;
  return 1;
}

unsigned char VFILE_deinitialise(void) {
  VBUG_TRACE("VFILE_deinitialise");
  if (vfile.chunck_buffer) MEMORY_FREE(vfile.chunck_buffer);
  if (vfile.search_paths == NULL) {
    vfile.initialised = 0;
    return 0;
  }
  vfile_clear_search_path(-1);
  MEMORY_FREE(vfile.search_paths);
  vfile.initialised = 0;
  return 1;
}

// ---- search paths -------------------------------------------------------

static unsigned char vfile_slot_in_table(int32_t index) {
  return vfile.search_paths != NULL && index >= 0 &&
         (uint32_t)index < vfile.local_vfile_details.max_search_paths;
}

uint32_t VFILE_set_search_paths(uint32_t count, ...) {
  VBUG_TRACE("VFILE_set_search_paths");
  vfile_clear_search_path(-1);
  uint32_t taken = 0;
  va_list texts;
  va_start(texts, count);
  for (uint32_t i = 0; i < count; i++) {
    const char *text = va_arg(texts, const char *);
    if (text == NULL) {
      VBUG_MESSAGE("string is NULL");
      taken++;
      continue;
    }
    int32_t index = VFILE_add_search_path(text);
    if (index < 0) continue;
    vfile.search_paths[index].tree_size = vfile.local_vfile_details.initial_tree_size;
    VFILE_build_file_tree(index);
    taken++;
  }
  va_end(texts);
  return taken;
}

int32_t VFILE_add_search_path(const char *path) {
  VBUG_TRACE("VFILE_add_search_path");
  if (!vfile.initialised || path == NULL || path[0] == '\0') return -1;
  for (uint32_t i = 0; i < vfile.local_vfile_details.max_search_paths; i++) {
    VFILE_SEARCH_PATH *slot = &vfile.search_paths[i];
    if (slot->path[0] != '\0') continue;
    vfile_copy_string(slot->path, path, VFILE_PATH_SIZE);
    return (int32_t)i;
  }
  return -1;
}

static void vfile_clear_slot(VFILE_SEARCH_PATH *slot) {
  if (vfile.last_folder.slot == slot) vfile.last_folder.slot = NULL;
  slot->path[0] = '\0';
  if (slot->file_tree) MEMORY_FREE(slot->file_tree);
}

void vfile_clear_search_path(int32_t index) {
  VBUG_TRACE("vfile_clear_search_path");
  if (vfile.search_paths == NULL) return;
  if (index == -1) {
    for (uint32_t i = 0; i < vfile.local_vfile_details.max_search_paths; i++)
      vfile_clear_slot(&vfile.search_paths[i]);
  } else if (vfile_slot_in_table(index)) {
    vfile_clear_slot(&vfile.search_paths[index]);
  }
}

const VFILE_SEARCH_PATH *VFILE_get_search_path(int32_t index) {
  return vfile.initialised && vfile_slot_in_table(index) ? &vfile.search_paths[index] : NULL;
}

unsigned char VFILE_set_extension(const char *extension) {
  VBUG_TRACE("VFILE_set_extension");
  return vfile_copy_string(vfile.local_vfile_details.extension, extension, VFILE_PATH_SIZE);
}

const char *VFILE_get_extension(void) {
  VBUG_TRACE("VFILE_get_extension");
  return vfile.local_vfile_details.extension;
}

unsigned char vfile_copy_string(char *destination, const char *source, uint32_t size) {
  VBUG_TRACE("vfile_copy_string");
  if (destination == NULL || source == NULL || size == 0) return 0;
  size_t length = strlen(source);
  if (length > size - 1) length = size - 1;
  for (size_t i = 0; i < length; i++) destination[i] = VXSTRING_ascii_lower(source[i]);
  destination[length] = '\0';
  return 1;
}

// ---- file trees ---------------------------------------------------------

unsigned char vfile_allocate_file_tree(VFILE_SEARCH_PATH *slot) {
  VBUG_TRACE("vfile_allocate_file_tree");
  if (vfile.last_folder.slot == slot) vfile.last_folder.slot = NULL;
  if (slot->file_tree) MEMORY_FREE(slot->file_tree);
  int32_t bytes = vfile_block_size(slot->tree_size, sizeof(VFILE_TREE_NODE));
  slot->file_tree = (VFILE_TREE_NODE *)MEMORY_ALLOC(NULL, bytes, MEMORY_ZERO_FILL,
                                                    "VFILE: tree_details->file_tree");
  if (slot->file_tree == NULL) {
    VBUG_MESSAGE("VFILE_allocate_file_tree: Failed to allocate memorysize: %d", (int)bytes);
    return 0;
  }
  slot->tree_count = 0;
  slot->file_tree[0].next = -1;
  slot->file_tree[0].child = -1;
  slot->file_tree[0].name[0] = '\0';
  return 1;
}

unsigned char vfile_reallocate_file_tree(VFILE_SEARCH_PATH *slot) {
  VBUG_TRACE("vfile_reallocate_file_tree");
  uint64_t nodes = (uint64_t)slot->tree_size + vfile.local_vfile_details.tree_growth;
  if (slot->file_tree == NULL || nodes > 0xFFFFFFFFu || nodes <= slot->tree_size) return 0;
  int32_t bytes = vfile_block_size((uint32_t)nodes, sizeof(VFILE_TREE_NODE));
  if (bytes == 0) return 0;
  VFILE_TREE_NODE *grown = (VFILE_TREE_NODE *)MEMORY_reallocate(slot->file_tree, bytes);
  if (grown == NULL) return 0;
  slot->file_tree = grown;
  slot->tree_size = (uint32_t)nodes;
  return 1;
}

int32_t vfile_add_entry_to_file_tree(VFILE_SEARCH_PATH *slot, const char *name) {
  VBUG_TRACE("vfile_add_entry_to_file_tree");
  if (slot->file_tree == NULL || slot->tree_count >= 0x7FFFFFFFu) return -1;
  if (slot->tree_count >= slot->tree_size && !vfile_reallocate_file_tree(slot)) return -1;
  VFILE_TREE_NODE *node = &slot->file_tree[slot->tree_count];
  vfile_copy_string(node->name, name, VFILE_NODE_NAME_SIZE);
  node->next = -1;
  node->child = -1;
  return (int32_t)slot->tree_count++;
}

// The first slot with a path that is a prefix of path, or null.
static VFILE_SEARCH_PATH *vfile_owning_slot(const char *path) {
  for (uint32_t i = 0; i < vfile.local_vfile_details.max_search_paths; i++) {
    VFILE_SEARCH_PATH *slot = &vfile.search_paths[i];
    size_t length = strlen(slot->path);
    if (length > 0 && strncmp(slot->path, path, length) == 0) return slot;
  }
  return NULL;
}

// Cuts the next component of *rest (backslash-separated, empty components
// skipped) into component, keeping at most 12 characters. Returns 0 when
// there is none.
static unsigned char vfile_next_component(const char **rest, char *component) {
  const char *p = *rest;
  while (*p == '\\') p++;
  if (*p == '\0') return 0;
  size_t length = 0;
  for (; *p && *p != '\\'; p++)
    if (length < VFILE_NODE_NAME_SIZE - 1) component[length++] = *p;
  component[length] = '\0';
  *rest = p;
  return 1;
}

// 1 when nothing but backslashes is left of a report.
static unsigned char vfile_no_component_left(const char *rest) {
  while (*rest == '\\') rest++;
  return *rest == '\0';
}

// Walks the chain from node index for component: the matching node, or -1
// with *last set to the chain's last node.
static int32_t vfile_find_in_chain(const VFILE_TREE_NODE *nodes, int32_t index,
                                   const char *component, int32_t *last) {
  *last = index;
  while (index >= 0 && strcmp(nodes[index].name, component) != 0) {
    *last = index;
    index = nodes[index].next;
  }
  return index;
}

// Files component as an entry of parent (-1: the top level), the last step
// of an insertion: nothing when the folder holds it already.
static void vfile_insert_under(VFILE_SEARCH_PATH *slot, int32_t parent, const char *component) {
  int32_t index = 0, last = 0;
  if (parent < 0 && slot->tree_count == 0) {
    vfile_add_entry_to_file_tree(slot, component);
    return;
  }
  if (parent >= 0) {
    index = slot->file_tree[parent].child;
    if (index < 0) {
      int32_t added = vfile_add_entry_to_file_tree(slot, component);
      if (added >= 0) slot->file_tree[parent].child = added;
      return;
    }
  }
  if (vfile_find_in_chain(slot->file_tree, index, component, &last) >= 0) return;
  int32_t added = vfile_add_entry_to_file_tree(slot, component);
  if (added >= 0) slot->file_tree[last].next = added;
}

// Files the components in rest into the slot's tree (at most one new node).
// Returns the node whose entries the last component was filed among (-1:
// the top level), or -2 when the walk ended before the last component.
static int32_t vfile_insert_components(VFILE_SEARCH_PATH *slot, const char *rest) {
  char component[VFILE_NODE_NAME_SIZE];
  if (!vfile_next_component(&rest, component)) return -2;
  int32_t parent = -1;
  if (slot->tree_count != 0) {
    int32_t index = 0, last = 0, matched;
    while ((matched = vfile_find_in_chain(slot->file_tree, index, component, &last)) >= 0) {
      if (!vfile_next_component(&rest, component)) return -2;
      parent = matched;
      index = slot->file_tree[matched].child;
      if (index < 0) break;
    }
  }
  vfile_insert_under(slot, parent, component);
  return vfile_no_component_left(rest) ? parent : -2;
}

// Files a report whose folder (folder_length characters of rest) is the one
// of the last report, straight under that folder's node. Returns 0 when it
// is another folder or the name is not a plain component.
static unsigned char vfile_insert_in_last_folder(VFILE_SEARCH_PATH *slot, const char *rest,
                                                 size_t folder_length) {
  const char *name = rest + folder_length + 1;
  if (vfile.last_folder.slot != slot || *name == '\0' || strchr(name, '\\') != NULL) return 0;
  if (strncmp(vfile.last_folder.folder, rest, folder_length) != 0 ||
      vfile.last_folder.folder[folder_length] != '\0')
    return 0;
  char component[VFILE_NODE_NAME_SIZE];
  vfile_next_component(&name, component);
  vfile_insert_under(slot, vfile.last_folder.node, component);
  return 1;
}

void vfile_file_tree_callback_function(const char *path, int32_t kind) {
  VBUG_TRACE("vfile_file_tree_callback_function");
  char lower[VFILE_PATH_SIZE];
  if (kind == UTILFILE_KIND_TICK || path == NULL || vfile.search_paths == NULL) return;
  if (strlen(path) >= VFILE_PATH_SIZE) return;
  vfile_copy_string(lower, path, VFILE_PATH_SIZE);
  VFILE_SEARCH_PATH *slot = vfile_owning_slot(lower);
  if (slot == NULL || slot->file_tree == NULL) return;
  const char *rest = lower + strlen(slot->path);
  if (*rest == '\\') rest++;
  const char *separator = strrchr(rest, '\\');
  size_t folder_length = separator != NULL ? (size_t)(separator - rest) : 0;
  if (separator != NULL && vfile_insert_in_last_folder(slot, rest, folder_length)) return;
  int32_t parent = vfile_insert_components(slot, rest);
  if (parent == -2 || separator == NULL) return;
  vfile.last_folder.slot = slot;
  memcpy(vfile.last_folder.folder, rest, folder_length);
  vfile.last_folder.folder[folder_length] = '\0';
  vfile.last_folder.node = parent;
}

unsigned char VFILE_build_file_tree(int32_t index) {
  VBUG_TRACE("VFILE_build_file_tree");
  if (!vfile.initialised) return 0;
  if (index == -1) {
    for (uint32_t i = 0; i < vfile.local_vfile_details.max_search_paths; i++)
      if (vfile.search_paths[i].path[0] != '\0') VFILE_build_file_tree((int32_t)i);
    return 1;
  }
  if (!vfile_slot_in_table(index) || vfile.search_paths[index].path[0] == '\0') return 0;
  VFILE_SEARCH_PATH *slot = &vfile.search_paths[index];
  if (vfile_allocate_file_tree(slot))
    UTILFILE_file_scan("*.*", slot->path, vfile_file_tree_callback_function, UTILFILE_RECURSIVE);
  return 1;
}

// ---- name resolution ----------------------------------------------------

// Lookup with an output buffer of size bytes; see vfile_find_full_path.
static unsigned char vfile_find_in_chain(const char *name, char *output, size_t size,
                                         const VFILE_TREE_NODE *nodes, int32_t index) {
  if (*name == '\\') name++;
  const char *end = strchr(name, '\\');
  size_t length = end ? (size_t)(end - name) : strlen(name);
  size_t kept = length < VFILE_NODE_NAME_SIZE - 1 ? length : VFILE_NODE_NAME_SIZE - 1;
  if (kept == 0 || kept >= size) return 0;
  const char *after = name + length;
  unsigned char last = after[0] == '\0' || (after[0] == '\\' && after[1] == '\0');
  for (; index >= 0; index = nodes[index].next) {
    const VFILE_TREE_NODE *node = &nodes[index];
    if (strncmp(node->name, name, kept) != 0 || node->name[kept] != '\0') continue;
    memcpy(output, name, kept);
    output[kept] = '\0';
    if (last) return 1;
    if (node->child < 0 || kept + 2 > size) continue;
    output[kept] = '\\';
    if (vfile_find_in_chain(after, output + kept + 1, size - kept - 1, nodes, node->child))
      return 1;
  }
  return 0;
}

unsigned char vfile_find_full_path(const char *name, char *output, const VFILE_TREE_NODE *nodes,
                                   int32_t index) {
  VBUG_TRACE("vfile_find_full_path");
  if (name == NULL || output == NULL || nodes == NULL || name[0] == '\0') return 0;
  char found[VFILE_PATH_SIZE];
  if (!vfile_find_in_chain(name, found, sizeof found, nodes, index)) return 0;
  strcpy(output, found);
  return 1;
}

static unsigned char vfile_is_qualified(const char *name) {
  return name[0] == '.' || strstr(name, "\\\\") != NULL || strchr(name, ':') != NULL;
}

// Joins a slot's path and a relative path into the result buffer.
static char *vfile_result_in_slot(const VFILE_SEARCH_PATH *slot, const char *relative) {
  size_t length = strlen(slot->path);
  const char *separator = VXSTRING_separator_after(slot->path);
  size_t total = length + strlen(separator) + strlen(relative);
  if (total >= VFILE_PATH_SIZE) return NULL;
  strcpy(vfile.result, slot->path);
  strcat(vfile.result, separator);
  strcat(vfile.result, relative);
  return vfile.result;
}

char *VFILE_make_full_path(const char *name) {
  VBUG_TRACE("VFILE_make_full_path");
  if (!vfile.initialised) {
    VBUG_MESSAGE("VFILE_make_full_path: VFILE not initialised");
    return NULL;
  }
  if (name == NULL || name[0] == '\0') {
    VBUG_MESSAGE("VFILE_make_full_path: String size of zero");
    return NULL;
  }
  const char *extension = strchr(name, '.') ? "" : vfile.local_vfile_details.extension;
  char candidate[VFILE_PATH_SIZE];
  if (strlen(name) + strlen(extension) >= sizeof candidate) return NULL;
  strcpy(candidate, name);
  strcat(candidate, extension);
  if (vfile_is_qualified(candidate) && VFILE_get_file_size(candidate) != -1)
    return strcpy(vfile.result, candidate);
  vfile_copy_string(candidate, candidate, sizeof candidate);
  char relative[VFILE_PATH_SIZE];
  for (uint32_t i = 0; i < vfile.local_vfile_details.max_search_paths; i++) {
    const VFILE_SEARCH_PATH *slot = &vfile.search_paths[i];
    if (slot->file_tree == NULL || slot->tree_count == 0) continue;
    if (vfile_find_full_path(candidate, relative, slot->file_tree, 0))
      return vfile_result_in_slot(slot, relative);
  }
  return NULL;
}

// ---- sizes and whole-file reads -----------------------------------------

int32_t VFILE_get_file_size(const char *path) {
  VBUG_TRACE("VFILE_get_file_size");
  if (path == NULL) return -1;
  if (vfile.size_cache_valid && VXSTRING_equal_ignoring_case(path, vfile.size_cache_path))
    return (int32_t)vfile.size_cache_status.size;
  vfile_empty_size_cache();
  PLATFORM_FILE_STATUS status;
  if (!PLATFORM_file_status(path, &status) || status.size > 0x7FFFFFFF) return -1;
  if (strlen(path) < VFILE_PATH_SIZE) {
    strcpy(vfile.size_cache_path, path);
    vfile.size_cache_status = status;
    vfile.size_cache_valid = 1;
  }
  return (int32_t)status.size;
}

size_t vfile_chunk_fread(void *destination, size_t element_size, size_t element_count, FILE *stream,
                         uint32_t chunk_size, VFILE_PROCESS_CALLBACK per_chunk) {
  VBUG_TRACE("vfile_chunk_fread");
  if (destination == NULL || stream == NULL) return 0;
  if (element_size != 0 && element_count > (size_t)-1 / element_size) return 0;
  size_t total = element_size * element_count, delivered = 0;
  size_t piece = chunk_size;
  if (vfile.chunck_buffer && piece > vfile.local_vfile_details.chunk_size)
    piece = vfile.local_vfile_details.chunk_size;
  uint8_t *out = (uint8_t *)destination;
  while (!feof(stream) && delivered < total) {
    size_t want = total - delivered < piece ? total - delivered : piece;
    uint8_t *into = vfile.chunck_buffer ? vfile.chunck_buffer : out + delivered;
    size_t got = want ? fread(into, 1, want, stream) : 0;
    if (got == 0) break;
    if (vfile.chunck_buffer) memcpy(out + delivered, vfile.chunck_buffer, got);
    if (per_chunk) per_chunk();
    delivered += got;
  }
  return delivered;
}

void vfile_process(void) {
  VBUG_TRACE("vfile_process");
  if (vfile.initialised && vfile.local_vfile_details.process_callback)
    vfile.local_vfile_details.process_callback();
}

void *VFILE_allocate_and_read_file(const char *name, const void *previous, int32_t *length) {
  VBUG_TRACE("VFILE_allocate_and_read_file");
  if (!vfile.initialised) {
    VBUG_MESSAGE("VFILE_allocate_and_read_file: VFILE not active");
    return NULL;
  }
  const char *resolved = VFILE_make_full_path(name);
  if (resolved == NULL) {
    VBUG_MESSAGE("full_filename %s", "(null)");
    return NULL;
  }
  char full_filename[VFILE_PATH_SIZE];
  strcpy(full_filename, resolved);
  int32_t size = VFILE_get_file_size(full_filename);
  if (size == -1) {
    VBUG_MESSAGE("VFILE_allocate_and_read_file: Coudlnt get file stat data");
    return NULL;
  }
  uint8_t *block =
      (uint8_t *)MEMORY_ALLOC(previous, size, MEMORY_ZERO_FILL, "VFILE_allocate_and_read_file");
  if (block == NULL) {
    VBUG_MESSAGE("VFILE_allocate_and_read_file: Failed to allocate %d bytes", (int)size);
    return NULL;
  }
  FILE *stream = vfile_fopen(full_filename, "rb", 0, VBUG_SOURCE, __LINE__);
  if (stream == NULL) {
    VBUG_MESSAGE("VFILE_allocate_and_read_file: Failed to open %s", full_filename);
    MEMORY_FREE(block);
    return NULL;
  }
  size_t got = vfile.local_vfile_details.process_callback
                   ? vfile_chunk_fread(block, 1, (size_t)size, stream,
                                       vfile.local_vfile_details.chunk_size, vfile_process)
                   : fread(block, 1, (size_t)size, stream);
  if (length) *length = (int32_t)got;
  if (vfile.local_vfile_details.check_switch)
    vfile.check_total += file_check_value(block, (uint32_t)got);
  vfile_fclose(stream, VBUG_SOURCE, __LINE__);
  return block;
}

// ---- check value --------------------------------------------------------

// crc_table[0] is the byte-at-a-time table; crc_table[k][b] is the CRC of
// byte b followed by k zero bytes, so that VFILE_CRC_SLICES bytes are
// folded in with one lookup each (the CRC is linear in its input).
static void vfile_build_crc_table(void) {
  for (uint32_t byte = 0; byte < 256; byte++) {
    uint16_t crc = (uint16_t)(byte << 8);
    for (int bit = 0; bit < 8; bit++)
      crc = (uint16_t)((crc & 0x8000u) ? (crc << 1) ^ 0x1021u : crc << 1);
    vfile.crc_table[0][byte] = crc;
  }
  for (int k = 1; k < VFILE_CRC_SLICES; k++) {
    for (uint32_t byte = 0; byte < 256; byte++) {
      uint16_t previous = vfile.crc_table[k - 1][byte];
      vfile.crc_table[k][byte] = (uint16_t)((previous << 8) ^ vfile.crc_table[0][previous >> 8]);
    }
  }
  vfile.crc_table_ready = 1;
}

static uint16_t vfile_crc_step(uint16_t crc, uint8_t byte) {
  return (uint16_t)((crc << 8) ^ vfile.crc_table[0][((crc >> 8) ^ byte) & 0xFFu]);
}

// Folds the VFILE_CRC_SLICES bytes at[0], at[step], at[2 * step], ... into
// crc, in that order (step 1 reads forward, -1 backward).
static uint16_t vfile_crc_slice(uint16_t crc, const uint8_t *at, ptrdiff_t step) {
  uint16_t first = (uint16_t)(crc ^ (at[0] << 8 | at[step]));
  uint16_t result = (uint16_t)(vfile.crc_table[VFILE_CRC_SLICES - 1][first >> 8] ^
                               vfile.crc_table[VFILE_CRC_SLICES - 2][first & 0xFFu]);
  for (int k = 2; k < VFILE_CRC_SLICES; k++) {
    result ^= vfile.crc_table[VFILE_CRC_SLICES - 1 - k][at[k * step]];
  }
  return result;
}

uint32_t file_check_value(const void *data, uint32_t length) {
  VBUG_TRACE("file_check_value");
  if (data == NULL || length == 0) return 0;
  if (!vfile.crc_table_ready) vfile_build_crc_table();
  const uint8_t *bytes = (const uint8_t *)data;
  uint16_t forward = 0xFFFFu, backward = 0x4110u;
  uint32_t i = 0;
  for (; length - i >= VFILE_CRC_SLICES; i += VFILE_CRC_SLICES) {
    forward = vfile_crc_slice(forward, bytes + i, 1);
    backward = vfile_crc_slice(backward, bytes + length - 1 - i, -1);
  }
  for (; i < length; i++) {
    forward = vfile_crc_step(forward, bytes[i]);
    backward = vfile_crc_step(backward, bytes[length - 1 - i]);
  }
  return ((uint32_t)forward << 16) | backward;
}

uint32_t VFILE_get_check_total(void) {
  return vfile.check_total;
}

// ---- streams ------------------------------------------------------------

FILE *vfile_fopen(const char *name, const char *mode, unsigned char search, const char *file,
                  int32_t line) {
  VBUG_TRACE("vfile_fopen");
  if (name == NULL || mode == NULL) return NULL;
  const char *path = name;
  char resolved[VFILE_PATH_SIZE];
  if (search == 1 && vfile.initialised) {
    const char *full = VFILE_make_full_path(name);
    if (full != NULL) path = strcpy(resolved, full);
  }
  FILE *stream = PLATFORM_fopen(path, mode);
  if (stream == NULL) {
    stream = PLATFORM_fopen(path, mode);
    if (stream == NULL) return NULL;
    VBUG_MESSAGE("Failed to open '%s' ('%s') in %s at line %d", path, name, file ? file : "",
                 (int)line);
  }
  if (mode[0] != 'r') vfile_empty_size_cache();
  return stream;
}

unsigned char vfile_fclose(FILE *stream, const char *file, int32_t line) {
  VBUG_TRACE("vfile_fclose");
  if (stream != NULL && fclose(stream) == 0) return 0;
  VBUG_MESSAGE("Failed to close file in %s at line %d", file ? file : "", (int)line);
  return 1;
}

size_t VFILE_fread(void *buffer, size_t element_size, size_t element_count, FILE *stream) {
  VBUG_TRACE("VFILE_fread");
  if (buffer == NULL || stream == NULL) return 0;
  return fread(buffer, element_size, element_count, stream);
}

size_t VFILE_fwrite(const void *buffer, size_t element_size, size_t element_count, FILE *stream) {
  VBUG_TRACE("VFILE_fwrite");
  vfile_empty_size_cache();
  if (buffer == NULL || stream == NULL) return 0;
  return fwrite(buffer, element_size, element_count, stream);
}

int VFILE_fseek(FILE *stream, long offset, int origin) {
  VBUG_TRACE("VFILE_fseek");
  if (stream == NULL) return -1;
  return fseek(stream, offset, origin);
}
