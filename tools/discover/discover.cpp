// discover: finds cameras on the LAN and changes their address settings, the way a
// configuration tool does, over raw Ethernet frames (EtherType 0x0809) or the UDP
// tovrin protocol. Usage and exit statuses: see usage() below and discover(1).
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <getopt.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

#include "camera_list.h"
#include "passwords.h"
#include "replies.h"
#include "search_proto.h"
#include "site_apply.h"
#include "site_plan.h"

enum { EXIT_ANSWERED = 0, EXIT_NO_ANSWER = 1, EXIT_USAGE = 2 };

// A raw search asks this many times, this far apart (within the timeout): a site's
// replies arrive in one burst, and a reply lost on the way comes again with the next.
enum { SEARCH_REQUESTS = 3 };
static const double kRequestInterval = 0.5;
// Receive buffers hold a burst of this many replies of this many bytes each (a frame
// and the kernel's bookkeeping): as many cameras as the list keeps.
static const int kReceiveBufferBytes = (int)CameraList::kMaxCameras * 2048;

static const char *g_iface = "eth0";
static double g_timeout = 3.0;
static const char *g_saveDir;
static int g_saveDirFd = -1;
static bool g_saveFailed;
static bool g_badChecksum;
static bool g_once;
static double g_start;
static OutputForm g_form = OUTPUT_TABLE;
static ReplyFilter g_filter;
static const char *g_passwordFile;
static const char *g_user = "admin";
static bool g_dryRun;
// Set by Ctrl-C during an apply: nothing more is sent, and the rows so far are printed.
static volatile sig_atomic_t g_interrupted;

// Keeps a copy of a frame under --save DIR: a new file, readable by its owner only
// (frames carry passwords), never written through a link planted in DIR.
static void save_frame(const uint8_t *data, size_t len, const char *kind) {
  static int serial;
  if (g_saveDirFd < 0) return;
  char name[32];
  snprintf(name, sizeof(name), "%03d-%s.bin", ++serial, kind);
  int fd = openat(g_saveDirFd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  const char *why = nullptr;
  struct stat st;
  if (fd < 0 && errno == EEXIST && fstatat(g_saveDirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0)
    why = S_ISLNK(st.st_mode) ? "a symbolic link is in the way (not followed)"
                              : "a file of that name is in the way (not overwritten)";
  else if (fd < 0)
    why = strerror(errno);
  else if (write(fd, data, len) != (ssize_t)len)
    why = "short write";
  if (fd >= 0 && close(fd) != 0 && !why) why = strerror(errno);
  if (!why) return;
  fprintf(stderr, "discover: cannot save %s/%s: %s\n", g_saveDir, name, why);
  g_saveFailed = true;
}

// Asks for a receive buffer that holds a burst of replies: SO_RCVBUFFORCE where we may
// (CAP_NET_ADMIN), else SO_RCVBUF, which the kernel caps at net.core.rmem_max.
static void request_receive_buffer(int fd, const char *what) {
  int want = kReceiveBufferBytes;
  if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &want, sizeof(want)) != 0)
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &want, sizeof(want));
  int got = 0;
  socklen_t len = sizeof(got);
  // The kernel reports twice what it grants to the data (the rest is its bookkeeping).
  if (getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &got, &len) == 0 && got / 2 < want)
    fprintf(stderr,
            "discover: note: the kernel capped the %s receive buffer at %d bytes of %d asked "
            "(net.core.rmem_max); replies of a large site may be lost\n",
            what, got / 2, want);
}

static void usage(FILE *out) {
  fprintf(out,
          "usage: discover [OPTIONS] search\n"
          "       discover [OPTIONS] modify MAC 'IP;HttpPort;Netmask;Gateway;Dns;Title;User[;Password]'\n"
          "       discover --udp [OPTIONS] search\n"
          "       discover --udp [OPTIONS] modify MAC IP NETMASK GATEWAY TITLE [PASSWORD [NEWPASSWORD]]\n"
          "       discover [OPTIONS] [--user NAME] [--dry-run] apply PLAN\n"
          "       discover [OPTIONS] listen\n"
          "       discover [OPTIONS] replay FILE...\n"
          "options:\n"
          "  --iface IF          interface for raw frames (default eth0)\n"
          "  --timeout SEC       how long to wait for replies (default 3)\n"
          "  --once              search: send one request (default: three, see below)\n"
          "  --udp               use the UDP protocol (ports 62630/62631)\n"
          "  --json              print JSON (search: one array of cameras)\n"
          "  --raw               print each camera's newest reply text as it came, one line\n"
          "                      per camera\n"
          "  --mac MAC           keep only the camera with this MAC\n"
          "  --password-file F   modify, apply: the password on F's first line (UDP: the\n"
          "                      new one on its second, empty keeps it); without this or\n"
          "                      a password in the arguments it is asked on the\n"
          "                      terminal, not echoed\n"
          "  --user NAME         apply: the user the modifies carry (default admin)\n"
          "  --dry-run           apply: survey and show what would change, send no modify\n"
          "  --save DIR          keep every frame sent and received in new files in DIR,\n"
          "                      readable by their owner only\n"
          "  --bad-checksum      send a UDP modify request with a wrong checksum\n"
          "  --help              show this help\n"
          "A raw search sends its request three times, at 0, 0.5 and 1 s (those within the\n"
          "timeout): the replies of a large site arrive in one burst, and a reply lost on\n"
          "the way comes again. A UDP search sends one (a camera broadcasts its UDP reply\n"
          "to the whole segment). Every form lists each camera once, with its newest reply,\n"
          "sorted by IP.\n"
          "A password in the modify arguments is visible to other users (process list) and\n"
          "stays in the shell history: leave it out to have it read or asked. The raw\n"
          "modify asks when its text ends with the user (seven fields).\n"
          "Bytes of network texts that are not printable ASCII are shown as \\xNN in every\n"
          "form. Several cameras answering at one address are marked in the table\n"
          "(\"(N cameras)\" after the IP) and counted in JSON (\"cameras_at_ip\").\n"
          "apply reads PLAN, a CSV file with a header line: columns mac and ip, and any\n"
          "of netmask, gateway, dns, http_port, title (an empty cell or a missing column\n"
          "keeps the camera's value). It checks the whole plan before anything is sent,\n"
          "surveys with one search, sends one modify to each camera that needs it (one\n"
          "at first; the first refusal stops the run), asks a silent camera once more,\n"
          "and verifies with a second search. Ctrl-C stops the sending and prints the\n"
          "rows so far.\n"
          "exit status:\n"
          "  0  search: at least one camera answered; modify: the camera accepted;\n"
          "     apply: every row applied or unchanged (--dry-run: every row found, no\n"
          "     conflict)\n"
          "  1  search: no camera answered; modify: no answer, or the camera refused;\n"
          "     apply: any other row\n"
          "  2  usage error (bad option or argument, a plan with a problem), or a system\n"
          "     failure\n");
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
    if (ready < 0 && errno == EINTR) {
      if (g_interrupted) return;
      continue;
    }
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
  request_receive_buffer(fd, "raw socket's");
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

// Prints what a search found; the exit status says whether anyone answered (and
// whether every frame was saved).
static int search_result(CameraList *list) {
  bool answered = report_cameras(stdout, stderr, g_form, list);
  if (g_saveFailed) return EXIT_USAGE;
  return answered ? EXIT_ANSWERED : EXIT_NO_ANSWER;
}

static int on_search_reply(const uint8_t *data, size_t len, void *ctx) {
  take_search_reply((CameraList *)ctx, g_filter, data, len);
  return 0;
}

// One raw search on an open socket: the requests, then the replies until the timeout.
// Returns -1 when a request could not be sent.
static int search_cameras(int fd, struct sockaddr_ll *link, const uint8_t own[6],
                          CameraList *list) {
  uint8_t frame[64];
  size_t len = search_build_search_request(frame, sizeof(frame), own);
  double start = now_seconds(), deadline = start + g_timeout;
  for (int i = 0; i < (g_once ? 1 : SEARCH_REQUESTS) && !g_interrupted; i++) {
    double at = start + i * kRequestInterval;
    if (at >= deadline) break;
    receive_until(fd, at, on_search_reply, list);
    if (send_raw(fd, link, frame, len) != 0) return -1;
  }
  receive_until(fd, deadline, on_search_reply, list);
  return 0;
}

static int raw_search(void) {
  uint8_t own[6];
  struct sockaddr_ll link;
  int fd = open_raw(own, &link);
  if (fd < 0) return EXIT_USAGE;
  CameraList list;
  int sent = search_cameras(fd, &link, own, &list);
  close(fd);
  return sent == 0 ? search_result(&list) : EXIT_USAGE;
}

static int on_any_reply(const uint8_t *data, size_t len, void *) {
  if (print_heard_reply(stdout, now_seconds() - g_start, g_filter, data, len)) fflush(stdout);
  return 0;
}

static int raw_listen(void) {
  uint8_t own[6];
  struct sockaddr_ll link;
  int fd = open_raw(own, &link);
  if (fd < 0) return EXIT_USAGE;
  receive_until(fd, g_start + g_timeout, on_any_reply, nullptr);
  close(fd);
  return g_saveFailed ? EXIT_USAGE : EXIT_ANSWERED;
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
  return g_saveFailed ? EXIT_USAGE : EXIT_ANSWERED;
}

static int on_modify_reply(const uint8_t *data, size_t len, void *ctx) {
  if (!take_modify_reply(stdout, stderr, g_form, (ModifyAnswer *)ctx, data, len)) return 0;
  fflush(stdout);
  return 1;
}

// The exit status of a modify from the camera's answer.
static int modify_result(const ModifyAnswer &answer, const char *macText) {
  if (!answer.answered) fprintf(stderr, "discover: no reply from %s\n", macText);
  if (g_saveFailed) return EXIT_USAGE;
  return answer.accepted ? EXIT_ANSWERED : EXIT_NO_ANSWER;
}

// The password of a raw modify, from --password-file or the terminal: one piece of the
// modify text, so neither empty nor holding ';'. Returns 0, or -1 with a message.
static int read_raw_password(char password[SEARCH_FIELD_SIZE]) {
  if (g_passwordFile ? passwords_from_file(g_passwordFile, password, nullptr, SEARCH_FIELD_SIZE)
                     : passwords_from_terminal(password, nullptr, SEARCH_FIELD_SIZE))
    return -1;
  if (!password[0] || strchr(password, ';')) {
    fprintf(stderr, "discover: the password is empty or holds ';'\n");
    return -1;
  }
  return 0;
}

// A raw modify text that ends with the user (seven fields: an empty piece takes no
// position) gets its password from --password-file or the terminal, so that the
// password need not stand on the command line. Any other text goes as it is.
static int complete_modify_text(const char *text, std::string *out) {
  SearchModifyFields fields;
  search_split_modify_text(text, strlen(text), &fields);
  int count = 0;
  while (count < SEARCH_MODIFY_FIELDS && fields.field[count][0]) count++;
  *out = text;
  if (count != MODIFY_PASSWORD) {
    if (!g_passwordFile) return 0;
    fprintf(stderr, "discover: with --password-file the modify text ends with the user "
                    "(IP;HttpPort;Netmask;Gateway;Dns;Title;User)\n");
    return -1;
  }
  char password[SEARCH_FIELD_SIZE];
  if (read_raw_password(password) != 0) return -1;
  *out += ";";
  *out += password;
  return 0;
}

static int raw_modify(const char *macText, const char *givenText) {
  ModifyAnswer modify;
  if (parse_mac(macText, modify.target) != 0) {
    fprintf(stderr, "discover: bad MAC address: %s\n", macText);
    return EXIT_USAGE;
  }
  std::string text;
  if (complete_modify_text(givenText, &text) != 0) return EXIT_USAGE;
  uint8_t own[6];
  struct sockaddr_ll link;
  int fd = open_raw(own, &link);
  if (fd < 0) return EXIT_USAGE;
  uint8_t frame[1500];
  size_t len =
      search_build_modify_request(frame, sizeof(frame), own, modify.target, text.c_str());
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
  return modify_result(modify, macText);
}

// ---- Applying a site plan ------------------------------------------------------------

// Cameras asked at once once the first has accepted the user and password.
enum { APPLY_WINDOW = 32 };
// A verifying search that does not yet hear every accepted change is repeated this
// often: a camera's replies may lag its store by up to a second.
enum { VERIFY_SEARCHES = 3 };
static const size_t kMaxPlanBytes = 4 << 20;

static void on_interrupt(int) { g_interrupted = 1; }

// Reads the plan file whole. Returns false with a message.
static bool read_plan_file(const char *path, std::string *text) {
  FILE *fp = fopen(path, "re");
  if (!fp) {
    fprintf(stderr, "discover: %s: %s\n", path, strerror(errno));
    return false;
  }
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), fp)) > 0 && text->size() <= kMaxPlanBytes)
    text->append(buf, n);
  bool readFailed = ferror(fp);
  fclose(fp);
  if (readFailed || text->size() > kMaxPlanBytes) {
    fprintf(stderr, "discover: %s: %s\n", path,
            readFailed ? "cannot read" : "larger than 4 MiB, not a plan");
    return false;
  }
  return true;
}

// The user goes in the modify text's user piece, whose leading digits the camera takes
// for its DHCP flag: a name starting with one would turn DHCP on.
static bool user_fits_modify(const char *user) {
  if (!user[0] || strlen(user) >= SEARCH_FIELD_SIZE || strchr(user, ';') ||
      (user[0] >= '0' && user[0] <= '9')) {
    fprintf(stderr, "discover: --user: an empty name, one over 127 characters, one holding "
                    "';' or one starting with a digit cannot be sent\n");
    return false;
  }
  return true;
}

static int64_t now_ms(void) { return (int64_t)(now_seconds() * 1000); }

// The modifies in flight: which row each camera's answer belongs to.
struct ApplyReplies {
  ModifyQueue *queue;
  std::vector<RowState *> rows;   // by queue index
  std::vector<Camera> answers;    // the settings each answer reported
  std::vector<bool> answered;
};

static int on_apply_reply(const uint8_t *data, size_t len, void *ctx) {
  ApplyReplies *replies = (ApplyReplies *)ctx;
  SearchReply reply;
  if (search_parse_reply(data, len, &reply) != 0 || reply.operation != SEARCH_OP_MODIFY_REPLY)
    return 0;
  for (size_t i = 0; i < replies->rows.size(); i++) {
    if (memcmp(replies->rows[i]->row->mac, reply.camera, 6) != 0) continue;
    if (replies->queue->outcome(i) != ModifyQueue::ASKED) return 0;
    replies->queue->answered(i, reply.result == 1);
    camera_from_reply_text(&replies->answers[i], reply.camera, reply.text);
    replies->answered[i] = true;
    return 1;
  }
  return 0;
}

// Sends the modifies of the rows to change and collects the answers. Returns -1 when a
// frame could not be sent.
static int send_modifies(int fd, struct sockaddr_ll *link, const uint8_t own[6],
                         const std::vector<std::string> &texts, ApplyReplies *replies) {
  ModifyQueue &queue = *replies->queue;
  while (!queue.done()) {
    if (g_interrupted) {
      queue.stop(true);
      break;
    }
    for (size_t i : queue.due(now_ms())) {
      uint8_t frame[1500];
      size_t len = search_build_modify_request(frame, sizeof(frame), own,
                                               replies->rows[i]->row->mac, texts[i].c_str());
      if (len == 0 || send_raw(fd, link, frame, len) != 0) {
        queue.stop(true);
        return -1;
      }
    }
    int64_t next = queue.next_deadline();
    if (next >= 0) receive_until(fd, next / 1000.0 + 0.001, on_apply_reply, replies);
  }
  return 0;
}

// Searches until every camera that accepted its change reports the plan (a few times at
// most) and judges each row sent.
static int verify_rows(int fd, struct sockaddr_ll *link, const uint8_t own[6],
                       ApplyReplies *replies) {
  CameraList list;
  for (int pass = 0; pass < VERIFY_SEARCHES && !g_interrupted; pass++) {
    if (search_cameras(fd, link, own, &list) != 0) return -1;
    bool waiting = false;
    for (size_t i = 0; i < replies->rows.size(); i++) {
      RowState *row = replies->rows[i];
      row->heardAfter = false;
      for (const Camera &c : list.cameras)
        if (memcmp(c.mac, row->row->mac, 6) == 0) {
          row->after = c;
          row->heardAfter = true;
        }
      row->result = verified_result(replies->queue->outcome(i), row->heardAfter, row->after,
                                    row->row->planned);
      waiting = waiting || (replies->queue->outcome(i) == ModifyQueue::ACCEPTED &&
                            row->result != ROW_APPLIED);
    }
    if (!waiting) break;
  }
  return 0;
}

static int raw_apply(const char *planPath) {
  std::string planText;
  if (!read_plan_file(planPath, &planText)) return EXIT_USAGE;
  SitePlan plan;
  std::vector<std::string> problems;
  if (!read_site_plan(planText, planPath, &plan, &problems)) {
    for (const std::string &line : problems) fprintf(stderr, "%s\n", line.c_str());
    return EXIT_USAGE;
  }
  char password[SEARCH_FIELD_SIZE] = "";
  if (!g_dryRun && (!user_fits_modify(g_user) || read_raw_password(password) != 0))
    return EXIT_USAGE;

  struct sigaction interrupt;
  memset(&interrupt, 0, sizeof(interrupt));
  interrupt.sa_handler = on_interrupt;  // no SA_RESTART: a wait ends at once
  sigaction(SIGINT, &interrupt, nullptr);

  uint8_t own[6];
  struct sockaddr_ll link;
  int fd = open_raw(own, &link);
  if (fd < 0) return EXIT_USAGE;
  CameraList survey;
  if (search_cameras(fd, &link, own, &survey) != 0) {
    close(fd);
    return EXIT_USAGE;
  }
  std::vector<RowState> rows = survey_site(plan, survey.cameras);
  if (g_dryRun) {
    close(fd);
    print_site_report(stdout, stderr, g_form == OUTPUT_JSON, true, rows, planPath);
    bool clean = std::none_of(rows.begin(), rows.end(), [](const RowState &r) {
      return r.result == ROW_NOT_FOUND || r.result == ROW_CONFLICT;
    });
    return g_saveFailed ? EXIT_USAGE : clean ? EXIT_ANSWERED : EXIT_NO_ANSWER;
  }

  std::vector<RowState *> toChange;
  std::vector<std::string> texts;
  for (RowState &row : rows) {
    if (row.result != ROW_TO_CHANGE) continue;
    std::string text;
    if (!site_modify_text(row.before, row.row->planned, g_user, password, &text)) {
      fprintf(stderr, "discover: %s:%d: the camera reports no HTTP port to keep; plan one\n",
              planPath, row.row->line);
      row.result = ROW_NOT_SENT;
      continue;
    }
    toChange.push_back(&row);
    texts.push_back(text);
  }
  memset(password, 0, sizeof(password));
  ModifyQueue queue(toChange.size(), APPLY_WINDOW, (int64_t)(g_timeout * 1000));
  ApplyReplies replies{&queue, toChange, std::vector<Camera>(toChange.size()),
                       std::vector<bool>(toChange.size(), false)};
  int failed = send_modifies(fd, &link, own, texts, &replies);
  if (failed == 0 && !g_interrupted && !toChange.empty())
    failed = verify_rows(fd, &link, own, &replies);
  close(fd);
  for (RowState &row : rows)
    if (row.result == ROW_UNCHANGED) {  // nothing was sent: it holds what it held
      row.after = row.before;
      row.heardAfter = true;
    }
  if (failed != 0 || g_interrupted) {
    // No verifying search: the rows say what each camera answered.
    for (size_t i = 0; i < toChange.size(); i++) {
      toChange[i]->heardAfter = replies.answered[i];
      toChange[i]->after = replies.answers[i];
      toChange[i]->result = verified_result(queue.outcome(i), replies.answered[i],
                                            replies.answers[i], toChange[i]->row->planned);
    }
  }
  print_site_report(stdout, stderr, g_form == OUTPUT_JSON, false, rows, planPath);
  if (failed != 0 || g_saveFailed) return EXIT_USAGE;
  bool allHold = std::all_of(rows.begin(), rows.end(), [](const RowState &r) {
    return r.result == ROW_APPLIED || r.result == ROW_UNCHANGED;
  });
  return allHold ? EXIT_ANSWERED : EXIT_NO_ANSWER;
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
  request_receive_buffer(fd, "UDP socket's");
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

static int on_udp_search_reply(const uint8_t *data, size_t len, void *ctx) {
  take_udp_search_reply((CameraList *)ctx, g_filter, data, len);
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
  return sent == 0 ? search_result(&list) : EXIT_USAGE;
}

static int on_udp_modify_reply(const uint8_t *data, size_t len, void *ctx) {
  if (!take_udp_modify_reply(stdout, stderr, g_form, (ModifyAnswer *)ctx, data, len)) return 0;
  fflush(stdout);
  return 1;
}

static int udp_modify(int argc, char **argv) {
  // MAC IP NETMASK GATEWAY TITLE [PASSWORD [NEWPASSWORD]]
  ModifyAnswer modify;
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
  return modify_result(modify, argv[0]);
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
      {"once", no_argument, nullptr, 'o'},
      {"user", required_argument, nullptr, 'U'},
      {"dry-run", no_argument, nullptr, 'n'},
      {"help", no_argument, nullptr, 'h'},
      {nullptr, 0, nullptr, 0},
  };
  bool udp = false;
  int opt;
  while ((opt = getopt_long(argc, argv, "+i:t:us:bjrm:p:oU:nh", longopts, nullptr)) != -1) {
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
        if (parse_mac(optarg, g_filter.mac) != 0) {
          fprintf(stderr, "discover: bad MAC address: %s\n", optarg);
          return EXIT_USAGE;
        }
        g_filter.haveMac = true;
        break;
      case 'o':
        g_once = true;
        break;
      case 'p':
        g_passwordFile = optarg;
        break;
      case 'U':
        g_user = optarg;
        break;
      case 'n':
        g_dryRun = true;
        break;
      case 'h':
        usage(stdout);
        return 0;
      default:
        usage(stderr);
        return EXIT_USAGE;
    }
  }
  if (g_saveDir) {
    g_saveDirFd = open(g_saveDir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (g_saveDirFd < 0) {
      fprintf(stderr, "discover: --save %s: %s\n", g_saveDir, strerror(errno));
      return EXIT_USAGE;
    }
  }
  int left = argc - optind;
  char **args = argv + optind;
  g_start = now_seconds();
  if (left == 1 && strcmp(args[0], "search") == 0) return udp ? udp_search() : raw_search();
  if (!udp && left == 1 && strcmp(args[0], "listen") == 0) return raw_listen();
  if (!udp && left >= 2 && strcmp(args[0], "replay") == 0) return raw_replay(left - 1, args + 1);
  if (!udp && left == 2 && strcmp(args[0], "apply") == 0) return raw_apply(args[1]);
  if (left >= 1 && strcmp(args[0], "apply") == 0) {
    fprintf(stderr, udp ? "discover: apply: raw frames only, not --udp\n"
                        : "discover: apply: one plan file\n");
  } else if (left >= 1 && strcmp(args[0], "modify") == 0) {
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
