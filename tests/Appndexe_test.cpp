// The appended payload: trailer parsing, the payload read and its failures.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "Appndexe.h"
#include "memory.h"
#include "testutil.h"
#include "vfilbig.h"
#include "vfile.h"

namespace {

std::string le32(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; i++) bytes[i] = (char)(value >> (8 * i));
  return bytes;
}

std::string trailer(uint32_t length, const char *magic = "CVEL") {
  return le32(length) + magic;
}

class AppndexeTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(1, MEMORY_initialise()); }
  void TearDown() override {
    EXPECT_EQ(0, MEMORY_live_blocks());
    MEMORY_deinitialise();
  }
};

}  // namespace

TEST_F(AppndexeTest, ReadsExactlyThePayloadInFrontOfTheTrailer) {
  fnal_test::TempWorkDir dir;
  const std::string payload = std::string("GIBV\0\0\0\0", 8) + "members";
  fnal_test::write_file("Update.exe", "MZ image bytes" + payload + trailer(payload.size()));
  for (int with_size = 0; with_size < 2; with_size++) {
    int32_t size = -1;
    void *block = APPNDEXE_read_with_size("Update.exe", with_size ? &size : NULL);
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(payload, std::string((char *)block, payload.size()));
    if (with_size) {
      EXPECT_EQ((int32_t)payload.size(), size);
    }
    EXPECT_EQ(1, MEMORY_live_blocks());
    appndexe_deallocate(&block);
    EXPECT_EQ(nullptr, block);
  }
  EXPECT_EQ(0, remove("Update.exe")) << "the file was left open";
}

TEST_F(AppndexeTest, PayloadMayFillTheWholeFrontOfTheFile) {
  fnal_test::TempWorkDir dir;
  fnal_test::write_file("p.bin", "abc" + trailer(3));
  int32_t size = 0;
  void *block = APPNDEXE_read_with_size("p.bin", &size);
  ASSERT_NE(nullptr, block);
  EXPECT_EQ("abc", std::string((char *)block, 3));
  MEMORY_deallocate(&block, __FILE__, __LINE__);
}

TEST_F(AppndexeTest, RefusesBadFilesWithTheirMessage) {
  struct Case {
    const char *what;
    std::string content;  // null-like "-" means: no such file
    int32_t size;
    const char *message;
  } cases[] = {
      {"no trailer", "just an executable image", 0, "failed to get append info 'f.exe'"},
      {"length 0", "abc" + trailer(0), 0, "failed to get append info 'f.exe'"},
      {"top bit set", "abc" + trailer(0x80000003u), 0, "failed to get append info 'f.exe'"},
      {"lower-case magic", "abc" + trailer(3, "cvel"), 0, "failed to get append info 'f.exe'"},
      {"shorter than the magic", "CV", 0, "failed to get append info 'f.exe'"},
      {"length one too large", "abc" + trailer(4), 4, "error reading from file 'f.exe'"},
      {"length far beyond the file", "abc" + trailer(0x7FFFFFFF), 0x7FFFFFFF,
       "error reading from file 'f.exe'"},
      {"length beyond a tiny file", "ab" + trailer(5), 5, "error reading from file 'f.exe'"},
      {"missing file", "-", 0, "error openning file 'f.exe'"},
  };
  for (const Case &c : cases) {
    fnal_test::DiagnosticsCapture capture;
    if (c.content != "-") fnal_test::write_file("f.exe", c.content);
    int32_t size = 12345;
    EXPECT_EQ(nullptr, APPNDEXE_read_with_size("f.exe", &size)) << c.what;
    EXPECT_EQ(c.size, size) << c.what;
    EXPECT_NE(std::string::npos, capture.develop().find(c.message))
        << c.what << ": " << capture.develop();
    EXPECT_EQ(0, MEMORY_live_blocks()) << c.what;
    if (c.content != "-") {
      EXPECT_EQ(0, remove("f.exe")) << c.what << ": file left open";
    }
  }
}

TEST(AppndexeTrailer, LengthCodesAndPositionRestored) {
  fnal_test::TempWorkDir dir;
  struct Case {
    std::string content;
    int32_t expected;
  } cases[] = {
      {"xyz" + trailer(3), 3},
      {"xyz" + trailer(0xFFFFFFFEu), -2},  // read as signed; the caller refuses it
      {"xyz" + trailer(3, "CVEX"), -3},
      {"abc", -1},
      {"", -1},
  };
  for (const Case &c : cases) {
    fnal_test::write_file("t.bin", c.content);
    FILE *stream = fopen("t.bin", "rb");
    ASSERT_NE(nullptr, stream);
    if (c.content.size() > 1) {
      ASSERT_EQ(0, fseek(stream, 1, SEEK_SET));
    }
    EXPECT_EQ(c.expected, appendexe_get_append_len_ptr(stream)) << c.content.size();
    if (c.expected > 0) {
      EXPECT_EQ(1L, ftell(stream)) << "position restored";
    }
    fclose(stream);
  }
  EXPECT_EQ(-2, appendexe_get_append_len_ptr(NULL));
}

TEST(AppndexeTrailer, WrittenTrailerReadsBack) {
  fnal_test::TempWorkDir dir;
  FILE *stream = fopen("w.bin", "wb");
  ASSERT_NE(nullptr, stream);
  fputs("payload", stream);
  EXPECT_EQ(1, APPNDEXE_write_trailer(stream, 7));
  EXPECT_EQ(0, APPNDEXE_write_trailer(stream, 0));
  EXPECT_EQ(0, APPNDEXE_write_trailer(NULL, 7));
  fclose(stream);
  EXPECT_EQ("payload" + trailer(7), fnal_test::read_file("w.bin"));
}

// ---- Signed images: the trailer in front of a certificate table. ----------

namespace {

std::string le16(uint32_t value) {
  return std::string{(char)(value & 0xFF), (char)((value >> 8) & 0xFF)};
}

// Offsets in the PE headers built below (DOS header of 64 bytes, then the
// PE signature, the COFF header and the optional header).
const size_t kPeHeader = 0x40, kOptional = kPeHeader + 24;

// A PE image's headers, byte by byte: "MZ", e_lfanew, "PE\0\0", a COFF
// header giving the optional header's size, and an optional header (PE32
// 0x10B or PE32+ 0x20B) with 16 data directories, all zero.
std::string pe_headers(uint32_t kind = 0x10B) {
  uint32_t directories_at = kind == 0x10B ? 96 : 112;
  uint32_t optional_size = directories_at + 16 * 8;
  std::string dos = "MZ" + std::string(0x3C - 2, '\0') + le32((uint32_t)kPeHeader);
  std::string coff = le16(0x14C) + std::string(14, '\0') + le16(optional_size) + le16(0x102);
  std::string optional = le16(kind) + std::string(optional_size - 2, '\0');
  optional.replace(directories_at - 4, 4, le32(16));
  return dos + "PE" + std::string(2, '\0') + coff + optional;
}

size_t security_entry_at(uint32_t kind) {
  return kOptional + (kind == 0x10B ? 96 : 112) + 4 * 8;
}

// A signed launcher: headers, image bytes, payload A and its trailer, the
// zero padding, and a certificate table whose own last bytes happen to be a
// trailer too (payload B = "table bytes"), so that reading by the plain
// end-of-file rule gives B and reading in front of the table gives A.
struct Signed {
  std::string file;
  std::string in_front;  // what the reader must find in front of the table
};
const std::string kPayloadA = "GIBV archive A", kPayloadB = "table bytes";

Signed signed_file(size_t padding, uint32_t kind = 0x10B) {
  std::string unsigned_part = pe_headers(kind) + "image";
  // Image bytes chosen so that `padding` zeros reach an 8-byte boundary.
  size_t tail = kPayloadA.size() + APPNDEXE_TRAILER_SIZE;
  while ((unsigned_part.size() + tail + padding) % 8 != 0) unsigned_part += 'i';
  unsigned_part += kPayloadA + trailer((uint32_t)kPayloadA.size());
  std::string table = kPayloadB + trailer((uint32_t)kPayloadB.size());
  std::string file = unsigned_part + std::string(padding, '\0');
  size_t offset = file.size();
  file += table;
  file.replace(security_entry_at(kind), 8, le32((uint32_t)offset) + le32((uint32_t)table.size()));
  return {file, kPayloadA};
}

// Reads `content` as a file both ways: the payload block and the length
// from an open stream (whose position must come back).
struct Read {
  std::string block;  // "<null>" when the read failed
  int32_t length;
};
Read read_both_ways(const std::string &content) {
  fnal_test::write_file("s.exe", content);
  Read result = {"<null>", 0};
  int32_t size = 0;
  void *block = APPNDEXE_read_with_size("s.exe", &size);
  if (block != NULL) result.block.assign((char *)block, (size_t)size);
  if (block != NULL) appndexe_deallocate(&block);
  FILE *stream = fopen("s.exe", "rb");
  if (stream == NULL) return result;
  fseek(stream, 2, SEEK_SET);
  result.length = appendexe_get_append_len_ptr(stream);
  EXPECT_EQ(2L, ftell(stream)) << "position restored";
  fclose(stream);
  return result;
}

}  // namespace

TEST_F(AppndexeTest, FindsThePayloadInFrontOfACertificateTableWithItsPadding) {
  fnal_test::TempWorkDir dir;
  for (uint32_t kind : {0x10Bu, 0x20Bu}) {
    for (size_t padding = 0; padding <= 7; padding++) {
      SCOPED_TRACE("kind " + std::to_string(kind) + ", padding " + std::to_string(padding));
      Signed s = signed_file(padding, kind);
      Read read = read_both_ways(s.file);
      EXPECT_EQ(kPayloadA, read.block);
      EXPECT_EQ((int32_t)kPayloadA.size(), read.length);
    }
  }
}

TEST_F(AppndexeTest, MalformedOrMisplacedTablesFallBackToTheEndOfFile) {
  fnal_test::TempWorkDir dir;
  const size_t entry = security_entry_at(0x10B);
  const std::string base = signed_file(3).file;
  const uint32_t table_size = (uint32_t)(kPayloadB.size() + APPNDEXE_TRAILER_SIZE);
  const uint32_t offset = (uint32_t)(base.size() - table_size);
  struct Case {
    const char *what;
    size_t at;  // where to patch the well-formed signed file
    std::string bytes;
  } cases[] = {
      {"no MZ", 0, "XZ"},
      {"e_lfanew past the end", 0x3C, le32(0xFFFFFF00u)},
      {"e_lfanew into the last bytes", 0x3C, le32((uint32_t)base.size() - 4)},
      {"no PE signature", kPeHeader, "PX"},
      {"unknown optional header", kOptional, le16(0x10C)},
      {"optional header too small for the entry", kPeHeader + 20, le16(96 + 4 * 8)},
      {"only four data directories", kOptional + 92, le32(4)},
      {"empty entry", entry, le32(offset) + le32(0)},
      {"table not at the end", entry, le32(offset) + le32(table_size - 1)},
      {"table past the end", entry, le32(offset) + le32(table_size + 1)},
      {"offset past the end", entry, le32(0xFFFFFFF0u) + le32(table_size)},
      {"offset and size wrapping around", entry, le32(0xFFFFFFF0u) + le32(0x20u)},
      {"offset 0", entry, le32(0) + le32((uint32_t)base.size())},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    std::string file = base;
    file.replace(c.at, c.bytes.size(), c.bytes);
    Read read = read_both_ways(file);
    EXPECT_EQ(kPayloadB, read.block) << "the plain end-of-file rule";
    EXPECT_EQ((int32_t)kPayloadB.size(), read.length);
  }
}

// Headers, image bytes up to an 8-byte boundary, and a certificate table.
std::string signed_without_payload() {
  std::string file = pe_headers() + "image";
  while (file.size() % 8 != 0) file += 'i';
  std::string table = "certificate table";
  file.replace(security_entry_at(0x10B), 8,
               le32((uint32_t)file.size()) + le32((uint32_t)table.size()));
  return file + table;
}

TEST_F(AppndexeTest, HeadersCutShortAndUnsignedImagesReadAsBefore) {
  fnal_test::TempWorkDir dir;
  const std::string payload = "\x0B\x01 payload";  // looks like an optional header's magic
  const std::string headers = pe_headers();
  struct Case {
    const char *what;
    std::string file;
    std::string block;
    int32_t length;
  } cases[] = {
      {"MZ stub only", "MZ" + payload + trailer((uint32_t)payload.size()), payload,
       (int32_t)payload.size()},
      {"cut inside the optional header",
       headers.substr(0, kOptional) + payload + trailer((uint32_t)payload.size()), payload,
       (int32_t)payload.size()},
      {"unsigned image", headers + payload + trailer((uint32_t)payload.size()), payload,
       (int32_t)payload.size()},
      {"unsigned image without payload", headers, "<null>", -3},
      {"signed image without payload", signed_without_payload(), "<null>", -3},
      {"cut inside the DOS header", "MZ\x01", "<null>", -1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Read read = read_both_ways(c.file);
    EXPECT_EQ(c.block, read.block);
    EXPECT_EQ(c.length, read.length);
  }
}

TEST_F(AppndexeTest, ReportsWhereTheCertificateTableIs) {
  fnal_test::TempWorkDir dir;
  Signed s = signed_file(5);
  std::string cases[] = {s.file, s.file + "more"};
  for (int more = 0; more < 2; more++) {
    fnal_test::write_file("c.exe", cases[more]);
    FILE *stream = fopen("c.exe", "rb");
    ASSERT_NE(nullptr, stream);
    APPNDEXE_CERTIFICATE_TABLE table;
    ASSERT_EQ(1, APPNDEXE_find_certificate_table(stream, &table));
    EXPECT_EQ((int64_t)security_entry_at(0x10B), table.entry_position);
    EXPECT_EQ((int64_t)(kPayloadB.size() + APPNDEXE_TRAILER_SIZE), table.size);
    EXPECT_EQ((int64_t)s.file.size() - table.size, table.offset);
    EXPECT_EQ(more == 0, table.at_end == 1);
    EXPECT_EQ(more == 0 ? table.offset - 5 : (int64_t)cases[more].size(),
              APPNDEXE_payload_end(stream))
        << "the trailer ends before the padding";
    fclose(stream);
  }
  fnal_test::write_file("c.exe", "MZ plain");
  FILE *stream = fopen("c.exe", "rb");
  ASSERT_NE(nullptr, stream);
  APPNDEXE_CERTIFICATE_TABLE table;
  EXPECT_EQ(0, APPNDEXE_find_certificate_table(stream, &table));
  EXPECT_EQ(0, table.size);
  fclose(stream);
}

// ---- The integrity record at the end of the payload. ---------------------

namespace {

std::string with_record(const std::string &archive) {
  unsigned char record[APPNDEXE_RECORD_SIZE];
  EXPECT_EQ(1, APPNDEXE_make_record(archive.data(), (int32_t)archive.size(), record));
  return archive + std::string((char *)record, sizeof record);
}

std::string small_archive() {
  const char text[] = "member bytes";
  VBIG_MEMBER member = {"a.txt", VBIG_ENTRY_FILE, 0, -1, text, (int32_t)sizeof text - 1};
  const uint8_t date[4] = {0, 0, 0, 0};
  int32_t length = 0;
  unsigned char *block = VFILBIG_build_archive(&member, 1, "test", date, &length);
  EXPECT_NE(nullptr, block);
  std::string archive((char *)block, (size_t)length);
  free(block);
  return archive;
}

}  // namespace

TEST(AppndexeRecord, TellsGoodDamagedAndAbsentRecords) {
  const std::string archive = small_archive();
  const std::string good = with_record(archive);
  const size_t record_at = archive.size();
  EXPECT_EQ("VSUM", good.substr(record_at, 4));
  EXPECT_EQ(le32(file_check_value(archive.data(), (uint32_t)archive.size())),
            good.substr(record_at + 4, 4));
  EXPECT_EQ(le32((uint32_t)archive.size()), good.substr(record_at + 8, 4));
  auto flipped = [](std::string bytes, size_t at) {
    bytes[at] = (char)(bytes[at] ^ 0x01);
    return bytes;
  };
  struct Case {
    const char *what;
    std::string block;
    int expected;
    size_t archive_length;
  } cases[] = {
      {"good", good, APPNDEXE_RECORD_GOOD, archive.size()},
      {"first archive byte", flipped(good, 0), APPNDEXE_RECORD_DAMAGED, archive.size()},
      {"last member byte", flipped(good, record_at - 1), APPNDEXE_RECORD_DAMAGED, archive.size()},
      {"check value", flipped(good, record_at + 5), APPNDEXE_RECORD_DAMAGED, archive.size()},
      {"length", flipped(good, record_at + 8), APPNDEXE_RECORD_DAMAGED, archive.size()},
      {"one byte lost", good.substr(1), APPNDEXE_RECORD_DAMAGED, archive.size() - 1},
      {"absent", archive, APPNDEXE_RECORD_ABSENT, archive.size()},
      {"record alone", good.substr(record_at), APPNDEXE_RECORD_DAMAGED, 0},
      {"shorter than a record", "VSUM", APPNDEXE_RECORD_ABSENT, 4},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    int32_t length = -1;
    EXPECT_EQ(c.expected, APPNDEXE_check_record(c.block.data(), (int32_t)c.block.size(), &length));
    EXPECT_EQ((int32_t)c.archive_length, length);
  }
  EXPECT_EQ(APPNDEXE_RECORD_ABSENT, APPNDEXE_check_record(NULL, 20, NULL));
  unsigned char record[APPNDEXE_RECORD_SIZE];
  EXPECT_EQ(0, APPNDEXE_make_record(archive.data(), 0, record));
  EXPECT_EQ(0, APPNDEXE_make_record(NULL, 5, record));
}

TEST(AppndexeRecord, ReadersThatIgnoreTheRecordStillOpenTheArchive) {
  // An older launcher hands the whole payload, record included, to the
  // length-checked open: the bytes after the last member must not matter.
  ASSERT_EQ(1, MEMORY_initialise());
  ASSERT_EQ(1, VFILBIG_initialise(2));
  const std::string payload = with_record(small_archive());
  int32_t handle = VFILBIG_open_from_memory_with_size(payload.data(), (int32_t)payload.size());
  ASSERT_GE(handle, 0);
  int32_t length = 0;
  void *data = VFILBIG_read_file(handle, "a.txt", NULL, &length);
  ASSERT_NE(nullptr, data);
  EXPECT_EQ("member bytes", std::string((char *)data, (size_t)length));
  free(data);
  VFILBIG_deinitialise();
  MEMORY_deinitialise();
}
