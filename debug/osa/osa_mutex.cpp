#include "osa.h"

int OSA_mutexCreate(pthread_mutex_t *mutex) {
  pthread_mutexattr_t attr;
  int status = pthread_mutexattr_init(&attr);
  status |= pthread_mutex_init(mutex, &attr);
  if (status != 0) OSA_error("osa_mutex", __func__, __LINE__, "OSA_mutexCreate() = %d \r\n", status);
  pthread_mutexattr_destroy(&attr);
  return status;
}

int OSA_mutexDelete(pthread_mutex_t *mutex) {
  pthread_mutex_destroy(mutex);
  return 0;
}
