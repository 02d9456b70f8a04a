// Settings store over SQLite: the device database and the OEM database.
//
// Both files must exist (the programs seed them from /opt/app): db_init opens them
// read-write without ever creating one, and checks that the tables are there, so a
// missing or empty seed is reported instead of leaving a half-made database behind.
// One connection per file serves the whole process under one mutex; every write is
// a single IMMEDIATE transaction, so a crash leaves either the old or the new value.
//
// QZDB_PATH and QZDB_OEM_PATH replace the two paths (for unit tests).
#include "qzdb.h"

#include <pthread.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kDevicePath[] = "/mnt/nand/qzdb.db";
const char kOemPath[] = "/mnt/nand2/oem.db";
// Another process (the web side, the console) may hold the write lock for a moment.
const int kBusyTimeoutMs = 2000;
const int kPermissionBytes = sizeof(((DbUser *)nullptr)->permission);

struct Store {
  pthread_mutex_t lock;
  sqlite3 *device;
  sqlite3 *oem;
  int users;  // successful db_init calls not yet undone by db_uninit
};

Store g_store = {PTHREAD_MUTEX_INITIALIZER, nullptr, nullptr, 0};

struct StoreLock {
  StoreLock() { pthread_mutex_lock(&g_store.lock); }
  ~StoreLock() { pthread_mutex_unlock(&g_store.lock); }
  StoreLock(const StoreLock &) = delete;
  StoreLock &operator=(const StoreLock &) = delete;
};

const char *path_from_env(const char *name, const char *fallback) {
  const char *value = getenv(name);
  return (value && value[0]) ? value : fallback;
}

// Statement that finalizes itself on every return path.
struct Stmt {
  sqlite3_stmt *st = nullptr;
  Stmt(sqlite3 *db, const char *sql) {
    if (db && sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) st = nullptr;
  }
  ~Stmt() { sqlite3_finalize(st); }
  Stmt(const Stmt &) = delete;
  Stmt &operator=(const Stmt &) = delete;
  bool ok() const { return st != nullptr; }
  int step() { return sqlite3_step(st); }
};

// Copies column `col` as text into a field of `width` bytes, cut to fit with its NUL.
void column_text(sqlite3_stmt *st, int col, char *out, size_t width) {
  const unsigned char *value = sqlite3_column_text(st, col);
  size_t n = value ? strnlen(reinterpret_cast<const char *>(value), width - 1) : 0;
  if (n) memcpy(out, value, n);
  out[n] = '\0';
}

// Binds a record's text field: it need not be terminated within its width.
int bind_field(sqlite3_stmt *st, int index, const char *field, size_t width) {
  return sqlite3_bind_text(st, index, field, static_cast<int>(strnlen(field, width)),
                           SQLITE_TRANSIENT);
}

int exec(sqlite3 *db, const char *sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK ? 0 : -1;
}

// A write runs between begin_write and end_write; end_write commits when ok is 0
// and rolls back otherwise, and returns the outcome.
int begin_write(sqlite3 *db) { return db ? exec(db, "BEGIN IMMEDIATE") : -1; }

int end_write(sqlite3 *db, int ok) {
  if (ok == 0 && exec(db, "COMMIT") == 0) return 0;
  exec(db, "ROLLBACK");
  return -1;
}

int open_checked(const char *path, const char *probe, sqlite3 **out) {
  sqlite3 *db = nullptr;
  // No SQLITE_OPEN_CREATE: a missing file stays missing.
  if (sqlite3_open_v2(path, &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(db);
    return -1;
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  sqlite3_stmt *st = nullptr;
  // Preparing a query over every table proves the schema is in place.
  if (sqlite3_prepare_v2(db, probe, -1, &st, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return -1;
  }
  sqlite3_finalize(st);
  *out = db;
  return 0;
}

// Default permission area of a privilege: one byte per module, 2 = change,
// 1 = view only, 0 = no access. Administrators and operators may change
// everything, every other privilege may only look.
uint8_t permission_level(int privilege) { return privilege <= 1 ? 2 : 1; }

// The least privilege: what a stored value that cannot be trusted reads as.
const int kLeastPrivilege = 255;

}  // namespace

extern "C" {

int db_init(void) {
  StoreLock guard;
  if (g_store.users > 0) {
    g_store.users++;
    return 0;
  }
  sqlite3 *device = nullptr;
  sqlite3 *oem = nullptr;
  if (open_checked(path_from_env("QZDB_PATH", kDevicePath),
                   "SELECT 1 FROM network, port, device, user, parking, parking_region, "
                   "parking_divider",
                   &device) != 0)
    return -1;
  if (open_checked(path_from_env("QZDB_OEM_PATH", kOemPath), "SELECT 1 FROM oem", &oem) != 0) {
    sqlite3_close(device);
    return -1;
  }
  g_store.device = device;
  g_store.oem = oem;
  g_store.users = 1;
  return 0;
}

int db_uninit(int flag) {
  (void)flag;
  StoreLock guard;
  if (g_store.users == 0) return -1;
  if (--g_store.users > 0) return 0;
  sqlite3_close(g_store.device);
  sqlite3_close(g_store.oem);
  g_store.device = nullptr;
  g_store.oem = nullptr;
  return 0;
}

int db_get_network(DbNetwork *rec) {
  if (!rec) return -1;
  StoreLock guard;
  Stmt q(g_store.device,
         "SELECT dhcp, hostname, ip, netmask, gateway, dns1, dns2 FROM network WHERE iface = ?");
  if (!q.ok()) return -1;
  sqlite3_bind_int(q.st, 1, rec->iface);
  if (q.step() != SQLITE_ROW) return -1;
  rec->dhcp = static_cast<uint8_t>(sqlite3_column_int(q.st, 0));
  column_text(q.st, 1, rec->hostname, sizeof rec->hostname);
  column_text(q.st, 2, rec->ip, sizeof rec->ip);
  column_text(q.st, 3, rec->netmask, sizeof rec->netmask);
  column_text(q.st, 4, rec->gateway, sizeof rec->gateway);
  column_text(q.st, 5, rec->dns1, sizeof rec->dns1);
  column_text(q.st, 6, rec->dns2, sizeof rec->dns2);
  return 0;
}

int db_set_network(DbNetwork *rec) {
  if (!rec || rec->iface > 1) return -1;
  StoreLock guard;
  if (begin_write(g_store.device) != 0) return -1;
  int ok = -1;
  {
    Stmt q(g_store.device,
           "INSERT INTO network (iface, dhcp, hostname, ip, netmask, gateway, dns1, dns2) "
           "VALUES (?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (iface) DO UPDATE SET "
           "dhcp = excluded.dhcp, hostname = excluded.hostname, ip = excluded.ip, "
           "netmask = excluded.netmask, gateway = excluded.gateway, dns1 = excluded.dns1, "
           "dns2 = excluded.dns2");
    if (q.ok()) {
      sqlite3_bind_int(q.st, 1, rec->iface);
      sqlite3_bind_int(q.st, 2, rec->dhcp);
      bind_field(q.st, 3, rec->hostname, sizeof rec->hostname);
      bind_field(q.st, 4, rec->ip, sizeof rec->ip);
      bind_field(q.st, 5, rec->netmask, sizeof rec->netmask);
      bind_field(q.st, 6, rec->gateway, sizeof rec->gateway);
      bind_field(q.st, 7, rec->dns1, sizeof rec->dns1);
      bind_field(q.st, 8, rec->dns2, sizeof rec->dns2);
      if (q.step() == SQLITE_DONE) ok = 0;
    }
  }
  return end_write(g_store.device, ok);
}

int db_get_port(DbPort *rec) {
  if (!rec) return -1;
  StoreLock guard;
  Stmt q(g_store.device, "SELECT http FROM port LIMIT 1");
  if (!q.ok() || q.step() != SQLITE_ROW) return -1;
  rec->http = sqlite3_column_int(q.st, 0);
  return 0;
}

// Updates the single row of a one-row table, or inserts it when the table is empty.
static int set_single_row(sqlite3 *db, const char *update, const char *insert,
                          const char *text, int number) {
  if (begin_write(db) != 0) return -1;
  int ok = -1;
  const char *const statements[] = {update, insert};
  for (const char *sql : statements) {
    Stmt q(db, sql);
    if (!q.ok()) break;
    if (text)
      sqlite3_bind_text(q.st, 1, text, -1, SQLITE_TRANSIENT);
    else
      sqlite3_bind_int(q.st, 1, number);
    if (q.step() != SQLITE_DONE) break;
    if (sqlite3_changes(db) > 0) {
      ok = 0;
      break;
    }
  }
  return end_write(db, ok);
}

int db_set_port_http(int port) {
  if (port < 1 || port > 65535) return -1;
  StoreLock guard;
  return set_single_row(g_store.device, "UPDATE port SET http = ?",
                        "INSERT INTO port (http) VALUES (?)", nullptr, port);
}

int db_get_device(DbDevice *rec) {
  if (!rec) return -1;
  StoreLock guard;
  Stmt q(g_store.device, "SELECT title, model, firmware, serial FROM device LIMIT 1");
  if (!q.ok() || q.step() != SQLITE_ROW) return -1;
  column_text(q.st, 0, rec->title, sizeof rec->title);
  column_text(q.st, 1, rec->model, sizeof rec->model);
  column_text(q.st, 2, rec->firmware, sizeof rec->firmware);
  column_text(q.st, 3, rec->serial, sizeof rec->serial);
  return 0;
}

int db_set_device_title(const char *title) {
  if (!title) return -1;
  // Stored as it will be read back: cut to the record's width.
  char text[sizeof(((DbDevice *)nullptr)->title)];
  size_t n = strnlen(title, sizeof text - 1);
  memcpy(text, title, n);
  text[n] = '\0';
  StoreLock guard;
  return set_single_row(g_store.device, "UPDATE device SET title = ?",
                        "INSERT INTO device (title) VALUES (?)", text, 0);
}

int oem_get_device(DbOem *rec) {
  if (!rec) return -1;
  StoreLock guard;
  Stmt q(g_store.oem, "SELECT idx, model FROM oem LIMIT 1");
  if (!q.ok() || q.step() != SQLITE_ROW) return -1;
  rec->index = static_cast<uint32_t>(sqlite3_column_int64(q.st, 0));
  column_text(q.st, 1, rec->model, sizeof rec->model);
  return 0;
}

int oem_get_index(void) {
  StoreLock guard;
  Stmt q(g_store.oem, "SELECT idx FROM oem LIMIT 1");
  if (!q.ok() || q.step() != SQLITE_ROW) return -1;
  return sqlite3_column_int(q.st, 0);
}

static void fill_user(sqlite3_stmt *st, DbUser *user) {
  column_text(st, 0, user->name, sizeof user->name);
  // A privilege that is no integer in 0..255 must not wrap or convert to 0, the
  // administrator.
  sqlite3_int64 stored = sqlite3_column_int64(st, 2);
  int privilege = sqlite3_column_type(st, 2) == SQLITE_INTEGER && stored >= 0 && stored <= 255
                      ? static_cast<int>(stored)
                      : kLeastPrivilege;
  // A password longer than the field is not cut (its head would then match): the
  // field stays empty and the user reads as the least privilege, so no check passes.
  if (static_cast<size_t>(sqlite3_column_bytes(st, 1)) >= sizeof user->password) {
    user->password[0] = '\0';
    privilege = kLeastPrivilege;
  } else {
    column_text(st, 1, user->password, sizeof user->password);
  }
  user->privilege = static_cast<uint8_t>(privilege);
  const void *blob = sqlite3_column_blob(st, 3);
  int bytes = sqlite3_column_bytes(st, 3);
  if (blob && bytes > 0) {
    memcpy(user->permission, blob, bytes < kPermissionBytes ? bytes : kPermissionBytes);
  } else {
    memset(user->permission, permission_level(privilege), kPermissionBytes);
  }
}

int db_get_users(DbUser **list, int *count) {
  if (!list || !count) return -1;
  *list = nullptr;
  *count = 0;
  StoreLock guard;
  if (!g_store.device || exec(g_store.device, "BEGIN") != 0) return -1;
  // Count and read in one read transaction, so a user added meanwhile cannot overrun.
  int rows = -1;
  {
    Stmt n(g_store.device, "SELECT count(*) FROM user");
    if (n.ok() && n.step() == SQLITE_ROW) rows = sqlite3_column_int(n.st, 0);
  }
  DbUser *users = nullptr;
  int filled = 0;
  if (rows > 0) users = static_cast<DbUser *>(calloc(static_cast<size_t>(rows), sizeof(DbUser)));
  if (rows > 0 && users) {
    Stmt q(g_store.device,
           "SELECT name, password, privilege, permission FROM user ORDER BY rowid");
    while (q.ok() && filled < rows && q.step() == SQLITE_ROW) fill_user(q.st, &users[filled++]);
  }
  exec(g_store.device, "COMMIT");
  if (rows < 0 || (rows > 0 && !users)) {
    free(users);
    return -1;
  }
  *list = users;
  *count = filled;
  return 0;
}

void __qz_free(void *ptr, const char *source, int line) {
  (void)source;
  (void)line;
  free(ptr);
}

int db_set_user(DbUser *rec) {
  if (!rec || strnlen(rec->name, sizeof rec->name) == 0) return -1;
  StoreLock guard;
  if (begin_write(g_store.device) != 0) return -1;
  int ok = -1;
  {
    Stmt q(g_store.device,
           "INSERT INTO user (name, password, privilege, permission) VALUES (?, ?, ?, ?) "
           "ON CONFLICT (name) DO UPDATE SET password = excluded.password, "
           "privilege = excluded.privilege, permission = excluded.permission");
    if (q.ok()) {
      bind_field(q.st, 1, rec->name, sizeof rec->name);
      bind_field(q.st, 2, rec->password, sizeof rec->password);
      sqlite3_bind_int(q.st, 3, rec->privilege);
      sqlite3_bind_blob(q.st, 4, rec->permission, kPermissionBytes, SQLITE_TRANSIENT);
      if (q.step() == SQLITE_DONE) ok = 0;
    }
  }
  return end_write(g_store.device, ok);
}

int update_user_module_permission_by_privilege(int module, int privilege, uint8_t *area) {
  if (!area || privilege < 0 || privilege > 255) return -1;
  if (module < -1 || module >= kPermissionBytes) return -1;
  uint8_t level = permission_level(privilege);
  if (module == -1)
    memset(area, level, kPermissionBytes);
  else
    area[module] = level;
  return 0;
}

int db_get_parking(ParkingParam *rec) {
  if (!rec) return -1;
  memset(rec, 0, sizeof *rec);
  StoreLock guard;
  sqlite3 *db = g_store.device;
  if (!db || exec(db, "BEGIN") != 0) return -1;
  int ok = -1;
  {
    Stmt head(db, "SELECT enable, detect_sens, occupancy_sens FROM parking LIMIT 1");
    Stmt regions(db, "SELECT region, first_number, direction FROM parking_region "
                     "WHERE region BETWEEN 0 AND 19");
    Stmt dividers(db, "SELECT region, ax, ay, bx, by FROM parking_divider "
                      "WHERE region BETWEEN 0 AND 19 ORDER BY region, k");
    if (head.ok() && regions.ok() && dividers.ok() && head.step() == SQLITE_ROW) {
      rec->enable = static_cast<uint32_t>(sqlite3_column_int64(head.st, 0));
      rec->detectSens = static_cast<uint32_t>(sqlite3_column_int64(head.st, 1));
      rec->occupancySens = static_cast<uint32_t>(sqlite3_column_int64(head.st, 2));
      while (regions.step() == SQLITE_ROW) {
        ParkingRegion &r = rec->regions[sqlite3_column_int(regions.st, 0)];
        r.firstNumber = sqlite3_column_int(regions.st, 1);
        r.direction = static_cast<uint32_t>(sqlite3_column_int64(regions.st, 2));
      }
      // Dividers are taken in k order; the count is the number of rows, and a region
      // holds at most PARKING_DIVIDERS of them.
      while (dividers.step() == SQLITE_ROW) {
        ParkingRegion &r = rec->regions[sqlite3_column_int(dividers.st, 0)];
        if (r.dividerCount >= PARKING_DIVIDERS) continue;
        ParkingDivider &d = r.dividers[r.dividerCount++];
        d.ax = sqlite3_column_int(dividers.st, 1);
        d.ay = sqlite3_column_int(dividers.st, 2);
        d.bx = sqlite3_column_int(dividers.st, 3);
        d.by = sqlite3_column_int(dividers.st, 4);
      }
      ok = 0;
    }
  }
  exec(db, "COMMIT");
  return ok;
}

}  // extern "C"
