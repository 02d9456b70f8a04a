// Real footage on the simulated board: still frames as a video source and the network
// detector, with the errors a user meets first (empty folder, bad hold count, missing
// or broken model).
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "hdal_source.h"
#include "traffic_sim.h"

namespace {

class Folder {
 public:
  Folder() {
    char tmpl[] = "/tmp/real_footage.XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~Folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string file(const std::string &name, const std::string &text) const {
    std::string p = path + "/" + name;
    FILE *f = fopen(p.c_str(), "w");
    fputs(text.c_str(), f);
    fclose(f);
    return p;
  }
  void image(const std::string &name, int w, int h, cv::Scalar bgr) const {
    cv::imwrite(path + "/" + name, cv::Mat(h, w, CV_8UC3, bgr));
  }
  std::string path;
};

struct Stills : ::testing::Test {
  void TearDown() override {
    hdsrc_close(&src);
    unsetenv("HDAL_SIM_HOLD");
  }
  HdSource src = {};
  char why[128] = "";
};

TEST_F(Stills, PlaysReadableFramesInNameOrderHeldScaledAndLooped) {
  Folder dir;
  dir.image("b.png", 1280, 720, cv::Scalar(255, 0, 0));  // blue, frame size of the labels
  dir.image("a.jpg", 64, 32, cv::Scalar(0, 0, 255));     // red, any size is scaled
  dir.file("c.png", "not an image");                     // skipped with a note
  dir.file("notes.txt", "not a frame name");
  setenv("HDAL_SIM_HOLD", "2", 1);
  ASSERT_EQ(hdsrc_open(&src, dir.path.c_str(), why), 0) << why;
  EXPECT_EQ(src.width, 896u);
  EXPECT_EQ(src.height, 512u);
  std::vector<uint8_t> nv12(hdsrc_frame_bytes(&src));
  // BT.601 luma of pure red is about 81, of pure blue about 41; chroma V > U for red.
  std::vector<int> luma;
  for (int k = 0; k < 4; ++k) {
    ASSERT_EQ(hdsrc_next(&src, nv12.data(), 0), 1);
    luma.push_back(nv12[512 * 896 / 2 + 448]);
    if (k == 0) {
      EXPECT_GT(nv12[896 * 512 + 1], nv12[896 * 512]);
    }
  }
  EXPECT_NEAR(luma[0], 81, 4);
  EXPECT_EQ(luma[1], luma[0]);
  EXPECT_NEAR(luma[2], 41, 4);
  EXPECT_EQ(luma[3], luma[2]);
  EXPECT_EQ(hdsrc_next(&src, nv12.data(), 0), 0);  // the end
  ASSERT_EQ(hdsrc_next(&src, nv12.data(), 1), 1);  // looped: the first frame again
  EXPECT_EQ(nv12[512 * 896 / 2 + 448], luma[0]);
}

// A FIFO named like a frame is skipped, not opened: the open would wait for a writer.
TEST_F(Stills, FifoNamedLikeAFrameIsSkippedWithoutWaiting) {
  Folder dir;
  ASSERT_EQ(mkfifo((dir.path + "/a.png").c_str(), 0600), 0);
  dir.image("b.png", 16, 16, cv::Scalar(1, 2, 3));
  alarm(20);  // a blocked open fails the test instead of hanging it
  testing::internal::CaptureStderr();
  int r = hdsrc_open(&src, dir.path.c_str(), why);
  std::string err = testing::internal::GetCapturedStderr();
  alarm(0);
  EXPECT_EQ(r, 0) << why;
  EXPECT_NE(err.find("a.png: not a regular file"), std::string::npos) << err;
}

TEST_F(Stills, FolderWithoutReadableFrameOrBadHoldIsAnError) {
  Folder dir;
  EXPECT_EQ(hdsrc_open(&src, dir.path.c_str(), why), -1);
  EXPECT_STREQ(why, "no readable PNG or JPEG frame in the folder");
  dir.file("broken.png", "PNG? no");
  dir.file("frame.txt", "text");
  EXPECT_EQ(hdsrc_open(&src, dir.path.c_str(), why), -1);
  EXPECT_STREQ(why, "no readable PNG or JPEG frame in the folder");
  dir.image("ok.png", 16, 16, cv::Scalar(1, 2, 3));
  for (const char *hold : {"0", "-1", "2x", ""}) {
    setenv("HDAL_SIM_HOLD", hold, 1);
    int r = hdsrc_open(&src, dir.path.c_str(), why);
    if (*hold) {
      EXPECT_EQ(r, -1) << hold;
      EXPECT_NE(strstr(why, "HDAL_SIM_HOLD"), nullptr) << why;
    } else {
      EXPECT_EQ(r, 0) << why;  // empty means unset: hold 1
      hdsrc_close(&src);
    }
  }
}

struct Detector : ::testing::Test {
  void TearDown() override {
    qz_traffic_deinit();
    unsetenv("QZTRAFFIC_SIM_MODEL");
    unsetenv("QZTRAFFIC_SIM_INPUT");
  }
  // qz_traffic_init with the model; what it printed on standard error.
  int init(const std::string &model, std::string *err, const char *input = nullptr) {
    setenv("QZTRAFFIC_SIM_MODEL", model.c_str(), 1);
    if (input) setenv("QZTRAFFIC_SIM_INPUT", input, 1);
    TrafficInitParam param = {};
    testing::internal::CaptureStderr();
    int r = qz_traffic_init(&param);
    *err = testing::internal::GetCapturedStderr();
    return r;
  }
};

TEST_F(Detector, MissingOrBrokenModelFailsAtStartWithReason) {
  Folder dir;
  std::string err;
  EXPECT_EQ(init(dir.path + "/none.cfg", &err), -1);
  EXPECT_EQ(err, "qztraffic: model " + dir.path + "/none.cfg: No such file or directory\n");
  std::string cfg = dir.file("net.cfg", "[net]\nwidth=32\n");
  EXPECT_EQ(init(cfg, &err), -1);
  EXPECT_EQ(err, "qztraffic: model " + dir.path + "/net.weights: No such file or directory\n");
  dir.file("net.weights", "not weights");
  EXPECT_EQ(init(cfg, &err), -1);
  EXPECT_NE(err.find("qztraffic: model " + cfg + ": "), std::string::npos) << err;
  // The real model with an input size the network cannot take.
  const std::string model = std::string(SOURCE_DIR) + "/models/yolo-fastest-1.1-xl.cfg";
  EXPECT_EQ(init(model, &err, "100"), -1);
  EXPECT_NE(err.find("QZTRAFFIC_SIM_INPUT=100"), std::string::npos) << err;
}

TEST_F(Detector, FindsTheParkedCarsOfASampleFrame) {
  std::string err;
  ASSERT_EQ(init(std::string(SOURCE_DIR) + "/models/yolo-fastest-1.1-xl.cfg", &err), 0) << err;
  HdSource src = {};
  char why[128];
  ASSERT_EQ(hdsrc_open(&src, SOURCE_DIR "/data/pklot-sample/frames", why), 0) << why;
  std::vector<uint8_t> nv12(hdsrc_frame_bytes(&src));
  hdsrc_next(&src, nv12.data(), 0);
  hdsrc_next(&src, nv12.data(), 0);
  hdsrc_next(&src, nv12.data(), 0);  // 24 of the 40 labelled spaces occupied
  hdsrc_close(&src);
  static TrafficOutput out;
  int n = traffic_dnn_find_cars(nv12.data(), 896, 512, out.objects, QZ_TRAFFIC_MAX_OBJECTS);
  EXPECT_GE(n, 20);
  for (int k = 0; k < n; ++k) {
    const TrafficObject &o = out.objects[k];
    EXPECT_GE(o.score, 0.1f);
    EXPECT_LE(o.score, 1.0f);
    EXPECT_LT(o.left, o.right);
    EXPECT_LT(o.top, o.bottom);
    EXPECT_LE(o.right, 896);
    EXPECT_LE(o.bottom, 512);
  }
  // A second call on the same frame gives the same boxes: nothing carries over.
  static TrafficOutput again;
  ASSERT_EQ(traffic_dnn_find_cars(nv12.data(), 896, 512, again.objects, QZ_TRAFFIC_MAX_OBJECTS), n);
  EXPECT_EQ(memcmp(out.objects, again.objects, sizeof(TrafficObject) * n), 0);
}

}  // namespace
