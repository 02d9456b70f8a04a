// The maker's Wi-Fi library (libqzwifi).
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Configuration record handed to wifi_config (little-endian, 440 bytes).
typedef struct WifiConfig {
  char ssid[128];
  uint32_t mode;        // 0 managed, 1 ad-hoc
  uint32_t channel;     // 1..14, or a frequency in MHz (2442 = channel 7)
  uint32_t key_mgmt;    // 0 NONE, 1 IEEE8021X, 2 WPA-PSK, 3 WPA-EAP, 4 WPA-NONE, 5 ALL
  uint32_t auth_alg;    // 0 OPEN, 1 shared key, 2 LEAP
  uint32_t group;       // 0 CCMP, 1 TKIP, 2 WEP104, 3 WEP40, 5 WEP, 6 WPA
  uint32_t encryp;      // 0 open, 1 WEP, 2 WPA-PSK, 3 WPA2-PSK, 4 WPA+WPA2-PSK, 5..7 EAP, 8 WPS
  uint8_t select;       // WEP key in use, 0..3
  char key0[32];
  char key1[32];
  char key2[32];
  char key3[32];
  uint8_t pad0[3];
  uint32_t keytype;     // 0 HEX, 1 ASCII
  uint32_t pairwise;    // 0 NONE, 1 TKIP, 2 CCMP, 3 AUTO
  uint32_t proto;       // 0 WPA, 1 RSN, 2 AUTO
  char psk[64];
  uint8_t wps;          // 0 master (PIN), 1 PBC, 2 slave (PIN and AP name)
  uint8_t wps_pbc;
  uint8_t wps_pin;
  char apname[64];
  char pincode[10];
  uint8_t pad1[3];
} WifiConfig;

// Applies the record. Returns 0, or -1 when it is refused.
int wifi_config(WifiConfig *cfg);
// Scans for cells in mode (0 managed, 1 ad-hoc), prints the list and returns it as a
// handle for wifi_info_list_delete (null when nothing was found).
void *wifi_info_scan(int mode);
void wifi_info_list_delete(void *list);
// Prints the configuration last applied.
void wifi_print_config(void);
// 0 link down, 1 link up, -1 unknown.
int wifi_get_status(void);
// Prints the interface status.
void wifi_print_status(void);
// Writes the device's WPS PIN (8 digits and a NUL) into pin[9]. Returns 0 or -1.
int wifi_wps_get_pin(char *pin);

#ifdef __cplusplus
}
static_assert(sizeof(WifiConfig) == 440, "WifiConfig is 440 bytes");
static_assert(offsetof(WifiConfig, mode) == 128, "WifiConfig.mode");
static_assert(offsetof(WifiConfig, channel) == 132, "WifiConfig.channel");
static_assert(offsetof(WifiConfig, key_mgmt) == 136, "WifiConfig.key_mgmt");
static_assert(offsetof(WifiConfig, auth_alg) == 140, "WifiConfig.auth_alg");
static_assert(offsetof(WifiConfig, group) == 144, "WifiConfig.group");
static_assert(offsetof(WifiConfig, encryp) == 148, "WifiConfig.encryp");
static_assert(offsetof(WifiConfig, select) == 152, "WifiConfig.select");
static_assert(offsetof(WifiConfig, key0) == 153, "WifiConfig.key0");
static_assert(offsetof(WifiConfig, key1) == 185, "WifiConfig.key1");
static_assert(offsetof(WifiConfig, key2) == 217, "WifiConfig.key2");
static_assert(offsetof(WifiConfig, key3) == 249, "WifiConfig.key3");
static_assert(offsetof(WifiConfig, keytype) == 284, "WifiConfig.keytype");
static_assert(offsetof(WifiConfig, pairwise) == 288, "WifiConfig.pairwise");
static_assert(offsetof(WifiConfig, proto) == 292, "WifiConfig.proto");
static_assert(offsetof(WifiConfig, psk) == 296, "WifiConfig.psk");
static_assert(offsetof(WifiConfig, wps) == 360, "WifiConfig.wps");
static_assert(offsetof(WifiConfig, wps_pbc) == 361, "WifiConfig.wps_pbc");
static_assert(offsetof(WifiConfig, wps_pin) == 362, "WifiConfig.wps_pin");
static_assert(offsetof(WifiConfig, apname) == 363, "WifiConfig.apname");
static_assert(offsetof(WifiConfig, pincode) == 427, "WifiConfig.pincode");
#endif
