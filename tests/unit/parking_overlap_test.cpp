// The overlap measure: containment, the wide-box ladder, orientation, the area and
// edge ratio rule, disjoint and degenerate polygons.
#include <gtest/gtest.h>
#include <math.h>

#include "km.h"
#include "overlap.h"

namespace {

float overlap_rect(float x1, float y1, float x2, float y2, const float corners[8]) {
  const float box[4] = {x1, y1, x2, y2};
  return spaceOverlap(box, corners, 1);
}

TEST(Overlap, ContainmentEitherWay) {
  const float space[8] = {100, 100, 200, 100, 200, 300, 100, 300};
  // A car wholly inside a larger space.
  EXPECT_FLOAT_EQ(overlap_rect(120, 150, 180, 250, space), 1.0f);
  // A space wholly inside a larger car box, areas within a factor of 10.
  const float small[8] = {30, 30, 70, 30, 70, 70, 30, 70};
  EXPECT_FLOAT_EQ(overlap_rect(0, 0, 100, 100, small), 1.0f);
  // Half of the car in the space: a / min(aP, aQ) with the car the smaller.
  EXPECT_NEAR(overlap_rect(150, 150, 250, 250, space), 0.5f, 1e-6);
}

TEST(Overlap, AreaRatioAndEdgeRatioRule) {
  // 25 times the area and 5 times the longest edge: no score.
  const float tiny[8] = {40, 40, 60, 40, 60, 60, 40, 60};
  EXPECT_EQ(overlap_rect(0, 0, 100, 100, tiny), 0.0f);
  // 111 times the area but only 3.3 times the longest edge: the ratio stands.
  const float strip[8] = {10, 10, 40, 10, 40, 13, 10, 13};
  EXPECT_FLOAT_EQ(overlap_rect(0, 0, 100, 100, strip), 1.0f);
  // The other way round: a huge space with a small car inside, edge ratio below 4.
  const float lot[8] = {0, 0, 400, 0, 400, 400, 0, 400};
  EXPECT_FLOAT_EQ(overlap_rect(10, 10, 110, 110, lot), 1.0f);
}

TEST(Overlap, DisjointIsNearZeroNotExactlyZero) {
  const float space[8] = {100, 100, 200, 100, 200, 300, 100, 300};
  float s = overlap_rect(300, 100, 400, 200, space);
  EXPECT_LT(fabsf(s), 1e-6f);
  EXPECT_FALSE(s > 0.3f);
  // Touching along an edge: no area either.
  EXPECT_LT(fabsf(overlap_rect(200, 150, 260, 250, space)), 1e-6f);
}

TEST(Overlap, CornerOrderDoesNotMatter) {
  const float ccw[8] = {105, 95, 210, 100, 205, 305, 98, 290};
  const float cw[8] = {105, 95, 98, 290, 205, 305, 210, 100};
  const float shifted[8] = {205, 305, 98, 290, 105, 95, 210, 100};
  const float boxes[][4] = {{120, 150, 260, 250}, {50, 50, 150, 150}, {90, 200, 230, 330}};
  for (const auto &b : boxes) {
    float a = spaceOverlap(b, ccw, 1);
    EXPECT_NEAR(spaceOverlap(b, cw, 1), a, 1e-6);
    EXPECT_NEAR(spaceOverlap(b, shifted, 1), a, 1e-6);
    EXPECT_GT(a, 0.05f);
  }
}

// A box of height 100 at y 100 against a wide space reaching down to y 195: the
// overlap tells how far the top edge was moved down: (95 - 100 f) / (100 - 100 f).
float ladder_overlap(float width) {
  const float space[8] = {-10, 0, width + 10, 0, width + 10, 195, -10, 195};
  return overlap_rect(0, 100, width, 200, space);
}

float moved_by(float fraction) { return (95 - 100 * fraction) / (100 - 100 * fraction); }

TEST(Overlap, WideBoxLadderAtItsBoundaries) {
  struct Step {
    float width, fraction;
  } steps[] = {
      {100, 0.0f}, {130, 0.0f},  // ratio exactly 1.3: strictly greater fails
      {131, 0.1f}, {140, 0.1f}, {141, 0.2f}, {160, 0.2f}, {161, 0.3f}, {170, 0.3f},
      {171, 0.4f}, {180, 0.4f}, {181, 0.5f}, {190, 0.5f}, {191, 0.6f}, {220, 0.6f},
      {221, 0.7f}, {300, 0.7f},  // ratio 3.0: only the lower 30 % is compared
  };
  for (const Step &s : steps) {
    SCOPED_TRACE(s.width);
    EXPECT_NEAR(ladder_overlap(s.width), moved_by(s.fraction), 1e-6);
  }
  // With the adjustment off the box is taken whole.
  const float space[8] = {-10, 0, 310, 0, 310, 195, -10, 195};
  const float box[4] = {0, 100, 300, 200};
  EXPECT_NEAR(spaceOverlap(box, space, 0), 0.95f, 1e-6);
}

TEST(Overlap, HelpersOnKnownShapes) {
  OvPoint sq[5] = {{0, 0}, {4, 0}, {4, 3}, {0, 3}};
  EXPECT_DOUBLE_EQ(polygonArea(sq, 4), 12.0);
  EXPECT_DOUBLE_EQ(sq[4].x, 0.0);   // closed
  EXPECT_DOUBLE_EQ(maxEdgeLength(sq, 4), 4.0);
  OvPoint open[5] = {{0, 0}, {1, 0}, {1, 1}, {0, 10}};   // closing edge 10 not counted
  EXPECT_DOUBLE_EQ(maxEdgeLength(open, 4), sqrt(82.0));
  OvPoint diag[3] = {{0, 0}, {3, 4}};
  EXPECT_DOUBLE_EQ(maxEdgeLength(diag, 2), 5.0);
  EXPECT_DOUBLE_EQ(maxEdgeLength(diag, 1), 0.0);
  EXPECT_DOUBLE_EQ(polygonArea(sq, 0), 0.0);

  OvPoint out{};
  EXPECT_EQ(lineCross({0, 0}, {10, 0}, {5, -5}, {5, 5}, &out), 1);
  EXPECT_DOUBLE_EQ(out.x, 5.0);
  EXPECT_DOUBLE_EQ(out.y, 0.0);
  EXPECT_EQ(lineCross({0, 0}, {10, 0}, {0, 3}, {10, 3}, &out), 0);
  EXPECT_EQ(lineCross({0, 0}, {10, 0}, {20, 0}, {30, 0}, &out), 2);

  // Cutting a square by the line x = 2 going up keeps the left half.
  OvPoint R[OV_CLIP_MAX + 1] = {{0, 0}, {4, 0}, {4, 4}, {0, 4}};
  int count = 4;
  polygonCut(R, &count, {2, 10}, {2, -10});
  EXPECT_EQ(count, 4);
  EXPECT_DOUBLE_EQ(fabs(polygonArea(R, count)), 8.0);

  // Two overlapping squares, one given clockwise.
  OvPoint P[5] = {{0, 0}, {4, 0}, {4, 4}, {0, 4}};
  OvPoint Q[5] = {{2, 2}, {2, 6}, {6, 6}, {6, 2}};
  EXPECT_NEAR(polygonIntersectArea(P, 4, Q, 4), 4.0, 1e-9);
  // Triangles from the origin that share only the origin.
  EXPECT_DOUBLE_EQ(triangleIntersectArea({1, 0}, {0, 1}, {-1, 0}, {0, -1}), 0.0);
  EXPECT_NEAR(triangleIntersectArea({2, 0}, {0, 2}, {0, 2}, {2, 0}), -2.0, 1e-12);
}

// A zero-area or crossed space must never give a car a weight, whatever the
// measure returns for it.
TEST(Overlap, DegenerateAndCrossedSpacesNeverWeigh) {
  const float collinear[8] = {100, 100, 150, 150, 200, 200, 250, 250};
  const float bowtie[8] = {0, 0, 100, 200, 100, 0, 0, 200};       // signed area 0
  const float lopsided[8] = {0, 0, 100, 200, 100, 0, 0, 230};     // small signed area
  const float point[8] = {50, 50, 50, 50, 50, 50, 50, 50};
  const float *spaces[] = {collinear, bowtie, lopsided, point};
  const float boxes[][4] = {{20, 20, 80, 180}, {110, 110, 190, 190}, {0, 0, 100, 230}, {45, 45, 55, 55}};
  for (const float *space : spaces) {
    for (const auto &b : boxes) {
      float s = spaceOverlap(b, space, 1);
      int carMatch[1], spaceMatch[1];
      if (!(s >= 0.0f && s <= 1.001f)) {
        EXPECT_EQ(KM(&s, 1, 1, carMatch, spaceMatch), 0) << s;
        EXPECT_EQ(carMatch[0], -1);
      }
    }
  }
  // The crossed spaces really do produce such values.
  const float inside[4] = {20, 20, 80, 180};
  float s = spaceOverlap(inside, bowtie, 1);
  EXPECT_FALSE(s >= 0.0f && s <= 1.001f) << s;
  int carMatch[1], spaceMatch[1];
  EXPECT_EQ(KM(&s, 1, 1, carMatch, spaceMatch), 0);
}

}  // namespace
