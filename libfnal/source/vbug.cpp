// vbug: tagged messages, assertions, call-stack trace, trace ring buffer,
// watch data and the retail log, all through one module-wide record.
#define VBUG_SOURCE "libfnal\\source\\vbug.cpp"
#include "vbug.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include "platform.h"

typedef struct VBUG_CALLSTACK_ENTRY {
  const char *function_name;
  const char *source_path;
  int32_t line;
} VBUG_CALLSTACK_ENTRY;

typedef struct VBUG_WATCH {
  const char *name;
  uint8_t type;
  char text_value[VBUG_WATCH_TEXT_SIZE];
  int32_t int_value;
} VBUG_WATCH;

static struct {
  unsigned char initialised;
  uint8_t output_kind;
  VBUG_CALLSTACK_ENTRY *callstack_data;
  VBUG_WATCH *watch_data;
  uint8_t *trace_buffer;
  VBUG_ASSERT_CALLBACK assert_callback;
  int32_t callstack_size;
  int32_t current_callstack_depth;
  int32_t watch_count;
  uint32_t trace_buffer_size;
  uint32_t trace_position;
} vbug;

uint32_t VBUG_flags;

static const char vbug_trace_notice[] =
    "You must call VBUG_initialise with a size to initialise the trace buffer, or "
    "VBUG_deinitialise was called which freed the buffer.\n";
static const char vbug_callstack_notice[] =
    "You must call VBUG_initialise with a size to initialise the callstack_data \nbuffer, or "
    "VBUG_deinitialise was called which freed the buffer.\n";
static const char vbug_watch_notice[] =
    "You must call VBUG_initialise with a size to initialise the watch_data \nbuffer, or "
    "VBUG_deinitialise was called which freed the buffer.\n";

// Appends text unchanged to "develop.dbg"; a file that will not open is a
// silent no-op.
static void vbug_write_develop(const char *text) {
  FILE *file = fopen("develop.dbg", "a");
  if (file == NULL) return;
  fputs(text, file);
  fclose(file);
}

// The bounded copy is done here rather than through VXSTRING_strcpy_safe: that
// routine traces itself, and a trace overflow message would come back here.
void vbug_short_file_name(const char *source_path, char *out) {
  const char *name = source_path ? strrchr(source_path, '\\') : NULL;
  name = name ? name + 1 : (source_path ? source_path : "NULL");
  size_t length = 0;
  while (length < 8 && name[length] != '\0') {
    out[length] = name[length];
    length++;
  }
  out[length] = '\0';
  char *dot = strrchr(out, '.');
  if (dot != NULL) *dot = '\0';
}

static void vbug_write_trace_buffer(const char *line) {
  if (!vbug.initialised) {
    vbug_write_develop(vbug_trace_notice);
    return;
  }
  uint32_t mask = vbug.trace_buffer_size - 1;
  for (const char *p = line;; p++) {
    uint8_t byte = *p ? (uint8_t)*p : (uint8_t)'\n';
    vbug.trace_buffer[vbug.trace_position] = byte;
    vbug.trace_position = (vbug.trace_position + 1) & mask;
    if (*p == '\0') break;
  }
}

// Hands one formatted line to the sink of the current output kind.
static void vbug_output(const char *line) {
  switch (vbug.output_kind) {
    case VBUG_OUTPUT_FILE: {
      FILE *file = fopen("develop.dbg", "a");
      if (file == NULL) return;
      fprintf(file, "%s\n", line);
      fclose(file);
      return;
    }
    case VBUG_OUTPUT_TRACE_BUFFER:
      vbug_write_trace_buffer(line);
      return;
    case VBUG_OUTPUT_DEBUGGER:
#ifdef _WIN32
      OutputDebugStringA(line);
      OutputDebugStringA("\n");
#else
      fprintf(stderr, "%s\n", line);
#endif
      return;
    case VBUG_OUTPUT_STDERR:
      fprintf(stderr, "%s\n", line);
      return;
    default:
      return;
  }
}

void VBUG_message(const char *source_path, int32_t line, const char *format, ...) {
  char short_name[9];
  char text[VBUG_TEXT_SIZE];
  char header[32];
  char whole[VBUG_LINE_SIZE];
  va_list args;

  vbug_short_file_name(source_path, short_name);
  snprintf(header, sizeof header, "[%8s,%5d] ", short_name, (int)line);
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  snprintf(whole, sizeof whole, "%s%s", header, text);
  vbug_output(whole);
}

void VBUG_assert(unsigned char condition, const char *condition_text, const char *source_path,
                 int32_t line, const char *format, ...) {
  char short_name[9];
  char text[VBUG_TEXT_SIZE];
  char whole[VBUG_LINE_SIZE];
  va_list args;

  if (condition) return;
  vbug_short_file_name(source_path, short_name);
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  snprintf(whole, sizeof whole, "[%8s,%5d] (ASSERT FAILURE: %s) %s", short_name, (int)line,
           condition_text ? condition_text : "", text);
  vbug_output(whole);
  if (vbug.assert_callback != NULL) {
    VBUG_ASSERT_CALLBACK callback = vbug.assert_callback;
    VBUG_deinitialise();
    callback(1);
  }
}

void VBUG_enter(const char *function_name, const char *source_path, int32_t line) {
  if (!vbug.initialised) {
    vbug_write_develop(vbug_callstack_notice);
    return;
  }
  vbug.current_callstack_depth++;
  if (vbug.current_callstack_depth < vbug.callstack_size) {
    VBUG_CALLSTACK_ENTRY *entry = &vbug.callstack_data[vbug.current_callstack_depth];
    entry->function_name = function_name;
    entry->source_path = source_path;
    entry->line = line;
    return;
  }
  if (VBUG_ON(VBUG_FLAG_MESSAGE))
    VBUG_message(VBUG_SOURCE, __LINE__,
                 "Callstack full. Unmatched ENTER/LEAVE or more than %d (the initial size). ",
                 (int)vbug.callstack_size);
  vbug.current_callstack_depth--;
}

void VBUG_leave(const char *function_name, const char *source_path, int32_t line) {
  (void)function_name;
  (void)source_path;
  (void)line;
  if (!vbug.initialised) {
    vbug_write_develop(vbug_callstack_notice);
    return;
  }
  vbug.current_callstack_depth--;
  if (vbug.current_callstack_depth < -1) {
    VBUG_MESSAGE("Stack empty. Resetting current_callstack_depth.\n");
    vbug.current_callstack_depth = -1;
  }
}

void VBUG_dump_trace_buffer(void) {
  if (VBUG_ON(VBUG_FLAG_ASSERT))
    VBUG_assert(vbug.trace_buffer != NULL ? 1 : 0, "trace_buffer != NULL", VBUG_SOURCE, __LINE__,
                "%s", "");
  if (!vbug.initialised) {
    vbug_write_develop(vbug_trace_notice);
    return;
  }
  if (vbug.output_kind != VBUG_OUTPUT_TRACE_BUFFER) return;
  FILE *file = fopen("develop.dbg", "a");
  if (file == NULL) return;
  fputs("~~~~~~~~START OF TRACE BUFFER DUMP~~~~~~~\n", file);
  uint32_t mask = vbug.trace_buffer_size - 1;
  for (uint32_t i = 0; i < vbug.trace_buffer_size; i++) {
    uint8_t byte = vbug.trace_buffer[vbug.trace_position];
    if (byte != 0xFF) fputc(byte, file);
    vbug.trace_position = (vbug.trace_position + 1) & mask;
  }
  fputs("~~~~~~~~END OF TRACE BUFFER DUMP~~~~~~~\n", file);
  fclose(file);
}

static void vbug_dump_watch_data(void) {
  if (!vbug.initialised) {
    vbug_write_develop(vbug_watch_notice);
    return;
  }
  FILE *file = fopen("develop.dbg", "a");
  if (file == NULL) return;
  fputs("~~~~~~~ START OF WATCH DATA OUTPUT ~~~~~~~\n", file);
  for (const VBUG_WATCH *watch = vbug.watch_data; watch->type != VBUG_WATCH_END; watch++) {
    if (watch->type == VBUG_WATCH_TEXT)
      fprintf(file, "%s = %s\n", watch->name, watch->text_value);
    else if (watch->type == VBUG_WATCH_INT)
      fprintf(file, "%s = %d\n", watch->name, (int)watch->int_value);
  }
  fputs("~~~~~~~ END OF WATCH DATA OUTPUT ~~~~~~~\n", file);
  fclose(file);
}

static void vbug_dump_callstack(void) {
  if (!vbug.initialised) {
    vbug_write_develop(vbug_callstack_notice);
    return;
  }
  FILE *file = fopen("develop.dbg", "a");
  if (file == NULL) return;
  int32_t top = vbug.current_callstack_depth;
  if (top >= vbug.callstack_size) top = vbug.callstack_size - 1;
  if (top < -1) top = -1;
  fprintf(file, "~~~~~~~~START OF CALLSTACK DUMP - %d most recent calls~~~~~~~\n", (int)(top + 1));
  for (int32_t i = top; i >= 0; i--) {
    char line[VBUG_TEXT_SIZE];
    const VBUG_CALLSTACK_ENTRY *entry = &vbug.callstack_data[i];
    snprintf(line, sizeof line, "File: %s,  Function: %s, Line: %d\n", entry->source_path,
             entry->function_name, (int)entry->line);
    fputs(line, file);
  }
  fputs("~~~~~~~~END OF CALLSTACK DUMP - older calls~~~~~~~\n", file);
  fclose(file);
}

static void vbug_free_buffers(void) {
  PLATFORM_free(vbug.watch_data);
  PLATFORM_free(vbug.callstack_data);
  PLATFORM_free(vbug.trace_buffer);
  memset(&vbug, 0, sizeof vbug);
  VBUG_flags = 0;
}

unsigned char VBUG_initialise(int32_t trace_bits, int32_t callstack_size, int32_t watch_count,
                              uint32_t flags, uint8_t output_kind, VBUG_ASSERT_CALLBACK callback) {
  if (vbug.initialised) return 0;
  if (trace_bits < 1 || trace_bits > 24 || callstack_size < 1 || callstack_size > 65536 ||
      watch_count < 0 || watch_count > 4096)
    return 0;
  vbug.trace_buffer_size = (uint32_t)1 << trace_bits;
  vbug.trace_buffer = (uint8_t *)PLATFORM_malloc(vbug.trace_buffer_size);
  vbug.callstack_data =
      (VBUG_CALLSTACK_ENTRY *)PLATFORM_calloc((size_t)callstack_size, sizeof(VBUG_CALLSTACK_ENTRY));
  vbug.watch_data = (VBUG_WATCH *)PLATFORM_calloc((size_t)watch_count + 1, sizeof(VBUG_WATCH));
  if (!vbug.trace_buffer || !vbug.callstack_data || !vbug.watch_data) {
    vbug_free_buffers();
    return 0;
  }
  memset(vbug.trace_buffer, 0xFF, vbug.trace_buffer_size);
  for (int32_t i = 0; i < watch_count; i++) vbug.watch_data[i].type = 0xFF;
  vbug.watch_data[watch_count].type = VBUG_WATCH_END;
  vbug.watch_count = watch_count;
  vbug.trace_position = 0;
  vbug.callstack_size = callstack_size;
  vbug.current_callstack_depth = -1;
  vbug.output_kind = output_kind;
  vbug.assert_callback = callback;
  vbug.initialised = 1;
  VBUG_flags = flags;
  return 1;
}

void VBUG_deinitialise(void) {
  if (vbug.watch_data != NULL) {
    if (VBUG_ON(VBUG_FLAG_WATCH)) vbug_dump_watch_data();
    PLATFORM_free(vbug.watch_data);
    vbug.watch_data = NULL;
  }
  if (vbug.callstack_data != NULL) {
    if (VBUG_ON(VBUG_FLAG_CALLSTACK)) vbug_dump_callstack();
    PLATFORM_free(vbug.callstack_data);
    vbug.callstack_data = NULL;
  }
  if (vbug.trace_buffer != NULL) {
    if (VBUG_ON(VBUG_FLAG_MESSAGE)) VBUG_dump_trace_buffer();
    PLATFORM_free(vbug.trace_buffer);
    vbug.trace_buffer = NULL;
  }
  vbug_free_buffers();
}

void VBUG_retail_message(const char *format, ...) {
  FILE *file = fopen("retail.dbg", "a");
  if (file == NULL) return;
  va_list args;
  va_start(args, format);
  vfprintf(file, format, args);
  va_end(args);
  fclose(file);
}

static VBUG_WATCH *vbug_watch_record(int32_t index, const char *name) {
  if (!vbug.initialised || index < 0 || index >= vbug.watch_count || name == NULL) return NULL;
  VBUG_WATCH *watch = &vbug.watch_data[index];
  watch->name = name;
  return watch;
}

// Copies value into a watch record's text, cut to fit and always terminated;
// a null value is stored as "NULL". Done here rather than through the string
// module, which itself reports through this one.
static void vbug_copy_watch_text(char *out, const char *value, size_t size) {
  if (value == NULL) value = "NULL";
  const char *end = (const char *)memchr(value, '\0', size - 1);
  size_t length = end != NULL ? (size_t)(end - value) : size - 1;
  memcpy(out, value, length);
  out[length] = '\0';
}

unsigned char VBUG_watch_text(int32_t index, const char *name, const char *value) {
  VBUG_WATCH *watch = vbug_watch_record(index, name);
  if (watch == NULL) return 0;
  watch->type = VBUG_WATCH_TEXT;
  vbug_copy_watch_text(watch->text_value, value, sizeof watch->text_value);
  return 1;
}

unsigned char VBUG_watch_int(int32_t index, const char *name, int32_t value) {
  VBUG_WATCH *watch = vbug_watch_record(index, name);
  if (watch == NULL) return 0;
  watch->type = VBUG_WATCH_INT;
  watch->int_value = value;
  return 1;
}

int32_t VBUG_callstack_depth(void) {
  return vbug.current_callstack_depth;
}

uint8_t VBUG_output_kind(void) {
  return vbug.output_kind;
}
