// Veloini: the INI reader. A text ("key = value;" entries, "[section]"
// headers, "#" comment lines) is read whole through vfile or handed over in
// memory, parsed once in place into a handle of a fixed table, and answers
// lookups by key. Handles are small signed numbers; -1 means failure.
#ifndef VELOINI_H
#define VELOINI_H

#include <stdint.h>

#define VELOINI_SECTION_NAME_SIZE 256
#define VELOINI_EXTENSION_SIZE 5

// One entry of a parsed text; key and value point into the text.
typedef struct VELOINI_TEXT_RECORD {
  int32_t section;  // index into the section list, -1 before any header
  int32_t magic;    // make_magic of the key
  char *key;
  char *value;
} VELOINI_TEXT_RECORD;

// One handle slot; free exactly when data is null.
typedef struct VELOINI_SLOT {
  char *data;  // the text being parsed
  int32_t size;
  VELOINI_TEXT_RECORD *ini_text_list;
  char (*section_list)[VELOINI_SECTION_NAME_SIZE];
  int32_t ini_text_count;
  int32_t current_section;  // after the parse: sections met minus one
  int32_t section_scope;    // section lookups are limited to, -1 for any
  unsigned char owns_data;  // 1 when the text was read by VELOINI_open
} VELOINI_SLOT;

// Creates a table of max_handles free handles and keeps the first 4
// characters of extension (the one given to vfile while a file is read; null
// for none). Returns 1; 0 when already initialised or the table cannot be
// allocated (nothing changed then).
unsigned char VELOINI_initialise(int16_t max_handles, const char *extension);

// Closes every open handle (releasing the texts read by VELOINI_open; texts
// handed over in memory stay the caller's) and frees the table. Returns 1, or
// 0 when not initialised.
unsigned char VELOINI_deinitialise(void);

// Reads the file name resolves to through vfile, with this module's extension
// appended (without a dot) to a name without a dot, and parses it into a new
// handle that owns the text. Returns the handle, or -1 (reported) when the
// module is not initialised, nothing was read or the text cannot be parsed.
int16_t VELOINI_open(const char *name);

// Parses size bytes of data in place into handle, or into the first free
// handle for -1. A text whose first byte has its high bit set is complemented
// byte by byte first. data stays the caller's and must outlive the handle;
// the parse writes terminators into it. Returns the handle, or -1 (reported)
// when the module is not initialised, no handle is free, the handle is not
// valid or in use, data is null, size is not positive, the text holds no ';'
// or more than 32767 ';' or '[', or memory runs out; the slot stays free and
// the text unchanged in ownership.
int16_t VELOINI_open_memory(char *data, int32_t size, int16_t handle);

// The value of the first entry whose key equals key (ignoring case), pointing
// into the handle's text, or null for a bad or free handle, a null key, or a
// key not found.
char *VELOINI_get_entry(int16_t handle, const char *key);

// Closes a handle from VELOINI_open, releasing its text. Closing a free
// handle succeeds. Returns 0 (reported) when not initialised or the handle is
// outside the table.
unsigned char VELOINI_close(int16_t handle);

// Closes a handle from VELOINI_open_memory; the text stays the caller's.
// Returns 0 (reported) when not initialised or the handle is outside the
// table.
unsigned char VELOINI_close_memory(int16_t handle);

// Key hash: the length, plus each character (a signed byte, A to Z lowered)
// shifted left by 4, 8, ... 28, 0, 4, ... bits, wrapping at 32 bits.
int32_t make_magic(const char *text);

// Handle slot, for tests and tools; null when not initialised or the handle
// is outside the table.
const VELOINI_SLOT *VELOINI_get_slot(int16_t handle);

#endif
