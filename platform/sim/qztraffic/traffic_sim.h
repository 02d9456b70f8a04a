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
