// In-process tests of the launcher window: MainDlg runs modally on a GUI
// thread of its own while the test drives it from outside, as a user would,
// plus a test hook that calls set_layout on the GUI thread.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "resource.h"
#include "MainDlg.h"
#include "installed_mark.h"
#include "testutil.h"
#include "uidriver.h"

namespace {

const UINT kSetLayout = WM_APP + 1;  // wparam: layout type; answers `layout`

// MainDlg with the test hook, and without the payload step: the test gives
// temp_dir itself, and several windows run in this one process.
class DrivenMainDlg : public MainDlg {
 protected:
  bool run_payload_step() override { return true; }
  bool window_proc(UINT message, WPARAM wparam, LPARAM lparam, LRESULT *result) override {
    if (message != kSetLayout) return MainDlg::window_proc(message, wparam, lparam, result);
    set_layout((int)wparam);
    *result = layout;
    return true;
  }
};

// Runs a DrivenMainDlg modally on its own thread, with the folder it
// treats as unpacked.
class WindowThread : public uidriver::ModalThread<DrivenMainDlg> {
 public:
  explicit WindowThread(const std::string &temp_dir = "")
      : ModalThread("Patch", [&](DrivenMainDlg &d) {
          lstrcpynA(d.temp_dir, temp_dir.c_str(), sizeof(d.temp_dir));
        }) {}
  // Calls set_layout(type) on the GUI thread; answers `layout` afterwards.
  LRESULT set_layout(int type) { return SendMessageA(window(), kSetLayout, (WPARAM)type, 0); }
};

class MainDlgTest : public ::testing::Test {
 protected:
  InstalledMark mark;  // not installed
};

void expect_insert_cd_layout(HWND window) {
  uidriver::ControlState message = uidriver::control(window, IDC_MESSAGE);
  EXPECT_TRUE(message.visible);
  EXPECT_EQ("Please insert:\n\t\t Ironmeadow CD", message.text);
  EXPECT_FALSE(uidriver::control(window, IDC_INSTALL).visible);
  EXPECT_FALSE(uidriver::control(window, IDC_PATCH).visible);
  uidriver::ControlState retry = uidriver::control(window, IDC_README);
  EXPECT_EQ("&Retry", retry.text);
  EXPECT_TRUE(retry.visible);
  EXPECT_TRUE(retry.enabled) << "Retry must be enabled even when Readme was not";
  EXPECT_EQ("&Cancel", uidriver::control(window, IDCANCEL).text);
}

void expect_normal_layout(HWND window) {
  EXPECT_FALSE(uidriver::control(window, IDC_MESSAGE).visible);
  EXPECT_EQ("Install &Game", uidriver::control(window, IDC_INSTALL).text);
  EXPECT_TRUE(uidriver::control(window, IDC_INSTALL).visible);
  EXPECT_TRUE(uidriver::control(window, IDC_PATCH).visible);
  EXPECT_EQ("&Readme", uidriver::control(window, IDC_README).text);
  EXPECT_EQ("E&xit", uidriver::control(window, IDCANCEL).text);
}

TEST_F(MainDlgTest, LoadsItsIconAndBackgroundWhenConstructed) {
  MainDlg dialog;
  EXPECT_NE(nullptr, dialog.icon);
  EXPECT_NE(nullptr, dialog.background.handle());
  EXPECT_STREQ("", dialog.temp_dir);
  EXPECT_EQ(nullptr, dialog.instance_mutex);
  EXPECT_EQ(LAYOUT_NORMAL, dialog.layout);
}

TEST_F(MainDlgTest, InsertCdLayoutAsksForTheCdWithRetryAndCancel) {
  WindowThread run;
  ASSERT_NE(run.window(), nullptr);
  EXPECT_FALSE(uidriver::control(run.window(), IDC_README).enabled);  // nothing unpacked
  EXPECT_EQ(LAYOUT_INSERT_CD, run.set_layout(LAYOUT_INSERT_CD));
  expect_insert_cd_layout(run.window());
  // The message shares the place of Patch and Install.
  uidriver::ControlState message = uidriver::control(run.window(), IDC_MESSAGE);
  EXPECT_EQ(15, message.rect.left);
  EXPECT_EQ(188, message.rect.top);
  EXPECT_EQ(151, message.rect.right - message.rect.left);
  EXPECT_EQ(58, message.rect.bottom - message.rect.top);
}

TEST_F(MainDlgTest, SetsItsIconAndAnswersTheMinimizedDragWithIt) {
  WindowThread run;
  ASSERT_NE(run.window(), nullptr);
  HICON icon = run.dialog.icon;
  ASSERT_NE(nullptr, icon);
  EXPECT_EQ((LRESULT)icon, SendMessageA(run.window(), WM_GETICON, ICON_BIG, 0));
  EXPECT_EQ((LRESULT)icon, SendMessageA(run.window(), WM_GETICON, ICON_SMALL, 0));
  EXPECT_EQ((LRESULT)icon, SendMessageA(run.window(), WM_QUERYDRAGICON, 0, 0));
}

// In the insert-CD layout Escape and the close box go back to the normal
// layout; the same again closes the window.
TEST_F(MainDlgTest, CancelReturnsToTheNormalLayoutThenCloses) {
  struct Way {
    const char *name;
    void (*act)(HWND);
  };
  const Way ways[] = {
      {"Escape", uidriver::press_escape},
      {"close box", uidriver::press_close_box},
      {"Cancel button", [](HWND w) { uidriver::click(w, IDCANCEL); }},
  };
  for (const Way &way : ways) {
    SCOPED_TRACE(way.name);
    WindowThread run;
    ASSERT_NE(run.window(), nullptr);
    run.set_layout(LAYOUT_INSERT_CD);
    way.act(run.window());
    ASSERT_TRUE(uidriver::wait_until(
        [&] { return !uidriver::control(run.window(), IDC_MESSAGE).visible; }, 10000));
    EXPECT_EQ(-2, run.result(300)) << "the window closed instead of changing layout";
    expect_normal_layout(run.window());
    EXPECT_FALSE(uidriver::control(run.window(), IDC_README).enabled) << "Readme recomputed";
    way.act(run.window());
    EXPECT_EQ(IDCANCEL, run.result());
  }
}

TEST_F(MainDlgTest, InvalidLayoutTypeIsReportedAndKeepsTheLayout) {
  WindowThread run;
  ASSERT_NE(run.window(), nullptr);
  run.set_layout(LAYOUT_INSERT_CD);
  PostMessageA(run.window(), kSetLayout, 7, 0);
  HWND box = uidriver::wait_for_owned_dialog(run.window());
  ASSERT_NE(box, nullptr) << "no message box owned by the window";
  EXPECT_EQ("MainDlg_test", uidriver::window_text(box)) << "caption: the program's base name";
  EXPECT_EQ("Invalid layout type", uidriver::message_text(box));
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(uidriver::wait_until([&] { return !IsWindow(box); }, 10000));
  EXPECT_EQ(LAYOUT_INSERT_CD, run.dialog.layout);
  // The common first step ran; the insert-CD controls stay as they were.
  EXPECT_EQ("Install &Game", uidriver::control(run.window(), IDC_INSTALL).text);
  EXPECT_EQ("&Retry", uidriver::control(run.window(), IDC_README).text);
  EXPECT_TRUE(uidriver::control(run.window(), IDC_MESSAGE).visible);
  // Still the insert-CD layout: Escape goes back to normal, not out.
  uidriver::press_escape(run.window());
  ASSERT_TRUE(uidriver::wait_until(
      [&] { return !uidriver::control(run.window(), IDC_MESSAGE).visible; }, 10000));
  EXPECT_EQ(-2, run.result(300));
}

// Readme needs index.htm in the unpacked folder, and not an empty one.
TEST_F(MainDlgTest, ReadmeIsEnabledOnlyForANonEmptyIndexPage) {
  struct Case {
    const char *name;
    const char *content;  // null: no file
    bool enabled;
  };
  const Case cases[] = {
      {"missing", nullptr, false},
      {"empty", "", false},
      {"with a page", "<html><body>Iron Meadow</body></html>", true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    fnal_test::TempWorkDir folder;
    if (c.content != nullptr) fnal_test::write_file("index.htm", c.content);
    WindowThread run(folder.path());
    ASSERT_NE(run.window(), nullptr);
    EXPECT_EQ(c.enabled, uidriver::control(run.window(), IDC_README).enabled);
    // Leaving the insert-CD layout recomputes it the same way.
    run.set_layout(LAYOUT_INSERT_CD);
    EXPECT_TRUE(uidriver::control(run.window(), IDC_README).enabled);
    run.set_layout(LAYOUT_NORMAL);
    EXPECT_EQ(c.enabled, uidriver::control(run.window(), IDC_README).enabled);
    uidriver::press_escape(run.window());
    EXPECT_EQ(IDCANCEL, run.result());
  }
}

}  // namespace
