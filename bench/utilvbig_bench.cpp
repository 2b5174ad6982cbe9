// Extracting a payload of the launcher's size (12 members, 11,446,371 bytes
// in all) into a new temporary folder, against `tar -xf` of the same files;
// and the same payload with every member Huffman-compressed, against
// `tar -xzf` of the same files gzipped. Compare the times from the same run.
// The launcher's check of the payload's integrity record comes first; its
// time, set against the extraction's, is the check's cost.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "Appndexe.h"
#include "huffman.h"
#include "memory.h"
#include "platform.h"
#include "utilvbig.h"
#include "vfilbig.h"

namespace fs = std::filesystem;

namespace {

struct Member {
  const char *name;
  int32_t size;
};

const Member kMembers[] = {
    {"back.jpg", 7484},     {"backgrnd.bmp", 720056},
    {"buttons.bmp", 1510},  {"IronMeadow_Patch_V1_0001.exe", 7821572},
    {"dsetup.dll", 44544},  {"dsetup32.dll", 1772544},
    {"INDEX.HTM", 7603},    {"messages.ini", 670314},
    {"setup.exe", 376832},  {"SETUP.INI", 2622},
    {"setupscr.ini", 8649}, {"top3.jpg", 9041},
};

struct Payload {
  fs::path work;
  std::string archive;
  std::string compressed_archive;  // every member a Huffman stream
  std::string tar;
  std::string tar_gz;
};

std::string build_archive(std::vector<VBIG_MEMBER> &members) {
  int32_t length = 0;
  unsigned char *block =
      VFILBIG_build_archive(members.data(), (int32_t)members.size(), NULL, NULL, &length);
  std::string bytes((char *)block, length);
  free(block);
  return bytes;
}

// The same members with their data Huffman-compressed.
std::string build_compressed_archive(const std::vector<std::string> &data) {
  std::vector<std::string> streams;
  std::vector<VBIG_MEMBER> members;
  for (const std::string &bytes : data) {
    int32_t length = 0;
    unsigned char *stream =
        HUFFMAN_compress((const unsigned char *)bytes.data(), (int32_t)bytes.size(), &length);
    streams.push_back(std::string((char *)stream, length));
    free(stream);
  }
  for (size_t i = 0; i < data.size(); i++) {
    members.push_back({kMembers[i].name, VBIG_ENTRY_FILE, VBIG_FLAG_COMPRESSED, -1,
                       streams[i].data(), (int32_t)streams[i].size()});
  }
  return build_archive(members);
}

// The archive in memory, and the same files on disk packed with tar.
const Payload &payload() {
  static Payload p;
  if (!p.archive.empty()) return p;
  p.work = fs::temp_directory_path() / ("vbigbench" + std::to_string(getpid()));
  fs::create_directories(p.work / "files");
  std::mt19937 random(3);
  std::vector<std::string> data;
  std::vector<VBIG_MEMBER> members;
  for (const Member &m : kMembers) {
    std::string bytes(m.size, '\0');
    for (char &c : bytes) c = (char)(random() & 0x3F);
    data.push_back(bytes);
    FILE *f = fopen((p.work / "files" / m.name).string().c_str(), "wb");
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
  }
  for (size_t i = 0; i < data.size(); i++) {
    members.push_back({kMembers[i].name, VBIG_ENTRY_FILE, 0, -1, data[i].data(), kMembers[i].size});
  }
  p.archive = build_archive(members);
  p.compressed_archive = build_compressed_archive(data);
  p.tar = (p.work / "payload.tar").string();
  p.tar_gz = (p.work / "payload.tar.gz").string();
  std::string files = " -C " + (p.work / "files").string() + " .";
  if (system(("tar -cf " + p.tar + files).c_str()) != 0) p.tar.clear();
  if (system(("tar -czf " + p.tar_gz + files).c_str()) != 0) p.tar_gz.clear();
  return p;
}

void extract(benchmark::State &state, const std::string &archive) {
  const Payload &p = payload();
  MEMORY_initialise();
  UTILVBIG_initialise(1);
  setenv("TMPDIR", p.work.string().c_str(), 1);
  for (auto _ : state) {
    VFILBIG_initialise(1);
    char folder[260];
    if (!UTILVBIG_extract_to_temp_dir_from_mem_with_size(archive.data(), (int32_t)archive.size(),
                                                         folder)) {
      state.SkipWithError("extraction failed");
    }
    UTILVBIG_delete_extracted_files();
    UTILVBIG_delete_extracted_dirs();
    PLATFORM_remove_directory(folder);
    VFILBIG_deinitialise();
    UTILVBIG_initialise(1);
  }
  unsetenv("TMPDIR");
  UTILVBIG_deinitialise();
  MEMORY_deinitialise();
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)p.archive.size());
}

void BM_ExtractPayload(benchmark::State &state) {
  const Payload &p = payload();
  if (p.archive.size() != 11446371u) state.SkipWithError("payload size");
  extract(state, p.archive);
}

void BM_ExtractCompressedPayload(benchmark::State &state) {
  const Payload &p = payload();
  extract(state, p.compressed_archive);
  state.counters["stored"] = (double)p.compressed_archive.size();
}

void untar(benchmark::State &state, const std::string &tar, const char *options) {
  const Payload &p = payload();
  if (tar.empty()) state.SkipWithError("no tar");
  fs::path out = p.work / "tarout";
  std::string command = std::string("tar ") + options + " " + tar + " -C " + out.string();
  for (auto _ : state) {
    fs::create_directory(out);
    if (system(command.c_str()) != 0) state.SkipWithError("tar failed");
    fs::remove_all(out);
  }
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)p.archive.size());
}

void BM_TarExtractSameFiles(benchmark::State &state) {
  untar(state, payload().tar, "-xf");
}

void BM_TarGzipExtractSameFiles(benchmark::State &state) {
  untar(state, payload().tar_gz, "-xzf");
}

// The launcher's check of the integrity record over the whole payload.
void BM_CheckPayloadRecord(benchmark::State &state) {
  std::string block = payload().archive + std::string(APPNDEXE_RECORD_SIZE, '\0');
  int32_t archive_length = (int32_t)payload().archive.size();
  APPNDEXE_make_record(block.data(), archive_length, (unsigned char *)&block[archive_length]);
  for (auto _ : state) {
    int32_t length = 0;
    if (APPNDEXE_check_record(block.data(), (int32_t)block.size(), &length) !=
        APPNDEXE_RECORD_GOOD) {
      state.SkipWithError("record does not match");
    }
    benchmark::DoNotOptimize(length);
  }
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)archive_length);
}

}  // namespace

BENCHMARK(BM_CheckPayloadRecord)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExtractPayload)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TarExtractSameFiles)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExtractCompressedPayload)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TarGzipExtractSameFiles)->Unit(benchmark::kMillisecond)->UseRealTime();
