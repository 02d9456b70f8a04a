// The pixel size a PNG or JPEG file declares in its header, read before anything
// decodes it: a header can promise far more pixels than the file holds.
#pragma once

#include <stddef.h>
#include <stdint.h>

// A JPEG may hold this many scans at most: a progressive one has about ten.
enum { kMaxJpegScans = 64 };

// Width and height from a PNG's IHDR or a JPEG's first start-of-frame segment in the
// len bytes at data. 0, or -1 with a reason in why (at least 128 bytes) when the bytes
// are neither, end before the size, or are a JPEG of more than kMaxJpegScans scans.
int image_header_size(const uint8_t *data, size_t len, uint32_t *width, uint32_t *height, char *why);
