// Appndexe: finds the "CVEL" trailer at the end of a file and reads the
// payload in front of it into one tracked block.
#define VBUG_SOURCE "libfnal\\source\\Appndexe.cpp"
#include "Appndexe.h"

#include <string.h>

#include "bytes.h"
#include "memory.h"
#include "vbug.h"
#include "vfile.h"

// ---- Signed images. ---------------------------------------------------------

// Reads count bytes at offset; 0 when any of them lies outside the file.
static unsigned char appndexe_read_at(FILE *stream, int64_t offset, void *bytes, size_t count,
                                      int64_t file_length) {
  if (offset < 0 || offset > file_length || (int64_t)count > file_length - offset) return 0;
  if (fseek(stream, (long)offset, SEEK_SET) != 0) return 0;
  return fread(bytes, 1, count, stream) == count;
}

// File offset of the security entry of the PE image in stream, or -1 when
// the headers are not those of a PE image with at least five data
// directories, or are cut short.
static int64_t appndexe_security_entry_position(FILE *stream, int64_t file_length) {
  unsigned char dos[APPNDEXE_PE_HEADER_POINTER + 4], pe[24], magic[2], count[4];
  if (!appndexe_read_at(stream, 0, dos, sizeof dos, file_length)) return -1;
  if (dos[0] != 'M' || dos[1] != 'Z') return -1;
  int64_t header = BYTES_read_le32(dos + APPNDEXE_PE_HEADER_POINTER);
  if (!appndexe_read_at(stream, header, pe, sizeof pe, file_length)) return -1;
  if (memcmp(pe, "PE\0\0", 4) != 0) return -1;
  uint32_t optional_size = BYTES_read_le16(pe + 20);
  int64_t optional = header + (int64_t)sizeof pe;
  if (!appndexe_read_at(stream, optional, magic, sizeof magic, file_length)) return -1;
  uint32_t kind = BYTES_read_le16(magic);
  if (kind != 0x10B && kind != 0x20B) return -1;
  uint32_t count_at = kind == 0x10B ? 92 : 108;  // PE32, PE32+
  uint32_t entry_at = count_at + 4 + APPNDEXE_SECURITY_DIRECTORY * 8;
  if (optional_size < entry_at + 8) return -1;
  if (!appndexe_read_at(stream, optional + count_at, count, sizeof count, file_length)) return -1;
  if (BYTES_read_le32(count) <= APPNDEXE_SECURITY_DIRECTORY) return -1;
  return optional + entry_at;
}

unsigned char APPNDEXE_find_certificate_table(FILE *stream, APPNDEXE_CERTIFICATE_TABLE *table) {
  VBUG_TRACE("APPNDEXE_find_certificate_table");
  if (stream == NULL || table == NULL) return 0;
  memset(table, 0, sizeof *table);
  long position = ftell(stream);
  unsigned char found = 0, entry[8];
  int64_t file_length = fseek(stream, 0, SEEK_END) == 0 ? ftell(stream) : -1;
  int64_t at = file_length > 0 ? appndexe_security_entry_position(stream, file_length) : -1;
  if (at >= 0 && appndexe_read_at(stream, at, entry, sizeof entry, file_length)) {
    int64_t offset = BYTES_read_le32(entry);
    int64_t size = BYTES_read_le32(entry + 4);
    found = size > 0 && offset > 0 && offset <= file_length && size <= file_length - offset;
    if (found) {
      table->entry_position = at;
      table->offset = offset;
      table->size = size;
      table->at_end = offset + size == file_length;
    }
  }
  if (position >= 0) fseek(stream, position, SEEK_SET);
  return found;
}

int64_t APPNDEXE_payload_end(FILE *stream) {
  VBUG_TRACE("APPNDEXE_payload_end");
  if (stream == NULL || fseek(stream, 0, SEEK_END) != 0) return -1;
  int64_t end = ftell(stream);
  APPNDEXE_CERTIFICATE_TABLE table;
  if (end < 0 || !APPNDEXE_find_certificate_table(stream, &table) || !table.at_end) return end;
  // Signing tools pad the file with up to 7 zero bytes so that the table
  // starts on an 8-byte boundary; the trailer ends in front of them.
  unsigned char pad[APPNDEXE_MAX_PADDING];
  int64_t start = table.offset > APPNDEXE_MAX_PADDING ? table.offset - APPNDEXE_MAX_PADDING : 0;
  size_t count = (size_t)(table.offset - start);
  if (!appndexe_read_at(stream, start, pad, count, end)) return end;
  size_t zeros = 0;
  while (zeros < count && pad[count - 1 - zeros] == 0) zeros++;
  return table.offset - (int64_t)zeros;
}

// ---- The trailer. ------------------------------------------------------------

// The trailer ending at `end`: as appendexe_get_append_len_ptr.
static int32_t appndexe_read_trailer(FILE *stream, int64_t end) {
  char magic[5] = {0, 0, 0, 0, 0};
  if (end < 4 || fseek(stream, (long)(end - 4), SEEK_SET) != 0) return -1;
  if (fread(magic, 1, 4, stream) != 4) return -1;
  if (strcmp(magic, APPNDEXE_MAGIC) != 0) return -3;
  unsigned char length[4];
  if (end < 8 || fseek(stream, (long)(end - 8), SEEK_SET) != 0) return -1;
  if (fread(length, 1, 4, stream) != 4) return -1;
  return (int32_t)BYTES_read_le32(length);
}

int32_t appendexe_get_append_len_ptr(FILE *stream) {
  VBUG_TRACE("appendexe_get_append_len_ptr");
  if (stream == NULL) return -2;
  long position = ftell(stream);
  int32_t length = appndexe_read_trailer(stream, APPNDEXE_payload_end(stream));
  fseek(stream, position, SEEK_SET);
  return length;
}

void *appndexe_allocate(void *previous, int32_t size) {
  VBUG_TRACE("appndexe_allocate");
  return MEMORY_ALLOC(previous, size, MEMORY_NO_FILL, "appndexe mem");
}

void appndexe_deallocate(void *block_ptr) {
  VBUG_TRACE("appndexe_deallocate");
  MEMORY_deallocate(block_ptr, VBUG_SOURCE, __LINE__);
}

// 1 when the file holds at least `length` bytes in front of the trailer
// that ends at `end`.
static unsigned char appndexe_payload_fits(int64_t end, int32_t length) {
  return end >= APPNDEXE_TRAILER_SIZE && length <= end - APPNDEXE_TRAILER_SIZE;
}

// Reads the `length` payload bytes in front of the trailer ending at `end`.
static unsigned char appndexe_read_payload(FILE *stream, int64_t end, void *block, int32_t length) {
  if (fseek(stream, (long)(end - APPNDEXE_TRAILER_SIZE - length), SEEK_SET) != 0) return 0;
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
  // The image's headers are read once: the trailer ends where the payload
  // region does.
  int64_t end = APPNDEXE_payload_end(stream);
  int32_t length = appndexe_read_trailer(stream, end);
  if (length <= 0) {
    VBUG_MESSAGE("failed to get append info '%s'", path);
    fclose(stream);
    return NULL;
  }
  if (size_out != NULL) *size_out = length;
  // A length beyond the file is a short read, found before allocating.
  if (!appndexe_payload_fits(end, length)) return appndexe_short_read(stream, path);
  void *block = appndexe_allocate(NULL, length);
  if (block == NULL) {
    fclose(stream);
    VBUG_MESSAGE("error allocating mem for '%s'", path);
    return NULL;
  }
  memset(block, 0, (size_t)length);
  if (!appndexe_read_payload(stream, end, block, length)) {
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
  BYTES_write_le32(trailer, (uint32_t)length);
  memcpy(trailer + 4, APPNDEXE_MAGIC, 4);
  return fwrite(trailer, 1, sizeof trailer, stream) == sizeof trailer;
}

// ---- The integrity record. ---------------------------------------------------

unsigned char APPNDEXE_make_record(const void *archive, int32_t length,
                                   unsigned char record[APPNDEXE_RECORD_SIZE]) {
  VBUG_TRACE("APPNDEXE_make_record");
  if (archive == NULL || length <= 0 || record == NULL) return 0;
  memcpy(record, APPNDEXE_RECORD_MAGIC, 4);
  BYTES_write_le32(record + 4, file_check_value(archive, (uint32_t)length));
  BYTES_write_le32(record + 8, (uint32_t)length);
  return 1;
}

int APPNDEXE_check_record(const void *block, int32_t size, int32_t *archive_length) {
  VBUG_TRACE("APPNDEXE_check_record");
  if (archive_length != NULL) *archive_length = size > 0 ? size : 0;
  if (block == NULL || size < APPNDEXE_RECORD_SIZE) return APPNDEXE_RECORD_ABSENT;
  const unsigned char *record = (const unsigned char *)block + size - APPNDEXE_RECORD_SIZE;
  if (memcmp(record, APPNDEXE_RECORD_MAGIC, 4) != 0) return APPNDEXE_RECORD_ABSENT;
  int32_t length = size - APPNDEXE_RECORD_SIZE;
  if (archive_length != NULL) *archive_length = length;
  unsigned char expected[APPNDEXE_RECORD_SIZE];
  if (length <= 0 || !APPNDEXE_make_record(block, length, expected) ||
      memcmp(record, expected, APPNDEXE_RECORD_SIZE) != 0) {
    VBUG_MESSAGE("payload does not match its integrity record");
    return APPNDEXE_RECORD_DAMAGED;
  }
  return APPNDEXE_RECORD_GOOD;
}
