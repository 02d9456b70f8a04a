// The listener thread: a libpcap capture on eth0 in the kernel's block ring, handing
// each frame to the handler the module gave it.
#include "search_capture.h"

#include <dirent.h>
#include <fcntl.h>
#include <pcap/pcap.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <set>

#include "osa.h"
#include "search_iface.h"
#include "search_proto.h"
#include "search_service.h"

int search_capture_send(void *context, const uint8_t *frame, size_t len) {
  SearchCapture *capture = (SearchCapture *)context;
  std::lock_guard<std::mutex> hold(capture->lock);
  pcap_t *handle = capture->handle.load();
  return handle && pcap_sendpacket(handle, frame, (int)len) == 0 ? 0 : -1;
}

bool search_capture_ready(void *context) {
  return ((SearchCapture *)context)->handle.load() != nullptr;
}

bool search_capture_break(SearchCapture *capture) {
  std::lock_guard<std::mutex> hold(capture->lock);
  pcap_t *handle = capture->handle.load();
  if (handle) pcap_breakloop(handle);
  return handle != nullptr;
}

// What the listener spends on frames in a second is bounded twice. A run of frames
// from one source longer than kRunOfOneSource (a single sender's flood: far beyond the
// 5 replies a second any one requester gets) is dropped on a comparison of its source
// address, before anything else, so that such a flood uses up neither bound below and
// other requesters are still served. At most kFramesPerSecond other frames are handed
// on; past that, or past kFramesSeenPerSecond in all, the listener stops reading until
// the second is over and the kernel drops whatever comes meanwhile (the ring is full):
// a flood at any rate costs the responder no more than that.
enum { kRunOfOneSource = 16, kFramesPerSecond = 100000, kFramesSeenPerSecond = 2000000 };
struct ListenerRead {
  SearchCapture *capture;
  pcap_t *handle;
  int64_t windowStartMs;
  unsigned frames, seen, run;
  uint8_t lastSource[6];
  bool spent;  // the loop was broken because the second's frames were used up
};

static void on_frame(u_char *user, const struct pcap_pkthdr *header, const u_char *bytes) {
  ListenerRead *read = (ListenerRead *)user;
  const int64_t now = search_monotonic_ms();
  if (now - read->windowStartMs >= 1000) {
    read->windowStartMs = now;
    read->frames = read->seen = read->run = 0;
  }
  if (++read->seen > kFramesSeenPerSecond) {
    read->spent = true;
    pcap_breakloop(read->handle);
    return;
  }
  if (header->caplen >= 12) {  // the kernel filter passes no shorter frame
    if (read->run > 0 && memcmp(bytes + 6, read->lastSource, 6) == 0) {
      if (++read->run > kRunOfOneSource) return;
    } else {
      memcpy(read->lastSource, bytes + 6, 6);
      read->run = 1;
    }
  }
  if (++read->frames > kFramesPerSecond) {
    read->spent = true;
    pcap_breakloop(read->handle);
    return;
  }
  read->capture->handler(read->capture->handlerContext, bytes, header->caplen);
}

// Reads frames until the service stops (or the capture fails), pausing for the rest
// of a second whenever that second's frames are used up.
static void read_frames(SearchCapture *capture, pcap_t *handle) {
  ListenerRead read = {capture, handle, search_monotonic_ms(), 0, 0, 0, {0}, false};
  while (search_running()) {
    const int handled = pcap_dispatch(handle, -1, on_frame, (u_char *)&read);
    if (handled == PCAP_ERROR_BREAK && read.spent) {
      read.spent = false;
      const int64_t left = read.windowStartMs + 1000 - search_monotonic_ms();
      if (left > 0) search_sleep_ms((unsigned)left);
      continue;
    }
    if (handled < 0) break;  // stopped (search_capture_break) or failed
  }
}

// The descriptors above 2 open now, from /proc/self/fd (none when it cannot be read).
static std::set<int> open_descriptors(void) {
  std::set<int> fds;
  DIR *dir = opendir("/proc/self/fd");
  if (!dir) return fds;
  const int own = dirfd(dir);
  for (struct dirent *entry; (entry = readdir(dir)) != nullptr;) {
    const int fd = atoi(entry->d_name);  // "." and ".." read as 0
    if (fd > 2 && fd != own) fds.insert(fd);
  }
  closedir(dir);
  return fds;
}

static void set_close_on_exec(int fd) {
  const int flags = fcntl(fd, F_GETFD);
  if (flags >= 0) fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
}

// A live capture in the kernel's block ring (TPACKET_V3): frames are handed over a
// block at a time, so a flood costs one wake-up per block instead of one per frame,
// and a block is handed over at the latest kBlockTimeoutMs after its first frame, so
// a lone request waits no longer than that. A frame is 260 bytes: kSnapLength keeps
// the ring's slots small. libpcap opens its descriptors (the packet socket, and an
// eventfd that breaks the loop) without close-on-exec; every one of them is given it,
// so that no program the responder starts (the DHCP client) inherits them.
enum { kBlockTimeoutMs = 10, kSnapLength = 1024 };
static pcap_t *open_capture(const char *ifname, char err[PCAP_ERRBUF_SIZE]) {
  const std::set<int> before = open_descriptors();
  pcap_t *capture = pcap_create(ifname, err);
  if (!capture) return nullptr;
  if (pcap_set_snaplen(capture, kSnapLength) != 0 || pcap_set_promisc(capture, 1) != 0 ||
      pcap_set_timeout(capture, kBlockTimeoutMs) != 0 || pcap_activate(capture) < 0) {
    snprintf(err, PCAP_ERRBUF_SIZE, "%s", pcap_geterr(capture));
    pcap_close(capture);
    return nullptr;
  }
  if (pcap_get_selectable_fd(capture) >= 0) set_close_on_exec(pcap_get_selectable_fd(capture));
  for (int fd : open_descriptors())
    if (!before.count(fd)) set_close_on_exec(fd);
  return capture;
}

void *search_capture_thread(void *arg) {
  SearchCapture *capture = (SearchCapture *)arg;
  char name[32];
  snprintf(name, sizeof(name), "search_%s", "eth");
  OSA_thrSetName(name);

  char err[PCAP_ERRBUF_SIZE] = "";
  pcap_t *handle = open_capture(SEARCH_IFACE, err);
  if (!handle) {
    SEARCH_ERROR(__LINE__, "error: pcap_open_live(): %s\n", err);
    return nullptr;
  }
  struct bpf_program filter;
  char filterText[512];
  search_capture_filter(filterText, sizeof(filterText), capture->ownMac);
  if (pcap_compile(handle, &filter, filterText, 1, 0) < 0) {
    snprintf(err, sizeof(err), "%s", pcap_geterr(handle));
    pcap_close(handle);
    SEARCH_ERROR(__LINE__, "error: pcap_compile(): %s\n", err);
    return nullptr;
  }
  if (pcap_setfilter(handle, &filter) < 0) {
    pcap_freecode(&filter);
    pcap_close(handle);
    SEARCH_ERROR(__LINE__, "error: pcap_setfilter(): %s\n", "");
    return nullptr;
  }
  capture->handle.store(handle);
  // A stop that came before the handle was published found no loop to break, and
  // search_deinit waits for this thread: do not enter the loop then.
  if (search_running()) read_frames(capture, handle);
  {
    std::lock_guard<std::mutex> hold(capture->lock);
    capture->handle.store(nullptr);
  }
  pcap_freecode(&filter);
  pcap_close(handle);
  return nullptr;
}
