// gpio: reads or writes one pin of the board through libgpio, one operation per run.
#include <stdio.h>

#include "gpio.h"
#include "module_util.h"
#include "osa.h"
#include "test.h"

#define GPIO_MODULE_ID 3
#define GPIO_MAX_ID 127

enum { GPIO_OP_READ = 0, GPIO_OP_WRITE = 1, GPIO_OP_INPUT_CONFIG = 2 };

typedef struct GpioCfg {
  int32_t op;
  uint32_t id;     // pin id in libgpio numbering
  int32_t data;    // value to write, or value read
  int32_t times;   // accepted, unused: one operation per run
  int32_t delay;   // accepted, unused
} GpioCfg;

static GpioCfg g_gpio_cfg;

static const struct option g_gpioOptions[] = {
    {"module", required_argument, nullptr, 'M'},
    {"read", required_argument, nullptr, 'r'},
    {"write", required_argument, nullptr, 'w'},
    {"data", required_argument, nullptr, 'd'},
    {"time", required_argument, nullptr, 't'},
    {"delay", required_argument, nullptr, 'D'},
    {"input_config", required_argument, nullptr, 'p'},
    {nullptr, 0, nullptr, 0},
};
static const OptionHelp g_gpioHelps[] = {
    {"module", "module name: gpio"},
    {"hex", "read gpio id, default[system_reset]"},
    {"hex", "write gpio id, default[system_reset]"},
    {"data", "data to written, defalut [0x0]"},
    {"digit", "gpio opration times, default 1, [-1] means no timeout"},
    {"digit", "gpio opration delay [n]s, n>0, default 1"},
    {"config", "gpio input config"},
};
static const int kGpioOptionRows = sizeof g_gpioHelps / sizeof g_gpioHelps[0];
static_assert(sizeof g_gpioOptions / sizeof g_gpioOptions[0] == kGpioOptionRows + 1,
              "one help row per option");

static void gpio_help(void) {
  print_module_usage(GPIO_MODULE_ID, g_gpioOptions, g_gpioHelps, kGpioOptionRows);
}

static void gpio_deinit(void) { gpio_close(); }

static int gpio_do_rw(GpioCfg *cfg) {
  switch (cfg->op) {
    case GPIO_OP_READ:
      cfg->data = gpio_read((int)cfg->id);
      return 0;
    case GPIO_OP_WRITE:
      gpio_write((int)cfg->id, cfg->data);
      return 0;
    default:
      OSA_error("qz_gpio", __func__, 51, "gpio_do_rw unknow opt!\n");
      return -1;
  }
}

// Returns 0 when the options are good, -1 after an option error was reported.
static int gpio_init_param(int argc, char **argv) {
  optind = 0;
  int c;
  while ((c = getopt_long(argc, argv, "M:r:w:d:t:D:p:", g_gpioOptions, nullptr)) != -1) {
    int line = 0;
    switch (c) {
      case 'M':
        break;
      case 'r':
        g_gpio_cfg.op = GPIO_OP_READ;
        g_gpio_cfg.id = module_parse_u32(optarg);
        printf("===g_gpio_cfg(%d,%d)=======\n", g_gpio_cfg.op, (int)g_gpio_cfg.id);
        break;
      case 'w':
      case 'p':
        g_gpio_cfg.op = c == 'w' ? GPIO_OP_WRITE : GPIO_OP_INPUT_CONFIG;
        g_gpio_cfg.id = module_parse_u32(optarg);
        if (g_gpio_cfg.id > GPIO_MAX_ID) {
          OSA_error("qz_gpio", __func__, line = 218, "gio id must <= %d\n", GPIO_MAX_ID);
        }
        break;
      case 'd':
        g_gpio_cfg.data = (int32_t)module_parse_u32(optarg);
        if (g_gpio_cfg.data != 0 && g_gpio_cfg.data != 1)
          OSA_error("qz_gpio", __func__, line = 228, "gio value must be 0/1! \n");
        break;
      case 't':
        g_gpio_cfg.times = (int32_t)module_parse_u32(optarg);
        break;
      case 'D':
        g_gpio_cfg.delay = (int32_t)module_parse_u32(optarg);
        if (g_gpio_cfg.delay == 0)
          OSA_error("qz_gpio", __func__, line = 242, "gio delay time must > 0! \n");
        break;
      default:
        OSA_error("qz_gpio", __func__, line = 250, "Unknow option\n");
    }
    if (line != 0) {
      gpio_help();
      gpio_close();
      return -1;
    }
  }
  return 0;
}

static int gpio_run(int argc, char **argv) {
  if (gpio_init_param(argc, argv) != 0) return 0;
  if (g_gpio_cfg.op == GPIO_OP_INPUT_CONFIG) {
    // libgpio makes a pin an input when it is read; report the level it reads.
    g_gpio_cfg.data = gpio_read((int)g_gpio_cfg.id);
    printf("GPIO input config:%d %d\n", (int)g_gpio_cfg.id, g_gpio_cfg.data);
    gpio_close();
    return 0;
  }
  if (gpio_do_rw(&g_gpio_cfg) != 0) {
    printf("gpio_do_rw faild!\n");
    return -1;
  }
  printf(g_gpio_cfg.op == GPIO_OP_READ ? "GPIO read id = %d, data = %d\n"
                                       : "GPIO write id = %d, data = %d\n",
         (int)g_gpio_cfg.id, g_gpio_cfg.data);
  gpio_close();
  return 0;
}

static const TestModule gpio_module = {"gpio", GPIO_MODULE_ID, gpio_run, gpio_help, gpio_deinit};
TEST_MODULE_REGISTER(gpio_module)
