// launch: starting a program for the launcher's actions (the set-up program,
// the patch program) and telling whether it still runs. Windows only.
#ifndef UPDATE_LAUNCH_H
#define UPDATE_LAUNCH_H

#include <windows.h>

// Longest command line launch_process takes, terminator included.
#define LAUNCH_COMMAND_LINE_SIZE 260

// The size field given in the start-up information: the size of the
// 32-bit STARTUPINFOA (the 64-bit test build's structure is larger).
#ifdef _WIN64
#define LAUNCH_STARTUP_INFO_SIZE 104
#else
#define LAUNCH_STARTUP_INFO_SIZE 68
#endif

// A started program: its process information, then the start-up information
// it was created with. The handles are not closed.
struct LAUNCHED_PROCESS {
  PROCESS_INFORMATION process_information;
  STARTUPINFOA startup_information;
};

// Starts command_line (the program is its first word) with inherited
// handles, NORMAL_PRIORITY_CLASS, the launcher's environment, working_dir as
// its current folder (null: the launcher's), and zero-filled start-up
// information whose size field is LAUNCH_STARTUP_INFO_SIZE. Returns 1 when
// the process was created (record filled), 0 otherwise (a null argument or a
// command line longer than LAUNCH_COMMAND_LINE_SIZE included). Does not wait.
unsigned char launch_process(const char *command_line, LAUNCHED_PROCESS *record,
                             const char *working_dir = NULL);

// 1 when the process's exit code can be read and is STILL_ACTIVE (259);
// 0 otherwise, a failed query included.
unsigned char process_still_running(const LAUNCHED_PROCESS *record);

#endif
