/* shmtool: looks at System V shared memory from a test.
 *
 *   shmtool dump KEY      attaches the segment of KEY and prints every byte, in hex,
 *                         sixteen to a line; status 1 when there is no such segment
 *   shmtool make KEY SIZE creates a segment of SIZE bytes (filled with 0xee) for KEY
 *   shmtool size KEY      prints the segment's size
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/shm.h>

int main(int argc, char **argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: shmtool dump|make|size KEY [SIZE]\n");
    return 2;
  }
  key_t key = (key_t)strtol(argv[2], NULL, 0);
  if (!strcmp(argv[1], "make") && argc == 4) {
    size_t size = strtoul(argv[3], NULL, 0);
    int id = shmget(key, size, IPC_CREAT | IPC_EXCL | 0666);
    if (id < 0) { perror("shmget"); return 1; }
    unsigned char *mem = shmat(id, NULL, 0);
    if (mem == (void *)-1) { perror("shmat"); return 1; }
    memset(mem, 0xee, size);
    shmdt(mem);
    return 0;
  }
  int id = shmget(key, 0, 0);
  if (id < 0) { perror("shmget"); return 1; }
  struct shmid_ds info;
  if (shmctl(id, IPC_STAT, &info) != 0) { perror("shmctl"); return 1; }
  if (!strcmp(argv[1], "size")) {
    printf("%zu\n", (size_t)info.shm_segsz);
    return 0;
  }
  if (strcmp(argv[1], "dump") != 0) return 2;
  const unsigned char *mem = shmat(id, NULL, SHM_RDONLY);
  if (mem == (void *)-1) { perror("shmat"); return 1; }
  for (size_t i = 0; i < info.shm_segsz; i++)
    printf("%02x%s", mem[i], (i % 16 == 15 || i + 1 == info.shm_segsz) ? "\n" : " ");
  shmdt(mem);
  return 0;
}
