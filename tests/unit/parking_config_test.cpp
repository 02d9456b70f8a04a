// Parking rows -> space table: numbering, corners, prints, and broken records.
#include <gtest/gtest.h>
#include <limits.h>
#include <string.h>

#include <memory>
#include <string>

#include "parking.h"
#include "parking_test_util.h"
#include "stdout_capture.h"

namespace {

struct Loaded {
  SpaceTable table;
  std::string out;
};

std::unique_ptr<ParkingParam> blank_param() {
  std::unique_ptr<ParkingParam> p(new ParkingParam);
  memset(p.get(), 0, sizeof *p);
  return p;
}

// Dividers k = 0 .. count-1 at x = x0 + 10 k, from y 20 (end a) to y 80 (end b).
void set_row(ParkingParam *p, int r, int count, int first, unsigned direction, int x0 = 10) {
  ParkingRegion *region = &p->regions[r];
  region->firstNumber = first;
  region->direction = direction;
  region->dividerCount = (uint32_t)count;
  for (int k = 0; k < count && k < PARKING_DIVIDERS; k++)
    region->dividers[k] = ParkingDivider{x0 + 10 * k, 20, x0 + 10 * k, 80};
}

std::unique_ptr<Loaded> load(const ParkingParam *p) {
  std::unique_ptr<Loaded> l(new Loaded);
  StdoutCapture capture;
  parking_config_from_param(p, &l->table);
  l->out = normalise_log(capture.Finish());
  return l;
}

std::vector<int> numbers(const SpaceTable &t) {
  std::vector<int> v;
  for (int i = 0; i < t.count; i++) v.push_back(t.spaces[i].number);
  return v;
}

TEST(Config, NumberingFollowsDirectionAndWraps) {
  auto p = blank_param();
  set_row(p.get(), 0, 5, 10, 0);
  set_row(p.get(), 1, 5, 10, 1);
  set_row(p.get(), 2, 3, 0, 1);
  set_row(p.get(), 3, 3, 1023, 0);
  set_row(p.get(), 4, 1, 7, 0);          // one divider: no space
  set_row(p.get(), 5, 3, -2000, 0);      // far below zero still lands in 0..1023
  auto l = load(p.get());
  EXPECT_EQ(numbers(l->table), std::vector<int>({10, 11, 12, 13, 13, 12, 11, 10, 1, 0, 1023, 0, 48, 49}));
  EXPECT_EQ(l->table.spaces[4].region, 1);
  EXPECT_EQ(l->table.spaces[13].region, 5);
  for (int i = 0; i < l->table.count; i++) EXPECT_EQ(l->table.spaces[i].state, 0);
}

TEST(Config, CornersPrintsAndScaling) {
  auto p = blank_param();
  p->enable = 1;
  p->detectSens = 3;
  p->occupancySens = 7;
  p->regions[2].dividerCount = 2;
  p->regions[2].dividers[0] = ParkingDivider{0, 0, 100, 240};
  p->regions[2].dividers[1] = ParkingDivider{320, 60, 280, 128};
  auto l = load(p.get());
  ASSERT_EQ(l->table.count, 1);
  EXPECT_EQ(l->table.detectSens, 3);
  EXPECT_EQ(l->table.occupancySens, 7);
  const ParkingSpace &s = l->table.spaces[0];
  // K1 = first divider end a, K2 = second end a, K3 = second end b, K4 = first end b.
  // 320 -> 896 and 240 -> 512 exactly, in 32-bit floats truncated.
  const int expect[8] = {0, 0, 896, 128, 784, 273, 280, 512};
  for (int k = 0; k < 8; k++) EXPECT_EQ(s.corner[k], expect[k]) << k;
  EXPECT_EQ(l->out,
            "\033[0;32mParkingParam:{enable:[1]\ndetectSens:[3]\noccupancySens:[7]\n}\n\033[0;39m \n"
            "\033[0;32mcfg-spaceNum: 0, [0, 0, 896, 128, 784, 273, 280, 512]\033[0;39m \n");
}

TEST(Config, EmptyRecordGivesEmptyTable) {
  auto p = blank_param();
  auto l = load(p.get());
  EXPECT_EQ(l->table.count, 0);
  EXPECT_EQ(l->table.detectSens, 0);
  EXPECT_EQ(l->out, "\033[0;32mParkingParam:{enable:[0]\ndetectSens:[0]\noccupancySens:[0]\n}\n\033[0;39m \n");
}

TEST(Config, MoreThanAHundredSpacesKeepsTheFirstHundred) {
  auto p = blank_param();
  set_row(p.get(), 0, 60, 0, 0);
  set_row(p.get(), 3, 50, 100, 0);   // 49 spaces, only 41 fit
  set_row(p.get(), 7, 4, 500, 0);    // 3 more, all ignored
  auto l = load(p.get());
  EXPECT_EQ(l->table.count, PARKING_MAX_SPACES);
  EXPECT_EQ(l->table.spaces[99].region, 3);
  EXPECT_EQ(l->table.spaces[99].number, 140);
  EXPECT_NE(l->out.find("region 3: 8 spaces ignored, the table holds 100"), std::string::npos);
  EXPECT_NE(l->out.find("region 7: 3 spaces ignored, the table holds 100"), std::string::npos);
  EXPECT_EQ(l->out.find("cfg-spaceNum: 100,"), std::string::npos);
}

TEST(Config, BrokenCountsAndCoordinatesStayInBounds) {
  auto p = blank_param();
  set_row(p.get(), 0, PARKING_DIVIDERS, 0, 0, 0);
  p->regions[0].dividerCount = 5000;        // more than a region holds
  p->regions[1].dividerCount = 0xFFFFFFFFu; // negative as a signed count
  p->regions[1].dividers[0] = ParkingDivider{1, 1, 1, 1};
  auto l = load(p.get());
  EXPECT_EQ(l->table.count, 100);
  EXPECT_NE(l->out.find("region 0: 5000 dividers stored, only 101 are used"), std::string::npos);
  EXPECT_NE(l->out.find("region 1: divider count -1 is invalid, no spaces"), std::string::npos);

  auto q = blank_param();
  q->regions[0].dividerCount = 2;
  q->regions[0].dividers[0] = ParkingDivider{INT_MIN, INT_MIN, 10, 240};
  q->regions[0].dividers[1] = ParkingDivider{INT_MAX, 0, INT_MAX, INT_MAX};
  auto m = load(q.get());
  ASSERT_EQ(m->table.count, 1);
  EXPECT_EQ(m->table.spaces[0].corner[0], parking_to_frame_x(-32768));
  EXPECT_EQ(m->table.spaces[0].corner[2], parking_to_frame_x(32767));
  EXPECT_NE(m->out.find("region 0: coordinates beyond +-32767 clamped"), std::string::npos);
  // Products of clamped frame coordinates pass 32 bits: this space is still judged sound.
  EXPECT_EQ(m->out.find("is crossed"), std::string::npos);
}

TEST(Config, CrossedAndZeroAreaSpacesAreNamed) {
  auto p = blank_param();
  set_row(p.get(), 0, 3, 40, 0);
  // Second divider drawn bottom to top: the middle space's sides cross (lopsided, so
  // its area is not zero).
  p->regions[4].firstNumber = 7;
  p->regions[4].dividerCount = 3;
  p->regions[4].dividers[0] = ParkingDivider{10, 20, 10, 80};
  p->regions[4].dividers[1] = ParkingDivider{20, 90, 20, 20};
  p->regions[4].dividers[2] = ParkingDivider{30, 80, 30, 20};
  // Dividers that cross each other in an X (area not zero): no side is reversed.
  p->regions[6].firstNumber = 5;
  p->regions[6].dividerCount = 2;
  p->regions[6].dividers[0] = ParkingDivider{10, 20, 40, 80};
  p->regions[6].dividers[1] = ParkingDivider{30, 20, 10, 80};
  // A space whose dividers lie on one line.
  p->regions[9].firstNumber = 3;
  p->regions[9].dividerCount = 2;
  p->regions[9].dividers[0] = ParkingDivider{10, 10, 20, 10};
  p->regions[9].dividers[1] = ParkingDivider{30, 10, 40, 10};
  auto l = load(p.get());
  EXPECT_EQ(l->table.count, 6);
  const char *crossed = "region 4 space 7 is crossed or has no area: check its dividers";
  EXPECT_NE(l->out.find(crossed), std::string::npos);
  EXPECT_EQ(l->out.find("region 4 space 8 is"), std::string::npos);   // 2nd is fine
  EXPECT_NE(l->out.find("region 6 space 5 is crossed or has no area"), std::string::npos);
  EXPECT_NE(l->out.find("region 9 space 3 is crossed or has no area"), std::string::npos);
  EXPECT_EQ(l->out.find("region 0 space"), std::string::npos);
  // One line each, in the plain log form.
  size_t at = l->out.find(crossed);
  ASSERT_GE(at, 13u);
  EXPECT_EQ(l->out.compare(at - 13, 13, "[T P] \033[0;33m"), 0);
}

}  // namespace
