// wifi: fills a WifiConfig from the command line, derives the cipher fields that follow
// from the encryption, and hands it to libqzwifi; scan, status, link and WPS-PIN
// queries go straight to the library, in their place among the options.
#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "module_util.h"
#include "osa.h"
#include "qzwifi.h"
#include "test.h"


static WifiConfig g_wifiCfg = {
    "Tarvelion-Test",
    /* mode */ 0,
    /* channel */ 2442,
    /* key_mgmt */ 2,
    /* auth_alg */ 0,
    /* group */ 5,
    /* encryp */ 8,
    /* select */ 0,
    "73916",
    "7a3c91e04d",
    "8362017459316",
    "5f2a8c0e71d94b36a0c7e5f218",
    /* pad0 */ {0, 0, 0},
    /* keytype */ 1,
    /* pairwise */ 3,
    /* proto */ 2,
    "quillmoss",
    /* wps */ 1,
    /* wps_pbc */ 1,
    /* wps_pin */ 0,
    "Tarvelion-Test",
    "40716283",
    /* pad1 */ {0, 0, 0},
};
static int g_wifiApply;

enum {
  OPT_AUTH_ALG = 256, OPT_KEY_MGMT, OPT_GROUP, OPT_SSID, OPT_SELECT, OPT_KEY0, OPT_KEY1,
  OPT_KEY2, OPT_KEY3, OPT_KEYTYPE, OPT_PAIRWISE, OPT_PROTO, OPT_PSK, OPT_WPS, OPT_APNAME,
  OPT_PINCODE, OPT_SCAN, OPT_STATUS, OPT_LINK
};

static const ModuleOption g_wifiOptions[] = {
    {"module", required_argument, 'M', "module", "module name: wifi"},
    {"mode", required_argument, 'm', "digit", "wifi work mode default [0:manage]"},
    {"encryp", required_argument, 'e', "str", "wifi encryption type default[4:wpa-wpa2-psk]"},
    {"channel", required_argument, 'c', "digit", "wifi work channel, default [7]:2.442GHZ"},
    {"auth_alg", required_argument, OPT_AUTH_ALG, "digit", "wifi auth_alg, default[0:OPEN]"},
    {"key_mgmt", required_argument, OPT_KEY_MGMT, "digit", "wifi key_mgmt, default[2:PSK]"},
    {"group", required_argument, OPT_GROUP, "digit", "wifi group, default[5:WPA]"},
    {"ssid", required_argument, OPT_SSID, "str", "wifi ssid name, default[Tarvelion-Test]"},
    {"select", required_argument, OPT_SELECT, "digit", "wifi wep key select, default[0]"},
    {"key0", required_argument, OPT_KEY0, "str", "wifi wep key0, default [73916(ASCII)]"},
    {"key1", required_argument, OPT_KEY1, "str", "wifi wep key1, default [7a3c91e04d(HEX)]"},
    {"key2", required_argument, OPT_KEY2, "str", "wifi wep key2, default [8362017459316(ASCII)]"},
    {"key3", required_argument, OPT_KEY3, "str",
     "wifi wep key3, default [5f2a8c0e71d94b36a0c7e5f218(HEX)]"},
    {"keytype", required_argument, OPT_KEYTYPE, "dight", "wifi wep key type, default[1:ASCII]"},
    {"pairwise", required_argument, OPT_PAIRWISE, "dight", "wifi wpa pairwise, default[3:AUTO]"},
    {"proto", required_argument, OPT_PROTO, "dight", "wifi wpa proto, default[3:AUTO]"},
    {"psk", required_argument, OPT_PSK, "pskkey", "wifi wpa psk key, default[quillmoss]"},
    {"wps", required_argument, OPT_WPS, "digit", "wifi wps type, default[1: PBC]"},
    {"apname", required_argument, OPT_APNAME, "str",
     "wifi wps appin AP name, default[Tarvelion-Test]"},
    {"pincode", required_argument, OPT_PINCODE, "str",
     "wifi wps appin AP pincode, default[7051936]"},
    {"scan", no_argument, OPT_SCAN, "", "wifi scan AP infromation"},
    {"status", no_argument, OPT_STATUS, "", "wifi get current work information"},
    {"link", no_argument, OPT_LINK, "", "wifi check device link up/down"},
};

// The description printed after the option rows, one console print per piece.
static const char *const g_wifiDescription[] = {
    "Wifi configure descryption: \n",
    "common config:\n",
    "    encryp=default[4:wpa-wpa2-psk]\n",
    "        [0]open: open mode, no encrypeted\n",
    "        [1]wep: wep encryption\n",
    "        [2]wpa-psk: WPA1 persional key\n",
    "        [3]wpa2-psk: WPA2 persional key\n",
    "        [4]wpa+wpa2-psk: WPA1+WPA2 persional key\n",
    "        [5]wpa-eap: WPA1 EPA encryption\n",
    "        [6]wpa2-eap: WPA2 EPA encryption\n",
    "        [7]wpa+wpa2-eap: WPA1+WPA2 EPA encryption\n",
    "        [8]wps: Wi-Fi Protected Setup, auto connect to Wi-Fi\n",
    "    mode=default[0:manage]\n",
    "        [0]: manage, [1]: ad-hoc\n",
    "    channel=default[7(2.442GHZ)]\n",
    "        [1(2.412GHZ)-14(2.484GHZ)], (step 0.005GHZ)\n",
    "    key_mgmt=default[2:WPA-PSK]\n",
    "        [0]NONE: for WEP or Ad-hoc open/wep encryption mode\n",
    "        [1]IEEE8021X: for ieee8021x]\n",
    "        [2]WPA-PSK: for WPA personal\n",
    "        [3]WPA-EAP: for WPA enterprise\n",
    "        [4]WPA-NONE: for Ad-hoc WPA encryption mode\n",
    "        [5]ALL: for all [NONE IEEE8021X WPA-PSK WPA-EAP]\n",
    "    auth_alg=default[0:OPEN]\n",
    "        [0]: OPEN, Open System authentication (required for WPA/WPA2)\n",
    "        [1]: Shared Key authentication (requires static WEP keys)\n",
    "        [2]: LEAP/Network EAP (only used with LEAP)\n",
    "    group=default[5:WPA]",
    "        [0]: CCMP/AES, [1]: TKIP, [2]:WEP104, [3]:WEP40\n",
    "        [5]: WEP, [6]: WPA, [7]:ALL\n",
    "    ssid:=default[Tarvelion-Test]\n\n",
    "WEP config:\n",
    "    select=default[0]\n",
    "        [n]: use WEP[n] as wep encrption key value\n",
    "    key0=default[73916(ASCII)]\n",
    "    key1=default[7a3c91e04d(HEX)]\n",
    "    key2=default[8362017459316(ASCII)]\n",
    "    key3=default[5f2a8c0e71d94b36a0c7e5f218(HEX)]\n",
    "        keyn: the key of WEP encryption, length based on keytype\n",
    "    keytype=default[1:ASCII]\n",
    "        [0]HEX: key in hex digits, length 10 (WEP40) or 26 (WEP104)\n",
    "        [1]ASCII: key in characters, length 5 (WEP40) or 13 (WEP104)\n\n",
    "WPA personal config:\n",
    "    pairwise=default[3:AUTO]\n",
    "        [0]NONE: Use only Group Keys, use in ad-hoc mode\n",
    "        [1]TKIP: Temporal Key Integrity Protocol [IEEE 802.11i/D7.0]\n",
    "        [2]CCMP: AES in Counter mode with CBC-MAC [RFC 3610, IEEE 802.11i/D7.0]\n",
    "        [3]AUTO: TKIP+CCMP\n",
    "    proto=default[2:AUTO]",
    "        [0]WPA: [WPA] WPA-TKIP\n",
    "        [1]RSN: [RSN] WPA2-AES/CCMP\n",
    "        [2]AUTO: [WPA RSN] WPA-TKIP + WPA2-AES/CCMP\n\n",
    "WPA EAP config:\n",
    "        reserverd!\n\n",
    "WPS config:\n",
    "    wps=default[0:slave mode]\n",
    "        [0]master mode: create pin code, then use Wi-Fi to connect IPC-wifi\n",
    "        [1]PBC mode: PushButton Connection mode\n",
    "        [2]slave mode: use Wi-Fi pin code and AP name to connect to Wi-Fi\n",
    "        apname=default[Tarvelion-Test]\n",
    "            apname: It's used to get Wi-Fi MAC to run WPS\n",
    "        pincode=default[40716283]\n",
    "            pincode: Wi-Fi WPS pin code value!\n\n",
    "WIFI use example:",
    "Encryp=[0:OPEN], command line:\n",
    "    1: manage mode\n",
    "        debug -M wifi -e 0 -m 0 --ssid [...] \n",
    "    2: ad-hoc mode\n",
    "        debug -M wifi -e 0 -m 1 -c [n(1-14)] --ssid [...] \n",
    "Encryp=[1:WEP], command line:\n",
    "    1: manage mode\n",
    "        debug -M wifi -e 1 -m 0 --ssid [...] --select 0 --key0 [...] \n",
    "    2: ad-hoc mode\n",
    "        debug -M wifi -e 1 -m 1 -c [n(1-14)] --ssid [...] --select 0 --key0 [...] \n",
    "Encryp=[2:WPA-PSK], command line:\n",
    "    1: manage mode + TKIP\n",
    "        debug -M wifi -e 2 -m 0 --ssid [...] --psk [...] --pairwise 1 \n",
    "    2: manage mode + CCMP/AES\n",
    "        debug -M wifi -e 2 -m 0 --ssid [...] --psk [...] --pairwise 2 \n",
    "    3: manage mode + TKIP+CCMP/AES\n",
    "        debug -M wifi -e 2 -m 0 --ssid [...] --psk [...] --pairwise 3 \n",
    "    4: ad-hoc mode + TKIP\n",
    "        debug -M wifi -e 2 -m 0 -c [n(1-14)] --ssid [...] --psk [...] --group  1 \n",
    "    5: ad-hoc mode + CCMP/AES\n",
    "        debug -M wifi -e 2 -m 1 -c [n(1-14)] --ssid [...] --psk [...] --group  0 \n",
    "Encryp=[3:WPA2-PSK], command line:\n",
    "    1: manage mode + TKIP\n",
    "        debug -M wifi -e 3 -m 0 --ssid [...] --psk [...] --pairwise 1 \n",
    "    2: manage mode + CCMP/AES\n",
    "        debug -M wifi -e 3 -m 0 --ssid [...] --psk [...] --pairwise 2 \n",
    "    3: manage mode + TKIP+CCMP/AES\n",
    "        debug -M wifi -e 3 -m 0 --ssid [...] --psk [...] --pairwise 3 \n",
    "Encryp=[4:WPA+WPA2-PSK], command line:\n",
    "    1: manage mode + TKIP\n",
    "        debug -M wifi -e 4 -m 0 --ssid [...] --psk [...] --pairwise 1 \n",
    "    2: manage mode + CCMP/AES\n",
    "        debug -M wifi -e 4 -m 0 --ssid [...] --psk [...] --pairwise 2 \n",
    "    3: manage mode + TKIP+CCMP/AES\n",
    "        debug -M wifi -e 4 -m 0 --ssid [...] --psk [...] --pairwise 3 \n",
    "Encryp=[8:WPS], command line:\n",
    "    1: master mode, use Wi-Fi to connect IPC-wifi\n",
    "        debug -M wifi --wps 0 \n",
    "    2: PushButton mode, use Wi-Fi WPS-Button and IPC WPS-Button\n",
    "        debug -M wifi --wps 1 \n",
    "    3: slave mode, IPC-wifi connect to Wi-Fi\n",
    "        debug -M wifi --wps 2 --apname [...] --pincode [...] \n",
};

static void wifi_help(void) {
  print_module_usage(MODULE_WIFI, g_wifiOptions);
  for (const char *piece : g_wifiDescription) OSA_printf("%s", piece);
}

typedef struct WifiEncrypName {
  const char *upper;
  const char *lower;
  uint32_t encryp;
  int group;      // -1: unchanged
  int authAlg;    // -1: unchanged
} WifiEncrypName;

static const WifiEncrypName g_wifiEncrypNames[] = {
    {"WPA-PSK", "wpa-psk", 2, 1, -1},
    {"WPA2-PSK", "wpa2-psk", 3, 0, -1},
    {"WPA+WPA2-PSK", "wpa+wpa2-psk", 4, 5, -1},
    {"WEP40-OPEN", "wep40-open", 1, 3, 0},
    {"WEP40-SHARED", "wep40-shared", 1, 3, 1},
    {"WEP104-OPEN", "wep104-open", 1, 2, 0},
    {"WEP104-SHARED", "wep104-shared", 1, 2, 1},
    {"OPEN", "open", 0, -1, -1},
};

// Refusals from the option helpers below carry the report name of the option parser,
// the one log parsers know them by.
[[noreturn]] static void wifi_refuse(int line, const char *fmt, uint32_t low, uint32_t high) {
  module_option_exit(MODULE_FILE, "wifi_init_param", line, wifi_help, fmt, low, high);
}

// A number in range, or a fatal option error.
static uint32_t wifi_number(const char *text, uint32_t low, uint32_t high, int line,
                            const char *fmt) {
  uint32_t value = module_parse_u32(text);
  if (value < low || value > high) wifi_refuse(line, fmt, low, high);
  return value;
}

// For the options that also take names (mode, encryp): text that is neither one of
// the names nor a number is refused, so a misspelt name never silently selects 0
// (managed mode, open encryption).
static uint32_t wifi_name_or_number(const char *text, uint32_t low, uint32_t high, int line,
                                    const char *fmt) {
  if (!module_is_number(text)) wifi_refuse(line, fmt, low, high);
  return wifi_number(text, low, high, line, fmt);
}

// Options that store a number into a 32-bit field after a range check.
typedef struct WifiNumberOption {
  int option;
  size_t offset;
  uint32_t low, high;
  int line;
  const char *format;   // takes low and high
} WifiNumberOption;

static const WifiNumberOption g_wifiNumberOptions[] = {
    {'c', offsetof(WifiConfig, channel), 1, 14, 530, "Error wifi freq, must be[%d-%d]\n"},
    {OPT_AUTH_ALG, offsetof(WifiConfig, auth_alg), 0, 2, 543,
     "Error wifi auth_alg, must be[%d-%d]\n"},
    {OPT_KEY_MGMT, offsetof(WifiConfig, key_mgmt), 0, 5, 555,
     "Error wifi key_mgmt, must be[%d-%d]\n"},
    {OPT_GROUP, offsetof(WifiConfig, group), 0, 6, 567, "Error wifi group, must be[%d-%d]\n"},
    {OPT_KEYTYPE, offsetof(WifiConfig, keytype), 0, 1, 675,
     "Error wifi wep keyType, must be [%d-%d]\n"},
    {OPT_PAIRWISE, offsetof(WifiConfig, pairwise), 0, 3, 688,
     "Error wifi wpa pairwise, must be [%d-%d]\n"},
    {OPT_PROTO, offsetof(WifiConfig, proto), 0, 2, 700, "Error wifi wpa proto, must be [%d-%d]\n"},
};

// The four WEP keys: cut to the field, then the length must be 5, 10, 13 or 26.
typedef struct WifiKeyOption {
  int option;
  size_t offset;
  int line;
  int index;
} WifiKeyOption;

static const WifiKeyOption g_wifiKeyOptions[] = {
    {OPT_KEY0, offsetof(WifiConfig, key0), 610, 0},
    {OPT_KEY1, offsetof(WifiConfig, key1), 627, 1},
    {OPT_KEY2, offsetof(WifiConfig, key2), 645, 2},
    {OPT_KEY3, offsetof(WifiConfig, key3), 663, 3},
};

// Stores the option if it is a number or key option; false for any other option.
static bool wifi_set_field_option(int option, const char *text) {
  char *record = (char *)&g_wifiCfg;
  for (const WifiNumberOption &number : g_wifiNumberOptions) {
    if (number.option != option) continue;
    uint32_t value = wifi_number(text, number.low, number.high, number.line, number.format);
    memcpy(record + number.offset, &value, sizeof value);
    return true;
  }
  for (const WifiKeyOption &key : g_wifiKeyOptions) {
    if (key.option != option) continue;
    char *field = record + key.offset;
    OSA_copyText(field, sizeof g_wifiCfg.key0, text);
    size_t len = strlen(field);
    if (len != 5 && len != 10 && len != 13 && len != 26)
      wifi_refuse(key.line, "Error wifi wep key%d, must be [5,10,13,26]\n", key.index, 0);
    return true;
  }
  return false;
}

static void wifi_scan(void) {
  void *list = wifi_info_scan((int)g_wifiCfg.mode);
  wifi_info_list_delete(list);
}

static void wifi_link(void) {
  int status = wifi_get_status();
  if (status == 0)
    OSA_printf("Wifi link down!\n");
  else if (status == 1)
    OSA_printf("Wifi link up!\n");
  else
    OSA_printf("Wifi can't check link status!\n");
  wifi_print_status();
}

static void wifi_init_param(int argc, char **argv) {
  optind = 0;
  int c;
  ModuleGetopt options(g_wifiOptions);
  while ((c = options.next(argc, argv)) != -1) {
    if (wifi_set_field_option(c, optarg)) continue;
    switch (c) {
      case 'm':
        if (!strcmp(optarg, "ad-hoc") || !strcmp(optarg, "AD-HOC"))
          g_wifiCfg.mode = 1;
        else if (!strcmp(optarg, "managed") || !strcmp(optarg, "MANAGED"))
          g_wifiCfg.mode = 0;
        else
          g_wifiCfg.mode =
              wifi_name_or_number(optarg, 0, 1, 451, "Error wifi mode, must be[%d-%d]\n");
        break;
      case 'e': {
        const WifiEncrypName *named = nullptr;
        for (const WifiEncrypName &name : g_wifiEncrypNames)
          if (!strcmp(optarg, name.upper) || !strcmp(optarg, name.lower)) named = &name;
        if (named) {
          g_wifiCfg.encryp = named->encryp;
          if (named->group >= 0) g_wifiCfg.group = (uint32_t)named->group;
          if (named->authAlg >= 0) g_wifiCfg.auth_alg = (uint32_t)named->authAlg;
        } else {
          g_wifiCfg.encryp = wifi_name_or_number(optarg, 0, 8, 517,
                                                 "Error wifi encryption, must be[%d-%d]\n");
        }
        g_wifiApply = 1;
        break;
      }
      case OPT_SSID:
        if (optarg[0] == '\0')
          MODULE_OPTION_EXIT(wifi_help, 581, "Error wifi ssid length, must > 0!\n");
        OSA_copyText(g_wifiCfg.ssid, sizeof g_wifiCfg.ssid, optarg);
        break;
      case OPT_SELECT: {
        uint8_t select = (uint8_t)module_parse_u32(optarg);
        if (select > 3) MODULE_OPTION_EXIT(wifi_help, 593, "Error wifi wep index, must be [0-3]\n");
        g_wifiCfg.select = select;
        break;
      }
      case OPT_PSK: {
        size_t len = strlen(optarg);
        if (len < 8 || len > 63)
          MODULE_OPTION_EXIT(wifi_help, 715, "Error wifi wpa psk_key length, must be [8-63]\n");
        OSA_copyText(g_wifiCfg.psk, sizeof g_wifiCfg.psk, optarg);
        break;
      }
      case OPT_WPS: {
        uint8_t type = (uint8_t)module_parse_u32(optarg);
        if (type > 2) MODULE_OPTION_EXIT(wifi_help, 750, "Error WPS type must be [%d-%d]!\n", 0, 2);
        g_wifiCfg.encryp = 8;
        g_wifiCfg.wps = type;
        if (type == 1) {
          g_wifiCfg.wps_pbc = 1;
          g_wifiApply = 1;
        } else if (type == 2) {
          g_wifiCfg.wps_pin = 1;
          g_wifiApply = 1;
        } else {
          char pin[9] = {0};
          wifi_wps_get_pin(pin);
          pin[8] = '\0';
          OSA_printf("Get IPC-wifi pin code = %s \n", pin);
        }
        break;
      }
      case OPT_APNAME: {
        size_t len = strlen(optarg);
        if (len < 1 || len > 63)
          MODULE_OPTION_EXIT(wifi_help, 765, "Error wifi WPS PinAP SSID length, must be [1-63]\n");
        OSA_copyText(g_wifiCfg.apname, sizeof g_wifiCfg.apname, optarg);
        break;
      }
      case OPT_PINCODE:
        OSA_copyText(g_wifiCfg.pincode, sizeof g_wifiCfg.pincode, optarg);
        if (strlen(g_wifiCfg.pincode) != 8)
          MODULE_OPTION_EXIT(wifi_help, 779, "Error wifi WPS PinAP PinCode length, must be 8\n");
        break;
      case OPT_SCAN:
        wifi_scan();
        break;
      case OPT_STATUS:
        wifi_print_config();
        break;
      case OPT_LINK:
        wifi_link();
        break;
      default:
        MODULE_OPTION_EXIT(wifi_help, 817, "Unknow option\n");
    }
  }
}

static const char *wifi_selected_key(const WifiConfig *cfg) {
  switch (cfg->select) {
    case 1: return cfg->key1;
    case 2: return cfg->key2;
    case 3: return cfg->key3;
    default: return cfg->key0;
  }
}

// Derives the cipher fields that follow from the encryption.
static void wifi_derive(WifiConfig *cfg) {
  if (cfg->encryp == 1) {
    switch (strnlen(wifi_selected_key(cfg), 32)) {
      case 5: cfg->keytype = 1; cfg->group = 3; break;
      case 10: cfg->keytype = 0; cfg->group = 3; break;
      case 13: cfg->keytype = 1; cfg->group = 2; break;
      case 26: cfg->keytype = 0; cfg->group = 2; break;
      default: break;
    }
  } else if (cfg->encryp >= 2 && cfg->encryp <= 4) {
    cfg->proto = cfg->encryp - 2;
    cfg->group = cfg->pairwise == 1 ? 1 : cfg->pairwise == 2 ? 0 : 5;
  }
}

static int wifi_test_main(void) {
  wifi_derive(&g_wifiCfg);
  if (g_wifiApply == 1 && wifi_config(&g_wifiCfg) != 0)
    MODULE_ERROR(909, "wifi config has error!\n");
  return 0;
}

static int wifi_run(int argc, char **argv) {
  wifi_init_param(argc, argv);
  return wifi_test_main();
}

static const TestModule wifi_module = {"wifi", MODULE_WIFI, wifi_run, wifi_help, nullptr};
TEST_MODULE_REGISTER(wifi_module)
