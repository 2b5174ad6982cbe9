// launcher_builder: launcher copies with payloads of the test's choosing.
#include "launcher_builder.h"

#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include "Appndexe.h"
#include "testutil.h"
#include "vfilbig.h"

namespace launcher_builder {

std::string bin_dir() {
  char path[MAX_PATH];
  GetModuleFileNameA(NULL, path, sizeof path);
  std::string dir = path;
  return dir.substr(0, dir.find_last_of('\\'));
}

std::string temp_folder() {
  char path[MAX_PATH];
  GetTempPathA(sizeof path, path);
  return path;
}

std::string make_launcher_raw(const std::string &folder, const std::string &payload) {
  std::string launcher = fnal_test::read_file(bin_dir() + "\\Update.exe");
  if (launcher.empty()) return "";
  std::string path = folder + "\\Update.exe";
  FILE *out = fopen(path.c_str(), "wb");
  if (out == NULL) return "";
  bool ok = fwrite(launcher.data(), 1, launcher.size(), out) == launcher.size();
  if (!payload.empty()) {
    ok = ok && fwrite(payload.data(), 1, payload.size(), out) == payload.size();
    ok = ok && APPNDEXE_write_trailer(out, (int32_t)payload.size());
  }
  ok = fclose(out) == 0 && ok;
  return ok ? path : "";
}

std::string archive_bytes(const std::vector<Member> &members) {
  std::vector<VBIG_MEMBER> records;
  for (const Member &m : members) {
    VBIG_MEMBER record = {};
    record.name = m.name.c_str();
    record.type = m.is_directory ? VBIG_ENTRY_DIRECTORY : VBIG_ENTRY_FILE;
    record.parent = m.parent;
    record.data = m.bytes.data();
    record.size = (int32_t)m.bytes.size();
    records.push_back(record);
  }
  const uint8_t date[4] = {4, 4, 0xD2, 0x07};
  int32_t length = 0;
  unsigned char *archive =
      VFILBIG_build_archive(records.data(), (int32_t)records.size(), "test", date, &length);
  if (archive == NULL) return "";
  std::string bytes((const char *)archive, (size_t)length);
  free(archive);
  return bytes;
}

std::string make_launcher(const std::string &folder, const std::vector<Member> &members) {
  std::string payload = archive_bytes(members);
  return payload.empty() ? "" : make_launcher_raw(folder, payload);
}

std::set<std::string> unpack_folders() {
  std::set<std::string> found;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((temp_folder() + "DIR*.TMP").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return found;
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) found.insert(data.cFileName);
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return found;
}

// Adds the entries under folder\\prefix to tree, as paths relative to folder.
static void add_folder_entries(const std::string &folder, const std::string &prefix,
                               std::set<std::string> *tree) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((folder + "\\" + prefix + "*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    tree->insert(prefix + name);
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      add_folder_entries(folder, prefix + name + "\\", tree);
    }
  } while (FindNextFileA(find, &data));
  FindClose(find);
}

std::set<std::string> folder_tree(const std::string &folder) {
  std::set<std::string> tree;
  add_folder_entries(folder, "", &tree);
  return tree;
}

std::vector<std::string> new_folders(const std::set<std::string> &before,
                                     const std::set<std::string> &after) {
  std::vector<std::string> added;
  for (const std::string &name : after)
    if (before.count(name) == 0) added.push_back(name);
  return added;
}

}  // namespace launcher_builder
