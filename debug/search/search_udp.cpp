// The UDP "tovrin" protocol on OEM index 12: searches answered by broadcast, modifies
// aimed at eth0's MAC carried out against the store (never applied to eth0).
#include "search_udp.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/uio.h>
#include <unistd.h>

#include "osa.h"
#include "qzutil.h"
#include "search_proto.h"
#include "search_store.h"

// A datagram that waited in the socket's queue longer than this is dropped unserved,
// and the queue holds only a few: a burst must not hold later requests back. At most
// kDatagramsPerSecond are read in a second; past that the thread reads nothing until
// the second is over and the kernel drops what comes (the queue is full), so a flood
// at any rate costs the thread no more than that many receives a second.
enum { kMaxQueuedMs = 1000, kReceiveBufferBytes = 4096, kDatagramsPerSecond = 2000 };

// A broadcast socket for one reply; -1 with the report.
static int open_reply_socket(void) {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
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

int tovrin_search_resp(const UdpResponder *udp) {
  int fd = open_reply_socket();
  if (fd < 0) return -1;
  if (!udp->haveMac) {
    OSA_printf("Tovrin Get MAC Fail. \n");
    close(fd);
    return -1;
  }
  ReplySnapshot snap;
  snapshot_get(&snap);
  uint8_t reply[TOVRIN_SEARCH_REPLY_LEN];
  tovrin_build_search_reply(reply, udp->mac, inet_addr(snap.net.ip), inet_addr(snap.net.netmask),
                            inet_addr(snap.net.gateway), device_name(&snap.dev, &snap.oem),
                            snap.dev.firmware);
  return send_broadcast(fd, reply, sizeof(reply));
}

int tovrin_modify_resp(const UdpResponder *udp, const char *text) {
  int fd = open_reply_socket();
  if (fd < 0) return -1;
  if (!udp->haveMac) {
    SEARCH_ERROR(__LINE__, "Tovrin Get MAC Fail.\n");
    close(fd);
    return -1;
  }
  uint8_t reply[TOVRIN_MODIFY_REPLY_LEN];
  tovrin_build_modify_reply(reply, udp->mac, text);
  return send_broadcast(fd, reply, sizeof(reply));
}

// The UDP modify's edit: the wired row (written whether or not it changed), the
// title, and the administrator's new password.
static void edit_tovrin_modify(ModifyPlan &plan, TovrinModify &m) {
  DbNetwork *net = &plan.net;
  net->dhcp = 0;
  // The netmask first, then the address: the gateway is judged against both.
  take_netmask(net->netmask, sizeof(net->netmask), m.netmask, "tovrin_modify");
  take_host_address(net->ip, sizeof(net->ip), m.ip, net->netmask, "ip", "tovrin_modify");
  take_gateway(net, m.gateway, "tovrin_modify");
  OSA_copyText(net->dns1, sizeof(net->dns1), net->gateway);
  plan_write(&plan, WRITE_NETWORK);
  qz_string_strip(m.title, '\n');
  qz_string_strip(m.title, '\r');
  plan.title = m.title;
  if (title_usable(m.title, "tovrin_modify")) plan_write(&plan, WRITE_TITLE);
  // Only the password changes: the administrator keeps the privilege and permissions
  // stored for it (the credentials just passed, so the row is there).
  if (m.newPassword[0] && strcmp(m.newPassword, m.password) != 0 &&
      stored_user("admin", &plan.user) == 0) {
    OSA_copyText(plan.user.password, sizeof(plan.user.password), m.newPassword);
    plan_write(&plan, WRITE_USER);
  }
  plan.result = 0;
}

int tovrin_modify(const uint8_t *req, size_t len, bool report) {
  TovrinModify m;
  tovrin_parse_modify(req, len, &m);
  if (report && m.checksumComputed != m.checksumReceived)
    OSA_printf("tovrin modify device.chk_sum:%u!=%u. \n", (unsigned)m.checksumComputed,
               (unsigned)m.checksumReceived);
  NetworkChangeLock networkChange;  // not between a raw modify's write and its apply
  DbNetwork stored;
  int result = modify_store(
      "admin", m.password, [&m](ModifyPlan &plan) { edit_tovrin_modify(plan, m); },
      "tovrin_modify", &stored);
  if (result != MODIFY_REFUSED) return result;
  if (report) OSA_printf("tovrin modify device.password:%s is wrong. \n", kMaskedPassword);
  return -1;
}

void tovrin_handle_datagram(UdpResponder *udp, const uint8_t *dgram, size_t len, uint32_t sender) {
  int command = tovrin_classify(dgram, len);
  // Replies are broadcast: the same budget as raw replies, keyed by the sender's IPv4
  // address (kept apart from MACs by bit 48).
  const uint64_t requester = (1ull << 48) | sender;
  if (command == TOVRIN_CMD_SEARCH) {
    if (udp->budgets->reply.allow(requester, search_monotonic_ms())) tovrin_search_resp(udp);
    return;
  }
  if (command != TOVRIN_CMD_MODIFY) return;
  if (!udp->haveMac) {  // no modify can be matched to this camera: said within the share
    if (search_report_allowed(1))
      module_error("qz_search", "is_mac_match", __LINE__, "Tovrin Get MAC Fail.\n");
    return;
  }
  // Bytes 10..15 of a datagram of 11..15 bytes are partly missing: they read as zero.
  // A modify for another camera costs this one's budgets nothing.
  uint8_t target[6] = {0};
  memcpy(target, dgram + 10, len - 10 < 6 ? len - 10 : 6);
  if (memcmp(target, udp->mac, 6) != 0) return;
  // Over either budget: dropped before the password is looked at, silently.
  const int64_t now = search_monotonic_ms();
  if (!udp->budgets->reply.allow(requester, now) || !udp->budgets->udpModify.allow(requester, now))
    return;
  const bool report = search_report_allowed(2);  // what it got wrong, and the failure
  if (tovrin_modify(dgram, len, report) == 0) {
    tovrin_modify_resp(udp, "Successfully.");
  } else {
    if (report)
      module_error("qz_search", "tovrin_socket_thread", __LINE__, "tovrin modify failed.\n");
    tovrin_modify_resp(udp, "Failed.");
  }
}

// The request socket: bound to the request port, a short queue, arrival times on.
static int open_request_socket(void) {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    perror("tovrin socket");
    return -1;
  }
  int bufferBytes = kReceiveBufferBytes, on = 1;
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof(bufferBytes));
  setsockopt(fd, SOL_SOCKET, SO_TIMESTAMP, &on, sizeof(on));
  struct sockaddr_in addr;
  memset(&addr, 0, sizeof(addr));
  addr.sin_family = AF_INET;
  addr.sin_port = htons(TOVRIN_REQUEST_PORT);
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(fd, (struct sockaddr *)&addr, sizeof(addr)) < 0) {
    perror("tovrin bind");
    close(fd);
    return -1;
  }
  return fd;
}

// Receives one datagram: its length (or -1), its sender (host order) and how long it
// waited in the queue (0 when the kernel gave no arrival time).
static ssize_t receive_request(int fd, uint8_t *buf, size_t size, uint32_t *sender,
                               int64_t *queuedMs) {
  struct sockaddr_in from;
  memset(&from, 0, sizeof(from));
  struct iovec iov = {buf, size};
  union {
    struct cmsghdr align;
    char bytes[CMSG_SPACE(sizeof(struct timeval))];
  } control;
  struct msghdr msg;
  memset(&msg, 0, sizeof(msg));
  msg.msg_name = &from;
  msg.msg_namelen = sizeof(from);
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  msg.msg_control = control.bytes;
  msg.msg_controllen = sizeof(control.bytes);
  ssize_t n = recvmsg(fd, &msg, 0);
  *sender = ntohl(from.sin_addr.s_addr);
  *queuedMs = 0;
  for (struct cmsghdr *c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
    if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMP) continue;
    // The kernel stamps arrival on the time of day, so the age is taken on that same
    // clock, right after the receive: only a clock step within the datagram's short
    // wait can skew it, and a step back (a negative age) serves the datagram.
    struct timeval arrived, now;
    memcpy(&arrived, CMSG_DATA(c), sizeof(arrived));
    gettimeofday(&now, nullptr);
    *queuedMs = (int64_t)(now.tv_sec - arrived.tv_sec) * 1000 +
                (now.tv_usec - arrived.tv_usec) / 1000;
  }
  return n;
}

void *tovrin_socket_thread(void *arg) {
  UdpResponder *udp = (UdpResponder *)arg;
  OSA_thrSetName("UDPPThread");
  int fd = open_request_socket();
  if (fd < 0) return nullptr;
  uint8_t buf[TOVRIN_MAX_DATAGRAM];
  int64_t windowStartMs = search_monotonic_ms();
  unsigned datagrams = 0;
  while (search_running()) {
    // Wait in short steps so that the thread notices the service stopping.
    struct pollfd pfd = {fd, POLLIN, 0};
    int ready = poll(&pfd, 1, 100);
    if (ready == 0 || (ready < 0 && errno == EINTR)) continue;
    const int64_t now = search_monotonic_ms();
    if (now - windowStartMs >= 1000) {
      windowStartMs = now;
      datagrams = 0;
    }
    if (ready > 0 && ++datagrams > kDatagramsPerSecond) {
      search_sleep_ms((unsigned)(windowStartMs + 1000 - now));
      continue;
    }
    uint32_t sender = 0;
    int64_t queuedMs = 0;
    ssize_t n = ready > 0 ? receive_request(fd, buf, sizeof(buf), &sender, &queuedMs) : -1;
    if (n < 0) {
      perror("tovrin recv failed");
      break;
    }
    if (queuedMs <= kMaxQueuedMs) tovrin_handle_datagram(udp, buf, (size_t)n, sender);
  }
  close(fd);
  return nullptr;
}
