// csidl: the shell-folder path table, filled through SHGetFolderPathA of
// "SHFolder.dll", with the on-demand installation of that library.
#define VBUG_SOURCE "libfnal\\source\\csidl.cpp"
#include "csidl.h"

#ifdef _WIN32
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "Vxstring.h"
#include "Winutils.h"
#include "memory.h"
#include "vbug.h"

#define CSIDL_FLAG_CREATE_FOLDER 0x8000
#define CSIDL_LIBRARY_NAME "SHFolder.dll"  // loaded from the system folder only
#define CSIDL_INSTALLER_NAME "shfolder.exe"
#define CSIDL_INSTALL_COMMAND "start /w /m %s"

CSIDL_ENTRY csidl_data[CSIDL_ENTRY_COUNT + 1] = {
    {35, NULL},  // CSIDL_COMMON_APPDATA
    {28, NULL},  // CSIDL_LOCAL_APPDATA
    {46, NULL},  // CSIDL_COMMON_DOCUMENTS
    {5, NULL},   // CSIDL_PERSONAL
    {38, NULL},  // CSIDL_PROGRAM_FILES
    {0, NULL},   // CSIDL_DESKTOP
    {23, NULL},  // CSIDL_COMMON_PROGRAMS
    {2, NULL},   // CSIDL_PROGRAMS
    {-1, NULL},  // end of table
};

static struct {
  HMODULE shfolder_library;
  unsigned char exe_written;  // 1 while exe_path names a file of ours to delete
  char exe_path[MAX_PATH];    // the temporary folder followed by "shfolder.exe"
} cs;

// Writes the carried installer to exe_path in the temporary folder. Sets
// exe_written before the first byte so that deinitialise removes even an
// incomplete file. Returns 1 when the whole installer was written.
static unsigned char csidl_write_exe(void) {
  VBUG_TRACE("csidl_write_exe");
  VBUG_MESSAGE("Using shfolder.exe");
  if (SHFOLDER_REDIST_SIZE <= 0) {
    VBUG_MESSAGE("csidl_write_exe: this program carries no shfolder.exe");
    return 0;
  }
  DWORD length = GetTempPathA(MAX_PATH, cs.exe_path);
  if (length == 0 || length + sizeof CSIDL_INSTALLER_NAME > MAX_PATH) {
    VBUG_MESSAGE("Failed to get temp path");
    return 0;
  }
  strcat(cs.exe_path, CSIDL_INSTALLER_NAME);
  FILE *file = fopen(cs.exe_path, "wb");
  if (file == NULL) {
    VBUG_MESSAGE("Failed to open file for writing");
    return 0;
  }
  cs.exe_written = 1;
  size_t items = fwrite(SHFOLDER_REDIST, (size_t)SHFOLDER_REDIST_SIZE, 1, file);
  int closed = fclose(file);
  return items == 1 && closed == 0;
}

// Runs the written installer through the command interpreter, which waits
// for it. The command does not quote the path, so it is given in its short
// form, which has no blanks; without such a form the installer is not run.
static void csidl_run_exe(void) {
  char short_path[MAX_PATH];
  DWORD length = GetShortPathNameA(cs.exe_path, short_path, sizeof short_path);
  if (length == 0 || length >= sizeof short_path || strchr(short_path, ' ') != NULL) {
    VBUG_MESSAGE("csidl: no blank-free path for %s", cs.exe_path);
    return;
  }
  char command[sizeof CSIDL_INSTALL_COMMAND + MAX_PATH];
  snprintf(command, sizeof command, CSIDL_INSTALL_COMMAND, short_path);
  system(command);
}

CSIDL_GET_FOLDER_PATH CSIDL_get_function_pointer(void) {
  VBUG_TRACE("CSIDL_get_function_pointer");
  if (cs.shfolder_library == NULL)
    cs.shfolder_library = WINUTILS_load_system_library(CSIDL_LIBRARY_NAME);
  if (cs.shfolder_library == NULL && csidl_write_exe()) {
    csidl_run_exe();
    cs.shfolder_library = WINUTILS_load_system_library(CSIDL_LIBRARY_NAME);
  }
  if (cs.shfolder_library == NULL) return NULL;
  return (CSIDL_GET_FOLDER_PATH)(void (*)(void))GetProcAddress(cs.shfolder_library,
                                                               "SHGetFolderPathA");
}

// Stores path in the record, in its existing block or a new one. Returns 0
// when no block can be had.
static unsigned char csidl_store_path(CSIDL_ENTRY *entry, const char *path) {
  if (entry->csidl_path == NULL) {
    entry->csidl_path = (char *)MEMORY_ALLOC(entry->csidl_path, CSIDL_PATH_SIZE, MEMORY_NO_FILL,
                                             "csidl_data[f].csidl_path");
    if (entry->csidl_path == NULL) return 0;
  }
  VXSTRING_strcpy_safe(entry->csidl_path, path, CSIDL_PATH_SIZE);
  return 1;
}

unsigned char CSIDL_initialise(void) {
  VBUG_TRACE("CSIDL_initialise");
  cs.exe_written = 0;
  CSIDL_GET_FOLDER_PATH get_folder_path = CSIDL_get_function_pointer();
  if (get_folder_path == NULL) {
    VBUG_MESSAGE("pSHGetFolderPath is NULL");
    return 0;
  }
  for (int32_t f = 0; csidl_data[f].csidl != -1; f++) {
    char path[MAX_PATH] = "";
    HRESULT result =
        get_folder_path(NULL, csidl_data[f].csidl | CSIDL_FLAG_CREATE_FOLDER, NULL, 0, path);
    if (result == S_OK) {
      if (!csidl_store_path(&csidl_data[f], path)) {
        MessageBoxA(NULL, "Failed to allocate memory for path", "Error", MB_OK);
        return 0;
      }
    } else if (result == S_FALSE || result == E_INVALIDARG) {
      if (csidl_data[f].csidl_path != NULL) MEMORY_FREE(csidl_data[f].csidl_path);
    }
  }
  return 1;
}

void CSIDL_deinitialise(void) {
  VBUG_TRACE("CSIDL_deinitialise");
  for (int32_t f = 0; csidl_data[f].csidl != -1; f++)
    if (csidl_data[f].csidl_path != NULL) MEMORY_FREE(csidl_data[f].csidl_path);
  if (cs.shfolder_library != NULL) {
    FreeLibrary(cs.shfolder_library);
    cs.shfolder_library = NULL;
  }
  if (cs.exe_written) {
    DeleteFileA(cs.exe_path);
    cs.exe_written = 0;
  }
}
#endif
