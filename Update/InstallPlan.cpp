// InstallPlan: every path of the install hand-off (portable).
#define VBUG_SOURCE "Update\\InstallPlan.cpp"
#include "InstallPlan.h"

#include <string.h>

#include "Vxstring.h"

const INSTALL_FILE install_files[INSTALL_FILE_COUNT] = {
    {"Setup.exe", INSTALL_SETUP_TARGET}, {"setup.ini", "setup.ini"},
    {"setupscr.ini", "setupscr.ini"},    {"buttons.bmp", "buttons.bmp"},
    {"backgrnd.bmp", "backgrnd.bmp"},    {"messages.ini", "messages.ini"},
    {"dsetup.dll", "dsetup.dll"},        {"dsetup32.dll", "dsetup32.dll"},
};

static unsigned char install_make_destination(const char *local_appdata, char *out) {
  return VXSTRING_format_fitting(out, INSTALL_PATH_SIZE, "%s%s%s", local_appdata,
                                 VXSTRING_separator_after(local_appdata), INSTALL_FOLDER_NAME);
}

static unsigned char install_join(const char *folder, const char *name, char *out) {
  return VXSTRING_format_fitting(out, INSTALL_PATH_SIZE, "%s\\%s", folder, name);
}

INSTALL_PLAN_RESULT install_make_plan(const char *temp_dir, const char *local_appdata,
                                      INSTALL_PLAN *plan) {
  memset(plan, 0, sizeof *plan);
  if (local_appdata == NULL || local_appdata[0] == '\0') return INSTALL_PLAN_NO_LOCAL_APPDATA;
  if (!install_make_destination(local_appdata, plan->destination))
    return INSTALL_PLAN_DESTINATION_TOO_LONG;
  if (!VXSTRING_format_fitting(plan->command_line, INSTALL_PATH_SIZE, "%s\\%s %s",
                               plan->destination, INSTALL_SETUP_TARGET, INSTALL_SETUP_ARGUMENTS))
    return INSTALL_PLAN_DESTINATION_TOO_LONG;
  for (int i = 0; i < INSTALL_FILE_COUNT; i++) {
    if (!install_join(plan->destination, install_files[i].target, plan->target[i]))
      return INSTALL_PLAN_DESTINATION_TOO_LONG;
    if (temp_dir == NULL || !install_join(temp_dir, install_files[i].source, plan->source[i]))
      return INSTALL_PLAN_SOURCE_TOO_LONG;
  }
  return INSTALL_PLAN_READY;
}
