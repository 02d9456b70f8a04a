// The network detector: a darknet model run with OpenCV's DNN module on the frame's
// colours. It keeps cars, buses and trucks (COCO classes 2, 5 and 7) and merges
// overlapping boxes of any of them by non-maximum suppression. Built only where
// OpenCV is found (the host); elsewhere opening it is an error.
#include <errno.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "traffic_sim.h"

#if defined(HAVE_OPENCV)

#include <string>
#include <vector>

#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>

namespace {

const float kMinScore = 0.1f;   // weaker boxes are noise, not vehicles
const float kNmsOverlap = 0.45f;
const int kStride = 32;         // the network takes sides in multiples of this
const int kVehicleClasses[] = {2, 5, 7};
const int kFirstClassColumn = 5;  // cx, cy, w, h, objectness, then the class scores

// Loaded once for the process; the buffers keep their room from frame to frame.
struct Network {
  cv::dnn::Net net;
  std::vector<cv::String> outNames;
  int input = 0;
  cv::Mat bgr, blob;
  std::vector<cv::Mat> outs;
  std::vector<cv::Rect> boxes;
  std::vector<float> scores;
  std::vector<int> keep;
  FILE *times = nullptr;  // QZTRAFFIC_SIM_TIMES: one line per network call, in ms
};

Network *g_net = nullptr;

double now_ms() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// The best vehicle score of one output row.
float vehicle_score(const float *row, int columns) {
  float best = 0;
  for (int c : kVehicleClasses)
    if (kFirstClassColumn + c < columns && row[kFirstClassColumn + c] > best)
      best = row[kFirstClassColumn + c];
  return best;
}

// The network input for a frame: about size x size pixels in the frame's own shape
// (sides in multiples of kStride). Squeezing a wide frame into a square makes every
// car narrower than the network learned cars to be, and it misses more of them.
cv::Size input_shape(int size, int width, int height) {
  double side = size * sqrt((double)height / width);
  int h = (int)lround(side / kStride) * kStride;
  if (h < kStride) h = kStride;
  int w = (int)lround((double)h * width / height / kStride) * kStride;
  return cv::Size(w < kStride ? kStride : w, h);
}

}  // namespace

int traffic_dnn_open(const char *cfgPath, int inputSize) {
  std::string cfg(cfgPath);
  size_t dot = cfg.rfind('.');
  size_t slash = cfg.rfind('/');
  std::string weights =
      (dot == std::string::npos || (slash != std::string::npos && dot < slash) ? cfg : cfg.substr(0, dot)) +
      ".weights";
  for (const std::string *path : {&cfg, &weights})
    if (access(path->c_str(), R_OK) != 0) {
      fprintf(stderr, "qztraffic: model %s: %s\n", path->c_str(), strerror(errno));
      return -1;
    }
  Network *n = new Network;
  try {
    n->net = cv::dnn::readNetFromDarknet(cfg, weights);
    n->outNames = n->net.getUnconnectedOutLayersNames();
  } catch (const cv::Exception &e) {
    fprintf(stderr, "qztraffic: model %s: not a darknet network OpenCV can load\n", cfg.c_str());
    delete n;
    return -1;
  }
  if (n->net.empty() || n->outNames.empty()) {
    fprintf(stderr, "qztraffic: model %s: no output layers\n", cfg.c_str());
    delete n;
    return -1;
  }
  // One thread: the board's detector has one core of its own, and the service's
  // threads stay the only ones a thread checker has to judge.
  cv::setNumThreads(1);
  n->net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
  n->net.setPreferableTarget(cv::dnn::DNN_TARGET_CPU);
  n->input = inputSize;
  const char *times = getenv("QZTRAFFIC_SIM_TIMES");
  if (times && *times) {
    n->times = fopen(times, "ae");
    if (!n->times) {
      fprintf(stderr, "qztraffic: QZTRAFFIC_SIM_TIMES=%s: %s\n", times, strerror(errno));
      delete n;
      return -1;
    }
    setvbuf(n->times, nullptr, _IOLBF, 0);
  }
  g_net = n;
  return 0;
}

int traffic_dnn_find_cars(const unsigned char *nv12, int width, int height, TrafficObject *objects,
                          int cap) {
  if (!g_net || !nv12 || width < 2 || height < 2 || (width & 1) || (height & 1) || cap < 0) return -1;
  Network &n = *g_net;
  // Plane 0 is the luma; the interleaved chroma follows it (line offset = width).
  cv::Mat frame(height * 3 / 2, width, CV_8UC1, const_cast<unsigned char *>(nv12));
  try {
    cv::cvtColor(frame, n.bgr, cv::COLOR_YUV2BGR_NV12);
    cv::dnn::blobFromImage(n.bgr, n.blob, 1.0 / 255, input_shape(n.input, width, height), cv::Scalar(), true,
                           false);
    double started = now_ms();
    n.net.setInput(n.blob);
    n.net.forward(n.outs, n.outNames);
    if (n.times) fprintf(n.times, "%.3f\n", now_ms() - started);
  } catch (const cv::Exception &e) {
    fprintf(stderr, "qztraffic: network failed on a frame: %s\n", e.what());
    return -1;
  }
  n.boxes.clear();
  n.scores.clear();
  for (const cv::Mat &out : n.outs) {
    for (int r = 0; r < out.rows; ++r) {
      const float *row = out.ptr<float>(r);
      float score = vehicle_score(row, out.cols);
      if (score < kMinScore) continue;
      float w = row[2] * (float)width, h = row[3] * (float)height;
      float left = row[0] * (float)width - w / 2, top = row[1] * (float)height - h / 2;
      n.boxes.push_back(cv::Rect((int)left, (int)top, (int)w, (int)h));
      n.scores.push_back(score);
    }
  }
  cv::dnn::NMSBoxes(n.boxes, n.scores, kMinScore, kNmsOverlap, n.keep);
  int found = 0;
  for (int k : n.keep) {
    if (found >= cap) break;
    cv::Rect b = n.boxes[k] & cv::Rect(0, 0, width, height);
    if (b.width <= 0 || b.height <= 0) continue;
    TrafficObject *o = &objects[found++];
    memset(o, 0, sizeof *o);
    o->score = n.scores[k];
    o->left = (uint16_t)b.x;
    o->top = (uint16_t)b.y;
    o->right = (uint16_t)(b.x + b.width);
    o->bottom = (uint16_t)(b.y + b.height);
  }
  return found;
}

void traffic_dnn_close() {
  if (g_net && g_net->times) fclose(g_net->times);
  delete g_net;
  g_net = nullptr;
}

#else  // no OpenCV in this build

int traffic_dnn_open(const char *cfgPath, int) {
  fprintf(stderr, "qztraffic: model %s: this build has no network detector (OpenCV was not found)\n",
          cfgPath);
  return -1;
}

int traffic_dnn_find_cars(const unsigned char *, int, int, TrafficObject *, int) { return -1; }

void traffic_dnn_close() {}

#endif
