// Host lens driver. The mounted lens type is the state file "lens.type" under
// BOARD_SIM_DIR (default 0); motor positions, iris duty, IR-cut state and the
// registered mode are kept there too ("lens.zoom", "lens.focus", "lens.iris",
// "lens.ircut", "lens.mode"). The AF table is a real SQLite table:
//   CREATE TABLE af_table (idx INTEGER PRIMARY KEY, zoom INTEGER NOT NULL,
//                          focus INTEGER NOT NULL, distance INTEGER NOT NULL);
// in /mnt/nand/stepper/af.db, created by af_tbl_init.
#include "lens.h"

#include <errno.h>
#include <sqlite3.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include "board_sim.h"

static const uint32_t kZoomMaxSteps = 2768;
static const uint32_t kFocusMaxSteps = 6764;
static const uint16_t kZoomId = 0;
static const uint16_t kFocusId = 1;
static const int32_t kDefaultDistanceCm = 1000;
enum { kMaxRows = 16 };

static void fill_info(uint32_t lensType, LensInfo *info) {
  memset(info, 0, sizeof *info);
  info->lensType = lensType;
  info->zoomId = kZoomId;
  info->focusId = kFocusId;
  info->zoomMaxSteps = kZoomMaxSteps;
  info->focusMaxSteps = kFocusMaxSteps;
  snprintf(info->name, sizeof info->name, "sim-lens-%u", lensType);
}

// The lens's default table: zoom spread evenly over its range, focus following it on
// a parabola, every row sharp at the default distance.
static uint32_t default_rows(const LensInfo *info, uint32_t points, AfTblRow *rows) {
  if (points < 2) points = 2;
  if (points > kMaxRows) points = kMaxRows;
  int64_t last = points - 1;
  for (uint32_t i = 0; i < points; i++) {
    rows[i].zoomPos = (int32_t)(info->zoomMaxSteps * (int64_t)i / last);
    rows[i].focusPos =
        (int32_t)(info->focusMaxSteps / 4 + info->focusMaxSteps / 2 * (int64_t)(i * i) / (last * last));
    rows[i].distanceCm = kDefaultDistanceCm;
    rows[i].reserved = 0;
  }
  return points;
}

// Rows of the stored table; -1 when there is no readable table.
static int stored_rows(sqlite3 *db, AfTblRow *rows) {
  sqlite3_stmt *stmt = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT zoom, focus, distance FROM af_table ORDER BY idx", -1,
                         &stmt, nullptr) != SQLITE_OK)
    return -1;
  int n = 0;
  while (n < kMaxRows && sqlite3_step(stmt) == SQLITE_ROW) {
    rows[n].zoomPos = sqlite3_column_int(stmt, 0);
    rows[n].focusPos = sqlite3_column_int(stmt, 1);
    rows[n].distanceCm = sqlite3_column_int(stmt, 2);
    rows[n].reserved = 0;
    n++;
  }
  sqlite3_finalize(stmt);
  return n;
}

static sqlite3 *open_db(int flags) {
  sqlite3 *db = nullptr;
  if (sqlite3_open_v2(AF_DB_PATH, &db, flags, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, 2000);
  return db;
}

static uint32_t current_type() { return (uint32_t)board_state_get_int("lens.type", 0); }

int af_get_ptz(AfPtzInfo *info) {
  if (!info) return -1;
  info->lensType = current_type();
  info->zoomPos = (int32_t)board_state_get_int("lens.zoom", 0);
  info->focusPos = (int32_t)board_state_get_int("lens.focus", 0);
  info->irisDuty = (uint32_t)board_state_get_int("lens.iris", 0);
  board_trace("af_get_ptz", info->lensType, info->zoomPos, info->focusPos, info->irisDuty);
  return 0;
}

int lens_get_info(uint32_t lensType, LensInfo *info) {
  if (!info) {
    board_trace("lens_get_info", lensType);
    return -1;
  }
  fill_info(lensType, info);
  // The argument, then the record as filled.
  board_trace("lens_get_info", lensType, info->lensType, info->zoomId, info->focusId,
              info->zoomMaxSteps, info->focusMaxSteps);
  return 0;
}

static int make_data_folder() {
  return mkdir("/mnt/nand/stepper", 0755) == 0 || errno == EEXIST ? 0 : -1;
}

int len_register_drv(uint32_t mode, LensDrv *drv) {
  if (!drv) {
    board_trace("len_register_drv", mode);
    return -1;
  }
  // The driver keeps its AF table database there.
  make_data_folder();
  drv->mode = mode;
  drv->registered = 1;
  board_trace("len_register_drv", mode, drv->mode, drv->registered);
  return board_state_set_int("lens.mode", mode);
}

int lens_drv_init_reg(void) {
  board_trace("lens_drv_init_reg");
  return 0;
}

const AfTblRow *af_find_tbl(uint32_t index) {
  board_trace("af_find_tbl", index);
  static AfTblRow rows[kMaxRows];
  int count = -1;
  if (sqlite3 *db = open_db(SQLITE_OPEN_READONLY)) {
    count = stored_rows(db, rows);
    sqlite3_close(db);
  }
  if (count <= 0) {
    LensInfo info;
    fill_info(current_type(), &info);
    count = (int)default_rows(&info, 5, rows);
  }
  return index < (uint32_t)count ? &rows[index] : nullptr;
}

static int write_table(sqlite3 *db, const AfTblRow *rows, uint32_t count) {
  if (sqlite3_exec(db,
                   "BEGIN IMMEDIATE;"
                   "CREATE TABLE IF NOT EXISTS af_table (idx INTEGER PRIMARY KEY,"
                   " zoom INTEGER NOT NULL, focus INTEGER NOT NULL, distance INTEGER NOT NULL);"
                   "DELETE FROM af_table;",
                   nullptr, nullptr, nullptr) != SQLITE_OK)
    return -1;
  sqlite3_stmt *stmt = nullptr;
  int rc = sqlite3_prepare_v2(db, "INSERT INTO af_table VALUES (?, ?, ?, ?)", -1, &stmt, nullptr);
  for (uint32_t i = 0; rc == SQLITE_OK && i < count; i++) {
    sqlite3_bind_int(stmt, 1, (int)i);
    sqlite3_bind_int(stmt, 2, rows[i].zoomPos);
    sqlite3_bind_int(stmt, 3, rows[i].focusPos);
    sqlite3_bind_int(stmt, 4, rows[i].distanceCm);
    rc = sqlite3_step(stmt) == SQLITE_DONE ? SQLITE_OK : SQLITE_ERROR;
    sqlite3_reset(stmt);
  }
  sqlite3_finalize(stmt);
  // All rows or none: a failed write leaves the earlier table as it was.
  if (rc != SQLITE_OK) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return -1;
  }
  return sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK ? 0 : -1;
}

int af_tbl_init(const LensInfo *info, uint32_t points, uint32_t replace) {
  if (!info) {
    board_trace("af_tbl_init");
    return -1;
  }
  board_trace("af_tbl_init", info->lensType, info->zoomId, info->focusId, info->zoomMaxSteps,
              info->focusMaxSteps, points, replace);
  if (make_data_folder() != 0) return -1;
  sqlite3 *db = open_db(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  if (!db) return -1;
  AfTblRow rows[kMaxRows];
  int count = stored_rows(db, rows);
  int rc = 0;
  if (replace || count <= 0) {
    count = (int)default_rows(info, points, rows);
    rc = write_table(db, rows, (uint32_t)count);
  }
  sqlite3_close(db);
  if (rc != 0) return -1;
  printf("AF table of %s, %d rows:\n", info->name, count);
  printf("idx\tzoom\tfocus\tdistance\n");
  for (int i = 0; i < count; i++)
    printf("%d\t%d\t%d\t%d\n", i, rows[i].zoomPos, rows[i].focusPos, rows[i].distanceCm);
  fflush(stdout);
  return 0;
}

static int move(const char *name, int32_t steps, uint32_t maxSteps) {
  long long pos = board_state_get_int(name, 0) + steps;
  if (pos < 0) pos = 0;
  if (pos > maxSteps) pos = maxSteps;
  return board_state_set_int(name, pos);
}

int lens_drv_focus_run(uint16_t focusId, int32_t steps) {
  board_trace("lens_drv_focus_run", focusId, steps);
  if (focusId != kFocusId) return -1;
  return move("lens.focus", steps, kFocusMaxSteps);
}

int lens_drv_set_zf_pi(int32_t zoom, int32_t focus) {
  board_trace("lens_drv_set_zf_pi", zoom, focus);
  // The photo-interrupters sit at step 0 of each motor.
  if (zoom && board_state_set_int("lens.zoom", 0) != 0) return -1;
  if (focus && board_state_set_int("lens.focus", 0) != 0) return -1;
  return 0;
}

int lens_drv_set_aperture(uint16_t duty) {
  board_trace("lens_drv_set_aperture", duty);
  return board_state_set_int("lens.iris", duty);
}

int lens_drv_set_IRCut(int32_t on) {
  board_trace("lens_drv_set_IRCut", on);
  return board_state_set_int("lens.ircut", on ? 1 : 0);
}

int lens_drv_focus_stop(void) {
  board_trace("lens_drv_focus_stop");
  return 0;
}

int lens_drv_zoom_stop(void) {
  board_trace("lens_drv_zoom_stop");
  return 0;
}

int lens_drv_deinit(void) {
  board_trace("lens_drv_deinit");
  return 0;
}
