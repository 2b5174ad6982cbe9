// demo_window: status window shared by the demo disc's stand-in programs.
#include "demo_window.h"

#include <commctrl.h>
#include <stdio.h>

enum { ID_LIST = 100, ID_PROGRESS = 101, ID_CLOSE = 102, TIMER_STEP = 1, TIMER_CLOSE = 2 };

static struct {
  HWND window;
  HWND list;
  HWND progress;
  const DEMO_STEP *steps;
  int step_count;
  int next_step;
  int failed;
} demo;

static void demo_note(const char *line) {
  SendMessageA(demo.list, LB_ADDSTRING, 0, (LPARAM)line);
  SendMessageA(demo.list, LB_SETTOPINDEX, (WPARAM)(SendMessageA(demo.list, LB_GETCOUNT, 0, 0) - 1),
               0);
}

static void demo_create_controls(HWND window) {
  HFONT font = (HFONT)GetStockObject(DEFAULT_GUI_FONT);
  demo.list = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", "",
                              WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, 10, 10,
                              380, 150, window, (HMENU)ID_LIST, NULL, NULL);
  demo.progress = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 10, 168, 380, 18,
                                  window, (HMENU)ID_PROGRESS, NULL, NULL);
  HWND close = CreateWindowExA(0, "BUTTON", "Close", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 310,
                               194, 80, 24, window, (HMENU)ID_CLOSE, NULL, NULL);
  SendMessageA(demo.list, WM_SETFONT, (WPARAM)font, 0);
  SendMessageA(close, WM_SETFONT, (WPARAM)font, 0);
  SendMessageA(demo.progress, PBM_SETRANGE, 0, MAKELPARAM(0, demo.step_count));
}

// Runs the next step on each tick; after the last one, closes a moment later.
static void demo_on_step_timer(HWND window) {
  if (demo.next_step >= demo.step_count || demo.failed) return;
  if (!demo.steps[demo.next_step](demo_note)) {
    demo.failed = 1;
    KillTimer(window, TIMER_STEP);
    demo_note("Stopped: the step above failed. Close this window.");
    return;
  }
  demo.next_step++;
  SendMessageA(demo.progress, PBM_SETPOS, (WPARAM)demo.next_step, 0);
  if (demo.next_step == demo.step_count) {
    KillTimer(window, TIMER_STEP);
    demo_note("Done.");
    SetTimer(window, TIMER_CLOSE, 1500, NULL);
  }
}

static LRESULT CALLBACK demo_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      demo_create_controls(window);
      return 0;
    case WM_TIMER:
      if (wparam == TIMER_STEP) demo_on_step_timer(window);
      if (wparam == TIMER_CLOSE) DestroyWindow(window);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wparam) == ID_CLOSE) DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

int DEMO_run_window(const char *title, const DEMO_STEP *steps, int step_count, int step_delay_ms) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  demo.steps = steps;
  demo.step_count = step_count;
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = demo_window_proc;
  window_class.hInstance = GetModuleHandleA(NULL);
  window_class.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
  window_class.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
  window_class.lpszClassName = "IronMeadowDemoWindow";
  RegisterClassA(&window_class);
  RECT frame = {0, 0, 400, 228};
  AdjustWindowRect(&frame, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, FALSE);
  demo.window = CreateWindowExA(0, window_class.lpszClassName, title,
                                WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, CW_USEDEFAULT,
                                CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                                NULL, NULL, window_class.hInstance, NULL);
  if (demo.window == NULL) return 1;
  SetTimer(demo.window, TIMER_STEP, (UINT)step_delay_ms, NULL);
  MSG message;
  while (GetMessageA(&message, NULL, 0, 0) > 0) {
    if (IsDialogMessageA(demo.window, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return demo.failed || demo.next_step < demo.step_count ? 1 : 0;
}

int DEMO_write_version_file(const char *folder, const char *version) {
  char path[MAX_PATH];
  if (snprintf(path, sizeof path, "%s\\kervins.cev", folder) >= (int)sizeof path) return 0;
  FILE *file = fopen(path, "w");
  if (file == NULL) return 0;
  fprintf(file,
          "# Iron Meadow installation record\n"
          "[install]\n"
          "version_number = %s;\n"
          "language = English;\n",
          version);
  return fclose(file) == 0;
}
