// Directory scan: what is reported, in which order, and the ticks.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Utilfile.h"
#include "platform.h"
#include "testutil.h"

namespace {

std::vector<std::string> reports;
int ticks = 0;

void record(const char *path, int32_t kind) {
  if (kind == UTILFILE_KIND_TICK) {
    EXPECT_EQ(nullptr, path) << "a tick carries no path";
    ticks++;
    return;
  }
  reports.push_back(std::string(kind == UTILFILE_KIND_DIRECTORY ? "D " : "F ") + path);
}

// top\A.TXT, top\b.txt, top\empty\, top\sub\c.txt, top\sub\deeper\d.txt
class UtilfileScan : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char *dir : {"top", "top\\sub", "top\\sub\\deeper", "top\\empty"})
      ASSERT_EQ(1, PLATFORM_create_directory(dir));
    for (const char *file : {"top/b.txt", "top/A.TXT", "top/sub/c.txt", "top/sub/deeper/d.txt"})
      fnal_test::write_file(file, "x");
    reports.clear();
    ticks = 0;
  }
  fnal_test::TempWorkDir dir;
};

}  // namespace

TEST_F(UtilfileScan, ReportsEachLevelThenWalksSubfoldersDepthFirst) {
  EXPECT_EQ(1, UTILFILE_file_scan("*.*", "top", record, UTILFILE_RECURSIVE));
  EXPECT_EQ((std::vector<std::string>{"F top\\A.TXT", "F top\\b.txt", "D top\\empty", "D top\\sub",
                                      "F top\\sub\\c.txt", "D top\\sub\\deeper",
                                      "F top\\sub\\deeper\\d.txt"}),
            reports);
  // Two passes per folder, each one tick before find-first and one before
  // every find-next: 1 + entries listed, "." and ".." included.
  EXPECT_EQ(2 * (7 + 3 + 5 + 4), ticks);
}

TEST_F(UtilfileScan, PatternFiltersReportsButEverySubfolderIsWalked) {
  UTILFILE_file_scan("*.txt", "top", record, UTILFILE_RECURSIVE);
  EXPECT_EQ((std::vector<std::string>{"F top\\A.TXT", "F top\\b.txt", "F top\\sub\\c.txt",
                                      "F top\\sub\\deeper\\d.txt"}),
            reports);
}

TEST_F(UtilfileScan, WithoutTheRecursiveFlagOnlyTheFolderItself) {
  UTILFILE_file_scan("*.*", "top\\sub", record, 0);
  EXPECT_EQ((std::vector<std::string>{"F top\\sub\\c.txt", "D top\\sub\\deeper"}), reports);
  EXPECT_EQ(5, ticks);
}

TEST_F(UtilfileScan, DirectoryIsJoinedAsGiven) {
  UTILFILE_file_scan("*.*", "top\\sub\\deeper\\", record, UTILFILE_RECURSIVE);
  EXPECT_EQ((std::vector<std::string>{"F top\\sub\\deeper\\\\d.txt"}), reports);
}

TEST_F(UtilfileScan, MissingFolderReportsOnlyTicksAndNullArgumentsNothing) {
  EXPECT_EQ(1, UTILFILE_file_scan("*.*", "nothere", record, UTILFILE_RECURSIVE));
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(2, ticks) << "one tick before each failed find-first";
  ticks = 0;
  EXPECT_EQ(1, UTILFILE_file_scan(nullptr, "top", record, UTILFILE_RECURSIVE));
  EXPECT_EQ(1, UTILFILE_file_scan("*.*", nullptr, record, UTILFILE_RECURSIVE));
  EXPECT_EQ(1, UTILFILE_file_scan("*.*", "top", nullptr, UTILFILE_RECURSIVE));
  EXPECT_EQ(0, ticks);
}

TEST_F(UtilfileScan, AFolderWhoseSearchPathDoesNotFitIsNotListed) {
  std::string long_dir = "top\\" + std::string(UTILFILE_PATH_SIZE - 8, 'x');
  UTILFILE_file_scan("*.*", long_dir.c_str(), record, UTILFILE_RECURSIVE);
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(0, ticks) << "the search pattern itself does not fit";
}
