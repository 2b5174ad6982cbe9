// PatchPlan: the portable half of the "Run &Patch" action (see Patch.h): the
// version arithmetic, the version file's path and the patch command line.
#ifndef UPDATE_PATCHPLAN_H
#define UPDATE_PATCHPLAN_H

#include <stddef.h>

// The version this patch brings: the float nearest to 1.0001.
#define PATCH_VERSION 1.0001f

// Size of the version file path and of the patch command line.
#define PATCH_PATH_SIZE 260

// Length of a version text such as "V1.0001".
#define PATCH_VERSION_TEXT_LENGTH 7

// File names the patch check uses.
#define PATCH_VERSION_FILE "kervins.cev"
#define PATCH_VERSION_ENTRY "version_number"
#define PATCH_PROGRAM "Ironmeadow_patch_V1_0001.exe"

// The version of a 7-character text: character 1 is the whole part and
// characters 3 to 6 are four decimal places; 0 and 2 are not read. Each is
// taken as its code (a signed byte) minus '0', digits or not, so ':' counts
// as 10. The four weights are the floats nearest 0.1, 0.01, 0.001 and
// 0.0001; the sum is formed in double precision and rounded once to float.
// text must hold at least 7 characters.
float compute_version(const char *text);

// Writes install_dir, a backslash unless install_dir already ends in one
// (an empty install_dir gets one), and "kervins.cev" into out, which holds
// PATCH_PATH_SIZE bytes. Returns 1, or 0 with out empty when the path does
// not fit or an argument is null.
unsigned char patch_version_file_path(const char *install_dir, char *out);

// Writes temp_dir + "\" + "Ironmeadow_patch_V1_0001.exe" into out, which
// holds PATCH_PATH_SIZE bytes. Returns 1, or 0 with out empty when it does
// not fit or an argument is null.
unsigned char patch_command_line(const char *temp_dir, char *out);

#endif
