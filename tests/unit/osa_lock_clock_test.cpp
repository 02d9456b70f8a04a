// OSA_lockFile's wait is a duration: a clock step while it waits (NTP, the control
// process setting the time) neither cuts it short nor stretches it. The test binary
// wraps gettimeofday so that the time of day leaps ten seconds at every reading.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "osa.h"

extern "C" int __real_gettimeofday(struct timeval *tv, void *tz);
static int g_leaps = 0;
extern "C" int __wrap_gettimeofday(struct timeval *tv, void *tz) {
  int status = __real_gettimeofday(tv, tz);
  tv->tv_sec += 10 * g_leaps++;
  return status;
}

static double monotonic_seconds(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

TEST(OsaLockClock, WaitIsNotCutShortByTheTimeOfDayLeaping) {
  char path[] = "/tmp/osa-lock-clock.XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t holder = fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {  // another process holds the lock until it is killed
    int own = open(path, O_RDWR);
    if (own < 0 || lockf(own, F_LOCK, 0) != 0) _exit(1);
    if (write(ready[1], "x", 1) != 1) _exit(1);
    pause();
    _exit(0);
  }
  char byte;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  const double start = monotonic_seconds();
  EXPECT_EQ(OSA_lockFile(fd, path), -1);
  const double waited = monotonic_seconds() - start;
  EXPECT_GE(waited, OSA_LOCK_WAIT_MS / 1000.0 - 0.05);
  EXPECT_LT(waited, OSA_LOCK_WAIT_MS / 1000.0 + 5.0);  // a loaded machine, not a leap
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  close(fd);
  unlink(path);
}
