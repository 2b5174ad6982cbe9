// installed_mark: writes, replaces and removes the registry value
// HKLM\Software\Vellor\Ironmeadow "InstallComplete" that tells the launcher
// the game is installed. The value is removed again on destruction.
#ifndef UPDATE_TESTS_INSTALLED_MARK_H
#define UPDATE_TESTS_INSTALLED_MARK_H

#include <windows.h>

#include <string>

#include "game_registry.h"

class InstalledMark {
 public:
  InstalledMark() { remove(); }
  ~InstalledMark() { remove(); }

  // Stores the value with the given registry type and raw bytes.
  bool set(DWORD type, const std::string &bytes) {
    return game_registry::set("InstallComplete", type, bytes);
  }

  // Removes the value (the key stays).
  void remove() { game_registry::remove_value("InstallComplete"); }
};

#endif
