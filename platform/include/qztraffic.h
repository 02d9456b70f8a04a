// Vehicle detector (libqztraffic).
//
// qz_traffic_init loads the detector from its data directory; qz_traffic_process
// reads one frame's luma through the address, width and height of TrafficInput and
// fills TrafficOutput with the vehicles found, in frame coordinates. The host
// implementation is described in docs/hdal.md.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
  QZ_TRAFFIC_PATH_LEN = 256,
  QZ_TRAFFIC_MAX_OBJECTS = 1024,  // room in TrafficOutput
};

typedef struct TrafficInitParam {
  uint32_t channel;
  uint32_t width;            // 0: the default 896
  uint32_t height;           // 0: the default 512
  uint8_t reserved[536];
  char dataDir[QZ_TRAFFIC_PATH_LEN];  // model files, e.g. "/mnt/nand4/vehicle/"
} TrafficInitParam;

typedef struct TrafficInput {
  uint32_t addr;             // address of the frame's luma plane (below 4 GiB)
  uint32_t reserved0[2];
  uint32_t width;            // luma samples per line (also the line pitch)
  uint32_t height;           // lines
  uint8_t reserved1[164];
} TrafficInput;

typedef struct TrafficObject {
  float score;               // confidence 0..1
  uint16_t right;
  uint16_t left;
  uint16_t top;
  uint16_t bottom;
  uint8_t reserved[272];
} TrafficObject;

typedef struct TrafficOutput {
  uint32_t frame;            // process calls so far, this one included
  uint32_t reserved0;
  int32_t count;             // objects found
  uint8_t reserved1[88];
  TrafficObject objects[QZ_TRAFFIC_MAX_OBJECTS];
} TrafficOutput;

// 0 on success.
int qz_traffic_init(TrafficInitParam *param);
// Finds the vehicles in one frame; 0 on success, -1 for a bad argument.
int qz_traffic_process(int channel, TrafficInput *input, TrafficOutput *output);
int qz_traffic_deinit(void);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
static_assert(sizeof(TrafficInitParam) == 804, "TrafficInitParam size");
static_assert(offsetof(TrafficInitParam, dataDir) == 548, "TrafficInitParam dataDir");
static_assert(sizeof(TrafficInput) == 184, "TrafficInput size");
static_assert(offsetof(TrafficInput, addr) == 0, "TrafficInput addr");
static_assert(offsetof(TrafficInput, width) == 12, "TrafficInput width");
static_assert(offsetof(TrafficInput, height) == 16, "TrafficInput height");
static_assert(sizeof(TrafficObject) == 284, "TrafficObject size");
static_assert(offsetof(TrafficObject, right) == 4 && offsetof(TrafficObject, left) == 6 &&
              offsetof(TrafficObject, top) == 8 && offsetof(TrafficObject, bottom) == 10,
              "TrafficObject edges");
static_assert(offsetof(TrafficOutput, count) == 8, "TrafficOutput count");
static_assert(offsetof(TrafficOutput, objects) == 100, "TrafficOutput objects");
#endif
