// qzdb-dump: prints what the settings store gives the programs, for the end-to-end
// cases. Options apply writes first: --title TEXT, --port N, --user NAME:PASSWORD:PRIV.
#include <getopt.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "qzdb.h"

namespace {

int apply_user(const char *userText) {
  DbUser user;
  memset(&user, 0, sizeof user);
  char copy[256];
  snprintf(copy, sizeof copy, "%s", userText);
  char *save = nullptr;
  const char *name = strtok_r(copy, ":", &save);
  const char *password = strtok_r(nullptr, ":", &save);
  const char *privilege = strtok_r(nullptr, ":", &save);
  if (!name || !password || !privilege) return -1;
  snprintf(user.name, sizeof user.name, "%s", name);
  snprintf(user.password, sizeof user.password, "%s", password);
  user.privilege = static_cast<uint8_t>(atoi(privilege));
  update_user_module_permission_by_privilege(-1, user.privilege, user.permission);
  return db_set_user(&user);
}

void dump() {
  for (uint8_t iface = 0; iface < 2; iface++) {
    DbNetwork net;
    memset(&net, 0, sizeof net);
    net.iface = iface;
    int rc = db_get_network(&net);
    printf("network %u: %d dhcp=%u host=%s ip=%s mask=%s gw=%s dns=%s,%s\n", iface, rc, net.dhcp,
           net.hostname, net.ip, net.netmask, net.gateway, net.dns1, net.dns2);
  }
  DbPort port;
  memset(&port, 0, sizeof port);
  int rc = db_get_port(&port);
  printf("port: %d http=%d\n", rc, port.http);
  DbDevice device;
  memset(&device, 0, sizeof device);
  rc = db_get_device(&device);
  printf("device: %d title=%s model=%s firmware=%s serial=%s\n", rc, device.title, device.model,
         device.firmware, device.serial);
  DbOem oem;
  memset(&oem, 0, sizeof oem);
  rc = oem_get_device(&oem);
  printf("oem: %d index=%u model=%s oem_get_index=%d\n", rc, oem.index, oem.model, oem_get_index());
  DbUser *users = nullptr;
  int count = 0;
  rc = db_get_users(&users, &count);
  printf("users: %d count=%d\n", rc, count);
  for (int i = 0; i < count; i++)
    printf("  %s password=%s privilege=%u permission[0]=%u\n", users[i].name, users[i].password,
           users[i].privilege, users[i].permission[0]);
  __qz_free(users, "qzdb_dump", __LINE__);
  static ParkingParam parking;
  rc = db_get_parking(&parking);
  printf("parking: %d enable=%u detectSens=%u occupancySens=%u\n", rc, parking.enable,
         parking.detectSens, parking.occupancySens);
  for (int r = 0; r < PARKING_REGIONS; r++) {
    const ParkingRegion &region = parking.regions[r];
    if (region.dividerCount == 0) continue;
    printf("  region %d first=%d direction=%u dividers=%u:", r, region.firstNumber,
           region.direction, region.dividerCount);
    for (uint32_t k = 0; k < region.dividerCount; k++)
      printf(" (%d,%d)-(%d,%d)", region.dividers[k].ax, region.dividers[k].ay,
             region.dividers[k].bx, region.dividers[k].by);
    printf("\n");
  }
}

}  // namespace

int main(int argc, char **argv) {
  static const struct option options[] = {{"title", required_argument, nullptr, 't'},
                                          {"port", required_argument, nullptr, 'p'},
                                          {"user", required_argument, nullptr, 'u'},
                                          {nullptr, 0, nullptr, 0}};
  int rc = db_init();
  printf("db_init: %d\n", rc);
  if (rc != 0) return 1;
  int opt;
  while ((opt = getopt_long(argc, argv, "t:p:u:", options, nullptr)) != -1) {
    if (opt == 't') printf("set title: %d\n", db_set_device_title(optarg));
    else if (opt == 'p') printf("set port: %d\n", db_set_port_http(atoi(optarg)));
    else if (opt == 'u') printf("set user: %d\n", apply_user(optarg));
    else return 2;
  }
  dump();
  db_uninit(1);
  return 0;
}
