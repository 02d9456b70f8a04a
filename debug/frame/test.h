// The contract between the `debug` frame and its test modules.
#pragma once

#include <getopt.h>
#include <stddef.h>
#include <stdint.h>

#include <atomic>

#define TEST_MAX_MODULES 25
#define TEST_ALL_MODULES 24   // id that selects every module in test_list_modules

// Module ids: they order the registry and select a module's usage.
enum ModuleId : uint32_t {
  MODULE_I2C = 0,
  MODULE_ADC = 2,
  MODULE_GPIO = 3,
  MODULE_PWM = 4,
  MODULE_PTZ = 7,
  MODULE_CPU = 8,
  MODULE_MOTOR = 9,
  MODULE_SDMMC = 10,
  MODULE_DB = 12,
  MODULE_SEARCH = 13,
  MODULE_DM2016 = 14,
  MODULE_IR = 15,
  MODULE_AF = 16,
  MODULE_WIFI = 18,
  MODULE_MEDIA = 19,
  MODULE_PT = 20,
  MODULE_MTD = 23,
};

typedef struct TestModule {
  const char *name;
  uint32_t id;                          // 0..23, orders the registry
  int (*run)(int argc, char **argv);    // receives the whole command line
  void (*help)(void);
  void (*deinit)(void);                 // may be null
} TestModule;

// One option of a module, declared once: its getopt_long entry and its usage row.
typedef struct ModuleOption {
  const char *name;   // long name
  int hasArg;         // no_argument or required_argument
  int val;            // the short letter; long-only options carry a value that is none
  const char *arg;    // argument text of the usage row, "" when the option takes none
  const char *help;
} ModuleOption;

void test_register(const TestModule *module);
void test_unregister(const TestModule *module);
const TestModule *test_find(const char *name);
int test_run(const char *name, int argc, char **argv);
int test_help(const char *name);
void test_deinit_all(void);
void test_list_modules(uint32_t id);
void print_module_usage(uint32_t id, const ModuleOption *options, size_t count);
template <size_t N>
void print_module_usage(uint32_t id, const ModuleOption (&options)[N]) {
  print_module_usage(id, options, N);
}

// Registry slots in order (slot < test_module_count()); for listing and checks.
unsigned test_module_count(void);
const TestModule *test_module_at(unsigned slot);
// One option row of a usage text: "-c  " or four blanks, "--long", then " [arg]\t" and
// the help, or (no argument text) emptyArgTabs tabs and the help.
void test_print_option_row(int shortValue, const char *longName, const char *arg,
                           const char *help, int emptyArgTabs);

// Set by SIGINT/SIGQUIT/SIGTERM and by the exit sequence; looping modules poll it.
extern std::atomic<int> g_testStop;
inline bool test_stop_requested() { return g_testStop.load() != 0; }
inline void test_request_stop() { g_testStop.store(1); }

// The program name as typed (first argument word, at most 255 characters).
const char *test_program_name(void);
void test_set_program_name(const char *name);

// Start-up, command line and exit of the program (main in test.cpp strings them
// together). test_init installs the signal handler, seeds the settings databases and
// brings up the console lock and the log semaphore; non-zero means it failed.
int test_init(void);
// Copies a missing settings database (/mnt/nand/qzdb.db, /mnt/nand2/oem.db) from its
// seed in /opt/app; the copies' results are not examined.
void test_seed_databases(void);
void test_install_signal_handler(void);
// Scans the command line and shows the usage, a module's help or runs the module.
void test_dispatch(int argc, char **argv);
// Sets the stop flag, runs every deinit, closes the log, destroys the console lock.
int test_exit(void);

// Registers a module from a static constructor and removes it at unload:
//   TEST_MODULE_REGISTER(gpio_module);
#define TEST_MODULE_REGISTER(rec)                                   \
  __attribute__((constructor)) static void rec##_register(void) {   \
    test_register(&rec);                                            \
  }                                                                 \
  __attribute__((destructor)) static void rec##_unregister(void) {  \
    test_unregister(&rec);                                          \
  }
