// A Y4M file's header line comes from whatever file the video source is pointed at:
// the reader must stay within the bytes, and what it accepts must be a size and
// rate the source can allocate and pace.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "hdal_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  HdSource src = {};
  char why[128];
  if (hdsrc_parse_y4m_header((const char *)data, size, &src, why) == 0) {
    if (src.width == 0 || src.height == 0 || (src.width & 1) || (src.height & 1) || src.width > 4096 ||
        src.height > 4096 || src.fpsNum == 0 || src.fpsDen == 0)
      __builtin_trap();
  } else if (memchr(why, '\0', sizeof why) == nullptr) {
    __builtin_trap();
  }
  return 0;
}
