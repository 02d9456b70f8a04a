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

  // Cars from the 129th on never reach the matcher, so their scores are not needed.
  int scored = n < KM_MAX ? n : KM_MAX;
  for (int i = 0; i < scored; i++) {
    const CarBox *car = &cars[i];
    if (!(car->score > work->detectThresh)) continue;
    const float box[4] = {(float)car->x, (float)car->y, (float)(car->x + car->w),
                          (float)(car->y + car->h)};
    float *row = &work->scores[i * S];
    for (int j = 0; j < S; j++) {
      const float *b = work->spaceBounds[j];
      if (box[2] < b[0] || box[0] > b[2] || box[3] < b[1] || box[1] > b[3]) continue;
      float corners[8];
      for (int k = 0; k < 8; k++) corners[k] = (float)table->spaces[j].corner[k];
      float s = spaceOverlap(box, corners, 1);
      row[j] = s > 0.3f ? s : 0.0f;
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
    h->oldest = (h->oldest + 1) % N;
    float sum = 0.0f;
    for (int k = 0; k < N; k++) sum += h->value[(h->oldest + k) % N];
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
