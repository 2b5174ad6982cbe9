// Stand-in for a library planted beside a program under a system library's
// name (the tests copy it as "SHFolder.dll", "atl.dll" and the like). It does
// nothing but leave a trace when it is loaded: its own path, appended as a
// line to the file named by FNAL_PLANTED_MARKER.
#include <windows.h>

static void leave_marker(HINSTANCE self) {
  char marker[MAX_PATH];
  DWORD length = GetEnvironmentVariableA("FNAL_PLANTED_MARKER", marker, sizeof marker);
  if (length == 0 || length >= sizeof marker) return;
  char own_path[MAX_PATH + 2];
  DWORD own = GetModuleFileNameA(self, own_path, MAX_PATH);
  own_path[own++] = '\r';
  own_path[own++] = '\n';
  HANDLE file = CreateFileA(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, own_path, own, &written, NULL);
  CloseHandle(file);
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) leave_marker(self);
  return TRUE;
}
