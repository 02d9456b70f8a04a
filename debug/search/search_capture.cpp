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

static void on_frame(u_char *user, const struct pcap_pkthdr *header, const u_char *bytes) {
  search_handle_frame((SearchListener *)user, bytes, header->caplen);
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

// A live capture as pcap_open_live(ifname, 65535, promiscuous, no timeout) opens it,
// but in immediate mode: with no timeout the kernel's block ring would otherwise hold
// a lone request until the block fills, and the requester would never be answered.
// libpcap opens its descriptors (the packet socket, and an eventfd that breaks the
// loop) without close-on-exec; every one of them is given it, so that no program the
// responder starts (the DHCP client) inherits them.
static pcap_t *open_capture(const char *ifname, char err[PCAP_ERRBUF_SIZE]) {
  const std::set<int> before = open_descriptors();
  pcap_t *capture = pcap_create(ifname, err);
  if (!capture) return nullptr;
  if (pcap_set_snaplen(capture, 65535) != 0 || pcap_set_promisc(capture, 1) != 0 ||
      pcap_set_timeout(capture, 0) != 0 || pcap_set_immediate_mode(capture, 1) != 0 ||
      pcap_activate(capture) < 0) {
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
  if (pcap_compile(capture, &filter, "ether proto 0x0809", 1, 0) < 0) {
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
  if (search_running()) pcap_loop(capture, -1, on_frame, (u_char *)listener);
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
