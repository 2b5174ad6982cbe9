// Second process for the library-search test: started as
// "probe plain|limit NAME", it limits the library search first when asked
// (WINUTILS_limit_dll_search), then loads NAME by its bare name. Its exit
// code tells what happened: 1 when NAME was loaded, plus 2 when the search
// was limited to the system folder.
#include <string.h>

#include <windows.h>

#include "Winutils.h"

int main(int argc, char **argv) {
  if (argc != 3) return 100;
  int limited = strcmp(argv[1], "limit") == 0 && WINUTILS_limit_dll_search() ? 2 : 0;
  return limited + (LoadLibraryA(argv[2]) != NULL ? 1 : 0);
}
