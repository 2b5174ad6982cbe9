// game_registry: the installed game's registry key for the tests.
#include "game_registry.h"

namespace game_registry {

static const char kKey[] = "Software\\Vellor\\Ironmeadow";

std::string text(const char *name) {
  char value[512] = "";
  DWORD size = sizeof value - 1;
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return "<no key>";
  LONG found = RegQueryValueExA(key, name, NULL, NULL, (BYTE *)value, &size);
  RegCloseKey(key);
  return found == ERROR_SUCCESS ? std::string(value) : "<no value>";
}

bool set(const char *name, DWORD type, const std::string &bytes) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL) !=
      ERROR_SUCCESS)
    return false;
  LONG status = RegSetValueExA(key, name, 0, type, (const BYTE *)bytes.data(), (DWORD)bytes.size());
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

bool set_text(const char *name, const std::string &value) {
  return set(name, REG_SZ, std::string(value.c_str(), value.size() + 1));
}

void remove_value(const char *name) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  RegDeleteValueA(key, name);
  RegCloseKey(key);
}

void remove_key() {
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
}

}  // namespace game_registry
