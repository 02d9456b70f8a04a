// Stand-in for the task and lock library while the board library has no sources.
#include "qzstd.h"

extern "C" int qz_mutex_init(qz_mutex_t *m) { return pthread_mutex_init(m, nullptr); }
extern "C" int qz_mutex_lock(qz_mutex_t *m) { return pthread_mutex_lock(m); }
extern "C" int qz_mutex_unlock(qz_mutex_t *m) { return pthread_mutex_unlock(m); }
extern "C" int qz_mutex_uninit(qz_mutex_t *m) { return pthread_mutex_destroy(m); }
extern "C" uint64_t qz_get_bits(uint64_t value, int first, int count) {
  return (value >> first) & ((count >= 64) ? ~0ull : ((1ull << count) - 1));
}
