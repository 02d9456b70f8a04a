// A SQLite connection guarded by an in-process reader-writer lock and, optionally,
// a lock file that serialises processes.
#pragma once

#include <pthread.h>
#include <sqlite3.h>

typedef struct OSA_SqliteHndl {
  sqlite3 *db;              // null while closed; must be null before opening
  const char *lockFile;     // optional, set by the caller before opening
  int lockFd;               // -1 when there is no lock file
  pthread_rwlock_t rwlock;
} OSA_SqliteHndl;

typedef int (*OSA_SqliteCallback)(void *arg, int columns, char **values, char **names);

int OSA_sqlite3Open(OSA_SqliteHndl *hndl, const char *path);
int OSA_sqlite3Close(OSA_SqliteHndl *hndl);
// mode 'r' takes the lock for reading, anything else for writing.
int OSA_sqlite3Lock(OSA_SqliteHndl *hndl, int mode);
int OSA_sqlite3UnLock(OSA_SqliteHndl *hndl);
int OSA_sqlite3RunCmdAndCallback(OSA_SqliteHndl *hndl, const char *sql, OSA_SqliteCallback cb,
                                 void *arg);
