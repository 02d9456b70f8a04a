// Real-time threads with names.
#include "osa.h"

#include <sched.h>
#include <stdio.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

int OSA_thrCreate(pthread_t *thread, OSA_ThrEntryFunc entry, unsigned prio, unsigned stackSize,
                  void *arg) {
  pthread_attr_t attr;
  int status = pthread_attr_init(&attr);
  if (status != 0) {
    OSA_error("osa_thr", __func__, __LINE__,
              "OSA_thrCreate() - Could not initialize thread attributes\n");
    return status;
  }
  if (stackSize != 0) status |= pthread_attr_setstacksize(&attr, stackSize);
  status |= pthread_attr_setinheritsched(&attr, PTHREAD_EXPLICIT_SCHED);
  status |= pthread_attr_setschedpolicy(&attr, SCHED_FIFO);

  unsigned highest = (unsigned)sched_get_priority_max(SCHED_FIFO);
  unsigned lowest = (unsigned)sched_get_priority_min(SCHED_FIFO);
  if (prio > highest)
    prio = highest;
  else if (prio < lowest)
    prio = lowest;
  struct sched_param param = {};
  param.sched_priority = (int)prio;
  status |= pthread_attr_setschedparam(&attr, &param);
  if (status != 0) {
    OSA_error("osa_thr", __func__, __LINE__,
              "OSA_thrCreate() - Could not initialize thread attributes\n");
    pthread_attr_destroy(&attr);
    return status;
  }

  status = pthread_create(thread, &attr, entry, arg);
  if (status != 0)
    OSA_error("osa_thr", __func__, __LINE__, "OSA_thrCreate() - Could not create thread [%d]\n",
              status);
  pthread_attr_destroy(&attr);
  return status;
}

int OSA_thrSetName(const char *name) {
  if (name == nullptr) return -1;
  char text[128];
  snprintf(text, sizeof text, "%s(%d)", name, (int)syscall(SYS_gettid));
  // The kernel keeps the first 15 characters.
  prctl(PR_SET_NAME, text, 0, 0, 0);
  return 0;
}

unsigned OSA_thrMidPriority(void) {
  int lowest = sched_get_priority_min(SCHED_FIFO);
  int highest = sched_get_priority_max(SCHED_FIFO);
  return (unsigned)(lowest + (highest - lowest) / 2);
}
