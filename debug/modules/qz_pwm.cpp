// pwm: sets or queries one PWM output through libpwm. The last of --channel (read)
// and --duty/--period/--enable (write) decides the operation.
#include <stdlib.h>

#include "module_util.h"
#include "osa.h"
#include "pwm.h"
#include "test.h"


enum { PWM_OP_NONE, PWM_OP_READ, PWM_OP_WRITE };

typedef struct PwmParam {
  int32_t channel;
  int32_t duty;     // tenths of a percent
  int32_t period;
  int32_t enable;   // checked, not passed to the library
} PwmParam;

static PwmParam g_pwmCfg = {0, 500, 100000, 1};

static const ModuleOption g_pwmOptions[] = {
    {"module", required_argument, 'M', "module", "module name: pwm"},
    {"channel", required_argument, 'c', "0~PWM_MAX_CHN", "select pwm channel (default is 0)"},
    {"duty", required_argument, 'd', "1~1000", "specify duty ratio (0.1% ~ 99.9%), (defalut 500)"},
    {"period", required_argument, 'p', "2~12M", "specify period, (defalut 100K)"},
    {"enable", required_argument, 'e', "0~1", "enable switch."},
};

static void pwm_help(void) {
  print_module_usage(MODULE_PWM, g_pwmOptions);
  OSA_printf("\nNotice:\n");
  OSA_printf("\tUse lsmod to make sure pwm module has been installed.\n");
  OSA_printf("\n");
}

static void pwm_deinit(void) { pwm_close(); }

// Returns the operation the options select.
static int pwm_init_param(int argc, char **argv) {
  int op = PWM_OP_NONE;
  optind = 0;
  opterr = 0;
  int c;
  ModuleGetopt options(g_pwmOptions);
  while ((c = options.next(argc, argv)) != -1) {
    switch (c) {
      case 'c':
        g_pwmCfg.channel = module_parse_i32(optarg);
        if (g_pwmCfg.channel < 0) MODULE_OPTION_EXIT(pwm_help, 112, "Error pwm channel\n");
        op = PWM_OP_READ;
        break;
      case 'd':
        g_pwmCfg.duty = module_parse_i32(optarg);
        if (g_pwmCfg.duty <= 0) MODULE_OPTION_EXIT(pwm_help, 123, "Error pwm duty\n");
        op = PWM_OP_WRITE;
        break;
      case 'p':
        g_pwmCfg.period = module_parse_i32(optarg);
        if (g_pwmCfg.period <= 0) MODULE_OPTION_EXIT(pwm_help, 134, "Error pwm period\n");
        op = PWM_OP_WRITE;
        break;
      case 'e':
        g_pwmCfg.enable = module_parse_i32(optarg);
        if (g_pwmCfg.enable != 0 && g_pwmCfg.enable != 1)
          MODULE_OPTION_EXIT(pwm_help, 145, "Error pwm period, must be [0-1]\n");
        op = PWM_OP_WRITE;
        break;
      default:
        MODULE_OPTION_EXIT(pwm_help, 151, "Unknow option\n");
    }
  }
  return op;
}

static int pwm_run(int argc, char **argv) {
  if (argc < 3) {
    pwm_help();
    return -1;
  }
  int op = pwm_init_param(argc, argv);
  if (op == PWM_OP_READ) pwm_read(g_pwmCfg.channel);
  if (op == PWM_OP_WRITE) pwm_write(g_pwmCfg.channel, g_pwmCfg.period, g_pwmCfg.duty);
  return 0;
}

static const TestModule pwm_module = {"pwm", MODULE_PWM, pwm_run, pwm_help, pwm_deinit};
TEST_MODULE_REGISTER(pwm_module)
