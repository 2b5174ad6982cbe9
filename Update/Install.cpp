// Install: the hand-off of the game's set-up program from the CD.
#define VBUG_SOURCE "Update\\Install.cpp"
#include "Install.h"

#include <stdio.h>
#include <string.h>

// ---------------------------------------------------------------------------
// The plan: every path of the hand-off (portable)

const INSTALL_FILE install_files[INSTALL_FILE_COUNT] = {
    {"Setup.exe", INSTALL_SETUP_TARGET}, {"setup.ini", "setup.ini"},
    {"setupscr.ini", "setupscr.ini"},    {"buttons.bmp", "buttons.bmp"},
    {"backgrnd.bmp", "backgrnd.bmp"},    {"messages.ini", "messages.ini"},
    {"dsetup.dll", "dsetup.dll"},        {"dsetup32.dll", "dsetup32.dll"},
};

// snprintf into an INSTALL_PATH_SIZE buffer; 1 when it fit, else out is emptied.
static unsigned char install_fits(int written, char *out) {
  if (written >= 0 && written < INSTALL_PATH_SIZE) return 1;
  out[0] = '\0';
  return 0;
}

static unsigned char install_make_destination(const char *local_appdata, char *out) {
  size_t length = strlen(local_appdata);
  const char *separator = local_appdata[length - 1] == '\\' ? "" : "\\";
  return install_fits(
      snprintf(out, INSTALL_PATH_SIZE, "%s%s%s", local_appdata, separator, INSTALL_FOLDER_NAME),
      out);
}

static unsigned char install_join(const char *folder, const char *name, char *out) {
  return install_fits(snprintf(out, INSTALL_PATH_SIZE, "%s\\%s", folder, name), out);
}

INSTALL_PLAN_RESULT install_make_plan(const char *temp_dir, const char *local_appdata,
                                      INSTALL_PLAN *plan) {
  memset(plan, 0, sizeof *plan);
  if (local_appdata == NULL || local_appdata[0] == '\0') return INSTALL_PLAN_NO_LOCAL_APPDATA;
  if (!install_make_destination(local_appdata, plan->destination))
    return INSTALL_PLAN_DESTINATION_TOO_LONG;
  if (!install_fits(snprintf(plan->command_line, INSTALL_PATH_SIZE, "%s\\%s %s", plan->destination,
                             INSTALL_SETUP_TARGET, INSTALL_SETUP_ARGUMENTS),
                    plan->command_line))
    return INSTALL_PLAN_DESTINATION_TOO_LONG;
  for (int i = 0; i < INSTALL_FILE_COUNT; i++) {
    if (!install_join(plan->destination, install_files[i].target, plan->target[i]))
      return INSTALL_PLAN_DESTINATION_TOO_LONG;
    if (temp_dir == NULL || !install_join(temp_dir, install_files[i].source, plan->source[i]))
      return INSTALL_PLAN_SOURCE_TOO_LONG;
  }
  return INSTALL_PLAN_READY;
}

#ifdef _WIN32
// ---------------------------------------------------------------------------
// Finding the CD and handing over (Windows)

#include <sys/stat.h>

#include "MainDlg.h"
#include "csidl.h"

#define INSTALL_NO_LOCAL_APPDATA \
  "Failed to find the local application data folder, cannot copy the installer"
#define INSTALL_DESTINATION_TOO_LONG \
  "Failed to copy the installer, the path of the local application data folder is too long: '%s'"
#define INSTALL_SOURCE_TOO_LONG \
  "Failed to copy the installer, the path of the temporary folder is too long: '%s'"
#define INSTALL_COPY_FAILED "Failed to copy from '%s' to '%s'"
#define INSTALL_MUTEX_FAILED "Failed to release mutex"
#define INSTALL_RUN_FAILED "Failed to run installer"

// Room for a message naming two paths.
#define INSTALL_MESSAGE_SIZE (3 * INSTALL_PATH_SIZE)

// Builds the plan; shows why not and answers false when it cannot go ahead.
static bool install_plan_or_explain(MainDlg &dialog, INSTALL_PLAN *plan) {
  const char *local_appdata = csidl_data[CSIDL_INDEX_LOCAL_APPDATA].csidl_path;
  char message[INSTALL_MESSAGE_SIZE];
  switch (install_make_plan(dialog.temp_dir, local_appdata, plan)) {
    case INSTALL_PLAN_READY:
      return true;
    case INSTALL_PLAN_NO_LOCAL_APPDATA:
      dialog.message_box(INSTALL_NO_LOCAL_APPDATA);
      return false;
    case INSTALL_PLAN_DESTINATION_TOO_LONG:
      snprintf(message, sizeof message, INSTALL_DESTINATION_TOO_LONG, local_appdata);
      break;
    case INSTALL_PLAN_SOURCE_TOO_LONG:
      snprintf(message, sizeof message, INSTALL_SOURCE_TOO_LONG, dialog.temp_dir);
      break;
  }
  dialog.message_box(message);
  return false;
}

// Copies the eight files in table order, clearing a read-only mark on each
// target before and after. Stops at the first failure, which it shows.
static bool install_copy_files(MainDlg &dialog, const INSTALL_PLAN *plan) {
  for (int i = 0; i < INSTALL_FILE_COUNT; i++) {
    SetFileAttributesA(plan->target[i], FILE_ATTRIBUTE_NORMAL);
    if (!CopyFileA(plan->source[i], plan->target[i], FALSE)) {
      char message[INSTALL_MESSAGE_SIZE];
      snprintf(message, sizeof message, INSTALL_COPY_FAILED, plan->source[i], plan->target[i]);
      dialog.message_box(message);
      return false;
    }
    SetFileAttributesA(plan->target[i], FILE_ATTRIBUTE_NORMAL);
  }
  return true;
}

// Lets "Iron Meadow" go before the set-up program starts.
static void install_release_mutex(MainDlg &dialog) {
  if (dialog.instance_mutex != NULL && !CloseHandle(dialog.instance_mutex))
    dialog.message_box(INSTALL_MUTEX_FAILED);
  dialog.instance_mutex = NULL;
}

// Starts the set-up command line in cd_root. The handles are left open.
static bool install_start_setup(INSTALL_PLAN *plan, const char *cd_root) {
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = 68;
  PROCESS_INFORMATION process;
  memset(&process, 0, sizeof process);
  return CreateProcessA(NULL, plan->command_line, NULL, NULL, TRUE, NORMAL_PRIORITY_CLASS, NULL,
                        cd_root, &startup, &process) != FALSE;
}

void install_from_cd(MainDlg &dialog, const char *cd_root) {
  INSTALL_PLAN plan;
  if (!install_plan_or_explain(dialog, &plan)) return;
  CreateDirectoryA(plan.destination, NULL);  // may exist already
  if (!install_copy_files(dialog, &plan)) return;
  install_release_mutex(dialog);
  if (!install_start_setup(&plan, cd_root)) {
    dialog.message_box(INSTALL_RUN_FAILED);
    return;
  }
  SendMessageA(dialog.hwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

unsigned char find_cd_and_install(MainDlg &dialog) {
  char root[] = "-:\\";
  for (char letter = 'C'; letter <= 'Z'; letter++) {
    root[0] = letter;
    if (GetDriveTypeA(root) != DRIVE_CDROM) continue;
    char marker[sizeof root + sizeof INSTALL_CD_MARKER];
    snprintf(marker, sizeof marker, "%s%s", root, INSTALL_CD_MARKER);
    struct stat status;
    if (stat(marker, &status) != 0) continue;
    install_from_cd(dialog, root);
    return 1;
  }
  return 0;
}
#endif
