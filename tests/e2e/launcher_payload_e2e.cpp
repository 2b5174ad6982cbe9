// The launcher's payload step and clean-up, end to end: launchers with
// payloads made by the test are started as separate processes; the test
// reads what the user sees and what is left in the temporary-files folder.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "resource.h"
#include "game_registry.h"
#include "launcher_builder.h"
#include "testutil.h"
#include "uidriver.h"
#include "win32util.h"

using launcher_builder::Member;

namespace {

// Every test starts with the game not installed and a fresh folder that
// stands for the CD root (the launcher's working folder).
class LauncherPayload : public ::testing::Test {
 protected:
  void SetUp() override {
    game_registry::remove_value("InstallComplete");
    before_ = launcher_builder::unpack_folders();
  }
  std::vector<std::string> new_unpack_folders() const {
    return launcher_builder::new_folders(before_, launcher_builder::unpack_folders());
  }
  fnal_test::TempWorkDir cd_;
  std::set<std::string> before_;
};

// A payload of a picture, a folder with a file in it, and the readme page
// (left out when index_page is "<none>").
std::vector<Member> small_payload(const std::string &index_page) {
  std::vector<Member> members = {
      {"back.jpg", "jpeg bytes"}, {"data", "", true}, {"level1.dat", "level", false, 1}};
  if (index_page != "<none>") members.push_back({"INDEX.HTM", index_page});
  return members;
}

// Starts the launcher at path and returns its window (null if none opened).
HWND open_launcher(uidriver::Program &launcher) {
  EXPECT_TRUE(launcher.ok());
  return launcher.wait_window("Patch");
}

}  // namespace

TEST_F(LauncherPayload, UnpacksIntoANewFolderThatIsGoneAfterExit) {
  std::string path = launcher_builder::make_launcher(cd_.path(), small_payload("<html></html>"));
  ASSERT_NE("", path);
  uidriver::Program launcher(path, cd_.path().c_str());
  HWND window = open_launcher(launcher);
  ASSERT_NE(nullptr, window);

  std::vector<std::string> added = new_unpack_folders();
  ASSERT_EQ(1u, added.size()) << "one new DIR folder while the window is open";
  std::string unpacked = launcher_builder::temp_folder() + added[0];
  EXPECT_EQ("<html></html>", fnal_test::read_file(unpacked + "\\INDEX.HTM"));
  EXPECT_EQ("level", fnal_test::read_file(unpacked + "\\data\\level1.dat"));
  EXPECT_TRUE(uidriver::control(window, IDC_README).enabled);

  uidriver::click(window, IDCANCEL);
  ASSERT_TRUE(launcher.wait_exit(15000));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(unpacked.c_str()))
      << "the unpacked folder is deleted with everything in it";
}

TEST_F(LauncherPayload, ReadmeIsDisabledWithoutAPageOrWithAnEmptyOne) {
  for (const char *page : {"<none>", ""}) {
    SCOPED_TRACE(std::string("index page: ") + page);
    std::string path = launcher_builder::make_launcher(cd_.path(), small_payload(page));
    ASSERT_NE("", path);
    uidriver::Program launcher(path, cd_.path().c_str());
    HWND window = open_launcher(launcher);
    ASSERT_NE(nullptr, window);
    EXPECT_TRUE(uidriver::control(window, IDC_README).visible);
    EXPECT_FALSE(uidriver::control(window, IDC_README).enabled);
    uidriver::press_close_box(window);
    ASSERT_TRUE(launcher.wait_exit(15000));
  }
}

TEST_F(LauncherPayload, RefusedPayloadsAreReportedAndLeaveNothingBehind) {
  struct Case {
    const char *what;
    std::string payload;
    const char *message;
  } cases[] = {
      {"no payload", "", "Failed to get append"},
      {"not an archive", std::string(600, 'x'), "Fatal extracting error"},
      {"truncated archive", std::string("GIBV\0\0\0\0\x05\0\0\0", 12) + std::string(100, 'a'),
       "Fatal extracting error"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = launcher_builder::make_launcher_raw(cd_.path(), c.payload);
    ASSERT_NE("", path);
    uidriver::Program launcher(path, cd_.path().c_str());
    uidriver::MessageBoxState box = launcher.wait_message_box(NULL);
    ASSERT_NE(nullptr, box.hwnd);
    EXPECT_EQ("Update", box.caption);
    EXPECT_EQ(c.message, box.text);
    uidriver::answer(box, IDOK);
    ASSERT_TRUE(launcher.wait_exit(15000));
    EXPECT_EQ(nullptr, launcher.wait_window("Patch", 0)) << "the window never opens";
    EXPECT_TRUE(new_unpack_folders().empty()) << "no unpacking folder is left behind";
  }
}

TEST_F(LauncherPayload, SecondLauncherUnderTheSamePathEndsSilently) {
  std::string path = launcher_builder::make_launcher(cd_.path(), small_payload("<p>x</p>"));
  ASSERT_NE("", path);
  uidriver::Program first(path, cd_.path().c_str());
  HWND window = open_launcher(first);
  ASSERT_NE(nullptr, window);
  std::vector<std::string> added = new_unpack_folders();
  ASSERT_EQ(1u, added.size());

  uidriver::Program second(path, cd_.path().c_str());
  ASSERT_TRUE(second.wait_exit(15000)) << "the second launcher ends by itself";
  EXPECT_TRUE(second.windows().empty());
  EXPECT_EQ(added, new_unpack_folders()) << "nothing more unpacked";
  std::string unpacked = launcher_builder::temp_folder() + added[0];
  EXPECT_EQ("<p>x</p>", fnal_test::read_file(unpacked + "\\INDEX.HTM"))
      << "the first launcher keeps its files";
  EXPECT_TRUE(IsWindowVisible(window));

  uidriver::click(window, IDCANCEL);
  ASSERT_TRUE(first.wait_exit(15000));
  EXPECT_TRUE(new_unpack_folders().empty());
}

// Members whose names Windows would change or take for a device, among good
// ones: with the temporary-files folder two levels below the test's folder,
// the launcher unpacks only the good members, into its one DIR folder,
// nothing lands anywhere else, and the clean-up leaves nothing behind.
TEST_F(LauncherPayload, HostileNamesStayInsideTheUnpackingFolderAndAreCleanedUp) {
  std::string temp = cd_.path() + "\\above\\temp";
  ASSERT_TRUE(CreateDirectoryA((cd_.path() + "\\above").c_str(), NULL));
  ASSERT_TRUE(CreateDirectoryA(temp.c_str(), NULL));
  fnal_test::ScopedTempFolder temp_folder(temp + "\\");
  std::vector<Member> members = {
      {"...", "", true},
      {"escaped.dat", "x", false, 0},
      {"NUL", "device"},
      {"con.txt", "device"},
      {"evil.", "renamed"},
      {"COM1", "device"},
      {" ", "", true},
      {"blank.dat", "b", false, 6},
      {"INDEX.HTM", "<p>ok</p>"},
      {"data", "", true},
      {". .", "", true, 9},
      {"deep.dat", "d", false, 10},
      {"level1.dat", "level", false, 9},
  };
  std::string path = launcher_builder::make_launcher(cd_.path(), members);
  ASSERT_NE("", path);
  uidriver::Program launcher(path, cd_.path().c_str());
  HWND window = open_launcher(launcher);
  ASSERT_NE(nullptr, window);

  std::set<std::string> in_temp = launcher_builder::folder_tree(temp);
  ASSERT_FALSE(in_temp.empty());
  std::string unpacked = *in_temp.begin();
  EXPECT_EQ(0u, unpacked.rfind("DIR", 0)) << unpacked;
  std::set<std::string> expected = {unpacked, unpacked + "\\INDEX.HTM", unpacked + "\\data",
                                    unpacked + "\\data\\level1.dat"};
  EXPECT_EQ(expected, in_temp) << "only the good members, all inside the DIR folder";
  std::set<std::string> around = {"Update.exe", "above", "above\\temp"};
  for (const std::string &entry : in_temp) around.insert("above\\temp\\" + entry);
  EXPECT_EQ(around, launcher_builder::folder_tree(cd_.path())) << "nothing written elsewhere";
  EXPECT_EQ("level", fnal_test::read_file(temp + "\\" + unpacked + "\\data\\level1.dat"));
  EXPECT_TRUE(uidriver::control(window, IDC_README).enabled);

  uidriver::click(window, IDCANCEL);
  ASSERT_TRUE(launcher.wait_exit(15000));
  EXPECT_EQ((std::set<std::string>{"Update.exe", "above", "above\\temp"}),
            launcher_builder::folder_tree(cd_.path()))
      << "the clean-up removes everything it unpacked";
}
