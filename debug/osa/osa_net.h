// IPv4 settings of a network interface: socket ioctls and the kernel routing table.
// Addresses cross these calls as dotted-decimal text. Interface names longer than the
// system's 16-byte field are cut.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// 1 if text is a dotted-decimal IPv4 address as inet_pton takes it ("a.b.c.d", each
// 0..255 without leading zeros or signs, nothing around it), else 0. Exported from `debug` for the libraries it loads.
__attribute__((visibility("default"))) int CheckIPAddr(const char *text);

#ifdef __cplusplus
}
#endif

// 1 and the canonical text of a dotted quad that CheckIPAddr accepts (out may be
// null), else 0.
int net_canonical_ipv4(const char *text, char out[16]);

int net_get_ifaddr(const char *ifname, char *buf, size_t size);
int net_set_ifaddr(const char *ifname, const char *addr);
int net_get_netmask(const char *ifname, char *buf, size_t size);
int net_set_netmask(const char *ifname, const char *mask);
// The gateway of the first up, gateway-flagged route of ifname; "0.0.0.0" and -1
// when there is none.
int net_get_gateway(const char *ifname, char *buf, size_t size);
// Replaces the default routes through ifname's gateways by one through gateway.
int net_set_gateway(const char *ifname, const char *gateway);
void net_del_gateway(unsigned long gatewayNetworkOrder);
int net_add_gateway(unsigned long gatewayNetworkOrder);

// 1 if hostname may be handed to the DHCP client's command line: only letters,
// digits, '-' and '.' (an empty name too), and no '-' first, where the client would
// take the name for an option.
int net_hostname_is_safe(const char *hostname);
// Stops any running DHCP client and starts one for ifname in the background, without
// a shell and with none of our descriptors beyond 0, 1 and 2; 0 once started, -1 when it could not be. A host name that is not safe is
// refused (-1) and nothing runs.
int net_start_dhcp(const char *ifname, const char *hostname);
