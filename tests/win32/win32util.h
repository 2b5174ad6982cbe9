// Helpers shared by the Windows-only tests: the folder of the test programs,
// a scoped environment variable, and starting processes.
#ifndef WIN32UTIL_H
#define WIN32UTIL_H

#include <string.h>

#include <string>
#include <vector>

#include <windows.h>

namespace fnal_test {

// The folder that holds the running test program (and the helper programs).
inline std::string bin_dir() {
  char path[MAX_PATH];
  GetModuleFileNameA(NULL, path, sizeof path);
  *strrchr(path, '\\') = '\0';
  return path;
}

// Sets an environment variable of this process (and so of the processes it
// starts) and restores its old value, or its absence, on destruction.
class ScopedEnv {
 public:
  ScopedEnv(const char *name, const std::string &value) : name_(name) {
    char old[32768];
    DWORD length = GetEnvironmentVariableA(name, old, sizeof old);
    had_ = length > 0 && length < sizeof old;
    if (had_) old_ = old;
    SetEnvironmentVariableA(name, value.c_str());
  }
  ~ScopedEnv() { SetEnvironmentVariableA(name_.c_str(), had_ ? old_.c_str() : NULL); }
  ScopedEnv(const ScopedEnv &) = delete;
  ScopedEnv &operator=(const ScopedEnv &) = delete;

 private:
  std::string name_;
  std::string old_;
  bool had_ = false;
};

// Points the temporary folder (TMP and TEMP) somewhere else for a while.
class ScopedTempFolder {
 public:
  explicit ScopedTempFolder(const std::string &path) : tmp_("TMP", path), temp_("TEMP", path) {}

 private:
  ScopedEnv tmp_;
  ScopedEnv temp_;
};

// Starts command_line; returns the process handle (caller closes), or null.
inline HANDLE start_process(const std::string &command_line) {
  std::vector<char> text(command_line.begin(), command_line.end());
  text.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(NULL, text.data(), NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
    return NULL;
  CloseHandle(process.hThread);
  return process.hProcess;
}

// Runs command_line to its end (at most 30 seconds); its exit code, or -1.
inline int run_process(const std::string &command_line) {
  HANDLE process = start_process(command_line);
  if (process == NULL) return -1;
  DWORD code = (DWORD)-1;
  if (WaitForSingleObject(process, 30000) == WAIT_OBJECT_0) GetExitCodeProcess(process, &code);
  CloseHandle(process);
  return (int)code;
}

}  // namespace fnal_test

#endif
