// Real-time threads: policy, priority clamping and names.
#include <gtest/gtest.h>

#include <sched.h>
#include <stdio.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <string>

#include "osa.h"

namespace {

struct SchedSeen {
  int policy = -1;
  int priority = -1;
};

void *ReportSched(void *arg) {
  auto *seen = static_cast<SchedSeen *>(arg);
  struct sched_param param;
  pthread_getschedparam(pthread_self(), &seen->policy, &param);
  seen->priority = param.sched_priority;
  return nullptr;
}

SchedSeen RunAt(unsigned prio, unsigned stackSize = 0) {
  SchedSeen seen;
  pthread_t thread;
  int status = OSA_thrCreate(&thread, ReportSched, prio, stackSize, &seen);
  EXPECT_EQ(status, 0);
  if (status == 0) pthread_join(thread, nullptr);
  return seen;
}

TEST(OsaThread, RunsUnderFifoWithThePriorityClampedToItsRange) {
  const int lowest = sched_get_priority_min(SCHED_FIFO);
  const int highest = sched_get_priority_max(SCHED_FIFO);
  SchedSeen low = RunAt(0);
  EXPECT_EQ(low.policy, SCHED_FIFO);
  EXPECT_EQ(low.priority, lowest);
  EXPECT_EQ(RunAt(1000).priority, highest);
  EXPECT_EQ(RunAt(0xFFFFFFFFu).priority, highest);
  EXPECT_EQ(RunAt(10, 256 * 1024).priority, 10);
  EXPECT_EQ(OSA_thrMidPriority(), (unsigned)(lowest + (highest - lowest) / 2));
  EXPECT_EQ(RunAt(OSA_thrMidPriority()).priority, 50);
}

TEST(OsaThread, ReportsAnImpossibleStackSize) {
  pthread_t thread;
  ::testing::internal::CaptureStderr();
  int status = OSA_thrCreate(&thread, ReportSched, 1, 1, nullptr);  // below PTHREAD_STACK_MIN
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(status, 0);
  EXPECT_NE(err.find("(osa_thr|OSA_thrCreate|"), std::string::npos) << err;
  EXPECT_NE(err.find("): OSA_thrCreate() - Could not initialize thread attributes\n"),
            std::string::npos) << err;
}

struct NameSeen {
  int tid = 0;
  int status = 0;
  int nullStatus = 0;
  char name[32] = {};
};

void *NameThread(void *arg) {
  auto *seen = static_cast<NameSeen *>(arg);
  seen->tid = (int)syscall(SYS_gettid);
  seen->nullStatus = OSA_thrSetName(nullptr);
  seen->status = OSA_thrSetName("search_timer");
  pthread_getname_np(pthread_self(), seen->name, sizeof seen->name);
  return nullptr;
}

TEST(OsaThread, NameCarriesTheKernelThreadIdCutTo15Characters) {
  NameSeen seen;
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, nullptr, NameThread, &seen), 0);
  pthread_join(thread, nullptr);
  EXPECT_EQ(seen.nullStatus, -1);
  EXPECT_EQ(seen.status, 0);
  std::string full = "search_timer(" + std::to_string(seen.tid) + ")";
  EXPECT_EQ(std::string(seen.name), full.substr(0, 15));
}

}  // namespace
