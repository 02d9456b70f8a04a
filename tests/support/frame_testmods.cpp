// Test modules for driving the tool frame end to end (linked into debug-testmods, never
// into debug). `loop` runs until the stop flag is set while a second thread prints as
// fast as it can; the others only report what the frame asks of them.
#include <pthread.h>
#include <stdio.h>

#include "osa.h"
#include "test.h"

static const ModuleOption kOptions[] = {
    {"module", required_argument, 'M', "str", "module name"},
    {"count", required_argument, 'n', "num", "how many"},
    {"quiet", no_argument, 0, "", "print less"},
};

#define REPORTING_MODULE(fn, moduleId)                                             \
  static int fn##_run(int argc, char **argv) {                                     \
    OSA_printf("run " #fn " argc=%d last=%s\n", argc, argv[argc - 1]);             \
    return 0;                                                                       \
  }                                                                                 \
  static void fn##_help(void) { print_module_usage(moduleId, kOptions); } \
  static void fn##_deinit(void) { OSA_printf("deinit " #fn "\n"); }

REPORTING_MODULE(alpha, 0)
REPORTING_MODULE(beta, 3)
REPORTING_MODULE(gamma, 23)
REPORTING_MODULE(search, 13)

static void *loop_printer(void *) {
  for (long i = 0; !test_stop_requested(); i++) OSA_printf("tick %ld\n", i);
  return nullptr;
}

static int loop_run(int, char **) {
  pthread_t printer;
  if (pthread_create(&printer, nullptr, loop_printer, nullptr) != 0) return -1;
  OSA_printf("loop: started\n");
  while (!test_stop_requested()) OSA_sleepMs(10);
  pthread_join(printer, nullptr);
  OSA_printf("loop: stopped\n");
  return 0;
}
static void loop_help(void) { print_module_usage(10, kOptions); }
static void loop_deinit(void) { OSA_printf("deinit loop\n"); }

static const TestModule gamma_module = {"gamma", 23, gamma_run, gamma_help, gamma_deinit};
static const TestModule loop_module = {"loop", 10, loop_run, loop_help, loop_deinit};
static const TestModule beta_module = {"beta", 3, beta_run, beta_help, beta_deinit};
static const TestModule alpha_module = {"alpha", 0, alpha_run, alpha_help, alpha_deinit};
static const TestModule nodeinit_module = {"nodeinit", 5, alpha_run, alpha_help, nullptr};
static const TestModule search_module = {"search", 13, search_run, search_help, search_deinit};
static const TestModule cpu_module = {"cpu", 8, alpha_run, alpha_help, nullptr};
static const TestModule db_module = {"db", 12, alpha_run, alpha_help, nullptr};
static const TestModule media_module = {"media", 19, alpha_run, alpha_help, nullptr};
static const TestModule pt_module = {"pt", 20, alpha_run, alpha_help, nullptr};
static const TestModule search_again_module = {"SEARCH", 1, alpha_run, alpha_help, alpha_deinit};

TEST_MODULE_REGISTER(gamma_module)
TEST_MODULE_REGISTER(loop_module)
TEST_MODULE_REGISTER(media_module)
TEST_MODULE_REGISTER(beta_module)
TEST_MODULE_REGISTER(search_module)
TEST_MODULE_REGISTER(alpha_module)
TEST_MODULE_REGISTER(pt_module)
TEST_MODULE_REGISTER(nodeinit_module)
TEST_MODULE_REGISTER(db_module)
TEST_MODULE_REGISTER(cpu_module)
TEST_MODULE_REGISTER(search_again_module)
