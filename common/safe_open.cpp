#include "safe_open.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

const char kSafeOpenSymlink[] = "it is a symbolic link";
const char kSafeOpenNotOurs[] = "not a regular file with one link owned by root";

static int refuse(const char *path, const char *why, int error, SafeOpenReport report) {
  if (report) report(path, why);
  errno = error;
  return -1;
}

// Closes fd keeping the errno that made us give up on it.
static int give_up(int fd) {
  int saved = errno;
  close(fd);
  errno = saved;
  return -1;
}

int safe_open(const char *path, int flags, SafeOpenReport report) {
  int fd = open(path, (flags & ~O_TRUNC) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0) {
    if (errno == ELOOP) return refuse(path, kSafeOpenSymlink, ELOOP, report);
    // A FIFO or socket without a reader refuses a non-blocking write-only open, and a
    // directory any open for writing.
    if (errno == ENXIO || errno == EISDIR) return refuse(path, kSafeOpenNotOurs, EPERM, report);
    return -1;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) return give_up(fd);
  if (!S_ISREG(st.st_mode) || st.st_nlink != 1 || st.st_uid != geteuid()) {
    close(fd);
    return refuse(path, kSafeOpenNotOurs, EPERM, report);
  }
  if (!(flags & O_NONBLOCK) && fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
    return give_up(fd);
  if ((flags & O_TRUNC) && ftruncate(fd, 0) != 0) return give_up(fd);
  return fd;
}
