// The appended payload: trailer parsing, the payload read and its failures.
#include <stdio.h>
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "Appndexe.h"
#include "memory.h"
#include "testutil.h"

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
