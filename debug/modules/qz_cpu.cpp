// cpu: samples the system-wide processor load from the kernel's statistics at a
// fixed interval, prints every sample in colour and into a log file, and ends with
// the average, maximum and minimum load.
#include <getopt.h>
#include <math.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "module_util.h"
#include "osa.h"
#include "safe_open.h"
#include "test.h"

#define CPU_VERSION "1.0.2"
#define CPU_LOG_NAME_SIZE 64

static const ModuleOption g_cpuOptions[] = {
    {"module", required_argument, 'M', "module", "module name: cpu"},
    {"delay", required_argument, 'd', "digit", "cpu check interval seconds, defalut [1]s"},
    {"count", required_argument, 'c', "digit", "cpu repeat count times, defalut [60]"},
    {"log", required_argument, 'l', "file", "cpu log file, default[/tmp/cpulog.txt]"},
    {"version", no_argument, 'v', "", "cpu version information"},
};

// Tick counters of one sample; all zero means that there is no previous sample.
typedef struct CpuTicks {
  uint32_t user, nice, sys, idle, iowait, irq, softirq, steal, total, processTotal;
} CpuTicks;

static struct {
  int32_t count;
  int32_t delay;
  char logName[CPU_LOG_NAME_SIZE];
} g_cpuCfg = {60, 1, "/tmp/cpulog.txt"};

static struct {
  CpuTicks previous;
  double busy, sys, user, wait, steal;  // last computed sample, percent
} g_cpuLoad;

static void cpu_help(void) {
  print_module_usage(MODULE_CPU, g_cpuOptions);
}

// Reads the aggregate "cpu" line of /proc/stat and the tool's own times.
static int cpu_read_ticks(CpuTicks *now) {
  FILE *stat = fopen("/proc/stat", "re");
  if (stat == nullptr) {
    fprintf(stderr,
            "\033[0;31mError: /proc/stat not found. Is the /proc filesystem mounted?\n"
            "\033[0;39m \n");
    return -1;
  }
  char line[512];
  bool found = false;
  unsigned long user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0,
                steal = 0;
  while (!found && fgets(line, sizeof line, stat) != nullptr) {
    char name[5] = "";
    found = sscanf(line, "%4s %lu %lu %lu %lu %lu %lu %lu %lu", name, &user, &nice, &system,
                   &idle, &iowait, &irq, &softirq, &steal) == 9 &&
            strcmp(name, "cpu") == 0;
  }
  fclose(stat);
  if (!found) return -1;

  FILE *self = fopen("/proc/self/stat", "re");
  if (self == nullptr) {
    fprintf(stderr,
            "\33[0;31mError: /proc/self/stat not found. Is the /proc filesystem mounted?\n"
            "\33[0;39m \n");
    return -1;
  }
  unsigned long utime = 0, stime = 0, cutime = 0, cstime = 0;
  int got = fscanf(self, "%*d %*s %*s %*d %*d %*d %*d %*d %*d %*d %*d %*d %*d %lu %lu %lu %lu",
                   &utime, &stime, &cutime, &cstime);
  fclose(self);
  if (got != 4) {
    fprintf(stderr, "\33[0;31mError: Failed to get process load information.\n\33[0;39m \n");
    return -1;
  }

  // The kernel's counters are taken as 32-bit values and wrap as such.
  now->user = static_cast<uint32_t>(user + nice);
  now->nice = static_cast<uint32_t>(nice);
  now->sys = static_cast<uint32_t>(system + irq + softirq);
  now->idle = static_cast<uint32_t>(idle);
  now->iowait = static_cast<uint32_t>(iowait);
  now->irq = static_cast<uint32_t>(irq);
  now->softirq = static_cast<uint32_t>(softirq);
  now->steal = static_cast<uint32_t>(steal);
  now->total = static_cast<uint32_t>(user + nice + system + idle + iowait + irq + softirq + steal);
  now->processTotal = static_cast<uint32_t>(utime + stime + cutime + cstime);
  return 0;
}

static bool cpu_ticks_zero(const CpuTicks *t) {
  return t->user == 0 && t->nice == 0 && t->sys == 0 && t->idle == 0 && t->iowait == 0 &&
         t->irq == 0 && t->softirq == 0 && t->steal == 0 && t->total == 0 &&
         t->processTotal == 0;
}

// Takes one sample. The first one only primes the previous-sample record. When the
// total tick count did not move there is nothing to divide by: the last figures are
// kept, as for a sample that could not be read.
static void cpu_sample(void) {
  CpuTicks now;
  if (cpu_read_ticks(&now) != 0) return;
  if (!cpu_ticks_zero(&g_cpuLoad.previous)) {
    const CpuTicks &prev = g_cpuLoad.previous;
    uint32_t elapsed = now.total - prev.total;
    if (elapsed != 0) {
      double d = elapsed;
      g_cpuLoad.busy = 100 - static_cast<uint32_t>(now.idle - prev.idle) * 100.0 / d;
      g_cpuLoad.sys = static_cast<uint32_t>(now.sys - prev.sys) * 100.0 / d;
      g_cpuLoad.wait = static_cast<uint32_t>(now.iowait - prev.iowait) * 100.0 / d;
      g_cpuLoad.steal = static_cast<uint32_t>(now.steal - prev.steal) * 100.0 / d;
      g_cpuLoad.user = static_cast<uint32_t>(now.user - prev.user) * 100.0 / d;
    }
  }
  g_cpuLoad.previous = now;
}

// Sleeps the sampling interval; a signal (stop request) cuts a long interval short.
static void cpu_sleep(void) {
  uint64_t left = static_cast<uint64_t>(g_cpuCfg.delay) * 1000;
  do {
    uint32_t chunk = left > 3600000 ? 3600000 : static_cast<uint32_t>(left);
    OSA_sleepMs(chunk);
    left -= chunk;
  } while (left > 0 && !test_stop_requested());
}

// Returns 0 when the measurement may run.
static int cpu_init_param(int argc, char **argv) {
  optind = 1;
  int opt;
  ModuleGetopt options(g_cpuOptions);
  while ((opt = options.next(argc, argv)) != -1) {
    int32_t value = 0;  // read as the board's 32-bit strtoul, then taken as signed
    switch (opt) {
      case 'd':
        value = static_cast<int32_t>(module_parse_u32(optarg));
        if (value <= 0) {
          return MODULE_OPTION_FAIL(cpu_help, __LINE__, "Cpu delay must > 0\n");
        }
        g_cpuCfg.delay = value;
        break;
      case 'c':
        value = static_cast<int32_t>(module_parse_u32(optarg));
        if (value <= 0) {
          return MODULE_OPTION_FAIL(cpu_help, __LINE__, "Cpu count must > 0\n");
        }
        g_cpuCfg.count = value;
        break;
      case 'l':
        if (strlen(optarg) >= CPU_LOG_NAME_SIZE) {
          return MODULE_OPTION_FAIL(cpu_help, __LINE__, "Cpu log name length must < 64!\n");
        }
        snprintf(g_cpuCfg.logName, sizeof g_cpuCfg.logName, "%s", optarg);
        break;
      case 'v':
        OSA_printf("CPU version: %s\n", CPU_VERSION);
        break;
      default:
        return MODULE_OPTION_FAIL(cpu_help, __LINE__, "Unknow option\n");
    }
  }
  return 0;
}

static int cpu_run(int argc, char **argv) {
  if (cpu_init_param(argc, argv) != 0) return 0;

  int logFd =
      safe_open(g_cpuCfg.logName, O_WRONLY | O_CREAT | O_TRUNC, OSA_reportRefusedFile);
  FILE *log = logFd >= 0 ? fdopen(logFd, "w") : nullptr;
  if (!log && logFd >= 0) close(logFd);
  if (log != nullptr)
    OSA_printf("\33[1;32mCreate cpu log: %s\n\33[0;39m \n", g_cpuCfg.logName);
  else
    fprintf(stderr, "\33[0;31mError: Can't create log %s\n\33[0;39m \n", g_cpuCfg.logName);
  OSA_printf("\033[1;32mARM LOAD RUNNING FOR COUNT: %d \n\033[0;39m \n", g_cpuCfg.count);

  double sum = 0, samples = 0, max = 0, min = 100;
  if (!test_stop_requested()) {
    int32_t i = 0;
    do {
      cpu_sample();
      if (i >= 1 && i <= g_cpuCfg.count) {
        sum += g_cpuLoad.busy;
        samples += 1;
        if (g_cpuLoad.busy > max) max = g_cpuLoad.busy;
        if (g_cpuLoad.busy < min) min = g_cpuLoad.busy;
        if (log != nullptr)
          fprintf(log, "CPU:%3.0f%% (sys:%3.0f%% user:%3.0f%% wait:%3.0f%% steal:%3.0f%%)\n",
                  g_cpuLoad.busy, g_cpuLoad.sys, g_cpuLoad.user, g_cpuLoad.wait, g_cpuLoad.steal);
        OSA_printf(
            "\33[1;32mCPU:%3.0f%% (sys:%3.0f%% user:%3.0f%% wait:%3.0f%% steal:%3.0f%%)"
            "\33[0;39m \n",
            g_cpuLoad.busy, g_cpuLoad.sys, g_cpuLoad.user, g_cpuLoad.wait, g_cpuLoad.steal);
      } else if (i > g_cpuCfg.count) {
        test_request_stop();
      }
      if (i < INT32_MAX) i++;
      cpu_sleep();
    } while (!test_stop_requested());
  }

  // No sample printed: the average is 0/0 and shows as not-a-number.
  double average = samples > 0 ? sum / samples : NAN;
  if (log != nullptr) {
    fprintf(log, "Average:%4.3f%%   Max:%4.2f%%  Min:%4.2f%%\n", average, max, min);
    fclose(log);
  }
  OSA_printf("\33[1;32mAverage:%4.3f%%   Max:%4.2f%%  Min:%4.2f%%\33[0;39m \n", average, max,
             min);
  return 0;
}

static const TestModule cpu_module = {"cpu", MODULE_CPU, cpu_run, cpu_help, nullptr};
TEST_MODULE_REGISTER(cpu_module)
