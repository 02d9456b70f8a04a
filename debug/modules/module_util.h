// Small helpers shared by the test modules.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

#include "test.h"

// Error reports of the test modules, one vocabulary for all of them:
// " ERROR  (qz_pwm|pwm_init_param|123): message" on standard error, where the source
// is the reporting file's name without folder or extension. Log parsers know a report
// by its function and line, so where a report's line is fixed it is given as a number
// and must stay the same when the code moves.
void module_error(const char *file, const char *function, int line, const char *fmt, ...)
    __attribute__((format(printf, 4, 5)));
// An option the module refuses: the report, the module's help, then exit(-1).
[[noreturn]] void module_option_exit(const char *file, const char *function, int line,
                                     void (*help)(void), const char *fmt, ...)
    __attribute__((format(printf, 5, 6)));
// The same without the exit, for the modules that return after a refused option;
// always -1.
int module_option_fail(const char *file, const char *function, int line, void (*help)(void),
                       const char *fmt, ...) __attribute__((format(printf, 5, 6)));

// The calling file's name; without the folder where the compiler gives it, which keeps
// build paths out of the program.
#ifdef __FILE_NAME__
#define MODULE_FILE __FILE_NAME__
#else
#define MODULE_FILE __FILE__
#endif
#define MODULE_ERROR(line, ...) module_error(MODULE_FILE, __func__, line, __VA_ARGS__)
#define MODULE_OPTION_EXIT(help, line, ...) \
  module_option_exit(MODULE_FILE, __func__, line, help, __VA_ARGS__)
#define MODULE_OPTION_FAIL(help, line, ...) \
  module_option_fail(MODULE_FILE, __func__, line, help, __VA_ARGS__)

// The source name of a report: "dir/qz_pwm.cpp" -> "qz_pwm" into buf (len bytes).
void module_source_name(const char *file, char *buf, size_t len);

// Reads an option number the way the board's 32-bit strtoul(text, NULL, 0) does:
// decimal, 0x hexadecimal or leading-zero octal; a leading '-' negates modulo 2^32;
// a value beyond 32 bits reads as UINT32_MAX; text without digits reads as 0.
uint32_t module_parse_u32(const char *text);

// Reads a signed decimal option number the way the board's 32-bit strtol(text, NULL,
// 10) does: values beyond 32 bits read as INT32_MIN / INT32_MAX.
int32_t module_parse_i32(const char *text);

// System V shared memory: the id of the segment of `key` (created with `flags`, e.g.
// IPC_CREAT | 0666), or -1.
int module_shm_get(key_t key, size_t size, int flags);
// Attaches segment `id` read-write; null on failure.
void *module_shm_attach(int id);

// Runs a shell command through /bin/sh after flushing the program's own buffered
// output, so that what the command prints lands after what the module printed
// before it. Returns the wait status as system() does (0: the command succeeded,
// -1: it could not be started). The tool's stop handling stays active meanwhile,
// and a command ended by SIGINT or SIGQUIT sets the stop flag.
int module_system(const char *command);

// Formats a shell command into buf (len bytes). A command that does not fit is
// refused (-1, nothing run): a cut command line could do something else entirely.
int module_format_command(char *buf, size_t len, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));

// True when the whole text is a number in the base-detection form (optional sign,
// digits, nothing after them).
bool module_is_number(const char *text);

// getopt_long over a module's option rows: the long-option table and the short-option
// string (each letter, ':' after those that take an argument) are built from the rows.
// A module whose short forms differ from its rows passes its own short-option string.
class ModuleGetopt {
 public:
  template <size_t N>
  explicit ModuleGetopt(const ModuleOption (&rows)[N], const char *shortOptions = nullptr)
      : ModuleGetopt(rows, N, shortOptions) {
    static_assert(N <= kMaxRows, "more option rows than ModuleGetopt holds");
  }
  ModuleGetopt(const ModuleOption *rows, size_t count, const char *shortOptions);
  // The next option as getopt_long returns it, passing over -M/--module; -1 after the
  // last.
  int next(int argc, char **argv);

 private:
  static constexpr size_t kMaxRows = 40;
  struct option longOptions_[kMaxRows + 1];
  char shortBuffer_[2 * kMaxRows + 1];
  const char *shortOptions_;
};
