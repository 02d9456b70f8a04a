// The contract between the `debug` frame and its test modules.
#pragma once

#include <getopt.h>
#include <stdint.h>

#include <atomic>

#define TEST_MAX_MODULES 25
#define TEST_ALL_MODULES 24   // id that selects every module in test_list_modules

typedef struct TestModule {
  const char *name;
  uint32_t id;                          // 0..23, orders the registry
  int (*run)(int argc, char **argv);    // receives the whole command line
  void (*help)(void);
  void (*deinit)(void);                 // may be null
} TestModule;

// One row of a module's help table, parallel to its getopt_long option table.
typedef struct OptionHelp {
  const char *arg;    // argument text, "" when the option takes none
  const char *help;
} OptionHelp;

void test_register(const TestModule *module);
void test_unregister(const TestModule *module);
const TestModule *test_find(const char *name);
int test_run(const char *name, int argc, char **argv);
int test_help(const char *name);
void test_deinit_all(void);
void test_list_modules(uint32_t id);
void print_module_usage(uint32_t id, const struct option *options, const OptionHelp *helps,
                        int count);

// Set by SIGINT/SIGQUIT/SIGTERM and by the exit sequence; looping modules poll it.
extern std::atomic<int> g_testStop;
inline bool test_stop_requested() { return g_testStop.load() != 0; }
inline void test_request_stop() { g_testStop.store(1); }

// The program name as typed (first argument word, at most 255 characters).
const char *test_program_name(void);

// Registers a module from a static constructor and removes it at unload:
//   TEST_MODULE_REGISTER(gpio_module);
#define TEST_MODULE_REGISTER(rec)                                   \
  __attribute__((constructor)) static void rec##_register(void) {   \
    test_register(&rec);                                            \
  }                                                                 \
  __attribute__((destructor)) static void rec##_unregister(void) {  \
    test_unregister(&rec);                                          \
  }
