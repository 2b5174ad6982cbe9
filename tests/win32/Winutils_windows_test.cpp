// The Windows utilities against the real platform: the registry, the message
// queue, a window on the test display and the single-instance mutex.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <shlwapi.h>
#include <windows.h>

#include "Winutils.h"
#include "testutil.h"
#include "win32util.h"

namespace {

std::string test_key_name() {
  return "Software\\FnalTest\\Winutils" + std::to_string(GetCurrentProcessId());
}

// A test key under HKEY_CURRENT_USER (and one of the same path under
// HKEY_LOCAL_MACHINE), deleted again afterwards.
class WinutilsRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, key_.c_str(), &user_));
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, key_.c_str(), &machine_));
  }
  void TearDown() override {
    RegCloseKey(user_);
    RegCloseKey(machine_);
    SHDeleteKeyA(HKEY_CURRENT_USER, key_.c_str());
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, key_.c_str());
  }
  void set(HKEY key, const char *name, DWORD type, const void *data, DWORD size) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, (const BYTE *)data, size)) << name;
  }
  void set_text(HKEY key, const char *name, const std::string &text) {
    set(key, name, REG_SZ, text.c_str(), (DWORD)text.size() + 1);
  }
  void set_dword(const char *name, DWORD value) {
    set(user_, name, REG_DWORD, &value, sizeof value);
  }

  std::string key_ = test_key_name();
  HKEY user_ = NULL;
  HKEY machine_ = NULL;
};

// A buffer of the registry size with a watched area behind it.
struct RegistryOut {
  char bytes[WINUTILS_REGISTRY_TEXT_SIZE + 64];
  RegistryOut() { memset(bytes, '#', sizeof bytes); }
  bool untouched() const {
    for (char c : bytes)
      if (c != '#') return false;
    return true;
  }
  bool tail_untouched() const {
    for (size_t i = WINUTILS_REGISTRY_TEXT_SIZE; i < sizeof bytes; i++)
      if (bytes[i] != '#') return false;
    return true;
  }
};

}  // namespace

TEST_F(WinutilsRegistry, ReadsTextAndNumbersAndRefusesOtherTypes) {
  set_dword("Dword300", 300);
  set_dword("DwordMax", 0xFFFFFFFFu);
  set_text(user_, "Text", "C:\\Games\\Iron Meadow");
  set_text(user_, "Empty", "");
  set(user_, "Unterminated", REG_SZ, "hello", 5);
  set(user_, "Expand", REG_EXPAND_SZ, "%TEMP%\\x", 9);
  const unsigned char binary[] = {1, 2, 3, 4};
  set(user_, "Binary", REG_BINARY, binary, sizeof binary);
  set(user_, "ShortDword", REG_DWORD, "\x01\x02", 2);
  std::string long_text(600, 'L');
  set_text(user_, "Long", long_text);
  set(user_, "FullNoTerminator", REG_SZ, std::string(512, 'F').c_str(), 512);
  set_text(user_, "Fits", std::string(511, 'G'));

  struct Case {
    const char *value;
    unsigned char ok;
    std::string text;
  } cases[] = {
      {"Dword300", 1, "300"},
      {"DwordMax", 1, "-1"},
      {"Text", 1, "C:\\Games\\Iron Meadow"},
      {"Empty", 1, ""},
      {"Unterminated", 1, "hello"},
      {"Fits", 1, std::string(511, 'G')},
      {"Expand", 0, ""},
      {"Binary", 0, ""},
      {"ShortDword", 0, ""},
      {"Long", 0, ""},
      {"FullNoTerminator", 0, ""},
      {"Missing", 0, ""},
  };
  for (const Case &c : cases) {
    RegistryOut out;
    EXPECT_EQ(c.ok, WINUTILS_get_registry_entry(1, key_.c_str(), c.value, out.bytes)) << c.value;
    EXPECT_TRUE(out.tail_untouched()) << c.value << ": wrote past 512 bytes";
    if (c.ok)
      EXPECT_EQ(c.text, std::string(out.bytes)) << c.value;
    else
      EXPECT_TRUE(out.untouched()) << c.value << ": a failed read changed the buffer";
  }
}

TEST_F(WinutilsRegistry, RootIndexesPickTheirKeys) {
  set_text(user_, "Where", "user");
  set_text(machine_, "Where", "machine");
  char out[WINUTILS_REGISTRY_TEXT_SIZE];
  ASSERT_EQ(1, WINUTILS_get_registry_entry(WINUTILS_HKEY_CURRENT_USER, key_.c_str(), "Where", out));
  EXPECT_STREQ("user", out);
  ASSERT_EQ(1,
            WINUTILS_get_registry_entry(WINUTILS_HKEY_LOCAL_MACHINE, key_.c_str(), "Where", out));
  EXPECT_STREQ("machine", out);
  // HKEY_CLASSES_ROOT shows HKEY_LOCAL_MACHINE\Software\Classes.
  std::string classes = "Software\\Classes\\FnalTest" + std::to_string(GetCurrentProcessId());
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, classes.c_str(), &key));
  set_text(key, "Where", "classes");
  RegCloseKey(key);
  unsigned char ok = WINUTILS_get_registry_entry(
      WINUTILS_HKEY_CLASSES_ROOT, classes.c_str() + strlen("Software\\Classes\\"), "Where", out);
  SHDeleteKeyA(HKEY_LOCAL_MACHINE, classes.c_str());
  ASSERT_EQ(1, ok);
  EXPECT_STREQ("classes", out);
}

TEST_F(WinutilsRegistry, MissingKeysAndBadIndexesGiveZero) {
  set_text(user_, "Where", "user");
  RegistryOut out;
  std::string missing = key_ + "\\NoSuchKey";
  EXPECT_EQ(0, WINUTILS_get_registry_entry(1, missing.c_str(), "Where", out.bytes));
  for (int32_t index : {-1, 6, 100})
    EXPECT_EQ(0, WINUTILS_get_registry_entry(index, key_.c_str(), "Where", out.bytes)) << index;
  EXPECT_TRUE(out.untouched());
  EXPECT_EQ(0, WINUTILS_get_registry_entry(1, key_.c_str(), "Where", nullptr));
}

// ---------------------------------------------------------------------------
// Message queue

namespace {

struct Received {
  HWND window = NULL;
  std::vector<UINT> messages;
  std::string chars;
};
Received received;
const UINT kTestMessage = WM_APP + 7;

LRESULT CALLBACK recording_procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == kTestMessage || message == WM_KEYDOWN) {
    received.window = window;
    received.messages.push_back(message);
    return 0;
  }
  if (message == WM_CHAR) {
    received.chars += (char)w;
    return 0;
  }
  return DefWindowProcA(window, message, w, l);
}

HWND create_recording_window() {
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = recording_procedure;
  window_class.hInstance = GetModuleHandleA(NULL);
  window_class.lpszClassName = "FnalWinutilsRecorder";
  RegisterClassA(&window_class);
  return CreateWindowA("FnalWinutilsRecorder", "", 0, 0, 0, 10, 10, HWND_MESSAGE, NULL,
                       GetModuleHandleA(NULL), NULL);
}

bool quit_waiting() {
  MSG message;
  return PeekMessageA(&message, NULL, WM_QUIT, WM_QUIT, PM_NOREMOVE) != 0;
}

DWORD WINAPI drain_empty_queue(LPVOID) {
  WINUTILS_process_messages();
  return 0;
}

}  // namespace

TEST(WinutilsProcessMessages, DispatchesAndTranslatesEveryWaitingMessage) {
  HWND window = create_recording_window();
  ASSERT_NE(nullptr, window);
  received = Received();
  for (int i = 0; i < 3; i++) PostMessageA(window, kTestMessage, i, 0);
  PostMessageA(window, WM_KEYDOWN, 'A', 1);
  WINUTILS_process_messages();
  EXPECT_EQ(window, received.window);
  EXPECT_EQ((std::vector<UINT>{kTestMessage, kTestMessage, kTestMessage, WM_KEYDOWN}),
            received.messages);
  EXPECT_EQ("a", received.chars) << "the key message was not translated";
  MSG left;
  EXPECT_FALSE(PeekMessageA(&left, NULL, 0, 0, PM_NOREMOVE)) << "messages left in the queue";
  DestroyWindow(window);
}

TEST(WinutilsProcessMessages, QuitEndsTheDrainingAndIsConsumed) {
  HWND window = create_recording_window();
  ASSERT_NE(nullptr, window);
  received = Received();
  PostMessageA(window, kTestMessage, 1, 0);
  PostThreadMessageA(GetCurrentThreadId(), WM_QUIT, 0, 0);
  PostMessageA(window, kTestMessage, 2, 0);
  WINUTILS_process_messages();
  EXPECT_EQ(1u, received.messages.size()) << "draining went on past the quit message";
  EXPECT_FALSE(quit_waiting()) << "the quit message is still queued";
  WINUTILS_process_messages();
  EXPECT_EQ(2u, received.messages.size());
  DestroyWindow(window);
}

TEST(WinutilsProcessMessages, ReturnsAtOnceOnAnEmptyQueue) {
  // On a thread of its own, so that a call that waits cannot hang the test.
  HANDLE thread = CreateThread(NULL, 0, drain_empty_queue, NULL, 0, NULL);
  ASSERT_NE(nullptr, thread);
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000)) << "blocked on an empty queue";
  CloseHandle(thread);
}

// ---------------------------------------------------------------------------
// Window sizing

namespace {

SIZE client_size(HWND window) {
  RECT r;
  GetClientRect(window, &r);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

RECT window_rect(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  return r;
}

bool same_rect(const RECT &a, const RECT &b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

}  // namespace

TEST(WinutilsSetWindowDimensions, ClientAreaGetsTheAskedSizeInPlace) {
  struct Style {
    const char *name;
    DWORD style;
  } styles[] = {
      {"overlapped", WS_OVERLAPPEDWINDOW},
      {"dialog frame", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_DLGFRAME},
      {"thin border", WS_POPUP | WS_BORDER},
  };
  const SIZE sizes[] = {{180, 324}, {400, 250}, {640, 480}};
  for (const Style &s : styles) {
    HWND window = CreateWindowA("STATIC", "Iron Meadow", s.style, 50, 60, 300, 200, NULL, NULL,
                                GetModuleHandleA(NULL), NULL);
    ASSERT_NE(nullptr, window) << s.name;
    ShowWindow(window, SW_SHOWNOACTIVATE);
    for (const SIZE &size : sizes) {
      RECT before = window_rect(window);
      EXPECT_EQ(1, WINUTILS_set_window_dimensions(window, size.cx, size.cy)) << s.name;
      SIZE client = client_size(window);
      EXPECT_EQ(size.cx, client.cx) << s.name;
      EXPECT_EQ(size.cy, client.cy) << s.name;
      RECT after = window_rect(window);
      EXPECT_EQ(before.left, after.left) << s.name << ": moved";
      EXPECT_EQ(before.top, after.top) << s.name << ": moved";
    }
    DestroyWindow(window);
  }
}

TEST(WinutilsSetWindowDimensions, ChildWindowStaysWhereItIsInItsParent) {
  HWND parent = CreateWindowA("STATIC", "parent", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 500,
                              400, NULL, NULL, GetModuleHandleA(NULL), NULL);
  ASSERT_NE(nullptr, parent);
  HWND child = CreateWindowA("STATIC", "child", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 20, 50, 50,
                             parent, NULL, GetModuleHandleA(NULL), NULL);
  ASSERT_NE(nullptr, child);
  RECT before = window_rect(child);
  EXPECT_EQ(1, WINUTILS_set_window_dimensions(child, 120, 90));
  RECT after = window_rect(child);
  EXPECT_EQ(before.left, after.left);
  EXPECT_EQ(before.top, after.top);
  EXPECT_EQ(120, client_size(child).cx);
  EXPECT_EQ(90, client_size(child).cy);
  DestroyWindow(parent);
}

TEST(WinutilsSetWindowDimensions, SizesBelowOneLeaveTheWindowAlone) {
  HWND window = CreateWindowA("STATIC", "Iron Meadow", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 60,
                              300, 200, NULL, NULL, GetModuleHandleA(NULL), NULL);
  ASSERT_NE(nullptr, window);
  RECT before = window_rect(window);
  const SIZE bad[] = {{0, 324}, {180, 0}, {-5, 10}, {10, -1}, {0, 0}};
  for (const SIZE &size : bad) {
    EXPECT_EQ(0, WINUTILS_set_window_dimensions(window, size.cx, size.cy))
        << size.cx << "x" << size.cy;
    EXPECT_TRUE(same_rect(before, window_rect(window))) << size.cx << "x" << size.cy;
  }
  DestroyWindow(window);
  EXPECT_EQ(0, WINUTILS_set_window_dimensions(NULL, 180, 324));
  EXPECT_EQ(0, WINUTILS_set_window_dimensions(window, 180, 324)) << "destroyed window";
}

// ---------------------------------------------------------------------------
// Single instance

TEST(WinutilsIsAppAlreadyRunning, SecondStartUnderTheSamePathFindsTheFirst) {
  fnal_test::TempWorkDir dir;
  std::string probe = fnal_test::bin_dir() + "\\fnal_instance_probe.exe";
  std::string first = dir.path() + "\\first\\Update.exe";
  std::string other = dir.path() + "\\other\\Update.exe";
  CreateDirectoryA((dir.path() + "\\first").c_str(), NULL);
  CreateDirectoryA((dir.path() + "\\other").c_str(), NULL);
  ASSERT_TRUE(CopyFileA(probe.c_str(), first.c_str(), FALSE)) << probe;
  ASSERT_TRUE(CopyFileA(probe.c_str(), other.c_str(), FALSE));

  std::string tag = std::to_string(GetCurrentProcessId());
  HANDLE ready = CreateEventA(NULL, TRUE, FALSE, ("FnalProbeReady" + tag).c_str());
  HANDLE release = CreateEventA(NULL, TRUE, FALSE, ("FnalProbeRelease" + tag).c_str());
  HANDLE holder = fnal_test::start_process("\"" + first + "\" hold FnalProbeReady" + tag +
                                           " FnalProbeRelease" + tag);
  ASSERT_NE(nullptr, holder);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 30000)) << "the first instance never got up";

  struct Case {
    std::string command_line;
    int expected;
  } cases[] = {
      {"\"" + first + "\"", 1},
      {first + " -x", 1},  // the same path without quotes
      {"\"" + other + "\"", 0},
  };
  for (const Case &c : cases)
    EXPECT_EQ(c.expected, fnal_test::run_process(c.command_line)) << c.command_line;

  SetEvent(release);
  DWORD holder_code = (DWORD)-1;
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(holder, 30000));
  GetExitCodeProcess(holder, &holder_code);
  EXPECT_EQ(0u, holder_code) << "the first instance found another one";
  EXPECT_EQ(0, fnal_test::run_process("\"" + first + "\"")) << "the mutex outlived its process";
  CloseHandle(holder);
  CloseHandle(ready);
  CloseHandle(release);
}

TEST(WinutilsIsAppAlreadyRunning, KeepsItsMutexAndTheCommandLine) {
  std::string before = GetCommandLineA();
  EXPECT_EQ(0, WINUTILS_is_app_already_running());
  EXPECT_EQ(1, WINUTILS_is_app_already_running()) << "the mutex was not kept open";
  EXPECT_EQ(before, std::string(GetCommandLineA()));
}

// ---------------------------------------------------------------------------
// Library loading

// Copies the marker library (which appends its path to the file named in
// FNAL_PLANTED_MARKER when it is loaded) to folder\name.
void plant_library(const std::string &folder, const std::string &name) {
  std::string source = fnal_test::bin_dir() + "\\fnal_planted.dll";
  ASSERT_TRUE(CopyFileA(source.c_str(), (folder + "\\" + name).c_str(), FALSE)) << source;
}

TEST(WinutilsLimitDllSearch, LibrariesBesideTheProgramOrInTheWorkingFolderAreNotFoundByName) {
  fnal_test::TempWorkDir dir;  // the probe's working folder
  std::string app = dir.path() + "\\app";
  ASSERT_TRUE(CreateDirectoryA(app.c_str(), NULL));
  std::string probe = app + "\\probe.exe";
  std::string source = fnal_test::bin_dir() + "\\fnal_library_probe.exe";
  ASSERT_TRUE(CopyFileA(source.c_str(), probe.c_str(), FALSE)) << source;
  plant_library(app, "beside.dll");
  plant_library(dir.path(), "working.dll");
  std::string marker = dir.path() + "\\marker.log";
  fnal_test::ScopedEnv marker_env("FNAL_PLANTED_MARKER", marker);

  struct Case {
    const char *mode;
    const char *name;
    int expected;  // 1: loaded; 2: search limited, not loaded
  } cases[] = {
      {"plain", "beside.dll", 1},
      {"plain", "working.dll", 1},
      {"limit", "beside.dll", 2},
      {"limit", "working.dll", 2},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.mode) + " " + c.name);
    DeleteFileA(marker.c_str());
    EXPECT_EQ(c.expected, fnal_test::run_process("\"" + probe + "\" " + c.mode + " " + c.name));
    EXPECT_EQ(c.expected == 1, !fnal_test::read_file(marker).empty())
        << "marker: " << fnal_test::read_file(marker);
  }
}

TEST(WinutilsLoadSystemLibrary, LoadsFromTheSystemFolderOnly) {
  fnal_test::TempWorkDir dir;
  std::string marker = dir.path() + "\\marker.log";
  fnal_test::ScopedEnv marker_env("FNAL_PLANTED_MARKER", marker);
  plant_library(dir.path(), "fnal_planted.dll");
  EXPECT_EQ(nullptr, WINUTILS_load_system_library("fnal_planted.dll"))
      << "found outside the system folder";
  EXPECT_EQ("", fnal_test::read_file(marker));

  HMODULE shfolder = WINUTILS_load_system_library("SHFolder.dll");
  ASSERT_NE(nullptr, shfolder);
  char system[MAX_PATH], loaded[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryA(system, sizeof system), 0u);
  ASSERT_GT(GetModuleFileNameA(shfolder, loaded, sizeof loaded), 0u);
  EXPECT_EQ(0, lstrcmpiA((std::string(system) + "\\shfolder.dll").c_str(), loaded)) << loaded;
  EXPECT_NE(nullptr, GetProcAddress(shfolder, "SHGetFolderPathA"));
  FreeLibrary(shfolder);

  EXPECT_EQ(nullptr, WINUTILS_load_system_library(std::string(MAX_PATH, 'x').c_str()));
  EXPECT_EQ(nullptr, WINUTILS_load_system_library(NULL));
}
