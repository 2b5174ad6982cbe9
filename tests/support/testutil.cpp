// Test helpers: temporary working folders and captured diagnostics.
#include "testutil.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

#include "bytes.h"
#include "vbug.h"

namespace fs = std::filesystem;

namespace fnal_test {

TempWorkDir::TempWorkDir() {
  std::random_device random;
  fs::path base = fs::temp_directory_path();
  fs::path dir;
  do {
    dir = base / ("fnaltest" + std::to_string(random()));
  } while (!fs::create_directory(dir));
  path_ = dir.string();
  previous_ = fs::current_path().string();
  fs::current_path(dir);
}

TempWorkDir::~TempWorkDir() {
  std::error_code error;
  fs::current_path(previous_, error);
  fs::remove_all(path_, error);
}

std::string read_file(const std::string &name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string read_text(const std::string &name) {
  std::string text = read_file(name);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); i++)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
  return out;
}

void write_file(const std::string &name, const std::string &bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out << bytes;
}

DiagnosticsCapture::DiagnosticsCapture(uint32_t flags, int32_t trace_bits, int32_t callstack_size,
                                       uint8_t output_kind) {
  EXPECT_EQ(1, VBUG_initialise(trace_bits, callstack_size, 8, flags, output_kind, nullptr));
}

DiagnosticsCapture::~DiagnosticsCapture() {
  VBUG_deinitialise();
}

void DiagnosticsCapture::clear() const {
  write_file("develop.dbg", "");
}

std::string le32(uint32_t value) {
  unsigned char bytes[4];
  BYTES_write_le32(bytes, value);
  return std::string((const char *)bytes, sizeof bytes);
}

}  // namespace fnal_test
