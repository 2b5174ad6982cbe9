// Parsing a 1 MB INI text in place (VELOINI_open_memory and its close), and
// a lookup of the last key of that text.
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "Veloini.h"
#include "memory.h"

namespace {

// About 1 MB: sections of 100 entries like "setting_12345 = some value 12345;".
const std::string &ini_text() {
  static std::string text;
  if (!text.empty()) return text;
  for (int i = 0; text.size() < 1000000; i++) {
    if (i % 100 == 0) text += "[section" + std::to_string(i / 100) + "]\r\n";
    if (i % 250 == 0) text += "# comment line " + std::to_string(i) + "\r\n";
    text += "setting_" + std::to_string(i) + " = some value " + std::to_string(i) + ";\r\n";
  }
  return text;
}

void start_modules() {
  static bool started = false;
  if (started) return;
  started = MEMORY_initialise() == 1 && VELOINI_initialise(5, "cev") == 1;
  if (!started) abort();
}

void BM_ParseOneMegabyte(benchmark::State &state) {
  start_modules();
  const std::string &text = ini_text();
  std::vector<char> buffer(text.size());
  int32_t entries = 0;
  for (auto _ : state) {
    state.PauseTiming();
    memcpy(buffer.data(), text.data(), text.size());
    state.ResumeTiming();
    int16_t handle = VELOINI_open_memory(buffer.data(), (int32_t)buffer.size(), -1);
    if (handle < 0) {
      state.SkipWithError("open failed");
      break;
    }
    entries = VELOINI_get_slot(handle)->ini_text_count;
    VELOINI_close_memory(handle);
  }
  state.counters["entries"] = entries;
  state.SetBytesProcessed((int64_t)(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseOneMegabyte)->Unit(benchmark::kMillisecond);

void BM_LookUpTheLastKey(benchmark::State &state) {
  start_modules();
  std::vector<char> buffer(ini_text().begin(), ini_text().end());
  int16_t handle = VELOINI_open_memory(buffer.data(), (int32_t)buffer.size(), -1);
  const VELOINI_SLOT *slot = VELOINI_get_slot(handle);
  std::string last = slot->ini_text_list[slot->ini_text_count - 1].key;
  for (auto _ : state) benchmark::DoNotOptimize(VELOINI_get_entry(handle, last.c_str()));
  VELOINI_close_memory(handle);
}
BENCHMARK(BM_LookUpTheLastKey)->Unit(benchmark::kMicrosecond);

}  // namespace
