// Vstack: fixed-size elements pushed and popped by value in one heap block.
#define VBUG_SOURCE "libfnal\\source\\Vstack.cpp"
#include "Vstack.h"

#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#include "platform.h"
#include "vbug.h"

// Bytes for the header and an element area of `capacity` bytes, or 0 when the
// element area would not fit the 32-bit capacity field.
static size_t vstack_block_size(int32_t element_count, int32_t element_size) {
  if (element_count <= 0 || element_size <= 0) return 0;
  if ((int64_t)element_count * element_size > INT32_MAX) return 0;
  return sizeof(VSTACK) + (size_t)element_count * (size_t)element_size;
}

VSTACK *VSTACK_allocate(int32_t element_count, int32_t element_size) {
  VBUG_TRACE("VSTACK_allocate");
  size_t bytes = vstack_block_size(element_count, element_size);
  VSTACK *stack = bytes ? (VSTACK *)PLATFORM_malloc(bytes) : NULL;
  if (stack == NULL) {
    VBUG_MESSAGE("VSTACK_allocate failed to allocate memory for stack\n");
    return NULL;
  }
  stack->element_size = element_size;
  stack->capacity = element_count * element_size;
  stack->base = (uint8_t *)(stack + 1);
  stack->top = stack->base;
  return stack;
}

void VSTACK_deallocate(VSTACK **stack) {
  VBUG_TRACE("VSTACK_deallocate");
  VBUG_ASSERT(*stack != NULL);
  if (*stack == NULL) return;
  PLATFORM_free(*stack);
  *stack = NULL;
}

VSTACK *VSTACK_reallocate(VSTACK *stack, int32_t new_element_count) {
  VBUG_TRACE("VSTACK_reallocate");
  if (stack == NULL) {
    VBUG_MESSAGE("VSTACK_reallocate: stack pointer is NULL");
    return NULL;
  }
  int64_t new_capacity = (int64_t)stack->element_size * new_element_count;
  if (new_capacity <= stack->capacity) {
    VBUG_MESSAGE("VSTACK_reallocate: cannot realloc less than currentsize!");
    return NULL;
  }
  size_t bytes = vstack_block_size(new_element_count, stack->element_size);
  ptrdiff_t fill = stack->top - stack->base;
  VSTACK *grown = bytes ? (VSTACK *)PLATFORM_realloc(stack, bytes) : NULL;
  if (grown == NULL) {
    VBUG_MESSAGE("VSTACK_reallocate failed to reallocate memory forstack\n");
    return NULL;
  }
  grown->capacity = (int32_t)new_capacity;
  grown->base = (uint8_t *)(grown + 1);
  grown->top = grown->base + fill;
  return grown;
}

unsigned char VSTACK_is_empty(VSTACK *stack) {
  VBUG_TRACE("VSTACK_is_empty");
  VBUG_ASSERT(stack != NULL);
  return stack->top == stack->base;
}

unsigned char VSTACK_is_full(VSTACK *stack) {
  VBUG_TRACE("VSTACK_is_full");
  VBUG_ASSERT(stack != NULL);
  return stack->top >= stack->base + stack->capacity;
}

unsigned char VSTACK_push(VSTACK *stack, const void *element) {
  VBUG_TRACE("VSTACK_push");
  VBUG_ASSERT(stack != NULL);
  if (element == NULL) {
    if (VBUG_ON(VBUG_FLAG_MESSAGE)) {
      VBUG_message(VBUG_SOURCE, __LINE__, "STACK ERROR: data pointer is NULL cannot push it!\n");
      VBUG_dump_trace_buffer();
    }
    return 0;
  }
  if (VSTACK_is_full(stack)) return 0;
  memcpy(stack->top, element, (size_t)stack->element_size);
  stack->top += stack->element_size;
  return 1;
}

unsigned char VSTACK_pop(VSTACK *stack, void *element) {
  VBUG_TRACE("VSTACK_pop");
  VBUG_ASSERT(stack != NULL);
  if (element == NULL || VSTACK_is_empty(stack)) return 0;
  stack->top -= stack->element_size;
  memcpy(element, stack->top, (size_t)stack->element_size);
  return 1;
}
