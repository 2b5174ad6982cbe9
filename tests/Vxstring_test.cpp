// Bounded copy, heap duplicate, path components and slash fixing.
#include <stdlib.h>
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "Vxstring.h"
#include "testutil.h"

TEST(VxstringStrcpySafe, CutsAtSizeMinusOneAndAlwaysTerminates) {
  struct Case {
    const char *source;
    uint32_t size;
    const char *expected;
  } cases[] = {
      {"hello", 1, ""},
      {"abcdefghijkl", 9, "abcdefgh"},
      {"abcdefgh", 9, "abcdefgh"},
      {"short", 64, "short"},
      {"", 4, ""},
  };
  for (const Case &c : cases) {
    char buffer[80];
    memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(buffer, VXSTRING_strcpy_safe(buffer, c.source, c.size)) << c.source;
    EXPECT_STREQ(c.expected, buffer) << c.source << " size " << c.size;
    EXPECT_EQ('#', buffer[strlen(c.expected) + 1]) << "wrote past the terminator";
  }
}

TEST(VxstringStrcpySafe, NullSourceGivesNullTextOnlyWhenItFits) {
  char buffer[8];
  memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(nullptr, VXSTRING_strcpy_safe(buffer, nullptr, 4));
  EXPECT_EQ(std::string(8, '#'), std::string(buffer, 8)) << "size 4 must write nothing";
  EXPECT_EQ(buffer, VXSTRING_strcpy_safe(buffer, nullptr, 5));
  EXPECT_STREQ("NULL", buffer);
}

TEST(VxstringStrcpySafe, NullDestinationAndSizeZeroWriteNothing) {
  EXPECT_EQ(nullptr, VXSTRING_strcpy_safe(nullptr, "text", 10));
  char buffer[2] = {'#', '#'};
  EXPECT_EQ(nullptr, VXSTRING_strcpy_safe(buffer, "text", 0));
  EXPECT_EQ('#', buffer[0]);
}

TEST(VxstringMallocCopyText, CopiesIntoANewHeapString) {
  const char text[] = "Iron Meadow";
  char *copy = VXSTRING_malloc_copy_text(text);
  ASSERT_NE(nullptr, copy);
  EXPECT_NE(text, copy);
  EXPECT_STREQ(text, copy);
  free(copy);
  EXPECT_EQ(nullptr, VXSTRING_malloc_copy_text(nullptr));
}

TEST(VxstringParsePathName, ReturnsEachComponentAndNullPastTheLast) {
  struct Case {
    const char *path;
    int32_t index;
    const char *expected;  // null: no component
  } cases[] = {
      {"alpha\\beta\\gamma", 0, "alpha"},
      {"alpha\\beta\\gamma", 1, "beta"},
      {"alpha\\beta\\gamma", 2, "gamma"},
      {"alpha\\beta\\gamma", 3, nullptr},
      {"whole", 0, "whole"},
      {"whole", 1, nullptr},
      {"dir\\", 1, ""},
      {"a\\\\b", 1, ""},
      {"a\\\\b", 2, "b"},
      {"\\lead", 0, ""},
      {"\\lead", 1, "lead"},
      {"x", -1, nullptr},
      {nullptr, 0, nullptr},
  };
  for (const Case &c : cases) {
    char *component = VXSTRING_parse_path_name(c.path, c.index);
    std::string where = std::string(c.path ? c.path : "(null)") + " #" + std::to_string(c.index);
    if (c.expected == nullptr) {
      EXPECT_EQ(nullptr, component) << where;
    } else {
      ASSERT_NE(nullptr, component) << where;
      EXPECT_STREQ(c.expected, component) << where;
    }
    free(component);
  }
}

TEST(VxstringFixPathSlashes, LeavesOnlyBackslashesAndKeepsTheLength) {
  char path[] = "C:/games\\iron/meadow/";
  VXSTRING_fix_path_slashes(path);
  EXPECT_STREQ("C:\\games\\iron\\meadow\\", path);
  VXSTRING_fix_path_slashes(nullptr);
}

TEST(VxstringSeparatorAfter, GivesABackslashUnlessTheFolderEndsInOne) {
  struct Case {
    const char *folder;
    const char *expected;
  } cases[] = {
      {"C:\\Games", "\\"}, {"C:\\Games\\", ""}, {"C:\\", ""}, {"", "\\"}, {"C:/Games/", "\\"},
  };
  for (const auto &c : cases)
    EXPECT_STREQ(c.expected, VXSTRING_separator_after(c.folder)) << c.folder;
}

TEST(VxstringFormatFitting, WritesWhatFitsAndEmptiesTheBufferOtherwise) {
  char out[8];
  EXPECT_EQ(1, VXSTRING_format_fitting(out, sizeof out, "%s\\%s", "ab", "cde"));
  EXPECT_STREQ("ab\\cde", out);
  EXPECT_EQ(1, VXSTRING_format_fitting(out, sizeof out, "%s", "1234567")) << "7 + terminator fit";
  EXPECT_STREQ("1234567", out);
  EXPECT_EQ(0, VXSTRING_format_fitting(out, sizeof out, "%s", "12345678"));
  EXPECT_STREQ("", out) << "a text that does not fit leaves nothing behind";
  out[0] = 'x';
  EXPECT_EQ(0, VXSTRING_format_fitting(out, 0, "%s", ""));
  EXPECT_EQ('x', out[0]) << "size 0 writes nothing";
  EXPECT_EQ(0, VXSTRING_format_fitting(nullptr, 4, "%s", "a"));
}
