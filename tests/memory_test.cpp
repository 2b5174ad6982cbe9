// The tracked allocator: slots, header, guards, validation and the leak report.
#define VBUG_SOURCE "tests\\memory_test.cpp"
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "memory.h"
#include "testutil.h"
#include "vbug.h"

namespace {

int32_t header_int(const void *user, int distance) {
  int32_t value;
  memcpy(&value, (const uint8_t *)user - distance, sizeof value);
  return value;
}
const char *header_text(const void *user, int distance) {
  return (const char *)user - distance;
}

// Memory up with diagnostics captured; settings restored afterwards.
class MemoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MEMORY_num_indices = 50;
    MEMORY_skip_head_foot_check = 1;
    ASSERT_EQ(1, MEMORY_initialise());
  }
  void TearDown() override {
    MEMORY_deinitialise();  // refused harmlessly when a test left it down
    MEMORY_num_indices = 50;
    MEMORY_skip_head_foot_check = 1;
  }
  bool logged(const std::string &text) const {
    return cap_.develop().find("] " + text + "\n") != std::string::npos;
  }
  fnal_test::DiagnosticsCapture cap_{VBUG_FLAG_MESSAGE};
};

}  // namespace

TEST_F(MemoryTest, HandsOutSlotsFromTheTopAndGrowsByFifty) {
  std::vector<void *> blocks(51, nullptr);
  for (int i = 0; i < 51; i++) {
    blocks[i] = MEMORY_ALLOC(nullptr, 8, MEMORY_NO_FILL, "slot");
    ASSERT_NE(nullptr, blocks[i]);
  }
  EXPECT_EQ(49, header_int(blocks[0], 148));
  EXPECT_EQ(48, header_int(blocks[1], 148));
  EXPECT_EQ(0, header_int(blocks[49], 148));
  EXPECT_EQ(99, header_int(blocks[50], 148)) << "the 51st block comes from the grown table";
  EXPECT_EQ(100, MEMORY_num_indices);
  EXPECT_EQ(51, MEMORY_live_blocks());
  for (void *&block : blocks) EXPECT_EQ(1, MEMORY_FREE(block));
  EXPECT_EQ(0, MEMORY_live_blocks());
}

TEST_F(MemoryTest, HeaderHoldsMagicDescriptionSizeFileAndLine) {
  void *p = MEMORY_allocate(nullptr, 40, MEMORY_ZERO_FILL, "a description longer than 23 chars",
                            "c:\\work\\libfnal\\source\\verylongname.cpp", 321);
  ASSERT_NE(nullptr, p);
  EXPECT_EQ(0x004D454D, header_int(p, 180));
  EXPECT_STREQ("a description longer th", header_text(p, 176));
  EXPECT_EQ(40, header_int(p, 152));
  EXPECT_STREQ("verylong", header_text(p, 144));
  EXPECT_EQ(321, header_int(p, 132));
  EXPECT_EQ(0u, (uintptr_t)p % alignof(max_align_t)) << "user pointers suit any type";
  EXPECT_EQ(std::string(40, '\0'), std::string((char *)p, 40));
  MEMORY_FREE(p);

  p = MEMORY_allocate(nullptr, 4, MEMORY_FF_FILL, nullptr, "memory.cpp", 1);
  EXPECT_STREQ("No Description", header_text(p, 176));
  EXPECT_STREQ("memory", header_text(p, 144));
  EXPECT_EQ(std::string(4, '\xFF'), std::string((char *)p, 4));
  MEMORY_FREE(p);
}

TEST_F(MemoryTest, RefusesNonPositiveSizesWithoutTakingASlot) {
  for (int32_t size : {0, -5}) {
    EXPECT_EQ(nullptr, MEMORY_allocate(nullptr, size, 0, "zero", "x\\caller.cpp", 9));
    EXPECT_TRUE(
        logged("MEMORY_allocate failed (x\\caller.cpp, 9): zero size = " + std::to_string(size)));
  }
  void *p = MEMORY_ALLOC(nullptr, 1, 0, "next");
  EXPECT_EQ(49, header_int(p, 148)) << "the refused calls must not have used a slot";
  MEMORY_FREE(p);
}

TEST_F(MemoryTest, PreviousValueOnlyWarns) {
  void *first = MEMORY_ALLOC(nullptr, 4, 0, "first");
  void *second = MEMORY_allocate(first, 4, 0, "second", "x.cpp", 3);
  ASSERT_NE(nullptr, second);
  EXPECT_TRUE(logged("MEMORY_allocate (x.cpp, 3): previous data not freed second"));
  EXPECT_EQ(2, MEMORY_live_blocks());
  MEMORY_FREE(first);
  MEMORY_FREE(second);
}

TEST_F(MemoryTest, DeallocateTwiceFindsNull) {
  void *p = MEMORY_ALLOC(nullptr, 4, 0, "once");
  EXPECT_EQ(1, MEMORY_deallocate(&p, "x.cpp", 5));
  EXPECT_EQ(nullptr, p);
  EXPECT_EQ(0, MEMORY_deallocate(&p, "x.cpp", 6));
  EXPECT_TRUE(logged("MEMORY_deallocate failed (x.cpp, 6): mem block parameter NULL"));
}

TEST_F(MemoryTest, ForeignPointerIsReportedNotFreedAndAnswersOne) {
  std::vector<uint8_t> foreign(512, 0x11);
  void *p = foreign.data() + 256;
  EXPECT_EQ(1, MEMORY_deallocate(&p, "x.cpp", 7));
  EXPECT_EQ(foreign.data() + 256, p) << "the caller's variable stays unchanged";
  EXPECT_TRUE(logged("MEMORY_check_entry: Not valid memory block or corruption"));
  EXPECT_TRUE(logged("MEMORY_deallocate error (x.cpp, 7): not a valid memory pointer"));
  EXPECT_TRUE(logged("Or Corruption has occured."));
  EXPECT_EQ(nullptr, MEMORY_reallocate(p, 600));
  EXPECT_TRUE(logged("MEMORY_reallocate error: not a valid memory pointer"));
}

TEST_F(MemoryTest, WrongSlotInHeaderIsMemoryCorruption) {
  void *p = MEMORY_ALLOC(nullptr, 4, 0, "slot");
  int32_t bad = 7;
  memcpy((uint8_t *)p - 148, &bad, sizeof bad);
  EXPECT_EQ(-1, memory_check_entry(p, 0));
  EXPECT_TRUE(logged("MEMORY_check_entry: memory corruption"));
  EXPECT_EQ(0, MEMORY_change_description(p, "x"));
  EXPECT_TRUE(logged("MEMORY_change_description failed: memory corrupt"));
  int32_t good = 49;
  memcpy((uint8_t *)p - 148, &good, sizeof good);
  EXPECT_EQ(49, memory_check_entry((uint8_t *)p - 180, 1)) << "block start form";
  MEMORY_FREE(p);
}

TEST_F(MemoryTest, GuardsCatchOverrunsOnlyWhenSwitchedOn) {
  MEMORY_skip_head_foot_check = 0;
  void *p = MEMORY_ALLOC(nullptr, 16, 0, "guarded");
  EXPECT_EQ(49, memory_check_entry(p, 0));
  ((uint8_t *)p)[16] = 0;  // one byte past the user area
  EXPECT_EQ(-1, memory_check_entry(p, 0));
  EXPECT_TRUE(logged("MEMORY_check_entry: foot corruption"));
  ((uint8_t *)p)[16] = 0xEF;
  ((uint8_t *)p)[-1] = 0;  // last byte of the head guard
  EXPECT_EQ(-1, memory_check_entry(p, 0));
  EXPECT_TRUE(logged("MEMORY_check_entry: lead corruption"));
  ((uint8_t *)p)[-1] = 0xDE;
  EXPECT_EQ(1, MEMORY_FREE(p));
  EXPECT_EQ(nullptr, p);

  MEMORY_skip_head_foot_check = 1;
  void *q = MEMORY_ALLOC(nullptr, 16, 0, "unguarded");
  ((uint8_t *)q)[16] = 0;
  EXPECT_EQ(49, memory_check_entry(q, 0));
  MEMORY_FREE(q);
}

TEST_F(MemoryTest, ReallocateGrowsKeepsContentsAndRefusesShrinking) {
  MEMORY_skip_head_foot_check = 0;
  char *p = (char *)MEMORY_ALLOC(nullptr, 8, 0, "grow");
  memcpy(p, "1234567", 8);
  EXPECT_EQ(p, MEMORY_reallocate(p, 4));
  EXPECT_TRUE(
      logged("MEMORY_reallocate error: new size 4 is less than old size 8"
             "extra memory not allocated"));
  EXPECT_EQ(8, header_int(p, 152));
  char *q = (char *)MEMORY_reallocate(p, 5000);
  ASSERT_NE(nullptr, q);
  EXPECT_STREQ("1234567", q);
  EXPECT_EQ(5000, header_int(q, 152));
  EXPECT_EQ(49, memory_check_entry(q, 0)) << "the moved block is registered with a new foot";
  EXPECT_EQ(nullptr, MEMORY_reallocate(nullptr, 8));
  EXPECT_TRUE(logged("MEMORY_reallocate failed: mem block parameter NULL"));
  MEMORY_FREE(q);
}

// Released blocks wait for reuse: a reused block is whole and fresh (header,
// guards, fill) whatever the foot size was when it was taken, and one still
// in waiting is unreadable under the address sanitizer.
TEST_F(MemoryTest, ReleasedBlocksComeBackWholeAndStayUnreadableMeanwhile) {
  MEMORY_skip_head_foot_check = 0;
  const int32_t sizes[] = {1, 16, 100, 4096, 5000, 70000};
  for (int32_t size : sizes) {
    void *first = MEMORY_ALLOC(nullptr, size, MEMORY_FF_FILL, "first");
    ASSERT_NE(nullptr, first);
    MEMORY_foot_size = 512;
    MEMORY_FREE(first);  // taken with the short foot, released with the long one
    uint8_t *again = (uint8_t *)MEMORY_ALLOC(nullptr, size, MEMORY_ZERO_FILL, "again");
    ASSERT_NE(nullptr, again);
    EXPECT_EQ(std::vector<uint8_t>((size_t)size, 0), std::vector<uint8_t>(again, again + size));
    EXPECT_STREQ("again", header_text(again, 176));
    EXPECT_EQ(size, header_int(again, 152));
    EXPECT_EQ(49, memory_check_entry(again, 0)) << "size " << size;
    memset(again + size + 128, 0, 512 - 128);  // the long foot is all there past its guards
    MEMORY_foot_size = 128;
    MEMORY_FREE(again);  // and the other way round
  }
  std::vector<void *> many(2000, nullptr);  // more than the waiting room holds
  for (void *&block : many) block = MEMORY_ALLOC(nullptr, 1000, MEMORY_NO_FILL, "many");
  for (void *&block : many) EXPECT_EQ(1, MEMORY_FREE(block));
  EXPECT_EQ(0, MEMORY_live_blocks());
#if defined(__SANITIZE_ADDRESS__)
  void *stale = MEMORY_ALLOC(nullptr, 16, MEMORY_NO_FILL, "stale");
  void *kept = stale;
  MEMORY_FREE(stale);
  EXPECT_DEATH(*(volatile uint8_t *)kept = 1, "use-after-poison");
#endif
}

TEST_F(MemoryTest, ChangeDescriptionRefusesNulls) {
  void *p = MEMORY_ALLOC(nullptr, 4, 0, "old");
  EXPECT_EQ(1, MEMORY_change_description(p, "new"));
  EXPECT_STREQ("new", header_text(p, 176));
  EXPECT_EQ(0, MEMORY_change_description(nullptr, "x"));
  EXPECT_TRUE(logged("MEMORY_change_description failed: mem_block is NULL"));
  EXPECT_EQ(0, MEMORY_change_description(p, nullptr));
  EXPECT_TRUE(logged("MEMORY_change_description failed: description is NULL"));
  MEMORY_FREE(p);
}

TEST_F(MemoryTest, DeinitialiseReportsLeaksOnlyWhenABlockIsLive) {
  void *p = MEMORY_ALLOC(nullptr, 4, 0, "freed");
  MEMORY_FREE(p);
  EXPECT_EQ(1, MEMORY_deinitialise());
  EXPECT_FALSE(logged("MEMORY_deinitialise error: memory leaks detected"));

  ASSERT_EQ(1, MEMORY_initialise());
  void *leak = MEMORY_ALLOC(nullptr, 64, 0, "leaked");
  ASSERT_NE(nullptr, leak);
  EXPECT_EQ(1, MEMORY_deinitialise());  // frees the leaked block (ASan would see a leak)
  EXPECT_TRUE(logged("MEMORY_deinitialise error: memory leaks detected"));
  EXPECT_EQ(0, MEMORY_deinitialise());
  EXPECT_TRUE(logged("MEMORY_deinitialise failed: not initialised"));
  ASSERT_EQ(1, MEMORY_initialise());
}

TEST_F(MemoryTest, EveryOperationRefusesWhileNotInitialised) {
  ASSERT_EQ(1, MEMORY_deinitialise());
  void *p = nullptr;
  EXPECT_EQ(nullptr, MEMORY_allocate(nullptr, 4, 0, "x", "y.cpp", 2));
  EXPECT_TRUE(logged("MEMORY_allocate failed (y.cpp, 2): data not initialised"));
  EXPECT_EQ(0, MEMORY_deallocate(&p, "y.cpp", 3));
  EXPECT_TRUE(logged("MEMORY_deallocate failed (y.cpp, 3): data not initialised"));
  EXPECT_EQ(nullptr, MEMORY_reallocate(&p, 4));
  EXPECT_TRUE(logged("MEMORY_reallocate failed: data not initialised"));
  ASSERT_EQ(1, MEMORY_initialise());
  EXPECT_EQ(0, MEMORY_initialise());
  EXPECT_TRUE(logged("MEMORY_initialise failed: already initialised"));
}
