// Starting the actions' programs: the current folder a program is started in
// (the set-up program runs in the CD root, the patch program in the
// launcher's own), and command lines that do not fit.
#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "launch.h"
#include "testutil.h"

namespace {

// Runs command_line through launch_process in working_dir and answers its
// exit code, or -1 when it did not start or end in time.
long exit_code_of(const std::string &command_line, const char *working_dir) {
  LAUNCHED_PROCESS record;
  if (!launch_process(command_line.c_str(), &record, working_dir)) return -1;
  HANDLE process = record.process_information.hProcess;
  DWORD code = 0;
  bool ended =
      WaitForSingleObject(process, 10000) == WAIT_OBJECT_0 && GetExitCodeProcess(process, &code);
  CloseHandle(record.process_information.hThread);
  CloseHandle(process);
  return ended ? (long)code : -1;
}

}  // namespace

TEST(Launch, StartsTheProgramInTheGivenFolderOrInOurs) {
  fnal_test::TempWorkDir ours;  // our current folder: no marker here
  fnal_test::TempWorkDir theirs;
  fnal_test::write_file("kerv.cev", "");  // the marker, in theirs only
  SetCurrentDirectoryA(ours.path().c_str());
  const std::string probe = "cmd.exe /c if exist kerv.cev (exit 5) else (exit 6)";
  EXPECT_EQ(5, exit_code_of(probe, theirs.path().c_str()));
  EXPECT_EQ(6, exit_code_of(probe, NULL)) << "no folder given: the launcher's own";
}

TEST(Launch, RefusesACommandLineLongerThanItsBuffer) {
  LAUNCHED_PROCESS record;
  std::string longest = "cmd.exe /c exit 7 & rem ";
  longest.append(LAUNCH_COMMAND_LINE_SIZE - 1 - longest.size(), 'x');
  EXPECT_EQ(7, exit_code_of(longest, NULL)) << "259 characters fit";
  EXPECT_EQ(0, launch_process((longest + "x").c_str(), &record));
  EXPECT_EQ(0, launch_process(NULL, &record));
  EXPECT_EQ(0, launch_process("cmd.exe /c exit 0", NULL));
}
