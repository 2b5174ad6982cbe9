// MainDlg_payload: the launcher's payload step, run first when the window
// initialises, and the clean-up when the window object is destroyed.
#include "MainDlg.h"

// Runs before the window set-up. Answers true when the window may open;
// otherwise the dialog has been ended with IDCANCEL.
//
// PENDING(Winutils, Appndexe, utilvbig): in this order, once those modules
// are in the library:
//   1. WINUTILS_is_app_already_running() answers 1: end_dialog(IDCANCEL),
//      return false, silently.
//   2. GetModuleFileNameA(NULL, path, 260).
//   3. block = APPNDEXE_read_with_size(path, &length); none or length 0:
//      message_box("Failed to get append"), end_dialog(IDCANCEL), false.
//   4. ok = UTILVBIG_extract_to_temp_dir_from_mem(block, 4, temp_dir);
//      MEMORY_deallocate(&block, "Update/MainDlg", __LINE__) either way;
//      failed: message_box("Fatal extracting error"), end_dialog(IDCANCEL),
//      false.
// Until then nothing is unpacked: temp_dir stays empty.
bool MainDlg::run_payload_step() {
  return true;
}

// Deletes what the payload step unpacked, then lets the mutex go.
void MainDlg::clean_up() {
  // PENDING(utilvbig): UTILVBIG_delete_extracted_files(), then
  // UTILVBIG_delete_extracted_dirs().
  if (temp_dir[0] != '\0') RemoveDirectoryA(temp_dir);
  if (instance_mutex != NULL) {
    CloseHandle(instance_mutex);
    instance_mutex = NULL;
  }
}
