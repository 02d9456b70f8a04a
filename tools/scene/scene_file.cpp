// Scenario parser and car motion.
#include "scene_file.h"

#include <errno.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

namespace {

const int kMaxWords = 16;
const uint8_t kPaint = 235;
const int kPaintHalf = 1;  // dividers are 3 pixels wide

bool to_int(const char *s, long lo, long hi, int *out) {
  char *stop = nullptr;
  errno = 0;
  long v = strtol(s, &stop, 10);
  if (stop == s || *stop != '\0' || errno != 0 || v < lo || v > hi) return false;
  *out = (int)v;
  return true;
}

bool to_float(const char *s, float lo, float hi, float *out) {
  char *stop = nullptr;
  float v = strtof(s, &stop);
  if (stop == s || *stop != '\0' || !(v >= lo && v <= hi)) return false;
  *out = v;
  return true;
}

SceneCar *find_car(Scene *scene, const char *name) {
  for (SceneCar &c : scene->cars)
    if (c.name == name) return &c;
  return nullptr;
}

// Centre of space k of row r (between dividers k and k+1).
bool space_centre(const Scene &scene, int r, int k, float *x, float *y) {
  const SceneRow &row = scene.rows[r];
  if (k < 0 || k + 1 >= (int)row.dividers.size()) return false;
  const SceneDivider &a = row.dividers[k], &b = row.dividers[k + 1];
  *x = (a.ax + a.bx + b.ax + b.bx) / 4.0f;
  *y = (a.ay + a.by + b.ay + b.by) / 4.0f;
  return true;
}

}  // namespace

float scene_scale_x(const Scene &scene) { return (float)scene.width / 320.0f; }
float scene_scale_y(const Scene &scene) { return (float)scene.height / 240.0f; }

int scene_parse(FILE *in, Scene *scene, std::string *err) {
  char line[512];
  int lineNo = 0;
  auto fail = [&](const char *why) {
    *err = std::to_string(lineNo) + ": " + why;
    return -1;
  };
  while (fgets(line, sizeof line, in)) {
    ++lineNo;
    size_t len = strlen(line);
    if (len == sizeof line - 1 && line[len - 1] != '\n') return fail("line too long");
    char *hash = strchr(line, '#');
    if (hash) *hash = '\0';
    char *w[kMaxWords];
    int n = 0;
    for (char *tok = strtok(line, " \t\r\n"); tok; tok = strtok(nullptr, " \t\r\n")) {
      if (n == kMaxWords) return fail("too many words");
      w[n++] = tok;
    }
    if (n == 0) continue;
    const char *cmd = w[0];
    if (!strcmp(cmd, "lot")) {
      if (n != 3 || !to_int(w[1], 16, 1920, &scene->width) || !to_int(w[2], 16, 1080, &scene->height) ||
          (scene->width & 1) || (scene->height & 1))
        return fail("lot WIDTH HEIGHT: even sizes up to 1920 x 1080");
    } else if (!strcmp(cmd, "fps")) {
      if (n != 2 || !to_int(w[1], 1, 240, &scene->fpsNum)) return fail("fps RATE: 1..240");
    } else if (!strcmp(cmd, "frames")) {
      if (n != 2 || !to_int(w[1], 1, SCENE_MAX_FRAMES, &scene->frames))
        return fail("frames COUNT: 1..10000000");
    } else if (!strcmp(cmd, "asphalt")) {
      if (n != 2 || !to_int(w[1], 0, 255, &scene->asphalt)) return fail("asphalt LUMA: 0..255");
    } else if (!strcmp(cmd, "sensitivity")) {
      if (n != 3 || !to_int(w[1], 0, 100, &scene->detectSens) ||
          !to_int(w[2], 0, 100, &scene->occupancySens))
        return fail("sensitivity DETECT OCCUPANCY");
    } else if (!strcmp(cmd, "row")) {
      int r, first;
      if (n != 5 || !to_int(w[1], 0, 19, &r) || strcmp(w[2], "first") ||
          !to_int(w[3], -1000000, 1000000, &first) ||
          (strcmp(w[4], "ascending") && strcmp(w[4], "descending")))
        return fail("row R first NUMBER ascending|descending (R 0..19)");
      scene->rows[r].used = true;
      scene->rows[r].firstNumber = first;
      scene->rows[r].direction = strcmp(w[4], "descending") == 0;
    } else if (!strcmp(cmd, "divider")) {
      int r;
      SceneDivider d;
      if (n != 6 || !to_int(w[1], 0, 19, &r) || !to_int(w[2], 0, 320, &d.ax) ||
          !to_int(w[3], 0, 240, &d.ay) || !to_int(w[4], 0, 320, &d.bx) || !to_int(w[5], 0, 240, &d.by))
        return fail("divider R AX AY BX BY (x 0..320, y 0..240)");
      if (!scene->rows[r].used) return fail("divider before its row line");
      if (scene->rows[r].dividers.size() >= 101) return fail("more than 101 dividers in a row");
      scene->rows[r].dividers.push_back(d);
    } else if (!strcmp(cmd, "car")) {
      SceneCar c;
      if (n < 5 || n > 7 || !to_float(w[2], 1, 320, &c.w) || !to_float(w[3], 1, 240, &c.h) ||
          !to_int(w[4], 0, 255, &c.shade))
        return fail("car NAME WIDTH HEIGHT LUMA [score S]");
      if (n == 7 && (strcmp(w[5], "score") || !to_float(w[6], 0, 1, &c.score)))
        return fail("car NAME WIDTH HEIGHT LUMA [score S]");
      if (n == 6) return fail("car NAME WIDTH HEIGHT LUMA [score S]");
      if (find_car(scene, w[1])) return fail("car defined twice");
      if ((int)scene->cars.size() >= SCENE_MAX_CARS) return fail("too many cars");
      c.name = w[1];
      scene->cars.push_back(c);
    } else if (!strcmp(cmd, "at")) {
      // at FRAME CAR X Y | at FRAME CAR space R K
      SceneKey k;
      SceneCar *c = n >= 3 ? find_car(scene, w[2]) : nullptr;
      if (n < 3 || !to_int(w[1], 0, SCENE_MAX_FRAMES, &k.frame)) return fail("at FRAME CAR ...");
      if (!c) return fail("unknown car");
      if (n == 5) {
        if (!to_float(w[3], -1000, 1000, &k.x) || !to_float(w[4], -1000, 1000, &k.y))
          return fail("at FRAME CAR X Y");
      } else if (n == 6 && !strcmp(w[3], "space")) {
        int r, s;
        if (!to_int(w[4], 0, 19, &r) || !to_int(w[5], 0, 99, &s) ||
            !space_centre(*scene, r, s, &k.x, &k.y))
          return fail("at FRAME CAR space R K: no such space");
      } else {
        return fail("at FRAME CAR X Y | at FRAME CAR space R K");
      }
      if (!c->keys.empty() && c->keys.back().frame >= k.frame)
        return fail("keyframes of a car must be in frame order");
      if (c->gone >= 0) return fail("keyframe after the car is gone");
      c->keys.push_back(k);
    } else if (!strcmp(cmd, "gone")) {
      int f;
      SceneCar *c = n == 3 ? find_car(scene, w[2]) : nullptr;
      if (n != 3 || !to_int(w[1], 0, SCENE_MAX_FRAMES, &f)) return fail("gone FRAME CAR");
      if (!c) return fail("unknown car");
      if (c->keys.empty() || c->keys.back().frame >= f)
        return fail("a car goes after its last keyframe");
      c->gone = f;
    } else {
      return fail("unknown statement");
    }
  }
  if (ferror(in)) return fail("read error");
  if (scene->frames == 0) {
    lineNo = 0;
    return fail("frames COUNT missing");
  }
  return 0;
}

bool scene_car_box(const Scene &scene, const SceneCar &car, int frame, int *x0, int *y0,
                   int *x1, int *y1) {
  if (car.keys.empty() || frame < car.keys.front().frame) return false;
  if (car.gone >= 0 && frame >= car.gone) return false;
  float cx = car.keys.back().x, cy = car.keys.back().y;
  for (size_t i = 0; i + 1 < car.keys.size(); ++i) {
    const SceneKey &a = car.keys[i], &b = car.keys[i + 1];
    if (frame >= a.frame && frame < b.frame) {
      float t = (float)(frame - a.frame) / (float)(b.frame - a.frame);
      cx = a.x + (b.x - a.x) * t;
      cy = a.y + (b.y - a.y) * t;
      break;
    }
  }
  const float sx = scene_scale_x(scene), sy = scene_scale_y(scene);
  int l = (int)lroundf((cx - car.w / 2) * sx), r = (int)lroundf((cx + car.w / 2) * sx);
  int t = (int)lroundf((cy - car.h / 2) * sy), b = (int)lroundf((cy + car.h / 2) * sy);
  l = std::max(l, 0);
  t = std::max(t, 0);
  r = std::min(r, scene.width);
  b = std::min(b, scene.height);
  if (l >= r || t >= b) return false;
  *x0 = l;
  *y0 = t;
  *x1 = r;
  *y1 = b;
  return true;
}

// Asphalt with a faint fixed grain, so the picture does not look flat.
void scene_draw_ground(const Scene &s, std::vector<uint8_t> &ground) {
  ground.assign((size_t)s.width * s.height, 0);
  uint32_t seed = 12345;
  for (size_t i = 0; i < ground.size(); ++i) {
    seed = seed * 1103515245u + 12345u;
    int grain = (int)((seed >> 16) % 5) - 2;
    ground[i] = (uint8_t)std::min(255, std::max(0, s.asphalt + grain));
  }
  const float sx = scene_scale_x(s), sy = scene_scale_y(s);
  for (const SceneRow &row : s.rows)
    for (const SceneDivider &d : row.dividers) {
      float x0 = d.ax * sx, y0 = d.ay * sy, x1 = d.bx * sx, y1 = d.by * sy;
      int steps = (int)ceilf(std::max(fabsf(x1 - x0), fabsf(y1 - y0))) + 1;
      for (int i = 0; i <= steps; ++i) {
        float t = (float)i / (float)steps;
        int cx = (int)lroundf(x0 + (x1 - x0) * t), cy = (int)lroundf(y0 + (y1 - y0) * t);
        for (int y = cy - kPaintHalf; y <= cy + kPaintHalf; ++y)
          for (int x = cx - kPaintHalf; x <= cx + kPaintHalf; ++x)
            if (x >= 0 && y >= 0 && x < s.width && y < s.height)
              ground[(size_t)y * s.width + x] = kPaint;
      }
    }
}

void scene_draw_frame(const Scene &s, const std::vector<uint8_t> &ground, int frame,
                      std::vector<uint8_t> &out) {
  out = ground;
  for (const SceneCar &c : s.cars) {
    int x0, y0, x1, y1;
    if (!scene_car_box(s, c, frame, &x0, &y0, &x1, &y1)) continue;
    for (int y = y0; y < y1; ++y) memset(&out[(size_t)y * s.width + x0], c.shade, (size_t)(x1 - x0));
  }
}
