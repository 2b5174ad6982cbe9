// The portable part of the launcher's actions: the installed version read
// from its text and compared with the patch's, and every path the install
// hand-off and the patch check build, up to the limits of their buffers.
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "InstallPlan.h"
#include "PatchPlan.h"

namespace {

// ---------------------------------------------------------------------------
// compute_version and the comparison with PATCH_VERSION

TEST(ComputeVersion, DecidesWhetherThePatchRuns) {
  struct Case {
    const char *text;
    bool patch_runs;
  };
  const Case cases[] = {
      {"V1.0001", false}, {"V1.0000", true},  {"V0.9999", true},
      {"V0.0000", true},  {"V1.0002", false}, {"V1.0010", false},
      {"V2.0000", false}, {"V:.0000", false}, {"x1y0001", false},  // positions 0 and 2 are not read
      {"V1.000/", true},                                           // '/' is -1 in the last place
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.patch_runs, compute_version(c.text) < PATCH_VERSION);
  }
}

TEST(ComputeVersion, GivesExactlyTheFloatOfTheDoubleSum) {
  struct Case {
    const char *text;
    float value;
  };
  const Case cases[] = {
      {"V1.0001", PATCH_VERSION},                       // equal: up to date
      {"V1.0000", 1.0f},           {"V:.0000", 10.0f},  // a colon counts as 10
      {"V\xB0.0000", -128.0f},                          // a signed byte: 0xB0 is -80, minus '0'
      {"V0.0025", 0x1.47ae16p-9f},  // summing in float, or in decimal, gives 0x1.47ae14p-9
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.value, compute_version(c.text));
  }
}

// ---------------------------------------------------------------------------
// Patch paths

std::string repeat(char c, size_t count) {
  return std::string(count, c);
}

TEST(PatchPaths, VersionFileGetsOneBackslash) {
  struct Case {
    const char *install_dir;
    const char *path;
  };
  const Case cases[] = {
      {"C:\\Games\\Iron Meadow", "C:\\Games\\Iron Meadow\\kervins.cev"},
      {"C:\\Games\\Iron Meadow\\", "C:\\Games\\Iron Meadow\\kervins.cev"},
      {"D:\\", "D:\\kervins.cev"},
      {"", "\\kervins.cev"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.install_dir);
    char out[PATCH_PATH_SIZE];
    ASSERT_EQ(1, patch_version_file_path(c.install_dir, out));
    EXPECT_STREQ(c.path, out);
  }
}

// Each path must fit its 260-byte buffer with the terminator: 259
// characters are taken, 260 refused with an empty buffer and nothing
// written past it.
TEST(PatchPaths, RefuseWhatDoesNotFitTheirBuffer) {
  const size_t file = strlen("\\kervins.cev");
  const size_t program = strlen("\\Ironmeadow_patch_V1_0001.exe");
  struct Case {
    const char *name;
    unsigned char (*build)(const char *, char *);
    size_t suffix;
  };
  const Case cases[] = {{"version file", patch_version_file_path, file},
                        {"command line", patch_command_line, program}};
  for (const Case &c : cases) {
    for (size_t total : {size_t(259), size_t(260), size_t(600)}) {
      SCOPED_TRACE(std::string(c.name) + " of " + std::to_string(total));
      std::string folder = "C:\\" + repeat('a', total - c.suffix - 3);
      char out[PATCH_PATH_SIZE + 8];
      memset(out, '#', sizeof out);
      unsigned char fits = c.build(folder.c_str(), out);
      EXPECT_EQ(total < PATCH_PATH_SIZE, fits == 1);
      EXPECT_EQ(fits ? total : 0, strlen(out));
      EXPECT_EQ(std::string(8, '#'), std::string(out + PATCH_PATH_SIZE, 8));
    }
  }
  char out[PATCH_PATH_SIZE];
  EXPECT_EQ(0, patch_version_file_path(NULL, out));
  EXPECT_EQ(0, patch_command_line(NULL, out));
}

TEST(PatchPaths, CommandLineIsTheUnquotedProgramInTheTemporaryFolder) {
  char out[PATCH_PATH_SIZE];
  ASSERT_EQ(1, patch_command_line("C:\\Temp\\DIR1A.tmp", out));
  EXPECT_STREQ("C:\\Temp\\DIR1A.tmp\\Ironmeadow_patch_V1_0001.exe", out);
}

// ---------------------------------------------------------------------------
// The install plan

const char *const kTargets[INSTALL_FILE_COUNT] = {
    "Iron Meadow remove.exe", "setup.ini",    "setupscr.ini", "buttons.bmp",
    "backgrnd.bmp",           "messages.ini", "dsetup.dll",   "dsetup32.dll"};
const char *const kSources[INSTALL_FILE_COUNT] = {"Setup.exe",   "setup.ini",    "setupscr.ini",
                                                  "buttons.bmp", "backgrnd.bmp", "messages.ini",
                                                  "dsetup.dll",  "dsetup32.dll"};

TEST(InstallPlan, BuildsEveryPathInTableOrder) {
  for (const char *appdata : {"C:\\Users\\ann\\Local", "C:\\Users\\ann\\Local\\"}) {
    SCOPED_TRACE(appdata);
    INSTALL_PLAN plan;
    ASSERT_EQ(INSTALL_PLAN_READY, install_make_plan("C:\\Temp\\DIR7.tmp", appdata, &plan));
    EXPECT_STREQ("C:\\Users\\ann\\Local\\Iron Meadow", plan.destination);
    for (int i = 0; i < INSTALL_FILE_COUNT; i++) {
      EXPECT_EQ(std::string("C:\\Temp\\DIR7.tmp\\") + kSources[i], plan.source[i]);
      EXPECT_EQ(std::string("C:\\Users\\ann\\Local\\Iron Meadow\\") + kTargets[i], plan.target[i]);
    }
    EXPECT_STREQ("C:\\Users\\ann\\Local\\Iron Meadow\\Iron Meadow remove.exe copy \"Iron Meadow\"",
                 plan.command_line);
  }
}

TEST(InstallPlan, RefusesAMissingLocalApplicationDataFolder) {
  INSTALL_PLAN plan;
  EXPECT_EQ(INSTALL_PLAN_NO_LOCAL_APPDATA, install_make_plan("C:\\Temp", NULL, &plan));
  EXPECT_EQ(INSTALL_PLAN_NO_LOCAL_APPDATA, install_make_plan("C:\\Temp", "", &plan));
  EXPECT_STREQ("", plan.destination);
  EXPECT_STREQ("", plan.command_line);
}

// The longest product of the destination is the command line; of the
// temporary folder, a 12-character source name. One character more than
// fits is refused, before anything is touched.
TEST(InstallPlan, RefusesPathsThatDoNotFitTheirBuffers) {
  const size_t command_suffix =
      strlen("\\Iron Meadow\\Iron Meadow remove.exe copy \"Iron Meadow\"");
  const size_t source_suffix = strlen("\\setupscr.ini");
  struct Case {
    const char *name;
    size_t appdata_length, temp_length;
    INSTALL_PLAN_RESULT result;
  };
  const Case cases[] = {
      {"longest command line that fits", 259 - command_suffix, 20, INSTALL_PLAN_READY},
      {"command line one too long", 260 - command_suffix, 20, INSTALL_PLAN_DESTINATION_TOO_LONG},
      {"local folder far too long", 400, 20, INSTALL_PLAN_DESTINATION_TOO_LONG},
      {"longest source that fits", 20, 259 - source_suffix, INSTALL_PLAN_READY},
      {"source one too long", 20, 260 - source_suffix, INSTALL_PLAN_SOURCE_TOO_LONG},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::string appdata = "C:\\" + repeat('l', c.appdata_length - 3);
    std::string temp = "C:\\" + repeat('t', c.temp_length - 3);
    INSTALL_PLAN plan;
    EXPECT_EQ(c.result, install_make_plan(temp.c_str(), appdata.c_str(), &plan));
    if (c.result != INSTALL_PLAN_READY) continue;
    EXPECT_EQ(appdata + "\\Iron Meadow\\Iron Meadow remove.exe copy \"Iron Meadow\"",
              plan.command_line);
    EXPECT_EQ(temp + "\\setupscr.ini", plan.source[2]);
  }
  INSTALL_PLAN plan;
  EXPECT_EQ(INSTALL_PLAN_SOURCE_TOO_LONG, install_make_plan(NULL, "C:\\Local", &plan));
}

}  // namespace
