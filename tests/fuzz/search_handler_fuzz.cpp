// A captured frame through the responder's handler, above the parser: budgets, the
// report share, the credential check, modify planning and the store writes, with the
// store, eth0 and the capture replaced by the in-memory stand-ins below. Each input
// starts from the seed settings one minute after the last, so budgets and guessing
// pauses have run out. Faults it looks for: a reply that is not one 260-byte frame to
// the requester, more than one reply, an unusable address written to the store, and a
// gateway stored outside the subnet of the address.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "qzdb.h"
#include "search_iface.h"
#include "search_proto.h"
#include "search_raw.h"
#include "search_service.h"

namespace {

struct Store {
  DbNetwork net;
  DbPort port;
  DbDevice dev;
  DbUser admin;
};
Store g_store;
int64_t g_nowMs;
bool g_reportAllowed;
int g_framesSent;
uint8_t g_lastDestination[6];

void seed_store(void) {
  memset(&g_store, 0, sizeof(g_store));
  snprintf(g_store.net.ip, sizeof(g_store.net.ip), "192.168.1.100");
  snprintf(g_store.net.netmask, sizeof(g_store.net.netmask), "255.255.255.0");
  snprintf(g_store.net.gateway, sizeof(g_store.net.gateway), "192.168.1.1");
  snprintf(g_store.net.dns1, sizeof(g_store.net.dns1), "8.8.8.8");
  g_store.port.http = 80;
  snprintf(g_store.dev.title, sizeof(g_store.dev.title), "Parking Camera");
  snprintf(g_store.dev.model, sizeof(g_store.dev.model), "QZ-PK200");
  snprintf(g_store.admin.name, sizeof(g_store.admin.name), "admin");
  snprintf(g_store.admin.password, sizeof(g_store.admin.password), "admin");
}

// An address field the handler wrote must be one an accepted modify may store.
void check_address(const char *before, const char *after, const char *mask, bool isMask) {
  if (strcmp(before, after) == 0) return;
  if (isMask ? search_netmask_is_usable(after) : search_host_address_is_usable(after, mask))
    return;
  fprintf(stderr, "unusable address stored: %s\n", after);
  abort();
}

}  // namespace

// ---- The responder's shared state, driven by the input's clock ---------------------

int64_t search_monotonic_ms(void) { return g_nowMs; }
bool search_running(void) { return true; }
void search_set_running(bool) {}
void search_sleep_ms(unsigned) {}
bool search_report_allowed(unsigned) { return g_reportAllowed; }
void search_report_flush(void) {}

// ---- eth0 and the frames sent ------------------------------------------------------

int get_mac(const char *, uint8_t out[6]) {
  memset(out, 0, 6);
  return -1;
}
void search_read_live_addresses(char *ip, char *mask, char *gateway, size_t size) {
  snprintf(ip, size, "192.168.1.7");
  snprintf(mask, size, "255.255.255.0");
  snprintf(gateway, size, "192.168.1.1");
}
void apply_network(const DbNetwork *) {}
int send_frame(void *, const uint8_t *frame, size_t len) {
  if (len != SEARCH_FRAME_LEN) abort();
  memcpy(g_lastDestination, frame, 6);
  g_framesSent++;
  return 0;
}
bool can_send(void *) { return true; }

// ---- Error reports and the settings store -----------------------------------------

void module_error(const char *, const char *, int, const char *fmt, ...) {
  char text[512];
  va_list args;
  va_start(args, fmt);
  vsnprintf(text, sizeof(text), fmt, args);
  va_end(args);
}

extern "C" {
int db_get_network(DbNetwork *rec) {
  const uint8_t iface = rec->iface;
  *rec = g_store.net;
  rec->iface = iface;
  return 0;
}
int db_set_network(DbNetwork *rec) {
  g_store.net = *rec;
  return 0;
}
int db_get_port(DbPort *rec) {
  *rec = g_store.port;
  return 0;
}
int db_set_port_http(int port) {
  if (port < 1 || port > 65535) abort();
  g_store.port.http = port;
  return 0;
}
int db_get_device(DbDevice *rec) {
  *rec = g_store.dev;
  return 0;
}
int db_set_device_title(const char *title) {
  if (!search_title_is_valid(title)) abort();
  snprintf(g_store.dev.title, sizeof(g_store.dev.title), "%s", title);
  return 0;
}
int oem_get_index(void) { return 0; }
int oem_get_device(DbOem *rec) {
  memset(rec, 0, sizeof(*rec));
  return 0;
}
int db_get_users(DbUser **list, int *count) {
  *list = (DbUser *)malloc(sizeof(DbUser));
  **list = g_store.admin;
  *count = 1;
  return 0;
}
void __qz_free(void *ptr, const char *, int) { free(ptr); }
int db_set_user(DbUser *) { return 0; }
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // The handler's console lines are of no interest here.
  if (!freopen("/dev/null", "w", stdout)) return 0;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static SearchBudgets budgets;
  g_nowMs += 61000;
  seed_store();
  const Store before = g_store;
  g_framesSent = 0;
  g_reportAllowed = size > 0 && (data[size - 1] & 1);
  RawResponder raw;
  raw.haveMac = true;
  // The camera's MAC is taken from the frame's target, so that modifies reach the store.
  static const uint8_t kCamera[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
  memcpy(raw.mac, size >= 26 ? data + 20 : kCamera, 6);
  raw.budgets = &budgets;
  raw.out = {send_frame, can_send, nullptr};
  search_handle_frame(&raw, data, size);
  if (g_framesSent > 1) abort();
  if (g_framesSent == 1 && memcmp(g_lastDestination, data + 6, 6) != 0) abort();
  const DbNetwork &net = g_store.net;
  check_address(before.net.netmask, net.netmask, nullptr, true);
  check_address(before.net.ip, net.ip, net.netmask, false);
  // A gateway is usable and in the subnet of the address, or cleared (none).
  if (net.gateway[0]) check_address(before.net.gateway, net.gateway, net.netmask, false);
  const bool moved = strcmp(before.net.ip, net.ip) != 0 ||
                     strcmp(before.net.netmask, net.netmask) != 0 ||
                     strcmp(before.net.gateway, net.gateway) != 0;
  if (moved && net.gateway[0] && !search_gateway_in_subnet(net.gateway, net.ip, net.netmask)) {
    fprintf(stderr, "gateway %s stored outside %s/%s\n", net.gateway, net.ip, net.netmask);
    abort();
  }
  return 0;
}
