// The archive reader: the record layout, opening from memory (with and
// without a length), path resolution, listing, reads and the error codes.
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "huffman.h"
#include "testutil.h"
#include "vbug.h"
#include "vfilbig.h"

namespace {

using fnal_test::le32;

std::string header(int32_t count) {
  return "GIBV" + le32(0) + le32(count);
}

// One 299-byte record written field by field, independently of the writer.
std::string record(const std::string &name, int type, int32_t parent, int32_t size, int flags = 0,
                   int32_t data_offset = 0) {
  std::string r = name + std::string(256 - name.size(), '\0');
  r += (char)type;
  r += (char)flags;
  r += '\0';
  r += le32(parent) + le32(size) + std::string(20, '\0') + "\x04\x04\xD2\x07";
  r += le32(0x11223344) + le32(data_offset);  // stored pointer: ignored
  return r;
}

std::string compressed(const std::string &text) {
  int32_t length = 0;
  unsigned char *stream =
      HUFFMAN_compress((const unsigned char *)text.data(), (int32_t)text.size(), &length);
  std::string bytes((char *)stream, length);
  free(stream);
  return bytes;
}

// art\data\sky.bmp, SETUP.INI, packed.txt (compressed) and empty.txt.
std::string sample_archive() {
  static const std::string packed = compressed("packed packed packed text");
  std::vector<VBIG_MEMBER> members = {
      {"art", VBIG_ENTRY_DIRECTORY, 0, -1, NULL, 0},
      {"data", VBIG_ENTRY_DIRECTORY, 0, 0, NULL, 0},
      {"sky.bmp", VBIG_ENTRY_FILE, 0, 1, "SKY", 3},
      {"SETUP.INI", VBIG_ENTRY_FILE, 0, -1, "[setup]", 7},
      {"packed.txt", VBIG_ENTRY_FILE, VBIG_FLAG_COMPRESSED, -1, packed.data(),
       (int32_t)packed.size()},
      {"empty.txt", VBIG_ENTRY_FILE, 0, -1, NULL, 0},
  };
  const uint8_t date[4] = {4, 4, 0xD2, 0x07};
  int32_t length = 0;
  unsigned char *block =
      VFILBIG_build_archive(members.data(), (int32_t)members.size(), "builder", date, &length);
  EXPECT_NE(nullptr, block);
  std::string bytes((char *)block, length);
  free(block);
  return bytes;
}

class VfilbigTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(1, VFILBIG_initialise(1)); }
  void TearDown() override { VFILBIG_deinitialise(); }

  int32_t open_sized(const std::string &bytes) {
    return VFILBIG_open_from_memory_with_size(bytes.data(), (int32_t)bytes.size());
  }

  // The member's bytes, or "<null>" when the read fails.
  std::string read(int32_t handle, const char *path) {
    int32_t length = -1;
    char *data = (char *)VFILBIG_read_file(handle, path, NULL, &length);
    if (data == NULL) return "<null>";
    std::string bytes(data, length);
    free(data);
    return bytes;
  }

  fnal_test::TempWorkDir dir_;
};

}  // namespace

TEST(VfilbigWriter, WritesTheRecordLayoutByteForByte) {
  VBIG_MEMBER members[] = {
      {"art", VBIG_ENTRY_DIRECTORY, 0, -1, NULL, 0},
      {"a.txt", VBIG_ENTRY_FILE, VBIG_FLAG_COMPRESSED, 0, "hi", 2},
  };
  const uint8_t date[4] = {4, 4, 0xD2, 0x07};
  int32_t length = 0;
  unsigned char *block = VFILBIG_build_archive(members, 2, "builder", date, &length);
  ASSERT_NE(nullptr, block);
  std::string user = "builder" + std::string(13, '\0');
  std::string expected = header(2);
  std::string dir = "art" + std::string(253, '\0') + std::string("\x01\x00\x00", 3) + le32(-1) +
                    le32(0) + user + "\x04\x04\xD2\x07" + le32(0) + le32(0);
  std::string file = "a.txt" + std::string(251, '\0') + std::string("\x02\x01\x00", 3) + le32(0) +
                     le32(2) + user + "\x04\x04\xD2\x07" + le32(0) + le32(12 + 299 + 299) + "hi";
  expected += dir + file;
  EXPECT_EQ(expected, std::string((char *)block, length));
  free(block);
}

TEST(VfilbigWriter, RefusesMembersThatBreakTheRules) {
  struct Case {
    const char *what;
    VBIG_MEMBER member;
  } cases[] = {
      {"empty name", {"", VBIG_ENTRY_FILE, 0, -1, "x", 1}},
      {"backslash in name", {"a\\b", VBIG_ENTRY_FILE, 0, -1, "x", 1}},
      {"parent after the member", {"a", VBIG_ENTRY_FILE, 0, 1, "x", 1}},
      {"parent is a file", {"a", VBIG_ENTRY_FILE, 0, 0, "x", 1}},
      {"negative size", {"a", VBIG_ENTRY_FILE, 0, -1, "x", -1}},
      {"deleted type", {"a", VBIG_ENTRY_DELETED, 0, -1, NULL, 0}},
  };
  for (const Case &c : cases) {
    VBIG_MEMBER members[2] = {{"f", VBIG_ENTRY_FILE, 0, -1, "y", 1}, c.member};
    int32_t length = 7;
    EXPECT_EQ(nullptr, VFILBIG_build_archive(members, 2, NULL, NULL, &length)) << c.what;
    EXPECT_EQ(0, length) << c.what;
  }
}

TEST_F(VfilbigTest, ResolvesPathsIgnoringCaseOnly) {
  int32_t handle = open_sized(sample_archive());
  ASSERT_EQ(0, handle);
  struct Case {
    const char *path;
    unsigned char is_file;
  } cases[] = {
      {"art\\data\\sky.bmp", 1},
      {"ART\\Data\\SKY.BMP", 1},
      {"setup.ini", 1},
      {"SETUP.INI", 1},
      {"art", 0},
      {"art\\data", 0},
      {"art/data/sky.bmp", 0},
      {"art\\data\\", 0},
      {"setup.ini\\", 0},
      {"\\setup.ini", 0},
      {"nothing", 0},
      {"art\\data\\sky.bmp\\x", 0},
  };
  for (const Case &c : cases) EXPECT_EQ(c.is_file, VFILBIG_find_file(handle, c.path)) << c.path;
  EXPECT_EQ(0, VFILBIG_find_file(handle, NULL));
}

TEST_F(VfilbigTest, ReadsPlainCompressedAndEmptyMembers) {
  int32_t handle = open_sized(sample_archive());
  ASSERT_EQ(0, handle);
  EXPECT_EQ("SKY", read(handle, "art\\data\\sky.bmp"));
  EXPECT_EQ("[setup]", read(handle, "setup.ini"));
  EXPECT_EQ("packed packed packed text", read(handle, "PACKED.TXT"));
  EXPECT_EQ("", read(handle, "empty.txt")) << "an empty member is a result, not a failure";
  EXPECT_EQ("SKY", read(handle, "art\\data\\sky.bmp")) << "the archive keeps its own copy";
}

TEST_F(VfilbigTest, ReadsIntoACallersBufferOnlyWhenItFits) {
  int32_t handle = open_sized(sample_archive());
  for (const char *path : {"setup.ini", "packed.txt"}) {
    std::string expected = read(handle, path);
    int32_t size = (int32_t)expected.size();
    std::string buffer(size + 4, '#');
    int32_t capacity = size - 1;
    EXPECT_EQ(nullptr, VFILBIG_read_file(handle, path, &buffer[0], &capacity)) << path;
    EXPECT_EQ(VFILBIG_ERR_BUFFER_TOO_SMALL, VFILBIG_get_last_error()) << path;
    EXPECT_EQ(std::string(size + 4, '#'), buffer) << path << ": nothing copied";
    capacity = size;
    EXPECT_EQ(nullptr, VFILBIG_read_file(handle, path, &buffer[0], &capacity)) << path;
    EXPECT_EQ(expected + "####", buffer) << path;
  }
}

TEST_F(VfilbigTest, ReadFailuresSetTheirCodeAndPrintTheirText) {
  int32_t handle = open_sized(sample_archive());
  struct Case {
    int32_t handle;
    const char *path;
    int32_t error;
    const char *printed;
  } cases[] = {
      {0, "art\\data", VFILBIG_ERR_IS_DIRECTORY, "Invalid fat struct"},
      {0, "art\\data\\sky.bmp", 0, ""},
      {0, "setup.ini\\sky.bmp", VFILBIG_ERR_IS_FILE, "Invalid fat struct"},
      {-1, "setup.ini", VFILBIG_ERR_INVALID_HANDLE, "invalid handle or filename"},
      {1, "setup.ini", VFILBIG_ERR_INVALID_HANDLE, "invalid handle or filename"},
      {0, NULL, 0, "invalid handle or filename"},
  };
  for (const Case &c : cases) {
    testing::internal::CaptureStdout();
    int32_t length = 0;
    void *data = VFILBIG_read_file(c.handle, c.path, NULL, &length);
    std::string printed = testing::internal::GetCapturedStdout();
    std::string what = c.path ? c.path : "(null)";
    EXPECT_EQ(c.printed, printed) << what;
    if (c.printed[0] != '\0') {
      EXPECT_EQ(nullptr, data) << what;
      if (c.error != 0) {
        EXPECT_EQ(c.error, VFILBIG_get_last_error()) << what;
      }
    }
    free(data);
  }
  EXPECT_EQ(handle, 0);
}

TEST_F(VfilbigTest, ListsEntriesInRecordOrder) {
  int32_t handle = open_sized(sample_archive());
  struct Case {
    const char *directory;
    std::vector<std::string> entries;
    std::vector<int> types;
  } cases[] = {
      {NULL, {"art", "SETUP.INI", "packed.txt", "empty.txt"}, {1, 2, 2, 2}},
      {"ART", {"art\\data"}, {1}},
      {"art\\data", {"art\\data\\sky.bmp"}, {2}},
      {"setup.ini", {}, {}},
      {"missing", {}, {}},
  };
  for (const Case &c : cases) {
    std::vector<std::string> entries;
    std::vector<int> types;
    uint8_t type = 0;
    for (char *path = VFILBIG_find_first_entry(handle, c.directory, &type); path != NULL;) {
      entries.push_back(path);
      types.push_back(type);
      char *next = VFILBIG_find_next_entry(handle, path, &type);
      free(path);
      path = next;
    }
    std::string what = c.directory ? c.directory : "(root)";
    EXPECT_EQ(c.entries, entries) << what;
    EXPECT_EQ(c.types, types) << what;
  }
  EXPECT_EQ(nullptr, VFILBIG_find_first_entry(5, NULL, NULL));
  EXPECT_EQ(nullptr, VFILBIG_find_next_entry(handle, "nothing", NULL));
}

TEST_F(VfilbigTest, SlotsRunOutAndWrongMagicLeavesTheSlotFree) {
  std::string archive = sample_archive();
  std::string wrong = "VBIG" + archive.substr(4);
  EXPECT_EQ(-1, open_sized(wrong));
  EXPECT_EQ(VFILBIG_ERR_NOT_VBIG, VFILBIG_get_last_error());
  EXPECT_EQ(-1, VFILBIG_open_from_memory(NULL));
  EXPECT_EQ(VFILBIG_ERR_CANT_OPEN, VFILBIG_get_last_error());
  EXPECT_EQ(0, VFILBIG_open_from_memory(archive.data())) << "slot still free";
  EXPECT_EQ(-1, open_sized(archive));
  EXPECT_EQ(VFILBIG_ERR_NO_HANDLE, VFILBIG_get_last_error());
  EXPECT_EQ("SKY", read(0, "art\\data\\sky.bmp")) << "first handle still valid";
  EXPECT_EQ(VFILBIG_ERR_NO_HANDLE, VFILBIG_get_last_error()) << "a success resets nothing";
  EXPECT_STREQ("VFILBIG: No avaliable handle\n", VFILBIG_error_text(VFILBIG_ERR_NO_HANDLE));
  EXPECT_STREQ("VFILBIG_FILE_DATA_DOES_NOT_EXIST\n", VFILBIG_error_text(-13));
  EXPECT_EQ(nullptr, VFILBIG_error_text(-17));
}

TEST_F(VfilbigTest, RecordsWithoutDataAndInvisibleTypes) {
  // A directory with a size, deleted entries with and without space, an
  // unknown type: only the directory and the two files are visible.
  std::string raw = header(6) + record("dir", 1, -1, 77) + record("gone", 3, -1, 0) +
                    record("old", 3, -1, 5) + "xxxxx" + record("odd", 9, -1, 4) +
                    record("a", 2, 0, 2) + "AA" + record("b", 2, -1, 1) + "B";
  int32_t handle = open_sized(raw);
  ASSERT_EQ(0, handle);
  EXPECT_EQ("AA", read(handle, "dir\\a"));
  EXPECT_EQ("B", read(handle, "b"));
  for (const char *hidden : {"gone", "old", "odd"}) {
    EXPECT_EQ(0, VFILBIG_find_file(handle, hidden)) << hidden;
  }
  char *first = VFILBIG_find_first_entry(handle, NULL, NULL);
  EXPECT_STREQ("dir", first);
  char *next = VFILBIG_find_next_entry(handle, first, NULL);
  EXPECT_STREQ("b", next);
  free(first);
  free(next);
}

TEST_F(VfilbigTest, EmptyArchiveHasNoEntries) {
  for (int32_t count : {0, -3}) {
    VFILBIG_deinitialise();
    ASSERT_EQ(1, VFILBIG_initialise(1));
    std::string raw = header(count);
    int32_t handle = open_sized(raw);
    ASSERT_EQ(0, handle) << count;
    EXPECT_EQ(0, VFILBIG_get_entry_count(handle));
    EXPECT_EQ(nullptr, VFILBIG_find_first_entry(handle, NULL, NULL));
    EXPECT_EQ(0, VFILBIG_find_file(handle, "a"));
  }
}

TEST_F(VfilbigTest, SizedOpenRefusesTruncatedOrInconsistentArchives) {
  std::string good = sample_archive();
  std::string chain;  // 2050 nested directories: the last has 2049 ancestors
  for (int i = 0; i < 2050; i++) chain += record("d", 1, i - 1, 0);
  struct Case {
    const char *what;
    std::string bytes;
  } cases[] = {
      {"shorter than the header", good.substr(0, 11)},
      {"records cut short", good.substr(0, 12 + 299 + 100)},
      {"data cut short", good.substr(0, good.size() - 1)},
      {"more records than the block holds", header(3) + record("a", 2, -1, 0)},
      {"negative file size", header(1) + record("a", 2, -1, -4)},
      {"negative deleted size", header(1) + record("a", 3, -1, -4)},
      {"parent out of range", header(1) + record("a", 2, 1, 0)},
      {"parent below -1", header(1) + record("a", 2, -2, 0)},
      {"own parent", header(1) + record("a", 1, 0, 0)},
      {"parent cycle", header(2) + record("a", 1, 1, 0) + record("b", 1, 0, 0)},
      {"chain deeper than 2048", header(2050) + chain},
      {"name without terminator",
       header(1) + std::string(256, 'n') + record("a", 2, -1, 0).substr(256)},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(-1, open_sized(c.bytes)) << c.what;
    EXPECT_EQ(VFILBIG_ERR_NOT_VBIG, VFILBIG_get_last_error()) << c.what;
  }
  // The deepest chain allowed, and trailing bytes after the last entry.
  std::string deepest = header(2049) + chain.substr(0, 2049 * 299);
  int32_t handle = open_sized(deepest);
  EXPECT_EQ(0, handle) << "2048 ancestors are allowed";
  VFILBIG_deinitialise();
  ASSERT_EQ(1, VFILBIG_initialise(1));
  EXPECT_EQ(0, open_sized(good + "trailing"));
}

TEST_F(VfilbigTest, UnsizedOpenStillChecksWhatNeedsNoLength) {
  std::string cycle = header(2) + record("a", 1, 1, 0) + record("b", 1, 0, 0);
  EXPECT_EQ(-1, VFILBIG_open_from_memory(cycle.data()));
  EXPECT_EQ(VFILBIG_ERR_NOT_VBIG, VFILBIG_get_last_error());
  std::string good = sample_archive();
  ASSERT_EQ(0, VFILBIG_open_from_memory(good.data()));
  EXPECT_EQ("[setup]", read(0, "setup.ini"));
}

TEST_F(VfilbigTest, CorruptCompressedMemberFailsItsReadOnly) {
  std::string stream = compressed("abcabcabc");
  stream.resize(stream.size() - 1);  // the code bits run out
  std::string raw = header(2) + record("bad", 2, -1, (int32_t)stream.size(), 1) + stream +
                    record("ok", 2, -1, 2) + "OK";
  ASSERT_EQ(0, open_sized(raw));
  EXPECT_EQ("<null>", read(0, "bad"));
  EXPECT_EQ("OK", read(0, "ok"));
}

TEST(VfilbigModule, RefusesWorkWhileNotInitialised) {
  fnal_test::DiagnosticsCapture capture;
  EXPECT_EQ(0, VFILBIG_initialise(0));
  EXPECT_EQ(0, VFILBIG_is_initialised());
  std::string archive = header(0);
  EXPECT_EQ(-1, VFILBIG_open_from_memory(archive.data()));
  EXPECT_EQ(nullptr, VFILBIG_read_file(0, "a", NULL, NULL));
  EXPECT_EQ(nullptr, VFILBIG_find_first_entry(0, NULL, NULL));
  EXPECT_EQ(nullptr, VFILBIG_find_next_entry(0, "a", NULL));
  EXPECT_EQ(0, VFILBIG_find_file(0, "a"));
  std::string retail = fnal_test::read_file("retail.dbg");
  retail.erase(std::remove(retail.begin(), retail.end(), '\r'), retail.end());  // text mode
  EXPECT_EQ(
      "Unable to open big file, module is not initialised\n"
      "Unable to read from big file, module is not initialised\n",
      retail);
  std::string develop = capture.develop();
  for (const char *text :
       {"VFILBIG_initialise: Could not allocate enough memory or invalid number of files",
        "Unable to find first entry in big file, module is not initialised",
        "Unable to find next entry in big file, module is not initialised",
        "Unable to find file in big file, module is not initialised"}) {
    EXPECT_NE(std::string::npos, develop.find(text)) << text << "\n" << develop;
  }
}

TEST_F(VfilbigTest, IndexWalkVisitsSiblingsThatPathsConfuse) {
  // "Same" and "same" resolve to the same path; "x\y" holds a backslash.
  std::string raw = header(4) + record("Same", 2, -1, 1) + "1" + record("same", 2, -1, 1) + "2" +
                    record("x\\y", 2, -1, 1) + "3" + record("d", 1, -1, 0);
  ASSERT_EQ(0, open_sized(raw));
  std::string seen;
  for (int32_t i = VFILBIG_next_child(0, -1, -1); i >= 0; i = VFILBIG_next_child(0, -1, i)) {
    int32_t length = 0;
    char *data = (char *)VFILBIG_read_entry(0, i, &length);
    seen += data ? std::string(data, length) : std::string("D");
    free(data);
  }
  EXPECT_EQ("123D", seen);
  EXPECT_EQ(nullptr, VFILBIG_read_entry(0, 3, NULL));
  EXPECT_EQ(VFILBIG_ERR_IS_DIRECTORY, VFILBIG_get_last_error());
  EXPECT_EQ(nullptr, VFILBIG_read_entry(0, 4, NULL));
  EXPECT_EQ(-1, VFILBIG_next_child(3, -1, -1));
}

TEST_F(VfilbigTest, BorrowedEntriesAreTheArchivesOwnBytesUnlessDecompressed) {
  int32_t handle = open_sized(sample_archive());
  ASSERT_EQ(0, handle);
  struct Case {
    int32_t index;
    const char *bytes;
    bool decompressed;
  } cases[] = {{2, "SKY", false},
               {3, "[setup]", false},
               {4, "packed packed packed text", true},
               {5, "", false}};
  for (const Case &c : cases) {
    int32_t length = -1;
    void *release = (void *)1;
    const char *data = (const char *)VFILBIG_borrow_entry(handle, c.index, &length, &release);
    ASSERT_NE(nullptr, data) << c.index;
    EXPECT_EQ(c.bytes, std::string(data, length)) << c.index;
    EXPECT_EQ(c.decompressed, release != nullptr) << c.index;
    if (c.decompressed) {
      EXPECT_EQ((const void *)data, release) << "the buffer to free is the data";
      free(release);
    } else {
      EXPECT_EQ(data, VFILBIG_borrow_entry(handle, c.index, &length, &release))
          << "no copy: the same bytes each time";
    }
  }
  int32_t length = -1;
  void *release = (void *)1;
  EXPECT_EQ(nullptr, VFILBIG_borrow_entry(handle, 0, &length, &release)) << "a folder";
  EXPECT_EQ(VFILBIG_ERR_IS_DIRECTORY, VFILBIG_get_last_error());
  EXPECT_EQ(nullptr, release);
  EXPECT_EQ(nullptr, VFILBIG_borrow_entry(handle, 6, &length, &release)) << "out of range";
  EXPECT_EQ(nullptr, VFILBIG_borrow_entry(3, 2, &length, &release)) << "no such archive";
}
