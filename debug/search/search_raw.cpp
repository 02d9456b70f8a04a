// Raw search and modify frames: the reply texts, the modify of the store, the handler
// of each captured frame, and the announcer.
#include "search_raw.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "osa.h"
#include "search_iface.h"
#include "search_proto.h"
#include "search_store.h"

static int seconds_since_boot(void) {
  FILE *fp = fopen("/proc/uptime", "re");
  if (!fp) return 0;
  char line[128] = "";
  if (!fgets(line, sizeof(line), fp)) line[0] = '\0';
  fclose(fp);
  return search_parse_uptime(line);
}

// Fills the reply text; live addresses when allowLive is set (a search reply with
// DHCP on).
static void reply_text(char *out, size_t size, bool allowLive) {
  ReplySnapshot snap;
  snapshot_get(&snap);
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

int search_response(RawResponder *raw, const uint8_t dst[6]) {
  char text[SEARCH_REPLY_TEXT_SIZE];
  reply_text(text, sizeof(text), true);
  uint8_t frame[SEARCH_FRAME_LEN];
  search_build_search_reply(frame, dst, raw->mac, text);
  if (raw->out.send(raw->out.context, frame, sizeof(frame)) != 0) {
    SEARCH_ERROR(__LINE__, "Send Packet Failed. \n");
    return -1;
  }
  return 0;
}

int modify_reponse(RawResponder *raw, const uint8_t dst[6], int result) {
  char text[SEARCH_MODIFY_REPLY_TEXT_SIZE];
  reply_text(text, sizeof(text), false);
  uint8_t frame[SEARCH_FRAME_LEN];
  search_build_modify_reply(frame, dst, raw->mac, result, text);
  if (raw->out.send(raw->out.context, frame, sizeof(frame)) != 0) {
    SEARCH_ERROR(__LINE__, "Send Packet Failed. \n");
    return -1;
  }
  return 0;
}

// The raw modify's edit: port (always), title, then the address fields, written only
// when they changed.
static void edit_raw_modify(ModifyPlan &plan, const SearchModifyFields &f) {
  const DbNetwork current = plan.net;
  DbNetwork *next = &plan.net;
  // Peers put the DHCP flag in the user field's leading digits; a name gives 0.
  next->dhcp = (uint8_t)strtol(f.field[MODIFY_USER], nullptr, 10);
  // The netmask first, then the address: the gateway is judged against both.
  take_netmask(next->netmask, sizeof(next->netmask), f.field[MODIFY_NETMASK], "modify_device");
  take_host_address(next->ip, sizeof(next->ip), f.field[MODIFY_IP], next->netmask, "ip",
                    "modify_device");
  take_gateway(next, f.field[MODIFY_GATEWAY], "modify_device");
  take_address(next->dns1, sizeof(next->dns1), f.field[MODIFY_DNS]);
  long port = strtol(f.field[MODIFY_HTTP_PORT], nullptr, 10);
  plan.httpPort = port < 1 ? 1 : port > 65535 ? 65535 : port;
  plan_write(&plan, WRITE_PORT);
  plan.title = f.field[MODIFY_TITLE];
  if (title_usable(plan.title, "modify_device")) plan_write(&plan, WRITE_TITLE);
  const bool changed =
      next->dhcp != current.dhcp || strcmp(next->ip, current.ip) != 0 ||
      strcmp(next->netmask, current.netmask) != 0 || strcmp(next->gateway, current.gateway) != 0 ||
      strcmp(next->dns1, current.dns1) != 0;
  if (changed) plan_write(&plan, WRITE_NETWORK);
  plan.result = changed ? 1 : 0;
}

// A text from the network as the console shows it (see search_escape_text).
struct ShownText {
  char text[SEARCH_ESCAPED_SIZE(SEARCH_FRAME_LEN)];
  explicit ShownText(const char *raw) { search_escape_text(raw, strlen(raw), text, sizeof(text)); }
};

// Carries out a modify text: -1 refused or a store write failed, 0 accepted with the
// address settings unchanged, 1 accepted and changed; *stored is the wired row after it.
// report: print the request's fields.
static int modify_device(const char *text, size_t len, bool report, DbNetwork *stored) {
  SearchModifyFields f;
  search_split_modify_text(text, len, &f);
  if (report)
    OSA_printf("===Modify Device==IP:%s HttpPort:%s Netmask:%s Gateway:%s Dns:%s== \n",
               ShownText(f.field[MODIFY_IP]).text, ShownText(f.field[MODIFY_HTTP_PORT]).text,
               ShownText(f.field[MODIFY_NETMASK]).text, ShownText(f.field[MODIFY_GATEWAY]).text,
               ShownText(f.field[MODIFY_DNS]).text);
  const char *user = f.field[MODIFY_USER];
  const char *password = f.field[MODIFY_PASSWORD];
  if (!user[0] || !password[0]) return -1;
  int result = modify_store(
      user, password, [&f](ModifyPlan &plan) { edit_raw_modify(plan, f); }, "modify_device",
      stored);
  return result == MODIFY_REFUSED ? -1 : result;
}

static uint64_t mac_key(const uint8_t mac[6]) {
  uint64_t key = 0;
  for (int i = 0; i < 6; i++) key = (key << 8) | mac[i];
  return key;
}

void search_handle_frame(RawResponder *raw, const uint8_t *frame, size_t caplen) {
  if (caplen <= SEARCH_HEADER_LEN) return;
  SearchRequest req;
  SearchRequestKind kind = search_parse_frame(frame, caplen, raw->haveMac ? raw->mac : nullptr, &req);
  if (kind == SEARCH_REQ_IGNORE) return;
  uint8_t requester[6];
  memcpy(requester, req.requester, 6);
  // Over budget, a search or a modify is dropped silently: no check, no print, no reply.
  if (!raw->budgets->reply.allow(mac_key(requester), search_monotonic_ms())) return;
  if (kind == SEARCH_REQ_SEARCH) {
    search_response(raw, requester);
    return;
  }
  const bool report = search_report_allowed(2);  // "Modify Device:" and its fields
  if (report) {
    char masked[SEARCH_FRAME_LEN];
    search_mask_modify_text(req.text, req.textLen, masked, sizeof(masked));
    OSA_printf("Modify Device:%s \n", ShownText(masked).text);
  }
  NetworkChangeLock networkChange;  // until eth0 holds what this modify stored
  DbNetwork stored;
  memset(&stored, 0, sizeof(stored));
  int result = modify_device(req.text, req.textLen, report, &stored);
  modify_reponse(raw, requester, result != -1 ? 1 : 0);
  if (result == 1) OSA_printf("modify device info. \n");
  // Only an accepted modify touches the interface.
  if (result != -1) apply_network(&stored);
}

void *search_timer_thread(void *arg) {
  RawResponder *raw = (RawResponder *)arg;
  OSA_thrSetName("search_timer");
  for (unsigned pass = 1; search_running(); pass++) {
    if (pass % 30 == 0 && raw->out.ready(raw->out.context)) search_response(raw, kBroadcastMac);
    search_report_flush();
    if (search_running()) search_sleep_ms(1000);
  }
  return nullptr;
}
