// The parking arithmetic must give the same bits on the board (32-bit ARM) as on the
// development machine: a compiler that fuses a multiply and an add changes the last
// bits of an overlap, which can flip a comparison with a threshold. This test runs a
// fixed set of overlap and matcher vectors and compares a digest of every result bit
// with the digest recorded here; the same test runs natively and under qemu-arm.
#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include "km.h"
#include "overlap.h"

namespace {

// Integer-only generator, so both targets draw the very same inputs.
struct Lcg {
  uint32_t state;
  uint32_t next() {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  }
  // A value in [lo, hi) on a 1/64 grid: exact in a float on every target.
  float grid(int lo, int hi) {
    return (float)lo + (float)(next() % (uint32_t)((hi - lo) * 64)) / 64.0f;
  }
};

struct Digest {
  uint64_t hash = 1469598103934665603ull;  // FNV-1a
  void add(uint32_t word) {
    for (int i = 0; i < 4; i++) {
      hash ^= (word >> (8 * i)) & 0xff;
      hash *= 1099511628211ull;
    }
  }
  void add_float(float value) {
    uint32_t bits;
    memcpy(&bits, &value, 4);
    add(bits);
  }
};

void random_quad(Lcg &rng, float corners[8]) {
  // Mostly the kind of space a user draws (a skewed cell of a row), sometimes anything.
  if (rng.next() % 4 != 0) {
    float x = rng.grid(0, 800), y = rng.grid(0, 400), w = rng.grid(20, 160), h = rng.grid(30, 200);
    float skew = rng.grid(-40, 40);
    float pts[8] = {x, y, x + w, y, x + w + skew, y + h, x + skew, y + h};
    memcpy(corners, pts, sizeof pts);
  } else {
    for (int i = 0; i < 8; i++) corners[i] = (i % 2 == 0) ? rng.grid(0, 896) : rng.grid(0, 512);
  }
}

struct Result {
  uint64_t hash;
  int interesting;  // results that exercise the arithmetic (not a plain 0 or -1)
};

Result overlap_digest(int count) {
  Lcg rng{12345u};
  Digest digest;
  int interesting = 0;
  for (int i = 0; i < count; i++) {
    float corners[8];
    random_quad(rng, corners);
    float x = rng.grid(0, 850), y = rng.grid(0, 480);
    float box[4] = {x, y, x + rng.grid(8, 400), y + rng.grid(8, 250)};
    float overlap = spaceOverlap(box, corners, (int)(rng.next() % 2));
    digest.add_float(overlap);
    if (overlap > 0.0f) interesting++;
  }
  return {digest.hash, interesting};
}

Result matcher_digest(int count) {
  Lcg rng{777u};
  Digest digest;
  int interesting = 0;
  static float scores[16 * 16];
  int carMatch[16], spaceMatch[16];
  for (int i = 0; i < count; i++) {
    int cars = 1 + (int)(rng.next() % 16), spaces = 1 + (int)(rng.next() % 16);
    for (int k = 0; k < cars * spaces; k++) {
      // Many pairs do not overlap at all; the rest spread over the whole range.
      scores[k] = (rng.next() % 4 == 0) ? 0.0f : rng.grid(0, 1);
    }
    int total = KM(scores, cars, spaces, carMatch, spaceMatch);
    digest.add((uint32_t)total);
    if (total > 0) interesting++;
    for (int c = 0; c < cars; c++) digest.add((uint32_t)carMatch[c]);
    for (int s = 0; s < spaces; s++) digest.add((uint32_t)spaceMatch[s]);
  }
  return {digest.hash, interesting};
}

}  // namespace

// The digests were recorded on x86-64; every target must reproduce them.
TEST(ParkingBitExact, OverlapVectorsMatchRecordedDigest) {
  Result result = overlap_digest(4000);
  EXPECT_GT(result.interesting, 1000) << "too few vectors overlap to tell anything";
  EXPECT_EQ(result.hash, 0x016a3a2d1d5a48c9ull) << std::hex << result.hash;
}

TEST(ParkingBitExact, MatcherVectorsMatchRecordedDigest) {
  Result result = matcher_digest(2000);
  EXPECT_GT(result.interesting, 1000) << "too few matrices give a matching";
  EXPECT_EQ(result.hash, 0xf99d5704494fa4edull) << std::hex << result.hash;
}
