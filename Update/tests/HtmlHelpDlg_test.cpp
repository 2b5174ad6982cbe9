// Tests of the readme dialog under Wine, in-process: the dialog (or the
// launcher window that opens it) runs in an application object on a GUI
// thread of its own, with ActiveX hosting switched on as the launcher does,
// while the test drives it from outside as a user would. Questions to the
// browser control are asked on the GUI thread (see BrowserProbe).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "resource.h"
#include "HtmlHelpDlg.h"
#include "MainDlg.h"
#include "installed_mark.h"
#include "testutil.h"
#include "uidriver.h"

namespace {

const char kCaption[] = "Html Help";

// Runs an application object on its own thread: the start-up hook switches
// ActiveX hosting on (when asked) and runs body, which usually runs a dialog
// modally. The run ends with the body.
class GuiThread {
 public:
  GuiThread(bool hosting, std::function<void()> body) : app_(hosting, std::move(body)) {
    thread_ = CreateThread(NULL, 0, run, this, 0, &thread_id_);
  }
  ~GuiThread() { wait(15000); }
  DWORD id() const { return thread_id_; }
  bool hosting_enabled() const { return app_.enabled; }
  // Waits for the run to end; false on time-out.
  bool wait(DWORD timeout_ms = 10000) {
    if (thread_ == NULL) return true;
    if (WaitForSingleObject(thread_, timeout_ms) != WAIT_OBJECT_0) return false;
    CloseHandle(thread_);
    thread_ = NULL;
    return true;
  }

 private:
  struct App : fw::Application {
    App(bool h, std::function<void()> b) : hosting(h), body(std::move(b)) {}
    bool init_instance() override {
      if (hosting) enabled = enable_activex_hosting();
      body();
      return false;
    }
    bool hosting;
    std::function<void()> body;
    volatile bool enabled = false;
  };
  static DWORD WINAPI run(void *self) {
    ((GuiThread *)self)->app_.run();
    return 0;
  }
  App app_;
  HANDLE thread_ = NULL;
  DWORD thread_id_ = 0;
};

// What the browser control of a readme dialog says about itself, asked on
// the dialog's own thread (the control lives in that thread's apartment):
// the dialog window is subclassed for one message that asks the questions.
struct BrowserState {
  bool has_control = false;
  bool has_location = false;
  char location[HTMLHELPDLG_URL_SIZE] = "";
  HRESULT renavigated = E_PENDING;                    // Navigate to the location again
  ULONG references_before = 0, references_after = 0;  // around all of it
};

class BrowserProbe {
 public:
  static BrowserState ask(HWND dialog) {
    BrowserState state;
    const UINT ask_message = WM_APP + 7;
    previous_ = (WNDPROC)SetWindowLongPtrA(dialog, GWLP_WNDPROC, (LONG_PTR)proc);
    SendMessageA(dialog, ask_message, 0, (LPARAM)&state);
    SetWindowLongPtrA(dialog, GWLP_WNDPROC, (LONG_PTR)previous_);
    return state;
  }

 private:
  static ULONG references(IUnknown *object) {
    object->AddRef();
    return object->Release();
  }
  static void pump_messages(DWORD duration_ms) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < duration_ms) {
      MSG msg;
      while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
      Sleep(10);
    }
  }
  static LRESULT CALLBACK proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message != WM_APP + 7) return CallWindowProcA(previous_, hwnd, message, wparam, lparam);
    BrowserState *state = (BrowserState *)lparam;
    IUnknown *control = NULL;
    if (FAILED(fw::hosted_control(GetDlgItem(hwnd, IDC_BROWSER), &control))) return 0;
    state->references_before = references(control);
    CWebBrowser2 browser;
    browser.attach(GetDlgItem(hwnd, IDC_BROWSER));
    state->has_control = browser.has_control();
    state->has_location = browser.get_location_url(state->location, sizeof(state->location));
    state->renavigated = browser.Navigate(state->location, NULL, NULL, NULL, NULL);
    pump_messages(500);  // the control finishes the navigation it queued
    state->references_after = references(control);
    control->Release();
    return 0;
  }
  static WNDPROC previous_;
};
WNDPROC BrowserProbe::previous_ = NULL;

// The place of a dialog's control in its client area, and what the
// template's dialog units give in pixels for that dialog.
RECT control_place(HWND dialog, int id) {
  RECT place = {0, 0, 0, 0};
  GetWindowRect(GetDlgItem(dialog, id), &place);
  MapWindowPoints(NULL, dialog, (POINT *)&place, 2);
  return place;
}
RECT dialog_units(HWND dialog, int x, int y, int width, int height) {
  RECT units = {x, y, width, height};  // each converted on its own, as the
  MapDialogRect(dialog, &units);       // dialog manager does
  RECT place = {units.left, units.top, units.left + units.right, units.top + units.bottom};
  return place;
}

// The control reports a plain file path as its location either as it is or
// as a file URL over the same path.
bool is_location_of(const std::string &path, const std::string &location) {
  return location == path || location == "file://" + path;
}

void expect_browser_at_template_place(HWND dialog) {
  HWND host = GetDlgItem(dialog, IDC_BROWSER);
  ASSERT_NE(nullptr, host) << "no control 1006";
  EXPECT_EQ("AtlAxWin", uidriver::class_name(host));
  EXPECT_TRUE(IsWindowVisible(host));
  EXPECT_TRUE(GetWindowLongA(host, GWL_STYLE) & WS_TABSTOP);
  RECT want = dialog_units(dialog, 7, 7, 351, 219);
  RECT got = control_place(dialog, IDC_BROWSER);
  EXPECT_EQ(want.left, got.left);
  EXPECT_EQ(want.top, got.top);
  EXPECT_EQ(want.right, got.right);
  EXPECT_EQ(want.bottom, got.bottom);
  EXPECT_FALSE(uidriver::control(dialog, IDOK).visible);
  EXPECT_FALSE(uidriver::control(dialog, IDCANCEL).visible);
}

// The ways a user closes the dialog.
struct CloseWay {
  const char *name;
  void (*act)(HWND);
};
const CloseWay kCloseWays[] = {
    {"Escape", uidriver::press_escape},
    {"close box", uidriver::press_close_box},
};

TEST(HtmlHelpDlg, SetUrlTakesUpTo1023CharactersAndRefusesLonger) {
  struct Case {
    const char *name;
    size_t length;  // of the text; SIZE_MAX for a null text
    bool taken;
  };
  const Case cases[] = {
      {"path", 40, true},
      {"longest", HTMLHELPDLG_URL_SIZE - 1, true},
      {"one too long", HTMLHELPDLG_URL_SIZE, false},
      {"null", SIZE_MAX, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    HtmlHelpDlg dialog;
    EXPECT_EQ(0, dialog.url_set);
    EXPECT_STREQ("", dialog.url);
    std::string text(c.length == SIZE_MAX ? 0 : c.length, 'u');
    EXPECT_EQ(c.taken, dialog.set_url(c.length == SIZE_MAX ? NULL : text.c_str()));
    EXPECT_EQ(c.taken ? 1 : 0, dialog.url_set);
    EXPECT_EQ(c.taken ? text : std::string(), std::string(dialog.url));
  }
}

// Opens the page, shows the control in the template's place, and closes on
// Escape and on the close box; each opening is a fresh run, so hosting is
// switched on again each time.
TEST(HtmlHelpDlg, OpensTheBrowserOnThePageAndClosesOnEscapeOrCloseBox) {
  for (const CloseWay &way : kCloseWays) {
    SCOPED_TRACE(way.name);
    fnal_test::TempWorkDir folder;
    fnal_test::write_file("index.htm", "<html><body>Iron Meadow</body></html>");
    std::string page = folder.path() + "\\index.htm";
    HtmlHelpDlg dialog;
    ASSERT_TRUE(dialog.set_url(page.c_str()));
    INT_PTR result = -3;
    GuiThread gui(true, [&] { result = dialog.do_modal(); });
    HWND window = uidriver::wait_for_dialog(GetCurrentProcessId(), gui.id(), kCaption, 15000);
    ASSERT_NE(nullptr, window);
    EXPECT_TRUE(gui.hosting_enabled());
    expect_browser_at_template_place(window);

    BrowserState state = BrowserProbe::ask(window);
    EXPECT_TRUE(state.has_control) << "the host holds no control answering IDispatch";
    EXPECT_EQ(S_OK, dialog.browser.last_navigate()) << "Navigate failed";
    ASSERT_TRUE(state.has_location);
    EXPECT_PRED2(is_location_of, page, state.location) << "navigated elsewhere";
    EXPECT_EQ(S_OK, state.renavigated);
    EXPECT_EQ(state.references_before, state.references_after) << "a reference was kept";

    way.act(window);
    ASSERT_TRUE(gui.wait()) << "the dialog did not close";
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_FALSE(IsWindow(window));
  }
}

// After the run the hosting window class is gone again with its library.
TEST(HtmlHelpDlg, HostingEndsWithTheRun) {
  GuiThread gui(true, [] {});
  ASSERT_TRUE(gui.wait());
  EXPECT_TRUE(gui.hosting_enabled());
  EXPECT_FALSE(fw::activex_hosting_enabled());
  WNDCLASSEXA info;
  info.cbSize = sizeof(info);
  EXPECT_FALSE(GetClassInfoExA(GetModuleHandleA(NULL), ACTIVEX_HOST_CLASS, &info));
}

TEST(HtmlHelpDlg, WithoutAnAddressTheBrowserIsNotNavigated) {
  HtmlHelpDlg dialog;
  GuiThread gui(true, [&] { dialog.do_modal(); });
  HWND window = uidriver::wait_for_dialog(GetCurrentProcessId(), gui.id(), kCaption, 15000);
  ASSERT_NE(nullptr, window);
  EXPECT_TRUE(BrowserProbe::ask(window).has_control);
  EXPECT_EQ(E_PENDING, dialog.browser.last_navigate()) << "Navigate was called";
  uidriver::press_escape(window);
  EXPECT_TRUE(gui.wait());
}

// Without the hosting library the dialog opens empty, says why, and closes.
TEST(HtmlHelpDlg, WithoutHostingItSaysTheBrowserIsMissingAndStillCloses) {
  fnal_test::TempWorkDir folder;
  fnal_test::write_file("index.htm", "<html></html>");
  HtmlHelpDlg dialog;
  dialog.set_url((folder.path() + "\\index.htm").c_str());
  INT_PTR result = -3;
  GuiThread gui(false, [&] { result = dialog.do_modal(); });
  HWND box = NULL;
  ASSERT_TRUE(uidriver::wait_until(
      [&] {
        for (HWND hwnd : uidriver::dialogs(GetCurrentProcessId(), gui.id()))
          if (uidriver::window_text(hwnd) == "HtmlHelpDlg_test") box = hwnd;
        return box != NULL;
      },
      15000))
      << "no message box";
  EXPECT_EQ(HTMLHELPDLG_NO_BROWSER_TEXT, uidriver::message_text(box));
  HWND window = GetWindow(box, GW_OWNER);
  EXPECT_EQ(kCaption, uidriver::window_text(window)) << "the box belongs to the readme dialog";
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(uidriver::wait_until([&] { return IsWindowVisible(window) != FALSE; }, 10000));
  EXPECT_EQ(E_PENDING, dialog.browser.last_navigate());
  uidriver::press_escape(window);
  ASSERT_TRUE(gui.wait()) << "the dialog did not close";
  EXPECT_EQ(IDCANCEL, result);
}

// The wrapper creates the control itself by its class id.
TEST(HtmlHelpDlg, WrapperCreatesTheControlByClassId) {
  bool created = false, has_control = false;
  HRESULT navigated = E_PENDING;
  GuiThread gui(true, [&] {
    HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 300, 200, NULL, NULL,
                                  GetModuleHandleA(NULL), NULL);
    CWebBrowser2 browser;
    RECT place = {10, 10, 290, 190};
    created = browser.create(parent, place, IDC_BROWSER);
    has_control = browser.has_control();
    navigated = browser.Navigate("C:\\index.htm", NULL, NULL, NULL, NULL);
    DestroyWindow(parent);
  });
  ASSERT_TRUE(gui.wait());
  EXPECT_TRUE(created);
  EXPECT_TRUE(has_control);
  EXPECT_EQ(S_OK, navigated);
}

// The launcher window without its payload step: the test gives temp_dir.
class LauncherOverFolder : public MainDlg {
 protected:
  bool run_payload_step() override { return true; }
};

// Readme in the launcher window opens the dialog over it on index.htm of
// the unpacked folder; closing it leaves the launcher in the normal layout.
TEST(HtmlHelpDlg, ReadmeButtonOpensThePageAndReturnsToTheLauncher) {
  InstalledMark not_installed;
  fnal_test::TempWorkDir folder;
  fnal_test::write_file("index.htm", "<html><body>Iron Meadow</body></html>");
  LauncherOverFolder launcher;
  lstrcpynA(launcher.temp_dir, folder.path().c_str(), sizeof(launcher.temp_dir));
  INT_PTR result = -3;
  GuiThread gui(true, [&] { result = launcher.do_modal(); });
  HWND window = uidriver::wait_for_dialog(GetCurrentProcessId(), gui.id(), "Patch", 15000);
  ASSERT_NE(nullptr, window);
  ASSERT_TRUE(uidriver::control(window, IDC_README).enabled);

  uidriver::click(window, IDC_README);
  HWND readme = uidriver::wait_for_dialog(GetCurrentProcessId(), gui.id(), kCaption, 15000);
  ASSERT_NE(nullptr, readme);
  EXPECT_EQ(window, GetWindow(readme, GW_OWNER));
  expect_browser_at_template_place(readme);
  BrowserState state = BrowserProbe::ask(readme);
  EXPECT_TRUE(state.has_control);
  EXPECT_PRED2(is_location_of, folder.path() + "\\index.htm", state.location);

  uidriver::press_escape(readme);
  ASSERT_TRUE(uidriver::wait_until([&] { return !IsWindow(readme); }, 10000));
  EXPECT_FALSE(gui.wait(300)) << "the launcher closed with the readme";
  EXPECT_EQ(LAYOUT_NORMAL, launcher.layout);
  EXPECT_TRUE(uidriver::control(window, IDC_README).enabled);
  EXPECT_EQ("&Readme", uidriver::control(window, IDC_README).text);
  EXPECT_EQ("E&xit", uidriver::control(window, IDCANCEL).text);
  EXPECT_FALSE(uidriver::control(window, 1005).visible);
  EXPECT_TRUE(IsWindowEnabled(window)) << "the launcher stays disabled";

  uidriver::press_escape(window);
  ASSERT_TRUE(gui.wait());
  EXPECT_EQ(IDCANCEL, result);
}

}  // namespace
