#include "board_sim.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static const char *board_dir() {
  const char *dir = getenv("BOARD_SIM_DIR");
  return (dir && *dir) ? dir : "/tmp/board";
}

void board_trace_list(const char *fn, const long long *args, int nargs) {
  const char *path = getenv("BOARD_SIM_TRACE");
  if (!path || !*path) return;
  char line[1024];
  int len = snprintf(line, sizeof line, "%s", fn);
  for (int i = 0; i < nargs && len < (int)sizeof line; i++)
    len += snprintf(line + len, sizeof line - len, " %lld", args[i]);
  if (len >= (int)sizeof line - 1) len = sizeof line - 2;
  line[len++] = '\n';
  int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  ssize_t n = write(fd, line, len);
  (void)n;
  close(fd);
}

int board_state_path(const char *name, char *out, size_t outLen) {
  const char *dir = board_dir();
  mkdir(dir, 0755);
  int n = snprintf(out, outLen, "%s/%s", dir, name);
  return (n < 0 || (size_t)n >= outLen) ? -1 : 0;
}

long board_state_read(const char *name, void *buf, size_t len) {
  char path[512];
  if (board_state_path(name, path, sizeof path) != 0) return -1;
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  size_t got = 0;
  while (got < len) {
    ssize_t n = read(fd, (char *)buf + got, len - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += (size_t)n;
  }
  close(fd);
  return (long)got;
}

int board_state_write(const char *name, const void *buf, size_t len) {
  char path[512], tmp[600];
  if (board_state_path(name, path, sizeof path) != 0) return -1;
  snprintf(tmp, sizeof tmp, "%s.%d.tmp", path, (int)getpid());
  int fd = open(tmp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  size_t done = 0;
  while (done < len) {
    ssize_t n = write(fd, (const char *)buf + done, len - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) { close(fd); unlink(tmp); return -1; }
    done += (size_t)n;
  }
  if (close(fd) != 0 || rename(tmp, path) != 0) { unlink(tmp); return -1; }
  return 0;
}

long long board_state_get_int(const char *name, long long dflt) {
  char text[32];
  long n = board_state_read(name, text, sizeof text - 1);
  if (n <= 0) return dflt;
  text[n] = '\0';
  char *end;
  long long v = strtoll(text, &end, 10);
  return end == text ? dflt : v;
}

int board_state_set_int(const char *name, long long value) {
  char text[32];
  int n = snprintf(text, sizeof text, "%lld\n", value);
  return board_state_write(name, text, (size_t)n);
}
