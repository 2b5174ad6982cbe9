// Signed launchers end to end: the demo launcher signed in several ways (see
// signed_launcher_e2e.sh, which makes them with osslsigncode and checks the
// signatures) is started as AutoPlay would and must unpack its payload,
// open its window and clean up; a payload changed after its integrity record
// was written must be refused. SIGNED_LAUNCHERS names the folder holding the
// launchers, SIGNED_PAYLOAD the folder the payload was made from.
#include <windows.h>

#include <stdlib.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "game_registry.h"
#include "launcher_builder.h"
#include "resource.h"
#include "testutil.h"
#include "uidriver.h"

namespace {

std::string env(const char *name) {
  const char *value = getenv(name);
  return value != NULL ? value : "";
}

// The files directly inside folder, by name, with their bytes.
std::map<std::string, std::string> files_in(const std::string &folder) {
  std::map<std::string, std::string> files;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return files;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      files[data.cFileName] = fnal_test::read_file(folder + "\\" + data.cFileName);
    }
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return files;
}

// Every test starts with the game not installed and copies the launcher
// under test into a fresh folder that stands for the CD root, as Update.exe.
class SignedLauncher : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE("", env("SIGNED_LAUNCHERS")) << "run through signed_launcher_e2e.sh";
    game_registry::remove_value("InstallComplete");
    before_ = launcher_builder::unpack_folders();
  }
  std::string put_on_cd(const std::string &name) {
    std::string path = cd_.path() + "\\Update.exe";
    std::string source = env("SIGNED_LAUNCHERS") + "\\" + name;
    EXPECT_TRUE(CopyFileA(source.c_str(), path.c_str(), FALSE)) << source;
    return path;
  }
  std::vector<std::string> new_unpack_folders() const {
    return launcher_builder::new_folders(before_, launcher_builder::unpack_folders());
  }
  fnal_test::TempWorkDir cd_;
  std::set<std::string> before_;
};

}  // namespace

TEST_F(SignedLauncher, SignedLaunchersUnpackWorkAndCleanUp) {
  const std::map<std::string, std::string> expected = files_in(env("SIGNED_PAYLOAD"));
  ASSERT_EQ(12u, expected.size()) << "the demo payload's twelve files";
  for (const char *name :
       {"signed.exe", "signed-aligned.exe", "signed-unaligned.exe", "nested.exe", "appended.exe"}) {
    SCOPED_TRACE(name);
    uidriver::Program launcher(put_on_cd(name), cd_.path().c_str());
    ASSERT_TRUE(launcher.ok());
    HWND window = launcher.wait_window("Patch");
    ASSERT_NE(nullptr, window) << "the window opens";
    std::vector<std::string> added = new_unpack_folders();
    ASSERT_EQ(1u, added.size()) << "one new DIR folder while the window is open";
    std::string unpacked = launcher_builder::temp_folder() + added[0];
    EXPECT_TRUE(expected == files_in(unpacked)) << "the twelve files, byte for byte";
    uidriver::ControlState install = uidriver::control(window, IDC_INSTALL);
    EXPECT_TRUE(install.visible && install.enabled) << "Install is offered";
    EXPECT_TRUE(uidriver::control(window, IDC_README).enabled) << "the readme page is there";

    uidriver::click(window, IDCANCEL);
    ASSERT_TRUE(launcher.wait_exit(15000));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(unpacked.c_str()))
        << "the unpacked folder is deleted at exit";
  }
}

TEST_F(SignedLauncher, PayloadChangedAfterItsRecordIsRefused) {
  uidriver::Program launcher(put_on_cd("damaged.exe"), cd_.path().c_str());
  uidriver::MessageBoxState box = launcher.wait_message_box(NULL);
  ASSERT_NE(nullptr, box.hwnd);
  EXPECT_EQ("Update", box.caption);
  EXPECT_EQ("Fatal extracting error", box.text);
  EXPECT_TRUE(new_unpack_folders().empty()) << "nothing unpacked, not even a folder";
  uidriver::answer(box, IDOK);
  ASSERT_TRUE(launcher.wait_exit(15000));
  EXPECT_EQ(nullptr, launcher.wait_window("Patch", 0)) << "the window never opens";
  EXPECT_TRUE(new_unpack_folders().empty()) << "no unpacking folder is left behind";
}
