// End-to-end test of "&Readme" in Update.exe of the demo disc under Wine: the
// launcher unpacks its payload, Readme opens "Html Help" over it with the
// browser control filling the dialog, Escape or the close box closes it and
// the launcher is back in its normal layout. (What the control was navigated
// to is checked in-process, in HtmlHelpDlg_test.)
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "resource.h"
#include "demo_launcher.h"
#include "installed_mark.h"

namespace {

using Launcher = DemoLauncher;

// The browser control fills the dialog but for an equal margin (7 dialog
// units) on every side.
void expect_browser_fills(HWND readme) {
  HWND host = GetDlgItem(readme, IDC_BROWSER);
  ASSERT_NE(nullptr, host) << "no control 1006";
  EXPECT_EQ("AtlAxWin", uidriver::class_name(host));
  EXPECT_TRUE(IsWindowVisible(host));
  RECT client, place;
  GetClientRect(readme, &client);
  place = uidriver::control(readme, IDC_BROWSER).rect;
  EXPECT_GT(place.left, 0);
  EXPECT_NEAR(place.left, client.right - place.right, 1);
  EXPECT_NEAR(place.top, client.bottom - place.bottom, 1);
  EXPECT_GT(place.right - place.left, (client.right - client.left) * 9 / 10);
}

void expect_normal_layout_with_readme(HWND window) {
  EXPECT_EQ("&Readme", uidriver::control(window, IDC_README).text);
  EXPECT_TRUE(uidriver::control(window, IDC_README).enabled);
  EXPECT_EQ("E&xit", uidriver::control(window, IDCANCEL).text);
  EXPECT_TRUE(uidriver::control(window, 1001).visible);
  EXPECT_TRUE(uidriver::control(window, 4).visible);
  EXPECT_FALSE(uidriver::control(window, 1005).visible);
  EXPECT_TRUE(IsWindowEnabled(window)) << "the launcher was left disabled";
}

TEST(LauncherReadme, OpensOverTheLauncherAndClosesBackToIt) {
  InstalledMark not_installed;
  const struct {
    const char *name;
    void (*act)(HWND);
  } ways[] = {{"Escape", uidriver::press_escape}, {"close box", uidriver::press_close_box}};
  Launcher launcher;
  ASSERT_NE(nullptr, launcher.window());
  ASSERT_TRUE(uidriver::control(launcher.window(), IDC_README).enabled) << "index.htm not unpacked";
  for (const auto &way : ways) {
    SCOPED_TRACE(way.name);
    uidriver::click(launcher.window(), IDC_README);
    HWND readme = uidriver::wait_for_dialog(launcher.pid(), 0, "Html Help", 15000);
    ASSERT_NE(nullptr, readme);
    EXPECT_EQ(launcher.window(), GetWindow(readme, GW_OWNER));
    EXPECT_FALSE(IsWindowEnabled(launcher.window())) << "the readme is not modal";
    expect_browser_fills(readme);
    way.act(readme);
    ASSERT_TRUE(uidriver::wait_until([&] { return !IsWindow(readme); }, 10000));
    EXPECT_EQ(-1, launcher.exit_code(300)) << "the launcher closed with the readme";
    expect_normal_layout_with_readme(launcher.window());
  }
  uidriver::press_escape(launcher.window());
  EXPECT_EQ(0, launcher.exit_code());
}

}  // namespace
