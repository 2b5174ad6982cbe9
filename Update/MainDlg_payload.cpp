// MainDlg_payload: the launcher's payload step, run first when the window
// initialises, and the clean-up when the window object is destroyed.
#define VBUG_SOURCE "Update\\MainDlg_payload.cpp"
#include <windows.h>

#include "Appndexe.h"
#include "MainDlg.h"
#include "Winutils.h"
#include "memory.h"
#include "utilvbig.h"

// Runs before the window set-up. Answers true when the window may open;
// otherwise the dialog has been ended with IDCANCEL. A second launcher
// started under the same path ends silently; the payload appended to the
// executable is checked against its integrity record (when it has one) and
// unpacked into a new temporary folder (temp_dir), and the payload block is
// released either way.
bool MainDlg::run_payload_step() {
  if (WINUTILS_is_app_already_running()) {
    end_dialog(IDCANCEL);
    return false;
  }
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
  int32_t size = 0;
  void *block = length > 0 && length < sizeof path ? APPNDEXE_read_with_size(path, &size) : NULL;
  if (block == NULL || size == 0) {
    if (block != NULL) MEMORY_deallocate(&block, "Update/MainDlg", __LINE__);
    message_box("Failed to get append");
    end_dialog(IDCANCEL);
    return false;
  }
  // A payload whose integrity record does not match is not unpacked at all.
  int32_t archive_length = 0;
  unsigned char extracted =
      APPNDEXE_check_record(block, size, &archive_length) != APPNDEXE_RECORD_DAMAGED &&
      UTILVBIG_extract_to_temp_dir_from_mem_with_size(block, archive_length, temp_dir);
  MEMORY_deallocate(&block, "Update/MainDlg", __LINE__);
  if (!extracted) {
    temp_dir[0] = '\0';
    message_box("Fatal extracting error");
    end_dialog(IDCANCEL);
    return false;
  }
  return true;
}

// Deletes what the payload step unpacked (files, then folders, newest first,
// then the temporary folder itself), then lets the mutex go.
void MainDlg::clean_up() {
  UTILVBIG_delete_extracted_files();
  UTILVBIG_delete_extracted_dirs();
  if (temp_dir[0] != '\0') RemoveDirectoryA(temp_dir);
  if (instance_mutex != NULL) {
    CloseHandle(instance_mutex);
    instance_mutex = NULL;
  }
}
