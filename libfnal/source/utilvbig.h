// utilvbig: unpacks a VBIG archive held in memory into a new folder under
// the temporary-files folder, recreating its directory tree, and remembers
// every file and folder it created (up to 100 of each) so that they can be
// deleted again. The working directory is changed during an extraction and
// restored at its end. Module state: the two bookkeeping stacks. Needs the
// archive reader (vfilbig) initialised, and the memory module for the
// recorded paths.
#ifndef UTILVBIG_H
#define UTILVBIG_H

#include <stdint.h>

#define UTILVBIG_MAX_RECORDED 100
#define UTILVBIG_DIRECTORY_SIZE 2048
#define UTILVBIG_MAX_ARCHIVE_PATH 1023
#define UTILVBIG_TEMP_PREFIX "DIR"

// Sets the module up; with `track` 1 the files and folders an extraction
// creates are recorded. Returns 1, or 0 (module left uninitialised) when
// `track` is 1 and the records cannot be created.
unsigned char UTILVBIG_initialise(unsigned char track);

// Releases every recorded path without touching the disk, and both stacks.
void UTILVBIG_deinitialise(void);

unsigned char UTILVBIG_is_initialised(void);

// Extracts the archive in `block`, whose length is not known (the archive
// reader trusts its header and records; prefer the sized form), into a new
// folder "<temp>\DIRxxxx.TMP" and writes that folder's path into result_path
// (at least 260 bytes; emptied first). `reserved` is not used. Returns 1 once
// the archive is open and walked, whatever single members could not be
// written; 0 (reported) for a null result_path, either module not
// initialised, a null block, a folder that cannot be created or an archive
// that does not open; no folder is left behind then. The archive stays open
// in its slot until the reader is deinitialised; the caller may release the
// block on return.
unsigned char UTILVBIG_extract_to_temp_dir_from_mem(const void *block, int32_t reserved,
                                                    char *result_path);

// As UTILVBIG_extract_to_temp_dir_from_mem for a block of `length` bytes: an
// archive that is truncated or inconsistent is refused as a whole (the
// reader's last error says why) and nothing is extracted.
unsigned char UTILVBIG_extract_to_temp_dir_from_mem_with_size(const void *block, int32_t length,
                                                              char *result_path);

// Extracts every member of an open archive into target_dir (relative to the
// working directory or absolute; created when missing, and then recorded).
// Members whose name is not safe (UTILVBIG_is_safe_name) are refused, a
// refused folder with everything in it, as are those that cannot be read or
// written and folders that cannot be entered; the others go on. The walk
// comes back from each folder by the absolute path its parent had, so no
// member lands outside target_dir. Returns 1, or 0 when the working
// directory cannot be read or target_dir cannot be entered (nothing
// extracted then). The working directory is restored.
unsigned char UTILVBIG_extract_archive(int32_t handle, const char *target_dir);

// Members refused by the last extraction (unsafe name, too long a path, not
// readable or not writable, a folder that cannot be entered).
int32_t UTILVBIG_get_skipped_count(void);

// Called once for every member an extraction refuses, with the archive path
// of its folder ("" at the top), its name and why it was refused.
typedef void (*UTILVBIG_REFUSAL_REPORTER)(const char *folder, const char *name, const char *reason);

// Sets the function told of refused members (null: nobody, the default).
void UTILVBIG_set_refusal_reporter(UTILVBIG_REFUSAL_REPORTER reporter);

// Why name cannot be written as a file or folder of its own under exactly
// that name (a short phrase such as "a reserved device name"), or null when
// it can: it is empty, "." or "..", holds a control
// character or one of / \ : < > " | ? *, ends in a dot or a blank (which
// Windows drops), or is a reserved device name (CON, PRN, AUX, NUL, COM0-9,
// LPT0-9, COM and LPT with a superscript 1, 2 or 3 in the ANSI code page or
// in UTF-8, CONIN$, CONOUT$), in any case, alone or followed by blanks or an
// extension.
const char *UTILVBIG_unsafe_name_reason(const char *name);

// 1 when UTILVBIG_unsafe_name_reason finds nothing wrong with name, else 0.
unsigned char UTILVBIG_is_safe_name(const char *name);

// Deletes every recorded file, newest first (a failure is reported and the
// rest go on), and ends file bookkeeping; a second call does nothing.
void UTILVBIG_delete_extracted_files(void);

// Removes every recorded folder, newest first (deeper ones before their
// parents), and ends folder bookkeeping; a second call does nothing.
void UTILVBIG_delete_extracted_dirs(void);

// Number of recorded files and folders (for tests and the launcher's log).
int32_t UTILVBIG_recorded_file_count(void);
int32_t UTILVBIG_recorded_dir_count(void);

// Recorded path `index` (0 = the oldest) of the files or (is_dir 1) folders,
// owned by the module; null when out of range or not recording.
const char *UTILVBIG_recorded_path(unsigned char is_dir, int32_t index);

#endif
