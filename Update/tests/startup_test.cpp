// The launcher's module start-up and shutdown sequence.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "memory.h"
#include "startup.h"
#include "testutil.h"
#include "utilvbig.h"
#include "vfilbig.h"
#include "uidriver.h"

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

// The whole life of the launcher's modules around one unpacking, as the
// window runs it: nothing tracked is left when memory goes down, so the leak
// report stays silent.
TEST(Startup, UnpackingAndCleanUpLeaveNoTrackedBlock) {
  fnal_test::TempWorkDir cd;
  ASSERT_TRUE(startup_modules());
  VBIG_MEMBER members[] = {{"INDEX.HTM", VBIG_ENTRY_FILE, 0, -1, "<p>hi</p>", 9},
                           {"data", VBIG_ENTRY_DIRECTORY, 0, -1, NULL, 0},
                           {"a.dat", VBIG_ENTRY_FILE, 0, 1, "abc", 3}};
  const uint8_t date[4] = {4, 4, 0xD2, 0x07};
  int32_t length = 0;
  unsigned char *archive = VFILBIG_build_archive(members, 3, "test", date, &length);
  ASSERT_NE(nullptr, archive);
  char temp_dir[MAX_PATH] = "";
  EXPECT_EQ(1, UTILVBIG_extract_to_temp_dir_from_mem_with_size(archive, length, temp_dir));
  free(archive);
  EXPECT_EQ("abc", fnal_test::read_file(std::string(temp_dir) + "\\data\\a.dat"));
  UTILVBIG_delete_extracted_files();
  UTILVBIG_delete_extracted_dirs();
  EXPECT_TRUE(RemoveDirectoryA(temp_dir)) << "only the empty unpacking folder is left";
  EXPECT_EQ(0, shutdown_modules()) << "tracked blocks leaked";
}

// A module that fails to come up is named in a message box without owner
// captioned "Error", and start-up reports the failure.
TEST(Startup, AFailingModuleIsReportedCaptionedError) {
  ASSERT_TRUE(MEMORY_initialise());  // a second initialisation fails
  Start start = {true};
  HANDLE thread = CreateThread(NULL, 0, start_modules, &start, 0, NULL);
  HWND box = NULL;
  uidriver::wait_until([&] {
    for (HWND hwnd : uidriver::dialogs(GetCurrentProcessId()))
      if (uidriver::window_text(hwnd) == "Error") box = hwnd;
    return box != NULL;
  });
  ASSERT_NE(box, nullptr) << "no message box captioned \"Error\"";
  EXPECT_EQ(nullptr, GetWindow(box, GW_OWNER));
  EXPECT_EQ("MEMORY failed", uidriver::message_text(box));
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  WaitForSingleObject(thread, 10000);
  CloseHandle(thread);
  EXPECT_FALSE(start.ok);
  MEMORY_deinitialise();
}

}  // namespace
