// eth0 as the responder sees and changes it.
#include "search_iface.h"

#include <net/if.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "module_util.h"
#include "osa_net.h"
#include "search_service.h"

int get_mac(const char *ifname, uint8_t out[6]) {
  if (strcmp(ifname, "wlan0") == 0) {  // the wireless interface is not served
    memset(out, 0, 6);
    return -1;
  }
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    perror("create socket fail\n");
    return -1;
  }
  struct ifreq req;
  memset(&req, 0, sizeof(req));
  memcpy(req.ifr_name, ifname, strnlen(ifname, IFNAMSIZ - 1));
  if (ioctl(fd, SIOCGIFHWADDR, &req) < 0) {
    close(fd);
    SEARCH_ERROR(__LINE__, "mac ioctl error(%s). \n", ifname);
    return -1;
  }
  memcpy(out, req.ifr_hwaddr.sa_data, 6);
  close(fd);
  return 0;
}

void search_read_live_addresses(char *ip, char *mask, char *gateway, size_t size) {
  net_get_ifaddr(SEARCH_IFACE, ip, size);
  net_get_netmask(SEARCH_IFACE, mask, size);
  net_get_gateway(SEARCH_IFACE, gateway, size);
}

void apply_network(const DbNetwork *net) {
  const char *ip = CheckIPAddr(net->ip) ? net->ip : "";
  const char *mask = CheckIPAddr(net->netmask) ? net->netmask : "";
  const char *gateway = CheckIPAddr(net->gateway) ? net->gateway : "";
  if (net->dhcp) {
    net_start_dhcp(SEARCH_IFACE, net->hostname);
  } else {
    net_set_ifaddr(SEARCH_IFACE, ip);
    net_set_netmask(SEARCH_IFACE, mask);
    net_set_gateway(SEARCH_IFACE, gateway);
  }
}
