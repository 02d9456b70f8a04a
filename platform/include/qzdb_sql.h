// Settings store (libqzdb): the SQL access calls used by the database console.
//
// A connection is opened per command, statements are stepped one row at a time and
// every text handed back is cut to the caller's buffer.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

typedef struct sqlite3 sqlite3;
typedef struct sqlite3_stmt sqlite3_stmt;

// Opens the existing database file at path (never creates one). key is the
// encryption key of an encrypted store; the host store is not encrypted and only
// accepts an empty or null key. Returns 0 and sets *handle, or -1 with *handle null.
int sqlite_conn(const char *path, const char *key, sqlite3 **handle);
// Closes a connection opened by sqlite_conn; null is accepted. Returns 0.
int sqlite_disconn(sqlite3 *handle);
// Runs one SQL text (it may hold several statements). Returns 0 or -1.
int sqlite_execute(sqlite3 *handle, const char *sql);
// Prepares a query and steps to its first row. Returns 0 when there is a row: *stmt
// is then positioned on it and *columns holds the column count. Otherwise returns -1
// with *stmt null and *columns 0 (nothing to release).
int sqlite_query_record(sqlite3 *handle, const char *sql, sqlite3_stmt **stmt, int *columns);
// Name of column i of the statement, or null when there is none.
const char *sqlite_query_column_name(sqlite3 *handle, sqlite3_stmt *stmt, int i);
// Copies the current row's value of column i as text into buf (len bytes, always
// NUL-terminated, longer values cut; SQL NULL gives ""). Returns 0 or -1.
int sqlite_query_column_text(sqlite3_stmt *stmt, int i, char *buf, int len);
// Moves to the next row: 0 when there is one, 1 at the end (and on every later
// call), -1 on an error.
int sqlite_query_next(sqlite3_stmt *stmt);
// Releases a statement; null is accepted. Returns 0.
int sqlite_clear_stmt(sqlite3_stmt *stmt);

#ifdef __cplusplus
}
#endif
