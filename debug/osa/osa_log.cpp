// The log file shared by every process on the board, and System V IPC helpers.
#include "osa.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <unistd.h>

#define OSA_LOG_KEY_DIR "/mnt/nand/"
#define OSA_LOG_KEY_ID 115  // 's'
#define OSA_IPC_MAX_SEMS 32

static const char *gLogPath = OSA_LOG_PATH;
static const char *gLogKeyDir = OSA_LOG_KEY_DIR;
static int gLogFd = -1;
static OSA_IpcSem gLogSem = {-1, 0, 0};
static int gLogSemOpen = 0;
static key_t gLogKey = -1;

// semctl's fourth argument; callers must define it themselves.
union SemArg {
  int val;
  struct semid_ds *buf;
  unsigned short *array;
};

void OSA_logUsePathsForTest(const char *logPath, const char *keyDir) {
  OSA_logClose();
  gLogPath = logPath ? logPath : OSA_LOG_PATH;
  gLogKeyDir = keyDir ? keyDir : OSA_LOG_KEY_DIR;
  gLogSemOpen = 0;
  gLogKey = -1;
}

int OSA_logSemIsOpen(void) { return gLogSemOpen; }

int OSA_logInit(void) {
  gLogKey = OSA_ipcMakeKey(gLogKeyDir, OSA_LOG_KEY_ID);
  if (gLogKey == -1) {
    OSA_error("osa_log", __func__, __LINE__, "OSA_ipcMakeKey() \n");
    return -1;
  }
  // Another process may have created the set already: then open it as it is.
  if (OSA_ipcSemOpen(&gLogSem, gLogKey, 1, 1, 1, 1) != 0 &&
      OSA_ipcSemOpen(&gLogSem, gLogKey, 1, 1, 1, 0) != 0) {
    OSA_error("osa_log", __func__, __LINE__, "OSA_ipcSemOpen() \n");
    return -1;
  }
  gLogSemOpen = 1;
  return 0;
}

// Takes (-1) or gives (+1) the log semaphore with SEM_UNDO, waiting as long as needed.
// The set outlives every process, so a writer killed between take and give (SIGKILL,
// a crash) would otherwise leave it taken and block every later append on the board
// until a reboot; with the undo the kernel gives it back when that process ends. Take
// and give always come in pairs, so a living writer's adjustments cancel out.
static int log_sem_change(short delta) {
  struct sembuf op = {};
  op.sem_num = 0;
  op.sem_op = delta;
  op.sem_flg = SEM_UNDO;
  while (semop(gLogSem.id, &op, 1) != 0) {
    if (errno != EINTR) return -1;  // a signal must not let the record slip in unguarded
  }
  return 0;
}

int OSA_log(const void *data, size_t len) {
  if (!gLogSemOpen && OSA_logInit() != 0) {
    OSA_error("osa_log", __func__, __LINE__, "Faild init semphare \n");
    return -1;
  }
  if (gLogFd < 0) {
    gLogFd = open(gLogPath, O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (gLogFd < 0) {
      perror("open log:");
      OSA_error("osa_log", __func__, __LINE__, "Faild to open log: %s \n", gLogPath);
      return -1;
    }
  }
  if (log_sem_change(-1) != 0) {
    perror("wait log");
    return -1;
  }
  ssize_t written = write(gLogFd, data, len);
  if (written <= 0) {
    perror("write log");
    log_sem_change(1);
    return -1;
  }
  fsync(gLogFd);
  log_sem_change(1);
  return 0;
}

int OSA_logClose(void) {
  if (gLogFd >= 0) {
    close(gLogFd);
    gLogFd = -1;
  }
  return 0;
}

key_t OSA_ipcMakeKey(const char *path, int projectId) { return ftok(path, projectId); }

int OSA_ipcSemOpen(OSA_IpcSem *sem, key_t key, unsigned count, int initValue, int maxValue,
                   int create) {
  sem->count = count;
  sem->maxValue = maxValue;
  if (!create) {
    sem->id = semget(key, 0, 0666);
    return sem->id < 0 ? -1 : 0;
  }
  if (count > OSA_IPC_MAX_SEMS) return -1;
  sem->id = semget(key, (int)count, IPC_CREAT | IPC_EXCL | 0666);
  if (sem->id < 0) return -1;
  union SemArg arg;
  arg.val = initValue < maxValue ? initValue : maxValue;
  for (unsigned i = 0; i < count; i++) semctl(sem->id, (int)i, SETVAL, arg);
  return 0;
}

int OSA_ipcSemWait(OSA_IpcSem *sem, unsigned index, int wait) {
  if (index >= sem->count) return -1;
  struct sembuf op = {};
  op.sem_num = (unsigned short)index;
  op.sem_op = -1;
  op.sem_flg = wait ? 0 : IPC_NOWAIT;
  return semop(sem->id, &op, 1) == 0 ? 0 : -1;
}

int OSA_ipcSemSignal(OSA_IpcSem *sem, unsigned index, int wait) {
  if (index >= sem->count) return -1;
  int value = semctl(sem->id, (int)index, GETVAL);
  if (value < 0) return -1;
  if (value >= sem->maxValue) return 0;  // never above the highest value
  struct sembuf op = {};
  op.sem_num = (unsigned short)index;
  op.sem_op = 1;
  op.sem_flg = wait ? 0 : IPC_NOWAIT;
  return semop(sem->id, &op, 1) == 0 ? 0 : -1;
}
