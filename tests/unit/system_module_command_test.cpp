// Shell commands run by the system modules.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <string>

#include "module_util.h"
#include "stdout_capture.h"
#include "test.h"

namespace {

TEST(ModuleCommand, CommandsThatDoNotFitAreRefusedNotCut) {
  char buf[16];
  EXPECT_EQ(module_format_command(buf, sizeof buf, "cat %s", "/tmp/a.log"), 0);
  EXPECT_STREQ(buf, "cat /tmp/a.log");
  EXPECT_EQ(module_format_command(buf, sizeof buf, "rm -rf %s", "/mnt/mmc/file0"), -1);
  EXPECT_STREQ(buf, "");
}

TEST(ModuleCommand, OutputKeepsItsOrderAndTheStatusIsTheShells) {
  StdoutCapture capture;
  printf("before ");  // still in the stdio buffer when the command starts
  int status = module_system("echo from-the-shell; exit 3");
  printf("after\n");
  EXPECT_EQ(capture.Finish(), "before from-the-shell\nafter\n");
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);
  EXPECT_EQ(module_system("true"), 0);
}

TEST(ModuleCommand, ACommandEndedByInterruptAsksTheToolToStop) {
  g_testStop.store(0);
  module_system("kill -TERM $$");
  EXPECT_FALSE(test_stop_requested());
  module_system("kill -INT $$");
  EXPECT_TRUE(test_stop_requested());
  g_testStop.store(0);
}

}  // namespace
