// Still frames as a video source: the files of a folder in name order, each decoded,
// scaled to the video path's 896 x 512 and converted to NV12, then held for
// HDAL_SIM_HOLD frames. Decoding needs OpenCV, so this source exists only in host
// builds that found it.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "hdal_source.h"
#include "image_header.h"

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

#include <sys/stat.h>

#include <algorithm>
#include <exception>
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

// Larger frames are refused before decoding: 8192 x 8192 in BGR alone is 192 MiB.
const uint32_t kMaxSide = 8192;
const size_t kMaxFileBytes = (size_t)64 << 20;

// Reads a whole frame file into bytes; false, with a reason, for anything but a
// regular file of at most kMaxFileBytes.
bool read_file(const std::string &path, std::vector<uint8_t> &bytes, char *why) {
  // Checked before opening, and opened without blocking: a FIFO named like a frame
  // would otherwise hold the open until a writer comes, past any stop signal.
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    snprintf(why, 128, "not a regular file of at most %zu MiB", kMaxFileBytes >> 20);
    return false;
  }
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  FILE *f = fd >= 0 ? fdopen(fd, "rb") : nullptr;
  if (!f) {
    snprintf(why, 128, "%s", strerror(errno));
    if (fd >= 0) close(fd);
    return false;
  }
  bool ok = fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= (off_t)kMaxFileBytes;
  if (!ok) {
    snprintf(why, 128, "not a regular file of at most %zu MiB", kMaxFileBytes >> 20);
  } else {
    bytes.resize((size_t)st.st_size);
    ok = fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (!ok) snprintf(why, 128, "read error");
  }
  fclose(f);
  return ok;
}

// Decodes the checked bytes into the frame's NV12; false, with the decoder's reason,
// when it cannot. OpenCV reports a broken file by an empty image or by an exception
// (and the memory of a large one by std::bad_alloc).
bool convert(HdStills &s, const std::vector<uint8_t> &bytes, char *why) {
  try {
    s.bgr = cv::imdecode(bytes, cv::IMREAD_COLOR);
    if (s.bgr.empty()) {
      snprintf(why, 128, "not a readable PNG or JPEG frame");
      return false;
    }
    cv::resize(s.bgr, s.scaled, cv::Size(HDSRC_PATH_WIDTH, HDSRC_PATH_HEIGHT), 0, 0, cv::INTER_AREA);
    cv::cvtColor(s.scaled, s.i420, cv::COLOR_BGR2YUV_I420);
    s.frame.create((int)(HDSRC_PATH_HEIGHT * 3 / 2), (int)HDSRC_PATH_WIDTH, CV_8UC1);
  } catch (const std::exception &e) {
    snprintf(why, 128, "not a readable PNG or JPEG frame (decoder: %.80s)", e.what());
    return false;
  }
  // I420 holds U and V as planes; NV12 interleaves them.
  const size_t luma = (size_t)HDSRC_PATH_WIDTH * HDSRC_PATH_HEIGHT, plane = luma / 4;
  memcpy(s.frame.data, s.i420.data, luma);
  uint8_t *uv = s.frame.data + luma;
  const uint8_t *u = s.i420.data + luma, *v = u + plane;
  for (size_t i = 0; i < plane; ++i) {
    uv[2 * i] = u[i];
    uv[2 * i + 1] = v[i];
  }
  return true;
}

// Decodes paths[next] into frame; false, with a note, when the file is not a frame
// this source takes: unreadable, not PNG or JPEG, a declared size of none or above
// kMaxSide pixels a side (read from the header, before a decoder commits memory to
// it), or bytes the decoder refuses.
bool decode(HdStills &s) {
  const std::string &path = s.paths[s.next++];
  char why[128] = "";
  std::vector<uint8_t> bytes;
  uint32_t w = 0, h = 0;
  bool ok = read_file(path, bytes, why) && image_header_size(bytes.data(), bytes.size(), &w, &h, why) == 0;
  if (ok && (w == 0 || h == 0 || w > kMaxSide || h > kMaxSide)) {
    snprintf(why, sizeof why, "%u x %u pixels, not 1 x 1 to %u x %u", w, h, kMaxSide, kMaxSide);
    ok = false;
  }
  if (!ok || !convert(s, bytes, why)) {
    fprintf(stderr, "hdal: %s: %s, skipped\n", path.c_str(), why);
    return false;
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
