// Extraction into a new temporary folder: the tree written, the record of
// created files and folders, their deletion, the failures and unsafe names.
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include "huffman.h"
#include "memory.h"
#include "platform.h"
#include "testutil.h"
#include "utilvbig.h"
#include "vfilbig.h"

namespace fs = std::filesystem;

namespace {

// A path of the library (backslashes) in the platform's own form.
std::string native(std::string path) {
#ifndef _WIN32
  std::replace(path.begin(), path.end(), '\\', '/');
#endif
  return path;
}

std::string current_directory() {
  char buffer[2048];
  EXPECT_GT(PLATFORM_get_current_directory(sizeof buffer, buffer), 0u);
  return buffer;
}

using fnal_test::le32;

std::string record(const std::string &name, int type, int32_t parent, int32_t size) {
  std::string r = name + std::string(256 - name.size(), '\0');
  r += (char)type;
  r += std::string(2, '\0');
  r += le32(parent) + le32(size) + std::string(32, '\0');  // username, date, pointer, offset
  return r;
}

std::string header(int32_t count) {
  return "GIBV" + le32(0) + le32(count);
}

std::string build(const std::vector<VBIG_MEMBER> &members) {
  int32_t length = 0;
  unsigned char *block =
      VFILBIG_build_archive(members.data(), (int32_t)members.size(), NULL, NULL, &length);
  EXPECT_NE(nullptr, block);
  std::string bytes(block ? (char *)block : "", length);
  free(block);
  return bytes;
}

// a\b\f, top.txt and a compressed c.txt.
std::string tree_archive() {
  static std::string packed;
  if (packed.empty()) {
    int32_t length = 0;
    unsigned char *stream = HUFFMAN_compress((const unsigned char *)"cccccccccab", 11, &length);
    packed.assign((char *)stream, length);
    free(stream);
  }
  return build({
      {"a", VBIG_ENTRY_DIRECTORY, 0, -1, NULL, 0},
      {"b", VBIG_ENTRY_DIRECTORY, 0, 0, NULL, 0},
      {"f", VBIG_ENTRY_FILE, 0, 1, "deep", 4},
      {"top.txt", VBIG_ENTRY_FILE, 0, -1, "top", 3},
      {"c.txt", VBIG_ENTRY_FILE, VBIG_FLAG_COMPRESSED, -1, packed.data(), (int32_t)packed.size()},
  });
}

#ifdef _WIN32
const char *const kTempVariables[] = {"TMP", "TEMP"};
#else
const char *const kTempVariables[] = {"TMPDIR"};
#endif

// Points the temporary-files folder at path (or back to `saved`).
void set_temp_folder(const std::string &path) {
  for (const char *name : kTempVariables) {
#ifdef _WIN32
    SetEnvironmentVariableA(name, path.c_str());
#else
    setenv(name, path.c_str(), 1);
#endif
  }
}

void restore_temp_folder(const std::vector<std::string> &saved, const std::vector<bool> &was_set) {
  for (size_t i = 0; i < saved.size(); i++) {
#ifdef _WIN32
    SetEnvironmentVariableA(kTempVariables[i], was_set[i] ? saved[i].c_str() : NULL);
#else
    if (was_set[i]) {
      setenv(kTempVariables[i], saved[i].c_str(), 1);
    } else {
      unsetenv(kTempVariables[i]);
    }
#endif
  }
}

// The modules up, a fresh working folder, and a temporary-files folder of
// the test's own ("tmp" in the working folder).
class UtilvbigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(1, MEMORY_initialise());
    ASSERT_EQ(1, VFILBIG_initialise(1));
    ASSERT_EQ(1, UTILVBIG_initialise(1));
    for (const char *name : kTempVariables) {
      const char *value = getenv(name);
      saved_.push_back(value ? value : "");
      was_set_.push_back(value != NULL);
    }
    temp_ = (fs::path(dir_.path()) / "tmp").string();
    fs::create_directory(temp_);
    set_temp_folder(temp_);
  }
  void TearDown() override {
    restore_temp_folder(saved_, was_set_);
    UTILVBIG_deinitialise();
    VFILBIG_deinitialise();
    EXPECT_EQ(0, MEMORY_live_blocks());
    MEMORY_deinitialise();
  }

  // The "DIR" entries of the test's temporary-files folder.
  std::vector<std::string> temp_entries() {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(temp_)) {
      std::string name = entry.path().filename().string();
      if (name.rfind("DIR", 0) == 0) names.push_back(name);
    }
    return names;
  }

  std::string extract_sized(const std::string &archive) {
    char result[260] = "junk";
    unsigned char ok = UTILVBIG_extract_to_temp_dir_from_mem_with_size(
        archive.data(), (int32_t)archive.size(), result);
    return ok ? result : "<failed:" + std::string(result) + ">";
  }

  fnal_test::TempWorkDir dir_;
  std::string temp_;
  std::vector<std::string> saved_;
  std::vector<bool> was_set_;
};

}  // namespace

TEST_F(UtilvbigTest, ExtractsTheTreeIntoANewDirFolderAndRecordsIt) {
  std::string before = current_directory();
  std::string archive = tree_archive();
  char result[260] = "junk";
  ASSERT_EQ(1, UTILVBIG_extract_to_temp_dir_from_mem(archive.data(), 4, result));
  EXPECT_EQ(before, current_directory()) << "working directory restored";
  std::string folder = native(result);
  EXPECT_EQ(fs::path(temp_), fs::path(folder).parent_path());
  EXPECT_EQ(0u, fs::path(folder).filename().string().rfind("DIR", 0)) << folder;
  EXPECT_EQ("deep", fnal_test::read_file(folder + "/a/b/f"));
  EXPECT_EQ("top", fnal_test::read_file(folder + "/top.txt"));
  EXPECT_EQ("cccccccccab", fnal_test::read_file(folder + "/c.txt"));

  std::string base = result;
  ASSERT_EQ(3, UTILVBIG_recorded_file_count());
  EXPECT_STREQ((base + "\\a\\b\\f").c_str(), UTILVBIG_recorded_path(0, 0));
  EXPECT_STREQ((base + "\\c.txt").c_str(), UTILVBIG_recorded_path(0, 2));
  ASSERT_EQ(2, UTILVBIG_recorded_dir_count());
  EXPECT_STREQ((base + "\\a").c_str(), UTILVBIG_recorded_path(1, 0));
  EXPECT_STREQ((base + "\\a\\b").c_str(), UTILVBIG_recorded_path(1, 1));

  fnal_test::DiagnosticsCapture capture;
  UTILVBIG_delete_extracted_files();
  UTILVBIG_delete_extracted_dirs();  // a\b must go before a
  EXPECT_EQ("", capture.develop());
  EXPECT_TRUE(fs::is_empty(folder));
  UTILVBIG_delete_extracted_files();  // a second call does nothing
  UTILVBIG_delete_extracted_dirs();
  EXPECT_EQ(0, UTILVBIG_recorded_file_count());
  EXPECT_TRUE(fs::remove(folder));
}

TEST_F(UtilvbigTest, FailuresReportTheirTextAndLeaveNoFolder) {
  std::string archive = tree_archive();
  std::string not_archive = "MZ this is no archive at all";
  struct Case {
    const char *what;
    const void *block;
    bool null_result;
    int setup;  // 0 none, 1 reader down, 2 extractor down
    const char *message;
  } cases[] = {
      {"null result path", archive.data(), true, 0, "Result path was NULL"},
      {"reader not initialised", archive.data(), false, 1, "VFILBIG module not initialised"},
      {"extractor not initialised", archive.data(), false, 2, "UTILVBIG module not initialised"},
      {"null block", NULL, false, 0, "mem block is NULL"},
      {"not an archive", not_archive.data(), false, 0, "Failed to load vbigfile from mem"},
  };
  for (const Case &c : cases) {
    if (c.setup == 1) VFILBIG_deinitialise();
    if (c.setup == 2) UTILVBIG_deinitialise();
    fnal_test::DiagnosticsCapture capture;
    char result[260] = "junk";
    EXPECT_EQ(0, UTILVBIG_extract_to_temp_dir_from_mem(c.block, 4, c.null_result ? NULL : result))
        << c.what;
    if (!c.null_result) {
      EXPECT_STREQ("", result) << c.what;
    }
    EXPECT_NE(std::string::npos, capture.develop().find(c.message)) << c.what << capture.develop();
    EXPECT_TRUE(temp_entries().empty()) << c.what;
    if (c.setup == 1) VFILBIG_initialise(1);
    if (c.setup == 2) UTILVBIG_initialise(1);
  }
}

TEST_F(UtilvbigTest, SizedFormRefusesATruncatedArchiveAndExtractsNothing) {
  std::string archive = tree_archive();
  for (size_t cut : {archive.size() - 1, (size_t)12 + 299 * 2 + 10, (size_t)5}) {
    EXPECT_EQ("<failed:>", extract_sized(archive.substr(0, cut))) << cut;
    EXPECT_EQ(VFILBIG_ERR_NOT_VBIG, VFILBIG_get_last_error()) << cut;
    EXPECT_TRUE(temp_entries().empty()) << cut;
    EXPECT_EQ(0, UTILVBIG_recorded_file_count());
  }
  std::string folder = native(extract_sized(archive));
  EXPECT_EQ("deep", fnal_test::read_file(folder + "/a/b/f"));
  UTILVBIG_delete_extracted_files();
  UTILVBIG_delete_extracted_dirs();
}

TEST_F(UtilvbigTest, RecordsAtMostAHundredFiles) {
  std::vector<std::string> names;
  for (int i = 0; i < 101; i++) names.push_back("f" + std::to_string(1000 + i));
  std::vector<VBIG_MEMBER> members;
  for (const std::string &name : names) {
    members.push_back({name.c_str(), VBIG_ENTRY_FILE, 0, -1, "x", 1});
  }
  std::string folder = native(extract_sized(build(members)));
  EXPECT_EQ(100, UTILVBIG_recorded_file_count());
  UTILVBIG_delete_extracted_files();
  std::vector<std::string> left;
  for (const auto &entry : fs::directory_iterator(folder)) {
    left.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(std::vector<std::string>{"f1100"}, left);
}

TEST_F(UtilvbigTest, WithoutTrackingNothingIsRecordedOrDeleted) {
  UTILVBIG_deinitialise();
  ASSERT_EQ(1, UTILVBIG_initialise(0));
  std::string folder = native(extract_sized(tree_archive()));
  EXPECT_EQ(0, UTILVBIG_recorded_file_count());
  EXPECT_EQ(0, UTILVBIG_recorded_dir_count());
  UTILVBIG_delete_extracted_files();
  UTILVBIG_delete_extracted_dirs();
  EXPECT_EQ("top", fnal_test::read_file(folder + "/top.txt"));
}

TEST_F(UtilvbigTest, DeinitialiseForgetsPathsWithoutTouchingTheDisk) {
  std::string folder = native(extract_sized(tree_archive()));
  EXPECT_GT(MEMORY_live_blocks(), 0);
  UTILVBIG_deinitialise();
  EXPECT_EQ(0, MEMORY_live_blocks());
  EXPECT_EQ("top", fnal_test::read_file(folder + "/top.txt"));
}

TEST_F(UtilvbigTest, UnsafeNamesAreNeverWrittenAndTheRestGoesOn) {
  std::string raw;
  int count = 0;
  auto add = [&](const std::string &name, int type, int32_t parent, const std::string &data) {
    raw += record(name, type, parent, (int32_t)data.size()) + data;
    return count++;
  };
  add("", 2, -1, "E");
  add(".", 1, -1, "");
  int up = add("..", 1, -1, "");
  add("escaped", 2, up, "X");
  add("a/b", 2, -1, "S");
  add("x\\y", 2, -1, "B");
  add("c:z", 2, -1, "C");
  add(std::string("tab\tname"), 2, -1, "T");
  add("Same", 2, -1, "1");
  add("same", 2, -1, "2");  // differs only in case: must not loop
  add("ok.txt", 2, -1, "fine");
  std::string archive = header(count) + raw;
  std::string folder = native(extract_sized(archive));
  EXPECT_EQ(7, UTILVBIG_get_skipped_count());
  EXPECT_EQ("fine", fnal_test::read_file(folder + "/ok.txt"));
  std::vector<std::string> written;
  for (const auto &entry : fs::directory_iterator(folder)) {
    written.push_back(entry.path().filename().string());
  }
  // "Same" and "same" are one file where names ignore case.
  for (const std::string &name : written) {
    EXPECT_TRUE(name == "ok.txt" || name == "Same" || name == "same") << name;
  }
  EXPECT_NE(written.end(), std::find(written.begin(), written.end(), "ok.txt"));
  EXPECT_FALSE(fs::exists(fs::path(temp_) / "escaped"));
  EXPECT_FALSE(fs::exists(fs::path(temp_) / "b"));
  UTILVBIG_delete_extracted_files();
}

TEST_F(UtilvbigTest, UnreadableMemberLeavesNoFileAndTheRestGoesOn) {
  int32_t length = 0;
  unsigned char *stream = HUFFMAN_compress((const unsigned char *)"abcabcabcabc", 12, &length);
  std::string bad((char *)stream, length - 1);  // the code bits run out
  free(stream);
  std::string archive = build({
      {"bad.bin", VBIG_ENTRY_FILE, VBIG_FLAG_COMPRESSED, -1, bad.data(), (int32_t)bad.size()},
      {"good.bin", VBIG_ENTRY_FILE, 0, -1, "good", 4},
  });
  std::string folder = native(extract_sized(archive));
  EXPECT_FALSE(fs::exists(folder + "/bad.bin"));
  EXPECT_EQ("good", fnal_test::read_file(folder + "/good.bin"));
  EXPECT_EQ(1, UTILVBIG_get_skipped_count());
  EXPECT_EQ(1, UTILVBIG_recorded_file_count());
  UTILVBIG_delete_extracted_files();
}

TEST_F(UtilvbigTest, ExtractsAnOpenArchiveIntoANamedFolder) {
  std::string archive = tree_archive();
  int32_t handle = VFILBIG_open_from_memory_with_size(archive.data(), (int32_t)archive.size());
  ASSERT_EQ(0, handle);
  std::string before = current_directory();
  ASSERT_EQ(1, UTILVBIG_extract_archive(handle, "out/sub"));
  EXPECT_EQ(before, current_directory());
  EXPECT_EQ("deep", fnal_test::read_file("out/sub/a/b/f"));
  ASSERT_EQ(4, UTILVBIG_recorded_dir_count()) << "out, out\\sub, a, a\\b";
  EXPECT_STREQ((before + (before.back() == '\\' ? "" : "\\") + "out").c_str(),
               UTILVBIG_recorded_path(1, 0));
  UTILVBIG_delete_extracted_files();
  UTILVBIG_delete_extracted_dirs();
  EXPECT_FALSE(fs::exists("out"));
  EXPECT_EQ(0, UTILVBIG_extract_archive(5, "x")) << "invalid handle";
}

TEST(UtilvbigNames, NamesThatWindowsChangesOrTakesForADeviceAreRefused) {
  const char *const kDotOrBlank = "a dot or a blank at the end, which Windows drops";
  const char *const kDevice = "a reserved device name";
  const char *const kCharacter = "a control character or one of / \\ : < > \" | ? *";
  struct Case {
    const char *name;
    const char *reason;  // null: safe
  } cases[] = {
      {"...", kDotOrBlank},
      {". .", kDotOrBlank},
      {" ", kDotOrBlank},
      {"evil.", kDotOrBlank},
      {"evil ", kDotOrBlank},
      {"a.b.", kDotOrBlank},
      {"NUL", kDevice},
      {"nul", kDevice},
      {"Con.txt", kDevice},
      {"con .txt", kDevice},
      {"CON.tar.gz", kDevice},
      {"AUX  .x", kDevice},
      {"prn.log", kDevice},
      {"COM0", kDevice},
      {"com1", kDevice},
      {"LPT9.dat", kDevice},
      {"COM\xB9", kDevice},
      {"lpt\xB2.txt", kDevice},
      {"COM\xB3 .x", kDevice},
      {"COM\xC2\xB9", kDevice},
      {"CONIN$", kDevice},
      {"conout$.txt", kDevice},
      {"a<b", kCharacter},
      {"a>b", kCharacter},
      {"a\"b", kCharacter},
      {"a|b", kCharacter},
      {"what?", kCharacter},
      {"star*", kCharacter},
      {"a:b", kCharacter},
      {"a\x7F", kCharacter},
      {"", "an empty name"},
      {"..", "\".\" or \"..\""},
      // Near misses that are ordinary names.
      {"CONSOLE", NULL},
      {"icon", NULL},
      {"NULL.txt", NULL},
      {"x.NUL", NULL},
      {"COM10", NULL},
      {"COM", NULL},
      {"LPT.txt", NULL},
      {"COM\xB4", NULL},
      {"CONIN", NULL},
      {"CON$", NULL},
      {".hidden", NULL},
      {" lead", NULL},
      {"a . b", NULL},
      {"ok.txt", NULL},
  };
  for (const Case &c : cases) {
    const char *reason = UTILVBIG_unsafe_name_reason(c.name);
    EXPECT_STREQ(c.reason, reason) << "'" << c.name << "'";
    EXPECT_EQ(c.reason == NULL ? 1 : 0, UTILVBIG_is_safe_name(c.name)) << "'" << c.name << "'";
  }
  EXPECT_STREQ("an empty name", UTILVBIG_unsafe_name_reason(NULL));
}

static std::vector<std::string> refusals;

static void collect_refusal(const char *folder, const char *name, const char *reason) {
  refusals.push_back(std::string(folder) + "|" + name + "|" + reason);
}

TEST_F(UtilvbigTest, RefusedMembersAreReportedByTheirArchivePathAndTheRestIsExtracted) {
  std::string archive = build({
      {"data", VBIG_ENTRY_DIRECTORY, 0, -1, NULL, 0},
      {"NUL", VBIG_ENTRY_FILE, 0, 0, "n", 1},
      {"...", VBIG_ENTRY_DIRECTORY, 0, 0, NULL, 0},
      {"inside.txt", VBIG_ENTRY_FILE, 0, 2, "i", 1},
      {"ok.dat", VBIG_ENTRY_FILE, 0, 0, "ok", 2},
      {"evil.", VBIG_ENTRY_FILE, 0, -1, "e", 1},
      {"good.txt", VBIG_ENTRY_FILE, 0, -1, "good", 4},
  });
  refusals.clear();
  UTILVBIG_set_refusal_reporter(collect_refusal);
  std::string folder = native(extract_sized(archive));
  UTILVBIG_set_refusal_reporter(NULL);
  EXPECT_EQ(3, UTILVBIG_get_skipped_count());
  std::vector<std::string> expected = {
      "data|NUL|a reserved device name",
      "data|...|a dot or a blank at the end, which Windows drops",
      "|evil.|a dot or a blank at the end, which Windows drops",
  };
  EXPECT_EQ(expected, refusals);
  EXPECT_EQ("ok", fnal_test::read_file(folder + "/data/ok.dat"));
  EXPECT_EQ("good", fnal_test::read_file(folder + "/good.txt"));
  std::vector<std::string> written;
  for (const auto &entry : fs::recursive_directory_iterator(folder)) {
    written.push_back(fs::relative(entry.path(), folder).generic_string());
  }
  std::sort(written.begin(), written.end());
  EXPECT_EQ((std::vector<std::string>{"data", "data/ok.dat", "good.txt"}), written);
  UTILVBIG_delete_extracted_files();
  UTILVBIG_delete_extracted_dirs();
}

#ifndef _WIN32
// Folders planted in the target as symbolic links stand for names that the
// system resolves elsewhere: the walk goes back to the parent it left, never
// to wherever ".." of the folder it entered would lead, and a folder that
// leads out of its parent is refused.
TEST_F(UtilvbigTest, TheWalkComesBackToTheParentItLeftAndStaysInsideTheTarget) {
  fs::create_directories("out/a/b");
  fs::create_directories("elsewhere");
  fs::create_directory_symlink(fs::absolute("out/a/b"), "out/inward");
  fs::create_directory_symlink(fs::absolute("elsewhere"), "out/outward");
  std::string archive = build({
      {"inward", VBIG_ENTRY_DIRECTORY, 0, -1, NULL, 0},
      {"f1", VBIG_ENTRY_FILE, 0, 0, "1", 1},
      {"outward", VBIG_ENTRY_DIRECTORY, 0, -1, NULL, 0},
      {"f2", VBIG_ENTRY_FILE, 0, 2, "2", 1},
      {"after.txt", VBIG_ENTRY_FILE, 0, -1, "after", 5},
  });
  int32_t handle = VFILBIG_open_from_memory_with_size(archive.data(), (int32_t)archive.size());
  ASSERT_EQ(0, handle);
  refusals.clear();
  UTILVBIG_set_refusal_reporter(collect_refusal);
  ASSERT_EQ(1, UTILVBIG_extract_archive(handle, "out"));
  UTILVBIG_set_refusal_reporter(NULL);
  EXPECT_EQ("1", fnal_test::read_file("out/a/b/f1")) << "a folder inside the target is used";
  EXPECT_EQ("after", fnal_test::read_file("out/after.txt"));
  EXPECT_FALSE(fs::exists("out/a/after.txt")) << "came back by \"..\" of the folder entered";
  EXPECT_TRUE(fs::is_empty("elsewhere"));
  EXPECT_EQ(std::vector<std::string>{"|outward|the folder is not inside its parent"}, refusals);
  EXPECT_EQ(1, UTILVBIG_get_skipped_count());
  UTILVBIG_delete_extracted_files();
}
#endif
