// Sensitivities, the occupancy timing for short, default and long histories, and
// what a frame's result holds.
#include <gtest/gtest.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "km.h"
#include "overlap.h"
#include "parking.h"
#include "parking_test_util.h"
#include "stdout_capture.h"

namespace {

struct Rig {
  SpaceTable table;
  ParkingWork work;
};

std::unique_ptr<Rig> make_rig(int spaces, int detectSens, int occupancySens) {
  std::unique_ptr<Rig> r(new Rig);
  make_lot(&r->table, 1, 4);
  r->table.count = spaces;
  r->table.detectSens = detectSens;
  r->table.occupancySens = occupancySens;
  StdoutCapture capture;
  qz_parking_init(&r->table, &r->work);
  capture.Finish();
  return r;
}

// One judged frame with car k (from cars) assigned to space 0, or none (-1).
bool judge_frame(Rig *r, const CarBox *cars, int carOnSpace0) {
  for (int j = 0; j < r->table.count; j++) r->work.spaceMatch[j] = -1;
  r->work.spaceMatch[0] = carOnSpace0;
  parking_judge(&r->table, &r->work, cars);
  return r->table.spaces[0].state == 1;
}

TEST(Judge, SensitivitiesAndDefaults) {
  // The ends of the range, and in between a higher sensitivity always takes weaker
  // detections and decides on a shorter history.
  auto least = make_rig(1, 1, 1), most = make_rig(1, 10, 10);
  EXPECT_EQ(least->work.detectThresh, 0.6f);
  EXPECT_EQ(least->work.judgeFrameNum, 20);
  EXPECT_EQ(most->work.detectThresh, 0.12f);
  EXPECT_EQ(most->work.judgeFrameNum, 2);
  for (int sens = 2; sens <= 10; sens++) {
    SCOPED_TRACE(sens);
    auto lower = make_rig(1, sens - 1, sens - 1), r = make_rig(1, sens, sens);
    EXPECT_LT(r->work.detectThresh, lower->work.detectThresh);
    EXPECT_LT(r->work.judgeFrameNum, lower->work.judgeFrameNum);
    EXPECT_EQ(r->work.occupancyRatio, 0.6f);
  }
  std::unique_ptr<Rig> r(new Rig);
  make_lot(&r->table, 1, 3);
  r->table.occupancySens = 11;
  r->table.detectSens = 0;
  StdoutCapture capture;
  EXPECT_EQ(qz_parking_init(&r->table, &r->work), 1);
  std::string out = normalise_log(capture.Finish());
  EXPECT_EQ(out,
            "[T P] invalid occupancy sens 11, set default:5==func:qz_parking_init file:parking line:247\n"
            "[T P] invalid detect sens 0, set default:5==func:qz_parking_init file:parking line:251\n"
            "[T P] pk init func. \nparkingJudgeFrameNum: 5 -> 12\ndetectThresh: 5 -> 0.200000\n"
            "==func:qz_parking_init file:parking line:274\n");
  EXPECT_EQ(r->table.occupancySens, 5);
  EXPECT_EQ(r->table.detectSens, 5);
  EXPECT_EQ(r->work.history.size(), 3u);
}

// Frames with a car needed to occupy a fresh space, and frames without one to free a
// space whose history is all 1.0, for a history of N.
void check_timing(int occupancySens, int framesToOccupy, int framesToFree) {
  SCOPED_TRACE(occupancySens);
  auto r = make_rig(2, 5, occupancySens);
  CarBox cars[1] = {{10, 20, 30, 40, 0.9f}};
  for (int f = 1; f < framesToOccupy; f++) EXPECT_FALSE(judge_frame(r.get(), cars, 0)) << f;
  EXPECT_TRUE(judge_frame(r.get(), cars, 0));
  for (int f = 0; f < 25; f++) judge_frame(r.get(), cars, 0);   // history all 1.0
  for (int f = 1; f < framesToFree; f++) EXPECT_TRUE(judge_frame(r.get(), cars, -1)) << f;
  EXPECT_FALSE(judge_frame(r.get(), cars, -1));
  EXPECT_EQ(r->table.spaces[1].state, 0);   // never had a car
}

TEST(Judge, OccupancyTiming) {
  check_timing(10, 1, 1);   // N = 2: (0.3 + 1) / 2 = 0.65; (1 + 0) / 2 = 0.5
  check_timing(5, 6, 5);    // N = 12: 6 + 6 x 0.3 -> 0.65, 5 -> 0.59; 7/12 = 0.583
  check_timing(1, 9, 8);    // N = 20: 9 + 11 x 0.3 -> 0.615, 8 -> 0.58; 12/20 is not above 0.6
}

TEST(Judge, MeanOfExactlyPointSixIsNotOccupied) {
  auto r = make_rig(1, 5, 1);   // N = 20
  CarBox cars[1] = {{10, 20, 30, 40, 0.9f}};
  for (int f = 0; f < 8; f++) judge_frame(r.get(), cars, -1);
  for (int f = 0; f < 11; f++) judge_frame(r.get(), cars, 0);
  EXPECT_FALSE(judge_frame(r.get(), cars, 0));   // 8 x 0.0 + 12 x 1.0: mean 0.6
  EXPECT_TRUE(judge_frame(r.get(), cars, 0));    // 13 of 20
}

TEST(Judge, ResultListsOccupiedSpacesWithTheirCars) {
  auto r = make_rig(4, 5, 8);   // N = 6
  CarBox cars[3] = {{1, 2, 3, 4, 0.9f}, {5, 6, 7, 8, 0.9f}, {9, 10, 11, 12, 0.9f}};
  const ParkingResult &res = r->work.result;
  const int match[4] = {2, -1, 0, -1};
  for (int f = 1; f <= 4; f++) {
    memcpy(r->work.spaceMatch, match, sizeof match);
    parking_judge(&r->table, &r->work, cars);
    EXPECT_EQ(res.alarmSpace, f >= 3 ? 2 : 0) << f;   // 3 + 3 x 0.3 -> 0.65
  }
  ASSERT_EQ(res.alarmSpace, 2);
  EXPECT_EQ(res.alarmNum, 2);
  EXPECT_EQ(res.spaces[0].number, 0);
  EXPECT_EQ(res.spaces[1].number, 2);
  EXPECT_EQ(res.spaces[1].state, 1);
  EXPECT_EQ(res.cars[0].x, 9);
  EXPECT_EQ(res.cars[1].x, 1);

  // Still occupied without a car this frame (mean 4.3 / 6): listed again, with the
  // car last seen in it; space 1's first car is not enough yet.
  const int moved[4] = {-1, 1, -1, -1};
  memcpy(r->work.spaceMatch, moved, sizeof moved);
  parking_judge(&r->table, &r->work, cars);
  ASSERT_EQ(res.alarmSpace, 2);
  EXPECT_EQ(res.spaces[0].number, 0);
  EXPECT_EQ(res.cars[0].x, 9);
  EXPECT_EQ(res.spaces[1].number, 2);
  EXPECT_EQ(res.cars[1].x, 1);
  EXPECT_EQ(r->table.spaces[1].state, 0);

  // No spaces at all: always empty.
  auto none = make_rig(0, 5, 5);
  parking_judge(&none->table, &none->work, cars);
  EXPECT_EQ(none->work.result.alarmSpace, 0);
}

TEST(Judge, AssignmentUsesThresholdAndOverlapBar) {
  auto r = make_rig(4, 5, 5);    // threshold 0.2
  CarBox cars[4];
  cars[0] = car_in_space(&r->table, 2, 0.9f);
  cars[1] = car_in_space(&r->table, 0, 0.2f);      // equal to the threshold: no space
  cars[2] = car_in_space(&r->table, 1, 0.2000001f);
  cars[3] = car_in_space(&r->table, 3, 0.9f);
  cars[3].x = (uint16_t)(cars[3].x + 200);          // beside the lot
  parking_assign(&r->table, &r->work, cars, 4);
  EXPECT_EQ(std::vector<int>(r->work.carMatch, r->work.carMatch + 4), std::vector<int>({2, -1, 1, -1}));
  EXPECT_EQ(std::vector<int>(r->work.spaceMatch, r->work.spaceMatch + 4), std::vector<int>({-1, 2, 0, -1}));
  for (int j = 0; j < 4; j++) EXPECT_EQ(r->work.scores[1 * 4 + j], 0.0f);
}

// The overlap bar is strictly greater, in 32-bit floats: an overlap of exactly 0.3
// (0.3f, a hair above the decimal 0.3) takes no space; 0.31 does, with weight 31.
TEST(Judge, OverlapOfExactlyPointThreeTakesNoSpace) {
  std::unique_ptr<Rig> r(new Rig);
  memset(&r->table, 0, sizeof r->table);
  const int32_t squares[2][8] = {{100, 100, 200, 100, 200, 200, 100, 200},
                                 {400, 100, 500, 100, 500, 200, 400, 200}};
  for (int j = 0; j < 2; j++) {
    r->table.spaces[j].number = j;
    memcpy(r->table.spaces[j].corner, squares[j], sizeof squares[j]);
  }
  r->table.count = 2;
  r->table.detectSens = r->table.occupancySens = 5;
  StdoutCapture capture;
  qz_parking_init(&r->table, &r->work);
  capture.Finish();
  // 100 x 100 cars (no wide-box step): 30 and 31 columns of them inside a space.
  CarBox cars[2] = {{170, 100, 100, 100, 0.9f}, {469, 100, 100, 100, 0.9f}};
  parking_assign(&r->table, &r->work, cars, 2);
  EXPECT_EQ(r->work.scores[0 * 2 + 0], 0.0f);
  EXPECT_EQ(std::vector<int>(r->work.carMatch, r->work.carMatch + 2), std::vector<int>({-1, 1}));
  EXPECT_EQ(std::vector<int>(r->work.spaceMatch, r->work.spaceMatch + 2), std::vector<int>({-1, 1}));
  int carMatch[2], spaceMatch[2];
  EXPECT_EQ(KM(r->work.scores, 2, 2, carMatch, spaceMatch), 31);
}

// A crossed space takes no car, whatever its overlap comes out as (non-finite, above 1,
// or an ordinary 0.86): neither with its second divider reversed nor with dividers that
// cross in an X. Each car covers most of its space's bounding box.
TEST(Judge, CrossedSpaceTakesNoCar) {
  const int32_t reversed[2][4] = {{10, 20, 10, 80}, {40, 100, 40, 20}};
  const int32_t crossing[2][4] = {{10, 20, 40, 80}, {30, 20, 10, 80}};
  const CarBox cars[2] = {{35, 50, 70, 110, 0.9f}, {30, 45, 80, 120, 0.9f}};
  for (int shape = 0; shape < 2; shape++) {
    const int32_t(*dividers)[4] = shape == 0 ? reversed : crossing;
    std::unique_ptr<Rig> r(new Rig);
    memset(&r->table, 0, sizeof r->table);
    add_space(&r->table, 0, 0, dividers[0], dividers[1]);
    r->table.detectSens = r->table.occupancySens = 5;
    StdoutCapture capture;
    qz_parking_init(&r->table, &r->work);
    capture.Finish();
    parking_assign(&r->table, &r->work, &cars[shape], 1);
    EXPECT_EQ(r->work.spaceMatch[0], -1) << "shape " << shape << ": " << r->work.scores[0];
  }
}

// Skipping pairs whose boxes cannot meet, and taking the cheap clip where it decides
// the weight, must give exactly the weights and the matching that scoring every pair
// with the full measure gives.
TEST(Judge, ShortcutsChangeNoWeightAndNoMatch) {
  std::unique_ptr<Rig> r(new Rig);
  make_lot(&r->table, 4, 25);
  StdoutCapture capture;
  qz_parking_init(&r->table, &r->work);
  capture.Finish();
  std::vector<CarBox> cars(200);
  std::vector<float> all(200 * 100);
  std::vector<int> carMatch(200), spaceMatch(100);
  for (unsigned seed = 1; seed <= 12; seed++) {
    int n = 20 + (int)(seed * 37 % 180);
    spread_cars(&r->table, cars.data(), n, seed);
    if (seed % 3 == 0) cars[0].w = 1, cars[0].h = 0;   // degenerate boxes too
    if (seed % 5 == 0) cars[1].w = (uint16_t)(0 - 10);  // wrapped width
    parking_assign(&r->table, &r->work, cars.data(), n);
    for (int i = 0; i < n; i++) {
      for (int j = 0; j < 100; j++) {
        const CarBox &c = cars[i];
        float box[4] = {(float)c.x, (float)c.y, (float)(c.x + c.w), (float)(c.y + c.h)};
        float corners[8];
        for (int k = 0; k < 8; k++) corners[k] = (float)r->table.spaces[j].corner[k];
        float s = spaceOverlap(box, corners, 1);
        all[i * 100 + j] = s > 0.3f ? s : 0.0f;
        if (i < 128) {
          ASSERT_EQ(km_weight(r->work.scores[i * 100 + j]), km_weight(all[i * 100 + j]))
              << i << " " << j;
        }
      }
    }
    KM(all.data(), n, 100, carMatch.data(), spaceMatch.data());
    ASSERT_EQ(std::vector<int>(r->work.carMatch, r->work.carMatch + n),
              std::vector<int>(carMatch.begin(), carMatch.begin() + n));
    ASSERT_EQ(std::vector<int>(r->work.spaceMatch, r->work.spaceMatch + 100), spaceMatch);
  }
}

// Spaces drawn with two equal corners (triangles) have a side of no length: they must
// be scored by the full measure, weight for weight.
TEST(Judge, SpacesWithARepeatedCornerTakeTheFullMeasure) {
  std::unique_ptr<Rig> r(new Rig);
  make_lot(&r->table, 4, 25);
  for (int j = 0; j < 100; j += 2) {  // K2 onto K1, or K3 onto K4
    int32_t *c = r->table.spaces[j].corner;
    int from = j % 4 == 0 ? 0 : 6, to = j % 4 == 0 ? 2 : 4;
    c[to] = c[from];
    c[to + 1] = c[from + 1];
  }
  StdoutCapture capture;
  qz_parking_init(&r->table, &r->work);
  capture.Finish();
  std::vector<CarBox> cars(128);
  for (unsigned seed = 1; seed <= 6; seed++) {
    spread_cars(&r->table, cars.data(), 128, seed);
    parking_assign(&r->table, &r->work, cars.data(), 128);
    for (int i = 0; i < 128; i++) {
      const CarBox &c = cars[i];
      float box[4] = {(float)c.x, (float)c.y, (float)(c.x + c.w), (float)(c.y + c.h)};
      for (int j = 0; j < 100; j++) {
        float corners[8];
        for (int k = 0; k < 8; k++) corners[k] = (float)r->table.spaces[j].corner[k];
        float s = spaceOverlap(box, corners, 1);
        ASSERT_EQ(km_weight(r->work.scores[i * 100 + j]), km_weight(s > 0.3f ? s : 0.0f))
            << i << " " << j;
      }
    }
  }
}

// Overlaps of exactly k / 100 (and just around them, and around 0.3 and 1.0) sit on
// the steps of the weight: the cheap path must hand them to the full measure.
TEST(Judge, ScoresOnTheStepsOfTheWeightMatchTheFullMeasure) {
  const float slanted[8] = {100, 100, 300, 110, 290, 310, 95, 300};
  for (int k = 0; k <= 400; k++) {
    // A 100 x 100 space and a car sliding across it: overlap k / 400 of the car.
    const float square[8] = {100, 100, 200, 100, 200, 200, 100, 200};
    const float box[4] = {k / 4.0f, 100, 100 + k / 4.0f, 200};
    float exact = spaceOverlap(box, square, 1);
    ASSERT_EQ(km_weight(spaceScore(box, square, 1)), km_weight(exact > 0.3f ? exact : 0.0f))
        << k;
    const float moved[4] = {box[0] + 90, box[1] + 3.5f, box[2] + 90, box[3] + 3.5f};
    exact = spaceOverlap(moved, slanted, 1);
    ASSERT_EQ(km_weight(spaceScore(moved, slanted, 1)), km_weight(exact > 0.3f ? exact : 0.0f))
        << k;
  }
  // A car wholly inside: exactly 100.
  const float inside[4] = {120, 120, 180, 190};
  const float square[8] = {100, 100, 200, 100, 200, 200, 100, 200};
  EXPECT_EQ(km_weight(spaceScore(inside, square, 1)), 100);
}

}  // namespace
