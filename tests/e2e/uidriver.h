// uidriver: the one window driver of the tests. Drives a GUI program under
// test the way a user would, from another process or (for in-process dialogs
// run by ModalThread) from another thread: starts it, finds its windows,
// reads its controls, clicks buttons, presses Escape or the close box,
// answers its message boxes, and waits for it to end. Windows only; every
// wait is bounded.
#ifndef UIDRIVER_H
#define UIDRIVER_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace uidriver {

// What a control shows: text, its own visibility (its WS_VISIBLE style, so
// that a hidden dialog's controls still tell their layout), enabled state,
// and its rectangle in the client coordinates of its dialog.
struct ControlState {
  bool exists = false;
  std::string text;
  bool visible = false;
  bool enabled = false;
  RECT rect = {0, 0, 0, 0};
};

// A message box (or any other dialog) of the program: its window, caption,
// and static text.
struct MessageBoxState {
  HWND hwnd = NULL;
  std::string caption;
  std::string text;
};

// A started program. Destruction kills it if it still runs.
class Program {
 public:
  // Starts command_line (not quoted for you) in working_dir (null: ours).
  // ok() tells whether it started.
  Program(const std::string &command_line, const char *working_dir = NULL);
  ~Program();
  Program(const Program &) = delete;
  Program &operator=(const Program &) = delete;

  bool ok() const { return process_ != NULL; }
  DWORD pid() const { return pid_; }

  // Waits up to timeout_ms for a visible top-level window of the program
  // whose caption is `caption` (any caption when null). Null on time-out.
  HWND wait_window(const char *caption, DWORD timeout_ms = 10000) const;

  // Waits up to timeout_ms for a message box of the program other than
  // `except` (a dialog window with a static text). exists=false on time-out.
  MessageBoxState wait_message_box(HWND except, DWORD timeout_ms = 10000) const;

  // Every visible top-level window of the program.
  std::vector<HWND> windows() const;

  // Waits up to timeout_ms for the program to end; true when it ended, with
  // its exit code in *code when given.
  bool wait_exit(DWORD timeout_ms, DWORD *code = NULL) const;

 private:
  HANDLE process_;
  DWORD pid_;
};

// The state of control `id` of dialog.
ControlState control(HWND dialog, int id);

// Client area size of a window.
SIZE client_size(HWND window);

// Presses button `id` of dialog as a click would (BM_CLICK, posted so that a
// modal loop the click opens does not block the driver).
void click(HWND dialog, int id);

// Presses Escape in the dialog (as the keyboard would, through the focused
// control and the dialog manager).
void press_escape(HWND dialog);

// Clicks the window's close box.
void press_close_box(HWND window);

// Answers a message box by pressing its button `id` (IDOK, IDCANCEL).
void answer(const MessageBoxState &box, int id);

// Sends a registered window message by name and returns the answer.
LRESULT send_registered(HWND window, const char *name, WPARAM wparam = 0, LPARAM lparam = 0);

// Waits up to timeout_ms until a window is no longer visible (or gone);
// true when it is.
bool wait_hidden(HWND window, DWORD timeout_ms);

// Waits up to timeout_ms until a window is visible again; true when it is.
bool wait_visible(HWND window, DWORD timeout_ms);

// Polls condition every few milliseconds for up to timeout_ms; true once it
// holds.
bool wait_until(const std::function<bool()> &condition, DWORD timeout_ms = 30000);

// A window's text (caption) and its class name.
std::string window_text(HWND window);
std::string class_name(HWND window);

// The text of a message box: its static control 0xFFFF (the id the system's
// message boxes give their text), or else its first non-empty static text.
std::string message_text(HWND box);

// Visible top-level dialog windows (class "#32770") of a process, or of one
// of its threads when thread_id is not 0.
std::vector<HWND> dialogs(DWORD process_id, DWORD thread_id = 0);

// The visible dialog titled title of that process (or thread), waiting up to
// timeout_ms; null if none.
HWND wait_for_dialog(DWORD process_id, DWORD thread_id, const std::string &title,
                     DWORD timeout_ms = 30000);

// A message box (or other dialog) owned by owner; null if none appears
// within timeout_ms.
HWND wait_for_owned_dialog(HWND owner, DWORD timeout_ms = 10000);

// Control ids of the dialog's children, top of the sibling order first.
std::vector<int> sibling_order(HWND dialog);

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

// Saves what the screen shows of window (frame included) as a 24-bit BMP
// file. Returns false when the picture cannot be taken or written.
bool save_window_picture(HWND window, const std::string &path);

}  // namespace uidriver

#endif
