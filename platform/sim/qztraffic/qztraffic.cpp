// Host implementation of the vehicle detector.
//
// Three modes. QZTRAFFIC_SIM_MODEL names a darknet network that finds real vehicles
// (dnn.cpp). Otherwise, with QZTRAFFIC_SIM_DETECTIONS, line k of that file gives the
// objects of the k-th process call (replay.cpp); after the last line every call finds
// nothing, or the file starts over when QZTRAFFIC_SIM_LOOP=1. Without either it looks
// at the pixels for the cars tools/scene draws (pixel.cpp).
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "qztraffic.h"
#include "traffic_sim.h"

namespace {

const size_t kLineMax = 64 * 1024;
const int kDefaultInput = 320;
const int kMaxInput = 1024;

struct Detector {
  bool ready = false;
  bool network = false;
  FILE *replay = nullptr;
  bool loop = false;
  bool warnedLong = false;
  uint32_t calls = 0;
  uint32_t line = 0;
  char buf[kLineMax];
};

Detector g;

// Reads the next replay line into g.buf; its length, or -1 at the end of the file.
// A line longer than the buffer keeps its first kLineMax-1 bytes, cut after the last
// complete object, and the rest is skipped.
long next_replay_line() {
  if (!fgets(g.buf, sizeof g.buf, g.replay)) {
    if (!g.loop || g.line == 0) return -1;
    rewind(g.replay);
    g.line = 0;
    if (!fgets(g.buf, sizeof g.buf, g.replay)) return -1;
  }
  g.line++;
  size_t len = strlen(g.buf);
  if (len > 0 && g.buf[len - 1] != '\n' && !feof(g.replay)) {
    int c;
    while ((c = getc(g.replay)) != EOF && c != '\n') {
    }
    while (len > 0 && g.buf[len - 1] != ' ' && g.buf[len - 1] != '\t') --len;
    if (!g.warnedLong) {
      fprintf(stderr, "qztraffic: replay line %u longer than %zu bytes, cut\n", g.line,
              kLineMax - 1);
      g.warnedLong = true;
    }
  }
  return (long)len;
}

// QZTRAFFIC_SIM_INPUT: the network's square input size, a multiple of 32; -1 when
// the value is not one.
int network_input_size() {
  const char *env = getenv("QZTRAFFIC_SIM_INPUT");
  if (!env || !*env) return kDefaultInput;
  char *stop = nullptr;
  long v = strtol(env, &stop, 10);
  if (*stop != '\0' || v < 32 || v > kMaxInput || v % 32 != 0) {
    fprintf(stderr, "qztraffic: QZTRAFFIC_SIM_INPUT=%s: want a multiple of 32 from 32 to %d\n", env,
            kMaxInput);
    return -1;
  }
  return (int)v;
}

}  // namespace

extern "C" {

int qz_traffic_init(TrafficInitParam *param) {
  if (!param || g.ready) return -1;
  if (memchr(param->dataDir, '\0', sizeof param->dataDir) == nullptr) return -1;
  const char *model = getenv("QZTRAFFIC_SIM_MODEL");
  const char *path = getenv("QZTRAFFIC_SIM_DETECTIONS");
  g.network = model && *model;
  if (g.network) {
    int input = network_input_size();
    if (input < 0 || traffic_dnn_open(model, input) != 0) return -1;
  } else if (path && *path) {
    g.replay = fopen(path, "re");
    if (!g.replay) {
      perror(path);
      return -1;
    }
    const char *loop = getenv("QZTRAFFIC_SIM_LOOP");
    g.loop = loop && strcmp(loop, "1") == 0;
  }
  g.calls = 0;
  g.line = 0;
  g.warnedLong = false;
  g.ready = true;
  return 0;
}

int qz_traffic_process(int channel, TrafficInput *input, TrafficOutput *output) {
  if (!g.ready || channel != 0 || !input || !output) return -1;
  output->frame = ++g.calls;
  output->count = 0;
  if (g.replay) {
    long len = next_replay_line();
    if (len < 0) return 0;
    ReplayLine r = traffic_replay_parse(g.buf, (size_t)len, output);
    if (r.bad > 0)
      fprintf(stderr, "qztraffic: replay line %u: %d malformed object(s) skipped\n", g.line, r.bad);
    // A reported count above the objects listed reads as empty objects, never as
    // whatever an earlier frame left behind.
    int reported = r.count < QZ_TRAFFIC_MAX_OBJECTS ? r.count : QZ_TRAFFIC_MAX_OBJECTS;
    for (int k = r.stored; k < reported; ++k) memset(&output->objects[k], 0, sizeof(TrafficObject));
    output->count = r.count;
    return 0;
  }
  if (input->addr == 0 || input->width == 0 || input->height == 0) return -1;
  const unsigned char *luma = (const unsigned char *)(uintptr_t)input->addr;
  int n = g.network ? traffic_dnn_find_cars(luma, (int)input->width, (int)input->height,
                                            output->objects, QZ_TRAFFIC_MAX_OBJECTS)
                    : traffic_find_cars(luma, (int)input->width, (int)input->height,
                                        (int)input->width, output->objects, QZ_TRAFFIC_MAX_OBJECTS);
  if (n < 0) return -1;
  output->count = n;
  return 0;
}

int qz_traffic_deinit(void) {
  if (!g.ready) return -1;
  if (g.replay) fclose(g.replay);
  g.replay = nullptr;
  if (g.network) traffic_dnn_close();
  g.network = false;
  g.ready = false;
  return 0;
}

}  // extern "C"
