// The matcher: order of search and tie-breaks, the 128 cap, zero-weight pairs, the
// exhaustion warning, and optimality against brute force.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "km.h"
#include "parking_test_util.h"
#include "stdout_capture.h"

namespace {

// Scores from integer weights, half a point above so that truncation gives w back
// (100 from 1.0 itself).
std::vector<float> scores_of(const std::vector<std::vector<int>> &w) {
  std::vector<float> s;
  for (const auto &row : w)
    for (int v : row) s.push_back(v >= 100 ? 1.0f : v > 0 ? (v + 0.5f) / 100.0f : 0.0f);
  return s;
}

struct Match {
  int total;
  std::vector<int> car, space;
};

Match run_km(const std::vector<std::vector<int>> &w, int S) {
  int n = (int)w.size();
  std::vector<float> s = scores_of(w);
  Match m;
  m.car.assign(n, 99);
  m.space.assign(S, 99);
  m.total = KM(s.data(), n, S, m.car.data(), m.space.data());
  return m;
}

TEST(Km, EmptySides) {
  Match none = run_km({}, 3);
  EXPECT_EQ(none.total, 0);
  EXPECT_EQ(none.space, std::vector<int>({-1, -1, -1}));
  Match noSpaces = run_km({{}, {}}, 0);
  EXPECT_EQ(noSpaces.total, 0);
  EXPECT_EQ(noSpaces.car, std::vector<int>({-1, -1}));
}

TEST(Km, TiesFollowTheOrderOfSearch) {
  // Two equal cars on one space: the lower car index wins.
  Match twoCars = run_km({{50}, {50}}, 1);
  EXPECT_EQ(twoCars.space[0], 0);
  EXPECT_EQ(twoCars.car, std::vector<int>({0, -1}));
  // One car equally over two spaces: the second space's search moves the first
  // space to a dummy car, so the car ends in the later space.
  Match twoSpaces = run_km({{50, 50}}, 2);
  EXPECT_EQ(twoSpaces.car[0], 1);
  EXPECT_EQ(twoSpaces.space, std::vector<int>({-1, 0}));
  EXPECT_EQ(twoSpaces.total, 50);
}

TEST(Km, LargerWeightWinsAndZeroPairsAreNotReported) {
  Match better = run_km({{80, 40}}, 2);
  EXPECT_EQ(better.car[0], 0);
  EXPECT_EQ(better.space, std::vector<int>({0, -1}));
  Match strongerCar = run_km({{40}, {70}}, 1);
  EXPECT_EQ(strongerCar.space[0], 1);
  EXPECT_EQ(strongerCar.car, std::vector<int>({-1, 0}));
  // Car 0 goes to space 1; the square matching forces car 1 onto space 0 with
  // weight 0, which is not an assignment.
  Match forced = run_km({{50, 60}, {0, 0}}, 2);
  EXPECT_EQ(forced.car, std::vector<int>({1, -1}));
  EXPECT_EQ(forced.space, std::vector<int>({-1, 0}));
  EXPECT_EQ(forced.total, 60);
}

TEST(Km, ScoresAtTheEdgesOfTheWeightRange) {
  // 0.3 and just above it, 1.0, and values a broken space can produce.
  const float s[6] = {0.3f, 1.0f, 0.57f, -0.5f, INFINITY, NAN};
  int carMatch[6], spaceMatch[6];
  for (int k = 0; k < 6; k++) {
    int total = KM(&s[k], 1, 1, carMatch, spaceMatch);
    const int expect[6] = {30, 100, 57, 0, 0, 0};
    EXPECT_EQ(total, expect[k]) << k;
  }
  const float above = 1.5f;
  EXPECT_EQ(KM(&above, 1, 1, carMatch, spaceMatch), 0);
}

TEST(Km, OnlyTheFirst128CarsTakePart) {
  const int n = 130, S = 2;
  std::vector<float> s(n * S, 0.0f);
  s[127 * S + 0] = 0.505f;   // the 128th car takes part
  s[128 * S + 1] = 0.905f;   // the 129th never does
  s[129 * S + 1] = 0.905f;
  std::vector<int> car(n), space(S);
  EXPECT_EQ(KM(s.data(), n, S, car.data(), space.data()), 50);
  EXPECT_EQ(car[127], 0);
  EXPECT_EQ(car[128], -1);
  EXPECT_EQ(car[129], -1);
  EXPECT_EQ(space[0], 127);
  EXPECT_EQ(space[1], -1);
}

TEST(Km, ExhaustedSearchWarnsAndKeepsGoing) {
  km_set_search_limit(1);
  StdoutCapture capture;
  Match m = run_km({{50, 50, 0}, {0, 0, 0}}, 3);
  std::string out = normalise_log(capture.Finish());
  km_set_search_limit(0);
  // Space 0 found its car with its last allowed search, which already warns; space 1
  // gave up after it.
  EXPECT_EQ(km_exhausted_spaces(), 2);
  EXPECT_EQ(out, "[T P] KM--198 QZParking: WRN cnt = 0==func:KM file:km line:198\n"
                 "[T P] KM--198 QZParking: WRN cnt = 0==func:KM file:km line:198\n");
  EXPECT_EQ(m.space[0], 0);
  EXPECT_EQ(m.space[1], -1);
  // With the normal limit the same problem needs no warning.
  StdoutCapture capture2;
  run_km({{50, 50, 0}, {0, 0, 0}}, 3);
  EXPECT_EQ(capture2.Finish(), "");
  EXPECT_EQ(km_exhausted_spaces(), 0);
}

// Best total over every one-to-one assignment of cars to spaces (or none).
int brute_force(const std::vector<std::vector<int>> &w, int car, std::vector<bool> &used) {
  if (car == (int)w.size()) return 0;
  int best = brute_force(w, car + 1, used);
  for (size_t j = 0; j < used.size(); j++) {
    if (used[j] || w[car][j] <= 0) continue;
    used[j] = true;
    best = std::max(best, w[car][j] + brute_force(w, car + 1, used));
    used[j] = false;
  }
  return best;
}

TEST(Km, MatchesTheBruteForceOptimum) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 3000; round++) {
    int n = 1 + (int)(rng() % 6), S = 1 + (int)(rng() % 6);
    int zeroShare = (int)(rng() % 4);   // sparse to dense
    std::vector<std::vector<int>> w(n, std::vector<int>(S));
    for (auto &row : w)
      for (int &v : row) v = (int)(rng() % 4) < zeroShare ? 0 : 30 + (int)(rng() % 71);
    Match m = run_km(w, S);
    std::vector<bool> used(S, false);
    ASSERT_EQ(m.total, brute_force(w, 0, used)) << "round " << round;
    // The arrays describe the same one-to-one matching of positive pairs.
    int sum = 0;
    for (int i = 0; i < n; i++) {
      if (m.car[i] < 0) continue;
      ASSERT_GT(w[i][m.car[i]], 0);
      ASSERT_EQ(m.space[m.car[i]], i);
      sum += w[i][m.car[i]];
    }
    for (int j = 0; j < S; j++) {
      if (m.space[j] >= 0) {
        ASSERT_EQ(m.car[m.space[j]], j);
      }
    }
    ASSERT_EQ(sum, m.total);
  }
}

}  // namespace
