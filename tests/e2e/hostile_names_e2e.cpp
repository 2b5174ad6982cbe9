// Member names that Windows would change or take for a device, end to end
// with vbig.exe: each archive holds one such member (a folder with a file in
// it, or a file) followed by well-named ones, and is extracted with
// "vbig extract ARCHIVE -C TARGET" where TARGET lies two levels below the
// test's folder. The hostile member is refused and named on stderr, the exit
// status is 1, nothing appears outside TARGET, and the well-named members
// are all there.
#include <windows.h>

#include <stdio.h>

#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "launcher_builder.h"
#include "testutil.h"

using launcher_builder::Member;

namespace {

// Runs vbig.exe with `arguments`, its error output into a file; its exit
// code (-1 when it did not run to its end) and that output.
int run_vbig(const std::string &arguments, std::string *errors) {
  std::string error_file = "vbig-stderr.txt";
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
  HANDLE error_handle = CreateFileA(error_file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (error_handle == INVALID_HANDLE_VALUE) return -1;
  std::string command = "\"" + launcher_builder::bin_dir() + "\\vbig.exe\" " + arguments;
  std::vector<char> text(command.begin(), command.end());
  text.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = error_handle;
  startup.hStdError = error_handle;
  PROCESS_INFORMATION process = {};
  BOOL started =
      CreateProcessA(NULL, text.data(), NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process);
  CloseHandle(error_handle);
  if (!started) return -1;
  DWORD code = (DWORD)-1;
  if (WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &code);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  *errors = fnal_test::read_file(error_file);
  DeleteFileA(error_file.c_str());
  return (int)code;
}

// One archive: its members, the archive path vbig must name as refused, and
// what TARGET must hold afterwards, "good.txt" (holding "good") among it.
struct Case {
  std::string what;
  std::vector<Member> members;
  std::string refused;
  std::set<std::string> extracted;
  std::string good = "good.txt";
};

// name with the bytes above 0x7F written as \xNN, for the messages.
std::string printable(const std::string &name) {
  std::string text;
  for (unsigned char c : name) {
    char hex[8];
    snprintf(hex, sizeof hex, "\\x%02X", c);
    text += c < 0x80 ? std::string(1, (char)c) : std::string(hex);
  }
  return text;
}

// A hostile folder holding a file, then a good file.
Case hostile_folder(const std::string &name) {
  return {"folder '" + printable(name) + "'",
          {{name, "", true}, {"inside.txt", "inside", false, 0}, {"good.txt", "good"}},
          name,
          {"good.txt"}};
}

// A hostile file, then a good one.
Case hostile_file(const std::string &name) {
  return {"file '" + printable(name) + "'",
          {{name, "hostile"}, {"good.txt", "good"}},
          name,
          {"good.txt"}};
}

std::vector<Case> cases() {
  std::vector<Case> all;
  for (const char *name : {"...", ". .", " ", "..  ", "evil.", "evil "}) {
    all.push_back(hostile_folder(name));
  }
  for (const char *name :
       {"NUL",       "nul.txt",     "con.txt",    "CON .log", "aux",         "prn.",
        "COM1",      "lpt9.dat",    "COM0",       "COM\xB9",  "lpt\xB2.txt", "COM\xB3",
        "CONIN$",    "conout$.txt", "evil.",      "evil ",    "what?.txt",   "a<b>.txt",
        "pipe|.txt", "star*.txt",   "quote\".txt"}) {
    all.push_back(hostile_file(name));
  }
  // Deeper down, the walk must still come back to the right folder.
  all.push_back({"folder '...' inside 'data'",
                 {{"data", "", true},
                  {"...", "", true, 0},
                  {"escaped.txt", "x", false, 1},
                  {"good.txt", "good", false, 0},
                  {"top.txt", "top"}},
                 "data\\...",
                 {"data", "data\\good.txt", "top.txt"},
                 "data\\good.txt"});
  return all;
}

std::string joined(const std::set<std::string> &paths) {
  std::string text;
  for (const std::string &path : paths) text += "[" + path + "] ";
  return text;
}

// The tree of folder with what lies under `inside` (a path relative to
// folder) left out.
std::set<std::string> tree_outside(const std::string &folder, const std::string &inside) {
  std::set<std::string> outside;
  for (const std::string &path : launcher_builder::folder_tree(folder)) {
    if (path.rfind(inside + "\\", 0) != 0) outside.insert(path);
  }
  return outside;
}

}  // namespace

// Each case in a fresh folder of its own, work: "work\archive.vbig" and
// "work\up2\up1\target".
TEST(HostileNames, VbigRefusesAndNamesTheMemberAndExtractsTheRestInPlace) {
  const std::set<std::string> outside = {"archive.vbig", "up2", "up2\\up1", "up2\\up1\\target"};
  for (const Case &c : cases()) {
    SCOPED_TRACE(c.what);
    fnal_test::TempWorkDir work;
    std::string target = work.path() + "\\up2\\up1\\target";
    ASSERT_TRUE(CreateDirectoryA((work.path() + "\\up2").c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA((work.path() + "\\up2\\up1").c_str(), NULL));
    std::string archive = launcher_builder::archive_bytes(c.members);
    ASSERT_FALSE(archive.empty());
    fnal_test::write_file(work.path() + "\\archive.vbig", archive);
    std::string errors;
    int status = run_vbig("extract archive.vbig -C \"" + target + "\"", &errors);

    EXPECT_EQ(1, status) << errors;
    EXPECT_NE(std::string::npos, errors.find("refused member '" + c.refused + "'")) << errors;
    EXPECT_NE(std::string::npos, errors.find("1 member(s) not extracted")) << errors;
    std::set<std::string> found_outside = tree_outside(work.path(), "up2\\up1\\target");
    EXPECT_EQ(joined(outside), joined(found_outside)) << "written outside the target";
    EXPECT_EQ(joined(c.extracted), joined(launcher_builder::folder_tree(target)));
    std::string good = fnal_test::read_file(target + "\\" + c.good);
    EXPECT_EQ("good", good);
    // The table of results, for the record.
    printf("%-30s exit %d, %s, %s\n", c.what.c_str(), status,
           found_outside == outside ? "nothing outside the target" : "WRITTEN OUTSIDE",
           good == "good" ? "good member extracted" : "GOOD MEMBER MISSING");
  }
}
