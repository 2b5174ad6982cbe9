// End-to-end tests of Update.exe under Wine: the test starts the launcher as
// a separate process, finds its window and checks what a user would see and
// do: geometry, buttons and texts, the registry-driven layout, the AutoPlay
// answer, the mutex, the painted picture, and the ways to close it.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resource.h"
#include "demo_launcher.h"
#include "installed_mark.h"

namespace {

using Launcher = DemoLauncher;

class LauncherWindow : public ::testing::Test {
 protected:
  InstalledMark mark;  // no "InstallComplete" unless a test sets it
};

struct ExpectedControl {
  int id;
  const char *text;
  bool visible, enabled;
  RECT place;
};

void expect_controls(HWND window, const std::vector<ExpectedControl> &expected) {
  for (const ExpectedControl &want : expected) {
    uidriver::ControlState got = uidriver::control(window, want.id);
    SCOPED_TRACE("control " + std::to_string(want.id));
    EXPECT_EQ(want.text, got.text);
    EXPECT_EQ(want.visible, got.visible);
    EXPECT_EQ(want.enabled, got.enabled);
    EXPECT_EQ(want.place.left, got.rect.left);
    EXPECT_EQ(want.place.top, got.rect.top);
    EXPECT_EQ(want.place.right, got.rect.right);
    EXPECT_EQ(want.place.bottom, got.rect.bottom);
  }
}

TEST_F(LauncherWindow, OpensInTheNormalLayoutAtItsFixedSize) {
  Launcher launcher;
  HWND window = launcher.window();
  ASSERT_NE(window, nullptr) << "no window titled \"Patch\" appeared";

  RECT client;
  GetClientRect(window, &client);
  EXPECT_EQ(180, client.right);
  EXPECT_EQ(324, client.bottom);
  LONG style = GetWindowLongA(window, GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & (WS_THICKFRAME | WS_MAXIMIZEBOX)) << "the window must not be resizable";
  EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_APPWINDOW);

  // Not installed, the demo payload unpacked: Install and Readme on, Patch off.
  expect_controls(window, {
                              {IDC_MESSAGE, "", false, true, {15, 188, 166, 246}},
                              {IDC_PATCH, "Run &Patch", true, false, {15, 188, 166, 215}},
                              {IDC_INSTALL, "Install &Game", true, true, {15, 220, 166, 247}},
                              {IDC_README, "&Readme", true, true, {15, 252, 166, 279}},
                              {IDCANCEL, "E&xit", true, true, {15, 284, 166, 311}},
                          });
  // Placing order made the tab order Exit, Readme, Install, Patch.
  EXPECT_EQ((std::vector<int>{IDCANCEL, IDC_README, IDC_INSTALL, IDC_PATCH, IDC_MESSAGE}),
            uidriver::sibling_order(window));

  uidriver::click(window, IDCANCEL);
  EXPECT_EQ(0, launcher.exit_code());
}

// "InstallComplete" counts when it reads as text or as a 32-bit number,
// whatever its content; other types count as absent.
TEST_F(LauncherWindow, InstallCompleteChoosesBetweenInstallAndPatch) {
  struct Case {
    const char *name;
    DWORD type;  // REG_NONE: no value at all
    std::string bytes;
    bool installed;
  };
  const Case cases[] = {
      {"absent", REG_NONE, "", false},
      {"text", REG_SZ, std::string("yes\0", 4), true},
      {"empty text", REG_SZ, std::string("\0", 1), true},
      {"number 0", REG_DWORD, std::string(4, '\0'), true},
      {"expandable text", REG_EXPAND_SZ, std::string("%TEMP%\0", 7), false},
      {"binary", REG_BINARY, std::string("\1\2", 2), false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    mark.remove();
    if (c.type != REG_NONE) {
      ASSERT_TRUE(mark.set(c.type, c.bytes));
    }
    Launcher launcher;
    ASSERT_NE(launcher.window(), nullptr);
    EXPECT_EQ(!c.installed, uidriver::control(launcher.window(), IDC_INSTALL).enabled);
    EXPECT_EQ(c.installed, uidriver::control(launcher.window(), IDC_PATCH).enabled);
    uidriver::press_close_box(launcher.window());
    EXPECT_EQ(0, launcher.exit_code());
  }
}

TEST_F(LauncherWindow, AnswersTheAutoPlayQueryWithCancel) {
  Launcher launcher;
  HWND window = launcher.window();
  ASSERT_NE(window, nullptr);
  DWORD_PTR answer = 0;
  UINT autoplay = RegisterWindowMessageA("QueryCancelAutoPlay");
  ASSERT_NE(0u, autoplay);
  ASSERT_TRUE(SendMessageTimeoutA(window, autoplay, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer));
  EXPECT_EQ(1u, answer);
  // Other messages are not answered that way.
  answer = 7;
  ASSERT_TRUE(SendMessageTimeoutA(window, WM_APP + 7, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer));
  EXPECT_EQ(0u, answer);
  // The window still runs normally afterwards.
  EXPECT_TRUE(IsWindowVisible(window));
  uidriver::press_escape(window);
  EXPECT_EQ(0, launcher.exit_code());
}

// The Exit button, Escape and the close box each end the launcher.
TEST_F(LauncherWindow, ExitEscapeAndTheCloseBoxEndTheLauncher) {
  struct Way {
    const char *name;
    void (*act)(HWND);
  };
  const Way ways[] = {
      {"Exit button", [](HWND w) { uidriver::click(w, IDCANCEL); }},
      {"Escape", uidriver::press_escape},
      {"close box", uidriver::press_close_box},
  };
  for (const Way &way : ways) {
    SCOPED_TRACE(way.name);
    Launcher launcher;
    ASSERT_NE(launcher.window(), nullptr);
    way.act(launcher.window());
    EXPECT_EQ(0, launcher.exit_code());
    EXPECT_FALSE(IsWindow(launcher.window()));
  }
}

TEST_F(LauncherWindow, HoldsTheMutexIronMeadowWhileOpen) {
  {
    Launcher launcher;
    ASSERT_NE(launcher.window(), nullptr);
    HANDLE seen = OpenMutexA(SYNCHRONIZE, FALSE, "Iron Meadow");
    EXPECT_NE(seen, nullptr) << "the launcher should hold \"Iron Meadow\"";
    if (seen != NULL) CloseHandle(seen);
    uidriver::click(launcher.window(), IDCANCEL);
    EXPECT_EQ(0, launcher.exit_code());
  }
  EXPECT_EQ(nullptr, OpenMutexA(SYNCHRONIZE, FALSE, "Iron Meadow"));
}

// A mutex "Iron Meadow" that exists before the window opens is not held by
// the launcher: once its creator lets it go, it is gone.
TEST_F(LauncherWindow, DoesNotHoldAnIronMeadowMutexItDidNotCreate) {
  HANDLE ours = CreateMutexA(NULL, FALSE, "Iron Meadow");
  ASSERT_NE(ours, nullptr);
  Launcher launcher;
  ASSERT_NE(launcher.window(), nullptr);
  EXPECT_TRUE(uidriver::control(launcher.window(), IDC_INSTALL).enabled);  // opened normally
  CloseHandle(ours);
  HANDLE left = OpenMutexA(SYNCHRONIZE, FALSE, "Iron Meadow");
  EXPECT_EQ(nullptr, left) << "the launcher kept a handle to a mutex it did not create";
  if (left != NULL) CloseHandle(left);
  uidriver::press_escape(launcher.window());
  EXPECT_EQ(0, launcher.exit_code());
}

// Bitmap 140 of the launcher as a 180 by 324 top-down 24-bit DIB section.
HBITMAP load_background(void **bits) {
  HMODULE module = LoadLibraryExA(DemoLauncher::path().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
  if (module == NULL) return NULL;
  HBITMAP picture =
      (HBITMAP)LoadImageA(module, MAKEINTRESOURCEA(140), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
  FreeLibrary(module);
  DIBSECTION dib;
  if (picture == NULL || GetObjectA(picture, sizeof(dib), &dib) != sizeof(dib)) return NULL;
  *bits = dib.dsBm.bmBits;
  return picture;
}

// The client area as it appears on the screen, in the picture's format.
std::vector<unsigned char> screen_pixels(HWND window, const BITMAP &format) {
  POINT origin = {0, 0};
  ClientToScreen(window, &origin);
  BITMAPINFO info = {};
  info.bmiHeader = {
      sizeof(BITMAPINFOHEADER), format.bmWidth, format.bmHeight, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void *bits = NULL;
  HDC screen = GetDC(NULL);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP shot = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, NULL, 0);
  HGDIOBJ previous = SelectObject(memory, shot);
  BitBlt(memory, 0, 0, format.bmWidth, format.bmHeight, screen, origin.x, origin.y, SRCCOPY);
  GdiFlush();
  std::vector<unsigned char> pixels((unsigned char *)bits,
                                    (unsigned char *)bits + format.bmWidthBytes * format.bmHeight);
  SelectObject(memory, previous);
  DeleteObject(shot);
  DeleteDC(memory);
  ReleaseDC(NULL, screen);
  return pixels;
}

TEST_F(LauncherWindow, PaintsTheBackgroundPictureUnstretched) {
  void *bits = NULL;
  HBITMAP picture = load_background(&bits);
  ASSERT_NE(picture, nullptr) << "bitmap 140 missing from Update.exe";
  BITMAP format;
  GetObjectA(picture, sizeof(format), &format);
  EXPECT_EQ(180, format.bmWidth);
  EXPECT_EQ(324, format.bmHeight);
  EXPECT_EQ(24, format.bmBitsPixel);

  Launcher launcher;
  HWND window = launcher.window();
  ASSERT_NE(window, nullptr);
  SetForegroundWindow(window);
  RedrawWindow(window, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Sleep(500);
  std::vector<unsigned char> screen = screen_pixels(window, format);
  // Compare the rows above the controls (y 0 to 187); DIB rows are bottom-up.
  const unsigned char *expected = (const unsigned char *)bits;
  int differing = 0;
  for (int y = 0; y < 188; y++) {
    size_t row = (size_t)(format.bmHeight - 1 - y) * format.bmWidthBytes;
    for (int x = 0; x < format.bmWidth * 3; x++)
      if (screen[row + x] != expected[row + x]) differing++;
  }
  EXPECT_EQ(0, differing) << "the window does not show bitmap 140 as it is";
  DeleteObject(picture);
  uidriver::press_escape(window);
  EXPECT_EQ(0, launcher.exit_code());
}

}  // namespace
