// winmain: the program's entry; runs the application object.
#include <windows.h>

#include "framework.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  fw::Application *app = fw::Application::current();
  return app != NULL ? app->run() : 1;
}
