// huffman: decoding (and encoding) of the Huffman streams that compressed
// archive members hold. A stream is the uncompressed length N (signed 32-bit,
// little-endian), 256 one-byte symbol weights, then the code bits, most
// significant bit first. The code tree is rebuilt from the weights with the
// exact queue rules below, so encoder and decoder always agree. The only
// module state is the output-buffer growth settings: one decode at a time.
#ifndef HUFFMAN_H
#define HUFFMAN_H

#include <stdint.h>

#define HUFFMAN_HEADER_SIZE 260  // N (4 bytes) + 256 weights
#define HUFFMAN_DEFAULT_CAPACITY 1000
#define HUFFMAN_DEFAULT_OUTPUT_LIMIT 0x10000000  // 256 MiB
// The decoder resolves codes of up to HUFFMAN_TABLE_BITS bits with one table
// look-up, up to HUFFMAN_TABLE_BITS + HUFFMAN_SUB_BITS with two, and walks
// the tree for the rest of longer ones.
#define HUFFMAN_TABLE_BITS 12
#define HUFFMAN_SUB_BITS 4

// ---- The two generic containers the tree build uses. -----------------------

typedef void (*HUFFMAN_RELEASE)(void *data);
typedef int (*HUFFMAN_COMPARE)(const void *a, const void *b);

typedef struct BTREE_NODE {
  void *data;
  struct BTREE_NODE *left;
  struct BTREE_NODE *right;
} BTREE_NODE;

typedef struct BTREE {
  int32_t count;
  HUFFMAN_RELEASE release;
  BTREE_NODE *root;
  // Set for a tree built in one piece, whose nodes and their data all live
  // in the heap block that this record starts: btree_clear then releases
  // none of them one by one, and freeing the record frees them all.
  unsigned char in_one_block;
} BTREE;

// Empty tree whose node data is released with `release` (may be null).
void btree_init(BTREE *tree, HUFFMAN_RELEASE release);

// With a null parent: creates the root of an empty tree. With a parent:
// creates its left child. Returns 0 when that place is taken or the heap
// refuses (nothing changes then), 1 otherwise.
unsigned char btree_insert(BTREE *tree, BTREE_NODE *parent, void *data);

// Initialises `tree` with a new root holding `data`, the root of left_tree as
// its left and that of right_tree as its right child; both donors are left
// empty. Returns 0 (tree cleared, donors untouched) when the root cannot be
// allocated.
unsigned char btree_join(BTREE *tree, BTREE *left_tree, BTREE *right_tree, void *data);

// Releases every node depth-first (left, right, node), each node's data
// first, and zeroes the record. A tree built in one piece is only zeroed:
// its nodes go with its record's block.
void btree_clear(BTREE *tree);

typedef struct PQUEUE {
  int32_t count;
  HUFFMAN_COMPARE compare;  // > 0: first argument leaves the queue first
  HUFFMAN_RELEASE release;
  void **items;  // binary heap, children of i at 2i+1 and 2i+2
} PQUEUE;

// Empty queue.
void pqueue_init(PQUEUE *queue, HUFFMAN_COMPARE compare, HUFFMAN_RELEASE release);

// Adds the item (doubling the array when it is full) and sifts it up.
// Returns 0 (queue unchanged) when the heap refuses.
unsigned char pqueue_push(PQUEUE *queue, void *item);

// Takes the first item into *out and sifts the last one down from the top;
// the array is released with the last item. Returns 0 when the queue is
// empty.
unsigned char pqueue_pop(PQUEUE *queue, void **out);

// Releases every remaining item and the array, and zeroes the record.
void pqueue_destroy(PQUEUE *queue);

// ---- The module proper. ----------------------------------------------------

// One tree node's data: the byte value (0 for inner nodes) and the weight
// (for an inner node the sum of its children's weights).
typedef struct HUFFMAN_SYMBOL {
  uint8_t value;
  int32_t weight;
} HUFFMAN_SYMBOL;

// Decodes a stream of stream_length bytes. Returns a new heap buffer (the
// caller frees it with free) holding the N decoded bytes and stores N in
// *out_length (when given). When N is 0 or negative, returns null with 0.
// Returns null with -1 for a stream shorter than its header, all weights 0,
// code bits that run out before N bytes are decoded or lead to a missing
// child, an N above the output limit, or a heap failure; nothing is leaked.
unsigned char *HUFFMAN_uncompress(const unsigned char *stream, int32_t stream_length,
                                  int32_t *out_length);

// Encodes `length` bytes (may be 0) as a stream that HUFFMAN_uncompress turns
// back into them. Returns a new heap buffer (caller frees) and its length in
// *out_length, or null with -1 for a negative length, a length above the
// output limit or a heap failure.
unsigned char *HUFFMAN_compress(const unsigned char *data, int32_t length, int32_t *out_length);

// The largest N a stream may declare; larger ones fail. Values <= 0 leave it
// unchanged. Starts at HUFFMAN_DEFAULT_OUTPUT_LIMIT.
void HUFFMAN_set_output_limit(int32_t limit);

// When size > 0 it becomes the default output capacity; otherwise nothing
// changes. Starts at HUFFMAN_DEFAULT_CAPACITY.
void huffman_set_realloc_default(int32_t size);

// A new heap buffer of max(request, default capacity) bytes, which becomes
// the current capacity and the growth base; null when the heap refuses.
unsigned char *huffman_init_realloc(int32_t request);

// The buffer to use from now on: when `needed` exceeds the current capacity
// (this system's decoder sizes its buffer once from N, so only tests and
// other users of the library call this)
// it grows by a fifth of the growth base (one reallocation); otherwise the
// same buffer. Null when the reallocation fails; the old buffer stays valid.
unsigned char *huffman_realloc(unsigned char *buffer, uint32_t needed);

// The current output capacity (for tests of the growth steps; the launcher
// never calls it).
uint32_t huffman_current_capacity(void);

// Queue order for two trees: 1 when a's root weight is smaller than b's,
// -1 when larger, 0 when equal, so the lighter tree leaves first.
int huffman_compare_freq(const void *a, const void *b);

// Builds the code tree from 256 weights: leaves for the non-zero weights in
// ascending byte order, then the two lightest trees joined (first popped on
// the left) until one remains. Every record of the build (trees, nodes,
// symbols) is taken from one heap block, which the finished tree's record
// starts. Returns 0 and that tree in *tree_out (free it with
// huffman_destroy_tree), or -1 when every weight is 0 or the heap refuses;
// nothing is left allocated then.
int32_t huffman_build_tree(const int32_t *weights, BTREE **tree_out);

// Decodes a stream of stream_length bytes into *buffer_out (null when
// nothing is produced). Returns N, or -1 on any failure (see
// HUFFMAN_uncompress), *buffer_out then null.
int32_t huffman_uncompress(const unsigned char *stream, int32_t stream_length,
                           unsigned char **buffer_out);

// Clears a heap tree and frees its record (the queue's release function).
void huffman_destroy_tree(void *tree);

// Frees a symbol record (the trees' release function).
void huffman_destroy_node(void *data);

#endif
