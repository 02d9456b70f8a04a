// Runtime services: IPC semaphores, the shared log, the SQLite handle, console and time.
#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "osa.h"
#include "stdout_capture.h"

namespace {

// A private folder whose path also gives the test its own System V keys.
class TempDir {
 public:
  TempDir() {
    char path[] = "/tmp/osa-test.XXXXXX";
    path_ = mkdtemp(path);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string &path() const { return path_; }
  std::string File(const char *name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void RemoveSemaphore(key_t key) {
  int id = semget(key, 0, 0);
  if (id >= 0) semctl(id, 0, IPC_RMID);
}

int SemValue(const OSA_IpcSem &sem, int index) { return semctl(sem.id, index, GETVAL); }

TEST(OsaIpcSem, CreateOpenWaitAndSignalWithinTheHighestValue) {
  TempDir dir;
  key_t key = OSA_ipcMakeKey(dir.path().c_str(), 'k');
  ASSERT_NE(key, -1);
  OSA_IpcSem sem;

  // More than 32 semaphores is refused before any set is made.
  EXPECT_EQ(OSA_ipcSemOpen(&sem, key, 33, 1, 1, 1), -1);
  EXPECT_LT(semget(key, 0, 0), 0);
  EXPECT_EQ(errno, ENOENT);

  // The initial value is capped at the highest value.
  ASSERT_EQ(OSA_ipcSemOpen(&sem, key, 2, 5, 3, 1), 0);
  EXPECT_EQ(SemValue(sem, 0), 3);
  EXPECT_EQ(SemValue(sem, 1), 3);
  OSA_IpcSem again;
  EXPECT_EQ(OSA_ipcSemOpen(&again, key, 2, 1, 3, 1), -1);  // exclusive create
  ASSERT_EQ(OSA_ipcSemOpen(&again, key, 2, 1, 3, 0), 0);   // a second user opens it
  EXPECT_EQ(again.id, sem.id);

  EXPECT_EQ(OSA_ipcSemSignal(&sem, 0, 1), 0);  // already at the highest value
  EXPECT_EQ(SemValue(sem, 0), 3);
  for (int i = 0; i < 3; i++) EXPECT_EQ(OSA_ipcSemWait(&sem, 0, 0), 0);
  EXPECT_EQ(SemValue(sem, 0), 0);
  EXPECT_EQ(OSA_ipcSemWait(&sem, 0, 0), -1);  // would block
  EXPECT_EQ(OSA_ipcSemSignal(&again, 0, 0), 0);
  EXPECT_EQ(SemValue(sem, 0), 1);
  EXPECT_EQ(SemValue(sem, 1), 3);

  EXPECT_EQ(OSA_ipcSemWait(&sem, 2, 0), -1);
  EXPECT_EQ(OSA_ipcSemSignal(&sem, 2, 0), -1);
  RemoveSemaphore(key);
}

class OsaLog : public ::testing::Test {
 protected:
  void SetUp() override {
    logPath_ = dir_.File("debug.log");
    OSA_logUsePathsForTest(logPath_.c_str(), dir_.path().c_str());
  }
  void TearDown() override {
    RemoveSemaphore(ftok(dir_.path().c_str(), 's'));
    OSA_logUsePathsForTest(nullptr, nullptr);
  }
  TempDir dir_;
  std::string logPath_;
};

TEST_F(OsaLog, TwoProcessesAppendWholeUnmixedRecords) {
  const int kRecords = 200, kSize = 1024;
  pid_t children[2];
  for (int c = 0; c < 2; c++) {
    children[c] = fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      std::vector<char> record(kSize, (char)('a' + c));
      int failures = 0;
      for (int i = 0; i < kRecords; i++) failures += OSA_log(record.data(), record.size()) != 0;
      OSA_logClose();
      _exit(failures == 0 ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  FILE *log = fopen(logPath_.c_str(), "rb");
  ASSERT_NE(log, nullptr);
  std::vector<char> record(kSize);
  int counts[2] = {0, 0}, mixed = 0;
  size_t n;
  while ((n = fread(record.data(), 1, kSize, log)) > 0) {
    ASSERT_EQ(n, (size_t)kSize) << "a partial record at the end";
    char first = record[0];
    bool whole = (first == 'a' || first == 'b');
    for (char ch : record) whole = whole && ch == first;
    if (whole)
      counts[first - 'a']++;
    else
      mixed++;
  }
  fclose(log);
  EXPECT_EQ(mixed, 0);
  EXPECT_EQ(counts[0], kRecords);
  EXPECT_EQ(counts[1], kRecords);
}

TEST_F(OsaLog, AppendsAcrossCallsAndReopensAfterClose) {
  ASSERT_EQ(OSA_log("one\n", 4), 0);
  EXPECT_TRUE(OSA_logSemIsOpen());
  ASSERT_EQ(OSA_log("two\n", 4), 0);
  EXPECT_EQ(OSA_logClose(), 0);
  EXPECT_EQ(OSA_logClose(), 0);
  ASSERT_EQ(OSA_log("three\n", 6), 0);
  OSA_logClose();
  FILE *log = fopen(logPath_.c_str(), "r");
  ASSERT_NE(log, nullptr);
  char text[64] = {};
  size_t n = fread(text, 1, sizeof text - 1, log);
  fclose(log);
  EXPECT_EQ(std::string(text, n), "one\ntwo\nthree\n");
}

// Runs OSA_log in a child; true when it returned 0 within a few seconds.
bool AppendsWithinSeconds(const std::string &logPath, const std::string &keyDir) {
  pid_t child = fork();
  if (child == 0) {
    OSA_logUsePathsForTest(logPath.c_str(), keyDir.c_str());
    _exit(OSA_log("after\n", 6) == 0 ? 0 : 1);
  }
  for (int i = 0; i < 300; i++) {
    int status = 0;
    if (waitpid(child, &status, WNOHANG) == child) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    usleep(10000);
  }
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  return false;
}

TEST_F(OsaLog, AWriterKilledWhileAppendingDoesNotBlockTheOthers) {
  // The writer appends to a FIFO nobody reads: a record larger than the pipe blocks in
  // write() while the log semaphore is held. Killed there, it must not take the
  // semaphore with it: the set outlives every process on the board.
  std::string fifo = dir_.File("stuck.log");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  pid_t writer = fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    OSA_logUsePathsForTest(fifo.c_str(), dir_.path().c_str());
    std::vector<char> big(1 << 20, 'x');
    OSA_log(big.data(), big.size());
    _exit(0);
  }
  // Wait until the writer is inside write(), the semaphore taken: bytes in the pipe.
  int peek = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(peek, 0);
  int queued = 0;
  for (int i = 0; i < 300 && queued == 0; i++) {
    if (ioctl(peek, FIONREAD, &queued) != 0 || queued == 0) usleep(10000);
  }
  ASSERT_GT(queued, 0);
  EXPECT_EQ(semctl(semget(ftok(dir_.path().c_str(), 's'), 0, 0), 0, GETVAL), 0);
  kill(writer, SIGKILL);
  waitpid(writer, nullptr, 0);
  close(peek);
  EXPECT_TRUE(AppendsWithinSeconds(logPath_, dir_.path()));
}

TEST_F(OsaLog, ReportsALogThatCannotBeOpened) {
  std::string missing = dir_.File("no/such/folder/debug.log");
  OSA_logUsePathsForTest(missing.c_str(), dir_.path().c_str());
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(OSA_log("x", 1), -1);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("open log:: No such file or directory\n"), std::string::npos) << err;
  EXPECT_NE(err.find(" ERROR  (osa_log|OSA_log|"), std::string::npos) << err;
  EXPECT_NE(err.find("): Faild to open log: " + missing + " \n"), std::string::npos) << err;
}

TEST_F(OsaLog, ReportsAMissingKeyFolder) {
  std::string missing = dir_.File("nowhere");
  OSA_logUsePathsForTest(logPath_.c_str(), missing.c_str());
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(OSA_logInit(), -1);
  EXPECT_EQ(OSA_log("x", 1), -1);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("|OSA_logInit|"), std::string::npos) << err;
  EXPECT_NE(err.find("OSA_ipcMakeKey() \n"), std::string::npos) << err;
  EXPECT_NE(err.find("Faild init semphare \n"), std::string::npos) << err;
  EXPECT_FALSE(OSA_logSemIsOpen());
}

int CollectRows(void *arg, int columns, char **values, char **) {
  auto *rows = static_cast<std::vector<std::string> *>(arg);
  std::string row;
  for (int i = 0; i < columns; i++) row += std::string(i ? "," : "") + (values[i] ? values[i] : "");
  rows->push_back(row);
  return 0;
}

TEST(OsaSqlite, OpenLockRunUnlockClose) {
  TempDir dir;
  std::string lockPath = dir.File("af.lock");
  OSA_SqliteHndl hndl = {};
  hndl.lockFile = lockPath.c_str();
  ASSERT_EQ(OSA_sqlite3Open(&hndl, dir.File("af.db").c_str()), 0);
  ASSERT_NE(hndl.db, nullptr);
  EXPECT_GE(hndl.lockFd, 0);

  ASSERT_EQ(OSA_sqlite3Lock(&hndl, 'w'), 0);
  EXPECT_EQ(OSA_sqlite3RunCmdAndCallback(
                &hndl, "CREATE TABLE af(zoom INTEGER, focus INTEGER);"
                       "INSERT INTO af VALUES(1, 100); INSERT INTO af VALUES(2, 250);",
                nullptr, nullptr),
            0);
  // Another process finds the lock file taken while we hold the handle's lock.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int fd = open(lockPath.c_str(), O_RDWR);
    _exit(lockf(fd, F_TLOCK, 0) == -1 ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "lock file was free";
  ASSERT_EQ(OSA_sqlite3UnLock(&hndl), 0);

  child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int fd = open(lockPath.c_str(), O_RDWR);
    _exit(lockf(fd, F_TLOCK, 0) == 0 ? 0 : 1);
  }
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "lock file still held";

  std::vector<std::string> rows;
  ASSERT_EQ(OSA_sqlite3Lock(&hndl, 'r'), 0);
  EXPECT_EQ(OSA_sqlite3RunCmdAndCallback(&hndl, "SELECT zoom, focus FROM af ORDER BY zoom;",
                                         CollectRows, &rows),
            0);
  OSA_sqlite3UnLock(&hndl);
  EXPECT_EQ(rows, (std::vector<std::string>{"1,100", "2,250"}));

  // A handle in use is not opened a second time.
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(OSA_sqlite3Open(&hndl, dir.File("other.db").c_str()), -1);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find(
                "dbHandle != NULL, may be has been opened \n"),
            std::string::npos);
  EXPECT_NE(hndl.db, nullptr);

  EXPECT_EQ(OSA_sqlite3Close(&hndl), 0);
  EXPECT_EQ(hndl.db, nullptr);
  EXPECT_EQ(hndl.lockFd, -1);
  EXPECT_EQ(OSA_sqlite3Close(nullptr), 0);
}

TEST(OsaSqlite, ReportsBadSqlAndBadArguments) {
  TempDir dir;
  OSA_SqliteHndl hndl = {};
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(OSA_sqlite3Open(&hndl, nullptr), -1);
  EXPECT_EQ(OSA_sqlite3Open(nullptr, "x.db"), -1);
  ASSERT_EQ(OSA_sqlite3Open(&hndl, dir.File("t.db").c_str()), 0);
  EXPECT_EQ(hndl.lockFd, -1);
  EXPECT_EQ(OSA_sqlite3RunCmdAndCallback(&hndl, "SELEC 1;", nullptr, nullptr), -1);
  EXPECT_EQ(OSA_sqlite3RunCmdAndCallback(&hndl, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(OSA_sqlite3Lock(nullptr, 'r'), -1);
  EXPECT_EQ(OSA_sqlite3UnLock(nullptr), -1);
  OSA_sqlite3Close(&hndl);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("(osa_sqlite|OSA_sqlite3Open|"), std::string::npos) << err;
  EXPECT_NE(err.find("): Invalid dbName or hndl !\n"), std::string::npos) << err;
  EXPECT_NE(err.find("): SQL execute SELEC 1; faild. \n"), std::string::npos) << err;
  EXPECT_NE(err.find("): SQL error:near \"SELEC\": syntax error\n"), std::string::npos) << err;
  EXPECT_NE(err.find("): SQL exec cmd and callback error, invalid argument\n"),
            std::string::npos) << err;
  EXPECT_NE(err.find("(osa_sqlite|OSA_sqlite3Lock|"), std::string::npos) << err;
  EXPECT_NE(err.find("(osa_sqlite|OSA_sqlite3UnLock|"), std::string::npos) << err;
}

TEST(OsaSqlite, CloseReleasesWhatAFailedOpenLeft) {
  TempDir dir;
  OSA_SqliteHndl hndl = {};
  std::string lockPath = dir.File("t.lock");
  hndl.lockFile = lockPath.c_str();
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(OSA_sqlite3Open(&hndl, dir.File("missing/t.db").c_str()), -1);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("sqlite3_open " + dir.File("missing/t.db") + " faild! \n"),
            std::string::npos) << err;
  EXPECT_EQ(hndl.db, nullptr);
  EXPECT_GE(hndl.lockFd, 0);
  EXPECT_EQ(OSA_sqlite3Close(&hndl), 0);
  EXPECT_EQ(hndl.lockFd, -1);
}

TEST(OsaConsole, ErrorReportLayout) {
  ::testing::internal::CaptureStderr();
  OSA_error("qz_i2c", "i2c_do_rw", 42, "bad %s %d\n", "bus", 3);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), " ERROR  (qz_i2c|i2c_do_rw|42): bad bus 3\n");
}

TEST(OsaConsole, BusyConsoleDefersTryPrintfToTheNextHolder) {
  StdoutCapture out;
  EXPECT_EQ(OSA_tryPrintf("now %d\n", 1), 0);
  pthread_mutex_lock(&gOsaConsoleLock);
  EXPECT_EQ(OSA_tryPrintf("later %d\n", 2), 0);
  EXPECT_EQ(OSA_tryPrintf("later %d\n", 3), 0);
  pthread_mutex_unlock(&gOsaConsoleLock);
  OSA_printf("next\n");
  OSA_printf("last\n");
  EXPECT_EQ(out.Finish(), "now 1\nlater 2\nlater 3\nnext\nlast\n");
}

TEST(OsaConsole, DeferredPiecesSurviveAFullQueueWithoutOverrun) {
  StdoutCapture out;
  pthread_mutex_lock(&gOsaConsoleLock);
  int queued = 0;
  for (int i = 0; i < 40; i++) queued += OSA_tryPrintf("%d,", i) == 0;
  std::string longPiece(300, 'z');
  int longQueued = OSA_tryPrintf("%s", longPiece.c_str());
  pthread_mutex_unlock(&gOsaConsoleLock);
  OSA_printDeferred();
  EXPECT_EQ(OSA_tryPrintf("%s", longPiece.c_str()), 0);  // cut to 127 bytes
  std::string text = out.Finish();
  EXPECT_EQ(longQueued, -1);
  std::string expected;
  for (int i = 0; i < queued; i++) expected += std::to_string(i) + ",";
  EXPECT_GT(queued, 0);
  EXPECT_LT(queued, 40);
  EXPECT_EQ(text, expected + std::string(127, 'z'));
}

TEST(OsaTime, SleepLastsItsMillisecondsAndASignalEndsItEarly) {
  int32_t start = OSA_getTimeMs();
  OSA_sleepMs(1500);
  int32_t slept = OSA_getTimeMs() - start;
  EXPECT_GE(slept, 1500);
  EXPECT_LT(slept, 2500);

  struct sigaction action = {}, old;
  action.sa_handler = [](int) {};
  sigaction(SIGALRM, &action, &old);
  alarm(1);
  start = OSA_getTimeMs();
  OSA_sleepMs(5000);
  slept = OSA_getTimeMs() - start;
  sigaction(SIGALRM, &old, nullptr);
  EXPECT_GE(slept, 900);
  EXPECT_LT(slept, 3000);
}

TEST(OsaText, CopyCutsToTheFieldAndZeroesTheRest) {
  char field[8];
  memset(field, 'x', sizeof field);
  OSA_copyText(field, sizeof field, "abc");
  EXPECT_EQ(memcmp(field, "abc\0\0\0\0\0", 8), 0);
  OSA_copyText(field, sizeof field, "0123456789");
  EXPECT_EQ(memcmp(field, "0123456\0", 8), 0);
}

}  // namespace
