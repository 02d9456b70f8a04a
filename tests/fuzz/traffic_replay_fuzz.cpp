// Detector replay lines come from a file anyone can write: the parser must stay
// within the line and the output whatever the bytes.
#include <stddef.h>
#include <stdint.h>

#include "traffic_sim.h"

static TrafficOutput g_out;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  ReplayLine r = traffic_replay_parse((const char *)data, size, &g_out);
  if (r.stored < 0 || r.stored > QZ_TRAFFIC_MAX_OBJECTS || r.bad < 0) __builtin_trap();
  for (int k = 0; k < r.stored; ++k) {
    volatile float s = g_out.objects[k].score;
    (void)s;
  }
  return 0;
}
