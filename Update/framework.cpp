// framework: application object, modal dialogs, message routing, control,
// message box and paint helpers over plain Win32.
#include "framework.h"

#include <commctrl.h>
#include <ole2.h>
#include <string.h>

#include "Winutils.h"

namespace fw {

// ActiveX controls in dialogs are hosted by the system's control-hosting
// window class, in a library loaded at run time from the system folder (a
// library of that name beside the program is never taken).
#define HOST_LIBRARY "atl.dll"

typedef BOOL(WINAPI *HostInitFn)(void);
typedef HRESULT(WINAPI *HostGetControlFn)(HWND, IUnknown **);

// The framework's state: the one application object and its switches.
static struct {
  Application *app;
  Dialog *main_window;
  char app_name[MAX_PATH];
  bool app_name_ready;
  bool ole_initialised;
  HMODULE host_library;  // atl.dll while hosting is on, else null
  HostGetControlFn host_get_control;
} framework;

// ---------------------------------------------------------------- application

Application::Application() {
  framework.app = this;
}

Application::~Application() {
  if (framework.app == this) framework.app = NULL;
}

Application *Application::current() {
  return framework.app;
}

void Application::set_main_window(Dialog *dialog) {
  framework.main_window = dialog;
}

Dialog *Application::main_window() const {
  return framework.main_window;
}

// Loads the hosting library and registers its window class. On failure
// nothing stays loaded.
static bool load_control_host() {
  HMODULE library = WINUTILS_load_system_library(HOST_LIBRARY);
  if (library == NULL) return false;
  HostInitFn init = (HostInitFn)(void (*)(void))GetProcAddress(library, "AtlAxWinInit");
  HostGetControlFn get_control =
      (HostGetControlFn)(void (*)(void))GetProcAddress(library, "AtlAxGetControl");
  if (init == NULL || get_control == NULL || !init()) {
    FreeLibrary(library);
    return false;
  }
  framework.host_library = library;
  framework.host_get_control = get_control;
  return true;
}

// Unregisters the hosting window class (registered for the program or for
// the library, depending on the system) and unloads the library. A class
// that cannot be unregistered keeps its library loaded, so that no window
// procedure is left pointing into unloaded code.
static void unload_control_host() {
  if (framework.host_library == NULL) return;
  bool unregistered = UnregisterClassA(ACTIVEX_HOST_CLASS, GetModuleHandleA(NULL)) ||
                      UnregisterClassA(ACTIVEX_HOST_CLASS, framework.host_library);
  if (unregistered) FreeLibrary(framework.host_library);
  framework.host_library = NULL;
  framework.host_get_control = NULL;
}

bool Application::enable_activex_hosting() {
  if (!framework.ole_initialised) framework.ole_initialised = SUCCEEDED(OleInitialize(NULL));
  if (framework.ole_initialised && framework.host_library == NULL) load_control_host();
  return activex_hosting_enabled();
}

void Application::enable_3d_controls() {
  INITCOMMONCONTROLSEX controls;
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_STANDARD_CLASSES;
  InitCommonControlsEx(&controls);  // without them the classic look stays: nothing to report
}

// Pumps messages until WM_QUIT; returns its exit code.
static int message_loop() {
  MSG msg;
  while (GetMessageA(&msg, NULL, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return msg.message == WM_QUIT ? (int)msg.wParam : 0;
}

int Application::run() {
  UINT mode = SetErrorMode(0);
  SetErrorMode(mode | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  int code = init_instance() ? message_loop() : 0;
  framework.main_window = NULL;
  unload_control_host();
  if (framework.ole_initialised) {
    OleUninitialize();
    framework.ole_initialised = false;
  }
  return code;
}

const char *app_name() {
  if (!framework.app_name_ready) {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof(path));
    if (length == 0 || length >= sizeof(path)) path[0] = '\0';
    const char *base = path;
    for (const char *p = path; *p; p++)
      if (*p == '\\' || *p == '/' || *p == ':') base = p + 1;
    lstrcpynA(framework.app_name, base, sizeof(framework.app_name));
    char *dot = strrchr(framework.app_name, '.');
    if (dot != NULL && dot != framework.app_name) *dot = '\0';
    framework.app_name_ready = true;
  }
  return framework.app_name;
}

bool activex_hosting_enabled() {
  return framework.ole_initialised && framework.host_library != NULL;
}

HRESULT hosted_control(HWND host, IUnknown **control) {
  if (control == NULL) return E_POINTER;
  *control = NULL;
  if (host == NULL || framework.host_get_control == NULL) return E_FAIL;
  return framework.host_get_control(host, control);
}

int message_box(HWND owner, const char *text, const char *caption, UINT type) {
  return MessageBoxA(owner, text, caption != NULL ? caption : app_name(), type);
}

// --------------------------------------------------------------- data exchange

bool DataExchange::bind(int id, Control &wrapper) {
  HWND control = dialog_.item(id);
  if (control == NULL) return false;
  if (wrapper.hwnd() != control) wrapper.attach(control);
  return true;
}

// ---------------------------------------------------------------------- dialog

Dialog::Dialog(int template_id, HWND parent)
    : template_id_(template_id), parent_(parent), hwnd_(NULL) {}

Dialog::~Dialog() {}

// Messages whose answer a dialog procedure returns itself; every other
// handled message answers through DWLP_MSGRESULT.
static bool answers_directly(UINT message) {
  switch (message) {
    case WM_INITDIALOG:
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
      return true;
    default:
      return false;
  }
}

// The dialog procedure of every framework dialog: finds the object (handed
// over with WM_INITDIALOG) and lets its window_proc answer.
INT_PTR CALLBACK dialog_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  Dialog *self;
  if (message == WM_INITDIALOG) {
    self = (Dialog *)lparam;
    SetWindowLongPtrA(hwnd, DWLP_USER, (LONG_PTR)self);
    self->hwnd_ = hwnd;
  } else {
    self = (Dialog *)GetWindowLongPtrA(hwnd, DWLP_USER);
  }
  if (self == NULL) return FALSE;  // messages before WM_INITDIALOG
  LRESULT result = 0;
  bool handled = self->window_proc(message, wparam, lparam, &result);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(hwnd, DWLP_USER, 0);
    self->hwnd_ = NULL;
  }
  if (!handled) return FALSE;
  if (answers_directly(message)) return (INT_PTR)result;
  SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
  return TRUE;
}

INT_PTR Dialog::do_modal() {
  return DialogBoxParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(template_id_), parent_,
                         dialog_proc, (LPARAM)this);
}

void Dialog::end_dialog(int code) {
  if (hwnd_ != NULL) EndDialog(hwnd_, code);
}

void Dialog::do_data_exchange(DataExchange &) {}

bool Dialog::update_data(bool saving) {
  DataExchange dx(*this, saving);
  do_data_exchange(dx);
  return true;
}

BOOL Dialog::on_init_dialog() {
  update_data(false);
  return TRUE;
}

void Dialog::on_ok() {
  if (update_data(true)) end_dialog(IDOK);
}

void Dialog::on_cancel() {
  end_dialog(IDCANCEL);
}

// Looks message up in the table; commands match by control id and only for
// clicks, menus and accelerators (notification codes 0 and 1).
bool Dialog::route_table(UINT message, WPARAM wparam, LRESULT *result) {
  const MessageEntry *entry = message_table();
  if (message == WM_COMMAND && HIWORD(wparam) > 1) return false;
  for (; entry != NULL && entry->handler != NULL; entry++) {
    if (entry->message != message) continue;
    if (message == WM_COMMAND && entry->control_id != LOWORD(wparam)) continue;
    *result = entry->handler(*this);
    return true;
  }
  return false;
}

bool Dialog::window_proc(UINT message, WPARAM wparam, LPARAM, LRESULT *result) {
  if (message == WM_INITDIALOG) {
    *result = on_init_dialog();
    return true;
  }
  if (route_table(message, wparam, result)) return true;
  if (message == WM_COMMAND && HIWORD(wparam) <= 1) {
    if (LOWORD(wparam) == IDOK) on_ok();
    if (LOWORD(wparam) == IDCANCEL) on_cancel();
    *result = 0;
    return LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL;
  }
  return false;
}

LRESULT Dialog::default_window_proc(UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcA(hwnd_, message, wparam, lparam);
}

HWND Dialog::item(int id) const {
  return hwnd_ != NULL ? GetDlgItem(hwnd_, id) : NULL;
}

void Dialog::set_item_text(int id, const char *text) {
  HWND control = item(id);
  if (control != NULL) SetWindowTextA(control, text);
}

void Dialog::show_item(int id, bool show) {
  HWND control = item(id);
  if (control != NULL) ShowWindow(control, show ? SW_SHOW : SW_HIDE);
}

void Dialog::enable_item(int id, bool enable) {
  HWND control = item(id);
  if (control != NULL) EnableWindow(control, enable ? TRUE : FALSE);
}

void Dialog::place_item(int id, int x, int y, int width, int height) {
  HWND control = item(id);
  if (control != NULL) SetWindowPos(control, HWND_TOP, x, y, width, height, SWP_NOACTIVATE);
}

int Dialog::message_box(const char *text, const char *caption, UINT type) {
  return fw::message_box(hwnd_, text, caption, type);
}

// ------------------------------------------------------------------- painting

PaintDC::PaintDC(HWND hwnd) : hwnd_(hwnd) {
  dc_ = BeginPaint(hwnd, &paint_);
}

PaintDC::~PaintDC() {
  EndPaint(hwnd_, &paint_);
}

MemoryDC::MemoryDC(HDC compatible_with) : dc_(CreateCompatibleDC(compatible_with)) {}

MemoryDC::~MemoryDC() {
  if (dc_ != NULL) DeleteDC(dc_);
}

Bitmap::~Bitmap() {
  if (handle_ != NULL) DeleteObject(handle_);
}

bool Bitmap::load(int id) {
  if (handle_ != NULL) DeleteObject(handle_);
  handle_ = (HBITMAP)LoadImageA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0,
                                LR_CREATEDIBSECTION);
  return handle_ != NULL;
}

}  // namespace fw
