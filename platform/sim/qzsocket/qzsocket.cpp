// Message-socket client: one connection per process to the control process.
//
// A receive thread owns the connection: it connects (each new attempt kRetryMs
// after the last), receives frames and hands each well-formed one
// to the callback, and starts over when the peer goes away. Senders on any thread
// use the same descriptor under send_lock; the receive thread changes the descriptor
// only under that lock, so a send never races with a reconnect.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>

#include "qzsocket.h"
#include "qzsocket_frame.h"
#include "qzstd.h"

namespace {

const int kRetryMs = 100;
const int kSendWaitMs = 200;
// Bytes after a delivered message's data that are zero, so a handler that reads a
// fixed-size record from a short message reads zeros, never stale or foreign bytes.
const int kZeroTail = 64;
const int kRequestSlots = 64;

struct Client {
  pthread_mutex_t life_lock;  // serialises init and uninit
  pthread_mutex_t send_lock;  // guards fd and sender
  int fd;
  uint32_t sender;
  std::atomic<int> state;
  std::atomic<bool> running;
  bool started;
  int wake[2];  // written by uninit to end the receive thread's wait
  pthread_t thread;
  QzSockCallback callback;
  void *context;
  struct sockaddr_un address;
  int address_len;
};

Client g_client = {PTHREAD_MUTEX_INITIALIZER, PTHREAD_MUTEX_INITIALIZER, -1, 0, {0}, {false},
                   false, {-1, -1}, {}, nullptr, nullptr, {}, 0};

struct Requests {
  pthread_mutex_t lock;
  QzRequestEntry entries[kRequestSlots];
  int count;
};

Requests g_requests = {PTHREAD_MUTEX_INITIALIZER, {}, 0};

// Only the receive thread writes here; the slack keeps the zero tail inside.
alignas(8) uint8_t g_packet[QZ_FRAME_MAX_SIZE + kZeroTail];

void set_fd(int fd) {
  pthread_mutex_lock(&g_client.send_lock);
  int old = g_client.fd;
  g_client.fd = fd;
  pthread_mutex_unlock(&g_client.send_lock);
  if (old >= 0) close(old);
}

// Sleeps up to ms; returns true when uninit asked the thread to end.
bool wait_for_stop(int ms) {
  struct pollfd p = {g_client.wake[0], POLLIN, 0};
  return poll(&p, 1, ms) > 0 || !g_client.running.load();
}

int try_connect() {
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<const struct sockaddr *>(&g_client.address),
              static_cast<socklen_t>(g_client.address_len)) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

void deliver(const QzMsgHeader &wire, const uint8_t *data) {
  QzMsgHeader header = wire;
  uint8_t *tail = g_packet + QZ_FRAME_HEADER_SIZE + header.length;
  memset(tail, 0, kZeroTail);
  void *payload = const_cast<uint8_t *>(data);
  if (g_client.callback)
    g_client.callback(g_client.context, &header, payload);
  else
    dispatch_request(static_cast<int>(header.id),
                     static_cast<int>(qz_get_bits(header.sender, 0, 16)), payload);
}

// Reads one packet from a readable connection. Returns -1 when the connection is
// gone and must be made again.
int receive_one(int fd) {
  ssize_t n = qz_frame_recv(fd, g_packet, QZ_FRAME_MAX_SIZE);
  if (n == 0 && qz_frame_peer_gone(fd)) return -1;
  if (n < 0) return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
  QzMsgHeader header;
  const uint8_t *data = nullptr;
  if (static_cast<size_t>(n) > QZ_FRAME_MAX_SIZE ||
      qz_frame_decode(g_packet, static_cast<size_t>(n), &header, &data) != 0) {
    fprintf(stderr, "qzsocket: dropped a malformed frame of %zd bytes\n", n);
    return 0;
  }
  deliver(header, data);
  return 0;
}

void *receive_thread(void *) {
  qz_task_set_name("qzsocket_rx");
  int fd = -1;
  bool first = true;
  while (g_client.running.load()) {
    if (fd < 0) {
      // Every reconnect waits first: a peer that accepts and closes at once (the
      // control process with every slot taken) must not make this a busy loop.
      if (!first && wait_for_stop(kRetryMs)) break;
      first = false;
      fd = try_connect();
      if (fd < 0) {
        g_client.state.store(QZ_SOCK_CONNECTING);
        continue;
      }
      set_fd(fd);
      g_client.state.store(QZ_SOCK_CONNECTED);
    }
    struct pollfd p[2] = {{fd, POLLIN, 0}, {g_client.wake[0], POLLIN, 0}};
    if (poll(p, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (p[1].revents) break;
    if (p[0].revents && receive_one(fd) != 0) {
      // The peer went away: forget the connection and connect again.
      g_client.state.store(QZ_SOCK_CONNECTING);
      set_fd(-1);
      fd = -1;
    }
  }
  set_fd(-1);
  g_client.state.store(QZ_SOCK_DISCONNECTED);
  return nullptr;
}

}  // namespace

extern "C" {

int qz_sock_init(QzSockCallback callback, void *context, int clientId, const char *path) {
  pthread_mutex_lock(&g_client.life_lock);
  int result = -1;
  struct sockaddr_un address;
  int len = qz_frame_address(path, &address);
  if (!g_client.started && len > 0 && pipe2(g_client.wake, O_CLOEXEC) == 0) {
    g_client.address = address;
    g_client.address_len = len;
    g_client.callback = callback;
    g_client.context = context;
    pthread_mutex_lock(&g_client.send_lock);
    g_client.sender = static_cast<uint32_t>(clientId) & 0xFFFFu;
    pthread_mutex_unlock(&g_client.send_lock);
    g_client.state.store(QZ_SOCK_CONNECTING);
    g_client.running.store(true);
    if (pthread_create(&g_client.thread, nullptr, receive_thread, nullptr) == 0) {
      g_client.started = true;
      result = 0;
    } else {
      g_client.running.store(false);
      g_client.state.store(QZ_SOCK_DISCONNECTED);
      close(g_client.wake[0]);
      close(g_client.wake[1]);
    }
  }
  pthread_mutex_unlock(&g_client.life_lock);
  return result;
}

int qz_sock_uninit(void) {
  pthread_mutex_lock(&g_client.life_lock);
  // The receive thread cannot wait for itself (uninit from a callback).
  if (!g_client.started || pthread_equal(pthread_self(), g_client.thread)) {
    pthread_mutex_unlock(&g_client.life_lock);
    return -1;
  }
  g_client.running.store(false);
  char byte = 1;
  ssize_t ignored = write(g_client.wake[1], &byte, 1);
  (void)ignored;
  pthread_join(g_client.thread, nullptr);
  close(g_client.wake[0]);
  close(g_client.wake[1]);
  g_client.wake[0] = g_client.wake[1] = -1;
  g_client.started = false;
  pthread_mutex_unlock(&g_client.life_lock);
  return 0;
}

int qz_client_socket_state(void) { return g_client.state.load(); }

int sock_request_register(const QzRequestEntry *table, int count) {
  if (!table || count < 0) return -1;
  pthread_mutex_lock(&g_requests.lock);
  int added = 0;
  for (int i = 0; i < count; i++) {
    bool known = false;
    for (int k = 0; k < g_requests.count; k++) {
      if (g_requests.entries[k].id == table[i].id) known = true;
    }
    if (!known) added++;
  }
  int result = -1;
  if (g_requests.count + added <= kRequestSlots) {
    // A second registration of an id replaces its handler.
    for (int i = 0; i < count; i++) {
      int slot = g_requests.count;
      for (int k = 0; k < g_requests.count; k++) {
        if (g_requests.entries[k].id == table[i].id) slot = k;
      }
      g_requests.entries[slot] = table[i];
      if (slot == g_requests.count) g_requests.count++;
    }
    result = 0;
  }
  pthread_mutex_unlock(&g_requests.lock);
  return result;
}

int dispatch_request(int id, int sender, void *data) {
  (void)sender;
  QzRequestHandler handler = nullptr;
  pthread_mutex_lock(&g_requests.lock);
  for (int k = 0; k < g_requests.count; k++) {
    if (g_requests.entries[k].id == id) handler = g_requests.entries[k].handler;
  }
  pthread_mutex_unlock(&g_requests.lock);
  if (!handler) return -1;
  return handler(g_client.context, data);
}

int qz_sock_send_msg(int target, int id, const void *data, int length) {
  if (length < 0 || length > QZ_FRAME_MAX_DATA || (length > 0 && !data)) return -1;
  QzMsgHeader header;
  header.length = static_cast<uint32_t>(length);
  header.id = static_cast<uint32_t>(id);
  header.target = static_cast<uint32_t>(target);
  pthread_mutex_lock(&g_client.send_lock);
  header.sender = g_client.sender;
  int result = g_client.fd < 0 ? -1 : qz_frame_send(g_client.fd, &header, data, kSendWaitMs);
  pthread_mutex_unlock(&g_client.send_lock);
  return result;
}

}  // extern "C"
