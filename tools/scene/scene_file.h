// Scenario files of the scene generator (format: docs/scene.md).
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

struct SceneDivider {
  int ax, ay, bx, by;  // configuration coordinates (320 x 240)
};

struct SceneRow {
  bool used = false;
  int firstNumber = 0;
  int direction = 0;   // 0 ascending, 1 descending
  std::vector<SceneDivider> dividers;
};

struct SceneKey {
  int frame;
  float x, y;          // car centre, configuration coordinates
};

struct SceneCar {
  std::string name;
  float w = 0, h = 0;  // footprint, configuration units
  int shade = 0;       // luma
  float score = 0.9f;  // what the replay file gives for it
  std::vector<SceneKey> keys;
  int gone = -1;       // first frame without the car, -1: stays
};

struct Scene {
  int width = 896, height = 512;
  int fpsNum = 25, fpsDen = 1;
  int frames = 0;
  int asphalt = 96;
  int detectSens = 5, occupancySens = 5;
  SceneRow rows[20];
  std::vector<SceneCar> cars;
};

enum { SCENE_MAX_FRAMES = 10000000, SCENE_MAX_CARS = 512 };

// Parses a scenario. 0, or -1 with "LINE: reason" in err.
int scene_parse(FILE *in, Scene *scene, std::string *err);

// Where car c stands in frame f: true with its pixel box [x0, x1) x [y0, y1) clipped
// to the frame; false when it is absent or wholly outside.
bool scene_car_box(const Scene &scene, const SceneCar &car, int frame, int *x0, int *y0,
                   int *x1, int *y1);

// Pixel scale of configuration coordinates.
float scene_scale_x(const Scene &scene);
float scene_scale_y(const Scene &scene);

// The empty lot (asphalt with a faint grain, painted dividers) as luma.
void scene_draw_ground(const Scene &scene, std::vector<uint8_t> &ground);
// The luma of one frame: the ground with the cars present in that frame.
void scene_draw_frame(const Scene &scene, const std::vector<uint8_t> &ground, int frame,
                      std::vector<uint8_t> &out);
