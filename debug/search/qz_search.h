// The `search` module: discovery responder on eth0 (raw frames, EtherType 0x0809) and,
// on OEM index 12, the UDP "tovrin" protocol. Frame layouts live in search_proto.h;
// the store side is search_store.h, eth0 search_iface.h.
#pragma once

#include <pthread.h>
#include <stddef.h>
#include <stdint.h>

#include <atomic>

struct pcap;

typedef struct SearchListener {
  pthread_t thread;
  int ifaceKind;                     // 0 wired: the wired settings and eth0
  uint8_t mac[6];                    // eth0's MAC, read when the service starts
  bool haveMac;                      // false when it could not be read then
  std::atomic<struct pcap *> capture;  // published once the filter is installed
} SearchListener;

// OEM index that turns on the UDP protocol.
enum { SEARCH_TOVRIN_OEM_INDEX = 12 };

int search_run(int argc, char **argv);
int qz_search_init(void);
void search_deinit(void);
int search_init_network(void);
void *search_listen(void *arg);
void *search_timer_thread(void *arg);
int search_response(SearchListener *listener, const uint8_t dst[6]);
int modify_reponse(SearchListener *listener, const uint8_t dst[6], int result);
// One captured frame of caplen bytes: a search or modify within the reply budget is
// served; over it, the frame is dropped before any check, print or reply.
void search_handle_frame(SearchListener *listener, const uint8_t *frame, size_t caplen);

void *tovrin_socket_thread(void *arg);
int tovrin_search_resp(void);
// req holds len received bytes (at most 128); missing bytes count as zero. report:
// print what the request got wrong.
int tovrin_modify(const uint8_t *req, size_t len, bool report);
int tovrin_modify_resp(const char *text);
// One received datagram from the IPv4 address sender (host order): answers, modifies
// or ignores it. Searches and modifies draw on the reply budget, modifies also on the
// one-a-second UDP modify budget; over budget they are dropped before any check,
// print or reply.
void tovrin_handle_datagram(const uint8_t *dgram, size_t len, uint32_t sender);
