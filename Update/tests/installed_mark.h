// installed_mark: writes, replaces and removes the registry value
// HKLM\Software\Vellor\Ironmeadow "InstallComplete" that tells the launcher
// the game is installed. The value is removed again on destruction.
#ifndef UPDATE_TESTS_INSTALLED_MARK_H
#define UPDATE_TESTS_INSTALLED_MARK_H

#include <windows.h>

#include <string>

class InstalledMark {
 public:
  InstalledMark() { remove(); }
  ~InstalledMark() { remove(); }

  // Stores the value with the given registry type and raw bytes.
  bool set(DWORD type, const std::string &bytes) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Vellor\\Ironmeadow", 0, NULL, 0,
                        KEY_SET_VALUE, NULL, &key, NULL) != ERROR_SUCCESS)
      return false;
    LONG status = RegSetValueExA(key, "InstallComplete", 0, type, (const BYTE *)bytes.data(),
                                 (DWORD)bytes.size());
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
  }

  // Removes the value (the key stays).
  void remove() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Vellor\\Ironmeadow", 0, KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS)
      return;
    RegDeleteValueA(key, "InstallComplete");
    RegCloseKey(key);
  }
};

#endif
