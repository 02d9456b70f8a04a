#pragma once

#include <pthread.h>

typedef void *(*OSA_ThrEntryFunc)(void *arg);

// Creates a SCHED_FIFO thread at prio (clamped to the policy's range); stackSize 0
// keeps the system default. Returns 0 or the system error number.
int OSA_thrCreate(pthread_t *thread, OSA_ThrEntryFunc entry, unsigned prio, unsigned stackSize,
                  void *arg);
// Names the calling thread "name(tid)"; -1 for a null name.
int OSA_thrSetName(const char *name);
// The middle SCHED_FIFO priority: lowest + (highest - lowest) / 2.
unsigned OSA_thrMidPriority(void);
