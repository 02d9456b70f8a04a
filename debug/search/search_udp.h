// The UDP "tovrin" protocol on OEM index 12: searches answered by broadcast, modifies
// aimed at eth0's MAC carried out against the store (never applied to eth0). It draws
// on the budgets it is given and uses the MAC read when the service started.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "search_service.h"

typedef struct UdpResponder {
  uint8_t mac[6];  // eth0's MAC, read when the service starts
  bool haveMac;    // false when it could not be read then: nothing is answered
  SearchBudgets *budgets;
} UdpResponder;

// The UDP thread (arg: the UdpResponder): serves the request port until the service
// stops.
void *tovrin_socket_thread(void *arg);
int tovrin_search_resp(const UdpResponder *udp);
// req holds len received bytes (at most 128); missing bytes count as zero. report:
// print what the request got wrong.
int tovrin_modify(const uint8_t *req, size_t len, bool report);
int tovrin_modify_resp(const UdpResponder *udp, const char *text);
// One received datagram from the IPv4 address sender (host order): answers, modifies
// or ignores it. Searches and modifies draw on the reply budget, modifies also on the
// one-a-second UDP modify budget; over budget they are dropped before any check,
// print or reply.
void tovrin_handle_datagram(UdpResponder *udp, const uint8_t *dgram, size_t len, uint32_t sender);
