// Patch: the patch check and run behind "Run &Patch".
#define VBUG_SOURCE "Update\\Patch.cpp"
#include "Patch.h"

#include <string.h>

#include "Veloini.h"
#include "Winutils.h"
#include "framework.h"

static_assert(PATCH_PATH_SIZE <= LAUNCH_COMMAND_LINE_SIZE,
              "every patch command line the plan builds can be launched");
static_assert(GAME_INSTALL_DIR_SIZE >= WINUTILS_REGISTRY_TEXT_SIZE,
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
static void patch_sleep_until_event(const LAUNCHED_PROCESS *record) {
  HANDLE process = record->process_information.hProcess;
  if (patch_wait_hook != NULL) patch_wait_hook(record);
  if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
    MsgWaitForMultipleObjectsEx(1, &process, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  } else {
    MsgWaitForMultipleObjectsEx(0, NULL, PATCH_POLL_MS, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

void patch_wait_for_process(const LAUNCHED_PROCESS *record) {
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
static void patch_run_program(ACTION_CONTEXT &window) {
  char command_line[PATCH_PATH_SIZE];
  if (!patch_command_line(window.temp_dir, command_line)) {
    fw::message_box(window.owner, PATCH_TEMP_DIR_TOO_LONG);
    return;
  }
  LAUNCHED_PROCESS record;
  if (!launch_process(command_line, &record)) {
    fw::message_box(window.owner, PATCH_NOT_STARTED);
    return;
  }
  ShowWindow(window.owner, SW_HIDE);
  patch_wait_for_process(&record);
  window.set_layout(LAYOUT_NORMAL);
  ShowWindow(window.owner, SW_SHOW);
}

void run_patch(ACTION_CONTEXT &window) {
  // Only an explicit OK goes on: Cancel, Escape, the close box or a box
  // that could not be shown all stop here.
  if (fw::message_box(window.owner, PATCH_CONFIRMATION, "Question", MB_OKCANCEL) != IDOK) return;
  if (!WINUTILS_get_registry_entry(WINUTILS_HKEY_LOCAL_MACHINE, GAME_REGISTRY_KEY,
                                   GAME_INSTALL_DIR_VALUE, window.install_dir)) {
    fw::message_box(window.owner, PATCH_NO_INSTALL_DIR);
    return;
  }
  float version = 0.0f;
  const char *failure = patch_read_installed_version(window.install_dir, &version);
  if (failure != NULL) {
    fw::message_box(window.owner, failure);
    return;
  }
  if (!(version < PATCH_VERSION)) {
    fw::message_box(window.owner, PATCH_UP_TO_DATE);
    return;
  }
  patch_run_program(window);
}
