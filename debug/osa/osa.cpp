// Console lock, console prints, error reports, time and sleep.
#include "osa.h"

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

// Zero-initialised, so it already works as a default mutex before OSA_init.
pthread_mutex_t gOsaConsoleLock = PTHREAD_MUTEX_INITIALIZER;

// Pieces that OSA_tryPrintf could not print because the console was busy. A signal
// handler fills a slot without locking; the next holder of the console lock prints
// them before its own piece, so each piece appears once and in slot order.
enum { kDeferFree = 0, kDeferFilling, kDeferReady, kDeferPrinting };
enum { kDeferSlots = 16, kDeferText = 128 };
struct DeferredPiece {
  std::atomic<int> state;
  std::atomic<unsigned> seq;
  char text[kDeferText];
  size_t len;
};
static DeferredPiece gDeferred[kDeferSlots];
static std::atomic<unsigned> gDeferredSeq{0};
static std::atomic<int> gDeferredCount{0};

static void write_all(const char *text, size_t len) {
  while (len > 0) {
    ssize_t n = write(STDOUT_FILENO, text, len);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text += n;
    len -= (size_t)n;
  }
}

// Prints the deferred pieces, oldest first. Caller holds the console lock.
static void print_deferred_locked(void) {
  while (gDeferredCount.load() > 0) {
    int oldest = -1;
    unsigned oldestSeq = 0;
    for (int i = 0; i < kDeferSlots; i++) {
      if (gDeferred[i].state.load() != kDeferReady) continue;
      unsigned seq = gDeferred[i].seq.load();
      if (oldest < 0 || (int)(seq - oldestSeq) < 0) {
        oldest = i;
        oldestSeq = seq;
      }
    }
    if (oldest < 0) return;  // a piece is still being filled; the next print takes it
    int expected = kDeferReady;
    if (!gDeferred[oldest].state.compare_exchange_strong(expected, kDeferPrinting)) continue;
    fflush(stdout);
    write_all(gDeferred[oldest].text, gDeferred[oldest].len);
    gDeferred[oldest].state.store(kDeferFree);
    gDeferredCount.fetch_sub(1);
  }
}

static int defer_piece(const char *text, size_t len) {
  for (int i = 0; i < kDeferSlots; i++) {
    int expected = kDeferFree;
    if (!gDeferred[i].state.compare_exchange_strong(expected, kDeferFilling)) continue;
    memcpy(gDeferred[i].text, text, len);
    gDeferred[i].len = len;
    gDeferred[i].seq.store(gDeferredSeq.fetch_add(1));
    gDeferredCount.fetch_add(1);
    gDeferred[i].state.store(kDeferReady);
    return 0;
  }
  return -1;
}

int OSA_printf(const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  pthread_mutex_lock(&gOsaConsoleLock);
  print_deferred_locked();
  int n = vprintf(fmt, ap);
  fflush(stdout);
  pthread_mutex_unlock(&gOsaConsoleLock);
  va_end(ap);
  return n;
}

int OSA_tryPrintf(const char *fmt, ...) {
  // Formatted on the stack and written with write(2): no allocation, so a signal
  // handler may call it.
  char text[kDeferText];
  va_list ap;
  va_start(ap, fmt);
  int n = vsnprintf(text, sizeof text, fmt, ap);
  va_end(ap);
  if (n < 0) return -1;
  size_t len = (size_t)n < sizeof text ? (size_t)n : sizeof text - 1;
  if (pthread_mutex_trylock(&gOsaConsoleLock) != 0) return defer_piece(text, len);
  print_deferred_locked();
  fflush(stdout);
  write_all(text, len);
  pthread_mutex_unlock(&gOsaConsoleLock);
  return 0;
}

void OSA_printDeferred(void) {
  if (gDeferredCount.load() == 0) return;
  pthread_mutex_lock(&gOsaConsoleLock);
  print_deferred_locked();
  pthread_mutex_unlock(&gOsaConsoleLock);
}

void OSA_error(const char *source, const char *function, int line, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  OSA_verror(source, function, line, fmt, ap);
  va_end(ap);
}

void OSA_verror(const char *source, const char *function, int line, const char *fmt,
                va_list args) {
  fprintf(stderr, " ERROR  (%s|%s|%d): ", source, function, line);
  vfprintf(stderr, fmt, args);
}

int OSA_init(void) {
  int status = OSA_mutexCreate(&gOsaConsoleLock);
  if (status != 0) OSA_error("osa", __func__, __LINE__, "OSA_mutexCreate()\n");
  return status;
}

int OSA_exit(void) {
  OSA_printDeferred();
  return OSA_mutexDelete(&gOsaConsoleLock);
}

int32_t OSA_getTimeMs(void) {
  struct timeval tv;
  if (gettimeofday(&tv, nullptr) != 0) return 0;
  // Computed unsigned so that the wrap is defined; callers only subtract readings.
  uint64_t ms = (uint64_t)tv.tv_sec * 1000u + (uint64_t)tv.tv_usec / 1000u;
  return (int32_t)(uint32_t)ms;
}

void OSA_sleepMs(uint32_t ms) {
  struct timespec ts;
  ts.tv_sec = ms / 1000;
  ts.tv_nsec = (long)(ms % 1000) * 1000000L;
  nanosleep(&ts, nullptr);  // a signal ends it early; the rest is not slept
}

void OSA_reportRefusedFile(const char *path, const char *why) {
  OSA_error("osa", "safe_open", __LINE__, "refusing to open %s: %s\n", path, why);
}

// Milliseconds on the monotonic clock: a wait measured on the time of day would be
// stretched or cut short whenever the clock is set (NTP, the control process).
static int64_t monotonic_ms(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (int64_t)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

int OSA_lockFile(int fd, const char *path) {
  const int64_t start = monotonic_ms();
  while (lockf(fd, F_TLOCK, 0) != 0) {
    if (errno != EACCES && errno != EAGAIN && errno != EINTR) return -1;
    if (monotonic_ms() - start >= OSA_LOCK_WAIT_MS) {
      OSA_error("osa", "OSA_lockFile", __LINE__,
                "%s stayed locked by another process for %d s: going on without the lock\n",
                path, OSA_LOCK_WAIT_MS / 1000);
      return -1;
    }
    OSA_sleepMs(20);
  }
  return 0;
}

void OSA_copyText(char *field, size_t fieldSize, const char *text) {
  if (!field || fieldSize == 0) return;
  memset(field, 0, fieldSize);
  if (text) strncpy(field, text, fieldSize - 1);
}
