// Parking rows from the settings store -> the table of spaces.
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "parking.h"
#include "plog.h"

SpaceTable g_spaceTable;

// Stored coordinates far outside the 320 x 240 grid are clamped to this range, which
// keeps every frame coordinate and every product of two of them well inside range.
static const int32_t kCoordLimit = 32767;

static int32_t clamp_coord(int32_t v) {
  if (v > kCoordLimit) return kCoordLimit;
  if (v < -kCoordLimit - 1) return -kCoordLimit - 1;
  return v;
}

int parking_to_frame_x(int32_t configX) { return (int)((float)clamp_coord(configX) * PARKING_SCALE_X); }
int parking_to_frame_y(int32_t configY) { return (int)((float)clamp_coord(configY) * PARKING_SCALE_Y); }
int parking_to_config_trunc(int frameV, float scale) { return (int)((float)frameV / scale); }
int parking_to_config_round(int frameV, float scale) {
  return (int)((double)((float)frameV / scale) + 0.5);
}

static bool out_of_range(const ParkingDivider *d) {
  return d->ax != clamp_coord(d->ax) || d->ay != clamp_coord(d->ay) ||
         d->bx != clamp_coord(d->bx) || d->by != clamp_coord(d->by);
}

static int64_t cross(const int32_t *o, const int32_t *a, const int32_t *b) {
  return (int64_t)(a[0] - o[0]) * (b[1] - o[1]) - (int64_t)(a[1] - o[1]) * (b[0] - o[0]);
}

// Segments a-b and c-d cross at a point inside both.
static bool segments_cross(const int32_t *a, const int32_t *b, const int32_t *c, const int32_t *d) {
  int64_t d1 = cross(a, b, c), d2 = cross(a, b, d), d3 = cross(c, d, a), d4 = cross(c, d, b);
  return ((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0));
}

bool parking_space_is_broken(const ParkingSpace *s) {
  const int32_t *k1 = &s->corner[0], *k2 = &s->corner[2], *k3 = &s->corner[4], *k4 = &s->corner[6];
  int64_t twiceArea = cross(k1, k2, k3) + cross(k1, k3, k4);
  return twiceArea == 0 || segments_cross(k1, k2, k3, k4) || segments_cross(k2, k3, k4, k1);
}

static void set_corner(int32_t *corner, const ParkingDivider *d, bool endB) {
  corner[0] = parking_to_frame_x(endB ? d->bx : d->ax);
  corner[1] = parking_to_frame_y(endB ? d->by : d->ay);
}

int parking_config_from_param(const ParkingParam *param, SpaceTable *table) {
  memset(table, 0, sizeof *table);
  printf(PLOG_GREEN "ParkingParam:{enable:[%u]\ndetectSens:[%u]\noccupancySens:[%u]\n}\n" PLOG_RESET " \n",
         param->enable, param->detectSens, param->occupancySens);
  table->detectSens = (int32_t)param->detectSens;
  table->occupancySens = (int32_t)param->occupancySens;

  int i = 0;
  for (int r = 0; r < PARKING_REGIONS; r++) {
    const ParkingRegion *region = &param->regions[r];
    int32_t n = (int32_t)region->dividerCount;
    if (n > PARKING_DIVIDERS) {
      plog(__func__, "parking", __LINE__,
           PLOG_YELLOW "region %d: %d dividers stored, only %d are used" PLOG_RESET " ", r, n,
           PARKING_DIVIDERS);
      n = PARKING_DIVIDERS;
    } else if (n < 0) {
      plog(__func__, "parking", __LINE__,
           PLOG_YELLOW "region %d: divider count %d is invalid, no spaces" PLOG_RESET " ", r, n);
    }
    if (n < 2) continue;

    int64_t c = region->firstNumber;
    int step = 1;
    if (region->direction != 0) {
      c = c + n - 2;
      step = -1;
    }
    int ignored = 0;
    bool clamped = false;
    for (int k = 0; k + 1 < n; k++, c += step) {
      if (i >= PARKING_MAX_SPACES) {
        ignored++;
        continue;
      }
      const ParkingDivider *first = &region->dividers[k];
      const ParkingDivider *second = &region->dividers[k + 1];
      clamped = clamped || out_of_range(first) || out_of_range(second);
      ParkingSpace *s = &table->spaces[i];
      s->region = r;
      s->number = (int32_t)(((c % 1024) + 1024) % 1024);
      s->state = 0;
      set_corner(&s->corner[0], first, false);
      set_corner(&s->corner[2], second, false);
      set_corner(&s->corner[4], second, true);
      set_corner(&s->corner[6], first, true);
      printf(PLOG_GREEN "cfg-spaceNum: %d, [%d, %d, %d, %d, %d, %d, %d, %d]" PLOG_RESET " \n", i,
             s->corner[0], s->corner[1], s->corner[2], s->corner[3], s->corner[4], s->corner[5],
             s->corner[6], s->corner[7]);
      if (parking_space_is_broken(s))
        plog(__func__, "parking", __LINE__,
             PLOG_YELLOW "region %d space %d is crossed or has no area: check its dividers" PLOG_RESET
                         " ",
             r, s->number);
      i++;
    }
    if (clamped)
      plog(__func__, "parking", __LINE__,
           PLOG_YELLOW "region %d: coordinates beyond +-%d clamped" PLOG_RESET " ", r, kCoordLimit);
    if (ignored > 0)
      plog(__func__, "parking", __LINE__,
           PLOG_YELLOW "region %d: %d spaces ignored, the table holds %d" PLOG_RESET " ", r, ignored,
           PARKING_MAX_SPACES);
  }
  table->count = i;
  return 0;
}

int parking_config_load(SpaceTable *table) {
  static ParkingParam param;   // 45 KB: kept off the stack
  memset(&param, 0, sizeof param);
  db_get_parking(&param);
  return parking_config_from_param(&param, table);
}
