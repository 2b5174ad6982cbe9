// The shell-folder table where "SHFolder.dll" cannot be loaded (the test runs
// with the library switched off for its process) and the program carries no
// installer, as it is built by default.
#include <string.h>

#include <string>

#include <gtest/gtest.h>
#include <windows.h>

#include "csidl.h"
#include "memory.h"
#include "testutil.h"
#include "win32util.h"

TEST(CsidlWithoutInstaller, FailsWithoutWritingOrRunningAnything) {
  if (SHFOLDER_REDIST_SIZE != 0) GTEST_SKIP() << "built with an installer to carry";
  ASSERT_EQ(nullptr, LoadLibraryA("SHFolder.dll"))
      << "SHFolder.dll loads: run with WINEDLLOVERRIDES containing shfolder=d";
  fnal_test::DiagnosticsCapture cap;
  ASSERT_EQ(1, MEMORY_initialise());
  std::string temp = cap.dir().path() + "\\temp\\";
  ASSERT_TRUE(CreateDirectoryA(temp.c_str(), NULL));
  fnal_test::ScopedTempFolder temp_folder(temp);
  // Any command would land in this log.
  std::string log = cap.dir().path() + "\\comspec.log";
  fnal_test::ScopedEnv log_env("FNAL_COMSPEC_LOG", log);
  fnal_test::ScopedEnv comspec("COMSPEC", fnal_test::bin_dir() + "\\fnal_comspec_standin.exe");

  EXPECT_EQ(0, CSIDL_initialise());
  EXPECT_EQ(nullptr, CSIDL_get_function_pointer());
  std::string develop = cap.develop();
  EXPECT_NE(std::string::npos, develop.find("pSHGetFolderPath is NULL")) << develop;
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((temp + "shfolder.exe").c_str()));
  EXPECT_EQ("", fnal_test::read_file(log)) << "something was run";
  for (int f = 0; csidl_data[f].csidl != -1; f++) EXPECT_EQ(nullptr, csidl_data[f].csidl_path);
  CSIDL_deinitialise();
  EXPECT_EQ(0, MEMORY_live_blocks());
  MEMORY_deinitialise();
}
