// Appndexe: the payload appended to an executable. The file ends with the
// payload (L bytes), then L as a little-endian 32-bit value, then the magic
// "CVEL". No module state and no initialise call.
//
// A signed PE image ends in its certificate table instead: the security
// entry (index 4) of the optional header's data directories holds the
// table's file offset and size. When the table ends exactly at the end of
// the file, the trailer ends in front of it, before the 0 to 7 zero bytes
// that signing tools insert so that the table starts on an 8-byte boundary.
// Any other file (no PE headers, headers cut short, an entry that is empty
// or points outside the file, a table that is not last) is read by the
// plain end-of-file rule. Nothing is read outside the file.
//
// The payload (L bytes) may end with a 12-byte integrity record, written by
// `vbig append` (all integers little-endian):
//
//   payload + 0      the archive, A = L - 12 bytes
//   payload + A      the record magic "VSUM"
//   payload + A + 4  file_check_value (vfile) of the A archive bytes
//   payload + A + 8  A, unsigned 32-bit
//
// Readers that do not know the record ignore it: the archive ends after its
// last member's data, and the archive reader accepts bytes after that. A
// payload without the record (last 12 bytes not starting with "VSUM") is an
// archive of L bytes, as before.
#ifndef APPNDEXE_H
#define APPNDEXE_H

#include <stdint.h>
#include <stdio.h>

#define APPNDEXE_MAGIC "CVEL"
#define APPNDEXE_TRAILER_SIZE 8
#define APPNDEXE_PE_HEADER_POINTER 0x3C  // e_lfanew in the DOS header
#define APPNDEXE_SECURITY_DIRECTORY 4
#define APPNDEXE_MAX_PADDING 7
#define APPNDEXE_RECORD_MAGIC "VSUM"
#define APPNDEXE_RECORD_SIZE 12

enum { APPNDEXE_RECORD_ABSENT = 0, APPNDEXE_RECORD_GOOD = 1, APPNDEXE_RECORD_DAMAGED = 2 };

// Where a PE image keeps its certificate table.
typedef struct {
  int64_t entry_position;  // file offset of the security directory entry
  int64_t offset;          // the table's file offset and size, from the entry
  int64_t size;
  unsigned char at_end;  // 1 when the table ends exactly at the end of file
} APPNDEXE_CERTIFICATE_TABLE;

// Reads the payload in front of the trailer of `path` (see above for signed
// images) into one tracked block of
// exactly L bytes ("appndexe mem"), which the caller releases with
// MEMORY_deallocate or appndexe_deallocate. *size_out (when given) is set to
// 0 on entry and to L once a valid trailer is read. Returns null, with the
// file closed and no block left, when the file cannot be opened, carries no
// valid trailer (size 0), L is more than the bytes in front of the trailer,
// the block cannot be allocated or the read comes up short (size L).
void *APPNDEXE_read_with_size(const char *path, int32_t *size_out);

// The payload length from the trailer of an open binary stream, its position
// restored; -2 for a null stream, -3 when the magic is not "CVEL", -1 when a
// read comes up short (the position is then unspecified). The length is the
// stored value read as signed: callers refuse values <= 0.
int32_t appendexe_get_append_len_ptr(FILE *stream);

// Fills *table and returns 1 when the open binary stream is a PE image whose
// security directory entry is not empty and lies wholly inside the file;
// otherwise 0 (table zeroed). The stream's position is restored.
unsigned char APPNDEXE_find_certificate_table(FILE *stream, APPNDEXE_CERTIFICATE_TABLE *table);

// The file offset where the trailer ends: the start of a certificate table
// that ends the file, less its zero padding, or else the file's length.
// -1 for a null stream or a failed seek. The position is unspecified after.
int64_t APPNDEXE_payload_end(FILE *stream);

// Writes the integrity record of the `length` archive bytes into record.
// Returns 1, or 0 (nothing written) for a null archive or record or a
// length <= 0.
unsigned char APPNDEXE_make_record(const void *archive, int32_t length,
                                   unsigned char record[APPNDEXE_RECORD_SIZE]);

// Checks the integrity record at the end of a payload block of `size`
// bytes. Returns APPNDEXE_RECORD_ABSENT (the whole block is the archive),
// APPNDEXE_RECORD_GOOD, or APPNDEXE_RECORD_DAMAGED (reported) when the check
// value or the length does not match the bytes in front of the record.
// *archive_length (when given) receives the archive's length: size less the
// record when one is present, size otherwise.
int APPNDEXE_check_record(const void *block, int32_t size, int32_t *archive_length);

// A tracked block of `size` bytes ("appndexe mem", no fill), or null.
// `previous` is the current value of the receiving pointer.
void *appndexe_allocate(void *previous, int32_t size);

// Releases the block whose pointer variable's address is given, and sets the
// variable to null.
void appndexe_deallocate(void *block_ptr);

// Writes the 8-byte trailer for a payload of `length` bytes to `stream`.
// Returns 1, or 0 for a null stream, a length <= 0 or a failed write.
unsigned char APPNDEXE_write_trailer(FILE *stream, int32_t length);

#endif
