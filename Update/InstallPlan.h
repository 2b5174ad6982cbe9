// InstallPlan: the portable half of the "Install &Game" hand-off (see
// Install.h): the files handed over and every path and the command line of
// one hand-off, built before anything is touched.
#ifndef UPDATE_INSTALLPLAN_H
#define UPDATE_INSTALLPLAN_H

// Size of every path and of the set-up command line.
#define INSTALL_PATH_SIZE 260

// Number of files handed over.
#define INSTALL_FILE_COUNT 8

// Names the hand-off uses.
#define INSTALL_CD_MARKER "kerv.cev"
#define INSTALL_FOLDER_NAME "Iron Meadow"
#define INSTALL_SETUP_TARGET "Iron Meadow remove.exe"
#define INSTALL_SETUP_ARGUMENTS "copy \"Iron Meadow\""

// One file of the hand-off: its name in the unpacked folder and its name in
// the destination folder.
struct INSTALL_FILE {
  const char *source;
  const char *target;
};

// The files in the order they are copied; the set-up program first.
extern const INSTALL_FILE install_files[INSTALL_FILE_COUNT];

// Every path of one hand-off, built before anything is touched.
struct INSTALL_PLAN {
  char destination[INSTALL_PATH_SIZE];  // local app data + "\" + "Iron Meadow"
  char source[INSTALL_FILE_COUNT][INSTALL_PATH_SIZE];
  char target[INSTALL_FILE_COUNT][INSTALL_PATH_SIZE];
  char
      command_line[INSTALL_PATH_SIZE];  // "<destination>\Iron Meadow remove.exe copy "Iron Meadow""
};

// Results of install_make_plan.
enum INSTALL_PLAN_RESULT {
  INSTALL_PLAN_READY = 0,
  INSTALL_PLAN_NO_LOCAL_APPDATA,      // local_appdata null or empty
  INSTALL_PLAN_DESTINATION_TOO_LONG,  // a target path or the command line does not fit
  INSTALL_PLAN_SOURCE_TOO_LONG,       // a source path does not fit (or temp_dir is null)
};

// Fills plan: the destination folder (local_appdata, a backslash unless it
// already ends in one, "Iron Meadow"), each source as temp_dir + "\" + name,
// each target as destination + "\" + name, and the set-up command line.
// Returns INSTALL_PLAN_READY, or the reason the hand-off cannot go ahead;
// nothing is ever written past a buffer of plan.
INSTALL_PLAN_RESULT install_make_plan(const char *temp_dir, const char *local_appdata,
                                      INSTALL_PLAN *plan);

#endif
