// Veloini: the handle table, the in-place parse of INI texts and the lookup
// by key hash.
#define VBUG_SOURCE "libfnal\\source\\Veloini.cpp"
#include "Veloini.h"

#include <string.h>

#include "Vxstring.h"
#include "memory.h"
#include "vbug.h"
#include "vfile.h"

#define VELOINI_MAX_COUNT 32767  // the ';' and '[' counts are 16-bit

static struct {
  unsigned char initialised;
  VELOINI_SLOT *VELOINI_list;
  int16_t max_handles;
  char extension[VELOINI_EXTENSION_SIZE];
} veloini;

static unsigned char veloini_handle_in_table(int16_t handle) {
  return handle >= 0 && handle < veloini.max_handles;
}

int32_t make_magic(const char *text) {
  VBUG_TRACE("make_magic");
  if (text == NULL) return 0;
  uint32_t magic = (uint32_t)strlen(text);
  unsigned shift = 4;
  for (; *text; text++) {
    int32_t c = (int32_t)(signed char)VXSTRING_ascii_lower(*text);
    magic += (uint32_t)c << shift;
    shift = shift + 4 == 32 ? 0 : shift + 4;
  }
  return (int32_t)magic;
}

unsigned char VELOINI_initialise(int16_t max_handles, const char *extension) {
  VBUG_TRACE("VELOINI_initialise");
  if (veloini.initialised || max_handles <= 0) return 0;
  veloini.VELOINI_list =
      (VELOINI_SLOT *)MEMORY_ALLOC(NULL, (int32_t)(sizeof(VELOINI_SLOT) * (size_t)max_handles),
                                   MEMORY_ZERO_FILL, "VELOINI_list");
  if (veloini.VELOINI_list == NULL) return 0;
  VXSTRING_strcpy_safe(veloini.extension, extension ? extension : "", VELOINI_EXTENSION_SIZE);
  veloini.max_handles = max_handles;
  memset(veloini.VELOINI_list, 0, sizeof(VELOINI_SLOT) * (size_t)max_handles);
  veloini.initialised = 1;
  return 1;
}

unsigned char VELOINI_deinitialise(void) {
  VBUG_TRACE("VELOINI_deinitialise");
  if (!veloini.initialised) return 0;
  for (int16_t handle = 0; handle < veloini.max_handles; handle++) {
    VELOINI_SLOT *slot = &veloini.VELOINI_list[handle];
    if (slot->data == NULL) continue;
    if (slot->owns_data)
      VELOINI_close(handle);
    else
      VELOINI_close_memory(handle);
  }
  veloini.initialised = 0;
  MEMORY_FREE(veloini.VELOINI_list);
  veloini.max_handles = 0;
  return 1;
}

const VELOINI_SLOT *VELOINI_get_slot(int16_t handle) {
  return veloini.initialised && veloini_handle_in_table(handle) ? &veloini.VELOINI_list[handle]
                                                                : NULL;
}

// ---- opening ------------------------------------------------------------

int16_t VELOINI_open(const char *name) {
  VBUG_TRACE("VELOINI_open");
  if (!veloini.initialised) {
    VBUG_MESSAGE("VLEOINI_open: VELOINI module not active");
    return -1;
  }
  char saved_extension[VFILE_PATH_SIZE];
  VXSTRING_strcpy_safe(saved_extension, VFILE_get_extension(), sizeof saved_extension);
  VFILE_set_extension(veloini.extension);
  int32_t length = 0;
  char *text = (char *)VFILE_allocate_and_read_file(name, NULL, &length);
  VFILE_set_extension(saved_extension);
  if (text == NULL || length <= 0) {
    if (text) MEMORY_FREE(text);
    VBUG_MESSAGE("VELOINI_open: VFILE failed allocate and read %d", (int)length);
    return -1;
  }
  int16_t handle = VELOINI_open_memory(text, length, -1);
  if (handle < 0) {
    MEMORY_FREE(text);
    VBUG_MESSAGE("VELOINI_open: Could get handle");
    return -1;
  }
  veloini.VELOINI_list[handle].owns_data = 1;
  return handle;
}

// The slot to open into: handle itself, or the first free one for -1.
static int16_t veloini_choose_handle(int16_t handle) {
  if (handle == -1) {
    for (int16_t i = 0; i < veloini.max_handles; i++)
      if (veloini.VELOINI_list[i].data == NULL) return i;
    VBUG_MESSAGE("VELOINI_open_memory: Failed, VELOINI has no free handles");
    return -1;
  }
  if (!veloini_handle_in_table(handle)) {
    VBUG_MESSAGE("VELOINI_open_memory: Failed, handle %d is not valid", (int)handle);
    return -1;
  }
  if (veloini.VELOINI_list[handle].data != NULL) {
    VBUG_MESSAGE("VELOINI_open_memory: Failed, handle %d is in use", (int)handle);
    return -1;
  }
  return handle;
}

// Counts the ';' and '[' of the text as it will be parsed (complemented
// when complement is 1).
static void veloini_count(const char *data, int32_t size, unsigned char complement,
                          int32_t *semicolons, int32_t *brackets) {
  char flip = complement ? (char)0xFF : 0;
  *semicolons = 0;
  *brackets = 0;
  for (int32_t i = 0; i < size; i++) {
    char c = (char)(data[i] ^ flip);
    if (c == ';') (*semicolons)++;
    if (c == '[') (*brackets)++;
  }
}

// Allocates the section and record lists of slot for the text's counts.
static unsigned char veloini_allocate_lists(VELOINI_SLOT *slot, unsigned char complement) {
  int32_t semicolons, brackets;
  veloini_count(slot->data, slot->size, complement, &semicolons, &brackets);
  if (brackets <= VELOINI_MAX_COUNT)
    slot->section_list = (char(*)[VELOINI_SECTION_NAME_SIZE])MEMORY_ALLOC(
        NULL, (brackets + 1) * VELOINI_SECTION_NAME_SIZE, MEMORY_ZERO_FILL, "INI section list");
  if (slot->section_list == NULL) {
    VBUG_MESSAGE("VELOINI_open_memory: Failed to allocate section_list");
    return 0;
  }
  if (semicolons <= VELOINI_MAX_COUNT)
    slot->ini_text_list = (VELOINI_TEXT_RECORD *)MEMORY_ALLOC(
        NULL, semicolons * (int32_t)sizeof(VELOINI_TEXT_RECORD), MEMORY_ZERO_FILL, "INI text list");
  if (slot->ini_text_list == NULL) {
    MEMORY_FREE(slot->section_list);
    VBUG_MESSAGE("VELOINI_open_memory: Failed to allocate ini_text_list, count: %d",
                 (int)semicolons);
    return 0;
  }
  return 1;
}

// ---- parsing ------------------------------------------------------------

typedef struct VELOINI_CURSOR {
  char *text;
  int32_t size;
  int32_t p;
} VELOINI_CURSOR;

static unsigned char veloini_is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

static unsigned char veloini_is_separator(char c) {
  return veloini_is_blank(c) || c == '=';
}

// 1 while the cursor is inside the text.
static unsigned char veloini_more(const VELOINI_CURSOR *at) {
  return at->p < at->size;
}

static void veloini_skip_blanks(VELOINI_CURSOR *at) {
  while (veloini_more(at) && veloini_is_blank(at->text[at->p])) at->p++;
}

// Skips '#' comment lines. Returns 0 at the end of the text.
static unsigned char veloini_skip_comments(VELOINI_CURSOR *at) {
  veloini_skip_blanks(at);
  while (veloini_more(at) && at->text[at->p] == '#') {
    while (veloini_more(at) && at->text[at->p] != '\r' && at->text[at->p] != '\n') at->p++;
    veloini_skip_blanks(at);
  }
  return veloini_more(at);
}

// Reads a "[name]" header at the cursor into the next section. Returns 0 at
// the end of the text.
static unsigned char veloini_read_header(VELOINI_CURSOR *at, VELOINI_SLOT *slot) {
  slot->current_section++;
  char *name = slot->section_list[slot->current_section];
  int32_t length = 0;
  name[0] = '\0';
  for (at->p++; veloini_more(at) && at->text[at->p] != ']'; at->p++)
    if (length < VELOINI_SECTION_NAME_SIZE - 1) {
      name[length++] = at->text[at->p];
      name[length] = '\0';
    }
  if (!veloini_more(at)) return 0;
  at->p++;
  veloini_skip_blanks(at);
  return veloini_more(at);
}

// Reads one "key = value;" entry at the cursor and records it. Returns 0 at
// the end of the text (the entry is then not recorded).
static unsigned char veloini_read_entry(VELOINI_CURSOR *at, VELOINI_SLOT *slot) {
  int32_t key = at->p;
  while (veloini_more(at) && !veloini_is_separator(at->text[at->p])) at->p++;
  int32_t key_end = at->p;
  while (veloini_more(at) && veloini_is_separator(at->text[at->p])) at->p++;
  int32_t value = at->p;
  while (veloini_more(at) && at->text[at->p] != ';') at->p++;
  if (!veloini_more(at)) return 0;
  VELOINI_TEXT_RECORD *record = &slot->ini_text_list[slot->ini_text_count++];
  at->text[key_end] = '\0';
  at->text[at->p] = '\0';
  record->key = at->text + key;
  record->value = at->text + value;
  record->section = slot->current_section;
  at->p++;
  return 1;
}

static void veloini_parse(VELOINI_SLOT *slot) {
  VELOINI_CURSOR at = {slot->data, slot->size, 0};
  for (;;) {
    if (!veloini_skip_comments(&at)) return;
    if (at.text[at.p] == '[' && !veloini_read_header(&at, slot)) return;
    if (!veloini_read_entry(&at, slot)) return;
  }
}

// ---- open, lookup, close ------------------------------------------------

int16_t VELOINI_open_memory(char *data, int32_t size, int16_t handle) {
  VBUG_TRACE("VELOINI_open_memory");
  if (!veloini.initialised) {
    VBUG_MESSAGE("VELOINI_open_memory: Failed, VELOINI not initialised");
    return -1;
  }
  handle = veloini_choose_handle(handle);
  if (handle < 0) return -1;
  if (data == NULL) {
    VBUG_MESSAGE("VELOINI_parse: Data is NULL");
    return -1;
  }
  if (size <= 0) {
    VBUG_MESSAGE("VELOINI_parse: Size is invalid");
    return -1;
  }
  VELOINI_SLOT *slot = &veloini.VELOINI_list[handle];
  memset(slot, 0, sizeof *slot);
  unsigned char complement = ((unsigned char)data[0] & 0x80u) ? 1 : 0;
  slot->data = data;
  slot->size = size;
  if (!veloini_allocate_lists(slot, complement)) {
    memset(slot, 0, sizeof *slot);
    return -1;
  }
  if (complement)
    for (int32_t i = 0; i < size; i++) data[i] = (char)~data[i];
  slot->current_section = -1;
  slot->section_scope = -1;
  veloini_parse(slot);
  for (int32_t i = 0; i < slot->ini_text_count; i++)
    slot->ini_text_list[i].magic = make_magic(slot->ini_text_list[i].key);
  return handle;
}

char *VELOINI_get_entry(int16_t handle, const char *key) {
  VBUG_TRACE("VELOINI_get_entry");
  if (!veloini.initialised || !veloini_handle_in_table(handle) || key == NULL) return NULL;
  const VELOINI_SLOT *slot = &veloini.VELOINI_list[handle];
  int32_t magic = make_magic(key);
  for (int32_t i = 0; i < slot->ini_text_count; i++) {
    const VELOINI_TEXT_RECORD *record = &slot->ini_text_list[i];
    if (record->magic != magic || !VXSTRING_equal_ignoring_case(record->key, key)) continue;
    if (slot->section_scope == -1 || record->section == slot->section_scope) return record->value;
  }
  return NULL;
}

unsigned char VELOINI_close_memory(int16_t handle) {
  VBUG_TRACE("VELOINI_close_memory");
  if (!veloini.initialised) {
    VBUG_MESSAGE("VELOINI_close_memory: VELOINI module not active");
    return 0;
  }
  if (!veloini_handle_in_table(handle)) {
    VBUG_MESSAGE("VELOINI_close_memory: Not a valid handle");
    return 0;
  }
  VELOINI_SLOT *slot = &veloini.VELOINI_list[handle];
  if (slot->ini_text_list) MEMORY_FREE(slot->ini_text_list);
  if (slot->section_list) MEMORY_FREE(slot->section_list);
  memset(slot, 0, sizeof *slot);
  return 1;
}

unsigned char VELOINI_close(int16_t handle) {
  VBUG_TRACE("VELOINI_close");
  if (!veloini.initialised) {
    VBUG_MESSAGE("VELOINI_close: VELOINI module not active");
    return 0;
  }
  if (!veloini_handle_in_table(handle)) {
    VBUG_MESSAGE("VELOINI_close: invalid handle");
    return 0;
  }
  VELOINI_SLOT *slot = &veloini.VELOINI_list[handle];
  if (slot->data && slot->owns_data) MEMORY_FREE(slot->data);
  if (!VELOINI_close_memory(handle)) {
    VBUG_MESSAGE("VELOINI_close: VELOINI_close_memory failed");
    return 0;
  }
  return 1;
}
