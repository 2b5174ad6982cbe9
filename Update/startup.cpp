// startup: the launcher's module start-up and shutdown sequence.
#define VBUG_SOURCE "Update\\startup.cpp"
#include "startup.h"

#include <windows.h>

#include "Veloini.h"
#include "csidl.h"
#include "memory.h"
#include "utilvbig.h"
#include "vfilbig.h"
#include "vfile.h"

// File access with the module's defaults and the working folder (the CD root
// under AutoPlay) as its one search path; the search path's result does not
// matter here.
static unsigned char startup_vfile(void) {
  if (!VFILE_initialise(NULL)) return 0;
  VFILE_set_search_paths(1, ".\\");
  return 1;
}

static unsigned char startup_veloini(void) {
  return VELOINI_initialise(5, "cev");
}
static unsigned char startup_vfilbig(void) {
  return VFILBIG_initialise(1);
}
static unsigned char startup_utilvbig(void) {
  return UTILVBIG_initialise(1);
}

// One module of the sequence: how to bring it up, and the text shown when
// that fails.
struct ModuleStep {
  unsigned char (*initialise)(void);
  const char *failure_text;
};

static const ModuleStep module_steps[] = {
    {MEMORY_initialise, "MEMORY failed"}, {startup_vfile, "VFILE failed"},
    {startup_veloini, "VELOINI failed"},  {CSIDL_initialise, "CSIDL failed"},
    {startup_vfilbig, "VFILBIG failed"},  {startup_utilvbig, "UTILVBIG failed"},
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

int shutdown_modules() {
  UTILVBIG_deinitialise();
  VFILBIG_deinitialise();
  CSIDL_deinitialise();
  VELOINI_deinitialise();
  VFILE_deinitialise();
  int leaked = MEMORY_live_blocks();
  MEMORY_deinitialise();
  return leaked;
}
