// Frame sources of the simulated video pipeline.
#include "hdal_source.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

namespace {

const uint32_t kMaxSide = 4096;
const uint8_t kBlankLuma = 16;
const uint8_t kNeutralChroma = 128;

// Reads one line of at most cap-1 characters into buf; -1 at end of file or when the
// line is longer (a Y4M header or FRAME line never is).
int read_line(FILE *f, char *buf, size_t cap) {
  size_t n = 0;
  for (;;) {
    int c = getc(f);
    if (c == EOF) return -1;
    if (c == '\n') break;
    if (n + 1 >= cap) return -1;
    buf[n++] = (char)c;
  }
  buf[n] = '\0';
  return (int)n;
}

// A decimal number that fills the whole token [s, end): digits only, at most 2^32-1.
bool parse_u32(const char *s, const char *end, uint32_t *out) {
  if (s == end) return false;
  uint64_t v = 0;
  for (; s < end; ++s) {
    if (*s < '0' || *s > '9') return false;
    v = v * 10 + (uint64_t)(*s - '0');
    if (v > 0xffffffffULL) return false;
  }
  *out = (uint32_t)v;
  return true;
}

bool starts_with(const char *tok, size_t len, const char *prefix) {
  size_t n = strlen(prefix);
  return len >= n && memcmp(tok, prefix, n) == 0;
}

}  // namespace

int hdsrc_parse_y4m_header(const char *line, size_t len, HdSource *src, char *why) {
  const char *end = line + len;
  if (!starts_with(line, len, "YUV4MPEG2") || (len > 9 && line[9] != ' ')) {
    snprintf(why, 128, "not a Y4M stream");
    return -1;
  }
  uint32_t w = 0, h = 0, num = 25, den = 1;
  const char *p = line + 9;
  while (p < end) {
    ++p;  // the blank before each token
    const char *tok = p;
    while (p < end && *p != ' ') ++p;
    size_t tlen = (size_t)(p - tok);
    if (tlen == 0) continue;
    switch (tok[0]) {
      case 'W':
        if (!parse_u32(tok + 1, p, &w)) { snprintf(why, 128, "bad width"); return -1; }
        break;
      case 'H':
        if (!parse_u32(tok + 1, p, &h)) { snprintf(why, 128, "bad height"); return -1; }
        break;
      case 'F': {
        const char *colon = (const char *)memchr(tok, ':', tlen);
        if (!colon || !parse_u32(tok + 1, colon, &num) || !parse_u32(colon + 1, p, &den) || num == 0 ||
            den == 0) {
          snprintf(why, 128, "bad frame rate");
          return -1;
        }
        break;
      }
      case 'C': {
        // Only 4:2:0 layouts; their chroma siting does not matter here.
        bool ok = starts_with(tok, tlen, "C420") && (tlen == 4 || (tok[4] >= 'a' && tok[4] <= 'z'));
        if (!ok) {
          snprintf(why, 128, "colour space %.*s is not 4:2:0", (int)(tlen > 20 ? 20 : tlen), tok);
          return -1;
        }
        break;
      }
      default:  // interlacing, aspect, comments: not needed
        break;
    }
  }
  if (w == 0 || h == 0 || w > kMaxSide || h > kMaxSide || (w & 1) || (h & 1)) {
    snprintf(why, 128, "size %ux%u not supported (even, 2..%u)", w, h, kMaxSide);
    return -1;
  }
  src->width = w;
  src->height = h;
  src->fpsNum = num;
  src->fpsDen = den;
  return 0;
}

void hdsrc_set_path_format(HdSource *src, int kind) {
  src->kind = kind;
  src->width = HDSRC_PATH_WIDTH;
  src->height = HDSRC_PATH_HEIGHT;
  src->fpsNum = HDSRC_PATH_FPS;
  src->fpsDen = 1;
}

int hdsrc_open(HdSource *src, const char *sourceName, char *why) {
  memset(src, 0, sizeof(*src));
  if (sourceName == nullptr || sourceName[0] == '\0') {
    snprintf(why, 128, "no source");
    return -1;
  }
  if (strncmp(sourceName, "blank:", 6) == 0) {
    char *stop = nullptr;
    errno = 0;
    unsigned long long n = strtoull(sourceName + 6, &stop, 10);
    if (stop == sourceName + 6 || *stop != '\0' || errno != 0 || sourceName[6] == '-') {
      snprintf(why, 128, "blank:N needs a frame count");
      return -1;
    }
    hdsrc_set_path_format(src, HDSRC_BLANK);
    src->blankFrames = n;
    return 0;
  }
  struct stat st;
  if (stat(sourceName, &st) == 0 && S_ISDIR(st.st_mode)) return hdsrc_stills_open(src, sourceName, why);
  FILE *f = fopen(sourceName, "rbe");
  if (!f) {
    snprintf(why, 128, "%s", strerror(errno));
    return -1;
  }
  char line[256];
  int lineLen = read_line(f, line, sizeof line);
  if (lineLen < 0) {
    fclose(f);
    snprintf(why, 128, "no Y4M header");
    return -1;
  }
  if (hdsrc_parse_y4m_header(line, (size_t)lineLen, src, why) != 0) {
    fclose(f);
    return -1;
  }
  size_t chromaBytes = (size_t)src->width * src->height / 2;
  src->chroma = (uint8_t *)malloc(chromaBytes);
  if (!src->chroma) {
    fclose(f);
    snprintf(why, 128, "out of memory");
    return -1;
  }
  src->kind = HDSRC_Y4M;
  src->file = f;
  src->dataOffset = ftell(f);
  return 0;
}

void hdsrc_close(HdSource *src) {
  if (src->file) fclose(src->file);
  if (src->stills) hdsrc_stills_close(src);
  free(src->chroma);
  memset(src, 0, sizeof(*src));
}

static int read_y4m_frame(HdSource *src, uint8_t *dst) {
  char line[256];
  if (read_line(src->file, line, sizeof line) < 0) return 0;
  if (strncmp(line, "FRAME", 5) != 0) return -1;
  size_t luma = (size_t)src->width * src->height;
  size_t plane = luma / 4;
  if (fread(dst, 1, luma, src->file) != luma) return -1;
  if (fread(src->chroma, 1, 2 * plane, src->file) != 2 * plane) return -1;
  // Planar U and V become interleaved UV pairs (NV12).
  uint8_t *uv = dst + luma;
  const uint8_t *u = src->chroma;
  const uint8_t *v = src->chroma + plane;
  for (size_t i = 0; i < plane; ++i) {
    uv[2 * i] = u[i];
    uv[2 * i + 1] = v[i];
  }
  return 1;
}

int hdsrc_next(HdSource *src, uint8_t *dst, int loop) {
  switch (src->kind) {
    case HDSRC_BLANK: {
      if (src->delivered >= src->blankFrames) {
        if (!loop || src->blankFrames == 0) return 0;
        src->delivered = 0;
      }
      size_t luma = (size_t)src->width * src->height;
      memset(dst, kBlankLuma, luma);
      memset(dst + luma, kNeutralChroma, luma / 2);
      src->delivered++;
      return 1;
    }
    case HDSRC_Y4M: {
      int r = read_y4m_frame(src, dst);
      if (r == 0 && loop && src->delivered > 0) {
        if (fseek(src->file, src->dataOffset, SEEK_SET) != 0) return -1;
        src->delivered = 0;
        r = read_y4m_frame(src, dst);
      }
      if (r == 1) src->delivered++;
      return r;
    }
    case HDSRC_STILLS:
      return hdsrc_stills_next(src, dst, loop);
    default:
      return 0;
  }
}
