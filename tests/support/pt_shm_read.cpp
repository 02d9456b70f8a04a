// pt-shm-read: prints the pan-tilt controller's shared memory segment word by word:
//   "<size>: <word0> <word1> ..."  (the command word as its letter when printable)
// or "no segment".
#include <stdint.h>
#include <stdio.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include "qzptz.h"

int main() {
  int id = shmget(PT_SHM_KEY, 0, 0);
  if (id < 0) {
    printf("no segment\n");
    return 0;
  }
  struct shmid_ds info;
  void *addr = shmat(id, nullptr, SHM_RDONLY);
  if (shmctl(id, IPC_STAT, &info) != 0 || addr == (void *)-1) {
    perror("pt-shm-read");
    return 1;
  }
  const unsigned char *bytes = static_cast<const unsigned char *>(addr);
  printf("%zu:", (size_t)info.shm_segsz);
  for (size_t off = 0; off + 4 <= info.shm_segsz; off += 4) {
    // The segment's words are little-endian whatever the host.
    uint32_t word = bytes[off] | bytes[off + 1] << 8 | bytes[off + 2] << 16 |
                    (uint32_t)bytes[off + 3] << 24;
    if (off == offsetof(PanTiltCmd, command) && word > 0x20 && word < 0x7f)
      printf(" %c", (char)word);
    else
      printf(" %u", word);
  }
  printf("\n");
  shmdt(addr);
  return 0;
}
