// Patch: the patch check and run behind "Run &Patch".
#define VBUG_SOURCE "Update\\Patch.cpp"
#include "Patch.h"

#include <stdio.h>
#include <string.h>

// ---------------------------------------------------------------------------
// Version arithmetic and paths (portable)

// Weights of the four decimal places, as 32-bit floats.
static const float patch_weights[4] = {0.1f, 0.01f, 0.001f, 0.0001f};

// The character at position i as a number: its code as a signed byte minus '0'.
static int patch_digit(const char *text, int i) {
  return (int)(signed char)text[i] - '0';
}

float compute_version(const char *text) {
  double value = patch_digit(text, 1);
  for (int place = 0; place < 4; place++)
    value += patch_digit(text, 3 + place) * (double)patch_weights[place];
  return (float)value;
}

// snprintf into a PATCH_PATH_SIZE buffer; 1 when it fit, else out is emptied.
static unsigned char patch_fits(int written, char *out) {
  if (written >= 0 && written < PATCH_PATH_SIZE) return 1;
  out[0] = '\0';
  return 0;
}

unsigned char patch_version_file_path(const char *install_dir, char *out) {
  if (install_dir == NULL || out == NULL) return 0;
  size_t length = strlen(install_dir);
  const char *separator = (length == 0 || install_dir[length - 1] != '\\') ? "\\" : "";
  return patch_fits(
      snprintf(out, PATCH_PATH_SIZE, "%s%s%s", install_dir, separator, PATCH_VERSION_FILE), out);
}

unsigned char patch_command_line(const char *temp_dir, char *out) {
  if (temp_dir == NULL || out == NULL) return 0;
  return patch_fits(snprintf(out, PATCH_PATH_SIZE, "%s\\%s", temp_dir, PATCH_PROGRAM), out);
}

#ifdef _WIN32
// ---------------------------------------------------------------------------
// The patch program's process (Windows)

#include "MainDlg.h"
#include "Veloini.h"
#include "Winutils.h"

static_assert(MAINDLG_INSTALL_DIR_SIZE >= WINUTILS_REGISTRY_TEXT_SIZE,
              "install_dir receives a registry text");

#define PATCH_CONFIRMATION                                                                     \
  "If the game is currently installing please wait for completion before proceeding with the " \
  "patch.Click OK to patch."
#define PATCH_NO_INSTALL_DIR "Failed to get install dir, try re-installing"
#define PATCH_NO_VERSION_FILE "Failed to get version info, try reinstalling"
#define PATCH_INSTALL_DIR_TOO_LONG \
  "Failed to get version info, the install dir is too long, try reinstalling"
#define PATCH_CORRUPTED "Version information is corrupted"
#define PATCH_UP_TO_DATE "Ironmeadow is up to date"
#define PATCH_TEMP_DIR_TOO_LONG "Failed to start patch program, its folder path is too long"
#define PATCH_NOT_STARTED "Failed to start patch program"

unsigned char launch_process(const char *command_line, PATCH_PROCESS *record) {
  if (command_line == NULL || record == NULL) return 0;
  char writable[PATCH_PATH_SIZE];  // CreateProcessA may write into the line
  if (!patch_fits(snprintf(writable, sizeof writable, "%s", command_line), writable)) return 0;
  memset(&record->startup_information, 0, sizeof record->startup_information);
  record->startup_information.cb = PATCH_STARTUP_INFO_SIZE;
  memset(&record->process_information, 0, sizeof record->process_information);
  BOOL created = CreateProcessA(NULL, writable, NULL, NULL, TRUE, NORMAL_PRIORITY_CLASS, NULL, NULL,
                                &record->startup_information, &record->process_information);
  return created ? 1 : 0;
}

unsigned char process_still_running(const PATCH_PROCESS *record) {
  DWORD code = 0;
  if (!GetExitCodeProcess(record->process_information.hProcess, &code)) return 0;
  return code == STILL_ACTIVE ? 1 : 0;
}

// The longest sleep between two looks at a process whose handle is
// signalled: one that ended with the code 259, or one that ended just after
// it was last seen running.
#define PATCH_POLL_MS 50

static PATCH_WAIT_HOOK patch_wait_hook = NULL;

void patch_set_wait_hook(PATCH_WAIT_HOOK hook) {
  patch_wait_hook = hook;
}

// Sleeps until a message is waiting in the thread's queue or the process
// ends; once its handle is signalled, for PATCH_POLL_MS at most, so that the
// caller looks at the exit code again whatever the moment the process ended.
static void patch_sleep_until_event(const PATCH_PROCESS *record) {
  HANDLE process = record->process_information.hProcess;
  if (patch_wait_hook != NULL) patch_wait_hook(record);
  if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
    MsgWaitForMultipleObjectsEx(1, &process, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  } else {
    MsgWaitForMultipleObjectsEx(0, NULL, PATCH_POLL_MS, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

void patch_wait_for_process(const PATCH_PROCESS *record) {
  while (process_still_running(record)) {
    WINUTILS_process_messages();
    if (!process_still_running(record)) break;
    patch_sleep_until_event(record);
  }
}

// ---------------------------------------------------------------------------
// The check (Windows)

// The installed version, read from the version file in install_dir; the
// message to show when it cannot be had (null on success).
static const char *patch_read_installed_version(const char *install_dir, float *version) {
  char path[PATCH_PATH_SIZE];
  if (!patch_version_file_path(install_dir, path)) return PATCH_INSTALL_DIR_TOO_LONG;
  int16_t handle = VELOINI_open(path);
  if (handle == -1) return PATCH_NO_VERSION_FILE;
  const char *text = VELOINI_get_entry(handle, PATCH_VERSION_ENTRY);
  if (text == NULL || strlen(text) != PATCH_VERSION_TEXT_LENGTH) {
    VELOINI_close(handle);
    return PATCH_CORRUPTED;
  }
  *version = compute_version(text);
  VELOINI_close(handle);
  return NULL;
}

// Starts the patch program and waits for it with the window hidden, then
// shows the window again in the normal layout.
static void patch_run_program(MainDlg &dialog) {
  char command_line[PATCH_PATH_SIZE];
  if (!patch_command_line(dialog.temp_dir, command_line)) {
    dialog.message_box(PATCH_TEMP_DIR_TOO_LONG);
    return;
  }
  PATCH_PROCESS record;
  if (!launch_process(command_line, &record)) {
    dialog.message_box(PATCH_NOT_STARTED);
    return;
  }
  ShowWindow(dialog.hwnd(), SW_HIDE);
  patch_wait_for_process(&record);
  dialog.set_layout(LAYOUT_NORMAL);
  ShowWindow(dialog.hwnd(), SW_SHOW);
}

void run_patch(MainDlg &dialog) {
  // Only an explicit OK goes on: Cancel, Escape, the close box or a box
  // that could not be shown all stop here.
  if (dialog.message_box(PATCH_CONFIRMATION, "Question", MB_OKCANCEL) != IDOK) return;
  if (!WINUTILS_get_registry_entry(WINUTILS_HKEY_LOCAL_MACHINE, MAINDLG_REGISTRY_KEY, "InstallDir",
                                   dialog.install_dir)) {
    dialog.message_box(PATCH_NO_INSTALL_DIR);
    return;
  }
  float version = 0.0f;
  const char *failure = patch_read_installed_version(dialog.install_dir, &version);
  if (failure != NULL) {
    dialog.message_box(failure);
    return;
  }
  if (!(version < PATCH_VERSION)) {
    dialog.message_box(PATCH_UP_TO_DATE);
    return;
  }
  patch_run_program(dialog);
}
#endif
