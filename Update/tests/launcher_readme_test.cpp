// End-to-end test of "&Readme" in Update.exe of the demo disc under Wine: the
// launcher unpacks its payload, Readme opens "Html Help" over it with the
// browser control filling the dialog, Escape or the close box closes it and
// the launcher is back in its normal layout. (What the control was navigated
// to is checked in-process, in HtmlHelpDlg_test.)
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "demo_launcher.h"
#include "installed_mark.h"
#include "window_probe.h"

namespace {

const int kBrowser = 1006, kReadme = 3, kExit = IDCANCEL;

using Launcher = DemoLauncher;

// The browser control fills the dialog but for an equal margin (7 dialog
// units) on every side.
void expect_browser_fills(HWND readme) {
  HWND host = GetDlgItem(readme, kBrowser);
  ASSERT_NE(nullptr, host) << "no control 1006";
  EXPECT_EQ("AtlAxWin", probe::class_name(host));
  EXPECT_TRUE(IsWindowVisible(host));
  RECT client, place;
  GetClientRect(readme, &client);
  place = probe::control(readme, kBrowser).rect;
  EXPECT_GT(place.left, 0);
  EXPECT_NEAR(place.left, client.right - place.right, 1);
  EXPECT_NEAR(place.top, client.bottom - place.bottom, 1);
  EXPECT_GT(place.right - place.left, (client.right - client.left) * 9 / 10);
}

void expect_normal_layout_with_readme(HWND window) {
  EXPECT_EQ("&Readme", probe::control(window, kReadme).text);
  EXPECT_TRUE(probe::control(window, kReadme).enabled);
  EXPECT_EQ("E&xit", probe::control(window, kExit).text);
  EXPECT_TRUE(probe::control(window, 1001).visible);
  EXPECT_TRUE(probe::control(window, 4).visible);
  EXPECT_FALSE(probe::control(window, 1005).visible);
  EXPECT_TRUE(IsWindowEnabled(window)) << "the launcher was left disabled";
}

TEST(LauncherReadme, OpensOverTheLauncherAndClosesBackToIt) {
  InstalledMark not_installed;
  const struct {
    const char *name;
    void (*act)(HWND);
  } ways[] = {{"Escape", probe::press_escape}, {"close box", probe::press_close_box}};
  Launcher launcher;
  ASSERT_NE(nullptr, launcher.window());
  ASSERT_TRUE(probe::control(launcher.window(), kReadme).enabled) << "index.htm not unpacked";
  for (const auto &way : ways) {
    SCOPED_TRACE(way.name);
    probe::click(launcher.window(), kReadme);
    HWND readme = probe::wait_for_dialog(launcher.pid(), 0, "Html Help", 15000);
    ASSERT_NE(nullptr, readme);
    EXPECT_EQ(launcher.window(), GetWindow(readme, GW_OWNER));
    EXPECT_FALSE(IsWindowEnabled(launcher.window())) << "the readme is not modal";
    expect_browser_fills(readme);
    way.act(readme);
    ASSERT_TRUE(probe::wait_until([&] { return !IsWindow(readme); }, 10000));
    EXPECT_EQ(-1, launcher.exit_code(300)) << "the launcher closed with the readme";
    expect_normal_layout_with_readme(launcher.window());
  }
  probe::press_escape(launcher.window());
  EXPECT_EQ(0, launcher.exit_code());
}

}  // namespace
