// Install: finding the game CD and handing over to its set-up program.
#define VBUG_SOURCE "Update\\Install.cpp"
#include "Install.h"

#include <stdio.h>
#include <sys/stat.h>

#include "csidl.h"
#include "framework.h"
#include "launch.h"

static_assert(INSTALL_PATH_SIZE <= LAUNCH_COMMAND_LINE_SIZE,
              "every set-up command line the plan builds can be launched");

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
static bool install_plan_or_explain(ACTION_CONTEXT &window, INSTALL_PLAN *plan) {
  const char *local_appdata = csidl_data[CSIDL_INDEX_LOCAL_APPDATA].csidl_path;
  char message[INSTALL_MESSAGE_SIZE];
  switch (install_make_plan(window.temp_dir, local_appdata, plan)) {
    case INSTALL_PLAN_READY:
      return true;
    case INSTALL_PLAN_NO_LOCAL_APPDATA:
      fw::message_box(window.owner, INSTALL_NO_LOCAL_APPDATA);
      return false;
    case INSTALL_PLAN_DESTINATION_TOO_LONG:
      snprintf(message, sizeof message, INSTALL_DESTINATION_TOO_LONG, local_appdata);
      break;
    case INSTALL_PLAN_SOURCE_TOO_LONG:
      snprintf(message, sizeof message, INSTALL_SOURCE_TOO_LONG, window.temp_dir);
      break;
  }
  fw::message_box(window.owner, message);
  return false;
}

// Copies the eight files in table order, clearing a read-only mark on each
// target before and after. Stops at the first failure, which it shows.
static bool install_copy_files(ACTION_CONTEXT &window, const INSTALL_PLAN *plan) {
  for (int i = 0; i < INSTALL_FILE_COUNT; i++) {
    SetFileAttributesA(plan->target[i], FILE_ATTRIBUTE_NORMAL);
    if (!CopyFileA(plan->source[i], plan->target[i], FALSE)) {
      char message[INSTALL_MESSAGE_SIZE];
      snprintf(message, sizeof message, INSTALL_COPY_FAILED, plan->source[i], plan->target[i]);
      fw::message_box(window.owner, message);
      return false;
    }
    SetFileAttributesA(plan->target[i], FILE_ATTRIBUTE_NORMAL);
  }
  return true;
}

// Lets "Iron Meadow" go before the set-up program starts.
static void install_release_mutex(ACTION_CONTEXT &window) {
  HANDLE *mutex = window.instance_mutex;
  if (*mutex != NULL && !CloseHandle(*mutex)) fw::message_box(window.owner, INSTALL_MUTEX_FAILED);
  *mutex = NULL;
}

// Starts the set-up command line in cd_root. The handles are left open.
static bool install_start_setup(const INSTALL_PLAN *plan, const char *cd_root) {
  LAUNCHED_PROCESS setup;
  return launch_process(plan->command_line, &setup, cd_root) != 0;
}

void install_from_cd(ACTION_CONTEXT &window, const char *cd_root) {
  INSTALL_PLAN plan;
  if (!install_plan_or_explain(window, &plan)) return;
  CreateDirectoryA(plan.destination, NULL);  // may exist already
  if (!install_copy_files(window, &plan)) return;
  install_release_mutex(window);
  if (!install_start_setup(&plan, cd_root)) {
    fw::message_box(window.owner, INSTALL_RUN_FAILED);
    return;
  }
  SendMessageA(window.owner, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

unsigned char find_cd_and_install(ACTION_CONTEXT &window) {
  char root[] = "-:\\";
  for (char letter = 'C'; letter <= 'Z'; letter++) {
    root[0] = letter;
    if (GetDriveTypeA(root) != DRIVE_CDROM) continue;
    char marker[sizeof root + sizeof INSTALL_CD_MARKER];
    snprintf(marker, sizeof marker, "%s%s", root, INSTALL_CD_MARKER);
    struct stat status;
    if (stat(marker, &status) != 0) continue;
    install_from_cd(window, root);
    return 1;
  }
  return 0;
}
