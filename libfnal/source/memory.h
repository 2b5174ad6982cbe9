// memory: the tracked allocator. Every block is registered in a slot table
// and carries a header (magic, description, size, slot, short source name,
// line) 180 bytes before the user pointer, with optional guard areas, so that
// pointers can be validated and blocks alive at shutdown are reported.
#ifndef MEMORY_H
#define MEMORY_H

#include <stdint.h>

#define MEMORY_NO_FILL 0
#define MEMORY_ZERO_FILL 1
#define MEMORY_FF_FILL 0x80

#define MEMORY_HEADER_SIZE 180
#define MEMORY_DESCRIPTION_SIZE 24
#define MEMORY_GUARD_WORD 0xDEADBEEFu
#define MEMORY_GUARD_WORDS 32

// Module settings, with their start values: 50 slots, 50 more at each growth,
// a 128-byte foot area, guards off (the areas are still reserved).
extern int32_t MEMORY_num_indices;
extern int32_t MEMORY_num_indices_increment;
extern int32_t MEMORY_foot_size;
extern unsigned char MEMORY_skip_head_foot_check;

// Creates the slot table and the free-slot stack. Returns 0 when already
// initialised or when either cannot be allocated (nothing is kept then).
unsigned char MEMORY_initialise(void);

// Reports "memory leaks detected" when a block is still live, frees every
// block, the table and the stack. Returns 0 when not initialised.
unsigned char MEMORY_deinitialise(void);

// Allocates size user bytes registered under the description (null gives
// "No Description") and the caller's source path and line. The source path is
// a constant text (VBUG_SOURCE, as MEMORY_ALLOC passes it): its short name is
// worked out once for each address it comes from. previous is the
// current value of the receiving variable: non-null only warns. Returns the
// user pointer (aligned for any type), or null when not initialised, size is
// not positive or too large, or the heap refuses; the slots are then as they
// were.
void *MEMORY_allocate(const void *previous, int32_t size, uint16_t fill_mode,
                      const char *description, const char *source_path, int32_t line);

// Releases the block whose user pointer is held in the pointer variable at
// variable_address and sets that variable to null. Returns 0 when not
// initialised or the variable holds null; an invalid or corrupted block is
// reported, left alone, and 1 is returned.
unsigned char MEMORY_deallocate(void *variable_address, const char *source_path, int32_t line);

// Grows a block to new_size user bytes (added bytes unfilled). Returns the
// possibly moved user pointer; the same pointer when new_size is smaller
// (reported); null on failure, the old block then still valid.
void *MEMORY_reallocate(void *user_pointer, int32_t new_size);

// Stores description (cut to 23 characters) in the block's header. Returns 0
// for a null pointer or description or a block that is not registered.
unsigned char MEMORY_change_description(void *user_pointer, const char *description);

// Validates a pointer: the user pointer, or the block start when
// is_block_start is 1. Returns its slot number, or -1 (reported).
int32_t memory_check_entry(const void *pointer, unsigned char is_block_start);

// Number of live blocks; 0 when not initialised. For tests and reports.
int32_t MEMORY_live_blocks(void);

// Hands every released block that the allocator keeps for reuse back to the
// heap, so that the heap holds only live blocks. Deinitialising does the same.
// For tests that count the heap's blocks; never fails.
void MEMORY_release_cache(void);

// Allocation and release with the caller's source position filled in.
#define MEMORY_ALLOC(variable, size, fill, description) \
  MEMORY_allocate((variable), (size), (fill), (description), VBUG_SOURCE, __LINE__)
#define MEMORY_FREE(variable) MEMORY_deallocate(&(variable), VBUG_SOURCE, __LINE__)

#endif
