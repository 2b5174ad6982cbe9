// uidriver: drives a GUI program under test from another process, the way a
// user would: starts it, finds its windows, reads its controls, clicks
// buttons, presses Escape or the close box, answers its message boxes, and
// waits for it to end. Windows only; every wait is bounded.
#ifndef UIDRIVER_H
#define UIDRIVER_H

#include <windows.h>

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

// Saves what the screen shows of window (frame included) as a 24-bit BMP
// file. Returns false when the picture cannot be taken or written.
bool save_window_picture(HWND window, const std::string &path);

}  // namespace uidriver

#endif
