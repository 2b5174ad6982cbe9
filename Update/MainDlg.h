// MainDlg: the launcher window. Background picture, four buttons and a hidden
// message text in two layouts (normal: Install / Patch / Readme / Exit;
// insert-CD: the message, Retry / Cancel). Holds what the launcher's actions
// share: the unpacked folder, the layout, the instance mutex, the install
// folder buffer; the actions get them through an ACTION_CONTEXT record.
#ifndef UPDATE_MAINDLG_H
#define UPDATE_MAINDLG_H

#include <stdint.h>

#include "ActionContext.h"
#include "framework.h"

#define MAINDLG_CLIENT_WIDTH 180
#define MAINDLG_CLIENT_HEIGHT 324
// Named mutex marking the launcher as running.
#define MAINDLG_MUTEX_NAME "Iron Meadow"

class MainDlg : public fw::Dialog {
 public:
  // Loads the icon and the background; nothing is shown yet.
  explicit MainDlg(HWND parent = NULL);
  // Deletes what was unpacked and lets the mutex go; see clean_up().
  ~MainDlg() override;

  // Shows the buttons of layout LAYOUT_NORMAL or LAYOUT_INSERT_CD. In the
  // normal layout Install / Patch follow the registry and Readme needs a
  // non-empty index.htm in temp_dir. Any other type shows "Invalid layout
  // type" and leaves `layout` as it was.
  void set_layout(int type);

  HICON icon;                               // icon 128
  char temp_dir[MAX_PATH];                  // unpacked folder; "" = nothing unpacked
  uint8_t layout;                           // LAYOUT_NORMAL or LAYOUT_INSERT_CD
  HANDLE instance_mutex;                    // "Iron Meadow" when we created it, else null
  fw::Bitmap background;                    // bitmap 140
  char install_dir[GAME_INSTALL_DIR_SIZE];  // "InstallDir" read by the patch check

 protected:
  BOOL on_init_dialog() override;
  void on_cancel() override;
  bool window_proc(UINT message, WPARAM wparam, LPARAM lparam, LRESULT *result) override;
  const fw::MessageEntry *message_table() const override { return message_table_; }

  // The payload step (MainDlg_payload.cpp), run first by on_init_dialog:
  // answers true when the window may open; otherwise the dialog has been
  // ended. Virtual so that in-process tests can run the window without it.
  virtual bool run_payload_step();

 private:
  void on_paint();
  HICON on_query_drag_icon();
  void on_install_game();
  void on_run_patch();
  void on_readme_or_retry();
  // The record through which Install and Patch see this window.
  ACTION_CONTEXT action_context();

  // Clean-up of what the payload step unpacked (MainDlg_payload.cpp).
  void clean_up();

  void set_up_window();
  void place_controls();
  void create_instance_mutex();
  void set_normal_buttons();

  static const fw::MessageEntry message_table_[];
};

#endif
