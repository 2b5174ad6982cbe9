// utilvbig: extraction of an archive into a new temporary folder, the record
// of every file and folder created, and their deletion.
#define VBUG_SOURCE "libfnal\\source\\utilvbig.cpp"
#include "utilvbig.h"

#include <ctype.h>
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
  // While extracting: the absolute path of the folder being filled, as the
  // system gave it, and the archive path of the archive folder it mirrors.
  char where[UTILVBIG_DIRECTORY_SIZE];
  char archive_folder[UTILVBIG_MAX_ARCHIVE_PATH + 1];
  unsigned char lost;  // 1 when the walk could not get back to a parent
  UTILVBIG_REFUSAL_REPORTER reporter;
} utilvbig;

// ---- Bookkeeping. ----------------------------------------------------------

static void utilvbig_release_stack(VSTACK **stack) {
  if (*stack == NULL) return;
  char *path = NULL;
  while (VSTACK_pop(*stack, &path)) MEMORY_FREE(path);
  VSTACK_deallocate(stack);
}

unsigned char UTILVBIG_initialise(unsigned char track) {
  VBUG_TRACE("UTILVBIG_initialise");
  if (utilvbig.initialised) UTILVBIG_deinitialise();
  if (track) {
    utilvbig.extracted_files = VSTACK_allocate(UTILVBIG_MAX_RECORDED, (int32_t)sizeof(char *));
    utilvbig.extracted_dirs = VSTACK_allocate(UTILVBIG_MAX_RECORDED, (int32_t)sizeof(char *));
    // Without its records an extraction would leave its files behind.
    if (utilvbig.extracted_files == NULL || utilvbig.extracted_dirs == NULL) {
      UTILVBIG_deinitialise();
      return 0;
    }
  }
  utilvbig.initialised = 1;
  return 1;
}

void UTILVBIG_deinitialise(void) {
  VBUG_TRACE("UTILVBIG_deinitialise");
  utilvbig.initialised = 0;
  utilvbig_release_stack(&utilvbig.extracted_files);
  utilvbig_release_stack(&utilvbig.extracted_dirs);
}

unsigned char UTILVBIG_is_initialised(void) {
  VBUG_TRACE("UTILVBIG_is_initialised");
  return utilvbig.initialised;
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
  return utilvbig_stack_count(utilvbig.extracted_files);
}

int32_t UTILVBIG_recorded_dir_count(void) {
  return utilvbig_stack_count(utilvbig.extracted_dirs);
}

const char *UTILVBIG_recorded_path(unsigned char is_dir, int32_t index) {
  const VSTACK *stack = is_dir ? utilvbig.extracted_dirs : utilvbig.extracted_files;
  if (index < 0 || index >= utilvbig_stack_count(stack)) return NULL;
  const char *path = NULL;
  memcpy(&path, stack->base + (size_t)index * sizeof(char *), sizeof path);
  return path;
}

int32_t UTILVBIG_get_skipped_count(void) {
  return utilvbig.skipped;
}

void UTILVBIG_set_refusal_reporter(UTILVBIG_REFUSAL_REPORTER reporter) {
  utilvbig.reporter = reporter;
}

// Counts member `name` of the current archive folder as refused and tells
// the reporter why.
static void utilvbig_refuse(const char *name, const char *reason) {
  VBUG_MESSAGE("Refused to extract member '%s': %s", name, reason);
  utilvbig.skipped++;
  if (utilvbig.reporter != NULL) utilvbig.reporter(utilvbig.archive_folder, name, reason);
}

// ---- Names and folders. ----------------------------------------------------

// Characters that no name may hold, besides the control characters.
static const char utilvbig_forbidden_characters[] = "/\\:<>\"|?*";

// Device names that Windows reserves in every folder.
static const char *const utilvbig_device_names[] = {"CON", "PRN",    "AUX",
                                                    "NUL", "CONIN$", "CONOUT$"};

// Device names made of "COM" or "LPT" and one of these: a digit, or a
// superscript one, two or three in the ANSI code page or in UTF-8.
static const char *const utilvbig_numbered_devices[] = {"COM", "LPT"};
static const char *const utilvbig_device_numbers[] = {
    "0", "1", "2",    "3",    "4",    "5",        "6",        "7",
    "8", "9", "\xB9", "\xB2", "\xB3", "\xC2\xB9", "\xC2\xB2", "\xC2\xB3"};

#define UTILVBIG_COUNT(table) (sizeof(table) / sizeof((table)[0]))

// 1 when the first `length` characters of text are `word`, ignoring the case
// of ASCII letters.
static unsigned char utilvbig_is_word(const char *text, size_t length, const char *word) {
  if (strlen(word) != length) return 0;
  for (size_t i = 0; i < length; i++) {
    if (toupper((unsigned char)text[i]) != toupper((unsigned char)word[i])) return 0;
  }
  return 1;
}

// 1 when name opens a device: its part before the first dot, without the
// blanks that end it, is a reserved device name.
static unsigned char utilvbig_is_device_name(const char *name) {
  size_t base = strcspn(name, ".");
  while (base > 0 && name[base - 1] == ' ') base--;
  for (size_t d = 0; d < UTILVBIG_COUNT(utilvbig_device_names); d++) {
    if (utilvbig_is_word(name, base, utilvbig_device_names[d])) return 1;
  }
  for (size_t d = 0; base > 3 && d < UTILVBIG_COUNT(utilvbig_numbered_devices); d++) {
    if (!utilvbig_is_word(name, 3, utilvbig_numbered_devices[d])) continue;
    for (size_t n = 0; n < UTILVBIG_COUNT(utilvbig_device_numbers); n++) {
      if (utilvbig_is_word(name + 3, base - 3, utilvbig_device_numbers[n])) return 1;
    }
  }
  return 0;
}

const char *UTILVBIG_unsafe_name_reason(const char *name) {
  if (name == NULL || name[0] == '\0') return "an empty name";
  if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return "\".\" or \"..\"";
  for (const unsigned char *c = (const unsigned char *)name; *c != '\0'; c++) {
    if (*c < 0x20 || *c == 0x7F || strchr(utilvbig_forbidden_characters, *c) != NULL) {
      return "a control character or one of / \\ : < > \" | ? *";
    }
  }
  char last = name[strlen(name) - 1];
  if (last == '.' || last == ' ') return "a dot or a blank at the end, which Windows drops";
  if (utilvbig_is_device_name(name)) return "a reserved device name";
  return NULL;
}

unsigned char UTILVBIG_is_safe_name(const char *name) {
  return UTILVBIG_unsafe_name_reason(name) == NULL ? 1 : 0;
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
        !utilvbig_record(utilvbig.extracted_dirs, built)) {
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
// that cannot be read or written leaves no file behind and is refused.
// Always returns 1: one member never stops the extraction.
static unsigned char utilvbig_write_file(int32_t handle, int32_t index, const char *file_name) {
  VBUG_TRACE("utilvbig_write_file");
  FILE *stream = vfile_fopen(file_name, "wb", 0, VBUG_SOURCE, __LINE__);
  if (stream == NULL) {
    utilvbig_refuse(file_name, "the file cannot be created");
    return 1;
  }
  int32_t length = 0;
  void *release = NULL;
  const void *data = VFILBIG_borrow_entry(handle, index, &length, &release);
  unsigned char ok =
      data != NULL && (length == 0 || VFILE_fwrite(data, (size_t)length, 1, stream) == 1);
  PLATFORM_free(release);
  ok = vfile_fclose(stream, VBUG_SOURCE, __LINE__) == 0 && ok;
  if (!ok) {
    PLATFORM_delete_file(file_name);
    utilvbig_refuse(file_name,
                    data == NULL ? "the member cannot be read" : "the file cannot be written");
    return 1;
  }
  if (!utilvbig_record(utilvbig.extracted_files, file_name)) {
    // Unrecorded, it would never be deleted: it goes at once.
    VBUG_MESSAGE("Failed to record '%s'", file_name);
    PLATFORM_delete_file(file_name);
    utilvbig.skipped++;
  }
  return 1;
}

// 1 when path lies strictly inside folder (both absolute, as the system
// gives them).
static unsigned char utilvbig_is_inside(const char *folder, const char *path) {
  size_t length = strlen(folder);
  if (length == 0 || strncmp(folder, path, length) != 0) return 0;
  if (folder[length - 1] != '\\') {
    if (path[length] != '\\') return 0;
    length++;
  }
  return path[length] != '\0';
}

// Makes folder `name` (when missing) and enters it. Only a folder that the
// system put strictly inside the one being filled is kept; utilvbig.where then
// names it. Otherwise the member is refused, the working directory stays or
// is put back where it was, and 0 is returned.
static unsigned char utilvbig_enter_folder(const char *name) {
  utilvbig_make_dir(name);
  if (!PLATFORM_set_current_directory(name)) {
    utilvbig_refuse(name, "the folder cannot be entered");
    return 0;
  }
  char entered[UTILVBIG_DIRECTORY_SIZE];
  uint32_t length = PLATFORM_get_current_directory(sizeof entered, entered);
  if (length == 0 || length >= sizeof entered || !utilvbig_is_inside(utilvbig.where, entered)) {
    utilvbig.lost = !PLATFORM_set_current_directory(utilvbig.where);
    utilvbig_refuse(name, "the folder is not inside its parent");
    return 0;
  }
  strcpy(utilvbig.where, entered);
  return 1;
}

static void utilvbig_extract(int32_t handle, int32_t directory);

// Extracts directory entry `index` into a folder of that name, and comes
// back by the absolute path the parent had before (never by "..", which a
// name that the system changed could turn into a climb above the target).
static void utilvbig_extract_folder(int32_t handle, int32_t index, const char *name) {
  size_t parent_length = strlen(utilvbig.where);
  size_t archive_length = strlen(utilvbig.archive_folder);
  if (!utilvbig_enter_folder(name)) return;
  if (archive_length > 0) strcat(utilvbig.archive_folder, "\\");
  strcat(utilvbig.archive_folder, name);
  utilvbig_extract(handle, index);
  utilvbig.archive_folder[archive_length] = '\0';
  utilvbig.where[parent_length] = '\0';
  if (!PLATFORM_set_current_directory(utilvbig.where)) {
    VBUG_MESSAGE("Failed to return to '%s'", utilvbig.where);
    utilvbig.lost = 1;
  }
}

// Extracts the files and folders of directory entry `directory` (-1: the
// root) into the working directory, in record order, depth first. Entries
// are walked by index, so names that differ only in case cannot loop. The
// walk stops when it could not get back to a folder.
static void utilvbig_extract(int32_t handle, int32_t directory) {
  VBUG_TRACE("utilvbig_extract");
  size_t folder_length = strlen(utilvbig.archive_folder);
  for (int32_t i = VFILBIG_next_child(handle, directory, directory); i >= 0 && !utilvbig.lost;
       i = VFILBIG_next_child(handle, directory, i)) {
    const VBIG_FAT_ENTRY *entry = VFILBIG_get_fat_entry(handle, i);
    const char *unsafe = UTILVBIG_unsafe_name_reason(entry->name);
    if (unsafe != NULL) {
      utilvbig_refuse(entry->name, unsafe);
    } else if (folder_length + (folder_length > 0) + strlen(entry->name) >
               UTILVBIG_MAX_ARCHIVE_PATH) {
      utilvbig_refuse(entry->name, "an archive path too long");
    } else if (entry->type == VBIG_ENTRY_DIRECTORY) {
      utilvbig_extract_folder(handle, i, entry->name);
    } else {
      utilvbig_write_file(handle, i, entry->name);
    }
  }
}

// Extracts the whole archive into target_dir with the working directory
// saved and restored. Returns 0 when it cannot start (nothing extracted).
static unsigned char utilvbig_extract_to_dir(int32_t handle, const char *target_dir) {
  uint32_t length =
      PLATFORM_get_current_directory(sizeof utilvbig.saved_directory, utilvbig.saved_directory);
  if (length == 0 || length >= sizeof utilvbig.saved_directory) {
    VBUG_MESSAGE("Failed to read the working directory");
    return 0;
  }
  utilvbig.skipped = 0;
  utilvbig.lost = 0;
  utilvbig.archive_folder[0] = '\0';
  if (target_dir != NULL && !PLATFORM_set_current_directory(target_dir)) {
    utilvbig_make_dir(target_dir);
    if (!PLATFORM_set_current_directory(target_dir)) {
      VBUG_MESSAGE("Failed to enter '%s'", target_dir);
      return 0;
    }
  }
  length = PLATFORM_get_current_directory(sizeof utilvbig.where, utilvbig.where);
  if (length > 0 && length < sizeof utilvbig.where) {
    utilvbig_extract(handle, -1);
  } else {
    VBUG_MESSAGE("Failed to read the working directory");
  }
  PLATFORM_set_current_directory(utilvbig.saved_directory);
  return length > 0 && length < sizeof utilvbig.where;
}

unsigned char UTILVBIG_extract_archive(int32_t handle, const char *target_dir) {
  VBUG_TRACE("UTILVBIG_extract_archive");
  if (!utilvbig.initialised || VFILBIG_get_entry_count(handle) < 0) return 0;
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
  if (!utilvbig.initialised) {
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
  if (utilvbig.extracted_files == NULL) return;
  char *path = NULL;
  while (VSTACK_pop(utilvbig.extracted_files, &path)) {
    if (!PLATFORM_delete_file(path)) VBUG_MESSAGE("Failed to remove file %s", path);
    MEMORY_FREE(path);
  }
  VSTACK_deallocate(&utilvbig.extracted_files);
}

void UTILVBIG_delete_extracted_dirs(void) {
  VBUG_TRACE("UTILVBIG_delete_extracted_dirs");
  if (utilvbig.extracted_dirs == NULL) return;
  char *path = NULL;
  while (VSTACK_pop(utilvbig.extracted_dirs, &path)) {
    if (!PLATFORM_remove_directory(path)) VBUG_MESSAGE("Failed to delete directory");
    MEMORY_FREE(path);
  }
  VSTACK_deallocate(&utilvbig.extracted_dirs);
}
