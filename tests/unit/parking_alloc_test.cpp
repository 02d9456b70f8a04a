// Counts every allocation the process makes while the worker's per-frame path runs:
// after start-up, frames must allocate nothing at all.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <memory>
#include <new>

#include "parking.h"
#include "parking_test_util.h"
#include "stdout_capture.h"

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
void note_allocation() {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

// The C allocator too (printf and the libraries use it), except under the sanitizers,
// which bring their own.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define COUNT_MALLOC 1
extern "C" void *__libc_malloc(size_t);
extern "C" void *__libc_calloc(size_t, size_t);
extern "C" void *__libc_realloc(void *, size_t);
extern "C" void *malloc(size_t size) {
  note_allocation();
  return __libc_malloc(size);
}
extern "C" void *calloc(size_t n, size_t size) {
  note_allocation();
  return __libc_calloc(n, size);
}
extern "C" void *realloc(void *p, size_t size) {
  note_allocation();
  return __libc_realloc(p, size);
}
static void *raw_malloc(size_t size) { return __libc_malloc(size); }
#else
static void *raw_malloc(size_t size) { return malloc(size); }
#endif

void *operator new(size_t size) {
  note_allocation();
  void *p = raw_malloc(size ? size : 1);
  if (p == nullptr) abort();
  return p;
}
void *operator new[](size_t size) { return operator new(size); }
void *operator new(size_t size, const std::nothrow_t &) noexcept {
  note_allocation();
  return raw_malloc(size ? size : 1);
}
void *operator new[](size_t size, const std::nothrow_t &t) noexcept { return operator new(size, t); }
void operator delete(void *p) noexcept { free(p); }
void operator delete[](void *p) noexcept { free(p); }
void operator delete(void *p, size_t) noexcept { free(p); }
void operator delete[](void *p, size_t) noexcept { free(p); }

namespace {

TEST(Allocation, CounterSeesAllocations) {
  g_allocations = 0;
  g_counting = true;
  std::unique_ptr<int> p(new int(3));
  void *raw = malloc(32);
  g_counting = false;
  free(raw);
#ifdef COUNT_MALLOC
  EXPECT_EQ(g_allocations.load(), 2);
#else
  EXPECT_EQ(g_allocations.load(), 1);
#endif
}

TEST(Allocation, FramesAllocateNothing) {
  static SpaceTable table;
  static ParkingWork work;
  static CarBox cars[PARKING_MAX_CARS];
  make_lot(&table, 4, 25);
  table.occupancySens = 9;
  capture_sends();
  StdoutCapture capture;
  qz_parking_init(&table, &work);

  // Frames of every kind: many cars, none, a few, with verbose prints on and off,
  // and the clear operation.
  auto frame = [&](int f) {
    int n = (f % 7 == 0) ? 0 : (f % 5 == 0 ? PARKING_MAX_CARS : 10 + f % 90);
    spread_cars(&table, cars, n, (unsigned)f);
    g_parkingVerbose = (f % 3 == 0);
    if (f % 11 == 0) parking_clear_car_list();
    else parking_process_frame(&table, &work, cars, n);
  };
  for (int f = 0; f < 50; f++) frame(f);   // warm up: stdio buffers, time zone

  g_allocations = 0;
  g_counting = true;
  for (int f = 50; f < 1050; f++) frame(f);
  g_counting = false;
  g_parkingVerbose = 0;
  std::string out = capture.Finish();

  EXPECT_EQ(g_allocations.load(), 0);
  EXPECT_GT(sent_count(), 1000);
  EXPECT_NE(out.find("objNum: 512 ,"), std::string::npos);
  parking_release(&work);
  EXPECT_EQ(work.history.capacity(), 0u);
}

}  // namespace
