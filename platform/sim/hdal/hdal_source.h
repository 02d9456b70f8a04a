// Frame source of the simulated video pipeline: a Y4M file (4:2:0), `blank:N`, or a
// folder of still frames (PNG or JPEG).
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

enum { HDSRC_NONE = 0, HDSRC_BLANK = 1, HDSRC_Y4M = 2, HDSRC_STILLS = 3 };
// The frames of the video path the service reads, as blank and still sources make them.
enum { HDSRC_PATH_WIDTH = 896, HDSRC_PATH_HEIGHT = 512, HDSRC_PATH_FPS = 25 };

struct HdStills;

struct HdSource {
  int kind;
  uint32_t width, height;
  uint32_t fpsNum, fpsDen;   // frame rate of the source
  uint64_t blankFrames;      // blank:N
  uint64_t delivered;        // frames read since the last rewind
  FILE *file;                // Y4M
  long dataOffset;           // first FRAME header
  uint8_t *chroma;           // one frame's U and V planes, read before interleaving
  HdStills *stills;          // folder of still frames
};

// Parses a Y4M stream header line of len bytes (without its newline; no NUL needed,
// nothing past line + len is read). Fills width, height and the rate; rejects
// anything but 4:2:0 and odd or out-of-range sizes. 0 or -1, with a reason in why
// (at least 128 bytes).
int hdsrc_parse_y4m_header(const char *line, size_t len, HdSource *src, char *why);

// Opens the source named by sourceName ("blank:N", a Y4M path or a folder of frames).
// 0 or -1, with a reason.
int hdsrc_open(HdSource *src, const char *sourceName, char *why);
void hdsrc_close(HdSource *src);

// Reads the next frame as NV12 into dst (luma width x height, then interleaved
// chroma). 1 for a frame, 0 at the end of the source, -1 for a broken file.
// With loop set, the end of the source rewinds to its first frame.
int hdsrc_next(HdSource *src, uint8_t *dst, int loop);

// Sets kind and the video path's frame size and rate (blank and still sources).
void hdsrc_set_path_format(HdSource *src, int kind);

// A folder of PNG or JPEG frames, played in name order, each scaled to 896 x 512 and
// handed out HDAL_SIM_HOLD times (default 1). Frames that cannot be read are skipped
// with a note on standard error; a folder without one readable frame does not open.
// Needs a build with OpenCV; without it opening fails with that reason.
int hdsrc_stills_open(HdSource *src, const char *folder, char *why);
int hdsrc_stills_next(HdSource *src, uint8_t *dst, int loop);
void hdsrc_stills_close(HdSource *src);

// Bytes of one NV12 frame of this source.
static inline uint64_t hdsrc_frame_bytes(const HdSource *src) {
  return (uint64_t)src->width * src->height * 3 / 2;
}
