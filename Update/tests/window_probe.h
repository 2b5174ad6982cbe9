// window_probe: looking at another thread's or process's dialog from a test:
// finding windows, reading a control's text, visibility, enabled state and
// place, the sibling order, and message boxes owned by a window.
#ifndef UPDATE_TESTS_WINDOW_PROBE_H
#define UPDATE_TESTS_WINDOW_PROBE_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

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

struct ControlState {
  std::string text;
  bool visible;
  bool enabled;
  RECT place;  // client coordinates of the dialog
};

inline ControlState control(HWND dialog, int id) {
  ControlState state = {"", false, false, {0, 0, 0, 0}};
  HWND item = GetDlgItem(dialog, id);
  if (item == NULL) return state;
  state.text = text(item);
  state.visible = (GetWindowLongA(item, GWL_STYLE) & WS_VISIBLE) != 0;
  state.enabled = IsWindowEnabled(item) != FALSE;
  GetWindowRect(item, &state.place);
  MapWindowPoints(NULL, dialog, (POINT *)&state.place, 2);
  return state;
}

// Control ids of the dialog's children, top of the sibling order first.
inline std::vector<int> sibling_order(HWND dialog) {
  std::vector<int> ids;
  for (HWND child = GetWindow(dialog, GW_CHILD); child != NULL;
       child = GetWindow(child, GW_HWNDNEXT))
    ids.push_back(GetDlgCtrlID(child));
  return ids;
}

// Presses Escape in the dialog as the keyboard would (through the control
// that has the focus, or the dialog itself).
inline void press_escape(HWND dialog) {
  GUITHREADINFO info;
  info.cbSize = sizeof(info);
  HWND target = dialog;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, NULL), &info) && info.hwndFocus != NULL)
    target = info.hwndFocus;
  PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  PostMessageA(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
}

// Clicks the close box (the system menu's Close).
inline void press_close_box(HWND dialog) {
  PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
}

// Clicks the button with control id.
inline void click(HWND dialog, int id) {
  PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

}  // namespace probe

#endif
