// qz_free_system_caches on the simulated board.
//
// The simulated board shares the host's kernel, so dropping the page cache would slow
// down every other program on the development machine. The call therefore syncs, is
// traced, and writes the kernel's drop_caches control only when BOARD_SIM_DROP_CACHES=1
// asks for the real thing (as on the camera).
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "board_sim.h"
#include "qzutil.h"

extern "C" int qz_free_system_caches(void) {
  board_trace("qz_free_system_caches");
  sync();
  const char *real = getenv("BOARD_SIM_DROP_CACHES");
  if (real == nullptr || strcmp(real, "1") != 0) return 0;
  int fd = open("/proc/sys/vm/drop_caches", O_WRONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  // 3: page cache, dentries and inodes.
  ssize_t n = write(fd, "3\n", 2);
  close(fd);
  return n == 2 ? 0 : -1;
}
