// Install: the "Install &Game" hand-off. Looks for the game CD (the marker
// "kerv.cev" in the root of a CD-ROM drive, C: to Z: in order), copies the
// set-up program and its seven data files out of the unpacked folder into
// "Iron Meadow" under the user's local application-data folder, starts the
// copy with the CD root as its current folder and closes the launcher. The
// paths come from its plan (InstallPlan.h); this half is Windows only.
#ifndef UPDATE_INSTALL_H
#define UPDATE_INSTALL_H

#include "ActionContext.h"
#include "InstallPlan.h"

// Probes the drives C: to Z: in order; the first of type CD-ROM whose root
// holds "kerv.cev" gets install_from_cd. Returns 1 when such a drive was
// found (whatever became of the hand-off), 0 when none was.
unsigned char find_cd_and_install(ACTION_CONTEXT &window);

// The hand-off from the CD at cd_root (such as "D:\"): copies the eight
// files out of window's temp_dir (read-only marks cleared before and after),
// closes window's instance mutex, starts the copied set-up program with
// cd_root as its current folder and closes the window with IDOK. Every
// failure is shown in a message box owned by the window, which stays open: a
// missing local application-data folder or a path too long for its buffer
// (nothing copied then), a failed copy (the copies made so far stay), or a
// set-up program that cannot be started.
void install_from_cd(ACTION_CONTEXT &window, const char *cd_root);

#endif
