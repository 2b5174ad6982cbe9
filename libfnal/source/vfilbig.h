// vfilbig: VBIG archives through small integer handles. An archive is a
// 12-byte header ("GIBV", reserved, entry count) followed by 299-byte FAT
// entry records, each directly followed by its data when it has any. Opening
// from memory copies every member out of the block; paths are backslash-
// separated and compared without regard to ASCII letter case; members with
// the compressed flag hold a Huffman stream. Module state: the archive slots
// and the last error code. Single-threaded.
#ifndef VFILBIG_H
#define VFILBIG_H

#include <stdint.h>
#include <stdio.h>

// The header's magic: the multi-character constant 'VBIG' stored as a
// little-endian 32-bit value, i.e. the bytes "GIBV".
#define VBIG_MAGIC 0x56424947
#define VBIG_HEADER_SIZE 12
// Positions of the header's three 32-bit fields.
#define VBIG_HEADER_POS_MAGIC 0
#define VBIG_HEADER_POS_RESERVED 4
#define VBIG_HEADER_POS_COUNT 8
#define VBIG_FAT_ENTRY_SIZE 299
#define VBIG_NAME_SIZE 256
#define VBIG_USERNAME_SIZE 20
#define VBIG_MAX_DEPTH 2048  // ancestors an entry may have

// Entry types, and the match kinds of lookups (the first three equal them).
#define VBIG_ENTRY_DIRECTORY 1
#define VBIG_ENTRY_FILE 2
#define VBIG_ENTRY_DELETED 3
#define VBIG_MATCH_ANY 4
#define VBIG_MATCH_FILE_OR_DIRECTORY 5

#define VBIG_FLAG_COMPRESSED 0x01

// How an archive slot holds its members. Only archives opened from memory
// exist in this system: the file-backed mode and the reads that serve it
// (VBIG_ARCHIVE.file, VFILBIG_get_data_from_file) are kept for other users of
// the library but never reached here.
#define VFILBIG_MODE_FILE 1
#define VFILBIG_MODE_MEMORY 2

// last_error codes (texts from VFILBIG_error_text).
#define VFILBIG_NO_ERROR 0
#define VFILBIG_ERR_UNKNOWN -1
#define VFILBIG_ERR_INVALID_HANDLE -2
#define VFILBIG_ERR_CANT_OPEN -3
#define VFILBIG_ERR_NO_HANDLE -4
#define VFILBIG_ERR_INVALID_FLAG -5
#define VFILBIG_ERR_USERNAME_MALLOC -6
#define VFILBIG_ERR_IS_DIRECTORY -7
#define VFILBIG_ERR_IS_FILE -8
#define VFILBIG_ERR_DELETED -9
#define VFILBIG_ERR_BUFFER_TOO_SMALL -10
#define VFILBIG_ERR_NOT_VBIG -11
#define VFILBIG_ERR_FAT_NOT_NULL -12
#define VFILBIG_ERR_NO_DATA -13
#define VFILBIG_ERR_FSEEK -14
#define VFILBIG_ERR_CANT_WRITE -15
#define VFILBIG_ERR_CANT_CREATE -16

// One FAT entry as loaded. The on-disk record is 299 packed bytes; this
// in-memory form holds the same fields, with a real pointer for the data.
typedef struct VBIG_FAT_ENTRY {
  char name[VBIG_NAME_SIZE];  // always terminated
  uint8_t type;
  uint8_t flags;
  uint8_t reserved;
  int32_t parent;  // index of the containing directory, -1 for the root
  int32_t size;    // stored bytes (a compressed file: the stream's length)
  char username[VBIG_USERNAME_SIZE];
  uint8_t date[4];              // day, month, 16-bit year
  unsigned char *data_pointer;  // the member's own copy of its stored bytes
  int32_t data_offset;          // from the archive's first byte
} VBIG_FAT_ENTRY;

// One archive slot.
typedef struct VBIG_ARCHIVE {
  FILE *file;  // file-backed archives only
  uint8_t mode;
  char *archive_name;  // "memsave" for an archive opened from memory
  int32_t magic;
  int32_t reserved;
  VBIG_FAT_ENTRY *fat;
  int32_t entry_count;
} VBIG_ARCHIVE;

// Creates max_archives free slots. Returns 0 (reported, module stays
// uninitialised) when max_archives <= 0 or memory runs out.
unsigned char VFILBIG_initialise(int32_t max_archives);

// Closes and releases every archive (FAT, member copies, name) and the slots.
void VFILBIG_deinitialise(void);

unsigned char VFILBIG_is_initialised(void);

// Opens an archive held in memory whose length is not known: the header and
// records are trusted, as the format allows (prefer the sized form). The
// caller keeps the block and may release it on return. Returns the handle,
// or -1: not initialised (notice in "retail.dbg"), no free slot (-4), a null
// block (-3), not a VBIG archive or an inconsistent one (-11), no memory
// (-1); the slot is then free again and nothing is kept.
int32_t VFILBIG_open_from_memory(const void *block);

// As VFILBIG_open_from_memory for a block of `length` bytes: an archive
// whose records or data lie beyond the block is refused as a whole (-11).
// Every archive open also refuses a file or deleted entry of negative size,
// a name without terminator, a parent out of range, a parent chain forming
// a cycle or deeper than VBIG_MAX_DEPTH (-11).
int32_t VFILBIG_open_from_memory_with_size(const void *block, int32_t length);

// 1 when path resolves to a file entry; 0 otherwise (not initialised is
// reported).
unsigned char VFILBIG_find_file(int32_t handle, const char *path);

// The full path of the first file or directory directly inside
// directory_path (null: the root), in record order, as a new heap string
// (caller frees), with its type (1 or 2) in *type_out when given; null when
// there is none or the directory does not resolve.
char *VFILBIG_find_first_entry(int32_t handle, const char *directory_path, uint8_t *type_out);

// The full path of the next file or directory after `path`, in record order,
// with the same parent; as VFILBIG_find_first_entry otherwise.
char *VFILBIG_find_next_entry(int32_t handle, const char *path, uint8_t *type_out);

// Reads the file member `path`, decompressing a compressed one.
// With buffer: copies the n bytes when n <= *length (else -10, nothing
// copied); the result is null either way. Without buffer: returns a new heap
// buffer (caller frees; never null for an empty member) and stores n in
// *length when given. Returns null on failure: not initialised (retail
// notice), invalid handle or null path ("invalid handle or filename" on
// standard output), a path that is not a file ("Invalid fat struct" on
// standard output, -7 or -8 when it names a directory or passes through a
// file), no data (-13), a stream that does not decode.
void *VFILBIG_read_file(int32_t handle, const char *path, void *buffer, int32_t *length);

// The stored bytes of FAT entry `index` read from a file-backed archive's
// file (never reached in this system: see VFILBIG_MODE_FILE) at data_offset, as a new heap buffer
// (caller frees); null on failure.
void *VFILBIG_get_data_from_file(int32_t handle, int32_t index);

// The code of the most recent failure (0 until one happens).
int32_t VFILBIG_get_last_error(void);

// The module's text for an error code, or null for an unknown code.
const char *VFILBIG_error_text(int32_t code);

// Number of FAT entries of an open archive, or -1 for an invalid handle.
int32_t VFILBIG_get_entry_count(int32_t handle);

// FAT entry `index` of an open archive (read-only, owned by the archive), or
// null for an invalid handle or index.
const VBIG_FAT_ENTRY *VFILBIG_get_fat_entry(int32_t handle, int32_t index);

// Walks a directory by record index, which stays exact where paths are
// ambiguous (siblings whose names differ only in case, names holding a
// backslash). Returns the index of the first file or directory after index
// `after` (-1: from the start) whose parent is `parent` (-1: the root), or -1
// when there is none or the handle is invalid.
int32_t VFILBIG_next_child(int32_t handle, int32_t parent, int32_t after);

// The bytes of file entry `index`, decompressed when compressed, as a new
// heap buffer (caller frees; never null for an empty member) with their
// count in *length when given. Null on failure: invalid handle (-2), index
// out of range or not a file (-7 for a directory), no data (-13), a stream
// that does not decode.
void *VFILBIG_read_entry(int32_t handle, int32_t index, int32_t *length);

// The same bytes without a copy where the archive holds them: returns them
// with their count in *length, valid while the archive stays open, and sets
// *release to the buffer the caller frees afterwards (a decompressed member)
// or to null. Null on the failures of VFILBIG_read_entry (*release null).
const void *VFILBIG_borrow_entry(int32_t handle, int32_t index, int32_t *length, void **release);

// One member for VFILBIG_build_archive. Directories come before their
// contents; `parent` is the index of a directory member or -1.
typedef struct VBIG_MEMBER {
  const char *name;  // 1..255 characters, no backslash
  uint8_t type;      // VBIG_ENTRY_DIRECTORY or VBIG_ENTRY_FILE
  uint8_t flags;     // VBIG_FLAG_COMPRESSED when data is a Huffman stream
  int32_t parent;
  const void *data;  // stored bytes (files only)
  int32_t size;
} VBIG_MEMBER;

// Lays out an archive of `count` members: header, then each record
// (data_offset, username cut to 19 characters, date, unused bytes zero)
// followed by its data. Returns a new heap block (caller frees) and its
// length in *length_out, or null for a member that breaks the rules above,
// a total above 2^31 - 1 bytes or a heap failure.
unsigned char *VFILBIG_build_archive(const VBIG_MEMBER *members, int32_t count,
                                     const char *username, const uint8_t date[4],
                                     int32_t *length_out);

#endif
