// Appndexe: the payload appended to an executable. The file ends with the
// payload (L bytes), then L as a little-endian 32-bit value, then the magic
// "CVEL". No module state and no initialise call.
#ifndef APPNDEXE_H
#define APPNDEXE_H

#include <stdint.h>
#include <stdio.h>

#define APPNDEXE_MAGIC "CVEL"
#define APPNDEXE_TRAILER_SIZE 8

// Reads the payload at the end of the file `path` into one tracked block of
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
