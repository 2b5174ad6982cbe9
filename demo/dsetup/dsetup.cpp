// Stand-in for the set-up program's helper libraries (dsetup.dll and
// dsetup32.dll): the set-up program of the demo disc does not load them; they
// travel in the payload and are copied at installation like the real ones.
#include <windows.h>

extern "C" __declspec(dllexport) int DemoSetupVersion(void) {
  return 0x0100;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
  return TRUE;
}
