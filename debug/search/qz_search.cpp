// The `search` module: answers configuration tools on the LAN and applies their
// address changes. The listener thread handles raw frames, the announcer broadcasts a
// search reply every 30 seconds, and on OEM index 12 a UDP thread serves the tovrin
// protocol.
#include "qz_search.h"

#include <arpa/inet.h>
#include <errno.h>
#include <net/if.h>
#include <netinet/in.h>
#include <pcap/pcap.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "module_util.h"
#include "osa.h"
#include "osa_net.h"
#include "qzdb.h"
#include "qzutil.h"
#include "search_guard.h"
#include "search_proto.h"
#include "test.h"

#define SEARCH_IFACE "eth0"

static std::atomic<int> g_searchRunning{0};
static SearchListener g_searchListener;
static pthread_t g_searchTimerThread;
static pthread_t g_searchTovrinThread;
static bool g_searchListenerStarted, g_searchTimerStarted, g_searchTovrinStarted;
static int g_searchOemIndex;
// The store is called from the listener, the announcer and the UDP thread; one lock
// keeps a read-modify-write of one thread from interleaving with another's.
static pthread_mutex_t g_searchStoreLock = PTHREAD_MUTEX_INITIALIZER;
// Guards the capture handle against being closed while another thread sends on it
// or breaks its loop.
static pthread_mutex_t g_searchCaptureLock = PTHREAD_MUTEX_INITIALIZER;
// Anyone on the segment may ask: replies are budgeted and password guesses slowed.
static ReplyLimiter g_searchReplyLimiter(5, 100);
static PasswordGuard g_searchPasswordGuard;

static bool search_running(void) { return g_searchRunning.load() != 0; }

// Sleeps ms in short steps, ending early once the service stops.
static void search_sleep_ms(unsigned ms) {
  for (unsigned slept = 0; slept < ms && search_running(); slept += 100)
    OSA_sleepMs(ms - slept < 100 ? ms - slept : 100);
}

// The store fills records without promising a terminator in every field we print.
static void terminate_text(char *text, size_t size) { text[size - 1] = '\0'; }
#define TERMINATE(field) terminate_text(field, sizeof(field))

static void read_network(DbNetwork *net, int ifaceKind) {
  memset(net, 0, sizeof(*net));
  net->iface = (uint8_t)ifaceKind;
  db_get_network(net);
  TERMINATE(net->hostname);
  TERMINATE(net->ip);
  TERMINATE(net->netmask);
  TERMINATE(net->gateway);
  TERMINATE(net->dns1);
  TERMINATE(net->dns2);
}

static void read_device(DbDevice *dev, DbOem *oem) {
  memset(dev, 0, sizeof(*dev));
  memset(oem, 0, sizeof(*oem));
  db_get_device(dev);
  oem_get_device(oem);
  TERMINATE(dev->title);
  TERMINATE(dev->model);
  TERMINATE(dev->firmware);
  TERMINATE(dev->serial);
  TERMINATE(oem->model);
}

static const char *device_name(const DbDevice *dev, const DbOem *oem) {
  return oem->model[0] ? oem->model : dev->model;
}

static int seconds_since_boot(void) {
  FILE *fp = fopen("/proc/uptime", "r");
  if (!fp) return 0;
  char line[128] = "";
  if (!fgets(line, sizeof(line), fp)) line[0] = '\0';
  fclose(fp);
  return search_parse_uptime(line);
}

int get_mac(const char *ifname, uint8_t out[6]) {
  if (strcmp(ifname, "wlan0") == 0) {  // the wireless interface is not served
    memset(out, 0, 6);
    return -1;
  }
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) {
    perror("create socket fail\n");
    return -1;
  }
  struct ifreq req;
  memset(&req, 0, sizeof(req));
  memcpy(req.ifr_name, ifname, strnlen(ifname, IFNAMSIZ - 1));
  if (ioctl(fd, SIOCGIFHWADDR, &req) < 0) {
    close(fd);
    MODULE_ERROR(__LINE__, "mac ioctl error(%s). \n", ifname);
    return -1;
  }
  memcpy(out, req.ifr_hwaddr.sa_data, 6);
  close(fd);
  return 0;
}

int search_check_user(const char *user, const char *password) {
  DbUser *users = nullptr;
  int count = 0;
  int result = -1;
  if (db_get_users(&users, &count) == 0 && users) {
    for (int i = 0; i < count; i++) {
      const DbUser *u = &users[i];
      if (strncmp(u->name, user, sizeof(u->name)) == 0 && strlen(user) < sizeof(u->name) &&
          strncmp(u->password, password, sizeof(u->password)) == 0 &&
          strlen(password) < sizeof(u->password) && u->privilege <= 1) {
        result = 0;
        break;
      }
    }
  }
  __qz_free(users, MODULE_FILE, __LINE__);
  return result;
}

// Gives eth0 the wired settings of net: its static address, or a DHCP client.
static void apply_network(const DbNetwork *net) {
  const char *ip = CheckIPAddr(net->ip) ? net->ip : "";
  const char *mask = CheckIPAddr(net->netmask) ? net->netmask : "";
  const char *gateway = CheckIPAddr(net->gateway) ? net->gateway : "";
  if (net->dhcp) {
    net_start_dhcp(SEARCH_IFACE, net->hostname);
  } else {
    net_set_ifaddr(SEARCH_IFACE, ip);
    net_set_netmask(SEARCH_IFACE, mask);
    net_set_gateway(SEARCH_IFACE, gateway);
  }
}

int search_init_network(void) {
  DbNetwork net;
  pthread_mutex_lock(&g_searchStoreLock);
  read_network(&net, 0);
  pthread_mutex_unlock(&g_searchStoreLock);
  apply_network(&net);
  return 0;
}

// Sends one frame on the listener's capture; 0 or -1.
static int send_frame(SearchListener *listener, const uint8_t *frame, size_t len) {
  pthread_mutex_lock(&g_searchCaptureLock);
  pcap_t *capture = listener->capture.load();
  int result = capture ? pcap_sendpacket(capture, frame, (int)len) : -1;
  pthread_mutex_unlock(&g_searchCaptureLock);
  return result == 0 ? 0 : -1;
}

// What replies report, read from the store (and eth0's live addresses) at most once a
// second and at once after an accepted modify, so that a request costs no store reads.
typedef struct ReplySnapshot {
  DbDevice dev;
  DbOem oem;
  DbNetwork net;
  DbPort port;
  char liveIp[64], liveMask[64], liveGateway[64];  // eth0's own, read when DHCP is on
  bool valid;
  int64_t takenMs;
} ReplySnapshot;
static ReplySnapshot g_searchSnapshot;
static pthread_mutex_t g_searchSnapshotLock = PTHREAD_MUTEX_INITIALIZER;

static void snapshot_invalidate(void) {
  pthread_mutex_lock(&g_searchSnapshotLock);
  g_searchSnapshot.valid = false;
  pthread_mutex_unlock(&g_searchSnapshotLock);
}

// Copies the snapshot of ifaceKind's settings, refreshing it when it is stale.
static void snapshot_get(ReplySnapshot *out, int ifaceKind) {
  int64_t now = search_monotonic_ms();
  pthread_mutex_lock(&g_searchSnapshotLock);
  ReplySnapshot *snap = &g_searchSnapshot;
  if (!snap->valid || now - snap->takenMs >= 1000 || snap->net.iface != ifaceKind) {
    memset(&snap->port, 0, sizeof(snap->port));
    pthread_mutex_lock(&g_searchStoreLock);
    read_device(&snap->dev, &snap->oem);
    read_network(&snap->net, ifaceKind);
    db_get_port(&snap->port);
    pthread_mutex_unlock(&g_searchStoreLock);
    snap->liveIp[0] = snap->liveMask[0] = snap->liveGateway[0] = '\0';
    if (snap->net.dhcp) {
      net_get_ifaddr(SEARCH_IFACE, snap->liveIp, sizeof(snap->liveIp));
      net_get_netmask(SEARCH_IFACE, snap->liveMask, sizeof(snap->liveMask));
      net_get_gateway(SEARCH_IFACE, snap->liveGateway, sizeof(snap->liveGateway));
    }
    snap->valid = true;
    snap->takenMs = now;
  }
  *out = *snap;
  pthread_mutex_unlock(&g_searchSnapshotLock);
}

// Fills the reply text; live addresses when allowLive is set (a search reply with
// DHCP on).
static void reply_text(char *out, size_t size, int ifaceKind, bool allowLive) {
  ReplySnapshot snap;
  snapshot_get(&snap, ifaceKind);
  const bool live = allowLive && snap.net.dhcp;
  SearchReplyInfo info;
  info.ip = live ? snap.liveIp : snap.net.ip;
  info.netmask = live ? snap.liveMask : snap.net.netmask;
  info.gateway = live ? snap.liveGateway : snap.net.gateway;
  info.httpPort = snap.port.http;
  info.dns = snap.net.dns1;
  info.model = snap.dev.model;
  info.firmware = snap.dev.firmware;
  info.serial = snap.dev.serial;
  info.title = snap.dev.title;
  info.name = device_name(&snap.dev, &snap.oem);
  info.uptime = seconds_since_boot();
  info.dhcp = snap.net.dhcp;
  search_format_reply_text(out, size, &info);
}

int search_response(SearchListener *listener, const uint8_t dst[6]) {
  char text[SEARCH_REPLY_TEXT_SIZE];
  reply_text(text, sizeof(text), listener->ifaceKind, true);
  uint8_t frame[SEARCH_FRAME_LEN];
  search_build_search_reply(frame, dst, listener->mac, text);
  if (send_frame(listener, frame, sizeof(frame)) != 0) {
    MODULE_ERROR(__LINE__, "Send Packet Failed. \n");
    return -1;
  }
  return 0;
}

int modify_reponse(SearchListener *listener, const uint8_t dst[6], int result) {
  char text[SEARCH_MODIFY_REPLY_TEXT_SIZE];
  reply_text(text, sizeof(text), listener->ifaceKind, false);
  uint8_t frame[SEARCH_FRAME_LEN];
  search_build_modify_reply(frame, dst, listener->mac, result, text);
  if (send_frame(listener, frame, sizeof(frame)) != 0) {
    MODULE_ERROR(__LINE__, "Send Packet Failed. \n");
    return -1;
  }
  return 0;
}


// search_check_user behind the guessing pause: while a pause runs every check is
// refused without looking at the password.
static int check_user_guarded(const char *user, const char *password) {
  int64_t now = search_monotonic_ms();
  if (g_searchPasswordGuard.paused(now)) return -1;
  if (search_check_user(user, password) == 0) {
    g_searchPasswordGuard.succeeded();
    return 0;
  }
  unsigned pauseMs = g_searchPasswordGuard.failed(now);
  if (pauseMs)
    module_error(MODULE_FILE, "search_check_user", __LINE__,
              "repeated wrong passwords: modify requests refused for %u ms\n", pauseMs);
  return -1;
}

// Copies an address that CheckIPAddr accepts into field in its canonical form;
// anything else leaves field as it was.
static void take_address(char *field, size_t size, const char *text) {
  char canonical[INET_ADDRSTRLEN];
  if (net_canonical_ipv4(text, canonical)) OSA_copyText(field, size, canonical);
}

// A title that would split the reply into extra fields is skipped, with a report.
static bool title_usable(const char *title, const char *function) {
  if (!title[0]) return false;
  if (search_title_is_valid(title)) return true;
  module_error(MODULE_FILE, function, __LINE__, "title skipped: ';' or a control byte\n");
  return false;
}

// The store writes of one accepted modify, raw or UDP, in the order its protocol
// makes them.
enum ModifyWrite { WRITE_PORT, WRITE_TITLE, WRITE_NETWORK, WRITE_USER };
typedef struct ModifyPlan {
  DbNetwork net;       // read once from the store, then edited by the request
  long httpPort;
  const char *title;
  DbUser user;
  ModifyWrite writes[4];
  int writeCount;
  int result;          // what an accepted modify returns when every write succeeds
} ModifyPlan;

static void plan_write(ModifyPlan *plan, ModifyWrite write) {
  plan->writes[plan->writeCount++] = write;
}

// Fills plan from the request once the credentials passed; plan->net holds the stored
// network row of the served interface.
typedef void (*ModifyEditor)(ModifyPlan *plan, void *request);
// modify_store's answer to credentials it refused (nothing read or written).
enum { MODIFY_REFUSED = -2 };

// One modify against the store, under the store lock: the credentials are checked
// behind the guessing pause, the network row is read once and handed to edit, and the
// planned writes run in order; the first that fails is reported by function and ends
// them. Every field is checked before the first write. MODIFY_REFUSED, -1 when a write
// failed, else plan->result; *stored receives the network row as the store holds it now.
static int modify_store(const char *user, const char *password, int ifaceKind,
                        ModifyEditor edit, void *request, const char *function,
                        DbNetwork *stored) {
  pthread_mutex_lock(&g_searchStoreLock);
  if (check_user_guarded(user, password) != 0) {
    pthread_mutex_unlock(&g_searchStoreLock);
    return MODIFY_REFUSED;
  }
  ModifyPlan plan;
  memset(&plan, 0, sizeof(plan));
  read_network(&plan.net, ifaceKind);
  *stored = plan.net;
  edit(&plan, request);
  int result = plan.result;
  for (int i = 0; i < plan.writeCount && result != -1; i++) {
    const char *failed = nullptr;
    switch (plan.writes[i]) {
      case WRITE_PORT:
        if (db_set_port_http((int)plan.httpPort) != 0) failed = "db_set_port_http";
        break;
      case WRITE_TITLE:
        if (db_set_device_title(plan.title) != 0) failed = "db_set_device_title";
        break;
      case WRITE_NETWORK:
        if (db_set_network(&plan.net) != 0) failed = "db_set_network";
        else *stored = plan.net;
        break;
      case WRITE_USER:
        if (db_set_user(&plan.user) != 0) failed = "db_set_user";
        break;
    }
    if (failed) {
      module_error(MODULE_FILE, function, __LINE__, "%s failed: nothing more written\n", failed);
      result = -1;
    }
  }
  pthread_mutex_unlock(&g_searchStoreLock);
  snapshot_invalidate();  // after the store lock: a refresh takes them the other way round
  return result;
}

// The raw modify's edit: port (always), title, then the address fields, written only
// when they changed.
static void edit_raw_modify(ModifyPlan *plan, void *request) {
  const SearchModifyFields *f = (const SearchModifyFields *)request;
  const DbNetwork current = plan->net;
  DbNetwork *next = &plan->net;
  // Peers put the DHCP flag in the user field's leading digits; a name gives 0.
  next->dhcp = (uint8_t)strtol(f->field[MODIFY_USER], nullptr, 10);
  take_address(next->ip, sizeof(next->ip), f->field[MODIFY_IP]);
  take_address(next->netmask, sizeof(next->netmask), f->field[MODIFY_NETMASK]);
  take_address(next->gateway, sizeof(next->gateway), f->field[MODIFY_GATEWAY]);
  take_address(next->dns1, sizeof(next->dns1), f->field[MODIFY_DNS]);
  long port = strtol(f->field[MODIFY_HTTP_PORT], nullptr, 10);
  plan->httpPort = port < 1 ? 1 : port > 65535 ? 65535 : port;
  plan_write(plan, WRITE_PORT);
  plan->title = f->field[MODIFY_TITLE];
  if (title_usable(plan->title, "modify_device")) plan_write(plan, WRITE_TITLE);
  const bool changed =
      next->dhcp != current.dhcp || strcmp(next->ip, current.ip) != 0 ||
      strcmp(next->netmask, current.netmask) != 0 || strcmp(next->gateway, current.gateway) != 0 ||
      strcmp(next->dns1, current.dns1) != 0;
  if (changed) plan_write(plan, WRITE_NETWORK);
  plan->result = changed ? 1 : 0;
}

// Carries out a modify text: -1 refused or a store write failed, 0 accepted with the
// address settings unchanged, 1 accepted and changed; *stored is the wired row after it.
static int modify_device(const char *text, size_t len, int ifaceKind, DbNetwork *stored) {
  SearchModifyFields f;
  search_split_modify_text(text, len, &f);
  OSA_printf("===Modify Device==IP:%s HttpPort:%s Netmask:%s Gateway:%s Dns:%s== \n",
             f.field[MODIFY_IP], f.field[MODIFY_HTTP_PORT], f.field[MODIFY_NETMASK],
             f.field[MODIFY_GATEWAY], f.field[MODIFY_DNS]);
  const char *user = f.field[MODIFY_USER];
  const char *password = f.field[MODIFY_PASSWORD];
  if (!user[0] || !password[0]) return -1;
  int result = modify_store(user, password, ifaceKind, edit_raw_modify, &f, "modify_device", stored);
  return result == MODIFY_REFUSED ? -1 : result;
}

static uint64_t mac_key(const uint8_t mac[6]) {
  uint64_t key = 0;
  for (int i = 0; i < 6; i++) key = (key << 8) | mac[i];
  return key;
}

void search_handle_frame(SearchListener *listener, const uint8_t *frame, size_t caplen) {
  if (caplen <= SEARCH_HEADER_LEN) return;
  SearchRequest req;
  SearchRequestKind kind =
      search_parse_frame(frame, caplen, listener->haveMac ? listener->mac : nullptr, &req);
  if (kind == SEARCH_REQ_IGNORE) return;
  uint8_t requester[6];
  memcpy(requester, req.requester, 6);
  if (kind == SEARCH_REQ_SEARCH) {
    // Over budget: dropped silently.
    if (g_searchReplyLimiter.allow(mac_key(requester), search_monotonic_ms()))
      search_response(listener, requester);
    return;
  }
  char shown[SEARCH_FRAME_LEN];
  search_mask_modify_text(req.text, req.textLen, shown, sizeof(shown));
  OSA_printf("Modify Device:%s \n", shown);
  DbNetwork stored;
  int result = modify_device(req.text, req.textLen, 0, &stored);
  modify_reponse(listener, requester, result != -1 ? 1 : 0);
  if (result == 1) OSA_printf("modify device info. \n");
  // Only an accepted modify touches the interface.
  if (result != -1) apply_network(&stored);
}

static void on_frame(u_char *user, const struct pcap_pkthdr *header, const u_char *bytes) {
  search_handle_frame((SearchListener *)user, bytes, header->caplen);
}

// A live capture as pcap_open_live(ifname, 65535, promiscuous, no timeout) opens it,
// but in immediate mode: with no timeout the kernel's block ring would otherwise hold
// a lone request until the block fills, and the requester would never be answered.
static pcap_t *open_capture(const char *ifname, char err[PCAP_ERRBUF_SIZE]) {
  pcap_t *capture = pcap_create(ifname, err);
  if (!capture) return nullptr;
  if (pcap_set_snaplen(capture, 65535) != 0 || pcap_set_promisc(capture, 1) != 0 ||
      pcap_set_timeout(capture, 0) != 0 || pcap_set_immediate_mode(capture, 1) != 0 ||
      pcap_activate(capture) < 0) {
    snprintf(err, PCAP_ERRBUF_SIZE, "%s", pcap_geterr(capture));
    pcap_close(capture);
    return nullptr;
  }
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
    MODULE_ERROR(__LINE__, "error: pcap_open_live(): %s\n", err);
    return nullptr;
  }
  struct bpf_program filter;
  if (pcap_compile(capture, &filter, "ether proto 0x0809", 1, 0) < 0) {
    snprintf(err, sizeof(err), "%s", pcap_geterr(capture));
    pcap_close(capture);
    MODULE_ERROR(__LINE__, "error: pcap_compile(): %s\n", err);
    return nullptr;
  }
  if (pcap_setfilter(capture, &filter) < 0) {
    pcap_freecode(&filter);
    pcap_close(capture);
    MODULE_ERROR(__LINE__, "error: pcap_setfilter(): %s\n", "");
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

void *search_timer_thread(void *) {
  OSA_thrSetName("search_timer");
  for (unsigned pass = 1; search_running(); pass++) {
    if (pass % 30 == 0 && g_searchListener.capture.load()) search_response(&g_searchListener, kBroadcastMac);
    if (search_running()) search_sleep_ms(1000);
  }
  return nullptr;
}

int qz_search_init(void) {
  g_searchRunning.store(1);
  g_searchListenerStarted = g_searchTimerStarted = g_searchTovrinStarted = false;
  g_searchListener.ifaceKind = 0;
  g_searchListener.capture.store(nullptr);
  memset(g_searchListener.mac, 0, sizeof(g_searchListener.mac));
  g_searchListener.haveMac = get_mac(SEARCH_IFACE, g_searchListener.mac) == 0;

  const unsigned prio = OSA_thrMidPriority();
  if (OSA_thrCreate(&g_searchListener.thread, search_listen, prio, 0, &g_searchListener) != 0) {
    g_searchRunning.store(0);
    MODULE_ERROR(__LINE__, "Create search task failed. \n");
    return -1;
  }
  g_searchListenerStarted = true;
  if (OSA_thrCreate(&g_searchTimerThread, search_timer_thread, prio, 0, nullptr) != 0) {
    g_searchRunning.store(0);
    MODULE_ERROR(__LINE__, "Create search timer task failed. \n");
    return -1;
  }
  g_searchTimerStarted = true;
  pthread_mutex_lock(&g_searchStoreLock);
  g_searchOemIndex = oem_get_index();
  pthread_mutex_unlock(&g_searchStoreLock);
  if (g_searchOemIndex != SEARCH_TOVRIN_OEM_INDEX) return 0;
  if (OSA_thrCreate(&g_searchTovrinThread, tovrin_socket_thread, prio, 0, nullptr) != 0) {
    g_searchRunning.store(0);
    MODULE_ERROR(__LINE__, "Create tovrin task failed. \n");
    return -1;
  }
  g_searchTovrinStarted = true;
  return 0;
}

void search_deinit(void) {
  g_searchRunning.store(0);
  OSA_sleepMs(200);
  pthread_mutex_lock(&g_searchCaptureLock);
  pcap_t *capture = g_searchListener.capture.load();
  if (capture) pcap_breakloop(capture);
  pthread_mutex_unlock(&g_searchCaptureLock);
  if (capture) OSA_sleepMs(100);
  if (g_searchOemIndex == SEARCH_TOVRIN_OEM_INDEX) OSA_sleepMs(100);
  // Every thread sees the cleared flag within a short step, so wait for them: none
  // may still use the store or the console while the program shuts down.
  if (g_searchListenerStarted) pthread_join(g_searchListener.thread, nullptr);
  if (g_searchTimerStarted) pthread_join(g_searchTimerThread, nullptr);
  if (g_searchTovrinStarted) pthread_join(g_searchTovrinThread, nullptr);
  g_searchListenerStarted = g_searchTimerStarted = g_searchTovrinStarted = false;
}

int search_run(int, char **) {
  if (db_init() != 0) {
    MODULE_ERROR(__LINE__, "Faild to init db! \n");
    return -1;
  }
  search_init_network();
  if (qz_search_init() != 0) {
    MODULE_ERROR(__LINE__, "Faild to init search! \n");
    db_uninit(1);
    return -1;
  }
  while (!test_stop_requested()) OSA_sleepMs(100);
  if (search_running()) search_deinit();
  db_uninit(1);
  return 0;
}

// ---- UDP tovrin protocol -----------------------------------------------------------

// A broadcast socket for one reply; -1 with the report.
static int open_reply_socket(void) {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) {
    perror("tovrin resp socket");
    return -1;
  }
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof(on));
  return fd;
}

static int send_broadcast(int fd, const uint8_t *data, size_t len) {
  struct sockaddr_in to;
  memset(&to, 0, sizeof(to));
  to.sin_family = AF_INET;
  to.sin_port = htons(TOVRIN_REPLY_PORT);
  to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
  ssize_t sent = sendto(fd, data, len, 0, (struct sockaddr *)&to, sizeof(to));
  close(fd);
  if (sent < 0) {
    perror("tovrin sendto resp failed");
    return -1;
  }
  return (int)sent;
}

int tovrin_search_resp(void) {
  int fd = open_reply_socket();
  if (fd < 0) return -1;
  uint8_t mac[6];
  if (get_mac(SEARCH_IFACE, mac) != 0) {
    OSA_printf("Tovrin Get MAC Fail. \n");
    close(fd);
    return -1;
  }
  ReplySnapshot snap;
  snapshot_get(&snap, 0);
  uint8_t reply[TOVRIN_SEARCH_REPLY_LEN];
  tovrin_build_search_reply(reply, mac, inet_addr(snap.net.ip), inet_addr(snap.net.netmask),
                            inet_addr(snap.net.gateway), device_name(&snap.dev, &snap.oem),
                            snap.dev.firmware);
  return send_broadcast(fd, reply, sizeof(reply));
}

int tovrin_modify_resp(const char *text) {
  int fd = open_reply_socket();
  if (fd < 0) return -1;
  uint8_t mac[6];
  if (get_mac(SEARCH_IFACE, mac) != 0) {
    MODULE_ERROR(__LINE__, "Tovrin Get MAC Fail.\n");
    close(fd);
    return -1;
  }
  uint8_t reply[TOVRIN_MODIFY_REPLY_LEN];
  tovrin_build_modify_reply(reply, mac, text);
  return send_broadcast(fd, reply, sizeof(reply));
}

// The UDP modify's edit: the wired row (written whether or not it changed), the
// title, and the administrator's new password.
static void edit_tovrin_modify(ModifyPlan *plan, void *request) {
  TovrinModify *m = (TovrinModify *)request;
  DbNetwork *net = &plan->net;
  net->dhcp = 0;
  take_address(net->ip, sizeof(net->ip), m->ip);
  take_address(net->netmask, sizeof(net->netmask), m->netmask);
  take_address(net->gateway, sizeof(net->gateway), m->gateway);
  OSA_copyText(net->dns1, sizeof(net->dns1), net->gateway);
  plan_write(plan, WRITE_NETWORK);
  qz_string_strip(m->title, '\n');
  qz_string_strip(m->title, '\r');
  plan->title = m->title;
  if (title_usable(m->title, "tovrin_modify")) plan_write(plan, WRITE_TITLE);
  if (m->newPassword[0] && strcmp(m->newPassword, m->password) != 0) {
    OSA_copyText(plan->user.name, sizeof(plan->user.name), "admin");
    OSA_copyText(plan->user.password, sizeof(plan->user.password), m->newPassword);
    plan->user.privilege = 0;
    update_user_module_permission_by_privilege(-1, 0, plan->user.permission);
    plan_write(plan, WRITE_USER);
  }
  plan->result = 0;
}

int tovrin_modify(const uint8_t *req, size_t len) {
  TovrinModify m;
  tovrin_parse_modify(req, len, &m);
  if (m.checksumComputed != m.checksumReceived)
    OSA_printf("tovrin modify device.chk_sum:%u!=%u. \n", (unsigned)m.checksumComputed,
               (unsigned)m.checksumReceived);
  DbNetwork stored;
  int result = modify_store("admin", m.password, 0, edit_tovrin_modify, &m, "tovrin_modify",
                            &stored);
  if (result != MODIFY_REFUSED) return result;
  OSA_printf("tovrin modify device.password:%s is wrong. \n", kMaskedPassword);
  return -1;
}

bool tovrin_handle_datagram(const uint8_t *dgram, size_t len, uint32_t sender) {
  int command = tovrin_classify(dgram, len);
  if (command == TOVRIN_CMD_SEARCH) {
    // Replies are broadcast: the same budget as raw replies, keyed by the sender's
    // IPv4 address (kept apart from MACs by bit 48).
    if (g_searchReplyLimiter.allow((1ull << 48) | sender, search_monotonic_ms())) tovrin_search_resp();
    return false;
  }
  if (command != TOVRIN_CMD_MODIFY) return false;
  uint8_t mac[6];
  if (get_mac(SEARCH_IFACE, mac) != 0) {
    module_error(MODULE_FILE, "is_mac_match", __LINE__, "Tovrin Get MAC Fail.\n");
    return false;
  }
  // Bytes 10..15 of a datagram of 11..15 bytes are partly missing: they read as zero.
  uint8_t target[6] = {0};
  memcpy(target, dgram + 10, len - 10 < 6 ? len - 10 : 6);
  if (memcmp(target, mac, 6) != 0) return false;
  if (tovrin_modify(dgram, len) == 0) {
    tovrin_modify_resp("Successfully.");
  } else {
    module_error(MODULE_FILE, "tovrin_socket_thread", __LINE__, "tovrin modify failed.\n");
    tovrin_modify_resp("Failed.");
  }
  return true;
}

void *tovrin_socket_thread(void *) {
  OSA_thrSetName("UDPPThread");
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) {
    perror("tovrin socket");
    return nullptr;
  }
  struct sockaddr_in addr;
  memset(&addr, 0, sizeof(addr));
  addr.sin_family = AF_INET;
  addr.sin_port = htons(TOVRIN_REQUEST_PORT);
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(fd, (struct sockaddr *)&addr, sizeof(addr)) < 0) {
    perror("tovrin bind");
    close(fd);
    return nullptr;
  }
  uint8_t buf[TOVRIN_MAX_DATAGRAM];
  while (search_running()) {
    // Wait in short steps so that the thread notices the service stopping.
    struct pollfd pfd = {fd, POLLIN, 0};
    int ready = poll(&pfd, 1, 100);
    if (ready == 0 || (ready < 0 && errno == EINTR)) continue;
    struct sockaddr_in from;
    socklen_t fromLen = sizeof(from);
    memset(&from, 0, sizeof(from));
    ssize_t n = ready > 0 ? recvfrom(fd, buf, sizeof(buf), 0, (struct sockaddr *)&from, &fromLen) : -1;
    if (n < 0) {
      perror("tovrin recv failed");
      break;
    }
    // Junk costs nothing; a served modify is followed by a pause of one second.
    if (tovrin_handle_datagram(buf, (size_t)n, ntohl(from.sin_addr.s_addr))) search_sleep_ms(1000);
  }
  close(fd);
  return nullptr;
}

static void search_help(void) { OSA_printf("debug -M search \n"); }

static const TestModule search_module = {"search", MODULE_SEARCH, search_run, search_help, nullptr};
TEST_MODULE_REGISTER(search_module);
