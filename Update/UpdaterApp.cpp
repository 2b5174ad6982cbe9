// UpdaterApp: the application object and its start-up hook.
#include "UpdaterApp.h"

#include "MainDlg.h"
#include "startup.h"

// The one application object, run by the program's entry.
static UpdaterApp updater_app;

bool UpdaterApp::init_instance() {
  enable_activex_hosting();  // the readme dialog hosts the WebBrowser control
  enable_3d_controls();
  if (!startup_modules()) return false;
  {
    MainDlg window;
    set_main_window(&window);
    window.do_modal();
    set_main_window(NULL);
  }  // destroying the window object deletes what was unpacked
  shutdown_modules();
  return false;
}
