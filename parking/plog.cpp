#include "plog.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "qzcommon.h"

// The time text of time_to_string for now, into a 32-byte buffer.
static char *plog_time_text(char *buf32) {
  buf32[0] = '\0';
  time_to_string(time(nullptr), buf32);
  buf32[31] = '\0';
  return buf32;
}

// Appends "==func:%s file:%s line:%d\n" after len bytes of buf, cutting the message
// if needed so that the tail is always whole.
static int add_tail(char *buf, int len, const char *func, const char *file, int line) {
  char tail[256];
  int tlen = snprintf(tail, sizeof tail, "==func:%s file:%s line:%d\n", func, file, line);
  if (tlen < 0) return len;
  if (tlen >= (int)sizeof tail) tlen = (int)sizeof tail - 1;
  if (len > PLOG_LINE_MAX - 1 - tlen) len = PLOG_LINE_MAX - 1 - tlen;
  if (len < 0) len = 0;
  memcpy(buf + len, tail, (size_t)tlen + 1);
  return len + tlen;
}

// snprintf's result clamped to what is really in a buffer of size room.
static int clamp_len(int n, int room) {
  if (n < 0) return 0;
  return n >= room ? room - 1 : n;
}

void plog(const char *func, const char *file, int line, const char *fmt, ...) {
  char timeText[32];
  char buf[PLOG_LINE_MAX];
  int len = clamp_len(snprintf(buf, sizeof buf, "[%s %d] ", plog_time_text(timeText),
                               (int)getpid()), (int)sizeof buf);
  va_list ap;
  va_start(ap, fmt);
  len += clamp_len(vsnprintf(buf + len, sizeof buf - len, fmt, ap), (int)sizeof buf - len);
  va_end(ap);
  len = add_tail(buf, len, func, file, line);
  fwrite(buf, 1, (size_t)len, stdout);
}

enum LevelKind { LEVEL_ERR, LEVEL_WRN, LEVEL_INF };

static void plog_levelled(enum LevelKind kind, const char *func, const char *file, int line,
                          const char *fmt, va_list ap) {
  static const char *const names[] = {"ERR:", "WRN:", "INF:"};
  static const int floors[] = {0, 1, 3};
  if (debug_get_mask() <= floors[kind]) return;

  char msg[PLOG_LINE_MAX];
  int mlen = clamp_len(vsnprintf(msg, sizeof msg, fmt, ap), (int)sizeof msg);
  msg[mlen] = '\0';

  char timeText[32] = "";
  time_to_string_ms(timeText);
  timeText[31] = '\0';
  char buf[PLOG_LINE_MAX];
  int len;
  if (kind == LEVEL_INF)
    len = snprintf(buf, sizeof buf, "[%s%s %d] %s", names[kind], timeText, (int)getpid(), msg);
  else
    len = snprintf(buf, sizeof buf, "[%s%s %d] %s%s" PLOG_RESET " ", names[kind], timeText,
                   (int)getpid(), kind == LEVEL_ERR ? PLOG_RED : PLOG_YELLOW, msg);
  len = add_tail(buf, clamp_len(len, (int)sizeof buf), func, file, line);
  fwrite(buf, 1, (size_t)len, stdout);

  if (kind == LEVEL_ERR) {
    add_tail(msg, mlen, func, file, line);
    _qz_log("ERR:", msg);
  }
}

void plog_err(const char *func, const char *file, int line, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  plog_levelled(LEVEL_ERR, func, file, line, fmt, ap);
  va_end(ap);
}

void plog_wrn(const char *func, const char *file, int line, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  plog_levelled(LEVEL_WRN, func, file, line, fmt, ap);
  va_end(ap);
}

void plog_inf(const char *func, const char *file, int line, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  plog_levelled(LEVEL_INF, func, file, line, fmt, ap);
  va_end(ap);
}
