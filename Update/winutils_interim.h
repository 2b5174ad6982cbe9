// winutils_interim: the three Windows utilities the launcher window needs,
// with the behaviour of their namesakes in libfnal's Winutils module, until
// that module is part of the build. When it is: replace each call by the
// WINUTILS_ operation named below and delete this file.
#ifndef UPDATE_WINUTILS_INTERIM_H
#define UPDATE_WINUTILS_INTERIM_H

#include <windows.h>
#include <stdint.h>

// As WINUTILS_get_registry_entry: reads value name of sub_key under root key
// number root_index (0 HKCR, 1 HKCU, 2 HKLM, 3 HKU, 4 HKCC, 5 HKDD) into out
// (512 bytes) as text; a REG_DWORD becomes its signed decimal text. Returns 1,
// or 0 when the key or value cannot be read or has another type.
unsigned char interim_get_registry_entry(int root_index, const char *sub_key,
                                         const char *value_name, char *out);

// As WINUTILS_file_exists: the file's size in bytes, -1 when it does not
// exist, -2 when path is null.
int32_t interim_file_exists(const char *path);

// As WINUTILS_set_window_dimensions: resizes window in place so that its
// client area is width by height pixels. Returns 0 for a size below 1 (the
// window is not touched) or when the platform refuses.
unsigned char interim_set_window_dimensions(HWND window, int width, int height);

#endif
