// Winutils: stateless helpers over the Win32 interface: draining the message
// queue, splitting a command line into tokens, reading a registry value as
// text, sizing a window by its client area, a single-instance test, a file
// size test, and loading libraries from the system folder only. No
// initialise call; every operation may be called at any time.
// The command-line splitter and the file test are portable; the rest exists
// only on Windows.
#ifndef WINUTILS_H
#define WINUTILS_H

#include <stdint.h>

#ifdef _WIN32
#include <windows.h>
#endif

// Size of the caller's buffer for WINUTILS_get_registry_entry.
#define WINUTILS_REGISTRY_TEXT_SIZE 512

// Root-key indexes of WINUTILS_get_registry_entry.
#define WINUTILS_HKEY_CLASSES_ROOT 0
#define WINUTILS_HKEY_CURRENT_USER 1
#define WINUTILS_HKEY_LOCAL_MACHINE 2
#define WINUTILS_HKEY_USERS 3
#define WINUTILS_HKEY_CURRENT_CONFIG 4
#define WINUTILS_HKEY_DYN_DATA 5

// Splits text (modified in place: separators and closing quotes become
// terminators) into tokens. Tokens are separated by unquoted spaces; tabs and
// line breaks stay inside a token; the quotes that open a token are dropped
// and text glued after a closing quote is cut off. A line that starts with
// blanks gives no empty first token. Returns an array of pointers into text
// (allocated with malloc: the caller frees it with free; text must outlive
// it) and writes the number of tokens to count; returns null, count not
// written, when text has no token (empty, or only spaces, tabs and line
// breaks), text or count is null, or the heap refuses.
char **WINUTILS_parse_command_line(char *text, int32_t *count);

// Size in bytes of the file at path (0 for an empty file or a folder, cut to
// INT32_MAX for larger files); -1 when it does not exist, -2 for a null path.
int32_t WINUTILS_file_exists(const char *path);

#ifdef _WIN32
// Dispatches every message waiting in the calling thread's queue (with key
// translation) and returns when the queue is empty; never waits. A quit
// message ends the draining and is consumed (not posted again).
void WINUTILS_process_messages(void);

// Reads value_name under sub_key of root key root_index (0 HKEY_CLASSES_ROOT,
// 1 HKEY_CURRENT_USER, 2 HKEY_LOCAL_MACHINE, 3 HKEY_USERS, 4
// HKEY_CURRENT_CONFIG, 5 HKEY_DYN_DATA) into out, which holds
// WINUTILS_REGISTRY_TEXT_SIZE bytes: a REG_SZ as its text, a 4-byte REG_DWORD
// as its signed decimal text ("%d"). Returns 1, or 0 with out untouched when
// the index is out of range, out is null, the key or value cannot be read,
// the value does not fit, or it has any other type or size. The key is
// always closed again.
unsigned char WINUTILS_get_registry_entry(int32_t root_index, const char *sub_key,
                                          const char *value_name, char *out);

// Resizes window so that its client area is width by height pixels, keeping
// its position, z-order and activation. Returns 1, or 0 without touching the
// window when a size is below 1 or the window's rectangles cannot be taken.
unsigned char WINUTILS_set_window_dimensions(HWND window, int32_t width, int32_t height);

// Tells whether another process started under the same program path (the
// first token of this process's command line, quotes removed) is running,
// through a mutex named by that path (backslashes written as '/', which a
// kernel object name cannot hold). The mutex stays open for the life of the
// process. Returns 1 when it already existed; 0 when it is new, or when the
// command line has no token or the mutex cannot be created.
unsigned char WINUTILS_is_app_already_running(void);

// Takes the program's folder and the working folder out of the search for
// libraries loaded by bare name, for the rest of the process: limits it to
// the system folder (SetDefaultDllDirectories, looked up at run time) and
// returns 1. Where the system lacks that, takes out only the working folder
// (SetDllDirectoryA with an empty text, also looked up) and returns 0, as it
// does when neither can be had. Call it before any library is loaded by name.
unsigned char WINUTILS_limit_dll_search(void);

// Loads library `name` (a file name such as "SHFolder.dll") from the system
// folder by its full path, whatever the search order, its own dependencies
// searched from there too. Returns the module (free with FreeLibrary), or
// null when the path does not fit MAX_PATH or it is not there or not loadable.
HMODULE WINUTILS_load_system_library(const char *name);
#endif

#endif
