// memory: the tracked allocator with its slot table, block headers, optional
// guard areas, validation and the leak report at shutdown.
#define VBUG_SOURCE "libfnal\\source\\memory.cpp"
#include "memory.h"

#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#include "Vstack.h"
#include "Vxstring.h"
#include "platform.h"
#include "vbug.h"

// Header positions from the block start; the user area follows the header.
enum {
  MEMORY_POS_MAGIC = 0,
  MEMORY_POS_DESCRIPTION = 4,
  MEMORY_POS_SIZE = 28,
  MEMORY_POS_SLOT = 32,
  MEMORY_POS_FILE = 36,
  MEMORY_POS_LINE = 48,
  MEMORY_POS_HEAD_GUARD = 52,
};
#define MEMORY_MAGIC 0x004D454Du
#define MEMORY_FILE_FIELD_SIZE 12
#define MEMORY_FILE_NAME_LENGTH 8
// The short name is taken from at most this many characters of the caller's
// source path (the room of a 1024-byte copy with its terminator).
#define MEMORY_SOURCE_PATH_LIMIT 1023

// The heap block is aligned to MEMORY_ALIGNMENT and the block start placed
// MEMORY_LEAD bytes into it, so that the user pointer (block start + 180) is
// aligned for any type while every header field keeps its distance from it.
#define MEMORY_ALIGNMENT 16
#define MEMORY_LEAD ((MEMORY_ALIGNMENT - MEMORY_HEADER_SIZE % MEMORY_ALIGNMENT) % MEMORY_ALIGNMENT)

// Where the runtime's malloc already aligns every block to 16 bytes (the
// 64-bit hosts), the plain heap calls serve; elsewhere (the 32-bit Windows
// runtime gives 8) the aligned ones.
#if defined(_WIN32) || UINTPTR_MAX <= 0xFFFFFFFFu
#define MEMORY_ALIGNED_HEAP 1
#else
#define MEMORY_ALIGNED_HEAP 0
static_assert(alignof(max_align_t) >= MEMORY_ALIGNMENT, "malloc aligns to 16 bytes");
#endif

int32_t MEMORY_num_indices = 50;
int32_t MEMORY_num_indices_increment = 50;
int32_t MEMORY_foot_size = 128;
unsigned char MEMORY_skip_head_foot_check = 1;

// The values of memory_state.
#define MEMORY_STATE_OFF 0        // not initialised
#define MEMORY_STATE_READY 1      // initialised, no block allocated yet
#define MEMORY_STATE_ALLOCATED 2  // a block allocated since initialisation

static struct {
  int32_t memory_state;
  uint8_t **index_table;
  VSTACK *free_index_stack;
  // The source path seen last (by its address: source paths are constant
  // texts) and its short name, so that the calls from one source file work
  // the name out once.
  const char *last_source;
  uint8_t last_short_name[MEMORY_FILE_NAME_LENGTH];
} mem;

static int32_t memory_get32(const uint8_t *block, int position) {
  int32_t value;
  memcpy(&value, block + position, sizeof value);
  return value;
}

static void memory_put32(uint8_t *block, int position, int32_t value) {
  memcpy(block + position, &value, sizeof value);
}

static size_t memory_block_bytes(int32_t size) {
  return (size_t)MEMORY_HEADER_SIZE + (size_t)size + (size_t)MEMORY_foot_size;
}

// Freed blocks whose heap chunk is at most MEMORY_CACHE_LARGEST bytes wait in
// a lookaside cache, one list per MEMORY_CACHE_GRANULE-byte class, for the
// next allocation of their class; such chunks are taken from the heap rounded
// up to their class. The cache holds at most MEMORY_CACHE_LIMIT bytes and is
// handed back to the heap by MEMORY_deinitialise. Each chunk keeps its heap
// size in the lead bytes before the block start (the foot size may change
// between allocation and release), and a cached chunk keeps its list link in
// the first lead bytes.
#define MEMORY_CACHE_GRANULE MEMORY_ALIGNMENT
#define MEMORY_CACHE_CLASSES 288
#define MEMORY_CACHE_LARGEST (MEMORY_CACHE_GRANULE * MEMORY_CACHE_CLASSES)
#define MEMORY_CACHE_LIMIT (1024 * 1024)
#define MEMORY_LEAD_CHUNK_SIZE (MEMORY_LEAD - 4)
static_assert(MEMORY_LEAD >= sizeof(void *) + 4, "the lead holds the link and the chunk size");

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define MEMORY_POISON(address, bytes) ASAN_POISON_MEMORY_REGION(address, bytes)
#define MEMORY_UNPOISON(address, bytes) ASAN_UNPOISON_MEMORY_REGION(address, bytes)
#else
#define MEMORY_POISON(address, bytes) ((void)(address), (void)(bytes))
#define MEMORY_UNPOISON(address, bytes) ((void)(address), (void)(bytes))
#endif

static struct {
  uint8_t *head[MEMORY_CACHE_CLASSES];  // heap chunks (raw starts), linked
  size_t bytes;                         // bytes held by all lists
} cache;

// The heap size of a chunk holding `bytes` after its lead: its class size
// when it is small enough to be cached, else exact.
static size_t memory_chunk_bytes(size_t bytes) {
  size_t raw = MEMORY_LEAD + bytes;
  if (raw > MEMORY_CACHE_LARGEST) return raw;
  return (raw + MEMORY_CACHE_GRANULE - 1) / MEMORY_CACHE_GRANULE * MEMORY_CACHE_GRANULE;
}

// The cache list for chunks of `chunk` bytes, or -1 when they are not cached.
static int memory_cache_class(size_t chunk) {
  if (chunk > MEMORY_CACHE_LARGEST || chunk % MEMORY_CACHE_GRANULE != 0) return -1;
  return (int)(chunk / MEMORY_CACHE_GRANULE) - 1;
}

__attribute__((always_inline)) static inline uint8_t *memory_cache_take(size_t chunk) {
  int list = memory_cache_class(chunk);
  if (list < 0 || cache.head[list] == NULL) return NULL;
  uint8_t *raw = cache.head[list];
  MEMORY_UNPOISON(raw, chunk);
  memcpy(&cache.head[list], raw, sizeof(uint8_t *));
  cache.bytes -= chunk;
  return raw;
}

// Keeps a released chunk; 0 when it is not cached (too big, cache full).
static unsigned char memory_cache_keep(uint8_t *raw, size_t chunk) {
  int list = memory_cache_class(chunk);
  if (list < 0 || cache.bytes + chunk > MEMORY_CACHE_LIMIT) return 0;
  memcpy(raw, &cache.head[list], sizeof(uint8_t *));
  cache.head[list] = raw;
  cache.bytes += chunk;
  MEMORY_POISON(raw, chunk);
  return 1;
}

// Heap calls for whole raw chunks.
static void *memory_heap_call_alloc(size_t chunk) {
#if MEMORY_ALIGNED_HEAP
  return PLATFORM_aligned_malloc(chunk, MEMORY_ALIGNMENT);
#else
  return PLATFORM_malloc(chunk);
#endif
}

static void memory_heap_call_free(void *raw) {
#if MEMORY_ALIGNED_HEAP
  PLATFORM_aligned_free(raw);
#else
  PLATFORM_free(raw);
#endif
}

static void memory_cache_empty(void) {
  for (int list = 0; list < MEMORY_CACHE_CLASSES; list++) {
    while (cache.head[list] != NULL) {
      size_t chunk = (size_t)(list + 1) * MEMORY_CACHE_GRANULE;
      memory_heap_call_free(memory_cache_take(chunk));
    }
  }
}

static uint8_t *memory_block_of_chunk(uint8_t *raw, size_t chunk) {
  uint32_t stored = (uint32_t)chunk;
  memcpy(raw + MEMORY_LEAD_CHUNK_SIZE, &stored, sizeof stored);
  return raw + MEMORY_LEAD;
}

static size_t memory_chunk_of_block(const uint8_t *block) {
  uint32_t stored;
  memcpy(&stored, block - 4, sizeof stored);
  return stored;
}

// Heap calls for whole blocks; they return and take the block start.
static uint8_t *memory_heap_alloc(size_t bytes) {
  size_t chunk = memory_chunk_bytes(bytes);
  uint8_t *raw = memory_cache_take(chunk);
  if (raw == NULL) raw = (uint8_t *)memory_heap_call_alloc(chunk);
  return raw ? memory_block_of_chunk(raw, chunk) : NULL;
}

__attribute__((always_inline)) static inline void memory_heap_free(uint8_t *block) {
  uint8_t *raw = block - MEMORY_LEAD;
  if (!memory_cache_keep(raw, memory_chunk_of_block(block))) memory_heap_call_free(raw);
}

// Resizes a block, keeping min(old, new) bytes; null on failure with the old
// block untouched.
static uint8_t *memory_heap_realloc(uint8_t *block, size_t new_bytes) {
  size_t chunk = memory_chunk_bytes(new_bytes);
#if MEMORY_ALIGNED_HEAP
  uint8_t *raw = (uint8_t *)PLATFORM_aligned_realloc(
      block - MEMORY_LEAD, memory_chunk_of_block(block), chunk, MEMORY_ALIGNMENT);
#else
  uint8_t *raw = (uint8_t *)PLATFORM_realloc(block - MEMORY_LEAD, chunk);
#endif
  return raw ? memory_block_of_chunk(raw, chunk) : NULL;
}

// Guard words that fit the foot area (all 32 with the usual 128 bytes).
static int memory_foot_words(void) {
  int32_t words = MEMORY_foot_size / 4;
  return words < MEMORY_GUARD_WORDS ? (int)words : MEMORY_GUARD_WORDS;
}

static void memory_set_head_foot_check(uint8_t *guard, int words) {
  for (int i = 0; i < words; i++) memory_put32(guard, 4 * i, (int32_t)MEMORY_GUARD_WORD);
}

static unsigned char memory_check_head_foot_check(const uint8_t *guard, int words) {
  for (int i = 0; i < words; i++)
    if ((uint32_t)memory_get32(guard, 4 * i) != MEMORY_GUARD_WORD) return 0;
  return 1;
}

// 1 when slot is inside the table and holds this block (which carries the
// slot it was read from).
static unsigned char memory_slot_holds(int32_t slot, const uint8_t *block) {
  if (slot < 0 || slot >= MEMORY_num_indices || mem.index_table == NULL) return 0;
  return block != NULL && mem.index_table[slot] == block;
}

unsigned char MEMORY_initialise(void) {
  VBUG_TRACE("MEMORY_initialise");
  if (mem.memory_state != MEMORY_STATE_OFF) {
    VBUG_MESSAGE("MEMORY_initialise failed: already initialised");
    return 0;
  }
  mem.index_table = (uint8_t **)PLATFORM_malloc(sizeof(uint8_t *) * (size_t)MEMORY_num_indices);
  mem.free_index_stack = VSTACK_allocate(MEMORY_num_indices, (int32_t)sizeof(int32_t));
  if (mem.index_table == NULL || mem.free_index_stack == NULL) {
    PLATFORM_free(mem.index_table);
    mem.index_table = NULL;
    if (mem.free_index_stack) VSTACK_deallocate(&mem.free_index_stack);
    return 0;
  }
  for (int32_t slot = 0; slot < MEMORY_num_indices; slot++) {
    mem.index_table[slot] = NULL;
    VSTACK_push(mem.free_index_stack, &slot);
  }
  mem.memory_state = MEMORY_STATE_READY;
  return 1;
}

static unsigned char memory_realloc_num_indices(void) {
  VBUG_TRACE("memory_realloc_num_indices");
  if (mem.memory_state == MEMORY_STATE_OFF) return 0;
  int32_t old_count = MEMORY_num_indices;
  int32_t new_count = old_count + MEMORY_num_indices_increment;
  if (MEMORY_num_indices_increment <= 0 || new_count < old_count) return 0;
  uint8_t **table =
      (uint8_t **)PLATFORM_realloc(mem.index_table, sizeof(uint8_t *) * (size_t)new_count);
  if (table == NULL) {
    VBUG_MESSAGE("memory_realloc_num_indices: realloc call failed");
    return 0;
  }
  mem.index_table = table;
  VSTACK *stack = VSTACK_reallocate(mem.free_index_stack, new_count);
  if (stack == NULL) {
    VBUG_MESSAGE("memory_realloc_num_indices: VSTACK realloc failed");
    return 0;
  }
  mem.free_index_stack = stack;
  for (int32_t slot = old_count; slot < new_count; slot++) {
    mem.index_table[slot] = NULL;
    VSTACK_push(mem.free_index_stack, &slot);
  }
  MEMORY_num_indices = new_count;
  return 1;
}

// Copies at most `length` characters of text into a zero-filled field.
static void memory_copy_text(uint8_t *field, const char *text, size_t length) {
  for (size_t i = 0; i < length && text[i] != '\0'; i++) field[i] = (uint8_t)text[i];
}

// Writes into name (8 bytes, zero-filled) the short name of path, from its
// first MEMORY_SOURCE_PATH_LIMIT characters: the part after the last
// backslash, cut at its last ".", at most 8 characters.
static void memory_short_name(const char *path, uint8_t *name) {
  size_t length = strnlen(path, MEMORY_SOURCE_PATH_LIMIT);
  const char *end = path + length, *start = end, *cut = end;
  for (; start > path && start[-1] != '\\'; start--)
    if (start[-1] == '.' && cut == end) cut = start - 1;
  ptrdiff_t kept = cut - start;
  memset(name, 0, MEMORY_FILE_NAME_LENGTH);
  memcpy(name, start, (size_t)(kept < MEMORY_FILE_NAME_LENGTH ? kept : MEMORY_FILE_NAME_LENGTH));
}

// Stores the short name of the caller's source path ("NULL" for none) in the
// zero-filled header; the path seen last (the same constant text) reuses its
// name.
static void memory_store_file_name(uint8_t *block, const char *source_path) {
  const char *path = source_path != NULL ? source_path : "NULL";
  uint8_t *field = block + MEMORY_POS_FILE;
  if (path == mem.last_source) {
    memcpy(field, mem.last_short_name, MEMORY_FILE_NAME_LENGTH);
    return;
  }
  memory_short_name(path, field);
  mem.last_source = path;
  memcpy(mem.last_short_name, field, MEMORY_FILE_NAME_LENGTH);
}

// Writes the whole header of a new block: magic, description (cut to 23
// characters), size, slot, short file name and line, every byte of the
// text fields after their text zero.
static void memory_write_header(uint8_t *block, int32_t size, int32_t slot, const char *description,
                                const char *source_path, int32_t line) {
  memset(block, 0, MEMORY_POS_HEAD_GUARD);
  memory_put32(block, MEMORY_POS_MAGIC, (int32_t)MEMORY_MAGIC);
  memory_copy_text(block + MEMORY_POS_DESCRIPTION, description, MEMORY_DESCRIPTION_SIZE - 1);
  memory_put32(block, MEMORY_POS_SIZE, size);
  memory_put32(block, MEMORY_POS_SLOT, slot);
  memory_store_file_name(block, source_path);
  memory_put32(block, MEMORY_POS_LINE, line);
}

static void memory_fill(uint8_t *user, int32_t size, uint16_t fill_mode) {
  if (fill_mode == MEMORY_ZERO_FILL) memset(user, 0x00, (size_t)size);
  if (fill_mode == MEMORY_FF_FILL) memset(user, 0xFF, (size_t)size);
}

// Pops a free slot, growing the table when none is left; -1 on failure. The
// stack's empty state is tested here, without a call.
static int32_t memory_take_slot(void) {
  VSTACK *stack = mem.free_index_stack;
  if (stack->top == stack->base) {
    if (!memory_realloc_num_indices()) return -1;
    stack = mem.free_index_stack;
    if (stack->top == stack->base) return -1;
  }
  int32_t slot;
  stack->top -= sizeof slot;
  memcpy(&slot, stack->top, sizeof slot);
  return slot;
}

// Pushes a slot back onto the free stack. Returns 0 when the stack is full.
static unsigned char memory_give_back_slot(int32_t slot) {
  VSTACK *stack = mem.free_index_stack;
  if (stack->top >= stack->base + stack->capacity) return 0;
  memcpy(stack->top, &slot, sizeof slot);
  stack->top += sizeof slot;
  return 1;
}

void *MEMORY_allocate(const void *previous, int32_t size, uint16_t fill_mode,
                      const char *description, const char *source_path, int32_t line) {
  VBUG_TRACE("MEMORY_allocate");
  if (mem.memory_state == MEMORY_STATE_OFF) {
    VBUG_MESSAGE("MEMORY_allocate failed (%s, %d): data not initialised", source_path, (int)line);
    return NULL;
  }
  if (description == NULL) description = "No Description";
  if (size <= 0) {
    VBUG_MESSAGE("MEMORY_allocate failed (%s, %d): %s size = %d", source_path, (int)line,
                 description, (int)size);
    return NULL;
  }
  if (previous != NULL)
    VBUG_MESSAGE("MEMORY_allocate (%s, %d): previous data not freed %s", source_path, (int)line,
                 description);
  int32_t slot = memory_take_slot();
  if (slot < 0) {
    VBUG_MESSAGE("MEMORY_allocate failed (%s, %d): stack empty, realloc failed", source_path,
                 (int)line);
    return NULL;
  }
  uint8_t *block = memory_heap_alloc(memory_block_bytes(size));
  if (block == NULL) {
    memory_give_back_slot(slot);
    VBUG_MESSAGE("MEMORY_allocate failed (%s, %d): malloc failed, %s size = %d", source_path,
                 (int)line, description, (int)size);
    return NULL;
  }
  memory_write_header(block, size, slot, description, source_path, line);
  uint8_t *user = block + MEMORY_HEADER_SIZE;
  if (!MEMORY_skip_head_foot_check) {
    memory_set_head_foot_check(block + MEMORY_POS_HEAD_GUARD, MEMORY_GUARD_WORDS);
    memory_set_head_foot_check(user + size, memory_foot_words());
  }
  mem.index_table[slot] = block;
  memory_fill(user, size, fill_mode);
  mem.memory_state = MEMORY_STATE_ALLOCATED;
  return user;
}

// The checks of memory_check_entry on a block start, untraced, for the
// release path. Returns the block's slot, or -1 after reporting.
__attribute__((always_inline)) static inline int32_t memory_checked_slot(const uint8_t *block) {
  if ((uint32_t)memory_get32(block, MEMORY_POS_MAGIC) != MEMORY_MAGIC) {
    VBUG_MESSAGE("MEMORY_check_entry: Not valid memory block or corruption");
    return -1;
  }
  int32_t slot = memory_get32(block, MEMORY_POS_SLOT);
  if (!memory_slot_holds(slot, block)) {
    VBUG_MESSAGE("MEMORY_check_entry: memory corruption");
    return -1;
  }
  if (!MEMORY_skip_head_foot_check) {
    if (!memory_check_head_foot_check(block + MEMORY_POS_HEAD_GUARD, MEMORY_GUARD_WORDS)) {
      VBUG_MESSAGE("MEMORY_check_entry: lead corruption");
      return -1;
    }
    int32_t size = memory_get32(block, MEMORY_POS_SIZE);
    if (!memory_check_head_foot_check(block + MEMORY_HEADER_SIZE + size, memory_foot_words())) {
      VBUG_MESSAGE("MEMORY_check_entry: foot corruption");
      return -1;
    }
  }
  return slot;
}

int32_t memory_check_entry(const void *pointer, unsigned char is_block_start) {
  VBUG_TRACE("memory_check_entry");
  const uint8_t *block = (const uint8_t *)pointer;
  if (is_block_start != 1) block -= MEMORY_HEADER_SIZE;
  return memory_checked_slot(block);
}

unsigned char MEMORY_deallocate(void *variable_address, const char *source_path, int32_t line) {
  VBUG_TRACE("MEMORY_deallocate");
  if (mem.memory_state == MEMORY_STATE_OFF) {
    VBUG_MESSAGE("MEMORY_deallocate failed (%s, %d): data not initialised", source_path, (int)line);
    return 0;
  }
  void *user = NULL;
  if (variable_address != NULL) memcpy(&user, variable_address, sizeof user);
  if (user == NULL) {
    VBUG_MESSAGE("MEMORY_deallocate failed (%s, %d): mem block parameter NULL", source_path,
                 (int)line);
    return 0;
  }
  int32_t slot = memory_checked_slot((const uint8_t *)user - MEMORY_HEADER_SIZE);
  if (slot < 0) {
    VBUG_MESSAGE("MEMORY_deallocate error (%s, %d): not a valid memory pointer", source_path,
                 (int)line);
    VBUG_MESSAGE("Or Corruption has occured.");
    return 1;
  }
  memory_heap_free(mem.index_table[slot]);
  mem.index_table[slot] = NULL;
  if (!memory_give_back_slot(slot))
    VBUG_MESSAGE("MEMORY_deallocate error (%s, %d): push onto free stack failed", source_path,
                 (int)line);
  user = NULL;
  memcpy(variable_address, &user, sizeof user);
  return 1;
}

void *MEMORY_reallocate(void *user_pointer, int32_t new_size) {
  VBUG_TRACE("MEMORY_reallocate");
  if (mem.memory_state == MEMORY_STATE_OFF) {
    VBUG_MESSAGE("MEMORY_reallocate failed: data not initialised");
    return NULL;
  }
  if (user_pointer == NULL) {
    VBUG_MESSAGE("MEMORY_reallocate failed: mem block parameter NULL");
    return NULL;
  }
  int32_t slot = memory_check_entry(user_pointer, 0);
  if (slot < 0) {
    VBUG_MESSAGE("MEMORY_reallocate error: not a valid memory pointer");
    VBUG_MESSAGE("Or Corruption has occured.");
    return NULL;
  }
  uint8_t *block = mem.index_table[slot];
  int32_t old_size = memory_get32(block, MEMORY_POS_SIZE);
  if (new_size < old_size) {
    VBUG_MESSAGE(
        "MEMORY_reallocate error: new size %d is less than old size %d"
        "extra memory not allocated",
        (int)new_size, (int)old_size);
    return user_pointer;
  }
  uint8_t *moved = memory_heap_realloc(block, memory_block_bytes(new_size));
  if (moved == NULL) {
    VBUG_MESSAGE("MEMORY_reallocate error: realloc failed!");
    return NULL;
  }
  mem.index_table[slot] = moved;
  memory_set_head_foot_check(moved + MEMORY_HEADER_SIZE + new_size, memory_foot_words());
  memory_put32(moved, MEMORY_POS_SIZE, new_size);
  return moved + MEMORY_HEADER_SIZE;
}

unsigned char MEMORY_change_description(void *user_pointer, const char *description) {
  VBUG_TRACE("MEMORY_change_description");
  if (user_pointer == NULL) {
    VBUG_MESSAGE("MEMORY_change_description failed: mem_block is NULL");
    return 0;
  }
  if (description == NULL) {
    VBUG_MESSAGE("MEMORY_change_description failed: description is NULL");
    return 0;
  }
  uint8_t *block = (uint8_t *)user_pointer - MEMORY_HEADER_SIZE;
  int32_t slot = memory_get32(block, MEMORY_POS_SLOT);
  if (!memory_slot_holds(slot, block)) {
    VBUG_MESSAGE("MEMORY_change_description failed: memory corrupt");
    return 0;
  }
  memset(block + MEMORY_POS_DESCRIPTION, 0, MEMORY_DESCRIPTION_SIZE);
  VXSTRING_strcpy_safe((char *)block + MEMORY_POS_DESCRIPTION, description,
                       MEMORY_DESCRIPTION_SIZE);
  return 1;
}

int32_t MEMORY_live_blocks(void) {
  if (mem.memory_state == MEMORY_STATE_OFF) return 0;
  int32_t free_slots = (int32_t)((mem.free_index_stack->top - mem.free_index_stack->base) /
                                 mem.free_index_stack->element_size);
  return MEMORY_num_indices - free_slots;
}

void MEMORY_release_cache(void) {
  VBUG_TRACE("MEMORY_release_cache");
  memory_cache_empty();
}

unsigned char MEMORY_deinitialise(void) {
  VBUG_TRACE("MEMORY_deinitialise");
  if (mem.memory_state == MEMORY_STATE_OFF) {
    VBUG_MESSAGE("MEMORY_deinitialise failed: not initialised");
    return 0;
  }
  if (!VSTACK_is_full(mem.free_index_stack))
    VBUG_MESSAGE("MEMORY_deinitialise error: memory leaks detected");
  VSTACK_deallocate(&mem.free_index_stack);
  for (int32_t slot = 0; slot < MEMORY_num_indices; slot++)
    if (mem.index_table[slot] != NULL) memory_heap_free(mem.index_table[slot]);
  memory_cache_empty();
  PLATFORM_free(mem.index_table);
  mem.index_table = NULL;
  mem.memory_state = MEMORY_STATE_OFF;
  return 1;
}
