// huffman: the code tree built from a stream's weights, the table-driven
// decoder, the matching encoder, and the output-buffer growth settings.
#define VBUG_SOURCE "libfnal\\source\\huffman.cpp"
#include "huffman.h"

#include <stdlib.h>
#include <string.h>

#include "bytes.h"
#include "platform.h"
#include "vbug.h"

// Codes up to HUFFMAN_TABLE_BITS long are decoded with one table look-up,
// up to HUFFMAN_TABLE_BITS + HUFFMAN_SUB_BITS with two; longer ones continue
// bit by bit from the node the second table names.
#define HUFFMAN_TABLE_SIZE (1u << HUFFMAN_TABLE_BITS)
#define HUFFMAN_ENTRY_DEEP 0u      // code longer than the table: look on
#define HUFFMAN_ENTRY_MISSING 15u  // the bits lead to a missing child
// Every second-level table and deep node stands for a subtree of at least
// two leaves, so a tree of 256 leaves needs at most 128 of each.
#define HUFFMAN_MAX_SUBTABLES 128
#define HUFFMAN_MAX_DEEP_NODES 128
#define HUFFMAN_MAX_CODE_BITS 64

static struct {
  int32_t default_capacity;
  uint32_t capacity;
  uint32_t growth_base;
  int32_t output_limit;
} huffman = {HUFFMAN_DEFAULT_CAPACITY, 0, 0, HUFFMAN_DEFAULT_OUTPUT_LIMIT};

// ---- Binary tree. ----------------------------------------------------------

void btree_init(BTREE *tree, HUFFMAN_RELEASE release) {
  tree->count = 0;
  tree->release = release;
  tree->root = NULL;
  tree->in_one_block = 0;
}

static BTREE_NODE *btree_new_node(void *data) {
  BTREE_NODE *node = (BTREE_NODE *)PLATFORM_malloc(sizeof(BTREE_NODE));
  if (node == NULL) return NULL;
  node->data = data;
  node->left = NULL;
  node->right = NULL;
  return node;
}

unsigned char btree_insert(BTREE *tree, BTREE_NODE *parent, void *data) {
  BTREE_NODE **place = parent == NULL ? &tree->root : &parent->left;
  if (parent == NULL && tree->count != 0) return 0;
  if (*place != NULL) return 0;
  *place = btree_new_node(data);
  if (*place == NULL) return 0;
  tree->count++;
  return 1;
}

// Hangs the roots of the two donors below the root of tree, adds their node
// counts and leaves both donors empty.
static void btree_adopt(BTREE *tree, BTREE *left_tree, BTREE *right_tree) {
  tree->root->left = left_tree->root;
  tree->root->right = right_tree->root;
  tree->count += left_tree->count + right_tree->count;
  left_tree->root = NULL;
  left_tree->count = 0;
  right_tree->root = NULL;
  right_tree->count = 0;
}

unsigned char btree_join(BTREE *tree, BTREE *left_tree, BTREE *right_tree, void *data) {
  btree_init(tree, left_tree->release);
  if (!btree_insert(tree, NULL, data)) {
    btree_clear(tree);
    return 0;
  }
  btree_adopt(tree, left_tree, right_tree);
  return 1;
}

static void btree_release_nodes(BTREE_NODE *node, HUFFMAN_RELEASE release) {
  if (node == NULL) return;
  btree_release_nodes(node->left, release);
  btree_release_nodes(node->right, release);
  if (release != NULL) release(node->data);
  PLATFORM_free(node);
}

void btree_clear(BTREE *tree) {
  if (!tree->in_one_block) btree_release_nodes(tree->root, tree->release);
  memset(tree, 0, sizeof *tree);
}

// ---- Priority queue. -------------------------------------------------------

void pqueue_init(PQUEUE *queue, HUFFMAN_COMPARE compare, HUFFMAN_RELEASE release) {
  queue->count = 0;
  queue->compare = compare;
  queue->release = release;
  queue->items = NULL;
}

static void pqueue_swap(PQUEUE *queue, int32_t a, int32_t b) {
  void *item = queue->items[a];
  queue->items[a] = queue->items[b];
  queue->items[b] = item;
}

// The item array has room for the next power of two at or above the count,
// so it is reallocated only when the count reaches one.
static unsigned char pqueue_is_full(const PQUEUE *queue) {
  return (queue->count & (queue->count - 1)) == 0;
}

unsigned char pqueue_push(PQUEUE *queue, void *item) {
  if (pqueue_is_full(queue)) {
    size_t room = queue->count == 0 ? 1 : 2 * (size_t)queue->count;
    void **items = (void **)PLATFORM_realloc(queue->items, sizeof(void *) * room);
    if (items == NULL) return 0;
    queue->items = items;
  }
  void **items = queue->items;
  int32_t n = queue->count;
  items[n] = item;
  while (n > 0) {
    int32_t p = (n - 1) / 2;
    if (queue->compare(items[p], items[n]) >= 0) break;
    pqueue_swap(queue, p, n);
    n = p;
  }
  queue->count++;
  return 1;
}

static void pqueue_sift_down(PQUEUE *queue) {
  int32_t i = 0;
  for (;;) {
    int32_t m = i, left = 2 * i + 1, right = 2 * i + 2;
    if (left < queue->count && queue->compare(queue->items[left], queue->items[i]) > 0) m = left;
    if (right < queue->count && queue->compare(queue->items[right], queue->items[m]) > 0) m = right;
    if (m == i) return;
    pqueue_swap(queue, i, m);
    i = m;
  }
}

unsigned char pqueue_pop(PQUEUE *queue, void **out) {
  if (queue->count == 0) return 0;
  *out = queue->items[0];
  if (queue->count == 1) {
    PLATFORM_free(queue->items);
    queue->items = NULL;
    queue->count = 0;
    return 1;
  }
  queue->count--;
  queue->items[0] = queue->items[queue->count];
  pqueue_sift_down(queue);
  return 1;
}

void pqueue_destroy(PQUEUE *queue) {
  for (int32_t i = 0; i < queue->count; i++) {
    if (queue->release != NULL) queue->release(queue->items[i]);
  }
  PLATFORM_free(queue->items);
  memset(queue, 0, sizeof *queue);
}

// ---- Output growth. --------------------------------------------------------

void HUFFMAN_set_output_limit(int32_t limit) {
  VBUG_TRACE("HUFFMAN_set_output_limit");
  if (limit > 0) huffman.output_limit = limit;
}

void huffman_set_realloc_default(int32_t size) {
  VBUG_TRACE("huffman_set_realloc_default");
  if (size > 0) huffman.default_capacity = size;
}

unsigned char *huffman_init_realloc(int32_t request) {
  VBUG_TRACE("huffman_init_realloc");
  int32_t capacity = request > huffman.default_capacity ? request : huffman.default_capacity;
  unsigned char *buffer = (unsigned char *)PLATFORM_malloc((size_t)capacity);
  if (buffer == NULL) return NULL;
  huffman.capacity = (uint32_t)capacity;
  huffman.growth_base = (uint32_t)capacity;
  return buffer;
}

unsigned char *huffman_realloc(unsigned char *buffer, uint32_t needed) {
  VBUG_TRACE("huffman_realloc");
  if (needed <= huffman.capacity) return buffer;
  uint32_t grown = huffman.capacity + huffman.growth_base / 5;
  unsigned char *moved = (unsigned char *)PLATFORM_realloc(buffer, grown);
  if (moved == NULL) return NULL;
  huffman.capacity = grown;
  return moved;
}

uint32_t huffman_current_capacity(void) {
  return huffman.capacity;
}

// ---- Tree build. -----------------------------------------------------------

int huffman_compare_freq(const void *a, const void *b) {
  VBUG_TRACE("huffman_compare_freq");
  int32_t wa = ((const HUFFMAN_SYMBOL *)((const BTREE *)a)->root->data)->weight;
  int32_t wb = ((const HUFFMAN_SYMBOL *)((const BTREE *)b)->root->data)->weight;
  if (wa < wb) return 1;
  if (wa > wb) return -1;
  return 0;
}

// The records of one tree build, all in one heap block: the finished tree's
// record first (so that freeing it frees the block), then for each of the
// 2L - 1 trees of the build its record, its root node and its symbol.
typedef struct HUFFMAN_TREE_BLOCK {
  BTREE finished;
  BTREE *trees;
  BTREE_NODE *nodes;
  HUFFMAN_SYMBOL *symbols;
  int32_t used;  // trees handed out so far
} HUFFMAN_TREE_BLOCK;

// A block for a build of `leaves` leaves, or null when the heap refuses.
static HUFFMAN_TREE_BLOCK *huffman_new_tree_block(int32_t leaves) {
  size_t trees = 2 * (size_t)leaves - 1;
  size_t bytes = sizeof(HUFFMAN_TREE_BLOCK) +
                 trees * (sizeof(BTREE) + sizeof(BTREE_NODE) + sizeof(HUFFMAN_SYMBOL));
  HUFFMAN_TREE_BLOCK *block = (HUFFMAN_TREE_BLOCK *)PLATFORM_malloc(bytes);
  if (block == NULL) return NULL;
  block->trees = (BTREE *)(block + 1);
  block->nodes = (BTREE_NODE *)(block->trees + trees);
  block->symbols = (HUFFMAN_SYMBOL *)(block->nodes + trees);
  block->used = 0;
  return block;
}

// The block's next one-node tree, holding (value, weight) and no children.
static BTREE *huffman_block_tree(HUFFMAN_TREE_BLOCK *block, uint8_t value, int32_t weight) {
  int32_t k = block->used++;
  HUFFMAN_SYMBOL *symbol = &block->symbols[k];
  symbol->value = value;
  symbol->weight = weight;
  BTREE_NODE *node = &block->nodes[k];
  node->data = symbol;
  node->left = NULL;
  node->right = NULL;
  BTREE *tree = &block->trees[k];
  btree_init(tree, NULL);
  tree->root = node;
  tree->count = 1;
  return tree;
}

static int32_t huffman_root_weight(const BTREE *tree) {
  return ((const HUFFMAN_SYMBOL *)tree->root->data)->weight;
}

// Pops two trees and pushes their join (first popped on the left), hung as
// btree_join hangs them, with the new root from the block. Returns 0 when
// the queue cannot take it.
static unsigned char huffman_join_lightest(PQUEUE *queue, HUFFMAN_TREE_BLOCK *block) {
  void *x = NULL, *y = NULL;
  if (!pqueue_pop(queue, &x) || !pqueue_pop(queue, &y)) return 0;
  BTREE *left = (BTREE *)x, *right = (BTREE *)y;
  BTREE *joined =
      huffman_block_tree(block, 0, huffman_root_weight(left) + huffman_root_weight(right));
  btree_adopt(joined, left, right);
  return pqueue_push(queue, joined);
}

void huffman_destroy_node(void *data) {
  VBUG_TRACE("huffman_destroy_node");
  PLATFORM_free(data);
}

void huffman_destroy_tree(void *tree) {
  VBUG_TRACE("huffman_destroy_tree");
  if (tree == NULL) return;
  btree_clear((BTREE *)tree);
  PLATFORM_free(tree);
}

// Moves the last tree of the build into the block's own record, which
// becomes the finished tree.
static BTREE *huffman_finish_tree(HUFFMAN_TREE_BLOCK *block, BTREE *last) {
  block->finished = *last;
  block->finished.in_one_block = 1;
  return &block->finished;
}

int32_t huffman_build_tree(const int32_t *weights, BTREE **tree_out) {
  VBUG_TRACE("huffman_build_tree");
  *tree_out = NULL;
  int32_t leaves = 0;
  for (int value = 0; value < 256; value++) leaves += weights[value] != 0;
  if (leaves == 0) return -1;
  HUFFMAN_TREE_BLOCK *block = huffman_new_tree_block(leaves);
  if (block == NULL) return -1;
  // The queue's trees live in the block: the queue releases none of them.
  PQUEUE queue;
  pqueue_init(&queue, huffman_compare_freq, NULL);
  unsigned char ok = 1;
  for (int value = 0; ok && value < 256; value++) {
    if (weights[value] != 0)
      ok = pqueue_push(&queue, huffman_block_tree(block, (uint8_t)value, weights[value]));
  }
  for (int32_t i = 0; ok && i + 1 < leaves; i++) ok = huffman_join_lightest(&queue, block);
  void *last = NULL;
  if (!ok || !pqueue_pop(&queue, &last)) {
    pqueue_destroy(&queue);
    PLATFORM_free(block);
    return -1;
  }
  pqueue_destroy(&queue);
  *tree_out = huffman_finish_tree(block, (BTREE *)last);
  return 0;
}

// ---- Decoding. -------------------------------------------------------------

static uint8_t huffman_node_value(const BTREE_NODE *node) {
  return ((const HUFFMAN_SYMBOL *)node->data)->value;
}

static int huffman_is_leaf(const BTREE_NODE *node) {
  return node->left == NULL && node->right == NULL;
}

// The decoding tables, rebuilt from the tree for every stream.
// - entry: for every HUFFMAN_TABLE_BITS-bit window, the one code that starts
//   it as value | length << 8; or DEEP with the index of a second-level table
//   in bits 16 and up; or MISSING.
// - sub: second-level tables of up to HUFFMAN_SUB_BITS bits each, for the
//   bits that follow a DEEP window, in the same form (lengths counted from
//   the end of the window); DEEP there gives the index in `deep` of the node
//   from which the rest of the code is walked bit by bit.
// - multi: for every window, as many whole codes (up to three) as it holds:
//   their total length in bits 0 to 5 (so that it can be the shift count as
//   it is), their values in bits 6 to 29, their number in bits 30 and 31;
//   0 when the first is not a short code (DEEP or MISSING).
typedef struct HUFFMAN_TABLE {
  uint32_t multi[HUFFMAN_TABLE_SIZE];
  uint32_t entry[HUFFMAN_TABLE_SIZE];
  uint32_t sub[HUFFMAN_MAX_SUBTABLES << HUFFMAN_SUB_BITS];
  uint8_t sub_bits[HUFFMAN_MAX_SUBTABLES];
  const BTREE_NODE *deep[HUFFMAN_MAX_DEEP_NODES];
  int subtables;
  int deep_nodes;
} HUFFMAN_TABLE;

static uint32_t huffman_entry_length(uint32_t entry) {
  return (entry >> 8) & 0xFFu;
}

static void huffman_fill_range(uint32_t *table, int bits, uint32_t prefix, int depth,
                               uint32_t entry) {
  uint32_t span = 1u << (bits - depth);
  uint32_t *first = table + (prefix << (bits - depth));
  for (uint32_t i = 0; i < span; i++) first[i] = entry;
}

// The number of bit steps from node down to its deepest leaf.
static int huffman_height(const BTREE_NODE *node) {
  if (node == NULL || huffman_is_leaf(node)) return 0;
  int left = huffman_height(node->left), right = huffman_height(node->right);
  return 1 + (left > right ? left : right);
}

static unsigned char huffman_fill_level(HUFFMAN_TABLE *table, uint32_t *level, int bits,
                                        unsigned char is_sub, const BTREE_NODE *node,
                                        uint32_t prefix, int depth);

// The entry for a node reached after all `bits` bits of a first-level (is_sub
// 0) or second-level window, with its second-level table or deep node set up.
// Returns 0 when the tables have no room left (never for a tree of joins).
static unsigned char huffman_deep_entry(HUFFMAN_TABLE *table, const BTREE_NODE *node,
                                        unsigned char is_sub, uint32_t *entry) {
  if (is_sub) {
    if (table->deep_nodes == HUFFMAN_MAX_DEEP_NODES) return 0;
    table->deep[table->deep_nodes] = node;
    *entry = HUFFMAN_ENTRY_DEEP << 8 | (uint32_t)table->deep_nodes++ << 16;
    return 1;
  }
  if (table->subtables == HUFFMAN_MAX_SUBTABLES) return 0;
  int index = table->subtables++;
  int height = huffman_height(node);
  int bits = height < HUFFMAN_SUB_BITS ? height : HUFFMAN_SUB_BITS;
  table->sub_bits[index] = (uint8_t)bits;
  *entry = HUFFMAN_ENTRY_DEEP << 8 | (uint32_t)index << 16;
  return huffman_fill_level(table, table->sub + ((uint32_t)index << HUFFMAN_SUB_BITS), bits, 1,
                            node, 0, 0);
}

// Fills the `bits`-bit table `level` (first level, or second when is_sub)
// for the codes below node, which the bits `prefix` (depth of them) lead to.
// Returns 0 when out of room.
static unsigned char huffman_fill_level(HUFFMAN_TABLE *table, uint32_t *level, int bits,
                                        unsigned char is_sub, const BTREE_NODE *node,
                                        uint32_t prefix, int depth) {
  if (depth > 0 && huffman_is_leaf(node)) {
    huffman_fill_range(level, bits, prefix, depth, huffman_node_value(node) | (uint32_t)depth << 8);
    return 1;
  }
  if (depth == bits) {
    return huffman_deep_entry(table, node, is_sub, &level[prefix]);
  }
  const BTREE_NODE *children[2] = {node->left, node->right};
  for (uint32_t bit = 0; bit < 2; bit++) {
    if (children[bit] == NULL) {
      huffman_fill_range(level, bits, prefix << 1 | bit, depth + 1, HUFFMAN_ENTRY_MISSING << 8);
    } else if (!huffman_fill_level(table, level, bits, is_sub, children[bit], prefix << 1 | bit,
                                   depth + 1)) {
      return 0;
    }
  }
  return 1;
}

// Packs the whole short codes at the start of every window into `multi`. A
// code after the first belongs when its length fits the bits left: those
// bits alone then decide it, whatever follows the window.
static void huffman_fill_multi(HUFFMAN_TABLE *table) {
  const uint32_t mask = HUFFMAN_TABLE_SIZE - 1;
  for (uint32_t window = 0; window < HUFFMAN_TABLE_SIZE; window++) {
    uint32_t values = 0, used = 0, count = 0;
    while (count < 3 && used < HUFFMAN_TABLE_BITS) {
      uint32_t entry = table->entry[(window << used) & mask];
      uint32_t length = huffman_entry_length(entry);
      if (length == HUFFMAN_ENTRY_DEEP || used + length > HUFFMAN_TABLE_BITS) break;
      values |= (entry & 0xFFu) << (8 * count);
      used += length;
      count++;
    }
    table->multi[window] = count == 0 ? 0 : used | values << 6 | count << 30;
  }
}

// Builds every table for the tree. Returns 0 when they do not fit.
static unsigned char huffman_build_table(HUFFMAN_TABLE *table, const BTREE_NODE *root) {
  table->subtables = 0;
  table->deep_nodes = 0;
  if (!huffman_fill_level(table, table->entry, HUFFMAN_TABLE_BITS, 0, root, 0, 0)) return 0;
  huffman_fill_multi(table);
  return 1;
}

// The length of the shortest code in the tree (1 for a one-leaf root).
static int huffman_min_depth(const BTREE_NODE *node) {
  if (node == NULL) return HUFFMAN_MAX_CODE_BITS;
  if (huffman_is_leaf(node)) return 0;
  int left = huffman_min_depth(node->left), right = huffman_min_depth(node->right);
  return 1 + (left < right ? left : right);
}

// Reads code bits, most significant first, never past the stream's end.
// The unread bits sit at the top of `acc`; the bits below them are zero or
// the stream's next bits.
typedef struct HUFFMAN_BITS {
  uint64_t acc;
  int count;  // unread bits in acc, at most 63
  const unsigned char *next;
  const unsigned char *end;
} HUFFMAN_BITS;

static uint64_t huffman_load_be64(const unsigned char *bytes) {
  uint64_t value;
  memcpy(&value, bytes, sizeof value);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  value = __builtin_bswap64(value);
#endif
  return value;
}

// Tops acc up a byte at a time, as far as the stream goes.
static void huffman_refill_checked(HUFFMAN_BITS *bits) {
  while (bits->count < 56 && bits->next < bits->end) {
    bits->acc |= (uint64_t)*bits->next++ << (56 - bits->count);
    bits->count += 8;
  }
}

static inline void huffman_consume(HUFFMAN_BITS *bits, int count) {
  bits->acc <<= count;
  bits->count -= count;
}

// Walks on bit by bit from `node` to a leaf. Returns 0 when the bits run out
// or lead to a missing child.
static unsigned char huffman_walk(HUFFMAN_BITS *bits, const BTREE_NODE *node, uint8_t *value) {
  while (!huffman_is_leaf(node)) {
    if (bits->count == 0) huffman_refill_checked(bits);
    if (bits->count == 0) return 0;
    node = bits->acc >> 63 ? node->right : node->left;
    huffman_consume(bits, 1);
    if (node == NULL) return 0;
  }
  *value = huffman_node_value(node);
  return 1;
}

// Takes the code that `entry` of a `table_bits`-bit table names (first
// level, or second when is_sub), or, for DEEP, looks on in the second level
// or walks on below it. Returns 0 when the bits run out or lead to a missing
// child.
static unsigned char huffman_take_entry(const HUFFMAN_TABLE *table, HUFFMAN_BITS *bits,
                                        uint32_t entry, int table_bits, unsigned char is_sub,
                                        uint8_t *value) {
  uint32_t length = huffman_entry_length(entry);
  if (length == HUFFMAN_ENTRY_MISSING || (int)length > bits->count) return 0;
  if (length != HUFFMAN_ENTRY_DEEP) {
    huffman_consume(bits, (int)length);
    *value = (uint8_t)entry;
    return 1;
  }
  if (bits->count < table_bits) return 0;
  huffman_consume(bits, table_bits);
  huffman_refill_checked(bits);
  uint32_t index = entry >> 16;
  if (is_sub) return huffman_walk(bits, table->deep[index], value);
  int sub_bits = table->sub_bits[index];
  uint32_t sub = table->sub[(index << HUFFMAN_SUB_BITS) + (uint32_t)(bits->acc >> (64 - sub_bits))];
  return huffman_take_entry(table, bits, sub, sub_bits, 1, value);
}

// Decodes one code with every bit checked. Returns 0 when it cannot. Kept
// out of line, so that the fast loop keeps its reader in registers.
__attribute__((noinline)) static unsigned char huffman_decode_one(const HUFFMAN_TABLE *table,
                                                                  HUFFMAN_BITS *bits,
                                                                  unsigned char *out) {
  huffman_refill_checked(bits);
  uint32_t entry = table->entry[bits->acc >> (64 - HUFFMAN_TABLE_BITS)];
  return huffman_take_entry(table, bits, entry, HUFFMAN_TABLE_BITS, 0, out);
}

// Stores the three value bytes of a multi entry (and one byte more, which
// the next codes overwrite) at out.
static inline void huffman_put_values(unsigned char *out, uint32_t values) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  memcpy(out, &values, sizeof values);
#else
  BYTES_write_le32(out, values);
#endif
}

// Decodes n bytes into out. Returns 0 when the stream cannot produce them.
// While 8 bytes of stream and 16 of output are left, one load feeds four
// look-ups of up to three codes each; the rest goes code by code, checked.
// The fast loop keeps the reader in plain locals (whose address is never
// taken), so that the byte stores to out cannot alias them.
static unsigned char huffman_decode_bits(const HUFFMAN_TABLE *table, HUFFMAN_BITS *bits,
                                         unsigned char *out, int32_t n) {
  int32_t j = 0;
  uint64_t acc = bits->acc;
  int count = bits->count;
  const unsigned char *next = bits->next;
  while (bits->end - next >= 8 && n - j >= 16) {
    acc |= huffman_load_be64(next) >> count;
    next += (63 - count) >> 3;
    count |= 56;
    for (int look = 0; look < 4; look++) {
      uint32_t entry = table->multi[acc >> (64 - HUFFMAN_TABLE_BITS)];
      if (entry == 0) {
        HUFFMAN_BITS slow = {acc, count, next, bits->end};
        if (!huffman_decode_one(table, &slow, out + j)) return 0;
        acc = slow.acc;
        count = slow.count;
        next = slow.next;
        j++;
        break;
      }
      huffman_put_values(out + j, entry >> 6);
      acc <<= entry & 63u;
      count -= (int)(entry & 63u);
      j += (int32_t)(entry >> 30);
    }
  }
  bits->acc = acc;
  bits->count = count;
  bits->next = next;
  for (; j < n; j++)
    if (!huffman_decode_one(table, bits, out + j)) return 0;
  return 1;
}

// Reads N (little-endian) and the weights; returns the count of non-zero ones.
static int32_t huffman_read_header(const unsigned char *stream, int32_t *n, int32_t *weights) {
  *n = (int32_t)BYTES_read_le32(stream);
  int32_t symbols = 0;
  for (int i = 0; i < 256; i++) {
    weights[i] = stream[4 + i];
    if (weights[i] != 0) symbols++;
  }
  return symbols;
}

// Outputs shorter than this are decoded by walking the tree code by code:
// filling the look-up tables would cost more than they save.
#define HUFFMAN_TABLE_MIN_OUTPUT 1024

// Decodes n bytes into out by walking the tree from its root for each one.
// Returns 0 when the bits run out or lead to a missing child.
static unsigned char huffman_walk_all(const BTREE_NODE *root, HUFFMAN_BITS *bits,
                                      unsigned char *out, int32_t n) {
  for (int32_t j = 0; j < n; j++)
    if (!huffman_walk(bits, root, out + j)) return 0;
  return 1;
}

// The code-bit part of a stream with two or more symbols into a buffer of
// at least n bytes. Returns 0 when the bits cannot produce n bytes.
static unsigned char huffman_decode_stream(const BTREE *tree, const unsigned char *stream,
                                           int32_t stream_length, unsigned char *out, int32_t n) {
  int64_t available = ((int64_t)stream_length - HUFFMAN_HEADER_SIZE) * 8;
  if ((int64_t)n * huffman_min_depth(tree->root) > available) return 0;
  HUFFMAN_BITS bits = {0, 0, stream + HUFFMAN_HEADER_SIZE, stream + stream_length};
  if (n < HUFFMAN_TABLE_MIN_OUTPUT) return huffman_walk_all(tree->root, &bits, out, n);
  HUFFMAN_TABLE *table = (HUFFMAN_TABLE *)PLATFORM_malloc(sizeof(HUFFMAN_TABLE));
  if (table == NULL) return 0;
  unsigned char ok =
      huffman_build_table(table, tree->root) && huffman_decode_bits(table, &bits, out, n);
  PLATFORM_free(table);
  return ok;
}

int32_t huffman_uncompress(const unsigned char *stream, int32_t stream_length,
                           unsigned char **buffer_out) {
  VBUG_TRACE("huffman_uncompress");
  *buffer_out = NULL;
  if (stream == NULL || stream_length < HUFFMAN_HEADER_SIZE) return -1;
  int32_t n = 0, weights[256];
  int32_t symbols = huffman_read_header(stream, &n, weights);
  // Streams that cannot give N bytes fail before the tree is built: N above
  // the limit, or fewer code bits than N with every code at least one bit.
  int64_t code_bits = ((int64_t)stream_length - HUFFMAN_HEADER_SIZE) * 8;
  if (n > huffman.output_limit || (symbols > 1 && (int64_t)n > code_bits)) return -1;
  BTREE *tree = NULL;
  if (huffman_build_tree(weights, &tree) != 0) return -1;
  if (n <= 0) {
    huffman_destroy_tree(tree);
    return 0;
  }
  unsigned char *out = huffman_init_realloc(n);
  unsigned char ok = out != NULL;
  if (ok && symbols == 1) memset(out, huffman_node_value(tree->root), (size_t)n);
  if (ok && symbols > 1) ok = huffman_decode_stream(tree, stream, stream_length, out, n);
  huffman_destroy_tree(tree);
  if (!ok) {
    PLATFORM_free(out);
    return -1;
  }
  *buffer_out = out;
  return n;
}

unsigned char *HUFFMAN_uncompress(const unsigned char *stream, int32_t stream_length,
                                  int32_t *out_length) {
  VBUG_TRACE("HUFFMAN_uncompress");
  huffman_set_realloc_default(stream_length);
  unsigned char *buffer = NULL;
  int32_t n = huffman_uncompress(stream, stream_length, &buffer);
  if (out_length != NULL) *out_length = n;
  return n == -1 ? NULL : buffer;
}

// ---- Encoding. -------------------------------------------------------------

typedef struct HUFFMAN_CODE {
  uint64_t bits;
  int length;
} HUFFMAN_CODE;

// Records the code of every leaf below node. Returns 0 for a code too long.
static unsigned char huffman_collect_codes(const BTREE_NODE *node, uint64_t bits, int length,
                                           HUFFMAN_CODE *codes) {
  if (huffman_is_leaf(node)) {
    codes[huffman_node_value(node)].bits = bits;
    codes[huffman_node_value(node)].length = length;
    return 1;
  }
  if (length >= HUFFMAN_MAX_CODE_BITS) return 0;
  return huffman_collect_codes(node->left, bits << 1, length + 1, codes) &&
         huffman_collect_codes(node->right, bits << 1 | 1, length + 1, codes);
}

// Weights 1..255 in proportion to the counts (0 for absent values); an empty
// input gets one symbol so that the stream still has a tree.
static void huffman_scale_weights(const uint32_t *counts, int32_t *weights) {
  uint32_t top = 0;
  for (int i = 0; i < 256; i++) top = counts[i] > top ? counts[i] : top;
  for (int i = 0; i < 256; i++) {
    uint64_t scaled = top ? ((uint64_t)counts[i] * 255 + top / 2) / top : 0;
    weights[i] = counts[i] == 0 ? 0 : scaled == 0 ? 1 : (int32_t)scaled;
  }
  if (top == 0) weights[0] = 1;
}

static void huffman_write_header(unsigned char *stream, int32_t n, const int32_t *weights) {
  BYTES_write_le32(stream, (uint32_t)n);
  for (int i = 0; i < 256; i++) stream[4 + i] = (unsigned char)weights[i];
}

// Writes the codes of data after the header; the stream must be zero-filled.
static void huffman_write_codes(unsigned char *stream, const unsigned char *data, int32_t length,
                                const HUFFMAN_CODE *codes) {
  uint64_t position = (uint64_t)HUFFMAN_HEADER_SIZE * 8;
  for (int32_t j = 0; j < length; j++) {
    const HUFFMAN_CODE *code = &codes[data[j]];
    for (int b = code->length - 1; b >= 0; b--, position++) {
      if ((code->bits >> b) & 1) stream[position / 8] |= (unsigned char)(0x80u >> (position % 8));
    }
  }
}

// The stream length for these codes, or -1 when it would not fit 32 bits.
static int64_t huffman_encoded_length(const uint32_t *counts, const HUFFMAN_CODE *codes,
                                      int symbols) {
  uint64_t bits = 0;
  if (symbols > 1) {
    for (int i = 0; i < 256; i++) bits += (uint64_t)counts[i] * (uint64_t)codes[i].length;
  }
  uint64_t total = HUFFMAN_HEADER_SIZE + (bits + 7) / 8;
  return total > INT32_MAX ? -1 : (int64_t)total;
}

unsigned char *HUFFMAN_compress(const unsigned char *data, int32_t length, int32_t *out_length) {
  VBUG_TRACE("HUFFMAN_compress");
  if (out_length != NULL) *out_length = -1;
  if (length < 0 || length > huffman.output_limit || (data == NULL && length > 0)) return NULL;
  uint32_t counts[256] = {0};
  for (int32_t j = 0; j < length; j++) counts[data[j]]++;
  int32_t weights[256];
  huffman_scale_weights(counts, weights);
  int symbols = 0;
  for (int i = 0; i < 256; i++) symbols += weights[i] != 0;
  BTREE *tree = NULL;
  if (huffman_build_tree(weights, &tree) != 0) return NULL;
  HUFFMAN_CODE codes[256];
  memset(codes, 0, sizeof codes);
  unsigned char ok = symbols == 1 || huffman_collect_codes(tree->root, 0, 0, codes);
  huffman_destroy_tree(tree);
  int64_t total = ok ? huffman_encoded_length(counts, codes, symbols) : -1;
  unsigned char *stream = total > 0 ? (unsigned char *)PLATFORM_calloc((size_t)total, 1) : NULL;
  if (stream == NULL) return NULL;
  huffman_write_header(stream, length, weights);
  if (symbols > 1) huffman_write_codes(stream, data, length, codes);
  if (out_length != NULL) *out_length = (int32_t)total;
  return stream;
}
