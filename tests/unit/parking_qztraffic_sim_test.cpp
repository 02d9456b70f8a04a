// The simulated detector: replay lines, and the pixel detector on frames that the
// scene generator draws.
#include <gtest/gtest.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>

#ifdef MAP_32BIT
#define MAP_32BIT_IF_ANY MAP_32BIT
#else
#define MAP_32BIT_IF_ANY 0  // a 32-bit target maps everything below 4 GiB
#endif

#include <string>
#include <vector>

#include "qztraffic.h"
#include "scene_file.h"
#include "traffic_sim.h"

namespace {

TrafficOutput g_out;

ReplayLine parse(const std::string &s) { return traffic_replay_parse(s.data(), s.size(), &g_out); }

TEST(Replay, ObjectsInOrder) {
  ReplayLine r = parse("0.9,10,20,110,220 0.25,0,0,895,511\r\n");
  EXPECT_EQ(r.stored, 2);
  EXPECT_EQ(r.count, 2);
  EXPECT_EQ(r.bad, 0);
  EXPECT_FLOAT_EQ(g_out.objects[0].score, 0.9f);
  EXPECT_EQ(g_out.objects[0].left, 10);
  EXPECT_EQ(g_out.objects[0].top, 20);
  EXPECT_EQ(g_out.objects[0].right, 110);
  EXPECT_EQ(g_out.objects[0].bottom, 220);
  EXPECT_EQ(g_out.objects[1].right, 895);
  EXPECT_EQ(parse("").stored, 0);
  EXPECT_EQ(parse(" \t\n").count, 0);
}

TEST(Replay, BadTokensAreSkippedNotGuessed) {
  ReplayLine r = parse("0.9,1,2,3 x 0.5,1,2,3,4,5 0.5,-1,0,10,10 0.5,0,0,65536,10 0.7,1,2,3,4 "
                       "0.5,1,2,3,4,");
  EXPECT_EQ(r.stored, 1);
  EXPECT_EQ(r.bad, 6);
  EXPECT_FLOAT_EQ(g_out.objects[0].score, 0.7f);
}

TEST(Replay, NanScoresAndBogusCountsPassThrough) {
  ReplayLine r = parse("nan,1,2,3,4");
  ASSERT_EQ(r.stored, 1);
  EXPECT_TRUE(isnan(g_out.objects[0].score));
  r = parse("n=600 0.9,1,2,3,4");
  EXPECT_EQ(r.stored, 1);
  EXPECT_EQ(r.count, 600);
  r = parse("n=-3");
  EXPECT_EQ(r.count, -3);
  r = parse("0.9,1,2,3,4 n=5");  // only as the first word
  EXPECT_EQ(r.count, 1);
  EXPECT_EQ(r.bad, 1);
}

TEST(Replay, AtMostTheRoomOfTheOutput) {
  std::string line;
  for (int i = 0; i < QZ_TRAFFIC_MAX_OBJECTS + 10; ++i) line += "0.5,1,2,3,4 ";
  ReplayLine r = parse(line);
  EXPECT_EQ(r.stored, QZ_TRAFFIC_MAX_OBJECTS);
  EXPECT_EQ(r.bad, 10);
}

// Through the library: line k answers call k, then nothing (or the file again).
TEST(Replay, FileLinePerCall) {
  std::string path = testing::TempDir() + "replay.txt";
  FILE *f = fopen(path.c_str(), "w");
  fputs("0.9,1,2,3,4\n\nn=700 0.8,5,6,7,8\n", f);
  fclose(f);
  setenv("QZTRAFFIC_SIM_DETECTIONS", path.c_str(), 1);
  TrafficInitParam param = {};
  snprintf(param.dataDir, sizeof param.dataDir, "%s", "/mnt/nand4/vehicle/");
  TrafficInput in = {};
  for (int loop = 0; loop < 2; ++loop) {
    if (loop) setenv("QZTRAFFIC_SIM_LOOP", "1", 1);
    ASSERT_EQ(qz_traffic_init(&param), 0);
    memset(&g_out, 0xab, sizeof g_out);
    EXPECT_EQ(qz_traffic_process(0, &in, &g_out), 0);
    EXPECT_EQ(g_out.count, 1);
    EXPECT_EQ(g_out.objects[0].left, 1);
    EXPECT_EQ(qz_traffic_process(0, &in, &g_out), 0);
    EXPECT_EQ(g_out.count, 0);
    EXPECT_EQ(qz_traffic_process(0, &in, &g_out), 0);
    EXPECT_EQ(g_out.count, 700);
    EXPECT_EQ(g_out.objects[1].score, 0.0f);  // reported beyond the listed: zeroed
    EXPECT_EQ(g_out.objects[699].right, 0);
    EXPECT_EQ(qz_traffic_process(0, &in, &g_out), 0);
    EXPECT_EQ(g_out.count, loop ? 1 : 0);
    EXPECT_EQ(qz_traffic_deinit(), 0);
  }
  unsetenv("QZTRAFFIC_SIM_LOOP");
  setenv("QZTRAFFIC_SIM_DETECTIONS", "/nonexistent/replay.txt", 1);
  EXPECT_NE(qz_traffic_init(&param), 0);
  unsetenv("QZTRAFFIC_SIM_DETECTIONS");
  remove(path.c_str());
}

Scene load_scene(const char *text) {
  Scene s;
  std::string err;
  FILE *f = fmemopen((void *)text, strlen(text), "r");
  EXPECT_EQ(scene_parse(f, &s, &err), 0) << err;
  fclose(f);
  return s;
}

// Every frame of a lot with moving, parking and leaving cars: the pixel detector,
// reading the frame only through TrafficInput, finds exactly the boxes drawn.
TEST(PixelDetector, FindsTheCarsTheSceneDraws) {
  Scene s = load_scene(
      "frames 120\nasphalt 96\n"
      "row 0 first 1 ascending\n"
      "divider 0 20 20 20 100\ndivider 0 70 20 70 100\ndivider 0 120 20 120 100\n"
      "divider 0 170 20 170 100\n"
      "row 1 first 50 descending\n"
      "divider 1 20 140 20 220\ndivider 1 70 140 70 220\ndivider 1 120 140 120 220\n"
      "car A 34 64 30\ncar B 34 64 210\ncar C 30 50 160\n"
      "at 0 A 330 120\nat 40 A 95 120\nat 60 A space 0 1\n"
      "at 10 B space 1 0\nat 70 B space 1 0\nat 110 B 45 300\ngone 115 B\n"
      "at 60 C 10 120\nat 110 C 300 120\n");
  void *mem = mmap(nullptr, 896 * 512, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT_IF_ANY,
                   -1, 0);
  ASSERT_NE(mem, MAP_FAILED);
  TrafficInitParam param = {};
  ASSERT_EQ(qz_traffic_init(&param), 0);
  std::vector<uint8_t> ground, frame;
  scene_draw_ground(s, ground);
  for (int f = 0; f < s.frames; ++f) {
    scene_draw_frame(s, ground, f, frame);
    memcpy(mem, frame.data(), frame.size());
    TrafficInput in = {};
    in.addr = (uint32_t)(uintptr_t)mem;
    in.width = 896;
    in.height = 512;
    ASSERT_EQ(qz_traffic_process(0, &in, &g_out), 0);
    std::vector<std::vector<int>> want, got;
    for (const SceneCar &c : s.cars) {
      int x0, y0, x1, y1;
      if (scene_car_box(s, c, f, &x0, &y0, &x1, &y1) && x1 - x0 >= 16 && y1 - y0 >= 16)
        want.push_back({x0, y0, x1, y1});
    }
    for (int k = 0; k < g_out.count; ++k) {
      const TrafficObject &o = g_out.objects[k];
      EXPECT_GT(o.score, 0.5f);
      got.push_back({o.left, o.top, o.right, o.bottom});
    }
    std::sort(want.begin(), want.end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, want) << "frame " << f;
  }
  EXPECT_EQ(qz_traffic_deinit(), 0);
  munmap(mem, 896 * 512);
}

TEST(PixelDetector, EmptyAndUniformFramesHaveNoCars) {
  std::vector<uint8_t> flat(896 * 512, 16);
  TrafficObject objs[4];
  EXPECT_EQ(traffic_find_cars(flat.data(), 896, 512, 896, objs, 4), 0);
  EXPECT_EQ(traffic_find_cars(flat.data(), 896, 512, 100, objs, 4), -1);  // pitch < width
  EXPECT_EQ(traffic_find_cars(nullptr, 896, 512, 896, objs, 4), -1);
  // More cars than room: stops at the room given.
  for (int c = 0; c < 8; ++c)
    for (int y = 100; y < 160; ++y)
      for (int x = c * 100 + 10; x < c * 100 + 60; ++x) flat[y * 896 + x] = 220;
  EXPECT_EQ(traffic_find_cars(flat.data(), 896, 512, 896, objs, 4), 4);
}

}  // namespace
