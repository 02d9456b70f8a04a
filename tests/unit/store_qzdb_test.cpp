// Settings store: records round-trip through the SQLite files built from the seeds,
// writes are all-or-nothing, and a missing database is reported, never created.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "qzdb.h"

namespace {

std::string read_file(const std::string &path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool exists(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

class Store : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qzdb-test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    device_ = dir_ + "/qzdb.db";
    oem_ = dir_ + "/oem.db";
    setenv("QZDB_PATH", device_.c_str(), 1);
    setenv("QZDB_OEM_PATH", oem_.c_str(), 1);
  }
  void TearDown() override {
    while (db_uninit(1) == 0) {
    }
    unlink(device_.c_str());
    unlink(oem_.c_str());
    rmdir(dir_.c_str());
  }
  void seed() {
    sql(device_, read_file(std::string(SEED_DIR) + "/qzdb.sql"));
    sql(oem_, read_file(std::string(SEED_DIR) + "/oem.sql"));
  }
  void seed_and_init() {
    seed();
    ASSERT_EQ(db_init(), 0);
  }
  // Runs SQL on its own connection, as another process would.
  static void sql(const std::string &path, const std::string &text) {
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char *error = nullptr;
    int rc = sqlite3_exec(db, text.c_str(), nullptr, nullptr, &error);
    EXPECT_EQ(rc, SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
  }
  static long long query_int(const std::string &path, const char *text) {
    sqlite3 *db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt *st = nullptr;
    long long value = -999;
    if (sqlite3_prepare_v2(db, text, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
      value = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return value;
  }
  std::string dir_, device_, oem_;
};

TEST_F(Store, MissingDatabaseFailsAndCreatesNothing) {
  EXPECT_EQ(db_init(), -1);
  EXPECT_FALSE(exists(device_));
  EXPECT_FALSE(exists(oem_));
  DbPort port{};
  EXPECT_EQ(db_get_port(&port), -1);
  EXPECT_EQ(db_set_port_http(8080), -1);
  EXPECT_EQ(db_uninit(1), -1);

  // Only the OEM file missing: the device file is left as it was.
  sql(device_, read_file(std::string(SEED_DIR) + "/qzdb.sql"));
  EXPECT_EQ(db_init(), -1);
  EXPECT_FALSE(exists(oem_));
}

TEST_F(Store, EmptyOrForeignFileFails) {
  std::ofstream(device_).close();  // what `cp` of an absent seed would leave: nothing, or this
  sql(oem_, read_file(std::string(SEED_DIR) + "/oem.sql"));
  EXPECT_EQ(db_init(), -1);
  sql(device_, "CREATE TABLE network (iface INTEGER);");  // a schema without the other tables
  EXPECT_EQ(db_init(), -1);
}

TEST_F(Store, InitIsCounted) {
  seed_and_init();
  ASSERT_EQ(db_init(), 0);
  EXPECT_EQ(db_uninit(1), 0);
  DbPort port{};
  EXPECT_EQ(db_get_port(&port), 0) << "still open after the first of two uninits";
  EXPECT_EQ(db_uninit(1), 0);
  EXPECT_EQ(db_get_port(&port), -1);
  EXPECT_EQ(db_uninit(1), -1);
}

TEST_F(Store, SeedValues) {
  seed_and_init();
  DbNetwork wired{};
  wired.iface = 0;
  ASSERT_EQ(db_get_network(&wired), 0);
  EXPECT_EQ(wired.dhcp, 0);
  EXPECT_STREQ(wired.ip, "192.168.1.100");
  EXPECT_STREQ(wired.netmask, "255.255.255.0");
  EXPECT_STREQ(wired.gateway, "192.168.1.1");
  EXPECT_STREQ(wired.dns1, "8.8.8.8");
  DbNetwork wireless{};
  wireless.iface = 1;
  ASSERT_EQ(db_get_network(&wireless), 0);
  EXPECT_EQ(wireless.iface, 1);
  EXPECT_NE(std::string(wireless.ip), wired.ip);
  DbNetwork none{};
  none.iface = 2;
  EXPECT_EQ(db_get_network(&none), -1);

  DbPort port{};
  ASSERT_EQ(db_get_port(&port), 0);
  EXPECT_EQ(port.http, 80);
  DbDevice device{};
  ASSERT_EQ(db_get_device(&device), 0);
  EXPECT_GT(strlen(device.title), 0u);
  EXPECT_GT(strlen(device.serial), 0u);
  DbOem oem{};
  ASSERT_EQ(oem_get_device(&oem), 0);
  EXPECT_EQ(oem.index, 0u);
  EXPECT_GT(strlen(oem.model), 0u);
  EXPECT_EQ(oem_get_index(), 0);
}

TEST_F(Store, NetworkRoundTripAndTextWidths) {
  seed_and_init();
  DbNetwork rec{};
  rec.iface = 1;
  rec.dhcp = 0;
  strcpy(rec.ip, "10.1.2.3");
  strcpy(rec.netmask, "255.0.0.0");
  strcpy(rec.gateway, "10.0.0.1");
  strcpy(rec.dns1, "10.0.0.2");
  // A host name that fills its field without a NUL: stored without reading past it.
  memset(rec.hostname, 'h', sizeof rec.hostname);
  ASSERT_EQ(db_set_network(&rec), 0);

  DbNetwork back{};
  back.iface = 1;
  ASSERT_EQ(db_get_network(&back), 0);
  EXPECT_EQ(back.dhcp, 0);
  EXPECT_STREQ(back.ip, "10.1.2.3");
  EXPECT_STREQ(back.netmask, "255.0.0.0");
  EXPECT_STREQ(back.gateway, "10.0.0.1");
  EXPECT_STREQ(back.dns1, "10.0.0.2");
  EXPECT_STREQ(back.dns2, "");
  EXPECT_EQ(strlen(back.hostname), sizeof back.hostname - 1);

  DbNetwork wired{};
  ASSERT_EQ(db_get_network(&wired), 0);
  EXPECT_STREQ(wired.ip, "192.168.1.100") << "the other interface is untouched";
  // Longer texts written by another program come back cut to the field.
  sql(device_, "UPDATE network SET ip = '" + std::string(200, '9') + "' WHERE iface = 0;");
  ASSERT_EQ(db_get_network(&wired), 0);
  EXPECT_EQ(strlen(wired.ip), sizeof wired.ip - 1);
  rec.iface = 7;
  EXPECT_EQ(db_set_network(&rec), -1);
}

TEST_F(Store, PortAndTitle) {
  seed_and_init();
  ASSERT_EQ(db_set_port_http(8080), 0);
  DbPort port{};
  ASSERT_EQ(db_get_port(&port), 0);
  EXPECT_EQ(port.http, 8080);
  EXPECT_EQ(db_set_port_http(0), -1);
  EXPECT_EQ(db_set_port_http(65536), -1);
  EXPECT_EQ(query_int(device_, "SELECT count(*) FROM port"), 1);
  EXPECT_EQ(query_int(device_, "SELECT http FROM port"), 8080);

  ASSERT_EQ(db_set_device_title("Gate 3 east"), 0);
  DbDevice device{};
  ASSERT_EQ(db_get_device(&device), 0);
  EXPECT_STREQ(device.title, "Gate 3 east");
  EXPECT_STREQ(device.model, "QZ-PK200") << "other device texts unchanged";
  std::string long_title(300, 't');
  ASSERT_EQ(db_set_device_title(long_title.c_str()), 0);
  ASSERT_EQ(db_get_device(&device), 0);
  EXPECT_EQ(strlen(device.title), sizeof device.title - 1);
  EXPECT_EQ(db_set_device_title(nullptr), -1);

  // One-row tables that lost their row get it back.
  sql(device_, "DELETE FROM port; DELETE FROM device;");
  ASSERT_EQ(db_set_port_http(81), 0);
  ASSERT_EQ(db_set_device_title("new"), 0);
  EXPECT_EQ(query_int(device_, "SELECT http FROM port"), 81);
  EXPECT_EQ(query_int(device_, "SELECT count(*) FROM device WHERE title = 'new'"), 1);
}

TEST_F(Store, FailedWriteChangesNothing) {
  seed_and_init();
  // A trigger that refuses the write halfway: the transaction is rolled back.
  sql(device_,
      "CREATE TABLE audit (n INTEGER);"
      "CREATE TRIGGER refuse AFTER UPDATE ON network BEGIN "
      "INSERT INTO audit VALUES (1); SELECT RAISE(ABORT, 'refused'); END;");
  DbNetwork rec{};
  rec.iface = 0;
  strcpy(rec.ip, "1.2.3.4");
  EXPECT_EQ(db_set_network(&rec), -1);
  EXPECT_EQ(query_int(device_, "SELECT count(*) FROM audit"), 0);
  DbNetwork back{};
  ASSERT_EQ(db_get_network(&back), 0);
  EXPECT_STREQ(back.ip, "192.168.1.100");

  // The store keeps working after a refused write.
  sql(device_, "DROP TRIGGER refuse;");
  EXPECT_EQ(db_set_network(&rec), 0);
  ASSERT_EQ(db_get_network(&back), 0);
  EXPECT_STREQ(back.ip, "1.2.3.4");
}

TEST_F(Store, UsersListReplaceAndPermissions) {
  seed_and_init();
  DbUser *list = nullptr;
  int count = -1;
  ASSERT_EQ(db_get_users(&list, &count), 0);
  ASSERT_EQ(count, 1);
  EXPECT_STREQ(list[0].name, "admin");
  EXPECT_STREQ(list[0].password, "admin");
  EXPECT_EQ(list[0].privilege, 0);
  __qz_free(list, "qzdb_test", __LINE__);

  DbUser viewer{};
  strcpy(viewer.name, "viewer");
  strcpy(viewer.password, "look");
  viewer.privilege = 2;
  ASSERT_EQ(update_user_module_permission_by_privilege(-1, 2, viewer.permission), 0);
  ASSERT_EQ(db_set_user(&viewer), 0);

  DbUser admin{};
  strcpy(admin.name, "admin");
  strcpy(admin.password, "s3cret");
  ASSERT_EQ(update_user_module_permission_by_privilege(-1, 0, admin.permission), 0);
  ASSERT_EQ(db_set_user(&admin), 0);

  ASSERT_EQ(db_get_users(&list, &count), 0);
  ASSERT_EQ(count, 2) << "admin replaced, not added";
  EXPECT_STREQ(list[0].name, "admin");
  EXPECT_STREQ(list[0].password, "s3cret");
  EXPECT_STREQ(list[1].name, "viewer");
  EXPECT_EQ(list[1].privilege, 2);
  EXPECT_EQ(memcmp(list[1].permission, viewer.permission, sizeof viewer.permission), 0);
  EXPECT_NE(list[0].permission[0], list[1].permission[0]) << "administrator and viewer differ";
  __qz_free(list, "qzdb_test", __LINE__);

  DbUser nameless{};
  EXPECT_EQ(db_set_user(&nameless), -1);
  EXPECT_EQ(update_user_module_permission_by_privilege(-1, 0, nullptr), -1);
  EXPECT_EQ(update_user_module_permission_by_privilege(1000, 0, admin.permission), -1);

  sql(device_, "DELETE FROM user;");
  ASSERT_EQ(db_get_users(&list, &count), 0);
  EXPECT_EQ(count, 0);
  __qz_free(list, "qzdb_test", __LINE__);
}

TEST_F(Store, ParkingFromSeedAndTables) {
  seed_and_init();
  ParkingParam *rec = new ParkingParam();
  ASSERT_EQ(db_get_parking(rec), 0);
  EXPECT_EQ(rec->enable, 1u);
  EXPECT_EQ(rec->detectSens, 5u);
  EXPECT_EQ(rec->occupancySens, 5u);
  EXPECT_EQ(rec->regions[0].firstNumber, 1);
  ASSERT_EQ(rec->regions[0].dividerCount, 4u);
  EXPECT_EQ(rec->regions[0].dividers[0].ax, 40);
  EXPECT_EQ(rec->regions[0].dividers[3].by, 200);
  EXPECT_EQ(rec->regions[1].dividerCount, 0u);

  // Dividers come in k order whatever the insertion order; regions outside 0..19
  // and dividers beyond the record's room are left out.
  sql(device_,
      "INSERT INTO parking_region VALUES (19, 1023, 1);"
      "INSERT INTO parking_divider VALUES (19, 2, 320, 240, 320, 240);"
      "INSERT INTO parking_divider VALUES (19, 0, 1, 2, 3, 4);"
      "INSERT INTO parking_divider VALUES (19, 1, 5, 6, 7, 8);"
      "INSERT INTO parking_region VALUES (20, 7, 0);"
      "INSERT INTO parking_divider VALUES (20, 0, 1, 1, 1, 1);"
      "WITH RECURSIVE n(k) AS (SELECT 0 UNION ALL SELECT k + 1 FROM n WHERE k < 119) "
      "INSERT INTO parking_divider SELECT 5, k, k, 0, k, 10 FROM n;"
      "UPDATE parking SET enable = 0, detect_sens = 9, occupancy_sens = 2;");
  ASSERT_EQ(db_get_parking(rec), 0);
  EXPECT_EQ(rec->enable, 0u);
  EXPECT_EQ(rec->detectSens, 9u);
  EXPECT_EQ(rec->occupancySens, 2u);
  const ParkingRegion &r = rec->regions[19];
  EXPECT_EQ(r.firstNumber, 1023);
  EXPECT_EQ(r.direction, 1u);
  ASSERT_EQ(r.dividerCount, 3u);
  EXPECT_EQ(r.dividers[0].ax, 1);
  EXPECT_EQ(r.dividers[1].ax, 5);
  EXPECT_EQ(r.dividers[2].ax, 320);
  EXPECT_EQ(r.dividers[2].by, 240);
  EXPECT_EQ(rec->regions[5].dividerCount, static_cast<uint32_t>(PARKING_DIVIDERS));
  EXPECT_EQ(rec->regions[5].dividers[100].ax, 100);
  delete rec;
}

}  // namespace
