// csidl: the paths of eight well-known shell folders, looked up once at
// start-up through SHGetFolderPathA of "SHFolder.dll" (loaded at run time from
// the system folder) and kept in the table csidl_data, which callers read by
// position. Where the library is missing, the installer carried in the
// program is written to the temporary folder, run, and the library loaded
// again. Windows only.
#ifndef CSIDL_H
#define CSIDL_H

#include <stdint.h>

#ifdef _WIN32
#include <windows.h>

// Positions in csidl_data.
#define CSIDL_INDEX_COMMON_APPDATA 0
#define CSIDL_INDEX_LOCAL_APPDATA 1
#define CSIDL_INDEX_COMMON_DOCUMENTS 2
#define CSIDL_INDEX_PERSONAL 3
#define CSIDL_INDEX_PROGRAM_FILES 4
#define CSIDL_INDEX_DESKTOP 5
#define CSIDL_INDEX_COMMON_PROGRAMS 6
#define CSIDL_INDEX_PROGRAMS 7
#define CSIDL_ENTRY_COUNT 8

// Size of every path block in csidl_data.
#define CSIDL_PATH_SIZE 260

// One shell folder: its id and its path (a CSIDL_PATH_SIZE-byte block from
// the tracked allocator, owned by this module), or null while unknown.
typedef struct {
  int32_t csidl;
  char *csidl_path;
} CSIDL_ENTRY;

// The folders in the order of the CSIDL_INDEX_ positions, ended by a record
// whose csidl is -1. Paths are null until CSIDL_initialise has filled them
// and again after CSIDL_deinitialise.
extern CSIDL_ENTRY csidl_data[CSIDL_ENTRY_COUNT + 1];

// The signature of SHGetFolderPathA.
typedef HRESULT(WINAPI *CSIDL_GET_FOLDER_PATH)(HWND owner, int csidl, HANDLE token, DWORD flags,
                                               LPSTR path);

// The installer of "SHFolder.dll" carried as data, SHFOLDER_REDIST_SIZE bytes
// (0 when the program was built without one). Supplied by the build.
extern const unsigned char SHFOLDER_REDIST[];
extern const int32_t SHFOLDER_REDIST_SIZE;

// Fills csidl_data: each folder is looked up (and created when missing); a
// found path is copied into a new tracked block, a folder that is not found
// or not known to the system is left without a path. Needs the memory module.
// Returns 1, or 0 when SHGetFolderPathA cannot be had ("pSHGetFolderPath is
// NULL", table untouched) or a path block cannot be allocated (message box
// "Failed to allocate memory for path" captioned "Error"; the records filled
// so far keep their paths, CSIDL_deinitialise frees them).
unsigned char CSIDL_initialise(void);

// Frees every path in csidl_data, unloads the library and deletes the
// installer file if this module wrote one. Safe to call at any time.
void CSIDL_deinitialise(void);

// The address of SHGetFolderPathA, loading "SHFolder.dll" from the system
// folder first if needed (never a library of that name found elsewhere):
// when it cannot be loaded, the carried installer is written to the temporary
// folder as "shfolder.exe", run with "start /w /m" through the command
// interpreter (which waits for it) and the library loaded again. Returns
// null when the library still cannot be loaded or has no such export.
CSIDL_GET_FOLDER_PATH CSIDL_get_function_pointer(void);
#endif

#endif
