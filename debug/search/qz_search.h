// The `search` module: the discovery responder on eth0 (raw frames, EtherType 0x0809)
// and, on OEM index 12, the UDP "tovrin" protocol. It wires the layers below it:
// search_capture (eth0's frames), search_raw and search_udp (the protocols),
// search_store and search_iface (settings and eth0), search_service (shared state).
#pragma once

int search_run(int argc, char **argv);
// Starts the listener, the announcer and (OEM index 12) the UDP thread; 0 or -1.
int qz_search_init(void);
// Stops them and waits for each.
void search_deinit(void);
// Gives eth0 the stored wired settings.
int search_init_network(void);
