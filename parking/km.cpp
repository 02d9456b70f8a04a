#include "km.h"

#include <math.h>
#include <string.h>

#include "plog.h"

static const int kInf = 0x3F3F3F3F;
static const int kDefaultTries = 0x3FFF;   // 16384 searches per space

// The matcher's fixed state, indexed [space][car] for W.
static struct {
  int W[KM_MAX][KM_MAX];
  int expSpace[KM_MAX];
  int expCar[KM_MAX];
  int gap[KM_MAX];
  int matchCar[KM_MAX];
  unsigned char visSpace[KM_MAX];
  unsigned char visCar[KM_MAX];
  unsigned char skip[KM_MAX];
  // Positions of the non-zero weights of the last run, so that clearing W costs as
  // much as filling it: W is all zero on entry to every run.
  short setSpace[KM_MAX * KM_MAX], setCar[KM_MAX * KM_MAX];
  int setCount;
} g_km;

static int g_tries = kDefaultTries;
static int g_exhausted;

int km_exhausted_spaces(void) { return g_exhausted; }
void km_set_search_limit(int searches) { g_tries = searches > 0 ? searches - 1 : kDefaultTries; }

static bool dfs(int x, int e) {
  g_km.visSpace[x] = 1;
  for (int i = 0; i < e; i++) {
    if (g_km.visCar[i]) continue;
    int t = g_km.expSpace[x] + g_km.expCar[i] - g_km.W[x][i];
    if (t == 0) {
      g_km.visCar[i] = 1;
      if (g_km.matchCar[i] == -1 || dfs(g_km.matchCar[i], e)) {
        g_km.matchCar[i] = x;
        return true;
      }
    } else if (t < g_km.gap[i]) {
      g_km.gap[i] = t;
    }
  }
  return false;
}

static void warn_exhausted(void) {
  g_exhausted++;
  plog("KM", "km", 198, "%s--%d QZParking: WRN cnt = 0", "KM", 198);
}

int KM(const float *scores, int n, int S, int *carMatch, int *spaceMatch) {
  for (int i = 0; i < n; i++) carMatch[i] = -1;
  for (int j = 0; j < S; j++) spaceMatch[j] = -1;
  g_exhausted = 0;
  if (n < 0) n = 0;
  if (S < 0) S = 0;

  int e = n > S ? n : S;
  if (e > KM_MAX - 1) e = KM_MAX;
  int cars = n < e ? n : e;
  int spaces = S < e ? S : e;

  // W back to all zero, then the real pairs; each space's label is its largest
  // weight (all weights are >= 0, so dummy columns never raise it).
  for (int k = 0; k < g_km.setCount; k++) g_km.W[g_km.setSpace[k]][g_km.setCar[k]] = 0;
  g_km.setCount = 0;
  for (int j = 0; j < e; j++) g_km.expSpace[j] = 0;
  for (int i = 0; i < cars; i++) {
    const float *row = &scores[(long)i * S];
    for (int j = 0; j < spaces; j++) {
      if (row[j] == 0.0f) continue;
      int w = km_weight(row[j]);
      if (w == 0) continue;
      g_km.W[j][i] = w;
      g_km.setSpace[g_km.setCount] = (short)j;
      g_km.setCar[g_km.setCount++] = (short)i;
      if (w > g_km.expSpace[j]) g_km.expSpace[j] = w;
    }
  }
  if (e == 0) return 0;

  for (int i = 0; i < KM_MAX; i++) {
    g_km.matchCar[i] = -1;
    g_km.expCar[i] = 0;
  }
  for (int j = 0; j < e; j++) g_km.skip[j] = g_km.expSpace[j] < 0.1;

  for (int x = 0; x < e; x++) {
    if (g_km.skip[x]) continue;
    for (int i = 0; i < e; i++) g_km.gap[i] = kInf;
    int tries = g_tries;
    for (;;) {
      memset(g_km.visSpace, 0, sizeof g_km.visSpace);
      memset(g_km.visCar, 0, sizeof g_km.visCar);
      if (dfs(x, e)) {
        if (tries == 0) warn_exhausted();
        break;
      }
      int d = kInf;
      for (int i = 0; i < e; i++)
        if (!g_km.visCar[i] && g_km.gap[i] < d) d = g_km.gap[i];
      // A failed search always leaves an unvisited car with a finite slack; stop
      // rather than push the labels towards overflow if that ever breaks.
      if (d == kInf) break;
      for (int j = 0; j < e; j++)
        if (g_km.visSpace[j]) g_km.expSpace[j] -= d;
      for (int i = 0; i < e; i++) {
        if (g_km.visCar[i]) g_km.expCar[i] += d;
        else g_km.gap[i] -= d;
      }
      if (tries == 0) {
        warn_exhausted();
        break;
      }
      tries--;
    }
  }

  int total = 0;
  for (int i = 0; i < cars; i++) {
    int j = g_km.matchCar[i];
    if (j == -1 || g_km.W[j][i] <= 0) continue;
    carMatch[i] = j;
    if (j < S) spaceMatch[j] = i;
    total += g_km.W[j][i];
  }
  return total;
}
