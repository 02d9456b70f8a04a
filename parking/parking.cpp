// Scoring cars against spaces, and judging occupancy over successive frames.
#include <string.h>

#include "km.h"
#include "overlap.h"
#include "parking.h"
#include "plog.h"

// Index = sensitivity - 1.
static const float kDetectThresh[10] = {0.6f, 0.5f, 0.4f, 0.3f, 0.2f, 0.17f, 0.15f, 0.14f, 0.13f, 0.12f};
static const int kJudgeFrames[10] = {20, 18, 16, 14, 12, 10, 8, 6, 4, 2};
static const int kDefaultSens = 5;

static bool sens_valid(int32_t sens) { return sens >= 1 && sens <= 10; }

int qz_parking_init(SpaceTable *table, ParkingWork *work) {
  if (!sens_valid(table->occupancySens)) {
    plog("qz_parking_init", "parking", 247, "invalid occupancy sens %d, set default:%d",
         table->occupancySens, kDefaultSens);
    table->occupancySens = kDefaultSens;
  }
  if (!sens_valid(table->detectSens)) {
    plog("qz_parking_init", "parking", 251, "invalid detect sens %d, set default:%d",
         table->detectSens, kDefaultSens);
    table->detectSens = kDefaultSens;
  }
  work->detectThresh = kDetectThresh[table->detectSens - 1];
  work->judgeFrameNum = kJudgeFrames[table->occupancySens - 1];
  work->occupancyRatio = 0.6f;

  SpaceHistory fresh;
  memset(&fresh, 0, sizeof fresh);
  for (int k = 0; k < work->judgeFrameNum; k++) fresh.value[k] = 0.3f;
  int S = table->count;
  if (S < 0) S = 0;
  if (S > PARKING_MAX_SPACES) S = PARKING_MAX_SPACES;
  work->history.assign((size_t)S, fresh);
  memset(work->lastCar, 0, sizeof work->lastCar);
  work->result.alarmNum = work->result.alarmSpace = 0;

  plog("qz_parking_init", "parking", 274,
       "pk init func. \nparkingJudgeFrameNum: %d -> %d\ndetectThresh: %d -> %f\n",
       table->occupancySens, work->judgeFrameNum, table->detectSens, work->detectThresh);
  return 1;
}

void parking_release(ParkingWork *work) {
  std::vector<SpaceHistory>().swap(work->history);
  work->result.alarmNum = work->result.alarmSpace = 0;
}

// Space bounding boxes: a car box strictly outside one cannot overlap the space.
// Its exact overlap is 0, and the computed one is within rounding of 0 (every
// non-empty car or space has an area of at least about 0.3 square pixels), so it
// can never pass the 0.3 bar: skipping it leaves every weight as it was.
static void compute_space_bounds(const SpaceTable *table, ParkingWork *work, int S) {
  for (int j = 0; j < S; j++) {
    work->spaceSimple[j] = !parking_space_is_broken(&table->spaces[j]);
    const int32_t *c = table->spaces[j].corner;
    float *b = work->spaceBounds[j];
    b[0] = b[2] = (float)c[0];
    b[1] = b[3] = (float)c[1];
    for (int k = 1; k < 4; k++) {
      float x = (float)c[2 * k], y = (float)c[2 * k + 1];
      if (x < b[0]) b[0] = x;
      if (x > b[2]) b[2] = x;
      if (y < b[1]) b[1] = y;
      if (y > b[3]) b[3] = y;
    }
  }
}

static bool boxes_meet(const float *a, const float *b) {
  return !(a[2] < b[0] || a[0] > b[2] || a[3] < b[1] || a[1] > b[3]);
}

void parking_assign(const SpaceTable *table, ParkingWork *work, const CarBox *cars, int n) {
  if (n < 0) n = 0;
  if (n > PARKING_MAX_CARS) n = PARKING_MAX_CARS;
  int S = table->count;
  if (S < 0) S = 0;
  if (S > PARKING_MAX_SPACES) S = PARKING_MAX_SPACES;
  for (int i = 0; i < n; i++) work->carMatch[i] = -1;
  for (int j = 0; j < S; j++) work->spaceMatch[j] = -1;
  memset(work->scores, 0, sizeof(float) * (size_t)n * (size_t)S);
  compute_space_bounds(table, work, S);

  // Consecutive spaces of one region (a row) share one bounding box, so that a car
  // is only tested against the rows it can touch.
  int rowStart[PARKING_MAX_SPACES + 1];
  float rowBounds[PARKING_MAX_SPACES][4];
  int rows = 0;
  for (int j = 0; j < S; j++) {
    const float *b = work->spaceBounds[j];
    if (j == 0 || table->spaces[j].region != table->spaces[j - 1].region) {
      rowStart[rows] = j;
      for (int k = 0; k < 4; k++) rowBounds[rows][k] = b[k];
      rows++;
      continue;
    }
    float *r = rowBounds[rows - 1];
    if (b[0] < r[0]) r[0] = b[0];
    if (b[1] < r[1]) r[1] = b[1];
    if (b[2] > r[2]) r[2] = b[2];
    if (b[3] > r[3]) r[3] = b[3];
  }
  rowStart[rows] = S;

  // Cars from the 129th on never reach the matcher, so their scores are not needed.
  int scored = n < KM_MAX ? n : KM_MAX;
  for (int i = 0; i < scored; i++) {
    const CarBox *car = &cars[i];
    if (!(car->score > work->detectThresh)) continue;
    const float box[4] = {(float)car->x, (float)car->y, (float)(car->x + car->w),
                          (float)(car->y + car->h)};
    float *row = &work->scores[i * S];
    for (int r = 0; r < rows; r++) {
      if (!boxes_meet(box, rowBounds[r])) continue;
      for (int j = rowStart[r]; j < rowStart[r + 1]; j++) {
        if (!work->spaceSimple[j] || !boxes_meet(box, work->spaceBounds[j])) continue;
        float corners[8];
        for (int k = 0; k < 8; k++) corners[k] = (float)table->spaces[j].corner[k];
        row[j] = spaceScore(box, corners, work->spaceSimple[j]);
      }
    }
  }
  KM(work->scores, n, S, work->carMatch, work->spaceMatch);
}

void parking_judge(SpaceTable *table, ParkingWork *work, const CarBox *cars) {
  ParkingResult *res = &work->result;
  res->alarmNum = res->alarmSpace = 0;
  int S = table->count;
  if (S > (int)work->history.size()) S = (int)work->history.size();
  const int N = work->judgeFrameNum;
  for (int j = 0; j < S; j++) {
    SpaceHistory *h = &work->history[j];
    int car = work->spaceMatch[j];
    h->value[h->oldest] = car >= 0 ? 1.0f : 0.0f;
    if (++h->oldest == N) h->oldest = 0;
    // Oldest to newest, in 32-bit floats.
    float sum = 0.0f;
    for (int k = h->oldest; k < N; k++) sum += h->value[k];
    for (int k = 0; k < h->oldest; k++) sum += h->value[k];
    float mean = sum / N;

    ParkingSpace *space = &table->spaces[j];
    if (car >= 0) work->lastCar[j] = cars[car];
    if (mean > work->occupancyRatio) {
      space->state = 1;
      // An occupied space without a car this frame keeps the car last seen in it.
      res->cars[res->alarmNum++] = work->lastCar[j];
      res->spaces[res->alarmSpace++] = *space;
    } else {
      space->state = 0;
    }
  }
}

void parking_process_frame(SpaceTable *table, ParkingWork *work, const CarBox *cars, int n) {
  if (n < 0) n = 0;
  if (n > PARKING_MAX_CARS) n = PARKING_MAX_CARS;
  parking_assign(table, work, cars, n);
  parking_judge(table, work, cars);
  parking_report(work, cars, n);
}
