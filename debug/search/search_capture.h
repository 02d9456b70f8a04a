// The listener's link to eth0: a libpcap capture that hands each frame its kernel
// filter passes to a handler, and sends the frames the handler makes. It knows no
// protocol: the module gives it the handler, and the raw protocol sends through it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <mutex>

struct pcap;

// One captured frame of caplen bytes, for the handler's context.
typedef void (*SearchFrameHandler)(void *context, const uint8_t *frame, size_t caplen);

typedef struct SearchCapture {
  const uint8_t *ownMac;                  // eth0's MAC, or nullptr when it is unknown
  SearchFrameHandler handler;
  void *handlerContext;
  std::atomic<struct pcap *> handle{nullptr};  // published once the filter is installed
  std::mutex lock;  // keeps the handle from closing while another thread uses it
} SearchCapture;

// The listener thread (arg: the SearchCapture): opens the capture and reads frames
// until the service stops.
void *search_capture_thread(void *arg);
// Sends one frame on the capture (context: the SearchCapture); 0 or -1.
int search_capture_send(void *context, const uint8_t *frame, size_t len);
// Whether the capture is open, so that a frame can be sent (context: the SearchCapture).
bool search_capture_ready(void *context);
// Ends the capture's read loop, if it runs; whether it did.
bool search_capture_break(SearchCapture *capture);
