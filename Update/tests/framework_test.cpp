// The launcher's dialog framework: the application object's start-up, the
// message table, the window procedure's answers, data exchange, the default
// OK and cancel handling, and message boxes captioned with the program name.
// Dialogs run on a GUI thread of their own and are driven from the test.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "framework.h"
#include "uidriver.h"

namespace {

const UINT kAsk = WM_APP + 2;  // answered by the window procedure override

// A dialog from template 102 recording what reached it.
class RecordingDialog : public fw::Dialog {
 public:
  RecordingDialog() : fw::Dialog(102) {}
  int first_clicks = 0, second_clicks = 0, loads = 0, saves = 0;
  bool bound_missing = true;
  fw::Control first;

 protected:
  void do_data_exchange(fw::DataExchange &dx) override {
    (dx.saving() ? saves : loads)++;
    dx.bind(1001, first);
    bound_missing = dx.bind(4711, other_);
  }
  bool window_proc(UINT message, WPARAM wparam, LPARAM lparam, LRESULT *result) override {
    if (message != kAsk) return fw::Dialog::window_proc(message, wparam, lparam, result);
    *result = 0x1234;
    return true;
  }
  const fw::MessageEntry *message_table() const override { return table_; }

 private:
  void on_first() { first_clicks++; }
  void on_second() { second_clicks++; }
  HICON on_drag_icon() { return (HICON)0x5678; }
  fw::Control other_;
  static const fw::MessageEntry table_[];
};

const fw::MessageEntry RecordingDialog::table_[] = {
    FW_ON_COMMAND(1001, RecordingDialog, on_first),
    FW_ON_COMMAND(4, RecordingDialog, on_second),
    FW_ON_QUERYDRAGICON(RecordingDialog, on_drag_icon),
    FW_END_TABLE,
};

// Runs a RecordingDialog modally on its own thread.
using DialogThread = uidriver::ModalThread<RecordingDialog>;

LRESULT command(HWND window, int id, int code) {
  return SendMessageA(window, WM_COMMAND, MAKEWPARAM(id, code), 0);
}

TEST(Framework, MessageTableRoutesClicksByControlId) {
  DialogThread run;
  ASSERT_NE(run.window(), nullptr);
  command(run.window(), 1001, BN_CLICKED);
  command(run.window(), 1001, BN_CLICKED);
  command(run.window(), 4, BN_CLICKED);
  command(run.window(), 1001, BN_SETFOCUS);  // a notification, not a click
  command(run.window(), 3, BN_CLICKED);      // no entry: ignored
  EXPECT_EQ(2, run.dialog.first_clicks);
  EXPECT_EQ(1, run.dialog.second_clicks);
  EXPECT_EQ(-2, run.result(200)) << "an unrouted command closed the dialog";
}

TEST(Framework, AnswersReachTheSender) {
  DialogThread run;
  ASSERT_NE(run.window(), nullptr);
  // Through DWLP_MSGRESULT for an ordinary message, directly for the drag icon.
  EXPECT_EQ(0x1234, SendMessageA(run.window(), kAsk, 0, 0));
  EXPECT_EQ(0x5678, SendMessageA(run.window(), WM_QUERYDRAGICON, 0, 0));
  // A message nobody handles gets the default answer.
  EXPECT_EQ(0, SendMessageA(run.window(), WM_APP + 9, 0, 0));
}

TEST(Framework, InitialisationLoadsDataAndBindsControls) {
  DialogThread run;
  ASSERT_NE(run.window(), nullptr);
  EXPECT_EQ(1, run.dialog.loads);
  EXPECT_EQ(0, run.dialog.saves);
  EXPECT_EQ(GetDlgItem(run.window(), 1001), run.dialog.first.hwnd());
  EXPECT_FALSE(run.dialog.bound_missing) << "binding a missing control must fail";
}

TEST(Framework, OkSavesDataAndEndsWithIdOk) {
  DialogThread run;
  ASSERT_NE(run.window(), nullptr);
  PostMessageA(run.window(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_EQ(IDOK, run.result());
  EXPECT_EQ(1, run.dialog.saves);
}

TEST(Framework, EscapeAndCloseBoxEndWithIdCancelWithoutSaving) {
  for (void (*act)(HWND) : {uidriver::press_escape, uidriver::press_close_box}) {
    DialogThread run;
    ASSERT_NE(run.window(), nullptr);
    act(run.window());
    EXPECT_EQ(IDCANCEL, run.result());
    EXPECT_EQ(0, run.dialog.saves);
  }
}

// A message box asked from another thread, so the test can answer it.
struct Ask {
  RecordingDialog *dialog;
  const char *caption;
  UINT type;
  int answer;
};

DWORD WINAPI ask_question(void *param) {
  Ask *ask = (Ask *)param;
  ask->answer = ask->dialog->message_box("Proceed?", ask->caption, ask->type);
  return 0;
}

TEST(Framework, MessageBoxesAreCaptionedWithTheProgramName) {
  EXPECT_STREQ("framework_test", fw::app_name());
  DialogThread run;
  ASSERT_NE(run.window(), nullptr);
  struct Case {
    const char *caption;  // null: the default
    const char *expected_caption;
    UINT type;
    int dismiss_with, answer;
  };
  const Case cases[] = {
      {nullptr, "framework_test", MB_OK, IDOK, IDOK},
      {"Question", "Question", MB_OKCANCEL, IDCANCEL, IDCANCEL},
  };
  for (const Case &c : cases) {
    Ask ask = {&run.dialog, c.caption, c.type, -1};
    HANDLE asker = CreateThread(NULL, 0, ask_question, &ask, 0, NULL);
    HWND box = uidriver::wait_for_owned_dialog(run.window());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(c.expected_caption, uidriver::window_text(box));
    EXPECT_EQ("Proceed?", uidriver::message_text(box));
    PostMessageA(box, WM_COMMAND, c.dismiss_with, 0);
    WaitForSingleObject(asker, 10000);
    CloseHandle(asker);
    EXPECT_EQ(c.answer, ask.answer);
  }
}

// An application object recording its start-up.
class RecordingApp : public fw::Application {
 public:
  explicit RecordingApp(bool run_loop) : run_loop_(run_loop) {}
  int hook_calls = 0;
  UINT error_mode = 0;

  bool init_instance() override {
    hook_calls++;
    error_mode = SetErrorMode(0);
    SetErrorMode(error_mode);
    if (run_loop_) PostQuitMessage(5);
    return run_loop_;
  }

 private:
  bool run_loop_;
};

TEST(Framework, ApplicationRunsItsHookOnceAfterSettingTheErrorMode) {
  UINT before = SetErrorMode(0);
  for (bool loop : {false, true}) {
    SCOPED_TRACE(loop ? "with a message loop" : "without a message loop");
    SetErrorMode(0);
    RecordingApp app(loop);
    EXPECT_EQ(&app, fw::Application::current());
    EXPECT_EQ(loop ? 5 : 0, app.run());
    EXPECT_EQ(1, app.hook_calls);
    EXPECT_EQ((UINT)(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX),
              app.error_mode & (SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX));
  }
  EXPECT_EQ(nullptr, fw::Application::current());
  SetErrorMode(before);
}

TEST(Framework, ActiveXHostingSwitchInitialisesOleForTheRun) {
  struct HostingApp : fw::Application {
    bool enabled = false, reported = false;
    bool init_instance() override {
      enabled = enable_activex_hosting();
      reported = fw::activex_hosting_enabled();
      return false;
    }
  } app;
  EXPECT_FALSE(fw::activex_hosting_enabled());
  app.run();
  EXPECT_TRUE(app.enabled);
  EXPECT_TRUE(app.reported);
  EXPECT_FALSE(fw::activex_hosting_enabled()) << "OLE stays initialised after the run";
}

}  // namespace
