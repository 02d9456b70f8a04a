// Host Wi-Fi library. State under BOARD_SIM_DIR:
//   wifi.config  the last WifiConfig applied, the whole 440-byte record
//   wifi.link    1 after a configuration was applied (link up), absent/0 = down;
//                any other value reads as "unknown" (a test may write it)
//   wifi.pin     the device's WPS PIN, made on first request and kept
// Scans report a fixed set of cells of the simulated site.
#include "qzwifi.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "board_sim.h"

namespace {

struct ScanCell {
  const char *ssid;
  int channel;
  int signal;           // dBm
  int adhoc;            // 1 for an IBSS cell
  const char *security;
};

const ScanCell kSiteCells[] = {
    {"Tarvelion-Test", 7, -41, 0, "WPA+WPA2-PSK"},
    {"Parking-North", 1, -63, 0, "WPA2-PSK"},
    {"Gate-Service", 11, -70, 0, "WEP"},
    {"Lot-Guest", 6, -78, 0, "OPEN"},
    {"cam-adhoc-7", 3, -55, 1, "OPEN"},
};

struct ScanList {
  int count;
  const ScanCell *cells[sizeof kSiteCells / sizeof kSiteCells[0]];
};

const char *const kEncrypNames[] = {"open",    "wep",      "wpa-psk",      "wpa2-psk", "wpa+wpa2-psk",
                                    "wpa-eap", "wpa2-eap", "wpa+wpa2-eap", "wps"};

void trace_config(const WifiConfig *c) {
  board_trace("wifi_config", c->mode, c->channel, c->key_mgmt, c->auth_alg, c->group, c->encryp,
              c->select, c->keytype, c->pairwise, c->proto, c->wps, c->wps_pbc, c->wps_pin);
}

// Channel 1..14 as a frequency; a value above 14 already is one.
int channel_mhz(uint32_t channel) {
  if (channel == 14) return 2484;
  if (channel >= 1 && channel <= 13) return 2407 + 5 * (int)channel;
  return (int)channel;
}

// WPS PIN checksum digit of the first seven digits.
int wps_checksum(unsigned pin7) {
  unsigned accum = 0;
  for (int i = 0; i < 7; i++) {
    unsigned digit = pin7 % 10;
    pin7 /= 10;
    accum += (i % 2 == 0) ? 3 * digit : digit;
  }
  return (10 - accum % 10) % 10;
}

}  // namespace

int wifi_config(WifiConfig *cfg) {
  if (!cfg) {
    board_trace("wifi_config");
    return -1;
  }
  trace_config(cfg);
  if (cfg->ssid[0] == '\0' || cfg->encryp > 8 || cfg->mode > 1) return -1;
  if (board_state_write("wifi.config", cfg, sizeof *cfg) != 0) return -1;
  return board_state_set_int("wifi.link", 1);
}

void *wifi_info_scan(int mode) {
  board_trace("wifi_info_scan", mode);
  ScanList *list = (ScanList *)calloc(1, sizeof(ScanList));
  if (!list) return nullptr;
  printf("wlan0 scan (%s):\n", mode == 1 ? "ad-hoc" : "managed");
  printf("%-3s %-32s %-7s %-7s %s\n", "No", "SSID", "CHANNEL", "SIGNAL", "SECURITY");
  for (const ScanCell &cell : kSiteCells) {
    if (cell.adhoc != (mode == 1 ? 1 : 0)) continue;
    list->cells[list->count++] = &cell;
    printf("%-3d %-32s %-7d %-7d %s\n", list->count, cell.ssid, cell.channel, cell.signal,
           cell.security);
  }
  printf("%d cell(s) found\n", list->count);
  fflush(stdout);
  return list;
}

void wifi_info_list_delete(void *list) {
  board_trace("wifi_info_list_delete");
  free(list);
}

void wifi_print_config(void) {
  board_trace("wifi_print_config");
  WifiConfig c;
  if (board_state_read("wifi.config", &c, sizeof c) != (long)sizeof c) {
    printf("wlan0: not configured\n");
    fflush(stdout);
    return;
  }
  c.ssid[sizeof c.ssid - 1] = '\0';
  printf("wlan0 configuration:\n");
  printf("  ssid     : %s\n", c.ssid);
  printf("  mode     : %s\n", c.mode == 1 ? "ad-hoc" : "managed");
  printf("  channel  : %u (%d MHz)\n", c.channel, channel_mhz(c.channel));
  printf("  encryp   : %u (%s)\n", c.encryp, c.encryp <= 8 ? kEncrypNames[c.encryp] : "?");
  printf("  key_mgmt : %u, auth_alg : %u, group : %u\n", c.key_mgmt, c.auth_alg, c.group);
  printf("  pairwise : %u, proto : %u\n", c.pairwise, c.proto);
  printf("  wep key  : %u, keytype : %s\n", c.select, c.keytype ? "ASCII" : "HEX");
  printf("  wps      : %u (pbc %u, pin %u)\n", c.wps, c.wps_pbc, c.wps_pin);
  fflush(stdout);
}

int wifi_get_status(void) {
  board_trace("wifi_get_status");
  long long link = board_state_get_int("wifi.link", 0);
  return (link == 0 || link == 1) ? (int)link : -1;
}

void wifi_print_status(void) {
  board_trace("wifi_print_status");
  long long link = board_state_get_int("wifi.link", 0);
  WifiConfig c;
  bool have = board_state_read("wifi.config", &c, sizeof c) == (long)sizeof c;
  if (link == 1 && have) {
    c.ssid[sizeof c.ssid - 1] = '\0';
    printf("wlan0: link up, ssid %s, %d MHz\n", c.ssid, channel_mhz(c.channel));
  } else if (link == 0 || link == 1) {
    printf("wlan0: link down\n");
  } else {
    printf("wlan0: link state unknown\n");
  }
  fflush(stdout);
}

int wifi_wps_get_pin(char *pin) {
  board_trace("wifi_wps_get_pin");
  if (!pin) return -1;
  char text[16] = {0};
  long n = board_state_read("wifi.pin", text, 8);
  if (n != 8) {
    srand((unsigned)time(nullptr) ^ (unsigned)getpid());
    unsigned pin7 = (unsigned)rand() % 10000000u;
    snprintf(text, sizeof text, "%07u%d", pin7, wps_checksum(pin7));
    if (board_state_write("wifi.pin", text, 8) != 0) return -1;
  }
  memcpy(pin, text, 8);
  pin[8] = '\0';
  return 0;
}
