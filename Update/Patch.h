// Patch: the "Run &Patch" action. Confirms with the user, finds the installed
// game through the registry, reads its version from "kervins.cev", and when
// it is older than PATCH_VERSION runs the unpacked patch program with the
// launcher window hidden until the program has ended. The version arithmetic
// and the paths come from its plan (PatchPlan.h); this half is Windows only.
#ifndef UPDATE_PATCH_H
#define UPDATE_PATCH_H

#include "ActionContext.h"
#include "PatchPlan.h"
#include "launch.h"

// Waits while process_still_running answers 1, dispatching every message of
// the calling thread (WINUTILS_process_messages; a quit message is consumed
// and does not end the wait). Between rounds it sleeps until the process
// ends or a message arrives, so it costs no processor time meanwhile; it
// returns once the process has ended with any code but 259, whenever that
// happens. A process that ended with the code 259 keeps it going round with
// a short sleep (at most 50 ms) between rounds, messages still dispatched.
void patch_wait_for_process(const LAUNCHED_PROCESS *record);

// For tests: a function that patch_wait_for_process calls in every round
// after it has seen the process running and before it looks at the
// process's handle (null: none, the default).
typedef void (*PATCH_WAIT_HOOK)(const LAUNCHED_PROCESS *record);
void patch_set_wait_hook(PATCH_WAIT_HOOK hook);

// The handler of "Run &Patch": the whole check and run described above, with
// its messages owned by the window. Returns when the patch program has ended (the
// window back in the normal layout and shown) or after a message.
void run_patch(ACTION_CONTEXT &window);

#endif
