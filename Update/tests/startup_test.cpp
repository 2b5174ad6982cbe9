// The launcher's module start-up and shutdown sequence.
#include <windows.h>

#include <gtest/gtest.h>

#include "memory.h"
#include "startup.h"
#include "window_probe.h"

namespace {

struct Start {
  bool ok;
};

DWORD WINAPI start_modules(void *param) {
  ((Start *)param)->ok = startup_modules();
  return 0;
}

TEST(Startup, BringsMemoryUpAndDownAgain) {
  ASSERT_TRUE(startup_modules());
  void *block = MEMORY_allocate(NULL, 16, MEMORY_ZERO_FILL, "probe", "test", __LINE__);
  EXPECT_NE(nullptr, block) << "memory is not up after start-up";
  MEMORY_deallocate(&block, "test", __LINE__);
  shutdown_modules();
  EXPECT_EQ(0, MEMORY_deinitialise()) << "memory still up after shutdown";
}

// A module that fails to come up is named in a message box without owner
// captioned "Error", and start-up reports the failure.
TEST(Startup, AFailingModuleIsReportedCaptionedError) {
  ASSERT_TRUE(MEMORY_initialise());  // a second initialisation fails
  Start start = {true};
  HANDLE thread = CreateThread(NULL, 0, start_modules, &start, 0, NULL);
  HWND box = NULL;
  probe::wait_until([&] {
    for (HWND hwnd : probe::dialogs(GetCurrentProcessId()))
      if (probe::text(hwnd) == "Error") box = hwnd;
    return box != NULL;
  });
  ASSERT_NE(box, nullptr) << "no message box captioned \"Error\"";
  EXPECT_EQ(nullptr, GetWindow(box, GW_OWNER));
  EXPECT_EQ("MEMORY failed", probe::message_text(box));
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  WaitForSingleObject(thread, 10000);
  CloseHandle(thread);
  EXPECT_FALSE(start.ok);
  MEMORY_deinitialise();
}

}  // namespace
