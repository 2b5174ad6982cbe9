// Directory listing, file status, temporary names, folders and the current
// directory through the platform layer, with backslash-separated paths.
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform.h"
#include "testutil.h"

namespace {

struct Listed {
  std::string name;
  bool is_directory;
  bool operator<(const Listed &other) const { return name < other.name; }
};

std::vector<Listed> list(const char *pattern) {
  std::vector<Listed> entries;
  PLATFORM_FIND_DATA data;
  PLATFORM_FIND *find = PLATFORM_find_first(pattern, &data);
  if (find == nullptr) return entries;
  do entries.push_back({data.name, data.is_directory != 0});
  while (PLATFORM_find_next(find, &data));
  PLATFORM_find_close(find);
  return entries;
}

bool make_dir(const std::string &path) {
  return PLATFORM_create_directory(path.c_str()) == 1;
}

}  // namespace

TEST(PlatformFind, ListsMatchingEntriesWithTheirDirectoryAttribute) {
  fnal_test::TempWorkDir dir;
  ASSERT_TRUE(make_dir("top"));
  ASSERT_TRUE(make_dir("top\\Sub"));
  fnal_test::write_file("top/b.txt", "b");
  fnal_test::write_file("top/A.txt", "a");
  fnal_test::write_file("top/noext", "n");

  struct Case {
    const char *pattern;
    std::set<Listed> expected;
  } cases[] = {
      {"top\\*.*", {{"A.txt", false}, {"Sub", true}, {"b.txt", false}, {"noext", false}}},
      {"top\\?.TXT", {{"A.txt", false}, {"b.txt", false}}},
      {"TOP\\s*", {{"Sub", true}}},
      {"top\\*.doc", {}},
      {"missing\\*.*", {}},
  };
  for (const Case &c : cases) {
    std::set<Listed> found;
    for (const Listed &e : list(c.pattern))
      if (e.name != "." && e.name != "..") found.insert(e);
    EXPECT_EQ(c.expected.size(), found.size()) << c.pattern;
    for (const Listed &e : c.expected) {
      auto it = found.find(e);
      ASSERT_NE(found.end(), it) << e.name << " not listed for " << c.pattern;
      EXPECT_EQ(e.is_directory, it->is_directory) << e.name;
    }
  }
}

#ifndef _WIN32
// The host lists in a fixed order: "." and ".." first, then names in
// case-insensitive order of their upper-case forms, as NTFS lists them.
TEST(PlatformFind, HostListsInCaseInsensitiveOrder) {
  fnal_test::TempWorkDir dir;
  for (const char *name : {"b.txt", "A.txt", "a_b", "ab", "C"}) fnal_test::write_file(name, "x");
  std::vector<Listed> entries = list(".\\*.*");
  std::vector<std::string> names;
  for (const Listed &e : entries) names.push_back(e.name);
  EXPECT_EQ((std::vector<std::string>{".", "..", "A.txt", "ab", "a_b", "b.txt", "C"}), names);
  EXPECT_TRUE(entries[0].is_directory && entries[1].is_directory);
}
#endif

TEST(PlatformFileStatus, ReportsSizeAndDirectoryWhateverTheCase) {
  fnal_test::TempWorkDir dir;
  ASSERT_TRUE(make_dir("Data"));
  fnal_test::write_file("Data/File.Bin", std::string(1234, 'z'));
  PLATFORM_FILE_STATUS status = {-1, 9};
  ASSERT_EQ(1, PLATFORM_file_status("data\\file.bin", &status));
  EXPECT_EQ(1234, status.size);
  EXPECT_EQ(0, status.is_directory);
  ASSERT_EQ(1, PLATFORM_file_status(".\\DATA", &status));
  EXPECT_EQ(1, status.is_directory);
  status.size = 77;
  EXPECT_EQ(0, PLATFORM_file_status("data\\none.bin", &status));
  EXPECT_EQ(77, status.size) << "a failed query must leave the status alone";

  FILE *stream = PLATFORM_fopen("DATA\\FILE.BIN", "rb");
  ASSERT_NE(nullptr, stream);
  char byte = 0;
  EXPECT_EQ(1u, fread(&byte, 1, 1, stream));
  EXPECT_EQ('z', byte);
  fclose(stream);
}

TEST(PlatformFolders, CreateRemoveDeleteAndCurrentDirectory) {
  fnal_test::TempWorkDir dir;
  char cwd[PLATFORM_MAX_PATH];
  uint32_t length = PLATFORM_get_current_directory(sizeof cwd, cwd);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(strlen(cwd), length);
  EXPECT_EQ(nullptr, strchr(cwd, '/')) << "paths are backslash-separated: " << cwd;
  EXPECT_EQ(length + 1, PLATFORM_get_current_directory(length, cwd)) << "too small: size needed";

  EXPECT_EQ(1, PLATFORM_create_directory("made"));
  EXPECT_EQ(0, PLATFORM_create_directory("made")) << "exists already";
  EXPECT_EQ(0, PLATFORM_create_directory("no\\parent"));
  ASSERT_EQ(1, PLATFORM_set_current_directory("made"));
  fnal_test::write_file("inner.txt", "x");
  ASSERT_EQ(1, PLATFORM_set_current_directory(cwd));
  EXPECT_EQ(0, PLATFORM_remove_directory("made")) << "not empty";
  EXPECT_EQ(0, PLATFORM_delete_file("made")) << "a folder is not a file";
  EXPECT_EQ(1, PLATFORM_delete_file("made\\inner.txt"));
  EXPECT_EQ(0, PLATFORM_delete_file("made\\inner.txt"));
  EXPECT_EQ(1, PLATFORM_remove_directory("made"));
  EXPECT_EQ(0, PLATFORM_set_current_directory("made"));
}

// A name that is new as spelled takes the spelling of an existing entry that
// differs only in case, whether its folder is spelled as on disk or not.
TEST(PlatformFolders, NewNamesMeetExistingOnesWhateverTheCase) {
  fnal_test::TempWorkDir dir;
  ASSERT_TRUE(make_dir("Data"));
  fnal_test::write_file("Data/File.Bin", "x");
  struct Case {
    const char *path;
    unsigned char created;
    const char *host;  // where the new folder must be, or null
  } cases[] = {
      {"Data\\FILE.BIN", 0, nullptr},  // the file, in another case
      {"DATA\\New", 1, "Data/New"},    // the folder spelled otherwise
      {"Data\\new", 0, nullptr},       // now there, in another case
      {"data\\NEW\\Inner", 1, "Data/New/Inner"},
      {"Data\\Other", 1, "Data/Other"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(c.created, PLATFORM_create_directory(c.path)) << c.path;
    struct stat info;
    if (c.host != nullptr) {
      EXPECT_TRUE(stat(c.host, &info) == 0 && S_ISDIR(info.st_mode)) << c.path;
    }
  }
  EXPECT_EQ(1, PLATFORM_delete_file("data\\file.bin"));
  EXPECT_EQ(0, PLATFORM_delete_file("Data\\File.Bin")) << "gone";
}

// The case match reads a folder's listing in pieces: in a folder whose
// listing spans many of them, every entry is still found, wherever it lies.
TEST(PlatformFolders, CaseMatchFindsEveryEntryOfALargeFolder) {
  fnal_test::TempWorkDir dir;
  ASSERT_TRUE(make_dir("Big"));
  const std::string pad(60, 'q');
  const int count = 300;  // some 25 KiB of listing: more than one read
  for (int i = 0; i < count; i++) fnal_test::write_file("Big/Entry" + std::to_string(i) + pad, "x");
  for (int i = 0; i < count; i++) {
    std::string shouted = "big\\ENTRY" + std::to_string(i) + std::string(60, 'Q');
    EXPECT_EQ(0, PLATFORM_create_directory(shouted.c_str())) << "exists already: " << i;
  }
  struct stat info;
  EXPECT_EQ(1, PLATFORM_create_directory("BIG\\ENTRY"));
  EXPECT_TRUE(stat("Big/ENTRY", &info) == 0 && S_ISDIR(info.st_mode)) << "no entry of that name";
}

TEST(PlatformTemp, TempPathAndUniqueNamesCreateFiles) {
  char temp[PLATFORM_MAX_PATH];
  uint32_t length = PLATFORM_get_temp_path(sizeof temp, temp);
  ASSERT_GT(length, 0u);
  ASSERT_LT(length, sizeof temp);
  EXPECT_EQ('\\', temp[length - 1]);
  EXPECT_EQ(length + 1, PLATFORM_get_temp_path(1, temp));

  fnal_test::TempWorkDir dir;
  char first[PLATFORM_MAX_PATH], second[PLATFORM_MAX_PATH];
  uint32_t a = PLATFORM_get_temp_file_name(".", "DIRECTORY", first);
  uint32_t b = PLATFORM_get_temp_file_name(".\\", "DIR", second);
  ASSERT_NE(0u, a);
  ASSERT_NE(0u, b);
  EXPECT_STRNE(first, second);
  for (const char *name : {first, second}) {
    std::string text(name);
    EXPECT_EQ(0u, text.find(".\\DIR")) << text;
    std::string upper = text;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
    ASSERT_EQ(upper.size() - 4, upper.rfind(".TMP")) << text;
    std::string number = text.substr(5, text.size() - 5 - 4);
    EXPECT_FALSE(number.empty()) << text;
    EXPECT_TRUE(std::all_of(number.begin(), number.end(), ::isxdigit))
        << "the prefix is cut to three characters and a hexadecimal number follows: " << text;
    PLATFORM_FILE_STATUS status;
    EXPECT_EQ(1, PLATFORM_file_status(name, &status)) << "the file is created: " << text;
  }
  EXPECT_EQ(0u, PLATFORM_get_temp_file_name("missing", "DIR", first));
}
