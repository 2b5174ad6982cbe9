// Out-of-memory sweeps over the library built with heap faults: the heap
// refuses call N for N = 1, 2, ... until a path completes without meeting the
// failure. For every N nothing crashes or leaks, the operation that met the
// failure returns its failure value (or, where the design keeps a failure
// silent, the path shows only what was lost), nothing is left in the
// temporary-files folder and every module can still be deinitialised. Leaks
// are caught per N by the heap's count of blocks held, and by the leak
// sanitizer at exit.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Veloini.h"
#include "huffman.h"
#include "memory.h"
#include "platform.h"
#include "utilvbig.h"
#include "vfilbig.h"
#include "vfile.h"

namespace fs = std::filesystem;

namespace {

// No sweep path comes near this many heap calls; it stops a runaway loop.
const uint64_t kMaxSweep = 20000;

void write_file(const fs::path &path, const std::string &bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> entries_of(const fs::path &folder) {
  std::vector<std::string> names;
  for (const auto &entry : fs::recursive_directory_iterator(folder))
    names.push_back(fs::relative(entry.path(), folder).string());
  std::sort(names.begin(), names.end());
  return names;
}

// A private folder holding "temp" (the temporary-files folder, through
// TMPDIR) and "work" (the working folder, with the small folder "disc" that
// the search path scans); the old working folder and TMPDIR come back and
// the folder goes on destruction.
class PrivateFolders {
 public:
  PrivateFolders() {
    char pattern[] = "/tmp/fnal_heapfault_XXXXXX";
    root_ = mkdtemp(pattern);
    fs::create_directories(temp());
    fs::create_directories(work() / "disc" / "sub");
    write_file(work() / "disc" / "version.cev", "version_number = 1.0000;\r\n");
    write_file(work() / "disc" / "setup.ini", "a = 1;");
    write_file(work() / "disc" / "sub" / "data.bin", "data");
    const char *saved = getenv("TMPDIR");
    had_tmpdir_ = saved != NULL;
    if (had_tmpdir_) saved_tmpdir_ = saved;
    setenv("TMPDIR", temp().c_str(), 1);
    previous_ = fs::current_path();
    fs::current_path(work());
  }
  ~PrivateFolders() {
    fs::current_path(previous_);
    if (had_tmpdir_)
      setenv("TMPDIR", saved_tmpdir_.c_str(), 1);
    else
      unsetenv("TMPDIR");
    std::error_code error;
    fs::remove_all(root_, error);
  }
  fs::path temp() const { return root_ / "temp"; }
  fs::path work() const { return root_ / "work"; }

 private:
  fs::path root_, previous_;
  std::string saved_tmpdir_;
  bool had_tmpdir_ = false;
};

// A library path (backslashes) as a host path.
fs::path host_path(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

std::string text_of(const unsigned char *bytes, int32_t length) {
  return std::string((const char *)bytes, (size_t)length);
}

// The payload: a folder "data" holding a compressed and a stored file, and
// a stored file at the root. Built with the heap working.
std::string payload() {
  std::string plain;
  for (int i = 0; i < 40; i++) plain += "abracadabra " + std::to_string(i) + "\n";
  int32_t length = 0;
  unsigned char *stream =
      HUFFMAN_compress((const unsigned char *)plain.data(), (int32_t)plain.size(), &length);
  EXPECT_NE(nullptr, stream);
  std::string packed = text_of(stream, length);
  free(stream);
  const VBIG_MEMBER members[] = {
      {"data", VBIG_ENTRY_DIRECTORY, 0, -1, NULL, 0},
      {"packed.txt", VBIG_ENTRY_FILE, VBIG_FLAG_COMPRESSED, 0, packed.data(),
       (int32_t)packed.size()},
      {"stored.bin", VBIG_ENTRY_FILE, 0, 0, "stored", 6},
      {"readme.txt", VBIG_ENTRY_FILE, 0, -1, "read me", 7},
  };
  unsigned char *block = VFILBIG_build_archive(members, 4, NULL, NULL, &length);
  EXPECT_NE(nullptr, block);
  std::string bytes = block ? text_of(block, length) : "";
  PLATFORM_free(block);
  return bytes;
}

// Which heap call is set to fail, and where each step's calls start and end.
class Sweep {
 public:
  explicit Sweep(uint64_t fail_at) : fail_at_(fail_at) { PLATFORM_heap_fail_at(fail_at); }
  ~Sweep() { PLATFORM_heap_fail_at(0); }
  // Starts a step: remembers the calls made so far.
  void begin() { step_start_ = PLATFORM_heap_calls(); }
  // 1 when the failing call was among the calls of the step just ended.
  bool met() const {
    uint64_t now = PLATFORM_heap_calls();
    return fail_at_ > step_start_ && fail_at_ <= now;
  }
  // 1 when the failing call has come (in this step or an earlier one).
  bool reached() const { return fail_at_ != 0 && fail_at_ <= PLATFORM_heap_calls(); }

 private:
  uint64_t fail_at_;
  uint64_t step_start_ = 0;
};

// The launcher's library path. Every step's result is checked against the
// failure; a step that fails ends the path, which then shuts down whatever
// was brought up. Returns 1 when the path ran to its end.
struct LauncherPath {
  const std::string &block;
  const fs::path &temp;
  Sweep &sweep;
  std::string trace;  // the step that ended the path, for messages

  // A step that reports a failure must be the one that met it.
  bool step(const char *name, bool ok) {
    if (!ok) {
      trace = name;
      EXPECT_TRUE(sweep.met()) << name << " failed without meeting the heap failure";
    }
    return ok;
  }

  bool bring_up() {
    sweep.begin();
    if (!step("MEMORY_initialise", MEMORY_initialise() == 1)) return false;
    sweep.begin();
    if (!step("VFILE_initialise", VFILE_initialise(NULL) == 1)) return false;
    // The scan's failures are silent: a tree that is missing or short shows
    // later, when the INI file cannot be resolved.
    EXPECT_EQ(1u, VFILE_set_search_paths(1, ".\\disc"));
    sweep.begin();
    if (!step("VELOINI_initialise", VELOINI_initialise(5, "cev") == 1)) return false;
    sweep.begin();
    if (!step("VFILBIG_initialise", VFILBIG_initialise(1) == 1)) return false;
    sweep.begin();
    return step("UTILVBIG_initialise", UTILVBIG_initialise(1) == 1);
  }

  // Extracts the payload; a member lost to the heap is skipped silently, as
  // the design wants, and shows in the skipped count.
  bool extract(char *folder) {
    sweep.begin();
    unsigned char ok = UTILVBIG_extract_to_temp_dir_from_mem_with_size(
        block.data(), (int32_t)block.size(), folder);
    if (!step("UTILVBIG_extract_to_temp_dir_from_mem_with_size", ok == 1)) {
      EXPECT_TRUE(fs::is_empty(temp)) << "a failed extraction leaves nothing";
      return false;
    }
    int32_t skipped = UTILVBIG_get_skipped_count();
    if (sweep.met()) {
      EXPECT_GT(skipped, 0) << "the lost member is counted";
    } else {
      EXPECT_EQ(0, skipped);
      EXPECT_EQ(3, UTILVBIG_recorded_file_count());
      EXPECT_EQ(1, UTILVBIG_recorded_dir_count());
    }
    // Whatever was written is recorded: the clean-up must find all of it.
    EXPECT_EQ(UTILVBIG_recorded_file_count() + UTILVBIG_recorded_dir_count(),
              (int32_t)entries_of(host_path(folder)).size());
    return true;
  }

  // The version file through the search path's tree.
  bool read_ini() {
    sweep.begin();
    int16_t handle = VELOINI_open("version.cev");
    if (handle < 0) {
      trace = "VELOINI_open";
      // Either this open met the failure or the scan lost the file earlier.
      EXPECT_TRUE(sweep.met() || VFILE_make_full_path("version.cev") == NULL);
      return false;
    }
    const char *value = VELOINI_get_entry(handle, "version_number");
    EXPECT_STREQ("1.0000", value);
    EXPECT_EQ(1, VELOINI_close(handle));
    return true;
  }

  void shut_down() {
    UTILVBIG_deinitialise();
    VFILBIG_deinitialise();
    VELOINI_deinitialise();
    VFILE_deinitialise();
    EXPECT_EQ(0, MEMORY_live_blocks()) << "after " << trace;
    MEMORY_deinitialise();
  }

  bool run() {
    char folder[PLATFORM_MAX_PATH] = "";
    bool completed = bring_up() && extract(folder);
    if (completed) completed = read_ini();
    // The launcher's clean-up: files, folders, then the folder itself.
    UTILVBIG_delete_extracted_files();
    UTILVBIG_delete_extracted_dirs();
    if (folder[0] != '\0') {
      EXPECT_EQ(1, PLATFORM_remove_directory(folder)) << folder;
    }
    shut_down();
    return completed;
  }
};

TEST(HeapFailure, LauncherPathFailsCleanlyAtEveryHeapCall) {
  PrivateFolders folders;
  const std::string block = payload();
  const std::vector<std::string> disc = entries_of(folders.work());
  const int64_t live = PLATFORM_heap_live_blocks();
  uint64_t total = 0;
  {
    Sweep none(0);
    LauncherPath path{block, folders.temp(), none, ""};
    ASSERT_TRUE(path.run()) << "the path completes with the heap working";
    total = PLATFORM_heap_calls();
  }
  ASSERT_GT(total, 10u);
  uint64_t n = 1;
  for (; n <= kMaxSweep; n++) {
    Sweep sweep(n);
    LauncherPath path{block, folders.temp(), sweep, ""};
    bool completed = path.run();
    bool reached = sweep.reached();
    SCOPED_TRACE("heap call " + std::to_string(n) + " failing, path ended at " + path.trace);
    EXPECT_TRUE(fs::is_empty(folders.temp())) << "left in the temporary-files folder";
    EXPECT_EQ(folders.work(), fs::current_path());
    EXPECT_EQ(disc, entries_of(folders.work()));
    EXPECT_EQ(live, PLATFORM_heap_live_blocks()) << "leaked";
    if (!reached) {
      EXPECT_TRUE(completed);
      break;
    }
    if (::testing::Test::HasFailure()) break;
  }
  EXPECT_EQ(total + 1, n) << "every heap call of the path was made to fail once";
  printf("launcher path: %llu heap calls, each made to fail in turn\n", (unsigned long long)total);
}

TEST(HeapFailure, HuffmanCodingFailsCleanlyAtEveryHeapCall) {
  std::string plain;
  for (int i = 0; i < 300; i++) plain += (char)('a' + i * i % 29);  // a tree of 15 symbols
  int32_t stream_length = 0;
  unsigned char *stream =
      HUFFMAN_compress((const unsigned char *)plain.data(), (int32_t)plain.size(), &stream_length);
  ASSERT_NE(nullptr, stream);
  const int64_t live = PLATFORM_heap_live_blocks();
  uint64_t decode_calls = 0, encode_calls = 0;
  for (uint64_t n = 1; n <= kMaxSweep && decode_calls == 0; n++) {
    Sweep sweep(n);
    int32_t length = 0;
    unsigned char *out = HUFFMAN_uncompress(stream, stream_length, &length);
    if (sweep.reached()) {
      EXPECT_EQ(nullptr, out) << "decode with heap call " << n << " failing";
      EXPECT_EQ(-1, length);
    } else {
      ASSERT_NE(nullptr, out);
      EXPECT_EQ(plain, text_of(out, length));
      decode_calls = n - 1;
    }
    PLATFORM_free(out);
    EXPECT_EQ(live, PLATFORM_heap_live_blocks()) << "decode with heap call " << n << " failing";
  }
  for (uint64_t n = 1; n <= kMaxSweep && encode_calls == 0; n++) {
    Sweep sweep(n);
    int32_t length = 0;
    unsigned char *out =
        HUFFMAN_compress((const unsigned char *)plain.data(), (int32_t)plain.size(), &length);
    if (sweep.reached()) {
      EXPECT_EQ(nullptr, out) << "encode with heap call " << n << " failing";
      EXPECT_EQ(-1, length);
    } else {
      ASSERT_NE(nullptr, out);
      EXPECT_EQ(text_of(stream, stream_length), text_of(out, length));
      encode_calls = n - 1;
    }
    PLATFORM_free(out);
    EXPECT_EQ(live, PLATFORM_heap_live_blocks()) << "encode with heap call " << n << " failing";
  }
  PLATFORM_free(stream);
  // The tree's block, the queue's five growth steps (15 trees) and the output.
  EXPECT_GE(decode_calls, 7u);
  EXPECT_GE(encode_calls, 7u);
  printf("huffman: %llu heap calls to decode, %llu to encode\n", (unsigned long long)decode_calls,
         (unsigned long long)encode_calls);
}

// Every path below a slot's tree, as "name\name".
void collect_paths(const VFILE_SEARCH_PATH *slot, int32_t index, const std::string &prefix,
                   std::set<std::string> *paths) {
  for (; index >= 0; index = slot->file_tree[index].next) {
    ASSERT_LT((uint32_t)index, slot->tree_count);
    std::string path = prefix + slot->file_tree[index].name;
    paths->insert(path);
    collect_paths(slot, slot->file_tree[index].child, path + "\\", paths);
  }
}

std::set<std::string> tree_paths(const VFILE_SEARCH_PATH *slot) {
  std::set<std::string> paths;
  if (slot->file_tree != NULL && slot->tree_count > 0) collect_paths(slot, 0, "", &paths);
  return paths;
}

TEST(HeapFailure, TreeBuildLosesOnlyWhatTheHeapRefused) {
  PrivateFolders folders;
  for (const char *name : {"a", "b", "c", "sub\\d", "sub\\e"}) {
    std::string path = std::string("disc\\") + name;
    std::replace(path.begin(), path.end(), '\\', '/');
    write_file(folders.work() / path, name);
  }
  ASSERT_EQ(1, MEMORY_initialise());
  VFILE_DETAILS details;
  memset(&details, 0, sizeof details);
  details.max_search_paths = 2;
  details.initial_tree_size = 2;  // the tree grows several times
  details.tree_growth = 2;
  details.chunk_size = 1024;
  ASSERT_EQ(1, VFILE_initialise(&details));
  const int32_t live = MEMORY_live_blocks();
  MEMORY_release_cache();  // the heap then holds only live blocks
  const int64_t heap_live = PLATFORM_heap_live_blocks();
  ASSERT_EQ(1u, VFILE_set_search_paths(1, ".\\disc"));
  const std::set<std::string> complete = tree_paths(VFILE_get_search_path(0));
  ASSERT_EQ(9u, complete.size());  // 7 entries of the fixture's disc, 5 files here
  uint64_t calls = 0;
  for (uint64_t n = 1; n <= kMaxSweep && calls == 0; n++) {
    std::set<std::string> paths;
    {
      Sweep sweep(n);
      // A failure in the build is silent: the slot keeps what it could.
      EXPECT_EQ(1u, VFILE_set_search_paths(1, ".\\disc"));
      paths = tree_paths(VFILE_get_search_path(0));
      if (!sweep.reached()) calls = n - 1;
    }
    SCOPED_TRACE("tree build with heap call " + std::to_string(n) + " failing");
    for (const std::string &path : paths) EXPECT_EQ(1u, complete.count(path)) << path;
    if (calls != 0) {
      EXPECT_EQ(complete, paths);
    }
    vfile_clear_search_path(-1);
    EXPECT_EQ(live, MEMORY_live_blocks());
    MEMORY_release_cache();
    EXPECT_EQ(heap_live, PLATFORM_heap_live_blocks());
    if (::testing::Test::HasFailure()) break;
  }
  EXPECT_GT(calls, 5u);
  ASSERT_EQ(1, VFILE_deinitialise());
  ASSERT_EQ(1, MEMORY_deinitialise());
  printf("tree build: %llu heap calls\n", (unsigned long long)calls);
}

}  // namespace
