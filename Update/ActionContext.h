// ActionContext: what the launcher's button actions (Install, Patch) get from
// the window, in one small record, so that they need not know the window
// class. Also the names the window and the actions share: the layouts and the
// game's registry entries.
#ifndef UPDATE_ACTIONCONTEXT_H
#define UPDATE_ACTIONCONTEXT_H

#include <windows.h>

#include <functional>

// The window's two layouts.
#define LAYOUT_NORMAL 0
#define LAYOUT_INSERT_CD 1

// Registry key (HKLM) of the installed game and its values: the mark that
// the game is installed, and its folder.
#define GAME_REGISTRY_KEY "Software\\Vellor\\Ironmeadow"
#define GAME_INSTALLED_VALUE "InstallComplete"
#define GAME_INSTALL_DIR_VALUE "InstallDir"

// Size of the install folder buffer.
#define GAME_INSTALL_DIR_SIZE 512

// The window as the actions see it. Every field points into the window,
// which outlives the action.
struct ACTION_CONTEXT {
  HWND owner;              // owns the actions' message boxes; hidden, shown or closed by them
  const char *temp_dir;    // the unpacked folder
  char *install_dir;       // GAME_INSTALL_DIR_SIZE bytes: the "InstallDir" read by the patch check
  HANDLE *instance_mutex;  // the "Iron Meadow" mutex, or null when not ours
  std::function<void(int)> set_layout;  // shows LAYOUT_NORMAL or LAYOUT_INSERT_CD
};

#endif
