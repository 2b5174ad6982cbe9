// File access: search paths and their trees, name resolution, the size cache,
// whole-file reads, the check value and the stream wrappers.
#define VBUG_SOURCE "tests\\vfile_test.cpp"
#include <ctype.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "memory.h"
#include "platform.h"
#include "testutil.h"
#include "vbug.h"
#include "vfile.h"

namespace {

using fnal_test::write_file;

void make_dir(const char *path) {
  ASSERT_EQ(1, PLATFORM_create_directory(path)) << path;
}

// Names along the sibling chain that starts at index.
std::vector<std::string> chain(const VFILE_SEARCH_PATH *slot, int32_t index) {
  std::vector<std::string> names;
  for (; index >= 0; index = slot->file_tree[index].next)
    names.push_back(slot->file_tree[index].name);
  return names;
}

// Index of the node called name in the chain that starts at index, or -1.
int32_t find_node(const VFILE_SEARCH_PATH *slot, int32_t index, const char *name) {
  for (; index >= 0; index = slot->file_tree[index].next)
    if (strcmp(slot->file_tree[index].name, name) == 0) return index;
  return -1;
}

std::string resolve(const char *name) {
  const char *path = VFILE_make_full_path(name);
  return path ? path : "(none)";
}

// Diagnostics into a fresh working folder, tracked memory, and the module
// with its defaults; checks that nothing tracked is left behind.
class VfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(1, MEMORY_initialise());
    ASSERT_EQ(1, VFILE_initialise(nullptr));
  }
  void TearDown() override {
    VFILE_deinitialise();
    EXPECT_EQ(0, MEMORY_live_blocks()) << "tracked blocks left behind";
    MEMORY_deinitialise();
  }
  fnal_test::DiagnosticsCapture cap;
};

}  // namespace

TEST_F(VfileTest, InitialiseTakesDefaultsOrTheDetailsAndRefusesASecondCall) {
  EXPECT_NE(nullptr, VFILE_get_search_path(6));
  EXPECT_EQ(nullptr, VFILE_get_search_path(7)) << "seven slots by default";
  EXPECT_STREQ("", VFILE_get_extension());
  EXPECT_EQ(0, VFILE_initialise(nullptr));
  EXPECT_NE(nullptr, VFILE_get_search_path(6)) << "a refused initialise changes nothing";

  ASSERT_EQ(1, VFILE_deinitialise());
  EXPECT_EQ(0, VFILE_deinitialise()) << "no slot table any more";
  VFILE_DETAILS details = {};
  details.max_search_paths = 2;
  details.initial_tree_size = 10;
  details.tree_growth = 5;
  details.chunk_size = 16;
  strcpy(details.extension, "CEV");
  ASSERT_EQ(1, VFILE_initialise(&details));
  EXPECT_NE(nullptr, VFILE_get_search_path(1));
  EXPECT_EQ(nullptr, VFILE_get_search_path(2));
  EXPECT_STREQ("CEV", VFILE_get_extension()) << "texts from the record are copied as given";

  ASSERT_EQ(1, VFILE_deinitialise());
  details.max_search_paths = 0;
  EXPECT_EQ(0, VFILE_initialise(&details));
  EXPECT_NE(std::string::npos,
            cap.develop().find("VFILE_initialise: Failed to allocate memory size:"));
  ASSERT_EQ(1, VFILE_initialise(nullptr)) << "a failed initialise leaves the module usable";
}

TEST_F(VfileTest, TreeFollowsTheListingWithChildrenUnderTheirFolder) {
  make_dir("cd");
  make_dir("cd\\sub");
  make_dir("cd\\empty");
  write_file("cd/b.txt", "b");
  write_file("cd/a.txt", "a");
  write_file("cd/sub/c.txt", "c");
  write_file("cd/README.TXT", "r");
  ASSERT_EQ(1u, VFILE_set_search_paths(1, "cd"));
  const VFILE_SEARCH_PATH *slot = VFILE_get_search_path(0);
  ASSERT_NE(nullptr, slot->file_tree);
  EXPECT_EQ(6u, slot->tree_count);
  EXPECT_EQ(5000u, slot->tree_size);
  EXPECT_EQ((std::vector<std::string>{"a.txt", "b.txt", "empty", "readme.txt", "sub"}),
            chain(slot, 0));
  int32_t sub = find_node(slot, 0, "sub");
  ASSERT_GE(sub, 0);
  EXPECT_EQ(5, slot->file_tree[sub].child) << "c.txt is added after the top listing";
  EXPECT_EQ((std::vector<std::string>{"c.txt"}), chain(slot, slot->file_tree[sub].child));
  EXPECT_EQ(-1, slot->file_tree[find_node(slot, 0, "empty")].child);
}

TEST_F(VfileTest, NamesAgreeingInTwelveCharactersShareOneNode) {
  make_dir("cd");
  make_dir("cd\\directoryname1");
  make_dir("cd\\directoryname2");
  write_file("cd/longfilename1.txt", "1");
  write_file("cd/longfilename2.txt", "2");
  write_file("cd/directoryname1/one.txt", "1");
  write_file("cd/directoryname2/two.txt", "2");
  ASSERT_EQ(1u, VFILE_set_search_paths(1, "cd"));
  const VFILE_SEARCH_PATH *slot = VFILE_get_search_path(0);
  EXPECT_EQ((std::vector<std::string>{"directorynam", "longfilename"}), chain(slot, 0));
  int32_t shared = find_node(slot, 0, "directorynam");
  ASSERT_GE(shared, 0);
  EXPECT_EQ((std::vector<std::string>{"one.txt", "two.txt"}),
            chain(slot, slot->file_tree[shared].child));
  EXPECT_EQ("cd\\longfilename", resolve("LongFileName2.txt"));
  EXPECT_EQ("cd\\longfilename", resolve("longfilename1.txt"));
  EXPECT_EQ("cd\\directorynam\\two.txt", resolve("directoryname1\\two.txt"));
}

TEST_F(VfileTest, EmptyFolderGivesEmptyTreeAndNoLookupSucceeds) {
  make_dir("void");
  ASSERT_EQ(1u, VFILE_set_search_paths(1, "void"));
  const VFILE_SEARCH_PATH *slot = VFILE_get_search_path(0);
  EXPECT_EQ(0u, slot->tree_count);
  EXPECT_STREQ("", slot->file_tree[0].name);
  for (const char *name : {"", "\\", "x.txt", "x.txt\\"})
    EXPECT_EQ("(none)", resolve(name)) << name;
}

TEST_F(VfileTest, TreeCallbackFilesOneReportAtATime) {
  make_dir("cd");
  ASSERT_EQ(1u, VFILE_set_search_paths(1, "cd"));
  const VFILE_SEARCH_PATH *slot = VFILE_get_search_path(0);
  struct Report {
    std::string path;
    int32_t kind;
  } reports[] = {
      {"CD\\Docs", 1},
      {"cd\\\\docs\\ReadMe.TXT", 0},        // a doubled backslash after the folder
      {"cd\\docs\\readme.txt", 0},          // already there: nothing added
      {"cd\\docs\\a\\b\\c.txt", 0},         // leading folders missing: one node only
      {"cd\\docs\\x", 2},                   // a tick
      {"other\\file.txt", 0},               // under no slot
      {"cd\\" + std::string(260, 'n'), 0},  // longer than 255 characters
      {"cd", 1},                            // no component
  };
  for (const Report &r : reports) vfile_file_tree_callback_function(r.path.c_str(), r.kind);
  vfile_file_tree_callback_function(nullptr, 0);
  EXPECT_EQ(3u, slot->tree_count);
  EXPECT_EQ((std::vector<std::string>{"docs"}), chain(slot, 0));
  EXPECT_EQ((std::vector<std::string>{"readme.txt", "a"}), chain(slot, slot->file_tree[0].child));
}

namespace {

struct PlainNode {
  int32_t next, child;
  std::string name;
};

// The insertion of one report's relative part, walking from the top of the
// tree every time: the reference for the tree callback.
void plain_insert(std::vector<PlainNode> &tree, const std::string &relative) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : relative + "\\") {
    if (c != '\\') {
      part += (char)tolower((unsigned char)c);
    } else if (!part.empty()) {
      parts.push_back(part.substr(0, 12));
      part.clear();
    }
  }
  if (parts.empty()) return;
  int32_t index = 0;
  for (size_t k = 0;;) {
    if (tree.empty()) return tree.push_back({-1, -1, parts[k]});
    int32_t i = index, last = index;
    for (; i >= 0 && tree[(size_t)i].name != parts[k]; i = tree[(size_t)i].next) last = i;
    if (i < 0) {
      tree.push_back({-1, -1, parts[k]});
      tree[(size_t)last].next = (int32_t)tree.size() - 1;
      return;
    }
    if (++k == parts.size()) return;
    if (tree[(size_t)i].child < 0) {
      tree.push_back({-1, -1, parts[k]});
      tree[(size_t)i].child = (int32_t)tree.size() - 1;
      return;
    }
    index = tree[(size_t)i].child;
  }
}

}  // namespace

TEST_F(VfileTest, TreeCallbackBuildsTheTreeOfAWalkFromTheTopForAnyReportOrder) {
  make_dir("cd");
  static const char *names[] = {"Sub",   "sub",        "data", "directoryname1", "directoryname2",
                                "a.txt", "README.TXT", "x"};
  std::mt19937 random(4242);
  for (int round = 0; round < 20; round++) {
    ASSERT_EQ(1u, VFILE_set_search_paths(1, "cd")) << "a fresh, empty tree";
    const VFILE_SEARCH_PATH *slot = VFILE_get_search_path(0);
    std::vector<PlainNode> expected;
    std::string folder;
    for (int report = 0; report < 300; report++) {
      // Mostly reports from the folder of the one before, as a scan gives.
      if (random() % 4 == 0) {
        folder.clear();
        for (int depth = (int)(random() % 4); depth > 0; depth--)
          folder += std::string(names[random() % 8]) + (random() % 9 ? "\\" : "\\\\");
      }
      std::string relative = folder + names[random() % 8] + (random() % 20 ? "" : "\\");
      vfile_file_tree_callback_function(("cd\\" + relative).c_str(), (int32_t)(random() % 2));
      plain_insert(expected, relative);
    }
    ASSERT_EQ(expected.size(), slot->tree_count) << "round " << round;
    for (size_t i = 0; i < expected.size(); i++) {
      const VFILE_TREE_NODE &node = slot->file_tree[i];
      ASSERT_EQ(expected[i].name, node.name) << "round " << round << ", node " << i;
      ASSERT_EQ(expected[i].next, node.next) << "round " << round << ", node " << i;
      ASSERT_EQ(expected[i].child, node.child) << "round " << round << ", node " << i;
    }
  }
}

TEST_F(VfileTest, TheNodeAfterTheInitialSizeGrowsTheArrayByTheGrowth) {
  VFILE_SEARCH_PATH slot = {};
  slot.tree_size = 5000;
  ASSERT_EQ(1, vfile_allocate_file_tree(&slot));
  for (int i = 0; i < 5000; i++)
    ASSERT_EQ(i, vfile_add_entry_to_file_tree(&slot, ("Entry" + std::to_string(i)).c_str()));
  EXPECT_EQ(5000u, slot.tree_size);
  EXPECT_EQ(5000, vfile_add_entry_to_file_tree(&slot, "NUMBER5001-IS-LONG"));
  EXPECT_EQ(6000u, slot.tree_size);
  EXPECT_STREQ("number5001-i", slot.file_tree[5000].name);
  EXPECT_STREQ("entry4999", slot.file_tree[4999].name) << "nodes kept across the growth";
  MEMORY_FREE(slot.file_tree);
}

TEST_F(VfileTest, ATreeThatCannotGrowRefusesTheNodeAndWritesNothing) {
  VFILE_DETAILS details = {};
  details.max_search_paths = 1;
  details.initial_tree_size = 2;
  details.tree_growth = 0;
  ASSERT_EQ(1, VFILE_deinitialise());
  ASSERT_EQ(1, VFILE_initialise(&details));
  make_dir("cd");
  for (const char *name : {"cd/a", "cd/b", "cd/c"}) write_file(name, "x");
  ASSERT_EQ(1u, VFILE_set_search_paths(1, "cd"));
  const VFILE_SEARCH_PATH *slot = VFILE_get_search_path(0);
  EXPECT_EQ(2u, slot->tree_count);
  EXPECT_EQ(2u, slot->tree_size);
  EXPECT_EQ((std::vector<std::string>{"a", "b"}), chain(slot, 0));
}

TEST_F(VfileTest, ResolvesThroughTheTreeOfTheDotSearchPath) {
  write_file("Setup.INI", "[s]");
  make_dir("Sub");
  write_file("Sub/DataFile.txt", "data");
  write_file("readmecev", "r");
  ASSERT_EQ(1u, VFILE_set_search_paths(1, ".\\"));
  write_file("late.txt", "created after the scan");
  ASSERT_EQ(1, VFILE_set_extension("CEV"));
  EXPECT_STREQ("cev", VFILE_get_extension());

  struct Case {
    const char *name;
    const char *expected;
  } cases[] = {
      {"Setup.INI", ".\\setup.ini"},
      {"Sub\\DataFile.txt", ".\\sub\\datafile.txt"},
      {"\\SUB\\datafile.txt", ".\\sub\\datafile.txt"},
      {"Sub\\DataFile.txt\\", ".\\sub\\datafile.txt"},
      {"sub\\", "(none)"},
      {"readme", ".\\readmecev"},
      {"late.txt", "(none)"},
      {"sub\\missing.txt", "(none)"},
      {"datafile.txt", "(none)"},
      {".\\Setup.INI", ".\\Setup.INI"},
      {"Sub\\\\DataFile.txt", "Sub\\\\DataFile.txt"},
      {".\\late.txt", ".\\late.txt"},
      {".\\nothere.txt", "(none)"},
      {"q:\\nothere.txt", "(none)"},
  };
  for (const Case &c : cases) EXPECT_EQ(c.expected, resolve(c.name)) << c.name;
}

TEST_F(VfileTest, ResolutionRefusesEmptyNamesAndWorksOnlyWhileInitialised) {
  EXPECT_EQ(nullptr, VFILE_make_full_path(""));
  EXPECT_NE(std::string::npos, cap.develop().find("VFILE_make_full_path: String size of zero"));
  ASSERT_EQ(1, VFILE_deinitialise());
  EXPECT_EQ(nullptr, VFILE_make_full_path("a.txt"));
  EXPECT_NE(std::string::npos, cap.develop().find("VFILE_make_full_path: VFILE not initialised"));
  int32_t length = 5;
  EXPECT_EQ(nullptr, VFILE_allocate_and_read_file("a.txt", nullptr, &length));
  EXPECT_NE(std::string::npos,
            cap.develop().find("VFILE_allocate_and_read_file: VFILE not active"));
  ASSERT_EQ(1, VFILE_initialise(nullptr));
}

TEST_F(VfileTest, LongNamesAreRefusedNotCut) {
  make_dir("cd");
  write_file("cd/a.txt", "a");
  ASSERT_EQ(1u, VFILE_set_search_paths(1, "cd"));
  std::string long_name = "a.txt" + std::string(300, '\\');
  EXPECT_EQ("(none)", resolve(long_name.c_str()));
  std::string deep(254, 'x');
  EXPECT_EQ("(none)", resolve(("a.txt\\" + deep).c_str()));
  EXPECT_EQ("cd\\a.txt", resolve("a.txt"));
}

TEST_F(VfileTest, SearchPathsTakeFreeSlotsInOrder) {
  make_dir("data");
  make_dir("data2");
  write_file("data2/only2.txt", "2");
  write_file("data/only1.txt", "1");
  EXPECT_EQ(2u, VFILE_set_search_paths(2, "DATA", "data2"));
  EXPECT_STREQ("data", VFILE_get_search_path(0)->path);
  EXPECT_EQ(0u, VFILE_get_search_path(1)->tree_count)
      << "reports from data2 are filed under data, the first prefix";
  EXPECT_EQ("data\\only1.txt", resolve("only1.txt"));
  EXPECT_EQ("(none)", resolve("only2.txt"));

  EXPECT_EQ(0u, VFILE_set_search_paths(0));
  EXPECT_STREQ("", VFILE_get_search_path(0)->path);
  EXPECT_EQ(nullptr, VFILE_get_search_path(0)->file_tree);
  EXPECT_EQ("(none)", resolve("only1.txt"));

  EXPECT_EQ(7u, VFILE_set_search_paths(9, "data", "data", "data", "data", "data", "data", "data",
                                       "data", "data"))
      << "texts beyond the seven slots are not counted";
  EXPECT_EQ(-1, VFILE_add_search_path("more"));
  EXPECT_EQ(2u, VFILE_set_search_paths(2, (const char *)nullptr, "data2"));
  EXPECT_NE(std::string::npos, cap.develop().find("string is NULL"));
  EXPECT_STREQ("data2", VFILE_get_search_path(0)->path) << "a missing text takes no slot";
  EXPECT_STREQ("", VFILE_get_search_path(1)->path);
  vfile_clear_search_path(0);
  EXPECT_EQ(nullptr, VFILE_get_search_path(0)->file_tree);
  EXPECT_EQ(0, VFILE_add_search_path("again"));
  EXPECT_EQ(nullptr, VFILE_get_search_path(0)->file_tree) << "adding does not scan";
}

TEST_F(VfileTest, ExtensionIsLowerCasedAndKeptOnAMissingText) {
  ASSERT_EQ(1, VFILE_set_extension(".DaT"));
  EXPECT_EQ(0, VFILE_set_extension(nullptr));
  EXPECT_STREQ(".dat", VFILE_get_extension());
  std::string long_extension(400, 'E');
  ASSERT_EQ(1, VFILE_set_extension(long_extension.c_str()));
  EXPECT_EQ(std::string(255, 'e'), VFILE_get_extension());
}

TEST_F(VfileTest, SizeCacheSparesRepeatedQueriesUntilAWrite) {
  write_file("a.bin", std::string(10, 'a'));
  EXPECT_EQ(10, VFILE_get_file_size("a.bin"));
  write_file("a.bin", std::string(20, 'a'));
  EXPECT_EQ(10, VFILE_get_file_size("A.BIN")) << "same path in any case: not queried again";

  FILE *stream = vfile_fopen("other.bin", "wb", 0, "test.cpp", 1);
  ASSERT_NE(nullptr, stream);
  EXPECT_EQ(20, VFILE_get_file_size("a.bin")) << "an open for writing empties the cache";
  write_file("a.bin", std::string(30, 'a'));
  EXPECT_EQ(20, VFILE_get_file_size("a.bin"));
  EXPECT_EQ(3u, VFILE_fwrite("xyz", 1, 3, stream));
  EXPECT_EQ(30, VFILE_get_file_size("a.bin")) << "a write empties the cache";
  EXPECT_EQ(0, vfile_fclose(stream, "test.cpp", 2));
  EXPECT_EQ(3, VFILE_get_file_size("other.bin"));

  EXPECT_EQ(-1, VFILE_get_file_size("missing.bin"));
  write_file("nofile", "12345");
  EXPECT_EQ(5, VFILE_get_file_size("NOFILE")) << "the empty cache's text is not a cached path";
}

TEST_F(VfileTest, WholeFileReadGivesExactlyTheBytes) {
  std::string content("line one\r\nline two\0with a zero", 30);
  write_file("data.bin", content);
  ASSERT_EQ(1u, VFILE_set_search_paths(1, ".\\"));
  int32_t length = -1;
  char *block = (char *)VFILE_allocate_and_read_file("DATA.BIN", nullptr, &length);
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(30, length);
  EXPECT_EQ(content, std::string(block, (size_t)length));
  MEMORY_FREE(block);
  EXPECT_EQ(0u, VFILE_get_check_total()) << "the check switch is off by default";
}

TEST_F(VfileTest, WholeFileReadFailuresAreReported) {
  write_file("empty.txt", "");
  ASSERT_EQ(1u, VFILE_set_search_paths(1, ".\\"));
  struct Case {
    const char *name;
    const char *message;
  } cases[] = {
      {"empty.txt", "VFILE_allocate_and_read_file: Failed to allocate 0 bytes"},
      {"missing.txt", "full_filename (null)"},
      {"", "VFILE_make_full_path: String size of zero"},
  };
  for (const Case &c : cases) {
    cap.clear();
    int32_t length = 77;
    EXPECT_EQ(nullptr, VFILE_allocate_and_read_file(c.name, nullptr, &length)) << c.name;
    EXPECT_NE(std::string::npos, cap.develop().find(c.message)) << c.name << ": " << cap.develop();
  }
  cap.clear();
  EXPECT_EQ(nullptr, VFILE_allocate_and_read_file(".\\gone.txt\\", nullptr, nullptr));
}

namespace {
int process_calls = 0;
void count_process() {
  process_calls++;
}
}  // namespace

TEST_F(VfileTest, ChunkedReadCallsTheCallbackAfterEveryChunkAndAddsTheCheckValue) {
  std::string content;
  for (int i = 0; i < 100; i++) content += (char)('A' + i % 26);
  write_file("big.dat", content);
  VFILE_DETAILS details = {};
  details.max_search_paths = 1;
  details.initial_tree_size = 8;
  details.tree_growth = 8;
  details.chunk_size = 7;
  details.process_callback = count_process;
  details.check_switch = 1;
  ASSERT_EQ(1, VFILE_deinitialise());
  ASSERT_EQ(1, VFILE_initialise(&details));
  ASSERT_EQ(1u, VFILE_set_search_paths(1, "."));
  process_calls = 0;
  int32_t length = 0;
  char *block = (char *)VFILE_allocate_and_read_file("big.dat", nullptr, &length);
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(content, std::string(block, (size_t)length));
  EXPECT_EQ(15, process_calls) << "100 bytes in chunks of 7";
  uint32_t one = file_check_value(content.data(), 100);
  EXPECT_EQ(one, VFILE_get_check_total());
  MEMORY_FREE(block);
  block = (char *)VFILE_allocate_and_read_file("big.dat", nullptr, &length);
  EXPECT_EQ((uint32_t)(one * 2u), VFILE_get_check_total()) << "a running total";
  MEMORY_FREE(block);
  vfile_process();
  EXPECT_EQ(31, process_calls);
}

TEST(VfileCheckValue, TwoCrcsForwardAndBackward) {
  struct Case {
    const char *data;
    uint32_t expected;
  } cases[] = {
      {"", 0},
      {"abc", 0x514AFA1Au},
  };
  for (const Case &c : cases)
    EXPECT_EQ(c.expected, file_check_value(c.data, (uint32_t)strlen(c.data))) << c.data;
  EXPECT_EQ(0x29B1u, file_check_value("123456789", 9) >> 16) << "CRC-16/CCITT-FALSE check";
  EXPECT_NE(file_check_value("abc", 3), file_check_value("acb", 3));
}

// The check value computed bit by bit, as its definition reads.
uint32_t reference_check_value(const std::string &bytes) {
  if (bytes.empty()) return 0;
  auto crc16 = [](uint16_t crc, uint8_t byte) {
    crc ^= (uint16_t)(byte << 8);
    for (int bit = 0; bit < 8; bit++)
      crc = (uint16_t)(crc & 0x8000u ? crc << 1 ^ 0x1021u : crc << 1);
    return crc;
  };
  uint16_t forward = 0xFFFFu, backward = 0x4110u;
  for (size_t i = 0; i < bytes.size(); i++) {
    forward = crc16(forward, (uint8_t)bytes[i]);
    backward = crc16(backward, (uint8_t)bytes[bytes.size() - 1 - i]);
  }
  return (uint32_t)forward << 16 | backward;
}

TEST(VfileCheckValue, EqualsTheBitwiseDefinitionForEveryLengthAndAlignment) {
  std::string bytes;
  for (int i = 0; i < 300; i++) bytes += (char)((i * 7919 + 13) ^ (i >> 3));
  for (size_t start = 0; start < 9; start++) {
    for (size_t length = 0; start + length <= bytes.size(); length += length < 40 ? 1 : 37) {
      std::string piece = bytes.substr(start, length);
      ASSERT_EQ(reference_check_value(piece), file_check_value(piece.data(), (uint32_t)length))
          << "start " << start << ", length " << length;
    }
  }
}

TEST_F(VfileTest, StreamWrappersPassResultsThroughAndReportCloseFailures) {
  EXPECT_EQ(nullptr, vfile_fopen("missing\\nothing.txt", "rb", 1, "caller.cpp", 10));
  EXPECT_EQ(std::string::npos, cap.develop().find("Failed to open")) << "no message when both fail";
  write_file("s.bin", "0123456789");
  ASSERT_EQ(1u, VFILE_set_search_paths(1, ".\\"));
  FILE *stream = VFILE_fopen("S.BIN", "rb", 1);
  ASSERT_NE(nullptr, stream);
  EXPECT_EQ(0, VFILE_fseek(stream, 4, SEEK_SET));
  char buffer[4] = {};
  EXPECT_EQ(1u, VFILE_fread(buffer, 3, 1, stream));
  EXPECT_EQ("456", std::string(buffer, 3));
  EXPECT_EQ(0, VFILE_fclose(stream));
  EXPECT_EQ(std::string::npos, cap.develop().find("Failed to close"));
  EXPECT_NE(0, vfile_fclose(nullptr, "caller.cpp", 42));
  EXPECT_NE(std::string::npos, cap.develop().find("Failed to close file in caller.cpp at line 42"));
  EXPECT_EQ(0u, VFILE_fread(buffer, 1, 1, nullptr));
  EXPECT_EQ(-1, VFILE_fseek(nullptr, 0, SEEK_SET));
}

TEST(VfileCopyString, LowerCasesAndCutsAtSizeMinusOne) {
  char buffer[8];
  memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(1, vfile_copy_string(buffer, "ABCdefGHIJ", 5));
  EXPECT_STREQ("abcd", buffer);
  EXPECT_EQ('#', buffer[5]);
  EXPECT_EQ(0, vfile_copy_string(buffer, nullptr, 5));
  EXPECT_EQ(0, vfile_copy_string(nullptr, "x", 5));
  EXPECT_EQ(0, vfile_copy_string(buffer, "x", 0));
  EXPECT_STREQ("abcd", buffer) << "a failed copy writes nothing";
}
