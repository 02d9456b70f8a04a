// The raw side's link to eth0: the libpcap capture the listener reads and replies go
// out on, and the announcer.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "qz_search.h"

// Sends one frame on the listener's capture; 0 or -1.
int search_send_frame(SearchListener *listener, const uint8_t *frame, size_t len);
// Ends the listener's capture loop, if it runs.
bool search_capture_break(SearchListener *listener);
