// window_probe: looking at another thread's or process's dialog from a test:
// finding windows, reading a control's text, visibility, enabled state and
// place, the sibling order, and message boxes owned by a window.
#ifndef UPDATE_TESTS_WINDOW_PROBE_H
#define UPDATE_TESTS_WINDOW_PROBE_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "uidriver.h"

namespace probe {

// Polls condition every 50 ms for up to timeout_ms; true once it holds.
inline bool wait_until(const std::function<bool()> &condition, DWORD timeout_ms = 30000) {
  DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start > timeout_ms) return false;
    Sleep(50);
  }
}

inline std::string class_name(HWND hwnd) {
  char name[64] = "";
  GetClassNameA(hwnd, name, sizeof(name));
  return name;
}

inline std::string text(HWND hwnd) {
  char buffer[512] = "";
  DWORD_PTR copied = 0;
  SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof(buffer), (LPARAM)buffer, SMTO_ABORTIFHUNG, 5000,
                      &copied);
  return buffer;
}

struct DialogSearch {
  DWORD process_id, thread_id;
  std::vector<HWND> found;
};

inline BOOL CALLBACK collect_dialog(HWND hwnd, LPARAM param) {
  DialogSearch *s = (DialogSearch *)param;
  DWORD pid = 0;
  DWORD tid = GetWindowThreadProcessId(hwnd, &pid);
  bool mine = s->thread_id != 0 ? tid == s->thread_id : pid == s->process_id;
  if (mine && IsWindowVisible(hwnd) && class_name(hwnd) == "#32770") s->found.push_back(hwnd);
  return TRUE;
}

// Visible top-level dialog windows whose owning process (or thread) matches.
inline std::vector<HWND> dialogs(DWORD process_id, DWORD thread_id = 0) {
  DialogSearch search = {process_id, thread_id, {}};
  EnumWindows(collect_dialog, (LPARAM)&search);
  return search.found;
}

// The visible dialog titled title, waiting up to timeout_ms; null if none.
inline HWND wait_for_dialog(DWORD process_id, DWORD thread_id, const std::string &title,
                            DWORD timeout_ms = 30000) {
  HWND found = NULL;
  wait_until(
      [&] {
        for (HWND hwnd : dialogs(process_id, thread_id))
          if (text(hwnd) == title) found = hwnd;
        return found != NULL;
      },
      timeout_ms);
  return found;
}

// A message box (or other dialog) owned by owner; null if none appears.
inline HWND wait_for_owned_dialog(HWND owner, DWORD timeout_ms = 10000) {
  DWORD pid = 0;
  GetWindowThreadProcessId(owner, &pid);
  HWND found = NULL;
  wait_until(
      [&] {
        for (HWND hwnd : dialogs(pid))
          if (GetWindow(hwnd, GW_OWNER) == owner) found = hwnd;
        return found != NULL;
      },
      timeout_ms);
  return found;
}

// The message of a message box: the text of its non-empty static controls.
inline std::string message_text(HWND box) {
  std::string result;
  for (HWND child = GetWindow(box, GW_CHILD); child != NULL; child = GetWindow(child, GW_HWNDNEXT))
    if (class_name(child) == "Static" && !text(child).empty()) result += text(child);
  return result;
}

// A control's text, visibility, enabled state and place (client coordinates
// of the dialog), as the end-to-end driver reads it.
using uidriver::control;
using uidriver::ControlState;

// Control ids of the dialog's children, top of the sibling order first.
inline std::vector<int> sibling_order(HWND dialog) {
  std::vector<int> ids;
  for (HWND child = GetWindow(dialog, GW_CHILD); child != NULL;
       child = GetWindow(child, GW_HWNDNEXT))
    ids.push_back(GetDlgCtrlID(child));
  return ids;
}

// Escape, the close box and button clicks, as the end-to-end driver does them.
using uidriver::click;
using uidriver::press_close_box;
using uidriver::press_escape;

// Runs dialog D modally on a GUI thread of its own while the test drives it
// from outside, as a user would. `prepare` sees the dialog before its run
// starts. On destruction a dialog still open is ended with IDOK.
template <typename D>
class ModalThread {
 public:
  explicit ModalThread(const std::string &title = "Patch",
                       const std::function<void(D &)> &prepare = nullptr) {
    if (prepare) prepare(dialog);
    thread_ = CreateThread(NULL, 0, run, this, 0, &thread_id_);
    if (thread_ != NULL) window_ = wait_for_dialog(GetCurrentProcessId(), thread_id_, title, 15000);
  }
  ~ModalThread() {
    if (thread_ == NULL) return;
    if (WaitForSingleObject(thread_, 0) == WAIT_TIMEOUT && window_ != NULL)
      PostMessageA(window_, WM_COMMAND, IDOK, 0);  // IDOK always ends the dialog
    WaitForSingleObject(thread_, 15000);
    CloseHandle(thread_);
  }
  ModalThread(const ModalThread &) = delete;
  ModalThread &operator=(const ModalThread &) = delete;

  // The dialog's window, or null when it did not open.
  HWND window() const { return window_; }
  // Waits for the modal run to end; its result, or -2 on time-out.
  INT_PTR result(DWORD timeout_ms = 10000) {
    return WaitForSingleObject(thread_, timeout_ms) == WAIT_OBJECT_0 ? result_ : -2;
  }

  D dialog;

 private:
  static DWORD WINAPI run(void *self) {
    ModalThread *t = (ModalThread *)self;
    t->result_ = t->dialog.do_modal();
    return 0;
  }
  HANDLE thread_ = NULL;
  DWORD thread_id_ = 0;
  HWND window_ = NULL;
  volatile INT_PTR result_ = -3;
};

}  // namespace probe

#endif
