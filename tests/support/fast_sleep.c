// Preloaded into `debug` by the PTZ cases: every sleep lasts FAST_SLEEP_FACTOR times
// less (default 1000), so a run of several minutes takes well under a second, and
// each requested sleep is logged as "sleep <ms>" to the file FAST_SLEEP_LOG names
// (the board trace, so it interleaves with the library calls in order).
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

static void log_sleep(const struct timespec *req) {
  const char *path = getenv("FAST_SLEEP_LOG");
  if (!path || !*path) return;
  char line[64];
  int len = snprintf(line, sizeof line, "sleep %lld\n",
                     (long long)req->tv_sec * 1000 + req->tv_nsec / 1000000);
  int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  if (write(fd, line, (size_t)len) < 0) { /* the log is best effort */ }
  close(fd);
}

static struct timespec scaled(const struct timespec *req) {
  const char *text = getenv("FAST_SLEEP_FACTOR");
  long long factor = text ? atoll(text) : 1000;
  if (factor < 1) factor = 1;
  long long ns = ((long long)req->tv_sec * 1000000000LL + req->tv_nsec) / factor;
  struct timespec out = {(time_t)(ns / 1000000000LL), (long)(ns % 1000000000LL)};
  return out;
}

int nanosleep(const struct timespec *req, struct timespec *rem) {
  int (*real)(const struct timespec *, struct timespec *) =
      (int (*)(const struct timespec *, struct timespec *))dlsym(RTLD_NEXT, "nanosleep");
  log_sleep(req);
  struct timespec short_req = scaled(req);
  return real(&short_req, rem);
}

int clock_nanosleep(clockid_t clock, int flags, const struct timespec *req, struct timespec *rem) {
  int (*real)(clockid_t, int, const struct timespec *, struct timespec *) =
      (int (*)(clockid_t, int, const struct timespec *, struct timespec *))dlsym(
          RTLD_NEXT, "clock_nanosleep");
  if (flags & TIMER_ABSTIME) return real(clock, flags, req, rem);
  log_sleep(req);
  struct timespec short_req = scaled(req);
  return real(clock, flags, &short_req, rem);
}
