// ir: switches the IR-cut filter back and forth, then logs a dated success record.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "gpio.h"
#include "module_util.h"
#include "osa.h"
#include "test.h"

#define IR_LOG_RECORD_SIZE 1024

typedef struct IrParam {
  uint32_t mode;    // 0..3, validated and kept; only the IR-cut line is switched
  uint32_t delay;   // ms after each switch
  int32_t times;    // -1: until the stop flag is set
} IrParam;

static IrParam g_irCfg = {0, 500, 10};

static const ModuleOption g_irOptions[] = {
    {"module", required_argument, 'M', "module", "module name: IR"},
    {"ir-led", required_argument, 'l', "hex", "set IR-led status"},
    {"ir-cut", required_argument, 'c', "hex", "set IR-cut status"},
    {"mode", required_argument, 'm', "digit", "IR test mode"},
    {"time", required_argument, 't', "digit",
     "IR opration times, default 10, [-1] means no timeout"},
    {"delay", required_argument, 'd', "digit", "IR opration delay [n]ms, n>0, default 500"},
};

static void ir_help(void) {
  print_module_usage(MODULE_IR, g_irOptions);
  OSA_printf("\nIR test mode: \n");
  OSA_printf("IR-led on, switch IR-cut \n");
  OSA_printf(
      "IR-led off, switch IR-cut \nswitch IR-cut and IR-led, on the same\nswitch IR-cut and "
      "IR-led, diffrent each other\n");
}

static void ir_init_param(int argc, char **argv) {
  optind = 0;
  int c;
  ModuleGetopt options(g_irOptions);
  while ((c = options.next(argc, argv)) != -1) {
    switch (c) {
      case 'l':
      case 'c':
        break;
      case 'm':
        g_irCfg.mode = module_parse_u32(optarg);
        if (g_irCfg.mode > 3) MODULE_OPTION_EXIT(ir_help, 134, "Invalid mode value.");
        break;
      case 't':
        g_irCfg.times = (int32_t)module_parse_u32(optarg);
        break;
      case 'd':
        g_irCfg.delay = module_parse_u32(optarg);
        if (g_irCfg.delay == 0) MODULE_OPTION_EXIT(ir_help, 147, "Invalid delay value.");
        break;
      default:
        MODULE_OPTION_EXIT(ir_help, 153, "Unknow option\n");
    }
  }
}

static int ir_test_main(void) {
  time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  char date[64];
  asctime_r(&local, date);
  int32_t start = OSA_getTimeMs();

  if (!test_stop_requested()) {
    int level = 0;
    while (g_irCfg.times != 0) {
      if (g_irCfg.times != -1) g_irCfg.times--;
      gpio_write((int)extGpio.irCut, level);
      level = !level;
      OSA_sleepMs(g_irCfg.delay);
      if (test_stop_requested()) break;
    }
  }
  // The clock word wraps; the difference of two readings does not.
  int32_t used = (int32_t)((uint32_t)OSA_getTimeMs() - (uint32_t)start);
  int useSeconds = used / 1000;

  static char record[IR_LOG_RECORD_SIZE];
  memset(record, 0, sizeof record);
  snprintf(record, sizeof record, "Test date: %s\t IR-cut result: success\n\t use time: %ds \n",
           date, useSeconds);
  OSA_log(record, sizeof record);
  OSA_printf("\033[0;32mTest date: %s\t IR-cut result: success\n\t use time: %ds \n\033[0;39m \n",
             date, useSeconds);
  return 0;
}

static int ir_run(int argc, char **argv) {
  ir_init_param(argc, argv);
  return ir_test_main();
}

static const TestModule ir_module = {"ir", MODULE_IR, ir_run, ir_help, nullptr};
TEST_MODULE_REGISTER(ir_module)
