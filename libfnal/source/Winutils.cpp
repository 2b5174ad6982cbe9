// Winutils: message draining, command-line splitting, registry text, window
// sizing, the single-instance test and the file size test.
#define VBUG_SOURCE "libfnal\\source\\Winutils.cpp"
#include "Winutils.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "platform.h"
#include "vbug.h"

// ---------------------------------------------------------------------------
// Command-line splitting (portable)

static int winutils_is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The counting pass: tokens separated by unquoted spaces, tabs and line
// breaks. It decides only whether the line has any token at all.
static int32_t winutils_count_tokens(const char *text) {
  int32_t count = 0;
  int in_quotes = 0;
  int after_separator = 1;
  for (const char *p = text; *p != '\0'; p++) {
    if (!in_quotes && winutils_is_blank(*p)) {
      after_separator = 1;
      continue;
    }
    if (after_separator) {
      count++;
      after_separator = 0;
    }
    if (*p == '"') in_quotes = !in_quotes;
  }
  return count;
}

// Moves past the double quotes and spaces at the start of a token.
static size_t winutils_skip_token_lead(const char *text, size_t start) {
  while (text[start] == '"' || text[start] == ' ') start++;
  return start;
}

// The splitting pass over text of length `length` into tokens, which has room
// for every token it can store (see WINUTILS_parse_command_line). Returns the
// number stored.
static int32_t winutils_split_tokens(char *text, size_t length, char **tokens) {
  int32_t stored = 0;
  int in_quotes = 0;
  size_t start = 0;
  for (size_t i = 0; i < length; i++) {
    if (text[i] == '"') {
      in_quotes = !in_quotes;
      if (!in_quotes) text[i] = '\0';
      continue;
    }
    if (in_quotes || text[i] != ' ') continue;
    text[i] = '\0';
    // A leading space would make an empty first token: the line has none.
    if (i > 0) tokens[stored++] = text + winutils_skip_token_lead(text, start);
    while (i + 1 < length && text[i + 1] == ' ') i++;
    start = i + 1;
  }
  if (start < length) tokens[stored++] = text + winutils_skip_token_lead(text, start);
  return stored;
}

char **WINUTILS_parse_command_line(char *text, int32_t *count) {
  VBUG_TRACE("WINUTILS_parse_command_line");
  if (text == NULL || count == NULL) return NULL;
  VBUG_MESSAGE("command_line <%s>", text);
  if (winutils_count_tokens(text) == 0) return NULL;
  // The splitting pass stores at most one token per run of unquoted spaces
  // plus the last one, more than the counting pass may find (a tab between
  // two spaces is a separator only for the counting pass); runs of spaces are
  // at least two characters apart, so length / 2 + 2 slots are enough.
  size_t length = strlen(text);
  char **tokens = (char **)PLATFORM_malloc(sizeof(char *) * (length / 2 + 2));
  if (tokens == NULL) return NULL;
  *count = winutils_split_tokens(text, length, tokens);
  return tokens;
}

// ---------------------------------------------------------------------------
// File test (portable)

int32_t WINUTILS_file_exists(const char *path) {
  VBUG_TRACE("WINUTILS_file_exists");
  if (path == NULL) return -2;
  struct stat status;
  if (stat(path, &status) != 0) return -1;
  // Windows gives a folder the size 0; other systems give it a block size.
  if ((status.st_mode & S_IFMT) == S_IFDIR) return 0;
  if ((uint64_t)status.st_size > (uint64_t)INT32_MAX) return INT32_MAX;
  return (int32_t)status.st_size;
}

#ifdef _WIN32
// ---------------------------------------------------------------------------
// Windows only

static HKEY const winutils_root_keys[] = {
    HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,   HKEY_LOCAL_MACHINE,
    HKEY_USERS,        HKEY_CURRENT_CONFIG, HKEY_DYN_DATA,
};
#define WINUTILS_ROOT_KEY_COUNT \
  ((int32_t)(sizeof winutils_root_keys / sizeof winutils_root_keys[0]))

void WINUTILS_process_messages(void) {
  VBUG_TRACE("WINUTILS_process_messages");
  MSG message;
  while (PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE)) {
    if (!PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) return;
    if (message.message == WM_QUIT) return;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

// Turns the raw value read into value (size bytes of type `type`) into the
// text the caller receives. Returns 0 for a type or size that has no text.
static unsigned char winutils_value_to_text(DWORD type, char *value, DWORD size) {
  if (type == REG_DWORD) {
    if (size != sizeof(DWORD)) return 0;
    DWORD number;
    memcpy(&number, value, sizeof number);
    snprintf(value, WINUTILS_REGISTRY_TEXT_SIZE, "%d", (int)(int32_t)number);
    return 1;
  }
  if (type != REG_SZ) return 0;
  // A stored text need not carry its terminator; one that fills the whole
  // buffer without it cannot be given back whole.
  if (size > 0 && value[size - 1] == '\0') return 1;
  if (size >= WINUTILS_REGISTRY_TEXT_SIZE) return 0;
  value[size] = '\0';
  return 1;
}

// Reads the value into a buffer of WINUTILS_REGISTRY_TEXT_SIZE bytes and
// converts it; the key stays open.
static unsigned char winutils_read_value(HKEY key, const char *value_name, char *text) {
  DWORD type = 0;
  DWORD size = WINUTILS_REGISTRY_TEXT_SIZE;
  if (RegQueryValueExA(key, value_name, NULL, &type, (BYTE *)text, &size) != ERROR_SUCCESS)
    return 0;
  if (size > WINUTILS_REGISTRY_TEXT_SIZE) return 0;
  if (!winutils_value_to_text(type, text, size)) return 0;
  return RegFlushKey(key) == ERROR_SUCCESS;
}

unsigned char WINUTILS_get_registry_entry(int32_t root_index, const char *sub_key,
                                          const char *value_name, char *out) {
  VBUG_TRACE("WINUTILS_get_registry_entry");
  if (root_index < 0 || root_index >= WINUTILS_ROOT_KEY_COUNT || out == NULL) {
    VBUG_MESSAGE("WINUTILS_get_registry_entry failed: bad root key index %d or no buffer",
                 (int)root_index);
    return 0;
  }
  HKEY key = NULL;
  if (RegOpenKeyA(winutils_root_keys[root_index], sub_key, &key) != ERROR_SUCCESS || key == NULL)
    return 0;
  // Read into a buffer of our own so that a failed read leaves out untouched.
  char text[WINUTILS_REGISTRY_TEXT_SIZE];
  unsigned char ok = winutils_read_value(key, value_name, text);
  RegCloseKey(key);
  if (ok) memcpy(out, text, WINUTILS_REGISTRY_TEXT_SIZE);
  return ok;
}

unsigned char WINUTILS_set_window_dimensions(HWND window, int32_t width, int32_t height) {
  VBUG_TRACE("WINUTILS_set_window_dimensions");
  if (width < 1 || height < 1) return 0;
  RECT frame;
  RECT client;
  if (!GetWindowRect(window, &frame) || !GetClientRect(window, &client)) return 0;
  int frame_width = (frame.right - frame.left) - (client.right - client.left);
  int frame_height = (frame.bottom - frame.top) - (client.bottom - client.top);
  // SWP_NOMOVE keeps the position in whatever coordinates the window lives
  // in (a child's are its parent's client coordinates, not the screen's).
  return SetWindowPos(window, NULL, 0, 0, frame_width + width, frame_height + height,
                      SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE)
             ? 1
             : 0;
}

// Creates (or opens) the mutex named after the program path. Returns 1 when
// it already existed.
static unsigned char winutils_claim_instance_mutex(char *program_path) {
  for (char *p = program_path; *p != '\0'; p++)
    if (*p == '\\') *p = '/';
  HANDLE mutex = CreateMutexA(NULL, FALSE, program_path);
  if (mutex == NULL) {
    VBUG_MESSAGE("WINUTILS_is_app_already_running: CreateMutex failed (%lu)",
                 (unsigned long)GetLastError());
    return 0;
  }
  // The handle is kept open on purpose: it marks this process as running.
  return GetLastError() == ERROR_ALREADY_EXISTS ? 1 : 0;
}

unsigned char WINUTILS_is_app_already_running(void) {
  VBUG_TRACE("WINUTILS_is_app_already_running");
  // Split a copy: the process's own command-line text must stay intact.
  const char *command_line = GetCommandLineA();
  size_t length = command_line ? strlen(command_line) : 0;
  char *copy = command_line ? (char *)PLATFORM_malloc(length + 1) : NULL;
  if (copy != NULL) memcpy(copy, command_line, length + 1);
  int32_t count = 0;
  char **tokens = copy ? WINUTILS_parse_command_line(copy, &count) : NULL;
  if (tokens == NULL) {
    VBUG_MESSAGE("Couldnt get command line");
    PLATFORM_free(copy);
    return 0;
  }
  unsigned char running = winutils_claim_instance_mutex(tokens[0]);
  PLATFORM_free(tokens);
  PLATFORM_free(copy);
  return running;
}
#endif

#ifdef _WIN32
// ---------------------------------------------------------------------------
// Library loading (Windows)

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

typedef BOOL(WINAPI *WinutilsSetDefaultDllDirectories)(DWORD);
typedef BOOL(WINAPI *WinutilsSetDllDirectory)(LPCSTR);

// The kernel function `name`, or null where this system lacks it.
static FARPROC winutils_kernel_function(const char *name) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  return kernel != NULL ? GetProcAddress(kernel, name) : NULL;
}

unsigned char WINUTILS_limit_dll_search(void) {
  VBUG_TRACE("WINUTILS_limit_dll_search");
  WinutilsSetDefaultDllDirectories set_default = (WinutilsSetDefaultDllDirectories)(void (*)(
      void))winutils_kernel_function("SetDefaultDllDirectories");
  if (set_default != NULL && set_default(LOAD_LIBRARY_SEARCH_SYSTEM32)) return 1;
  WinutilsSetDllDirectory set_directory =
      (WinutilsSetDllDirectory)(void (*)(void))winutils_kernel_function("SetDllDirectoryA");
  if (set_directory == NULL || !set_directory("")) {
    VBUG_MESSAGE("WINUTILS_limit_dll_search: the library search cannot be limited");
  }
  return 0;
}

HMODULE WINUTILS_load_system_library(const char *name) {
  VBUG_TRACE("WINUTILS_load_system_library");
  char path[MAX_PATH];
  UINT length = GetSystemDirectoryA(path, sizeof path);
  if (name == NULL || length == 0 || length + 1 + strlen(name) >= sizeof path) {
    VBUG_MESSAGE("WINUTILS_load_system_library: no path for %s", name ? name : "(null)");
    return NULL;
  }
  snprintf(path + length, sizeof path - length, "\\%s", name);
  return LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
}
#endif
