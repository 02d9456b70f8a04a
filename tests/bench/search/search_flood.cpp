// Floods an interface with search requests at a fixed rate, each from one of many
// source MACs (locally administered, unicast), and prints what it sent. Used by
// tests/bench/search/flood inside the board sandbox; it decides nothing.
//
//   search_flood IFACE RATE SECONDS
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

static double now_seconds(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

int main(int argc, char **argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: search_flood IFACE RATE SECONDS\n");
    return 2;
  }
  const double rate = atof(argv[2]), seconds = atof(argv[3]);
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
  const long total = (long)(rate * seconds);
  const double start = now_seconds();
  long sent = 0;
  for (long i = 0; i < total; i++) {
    // Sends in steps of a millisecond's worth, then sleeps until the next is due.
    double due = start + (double)i / rate;
    double wait = due - now_seconds();
    if (wait > 0.001) usleep((useconds_t)(wait * 1e6));
    uint8_t src[6] = {0x02, 0x00, 0x00, (uint8_t)(i >> 16), (uint8_t)(i >> 8), (uint8_t)i};
    uint8_t frame[60];
    size_t len = search_build_search_request(frame, sizeof(frame), src);
    if (sendto(fd, frame, len, 0, (struct sockaddr *)&link, sizeof(link)) == (ssize_t)len) sent++;
  }
  printf("sent %ld search frames in %.2f s\n", sent, now_seconds() - start);
  close(fd);
  return 0;
}
