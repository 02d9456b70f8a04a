#include "module_util.h"

#include <ctype.h>
#include <stdlib.h>
#include <sys/ipc.h>
#include <sys/shm.h>

uint32_t module_parse_u32(const char *text) {
  if (!text) return 0;
  while (isspace((unsigned char)*text)) text++;
  bool negative = false;
  if (*text == '-' || *text == '+') negative = *text++ == '-';
  // strtoull would also accept a second sign or blanks here.
  if (!isdigit((unsigned char)*text)) return 0;
  unsigned long long magnitude = strtoull(text, nullptr, 0);
  if (magnitude > UINT32_MAX) return UINT32_MAX;
  uint32_t value = (uint32_t)magnitude;
  return negative ? (uint32_t)(0u - value) : value;
}

int module_shm_get(key_t key, size_t size, int flags) { return shmget(key, size, flags); }

void *module_shm_attach(int id) {
  if (id < 0) return nullptr;
  void *addr = shmat(id, nullptr, 0);
  return addr == (void *)-1 ? nullptr : addr;
}
