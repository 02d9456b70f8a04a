// Tasks, semaphores, bit fields, the log mask, the persistent log and time texts.
#include <gtest/gtest.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <regex>
#include <string>
#include <thread>

#include "qzcommon.h"
#include "qzstd.h"

namespace {

TEST(QzStd, GetBits) {
  EXPECT_EQ(qz_get_bits(0x12345678u, 0, 16), 0x5678u);
  EXPECT_EQ(qz_get_bits(0x12345678u, 16, 16), 0x1234u);
  EXPECT_EQ(qz_get_bits(0xFFFFFFFFFFFFFFFFull, 4, 64), 0x0FFFFFFFFFFFFFFFull);
  EXPECT_EQ(qz_get_bits(0x8000000000000000ull, 63, 1), 1u);
  EXPECT_EQ(qz_get_bits(5, 64, 1), 0u);
  EXPECT_EQ(qz_get_bits(5, 0, 0), 0u);
}

struct TaskArgs {
  qz_mutex_t *lock;
  int *counter;
  char name[32];
};

void *count_task(void *arg) {
  TaskArgs *args = static_cast<TaskArgs *>(arg);
  qz_task_set_name("a_rather_long_task_name");
  pthread_getname_np(pthread_self(), args->name, sizeof args->name);
  for (int i = 0; i < 10000; i++) {
    qz_mutex_lock(args->lock);
    ++*args->counter;
    qz_mutex_unlock(args->lock);
  }
  return nullptr;
}

TEST(QzStd, TasksAndMutex) {
  qz_mutex_t lock;
  ASSERT_EQ(qz_mutex_init(&lock), 0);
  int counter = 0;
  TaskArgs a{&lock, &counter, {}};
  TaskArgs b{&lock, &counter, {}};
  qz_task_t ta, tb;
  ASSERT_EQ(qz_task_create_join(&ta, count_task, &a), 0);
  ASSERT_EQ(qz_task_create_join(&tb, count_task, &b), 0);
  EXPECT_EQ(qz_task_join(&ta), 0);
  EXPECT_EQ(qz_task_join(&tb), 0);
  EXPECT_EQ(counter, 20000);
  EXPECT_STREQ(a.name, "a_rather_long_t");
  EXPECT_EQ(qz_mutex_uninit(&lock), 0);
  EXPECT_NE(qz_task_create_join(&ta, nullptr, nullptr), 0);
}

TEST(QzStd, SemaphoreBlocksUntilGiven) {
  int id = semget(IPC_PRIVATE, 2, IPC_CREAT | 0600);
  ASSERT_GE(id, 0);
  std::atomic<bool> taken{false};
  std::thread taker([&] {
    qz_sem_p(id, 1);  // starts at 0: waits for the give below
    taken = true;
  });
  usleep(50000);
  EXPECT_FALSE(taken.load());
  EXPECT_EQ(qz_sem_v(id, 1), 0);
  taker.join();
  EXPECT_TRUE(taken.load());
  EXPECT_EQ(semctl(id, 1, GETVAL), 0);
  EXPECT_EQ(qz_sem_v(id, 0), 0);
  EXPECT_EQ(qz_sem_p(id, 0), 0);
  EXPECT_EQ(qz_sem_p(id, 9), -1) << "no such semaphore in the set";
  semctl(id, 0, IPC_RMID);
  EXPECT_EQ(qz_sem_v(id, 0), -1) << "set removed";
}

TEST(QzStd, SystemRunsTheShell) {
  EXPECT_EQ(qz_system("exit 0"), 0);
  EXPECT_EQ(WEXITSTATUS(qz_system("exit 3")), 3);
  EXPECT_EQ(qz_system(nullptr), -1);
}

TEST(QzCommon, DebugMask) {
  unsetenv("QZ_DEBUG_MASK");
  EXPECT_EQ(debug_get_mask(), 0);
  setenv("QZ_DEBUG_MASK", "4", 1);
  EXPECT_EQ(debug_get_mask(), 4);
  setenv("QZ_DEBUG_MASK", "0x10", 1);
  EXPECT_EQ(debug_get_mask(), 16);
  setenv("QZ_DEBUG_MASK", "lots", 1);
  EXPECT_EQ(debug_get_mask(), 0);
  unsetenv("QZ_DEBUG_MASK");
}

TEST(QzCommon, TimeTexts) {
  char buf[32];
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_STREQ(time_to_string(86400 * 365, buf), "1971-01-01 00:00:00");
  time_to_string_ms(buf);
  EXPECT_TRUE(std::regex_match(buf, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})"))) << buf;
}

TEST(QzCommon, LogAppendsWholeLines) {
  char path[] = "/tmp/qzlog-test.XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  setenv("QZ_LOG_PATH", path, 1);
  EXPECT_EQ(_qz_log("ERR:", "socket connect failed==func:main file:main line:586\n"), 0);
  EXPECT_EQ(_qz_log("ERR:", std::string(10000, 'x').c_str()), 0);
  EXPECT_EQ(_qz_log(nullptr, "x"), -1);
  std::ifstream in(path);
  std::string first, second, third;
  ASSERT_TRUE(std::getline(in, first));
  ASSERT_TRUE(std::getline(in, second));
  EXPECT_FALSE(std::getline(in, third));
  EXPECT_TRUE(std::regex_match(first, std::regex(R"(\[ERR: [-0-9: .]{23}\] socket connect failed==func:main file:main line:586)")))
      << first;
  EXPECT_LT(second.size(), 4200u) << "a long text is cut";
  unlink(path);
  unsetenv("QZ_LOG_PATH");
}

}  // namespace
