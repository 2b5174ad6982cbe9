// Diagnostics: tagged lines, assertions, the call-stack trace, the trace ring
// buffer, watch data and the retail log, checked through "develop.dbg".
#include <string>

#include <gtest/gtest.h>

#include "testutil.h"
#include "vbug.h"

using fnal_test::DiagnosticsCapture;
using fnal_test::read_text;
using fnal_test::TempWorkDir;

namespace {

const char kTraceBanner[] = "~~~~~~~~START OF TRACE BUFFER DUMP~~~~~~~\n";
const char kTraceEnd[] = "~~~~~~~~END OF TRACE BUFFER DUMP~~~~~~~\n";

int callback_calls;
int callback_value;
void record_callback(int32_t value) {
  callback_calls++;
  callback_value = value;
}

}  // namespace

TEST(VbugShortFileName, TakesTheNameAfterTheLastBackslashCutToEightWithoutExtension) {
  struct Case {
    const char *path;
    const char *expected;
  } cases[] = {
      {"libfnal\\source\\memory.cpp", "memory"},
      {"Vxstring.cpp", "Vxstring"},               // no backslash: shortened from its start
      {"c:\\src\\verylongname.cpp", "verylong"},  // dot beyond the eighth character stays
      {"c:\\src\\a.b.c", "a.b"},                  // only the last dot cuts
      {"dir\\", ""},
  };
  for (const auto &c : cases) {
    char out[9];
    vbug_short_file_name(c.path, out);
    EXPECT_STREQ(c.expected, out) << c.path;
  }
}

TEST(VbugMessage, WritesTheTaggedLineToDevelopDbg) {
  DiagnosticsCapture cap(VBUG_FLAG_MESSAGE);
  VBUG_message("libfnal\\source\\memory.cpp", 123, "MEMORY_allocate failed (%s, %d)", "x.cpp", 7);
  VBUG_message("c:\\src\\verylongname.cpp", 4, "two");
  EXPECT_EQ(
      "[  memory,  123] MEMORY_allocate failed (x.cpp, 7)\n"
      "[verylong,    4] two\n",
      cap.develop());
}

TEST(VbugMessage, CutsAnOverlongTextAt1023Characters) {
  DiagnosticsCapture cap(VBUG_FLAG_MESSAGE);
  std::string text(3000, 'x');
  VBUG_message("a.cpp", 1, "%s", text.c_str());
  std::string expected = "[       a,    1] " + std::string(1023, 'x') + "\n";
  EXPECT_EQ(expected, cap.develop());
}

TEST(VbugMessage, AllZeroRecordDiscardsButRetailLogStillAppends) {
  TempWorkDir dir;
  ASSERT_EQ(0u, VBUG_flags);
  VBUG_message("a.cpp", 1, "dropped");
  VBUG_retail_message("Unable to open big file, module is not initialised\n");
  VBUG_retail_message("second %d\n", 2);
  EXPECT_EQ("", read_text("develop.dbg"));
  EXPECT_EQ("Unable to open big file, module is not initialised\nsecond 2\n",
            read_text("retail.dbg"));
}

TEST(VbugAssert, ReportsOnlyAFalseConditionAndCallsTheCallbackAfterDeinitialising) {
  TempWorkDir dir;
  ASSERT_EQ(1, VBUG_initialise(8, 4, 1, VBUG_FLAG_ASSERT, VBUG_OUTPUT_FILE, record_callback));
  callback_calls = 0;
  VBUG_assert(1, "stack != NULL", "src\\Vstack.cpp", 10, "%s", "");
  EXPECT_EQ("", read_text("develop.dbg"));
  EXPECT_EQ(0, callback_calls);
  VBUG_assert(0, "stack != NULL", "src\\Vstack.cpp", 77, "extra %d", 5);
  EXPECT_EQ("[  Vstack,   77] (ASSERT FAILURE: stack != NULL) extra 5\n", read_text("develop.dbg"));
  EXPECT_EQ(1, callback_calls);
  EXPECT_EQ(1, callback_value);
  EXPECT_EQ(0u, VBUG_flags) << "the callback runs after the module was deinitialised";
  EXPECT_EQ(0, VBUG_output_kind());
}

TEST(VbugAssert, WithoutCallbackExecutionContinues) {
  DiagnosticsCapture cap(VBUG_FLAG_ASSERT);
  VBUG_assert(0, "a", "x.cpp", 1, "%s", "");
  VBUG_assert(0, "b", "x.cpp", 2, "%s", "");
  EXPECT_EQ("[       x,    1] (ASSERT FAILURE: a) \n[       x,    2] (ASSERT FAILURE: b) \n",
            cap.develop());
  EXPECT_EQ(VBUG_FLAG_ASSERT, VBUG_flags);
}

TEST(VbugCallstack, DumpListsNewestFirstBetweenBanners) {
  TempWorkDir dir;
  ASSERT_EQ(1, VBUG_initialise(8, 4, 0, VBUG_FLAG_CALLSTACK, VBUG_OUTPUT_FILE, nullptr));
  VBUG_enter("outer", "src\\a.cpp", 10);
  VBUG_enter("inner", "src\\b.cpp", 20);
  VBUG_enter("gone", "src\\c.cpp", 30);
  VBUG_leave("gone", "src\\c.cpp", 31);
  VBUG_deinitialise();
  EXPECT_EQ(
      "~~~~~~~~START OF CALLSTACK DUMP - 2 most recent calls~~~~~~~\n"
      "File: src\\b.cpp,  Function: inner, Line: 20\n"
      "File: src\\a.cpp,  Function: outer, Line: 10\n"
      "~~~~~~~~END OF CALLSTACK DUMP - older calls~~~~~~~\n",
      read_text("develop.dbg"));
}

TEST(VbugCallstack, EmptyStackDumpsOnlyTheBannersWithZero) {
  TempWorkDir dir;
  ASSERT_EQ(1, VBUG_initialise(8, 4, 0, VBUG_FLAG_CALLSTACK, VBUG_OUTPUT_FILE, nullptr));
  VBUG_deinitialise();
  EXPECT_EQ(
      "~~~~~~~~START OF CALLSTACK DUMP - 0 most recent calls~~~~~~~\n"
      "~~~~~~~~END OF CALLSTACK DUMP - older calls~~~~~~~\n",
      read_text("develop.dbg"));
}

TEST(VbugCallstack, OverflowIsReportedAndNotRecorded) {
  DiagnosticsCapture cap(VBUG_FLAG_MESSAGE, 8, 2);
  VBUG_enter("one", "a.cpp", 1);
  VBUG_enter("two", "a.cpp", 2);
  VBUG_enter("three", "a.cpp", 3);
  EXPECT_EQ(1, VBUG_callstack_depth());
  std::string log = cap.develop();
  EXPECT_NE(std::string::npos, log.find("[    vbug,"));
  EXPECT_NE(
      std::string::npos,
      log.find("] Callstack full. Unmatched ENTER/LEAVE or more than 2 (the initial size). \n"));
}

TEST(VbugCallstack, UnderflowResetsTheDepthToMinusOne) {
  DiagnosticsCapture cap(VBUG_FLAG_MESSAGE);
  VBUG_leave("x", "a.cpp", 1);
  EXPECT_EQ(-1, VBUG_callstack_depth());
  EXPECT_NE(std::string::npos,
            cap.develop().find("] Stack empty. Resetting current_callstack_depth.\n\n"));
  VBUG_enter("y", "a.cpp", 2);
  EXPECT_EQ(0, VBUG_callstack_depth());
}

TEST(VbugTraceBuffer, KeepsTheNewestBytesAndDumpsFromTheOldestWithoutUnwrittenSpace) {
  TempWorkDir dir;
  ASSERT_EQ(1, VBUG_initialise(4, 4, 0, VBUG_FLAG_MESSAGE, VBUG_OUTPUT_TRACE_BUFFER, nullptr));
  const std::string line = "[       a,    1] x\n";  // 19 bytes into a 16-byte ring
  const std::string newest = line.substr(line.size() - 16);
  VBUG_message("a.cpp", 1, "x");
  VBUG_dump_trace_buffer();
  EXPECT_EQ(std::string(kTraceBanner) + newest + kTraceEnd, read_text("develop.dbg"));
  fnal_test::write_file("develop.dbg", "");
  VBUG_deinitialise();  // messages on: the dump runs again, from the same start
  EXPECT_EQ(std::string(kTraceBanner) + newest + kTraceEnd, read_text("develop.dbg"));
}

TEST(VbugTraceBuffer, PartlyWrittenBufferDumpsOnlyWhatWasWritten) {
  TempWorkDir dir;
  ASSERT_EQ(1, VBUG_initialise(10, 4, 0, 0, VBUG_OUTPUT_TRACE_BUFFER, nullptr));
  VBUG_message("a.cpp", 2, "first");
  VBUG_message("a.cpp", 3, "second");
  VBUG_dump_trace_buffer();
  EXPECT_EQ(
      std::string(kTraceBanner) + "[       a,    2] first\n[       a,    3] second\n" + kTraceEnd,
      read_text("develop.dbg"));
  VBUG_deinitialise();
}

TEST(VbugNotInitialised, EachBufferUserLeavesItsNotice) {
  TempWorkDir dir;
  VBUG_enter("f", "a.cpp", 1);
  VBUG_dump_trace_buffer();
  EXPECT_EQ(
      "You must call VBUG_initialise with a size to initialise the callstack_data \nbuffer, or "
      "VBUG_deinitialise was called which freed the buffer.\n"
      "You must call VBUG_initialise with a size to initialise the trace buffer, or "
      "VBUG_deinitialise was called which freed the buffer.\n",
      read_text("develop.dbg"));
}

TEST(VbugWatch, DumpsTextAndIntegerRecordsAndSkipsUnsetOnes) {
  TempWorkDir dir;
  ASSERT_EQ(1, VBUG_initialise(8, 4, 3, VBUG_FLAG_WATCH, VBUG_OUTPUT_FILE, nullptr));
  EXPECT_EQ(1, VBUG_watch_text(0, "layout", "install"));
  EXPECT_EQ(1, VBUG_watch_int(2, "blocks", -4));
  EXPECT_EQ(0, VBUG_watch_int(3, "past", 1));
  VBUG_deinitialise();
  EXPECT_EQ(
      "~~~~~~~ START OF WATCH DATA OUTPUT ~~~~~~~\n"
      "layout = install\n"
      "blocks = -4\n"
      "~~~~~~~ END OF WATCH DATA OUTPUT ~~~~~~~\n",
      read_text("develop.dbg"));
}

TEST(VbugWatch, TextIsCutAt1023CharactersAndANullTextIsStoredAsNULL) {
  TempWorkDir dir;
  ASSERT_EQ(1, VBUG_initialise(8, 4, 2, VBUG_FLAG_WATCH, VBUG_OUTPUT_FILE, nullptr));
  std::string text(3000, 'x');
  EXPECT_EQ(1, VBUG_watch_text(0, "long", text.c_str()));
  EXPECT_EQ(1, VBUG_watch_text(1, "none", nullptr));
  VBUG_deinitialise();
  EXPECT_EQ(
      "~~~~~~~ START OF WATCH DATA OUTPUT ~~~~~~~\n"
      "long = " +
          std::string(1023, 'x') +
          "\n"
          "none = NULL\n"
          "~~~~~~~ END OF WATCH DATA OUTPUT ~~~~~~~\n",
      read_text("develop.dbg"));
}

TEST(VbugWatch, NoRecordsGivesOnlyTheBanners) {
  TempWorkDir dir;
  ASSERT_EQ(1, VBUG_initialise(8, 4, 0, VBUG_FLAG_WATCH, VBUG_OUTPUT_FILE, nullptr));
  VBUG_deinitialise();
  EXPECT_EQ(
      "~~~~~~~ START OF WATCH DATA OUTPUT ~~~~~~~\n"
      "~~~~~~~ END OF WATCH DATA OUTPUT ~~~~~~~\n",
      read_text("develop.dbg"));
}

TEST(VbugInitialise, RefusesBadSizesAndASecondCall) {
  TempWorkDir dir;
  EXPECT_EQ(0, VBUG_initialise(0, 4, 0, 1, 1, nullptr));
  EXPECT_EQ(0, VBUG_initialise(8, 0, 0, 1, 1, nullptr));
  EXPECT_EQ(0, VBUG_initialise(8, 4, -1, 1, 1, nullptr));
  EXPECT_EQ(0u, VBUG_flags);
  ASSERT_EQ(1, VBUG_initialise(8, 4, 0, 0, 1, nullptr));
  EXPECT_EQ(0, VBUG_initialise(8, 4, 0, 0, 1, nullptr));
  VBUG_deinitialise();
}

TEST(VbugGating, SwitchedOffMacrosDoNotEvaluateTheirArguments) {
#define VBUG_SOURCE "tests\\vbug_test.cpp"
  TempWorkDir dir;
  int evaluated = 0;
  VBUG_MESSAGE("%d", ++evaluated);
  VBUG_ASSERT(++evaluated == 0);
  EXPECT_EQ(0, evaluated);
  ASSERT_EQ(
      1, VBUG_initialise(8, 4, 0, VBUG_FLAG_MESSAGE | VBUG_FLAG_ASSERT, VBUG_OUTPUT_FILE, nullptr));
  VBUG_MESSAGE("value %d", ++evaluated);
  VBUG_ASSERT(++evaluated == 0);
  VBUG_deinitialise();
  EXPECT_EQ(2, evaluated);
  std::string log = read_text("develop.dbg");
  EXPECT_NE(std::string::npos, log.find("[vbug_tes,"));
  EXPECT_NE(std::string::npos, log.find("] value 1\n"));
  EXPECT_NE(std::string::npos, log.find("] (ASSERT FAILURE: ++evaluated == 0) \n"));
#undef VBUG_SOURCE
}
