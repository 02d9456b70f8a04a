// Log file shared by every process on the board, and System V IPC helpers.
#pragma once

#include <stddef.h>
#include <sys/types.h>

#define OSA_LOG_PATH "/mnt/nand/debug.log"

typedef struct OSA_IpcSem {
  int id;             // set id; negative while not open
  unsigned count;     // semaphores in the set
  int maxValue;       // highest value a post may reach
} OSA_IpcSem;

int OSA_logInit(void);
// Appends exactly len bytes to the log as one record. Returns 0 or -1.
int OSA_log(const void *data, size_t len);
int OSA_logClose(void);
// Tests only: log to logPath and make the semaphore key from keyDir instead of the
// board's paths (null restores them). Closes the log and forgets the semaphore.
void OSA_logUsePathsForTest(const char *logPath, const char *keyDir);
// Non-zero once the log semaphore is open.
int OSA_logSemIsOpen(void);

key_t OSA_ipcMakeKey(const char *path, int projectId);
int OSA_ipcSemOpen(OSA_IpcSem *sem, key_t key, unsigned count, int initValue, int maxValue,
                   int create);
int OSA_ipcSemWait(OSA_IpcSem *sem, unsigned index, int wait);
int OSA_ipcSemSignal(OSA_IpcSem *sem, unsigned index, int wait);
