// The simulated video platform: start-up order, frame sources, pacing, frame memory
// and the error results callers rely on.
#include <gtest/gtest.h>
#include <sched.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <time.h>

#include <string>
#include <vector>

#include "hdal.h"
#include "hdal_source.h"
#include "image_header.h"

namespace {

const uint32_t kMapBytes = 3110912;

double now_s() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

class Hdal : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The frame semaphore is system-wide: keep it out of the host's IPC namespace.
    ipcPrivate = unshare(CLONE_NEWIPC) == 0;
  }
  void TearDown() override {
    hd_videoenc_uninit();
    hd_videoproc_uninit();
    hd_common_mem_uninit();
    hd_common_uninit();
    unsetenv("HDAL_SIM_SOURCE");
    unsetenv("HDAL_SIM_FPS");
    unsetenv("HDAL_SIM_LOOP");
  }
  void bring_up(const char *source, const char *fps = "0", const char *loop = nullptr) {
    setenv("HDAL_SIM_SOURCE", source, 1);
    if (fps) setenv("HDAL_SIM_FPS", fps, 1);
    if (loop) setenv("HDAL_SIM_LOOP", loop, 1);
    ASSERT_EQ(hd_common_init(1), HD_OK);
    ASSERT_EQ(hd_common_sysconfig(0, 0x10000, 0, 0xF0000), HD_OK);
    ASSERT_EQ(hd_common_mem_init(nullptr), HD_OK);
    ASSERT_EQ(hd_videoproc_init(), HD_OK);
    ASSERT_EQ(hd_videoenc_init(), HD_OK);
  }
  // Pulls, maps and returns plane 0; the frame stays out until release().
  uint8_t *pull_and_map(HD_VIDEO_FRAME *f, void **map) {
    if (hd_videoproc_pull_out_buf(1, f, 5000) != HD_OK) return nullptr;
    uint32_t pa = hd_common_mem_blk2pa(f->blk);
    EXPECT_NE(pa, 0u);
    *map = hd_common_mem_mmap(HD_COMMON_MEM_MEM_TYPE_CACHE, pa, kMapBytes);
    EXPECT_NE(*map, nullptr);
    if (!*map) return nullptr;
    return (uint8_t *)*map + (f->phy_addr[0] - pa);
  }
  void release(HD_VIDEO_FRAME *f, void *map) {
    EXPECT_EQ(hd_common_mem_munmap(map, kMapBytes), HD_OK);
    EXPECT_EQ(hd_videoproc_release_out_buf(1, f), HD_OK);
  }
  static bool ipcPrivate;
};
bool Hdal::ipcPrivate = false;

TEST_F(Hdal, CallsOutOfOrderFail) {
  HD_VIDEO_FRAME f = {};
  EXPECT_EQ(hd_videoproc_pull_out_buf(1, &f, 0), HD_ERR_UNINIT);
  EXPECT_EQ(hd_common_mem_init(nullptr), HD_ERR_UNINIT);
  EXPECT_EQ(hd_common_sysconfig(0, 0x10000, 0, 0xF0000), HD_ERR_UNINIT);
  ASSERT_EQ(hd_common_init(1), HD_OK);
  EXPECT_EQ(hd_common_init(1), HD_ERR_INIT);
  EXPECT_EQ(hd_videoproc_init(), HD_ERR_UNINIT);  // needs frame memory first
}

TEST_F(Hdal, FrameSemaphoreCreatedWithOneSlot) {
  if (!ipcPrivate) GTEST_SKIP() << "needs a private IPC namespace (root)";
  ASSERT_EQ(hd_common_init(1), HD_OK);
  int id = semget(0x14BA86C2, 1, 0);
  ASSERT_GE(id, 0);
  EXPECT_EQ(semctl(id, 0, GETVAL), 1);
  // A second start-up keeps whatever value the semaphore has now.
  struct sembuf take = {0, -1, 0};
  ASSERT_EQ(semop(id, &take, 1), 0);
  ASSERT_EQ(hd_common_uninit(), HD_OK);
  ASSERT_EQ(hd_common_init(1), HD_OK);
  EXPECT_EQ(semctl(id, 0, GETVAL), 0);
  semctl(id, 0, IPC_RMID);
}

TEST_F(Hdal, BlankSourceEndsAndPathsAreChecked) {
  bring_up("blank:2");
  HD_VIDEO_FRAME f;
  void *map = nullptr;
  EXPECT_EQ(hd_videoproc_pull_out_buf(0, &f, 0), HD_ERR_NOT_OPEN);
  EXPECT_EQ(hd_videoproc_pull_out_buf(9, &f, 0), HD_ERR_NOT_OPEN);
  for (int i = 0; i < 2; ++i) {
    uint8_t *y = pull_and_map(&f, &map);
    ASSERT_NE(y, nullptr);
    EXPECT_EQ(f.pw[0], 896u);
    EXPECT_EQ(f.ph[0], 512u);
    EXPECT_LT((uint64_t)(uintptr_t)y + kMapBytes, (uint64_t)1 << 32);  // fits the detector's word
    EXPECT_EQ(y[0], 16);
    EXPECT_EQ(y[896 * 512 - 1], 16);
    EXPECT_EQ(y[896 * 512], 128);  // chroma
    release(&f, map);
  }
  double t0 = now_s();
  EXPECT_EQ(hd_videoproc_pull_out_buf(1, &f, 5000), HD_ERR_EOS);
  EXPECT_LT(now_s() - t0, 0.5);  // fails at once, not after the wait
}

TEST_F(Hdal, ReleaseOnlyFramesThatAreOut) {
  bring_up("blank:5");
  HD_VIDEO_FRAME never = {};
  EXPECT_EQ(hd_videoproc_release_out_buf(1, &never), HD_ERR_NOT_PULLED);
  EXPECT_EQ(hd_videoproc_release_out_buf(1, nullptr), HD_ERR_PARAM);
  EXPECT_EQ(hd_common_mem_blk2pa(0), 0u);
  EXPECT_EQ(hd_common_mem_mmap(HD_COMMON_MEM_MEM_TYPE_CACHE, 0x1234, kMapBytes), nullptr);
  HD_VIDEO_FRAME f;
  ASSERT_EQ(hd_videoproc_pull_out_buf(1, &f, 0), HD_OK);
  EXPECT_EQ(hd_videoproc_release_out_buf(2, &f), HD_ERR_NOT_PULLED);  // other path
  EXPECT_EQ(hd_videoproc_release_out_buf(1, &f), HD_OK);
  EXPECT_EQ(hd_videoproc_release_out_buf(1, &f), HD_ERR_NOT_PULLED);  // twice
  int dummy;
  EXPECT_EQ(hd_common_mem_munmap(&dummy, kMapBytes), HD_ERR_PARAM);
  // A caller that keeps every block gets no more frames until it gives one back.
  HD_VIDEO_FRAME held[4];
  for (auto &h : held) ASSERT_EQ(hd_videoproc_pull_out_buf(1, &h, 0), HD_OK);
  EXPECT_EQ(hd_videoproc_pull_out_buf(1, &f, 0), HD_ERR_NOBUF);
  EXPECT_EQ(hd_videoproc_release_out_buf(1, &held[2]), HD_OK);
}

TEST_F(Hdal, LoopStartsOver) {
  bring_up("blank:2", "0", "1");
  HD_VIDEO_FRAME f;
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(hd_videoproc_pull_out_buf(1, &f, 0), HD_OK) << i;
    EXPECT_EQ(f.count, (uint32_t)i + 1);
    ASSERT_EQ(hd_videoproc_release_out_buf(1, &f), HD_OK);
  }
}

TEST_F(Hdal, Y4mDeliveredAsNv12) {
  std::string path = testing::TempDir() + "hdal_sim.y4m";
  FILE *out = fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  const int w = 16, h = 8;
  fprintf(out, "YUV4MPEG2 W%d H%d F50:1 Ip A1:1 C420jpeg XCOMMENT\n", w, h);
  for (int frame = 0; frame < 2; ++frame) {
    fputs("FRAME\n", out);
    for (int i = 0; i < w * h; ++i) fputc((i + frame) & 0xff, out);
    for (int i = 0; i < w * h / 4; ++i) fputc(100 + i, out);  // U
    for (int i = 0; i < w * h / 4; ++i) fputc(200 - i, out);  // V
  }
  fclose(out);
  bring_up(path.c_str());
  HD_VIDEO_FRAME f;
  void *map;
  for (int frame = 0; frame < 2; ++frame) {
    uint8_t *y = pull_and_map(&f, &map);
    ASSERT_NE(y, nullptr);
    EXPECT_EQ(f.pw[0], (uint32_t)w);
    EXPECT_EQ(f.ph[0], (uint32_t)h);
    EXPECT_EQ(y[5], 5 + frame);
    const uint8_t *uv = y + w * h;
    EXPECT_EQ(uv[0], 100);
    EXPECT_EQ(uv[1], 200);
    EXPECT_EQ(uv[2 * 31], 131);
    EXPECT_EQ(uv[2 * 31 + 1], 169);
    release(&f, map);
  }
  EXPECT_EQ(hd_videoproc_pull_out_buf(1, &f, 0), HD_ERR_EOS);
  remove(path.c_str());
}

TEST_F(Hdal, BadSourcesAreRefusedAtStart) {
  const char *bad[] = {"blank:", "blank:-1", "/nonexistent.y4m"};
  for (const char *sourceName : bad) {
    setenv("HDAL_SIM_SOURCE", sourceName, 1);
    ASSERT_EQ(hd_common_init(1), HD_OK);
    ASSERT_EQ(hd_common_mem_init(nullptr), HD_OK);
    EXPECT_NE(hd_videoproc_init(), HD_OK) << sourceName;
    hd_common_mem_uninit();
    hd_common_uninit();
  }
  std::string path = testing::TempDir() + "hdal_444.y4m";
  FILE *out = fopen(path.c_str(), "wb");
  fputs("YUV4MPEG2 W16 H8 F25:1 C444\n", out);
  fclose(out);
  setenv("HDAL_SIM_SOURCE", path.c_str(), 1);
  ASSERT_EQ(hd_common_init(1), HD_OK);
  ASSERT_EQ(hd_common_mem_init(nullptr), HD_OK);
  EXPECT_NE(hd_videoproc_init(), HD_OK);
  remove(path.c_str());
}

TEST_F(Hdal, PacedAtTheRequestedRate) {
  bring_up("blank:4", "20");  // 50 ms apart
  HD_VIDEO_FRAME f;
  double t0 = now_s();
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(hd_videoproc_pull_out_buf(1, &f, 5000), HD_OK);
    ASSERT_EQ(hd_videoproc_release_out_buf(1, &f), HD_OK);
  }
  double spent = now_s() - t0;
  EXPECT_GE(spent, 0.145);
  EXPECT_LT(spent, 1.0);
}

TEST_F(Hdal, PullGivesUpAfterItsWait) {
  bring_up("blank:4", "1");  // one frame a second
  HD_VIDEO_FRAME f;
  ASSERT_EQ(hd_videoproc_pull_out_buf(1, &f, 5000), HD_OK);
  ASSERT_EQ(hd_videoproc_release_out_buf(1, &f), HD_OK);
  double t0 = now_s();
  EXPECT_EQ(hd_videoproc_pull_out_buf(1, &f, 30), HD_ERR_TIMEDOUT);
  EXPECT_LT(now_s() - t0, 0.5);
}

// The Y4M header reader reads only the bytes it is given: the '8' past len is not
// part of the height.
TEST(Y4mHeader, ReadsOnlyTheBytesGiven) {
  const char line[] = "YUV4MPEG2 W64 H4" "8 F30:1 C420jpeg";
  HdSource src = {};
  char why[128] = "";
  ASSERT_EQ(hdsrc_parse_y4m_header(line, strlen("YUV4MPEG2 W64 H4"), &src, why), 0) << why;
  EXPECT_EQ(src.height, 4u);
  ASSERT_EQ(hdsrc_parse_y4m_header(line, sizeof line - 1, &src, why), 0) << why;
  EXPECT_EQ(src.height, 48u);
  EXPECT_EQ(src.fpsNum, 30u);
  for (const char *bad : {"YUV4MPEG2 W64 H48 F30:", "YUV4MPEG2 W64 H-48", "YUV4MPEG2 W+64 H48",
                          "YUV4MPEG2 W4294967296 H48", "YUV4MPEG2 W64 H48 C444", "YUV4MPEG3 W64 H48",
                          "YUV4MPEG2 W64 H47", "YUV4MPEG2 W63 H48"})  // 4:2:0 needs even sides
    EXPECT_EQ(hdsrc_parse_y4m_header(bad, strlen(bad), &src, why), -1) << bad;
}

// Image sizes come from the header alone, wherever a JPEG puts its frame header.
TEST(ImageHeader, SizeOfPngAndJpegAndWhyNot) {
  const uint8_t png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                         0, 0, 0x9c, 0x40, 0, 0, 0x9c, 0x40};  // 40000 x 40000
  // SOI, an APP0 segment, fill bytes, a Huffman table (C4, not a frame), then SOF2.
  const uint8_t jpeg[] = {0xFF, 0xD8, 0xFF, 0xE0, 0, 4, 1, 2, 0xFF, 0xFF, 0xFF, 0xC4, 0, 3, 9,
                          0xFF, 0xC2, 0, 11, 8, 0x02, 0xD0, 0x05, 0x00, 3};  // 1280 x 720
  uint32_t w = 0, h = 0;
  char why[128] = "";
  ASSERT_EQ(image_header_size(png, sizeof png, &w, &h, why), 0) << why;
  EXPECT_EQ(w, 40000u);
  EXPECT_EQ(h, 40000u);
  ASSERT_EQ(image_header_size(jpeg, sizeof jpeg, &w, &h, why), 0) << why;
  EXPECT_EQ(w, 1280u);
  EXPECT_EQ(h, 720u);
  // Cut anywhere before the size ends: refused, never read past the end.
  for (size_t len = 0; len < sizeof jpeg - 1; ++len) {
    std::vector<uint8_t> cut(jpeg, jpeg + len);
    EXPECT_EQ(image_header_size(cut.data(), len, &w, &h, why), -1) << len;
  }
  EXPECT_EQ(image_header_size(png, 23, &w, &h, why), -1);
  EXPECT_STREQ(why, "PNG without its IHDR header");
  const uint8_t scanFirst[] = {0xFF, 0xD8, 0xFF, 0xDA, 0, 8, 0xFF, 0xC0, 0, 11, 8, 0, 1, 0, 1};
  EXPECT_EQ(image_header_size(scanFirst, sizeof scanFirst, &w, &h, why), -1);
  EXPECT_STREQ(why, "JPEG without a frame header");
  EXPECT_EQ(image_header_size((const uint8_t *)"GIF89a", 6, &w, &h, why), -1);
  EXPECT_STREQ(why, "not a PNG or JPEG file");
}

// A progressive JPEG of the largest size the source takes, with more scans than any
// real one needs: refused from the header pass, before a decoder spends its passes.
// Entropy-coded bytes (a stuffed 0xFF 00, a restart marker) do not count as scans.
TEST(ImageHeader, JpegOfTooManyScansIsRefused) {
  auto jpeg = [](unsigned scans) {
    std::vector<uint8_t> bytes = {0xFF, 0xD8, 0xFF, 0xC2, 0, 11, 8, 0x20, 0x00, 0x20, 0x00, 1, 1, 0x11, 0};
    for (unsigned k = 0; k < scans; ++k)
      bytes.insert(bytes.end(), {0xFF, 0xDA, 0, 8, 1, 1, 0, 0, 0, 0, 0x12, 0xFF, 0x00, 0xFF, 0xD0, 0x34});
    bytes.insert(bytes.end(), {0xFF, 0xD9});
    return bytes;
  };
  uint32_t w = 0, h = 0;
  char why[128] = "";
  std::vector<uint8_t> fine = jpeg(kMaxJpegScans);
  ASSERT_EQ(image_header_size(fine.data(), fine.size(), &w, &h, why), 0) << why;
  EXPECT_EQ(w, 8192u);
  std::vector<uint8_t> flood = jpeg(kMaxJpegScans + 1);
  EXPECT_EQ(image_header_size(flood.data(), flood.size(), &w, &h, why), -1);
  EXPECT_STREQ(why, "JPEG of more than 64 scans");
  flood = jpeg(20000);
  EXPECT_EQ(image_header_size(flood.data(), flood.size(), &w, &h, why), -1);
}

}  // namespace
