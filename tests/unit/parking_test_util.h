// Helpers shared by the parking tests and benchmarks: a lot of real rows, cars
// placed over it, and a capture of the messages the core sends.
#pragma once

#include <stdint.h>

#include <string>

#include "parking.h"

// rows x perRow spaces, built the way parking_config_from_param builds them (without
// its prints): row r is region r, dividers slanted like a real painted lot.
void make_lot(SpaceTable *table, int rows, int perRow);
// One space from configuration coordinates of its two dividers (a: first end, b:
// second end), appended to table.
void add_space(SpaceTable *table, int region, int number, const int32_t first[4],
               const int32_t second[4]);
// A car standing in space j of table (a box a little inside its bounding box).
CarBox car_in_space(const SpaceTable *table, int j, float score);
// n cars spread over the lot from a fixed seed: the first ones parked in spaces, the
// rest anywhere over the rows, all with score 0.9.
int spread_cars(const SpaceTable *table, CarBox *cars, int n, unsigned seed);

// Message capture (no allocation while capturing).
struct SentMessage {
  int target, id, length;
  char data[PARKING_DATA_LEN];
};
void capture_sends(void);          // installs the capture and empties it
int sent_count(void);
const SentMessage &sent(int k);    // k-th captured message (first 64 kept)

// Captured standard output with "[time pid] " prefixes replaced by "[T P] " (and
// "[INF:time pid] " by "[INF:T P] ").
std::string normalise_log(const std::string &text);
