// PatchPlan: the version arithmetic and the paths of the patch check.
#define VBUG_SOURCE "Update\\PatchPlan.cpp"
#include "PatchPlan.h"

#include "Vxstring.h"

// Weights of the four decimal places, as 32-bit floats.
static const float patch_weights[4] = {0.1f, 0.01f, 0.001f, 0.0001f};

// The character at position i as a number: its code as a signed byte minus '0'.
static int patch_digit(const char *text, int i) {
  return (int)(signed char)text[i] - '0';
}

float compute_version(const char *text) {
  double value = patch_digit(text, 1);
  for (int place = 0; place < 4; place++)
    value += patch_digit(text, 3 + place) * (double)patch_weights[place];
  return (float)value;
}

unsigned char patch_version_file_path(const char *install_dir, char *out) {
  if (install_dir == NULL || out == NULL) return 0;
  return VXSTRING_format_fitting(out, PATCH_PATH_SIZE, "%s%s%s", install_dir,
                                 VXSTRING_separator_after(install_dir), PATCH_VERSION_FILE);
}

unsigned char patch_command_line(const char *temp_dir, char *out) {
  if (temp_dir == NULL || out == NULL) return 0;
  return VXSTRING_format_fitting(out, PATCH_PATH_SIZE, "%s\\%s", temp_dir, PATCH_PROGRAM);
}
