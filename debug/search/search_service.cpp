// The responder's shared running flag and console share.
#include "search_service.h"

#include <time.h>

#include <atomic>
#include <mutex>

#include "osa.h"

static std::atomic<int> g_searchRunning{0};

static std::mutex g_searchReportLock;
static TokenBucket g_searchReportLines(5, 10);
static unsigned g_searchReportsNotShown;

int64_t search_monotonic_ms(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (int64_t)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

bool search_running(void) { return g_searchRunning.load() != 0; }

void search_set_running(bool running) { g_searchRunning.store(running ? 1 : 0); }

void search_sleep_ms(unsigned ms) {
  for (unsigned slept = 0; slept < ms && search_running(); slept += 100)
    OSA_sleepMs(ms - slept < 100 ? ms - slept : 100);
}

bool search_report_allowed(unsigned lines) {
  std::lock_guard<std::mutex> hold(g_searchReportLock);
  if (g_searchReportLines.take(search_monotonic_ms(), lines)) return true;
  g_searchReportsNotShown++;
  return false;
}

void search_report_flush(void) {
  unsigned notShown;
  {
    std::lock_guard<std::mutex> hold(g_searchReportLock);
    notShown = g_searchReportsNotShown;
    g_searchReportsNotShown = 0;
  }
  if (notShown) OSA_printf("search: %u more requests from the network not shown \n", notShown);
}
