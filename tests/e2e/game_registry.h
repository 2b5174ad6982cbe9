// game_registry: the installed game's registry key
// (HKLM\Software\Vellor\Ironmeadow) as the tests set, read and clear it.
#ifndef GAME_REGISTRY_H
#define GAME_REGISTRY_H

#include <windows.h>

#include <string>

namespace game_registry {

// The value's text (a REG_SZ as stored), "<no key>" when the key is missing
// and "<no value>" when the value is.
std::string text(const char *name);

// Stores a value of the given registry type and raw bytes, creating the key.
// Returns false when the registry refuses.
bool set(const char *name, DWORD type, const std::string &bytes);

// Stores a REG_SZ value (with its terminator).
bool set_text(const char *name, const std::string &value);

// Removes one value; the key stays.
void remove_value(const char *name);

// Removes the whole key: the game is not installed.
void remove_key();

}  // namespace game_registry

#endif
