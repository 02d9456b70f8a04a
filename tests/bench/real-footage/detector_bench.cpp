// Real footage figures: the network detector's time per frame at network inputs 320
// and 416 (median over the frames), then the time of a whole scripts/parking-eval run
// over the same folders (a board of its own, the service, the pictures left out).
//
//   build/bench/detector_bench [DIR...]     DIR as for parking-eval (frames/ in it);
//                                           default data/pklot-sample
// Prints figures only; the parking-eval run needs root, like every board sandbox.
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <string>
#include <vector>

#include "hdal_source.h"
#include "traffic_sim.h"

namespace {

double now_ms() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// Every frame of the folders as NV12, the way the video path hands them out.
std::vector<std::vector<uint8_t>> load_frames(const std::vector<std::string> &dirs) {
  std::vector<std::vector<uint8_t>> frames;
  for (const std::string &dir : dirs) {
    HdSource src = {};
    char why[128];
    if (hdsrc_open(&src, (dir + "/frames").c_str(), why) != 0) {
      fprintf(stderr, "detector_bench: %s/frames: %s\n", dir.c_str(), why);
      exit(1);
    }
    std::vector<uint8_t> nv12(hdsrc_frame_bytes(&src));
    while (hdsrc_next(&src, nv12.data(), 0) == 1) frames.push_back(nv12);
    hdsrc_close(&src);
  }
  return frames;
}

}  // namespace

int main(int argc, char **argv) {
  std::vector<std::string> dirs(argv + 1, argv + argc);
  if (dirs.empty()) dirs.push_back(SOURCE_DIR "/data/pklot-sample");
  unsetenv("HDAL_SIM_HOLD");
  std::vector<std::vector<uint8_t>> frames = load_frames(dirs);
  static TrafficOutput out;
  for (int input : {320, 416}) {
    if (traffic_dnn_open(SOURCE_DIR "/models/yolo-fastest-1.1-xl.cfg", input) != 0) return 1;
    traffic_dnn_find_cars(frames[0].data(), 896, 512, out.objects, QZ_TRAFFIC_MAX_OBJECTS);  // warm-up
    std::vector<double> ms;
    int cars = 0;
    for (const std::vector<uint8_t> &f : frames) {
      double t0 = now_ms();
      cars += traffic_dnn_find_cars(f.data(), 896, 512, out.objects, QZ_TRAFFIC_MAX_OBJECTS);
      ms.push_back(now_ms() - t0);
    }
    traffic_dnn_close();
    std::sort(ms.begin(), ms.end());
    printf("detector input %d: median %.1f ms per frame (min %.1f, max %.1f) over %zu frames, %d vehicles\n",
           input, ms[ms.size() / 2], ms.front(), ms.back(), ms.size(), cars);
  }
  std::string cmd = "'" SOURCE_DIR "/scripts/parking-eval'";
  for (const std::string &d : dirs) cmd += " '" + d + "'";
  cmd += " 2>/dev/null | tail -n 1";
  fflush(stdout);
  double t0 = now_ms();
  int status = system(cmd.c_str());
  printf("parking-eval over %zu folder(s): %.1f s (status %d)\n", dirs.size(), (now_ms() - t0) / 1e3,
         WEXITSTATUS(status));
  return 0;
}
