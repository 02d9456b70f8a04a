// Encoding and decoding of message-socket frames (see qzsocket_frame.h).
#include "qzsocket_frame.h"

#include <endian.h>
#include <errno.h>
#include <poll.h>
#include <stddef.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>

static uint32_t read_le32(const uint8_t *p) {
  uint32_t v;
  memcpy(&v, p, sizeof v);
  return le32toh(v);
}

int qz_frame_decode(const void *packet, size_t size, QzMsgHeader *header, const uint8_t **data) {
  if (!packet || !header || !data || size < QZ_FRAME_HEADER_SIZE) return -1;
  const uint8_t *bytes = static_cast<const uint8_t *>(packet);
  uint32_t length = read_le32(bytes);
  if (length > QZ_FRAME_MAX_DATA || size - QZ_FRAME_HEADER_SIZE != length) return -1;
  header->length = length;
  header->id = read_le32(bytes + 4);
  header->sender = read_le32(bytes + 8);
  header->target = read_le32(bytes + 12);
  *data = bytes + QZ_FRAME_HEADER_SIZE;
  return 0;
}

int qz_frame_send(int fd, const QzMsgHeader *header, const void *data, int timeoutMs) {
  if (fd < 0 || !header || header->length > QZ_FRAME_MAX_DATA || (header->length && !data))
    return -1;
  uint32_t wire[4] = {htole32(header->length), htole32(header->id), htole32(header->sender),
                      htole32(header->target)};
  struct iovec parts[2];
  parts[0].iov_base = wire;
  parts[0].iov_len = sizeof wire;
  parts[1].iov_base = const_cast<void *>(data);
  parts[1].iov_len = header->length;
  struct msghdr msg;
  memset(&msg, 0, sizeof msg);
  msg.msg_iov = parts;
  msg.msg_iovlen = header->length ? 2 : 1;
  bool waited = false;
  for (;;) {
    ssize_t sent = sendmsg(fd, &msg, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent == static_cast<ssize_t>(sizeof wire + header->length)) return 0;
    if (sent >= 0) return -1;  // a packet socket never sends part of a packet
    if (errno == EINTR) continue;
    if ((errno != EAGAIN && errno != EWOULDBLOCK) || waited) return -1;
    // The peer is slow to read: wait a little for room, once.
    struct pollfd p = {fd, POLLOUT, 0};
    if (poll(&p, 1, timeoutMs) <= 0 || !(p.revents & POLLOUT)) return -1;
    waited = true;
  }
}

ssize_t qz_frame_recv(int fd, void *buf, size_t cap) {
  for (;;) {
    // MSG_TRUNC: the result is the real packet size even when it did not fit.
    ssize_t n = recv(fd, buf, cap, MSG_TRUNC | MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    return n;
  }
}

int qz_frame_peer_gone(int fd) {
  // recv gives 0 both for an empty packet and at the end of the connection. The end
  // comes only once nothing is queued (the peer may have closed right after sending),
  // and it raises a hang-up.
  int queued = 0;
  if (ioctl(fd, FIONREAD, &queued) == 0 && queued > 0) return 0;
  struct pollfd p = {fd, POLLRDHUP, 0};
  return poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLRDHUP | POLLERR | POLLNVAL));
}

int qz_frame_address(const char *path, struct sockaddr_un *addr) {
  if (!path || !addr) return -1;
  size_t n = strlen(path);
  if (n == 0 || n >= sizeof addr->sun_path) return -1;
  memset(addr, 0, sizeof *addr);
  addr->sun_family = AF_UNIX;
  memcpy(addr->sun_path, path, n);
  return static_cast<int>(offsetof(struct sockaddr_un, sun_path) + n + 1);
}
