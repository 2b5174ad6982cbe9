// The demo disc's stand-in for the game's set-up program. The launcher copies
// it out as "Iron Meadow remove.exe" and starts it with the arguments
// copy "Iron Meadow" and the CD root as its current folder. It installs the
// demo game: an install folder under Program Files with the version file
// "kervins.cev" (V1.0000) and a record of how it was started, and the values
// "InstallDir" and "InstallComplete" under HKLM\Software\Vellor\Ironmeadow.
#include <shlobj.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "demo_window.h"

static struct {
  char install_dir[MAX_PATH];
  char current_dir[MAX_PATH];
  const char *arguments;
} setup;

// The command line after the program name (which is not quoted by the
// launcher and may contain blanks: it ends at ".exe").
static const char *setup_arguments(const char *command_line) {
  const char *exe = strstr(command_line, ".exe");
  if (exe == NULL) exe = strstr(command_line, ".EXE");
  const char *rest = exe ? exe + 4 : command_line;
  if (*rest == '"') rest++;
  while (*rest == ' ') rest++;
  return rest;
}

static int step_check_arguments(void (*note)(const char *)) {
  char line[600];
  snprintf(line, sizeof line, "Started in %s with: %s", setup.current_dir, setup.arguments);
  note(line);
  if (strcmp(setup.arguments, "copy \"Iron Meadow\"") != 0) {
    note("Expected the arguments: copy \"Iron Meadow\"");
    return 0;
  }
  return 1;
}

static int step_create_folder(void (*note)(const char *)) {
  char program_files[MAX_PATH];
  if (SHGetFolderPathA(NULL, CSIDL_PROGRAM_FILES, NULL, 0, program_files) != S_OK) {
    note("Cannot find the Program Files folder.");
    return 0;
  }
  char vellor[MAX_PATH];
  snprintf(vellor, sizeof vellor, "%s\\Vellor", program_files);
  snprintf(setup.install_dir, sizeof setup.install_dir, "%s\\Iron Meadow", vellor);
  CreateDirectoryA(vellor, NULL);
  if (!CreateDirectoryA(setup.install_dir, NULL) && GetLastError() != ERROR_ALREADY_EXISTS) {
    note("Cannot create the install folder.");
    return 0;
  }
  char line[400];
  snprintf(line, sizeof line, "Install folder: %s", setup.install_dir);
  note(line);
  return 1;
}

static int step_write_files(void (*note)(const char *)) {
  if (!DEMO_write_version_file(setup.install_dir, "V1.0000")) {
    note("Cannot write kervins.cev.");
    return 0;
  }
  char path[MAX_PATH + 20];
  snprintf(path, sizeof path, "%s\\setup.log", setup.install_dir);
  FILE *log = fopen(path, "w");
  if (log == NULL) {
    note("Cannot write setup.log.");
    return 0;
  }
  fprintf(log, "current_dir=%s\narguments=%s\n", setup.current_dir, setup.arguments);
  fclose(log);
  note("Wrote kervins.cev (version V1.0000) and setup.log.");
  return 1;
}

static int step_register(void (*note)(const char *)) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, DEMO_GAME_KEY, 0, NULL, 0, KEY_SET_VALUE, NULL, &key,
                      NULL) != ERROR_SUCCESS) {
    note("Cannot create the registry key (administrator rights needed).");
    return 0;
  }
  LONG a = RegSetValueExA(key, "InstallDir", 0, REG_SZ, (const BYTE *)setup.install_dir,
                          (DWORD)strlen(setup.install_dir) + 1);
  LONG b = RegSetValueExA(key, "InstallComplete", 0, REG_SZ, (const BYTE *)"1", 2);
  RegCloseKey(key);
  if (a != ERROR_SUCCESS || b != ERROR_SUCCESS) {
    note("Cannot write the registry values.");
    return 0;
  }
  note("Registered InstallDir and InstallComplete.");
  return 1;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  setup.arguments = setup_arguments(GetCommandLineA());
  GetCurrentDirectoryA(sizeof setup.current_dir, setup.current_dir);
  static const DEMO_STEP steps[] = {step_check_arguments, step_create_folder, step_write_files,
                                    step_register};
  return DEMO_run_window("Iron Meadow Setup", steps, 4, 400);
}
