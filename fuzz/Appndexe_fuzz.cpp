// The trailer reader, the payload read (also in front of a certificate
// table) and the integrity record check on arbitrary files.
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
  // tmpfs where there is one: every run writes and reads the file.
  const char *folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  snprintf(fuzz_path, sizeof fuzz_path, "%s/appndexe_fuzz_%ld.bin", folder, (long)getpid());
  return MEMORY_initialise() ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FILE *stream = fopen(fuzz_path, "wb");
  if (stream == NULL) return 0;
  if (size > 0) fwrite(data, 1, size, stream);
  fclose(stream);

  stream = fopen(fuzz_path, "rb");
  if (stream == NULL) return 0;
  int32_t length = appendexe_get_append_len_ptr(stream);
  int64_t end = APPNDEXE_payload_end(stream);  // in front of a certificate table
  fclose(stream);
  if (end < 0 || (size_t)end > size) abort();

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
  unlink(fuzz_path);
  return 0;
}
