// control-sim: plays the camera's control process on the message socket.
//
// Listens on /var/run/qzsocket (or --socket PATH) and prints one line per message
// received, "<id> <length> <text>", where text is the data up to its first NUL (the
// line is "<id> <length>" when that is empty); control bytes in the text print as
// '.', so every message stays on one line. Reads commands on standard input:
//   avs VPROC VENC MODE   send request 6049 with the 20-byte video-path record
//                         (vprocId, vencId, mode, 0, 0) to every connected client
//   quit                  end
// The end of standard input does not end it (so it can run in the background); quit,
// SIGINT or SIGTERM do, and remove the socket file.
#include <errno.h>
#include <endian.h>
#include <fcntl.h>
#include <getopt.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include "qzsocket_frame.h"

namespace {

const char kDefaultPath[] = "/var/run/qzsocket";
const uint32_t kAvsRequest = 6049;
const uint32_t kControlSender = 0;  // client id of the control process itself
const int kMaxClients = 16;
const int kSendWaitMs = 500;
const size_t kMaxCommand = 256;

struct Peer {
  int fd;
  uint32_t id;  // client id taken from the sender field of its last frame
  int64_t active_ms;  // when it connected or last sent a frame
};

struct Sim {
  const char *path;
  bool verbose;
  int listen_fd;
  int signal_pipe[2];
  bool stdin_open;
  Peer peers[kMaxClients];
  int peer_count;
  char command[kMaxCommand];
  size_t command_len;
  bool command_too_long;
};

Sim g_sim;
alignas(8) uint8_t g_packet[QZ_FRAME_MAX_SIZE];

void on_signal(int) {
  char byte = 1;
  ssize_t ignored = write(g_sim.signal_pipe[1], &byte, 1);
  (void)ignored;
}

void usage(FILE *out) {
  fprintf(out,
          "usage: control-sim [--socket PATH] [--verbose]\n"
          "Plays the control process on the message socket (default %s).\n"
          "Prints \"<id> <length> <text>\" per message received.\n"
          "Commands on standard input:\n"
          "  avs VPROC VENC MODE   send request 6049 to the connected clients\n"
          "  quit                  end\n",
          kDefaultPath);
}

int open_listener(const char *path) {
  struct sockaddr_un addr;
  int len = qz_frame_address(path, &addr);
  if (len < 0) {
    fprintf(stderr, "control-sim: socket path too long: %s\n", path);
    return -1;
  }
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    perror("control-sim: socket");
    return -1;
  }
  // A socket file that nobody answers on is left over from an earlier run.
  if (connect(fd, reinterpret_cast<struct sockaddr *>(&addr), len) == 0) {
    fprintf(stderr, "control-sim: %s is in use by another process\n", path);
    close(fd);
    return -1;
  }
  close(fd);
  unlink(path);
  fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0 || bind(fd, reinterpret_cast<struct sockaddr *>(&addr), len) != 0 ||
      listen(fd, 8) != 0) {
    fprintf(stderr, "control-sim: cannot listen on %s: %s\n", path, strerror(errno));
    if (fd >= 0) close(fd);
    return -1;
  }
  return fd;
}

void drop_peer(int index) {
  if (g_sim.verbose) fprintf(stderr, "control-sim: client %u disconnected\n", g_sim.peers[index].id);
  close(g_sim.peers[index].fd);
  g_sim.peers[index] = g_sim.peers[--g_sim.peer_count];
}

int64_t monotonic_ms() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void accept_peer() {
  int fd = accept4(g_sim.listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  if (g_sim.peer_count == kMaxClients) {
    // A newcomer is usually a restarted service whose old connection lingers: the
    // client idle longest makes room, rather than the newcomer being turned away.
    int idlest = 0;
    for (int i = 1; i < g_sim.peer_count; i++)
      if (g_sim.peers[i].active_ms < g_sim.peers[idlest].active_ms) idlest = i;
    fprintf(stderr, "control-sim: all %d slots taken, dropping client %u (idle longest)\n",
            kMaxClients, g_sim.peers[idlest].id);
    drop_peer(idlest);
  }
  g_sim.peers[g_sim.peer_count++] = Peer{fd, 0, monotonic_ms()};
  if (g_sim.verbose) fprintf(stderr, "control-sim: client connected\n");
}

void print_message(const QzMsgHeader &header, const uint8_t *data) {
  char line[64 + QZ_FRAME_MAX_DATA];
  int n = snprintf(line, 64, "%u %u", header.id, header.length);
  size_t text = strnlen(reinterpret_cast<const char *>(data), header.length);
  if (text > 0) {
    line[n++] = ' ';
    for (size_t i = 0; i < text; i++) line[n++] = data[i] < 0x20 || data[i] == 0x7F ? '.' : data[i];
  }
  line[n++] = '\n';
  fwrite(line, 1, static_cast<size_t>(n), stdout);
  fflush(stdout);
}

// Returns -1 when the client has gone.
int read_peer(Peer &peer) {
  ssize_t n = qz_frame_recv(peer.fd, g_packet, sizeof g_packet);
  if (n == 0 && qz_frame_peer_gone(peer.fd)) return -1;
  if (n < 0) return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
  QzMsgHeader header;
  const uint8_t *data = nullptr;
  if (static_cast<size_t>(n) > sizeof g_packet ||
      qz_frame_decode(g_packet, static_cast<size_t>(n), &header, &data) != 0) {
    fprintf(stderr, "control-sim: dropped a malformed frame of %zd bytes\n", n);
    return 0;
  }
  peer.id = header.sender & 0xFFFFu;
  peer.active_ms = monotonic_ms();
  print_message(header, data);
  return 0;
}

// Reads one decimal or 0x number that fits 32 bits.
bool parse_word(const char *text, uint32_t *out) {
  if (!text || !*text || *text == '-') return false;
  char *end = nullptr;
  errno = 0;
  unsigned long long value = strtoull(text, &end, 0);
  if (errno || *end || value > 0xFFFFFFFFull) return false;
  *out = static_cast<uint32_t>(value);
  return true;
}

void send_avs(char *args) {
  uint32_t record[5] = {0, 0, 0, 0, 0};
  char *save = nullptr;
  int words = 0;
  bool good = true;
  for (char *tok = strtok_r(args, " \t", &save); tok; tok = strtok_r(nullptr, " \t", &save)) {
    if (words == 3 || !parse_word(tok, &record[words])) good = false;
    words++;
  }
  if (!good || words != 3) {
    fprintf(stderr, "control-sim: usage: avs VPROC VENC MODE\n");
    return;
  }
  if (g_sim.peer_count == 0) {
    fprintf(stderr, "control-sim: no client connected\n");
    return;
  }
  uint32_t wire[5];
  for (int i = 0; i < 5; i++) wire[i] = htole32(record[i]);
  for (int i = 0; i < g_sim.peer_count; i++) {
    QzMsgHeader header = {sizeof wire, kAvsRequest, kControlSender, g_sim.peers[i].id};
    if (qz_frame_send(g_sim.peers[i].fd, &header, wire, kSendWaitMs) != 0)
      fprintf(stderr, "control-sim: sending to client %u failed\n", g_sim.peers[i].id);
  }
}

// Runs one command line; returns 1 for quit.
int run_command(char *line) {
  while (*line == ' ' || *line == '\t') line++;
  size_t len = strlen(line);
  while (len > 0 && (line[len - 1] == ' ' || line[len - 1] == '\t' || line[len - 1] == '\r'))
    line[--len] = '\0';
  if (len == 0) return 0;
  if (strcmp(line, "quit") == 0) return 1;
  if (strncmp(line, "avs", 3) == 0 && (line[3] == ' ' || line[3] == '\t' || line[3] == '\0')) {
    send_avs(line + 3);
    return 0;
  }
  fprintf(stderr, "control-sim: unknown command: %s\n", line);
  return 0;
}

// Reads what standard input has; returns 1 for quit.
int read_commands() {
  char chunk[512];
  ssize_t n = read(STDIN_FILENO, chunk, sizeof chunk);
  if (n < 0 && errno == EINTR) return 0;
  if (n <= 0) {
    g_sim.stdin_open = false;
    return 0;
  }
  for (ssize_t i = 0; i < n; i++) {
    if (chunk[i] != '\n') {
      if (g_sim.command_len + 1 < kMaxCommand)
        g_sim.command[g_sim.command_len++] = chunk[i];
      else
        g_sim.command_too_long = true;
      continue;
    }
    g_sim.command[g_sim.command_len] = '\0';
    int quit = 0;
    if (g_sim.command_too_long)
      fprintf(stderr, "control-sim: command too long, ignored\n");
    else
      quit = run_command(g_sim.command);
    g_sim.command_len = 0;
    g_sim.command_too_long = false;
    if (quit) return 1;
  }
  return 0;
}

int serve() {
  for (;;) {
    struct pollfd fds[3 + kMaxClients];
    int count = 0;
    fds[count++] = {g_sim.signal_pipe[0], POLLIN, 0};
    fds[count++] = {g_sim.listen_fd, POLLIN, 0};
    fds[count++] = {g_sim.stdin_open ? STDIN_FILENO : -1, POLLIN, 0};
    for (int i = 0; i < g_sim.peer_count; i++) fds[count++] = {g_sim.peers[i].fd, POLLIN, 0};
    if (poll(fds, static_cast<nfds_t>(count), -1) < 0) {
      if (errno == EINTR) continue;
      perror("control-sim: poll");
      return 1;
    }
    if (fds[0].revents) return 0;
    // Clients first, from the last so that dropping one keeps the others' indexes.
    for (int i = g_sim.peer_count - 1; i >= 0; i--) {
      if (fds[3 + i].revents && read_peer(g_sim.peers[i]) != 0) drop_peer(i);
    }
    if (fds[1].revents) accept_peer();
    if (fds[2].revents && read_commands()) return 0;
  }
}

}  // namespace

int main(int argc, char **argv) {
  g_sim.path = kDefaultPath;
  static const struct option options[] = {
      {"socket", required_argument, nullptr, 's'},
      {"verbose", no_argument, nullptr, 'v'},
      {"help", no_argument, nullptr, 'h'},
      {nullptr, 0, nullptr, 0},
  };
  int opt;
  while ((opt = getopt_long(argc, argv, "s:vh", options, nullptr)) != -1) {
    switch (opt) {
      case 's': g_sim.path = optarg; break;
      case 'v': g_sim.verbose = true; break;
      case 'h': usage(stdout); return 0;
      default: usage(stderr); return 2;
    }
  }
  if (optind != argc) {
    usage(stderr);
    return 2;
  }
  if (pipe2(g_sim.signal_pipe, O_CLOEXEC) != 0) {
    perror("control-sim: pipe");
    return 1;
  }
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_signal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  g_sim.listen_fd = open_listener(g_sim.path);
  if (g_sim.listen_fd < 0) return 1;
  g_sim.stdin_open = true;
  int status = serve();
  while (g_sim.peer_count > 0) drop_peer(g_sim.peer_count - 1);
  close(g_sim.listen_fd);
  unlink(g_sim.path);
  return status;
}
