// startup: the launcher's module start-up and shutdown sequence.
#define VBUG_SOURCE "Update\\startup.cpp"
#include "startup.h"

#include <windows.h>

#include "memory.h"

// One module of the sequence: how to bring it up, and the text shown when
// that fails.
struct ModuleStep {
  unsigned char (*initialise)(void);
  const char *failure_text;
};

// PENDING(vfile, Veloini, csidl, vfilbig, utilvbig): the steps after memory,
// in this order, once those modules are in the library:
//   {VFILE_initialise(no settings), then VFILE_set_search_paths(1, ".\\")
//    with its result ignored, "VFILE failed"},
//   {VELOINI_initialise(5, "cev"), "VELOINI failed"},
//   {CSIDL_initialise(), "CSIDL failed"},
//   {VFILBIG_initialise(1), "VFILBIG failed"},
//   {UTILVBIG_initialise(1), "UTILVBIG failed"},
// and shutdown_modules() calls UTILVBIG_, VFILBIG_, CSIDL_, VELOINI_ and
// VFILE_deinitialise before MEMORY_deinitialise.
static const ModuleStep module_steps[] = {
    {MEMORY_initialise, "MEMORY failed"},
};

bool startup_modules() {
  for (const ModuleStep &step : module_steps) {
    if (!step.initialise()) {
      MessageBoxA(NULL, step.failure_text, "Error", MB_OK);
      return false;
    }
  }
  return true;
}

void shutdown_modules() {
  MEMORY_deinitialise();
}
