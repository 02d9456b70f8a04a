// IPv4 helpers over the socket ioctls and /proc/net/route.
#include "osa_net.h"

#include <arpa/inet.h>
#include <ctype.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdint.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "osa.h"

#define NET_SRC "osa_net"

int net_canonical_ipv4(const char *text, char out[INET_ADDRSTRLEN]) {
  struct in_addr addr;
  if (!text || inet_pton(AF_INET, text, &addr) != 1) return 0;
  if (out && !inet_ntop(AF_INET, &addr, out, INET_ADDRSTRLEN)) return 0;
  return 1;
}

int CheckIPAddr(const char *text) { return net_canonical_ipv4(text, nullptr); }

// A datagram socket for one ioctl; reports a failure under the caller's name.
static int open_ioctl_socket(const char *function) {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    perror("socket error");
    OSA_error(NET_SRC, function, __LINE__, "socket error");
  }
  return fd;
}

static void fill_ifreq(struct ifreq *req, const char *ifname) {
  memset(req, 0, sizeof(*req));
  // The name field holds 16 bytes; a name of 16 fills it without a terminator, as
  // the kernel accepts.
  memcpy(req->ifr_name, ifname, strnlen(ifname, sizeof(req->ifr_name)));
}

static int get_address(const char *ifname, char *buf, size_t size, unsigned long request,
                       const char *function, const char *what) {
  int fd = open_ioctl_socket(function);
  if (fd < 0) return -1;
  struct ifreq req;
  fill_ifreq(&req, ifname);
  if (ioctl(fd, request, &req) < 0) {
    perror(what);
    OSA_error(NET_SRC, function, __LINE__, "%s", what);
    close(fd);
    return -1;
  }
  close(fd);
  struct sockaddr_in sin;
  memcpy(&sin, &req.ifr_addr, sizeof(sin));
  char text[INET_ADDRSTRLEN];
  if (inet_ntop(AF_INET, &sin.sin_addr, text, sizeof(text)) && CheckIPAddr(text) && size > 0)
    snprintf(buf, size, "%s", text);
  return 0;
}

static int set_address(const char *ifname, const char *addr, unsigned long request,
                       const char *function, const char *what) {
  struct sockaddr_in sin;
  memset(&sin, 0, sizeof(sin));
  sin.sin_family = AF_INET;
  sin.sin_port = 0;
  if (!addr || inet_pton(AF_INET, addr, &sin.sin_addr) != 1) sin.sin_addr.s_addr = 0;
  int fd = open_ioctl_socket(function);
  if (fd < 0) return -1;
  struct ifreq req;
  fill_ifreq(&req, ifname);
  memcpy(&req.ifr_addr, &sin, sizeof(sin));
  int result = 0;
  if (ioctl(fd, request, &req) < 0) {
    perror(what);
    OSA_error(NET_SRC, function, __LINE__, "%s", what);
    result = -1;
  }
  close(fd);
  return result;
}

int net_get_ifaddr(const char *ifname, char *buf, size_t size) {
  return get_address(ifname, buf, size, SIOCGIFADDR, "net_get_ifaddr",
                     "net_get_ifaddr: ioctl SIOCGIFADDR");
}

int net_get_netmask(const char *ifname, char *buf, size_t size) {
  return get_address(ifname, buf, size, SIOCGIFNETMASK, "net_get_netmask",
                     "net_get_netmask: ioctl SIOCGIFNETMASK");
}

int net_set_ifaddr(const char *ifname, const char *addr) {
  return set_address(ifname, addr, SIOCSIFADDR, "net_set_ifaddr",
                     "net_set_ifaddr: ioctl SIOCSIFADDR");
}

int net_set_netmask(const char *ifname, const char *mask) {
  return set_address(ifname, mask, SIOCSIFNETMASK, "net_set_netmask",
                     "net_set_netmask: ioctl SIOCSIFNETMASK");
}

// Opens the routing table past its header line, or reports under function.
static FILE *open_route_table(const char *function) {
  FILE *fp = fopen("/proc/net/route", "re");
  if (!fp) {
    perror("fopen /proc/net/route");
    OSA_error(NET_SRC, function, __LINE__, "fopen /proc/net/route");
    OSA_printf("INET (IPv4) not configured in this system.");
    return nullptr;
  }
  char line[131];
  if (!fgets(line, sizeof(line), fp)) {
    fclose(fp);
    return nullptr;
  }
  return fp;
}

// The next up, gateway-flagged route line of ifname; its gateway in network order.
static int next_gateway_route(FILE *fp, const char *ifname, unsigned long *gateway) {
  char line[131];
  char name[IFNAMSIZ + 1];
  snprintf(name, sizeof(name), "%s", ifname);
  while (fgets(line, sizeof(line), fp)) {
    char iface[132];
    unsigned long dest, gw;
    unsigned flags;
    if (sscanf(line, "%131s\t%08lX\t%08lX\t%8X\t", iface, &dest, &gw, &flags) != 4) continue;
    if ((flags & (RTF_UP | RTF_GATEWAY)) != (RTF_UP | RTF_GATEWAY)) continue;
    if (strcmp(iface, name) != 0) continue;
    *gateway = gw;
    return 1;
  }
  return 0;
}

int net_get_gateway(const char *ifname, char *buf, size_t size) {
  FILE *fp = open_route_table("net_get_gateway");
  unsigned long gw = 0;
  int found = fp ? next_gateway_route(fp, ifname, &gw) : 0;
  if (fp) fclose(fp);
  if (!found) {
    if (size > 0) snprintf(buf, size, "0.0.0.0");
    return -1;
  }
  struct in_addr addr;
  addr.s_addr = (in_addr_t)gw;
  char text[INET_ADDRSTRLEN];
  if (inet_ntop(AF_INET, &addr, text, sizeof(text)) && CheckIPAddr(text) && size > 0)
    snprintf(buf, size, "%s", text);
  return 0;
}

// A default route (destination and genmask 0.0.0.0) through gateway.
static void fill_default_route(struct rtentry *rt, unsigned long gatewayNetworkOrder) {
  memset(rt, 0, sizeof(*rt));
  struct sockaddr_in *dst = (struct sockaddr_in *)&rt->rt_dst;
  struct sockaddr_in *mask = (struct sockaddr_in *)&rt->rt_genmask;
  struct sockaddr_in *gw = (struct sockaddr_in *)&rt->rt_gateway;
  dst->sin_family = AF_INET;
  mask->sin_family = AF_INET;
  gw->sin_family = AF_INET;
  gw->sin_addr.s_addr = (in_addr_t)gatewayNetworkOrder;
  rt->rt_flags = RTF_UP | RTF_GATEWAY;
}

void net_del_gateway(unsigned long gatewayNetworkOrder) {
  int fd = open_ioctl_socket("net_del_gateway");
  if (fd < 0) return;
  struct rtentry rt;
  fill_default_route(&rt, gatewayNetworkOrder);
  if (ioctl(fd, SIOCDELRT, &rt) < 0) {
    perror("net_del_gateway: ioctl SIOCDELRT");
    OSA_error(NET_SRC, "net_del_gateway", __LINE__, "net_del_gateway: ioctl SIOCDELRT");
  }
  close(fd);
}

int net_add_gateway(unsigned long gatewayNetworkOrder) {
  int fd = open_ioctl_socket("net_add_gateway");
  if (fd < 0) return -1;
  struct rtentry rt;
  fill_default_route(&rt, gatewayNetworkOrder);
  int result = 0;
  if (ioctl(fd, SIOCADDRT, &rt) < 0) {
    perror("net_add_gateway: ioctl SIOCADDRT");
    OSA_error(NET_SRC, "net_add_gateway", __LINE__, "net_add_gateway: ioctl SIOCADDRT");
    result = -1;
  }
  close(fd);
  return result;
}

int net_set_gateway(const char *ifname, const char *gateway) {
  FILE *fp = open_route_table("net_set_gateway");
  if (!fp) return -1;
  unsigned long old;
  while (next_gateway_route(fp, ifname, &old)) net_del_gateway(old);
  fclose(fp);
  struct in_addr addr;
  if (!gateway || inet_pton(AF_INET, gateway, &addr) != 1) addr.s_addr = 0;
  return net_add_gateway(addr.s_addr);
}

int net_hostname_is_safe(const char *hostname) {
  if (!hostname) return 0;
  // A leading '-' would reach the client as an option of its own.
  if (hostname[0] == '-') return 0;
  for (const char *p = hostname; *p; p++) {
    unsigned char c = (unsigned char)*p;
    if (!isalnum(c) && c != '-' && c != '.') return 0;
  }
  return 1;
}

static void *reap_child(void *arg) {
  waitpid((pid_t)(intptr_t)arg, nullptr, 0);
  return nullptr;
}

static void run_and_wait(char *const argv[]) {
  pid_t pid = OSA_spawn(argv, "/dev/null");
  if (pid > 0) waitpid(pid, nullptr, 0);
}

int net_start_dhcp(const char *ifname, const char *hostname) {
  // A host name with characters outside a DNS label's is refused, not passed on.
  if (!net_hostname_is_safe(hostname) || !net_hostname_is_safe(ifname) || !ifname[0]) {
    OSA_error(NET_SRC, "net_start_dhcp", __LINE__,
              "refusing to start dhcpcd: unsafe interface or host name \"%s\"\n",
              hostname ? hostname : "");
    return -1;
  }
  char killall[] = "killall", dhcpcd[] = "dhcpcd", timeoutFlag[] = "-t", timeout[] = "30",
       hostFlag[] = "-h", interrupt[] = "-2", kill9[] = "-9";
  char *const release[] = {killall, interrupt, dhcpcd, nullptr};
  char *const stop[] = {killall, kill9, dhcpcd, nullptr};
  run_and_wait(release);
  run_and_wait(stop);
  // An argument vector: no length limit cuts the command and no shell reads the name.
  char *const start[] = {dhcpcd,   const_cast<char *>(ifname),   timeoutFlag, timeout,
                         hostFlag, const_cast<char *>(hostname), nullptr};
  OSA_printf("dhcp:%s %s -t 30 -h '%s' > /dev/null", dhcpcd, ifname, hostname);
  pid_t pid = OSA_spawn(start, "/dev/null");
  if (pid < 0) {
    OSA_error(NET_SRC, "net_start_dhcp", __LINE__, "cannot start dhcpcd\n");
    return -1;
  }
  // The client waits up to 30 s for a lease: the caller goes on meanwhile, and a
  // detached thread collects the child's exit status.
  pthread_t reaper;
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  if (pthread_create(&reaper, &attr, reap_child, (void *)(intptr_t)pid) != 0) waitpid(pid, nullptr, WNOHANG);
  pthread_attr_destroy(&attr);
  return 0;
}
