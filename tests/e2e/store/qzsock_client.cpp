// qzsock-client: a small message-socket client for the end-to-end cases. It connects
// like the parking service (client id 13), sends the ready notice 6119 each time the
// connection comes up, and prints what happens, one flushed line per event:
//   connected / disconnected        the library's connection state changed
//   ready sent / ready failed       result of qz_sock_send_msg(1, 6119, NULL, 0)
//   request 6049 length L: A B C D E   a request reached the registered handler
// It ends on SIGINT/SIGTERM or after --seconds (default 30).
#include <getopt.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

#include "qzsocket.h"
#include "qzstd.h"

namespace {

std::atomic<bool> g_stop{false};

void on_signal(int) { g_stop.store(true); }

int on_avs(void *, void *data) {
  uint32_t words[5];
  memcpy(words, data, sizeof words);  // the library pads short messages with zeros
  printf("request 6049 length %d: %u %u %u %u %u\n", qz_sock_data_length(), words[0], words[1],
         words[2], words[3], words[4]);
  fflush(stdout);
  return 0;
}

int on_message(void *, QzMsgHeader *header, void *data) {
  return dispatch_request(static_cast<int>(header->id),
                          static_cast<int>(qz_get_bits(header->sender, 0, 16)), data);
}

}  // namespace

int main(int argc, char **argv) {
  const char *path = "/var/run/qzsocket";
  long seconds = 30;
  static const struct option options[] = {{"socket", required_argument, nullptr, 's'},
                                          {"seconds", required_argument, nullptr, 't'},
                                          {nullptr, 0, nullptr, 0}};
  int opt;
  while ((opt = getopt_long(argc, argv, "s:t:", options, nullptr)) != -1) {
    if (opt == 's') path = optarg;
    else if (opt == 't') seconds = strtol(optarg, nullptr, 10);
    else return 2;
  }
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
