// The shell-folder table on a system that has "SHFolder.dll".
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "csidl.h"
#include "memory.h"
#include "testutil.h"
#include "win32util.h"

namespace {

// Tracked memory up, and the temporary folder pointed at a fresh empty one,
// so that anything the module writes there shows.
class CsidlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(1, MEMORY_initialise());
    temp_ = dir_.path() + "\\temp\\";
    ASSERT_TRUE(CreateDirectoryA(temp_.c_str(), NULL));
    temp_folder_.reset(new fnal_test::ScopedTempFolder(temp_));
  }
  void TearDown() override {
    CSIDL_deinitialise();
    EXPECT_EQ(0, MEMORY_live_blocks()) << "paths left behind";
    MEMORY_deinitialise();
    temp_folder_.reset();
  }

  bool temp_is_empty() const {
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((temp_ + "*").c_str(), &found);
    bool empty = true;
    if (find == INVALID_HANDLE_VALUE) return true;
    do {
      if (strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0) empty = false;
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return empty;
  }

  fnal_test::TempWorkDir dir_;
  std::string temp_;
  std::unique_ptr<fnal_test::ScopedTempFolder> temp_folder_;
};

// The path the shell gives for a folder id, asked directly.
std::string shell_path(int csidl) {
  typedef HRESULT(WINAPI * GetPath)(HWND, int, HANDLE, DWORD, LPSTR);
  GetPath get =
      (GetPath)(void (*)(void))GetProcAddress(LoadLibraryA("shell32.dll"), "SHGetFolderPathA");
  char path[MAX_PATH] = "";
  if (get == NULL || get(NULL, csidl | 0x8000, NULL, 0, path) != S_OK) return "";
  return path;
}

int filled_paths() {
  int filled = 0;
  for (int f = 0; csidl_data[f].csidl != -1; f++)
    if (csidl_data[f].csidl_path != NULL) filled++;
  return filled;
}

}  // namespace

TEST_F(CsidlTest, TableHoldsTheFoldersInTheirOrderAndStartsEmpty) {
  const int32_t ids[] = {35, 28, 46, 5, 38, 0, 23, 2, -1};
  for (int f = 0; f < CSIDL_ENTRY_COUNT + 1; f++) {
    EXPECT_EQ(ids[f], csidl_data[f].csidl) << "record " << f;
    EXPECT_EQ(nullptr, csidl_data[f].csidl_path) << "record " << f;
  }
  EXPECT_EQ(28, csidl_data[CSIDL_INDEX_LOCAL_APPDATA].csidl);
}

TEST_F(CsidlTest, FillsEveryPathAsTheShellGivesItAndWritesNothing) {
  ASSERT_EQ(1, CSIDL_initialise());
  for (int f = 0; csidl_data[f].csidl != -1; f++) {
    std::string expected = shell_path(csidl_data[f].csidl);
    ASSERT_FALSE(expected.empty()) << "the shell knows no folder " << csidl_data[f].csidl;
    ASSERT_NE(nullptr, csidl_data[f].csidl_path) << "record " << f;
    EXPECT_EQ(expected, std::string(csidl_data[f].csidl_path)) << "record " << f;
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(csidl_data[f].csidl_path))
        << "folder not created: " << csidl_data[f].csidl_path;
  }
  EXPECT_EQ(CSIDL_ENTRY_COUNT, MEMORY_live_blocks());
  EXPECT_TRUE(temp_is_empty()) << "something was written to the temporary folder";

  CSIDL_deinitialise();
  EXPECT_EQ(0, filled_paths());
  EXPECT_EQ(0, MEMORY_live_blocks());
}

TEST_F(CsidlTest, UnknownFolderIdLeavesOnlyItsRecordWithoutPath) {
  ASSERT_EQ(1, CSIDL_initialise());
  int32_t saved = csidl_data[CSIDL_INDEX_COMMON_DOCUMENTS].csidl;
  csidl_data[CSIDL_INDEX_COMMON_DOCUMENTS].csidl = 0x7F;  // no such folder: E_INVALIDARG
  unsigned char result = CSIDL_initialise();
  csidl_data[CSIDL_INDEX_COMMON_DOCUMENTS].csidl = saved;
  EXPECT_EQ(1, result);
  EXPECT_EQ(nullptr, csidl_data[CSIDL_INDEX_COMMON_DOCUMENTS].csidl_path);
  EXPECT_EQ(CSIDL_ENTRY_COUNT - 1, filled_paths());
  // A second run reuses the blocks it already has: none lost, none extra.
  EXPECT_EQ(CSIDL_ENTRY_COUNT - 1, MEMORY_live_blocks());
}

// ---------------------------------------------------------------------------
// Allocation failure: the message box is found, read and closed by a watcher.

namespace {

struct MessageBoxSeen {
  bool found = false;
  std::vector<std::string> texts;
};

BOOL CALLBACK collect_text(HWND child, LPARAM seen) {
  char text[256] = "";
  GetWindowTextA(child, text, sizeof text);
  ((MessageBoxSeen *)seen)->texts.push_back(text);
  return TRUE;
}

DWORD WINAPI close_error_box(LPVOID seen_address) {
  MessageBoxSeen *seen = (MessageBoxSeen *)seen_address;
  for (int tries = 0; tries < 200; tries++) {
    HWND box = FindWindowA("#32770", "Error");
    if (box != NULL) {
      Sleep(100);  // let it finish building its controls
      seen->found = true;
      EnumChildWindows(box, collect_text, (LPARAM)seen);
      PostMessageA(box, WM_COMMAND, IDOK, 0);
      return 0;
    }
    Sleep(50);
  }
  return 1;
}

bool contains(const std::vector<std::string> &texts, const std::string &text) {
  for (const std::string &t : texts)
    if (t == text) return true;
  return false;
}

}  // namespace

TEST_F(CsidlTest, FailedPathAllocationShowsTheErrorBoxAndKeepsWhatWasFilled) {
  // Room for three tracked blocks only.
  MEMORY_deinitialise();
  int32_t saved_count = MEMORY_num_indices;
  int32_t saved_increment = MEMORY_num_indices_increment;
  MEMORY_num_indices = 3;
  MEMORY_num_indices_increment = 0;
  ASSERT_EQ(1, MEMORY_initialise());

  MessageBoxSeen seen;
  HANDLE watcher = CreateThread(NULL, 0, close_error_box, &seen, 0, NULL);
  unsigned char result = CSIDL_initialise();
  WaitForSingleObject(watcher, 20000);
  CloseHandle(watcher);

  EXPECT_EQ(0, result);
  EXPECT_TRUE(seen.found) << "no message box captioned \"Error\"";
  EXPECT_TRUE(contains(seen.texts, "Failed to allocate memory for path"));
  for (int f = 0; csidl_data[f].csidl != -1; f++)
    EXPECT_EQ(f < 3, csidl_data[f].csidl_path != NULL) << "record " << f;
  EXPECT_EQ(3, MEMORY_live_blocks());

  CSIDL_deinitialise();
  EXPECT_EQ(0, filled_paths());
  EXPECT_EQ(0, MEMORY_live_blocks()) << "deinitialise did not free exactly the filled paths";
  MEMORY_deinitialise();
  MEMORY_num_indices = saved_count;
  MEMORY_num_indices_increment = saved_increment;
  ASSERT_EQ(1, MEMORY_initialise());
}
