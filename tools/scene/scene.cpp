// scene: draws a parking-lot video from a scenario file, and writes the matching
// parking rows (SQL for the settings store) and detector replay lines.
//
//   scene [-o VIDEO.y4m] [--sql ROWS.sql] [--detections FILE] SCENARIO.scn
#include <getopt.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "scene_file.h"

namespace {

const struct option kLongOptions[] = {
    {"output", required_argument, nullptr, 'o'},
    {"sql", required_argument, nullptr, 's'},
    {"detections", required_argument, nullptr, 'd'},
    {"help", no_argument, nullptr, 'h'},
    {nullptr, 0, nullptr, 0},
};

void usage(FILE *out) {
  fputs("usage: scene [-o VIDEO.y4m] [--sql ROWS.sql] [--detections FILE] SCENARIO\n"
        "  -o, --output FILE      the video, Y4M 4:2:0 ('-' for standard output)\n"
        "      --sql FILE         the parking rows as SQL for the settings store\n"
        "      --detections FILE  one detector replay line per frame\n"
        "The scenario format is described in docs/scene.md.\n",
        out);
}

FILE *open_out(const char *path) {
  if (!strcmp(path, "-")) return stdout;
  FILE *f = fopen(path, "wb");
  if (!f) perror(path);
  return f;
}

int close_out(FILE *f, const char *path) {
  int bad = ferror(f);
  if (f == stdout ? fflush(f) != 0 : fclose(f) != 0) bad = 1;
  if (bad) fprintf(stderr, "scene: %s: write failed\n", path);
  return bad ? -1 : 0;
}

int write_sql(const Scene &s, FILE *out) {
  fprintf(out,
          "-- parking rows of a scene: load with sqlite3 /mnt/nand/qzdb.db < FILE\n"
          "BEGIN;\n"
          "DELETE FROM parking;\n"
          "INSERT INTO parking (enable, detect_sens, occupancy_sens) VALUES (1, %d, %d);\n"
          "DELETE FROM parking_region;\n"
          "DELETE FROM parking_divider;\n",
          s.detectSens, s.occupancySens);
  for (int r = 0; r < 20; ++r) {
    const SceneRow &row = s.rows[r];
    if (!row.used) continue;
    fprintf(out, "INSERT INTO parking_region (region, first_number, direction) VALUES (%d, %d, %d);\n",
            r, row.firstNumber, row.direction);
    for (size_t k = 0; k < row.dividers.size(); ++k) {
      const SceneDivider &d = row.dividers[k];
      fprintf(out,
              "INSERT INTO parking_divider (region, k, ax, ay, bx, by) VALUES (%d, %zu, %d, %d, %d, %d);\n",
              r, k, d.ax, d.ay, d.bx, d.by);
    }
  }
  fputs("COMMIT;\n", out);
  return 0;
}

void write_detections(const Scene &s, FILE *out) {
  for (int f = 0; f < s.frames; ++f) {
    bool first = true;
    for (const SceneCar &c : s.cars) {
      int x0, y0, x1, y1;
      if (!scene_car_box(s, c, f, &x0, &y0, &x1, &y1)) continue;
      fprintf(out, "%s%g,%d,%d,%d,%d", first ? "" : " ", c.score, x0, y0, x1, y1);
      first = false;
    }
    fputc('\n', out);
  }
}

int write_video(const Scene &s, FILE *out) {
  std::vector<uint8_t> ground, frame((size_t)s.width * s.height);
  std::vector<uint8_t> chroma((size_t)s.width * s.height / 2, 128);
  scene_draw_ground(s, ground);
  fprintf(out, "YUV4MPEG2 W%d H%d F%d:%d Ip A1:1 C420jpeg\n", s.width, s.height, s.fpsNum,
          s.fpsDen);
  for (int f = 0; f < s.frames; ++f) {
    scene_draw_frame(s, ground, f, frame);
    fputs("FRAME\n", out);
    if (fwrite(frame.data(), 1, frame.size(), out) != frame.size() ||
        fwrite(chroma.data(), 1, chroma.size(), out) != chroma.size())
      return -1;
  }
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  const char *videoPath = nullptr, *sqlPath = nullptr, *detPath = nullptr;
  int opt;
  while ((opt = getopt_long(argc, argv, "o:h", kLongOptions, nullptr)) != -1) {
    switch (opt) {
      case 'o': videoPath = optarg; break;
      case 's': sqlPath = optarg; break;
      case 'd': detPath = optarg; break;
      case 'h': usage(stdout); return 0;
      default: usage(stderr); return 2;
    }
  }
  if (optind + 1 != argc || (!videoPath && !sqlPath && !detPath)) {
    usage(stderr);
    return 2;
  }
  const char *scnPath = argv[optind];
  FILE *in = fopen(scnPath, "r");
  if (!in) {
    perror(scnPath);
    return 1;
  }
  Scene scene;
  std::string err;
  int r = scene_parse(in, &scene, &err);
  fclose(in);
  if (r != 0) {
    fprintf(stderr, "scene: %s:%s\n", scnPath, err.c_str());
    return 1;
  }

  struct Output {
    const char *path;
    int (*write)(const Scene &, FILE *);
  } outputs[] = {
      {sqlPath, write_sql},
      {detPath, [](const Scene &s, FILE *f) { write_detections(s, f); return 0; }},
      {videoPath, write_video},
  };
  for (const Output &o : outputs) {
    if (!o.path) continue;
    FILE *f = open_out(o.path);
    if (!f) return 1;
    int bad = o.write(scene, f);
    if (close_out(f, o.path) != 0 || bad != 0) return 1;
  }
  return 0;
}
