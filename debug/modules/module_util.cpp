#include "module_util.h"

#include <ctype.h>
#include <errno.h>
#include <limits.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

#include "osa.h"
#include "test.h"

uint32_t module_parse_u32(const char *text) {
  if (!text) return 0;
  while (isspace((unsigned char)*text)) text++;
  bool negative = false;
  if (*text == '-' || *text == '+') negative = *text++ == '-';
  // strtoull would also accept a second sign or blanks here.
  if (!isdigit((unsigned char)*text)) return 0;
  unsigned long long magnitude = strtoull(text, nullptr, 0);
  if (magnitude > UINT32_MAX) return UINT32_MAX;
  uint32_t value = (uint32_t)magnitude;
  return negative ? (uint32_t)(0u - value) : value;
}

int32_t module_parse_i32(const char *text) {
  if (!text) return 0;
  long long value = strtoll(text, nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return (int32_t)value;
}

int module_shm_get(key_t key, size_t size, int flags) { return shmget(key, size, flags); }

void *module_shm_attach(int id) {
  if (id < 0) return nullptr;
  void *addr = shmat(id, nullptr, 0);
  return addr == (void *)-1 ? nullptr : addr;
}

int module_system(const char *command) {
  if (command == nullptr) return -1;
  fflush(stdout);
  fflush(stderr);
  // Like system(), but the tool's signal handler stays in charge while the command
  // runs: system() would ignore SIGINT and SIGQUIT meanwhile, so a stop request sent
  // to the tool during a long command would be lost.
  int status = OSA_system(command);
  if (status < 0) return -1;
  // A command killed by the user's interrupt (Ctrl-C reaches the whole process
  // group) asks the tool to stop as well.
  if (WIFSIGNALED(status) && (WTERMSIG(status) == SIGINT || WTERMSIG(status) == SIGQUIT))
    test_request_stop();
  return status;
}

int module_format_command(char *buf, size_t len, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int n = vsnprintf(buf, len, fmt, ap);
  va_end(ap);
  if (n < 0 || static_cast<size_t>(n) >= len) {
    if (len > 0) buf[0] = '\0';
    return -1;
  }
  return 0;
}

bool module_is_number(const char *text) {
  if (!text) return false;
  while (isspace((unsigned char)*text)) text++;
  if (*text == '-' || *text == '+') text++;
  if (!isdigit((unsigned char)*text)) return false;
  char *end = nullptr;
  (void)strtoull(text, &end, 0);
  return *end == '\0';
}

void module_source_name(const char *file, char *buf, size_t len) {
  if (len == 0) return;
  const char *base = file ? strrchr(file, '/') : nullptr;
  base = base ? base + 1 : (file ? file : "");
  const char *dot = strchr(base, '.');
  size_t n = dot ? static_cast<size_t>(dot - base) : strlen(base);
  if (n >= len) n = len - 1;
  memcpy(buf, base, n);
  buf[n] = '\0';
}

__attribute__((format(printf, 4, 0))) static void module_verror(const char *file,
                                                                 const char *function, int line,
                                                                 const char *fmt, va_list args) {
  char source[64];
  module_source_name(file, source, sizeof source);
  OSA_verror(source, function, line, fmt, args);
}

void module_error(const char *file, const char *function, int line, const char *fmt, ...) {
  va_list args;
  va_start(args, fmt);
  module_verror(file, function, line, fmt, args);
  va_end(args);
}

// The report of a refused option, then the module's help.
__attribute__((format(printf, 5, 0))) static void module_vrefuse(const char *file,
                                                                 const char *function, int line,
                                                                 void (*help)(void),
                                                                 const char *fmt, va_list args) {
  module_verror(file, function, line, fmt, args);
  if (help) help();
}

int module_option_fail(const char *file, const char *function, int line, void (*help)(void),
                       const char *fmt, ...) {
  va_list args;
  va_start(args, fmt);
  module_vrefuse(file, function, line, help, fmt, args);
  va_end(args);
  return -1;
}

void module_option_exit(const char *file, const char *function, int line, void (*help)(void),
                        const char *fmt, ...) {
  va_list args;
  va_start(args, fmt);
  module_vrefuse(file, function, line, help, fmt, args);
  va_end(args);
  exit(-1);
}

ModuleGetopt::ModuleGetopt(const ModuleOption *rows, size_t count, const char *shortOptions)
    : longOptions_(), shortBuffer_(), shortOptions_(shortOptions ? shortOptions : shortBuffer_) {
  if (count > kMaxRows) count = kMaxRows;
  char *letter = shortBuffer_;
  for (size_t i = 0; i < count; i++) {
    longOptions_[i] = {rows[i].name, rows[i].hasArg, nullptr, rows[i].val};
    // The letters are what the usage shows as short forms.
    if (rows[i].val < 0 || rows[i].val > UCHAR_MAX || !isalpha(rows[i].val)) continue;
    *letter++ = static_cast<char>(rows[i].val);
    if (rows[i].hasArg == required_argument) *letter++ = ':';
  }
}

int ModuleGetopt::next(int argc, char **argv) {
  int option;
  // -M named the module and has done its work.
  do option = getopt_long(argc, argv, shortOptions_, longOptions_, nullptr);
  while (option == 'M');
  return option;
}
