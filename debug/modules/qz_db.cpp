// db: a small SQL console for the settings databases. Selects one database, runs
// queries and prints their results as a text table, executes statements or a file
// of statements and lists the tables. Each statement runs under a lock file shared
// with the other programs that use the databases.
#include <fcntl.h>
#include <getopt.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "module_util.h"
#include "osa.h"
#include "safe_open.h"
#include "qzdb_sql.h"
#include "test.h"

#define DB_PATH_SIZE 64
#define DB_RESULT_SIZE 2048
#define DB_VALUE_SIZE 256
#define DB_LINE_SIZE 256
#define DB_LOCK_FILE "/tmp/db.fl"

static const ModuleOption g_dbOptions[] = {
    {"module", required_argument, 'M', "module", "module name: db"},
    {"select", required_argument, 's', "str",
     "Cmd inquiry string.for example -s \"select * from user;\""},
    {"execute", required_argument, 'e', "str", "Cmd execute string"},
    {"file", required_argument, 'f', "file", "Filepath to execute"},
    {"database", required_argument, 'd', "str",
     "Set database [qzdb, oem, sddb, log], default[qzdb]"},
    {"table", no_argument, 't', "", "List table name"},
};

static const struct {
  const char *name;
  const char *file;
} g_dbDatabases[] = {
    {"qzdb", "/mnt/nand/qzdb.db"},
    {"oem", "/mnt/nand2/oem.db"},
};

static struct {
  char file[DB_PATH_SIZE];      // current database, empty until the first selection
  char lockFile[DB_PATH_SIZE];
  sqlite3 *conn;                // open only for the length of one command
  char result[DB_RESULT_SIZE];
  size_t resultLen;
} g_db;
static pthread_rwlock_t g_dbLock = PTHREAD_RWLOCK_INITIALIZER;

static void db_table_list(void);
static void db_select(const char *name);

static void db_help(void) {
  print_module_usage(MODULE_DB, g_dbOptions);
  OSA_printf("DB table list: \n");
  if (g_db.file[0] == '\0') db_select("qzdb");
  db_table_list();
}

static void db_select(const char *name) {
  bool known = false;
  for (const auto &d : g_dbDatabases) {
    if (strcmp(name, d.name) == 0) {
      snprintf(g_db.file, sizeof g_db.file, "%s", d.file);
      snprintf(g_db.lockFile, sizeof g_db.lockFile, "%s", DB_LOCK_FILE);
      known = true;
    }
  }
  if (!known) OSA_printf("Invalid Database '%s'! Optional: [qzdb, oem, sddb, log] \n", name);
  OSA_printf("Current Database File: [%s] \n", g_db.file);
}

static int db_con_init(void) {
  if (access(g_db.file, F_OK) != 0) {
    MODULE_ERROR(__LINE__, "db=[%s] file not existed. \n", g_db.file);
    return -1;
  }
  if (g_db.conn != nullptr) return 0;
  if (sqlite_conn(g_db.file, "", &g_db.conn) != 0) {
    g_db.conn = nullptr;
    MODULE_ERROR(__LINE__, "db init failed. \n");
    OSA_printf("Current Database File: [%s] \n", g_db.file);
    return -1;
  }
  return 0;
}

static void db_con_close(void) {
  if (g_db.conn == nullptr) return;
  sqlite_disconn(g_db.conn);
  g_db.conn = nullptr;
}

// Takes the process lock and the lock file; returns the lock file's descriptor, or
// -1 when the work goes on without a lock (the file is refused, cannot be opened, or
// another process holds it longer than OSA_lockFile waits).
static int db_lock(void) {
  int fd = safe_open(g_db.lockFile, O_RDWR | O_CREAT, OSA_reportRefusedFile);
  if (fd < 0) return -1;
  pthread_rwlock_wrlock(&g_dbLock);
  if (OSA_lockFile(fd, g_db.lockFile) != 0) {
    close(fd);
    pthread_rwlock_unlock(&g_dbLock);
    return -1;
  }
  return fd;
}

static void db_unlock(int fd) {
  if (fd < 0) return;
  pthread_rwlock_unlock(&g_dbLock);
  lockf(fd, F_ULOCK, 0);
  close(fd);
}

static int is_db_init(void) {
  if (g_db.conn != nullptr) return 1;
  MODULE_ERROR(__LINE__, "db=[%s] not init. \n", g_db.file);
  return 0;
}

static int db_execute(const char *sql) {
  if (!is_db_init()) return -1;
  int fd = db_lock();
  sqlite_execute(g_db.conn, sql);  // SQL errors are the user's to see in the data
  db_unlock(fd);
  return 0;
}

// Appends to the result text; whatever does not fit is cut off.
__attribute__((format(printf, 1, 2))) static void db_result_append(const char *fmt, ...) {
  size_t room = sizeof g_db.result - g_db.resultLen;
  if (room <= 1) return;
  va_list ap;
  va_start(ap, fmt);
  int n = vsnprintf(g_db.result + g_db.resultLen, room, fmt, ap);
  va_end(ap);
  if (n < 0) return;
  g_db.resultLen += static_cast<size_t>(n) < room ? static_cast<size_t>(n) : room - 1;
}

static bool db_result_full(void) { return g_db.resultLen + 1 >= sizeof g_db.result; }

static int db_query(const char *sql) {
  g_db.result[0] = '\0';
  g_db.resultLen = 0;
  db_con_init();
  if (!is_db_init()) {
    OSA_printf("SQL: '%s' Failed!! \n", sql);
    return -1;
  }
  int fd = db_lock();
  sqlite3_stmt *stmt = nullptr;
  int columns = 0;
  if (sqlite_query_record(g_db.conn, sql, &stmt, &columns) != 0 || columns <= 0) {
    if (stmt != nullptr) sqlite_clear_stmt(stmt);
    db_unlock(fd);
    OSA_printf("[0 Items, No Match Records!] \n");
    db_con_close();
    OSA_printf("SQL: '%s' Failed!! \n", sql);
    return -1;
  }

  db_result_append("\n");
  for (int i = 0; i < columns; i++) {
    const char *name = sqlite_query_column_name(g_db.conn, stmt, i);
    if (name != nullptr) db_result_append("%-16s", name);
  }
  do {
    db_result_append("\n");
    for (int i = 0; i < columns; i++) {
      char value[DB_VALUE_SIZE];
      sqlite_query_column_text(stmt, i, value, sizeof value);
      db_result_append(i == columns - 1 ? "%s" : "%-16s", value);
    }
  } while (!db_result_full() && sqlite_query_next(stmt) == 0);
  db_result_append("\n");

  sqlite_clear_stmt(stmt);
  db_unlock(fd);
  OSA_printf("Query Result: %s \n", g_db.result);
  db_con_close();
  return 0;
}

static void db_table_list(void) {
  db_query("select name from sqlite_master where type='table' order by name;");
}

// Executes a file of statements, one line each, each under its own lock. A line that
// does not fit the line buffer is skipped whole: running it in pieces could run a
// statement cut short (an UPDATE or DELETE without the rest of its WHERE clause).
static void db_exec_file(const char *path) {
  db_con_init();
  FILE *file = fopen(path, "re");
  if (file != nullptr) {
    char line[DB_LINE_SIZE];
    while (fgets(line, sizeof line, file) != nullptr && line[0] != '\0') {
      size_t len = strlen(line);
      if (line[len - 1] != '\n' && len == sizeof line - 1) {
        int c = fgetc(file);
        if (c != EOF && c != '\n') {  // the line goes on past the buffer
          while ((c = fgetc(file)) != EOF && c != '\n') {
          }
          MODULE_ERROR(__LINE__, "line longer than %d characters skipped: '%.32s...'\n",
                   DB_LINE_SIZE - 1, line);
          continue;
        }
      }
      db_execute(line);
    }
    fclose(file);
  }
  db_con_close();
}

static int db_init_param(int argc, char **argv) {
  optind = 1;
  int opt;
  ModuleGetopt options(g_dbOptions);
  while ((opt = options.next(argc, argv)) != -1) {
    switch (opt) {
      case 'd':
        db_select(optarg);
        break;
      case 'e':
        db_con_init();
        db_execute(optarg);
        OSA_printf("End execute: '%s' \n", optarg);
        db_con_close();
        break;
      case 'f':
        db_exec_file(optarg);
        break;
      case 's':
        db_query(optarg);
        break;
      case 't':
        db_table_list();
        break;
      default:
        return MODULE_OPTION_FAIL(db_help, __LINE__, "Unknow option. \n");
    }
  }
  return 0;
}

static int db_run(int argc, char **argv) {
  test_seed_databases();  // a database removed since the tool started comes back
  db_select("qzdb");
  db_init_param(argc, argv);
  return 0;
}

static const TestModule db_module = {"db", MODULE_DB, db_run, db_help, nullptr};
TEST_MODULE_REGISTER(db_module)
