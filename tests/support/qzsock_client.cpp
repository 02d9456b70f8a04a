// qzsock-client: a small message-socket client for the end-to-end cases. It connects
// like the parking service (client id 13), sends the ready notice 6119 each time the
// connection comes up, and prints what happens, one flushed line per event:
//   connected / disconnected        the library's connection state changed
//   ready sent / ready failed       result of qz_sock_send_msg(1, 6119, NULL, 0)
//   request 6049 length L: A B C D E   a request reached the registered handler
// It ends on SIGINT/SIGTERM or after --seconds (default 30).
//
// With --raw it skips the library: it connects by itself, sends packets that are not
// well-formed frames (an empty one among them) followed by two good ones (6116 "ok", 6117 "a\nb"), and ends.
#include <getopt.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

#include "qzsocket.h"
#include "qzsocket_frame.h"
#include "qzstd.h"

namespace {

std::atomic<bool> g_stop{false};

void on_signal(int) { g_stop.store(true); }

// The data length of the message being delivered: handlers get only the data.
int g_delivered_length = -1;

int on_avs(void *, void *data) {
  uint32_t words[5];
  memcpy(words, data, sizeof words);  // the library pads short messages with zeros
  printf("request 6049 length %d: %u %u %u %u %u\n", g_delivered_length, words[0], words[1],
         words[2], words[3], words[4]);
  fflush(stdout);
  return 0;
}

int on_message(void *, QzMsgHeader *header, void *data) {
  g_delivered_length = static_cast<int>(header->length);
  return dispatch_request(static_cast<int>(header->id),
                          static_cast<int>(qz_get_bits(header->sender, 0, 16)), data);
}

int send_raw(const char *path) {
  struct sockaddr_un addr;
  int len = qz_frame_address(path, &addr);
  int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
  if (len < 0 || fd < 0 || connect(fd, reinterpret_cast<sockaddr *>(&addr), len) != 0) {
    perror("qzsock-client: connect");
    return 1;
  }
  const uint8_t shorter_than_header[5] = {1, 2, 3, 4, 5};
  // Claims 100 data bytes, carries 4.
  const uint8_t overstated[20] = {100, 0, 0, 0, 0xe4, 0x17, 0, 0, 13, 0, 0, 0, 1, 0, 0, 0, 'b', 'a', 'd', 0};
  send(fd, "", 0, 0);  // an empty packet: not the end of the connection
  send(fd, shorter_than_header, sizeof shorter_than_header, 0);
  send(fd, overstated, sizeof overstated, 0);
  QzMsgHeader ok = {3, 6116, 13, 1};
  QzMsgHeader two_lines = {4, 6117, 13, 1};
  int rc = qz_frame_send(fd, &ok, "ok", 1000) | qz_frame_send(fd, &two_lines, "a\nb", 1000);
  close(fd);
  return rc == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
  const char *path = "/var/run/qzsocket";
  long seconds = 30;
  bool raw = false;
  static const struct option options[] = {{"socket", required_argument, nullptr, 's'},
                                          {"seconds", required_argument, nullptr, 't'},
                                          {"raw", no_argument, nullptr, 'r'},
                                          {nullptr, 0, nullptr, 0}};
  int opt;
  while ((opt = getopt_long(argc, argv, "s:t:r", options, nullptr)) != -1) {
    if (opt == 's') path = optarg;
    else if (opt == 't') seconds = strtol(optarg, nullptr, 10);
    else if (opt == 'r') raw = true;
    else return 2;
  }
  if (raw) return send_raw(path);
  signal(SIGINT, on_signal);
  signal(SIGTERM, on_signal);

  static const QzRequestEntry table[] = {{6049, on_avs, nullptr, nullptr}};
  if (sock_request_register(table, 1) != 0 || qz_sock_init(on_message, nullptr, 13, path) != 0) {
    fprintf(stderr, "qzsock-client: cannot start the message socket\n");
    return 1;
  }
  bool connected = false;
  for (long tick = 0; !g_stop.load() && tick < seconds * 50; tick++) {
    bool now = qz_client_socket_state() == QZ_SOCK_CONNECTED;
    if (now != connected) {
      connected = now;
      printf("%s\n", now ? "connected" : "disconnected");
      if (now) printf("%s\n", qz_sock_send_msg(1, 6119, nullptr, 0) == 0 ? "ready sent" : "ready failed");
      fflush(stdout);
    }
    usleep(20000);
  }
  qz_sock_uninit();
  return 0;
}
