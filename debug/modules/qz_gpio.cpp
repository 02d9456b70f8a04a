// gpio: reads or writes one pin of the board through libgpio, one operation per run.
#include <stdio.h>

#include "gpio.h"
#include "module_util.h"
#include "osa.h"
#include "test.h"

#define GPIO_MAX_ID 127

enum { GPIO_OP_READ = 0, GPIO_OP_WRITE = 1, GPIO_OP_INPUT_CONFIG = 2 };

typedef struct GpioCfg {
  int32_t op;
  uint32_t id;     // pin id in libgpio numbering
  int32_t data;    // value to write, or value read
  int32_t times;   // accepted, unused: one operation per run
  int32_t delay;   // accepted, unused
} GpioCfg;

static GpioCfg g_gpioCfg;

static const ModuleOption g_gpioOptions[] = {
    {"module", required_argument, 'M', "module", "module name: gpio"},
    {"read", required_argument, 'r', "hex", "read gpio id, default[system_reset]"},
    {"write", required_argument, 'w', "hex", "write gpio id, default[system_reset]"},
    {"data", required_argument, 'd', "data", "data to written, defalut [0x0]"},
    {"time", required_argument, 't', "digit",
     "gpio opration times, default 1, [-1] means no timeout"},
    {"delay", required_argument, 'D', "digit", "gpio opration delay [n]s, n>0, default 1"},
    {"input_config", required_argument, 'p', "config", "gpio input config"},
};

static void gpio_help(void) {
  print_module_usage(MODULE_GPIO, g_gpioOptions);
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
      MODULE_ERROR(51, "gpio_do_rw unknow opt!\n");
      return -1;
  }
}

// Returns 0 when the options are good, -1 after an option error was reported.
static int gpio_init_param(int argc, char **argv) {
  optind = 0;
  int c;
  ModuleGetopt options(g_gpioOptions);
  while ((c = options.next(argc, argv)) != -1) {
    switch (c) {
      case 'r':
        g_gpioCfg.op = GPIO_OP_READ;
        g_gpioCfg.id = module_parse_u32(optarg);
        printf("===g_gpio_cfg(%d,%d)=======\n", g_gpioCfg.op, (int)g_gpioCfg.id);
        break;
      case 'w':
      case 'p':
        g_gpioCfg.op = c == 'w' ? GPIO_OP_WRITE : GPIO_OP_INPUT_CONFIG;
        g_gpioCfg.id = module_parse_u32(optarg);
        if (g_gpioCfg.id > GPIO_MAX_ID) {
          return MODULE_OPTION_FAIL(gpio_help, 218, "gio id must <= %d\n", GPIO_MAX_ID);
        }
        break;
      case 'd':
        g_gpioCfg.data = (int32_t)module_parse_u32(optarg);
        if (g_gpioCfg.data != 0 && g_gpioCfg.data != 1)
          return MODULE_OPTION_FAIL(gpio_help, 228, "gio value must be 0/1! \n");
        break;
      case 't':
        g_gpioCfg.times = (int32_t)module_parse_u32(optarg);
        break;
      case 'D':
        g_gpioCfg.delay = (int32_t)module_parse_u32(optarg);
        if (g_gpioCfg.delay == 0)
          return MODULE_OPTION_FAIL(gpio_help, 242, "gio delay time must > 0! \n");
        break;
      default:
        return MODULE_OPTION_FAIL(gpio_help, 250, "Unknow option\n");
    }
  }
  return 0;
}

static int gpio_run(int argc, char **argv) {
  if (gpio_init_param(argc, argv) != 0) {
    gpio_close();
    return 0;
  }
  if (g_gpioCfg.op == GPIO_OP_INPUT_CONFIG) {
    // libgpio makes a pin an input when it is read; report the level it reads.
    g_gpioCfg.data = gpio_read((int)g_gpioCfg.id);
    printf("GPIO input config:%d %d\n", (int)g_gpioCfg.id, g_gpioCfg.data);
    gpio_close();
    return 0;
  }
  if (gpio_do_rw(&g_gpioCfg) != 0) {
    printf("gpio_do_rw faild!\n");
    return -1;
  }
  printf(g_gpioCfg.op == GPIO_OP_READ ? "GPIO read id = %d, data = %d\n"
                                       : "GPIO write id = %d, data = %d\n",
         (int)g_gpioCfg.id, g_gpioCfg.data);
  gpio_close();
  return 0;
}

static const TestModule gpio_module = {"gpio", MODULE_GPIO, gpio_run, gpio_help, gpio_deinit};
TEST_MODULE_REGISTER(gpio_module)
