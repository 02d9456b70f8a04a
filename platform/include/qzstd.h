// Tasks, locks, semaphores and the shell (libqzstd).
#pragma once

#include <pthread.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef pthread_t qz_task_t;
typedef pthread_mutex_t qz_mutex_t;
typedef void *(*QzTaskEntry)(void *arg);

// Starts a joinable thread. Returns 0 when started.
int qz_task_create_join(qz_task_t *task, QzTaskEntry entry, void *arg);
int qz_task_join(qz_task_t *task);
// Names the calling thread (the system keeps 15 characters).
int qz_task_set_name(const char *name);

int qz_mutex_init(qz_mutex_t *mutex);
int qz_mutex_lock(qz_mutex_t *mutex);
int qz_mutex_unlock(qz_mutex_t *mutex);
int qz_mutex_uninit(qz_mutex_t *mutex);

// Blocking take and give of semaphore `index` of the System V set `semid`.
int qz_sem_p(int semid, int index);
int qz_sem_v(int semid, int index);

// Runs a shell command; returns the system() status.
int qz_system(const char *command);

// Bits first .. first+count-1 of value.
uint64_t qz_get_bits(uint64_t value, int first, int count);

#ifdef __cplusplus
}
#endif
