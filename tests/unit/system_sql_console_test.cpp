// The store's SQL console calls over a scratch database.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "qzdb_sql.h"

namespace {

class SqlConsole : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/sql-console.XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    path_ = dir_ + "/t.db";
    // The console never creates a database: make one with a table to read.
    std::string cmd = "sqlite3 " + path_ +
                      " \"create table t (k INTEGER, v TEXT); insert into t values (1, "
                      "'one'), (2, NULL), (3, 'three');\"";
    ASSERT_EQ(system(cmd.c_str()), 0);
    ASSERT_EQ(sqlite_conn(path_.c_str(), "", &db_), 0);
    ASSERT_NE(db_, nullptr);
  }
  void TearDown() override {
    sqlite_disconn(db_);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  std::string dir_, path_;
  sqlite3 *db_ = nullptr;
};

TEST_F(SqlConsole, ConnectNeverCreatesAFileAndRefusesAKey) {
  sqlite3 *other = reinterpret_cast<sqlite3 *>(1);
  std::string missing = dir_ + "/missing.db";
  EXPECT_EQ(sqlite_conn(missing.c_str(), "", &other), -1);
  EXPECT_EQ(other, nullptr);
  EXPECT_NE(access(missing.c_str(), F_OK), 0);
  // The host store is not encrypted: a key would be silently ignored otherwise.
  EXPECT_EQ(sqlite_conn(path_.c_str(), "secret", &other), -1);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(sqlite_disconn(nullptr), 0);
  EXPECT_EQ(sqlite_clear_stmt(nullptr), 0);
}

TEST_F(SqlConsole, QueryStepsThroughEveryRowThenReportsTheEnd) {
  sqlite3_stmt *stmt = nullptr;
  int columns = -1;
  ASSERT_EQ(sqlite_query_record(db_, "select k, v from t order by k;", &stmt, &columns), 0);
  ASSERT_NE(stmt, nullptr);
  EXPECT_EQ(columns, 2);
  EXPECT_STREQ(sqlite_query_column_name(db_, stmt, 0), "k");
  EXPECT_STREQ(sqlite_query_column_name(db_, stmt, 1), "v");
  EXPECT_EQ(sqlite_query_column_name(db_, stmt, 2), nullptr);

  std::string rows;
  char value[256];
  do {
    for (int i = 0; i < columns; i++) {
      ASSERT_EQ(sqlite_query_column_text(stmt, i, value, sizeof value), 0);
      rows += value;
      rows += i + 1 < columns ? "|" : ";";
    }
  } while (sqlite_query_next(stmt) == 0);
  EXPECT_EQ(rows, "1|one;2|;3|three;");  // SQL NULL reads as an empty text
  EXPECT_EQ(sqlite_query_next(stmt), 1);
  EXPECT_EQ(sqlite_clear_stmt(stmt), 0);
}

TEST_F(SqlConsole, QueriesWithoutRowsOrWithErrorsLeaveNothingToRelease) {
  sqlite3_stmt *stmt = reinterpret_cast<sqlite3_stmt *>(1);
  int columns = 7;
  EXPECT_EQ(sqlite_query_record(db_, "select * from t where k = 99;", &stmt, &columns), -1);
  EXPECT_EQ(stmt, nullptr);
  EXPECT_EQ(columns, 0);
  stmt = reinterpret_cast<sqlite3_stmt *>(1);
  EXPECT_EQ(sqlite_query_record(db_, "select nothing from nowhere;", &stmt, &columns), -1);
  EXPECT_EQ(stmt, nullptr);
  EXPECT_EQ(sqlite_query_record(nullptr, "select 1;", &stmt, &columns), -1);
}

TEST_F(SqlConsole, LongValuesAreCutToTheBuffer) {
  std::string longValue(600, 'x');
  std::string sql = "insert into t values (4, '" + longValue + "');";
  ASSERT_EQ(sqlite_execute(db_, sql.c_str()), 0);
  sqlite3_stmt *stmt = nullptr;
  int columns = 0;
  ASSERT_EQ(sqlite_query_record(db_, "select v from t where k = 4;", &stmt, &columns), 0);
  char value[256];
  memset(value, '#', sizeof value);
  ASSERT_EQ(sqlite_query_column_text(stmt, 0, value, sizeof value), 0);
  EXPECT_EQ(strlen(value), 255u);
  char tiny[1] = {'#'};
  EXPECT_EQ(sqlite_query_column_text(stmt, 0, tiny, sizeof tiny), 0);
  EXPECT_EQ(tiny[0], '\0');
  EXPECT_EQ(sqlite_query_column_text(stmt, 5, value, sizeof value), -1);
  EXPECT_STREQ(value, "");
  sqlite_clear_stmt(stmt);
}

TEST_F(SqlConsole, ExecuteReportsFailures) {
  EXPECT_EQ(sqlite_execute(db_, "this is not sql"), -1);
  EXPECT_EQ(sqlite_execute(db_, "update t set v = 'two' where k = 2; delete from t where k = 3;"),
            0);
  sqlite3_stmt *stmt = nullptr;
  int columns = 0;
  ASSERT_EQ(sqlite_query_record(db_, "select group_concat(v) from t;", &stmt, &columns), 0);
  char value[64];
  sqlite_query_column_text(stmt, 0, value, sizeof value);
  EXPECT_STREQ(value, "one,two");
  sqlite_clear_stmt(stmt);
  EXPECT_EQ(sqlite_execute(nullptr, "select 1;"), -1);
}

}  // namespace
