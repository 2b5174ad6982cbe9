// The shell-folder table where "SHFolder.dll" cannot be loaded (the test runs
// with the library switched off for its process). This program carries a
// stand-in installer, which only records that it ran; the command
// interpreter is a stand-in too, named in COMSPEC, which records the command
// it was given and carries it out (Wine's own "start" refuses the "/m" of
// the command, which older Windows takes for "minimised").
#include <string.h>

#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>

#include "csidl.h"
#include "memory.h"
#include "testutil.h"
#include "win32util.h"

namespace {

std::string long_path(const std::string &path) {
  char full[MAX_PATH] = "";
  GetLongPathNameA(path.c_str(), full, sizeof full);
  return full;
}

// Diagnostics into a fresh working folder, tracked memory, and the logs of
// the two stand-ins there.
class CsidlFallback : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(nullptr, LoadLibraryA("SHFolder.dll"))
        << "SHFolder.dll loads: run with WINEDLLOVERRIDES containing shfolder=d";
    ASSERT_EQ(1, MEMORY_initialise());
  }
  void TearDown() override {
    CSIDL_deinitialise();
    MEMORY_deinitialise();
  }
  void use_temp(const std::string &temp) {
    temp_folder_.reset();  // the old value back first, then the new one
    temp_folder_.reset(new fnal_test::ScopedTempFolder(temp));
  }

  fnal_test::DiagnosticsCapture cap_;
  std::string comspec_log_ = cap_.dir().path() + "\\comspec.log";
  std::string installer_log_ = cap_.dir().path() + "\\installer.log";
  fnal_test::ScopedEnv comspec_log_env_{"FNAL_COMSPEC_LOG", comspec_log_};
  fnal_test::ScopedEnv installer_log_env_{"FNAL_INSTALLER_LOG", installer_log_};
  fnal_test::ScopedEnv comspec_{"COMSPEC", fnal_test::bin_dir() + "\\fnal_comspec_standin.exe"};
  std::unique_ptr<fnal_test::ScopedTempFolder> temp_folder_;
};

bool has(const std::string &text, const std::string &part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

TEST_F(CsidlFallback, WritesRunsWaitsForAndDeletesTheInstaller) {
  // A temporary folder with blanks, as older systems have it.
  std::string temp = cap_.dir().path() + "\\Local Settings\\Temp dir";
  ASSERT_TRUE(CreateDirectoryA((cap_.dir().path() + "\\Local Settings").c_str(), NULL));
  ASSERT_TRUE(CreateDirectoryA(temp.c_str(), NULL));
  use_temp(temp + "\\");
  std::string installer = temp + "\\shfolder.exe";

  EXPECT_EQ(0, CSIDL_initialise());

  // Run once through "start /w /m" with a path that the unquoted command
  // cannot break, and waited for: its record is there on return.
  std::string commands = fnal_test::read_file(comspec_log_);
  const std::string prefix = "start /w /m ";
  ASSERT_EQ(0u, commands.find(prefix)) << commands;
  std::string run_path = commands.substr(prefix.size(), commands.find('\n') - prefix.size());
  EXPECT_EQ(commands.size(), commands.find('\n') + 1) << "run more than once: " << commands;
  EXPECT_EQ(std::string::npos, run_path.find(' ')) << run_path;
  EXPECT_EQ(long_path(installer), long_path(run_path));
  EXPECT_EQ(long_path(installer), long_path(fnal_test::read_file(installer_log_)))
      << "the installer did not run, or was not waited for";

  // The file is the carried installer, byte for byte, until deinitialise.
  std::string carried((const char *)SHFOLDER_REDIST, (size_t)SHFOLDER_REDIST_SIZE);
  EXPECT_EQ(fnal_test::read_file(fnal_test::bin_dir() + "\\fnal_shfolder_standin.exe"), carried);
  EXPECT_EQ(carried, fnal_test::read_file(installer));

  std::string develop = cap_.develop();
  EXPECT_TRUE(has(develop, "Using shfolder.exe")) << develop;
  EXPECT_TRUE(has(develop, "pSHGetFolderPath is NULL")) << develop;
  for (int f = 0; csidl_data[f].csidl != -1; f++) EXPECT_EQ(nullptr, csidl_data[f].csidl_path);

  CSIDL_deinitialise();
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(installer.c_str()))
      << "the installer was not deleted";
}

TEST_F(CsidlFallback, TemporaryFolderProblemsStopBeforeAnythingRuns) {
  struct Case {
    const char *name;
    std::string temp;
    const char *message;
  } cases[] = {
      {"missing folder", cap_.dir().path() + "\\no such folder\\",
       "Failed to open file for writing"},
      {"path too long", cap_.dir().path() + "\\" + std::string(300, 'x') + "\\",
       "Failed to get temp path"},
  };
  for (const Case &c : cases) {
    cap_.clear();
    use_temp(c.temp);
    EXPECT_EQ(0, CSIDL_initialise()) << c.name;
    std::string develop = cap_.develop();
    EXPECT_TRUE(has(develop, c.message)) << c.name << ": " << develop;
    EXPECT_TRUE(has(develop, "pSHGetFolderPath is NULL")) << c.name << ": " << develop;
    EXPECT_EQ("", fnal_test::read_file(comspec_log_)) << c.name << ": something was run";
    CSIDL_deinitialise();
  }
}
