// What the responder's threads share: whether the service runs, and the budget of
// replies every request from the network draws on.
#pragma once

#include "module_util.h"
#include "search_guard.h"

// Error reports of every part of the responder carry one source name, "qz_search",
// which log readers know it by.
#define SEARCH_ERROR(line, ...) module_error("qz_search", __func__, line, __VA_ARGS__)

bool search_running(void);
void search_set_running(bool running);
// Sleeps ms in short steps, ending early once the service stops.
void search_sleep_ms(unsigned ms);

// Per requester 5 a second, 100 a second in all.
ReplyLimiter &search_reply_budget(void);
