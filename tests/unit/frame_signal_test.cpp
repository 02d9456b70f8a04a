// The stop signals: one line per signal and the stop flag, also while another thread
// keeps the console busy.
#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <sstream>
#include <string>

#include "osa.h"
#include "stdout_capture.h"
#include "test.h"

namespace {

std::atomic<bool> gPrinterRun{true};

void *Printer(void *) {
  for (long i = 0; gPrinterRun.load(); i++) OSA_printf("tick %ld\n", i);
  return nullptr;
}

int CountLines(const std::string &text, const std::string &line, int *foreign) {
  std::istringstream in(text);
  std::string l;
  int count = 0;
  *foreign = 0;
  while (std::getline(in, l)) {
    if (l == line)
      count++;
    else if (!l.empty() && l.compare(0, 5, "tick ") != 0)
      (*foreign)++;
  }
  return count;
}

TEST(FrameSignal, EachSignalPrintsOneLineWhileAThreadHogsTheConsole) {
  test_install_signal_handler();
  g_testStop.store(0);
  StdoutCapture out;
  pthread_t printer;
  ASSERT_EQ(pthread_create(&printer, nullptr, Printer, nullptr), 0);
  const int signals[] = {SIGINT, SIGINT, SIGTERM, SIGINT, SIGQUIT, SIGINT};
  for (int signo : signals) {
    OSA_sleepMs(20);
    raise(signo);
  }
  OSA_sleepMs(20);
  gPrinterRun.store(false);
  pthread_join(printer, nullptr);
  OSA_printDeferred();
  std::string text = out.Finish();

  EXPECT_TRUE(test_stop_requested());
  int foreign = 0;
  EXPECT_EQ(CountLines(text, "Get signal, signo = 2", &foreign), 4);
  EXPECT_EQ(CountLines(text, "Get signal, signo = 15", &foreign), 1);
  EXPECT_EQ(CountLines(text, "Get signal, signo = 3", &foreign), 1);
  // Besides the ticks, only the five other signal lines: nothing torn.
  EXPECT_EQ(foreign, 5);
}

}  // namespace
