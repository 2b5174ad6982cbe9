// demo_window: the small status window that the demo disc's stand-in set-up
// and patch programs show while they work: a caption, a list of what was
// done, a progress bar, and a Close button. It closes itself a moment after
// the work is finished.
#ifndef DEMO_WINDOW_H
#define DEMO_WINDOW_H

#include <windows.h>

// One step of the work; returns 0 on failure (the window then stays open
// with the failure shown until the user closes it). `note` adds a line.
typedef int (*DEMO_STEP)(void (*note)(const char *line));

// Shows a window titled `title`, runs the steps one after another (the
// progress bar advancing with each, `step_delay_ms` between them so the user
// sees it), and returns 0 when every step succeeded, 1 otherwise, once the
// window has closed.
int DEMO_run_window(const char *title, const DEMO_STEP *steps, int step_count, int step_delay_ms);

// Registry key of the installed game under HKEY_LOCAL_MACHINE.
#define DEMO_GAME_KEY "Software\\Vellor\\Ironmeadow"

// Writes the installed game's version file "kervins.cev" in `folder` with the
// given version text (7 characters, e.g. "V1.0000"). Returns 1 on success.
int DEMO_write_version_file(const char *folder, const char *version);

#endif
