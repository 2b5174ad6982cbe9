// The demo disc's stand-in for the game's patch program
// (IronMeadow_Patch_V1_0001.exe). It finds the installed game through
// "InstallDir" and brings its version file "kervins.cev" to V1.0001, showing
// its progress in a small window.
#include <stdio.h>
#include <windows.h>

#include "demo_window.h"

static struct { char install_dir[MAX_PATH]; } patch;

static int step_find_game(void (*note)(const char *)) {
  DWORD size = sizeof patch.install_dir - 1;
  DWORD type = 0;
  HKEY key;
  LONG found = RegOpenKeyExA(HKEY_LOCAL_MACHINE, DEMO_GAME_KEY, 0, KEY_QUERY_VALUE, &key);
  if (found == ERROR_SUCCESS) {
    found = RegQueryValueExA(key, "InstallDir", NULL, &type, (BYTE *)patch.install_dir, &size);
    RegCloseKey(key);
  }
  if (found != ERROR_SUCCESS || type != REG_SZ) {
    note("Iron Meadow is not installed: nothing to patch.");
    return 0;
  }
  patch.install_dir[size] = '\0';
  char line[400];
  snprintf(line, sizeof line, "Found Iron Meadow in %s", patch.install_dir);
  note(line);
  return 1;
}

static int step_update_files(void (*note)(const char *)) {
  note("Updating game data...");
  return 1;
}

static int step_write_version(void (*note)(const char *)) {
  if (!DEMO_write_version_file(patch.install_dir, "V1.0001")) {
    note("Cannot write kervins.cev.");
    return 0;
  }
  note("Iron Meadow is now at version V1.0001.");
  return 1;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  static const DEMO_STEP steps[] = {step_find_game, step_update_files, step_update_files,
                                    step_write_version};
  return DEMO_run_window("Iron Meadow Patch V1.0001", steps, 4, 500);
}
