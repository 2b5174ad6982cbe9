// The patch program's process as the launcher sees it: started without
// waiting, counted as running while its exit code is 259, and waited for
// with the thread's messages dispatched and a quit message consumed, without
// spending processor time while nothing happens.
#include <string.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "Patch.h"

namespace {

// A process that runs until the test ends it: cmd.exe created suspended.
LAUNCHED_PROCESS suspended_process() {
  LAUNCHED_PROCESS record;
  memset(&record, 0, sizeof record);
  record.startup_information.cb = sizeof record.startup_information;
  char command[] = "cmd.exe /c exit 0";
  CreateProcessA(NULL, command, NULL, NULL, FALSE, CREATE_SUSPENDED, NULL, NULL,
                 &record.startup_information, &record.process_information);
  return record;
}

void end_process(const LAUNCHED_PROCESS &record, UINT code) {
  TerminateProcess(record.process_information.hProcess, code);
  WaitForSingleObject(record.process_information.hProcess, 10000);
}

// Processor time (user and kernel) a thread has used, in milliseconds.
double thread_cpu_ms(HANDLE thread) {
  FILETIME created, ended, kernel, user;
  if (!GetThreadTimes(thread, &created, &ended, &kernel, &user)) return -1;
  ULARGE_INTEGER k = {{kernel.dwLowDateTime, kernel.dwHighDateTime}};
  ULARGE_INTEGER u = {{user.dwLowDateTime, user.dwHighDateTime}};
  return (double)(k.QuadPart + u.QuadPart) / 10000.0;
}

bool wait_until(bool (*condition)(void *), void *arg, DWORD timeout_ms) {
  for (DWORD waited = 0; waited < timeout_ms; waited += 20) {
    if (condition(arg)) return true;
    Sleep(20);
  }
  return condition(arg);
}

// A thread that runs patch_wait_for_process for a record, with a window
// that counts the WM_APP messages dispatched to it.
class Waiter {
 public:
  explicit Waiter(const LAUNCHED_PROCESS &record) : record_(record) {
    ready_ = CreateEventA(NULL, TRUE, FALSE, NULL);
    thread_ = CreateThread(NULL, 0, run, this, 0, &thread_id_);
    WaitForSingleObject(ready_, 10000);
  }
  ~Waiter() {
    if (WaitForSingleObject(thread_, 0) == WAIT_TIMEOUT) TerminateThread(thread_, 1);
    CloseHandle(thread_);
    CloseHandle(ready_);
  }
  void post_app() { PostMessageA(window_, WM_APP, 0, 0); }
  void post_quit() { PostThreadMessageA(thread_id_, WM_QUIT, 0, 0); }
  LONG dispatched() const { return dispatched_; }
  bool returned(DWORD timeout_ms) { return WaitForSingleObject(thread_, timeout_ms) == 0; }
  bool quit_left_in_queue() const { return quit_left_; }
  HANDLE thread() const { return thread_; }

  // Waits until `count` WM_APP messages have been dispatched.
  bool wait_dispatched(LONG count) {
    struct Arg {
      Waiter *self;
      LONG count;
    } arg = {this, count};
    return wait_until([](void *a) { return ((Arg *)a)->self->dispatched_ >= ((Arg *)a)->count; },
                      &arg, 5000);
  }

 private:
  static LRESULT CALLBACK window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_APP) {
      Waiter *self = (Waiter *)GetWindowLongPtrA(hwnd, GWLP_USERDATA);
      InterlockedIncrement(&self->dispatched_);
      return 0;
    }
    return DefWindowProcA(hwnd, message, wparam, lparam);
  }
  static DWORD WINAPI run(void *param) {
    Waiter *self = (Waiter *)param;
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = GetModuleHandleA(NULL);
    window_class.lpszClassName = "PatchWaitProbe";
    RegisterClassA(&window_class);
    self->window_ = CreateWindowA("PatchWaitProbe", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                  GetModuleHandleA(NULL), NULL);
    SetWindowLongPtrA(self->window_, GWLP_USERDATA, (LONG_PTR)self);
    SetEvent(self->ready_);
    patch_wait_for_process(&self->record_);
    MSG message;
    self->quit_left_ = PeekMessageA(&message, NULL, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
    DestroyWindow(self->window_);
    return 0;
  }

  LAUNCHED_PROCESS record_;
  HANDLE ready_ = NULL;
  HANDLE thread_ = NULL;
  DWORD thread_id_ = 0;
  HWND window_ = NULL;
  volatile LONG dispatched_ = 0;
  volatile bool quit_left_ = false;
};

TEST(PatchProcess, LaunchStartsTheCommandLineWithoutWaiting) {
  LAUNCHED_PROCESS record;
  memset(&record, 0xAB, sizeof record);
  ASSERT_EQ(1, launch_process("cmd.exe /c exit 3", &record));
  EXPECT_EQ(sizeof(void *) == 4 ? 68u : 104u, record.startup_information.cb)
      << "the structure's own size, as Windows checks it";
  EXPECT_EQ(nullptr, record.startup_information.lpDesktop) << "start-up information zero-filled";
  EXPECT_EQ(0u, record.startup_information.dwFlags);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(record.process_information.hProcess, 10000));
  DWORD code = 0;
  GetExitCodeProcess(record.process_information.hProcess, &code);
  EXPECT_EQ(3u, code);
  EXPECT_EQ(0, process_still_running(&record));

  EXPECT_EQ(0, launch_process("C:\\no such folder\\Ironmeadow_patch_V1_0001.exe", &record));
}

TEST(PatchProcess, RunningMeansTheExitCodeStillActive) {
  struct Case {
    const char *name;
    UINT exit_code;  // 0 for a process left running
    unsigned char running;
  };
  const Case cases[] = {
      {"running", 0, 1}, {"ended with 0", 0, 0}, {"ended with 259", STILL_ACTIVE, 1}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    LAUNCHED_PROCESS record = suspended_process();
    ASSERT_NE(nullptr, record.process_information.hProcess);
    if (c.running && c.exit_code == 0) {
      EXPECT_EQ(1, process_still_running(&record));
      end_process(record, 0);
      continue;
    }
    end_process(record, c.exit_code);
    EXPECT_EQ(c.running, process_still_running(&record));
  }
  LAUNCHED_PROCESS none;
  memset(&none, 0, sizeof none);
  EXPECT_EQ(0, process_still_running(&none)) << "a failed query counts as not running";
}

TEST(PatchProcess, WaitDispatchesMessagesConsumesQuitAndEndsWithTheProcess) {
  LAUNCHED_PROCESS record = suspended_process();
  ASSERT_NE(nullptr, record.process_information.hProcess);
  Waiter waiter(record);
  waiter.post_app();
  ASSERT_TRUE(waiter.wait_dispatched(1)) << "a message sent while waiting was not dispatched";
  waiter.post_quit();
  waiter.post_app();
  ASSERT_TRUE(waiter.wait_dispatched(2));
  EXPECT_FALSE(waiter.returned(300)) << "a quit message must not end the wait";
  // Nothing happens for a second: the wait must sleep, not poll (a polling
  // wait keeps this thread busy for about a third of it under Wine, the
  // rest going to the server it asks for messages).
  double before = thread_cpu_ms(waiter.thread());
  Sleep(1000);
  double used = thread_cpu_ms(waiter.thread()) - before;
  EXPECT_LT(used, 100.0) << "the waiting thread kept a processor busy";
  end_process(record, 0);
  ASSERT_TRUE(waiter.returned(5000)) << "the wait did not end with the process";
  EXPECT_FALSE(waiter.quit_left_in_queue()) << "the quit message was not consumed";
}

TEST(PatchProcess, ExitCode259KeepsTheWaitGoingWithoutSpinning) {
  LAUNCHED_PROCESS record = suspended_process();
  ASSERT_NE(nullptr, record.process_information.hProcess);
  end_process(record, STILL_ACTIVE);
  Waiter waiter(record);
  Sleep(200);
  double before = thread_cpu_ms(waiter.thread());
  EXPECT_FALSE(waiter.returned(1000)) << "259 means still active";
  double used = thread_cpu_ms(waiter.thread()) - before;
  EXPECT_LT(used, 100.0) << "the waiting thread kept a processor busy";
  waiter.post_app();
  EXPECT_TRUE(waiter.wait_dispatched(1)) << "messages are still dispatched";
}

// The wait's hook, run on the waiting thread after the process was seen
// running and before its handle is looked at.
struct HookState {
  volatile LONG rounds = 0;
  bool end_on_first_round = false;
};
HookState hook_state;

void count_round_and_maybe_end(const LAUNCHED_PROCESS *record) {
  if (InterlockedIncrement(&hook_state.rounds) == 1 && hook_state.end_on_first_round) {
    end_process(*record, 0);
  }
}

// Installs the hook for one test and takes it out again.
class WaitHook {
 public:
  explicit WaitHook(bool end_on_first_round) {
    hook_state.rounds = 0;
    hook_state.end_on_first_round = end_on_first_round;
    patch_set_wait_hook(count_round_and_maybe_end);
  }
  ~WaitHook() { patch_set_wait_hook(NULL); }
  LONG rounds() const { return hook_state.rounds; }
};

TEST(PatchProcess, AProcessThatEndsJustAfterItWasSeenRunningEndsTheWait) {
  LAUNCHED_PROCESS record = suspended_process();
  ASSERT_NE(nullptr, record.process_information.hProcess);
  WaitHook hook(true);  // the process ends between the two looks
  Waiter waiter(record);
  EXPECT_TRUE(waiter.returned(5000)) << "the wait slept on with no message to wake it";
  EXPECT_EQ(1, hook.rounds());
  end_process(record, 0);
}

TEST(PatchProcess, ExitCode259IsLookedAtAgainAndAgainWithShortSleeps) {
  LAUNCHED_PROCESS record = suspended_process();
  ASSERT_NE(nullptr, record.process_information.hProcess);
  end_process(record, STILL_ACTIVE);
  WaitHook hook(false);
  Waiter waiter(record);
  Sleep(100);
  LONG before = hook.rounds();
  double cpu_before = thread_cpu_ms(waiter.thread());
  EXPECT_FALSE(waiter.returned(1000)) << "259 means still active";
  EXPECT_GE(hook.rounds() - before, 5) << "with no message, the wait must still go round";
  EXPECT_LT(thread_cpu_ms(waiter.thread()) - cpu_before, 100.0) << "polling without sleeping";
  waiter.post_app();
  EXPECT_TRUE(waiter.wait_dispatched(1)) << "messages are still dispatched";
}

}  // namespace
