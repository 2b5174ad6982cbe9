// INI reader: the in-place parse and its quirks, lookups, the handle table,
// reading files through vfile, and every failure message.
#define VBUG_SOURCE "tests\\Veloini_test.cpp"
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Veloini.h"
#include "memory.h"
#include "testutil.h"
#include "vbug.h"
#include "vfile.h"

namespace {

// Diagnostics, tracked memory, vfile with defaults and the reader with 5
// handles and "cev", as the launcher starts them; checks for leaks.
class VeloiniTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(1, MEMORY_initialise());
    ASSERT_EQ(1, VFILE_initialise(nullptr));
    ASSERT_EQ(1, VELOINI_initialise(5, "cev"));
  }
  void TearDown() override {
    VELOINI_deinitialise();
    VFILE_deinitialise();
    EXPECT_EQ(0, MEMORY_live_blocks()) << "tracked blocks left behind";
    MEMORY_deinitialise();
  }
  // Opens text (kept alive by the test) as an in-memory handle.
  int16_t open(std::string &text, int16_t handle = -1) {
    return VELOINI_open_memory(text.empty() ? nullptr : &text[0], (int32_t)text.size(), handle);
  }
  bool said(const char *message) { return cap.develop().find(message) != std::string::npos; }
  fnal_test::DiagnosticsCapture cap;
};

std::string value_of(int16_t handle, const char *key) {
  const char *value = VELOINI_get_entry(handle, key);
  return value ? value : "(none)";
}

}  // namespace

TEST_F(VeloiniTest, ParsesEntriesWithTheirSeparatorsAndQuirks) {
  struct Case {
    const char *text;
    const char *key;
    const char *expected;
  } cases[] = {
      {"speed = 3;", "speed", "3"},
      {"speed = 3;", "SPEED", "3"},
      {"speed = 3;", "Speed", "3"},
      {"colour = dark blue ;", "colour", "dark blue "},
      {"a=1;", "a", "1"},
      {"a 1;", "a", "1"},
      {"a = = 1;", "a", "1"},
      {"a\r\n=\t1;", "a", "1"},
      {"  \r\n\t key\t=\tvalue;", "key", "value"},
      {"text = one\r\ntwo = [x] #y;", "text", "one\r\ntwo = [x] #y"},
      {"a = 1; a = 2;", "a", "1"},
      {"[x]\na = 1;\n[y]\na = 2;", "a", "1"},
      {"a = 1;\nb = 2", "a", "1"},
      {"a = 1;\nb = 2", "b", "(none)"},
      {"# comment\n#another\r\nspeed = 3;", "speed", "3"},
      {"[s]\n# note\nspeed = 3;", "speed", "(none)"},
      {"[s]\n# note\nspeed = 3;", "#", "note\nspeed = 3"},
      {"[a]\n[b]\nx = 1;", "x", "(none)"},
      {"[a]\n[b]\nx = 1;", "[b]", "x = 1"},
      {"empty = ;", "empty", ""},
      {"speed = 3;", "spee", "(none)"},
      {"[open", "x", "(none)"},
  };
  for (const Case &c : cases) {
    std::string text = c.text;
    int16_t handle = open(text);
    if (strchr(c.text, ';') == nullptr) {
      EXPECT_EQ(-1, handle) << c.text;
      continue;
    }
    ASSERT_EQ(0, handle) << c.text;
    EXPECT_EQ(c.expected, value_of(handle, c.key)) << c.text << " key " << c.key;
    EXPECT_EQ(1, VELOINI_close_memory(handle));
  }
}

TEST_F(VeloiniTest, RecordsSectionNamesAndEachEntrysSection) {
  std::string text = "top = 0;\n[General]\na = 1;\n[ Video ]\nb = 2;\n[a]\n[b]\nc = 3;";
  int16_t handle = open(text);
  ASSERT_EQ(0, handle);
  const VELOINI_SLOT *slot = VELOINI_get_slot(handle);
  ASSERT_EQ(4, slot->ini_text_count);
  EXPECT_EQ(2, slot->current_section) << "the header right after [a] is no section";
  EXPECT_STREQ("General", slot->section_list[0]);
  EXPECT_STREQ(" Video ", slot->section_list[1]);
  EXPECT_STREQ("a", slot->section_list[2]);
  int32_t sections[] = {-1, 0, 1, 2};
  for (int i = 0; i < 4; i++) EXPECT_EQ(sections[i], slot->ini_text_list[i].section) << i;
  EXPECT_STREQ("[b]", slot->ini_text_list[3].key);
  EXPECT_EQ(-1, slot->section_scope);
}

TEST_F(VeloiniTest, AComplementedTextIsReadLikeItsPlainForm) {
  std::string plain = "version_number = 1.0000;";
  std::string text = plain;
  for (char &c : text) c = (char)~c;
  int16_t handle = open(text);
  ASSERT_EQ(0, handle);
  EXPECT_EQ("1.0000", value_of(handle, "version_number"));
  std::string expected = plain;
  expected[14] = '\0';
  expected[23] = '\0';
  EXPECT_EQ(expected, text) << "complemented in the caller's buffer, then terminated in place";
}

TEST_F(VeloiniTest, RefusedTextsReportAndLeaveTheSlotFreeAndTheTextUnchanged) {
  struct Case {
    std::string text;
    int32_t size;
    const char *message;
  } cases[] = {
      {"no entries here", 15, "VELOINI_open_memory: Failed to allocate ini_text_list, count: 0"},
      {std::string(3, (char)~'x'), 3,
       "VELOINI_open_memory: Failed to allocate ini_text_list, count: 0"},
      {std::string(32768, ';'), 32768,
       "VELOINI_open_memory: Failed to allocate ini_text_list, count: 32768"},
      {std::string(32768, '[') + ";", 32769,
       "VELOINI_open_memory: Failed to allocate section_list"},
      {"a = 1;", 0, "VELOINI_parse: Size is invalid"},
      {"a = 1;", -4, "VELOINI_parse: Size is invalid"},
  };
  for (Case &c : cases) {
    cap.clear();
    std::string before = c.text;
    EXPECT_EQ(-1, VELOINI_open_memory(&c.text[0], c.size, -1)) << c.message;
    EXPECT_TRUE(said(c.message)) << c.message << " got: " << cap.develop();
    EXPECT_EQ(before, c.text) << "text changed by a refused open";
    EXPECT_EQ(nullptr, VELOINI_get_slot(0)->data);
  }
  EXPECT_EQ(-1, VELOINI_open_memory(nullptr, 5, -1));
  EXPECT_TRUE(said("VELOINI_parse: Data is NULL"));
}

TEST_F(VeloiniTest, SixthHandleIsRefusedAndAClosedOneIsReused) {
  std::vector<std::string> texts(7, "k = v;");
  for (int16_t i = 0; i < 5; i++) ASSERT_EQ(i, open(texts[i]));
  EXPECT_EQ(-1, open(texts[5]));
  EXPECT_TRUE(said("VELOINI_open_memory: Failed, VELOINI has no free handles"));
  ASSERT_EQ(1, VELOINI_close(2));
  EXPECT_EQ("(none)", value_of(2, "k")) << "a closed handle has no entries";
  EXPECT_EQ(2, open(texts[5]));
  EXPECT_EQ("v", value_of(2, "k"));
  for (int16_t bad : {-1, 5, 300}) EXPECT_EQ("(none)", value_of(bad, "k")) << bad;
  EXPECT_EQ(nullptr, VELOINI_get_entry(0, nullptr));
  for (int16_t i = 0; i < 5; i++) EXPECT_EQ(1, VELOINI_close_memory(i));
  EXPECT_EQ(1, VELOINI_close(0)) << "closing a free handle succeeds";
}

TEST_F(VeloiniTest, AnExplicitHandleMustBeInsideTheTableAndFree) {
  std::string a = "a = 1;", b = "b = 2;";
  EXPECT_EQ(3, open(a, 3));
  EXPECT_EQ(-1, open(b, 3));
  EXPECT_TRUE(said("VELOINI_open_memory: Failed, handle 3 is in use"));
  EXPECT_EQ(-1, open(b, 5));
  EXPECT_TRUE(said("VELOINI_open_memory: Failed, handle 5 is not valid"));
  EXPECT_EQ("1", value_of(3, "a"));
  EXPECT_EQ(0, open(b)) << "the first free handle";
}

TEST_F(VeloiniTest, ClosingReportsBadHandles) {
  EXPECT_EQ(0, VELOINI_close(5));
  EXPECT_TRUE(said("VELOINI_close: invalid handle"));
  EXPECT_EQ(0, VELOINI_close_memory(-1));
  EXPECT_TRUE(said("VELOINI_close_memory: Not a valid handle"));
}

TEST_F(VeloiniTest, OpensFilesThroughVfileWithTheExtensionAppended) {
  fnal_test::write_file("kervins.cev", "version_number = 1.0000;\r\n");
  fnal_test::write_file("kervinscev", "version_number = 0.9;");
  fnal_test::write_file("nosemi.cev", "version_number 1");
  ASSERT_EQ(1u, VFILE_set_search_paths(1, ".\\"));
  ASSERT_EQ(1, VFILE_set_extension(".longer"));

  int16_t handle = VELOINI_open(".\\KERVINS.CEV");
  ASSERT_EQ(0, handle);
  EXPECT_EQ("1.0000", value_of(handle, "version_number"));
  int16_t dotless = VELOINI_open("kervins");
  ASSERT_EQ(1, dotless);
  EXPECT_EQ("0.9", value_of(dotless, "version_number"));
  EXPECT_STREQ(".longer", VFILE_get_extension()) << "vfile's extension is given back whole";
  EXPECT_EQ(1, VELOINI_close(handle));
  EXPECT_EQ(1, VELOINI_close(dotless));

  EXPECT_EQ(-1, VELOINI_open("missing.cev"));
  EXPECT_TRUE(said("VELOINI_open: VFILE failed allocate and read 0"));
  EXPECT_EQ(-1, VELOINI_open("nosemi.cev"));
  EXPECT_TRUE(said("VELOINI_open: Could get handle"));
}

TEST_F(VeloiniTest, DeinitialiseClosesEveryHandleButLeavesCallersTexts) {
  fnal_test::write_file("game.cev", "a = 1;");
  ASSERT_EQ(1u, VFILE_set_search_paths(1, ".\\"));
  std::string text = "b = 2;";
  ASSERT_EQ(0, open(text));
  ASSERT_EQ(1, VELOINI_open("game.cev"));
  EXPECT_EQ(0, VELOINI_initialise(5, "cev")) << "a second initialise would lose the handles";
  EXPECT_EQ("1", value_of(1, "a"));
  ASSERT_EQ(1, VELOINI_deinitialise());
  EXPECT_EQ(std::string("b\0= 2\0", 6), text) << "the caller's text is still there";
  EXPECT_EQ(0, VELOINI_deinitialise());
  ASSERT_EQ(1, VELOINI_initialise(5, "cev"));
}

TEST_F(VeloiniTest, EveryOperationRefusesWhileNotInitialised) {
  ASSERT_EQ(1, VELOINI_deinitialise());
  std::string text = "a = 1;";
  EXPECT_EQ(-1, VELOINI_open("a.cev"));
  EXPECT_EQ(-1, open(text));
  EXPECT_EQ(0, VELOINI_close(0));
  EXPECT_EQ(0, VELOINI_close_memory(0));
  EXPECT_EQ(nullptr, VELOINI_get_entry(0, "a"));
  for (const char *message : {"VLEOINI_open: VELOINI module not active",
                              "VELOINI_open_memory: Failed, VELOINI not initialised",
                              "VELOINI_close: VELOINI module not active",
                              "VELOINI_close_memory: VELOINI module not active"})
    EXPECT_TRUE(said(message)) << message;
  EXPECT_EQ("a = 1;", text);
  EXPECT_EQ(0, VELOINI_initialise(0, "cev"));
  ASSERT_EQ(1, VELOINI_initialise(5, nullptr));
}

TEST(VeloiniMakeMagic, HashesLengthAndShiftedLowerCaseCharacters) {
  struct Case {
    const char *text;
    int32_t expected;
  } cases[] = {
      {"", 0},
      {"abc", 432147},
      {"ABC", 432147},
      {"abcdefghi", -591749359},
      {"\xe9"
       "A",
       24466},
  };
  for (const Case &c : cases) EXPECT_EQ(c.expected, make_magic(c.text)) << c.text;
}
