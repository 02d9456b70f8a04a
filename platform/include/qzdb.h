// Settings store (libqzdb): the records and calls both programs use.
//
// Callers zero a record, then the store fills it. Text fields are NUL-terminated
// within their width. The records cross a library boundary on a 32-bit board, so
// every field has a fixed width and the sizes and offsets are pinned below.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct DbNetwork {
  uint8_t dhcp;           // non-zero: address from DHCP
  uint8_t iface;          // set by the caller before a read: 0 wired, 1 wireless
  char hostname[128];
  char ip[64];
  char netmask[64];
  char gateway[64];
  char dns1[64];
  char dns2[64];
  uint8_t reserved[230];
} DbNetwork;

typedef struct DbPort {
  int32_t http;
  int32_t reserved[8];
} DbPort;

typedef struct DbDevice {
  uint32_t reserved;
  char title[128];     // device text 1
  char model[32];      // device text 2
  char firmware[32];   // device text 3
  char serial[64];     // device text 4
} DbDevice;

typedef struct DbOem {
  uint32_t index;
  char model[64];
  uint8_t reserved[588];
} DbOem;

typedef struct DbUser {
  char name[128];
  char password[64];      // plain text
  uint8_t privilege;      // 0 administrator
  uint8_t reserved[3];
  uint8_t permission[652];
} DbUser;

// Parking rows as drawn in the web interface (configuration coordinates 320 x 240).
enum { PARKING_REGIONS = 20, PARKING_DIVIDERS = 101 };

typedef struct ParkingDivider {
  int32_t ax, ay, bx, by;
} ParkingDivider;

typedef struct ParkingRegion {
  int32_t firstNumber;
  uint32_t direction;     // 0: numbers ascend along the row
  ParkingDivider dividers[PARKING_DIVIDERS];
  uint32_t dividerCount;
  uint8_t reserved[104];
} ParkingRegion;

typedef struct ParkingParam {
  uint32_t enable;
  uint32_t detectSens;
  uint32_t occupancySens;
  uint8_t reserved0[108];
  ParkingRegion regions[PARKING_REGIONS];
  uint8_t reserved1[10524];
} ParkingParam;

int db_init(void);
int db_uninit(int flag);
int db_get_network(DbNetwork *rec);
int db_set_network(DbNetwork *rec);
int db_get_port(DbPort *rec);
int db_set_port_http(int port);
int db_get_device(DbDevice *rec);
int db_set_device_title(const char *title);
int oem_get_device(DbOem *rec);
int oem_get_index(void);
// *list receives an array of *count users; free it with __qz_free.
int db_get_users(DbUser **list, int *count);
void __qz_free(void *ptr, const char *source, int line);
int db_set_user(DbUser *rec);
int update_user_module_permission_by_privilege(int module, int privilege, uint8_t *area);
int db_get_parking(ParkingParam *rec);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
static_assert(sizeof(DbNetwork) == 680, "DbNetwork size");
static_assert(offsetof(DbNetwork, dhcp) == 0 && offsetof(DbNetwork, iface) == 1, "DbNetwork flags");
static_assert(offsetof(DbNetwork, hostname) == 2 && offsetof(DbNetwork, ip) == 130, "DbNetwork texts");
static_assert(offsetof(DbNetwork, netmask) == 194 && offsetof(DbNetwork, gateway) == 258, "DbNetwork texts");
static_assert(offsetof(DbNetwork, dns1) == 322 && offsetof(DbNetwork, dns2) == 386, "DbNetwork texts");
static_assert(sizeof(DbPort) == 36 && offsetof(DbPort, http) == 0, "DbPort");
static_assert(sizeof(DbDevice) == 260 && offsetof(DbDevice, title) == 4, "DbDevice");
static_assert(offsetof(DbDevice, model) == 132 && offsetof(DbDevice, firmware) == 164, "DbDevice");
static_assert(offsetof(DbDevice, serial) == 196, "DbDevice");
static_assert(sizeof(DbOem) == 656, "DbOem size");
static_assert(sizeof(DbUser) == 848 && offsetof(DbUser, password) == 128, "DbUser");
static_assert(offsetof(DbUser, privilege) == 192 && offsetof(DbUser, permission) == 196, "DbUser");
static_assert(sizeof(ParkingRegion) == 1732, "ParkingRegion size");
static_assert(sizeof(ParkingParam) == 45284, "ParkingParam size");
static_assert(offsetof(ParkingParam, detectSens) == 4 && offsetof(ParkingParam, occupancySens) == 8, "ParkingParam");
static_assert(offsetof(ParkingParam, regions) == 120, "ParkingParam regions");
static_assert(offsetof(ParkingParam, regions[1]) == 120 + 1732, "ParkingParam region stride");
static_assert(offsetof(ParkingRegion, dividers) == 8 && offsetof(ParkingRegion, dividerCount) == 1624, "ParkingRegion");
#endif
