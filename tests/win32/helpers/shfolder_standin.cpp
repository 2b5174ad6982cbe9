// Stand-in for the SHFolder.dll installer, carried by the fallback test in
// place of Microsoft's package. It installs nothing: after a short pause (so
// that a caller which does not wait would miss it) it writes the path it was
// started from to the file named by FNAL_INSTALLER_LOG.
#include <stdio.h>

#include <windows.h>

int main(void) {
  Sleep(300);
  char log_path[MAX_PATH];
  char own_path[MAX_PATH];
  if (!GetEnvironmentVariableA("FNAL_INSTALLER_LOG", log_path, sizeof log_path)) return 2;
  if (!GetModuleFileNameA(NULL, own_path, sizeof own_path)) return 2;
  FILE *log = fopen(log_path, "wb");
  if (log == NULL) return 2;
  fprintf(log, "%s", own_path);
  fclose(log);
  return 0;
}
