// The responder's reads and writes of the settings store.
#include "search_store.h"

#include <arpa/inet.h>
#include <pthread.h>
#include <string.h>

#include "osa.h"
#include "osa_net.h"
#include "search_guard.h"
#include "search_iface.h"
#include "search_proto.h"
#include "search_service.h"

// The store is called from the listener, the announcer and the UDP thread; one lock
// keeps a read-modify-write of one thread from interleaving with another's.
static pthread_mutex_t g_searchStoreLock = PTHREAD_MUTEX_INITIALIZER;
// A modify's store write and its apply to eth0, as one (see NetworkChangeLock).
static pthread_mutex_t g_searchNetworkLock = PTHREAD_MUTEX_INITIALIZER;
NetworkChangeLock::NetworkChangeLock() { pthread_mutex_lock(&g_searchNetworkLock); }
NetworkChangeLock::~NetworkChangeLock() { pthread_mutex_unlock(&g_searchNetworkLock); }
// Password guesses from anyone on the segment are slowed.
static PasswordGuard g_searchPasswordGuard;

// The store fills records without promising a terminator in every field we print.
static void terminate_text(char *text, size_t size) { text[size - 1] = '\0'; }
#define TERMINATE(field) terminate_text(field, sizeof(field))

// The wired row: iface 0.
static void read_network(DbNetwork *net) {
  memset(net, 0, sizeof(*net));
  net->iface = 0;
  db_get_network(net);
  TERMINATE(net->hostname);
  TERMINATE(net->ip);
  TERMINATE(net->netmask);
  TERMINATE(net->gateway);
  TERMINATE(net->dns1);
  TERMINATE(net->dns2);
}

static void read_device(DbDevice *dev, DbOem *oem) {
  memset(dev, 0, sizeof(*dev));
  memset(oem, 0, sizeof(*oem));
  db_get_device(dev);
  oem_get_device(oem);
  TERMINATE(dev->title);
  TERMINATE(dev->model);
  TERMINATE(dev->firmware);
  TERMINATE(dev->serial);
  TERMINATE(oem->model);
}

void search_read_network(DbNetwork *net) {
  pthread_mutex_lock(&g_searchStoreLock);
  read_network(net);
  pthread_mutex_unlock(&g_searchStoreLock);
}

int search_read_oem_index(void) {
  pthread_mutex_lock(&g_searchStoreLock);
  int index = oem_get_index();
  pthread_mutex_unlock(&g_searchStoreLock);
  return index;
}

const char *device_name(const DbDevice *dev, const DbOem *oem) {
  return oem->model[0] ? oem->model : dev->model;
}

static ReplySnapshot g_searchSnapshot;
static pthread_mutex_t g_searchSnapshotLock = PTHREAD_MUTEX_INITIALIZER;

static void snapshot_invalidate(void) {
  pthread_mutex_lock(&g_searchSnapshotLock);
  g_searchSnapshot.valid = false;
  pthread_mutex_unlock(&g_searchSnapshotLock);
}

void snapshot_get(ReplySnapshot *out) {
  int64_t now = search_monotonic_ms();
  pthread_mutex_lock(&g_searchSnapshotLock);
  ReplySnapshot *snap = &g_searchSnapshot;
  if (!snap->valid || now - snap->takenMs >= 1000) {
    memset(&snap->port, 0, sizeof(snap->port));
    pthread_mutex_lock(&g_searchStoreLock);
    read_device(&snap->dev, &snap->oem);
    read_network(&snap->net);
    db_get_port(&snap->port);
    pthread_mutex_unlock(&g_searchStoreLock);
    snap->liveIp[0] = snap->liveMask[0] = snap->liveGateway[0] = '\0';
    if (snap->net.dhcp)
      search_read_live_addresses(snap->liveIp, snap->liveMask, snap->liveGateway,
                                 sizeof(snap->liveIp));
    snap->valid = true;
    snap->takenMs = now;
  }
  *out = *snap;
  pthread_mutex_unlock(&g_searchSnapshotLock);
}

int search_check_user(const char *user, const char *password) {
  DbUser *users = nullptr;
  int count = 0;
  int result = -1;
  if (db_get_users(&users, &count) == 0 && users) {
    for (int i = 0; i < count; i++) {
      const DbUser *u = &users[i];
      if (strncmp(u->name, user, sizeof(u->name)) == 0 && strlen(user) < sizeof(u->name) &&
          strncmp(u->password, password, sizeof(u->password)) == 0 &&
          strlen(password) < sizeof(u->password) && u->privilege <= 1) {
        result = 0;
        break;
      }
    }
  }
  __qz_free(users, MODULE_FILE, __LINE__);
  return result;
}

int stored_user(const char *name, DbUser *user) {
  DbUser *users = nullptr;
  int count = 0;
  int result = -1;
  if (db_get_users(&users, &count) == 0 && users) {
    for (int i = 0; i < count && result != 0; i++) {
      if (strncmp(users[i].name, name, sizeof(users[i].name)) != 0) continue;
      *user = users[i];
      TERMINATE(user->name);
      TERMINATE(user->password);
      result = 0;
    }
  }
  __qz_free(users, MODULE_FILE, __LINE__);
  return result;
}

// search_check_user behind the guessing pause: while a pause runs every check is
// refused without looking at the password.
static int check_user_guarded(const char *user, const char *password) {
  int64_t now = search_monotonic_ms();
  if (g_searchPasswordGuard.paused(now)) return -1;
  if (search_check_user(user, password) == 0) {
    g_searchPasswordGuard.succeeded();
    return 0;
  }
  unsigned pauseMs = g_searchPasswordGuard.failed(now);
  if (pauseMs)
    module_error("qz_search", "search_check_user", __LINE__,
                 "repeated wrong passwords: modify requests refused for %u ms\n", pauseMs);
  return -1;
}

void plan_write(ModifyPlan *plan, ModifyWrite write) {
  plan->writes[plan->writeCount++] = write;
}

// What an accepted modify wrote, one line on the console: printed whatever requests
// from the network did to the console's share, so that no flood can hide a change.
static void print_accepted(const ModifyPlan &plan, const char *function) {
  char line[1024] = "";
  size_t used = 0;
  auto append = [&](const char *fmt, auto... args) {
    if (used < sizeof(line)) used += (size_t)snprintf(line + used, sizeof(line) - used, fmt, args...);
  };
  for (int i = 0; i < plan.writeCount; i++) {
    switch (plan.writes[i]) {
      case WRITE_PORT:
        append(" HttpPort:%ld", plan.httpPort);
        break;
      case WRITE_TITLE: {
        char shown[SEARCH_ESCAPED_SIZE(sizeof(((DbDevice *)nullptr)->title))];
        search_escape_text(plan.title, strnlen(plan.title, sizeof(((DbDevice *)nullptr)->title)),
                           shown, sizeof(shown));
        append(" Title:%s", shown);
        break;
      }
      case WRITE_NETWORK:
        append(" DHCP:%d IP:%s Netmask:%s Gateway:%s Dns:%s", plan.net.dhcp, plan.net.ip,
               plan.net.netmask, plan.net.gateway, plan.net.dns1);
        break;
      case WRITE_USER:
        append(" Password of %s changed", plan.user.name);
        break;
    }
  }
  OSA_printf("%s set:%s\n", function, line);
}

int modify_store(const char *user, const char *password, const ModifyEditor &edit,
                 const char *function, DbNetwork *stored) {
  memset(stored, 0, sizeof(*stored));
  pthread_mutex_lock(&g_searchStoreLock);
  if (check_user_guarded(user, password) != 0) {
    pthread_mutex_unlock(&g_searchStoreLock);
    return MODIFY_REFUSED;
  }
  ModifyPlan plan;
  memset(&plan, 0, sizeof(plan));
  read_network(&plan.net);
  *stored = plan.net;
  edit(plan);
  int result = plan.result;
  for (int i = 0; i < plan.writeCount && result != -1; i++) {
    const char *failed = nullptr;
    switch (plan.writes[i]) {
      case WRITE_PORT:
        if (db_set_port_http((int)plan.httpPort) != 0) failed = "db_set_port_http";
        break;
      case WRITE_TITLE:
        if (db_set_device_title(plan.title) != 0) failed = "db_set_device_title";
        break;
      case WRITE_NETWORK:
        if (db_set_network(&plan.net) != 0) failed = "db_set_network";
        else *stored = plan.net;
        break;
      case WRITE_USER:
        if (db_set_user(&plan.user) != 0) failed = "db_set_user";
        break;
    }
    if (failed) {
      module_error("qz_search", function, __LINE__, "%s failed: nothing more written\n", failed);
      result = -1;
    }
  }
  pthread_mutex_unlock(&g_searchStoreLock);
  snapshot_invalidate();  // after the store lock: a refresh takes them the other way round
  if (result != -1) print_accepted(plan, function);
  return result;
}

void take_address(char *field, size_t size, const char *text) {
  char canonical[INET_ADDRSTRLEN];
  if (net_canonical_ipv4(text, canonical)) OSA_copyText(field, size, canonical);
}

static void report_unusable(const char *name, const char *address, const char *function) {
  module_error("qz_search", function, __LINE__, "%s %s skipped: not a usable address\n", name,
               address);
}

void take_netmask(char *field, size_t size, const char *text, const char *function) {
  char canonical[INET_ADDRSTRLEN];
  if (!net_canonical_ipv4(text, canonical)) return;
  if (search_netmask_is_usable(canonical))
    OSA_copyText(field, size, canonical);
  else
    report_unusable("netmask", canonical, function);
}

void take_host_address(char *field, size_t size, const char *text, const char *mask,
                       const char *name, const char *function) {
  char canonical[INET_ADDRSTRLEN];
  if (!net_canonical_ipv4(text, canonical)) return;
  if (search_host_address_is_usable(canonical, mask))
    OSA_copyText(field, size, canonical);
  else
    report_unusable(name, canonical, function);
}

static void report_outside(const char *what, const DbNetwork *net, const char *function) {
  module_error("qz_search", function, __LINE__, "gateway %s %s: not in the subnet of %s/%s\n",
               net->gateway, what, net->ip, net->netmask);
}

void take_gateway(DbNetwork *net, const char *text, const char *function) {
  char requested[sizeof(net->gateway)];
  OSA_copyText(requested, sizeof(requested), net->gateway);
  take_host_address(requested, sizeof(requested), text, net->netmask, "gateway", function);
  if (strcmp(requested, net->gateway) != 0) {
    if (search_gateway_in_subnet(requested, net->ip, net->netmask)) {
      OSA_copyText(net->gateway, sizeof(net->gateway), requested);
      return;
    }
    DbNetwork shown = *net;
    OSA_copyText(shown.gateway, sizeof(shown.gateway), requested);
    report_outside("skipped", &shown, function);
  }
  if (net->gateway[0] && !search_gateway_in_subnet(net->gateway, net->ip, net->netmask)) {
    report_outside("cleared", net, function);
    net->gateway[0] = '\0';
  }
}

bool title_usable(const char *title, const char *function) {
  if (!title[0]) return false;
  if (search_title_is_valid(title)) return true;
  module_error("qz_search", function, __LINE__, "title skipped: ';' or a control byte\n");
  return false;
}
