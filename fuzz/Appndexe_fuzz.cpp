// The trailer reader, the payload read (also in front of a certificate
// table) and the integrity record check on arbitrary files.
#include <fcntl.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "Appndexe.h"
#include "memory.h"

static char fuzz_path[64];

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // tmpfs where there is one: every run rewrites the file in place, and it
  // goes at exit.
  const char *folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  snprintf(fuzz_path, sizeof fuzz_path, "%s/appndexe_fuzz_%ld.bin", folder, (long)getpid());
  atexit([] { unlink(fuzz_path); });
  return MEMORY_initialise() ? 0 : 1;
}

// Replaces the file's contents with the input; 0 when it cannot.
static int fuzz_write_file(const uint8_t *data, size_t size) {
  int fd = open(fuzz_path, O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) return 0;
  ssize_t written = size > 0 ? write(fd, data, size) : 0;
  close(fd);
  return written == (ssize_t)size;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // The stream readers see the input from memory; the payload read, which
  // opens its file by path, sees it on disk.
  int32_t length = 0;
  int64_t end = 0;
  if (size > 0) {
    FILE *stream = fmemopen((void *)data, size, "rb");
    if (stream == NULL) return 0;
    length = appendexe_get_append_len_ptr(stream);
    end = APPNDEXE_payload_end(stream);  // in front of a certificate table
    fclose(stream);
  }
  if (end < 0 || (size_t)end > size) abort();
  if (!fuzz_write_file(data, size)) return 0;

  int32_t size_out = -1;
  void *block = APPNDEXE_read_with_size(fuzz_path, &size_out);
  if (block != NULL) {
    // The block must be exactly the bytes in front of the trailer.
    if (length <= 0 || size_out != length || (size_t)length + 8 > (size_t)end) abort();
    if (memcmp(block, data + end - 8 - (size_t)length, (size_t)length) != 0) abort();
    APPNDEXE_check_record(block, size_out, NULL);
    appndexe_deallocate(&block);
  }
  if (MEMORY_live_blocks() != 0) abort();
  return 0;
}
