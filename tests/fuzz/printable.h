// What the discover fuzz targets ask of everything the tool prints: no byte outside
// printable ASCII but the line feed, whatever the network or a plan held.
#pragma once

#include <stddef.h>

static inline void require_printable(const char *text, size_t len) {
  for (size_t i = 0; i < len; i++) {
    unsigned char c = (unsigned char)text[i];
    if (c != '\n' && (c < 0x20 || c > 0x7e)) __builtin_trap();
  }
}
