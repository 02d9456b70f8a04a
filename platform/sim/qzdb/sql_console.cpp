// SQL access calls of the settings store over plain SQLite connections and prepared
// statements.
#include <sqlite3.h>
#include <string.h>

#include "qzdb_sql.h"

namespace {
// Another process of the camera may be writing the same file; wait a little for it
// rather than failing a console command at once.
const int kBusyTimeoutMs = 2000;
}  // namespace

extern "C" int sqlite_conn(const char *path, const char *key, sqlite3 **handle) {
  if (handle == nullptr) return -1;
  *handle = nullptr;
  if (path == nullptr || (key != nullptr && key[0] != '\0')) return -1;
  sqlite3 *db = nullptr;
  if (sqlite3_open_v2(path, &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    sqlite3_close(db);  // sqlite3_open_v2 may hand back a handle even on failure
    return -1;
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  *handle = db;
  return 0;
}

extern "C" int sqlite_disconn(sqlite3 *handle) {
  sqlite3_close_v2(handle);
  return 0;
}

extern "C" int sqlite_execute(sqlite3 *handle, const char *sql) {
  if (handle == nullptr || sql == nullptr) return -1;
  return sqlite3_exec(handle, sql, nullptr, nullptr, nullptr) == SQLITE_OK ? 0 : -1;
}

extern "C" int sqlite_query_record(sqlite3 *handle, const char *sql, sqlite3_stmt **stmt,
                                   int *columns) {
  if (stmt != nullptr) *stmt = nullptr;
  if (columns != nullptr) *columns = 0;
  if (handle == nullptr || sql == nullptr || stmt == nullptr || columns == nullptr) return -1;
  sqlite3_stmt *st = nullptr;
  if (sqlite3_prepare_v2(handle, sql, -1, &st, nullptr) != SQLITE_OK || st == nullptr) {
    sqlite3_finalize(st);
    return -1;
  }
  if (sqlite3_step(st) != SQLITE_ROW) {
    sqlite3_finalize(st);
    return -1;
  }
  *stmt = st;
  *columns = sqlite3_column_count(st);
  return 0;
}

extern "C" const char *sqlite_query_column_name(sqlite3 *handle, sqlite3_stmt *stmt, int i) {
  (void)handle;
  if (stmt == nullptr || i < 0 || i >= sqlite3_column_count(stmt)) return nullptr;
  return sqlite3_column_name(stmt, i);
}

extern "C" int sqlite_query_column_text(sqlite3_stmt *stmt, int i, char *buf, int len) {
  if (buf == nullptr || len <= 0) return -1;
  buf[0] = '\0';
  if (stmt == nullptr || i < 0 || i >= sqlite3_column_count(stmt)) return -1;
  const unsigned char *text = sqlite3_column_text(stmt, i);
  if (text == nullptr) return 0;  // SQL NULL (or out of memory): an empty value
  int bytes = sqlite3_column_bytes(stmt, i);
  if (bytes > len - 1) bytes = len - 1;
  memcpy(buf, text, static_cast<size_t>(bytes));
  buf[bytes] = '\0';
  return 0;
}

extern "C" int sqlite_query_next(sqlite3_stmt *stmt) {
  if (stmt == nullptr) return -1;
  // Statements come from sqlite_query_record, already stepped once: one that is no
  // longer running has reached its end, and stepping it again would start it over.
  if (!sqlite3_stmt_busy(stmt)) return 1;
  int rc = sqlite3_step(stmt);
  if (rc == SQLITE_ROW) return 0;
  return rc == SQLITE_DONE ? 1 : -1;
}

extern "C" int sqlite_clear_stmt(sqlite3_stmt *stmt) {
  sqlite3_finalize(stmt);
  return 0;
}
