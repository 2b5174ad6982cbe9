// Building the file tree of a generated folder of about 20,000 entries in
// about 1,000 folders, against `find` over the same folder in the same run,
// and resolving every name of that tree.
#define VBUG_SOURCE "bench\\vfile_bench.cpp"
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "memory.h"
#include "vfile.h"

namespace fs = std::filesystem;

namespace {

// 10 folders, each with 10 folders of 29 files and 9 folders of 19 files:
// 1,010 folders and 20,000 files. Names are lower case and unique in their
// first 12 characters, so every one resolves to itself.
struct GeneratedTree {
  std::string root;
  std::vector<std::string> names;  // every entry, relative, backslash-separated
  size_t folders = 0;

  GeneratedTree() {
    root = (fs::temp_directory_path() / ("fnal_bench_tree_" + std::to_string(getpid()))).string();
    fs::create_directories(root);
    for (int a = 0; a < 10; a++) {
      std::string top = "top" + std::to_string(a);
      add_folder(top);
      for (int b = 0; b < 10; b++) {
        std::string mid = top + "\\mid" + std::to_string(b);
        add_folder(mid);
        add_files(mid, 29);
        for (int c = 0; c < 9; c++) {
          std::string leaf = mid + "\\leaf" + std::to_string(c);
          add_folder(leaf);
          add_files(leaf, 19);
        }
      }
    }
  }
  ~GeneratedTree() {
    std::error_code error;
    fs::remove_all(root, error);
  }
  std::string host(const std::string &name) const {
    std::string path = root + "/" + name;
    for (char &c : path)
      if (c == '\\') c = '/';
    return path;
  }
  void add_folder(const std::string &name) {
    fs::create_directory(host(name));
    names.push_back(name);
    folders++;
  }
  void add_files(const std::string &folder, int count) {
    for (int i = 0; i < count; i++) {
      std::string name = folder + "\\file" + std::to_string(i) + ".dat";
      FILE *stream = fopen(host(name).c_str(), "wb");
      if (stream) fclose(stream);
      names.push_back(name);
    }
  }
};

GeneratedTree &tree() {
  static GeneratedTree generated;
  return generated;
}

void start_modules() {
  static bool started = false;
  if (started) return;
  started = MEMORY_initialise() == 1 && VFILE_initialise(nullptr) == 1;
  if (!started) abort();
}

void BM_BuildTree(benchmark::State &state) {
  start_modules();
  const GeneratedTree &generated = tree();
  for (auto _ : state) {
    if (VFILE_set_search_paths(1, generated.root.c_str()) != 1) state.SkipWithError("no slot");
  }
  const VFILE_SEARCH_PATH *slot = VFILE_get_search_path(0);
  state.counters["nodes"] = (double)slot->tree_count;
  state.counters["folders"] = (double)generated.folders;
  state.counters["entries/s"] =
      benchmark::Counter((double)slot->tree_count, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_BuildTree)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BM_FindSameTree(benchmark::State &state) {
  const std::string command = "find '" + tree().root + "' >/dev/null";
  for (auto _ : state) {
    if (system(command.c_str()) != 0) state.SkipWithError("find failed");
  }
}
BENCHMARK(BM_FindSameTree)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BM_ResolveEveryName(benchmark::State &state) {
  start_modules();
  const GeneratedTree &generated = tree();
  VFILE_set_search_paths(1, generated.root.c_str());
  size_t resolved = 0;
  for (auto _ : state) {
    resolved = 0;
    for (const std::string &name : generated.names)
      if (VFILE_make_full_path(name.c_str()) != nullptr) resolved++;
  }
  if (resolved != generated.names.size()) state.SkipWithError("a name did not resolve");
  state.counters["names"] = (double)generated.names.size();
  state.SetItemsProcessed((int64_t)(state.iterations() * generated.names.size()));
}
BENCHMARK(BM_ResolveEveryName)->Unit(benchmark::kMillisecond);

}  // namespace
