// Vstack: a last-in, first-out stack of fixed-size elements in one heap
// block. Elements are copied in and out by value. No module state.
#ifndef VSTACK_H
#define VSTACK_H

#include <stdint.h>

typedef struct VSTACK {
  int32_t element_size;  // bytes per element
  int32_t capacity;      // bytes in the element area
  uint8_t *base;         // start of the element area, right after this header
  uint8_t *top;          // next free position; equals base when empty
} VSTACK;

// Allocates a stack for element_count elements of element_size bytes, empty.
// Returns null (with a message) when the sizes are not positive, the area
// would not fit 32 bits, or the heap refuses.
VSTACK *VSTACK_allocate(int32_t element_count, int32_t element_size);

// Frees *stack when it is not null and sets *stack to null.
void VSTACK_deallocate(VSTACK **stack);

// Grows the stack to new_element_count elements, keeping every element and
// the fill level. Returns the (possibly moved) stack, which replaces the old
// pointer; on failure returns null and the old stack stays valid.
VSTACK *VSTACK_reallocate(VSTACK *stack, int32_t new_element_count);

// 1 when the stack holds no element.
unsigned char VSTACK_is_empty(VSTACK *stack);

// 1 when the element area is used up.
unsigned char VSTACK_is_full(VSTACK *stack);

// Copies element_size bytes from element onto the top. Returns 0 for a null
// element address (reported, with the trace buffer dumped) or a full stack.
unsigned char VSTACK_push(VSTACK *stack, const void *element);

// Copies the top element into element and removes it. Returns 0 when empty.
unsigned char VSTACK_pop(VSTACK *stack, void *element);

#endif
