// parking-heap: the peak heap of the parking logic on a full lot, as the service runs
// it: a table of 100 spaces, the worker's init, then frames of 512 detected cars each
// assigned, judged and reported (with the per-frame prints on every other frame).
// Prints the peak of live heap bytes; with --max-bytes N, fails above N.
//
// Built in the static ARM test build only and linked with --wrap for the C
// allocator, so every allocation of the process counts: ours, the C++ library's and
// the C library's own (stdio buffers). What the camera's libraries allocate in place
// of the simulated ones is not part of it: reports go to a stub instead of the socket.
#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <memory>

#include "parking.h"
#include "parking_test_util.h"

extern "C" {
void *__real_malloc(size_t size);
void *__real_calloc(size_t n, size_t size);
void *__real_realloc(void *p, size_t size);
void __real_free(void *p);
}

namespace {
size_t g_liveBytes, g_peakBytes;

void count_in(void *p) {
  if (!p) return;
  g_liveBytes += malloc_usable_size(p);
  if (g_liveBytes > g_peakBytes) g_peakBytes = g_liveBytes;
}
void count_out(void *p) {
  if (p) g_liveBytes -= malloc_usable_size(p);
}
}  // namespace

extern "C" void *__wrap_malloc(size_t size) {
  void *p = __real_malloc(size);
  count_in(p);
  return p;
}
extern "C" void *__wrap_calloc(size_t n, size_t size) {
  void *p = __real_calloc(n, size);
  count_in(p);
  return p;
}
extern "C" void *__wrap_realloc(void *old, size_t size) {
  size_t before = old ? malloc_usable_size(old) : 0;
  void *p = __real_realloc(old, size);
  if (p || size == 0) {
    g_liveBytes -= before;
    count_in(p);
  }
  return p;
}
extern "C" void __wrap_free(void *p) {
  count_out(p);
  __real_free(p);
}

namespace {
int g_messages;
int count_message(int, int, const void *, int) { return ++g_messages, 0; }

SpaceTable g_table;
ParkingWork g_work;
CarBox g_cars[PARKING_MAX_CARS];
}  // namespace

int main(int argc, char **argv) {
  long maxBytes = argc == 3 && strcmp(argv[1], "--max-bytes") == 0 ? atol(argv[2]) : -1;
  if (argc != 1 && maxBytes < 0) {
    fprintf(stderr, "usage: parking-heap [--max-bytes N]\n");
    return 2;
  }
  // The counter must see the C++ allocator too, or every figure below means nothing.
  size_t before = g_peakBytes;
  std::unique_ptr<char[]> probe(new char[100000]);
  if (g_peakBytes < before + 100000) {
    fprintf(stderr, "parking-heap: the allocation counter is not in place\n");
    return 2;
  }
  probe.reset();
  g_peakBytes = g_liveBytes;

  g_parkingSend = count_message;
  make_lot(&g_table, 4, 25);
  qz_parking_init(&g_table, &g_work);
  const int frames = 200;
  for (int f = 0; f < frames; f++) {
    spread_cars(&g_table, g_cars, PARKING_MAX_CARS, (unsigned)f);
    g_parkingVerbose = f % 2;
    parking_process_frame(&g_table, &g_work, g_cars, PARKING_MAX_CARS);
  }
  g_parkingVerbose = 0;
  parking_release(&g_work);
  fflush(stdout);

  fprintf(stderr, "%d spaces, %d cars, %d frames, %d messages: peak heap %zu bytes\n",
          g_table.count, PARKING_MAX_CARS, frames, g_messages, g_peakBytes);
  if (maxBytes >= 0 && g_peakBytes > (size_t)maxBytes) {
    fprintf(stderr, "parking-heap: above the budget of %ld bytes\n", maxBytes);
    return 1;
  }
  return 0;
}
