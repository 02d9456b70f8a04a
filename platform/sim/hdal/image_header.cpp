// Image sizes from PNG and JPEG headers, without a decoder.
#include "image_header.h"

#include <stdio.h>
#include <string.h>

namespace {

const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

uint32_t be32(const uint8_t *p) { return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3]; }
uint32_t be16(const uint8_t *p) { return (uint32_t)p[0] << 8 | p[1]; }

int png_size(const uint8_t *data, size_t len, uint32_t *width, uint32_t *height, char *why) {
  // Signature, then the IHDR chunk: length 13, type, width, height.
  if (len < 24 || memcmp(data + 12, "IHDR", 4) != 0) {
    snprintf(why, 128, "PNG without its IHDR header");
    return -1;
  }
  *width = be32(data + 16);
  *height = be32(data + 20);
  return 0;
}

// Start-of-frame markers carry the size; C4 (Huffman tables), C8 (reserved) and CC
// (arithmetic conditioning) share the range but are not frames.
bool is_start_of_frame(uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

int jpeg_size(const uint8_t *data, size_t len, uint32_t *width, uint32_t *height, char *why) {
  size_t at = 2;  // past the start-of-image marker
  for (;;) {
    while (at < len && data[at] == 0xFF) ++at;  // fill bytes before a marker
    if (at >= len || data[at - 1] != 0xFF) break;
    uint8_t marker = data[at++];
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    if (marker == 0xD9 || marker == 0xDA) break;  // image end or scan before any frame header
    if (at + 2 > len) break;
    size_t segment = be16(data + at);
    if (segment < 2) break;
    if (is_start_of_frame(marker)) {
      // Length, precision, height, width.
      if (segment < 7 || at + 7 > len) break;
      *height = be16(data + at + 3);
      *width = be16(data + at + 5);
      return 0;
    }
    at += segment;
  }
  snprintf(why, 128, "JPEG without a frame header");
  return -1;
}

// Counts the JPEG's scans (start-of-scan markers) up to the image end, passing over
// segments by their length and over entropy-coded bytes, where a marker byte is
// followed by a stuffed zero or a restart marker. Stops counting past limit.
unsigned jpeg_scan_count(const uint8_t *data, size_t len, unsigned limit) {
  unsigned scans = 0;
  size_t at = 2;
  while (at + 1 < len && scans <= limit) {
    if (data[at] != 0xFF) {
      ++at;
      continue;
    }
    const uint8_t marker = data[at + 1];
    if (marker == 0xFF) {  // a fill byte
      ++at;
      continue;
    }
    if (marker == 0x00 || marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7)) {
      at += 2;
      continue;
    }
    if (marker == 0xD9 || at + 4 > len) break;
    if (marker == 0xDA) ++scans;
    at += 2 + be16(data + at + 2);
  }
  return scans;
}

}  // namespace

int image_header_size(const uint8_t *data, size_t len, uint32_t *width, uint32_t *height, char *why) {
  if (len >= sizeof kPngSignature && memcmp(data, kPngSignature, sizeof kPngSignature) == 0)
    return png_size(data, len, width, height, why);
  if (len >= 2 && data[0] == 0xFF && data[1] == 0xD8) {
    if (jpeg_size(data, len, width, height, why) != 0) return -1;
    // Every scan of a progressive JPEG makes the decoder pass over the whole image
    // again: a few dozen tiny scans in a small file can keep it busy for minutes.
    if (jpeg_scan_count(data, len, kMaxJpegScans) > kMaxJpegScans) {
      snprintf(why, 128, "JPEG of more than %u scans", kMaxJpegScans);
      return -1;
    }
    return 0;
  }
  snprintf(why, 128, "not a PNG or JPEG file");
  return -1;
}
