// pt-shm-read: prints the pan-tilt controller's shared memory segment word by word:
//   "<size>: <word0> <word1> ..."  (the command word as its letter when printable)
// or "no segment". `pt-shm-read --create SIZE` first creates the segment with SIZE
// bytes of 0xab, to play a controller that made it with another size.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include "qzptz.h"

int main(int argc, char **argv) {
  if (argc == 3 && strcmp(argv[1], "--create") == 0) {
    size_t size = strtoul(argv[2], nullptr, 0);
    int id = shmget(PT_SHM_KEY, size, IPC_CREAT | IPC_EXCL | 0666);
    void *addr = id < 0 ? (void *)-1 : shmat(id, nullptr, 0);
    if (addr == (void *)-1) {
      perror("pt-shm-read: create");
      return 1;
    }
    memset(addr, 0xab, size);
    shmdt(addr);
  }
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
