// The listener thread (a libpcap capture on eth0 handing frames to
// search_handle_frame) and the announcer, which broadcasts a search reply every 30 s
// and once a second tells how many network requests the console did not show.
#include "search_capture.h"

#include <dirent.h>
#include <fcntl.h>
#include <pcap/pcap.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>

#include <set>

#include "osa.h"
#include "search_iface.h"
#include "search_proto.h"
#include "search_service.h"

// Guards the capture handle against being closed while another thread sends on it
// or breaks its loop.
static pthread_mutex_t g_searchCaptureLock = PTHREAD_MUTEX_INITIALIZER;

int search_send_frame(SearchListener *listener, const uint8_t *frame, size_t len) {
  pthread_mutex_lock(&g_searchCaptureLock);
  pcap_t *capture = listener->capture.load();
  int result = capture ? pcap_sendpacket(capture, frame, (int)len) : -1;
  pthread_mutex_unlock(&g_searchCaptureLock);
  return result == 0 ? 0 : -1;
}

bool search_capture_break(SearchListener *listener) {
  pthread_mutex_lock(&g_searchCaptureLock);
  pcap_t *capture = listener->capture.load();
  if (capture) pcap_breakloop(capture);
  pthread_mutex_unlock(&g_searchCaptureLock);
  return capture != nullptr;
}

// The listener reads at most kFramesPerSecond frames in a second. Past that it stops
// reading until the second is over, and the kernel drops whatever comes meanwhile
// (the ring is full): a flood at any rate costs the responder no more than this many
// frames a second, each dropped by the reply budget before much is done for it.
enum { kFramesPerSecond = 100000 };
struct ListenerRead {
  SearchListener *listener;
  pcap_t *capture;
  int64_t windowStartMs;
  unsigned frames;
  bool spent;  // the loop was broken because the second's frames were used up
};

static void on_frame(u_char *user, const struct pcap_pkthdr *header, const u_char *bytes) {
  ListenerRead *read = (ListenerRead *)user;
  const int64_t now = search_monotonic_ms();
  if (now - read->windowStartMs >= 1000) {
    read->windowStartMs = now;
    read->frames = 0;
  }
  if (++read->frames > kFramesPerSecond) {
    read->spent = true;
    pcap_breakloop(read->capture);
    return;
  }
  search_handle_frame(read->listener, bytes, header->caplen);
}

// Reads frames until the service stops (or the capture fails), pausing for the rest
// of a second whenever that second's frames are used up.
static void read_frames(SearchListener *listener, pcap_t *capture) {
  ListenerRead read = {listener, capture, search_monotonic_ms(), 0, false};
  while (search_running()) {
    const int handled = pcap_dispatch(capture, -1, on_frame, (u_char *)&read);
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

void *search_listen(void *arg) {
  SearchListener *listener = (SearchListener *)arg;
  char name[32];
  snprintf(name, sizeof(name), "search_%s", "eth");
  OSA_thrSetName(name);

  char err[PCAP_ERRBUF_SIZE] = "";
  pcap_t *capture = open_capture(SEARCH_IFACE, err);
  if (!capture) {
    SEARCH_ERROR(__LINE__, "error: pcap_open_live(): %s\n", err);
    return nullptr;
  }
  struct bpf_program filter;
  char filterText[512];
  search_capture_filter(filterText, sizeof(filterText), listener->haveMac ? listener->mac : nullptr);
  if (pcap_compile(capture, &filter, filterText, 1, 0) < 0) {
    snprintf(err, sizeof(err), "%s", pcap_geterr(capture));
    pcap_close(capture);
    SEARCH_ERROR(__LINE__, "error: pcap_compile(): %s\n", err);
    return nullptr;
  }
  if (pcap_setfilter(capture, &filter) < 0) {
    pcap_freecode(&filter);
    pcap_close(capture);
    SEARCH_ERROR(__LINE__, "error: pcap_setfilter(): %s\n", "");
    return nullptr;
  }
  listener->capture.store(capture);
  // A stop that came before the handle was published found no loop to break, and
  // search_deinit waits for this thread: do not enter the loop then.
  if (search_running()) read_frames(listener, capture);
  pthread_mutex_lock(&g_searchCaptureLock);
  listener->capture.store(nullptr);
  pthread_mutex_unlock(&g_searchCaptureLock);
  pcap_freecode(&filter);
  pcap_close(capture);
  return nullptr;
}

void *search_timer_thread(void *arg) {
  SearchListener *listener = (SearchListener *)arg;
  OSA_thrSetName("search_timer");
  for (unsigned pass = 1; search_running(); pass++) {
    if (pass % 30 == 0 && listener->capture.load()) search_response(listener, kBroadcastMac);
    search_report_flush();
    if (search_running()) search_sleep_ms(1000);
  }
  return nullptr;
}
