// uidriver: drives a GUI program under test from another process.
#include "uidriver.h"

#include <stdio.h>

namespace uidriver {

namespace {

const DWORD kPollMs = 20;

// Visible top-level windows of a process (or of one of its threads, when
// thread_id is not 0); with dialogs_only, only those of class "#32770".
struct Collect {
  DWORD pid;
  DWORD thread_id;
  bool dialogs_only;
  std::vector<HWND> *out;
};

BOOL CALLBACK collect_window(HWND window, LPARAM data) {
  Collect *collect = (Collect *)data;
  DWORD pid = 0;
  DWORD tid = GetWindowThreadProcessId(window, &pid);
  bool mine = collect->thread_id != 0 ? tid == collect->thread_id : pid == collect->pid;
  if (mine && IsWindowVisible(window) && (!collect->dialogs_only || class_name(window) == "#32770"))
    collect->out->push_back(window);
  return TRUE;
}

// Polls `done` every kPollMs until it answers true or timeout_ms passed.
template <typename Done>
bool poll(DWORD timeout_ms, Done done) {
  DWORD start = GetTickCount();
  for (;;) {
    if (done()) return true;
    if (GetTickCount() - start >= timeout_ms) return false;
    Sleep(kPollMs);
  }
}

}  // namespace

bool wait_until(const std::function<bool()> &condition, DWORD timeout_ms) {
  return poll(timeout_ms, condition);
}

std::string window_text(HWND window) {
  char text[1024] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string class_name(HWND window) {
  char name[256] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

std::string message_text(HWND box) {
  HWND text = GetDlgItem(box, 0xFFFF);
  if (text != NULL) return window_text(text);
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    if (class_name(child) == "Static" && !window_text(child).empty()) return window_text(child);
  return "";
}

std::vector<HWND> dialogs(DWORD process_id, DWORD thread_id) {
  std::vector<HWND> found;
  Collect collect = {process_id, thread_id, true, &found};
  EnumWindows(collect_window, (LPARAM)&collect);
  return found;
}

HWND wait_for_dialog(DWORD process_id, DWORD thread_id, const std::string &title,
                     DWORD timeout_ms) {
  HWND found = NULL;
  poll(timeout_ms, [&] {
    for (HWND window : dialogs(process_id, thread_id))
      if (window_text(window) == title) found = window;
    return found != NULL;
  });
  return found;
}

HWND wait_for_owned_dialog(HWND owner, DWORD timeout_ms) {
  DWORD pid = 0;
  GetWindowThreadProcessId(owner, &pid);
  HWND found = NULL;
  poll(timeout_ms, [&] {
    for (HWND window : dialogs(pid))
      if (GetWindow(window, GW_OWNER) == owner) found = window;
    return found != NULL;
  });
  return found;
}

std::vector<int> sibling_order(HWND dialog) {
  std::vector<int> ids;
  for (HWND child = GetWindow(dialog, GW_CHILD); child != NULL;
       child = GetWindow(child, GW_HWNDNEXT))
    ids.push_back(GetDlgCtrlID(child));
  return ids;
}

Program::Program(const std::string &command_line, const char *working_dir)
    : process_(NULL), pid_(0) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  std::vector<char> line(command_line.begin(), command_line.end());
  line.push_back('\0');
  if (!CreateProcessA(NULL, line.data(), NULL, NULL, FALSE, 0, NULL, working_dir, &startup, &info))
    return;
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  pid_ = info.dwProcessId;
}

Program::~Program() {
  if (process_ == NULL) return;
  if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_, 99);
    WaitForSingleObject(process_, 5000);
  }
  CloseHandle(process_);
}

std::vector<HWND> Program::windows() const {
  std::vector<HWND> found;
  Collect collect = {pid_, 0, false, &found};
  EnumWindows(collect_window, (LPARAM)&collect);
  return found;
}

HWND Program::wait_window(const char *caption, DWORD timeout_ms) const {
  HWND found = NULL;
  poll(timeout_ms, [&] {
    for (HWND window : windows())
      if (caption == NULL || window_text(window) == caption) {
        found = window;
        return true;
      }
    return false;
  });
  return found;
}

MessageBoxState Program::wait_message_box(HWND except, DWORD timeout_ms) const {
  MessageBoxState state;
  poll(timeout_ms, [&] {
    for (HWND window : windows()) {
      if (window == except || class_name(window) != "#32770") continue;
      std::string text = message_text(window);
      if (text.empty()) continue;
      state.hwnd = window;
      state.caption = window_text(window);
      state.text = text;
      return true;
    }
    return false;
  });
  return state;
}

bool Program::wait_exit(DWORD timeout_ms, DWORD *code) const {
  if (process_ == NULL || WaitForSingleObject(process_, timeout_ms) != WAIT_OBJECT_0) return false;
  if (code != NULL) GetExitCodeProcess(process_, code);
  return true;
}

ControlState control(HWND dialog, int id) {
  ControlState state;
  HWND item = GetDlgItem(dialog, id);
  if (item == NULL) return state;
  state.exists = true;
  state.text = window_text(item);
  state.visible = (GetWindowLongA(item, GWL_STYLE) & WS_VISIBLE) != 0;
  state.enabled = IsWindowEnabled(item) != FALSE;
  GetWindowRect(item, &state.rect);
  MapWindowPoints(NULL, dialog, (POINT *)&state.rect, 2);
  return state;
}

SIZE client_size(HWND window) {
  RECT rect = {0, 0, 0, 0};
  GetClientRect(window, &rect);
  SIZE size = {rect.right - rect.left, rect.bottom - rect.top};
  return size;
}

void click(HWND dialog, int id) {
  PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void press_escape(HWND dialog) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  DWORD thread = GetWindowThreadProcessId(dialog, NULL);
  HWND target = GetGUIThreadInfo(thread, &info) && info.hwndFocus ? info.hwndFocus : dialog;
  PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  PostMessageA(target, WM_KEYUP, VK_ESCAPE, (LPARAM)0xC0010001u);
}

void press_close_box(HWND window) {
  PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void answer(const MessageBoxState &box, int id) {
  PostMessageA(box.hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(box.hwnd, id));
}

LRESULT send_registered(HWND window, const char *name, WPARAM wparam, LPARAM lparam) {
  UINT message = RegisterWindowMessageA(name);
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(window, message, wparam, lparam, SMTO_ABORTIFHUNG, 5000, &result))
    return -1;
  return (LRESULT)result;
}

bool wait_hidden(HWND window, DWORD timeout_ms) {
  return poll(timeout_ms, [&] { return !IsWindow(window) || !IsWindowVisible(window); });
}

bool wait_visible(HWND window, DWORD timeout_ms) {
  return poll(timeout_ms, [&] { return IsWindow(window) && IsWindowVisible(window); });
}

bool save_window_picture(HWND window, const std::string &path) {
  RECT rect;
  if (!GetWindowRect(window, &rect)) return false;
  int width = rect.right - rect.left, height = rect.bottom - rect.top;
  HDC screen = GetDC(NULL);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFOHEADER info = {};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  DWORD row = ((DWORD)width * 3 + 3) & ~3u;
  std::vector<char> pixels(row * (DWORD)height);
  bool ok = GetDIBits(memory, bitmap, 0, (UINT)height, pixels.data(), (BITMAPINFO *)&info,
                      DIB_RGB_COLORS) == height;
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(NULL, screen);
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + (DWORD)pixels.size();
  FILE *out = ok ? fopen(path.c_str(), "wb") : NULL;
  if (out == NULL) return false;
  ok = fwrite(&file, sizeof file, 1, out) == 1 && fwrite(&info, sizeof info, 1, out) == 1 &&
       fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
  return fclose(out) == 0 && ok;
}

}  // namespace uidriver
