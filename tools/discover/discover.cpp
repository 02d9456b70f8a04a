// discover: finds cameras on the LAN and changes their address settings, the way a
// configuration tool does, over raw Ethernet frames (EtherType 0x0809) or the UDP
// tovrin protocol. Usage and exit statuses: see usage() below and discover(1).
#include <arpa/inet.h>
#include <errno.h>
#include <getopt.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include "camera_list.h"
#include "passwords.h"
#include "search_proto.h"

enum { EXIT_ANSWERED = 0, EXIT_NO_ANSWER = 1, EXIT_USAGE = 2 };

static const char *g_iface = "eth0";
static double g_timeout = 3.0;
static const char *g_saveDir;
static bool g_badChecksum;
static double g_start;
static OutputForm g_form = OUTPUT_TABLE;
static bool g_haveMacFilter;
static uint8_t g_macFilter[6];
static const char *g_passwordFile;

// --mac keeps only that camera.
static bool wanted(const uint8_t *mac) {
  return !g_haveMacFilter || memcmp(mac, g_macFilter, 6) == 0;
}

// Keeps a copy of a frame under --save DIR.
static void save_frame(const uint8_t *data, size_t len, const char *kind) {
  static int serial;
  if (!g_saveDir) return;
  char path[4096];
  snprintf(path, sizeof(path), "%s/%03d-%s.bin", g_saveDir, ++serial, kind);
  FILE *fp = fopen(path, "wb");
  if (!fp || fwrite(data, 1, len, fp) != len) fprintf(stderr, "discover: cannot save %s\n", path);
  if (fp) fclose(fp);
}

static void usage(FILE *out) {
  fprintf(out,
          "usage: discover [OPTIONS] search\n"
          "       discover [OPTIONS] modify MAC 'IP;HttpPort;Netmask;Gateway;Dns;Title;User;Password'\n"
          "       discover --udp [OPTIONS] search\n"
          "       discover --udp [OPTIONS] modify MAC IP NETMASK GATEWAY TITLE [PASSWORD [NEWPASSWORD]]\n"
          "       discover [OPTIONS] listen\n"
          "       discover [OPTIONS] replay FILE...\n"
          "options:\n"
          "  --iface IF          interface for raw frames (default eth0)\n"
          "  --timeout SEC       how long to wait for replies (default 3)\n"
          "  --udp               use the UDP protocol (ports 62630/62631)\n"
          "  --json              print JSON (search: one array of cameras)\n"
          "  --raw               print each reply's text as it came, one line per camera\n"
          "  --mac MAC           keep only the camera with this MAC\n"
          "  --password-file F   UDP modify: the password on F's first line, the new one on\n"
          "                      its second (empty keeps it); without this or PASSWORD the\n"
          "                      passwords are asked on the terminal, not echoed\n"
          "  --save DIR          keep every frame sent and received in DIR\n"
          "  --bad-checksum      send a UDP modify request with a wrong checksum\n"
          "  --help              show this help\n"
          "The table and JSON list every camera once, sorted by IP. Bytes of network texts\n"
          "that are not printable ASCII are shown as \\xNN in every form.\n"
          "exit status:\n"
          "  0  search: at least one camera answered; modify: the camera accepted\n"
          "  1  search: no camera answered; modify: no answer, or the camera refused\n"
          "  2  usage error (bad option or argument), or a system failure\n");
}

static int fail(const char *what) {
  fprintf(stderr, "discover: %s: %s\n", what, strerror(errno));
  return EXIT_USAGE;
}

static int parse_mac(const char *text, uint8_t mac[6]) {
  unsigned v[6];
  char end;
  if (sscanf(text, "%2x:%2x:%2x:%2x:%2x:%2x%c", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
             &end) != 6 || strlen(text) != 17)
    return -1;
  for (int i = 0; i < 6; i++) mac[i] = (uint8_t)v[i];
  return 0;
}

static int parse_address(const char *text, uint32_t *out) {
  struct in_addr addr;
  if (!inet_aton(text, &addr)) return -1;
  *out = addr.s_addr;
  return 0;
}

static double now_seconds(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

// Milliseconds left until deadline (0 when it has passed).
static int remaining_ms(double deadline) {
  double left = deadline - now_seconds();
  return left > 0 ? (int)(left * 1000) + 1 : 0;
}

// Receives until the deadline; on_packet returns 1 to stop early.
typedef int (*PacketHandler)(const uint8_t *data, size_t len, void *ctx);
static void receive_until(int fd, double deadline, PacketHandler onPacket, void *ctx) {
  uint8_t buf[2048];
  for (;;) {
    int wait = remaining_ms(deadline);
    if (wait == 0) return;
    struct pollfd pfd = {fd, POLLIN, 0};
    int ready = poll(&pfd, 1, wait);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return;
    struct sockaddr_ll from;
    socklen_t fromLen = sizeof(from);
    memset(&from, 0, sizeof(from));
    ssize_t n = recvfrom(fd, buf, sizeof(buf), 0, (struct sockaddr *)&from, &fromLen);
    if (n < 0) return;
    if (from.sll_family == AF_PACKET && from.sll_pkttype == PACKET_OUTGOING) continue;
    save_frame(buf, (size_t)n, "recv");
    if (onPacket(buf, (size_t)n, ctx)) return;
  }
}

// ---- Raw frames -------------------------------------------------------------------

static int open_raw(uint8_t ownMac[6], struct sockaddr_ll *link) {
  int fd = socket(AF_PACKET, SOCK_RAW, htons(SEARCH_ETHERTYPE));
  if (fd < 0) return fail("socket(AF_PACKET)");
  struct ifreq req;
  memset(&req, 0, sizeof(req));
  snprintf(req.ifr_name, sizeof(req.ifr_name), "%s", g_iface);
  if (ioctl(fd, SIOCGIFINDEX, &req) < 0) {
    fprintf(stderr, "discover: no interface %s: %s\n", g_iface, strerror(errno));
    close(fd);
    return -2;
  }
  memset(link, 0, sizeof(*link));
  link->sll_family = AF_PACKET;
  link->sll_protocol = htons(SEARCH_ETHERTYPE);
  link->sll_ifindex = req.ifr_ifindex;
  link->sll_halen = 6;
  if (bind(fd, (struct sockaddr *)link, sizeof(*link)) < 0) {
    fail("bind");
    close(fd);
    return -2;
  }
  if (ioctl(fd, SIOCGIFHWADDR, &req) < 0) {
    fail("SIOCGIFHWADDR");
    close(fd);
    return -2;
  }
  memcpy(ownMac, req.ifr_hwaddr.sa_data, 6);
  return fd;
}

static int send_raw(int fd, struct sockaddr_ll *link, const uint8_t *frame, size_t len) {
  save_frame(frame, len, "sent");
  memcpy(link->sll_addr, frame, 6);
  if (sendto(fd, frame, len, 0, (struct sockaddr *)link, sizeof(*link)) < 0) {
    fail("send");
    return -1;
  }
  return 0;
}

static int on_search_reply(const uint8_t *data, size_t len, void *ctx) {
  SearchReply reply;
  if (search_parse_reply(data, len, &reply) != 0 || reply.operation != SEARCH_OP_SEARCH_REPLY ||
      !wanted(reply.camera))
    return 0;
  Camera camera;
  camera_from_reply_text(&camera, reply.camera, reply.text);
  ((CameraList *)ctx)->add(camera);  // an announcement during the search replaces the reply
  return 0;
}

// The raw form marks a wrong UDP checksum on the line itself; the others on stderr.
static void warn_bad_checksum(const Camera &camera) {
  if (!camera.badChecksum || g_form == OUTPUT_RAW) return;
  char mac[18];
  format_mac(mac, camera.mac);
  fprintf(stderr, "discover: %s: the reply's checksum is wrong\n", mac);
}

// Prints what a search found; the exit status says whether anyone answered.
static int report_cameras(CameraList *list) {
  list->sort_by_ip();
  for (const Camera &c : list->cameras) warn_bad_checksum(c);
  print_cameras(stdout, g_form, list->cameras);
  if (!list->cameras.empty()) return EXIT_ANSWERED;
  fprintf(stderr, "discover: no camera answered\n");
  return EXIT_NO_ANSWER;
}

static int raw_search(void) {
  uint8_t own[6];
  struct sockaddr_ll link;
  int fd = open_raw(own, &link);
  if (fd < 0) return EXIT_USAGE;
  uint8_t frame[64];
  size_t len = search_build_search_request(frame, sizeof(frame), own);
  if (send_raw(fd, &link, frame, len) != 0) {
    close(fd);
    return EXIT_USAGE;
  }
  CameraList list;
  receive_until(fd, now_seconds() + g_timeout, on_search_reply, &list);
  close(fd);
  return report_cameras(&list);
}

static int on_any_reply(const uint8_t *data, size_t len, void *) {
  SearchReply reply;
  if (search_parse_reply(data, len, &reply) != 0 || !wanted(reply.camera)) return 0;
  char mac[18], dst[18];
  format_mac(mac, reply.camera);
  format_mac(dst, data);
  std::string text = display_escape(reply.text);
  if (reply.operation == SEARCH_OP_MODIFY_REPLY)
    printf("%.1f %s > %s result %d %s\n", now_seconds() - g_start, mac, dst, reply.result,
           text.c_str());
  else
    printf("%.1f %s > %s %s\n", now_seconds() - g_start, mac, dst, text.c_str());
  fflush(stdout);
  return 0;
}

static int raw_listen(void) {
  uint8_t own[6];
  struct sockaddr_ll link;
  int fd = open_raw(own, &link);
  if (fd < 0) return EXIT_USAGE;
  receive_until(fd, g_start + g_timeout, on_any_reply, nullptr);
  close(fd);
  return EXIT_ANSWERED;
}

static int raw_replay(int count, char **files) {
  uint8_t own[6];
  struct sockaddr_ll link;
  int fd = open_raw(own, &link);
  if (fd < 0) return EXIT_USAGE;
  static uint8_t frame[65536];
  for (int i = 0; i < count; i++) {
    FILE *fp = fopen(files[i], "rb");
    size_t len = fp ? fread(frame, 1, sizeof(frame), fp) : 0;
    if (fp) fclose(fp);
    if (len < 14) {
      fprintf(stderr, "discover: %s: not a frame\n", files[i]);
      close(fd);
      return EXIT_USAGE;
    }
    if (send_raw(fd, &link, frame, len) != 0) {
      close(fd);
      return EXIT_USAGE;
    }
  }
  receive_until(fd, now_seconds() + g_timeout, on_any_reply, nullptr);
  close(fd);
  return EXIT_ANSWERED;
}

typedef struct RawModify {
  uint8_t target[6];
  int answered;
  int result;
} RawModify;

static int on_modify_reply(const uint8_t *data, size_t len, void *ctx) {
  RawModify *modify = (RawModify *)ctx;
  SearchReply reply;
  if (search_parse_reply(data, len, &reply) != 0 || reply.operation != SEARCH_OP_MODIFY_REPLY ||
      memcmp(reply.camera, modify->target, 6) != 0)
    return 0;
  Camera camera;
  camera_from_reply_text(&camera, reply.camera, reply.text);
  char result[16];
  snprintf(result, sizeof(result), "result %d", reply.result);
  print_modify_answer(stdout, g_form, camera, reply.result == 1, result);
  fflush(stdout);
  modify->answered = 1;
  modify->result = reply.result;
  return 1;
}

static int raw_modify(const char *macText, const char *text) {
  RawModify modify;
  memset(&modify, 0, sizeof(modify));
  if (parse_mac(macText, modify.target) != 0) {
    fprintf(stderr, "discover: bad MAC address: %s\n", macText);
    return EXIT_USAGE;
  }
  uint8_t own[6];
  struct sockaddr_ll link;
  int fd = open_raw(own, &link);
  if (fd < 0) return EXIT_USAGE;
  uint8_t frame[1500];
  size_t len = search_build_modify_request(frame, sizeof(frame), own, modify.target, text);
  if (len == 0) {
    fprintf(stderr, "discover: modify text too long\n");
    close(fd);
    return EXIT_USAGE;
  }
  if (send_raw(fd, &link, frame, len) != 0) {
    close(fd);
    return EXIT_USAGE;
  }
  receive_until(fd, now_seconds() + g_timeout, on_modify_reply, &modify);
  close(fd);
  if (!modify.answered) {
    fprintf(stderr, "discover: no reply from %s\n", macText);
    return EXIT_NO_ANSWER;
  }
  return modify.result == 1 ? EXIT_ANSWERED : EXIT_NO_ANSWER;
}

// ---- UDP ------------------------------------------------------------------------------

static int open_udp(void) {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return fail("socket");
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof(on));
  struct sockaddr_in addr;
  memset(&addr, 0, sizeof(addr));
  addr.sin_family = AF_INET;
  addr.sin_port = htons(TOVRIN_REPLY_PORT);
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(fd, (struct sockaddr *)&addr, sizeof(addr)) < 0) {
    fail("bind port 62631");
    close(fd);
    return -2;
  }
  return fd;
}

static int send_udp(int fd, const uint8_t *data, size_t len) {
  save_frame(data, len, "sent");
  struct sockaddr_in to;
  memset(&to, 0, sizeof(to));
  to.sin_family = AF_INET;
  to.sin_port = htons(TOVRIN_REQUEST_PORT);
  to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
  if (sendto(fd, data, len, 0, (struct sockaddr *)&to, sizeof(to)) < 0) {
    fail("sendto");
    return -1;
  }
  return 0;
}

static bool tovrin_reply_of(const uint8_t *data, size_t len, uint8_t command, size_t size) {
  return len == size && memcmp(data, kTovrinMagic, TOVRIN_MAGIC_LEN) == 0 && data[8] == 0 &&
         data[9] == command;
}

static int on_udp_search_reply(const uint8_t *data, size_t len, void *ctx) {
  if (!tovrin_reply_of(data, len, TOVRIN_CMD_SEARCH_REPLY, TOVRIN_SEARCH_REPLY_LEN) ||
      !wanted(data + 10))
    return 0;
  Camera camera;
  camera_from_udp_reply(&camera, data);
  ((CameraList *)ctx)->add(camera);
  return 0;
}

static int udp_search(void) {
  int fd = open_udp();
  if (fd < 0) return EXIT_USAGE;
  uint8_t req[16];
  size_t len = tovrin_build_search_request(req, sizeof(req));
  CameraList list;
  int sent = send_udp(fd, req, len);
  if (sent == 0) receive_until(fd, now_seconds() + g_timeout, on_udp_search_reply, &list);
  close(fd);
  return sent == 0 ? report_cameras(&list) : EXIT_USAGE;
}

typedef struct UdpModify {
  uint8_t target[6];
  int answered;
  int accepted;
} UdpModify;

static int on_udp_modify_reply(const uint8_t *data, size_t len, void *ctx) {
  UdpModify *modify = (UdpModify *)ctx;
  if (!tovrin_reply_of(data, len, TOVRIN_CMD_MODIFY_REPLY, TOVRIN_MODIFY_REPLY_LEN) ||
      memcmp(data + 10, modify->target, 6) != 0)
    return 0;
  char text[17];
  snprintf(text, sizeof(text), "%.16s", (const char *)data + 16);
  Camera camera;
  memcpy(camera.mac, data + 10, 6);
  camera.badChecksum = tovrin_checksum(data, len) != 0;
  modify->answered = 1;
  modify->accepted = strcmp(text, "Successfully.") == 0;
  warn_bad_checksum(camera);
  print_modify_answer(stdout, g_form, camera, modify->accepted, text);
  fflush(stdout);
  return 1;
}

static int udp_modify(int argc, char **argv) {
  // MAC IP NETMASK GATEWAY TITLE [PASSWORD [NEWPASSWORD]]
  UdpModify modify;
  memset(&modify, 0, sizeof(modify));
  uint32_t ip, mask, gw;
  if (parse_mac(argv[0], modify.target) != 0) {
    fprintf(stderr, "discover: bad MAC address: %s\n", argv[0]);
    return EXIT_USAGE;
  }
  const char *names[3] = {"IP", "NETMASK", "GATEWAY"};
  uint32_t *values[3] = {&ip, &mask, &gw};
  for (int i = 0; i < 3; i++) {
    if (parse_address(argv[1 + i], values[i]) != 0) {
      fprintf(stderr, "discover: bad %s address: %s\n", names[i], argv[1 + i]);
      return EXIT_USAGE;
    }
  }
  const char *title = argv[4];
  static char askedPassword[TOVRIN_PASSWORD_SIZE + 1], askedNewPassword[TOVRIN_PASSWORD_SIZE + 1];
  const char *password = askedPassword, *newPassword = askedNewPassword;
  if (argc > 5) {
    password = argv[5];
    newPassword = argc > 6 ? argv[6] : "";
  } else if (g_passwordFile ? passwords_from_file(g_passwordFile, askedPassword,
                                                  askedNewPassword, sizeof(askedPassword))
                            : passwords_from_terminal(askedPassword, askedNewPassword,
                                                      sizeof(askedPassword))) {
    return EXIT_USAGE;
  }
  if (strlen(title) >= TOVRIN_NAME_SIZE || strlen(password) > TOVRIN_PASSWORD_SIZE ||
      strlen(newPassword) > TOVRIN_PASSWORD_SIZE) {
    fprintf(stderr, "discover: TITLE holds at most 31 characters, passwords at most 16\n");
    return EXIT_USAGE;
  }
  int fd = open_udp();
  if (fd < 0) return EXIT_USAGE;
  uint8_t req[TOVRIN_MODIFY_LEN];
  tovrin_build_modify_request(req, modify.target, ip, mask, gw, title, password, newPassword);
  if (g_badChecksum) req[96] ^= 0x5a;
  if (send_udp(fd, req, sizeof(req)) == 0)
    receive_until(fd, now_seconds() + g_timeout, on_udp_modify_reply, &modify);
  close(fd);
  if (!modify.answered) {
    fprintf(stderr, "discover: no reply from %s\n", argv[0]);
    return EXIT_NO_ANSWER;
  }
  return modify.accepted ? EXIT_ANSWERED : EXIT_NO_ANSWER;
}

int main(int argc, char **argv) {
  static const struct option longopts[] = {
      {"iface", required_argument, nullptr, 'i'},
      {"timeout", required_argument, nullptr, 't'},
      {"udp", no_argument, nullptr, 'u'},
      {"save", required_argument, nullptr, 's'},
      {"bad-checksum", no_argument, nullptr, 'b'},
      {"json", no_argument, nullptr, 'j'},
      {"raw", no_argument, nullptr, 'r'},
      {"mac", required_argument, nullptr, 'm'},
      {"password-file", required_argument, nullptr, 'p'},
      {"help", no_argument, nullptr, 'h'},
      {nullptr, 0, nullptr, 0},
  };
  bool udp = false;
  int opt;
  while ((opt = getopt_long(argc, argv, "+i:t:us:bjrm:p:h", longopts, nullptr)) != -1) {
    switch (opt) {
      case 'i':
        if (!optarg[0] || strlen(optarg) >= IFNAMSIZ) {
          fprintf(stderr, "discover: bad interface name: %s\n", optarg);
          return EXIT_USAGE;
        }
        g_iface = optarg;
        break;
      case 't': {
        char *end;
        g_timeout = strtod(optarg, &end);
        if (*end || end == optarg || !(g_timeout > 0 && g_timeout <= 3600)) {
          fprintf(stderr, "discover: bad timeout: %s\n", optarg);
          return EXIT_USAGE;
        }
        break;
      }
      case 'u':
        udp = true;
        break;
      case 's':
        g_saveDir = optarg;
        break;
      case 'b':
        g_badChecksum = true;
        break;
      case 'j':
        g_form = OUTPUT_JSON;
        break;
      case 'r':
        g_form = OUTPUT_RAW;
        break;
      case 'm':
        if (parse_mac(optarg, g_macFilter) != 0) {
          fprintf(stderr, "discover: bad MAC address: %s\n", optarg);
          return EXIT_USAGE;
        }
        g_haveMacFilter = true;
        break;
      case 'p':
        g_passwordFile = optarg;
        break;
      case 'h':
        usage(stdout);
        return 0;
      default:
        usage(stderr);
        return EXIT_USAGE;
    }
  }
  int left = argc - optind;
  char **args = argv + optind;
  g_start = now_seconds();
  if (left == 1 && strcmp(args[0], "search") == 0) return udp ? udp_search() : raw_search();
  if (!udp && left == 1 && strcmp(args[0], "listen") == 0) return raw_listen();
  if (!udp && left >= 2 && strcmp(args[0], "replay") == 0) return raw_replay(left - 1, args + 1);
  if (left >= 1 && strcmp(args[0], "modify") == 0) {
    if (!udp && left == 3) return raw_modify(args[1], args[2]);
    if (udp && left >= 6 && left <= 8) return udp_modify(left - 1, args + 1);
    fprintf(stderr, "discover: modify: wrong number of arguments\n");
  } else if (left == 0) {
    fprintf(stderr, "discover: missing command (search or modify)\n");
  } else {
    fprintf(stderr, "discover: unknown command: %s\n", args[0]);
  }
  usage(stderr);
  return EXIT_USAGE;
}
