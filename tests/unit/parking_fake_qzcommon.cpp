// Stand-in for the logging library while the board library has no sources.
#include <stdio.h>
#include <stdlib.h>
#include <sys/time.h>
#include <time.h>

#include "qzcommon.h"

extern "C" int debug_get_mask(void) {
  const char *v = getenv("QZ_DEBUG_MASK");
  return v ? atoi(v) : 0;
}

extern "C" int _qz_log(const char *, const char *) { return 0; }

extern "C" char *time_to_string(time_t seconds, char *buffer) {
  struct tm tm;
  localtime_r(&seconds, &tm);
  strftime(buffer, 32, "%Y-%m-%d %H:%M:%S", &tm);
  return buffer;
}

extern "C" char *time_to_string_ms(char *buffer) {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  char base[32];
  time_to_string(tv.tv_sec, base);
  snprintf(buffer, 32, "%.20s.%03d", base, (int)(tv.tv_usec / 1000) % 1000);
  return buffer;
}
