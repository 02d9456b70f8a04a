// Scenario files of the scene generator: errors name their line, cars move between
// keyframes and stand in the spaces they are sent to.
#include <gtest/gtest.h>
#include <math.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "scene_file.h"

namespace {

int parse(const char *text, Scene *s, std::string *err) {
  FILE *f = fmemopen((void *)text, strlen(text), "r");
  int r = scene_parse(f, s, err);
  fclose(f);
  return r;
}

TEST(SceneFile, ErrorsNameTheLine) {
  struct Case {
    const char *text, *err;
  } cases[] = {
      {"frames 10\nbogus 1\n", "2: unknown statement"},
      {"frames 10\ncar A 10 10 30\nat 5 A 1 1\nat 5 A 2 2\n", "4: keyframes of a car must be in frame order"},
      {"frames 10\nat 5 B 1 1\n", "2: unknown car"},
      {"frames 10\ndivider 0 1 1 1 1\n", "2: divider before its row line"},
      {"frames 10\nrow 0 first 1 ascending\ndivider 0 400 1 1 1\n",
       "3: divider R AX AY BX BY (x 0..320, y 0..240)"},
      {"frames 10\nrow 0 first 1 ascending\ndivider 0 1 1 1 1\ncar A 10 10 30\nat 1 A space 0 0\n",
       "5: at FRAME CAR space R K: no such space"},
      {"car A 10 10 30\n", "0: frames COUNT missing"},
      {"frames 10\nlot 897 512\n", "2: lot WIDTH HEIGHT: even sizes up to 1920 x 1080"},
  };
  for (const Case &c : cases) {
    Scene s;
    std::string err;
    EXPECT_EQ(parse(c.text, &s, &err), -1) << c.text;
    EXPECT_EQ(err, c.err) << c.text;
  }
}

TEST(SceneFile, CarsMoveParkAndLeave) {
  Scene s;
  std::string err;
  ASSERT_EQ(parse("frames 100  # comment\n"
                  "row 3 first 7 descending\n"
                  "divider 3 100 60 100 180\ndivider 3 150 60 150 180\n"
                  "car A 40 80 30 score 0.75\n"
                  "at 10 A 0 120\nat 20 A space 3 0\ngone 30 A\n",
                  &s, &err),
            0)
      << err;
  ASSERT_EQ(s.cars.size(), 1u);
  const SceneCar &a = s.cars[0];
  EXPECT_FLOAT_EQ(a.score, 0.75f);
  EXPECT_EQ(s.rows[3].direction, 1);
  int x0, y0, x1, y1;
  EXPECT_FALSE(scene_car_box(s, a, 9, &x0, &y0, &x1, &y1));
  // Half outside on the left at its first keyframe: clipped to the frame.
  ASSERT_TRUE(scene_car_box(s, a, 10, &x0, &y0, &x1, &y1));
  EXPECT_EQ(x0, 0);
  EXPECT_EQ(x1, 56);    // 20 * 2.8
  EXPECT_EQ(y0, 171);   // 80 * 2.1333
  EXPECT_EQ(y1, 341);
  // Parked in the space: centre (125, 120).
  ASSERT_TRUE(scene_car_box(s, a, 25, &x0, &y0, &x1, &y1));
  EXPECT_EQ(x0, 294);   // 105 * 2.8
  EXPECT_EQ(x1, 406);   // 145 * 2.8
  // Halfway between the keyframes.
  ASSERT_TRUE(scene_car_box(s, a, 15, &x0, &y0, &x1, &y1));
  EXPECT_EQ(x0, (int)lroundf((62.5f - 20) * 2.8f));
  EXPECT_FALSE(scene_car_box(s, a, 30, &x0, &y0, &x1, &y1));
}

}  // namespace
