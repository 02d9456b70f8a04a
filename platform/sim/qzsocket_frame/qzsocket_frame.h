// Frames of the message socket, shared by the client library and the control-process
// simulator. The socket is a Unix SOCK_SEQPACKET socket: every frame is one packet,
// a 16-byte header (four little-endian 32-bit words: length, id, sender, target)
// followed by exactly `length` data bytes. docs/qzsocket.md describes the format.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

#include "qzsocket.h"

enum {
  QZ_FRAME_HEADER_SIZE = 16,
  QZ_FRAME_MAX_DATA = 64 * 1024,
  QZ_FRAME_MAX_SIZE = QZ_FRAME_HEADER_SIZE + QZ_FRAME_MAX_DATA,
};

// Checks one received packet of `size` bytes. Returns 0 and fills *header and *data
// (pointing into packet) when the packet is a whole, well-formed frame: at least a
// header, a data length within QZ_FRAME_MAX_DATA and exactly that many data bytes.
// Returns -1 otherwise; nothing outside packet[0, size) is ever read.
int qz_frame_decode(const void *packet, size_t size, QzMsgHeader *header, const uint8_t **data);

// Sends one frame (header.length data bytes from data) as one packet without raising
// SIGPIPE. Waits at most timeoutMs for room in the socket. Returns 0 or -1.
int qz_frame_send(int fd, const QzMsgHeader *header, const void *data, int timeoutMs);

// Receives one packet into buf. Returns its size (which may exceed cap: the packet
// was cut and must be dropped), -1 on an error (errno). 0 is an empty packet or the
// peer's close: qz_frame_peer_gone tells them apart.
ssize_t qz_frame_recv(int fd, void *buf, size_t cap);

// After a receive of 0 bytes: non-zero when the peer has hung up and nothing more is
// queued, 0 when it was an empty packet (malformed, to be dropped like any other).
int qz_frame_peer_gone(int fd);

// Fills a Unix socket address for path. Returns its length, or -1 if path does not fit.
struct sockaddr_un;
int qz_frame_address(const char *path, struct sockaddr_un *addr);
