// winmain: the program's entry; runs the application object.
#include <windows.h>

#include "Winutils.h"
#include "framework.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Before any library is loaded by name: a downloaded launcher sits among
  // other downloads, any of which may carry the name of a system library.
  WINUTILS_limit_dll_search();
  fw::Application *app = fw::Application::current();
  return app != NULL ? app->run() : 1;
}
