// Second process for the single-instance test: asks
// WINUTILS_is_app_already_running once and exits with its answer. Started as
// "probe hold <ready event> <release event>" it signals the ready event after
// asking and keeps running (and holding its mutex) until the release event.
#include <string.h>

#include <windows.h>

#include "Winutils.h"

int main(int argc, char **argv) {
  unsigned char running = WINUTILS_is_app_already_running();
  if (argc == 4 && strcmp(argv[1], "hold") == 0) {
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, argv[3]);
    if (ready == NULL || release == NULL) return 3;
    SetEvent(ready);
    WaitForSingleObject(release, 60000);
  }
  return running;
}
