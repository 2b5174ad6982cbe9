// launcher_builder: makes copies of the built launcher (bin\Update.exe) with
// a payload of the test's choosing appended, and watches the temporary
// folders the launcher unpacks into.
#ifndef LAUNCHER_BUILDER_H
#define LAUNCHER_BUILDER_H

#include <set>
#include <string>
#include <vector>

namespace launcher_builder {

// One member of a payload: a file (with its bytes) or, when is_directory, a
// folder; parent is the index of a folder member or -1 for the top level.
struct Member {
  std::string name;
  std::string bytes;
  bool is_directory = false;
  int parent = -1;
};

// The folder of the test programs (bin), without a trailing backslash.
std::string bin_dir();

// The archive of `members`, or "" when the archive writer refuses them.
std::string archive_bytes(const std::vector<Member> &members);

// Writes folder\Update.exe: the built launcher with `members` appended as an
// archive and its trailer. Returns the path, or "" on failure.
std::string make_launcher(const std::string &folder, const std::vector<Member> &members);

// Writes folder\Update.exe: the built launcher with `payload` appended as
// raw bytes plus a trailer claiming them, or with nothing appended when
// payload is empty. Returns the path, or "" on failure.
std::string make_launcher_raw(const std::string &folder, const std::string &payload);

// The unpacking folders ("DIR....TMP") now in the temporary-files folder.
std::set<std::string> unpack_folders();

// The unpacking folders in `after` that are not in `before`.
std::vector<std::string> new_folders(const std::set<std::string> &before,
                                     const std::set<std::string> &after);

// The temporary-files folder, ending in a backslash.
std::string temp_folder();

// Every file and folder under folder, by its path relative to folder
// ("data", "data\\level1.dat"); empty when folder does not exist.
std::set<std::string> folder_tree(const std::string &folder);

}  // namespace launcher_builder

#endif
