// Vxstring: bounded copy, heap duplicate, path components, slash fixing.
#define VBUG_SOURCE "libfnal\\source\\Vxstring.cpp"
#include "Vxstring.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "platform.h"
#include "vbug.h"

char *VXSTRING_strcpy_safe(char *dest, const char *source, uint32_t size) {
  VBUG_TRACE("VXSTRING_strcpy_safe");
  VBUG_ASSERT(dest != NULL);
  VBUG_ASSERT(source != NULL);
  if (dest == NULL || size == 0) return NULL;
  if (source == NULL) {
    if (size < 5) return NULL;
    memcpy(dest, "NULL", 5);
    return dest;
  }
  const char *end = (const char *)memchr(source, '\0', size - 1);
  size_t copied = end ? (size_t)(end - source) : size - 1;
  memcpy(dest, source, copied);
  dest[copied] = '\0';
  return dest;
}

char *VXSTRING_malloc_copy_text(const char *text) {
  VBUG_TRACE("VXSTRING_malloc_copy_text");
  if (text == NULL) return NULL;
  size_t length = strlen(text);
  char *copy = (char *)PLATFORM_malloc(length + 1);
  if (copy == NULL) return NULL;
  memcpy(copy, text, length + 1);
  return copy;
}

char *VXSTRING_parse_path_name(const char *path, int32_t index) {
  VBUG_TRACE("VXSTRING_parse_path_name");
  if (path == NULL || index < 0) return NULL;
  const char *start = path;
  for (int32_t i = 0; i < index; i++) {
    const char *separator = strchr(start, '\\');
    if (separator == NULL) return NULL;
    start = separator + 1;
  }
  const char *end = strchr(start, '\\');
  size_t length = end ? (size_t)(end - start) : strlen(start);
  if (length >= UINT32_MAX) return NULL;
  char *component = (char *)PLATFORM_malloc(length + 1);
  if (component == NULL) return NULL;
  return VXSTRING_strcpy_safe(component, start, (uint32_t)(length + 1));
}

void VXSTRING_fix_path_slashes(char *path) {
  VBUG_TRACE("VXSTRING_fix_path_slashes");
  if (path == NULL) return;
  for (char *p = path; *p != '\0'; p++)
    if (*p == '/') *p = '\\';
}

const char *VXSTRING_separator_after(const char *folder) {
  size_t length = strlen(folder);
  return length > 0 && folder[length - 1] == '\\' ? "" : "\\";
}

unsigned char VXSTRING_format_fitting(char *out, size_t size, const char *format, ...) {
  if (out == NULL || size == 0) return 0;
  va_list arguments;
  va_start(arguments, format);
  int written = vsnprintf(out, size, format, arguments);
  va_end(arguments);
  if (written >= 0 && (size_t)written < size) return 1;
  out[0] = '\0';
  return 0;
}
