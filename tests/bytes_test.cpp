// Little-endian integers in byte buffers.
#include <string.h>

#include <gtest/gtest.h>

#include "bytes.h"

TEST(BytesRead, TakesTheLowByteFirstAtAnyAlignment) {
  struct Case {
    unsigned char bytes[4];
    uint32_t le16, le32;
  } cases[] = {
      {{0x00, 0x00, 0x00, 0x00}, 0x0000, 0x00000000u},
      {{0x01, 0x00, 0x00, 0x00}, 0x0001, 0x00000001u},
      {{0x44, 0x33, 0x22, 0x11}, 0x3344, 0x11223344u},
      {{'G', 'I', 'B', 'V'}, 0x4947, 0x56424947u},
      {{0xFF, 0xFF, 0xFF, 0xFF}, 0xFFFF, 0xFFFFFFFFu},
      {{0x00, 0x00, 0x00, 0x80}, 0x0000, 0x80000000u},
  };
  for (const Case &c : cases) {
    unsigned char buffer[8] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
    for (int at = 0; at <= 4; at += 1) {
      memcpy(buffer + at, c.bytes, 4);
      EXPECT_EQ(c.le32, BYTES_read_le32(buffer + at)) << std::hex << c.le32 << " at " << at;
      EXPECT_EQ(c.le16, BYTES_read_le16(buffer + at)) << std::hex << c.le16 << " at " << at;
    }
  }
  const unsigned char minus_one[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(-1, (int32_t)BYTES_read_le32(minus_one)) << "a signed field reads back by a cast";
}

TEST(BytesWrite, StoresFourBytesLowFirstAndNothingAround) {
  struct Case {
    uint32_t value;
    unsigned char bytes[4];
  } cases[] = {
      {0u, {0x00, 0x00, 0x00, 0x00}},           {0x11223344u, {0x44, 0x33, 0x22, 0x11}},
      {0x56424947u, {'G', 'I', 'B', 'V'}},      {0x80000000u, {0x00, 0x00, 0x00, 0x80}},
      {(uint32_t)-2, {0xFE, 0xFF, 0xFF, 0xFF}},
  };
  for (const Case &c : cases) {
    unsigned char buffer[7];
    memset(buffer, '#', sizeof buffer);
    BYTES_write_le32(buffer + 1, c.value);
    EXPECT_EQ(0, memcmp(buffer + 1, c.bytes, 4)) << std::hex << c.value;
    EXPECT_EQ('#', buffer[0]) << "wrote before the field";
    EXPECT_EQ('#', buffer[5]) << "wrote past the field";
    EXPECT_EQ(c.value, BYTES_read_le32(buffer + 1)) << std::hex << c.value;
  }
}
