// vbig: makes and inspects VBIG archives and the payloads appended to
// executables.
//
//   vbig create ARCHIVE DIR [--compress]   the folder's tree as an archive
//   vbig list FILE                         the members of an archive
//   vbig extract FILE [-C DIR]             the members into DIR (default .)
//   vbig append EXE ARCHIVE -o OUT         EXE + ARCHIVE + integrity record +
//                                          "CVEL" trailer (a signed EXE loses
//                                          its certificate table first)
//   vbig verify FILE                       signature, integrity record, and
//                                          whether the payload is good
//
// FILE is an archive or an executable that carries one. Exit status: 0 done
// (verify: the payload is good), 1 bad input (reported on stderr), 2 bad
// usage.
#define VBUG_SOURCE "tools\\vbig.cpp"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "Appndexe.h"
#include "huffman.h"
#include "memory.h"
#include "platform.h"
#include "utilvbig.h"
#include "vfilbig.h"

namespace {

const int kBadInput = 1;
const int kBadUsage = 2;

const char kUsage[] =
    "usage: vbig create ARCHIVE DIR [--compress]\n"
    "       vbig list FILE\n"
    "       vbig extract FILE [-C DIR]\n"
    "       vbig append EXE ARCHIVE -o OUT\n"
    "       vbig verify FILE\n"
    "FILE is an archive or an executable that carries one.\n";

typedef std::vector<unsigned char> Bytes;

int fail(const std::string &message) {
  fprintf(stderr, "vbig: %s\n", message.c_str());
  return kBadInput;
}

// The whole content of a file; false when it cannot be read or is larger
// than an archive can hold.
bool read_whole_file(const std::string &path, Bytes *bytes) {
  FILE *stream = PLATFORM_fopen(path.c_str(), "rb");
  if (stream == NULL) return false;
  bytes->clear();
  unsigned char chunk[65536];
  size_t got;
  while ((got = fread(chunk, 1, sizeof chunk, stream)) > 0) {
    bytes->insert(bytes->end(), chunk, chunk + got);
    if (bytes->size() > 0x7FFFFFFF) break;
  }
  bool ok = !ferror(stream) && bytes->size() <= 0x7FFFFFFF;
  fclose(stream);
  return ok;
}

// Writes the pieces to path; a failed write leaves no file behind.
bool write_whole_file(const std::string &path, const std::vector<const Bytes *> &pieces) {
  FILE *stream = PLATFORM_fopen(path.c_str(), "wb");
  if (stream == NULL) return false;
  bool ok = true;
  for (const Bytes *piece : pieces) {
    if (!piece->empty()) ok = ok && fwrite(piece->data(), piece->size(), 1, stream) == 1;
  }
  ok = fclose(stream) == 0 && ok;
  if (!ok) PLATFORM_delete_file(path.c_str());
  return ok;
}

std::string reader_error() {
  const char *text = VFILBIG_error_text(VFILBIG_get_last_error());
  std::string error = text ? text : "unknown error";
  while (!error.empty() && error.back() == '\n') error.pop_back();
  return error;
}

// ---- create ----------------------------------------------------------------

struct Builder {
  bool compress;
  std::vector<std::string> names;  // owned storage for the member names
  std::vector<Bytes> data;         // stored bytes of each member
  std::vector<VBIG_MEMBER> members;
};

int add_folder(Builder *b, const std::string &folder, int32_t parent, int depth);

int add_member(Builder *b, const std::string &path, const PLATFORM_FIND_DATA &found, int32_t parent,
               int depth) {
  const char *unsafe = UTILVBIG_unsafe_name_reason(found.name);
  if (unsafe != NULL) {
    return fail("'" + path + "': refused, its name could not be extracted on Windows (" + unsafe +
                ")");
  }
  if (strlen(found.name) >= VBIG_NAME_SIZE) {
    return fail("'" + path + "': name too long to be stored in an archive");
  }
  VBIG_MEMBER member = {NULL, VBIG_ENTRY_FILE, 0, parent, NULL, 0};
  Bytes stored;
  if (found.is_directory) {
    member.type = VBIG_ENTRY_DIRECTORY;
  } else if (!read_whole_file(path, &stored)) {
    return fail("cannot read '" + path + "'");
  } else if (b->compress && !stored.empty()) {
    int32_t length = 0;
    unsigned char *stream = HUFFMAN_compress(stored.data(), (int32_t)stored.size(), &length);
    if (stream != NULL && (size_t)length < stored.size()) {
      stored.assign(stream, stream + length);
      member.flags = VBIG_FLAG_COMPRESSED;
    }
    free(stream);
  }
  b->names.push_back(found.name);
  b->data.push_back(stored);
  b->members.push_back(member);
  if (found.is_directory) {
    return add_folder(b, path, (int32_t)b->members.size() - 1, depth + 1);
  }
  return 0;
}

// Adds the entries of folder (sorted as the platform lists them) under parent.
int add_folder(Builder *b, const std::string &folder, int32_t parent, int depth) {
  if (depth > VBIG_MAX_DEPTH) return fail("'" + folder + "': folders nested too deeply");
  PLATFORM_FIND_DATA found;
  std::vector<PLATFORM_FIND_DATA> entries;
  PLATFORM_FIND *find = PLATFORM_find_first((folder + "\\*.*").c_str(), &found);
  if (find == NULL) return 0;  // an empty folder lists nothing
  do {
    if (strcmp(found.name, ".") != 0 && strcmp(found.name, "..") != 0) entries.push_back(found);
  } while (PLATFORM_find_next(find, &found));
  PLATFORM_find_close(find);
  for (const PLATFORM_FIND_DATA &entry : entries) {
    int status = add_member(b, folder + "\\" + entry.name, entry, parent, depth);
    if (status != 0) return status;
  }
  return 0;
}

int command_create(const std::string &archive, const std::string &folder, bool compress) {
  PLATFORM_FILE_STATUS status;
  if (!PLATFORM_file_status(folder.c_str(), &status) || !status.is_directory) {
    return fail("'" + folder + "' is not a folder");
  }
  Builder b;
  b.compress = compress;
  int result = add_folder(&b, folder, -1, 0);
  if (result != 0) return result;
  for (size_t i = 0; i < b.members.size(); i++) {
    b.members[i].name = b.names[i].c_str();
    b.members[i].data = b.data[i].data();
    b.members[i].size = (int32_t)b.data[i].size();
  }
  const uint8_t date[4] = {0, 0, 0, 0};
  int32_t length = 0;
  unsigned char *block =
      VFILBIG_build_archive(b.members.data(), (int32_t)b.members.size(), "vbig", date, &length);
  if (block == NULL) return fail("'" + folder + "' does not fit in an archive");
  Bytes bytes(block, block + length);
  free(block);
  if (!write_whole_file(archive, {&bytes})) return fail("cannot write '" + archive + "'");
  return 0;
}

// ---- Reading an archive or a carrier ----------------------------------------

// The archive held by path: the file itself when it starts with the magic,
// otherwise the payload in front of its trailer.
int load_archive(const std::string &path, Bytes *archive) {
  Bytes head;
  FILE *stream = PLATFORM_fopen(path.c_str(), "rb");
  if (stream == NULL) return fail("cannot open '" + path + "'");
  unsigned char magic[4] = {0, 0, 0, 0};
  size_t got = fread(magic, 1, 4, stream);
  fclose(stream);
  if (got == 4 && memcmp(magic, "GIBV", 4) == 0) {
    if (!read_whole_file(path, archive)) return fail("cannot read '" + path + "'");
    return 0;
  }
  int32_t size = 0;
  void *block = APPNDEXE_read_with_size(path.c_str(), &size);
  if (block == NULL) {
    return fail("'" + path + "' is neither an archive nor a file that carries one");
  }
  archive->assign((unsigned char *)block, (unsigned char *)block + size);
  appndexe_deallocate(&block);
  return 0;
}

// Opens the archive held by path; -1 (reported) when it is not sound or
// does not match its integrity record.
int32_t open_archive(const std::string &path, Bytes *archive) {
  if (load_archive(path, archive) != 0) return -1;
  int32_t length = 0;
  if (APPNDEXE_check_record(archive->data(), (int32_t)archive->size(), &length) ==
      APPNDEXE_RECORD_DAMAGED) {
    fail("'" + path + "': the payload does not match its integrity record");
    return -1;
  }
  archive->resize((size_t)length);
  int32_t handle = VFILBIG_open_from_memory_with_size(archive->data(), (int32_t)archive->size());
  if (handle < 0) fail("'" + path + "': not a sound archive (" + reader_error() + ")");
  return handle;
}

// The uncompressed length of a member (the stream's first field).
int32_t member_length(const VBIG_FAT_ENTRY *entry) {
  if (!(entry->flags & VBIG_FLAG_COMPRESSED)) return entry->size;
  if (entry->size < 4 || entry->data_pointer == NULL) return -1;
  const unsigned char *p = entry->data_pointer;
  return (int32_t)((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 |
                   (uint32_t)p[3] << 24);
}

void list_folder(int32_t handle, int32_t parent, const std::string &prefix, int64_t *files,
                 int64_t *bytes) {
  for (int32_t i = VFILBIG_next_child(handle, parent, parent); i >= 0;
       i = VFILBIG_next_child(handle, parent, i)) {
    const VBIG_FAT_ENTRY *entry = VFILBIG_get_fat_entry(handle, i);
    std::string path = prefix + entry->name;
    if (entry->type == VBIG_ENTRY_DIRECTORY) {
      printf("d %12s %12s   %s\\\n", "-", "-", path.c_str());
      list_folder(handle, i, path + "\\", files, bytes);
      continue;
    }
    int32_t length = member_length(entry);
    printf("f %12ld %12ld %s %s\n", (long)length, (long)entry->size,
           entry->flags & VBIG_FLAG_COMPRESSED ? "c" : " ", path.c_str());
    *files += 1;
    *bytes += length > 0 ? length : 0;
  }
}

int command_list(const std::string &path) {
  Bytes archive;
  int32_t handle = open_archive(path, &archive);
  if (handle < 0) return kBadInput;
  printf("t %12s %12s c path\n", "size", "stored");
  int64_t files = 0, bytes = 0;
  list_folder(handle, -1, "", &files, &bytes);
  printf("%lld file(s), %lld byte(s), archive %lld byte(s)\n", (long long)files, (long long)bytes,
         (long long)archive.size());
  return 0;
}

// Names a member that the extraction refused, with its archive path.
void report_refused_member(const char *folder, const char *name, const char *reason) {
  fprintf(stderr, "vbig: refused member '%s%s%s': %s\n", folder, folder[0] ? "\\" : "", name,
          reason);
}

int command_extract(const std::string &path, const std::string &target) {
  Bytes archive;
  int32_t handle = open_archive(path, &archive);
  if (handle < 0) return kBadInput;
  UTILVBIG_set_refusal_reporter(report_refused_member);
  if (!UTILVBIG_extract_archive(handle, target.c_str())) {
    return fail("cannot extract into '" + target + "'");
  }
  int32_t skipped = UTILVBIG_get_skipped_count();
  if (skipped > 0) return fail(std::to_string(skipped) + " member(s) not extracted");
  return 0;
}

// Where the executable at path keeps its certificate table; false when it
// has none (or is not a PE image).
bool find_certificate_table(const std::string &path, APPNDEXE_CERTIFICATE_TABLE *table) {
  FILE *stream = PLATFORM_fopen(path.c_str(), "rb");
  if (stream == NULL) return false;
  bool found = APPNDEXE_find_certificate_table(stream, table) == 1;
  fclose(stream);
  return found;
}

// Takes the signature off an image about to grow: clears the security
// directory entry and cuts the certificate table off when it ends the file.
// Says so on stderr, since the result must be signed again.
void remove_signature(const std::string &exe, const std::string &out, Bytes *image) {
  APPNDEXE_CERTIFICATE_TABLE table;
  if (!find_certificate_table(exe, &table)) return;
  memset(image->data() + table.entry_position, 0, 8);
  if (table.at_end) image->resize((size_t)table.offset);
  fprintf(stderr,
          "vbig: '%s' was signed; its signature was removed, so '%s' must be signed again\n",
          exe.c_str(), out.c_str());
}

int command_append(const std::string &exe, const std::string &archive_path,
                   const std::string &out) {
  Bytes image, archive;
  if (!read_whole_file(exe, &image)) return fail("cannot read '" + exe + "'");
  if (!read_whole_file(archive_path, &archive)) return fail("cannot read '" + archive_path + "'");
  if (VFILBIG_open_from_memory_with_size(archive.data(), (int32_t)archive.size()) < 0) {
    return fail("'" + archive_path + "': not a sound archive (" + reader_error() + ")");
  }
  Bytes record(APPNDEXE_RECORD_SIZE);
  APPNDEXE_make_record(archive.data(), (int32_t)archive.size(), record.data());
  size_t payload = archive.size() + record.size();
  if (image.size() + payload + APPNDEXE_TRAILER_SIZE > 0x7FFFFFFF) {
    return fail("'" + out + "' would be too large");
  }
  Bytes trailer(APPNDEXE_TRAILER_SIZE);
  for (int i = 0; i < 4; i++) trailer[i] = (unsigned char)(payload >> (8 * i));
  memcpy(&trailer[4], APPNDEXE_MAGIC, 4);
  remove_signature(exe, out, &image);
  if (!write_whole_file(out, {&image, &archive, &record, &trailer})) {
    return fail("cannot write '" + out + "'");
  }
  return 0;
}

// ---- verify ------------------------------------------------------------------

// Prints whether path carries a certificate table, and where.
void report_signature(const std::string &path) {
  APPNDEXE_CERTIFICATE_TABLE table;
  if (!find_certificate_table(path, &table)) {
    printf("signature: none\n");
  } else if (table.at_end) {
    printf(
        "signature: signed (certificate table of %lld bytes; osslsigncode verify or "
        "signtool verify checks it)\n",
        (long long)table.size);
  } else {
    printf("signature: broken (data after the certificate table)\n");
  }
}

int command_verify(const std::string &path) {
  Bytes payload;
  if (load_archive(path, &payload) != 0) return kBadInput;
  report_signature(path);
  int32_t length = 0;
  int record = APPNDEXE_check_record(payload.data(), (int32_t)payload.size(), &length);
  printf("integrity record: %s\n", record == APPNDEXE_RECORD_ABSENT ? "absent"
                                   : record == APPNDEXE_RECORD_GOOD ? "present, matches"
                                                                    : "present, does not match");
  bool good = record != APPNDEXE_RECORD_DAMAGED &&
              VFILBIG_open_from_memory_with_size(payload.data(), length) >= 0;
  if (record != APPNDEXE_RECORD_DAMAGED) {
    printf("archive: %s\n", good ? "sound" : ("not sound (" + reader_error() + ")").c_str());
  }
  printf("payload: %s\n", good ? "good" : "damaged");
  return good ? 0 : kBadInput;
}

int usage_error() {
  fputs(kUsage, stderr);
  return kBadUsage;
}

int run(const std::vector<std::string> &args) {
  size_t n = args.size();
  if (n == 1 && (args[0] == "--help" || args[0] == "-h")) {
    fputs(kUsage, stdout);
    return 0;
  }
  if (n == 0) return usage_error();
  const std::string &command = args[0];
  if (command == "create" && (n == 3 || (n == 4 && args[3] == "--compress"))) {
    return command_create(args[1], args[2], n == 4);
  }
  if (command == "list" && n == 2) return command_list(args[1]);
  if (command == "verify" && n == 2) return command_verify(args[1]);
  if (command == "extract" && n == 2) return command_extract(args[1], ".");
  if (command == "extract" && n == 4 && args[2] == "-C") return command_extract(args[1], args[3]);
  if (command == "append" && n == 5 && args[3] == "-o") {
    return command_append(args[1], args[2], args[4]);
  }
  return usage_error();
}

}  // namespace

int main(int argc, char **argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!MEMORY_initialise() || !VFILBIG_initialise(2) || !UTILVBIG_initialise(0)) {
    fprintf(stderr, "vbig: cannot start\n");
    return kBadInput;
  }
  int status = run(args);
  UTILVBIG_deinitialise();
  VFILBIG_deinitialise();
  MEMORY_deinitialise();
  return status;
}
