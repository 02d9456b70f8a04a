// HDAL video platform library (libhdal): platform start-up, frame pulling from a
// video-process output path, and the frame memory calls.
//
// Every call returns HD_OK (0) or a negative HD_ERR_* code, except the two memory
// lookups that return an address (0 / null on failure). The frame descriptor is
// filled by hd_videoproc_pull_out_buf and handed back unchanged to
// hd_videoproc_release_out_buf. The host implementation is described in docs/hdal.md.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t HD_RESULT;
typedef uint32_t HD_PATH_ID;
typedef uint32_t HD_COMMON_MEM_VB_BLK;

enum {
  HD_OK = 0,
  HD_ERR_UNINIT = -1,      // library (or its part) not initialised
  HD_ERR_INIT = -2,        // initialised twice
  HD_ERR_PARAM = -3,       // bad argument
  HD_ERR_NOT_OPEN = -4,    // path is not open
  HD_ERR_TIMEDOUT = -5,    // no frame within the wait
  HD_ERR_EOS = -6,         // source has no more frames
  HD_ERR_NOBUF = -7,       // every frame block is held by the caller
  HD_ERR_NOT_PULLED = -8,  // release of a frame that is not out
  HD_ERR_SYS = -9,         // the system refused (memory, file)
};

enum { HD_VIDEO_MAX_PLANE = 3 };

// Pixel formats of a frame (our own codes).
enum { HD_VIDEO_PXLFMT_YUV420_NV12 = 0x520c0420 };

typedef enum HD_COMMON_MEM_TYPE {
  HD_COMMON_MEM_MEM_TYPE_CACHE = 0,
  HD_COMMON_MEM_MEM_TYPE_NONCACHE = 1,
} HD_COMMON_MEM_TYPE;

// One video frame as the pipeline hands it out. Plane k has pw[k] x ph[k] samples
// (bytes per line loff[k]) at physical address phy_addr[k] inside memory block blk.
typedef struct HD_VIDEO_FRAME {
  uint32_t sign;                       // 'VFRM' once filled
  uint32_t pxlfmt;                     // HD_VIDEO_PXLFMT_*
  uint32_t width;                      // picture size
  uint32_t height;
  uint32_t count;                      // frame sequence number of the path, from 1
  uint32_t reserved;
  uint64_t timestamp;                  // microseconds, monotonic
  uint32_t pw[HD_VIDEO_MAX_PLANE];     // plane width in samples
  uint32_t ph[HD_VIDEO_MAX_PLANE];     // plane height in lines
  uint32_t loff[HD_VIDEO_MAX_PLANE];   // line offset in bytes
  uint32_t phy_addr[HD_VIDEO_MAX_PLANE];
  HD_COMMON_MEM_VB_BLK blk;            // memory block handle
  uint32_t reserved2;
} HD_VIDEO_FRAME;

#define HD_VIDEO_FRAME_SIGN 0x4d524656u  // "VFRM"

// Platform.
HD_RESULT hd_common_init(uint32_t sys_config_type);
HD_RESULT hd_common_sysconfig(uint32_t sys_type1, uint32_t sys_type2, uint32_t sys_type3,
                              uint32_t sys_type4);
HD_RESULT hd_common_uninit(void);

// Frame memory. config may be null (the default pool).
HD_RESULT hd_common_mem_init(void *config);
HD_RESULT hd_common_mem_uninit(void);
// Physical address of a block; 0 for an unknown block.
uint32_t hd_common_mem_blk2pa(HD_COMMON_MEM_VB_BLK blk);
// Maps size bytes of frame memory from phy_addr into this process; null on failure.
// The mapping lies below 4 GiB, so its address fits a 32-bit word.
void *hd_common_mem_mmap(HD_COMMON_MEM_TYPE type, uint32_t phy_addr, uint32_t size);
HD_RESULT hd_common_mem_munmap(void *virt_addr, uint32_t size);

// Video process and video encoder units.
HD_RESULT hd_videoproc_init(void);
HD_RESULT hd_videoproc_uninit(void);
// Waits up to wait_ms for the next frame of output path path_id.
HD_RESULT hd_videoproc_pull_out_buf(HD_PATH_ID path_id, HD_VIDEO_FRAME *frame, int32_t wait_ms);
HD_RESULT hd_videoproc_release_out_buf(HD_PATH_ID path_id, HD_VIDEO_FRAME *frame);
HD_RESULT hd_videoenc_init(void);
HD_RESULT hd_videoenc_uninit(void);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
static_assert(sizeof(HD_VIDEO_FRAME) == 88, "HD_VIDEO_FRAME size");
static_assert(offsetof(HD_VIDEO_FRAME, pw) == 32, "HD_VIDEO_FRAME pw");
static_assert(offsetof(HD_VIDEO_FRAME, ph) == 44, "HD_VIDEO_FRAME ph");
static_assert(offsetof(HD_VIDEO_FRAME, phy_addr) == 68, "HD_VIDEO_FRAME phy_addr");
static_assert(offsetof(HD_VIDEO_FRAME, blk) == 80, "HD_VIDEO_FRAME blk");
#endif
