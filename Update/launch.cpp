// launch: starting the actions' programs.
#define VBUG_SOURCE "Update\\launch.cpp"
#include "launch.h"

#include <string.h>

#include "Vxstring.h"

static_assert(LAUNCH_STARTUP_INFO_SIZE == sizeof(STARTUPINFOA),
              "the size field names the start-up information's own size");

unsigned char launch_process(const char *command_line, LAUNCHED_PROCESS *record,
                             const char *working_dir) {
  if (command_line == NULL || record == NULL) return 0;
  char writable[LAUNCH_COMMAND_LINE_SIZE];  // CreateProcessA may write into the line
  if (!VXSTRING_format_fitting(writable, sizeof writable, "%s", command_line)) return 0;
  memset(&record->startup_information, 0, sizeof record->startup_information);
  record->startup_information.cb = LAUNCH_STARTUP_INFO_SIZE;
  memset(&record->process_information, 0, sizeof record->process_information);
  BOOL created =
      CreateProcessA(NULL, writable, NULL, NULL, TRUE, NORMAL_PRIORITY_CLASS, NULL, working_dir,
                     &record->startup_information, &record->process_information);
  return created ? 1 : 0;
}

unsigned char process_still_running(const LAUNCHED_PROCESS *record) {
  DWORD code = 0;
  if (!GetExitCodeProcess(record->process_information.hProcess, &code)) return 0;
  return code == STILL_ACTIVE ? 1 : 0;
}
