// Vxstring: bounded copy, heap duplicate, path component extraction and
// slash fixing on zero-terminated byte strings. No module state.
#ifndef VXSTRING_H
#define VXSTRING_H

#include <stddef.h>
#include <stdint.h>

// Copies source into dest (size bytes, terminator included), cutting it at
// size - 1 characters; the result is always terminated. A null source writes
// "NULL" when size is at least 5. Returns dest, or null for a null dest, a
// null source with size below 5, or size 0 (nothing written then).
char *VXSTRING_strcpy_safe(char *dest, const char *source, uint32_t size);

// Returns a copy of text from the runtime heap (caller frees with free), or
// null when text is null or the heap refuses.
char *VXSTRING_malloc_copy_text(const char *text);

// Returns component `index` (0-based) of a backslash-separated path as a new
// runtime-heap string (caller frees), or null for a null path, a negative
// index, an index past the last component, or a heap failure.
char *VXSTRING_parse_path_name(const char *path, int32_t index);

// Replaces every '/' in path by '\\', in place. A null path does nothing.
void VXSTRING_fix_path_slashes(char *path);

// The separator to put between folder and a name joined to it: "" when
// folder already ends in a backslash, else "\\" (an empty folder included).
// folder must not be null.
const char *VXSTRING_separator_after(const char *folder);

// printf-formats into out, which holds size bytes. Returns 1 when the whole
// text fitted; otherwise 0 with out emptied (a size of 0 writes nothing).
unsigned char VXSTRING_format_fitting(char *out, size_t size, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

#endif
