// The responder's side of eth0: its MAC, its live addresses, and giving it settings.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "qzdb.h"

#define SEARCH_IFACE "eth0"

// Reads ifname's MAC; the wireless interface is not served. 0 or -1.
int get_mac(const char *ifname, uint8_t out[6]);

// eth0's address, netmask and gateway as the kernel holds them now (DHCP on).
void search_read_live_addresses(char *ip, char *mask, char *gateway, size_t size);

// Gives eth0 the wired settings of net: its static address, or a DHCP client.
void apply_network(const DbNetwork *net);
