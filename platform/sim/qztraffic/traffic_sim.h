// Internals of the simulated detector, shared with its tests and fuzz target.
#pragma once

#include <stddef.h>

#include "qztraffic.h"

// One replay line: objects "score,left,top,right,bottom" separated by blanks (spaces
// or tabs), optionally led by "n=COUNT", which sets the reported object count
// independently of the objects listed (a detector's bogus count, for tests).
struct ReplayLine {
  int stored;   // objects written to out->objects
  int count;    // count to report: COUNT from n=, else stored
  int bad;      // tokens that were not valid objects (skipped)
};

// Parses len bytes (no NUL needed; a trailing "\n" or "\r\n" is allowed). Never
// reads past line + len nor writes past QZ_TRAFFIC_MAX_OBJECTS objects; edges
// outside 0..65535 make an object invalid. Fills out->objects and returns the tally.
ReplayLine traffic_replay_parse(const char *line, size_t len, TrafficOutput *out);

// The pixel detector: cars are regions of luma far from the asphalt (the frame's
// median luma). luma is width x height with the given pitch. Returns the number of
// objects written (at most cap), or -1 for a frame it cannot take.
int traffic_find_cars(const unsigned char *luma, int width, int height, int pitch,
                      TrafficObject *objects, int cap);

// The network detector: loads the darknet model cfgPath (weights beside it, same base
// name) for a square network input of inputSize pixels. 0, or -1 with the reason on
// standard error (also in a build without OpenCV). With QZTRAFFIC_SIM_TIMES naming a
// file, each network call appends its time in milliseconds to it, one line per call
// (the board's stand-in for the figure an NPU reports).
int traffic_dnn_open(const char *cfgPath, int inputSize);
// Runs the network on one NV12 frame (luma, then interleaved chroma, line offset =
// width) and writes the vehicles found, at most cap. The count, or -1.
int traffic_dnn_find_cars(const unsigned char *nv12, int width, int height, TrafficObject *objects,
                          int cap);
void traffic_dnn_close();
