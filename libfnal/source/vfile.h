// vfile: file access through a table of search paths, each scanned once into
// an in-memory file tree; whole-file reads into tracked memory (in one call or
// in chunks with a progress callback), a running check value, a size cache,
// and stream wrappers that report failures with the caller's source position.
//
// Paths are backslash-separated. The module is not re-entrant: resolved paths
// live in one result buffer that the next resolution overwrites.
#ifndef VFILE_H
#define VFILE_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#define VFILE_PATH_SIZE 256      // search paths, resolved paths, the extension
#define VFILE_NODE_NAME_SIZE 13  // 12 characters and the terminator

// Defaults used when VFILE_initialise is given no details record.
#define VFILE_DEFAULT_MAX_SEARCH_PATHS 7
#define VFILE_DEFAULT_INITIAL_TREE_SIZE 5000
#define VFILE_DEFAULT_TREE_GROWTH 1000
#define VFILE_DEFAULT_CHUNK_SIZE 200000

// Called after every chunk of a chunked whole-file read.
typedef void (*VFILE_PROCESS_CALLBACK)(void);

// Settings of the module, the optional argument of VFILE_initialise.
typedef struct VFILE_DETAILS {
  uint32_t max_search_paths;
  uint32_t initial_tree_size;  // nodes
  char extension[VFILE_PATH_SIZE];
  uint32_t tree_growth;  // nodes
  uint32_t chunk_size;   // bytes
  VFILE_PROCESS_CALLBACK process_callback;
  uint32_t reserved_number;  // stored, not consulted
  unsigned char reserved_flag_1;
  unsigned char reserved_flag_2;
  unsigned char check_switch;  // 1: add a check value of every file read to the total
  char reserved_text_1[VFILE_PATH_SIZE];
  char reserved_text_2[VFILE_PATH_SIZE];
} VFILE_DETAILS;

// One node of a file tree: an entry of a scanned folder (file or folder alike).
typedef struct VFILE_TREE_NODE {
  int32_t next;                     // next entry of the same folder, -1 for none
  int32_t child;                    // first entry of this folder, -1 for none
  char name[VFILE_NODE_NAME_SIZE];  // lower case, cut to 12 characters
} VFILE_TREE_NODE;

// One search path slot. An empty path marks a free slot.
typedef struct VFILE_SEARCH_PATH {
  char path[VFILE_PATH_SIZE];  // lower-case copy of the folder as given
  VFILE_TREE_NODE *file_tree;  // tracked node array, or null
  uint32_t tree_size;          // nodes the array has room for
  uint32_t tree_count;         // nodes in use
} VFILE_SEARCH_PATH;

// Sets the module up with details (copied; null for the defaults): the slot
// table, every slot free, the chunk buffer, an empty size cache and a check
// total of 0. Returns 1; 0 when already initialised (nothing changed) or when
// the slot table cannot be allocated. A chunk buffer that cannot be allocated
// only makes chunked reads go straight into the destination.
unsigned char VFILE_initialise(const VFILE_DETAILS *details);

// Releases the chunk buffer, every tree and the slot table and marks the
// module uninitialised. Returns 1, or 0 when there was no slot table.
unsigned char VFILE_deinitialise(void);

// Replaces the search paths by the count texts that follow (const char *),
// scanning each folder into its slot's tree. A null text is reported
// ("string is NULL"), takes no slot, and is counted. Texts beyond the free
// slots are dropped. Returns the number of paths taken.
uint32_t VFILE_set_search_paths(uint32_t count, ...);

// Stores path, lower-cased and cut to 255 characters, in the first free slot
// without scanning it. Returns the slot index, or -1 when every slot is taken,
// path is null or empty, or the module is not initialised.
int32_t VFILE_add_search_path(const char *path);

// Frees slot index (releasing its tree), or every slot for -1; any other
// value does nothing. Tree size and count are left as they are.
void vfile_clear_search_path(int32_t index);

// Stores a lower-cased copy (at most 255 characters) of extension, appended
// to names without a dot. Returns 1, or 0 for a null text (extension kept).
unsigned char VFILE_set_extension(const char *extension);

// The stored extension (module storage; empty before any is set).
const char *VFILE_get_extension(void);

// Resolves name through the search path trees (a qualified name - starting
// with '.', holding "\\\\" or ':' - is first tried on the disk as spelled).
// Returns the path in the module's result buffer, valid until the next
// resolution, or null when the module is not initialised, name is null or
// empty (both reported), no tree holds it, or it would exceed 255 characters.
char *VFILE_make_full_path(const char *name);

// Looks up the lower-case relative name in the sibling chain of nodes that
// starts at index, descending into children per component; each component is
// compared on its first 12 characters. On success writes the tree's spelling
// of the path into output (VFILE_PATH_SIZE bytes) and returns 1; returns 0
// when the name is empty or not in the tree, or the path would not fit.
unsigned char vfile_find_full_path(const char *name, char *output, const VFILE_TREE_NODE *nodes,
                                   int32_t index);

// Size in bytes of the file at path, from the size cache when path equals
// (ignoring case) the last path queried. Works initialised or not. Returns -1
// when the file cannot be found or is 2 GiB or larger.
int32_t VFILE_get_file_size(const char *path);

// Reads the whole file that name resolves to into a new tracked block of
// exactly its size (no terminator added; previous is handed to the allocator
// as the caller's current block) and stores the bytes read in *length. With a
// process callback the read goes in chunks. Returns the block, which the
// caller releases with MEMORY_deallocate, or null (reported) when the module
// is not initialised, the name does not resolve, the size is unknown, the
// file is empty or memory runs out, or the file cannot be opened.
void *VFILE_allocate_and_read_file(const char *name, const void *previous, int32_t *length);

// Reads element_size * element_count bytes from stream into destination in
// pieces of at most chunk_size bytes (through the chunk buffer when there is
// one), calling per_chunk (if not null) after each. Stops at end of file or
// on a read that delivers nothing. Returns the bytes delivered.
size_t vfile_chunk_fread(void *destination, size_t element_size, size_t element_count, FILE *stream,
                         uint32_t chunk_size, VFILE_PROCESS_CALLBACK per_chunk);

// Calls the process callback when the module is initialised and one is set.
void vfile_process(void);

// Copies the first min(strlen(source), size - 1) characters of source,
// lower-cased, into destination and terminates it. Returns 1, or 0 (nothing
// written) when either text is null or size is 0.
unsigned char vfile_copy_string(char *destination, const char *source, uint32_t size);

// Check value of length bytes: CRC-16 (polynomial 0x1021, from 0xFFFF) of the
// bytes in order in the upper half, and the same CRC from 0x4110 over the
// bytes in reverse order in the lower half. 0 for a length of 0.
uint32_t file_check_value(const void *data, uint32_t length);

// The running total of check values (switch in the details record).
uint32_t VFILE_get_check_total(void);

// Opens a stream with fopen's mode. With search 1 and the module initialised,
// name is first resolved through the trees (kept as given if that fails). A
// failed open is tried once more at once; success on that second attempt is
// reported with file and line (the caller's). An open whose mode does not
// begin with 'r' empties the size cache. Returns the stream, or null.
FILE *vfile_fopen(const char *name, const char *mode, unsigned char search, const char *file,
                  int32_t line);

// Closes stream with fclose; a failure (or a null stream) is reported with
// file and line. Returns 0 on success, non-zero on failure.
unsigned char vfile_fclose(FILE *stream, const char *file, int32_t line);

// fread, passing its result through; 0 for a null stream or buffer.
size_t VFILE_fread(void *buffer, size_t element_size, size_t element_count, FILE *stream);

// fwrite, passing its result through, and empties the size cache; 0 for a
// null stream or buffer.
size_t VFILE_fwrite(const void *buffer, size_t element_size, size_t element_count, FILE *stream);

// fseek, passing its result through; -1 for a null stream.
int VFILE_fseek(FILE *stream, long offset, int origin);

// The stream wrappers with the caller's source position filled in (the caller
// defines VBUG_SOURCE).
#define VFILE_fopen(name, mode, search) vfile_fopen((name), (mode), (search), VBUG_SOURCE, __LINE__)
#define VFILE_fclose(stream) vfile_fclose((stream), VBUG_SOURCE, __LINE__)

// File trees (each search path slot has one).

// Rebuilds the tree of slot index, or of every slot with a path for -1, by
// scanning its folder recursively. Returns 1; 0 for an index outside the
// table or a free slot, or when the module is not initialised.
unsigned char VFILE_build_file_tree(int32_t index);

// Replaces the slot's node array by a fresh one of tree_size nodes with an
// empty node 0 and a count of 0. Returns 0 (reported) when it cannot be
// allocated; the slot is then without a tree.
unsigned char vfile_allocate_file_tree(VFILE_SEARCH_PATH *slot);

// Grows the slot's node array by the tree growth. Returns 0 when it cannot
// grow (array and size unchanged).
unsigned char vfile_reallocate_file_tree(VFILE_SEARCH_PATH *slot);

// Appends a node named name (lower-cased, cut to 12 characters), growing the
// array when full. Returns its index, or -1 when the array cannot grow.
int32_t vfile_add_entry_to_file_tree(VFILE_SEARCH_PATH *slot, const char *name);

// Scan callback: files the reported path into the tree of the first slot
// whose path is a prefix of it, adding at most one node. Ticks, paths longer
// than 255 characters and paths under no slot with a tree are ignored.
void vfile_file_tree_callback_function(const char *path, int32_t kind);

// Slot index of the table, for tests and tools; null when the module is not
// initialised or index is outside the table.
const VFILE_SEARCH_PATH *VFILE_get_search_path(int32_t index);

#endif
