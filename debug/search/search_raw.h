// The raw protocol (EtherType 0x0809): search and modify requests answered with
// 260-byte replies, and the announcer. It sends through the ops it is given (the
// listener's capture) and draws on the budgets it is given.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "search_service.h"

// How replies go out: send one frame (0 or -1), and whether sending is possible yet.
typedef struct SearchSendOps {
  int (*send)(void *context, const uint8_t *frame, size_t len);
  bool (*ready)(void *context);
  void *context;
} SearchSendOps;

typedef struct RawResponder {
  uint8_t mac[6];  // eth0's MAC, read when the service starts
  bool haveMac;    // false when it could not be read then: modifies are not served
  SearchBudgets *budgets;
  SearchSendOps out;
} RawResponder;

// One captured frame of caplen bytes: a search or modify within the reply budget is
// served; over it, the frame is dropped before any check, print or reply.
void search_handle_frame(RawResponder *raw, const uint8_t *frame, size_t caplen);
int search_response(RawResponder *raw, const uint8_t dst[6]);
int modify_reponse(RawResponder *raw, const uint8_t dst[6], int result);
// The announcer thread (arg: the RawResponder): a search reply to everyone every 30 s,
// and once a second the count of requests the console did not show.
void *search_timer_thread(void *arg);
