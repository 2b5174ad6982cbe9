// demo_launcher: one run of the demo disc's Update.exe (build/win32/cd) for
// the launcher's window tests, with its window; terminated if a test leaves
// it running.
#ifndef UPDATE_TESTS_DEMO_LAUNCHER_H
#define UPDATE_TESTS_DEMO_LAUNCHER_H

#include <windows.h>

#include <string>

#include "uidriver.h"

class DemoLauncher {
 public:
  DemoLauncher() : program_("\"" + path() + "\"") {
    window_ = program_.wait_window("Patch", 30000);
  }

  // The launcher window, or null when it did not open.
  HWND window() const { return window_; }
  DWORD pid() const { return program_.pid(); }
  // Waits for the process to end; its exit code, or -1 on time-out.
  long exit_code(DWORD timeout_ms = 15000) const {
    DWORD code = 0;
    return program_.wait_exit(timeout_ms, &code) ? (long)code : -1;
  }

  // The demo disc's launcher, beside the test programs' folder.
  static std::string path() {
    char module[MAX_PATH];
    GetModuleFileNameA(NULL, module, sizeof(module));
    std::string dir(module);
    return dir.substr(0, dir.find_last_of('\\')) + "\\..\\cd\\Update.exe";
  }

 private:
  uidriver::Program program_;
  HWND window_ = NULL;
};

#endif
