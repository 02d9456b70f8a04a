// Per-frame cost of the parking path on a lot of 4 rows x 25 spaces, with 50 and 512
// detected cars spread over it, all above the detection threshold.
//
//   BM_Frame      the worker's path: parking_process_frame
//   BM_Baseline   the same frame scoring every car against every space
//
// Before timing, both run the same frames and must agree on every match and text.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "km.h"
#include "overlap.h"
#include "parking.h"
#include "parking_test_util.h"

namespace {

SpaceTable g_table;
CarBox g_cars[PARKING_MAX_CARS];

int quiet_send(int, int, const void *, int) { return 0; }

// Straightforward assignment: every pair scored, no skipping.
void baseline_assign(const SpaceTable *table, ParkingWork *work, const CarBox *cars, int n) {
  int S = table->count;
  for (int i = 0; i < n; i++) work->carMatch[i] = -1;
  for (int j = 0; j < S; j++) work->spaceMatch[j] = -1;
  memset(work->scores, 0, sizeof(float) * (size_t)n * (size_t)S);
  for (int i = 0; i < n; i++) {
    const CarBox *c = &cars[i];
    if (!(c->score > work->detectThresh)) continue;
    const float box[4] = {(float)c->x, (float)c->y, (float)(c->x + c->w), (float)(c->y + c->h)};
    for (int j = 0; j < S; j++) {
      float corners[8];
      for (int k = 0; k < 8; k++) corners[k] = (float)table->spaces[j].corner[k];
      float s = spaceOverlap(box, corners, 1);
      work->scores[i * S + j] = s > 0.3f ? s : 0.0f;
    }
  }
  KM(work->scores, n, S, work->carMatch, work->spaceMatch);
}

void baseline_frame(SpaceTable *table, ParkingWork *work, const CarBox *cars, int n) {
  baseline_assign(table, work, cars, n);
  parking_judge(table, work, cars);
  parking_report(work, cars, n);
}

void setup(ParkingWork *work) {
  make_lot(&g_table, 4, 25);
  g_parkingSend = quiet_send;
  fflush(stdout);
  FILE *saved = stdout;
  stdout = fopen("/dev/null", "w");
  qz_parking_init(&g_table, work);
  fclose(stdout);
  stdout = saved;
}

// Both versions over 200 frames of each size: every match and text identical.
bool results_identical() {
  static ParkingWork a, b;
  static SpaceTable ta, tb;
  setup(&a);
  ta = g_table;
  setup(&b);
  tb = g_table;
  for (int f = 0; f < 400; f++) {
    int n = f % 2 ? 512 : 50;
    spread_cars(&g_table, g_cars, n, (unsigned)(f / 2 + 1));
    parking_process_frame(&ta, &a, g_cars, n);
    baseline_frame(&tb, &b, g_cars, n);
    if (memcmp(a.carMatch, b.carMatch, sizeof(int) * n) || memcmp(a.spaceMatch, b.spaceMatch, sizeof a.spaceMatch) ||
        memcmp(a.carText, b.carText, sizeof a.carText) || memcmp(a.spaceText, b.spaceText, sizeof a.spaceText)) {
      fprintf(stderr, "frame %d (%d cars): results differ\n", f, n);
      return false;
    }
  }
  return true;
}

void BM_Frame(benchmark::State &state) {
  static ParkingWork work;
  setup(&work);
  int n = (int)state.range(0);
  spread_cars(&g_table, g_cars, n, 7);
  for (auto _ : state) parking_process_frame(&g_table, &work, g_cars, n);
  state.counters["assigned"] = 100 - (double)std::count(work.spaceMatch, work.spaceMatch + 100, -1);
}

void BM_Baseline(benchmark::State &state) {
  static ParkingWork work;
  setup(&work);
  int n = (int)state.range(0);
  spread_cars(&g_table, g_cars, n, 7);
  for (auto _ : state) baseline_frame(&g_table, &work, g_cars, n);
  state.counters["assigned"] = 100 - (double)std::count(work.spaceMatch, work.spaceMatch + 100, -1);
}

BENCHMARK(BM_Frame)->Arg(50)->Arg(512)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Baseline)->Arg(50)->Arg(512)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char **argv) {
  bool same = results_identical();
  printf("parking_bench: results of the frame path and the every-pair baseline %s\n",
         same ? "identical over 400 frames" : "DIFFER");
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
