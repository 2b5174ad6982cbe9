// vbug: the diagnostics module. Tagged messages, assertions, a call-stack
// trace, a trace ring buffer, watched values and the always-on retail log.
//
// Callers gate every diagnostic on the flag word before formatting anything:
// use the VBUG_MESSAGE / VBUG_ASSERT / VBUG_TRACE macros below, which cost one
// bit test when the flag is off. Each module defines VBUG_SOURCE (its source
// path, backslash-separated, e.g. "libfnal\\source\\memory.cpp") before use.
#ifndef VBUG_H
#define VBUG_H

#include <stdint.h>

#define VBUG_FLAG_ASSERT 0x01u
#define VBUG_FLAG_MESSAGE 0x02u
#define VBUG_FLAG_WATCH 0x04u
#define VBUG_FLAG_CALLSTACK 0x08u

#define VBUG_OUTPUT_FILE 1
#define VBUG_OUTPUT_TRACE_BUFFER 2
#define VBUG_OUTPUT_DEBUGGER 3
#define VBUG_OUTPUT_NULL 4
#define VBUG_OUTPUT_STDERR 5

#define VBUG_WATCH_TEXT 0
#define VBUG_WATCH_INT 1
#define VBUG_WATCH_END 2

#define VBUG_TEXT_SIZE 1024
#define VBUG_LINE_SIZE 2048
#define VBUG_WATCH_TEXT_SIZE 1024

// The switch bits, read by every call site. Written only by VBUG_initialise
// and VBUG_deinitialise; zero at program start.
extern uint32_t VBUG_flags;

// Called after a failed assertion (with the value 1) once the module has been
// deinitialised; null when none is installed.
typedef void (*VBUG_ASSERT_CALLBACK)(int32_t code);

// Sets the module up: a trace ring buffer of 2^trace_bits bytes filled with
// 0xFF, callstack_size call-stack entries, watch_count watch records (plus the
// end record), the flag word, the output kind and an optional assertion
// callback. Returns 1, or 0 when already initialised, a size is out of range
// (trace_bits 1..24, callstack_size 1..65536, watch_count 0..4096) or memory
// runs out; on failure nothing is left allocated.
unsigned char VBUG_initialise(int32_t trace_bits, int32_t callstack_size, int32_t watch_count,
                              uint32_t flags, uint8_t output_kind, VBUG_ASSERT_CALLBACK callback);

// Dumps what the flags ask for (watch data, call stack, trace buffer), frees
// every buffer and returns the module to its all-zero state.
void VBUG_deinitialise(void);

// Formats "[%8s,%5d] " with the short file name and line, then the caller's
// text (cut at 1023 characters), and sends the line to the output kind.
void VBUG_message(const char *source_path, int32_t line, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// When condition is zero, reports "[%8s,%5d] (ASSERT FAILURE: %s) " and the
// caller's text to the output kind; with a callback installed it then
// deinitialises the module and calls the callback with 1.
void VBUG_assert(unsigned char condition, const char *condition_text, const char *source_path,
                 int32_t line, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 5, 6)))
#endif
    ;

// Pushes one call-stack entry (the strings must outlive the trace). On
// overflow the call is not recorded and, with messages on, reported.
void VBUG_enter(const char *function_name, const char *source_path, int32_t line);

// Pops one call-stack entry; below empty it resets the depth to -1 and, with
// messages on, reports it. The arguments are not used.
void VBUG_leave(const char *function_name, const char *source_path, int32_t line);

// Writes the trace ring buffer, oldest byte first and without never-written
// (0xFF) space, between banners to "develop.dbg". Only for output kind 2.
void VBUG_dump_trace_buffer(void);

// Appends one printf-formatted text to "retail.dbg", whatever the flags and
// the initialisation. No prefix or newline is added.
void VBUG_retail_message(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Names watch record `index` (0-based) as a text watch and sets its value
// (cut at 1023 characters). Returns 1, or 0 when not initialised or the index
// is outside the records given to VBUG_initialise.
unsigned char VBUG_watch_text(int32_t index, const char *name, const char *value);

// Names watch record `index` as an integer watch and sets its value. Returns
// 1, or 0 as for VBUG_watch_text.
unsigned char VBUG_watch_int(int32_t index, const char *name, int32_t value);

// Writes the short file name of source_path into out (9 bytes): the part
// after the last backslash, at most 8 characters, cut at its last ".".
void vbug_short_file_name(const char *source_path, char *out);

// Reads of the module state, for tests and tools.
int32_t VBUG_callstack_depth(void);
uint8_t VBUG_output_kind(void);

// Call-site gating: one bit test before any argument is evaluated.
#define VBUG_ON(flag) ((VBUG_flags & (flag)) != 0)

#define VBUG_MESSAGE(...)                                                             \
  do {                                                                                \
    if (VBUG_ON(VBUG_FLAG_MESSAGE)) VBUG_message(VBUG_SOURCE, __LINE__, __VA_ARGS__); \
  } while (0)

#define VBUG_ASSERT(cond)                                                  \
  do {                                                                     \
    if (VBUG_ON(VBUG_FLAG_ASSERT))                                         \
      VBUG_assert((cond) ? 1 : 0, #cond, VBUG_SOURCE, __LINE__, "%s", ""); \
  } while (0)

#ifdef __cplusplus
// Records entry on construction and exit on destruction (every return), each
// only while VBUG_FLAG_CALLSTACK is set at that moment.
class VbugTrace {
 public:
  VbugTrace(const char *function_name, const char *source_path, int32_t line)
      : name_(function_name), path_(source_path), line_(line) {
    if (VBUG_ON(VBUG_FLAG_CALLSTACK)) VBUG_enter(name_, path_, line_);
  }
  ~VbugTrace() {
    if (VBUG_ON(VBUG_FLAG_CALLSTACK)) VBUG_leave(name_, path_, line_);
  }
  VbugTrace(const VbugTrace &) = delete;
  VbugTrace &operator=(const VbugTrace &) = delete;

 private:
  const char *name_;
  const char *path_;
  int32_t line_;
};
#define VBUG_TRACE(function_name) VbugTrace vbug_trace_(function_name, VBUG_SOURCE, __LINE__)
#endif

#endif
