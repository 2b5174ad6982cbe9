// winutils_interim: registry read, file size and client-area sizing for the
// launcher window until libfnal's Winutils module arrives.
#include "winutils_interim.h"

#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#define REGISTRY_VALUE_SIZE 512

static HKEY const root_keys[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,   HKEY_LOCAL_MACHINE,
                                 HKEY_USERS,        HKEY_CURRENT_CONFIG, HKEY_DYN_DATA};

// Reads the value into out and turns it into text; 0 for other types.
static unsigned char read_value_as_text(HKEY key, const char *value_name, char *out) {
  DWORD type = 0;
  DWORD size = REGISTRY_VALUE_SIZE - 1;  // room for a terminator of our own
  if (RegQueryValueExA(key, value_name, NULL, &type, (BYTE *)out, &size) != ERROR_SUCCESS) return 0;
  if (type == REG_DWORD && size == sizeof(DWORD)) {
    DWORD number;
    memcpy(&number, out, sizeof(number));
    snprintf(out, REGISTRY_VALUE_SIZE, "%d", (int)(int32_t)number);
    return 1;
  }
  if (type != REG_SZ) return 0;
  out[size] = '\0';  // a stored text need not carry its terminator
  return 1;
}

unsigned char interim_get_registry_entry(int root_index, const char *sub_key,
                                         const char *value_name, char *out) {
  if (root_index < 0 || root_index >= (int)(sizeof(root_keys) / sizeof(root_keys[0]))) return 0;
  HKEY key = NULL;
  if (RegOpenKeyA(root_keys[root_index], sub_key, &key) != ERROR_SUCCESS || key == NULL) return 0;
  unsigned char ok = read_value_as_text(key, value_name, out);
  if (ok && RegFlushKey(key) != ERROR_SUCCESS) ok = 0;
  RegCloseKey(key);
  return ok;
}

int32_t interim_file_exists(const char *path) {
  if (path == NULL) return -2;
  struct stat status;
  if (stat(path, &status) != 0) return -1;
  return (int32_t)status.st_size;
}

unsigned char interim_set_window_dimensions(HWND window, int width, int height) {
  if (width < 1 || height < 1) return 0;
  RECT outer, client;
  if (!GetWindowRect(window, &outer) || !GetClientRect(window, &client)) return 0;
  int frame_width = (outer.right - outer.left) - client.right;
  int frame_height = (outer.bottom - outer.top) - client.bottom;
  return SetWindowPos(window, NULL, outer.left, outer.top, frame_width + width,
                      frame_height + height, SWP_NOZORDER | SWP_NOACTIVATE) != FALSE;
}
