// bytes: little-endian integers in byte buffers, as the payload trailer, the
// archive format and the Huffman stream store them. No module state.
#ifndef BYTES_H
#define BYTES_H

#include <stdint.h>

// Returns the 16-bit value stored little-endian in the two bytes at bytes,
// which must not be null.
uint32_t BYTES_read_le16(const unsigned char *bytes);

// Returns the 32-bit value stored little-endian in the four bytes at bytes,
// which must not be null. Callers that store a signed field cast the result.
uint32_t BYTES_read_le32(const unsigned char *bytes);

// Stores value little-endian in the four bytes at bytes, which must not be
// null and must have room for four bytes.
void BYTES_write_le32(unsigned char *bytes, uint32_t value);

#endif
