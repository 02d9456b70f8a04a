// A SQLite connection under an in-process reader-writer lock and an optional lock file.
#include "osa.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include "safe_open.h"

int OSA_sqlite3Open(OSA_SqliteHndl *hndl, const char *path) {
  if (hndl == nullptr || path == nullptr) {
    OSA_error("osa_sqlite", __func__, __LINE__, "Invalid dbName or hndl !\n");
    return -1;
  }
  // Checked first: re-initialising the lock or reopening the lock file of a handle in
  // use would break its holders and leak the descriptor.
  if (hndl->db != nullptr) {
    OSA_error("osa_sqlite", __func__, __LINE__, "dbHandle != NULL, may be has been opened \n");
    return -1;
  }
  hndl->lockFd = -1;
  int status = pthread_rwlock_init(&hndl->rwlock, nullptr);
  if (status != 0) {
    errno = status;
    perror("pthread_rwlock_init: ");
    OSA_error("osa_sqlite", __func__, __LINE__, "Create rwlock failed. \n");
    return -1;
  }
  if (hndl->lockFile != nullptr) {
    // Without its lock file (refused or not creatable) the handle still serves this
    // process under its own lock.
    hndl->lockFd = safe_open(hndl->lockFile, O_RDWR | O_CREAT, OSA_reportRefusedFile);
    if (hndl->lockFd < 0)
      OSA_error("osa_sqlite", __func__, __LINE__, "Open %s failed!", hndl->lockFile);
  }
  sqlite3 *db = nullptr;
  if (sqlite3_open(path, &db) != SQLITE_OK) {
    sqlite3_close(db);  // sqlite hands back a connection even when the open fails
    OSA_error("osa_sqlite", __func__, __LINE__, "sqlite3_open %s faild! \n", path);
    return -1;
  }
  // A locked database makes statements fail at once instead of waiting.
  sqlite3_busy_handler(db, nullptr, nullptr);
  hndl->db = db;
  return 0;
}

int OSA_sqlite3Close(OSA_SqliteHndl *hndl) {
  if (hndl == nullptr) return 0;
  if (hndl->db != nullptr) {
    sqlite3_close(hndl->db);
    hndl->db = nullptr;
  }
  pthread_rwlock_destroy(&hndl->rwlock);
  if (hndl->lockFd >= 0) {
    close(hndl->lockFd);
    hndl->lockFd = -1;
  }
  return 0;
}

int OSA_sqlite3Lock(OSA_SqliteHndl *hndl, int mode) {
  if (hndl == nullptr) {
    OSA_error("osa_sqlite", __func__, __LINE__, "Invalid hndl!\n");
    return -1;
  }
  if (mode == 'r')
    pthread_rwlock_rdlock(&hndl->rwlock);
  else
    pthread_rwlock_wrlock(&hndl->rwlock);
  if (hndl->lockFd >= 0) OSA_lockFile(hndl->lockFd, hndl->lockFile);
  return 0;
}

int OSA_sqlite3UnLock(OSA_SqliteHndl *hndl) {
  if (hndl == nullptr) {
    OSA_error("osa_sqlite", __func__, __LINE__, "Invalid hndl!\n");
    return -1;
  }
  pthread_rwlock_unlock(&hndl->rwlock);
  if (hndl->lockFd >= 0) lockf(hndl->lockFd, F_ULOCK, 0);
  return 0;
}

int OSA_sqlite3RunCmdAndCallback(OSA_SqliteHndl *hndl, const char *sql, OSA_SqliteCallback cb,
                                 void *arg) {
  if (hndl == nullptr || sql == nullptr) {
    OSA_error("osa_sqlite", __func__, __LINE__,
              "SQL exec cmd and callback error, invalid argument\n");
    return -1;
  }
  char *message = nullptr;
  if (sqlite3_exec(hndl->db, sql, cb, arg, &message) != SQLITE_OK) {
    OSA_error("osa_sqlite", __func__, __LINE__, "SQL execute %s faild. \n", sql);
    OSA_error("osa_sqlite", __func__, __LINE__, "SQL error:%s\n",
              message ? message : sqlite3_errmsg(hndl->db));
    sqlite3_free(message);
    return -1;
  }
  return 0;
}
