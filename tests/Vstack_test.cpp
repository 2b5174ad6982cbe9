// The pointer stack: capacity, order, growth and refusals.
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "Vstack.h"
#include "testutil.h"
#include "vbug.h"

namespace {

// Pushes 0..count-1 as 4-byte integers.
void fill(VSTACK *stack, int32_t count) {
  for (int32_t i = 0; i < count; i++) ASSERT_EQ(1, VSTACK_push(stack, &i)) << i;
}

}  // namespace

TEST(Vstack, AcceptsExactlyCapacityPushesAndPopsInReverse) {
  VSTACK *stack = VSTACK_allocate(5, sizeof(int32_t));
  ASSERT_NE(nullptr, stack);
  EXPECT_EQ(1, VSTACK_is_empty(stack));
  fill(stack, 5);
  EXPECT_EQ(1, VSTACK_is_full(stack));
  int32_t extra = 99;
  uint8_t *top = stack->top;
  EXPECT_EQ(0, VSTACK_push(stack, &extra));
  EXPECT_EQ(top, stack->top) << "a refused push must not move top";
  for (int32_t expected = 4; expected >= 0; expected--) {
    int32_t value = -1;
    ASSERT_EQ(1, VSTACK_pop(stack, &value));
    EXPECT_EQ(expected, value);
  }
  int32_t value = 7;
  EXPECT_EQ(0, VSTACK_pop(stack, &value));
  EXPECT_EQ(7, value);
  VSTACK_deallocate(&stack);
  EXPECT_EQ(nullptr, stack);
  VSTACK_deallocate(&stack);  // already null: nothing happens
  EXPECT_EQ(nullptr, stack);
}

TEST(Vstack, StoresPointerValuesWholeOnEveryTarget) {
  VSTACK *stack = VSTACK_allocate(2, sizeof(char *));
  ASSERT_NE(nullptr, stack);
  char a[] = "a", b[] = "b";
  char *pa = a, *pb = b, *out = nullptr;
  VSTACK_push(stack, &pa);
  VSTACK_push(stack, &pb);
  VSTACK_pop(stack, &out);
  EXPECT_EQ(pb, out);
  VSTACK_pop(stack, &out);
  EXPECT_EQ(pa, out);
  VSTACK_deallocate(&stack);
}

TEST(Vstack, ReallocateKeepsElementsAndFillAndRefusesNoGrowth) {
  fnal_test::DiagnosticsCapture cap(VBUG_FLAG_MESSAGE);
  VSTACK *stack = VSTACK_allocate(3, sizeof(int32_t));
  fill(stack, 3);
  EXPECT_EQ(nullptr, VSTACK_reallocate(stack, 3));
  EXPECT_NE(std::string::npos,
            cap.develop().find("] VSTACK_reallocate: cannot realloc less than currentsize!\n"));
  EXPECT_EQ(nullptr, VSTACK_reallocate(nullptr, 9));
  EXPECT_NE(std::string::npos, cap.develop().find("] VSTACK_reallocate: stack pointer is NULL\n"));
  VSTACK *grown = VSTACK_reallocate(stack, 6);
  ASSERT_NE(nullptr, grown);
  stack = grown;
  EXPECT_EQ(0, VSTACK_is_full(stack));
  int32_t more = 3;
  EXPECT_EQ(1, VSTACK_push(stack, &more));
  for (int32_t expected = 3; expected >= 0; expected--) {
    int32_t value;
    ASSERT_EQ(1, VSTACK_pop(stack, &value));
    EXPECT_EQ(expected, value);
  }
  VSTACK_deallocate(&stack);
}

TEST(Vstack, NullElementPushIsRefusedReportedAndDumpsTheTrace) {
  fnal_test::TempWorkDir dir;
  ASSERT_EQ(1, VBUG_initialise(8, 4, 0, VBUG_FLAG_MESSAGE, VBUG_OUTPUT_TRACE_BUFFER, nullptr));
  VSTACK *stack = VSTACK_allocate(2, sizeof(int32_t));
  EXPECT_EQ(0, VSTACK_push(stack, nullptr));
  EXPECT_EQ(1, VSTACK_is_empty(stack));
  std::string log = fnal_test::read_text("develop.dbg");
  EXPECT_NE(std::string::npos, log.find("~~~~~~~~START OF TRACE BUFFER DUMP~~~~~~~\n"));
  EXPECT_NE(std::string::npos, log.find("] STACK ERROR: data pointer is NULL cannot push it!\n\n"));
  VSTACK_deallocate(&stack);
  VBUG_deinitialise();
}

TEST(Vstack, RefusesSizesThatCannotBeHeld) {
  fnal_test::DiagnosticsCapture cap(VBUG_FLAG_MESSAGE);
  EXPECT_EQ(nullptr, VSTACK_allocate(0, 4));
  EXPECT_EQ(nullptr, VSTACK_allocate(4, -1));
  EXPECT_EQ(nullptr, VSTACK_allocate(0x10000, 0x10000));
  EXPECT_NE(std::string::npos,
            cap.develop().find("] VSTACK_allocate failed to allocate memory for stack\n"));
}
