// The demo disc's stand-in set-up and patch programs, driven as the launcher
// and a user drive them: the set-up installs the demo game (folder, version
// file, registry values), the patch brings it to V1.0001, and both refuse,
// visibly, when started wrongly.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "game_registry.h"
#include "testutil.h"
#include "uidriver.h"

namespace {

std::string bin_dir() {
  char path[MAX_PATH];
  GetModuleFileNameA(NULL, path, sizeof path);
  std::string dir = path;
  return dir.substr(0, dir.find_last_of('\\'));
}

// Every test starts and ends with no demo game installed.
class DemoPrograms : public ::testing::Test {
 protected:
  void SetUp() override { game_registry::remove_key(); }
  void TearDown() override { game_registry::remove_key(); }
};

}  // namespace

TEST_F(DemoPrograms, SetupInstallsTheGameAndRecordsHowItWasStarted) {
  fnal_test::TempWorkDir cd;  // stands for the CD root
  uidriver::Program setup(bin_dir() + "\\setup.exe copy \"Iron Meadow\"", cd.path().c_str());
  ASSERT_TRUE(setup.ok());
  ASSERT_NE(nullptr, setup.wait_window("Iron Meadow Setup"));
  DWORD code = 1234;
  ASSERT_TRUE(setup.wait_exit(15000, &code)) << "the set-up closes itself when done";
  EXPECT_EQ(0u, code);
  EXPECT_EQ("1", game_registry::text("InstallComplete"));
  std::string dir = game_registry::text("InstallDir");
  std::string version = fnal_test::read_text(dir + "\\kervins.cev");
  EXPECT_NE(std::string::npos, version.find("version_number = V1.0000;")) << version;
  std::string log = fnal_test::read_text(dir + "\\setup.log");
  EXPECT_NE(std::string::npos, log.find("arguments=copy \"Iron Meadow\"\n")) << log;
  EXPECT_NE(std::string::npos, log.find("current_dir=" + cd.path())) << log;

  uidriver::Program patch(bin_dir() + "\\IronMeadow_Patch_V1_0001.exe");
  ASSERT_NE(nullptr, patch.wait_window("Iron Meadow Patch V1.0001"));
  ASSERT_TRUE(patch.wait_exit(15000, &code));
  EXPECT_EQ(0u, code);
  version = fnal_test::read_text(dir + "\\kervins.cev");
  EXPECT_NE(std::string::npos, version.find("version_number = V1.0001;")) << version;
}

TEST_F(DemoPrograms, SetupWithOtherArgumentsStopsAndWaitsForTheUser) {
  uidriver::Program setup(bin_dir() + "\\setup.exe /install");
  HWND window = setup.wait_window("Iron Meadow Setup");
  ASSERT_NE(nullptr, window);
  EXPECT_FALSE(setup.wait_exit(3000)) << "a failed set-up stays open to show why";
  EXPECT_EQ("<no key>", game_registry::text("InstallDir"));
  uidriver::press_close_box(window);
  DWORD code = 0;
  ASSERT_TRUE(setup.wait_exit(5000, &code));
  EXPECT_EQ(1u, code);
}

TEST_F(DemoPrograms, PatchWithoutAnInstalledGameChangesNothing) {
  uidriver::Program patch(bin_dir() + "\\IronMeadow_Patch_V1_0001.exe");
  HWND window = patch.wait_window("Iron Meadow Patch V1.0001");
  ASSERT_NE(nullptr, window);
  EXPECT_FALSE(patch.wait_exit(3000));
  uidriver::press_close_box(window);
  DWORD code = 0;
  ASSERT_TRUE(patch.wait_exit(5000, &code));
  EXPECT_EQ(1u, code);
  EXPECT_EQ("<no key>", game_registry::text("InstallDir"));
}
