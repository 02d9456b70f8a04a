// What the responder's threads share: the clock, whether the service runs, the shape
// of the reply budgets, and the share of the console that requests nobody has
// authenticated may take.
#pragma once

#include <stdint.h>

#include "module_util.h"
#include "search_guard.h"

// Error reports of every part of the responder carry one source name, "qz_search",
// which log readers know it by.
#define SEARCH_ERROR(line, ...) module_error("qz_search", __func__, line, __VA_ARGS__)

// Milliseconds of CLOCK_MONOTONIC: the clock of every budget and pause.
int64_t search_monotonic_ms(void);

bool search_running(void);
void search_set_running(bool running);
// Sleeps ms in short steps, ending early once the service stops.
void search_sleep_ms(unsigned ms);

// The reply budgets of the responder: the module owns one and hands it to the raw and
// the UDP path. A request over a budget is dropped before anything else is done for it.
struct SearchBudgets {
  // Replies to searches and modifies, raw and UDP: per requester 5 a second, 100 a
  // second in all.
  ReplyLimiter reply{5, 100};
  // UDP modifies on top of that: one a second.
  ReplyLimiter udpModify{1, 1};
};

// The console lines of a request that is not authenticated yet (a modify before its
// password is checked) take a share of at most 5 lines a second (10 at once): true
// when a report of that many lines may print; a refused one is counted.
bool search_report_allowed(unsigned lines);
// Prints how many reports were not shown since the last call, if any.
void search_report_flush(void);
