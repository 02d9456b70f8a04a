// Log mask, persistent log and time texts.
//
// The persistent log is the file named by QZ_LOG_PATH, by default /mnt/nand/qz.log.
// Each line is written with one append, so lines of several processes never mix; the
// file is moved to "<path>.old" when it grows past kLogLimit, so it never fills the
// flash.
#include "qzcommon.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kLogPath[] = "/mnt/nand/qz.log";
const off_t kLogLimit = 256 * 1024;

const char *log_path() {
  const char *path = getenv("QZ_LOG_PATH");
  return (path && path[0]) ? path : kLogPath;
}

}  // namespace

extern "C" {

int debug_get_mask(void) {
  const char *text = getenv("QZ_DEBUG_MASK");
  if (!text || !text[0]) return 0;
  char *end = nullptr;
  long value = strtol(text, &end, 0);
  if (*end != '\0' || value < 0 || value > 0x7FFFFFFF) return 0;
  return static_cast<int>(value);
}

int _qz_log(const char *level, const char *text) {
  if (!level || !text) return -1;
  const char *path = log_path();
  struct stat st;
  if (stat(path, &st) == 0 && st.st_size > kLogLimit) {
    char old[4096];
    if (snprintf(old, sizeof old, "%s.old", path) < static_cast<int>(sizeof old)) rename(path, old);
  }
  char stamp[32];
  time_to_string_ms(stamp);
  char line[4352];
  // The text is cut to fit the line; a line always ends with one newline.
  int n = snprintf(line, sizeof line - 1, "[%s %s] %.4096s", level, stamp, text);
  if (n < 0) return -1;
  size_t len = strnlen(line, sizeof line - 1);
  while (len > 0 && line[len - 1] == '\n') len--;
  line[len++] = '\n';
  int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  ssize_t written = write(fd, line, len);
  close(fd);
  return written == static_cast<ssize_t>(len) ? 0 : -1;
}

char *time_to_string(time_t seconds, char *buffer) {
  if (!buffer) return nullptr;
  struct tm parts;
  if (!localtime_r(&seconds, &parts) || strftime(buffer, 32, "%Y-%m-%d %H:%M:%S", &parts) == 0)
    buffer[0] = '\0';
  return buffer;
}

char *time_to_string_ms(char *buffer) {
  if (!buffer) return nullptr;
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  char whole[32];
  time_to_string(now.tv_sec, whole);
  int millis = static_cast<int>(now.tv_nsec / 1000000) % 1000;
  snprintf(buffer, 32, "%.19s.%03d", whole, millis);
  return buffer;
}

}  // extern "C"
