// The pixel detector: finds the cars that tools/scene draws (filled rectangles whose
// luma is far from the asphalt) and ignores thin painted lines.
//
// The frame is cut into 8x8 blocks; a block is "car" when more than half of its pixels
// differ from the background by more than kContrast. Four-connected car blocks form a
// candidate; its edges are then found to the pixel by walking outwards from the
// block boundary while a column (row) is mostly foreground. A line a few pixels wide
// never fills half a block, so dividers do not become cars.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "traffic_sim.h"

namespace {

const int kBlock = 8;
const int kMaxSide = 4096;
const int kGrid = kMaxSide / kBlock;
const int kContrast = 40;
const int kMinBlocksWide = 2;  // smaller blobs are noise, not cars

// Working storage lives for the process: nothing is allocated per frame.
uint8_t g_fg[kGrid * kGrid];      // block is foreground
uint16_t g_count[kGrid * kGrid];  // foreground pixels in block
int32_t g_stack[kGrid * kGrid];

int background_luma(const uint8_t *luma, int w, int h, int pitch) {
  uint32_t hist[256] = {0};
  uint32_t total = 0;
  for (int y = 0; y < h; y += 4)
    for (int x = 0; x < w; x += 4) {
      hist[luma[(size_t)y * pitch + x]]++;
      total++;
    }
  uint32_t acc = 0;
  for (int v = 0; v < 256; ++v) {
    acc += hist[v];
    if (acc * 2 >= total) return v;
  }
  return 0;
}

inline bool is_fg(const uint8_t *luma, int pitch, int x, int y, int bg) {
  return abs((int)luma[(size_t)y * pitch + x] - bg) > kContrast;
}

int column_fg(const uint8_t *luma, int pitch, int x, int y0, int y1, int bg) {
  int n = 0;
  for (int y = y0; y < y1; ++y) n += is_fg(luma, pitch, x, y, bg);
  return n;
}

int row_fg(const uint8_t *luma, int pitch, int y, int x0, int x1, int bg) {
  int n = 0;
  for (int x = x0; x < x1; ++x) n += is_fg(luma, pitch, x, y, bg);
  return n;
}

}  // namespace

int traffic_find_cars(const unsigned char *luma, int width, int height, int pitch,
                      TrafficObject *objects, int cap) {
  if (!luma || width < kBlock || height < kBlock || width > kMaxSide || height > kMaxSide ||
      pitch < width || cap < 0)
    return -1;
  const int bg = background_luma(luma, width, height, pitch);
  const int gw = width / kBlock, gh = height / kBlock;

  for (int by = 0; by < gh; ++by)
    for (int bx = 0; bx < gw; ++bx) {
      int n = 0;
      for (int y = by * kBlock; y < (by + 1) * kBlock; ++y)
        for (int x = bx * kBlock; x < (bx + 1) * kBlock; ++x) n += is_fg(luma, pitch, x, y, bg);
      g_count[by * gw + bx] = (uint16_t)n;
      g_fg[by * gw + bx] = n * 2 > kBlock * kBlock;
    }

  int found = 0;
  for (int start = 0; start < gw * gh && found < cap; ++start) {
    if (g_fg[start] != 1) continue;
    // Flood fill of one component; visited blocks are marked 2.
    int bx0 = gw, by0 = gh, bx1 = -1, by1 = -1, blocks = 0, pixels = 0, sp = 0;
    g_stack[sp++] = start;
    g_fg[start] = 2;
    while (sp > 0) {
      int b = g_stack[--sp];
      int bx = b % gw, by = b / gw;
      blocks++;
      pixels += g_count[b];
      if (bx < bx0) bx0 = bx;
      if (bx > bx1) bx1 = bx;
      if (by < by0) by0 = by;
      if (by > by1) by1 = by;
      const int nb[4] = {bx > 0 ? b - 1 : -1, bx + 1 < gw ? b + 1 : -1, by > 0 ? b - gw : -1,
                         by + 1 < gh ? b + gw : -1};
      for (int k = 0; k < 4; ++k)
        if (nb[k] >= 0 && g_fg[nb[k]] == 1) {
          g_fg[nb[k]] = 2;
          g_stack[sp++] = nb[k];
        }
    }
    if (bx1 - bx0 + 1 < kMinBlocksWide || by1 - by0 + 1 < kMinBlocksWide) continue;

    // Pixel edges: walk outwards from inside the boundary blocks while the line is
    // mostly foreground, at most one block beyond them.
    int cy0 = by0 * kBlock, cy1 = (by1 + 1) * kBlock;
    int cx0 = bx0 * kBlock, cx1 = (bx1 + 1) * kBlock;
    int halfH = (cy1 - cy0) / 2, halfW = (cx1 - cx0) / 2;
    int left = cx0 + kBlock - 1;
    while (left - 1 >= 0 && left - 1 >= cx0 - kBlock &&
           column_fg(luma, pitch, left - 1, cy0, cy1, bg) >= halfH)
      --left;
    int right = cx1 - kBlock;  // last foreground column
    while (right + 1 < width && right + 1 < cx1 + kBlock &&
           column_fg(luma, pitch, right + 1, cy0, cy1, bg) >= halfH)
      ++right;
    int top = cy0 + kBlock - 1;
    while (top - 1 >= 0 && top - 1 >= cy0 - kBlock &&
           row_fg(luma, pitch, top - 1, cx0, cx1, bg) >= halfW)
      --top;
    int bottom = cy1 - kBlock;
    while (bottom + 1 < height && bottom + 1 < cy1 + kBlock &&
           row_fg(luma, pitch, bottom + 1, cx0, cx1, bg) >= halfW)
      ++bottom;

    TrafficObject *o = &objects[found++];
    memset(o, 0, sizeof *o);
    float fill = (float)pixels / (float)(blocks * kBlock * kBlock);
    o->score = 0.5f + 0.45f * fill;
    o->left = (uint16_t)left;
    o->top = (uint16_t)top;
    o->right = (uint16_t)(right + 1);
    o->bottom = (uint16_t)(bottom + 1);
  }
  // Components left unvisited when cap was reached keep mark 1; nothing carries over
  // because the next frame rewrites every block.
  return found;
}
