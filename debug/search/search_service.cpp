// The responder's shared running flag and reply budget.
#include "search_service.h"

#include <atomic>

#include "osa.h"

static std::atomic<int> g_searchRunning{0};
// Anyone on the segment may ask: replies are budgeted.
static ReplyLimiter g_searchReplyBudget(5, 100);

bool search_running(void) { return g_searchRunning.load() != 0; }

void search_set_running(bool running) { g_searchRunning.store(running ? 1 : 0); }

void search_sleep_ms(unsigned ms) {
  for (unsigned slept = 0; slept < ms && search_running(); slept += 100)
    OSA_sleepMs(ms - slept < 100 ? ms - slept : 100);
}

ReplyLimiter &search_reply_budget(void) { return g_searchReplyBudget; }
