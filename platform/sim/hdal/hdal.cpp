// Host implementation of the HDAL video platform calls.
//
// The pipeline's frames come from HDAL_SIM_SOURCE (see hdal_source.h) and live in a
// small pool of frame blocks kept in one shared-memory file, so that
// hd_common_mem_mmap really maps frame memory the way the camera does, below 4 GiB.
// Output paths 1 to HDAL_SIM_OPEN_PATHS are open; all of them show the one source.
#include "hdal.h"

#include <errno.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/mman.h>

#ifndef MAP_32BIT
#define MAP_32BIT 0  // on a 32-bit target every mapping lies below 4 GiB anyway
#endif
#include <sys/sem.h>
#include <time.h>
#include <unistd.h>

#include "board_sim.h"
#include "hdal_source.h"

namespace {

const key_t kFrameSemKey = 0x14BA86C2;
const uint32_t kOpenPaths = 4;             // paths 1..4 are open
const int kBlocks = 4;
const uint32_t kBlockBytes = 0x2F8000;     // holds a 1920x1080 NV12 frame, page multiple
const uint32_t kPhysBase = 0x10000000;     // physical address of block 0
const HD_COMMON_MEM_VB_BLK kBlockHandleBase = 0x5000;
const int kMaxMappings = 32;

struct Block {
  bool out;           // pulled and not yet released
  HD_PATH_ID path;
  uint32_t count;
};

struct Mapping {
  void *user;         // address handed out
  void *base;         // page-aligned start of the system mapping
  size_t length;
};

struct State {
  pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
  pthread_mutex_t pullLock = PTHREAD_MUTEX_INITIALIZER;  // one pull at a time
  bool common = false, mem = false, vproc = false, venc = false;
  int memfd = -1;
  uint8_t *pool = nullptr;          // the library's own view of the blocks
  Block blocks[kBlocks];
  Mapping maps[kMaxMappings];
  HdSource src;
  bool srcOpen = false;
  bool loop = false;
  uint64_t periodNs = 0;            // 0: unpaced
  uint64_t lastDeliveryNs = 0;
  uint32_t count = 0;
};

State g;

uint64_t now_ns() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (uint64_t)ts.tv_sec * 1000000000ull + (uint64_t)ts.tv_nsec;
}

void sleep_ns(uint64_t ns) {
  struct timespec ts;
  ts.tv_sec = (time_t)(ns / 1000000000ull);
  ts.tv_nsec = (long)(ns % 1000000000ull);
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

// The frame semaphore belongs to the video platform: created with one free slot
// the first time the platform comes up, left alone afterwards.
int ensure_frame_semaphore() {
  int id = semget(kFrameSemKey, 1, IPC_CREAT | IPC_EXCL | 0666);
  if (id >= 0) {
    if (semctl(id, 0, SETVAL, 1) != 0) return -1;
    return 0;
  }
  if (errno == EEXIST) return 0;
  return -1;
}

// Pacing: HDAL_SIM_FPS when set (0 = unpaced), otherwise the source's own rate.
uint64_t pacing_period_ns(const HdSource &src) {
  const char *env = getenv("HDAL_SIM_FPS");
  if (env && *env) {
    char *stop = nullptr;
    double fps = strtod(env, &stop);
    if (stop != env && *stop == '\0' && fps >= 0) {
      if (fps == 0) return 0;
      return (uint64_t)(1e9 / fps);
    }
    fprintf(stderr, "hdal: HDAL_SIM_FPS=%s ignored (want a number >= 0)\n", env);
  }
  return (uint64_t)src.fpsDen * 1000000000ull / src.fpsNum;
}

int find_block(HD_COMMON_MEM_VB_BLK blk) {
  if (blk < kBlockHandleBase || blk >= kBlockHandleBase + kBlocks) return -1;
  return (int)(blk - kBlockHandleBase);
}

}  // namespace

extern "C" {

HD_RESULT hd_common_init(uint32_t sys_config_type) {
  board_trace("hd_common_init", sys_config_type);
  pthread_mutex_lock(&g.lock);
  HD_RESULT r = HD_OK;
  if (g.common) {
    r = HD_ERR_INIT;
  } else if (ensure_frame_semaphore() != 0) {
    fprintf(stderr, "hdal: frame semaphore: %s\n", strerror(errno));
    r = HD_ERR_SYS;
  } else {
    g.common = true;
  }
  pthread_mutex_unlock(&g.lock);
  return r;
}

HD_RESULT hd_common_sysconfig(uint32_t t1, uint32_t t2, uint32_t t3, uint32_t t4) {
  board_trace("hd_common_sysconfig", t1, t2, t3, t4);
  pthread_mutex_lock(&g.lock);
  HD_RESULT r = g.common ? HD_OK : HD_ERR_UNINIT;
  pthread_mutex_unlock(&g.lock);
  return r;
}

HD_RESULT hd_common_uninit(void) {
  board_trace("hd_common_uninit");
  pthread_mutex_lock(&g.lock);
  HD_RESULT r = HD_OK;
  if (!g.common || g.mem) r = g.common ? HD_ERR_PARAM : HD_ERR_UNINIT;
  else g.common = false;
  pthread_mutex_unlock(&g.lock);
  return r;
}

HD_RESULT hd_common_mem_init(void *config) {
  (void)config;
  board_trace("hd_common_mem_init");
  pthread_mutex_lock(&g.lock);
  HD_RESULT r = HD_OK;
  if (!g.common) {
    r = HD_ERR_UNINIT;
  } else if (g.mem) {
    r = HD_ERR_INIT;
  } else {
    size_t bytes = (size_t)kBlocks * kBlockBytes;
    int fd = memfd_create("hdal-frames", MFD_CLOEXEC);
    void *pool = MAP_FAILED;
    if (fd >= 0 && ftruncate(fd, (off_t)bytes) == 0)
      pool = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pool == MAP_FAILED) {
      fprintf(stderr, "hdal: frame memory: %s\n", strerror(errno));
      if (fd >= 0) close(fd);
      r = HD_ERR_SYS;
    } else {
      g.memfd = fd;
      g.pool = (uint8_t *)pool;
      memset(g.blocks, 0, sizeof g.blocks);
      memset(g.maps, 0, sizeof g.maps);
      g.mem = true;
    }
  }
  pthread_mutex_unlock(&g.lock);
  return r;
}

HD_RESULT hd_common_mem_uninit(void) {
  board_trace("hd_common_mem_uninit");
  pthread_mutex_lock(&g.lock);
  HD_RESULT r = HD_OK;
  if (!g.mem) {
    r = HD_ERR_UNINIT;
  } else if (g.vproc) {
    r = HD_ERR_PARAM;
  } else {
    // Mappings the caller forgot are taken down with the pool.
    for (Mapping &m : g.maps) {
      if (m.user) munmap(m.base, m.length);
      m = Mapping{};
    }
    munmap(g.pool, (size_t)kBlocks * kBlockBytes);
    close(g.memfd);
    g.pool = nullptr;
    g.memfd = -1;
    g.mem = false;
  }
  pthread_mutex_unlock(&g.lock);
  return r;
}

uint32_t hd_common_mem_blk2pa(HD_COMMON_MEM_VB_BLK blk) {
  pthread_mutex_lock(&g.lock);
  int i = find_block(blk);
  uint32_t pa = (g.mem && i >= 0) ? kPhysBase + (uint32_t)i * kBlockBytes : 0;
  pthread_mutex_unlock(&g.lock);
  return pa;
}

void *hd_common_mem_mmap(HD_COMMON_MEM_TYPE type, uint32_t phy_addr, uint32_t size) {
  (void)type;
  const uint64_t poolEnd = (uint64_t)kPhysBase + (uint64_t)kBlocks * kBlockBytes;
  if (size == 0 || phy_addr < kPhysBase || (uint64_t)phy_addr + size > poolEnd) return nullptr;
  pthread_mutex_lock(&g.lock);
  void *user = nullptr;
  int slot = -1;
  for (int i = 0; i < kMaxMappings && g.mem; ++i)
    if (!g.maps[i].user) { slot = i; break; }
  if (slot >= 0) {
    uint64_t offset = phy_addr - kPhysBase;
    uint64_t page = (uint64_t)sysconf(_SC_PAGESIZE);
    uint64_t aligned = offset & ~(page - 1);
    size_t length = (size_t)(offset - aligned) + size;
    // MAP_32BIT: the detector receives the frame address as a 32-bit word.
    void *base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_32BIT, g.memfd,
                      (off_t)aligned);
    if (base != MAP_FAILED) {
      user = (uint8_t *)base + (offset - aligned);
      g.maps[slot] = Mapping{user, base, length};
    }
  }
  pthread_mutex_unlock(&g.lock);
  return user;
}

HD_RESULT hd_common_mem_munmap(void *virt_addr, uint32_t size) {
  pthread_mutex_lock(&g.lock);
  HD_RESULT r = HD_ERR_PARAM;
  for (Mapping &m : g.maps) {
    if (m.user && m.user == virt_addr &&
        (size_t)size == m.length - (size_t)((uint8_t *)m.user - (uint8_t *)m.base)) {
      r = munmap(m.base, m.length) == 0 ? HD_OK : HD_ERR_SYS;
      m = Mapping{};
      break;
    }
  }
  pthread_mutex_unlock(&g.lock);
  return r;
}

HD_RESULT hd_videoproc_init(void) {
  board_trace("hd_videoproc_init");
  pthread_mutex_lock(&g.lock);
  HD_RESULT r = HD_OK;
  if (!g.mem) {
    r = HD_ERR_UNINIT;
  } else if (g.vproc) {
    r = HD_ERR_INIT;
  } else {
    const char *sourceName = getenv("HDAL_SIM_SOURCE");
    char why[128] = "";
    g.srcOpen = false;
    if (sourceName && *sourceName) {
      if (hdsrc_open(&g.src, sourceName, why) != 0) {
        fprintf(stderr, "hdal: HDAL_SIM_SOURCE %s: %s\n", sourceName, why);
        r = HD_ERR_PARAM;
      } else if (hdsrc_frame_bytes(&g.src) > kBlockBytes) {
        fprintf(stderr, "hdal: HDAL_SIM_SOURCE %s: %ux%u frames do not fit a frame block\n",
                sourceName, g.src.width, g.src.height);
        hdsrc_close(&g.src);
        r = HD_ERR_PARAM;
      } else {
        g.srcOpen = true;
      }
    }
    if (r == HD_OK) {
      const char *loop = getenv("HDAL_SIM_LOOP");
      g.loop = loop && strcmp(loop, "1") == 0;
      g.periodNs = g.srcOpen ? pacing_period_ns(g.src) : 0;
      g.lastDeliveryNs = 0;
      g.count = 0;
      g.vproc = true;
    }
  }
  pthread_mutex_unlock(&g.lock);
  return r;
}

HD_RESULT hd_videoproc_uninit(void) {
  board_trace("hd_videoproc_uninit");
  pthread_mutex_lock(&g.pullLock);
  pthread_mutex_lock(&g.lock);
  HD_RESULT r = HD_OK;
  if (!g.vproc) {
    r = HD_ERR_UNINIT;
  } else {
    if (g.srcOpen) hdsrc_close(&g.src);
    g.srcOpen = false;
    for (Block &b : g.blocks) b = Block{};
    g.vproc = false;
  }
  pthread_mutex_unlock(&g.lock);
  pthread_mutex_unlock(&g.pullLock);
  return r;
}

HD_RESULT hd_videoproc_pull_out_buf(HD_PATH_ID path_id, HD_VIDEO_FRAME *frame, int32_t wait_ms) {
  if (frame == nullptr) return HD_ERR_PARAM;
  pthread_mutex_lock(&g.pullLock);
  pthread_mutex_lock(&g.lock);
  HD_RESULT r = HD_OK;
  int slot = -1;
  if (!g.vproc) r = HD_ERR_UNINIT;
  else if (path_id == 0 || path_id > kOpenPaths) r = HD_ERR_NOT_OPEN;
  else if (!g.srcOpen) r = HD_ERR_EOS;
  else {
    for (int i = 0; i < kBlocks; ++i)
      if (!g.blocks[i].out) { slot = i; break; }
    if (slot < 0) r = HD_ERR_NOBUF;
  }
  const uint64_t period = g.periodNs;
  const uint64_t due = g.lastDeliveryNs ? g.lastDeliveryNs + period : 0;
  pthread_mutex_unlock(&g.lock);
  if (r != HD_OK) {
    pthread_mutex_unlock(&g.pullLock);
    return r;
  }

  // The next frame comes one frame period after the last one handed out.
  uint64_t now = now_ns();
  if (period && due > now) {
    uint64_t waitNs = due - now;
    uint64_t limitNs = wait_ms < 0 ? waitNs : (uint64_t)wait_ms * 1000000ull;
    if (waitNs > limitNs) {
      sleep_ns(limitNs);
      pthread_mutex_unlock(&g.pullLock);
      return HD_ERR_TIMEDOUT;
    }
    sleep_ns(waitNs);
  }

  pthread_mutex_lock(&g.lock);
  uint8_t *dst = g.pool + (size_t)slot * kBlockBytes;
  int got = hdsrc_next(&g.src, dst, g.loop);
  if (got == 1) {
    Block &b = g.blocks[slot];
    b.out = true;
    b.path = path_id;
    b.count = ++g.count;
    g.lastDeliveryNs = now_ns();
    uint32_t pa = kPhysBase + (uint32_t)slot * kBlockBytes;
    memset(frame, 0, sizeof *frame);
    frame->sign = HD_VIDEO_FRAME_SIGN;
    frame->pxlfmt = HD_VIDEO_PXLFMT_YUV420_NV12;
    frame->width = g.src.width;
    frame->height = g.src.height;
    frame->count = b.count;
    frame->timestamp = g.lastDeliveryNs / 1000;
    frame->pw[0] = g.src.width;
    frame->ph[0] = g.src.height;
    frame->loff[0] = g.src.width;
    frame->phy_addr[0] = pa;
    frame->pw[1] = g.src.width / 2;   // UV pairs
    frame->ph[1] = g.src.height / 2;
    frame->loff[1] = g.src.width;
    frame->phy_addr[1] = pa + g.src.width * g.src.height;
    frame->blk = kBlockHandleBase + (uint32_t)slot;
  } else {
    if (got < 0) fprintf(stderr, "hdal: HDAL_SIM_SOURCE: truncated or broken frame\n");
    r = got < 0 ? HD_ERR_SYS : HD_ERR_EOS;
  }
  pthread_mutex_unlock(&g.lock);
  pthread_mutex_unlock(&g.pullLock);
  return r;
}

HD_RESULT hd_videoproc_release_out_buf(HD_PATH_ID path_id, HD_VIDEO_FRAME *frame) {
  if (frame == nullptr) return HD_ERR_PARAM;
  pthread_mutex_lock(&g.lock);
  HD_RESULT r = HD_OK;
  int i = find_block(frame->blk);
  if (!g.vproc) r = HD_ERR_UNINIT;
  else if (path_id == 0 || path_id > kOpenPaths) r = HD_ERR_NOT_OPEN;
  else if (frame->sign != HD_VIDEO_FRAME_SIGN || i < 0 || !g.blocks[i].out ||
           g.blocks[i].path != path_id || g.blocks[i].count != frame->count)
    r = HD_ERR_NOT_PULLED;
  else
    g.blocks[i].out = false;
  pthread_mutex_unlock(&g.lock);
  return r;
}

HD_RESULT hd_videoenc_init(void) {
  board_trace("hd_videoenc_init");
  pthread_mutex_lock(&g.lock);
  HD_RESULT r = !g.common ? HD_ERR_UNINIT : g.venc ? HD_ERR_INIT : HD_OK;
  if (r == HD_OK) g.venc = true;
  pthread_mutex_unlock(&g.lock);
  return r;
}

HD_RESULT hd_videoenc_uninit(void) {
  board_trace("hd_videoenc_uninit");
  pthread_mutex_lock(&g.lock);
  HD_RESULT r = g.venc ? HD_OK : HD_ERR_UNINIT;
  g.venc = false;
  pthread_mutex_unlock(&g.lock);
  return r;
}

}  // extern "C"
