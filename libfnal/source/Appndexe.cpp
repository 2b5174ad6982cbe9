// Appndexe: finds the "CVEL" trailer at the end of a file and reads the
// payload in front of it into one tracked block.
#define VBUG_SOURCE "libfnal\\source\\Appndexe.cpp"
#include "Appndexe.h"

#include <string.h>

#include "memory.h"
#include "vbug.h"

static int32_t appndexe_le32(const unsigned char *bytes) {
  return (int32_t)((uint32_t)bytes[0] | (uint32_t)bytes[1] << 8 | (uint32_t)bytes[2] << 16 |
                   (uint32_t)bytes[3] << 24);
}

int32_t appendexe_get_append_len_ptr(FILE *stream) {
  VBUG_TRACE("appendexe_get_append_len_ptr");
  if (stream == NULL) return -2;
  long position = ftell(stream);
  char magic[5] = {0, 0, 0, 0, 0};
  if (fseek(stream, 0, SEEK_END) != 0 || fseek(stream, -4, SEEK_CUR) != 0) return -1;
  if (fread(magic, 1, 4, stream) != 4) return -1;
  if (strcmp(magic, APPNDEXE_MAGIC) != 0) return -3;
  unsigned char length[4];
  if (fseek(stream, -8, SEEK_CUR) != 0 || fread(length, 1, 4, stream) != 4) return -1;
  fseek(stream, position, SEEK_SET);
  return appndexe_le32(length);
}

void *appndexe_allocate(void *previous, int32_t size) {
  VBUG_TRACE("appndexe_allocate");
  return MEMORY_ALLOC(previous, size, MEMORY_NO_FILL, "appndexe mem");
}

void appndexe_deallocate(void *block_ptr) {
  VBUG_TRACE("appndexe_deallocate");
  MEMORY_deallocate(block_ptr, VBUG_SOURCE, __LINE__);
}

// 1 when the file holds at least `length` bytes in front of its trailer.
static unsigned char appndexe_payload_fits(FILE *stream, int32_t length) {
  if (fseek(stream, 0, SEEK_END) != 0) return 0;
  long size = ftell(stream);
  return size >= APPNDEXE_TRAILER_SIZE && length <= size - APPNDEXE_TRAILER_SIZE;
}

// Reads the `length` payload bytes in front of the trailer into block.
static unsigned char appndexe_read_payload(FILE *stream, void *block, int32_t length) {
  if (fseek(stream, -APPNDEXE_TRAILER_SIZE - (long)length, SEEK_END) != 0) return 0;
  return fread(block, 1, (size_t)length, stream) == (size_t)length;
}

// Reports a short read and closes the stream; the result is always null.
static void *appndexe_short_read(FILE *stream, const char *path) {
  VBUG_MESSAGE("error reading from file '%s'", path);
  fclose(stream);
  return NULL;
}

void *APPNDEXE_read_with_size(const char *path, int32_t *size_out) {
  VBUG_TRACE("APPNDEXE_read_with_size");
  if (size_out != NULL) *size_out = 0;
  FILE *stream = path != NULL ? fopen(path, "rb") : NULL;
  if (stream == NULL) {
    VBUG_MESSAGE("error openning file '%s'", path ? path : "(null)");
    return NULL;
  }
  int32_t length = appendexe_get_append_len_ptr(stream);
  if (length <= 0) {
    VBUG_MESSAGE("failed to get append info '%s'", path);
    fclose(stream);
    return NULL;
  }
  if (size_out != NULL) *size_out = length;
  // A length beyond the file is a short read, found before allocating.
  if (!appndexe_payload_fits(stream, length)) return appndexe_short_read(stream, path);
  void *block = appndexe_allocate(NULL, length);
  if (block == NULL) {
    fclose(stream);
    VBUG_MESSAGE("error allocating mem for '%s'", path);
    return NULL;
  }
  memset(block, 0, (size_t)length);
  if (!appndexe_read_payload(stream, block, length)) {
    appndexe_deallocate(&block);
    return appndexe_short_read(stream, path);
  }
  fclose(stream);
  return block;
}

unsigned char APPNDEXE_write_trailer(FILE *stream, int32_t length) {
  VBUG_TRACE("APPNDEXE_write_trailer");
  if (stream == NULL || length <= 0) return 0;
  unsigned char trailer[APPNDEXE_TRAILER_SIZE];
  for (int i = 0; i < 4; i++) trailer[i] = (unsigned char)((uint32_t)length >> (8 * i));
  memcpy(trailer + 4, APPNDEXE_MAGIC, 4);
  return fwrite(trailer, 1, sizeof trailer, stream) == sizeof trailer;
}
