// Still frames as a video source: the files of a folder in name order, each decoded,
// scaled to the video path's 896 x 512 and converted to NV12, then held for
// HDAL_SIM_HOLD frames. Decoding needs OpenCV, so this source exists only in host
// builds that found it.
#include <dirent.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "hdal_source.h"

namespace {

// HDAL_SIM_HOLD: frames per still, 1 when unset; 0 for a value that is not a count.
uint32_t hold_count() {
  const char *env = getenv("HDAL_SIM_HOLD");
  if (!env || !*env) return 1;
  char *stop = nullptr;
  errno = 0;
  unsigned long v = strtoul(env, &stop, 10);
  if (*stop != '\0' || errno != 0 || env[0] == '-' || v == 0 || v > 1000000) return 0;
  return (uint32_t)v;
}

bool is_frame_name(const char *name) {
  const char *dot = strrchr(name, '.');
  return dot && (strcasecmp(dot, ".png") == 0 || strcasecmp(dot, ".jpg") == 0 ||
                 strcasecmp(dot, ".jpeg") == 0);
}

}  // namespace

#if defined(HAVE_OPENCV)

#include <algorithm>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

struct HdStills {
  std::vector<std::string> paths;
  size_t next = 0;       // index of the next file to decode
  uint32_t hold = 1;
  uint32_t shown = 0;    // times the current frame went out
  bool any = false;      // a frame was decoded since the last rewind
  cv::Mat frame;         // the current frame, NV12
  cv::Mat bgr, scaled, i420;
};

namespace {

// Decodes paths[next] into frame; false when the file is not a readable image.
bool decode(HdStills &s) {
  const std::string &path = s.paths[s.next++];
  s.bgr = cv::imread(path, cv::IMREAD_COLOR);
  if (s.bgr.empty()) {
    fprintf(stderr, "hdal: %s: not a readable PNG or JPEG frame, skipped\n", path.c_str());
    return false;
  }
  cv::resize(s.bgr, s.scaled, cv::Size(HDSRC_PATH_WIDTH, HDSRC_PATH_HEIGHT), 0, 0, cv::INTER_AREA);
  cv::cvtColor(s.scaled, s.i420, cv::COLOR_BGR2YUV_I420);
  // I420 holds U and V as planes; NV12 interleaves them.
  const size_t luma = (size_t)HDSRC_PATH_WIDTH * HDSRC_PATH_HEIGHT, plane = luma / 4;
  s.frame.create((int)(HDSRC_PATH_HEIGHT * 3 / 2), (int)HDSRC_PATH_WIDTH, CV_8UC1);
  memcpy(s.frame.data, s.i420.data, luma);
  uint8_t *uv = s.frame.data + luma;
  const uint8_t *u = s.i420.data + luma, *v = u + plane;
  for (size_t i = 0; i < plane; ++i) {
    uv[2 * i] = u[i];
    uv[2 * i + 1] = v[i];
  }
  s.any = true;
  s.shown = 0;
  return true;
}

// Moves to the next readable frame; false at the end of the folder.
bool advance(HdStills &s) {
  while (s.next < s.paths.size())
    if (decode(s)) return true;
  return false;
}

}  // namespace

int hdsrc_stills_open(HdSource *src, const char *folder, char *why) {
  uint32_t hold = hold_count();
  if (hold == 0) {
    snprintf(why, 128, "HDAL_SIM_HOLD=%s is not a frame count from 1", getenv("HDAL_SIM_HOLD"));
    return -1;
  }
  DIR *dir = opendir(folder);
  if (!dir) {
    snprintf(why, 128, "%s", strerror(errno));
    return -1;
  }
  HdStills *s = new HdStills;
  while (struct dirent *e = readdir(dir))
    if (is_frame_name(e->d_name)) s->paths.push_back(std::string(folder) + "/" + e->d_name);
  closedir(dir);
  std::sort(s->paths.begin(), s->paths.end());
  s->hold = hold;
  if (!advance(*s)) {
    snprintf(why, 128, "no readable PNG or JPEG frame in the folder");
    delete s;
    return -1;
  }
  hdsrc_set_path_format(src, HDSRC_STILLS);
  src->stills = s;
  return 0;
}

int hdsrc_stills_next(HdSource *src, uint8_t *dst, int loop) {
  HdStills &s = *src->stills;
  if (s.shown >= s.hold && !advance(s)) {
    if (!loop || !s.any) return 0;
    s.next = 0;
    s.any = false;
    if (!advance(s)) return 0;
  }
  memcpy(dst, s.frame.data, hdsrc_frame_bytes(src));
  s.shown++;
  src->delivered++;
  return 1;
}

void hdsrc_stills_close(HdSource *src) {
  delete src->stills;
  src->stills = nullptr;
}

#else  // no OpenCV in this build

int hdsrc_stills_open(HdSource *, const char *, char *why) {
  (void)hold_count;
  (void)is_frame_name;
  snprintf(why, 128, "a folder of frames needs a build with OpenCV (not found when this was built)");
  return -1;
}

int hdsrc_stills_next(HdSource *, uint8_t *, int) { return 0; }

void hdsrc_stills_close(HdSource *) {}

#endif
