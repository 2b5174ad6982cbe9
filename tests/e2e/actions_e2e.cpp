// The launcher's install hand-off and patch, end to end: Update.exe of the
// demo disc is started from the CD-ROM drive M: and driven as a user would.
// actions_e2e.sh maps the drives first: M: and R: are CD-ROM drives (the
// disc is "inserted" by writing the marker kerv.cev into one), F: a fixed
// drive that always holds a marker, which must be ignored. ACTIONS_PAYLOAD
// names the folder the disc's payload was made from.
#include <shlobj.h>
#include <windows.h>

#include <stdlib.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "resource.h"
#include "game_registry.h"
#include "launcher_builder.h"
#include "testutil.h"
#include "uidriver.h"
#include "win32util.h"

namespace {

const char *const kSources[8] = {"Setup.exe",    "setup.ini",    "setupscr.ini", "buttons.bmp",
                                 "backgrnd.bmp", "messages.ini", "dsetup.dll",   "dsetup32.dll"};
const char *const kTargets[8] = {
    "Iron Meadow remove.exe", "setup.ini",    "setupscr.ini", "buttons.bmp",
    "backgrnd.bmp",           "messages.ini", "dsetup.dll",   "dsetup32.dll"};
const char kConfirmation[] =
    "If the game is currently installing please wait for completion before proceeding with the "
    "patch.Click OK to patch.";

std::string shell_folder(int csidl) {
  char path[MAX_PATH] = "";
  SHGetFolderPathA(NULL, csidl | CSIDL_FLAG_CREATE, NULL, 0, path);
  return path;
}

// The hand-off's destination and the demo set-up's install folder.
std::string destination() {
  return shell_folder(CSIDL_LOCAL_APPDATA) + "\\Iron Meadow";
}
std::string game_folder() {
  return shell_folder(CSIDL_PROGRAM_FILES) + "\\Vellor\\Iron Meadow";
}

bool exists(const std::string &path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void remove_file(const std::string &path) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileA(path.c_str());
}

void remove_destination() {
  for (const char *name : kTargets) remove_file(destination() + "\\" + name);
  RemoveDirectoryA(destination().c_str());
}

bool wait_for(bool (*condition)(const std::string &), const std::string &arg, DWORD timeout_ms) {
  for (DWORD waited = 0; waited < timeout_ms; waited += 100) {
    if (condition(arg)) return true;
    Sleep(100);
  }
  return condition(arg);
}

// The launcher's unpacked folders, by their full paths.
std::set<std::string> unpacked_folders() {
  std::set<std::string> found;
  for (const std::string &name : launcher_builder::unpack_folders())
    found.insert(launcher_builder::temp_folder() + name);
  return found;
}

void set_registry(const char *name, const std::string &text) {
  ASSERT_TRUE(game_registry::set_text(name, text));
}

// The launcher, started from the disc as AutoPlay starts it, with its window
// and the folder it unpacked into.
class Launcher {
 public:
  Launcher() {
    std::set<std::string> before = unpacked_folders();
    program_.reset(new uidriver::Program("M:\\Update.exe", "M:\\"));
    window_ = program_->wait_window("Patch", 20000);
    for (const std::string &folder : unpacked_folders())
      if (before.count(folder) == 0) temp_dir_ = folder;
  }
  uidriver::Program &program() { return *program_; }
  HWND window() const { return window_; }
  const std::string &temp_dir() const { return temp_dir_; }
  uidriver::ControlState control(int id) const { return uidriver::control(window_, id); }
  // The next message box, answered with `answer` after its caption and text
  // were checked.
  void expect_box(const char *caption, const std::string &text, int answer = IDOK) {
    uidriver::MessageBoxState box = program_->wait_message_box(window_, 10000);
    ASSERT_NE(nullptr, box.hwnd) << "no message box; expected: " << text;
    EXPECT_EQ(caption, box.caption);
    EXPECT_EQ(text, box.text);
    uidriver::answer(box, answer);
    for (int i = 0; i < 50 && IsWindow(box.hwnd); i++) Sleep(100);
  }
  void expect_no_box(DWORD timeout_ms = 1500) {
    EXPECT_EQ(nullptr, program_->wait_message_box(window_, timeout_ms).hwnd);
  }

 private:
  std::unique_ptr<uidriver::Program> program_;
  HWND window_ = NULL;
  std::string temp_dir_;
};

class Actions : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(DRIVE_CDROM, GetDriveTypeA("M:\\")) << "run through actions_e2e.sh";
    ASSERT_EQ(DRIVE_CDROM, GetDriveTypeA("R:\\"));
    ASSERT_EQ(DRIVE_FIXED, GetDriveTypeA("F:\\"));
    fnal_test::write_file("F:\\kerv.cev", "marker on a fixed drive\n");
    eject();
    remove_destination();
    remove_file(game_folder() + "\\setup.log");
    game_registry::remove_key();
    const char *payload = getenv("ACTIONS_PAYLOAD");
    ASSERT_NE(nullptr, payload);
    payload_ = payload;
  }
  void TearDown() override {
    eject();
    game_registry::remove_key();
  }
  static void eject() {
    DeleteFileA("M:\\kerv.cev");
    DeleteFileA("R:\\kerv.cev");
  }
  static void insert(const char *drive) {
    fnal_test::write_file(std::string(drive) + "kerv.cev", "Iron Meadow\n");
  }
  std::string payload_file(const char *name) const {
    return fnal_test::read_file(payload_ + "\\" + name);
  }
  // The eight copies hold what the payload holds and are not read-only.
  void expect_copies() {
    for (int i = 0; i < 8; i++) {
      SCOPED_TRACE(kTargets[i]);
      std::string target = destination() + "\\" + kTargets[i];
      std::string expected = payload_file(kSources[i]);
      ASSERT_FALSE(expected.empty());
      EXPECT_EQ(expected, fnal_test::read_file(target));
      EXPECT_FALSE(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_READONLY);
    }
  }
  // The set-up program's record of how it was started, once it is written.
  std::string setup_log() {
    std::string log = game_folder() + "\\setup.log";
    wait_for(exists, log, 20000);
    Sleep(300);
    return fnal_test::read_text(log);
  }
  // Waits for the demo set-up to finish (its window closes by itself).
  void wait_setup_done() {
    for (int i = 0; i < 200 && (game_registry::text("InstallComplete") == "<no key>" ||
                                game_registry::text("InstallComplete") == "<no value>" ||
                                FindWindowA(NULL, "Iron Meadow Setup") != NULL);
         i++)
      Sleep(100);
  }

  std::string payload_;
};

// Without the CD the insert-CD layout asks for it; Escape goes back to the
// normal layout, and a second Escape closes the launcher. The close box does
// the same as Escape.
TEST_F(Actions, InsertCdLayoutEscapesBackToNormalThenCloses) {
  for (bool close_box : {false, true}) {
    SCOPED_TRACE(close_box ? "close box" : "Escape");
    Launcher launcher;
    ASSERT_NE(nullptr, launcher.window());
    uidriver::click(launcher.window(), IDC_INSTALL);
    for (int i = 0; i < 100 && !launcher.control(IDC_MESSAGE).visible; i++) Sleep(100);
    ASSERT_TRUE(launcher.control(IDC_MESSAGE).visible) << "insert-CD layout expected";
    EXPECT_EQ("Please insert:\n\t\t Ironmeadow CD", launcher.control(IDC_MESSAGE).text);
    EXPECT_EQ("&Retry", launcher.control(IDC_README).text);
    EXPECT_EQ("&Cancel", launcher.control(IDCANCEL).text);
    EXPECT_FALSE(launcher.control(IDC_INSTALL).visible);
    EXPECT_FALSE(launcher.control(IDC_PATCH).visible);
    const char *shots = getenv("DOCS_SCREENSHOTS");  // a folder for the README's pictures
    if (shots != NULL && !close_box) {
      Sleep(500);
      uidriver::save_window_picture(launcher.window(),
                                    std::string(shots) + "\\launcher-insert-cd.bmp");
    }

    auto cancel = [&] {
      if (close_box)
        uidriver::press_close_box(launcher.window());
      else
        uidriver::press_escape(launcher.window());
    };
    cancel();
    for (int i = 0; i < 100 && launcher.control(IDC_MESSAGE).visible; i++) Sleep(100);
    EXPECT_FALSE(launcher.control(IDC_MESSAGE).visible) << "back in the normal layout";
    EXPECT_EQ("Install &Game", launcher.control(IDC_INSTALL).text);
    EXPECT_EQ("E&xit", launcher.control(IDCANCEL).text);
    EXPECT_FALSE(launcher.program().wait_exit(500)) << "the first cancel keeps the window";
    cancel();
    EXPECT_TRUE(launcher.program().wait_exit(15000)) << "the second cancel closes it";
  }
}

TEST_F(Actions, WithoutTheCdInstallAsksForItAndRetryHandsOver) {
  Launcher launcher;
  ASSERT_NE(nullptr, launcher.window());
  uidriver::click(launcher.window(), IDC_INSTALL);
  for (int i = 0; i < 100 && !launcher.control(IDC_MESSAGE).visible; i++) Sleep(100);
  EXPECT_TRUE(launcher.control(IDC_MESSAGE).visible) << "insert-CD layout expected";
  EXPECT_EQ("&Retry", launcher.control(IDC_README).text);
  launcher.expect_no_box();

  uidriver::click(launcher.window(), IDC_README);  // Retry, still no CD
  launcher.expect_no_box();
  EXPECT_TRUE(launcher.control(IDC_MESSAGE).visible);
  EXPECT_FALSE(exists(destination())) << "nothing copied without the CD";

  insert("R:\\");
  uidriver::click(launcher.window(), IDC_README);  // Retry
  ASSERT_TRUE(launcher.program().wait_exit(20000)) << "the launcher closes after the hand-off";
  std::string log = setup_log();
  EXPECT_NE(std::string::npos, log.find("current_dir=R:\\\n")) << log;
  EXPECT_NE(std::string::npos, log.find("arguments=copy \"Iron Meadow\"\n")) << log;
  expect_copies();
  EXPECT_FALSE(launcher.temp_dir().empty());
  EXPECT_FALSE(exists(launcher.temp_dir())) << "the unpacked folder is deleted at exit";
  wait_setup_done();

  // Installed now: the launcher offers the patch, runs it, then says the
  // game is up to date.
  Launcher again;
  ASSERT_NE(nullptr, again.window());
  EXPECT_FALSE(again.control(IDC_INSTALL).enabled);
  EXPECT_TRUE(again.control(IDC_PATCH).enabled);
  uidriver::click(again.window(), IDC_PATCH);
  again.expect_box("Question", kConfirmation);
  EXPECT_TRUE(uidriver::wait_hidden(again.window(), 10000)) << "hidden while the patch runs";
  HWND patch = NULL;
  for (int i = 0; i < 100 && patch == NULL; i++, Sleep(100))
    patch = FindWindowA(NULL, "Iron Meadow Patch V1.0001");
  EXPECT_NE(nullptr, patch) << "the patch program runs";
  EXPECT_FALSE(IsWindowVisible(again.window())) << "hidden while the patch program is open";
  EXPECT_TRUE(uidriver::wait_visible(again.window(), 30000)) << "shown again afterwards";
  EXPECT_NE(
      std::string::npos,
      fnal_test::read_text(game_folder() + "\\kervins.cev").find("version_number = V1.0001;"));
  EXPECT_TRUE(again.control(IDC_PATCH).enabled);
  uidriver::click(again.window(), IDC_PATCH);
  again.expect_box("Question", kConfirmation);
  again.expect_box("Update", "Ironmeadow is up to date");
  EXPECT_TRUE(IsWindowVisible(again.window()));
}

TEST_F(Actions, OfTwoCdDrivesTheLowerLetterIsUsed) {
  insert("M:\\");
  insert("R:\\");
  Launcher launcher;
  ASSERT_NE(nullptr, launcher.window());
  uidriver::click(launcher.window(), IDC_INSTALL);
  ASSERT_TRUE(launcher.program().wait_exit(20000));
  std::string log = setup_log();
  EXPECT_NE(std::string::npos, log.find("current_dir=M:\\\n")) << log;
  wait_setup_done();
}

TEST_F(Actions, ReadOnlyCopiesOfAnEarlierRunAreReplaced) {
  CreateDirectoryA(destination().c_str(), NULL);
  for (const char *name : kTargets) {
    std::string path = destination() + "\\" + name;
    fnal_test::write_file(path, "left by an earlier run");
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
  }
  insert("R:\\");
  Launcher launcher;
  ASSERT_NE(nullptr, launcher.window());
  uidriver::click(launcher.window(), IDC_INSTALL);
  ASSERT_TRUE(launcher.program().wait_exit(20000));
  expect_copies();
  setup_log();
  wait_setup_done();
}

TEST_F(Actions, ACopyThatFailsIsReportedAndNothingStarts) {
  CreateDirectoryA(destination().c_str(), NULL);
  std::string locked = destination() + "\\setupscr.ini";
  fnal_test::write_file(locked, "in use");
  HANDLE lock = CreateFileA(locked.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
  ASSERT_NE(INVALID_HANDLE_VALUE, lock);
  insert("M:\\");
  Launcher launcher;
  ASSERT_NE(nullptr, launcher.window());
  uidriver::click(launcher.window(), IDC_INSTALL);
  launcher.expect_box("Update", "Failed to copy from '" + launcher.temp_dir() +
                                    "\\setupscr.ini' to '" + locked + "'");
  CloseHandle(lock);
  EXPECT_FALSE(launcher.program().wait_exit(500)) << "the launcher stays open";
  EXPECT_TRUE(launcher.control(IDC_INSTALL).visible);
  EXPECT_TRUE(exists(destination() + "\\setup.ini")) << "copies made before stay";
  EXPECT_FALSE(exists(destination() + "\\buttons.bmp")) << "no copy after the failure";
  EXPECT_FALSE(wait_for(exists, game_folder() + "\\setup.log", 1500)) << "nothing started";
}

TEST_F(Actions, ASetUpProgramThatCannotStartIsReported) {
  insert("M:\\");
  Launcher launcher;
  ASSERT_NE(nullptr, launcher.window());
  ASSERT_FALSE(launcher.temp_dir().empty());
  fnal_test::write_file(launcher.temp_dir() + "\\Setup.exe", "not a program");
  uidriver::click(launcher.window(), IDC_INSTALL);
  launcher.expect_box("Update", "Failed to run installer");
  EXPECT_FALSE(launcher.program().wait_exit(500)) << "the launcher stays open";
  EXPECT_EQ("not a program", fnal_test::read_file(destination() + "\\Iron Meadow remove.exe"));
  EXPECT_TRUE(exists(destination() + "\\dsetup32.dll"));
  EXPECT_FALSE(wait_for(exists, game_folder() + "\\setup.log", 1000));
}

// Every way the patch check stops with a message, the window staying as it
// was.
TEST_F(Actions, PatchCheckFailuresAreReported) {
  fnal_test::TempWorkDir game;
  struct Case {
    const char *name;
    bool install_dir;
    const char *version_file;  // content of kervins.cev; null: none
    const char *message;
  };
  const Case cases[] = {
      {"no InstallDir", false, "version_number = V1.0000;\n",
       "Failed to get install dir, try re-installing"},
      {"no version file", true, nullptr, "Failed to get version info, try reinstalling"},
      {"6 characters", true, "version_number = V1.000;\n", "Version information is corrupted"},
      {"8 characters", true, "version_number = V1.00000;\n", "Version information is corrupted"},
      {"no version entry", true, "installed = yes;\n", "Version information is corrupted"},
      {"up to date", true, "version_number = V1.0001;\n", "Ironmeadow is up to date"},
      {"newer", true, "version_number = V1.0010;\n", "Ironmeadow is up to date"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    game_registry::remove_key();
    set_registry("InstallComplete", "1");
    if (c.install_dir) set_registry("InstallDir", game.path());
    remove_file(game.path() + "\\kervins.cev");
    if (c.version_file) fnal_test::write_file(game.path() + "\\kervins.cev", c.version_file);
    Launcher launcher;
    ASSERT_NE(nullptr, launcher.window());
    uidriver::click(launcher.window(), IDC_PATCH);
    launcher.expect_box("Question", kConfirmation);
    launcher.expect_box("Update", c.message);
    EXPECT_TRUE(IsWindowVisible(launcher.window()));
    EXPECT_TRUE(launcher.control(IDC_PATCH).enabled);
  }
}

TEST_F(Actions, CancelInThePatchConfirmationDoesNothing) {
  fnal_test::TempWorkDir game;
  set_registry("InstallComplete", "1");
  set_registry("InstallDir", game.path());
  fnal_test::write_file(game.path() + "\\kervins.cev", "version_number = V1.0000;\n");
  Launcher launcher;
  ASSERT_NE(nullptr, launcher.window());
  uidriver::click(launcher.window(), IDC_PATCH);
  launcher.expect_box("Question", kConfirmation, IDCANCEL);
  launcher.expect_no_box();
  EXPECT_TRUE(IsWindowVisible(launcher.window()));
  EXPECT_EQ(nullptr, FindWindowA(NULL, "Iron Meadow Patch V1.0001"));
  EXPECT_NE(std::string::npos, fnal_test::read_text(game.path() + "\\kervins.cev").find("V1.0000"));
}

// The two libraries the launcher loads at run time, by the names a planted
// copy would carry.
const char *const kPlantedNames[] = {"SHFolder.dll", "atl.dll"};

// Stand-ins for those libraries beside the launcher on the disc, which only
// leave a line in `marker` when they are loaded, and the library probe there
// too; removed again at the end.
class PlantedLibraries {
 public:
  explicit PlantedLibraries(const std::string &marker)
      : marker_env_("FNAL_PLANTED_MARKER", marker) {
    std::string library = fnal_test::bin_dir() + "\\fnal_planted.dll";
    std::string probe = fnal_test::bin_dir() + "\\fnal_library_probe.exe";
    planted_ = CopyFileA(probe.c_str(), kProbe, FALSE) != 0;
    for (const char *name : kPlantedNames) {
      std::string path = std::string("M:\\") + name;
      planted_ = planted_ && CopyFileA(library.c_str(), path.c_str(), FALSE) != 0;
    }
  }
  ~PlantedLibraries() {
    for (const char *name : kPlantedNames) DeleteFileA((std::string("M:\\") + name).c_str());
    DeleteFileA(kProbe);
  }
  bool planted() const { return planted_; }
  // Whether a program beside them that loads `name` by its bare name gets a
  // stand-in: the exit code of the probe (1 when loaded).
  static int probe_loads(const char *name) {
    return fnal_test::run_process(std::string(kProbe) + " plain " + name);
  }

 private:
  static constexpr const char *kProbe = "M:\\probe.exe";
  fnal_test::ScopedEnv marker_env_;
  bool planted_ = false;
};

// Libraries of those names beside the launcher, where a program that looks
// them up by name takes them (native libraries preferred for those names, by
// actions_e2e.sh), are never loaded by the launcher: its window opens with
// the shell folders read, the readme hosts the browser control, and the
// install hands over.
TEST_F(Actions, LibrariesPlantedBesideTheLauncherAreNotLoaded) {
  fnal_test::TempWorkDir scratch;
  std::string marker = scratch.path() + "\\planted.log";
  PlantedLibraries planted(marker);
  ASSERT_TRUE(planted.planted()) << "the stand-ins could not be placed on M:";
  for (const char *name : kPlantedNames) {
    ASSERT_EQ(1, PlantedLibraries::probe_loads(name))
        << name << " beside a program is not taken: run through actions_e2e.sh";
  }
  DeleteFileA(marker.c_str());
  insert("R:\\");
  Launcher launcher;
  ASSERT_NE(nullptr, launcher.window()) << "the launcher did not open";

  uidriver::click(launcher.window(), IDC_README);
  HWND readme = launcher.program().wait_window("Html Help", 15000);
  ASSERT_NE(nullptr, readme);
  char host_class[64] = "";
  GetClassNameA(GetDlgItem(readme, IDC_BROWSER), host_class, sizeof host_class);
  EXPECT_STREQ("AtlAxWin", host_class) << "the browser control is not hosted";
  uidriver::press_escape(readme);
  for (int i = 0; i < 100 && IsWindow(readme); i++) Sleep(100);
  EXPECT_FALSE(IsWindow(readme));

  uidriver::click(launcher.window(), IDC_INSTALL);
  ASSERT_TRUE(launcher.program().wait_exit(20000)) << "the launcher closes after the hand-off";
  EXPECT_NE(std::string::npos, setup_log().find("current_dir=R:\\\n"));
  expect_copies();
  wait_setup_done();
  EXPECT_EQ("", fnal_test::read_file(marker)) << "a planted library was loaded";
}

}  // namespace
