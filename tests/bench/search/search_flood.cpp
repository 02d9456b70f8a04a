// Floods an interface with search requests at a fixed rate (RATE "max": as fast as
// this one sender can), each from one of many source MACs (locally administered,
// unicast), or with modify requests for the camera TARGET from one source MAC, and
// prints what it sent. Used by tests/bench/search/flood inside the board sandbox; it
// decides nothing.
//
//   search_flood IFACE RATE|max SECONDS [TARGET]
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include "search_proto.h"

// A modify with a user and a wrong password: the most a frame can ask of the camera.
static const char kModifyText[] = "10.9.9.9;80;255.0.0.0;10.0.0.1;1.1.1.1;Flood;admin;guess";
static const uint8_t kModifySource[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x42};

static bool parse_mac(const char *text, uint8_t out[6]) {
  unsigned b[6];
  if (sscanf(text, "%x:%x:%x:%x:%x:%x", &b[0], &b[1], &b[2], &b[3], &b[4], &b[5]) != 6)
    return false;
  for (int i = 0; i < 6; i++) out[i] = (uint8_t)b[i];
  return true;
}

static double now_seconds(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

int main(int argc, char **argv) {
  uint8_t target[6];
  if ((argc != 4 && argc != 5) || (argc == 5 && !parse_mac(argv[4], target))) {
    fprintf(stderr, "usage: search_flood IFACE RATE|max SECONDS [TARGET]\n");
    return 2;
  }
  const bool modify = argc == 5;
  const bool unpaced = strcmp(argv[2], "max") == 0;
  const double rate = unpaced ? 1 : atof(argv[2]), seconds = atof(argv[3]);
  int fd = socket(AF_PACKET, SOCK_RAW, htons(SEARCH_ETHERTYPE));
  struct ifreq req;
  memset(&req, 0, sizeof(req));
  snprintf(req.ifr_name, sizeof(req.ifr_name), "%s", argv[1]);
  if (fd < 0 || ioctl(fd, SIOCGIFINDEX, &req) < 0 || rate <= 0 || seconds <= 0) {
    perror("search_flood");
    return 2;
  }
  struct sockaddr_ll link;
  memset(&link, 0, sizeof(link));
  link.sll_family = AF_PACKET;
  link.sll_protocol = htons(SEARCH_ETHERTYPE);
  link.sll_ifindex = req.ifr_ifindex;
  link.sll_halen = 6;
  memset(link.sll_addr, 0xff, 6);
  const long total = unpaced ? -1 : (long)(rate * seconds);
  const double start = now_seconds();
  long sent = 0;
  for (long i = 0; total < 0 || i < total; i++) {
    if (unpaced) {
      if ((i & 1023) == 0 && now_seconds() - start >= seconds) break;
    } else {
      // Sends in steps of a millisecond's worth, then sleeps until the next is due.
      double due = start + (double)i / rate;
      double wait = due - now_seconds();
      if (wait > 0.001) usleep((useconds_t)(wait * 1e6));
    }
    uint8_t src[6] = {0x02, 0x00, 0x00, (uint8_t)(i >> 16), (uint8_t)(i >> 8), (uint8_t)i};
    uint8_t frame[128];
    size_t len = modify ? search_build_modify_request(frame, sizeof(frame), kModifySource, target,
                                                      kModifyText)
                        : search_build_search_request(frame, sizeof(frame), src);
    if (sendto(fd, frame, len, 0, (struct sockaddr *)&link, sizeof(link)) == (ssize_t)len) sent++;
  }
  const double took = now_seconds() - start;
  printf("sent %ld %s frames in %.2f s (%.0f a second)\n", sent, modify ? "modify" : "search",
         took, sent / took);
  close(fd);
  return 0;
}
