// Tasks, locks, semaphores and the shell on the host: POSIX threads, pthread mutexes,
// System V semaphores and a shell command in a child that inherits only 0, 1 and 2.
#include "qzstd.h"

#include <errno.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/sem.h>
#include <sys/wait.h>
#include <unistd.h>

extern "C" {

int qz_task_create_join(qz_task_t *task, QzTaskEntry entry, void *arg) {
  if (!task || !entry) return EINVAL;
  return pthread_create(task, nullptr, entry, arg);
}

int qz_task_join(qz_task_t *task) {
  if (!task) return -1;
  return pthread_join(*task, nullptr) == 0 ? 0 : -1;
}

int qz_task_set_name(const char *name) {
  if (!name) return -1;
  char cut[16];  // the kernel keeps 15 characters and the NUL
  size_t n = strnlen(name, sizeof cut - 1);
  memcpy(cut, name, n);
  cut[n] = '\0';
  return pthread_setname_np(pthread_self(), cut) == 0 ? 0 : -1;
}

int qz_mutex_init(qz_mutex_t *mutex) {
  return mutex && pthread_mutex_init(mutex, nullptr) == 0 ? 0 : -1;
}

int qz_mutex_lock(qz_mutex_t *mutex) {
  return mutex && pthread_mutex_lock(mutex) == 0 ? 0 : -1;
}

int qz_mutex_unlock(qz_mutex_t *mutex) {
  return mutex && pthread_mutex_unlock(mutex) == 0 ? 0 : -1;
}

int qz_mutex_uninit(qz_mutex_t *mutex) {
  return mutex && pthread_mutex_destroy(mutex) == 0 ? 0 : -1;
}

// SEM_UNDO: a process that dies while holding the semaphore gives it back, so the
// other users of the set never wait forever.
static int sem_change(int semid, int index, short delta) {
  if (index < 0 || index > 0xFFFF) return -1;
  struct sembuf op;
  op.sem_num = static_cast<unsigned short>(index);
  op.sem_op = delta;
  op.sem_flg = SEM_UNDO;
  while (semop(semid, &op, 1) != 0) {
    if (errno != EINTR) return -1;
  }
  return 0;
}

int qz_sem_p(int semid, int index) { return sem_change(semid, index, -1); }

int qz_sem_v(int semid, int index) { return sem_change(semid, index, 1); }

int qz_system(const char *command) {
  if (!command) return -1;
  // As system(3), but the shell gets no descriptor of the caller beyond 0, 1 and 2.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  char shell[] = "/bin/sh", dashC[] = "-c";
  char *const argv[] = {shell, dashC, const_cast<char *>(command), nullptr};
  pid_t pid = -1;
  int started = posix_spawn(&pid, shell, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (started != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return status;
}

uint64_t qz_get_bits(uint64_t value, int first, int count) {
  if (first < 0 || first > 63 || count <= 0) return 0;
  value >>= first;
  if (count >= 64) return value;
  return value & ((uint64_t{1} << count) - 1);
}

}  // extern "C"
