// The portable Windows utilities: command-line splitting and the file test.
#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Winutils.h"
#include "testutil.h"

namespace {

// Splits a copy of line; `none` is set when no array came back, and the
// count variable must then be left alone.
struct Split {
  bool none = false;
  std::vector<std::string> tokens;
};

Split split(const std::string &line) {
  std::vector<char> text(line.begin(), line.end());
  text.push_back('\0');
  int32_t count = -77;
  char **tokens = WINUTILS_parse_command_line(text.data(), &count);
  Split result;
  if (tokens == nullptr) {
    result.none = true;
    EXPECT_EQ(-77, count) << "count written although no tokens came back";
    return result;
  }
  for (int32_t i = 0; i < count; i++) {
    EXPECT_GE(tokens[i], text.data());
    EXPECT_LT(tokens[i], text.data() + text.size()) << "token outside the text";
    result.tokens.push_back(tokens[i]);
  }
  free(tokens);
  return result;
}

}  // namespace

TEST(WinutilsParseCommandLine, SplitsAsTheLauncherExpects) {
  struct Case {
    const char *line;
    std::vector<std::string> tokens;
  } cases[] = {
      {"\"C:\\Games\\Update.exe\"  -x", {"C:\\Games\\Update.exe", "-x"}},
      {"a\tb c", {"a\tb", "c"}},
      {"word", {"word"}},
      {"D:\\AUTORUN\\Update.exe", {"D:\\AUTORUN\\Update.exe"}},
      {"a b   ", {"a", "b"}},
      // Quotes glued to text: text after a closing quote is cut off, an
      // opening quote inside a token stays.
      {"\"abc\"def ghi", {"abc", "ghi"}},
      {"pre\"quoted text\"post x", {"pre\"quoted text", "x"}},
      {"prog \"\" x", {"prog", "", "x"}},
      {"a \"", {"a", ""}},
      {"\"C:\\My Games\\x.exe -y", {"C:\\My Games\\x.exe -y"}},
      {"\" a\" b", {"a", "b"}},
      // Only spaces split: line breaks stay inside a token.
      {"one\r\ntwo three", {"one\r\ntwo", "three"}},
      // A leading space gives no empty first token.
      {" prog.exe arg", {"prog.exe", "arg"}},
      {"   \"C:\\Games\\Update.exe\" -x", {"C:\\Games\\Update.exe", "-x"}},
      // Tabs between spaces are tokens of their own here, although the
      // counting pass sees only one token.
      {"x \t \t ", {"x", "\t", "\t"}},
  };
  for (const Case &c : cases) {
    Split result = split(c.line);
    EXPECT_FALSE(result.none) << "line <" << c.line << ">";
    EXPECT_EQ(c.tokens, result.tokens) << "line <" << c.line << ">";
  }
}

TEST(WinutilsParseCommandLine, LinesWithoutTokensGiveNone) {
  const char *lines[] = {"", " ", "   ", "\t", " \t \r\n "};
  for (const char *line : lines) EXPECT_TRUE(split(line).none) << "line <" << line << ">";
  int32_t count = 5;
  EXPECT_EQ(nullptr, WINUTILS_parse_command_line(nullptr, &count));
  char text[] = "a b";
  EXPECT_EQ(nullptr, WINUTILS_parse_command_line(text, nullptr));
  EXPECT_EQ(5, count);
}

TEST(WinutilsParseCommandLine, ManyMoreTokensThanCountedStayInsideTheArray) {
  // Each " \t" pair makes a token for the splitting pass but none for the
  // counting pass; under the address sanitizer an undersized array fails.
  std::string line = "x";
  for (int i = 0; i < 300; i++) line += " \t";
  line += " ";
  Split result = split(line);
  ASSERT_EQ(301u, result.tokens.size());
  EXPECT_EQ("x", result.tokens[0]);
  EXPECT_EQ("\t", result.tokens[300]);
}

TEST(WinutilsParseCommandLine, ReportsTheLineWhenMessagesAreOn) {
  fnal_test::DiagnosticsCapture cap;
  Split result = split("\"C:\\Games\\Update.exe\" -x");
  EXPECT_EQ(2u, result.tokens.size());
  EXPECT_NE(std::string::npos, cap.develop().find("command_line <\"C:\\Games\\Update.exe\" -x>"))
      << cap.develop();
}

TEST(WinutilsFileExists, GivesSizeOrWhyNot) {
  fnal_test::TempWorkDir dir;
  fnal_test::write_file("three.txt", "abc");
  fnal_test::write_file("empty.txt", "");
  fnal_test::write_file("big.bin", std::string(70000, 'x'));
  std::filesystem::create_directory("folder");
  struct Case {
    const char *path;
    int32_t expected;
  } cases[] = {
      {"three.txt", 3}, {"empty.txt", 0}, {"big.bin", 70000}, {"folder", 0}, {"missing.txt", -1},
  };
  for (const Case &c : cases) EXPECT_EQ(c.expected, WINUTILS_file_exists(c.path)) << c.path;
  EXPECT_EQ(-2, WINUTILS_file_exists(nullptr));
}
