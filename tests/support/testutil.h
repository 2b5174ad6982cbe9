// Test helpers: a fresh temporary working folder per test, diagnostics
// captured into "develop.dbg" there so tests can assert exact message texts,
// and little-endian fields for building file images.
#ifndef TESTUTIL_H
#define TESTUTIL_H

#include <stdint.h>

#include <string>

namespace fnal_test {

// Creates a new empty folder under the system's temporary folder and makes it
// the working directory; restores the old one and deletes the folder (with
// everything in it) on destruction.
class TempWorkDir {
 public:
  TempWorkDir();
  ~TempWorkDir();
  TempWorkDir(const TempWorkDir &) = delete;
  TempWorkDir &operator=(const TempWorkDir &) = delete;

  // Absolute path of the folder, in the platform's own form.
  const std::string &path() const { return path_; }

 private:
  std::string path_;
  std::string previous_;
};

// The whole content of a file, or "" when it does not exist.
std::string read_file(const std::string &name);

// The content of a text file with Windows line ends ("\r\n", written by text
// mode streams there) turned into "\n"; "" when it does not exist.
std::string read_text(const std::string &name);

// Writes bytes to a file, replacing it.
void write_file(const std::string &name, const std::string &bytes);

// The four bytes of value, little-endian, as they lie in a file image.
std::string le32(uint32_t value);

// Diagnostics switched on with output to "develop.dbg" in a fresh temporary
// working folder; the module is deinitialised on destruction.
class DiagnosticsCapture {
 public:
  explicit DiagnosticsCapture(uint32_t flags = 0x0F, int32_t trace_bits = 12,
                              int32_t callstack_size = 64, uint8_t output_kind = 1);
  ~DiagnosticsCapture();
  DiagnosticsCapture(const DiagnosticsCapture &) = delete;
  DiagnosticsCapture &operator=(const DiagnosticsCapture &) = delete;

  // The content of "develop.dbg" so far.
  std::string develop() const { return read_text("develop.dbg"); }
  // Empties "develop.dbg".
  void clear() const;
  const TempWorkDir &dir() const { return dir_; }

 private:
  TempWorkDir dir_;
};

}  // namespace fnal_test

#endif
