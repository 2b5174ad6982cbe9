// utilvbig: extraction of an archive into a new temporary folder, the record
// of every file and folder created, and their deletion.
#define VBUG_SOURCE "libfnal\\source\\utilvbig.cpp"
#include "utilvbig.h"

#include <stdlib.h>
#include <string.h>

#include "Vstack.h"
#include "Vxstring.h"
#include "memory.h"
#include "platform.h"
#include "vbug.h"
#include "vfilbig.h"
#include "vfile.h"

static struct {
  unsigned char initialised;
  VSTACK *extracted_files;  // char * to "temp" blocks, newest on top
  VSTACK *extracted_dirs;
  char saved_directory[UTILVBIG_DIRECTORY_SIZE];
  int32_t skipped;
} uvb;

// ---- Bookkeeping. ----------------------------------------------------------

static void utilvbig_release_stack(VSTACK **stack) {
  if (*stack == NULL) return;
  char *path = NULL;
  while (VSTACK_pop(*stack, &path)) MEMORY_FREE(path);
  VSTACK_deallocate(stack);
}

unsigned char UTILVBIG_initialise(unsigned char track) {
  VBUG_TRACE("UTILVBIG_initialise");
  if (uvb.initialised) UTILVBIG_deinitialise();
  if (track) {
    uvb.extracted_files = VSTACK_allocate(UTILVBIG_MAX_RECORDED, (int32_t)sizeof(char *));
    uvb.extracted_dirs = VSTACK_allocate(UTILVBIG_MAX_RECORDED, (int32_t)sizeof(char *));
    // Without its records an extraction would leave its files behind.
    if (uvb.extracted_files == NULL || uvb.extracted_dirs == NULL) {
      UTILVBIG_deinitialise();
      return 0;
    }
  }
  uvb.initialised = 1;
  return 1;
}

void UTILVBIG_deinitialise(void) {
  VBUG_TRACE("UTILVBIG_deinitialise");
  uvb.initialised = 0;
  utilvbig_release_stack(&uvb.extracted_files);
  utilvbig_release_stack(&uvb.extracted_dirs);
}

unsigned char UTILVBIG_is_initialised(void) {
  VBUG_TRACE("UTILVBIG_is_initialised");
  return uvb.initialised;
}

static unsigned char utilvbig_is_absolute(const char *path) {
  return path[0] == '\\' || (path[0] != '\0' && path[1] == ':');
}

// Records the working directory, a backslash and `name` (or `name` alone
// when it is absolute) on `stack`, unless the stack is absent or full.
// Returns 0 when the path should have been recorded but could not be (the
// caller then removes what it created), 1 otherwise.
static unsigned char utilvbig_record(VSTACK *stack, const char *name) {
  if (stack == NULL || VSTACK_is_full(stack)) return 1;
  char directory[UTILVBIG_DIRECTORY_SIZE] = "";
  if (!utilvbig_is_absolute(name)) {
    uint32_t length = PLATFORM_get_current_directory(sizeof directory, directory);
    if (length == 0 || length >= sizeof directory) return 0;
  }
  size_t dir_length = strlen(directory);
  int32_t size = (int32_t)(dir_length + strlen(name) + 2);
  char *path = NULL;
  path = (char *)MEMORY_ALLOC(path, size, MEMORY_NO_FILL, "temp");
  if (path == NULL) return 0;
  memcpy(path, directory, dir_length);
  size_t at = dir_length;
  if (at > 0 && directory[at - 1] != '\\') path[at++] = '\\';
  strcpy(path + at, name);
  if (VSTACK_push(stack, &path)) return 1;
  MEMORY_FREE(path);
  return 0;
}

static int32_t utilvbig_stack_count(const VSTACK *stack) {
  return stack == NULL ? 0 : (int32_t)((stack->top - stack->base) / stack->element_size);
}

int32_t UTILVBIG_recorded_file_count(void) {
  return utilvbig_stack_count(uvb.extracted_files);
}

int32_t UTILVBIG_recorded_dir_count(void) {
  return utilvbig_stack_count(uvb.extracted_dirs);
}

const char *UTILVBIG_recorded_path(unsigned char is_dir, int32_t index) {
  const VSTACK *stack = is_dir ? uvb.extracted_dirs : uvb.extracted_files;
  if (index < 0 || index >= utilvbig_stack_count(stack)) return NULL;
  const char *path = NULL;
  memcpy(&path, stack->base + (size_t)index * sizeof(char *), sizeof path);
  return path;
}

int32_t UTILVBIG_get_skipped_count(void) {
  return uvb.skipped;
}

// ---- Names and folders. ----------------------------------------------------

unsigned char UTILVBIG_is_safe_name(const char *name) {
  if (name == NULL || name[0] == '\0') return 0;
  if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return 0;
  for (const unsigned char *c = (const unsigned char *)name; *c != '\0'; c++) {
    if (*c < 0x20 || *c == 0x7F || *c == '/' || *c == '\\' || *c == ':') return 0;
  }
  return 1;
}

// Creates every missing level of a relative or drive-rooted path, recording
// each folder it creates.
static void utilvbig_make_dir(const char *path) {
  VBUG_TRACE("utilvbig_make_dir");
  char fixed[UTILVBIG_DIRECTORY_SIZE], built[UTILVBIG_DIRECTORY_SIZE] = "";
  if (VXSTRING_strcpy_safe(fixed, path, sizeof fixed) == NULL) return;
  VXSTRING_fix_path_slashes(fixed);
  char *component = NULL;
  for (int32_t k = 0; (component = VXSTRING_parse_path_name(fixed, k)) != NULL; k++) {
    size_t used = strlen(built);
    if (used + strlen(component) + 2 > sizeof built) {
      PLATFORM_free(component);
      return;
    }
    strcat(built, component);
    unsigned char is_drive = k == 0 && component[0] != '\0' && component[1] == ':';
    if (!is_drive && built[0] != '\0' && PLATFORM_create_directory(built) &&
        !utilvbig_record(uvb.extracted_dirs, built)) {
      // Unrecorded, it would never be removed: it goes at once, and the
      // levels below it are not made.
      PLATFORM_remove_directory(built);
      PLATFORM_free(component);
      return;
    }
    strcat(built, "\\");
    PLATFORM_free(component);
  }
}

// ---- Extraction. -----------------------------------------------------------

// Writes file entry `index` as file_name in the working directory. A member
// that cannot be read or written leaves no file behind and is counted as
// skipped. Always returns 1: one member never stops the extraction.
static unsigned char utilvbig_write_file(int32_t handle, int32_t index, const char *file_name) {
  VBUG_TRACE("utilvbig_write_file");
  FILE *stream = vfile_fopen(file_name, "wb", 0, VBUG_SOURCE, __LINE__);
  if (stream == NULL) {
    uvb.skipped++;
    return 1;
  }
  int32_t length = 0;
  void *data = VFILBIG_read_entry(handle, index, &length);
  unsigned char ok =
      data != NULL && (length == 0 || VFILE_fwrite(data, (size_t)length, 1, stream) == 1);
  PLATFORM_free(data);
  ok = vfile_fclose(stream, VBUG_SOURCE, __LINE__) == 0 && ok;
  if (!ok) {
    VBUG_MESSAGE("Failed to extract '%s'", file_name);
    PLATFORM_delete_file(file_name);
    uvb.skipped++;
    return 1;
  }
  if (!utilvbig_record(uvb.extracted_files, file_name)) {
    // Unrecorded, it would never be deleted: it goes at once.
    VBUG_MESSAGE("Failed to record '%s'", file_name);
    PLATFORM_delete_file(file_name);
    uvb.skipped++;
  }
  return 1;
}

static void utilvbig_extract(int32_t handle, int32_t directory, size_t path_length);

// Creates the folder for directory entry `index`, enters it, extracts its
// contents and comes back; a folder that cannot be entered is skipped.
static void utilvbig_extract_folder(int32_t handle, int32_t index, const char *name,
                                    size_t path_length) {
  utilvbig_make_dir(name);
  if (!PLATFORM_set_current_directory(name)) {
    VBUG_MESSAGE("Failed to enter '%s'", name);
    uvb.skipped++;
    return;
  }
  utilvbig_extract(handle, index, path_length);
  PLATFORM_set_current_directory("..\\");
}

// Extracts the files and folders of directory entry `directory` (-1: the
// root) into the working directory, in record order, depth first. Entries
// are walked by index, so names that differ only in case cannot loop.
static void utilvbig_extract(int32_t handle, int32_t directory, size_t path_length) {
  VBUG_TRACE("utilvbig_extract");
  for (int32_t i = VFILBIG_next_child(handle, directory, directory); i >= 0;
       i = VFILBIG_next_child(handle, directory, i)) {
    const VBIG_FAT_ENTRY *entry = VFILBIG_get_fat_entry(handle, i);
    size_t length = path_length + (path_length > 0) + strlen(entry->name);
    if (!UTILVBIG_is_safe_name(entry->name) || length > UTILVBIG_MAX_ARCHIVE_PATH) {
      VBUG_MESSAGE("Refused to extract member '%s'", entry->name);
      uvb.skipped++;
    } else if (entry->type == VBIG_ENTRY_DIRECTORY) {
      utilvbig_extract_folder(handle, i, entry->name, length);
    } else {
      utilvbig_write_file(handle, i, entry->name);
    }
  }
}

// Extracts the whole archive into target_dir with the working directory
// saved and restored. Returns 0 when it cannot start (nothing extracted).
static unsigned char utilvbig_extract_to_dir(int32_t handle, const char *target_dir) {
  uint32_t length = PLATFORM_get_current_directory(sizeof uvb.saved_directory, uvb.saved_directory);
  if (length == 0 || length >= sizeof uvb.saved_directory) {
    VBUG_MESSAGE("Failed to read the working directory");
    return 0;
  }
  uvb.skipped = 0;
  if (target_dir != NULL && !PLATFORM_set_current_directory(target_dir)) {
    utilvbig_make_dir(target_dir);
    if (!PLATFORM_set_current_directory(target_dir)) {
      VBUG_MESSAGE("Failed to enter '%s'", target_dir);
      return 0;
    }
  }
  utilvbig_extract(handle, -1, 0);
  PLATFORM_set_current_directory(uvb.saved_directory);
  return 1;
}

unsigned char UTILVBIG_extract_archive(int32_t handle, const char *target_dir) {
  VBUG_TRACE("UTILVBIG_extract_archive");
  if (!uvb.initialised || VFILBIG_get_entry_count(handle) < 0) return 0;
  return utilvbig_extract_to_dir(handle, target_dir);
}

// Creates the new "DIR" folder under the temporary-files folder and writes
// its path into folder (PLATFORM_MAX_PATH bytes). Returns 0 (reported) when
// it cannot.
static unsigned char utilvbig_create_temp_dir(char *folder) {
  char temp[PLATFORM_MAX_PATH];
  folder[0] = '\0';
  uint32_t length = PLATFORM_get_temp_path(sizeof temp, temp);
  if (length == 0 || length >= sizeof temp ||
      PLATFORM_get_temp_file_name(temp, UTILVBIG_TEMP_PREFIX, folder) == 0) {
    VBUG_MESSAGE("Failed to create temp dir '%s'", folder);
    return 0;
  }
  PLATFORM_delete_file(folder);
  if (!PLATFORM_create_directory(folder)) {
    VBUG_MESSAGE("Failed to create temp dir '%s'", folder);
    return 0;
  }
  return 1;
}

// The checks and steps shared by both forms; length < 0 when not known.
static unsigned char utilvbig_extract_to_temp(const void *block, int64_t length,
                                              char *result_path) {
  if (result_path == NULL) {
    VBUG_MESSAGE("Result path was NULL");
    return 0;
  }
  result_path[0] = '\0';
  if (!VFILBIG_is_initialised()) {
    VBUG_MESSAGE("VFILBIG module not initialised");
    return 0;
  }
  if (!uvb.initialised) {
    VBUG_MESSAGE("UTILVBIG module not initialised");
    return 0;
  }
  if (block == NULL) {
    VBUG_MESSAGE("mem block is NULL");
    return 0;
  }
  char folder[PLATFORM_MAX_PATH];
  if (!utilvbig_create_temp_dir(folder)) return 0;
  int32_t handle = length < 0 ? VFILBIG_open_from_memory(block)
                              : VFILBIG_open_from_memory_with_size(block, (int32_t)length);
  if (handle == -1 || !utilvbig_extract_to_dir(handle, folder)) {
    if (handle == -1) VBUG_MESSAGE("Failed to load vbigfile from mem");
    PLATFORM_remove_directory(folder);
    return 0;
  }
  VXSTRING_strcpy_safe(result_path, folder, PLATFORM_MAX_PATH);
  return 1;
}

unsigned char UTILVBIG_extract_to_temp_dir_from_mem(const void *block, int32_t reserved,
                                                    char *result_path) {
  VBUG_TRACE("UTILVBIG_extract_to_temp_dir_from_mem");
  (void)reserved;
  return utilvbig_extract_to_temp(block, -1, result_path);
}

unsigned char UTILVBIG_extract_to_temp_dir_from_mem_with_size(const void *block, int32_t length,
                                                              char *result_path) {
  VBUG_TRACE("UTILVBIG_extract_to_temp_dir_from_mem_with_size");
  return utilvbig_extract_to_temp(block, length < 0 ? 0 : length, result_path);
}

// ---- Deletion. -------------------------------------------------------------

void UTILVBIG_delete_extracted_files(void) {
  VBUG_TRACE("UTILVBIG_delete_extracted_files");
  if (uvb.extracted_files == NULL) return;
  char *path = NULL;
  while (VSTACK_pop(uvb.extracted_files, &path)) {
    if (!PLATFORM_delete_file(path)) VBUG_MESSAGE("Failed to remove file %s", path);
    MEMORY_FREE(path);
  }
  VSTACK_deallocate(&uvb.extracted_files);
}

void UTILVBIG_delete_extracted_dirs(void) {
  VBUG_TRACE("UTILVBIG_delete_extracted_dirs");
  if (uvb.extracted_dirs == NULL) return;
  char *path = NULL;
  while (VSTACK_pop(uvb.extracted_dirs, &path)) {
    if (!PLATFORM_remove_directory(path)) VBUG_MESSAGE("Failed to delete directory");
    MEMORY_FREE(path);
  }
  VSTACK_deallocate(&uvb.extracted_dirs);
}
