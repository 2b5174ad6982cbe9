// bytes: little-endian integers in byte buffers.
#include "bytes.h"

uint32_t BYTES_read_le16(const unsigned char *bytes) {
  return (uint32_t)bytes[0] | (uint32_t)bytes[1] << 8;
}

uint32_t BYTES_read_le32(const unsigned char *bytes) {
  return (uint32_t)bytes[0] | (uint32_t)bytes[1] << 8 | (uint32_t)bytes[2] << 16 |
         (uint32_t)bytes[3] << 24;
}

void BYTES_write_le32(unsigned char *bytes, uint32_t value) {
  for (int i = 0; i < 4; i++) bytes[i] = (unsigned char)(value >> (8 * i));
}
