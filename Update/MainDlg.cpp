// MainDlg: the launcher window, its layouts, painting and AutoPlay answer.
// The payload step and the clean-up are in MainDlg_payload.cpp; the button
// actions in files of their own.
#include "MainDlg.h"

#include <stdio.h>

#include "HtmlHelpDlg.h"
#include "Install.h"
#include "Patch.h"
#include "resource.h"
#include "Winutils.h"

#define AUTOPLAY_MESSAGE_NAME "QueryCancelAutoPlay"
#define INSERT_CD_TEXT "Please insert:\n\t\t Ironmeadow CD"
#define README_PAGE_NAME "index.htm"

// Room for the unpacked folder, a backslash and the readme page's name.
#define README_PATH_SIZE (MAX_PATH + 16)

// The window's own state: the id of the registered AutoPlay message, got by
// the window procedure itself (0 until registration succeeds).
static struct { UINT autoplay_message; } maindlg;

// Where each control goes, in placing order. Each is put on top of its
// siblings when placed, so the tab order becomes Exit, Readme, Install, Patch.
static const struct {
  int id;
  int x, y, width, height;
} control_places[] = {
    {IDC_MESSAGE, 15, 188, 151, 58}, {IDC_PATCH, 15, 188, 151, 27}, {IDC_INSTALL, 15, 220, 151, 27},
    {IDC_README, 15, 252, 151, 27},  {IDCANCEL, 15, 284, 151, 27},
};

// Writes the readme page's path in the unpacked folder temp_dir into out
// (README_PATH_SIZE bytes), cut to fit.
static void maindlg_readme_path(const char *temp_dir, char *out) {
  snprintf(out, README_PATH_SIZE, "%s\\%s", temp_dir, README_PAGE_NAME);
}

const fw::MessageEntry MainDlg::message_table_[] = {
    FW_ON_PAINT(MainDlg, on_paint),
    FW_ON_QUERYDRAGICON(MainDlg, on_query_drag_icon),
    FW_ON_COMMAND(IDC_INSTALL, MainDlg, on_install_game),
    FW_ON_COMMAND(IDC_PATCH, MainDlg, on_run_patch),
    FW_ON_COMMAND(IDC_README, MainDlg, on_readme_or_retry),
    FW_END_TABLE,
};

MainDlg::MainDlg(HWND parent)
    : fw::Dialog(IDD_MAIN, parent),
      icon(LoadIconA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDI_MAIN))),
      layout(LAYOUT_NORMAL),
      instance_mutex(NULL) {
  temp_dir[0] = '\0';
  install_dir[0] = '\0';
  background.load(IDB_BACKGROUND);
}

MainDlg::~MainDlg() {
  clean_up();
}

BOOL MainDlg::on_init_dialog() {
  if (!run_payload_step()) return TRUE;
  set_up_window();
  return TRUE;
}

// Icons, AutoPlay check, size, controls, normal layout, mutex.
void MainDlg::set_up_window() {
  fw::Dialog::on_init_dialog();
  SendMessageA(hwnd(), WM_SETICON, ICON_BIG, (LPARAM)icon);
  SendMessageA(hwnd(), WM_SETICON, ICON_SMALL, (LPARAM)icon);
  if (RegisterWindowMessageA(AUTOPLAY_MESSAGE_NAME) == 0)
    message_box("Failed to surpress Autorun, insert CD before pressing run");
  WINUTILS_set_window_dimensions(hwnd(), MAINDLG_CLIENT_WIDTH, MAINDLG_CLIENT_HEIGHT);
  place_controls();
  set_layout(LAYOUT_NORMAL);
  create_instance_mutex();
}

void MainDlg::place_controls() {
  for (const auto &place : control_places)
    place_item(place.id, place.x, place.y, place.width, place.height);
}

// Creates "Iron Meadow". A mutex that already existed is not ours to hold:
// its handle is closed again at once and instance_mutex stays null.
void MainDlg::create_instance_mutex() {
  SetLastError(0);
  HANDLE mutex = CreateMutexA(NULL, FALSE, MAINDLG_MUTEX_NAME);
  if (mutex != NULL && GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    mutex = NULL;
  }
  instance_mutex = mutex;
}

// Install or Patch by the registry, Readme by the unpacked page.
void MainDlg::set_normal_buttons() {
  char scratch[GAME_INSTALL_DIR_SIZE];
  bool installed = WINUTILS_get_registry_entry(WINUTILS_HKEY_LOCAL_MACHINE, GAME_REGISTRY_KEY,
                                               GAME_INSTALLED_VALUE, scratch) != 0;
  enable_item(IDC_INSTALL, !installed);
  enable_item(IDC_PATCH, installed);

  char readme[README_PATH_SIZE];
  maindlg_readme_path(temp_dir, readme);
  enable_item(IDC_README, WINUTILS_file_exists(readme) > 0);
}

void MainDlg::set_layout(int type) {
  set_item_text(IDC_INSTALL, "Install &Game");
  set_item_text(IDC_PATCH, "Run &Patch");
  show_item(IDC_README, true);
  show_item(IDCANCEL, true);
  if (type == LAYOUT_NORMAL) {
    show_item(IDC_INSTALL, true);
    show_item(IDC_PATCH, true);
    show_item(IDC_MESSAGE, false);
    set_normal_buttons();
    set_item_text(IDC_README, "&Readme");
    set_item_text(IDCANCEL, "E&xit");
    layout = LAYOUT_NORMAL;
  } else if (type == LAYOUT_INSERT_CD) {
    show_item(IDC_INSTALL, false);
    show_item(IDC_PATCH, false);
    enable_item(IDC_README, true);
    set_item_text(IDC_README, "&Retry");
    set_item_text(IDCANCEL, "&Cancel");
    show_item(IDC_MESSAGE, true);
    set_item_text(IDC_MESSAGE, INSERT_CD_TEXT);
    layout = LAYOUT_INSERT_CD;
  } else {
    message_box("Invalid layout type");
  }
}

// Escape, the close box and the Exit / Cancel button.
void MainDlg::on_cancel() {
  if (layout == LAYOUT_NORMAL)
    end_dialog(IDCANCEL);
  else
    set_layout(LAYOUT_NORMAL);
}

// Answers the shell's AutoPlay query with 1 (cancel AutoPlay).
bool MainDlg::window_proc(UINT message, WPARAM wparam, LPARAM lparam, LRESULT *result) {
  if (maindlg.autoplay_message == 0)
    maindlg.autoplay_message = RegisterWindowMessageA(AUTOPLAY_MESSAGE_NAME);
  if (maindlg.autoplay_message != 0 && message == maindlg.autoplay_message) {
    *result = 1;
    return true;
  }
  return fw::Dialog::window_proc(message, wparam, lparam, result);
}

// The icon centred while minimized, otherwise the background picture.
void MainDlg::on_paint() {
  fw::PaintDC paint(hwnd());
  RECT client;
  GetClientRect(hwnd(), &client);
  if (IsIconic(hwnd())) {
    SendMessageA(hwnd(), WM_ICONERASEBKGND, (WPARAM)paint.dc(), 0);
    int x = (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(paint.dc(), x, y, icon);
    return;
  }
  fw::MemoryDC memory(paint.dc());
  HGDIOBJ previous = SelectObject(memory.dc(), background.handle());
  BitBlt(paint.dc(), 0, 0, client.right, client.bottom, memory.dc(), 0, 0, SRCCOPY);
  SelectObject(memory.dc(), previous);
  default_window_proc(WM_PAINT, 0, 0);
}

HICON MainDlg::on_query_drag_icon() {
  return icon;
}

// What the actions need of this window.
ACTION_CONTEXT MainDlg::action_context() {
  return ACTION_CONTEXT{hwnd(), temp_dir, install_dir, &instance_mutex,
                        [this](int type) { set_layout(type); }};
}

// Install: when no drive holds the CD, ask for it.
void MainDlg::on_install_game() {
  ACTION_CONTEXT window = action_context();
  if (!find_cd_and_install(window)) set_layout(LAYOUT_INSERT_CD);
}

// Run Patch: the check, and the patch program run with the window hidden.
void MainDlg::on_run_patch() {
  ACTION_CONTEXT window = action_context();
  run_patch(window);
}

// LAYOUT_NORMAL (Readme): the readme page index.htm of the unpacked folder in
// the readme dialog, run modally; the launcher stays as it was.
// LAYOUT_INSERT_CD (Retry): look for the CD again; when still none is found
// nothing visible happens.
void MainDlg::on_readme_or_retry() {
  if (layout == LAYOUT_NORMAL) {
    HtmlHelpDlg readme(hwnd());
    char page[README_PATH_SIZE];
    maindlg_readme_path(temp_dir, page);
    readme.set_url(page);
    readme.do_modal();
    return;
  }
  if (layout == LAYOUT_INSERT_CD) {
    ACTION_CONTEXT window = action_context();
    find_cd_and_install(window);
  }
}
