// Patch: the "Run &Patch" action. Confirms with the user, finds the installed
// game through the registry, reads its version from "kervins.cev", and when
// it is older than PATCH_VERSION runs the unpacked patch program with the
// launcher window hidden until the program has ended. The version arithmetic
// and the path building are portable; the rest exists only on Windows.
#ifndef UPDATE_PATCH_H
#define UPDATE_PATCH_H

#include <stddef.h>

// The version this patch brings: the float nearest to 1.0001.
#define PATCH_VERSION 1.0001f

// Size of the version file path and of the patch command line.
#define PATCH_PATH_SIZE 260

// Length of a version text such as "V1.0001".
#define PATCH_VERSION_TEXT_LENGTH 7

// File names the patch check uses.
#define PATCH_VERSION_FILE "kervins.cev"
#define PATCH_VERSION_ENTRY "version_number"
#define PATCH_PROGRAM "Ironmeadow_patch_V1_0001.exe"

// The version of a 7-character text: character 1 is the whole part and
// characters 3 to 6 are four decimal places; 0 and 2 are not read. Each is
// taken as its code (a signed byte) minus '0', digits or not, so ':' counts
// as 10. The four weights are the floats nearest 0.1, 0.01, 0.001 and
// 0.0001; the sum is formed in double precision and rounded once to float.
// text must hold at least 7 characters.
float compute_version(const char *text);

// Writes install_dir, a backslash unless install_dir already ends in one
// (an empty install_dir gets one), and "kervins.cev" into out, which holds
// PATCH_PATH_SIZE bytes. Returns 1, or 0 with out empty when the path does
// not fit or an argument is null.
unsigned char patch_version_file_path(const char *install_dir, char *out);

// Writes temp_dir + "\" + "Ironmeadow_patch_V1_0001.exe" into out, which
// holds PATCH_PATH_SIZE bytes. Returns 1, or 0 with out empty when it does
// not fit or an argument is null.
unsigned char patch_command_line(const char *temp_dir, char *out);

#ifdef _WIN32
#include <windows.h>

class MainDlg;

// A started patch program: its process information, then the start-up
// information it was created with. The handles are not closed.
struct PATCH_PROCESS {
  PROCESS_INFORMATION process_information;
  STARTUPINFOA startup_information;
};

// The size field given in the start-up information.
#define PATCH_STARTUP_INFO_SIZE 68

// Starts command_line (the program is its first word) with inherited
// handles, NORMAL_PRIORITY_CLASS, the launcher's environment and current
// folder, and zero-filled start-up information whose size field is 68.
// Returns 1 when the process was created (record filled), 0 otherwise. Does
// not wait.
unsigned char launch_process(const char *command_line, PATCH_PROCESS *record);

// 1 when the process's exit code can be read and is STILL_ACTIVE (259);
// 0 otherwise, a failed query included.
unsigned char process_still_running(const PATCH_PROCESS *record);

// Waits while process_still_running answers 1, dispatching every message of
// the calling thread (WINUTILS_process_messages; a quit message is consumed
// and does not end the wait). Between rounds it sleeps until the process
// ends or a message arrives, so it costs no processor time meanwhile; it
// returns once the process has ended with any code but 259, whenever that
// happens. A process that ended with the code 259 keeps it going round with
// a short sleep (at most 50 ms) between rounds, messages still dispatched.
void patch_wait_for_process(const PATCH_PROCESS *record);

// For tests: a function that patch_wait_for_process calls in every round
// after it has seen the process running and before it looks at the
// process's handle (null: none, the default).
typedef void (*PATCH_WAIT_HOOK)(const PATCH_PROCESS *record);
void patch_set_wait_hook(PATCH_WAIT_HOOK hook);

// The handler of "Run &Patch": the whole check and run described above, with
// its messages owned by dialog. Returns when the patch program has ended (the
// window back in the normal layout and shown) or after a message.
void run_patch(MainDlg &dialog);
#endif

#endif
