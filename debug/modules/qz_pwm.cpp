// pwm: sets or queries one PWM output through libpwm. The last of --channel (read)
// and --duty/--period/--enable (write) decides the operation.
#include <stdlib.h>

#include "module_util.h"
#include "osa.h"
#include "pwm.h"
#include "test.h"

#define PWM_MODULE_ID 4

enum { PWM_OP_NONE, PWM_OP_READ, PWM_OP_WRITE };

typedef struct PwmParam {
  int32_t channel;
  int32_t duty;     // tenths of a percent
  int32_t period;
  int32_t enable;   // checked, not passed to the library
} PwmParam;

static PwmParam g_pwmParam = {0, 500, 100000, 1};

static const struct option g_pwmOptions[] = {
    {"module", required_argument, nullptr, 'M'},
    {"channel", required_argument, nullptr, 'c'},
    {"duty", required_argument, nullptr, 'd'},
    {"period", required_argument, nullptr, 'p'},
    {"enable", required_argument, nullptr, 'e'},
    {nullptr, 0, nullptr, 0},
};
static const OptionHelp g_pwmHelps[] = {
    {"module", "module name: pwm"},
    {"0~PWM_MAX_CHN", "select pwm channel (default is 0)"},
    {"1~1000", "specify duty ratio (0.1% ~ 99.9%), (defalut 500)"},
    {"2~12M", "specify period, (defalut 100K)"},
    {"0~1", "enable switch."},
};
static const int kPwmOptionRows = sizeof g_pwmHelps / sizeof g_pwmHelps[0];
static_assert(sizeof g_pwmOptions / sizeof g_pwmOptions[0] == kPwmOptionRows + 1,
              "one help row per option");

static void pwm_help(void) {
  print_module_usage(PWM_MODULE_ID, g_pwmOptions, g_pwmHelps, kPwmOptionRows);
  OSA_printf("\nNotice:\n");
  OSA_printf("\tUse lsmod to make sure pwm module has been installed.\n");
  OSA_printf("\n");
}

static void pwm_deinit(void) { pwm_close(); }

static void pwm_option_error(int line, const char *message) {
  OSA_error("qz_pwm", "pwm_init_param", line, "%s", message);
  pwm_help();
  exit(-1);
}

// Returns the operation the options select.
static int pwm_init_param(int argc, char **argv) {
  int op = PWM_OP_NONE;
  optind = 0;
  opterr = 0;
  int c;
  while ((c = getopt_long(argc, argv, "M:c:d:p:e:", g_pwmOptions, nullptr)) != -1) {
    switch (c) {
      case 'M':
        break;
      case 'c':
        g_pwmParam.channel = module_parse_decimal(optarg);
        if (g_pwmParam.channel < 0) pwm_option_error(112, "Error pwm channel\n");
        op = PWM_OP_READ;
        break;
      case 'd':
        g_pwmParam.duty = module_parse_decimal(optarg);
        if (g_pwmParam.duty <= 0) pwm_option_error(123, "Error pwm duty\n");
        op = PWM_OP_WRITE;
        break;
      case 'p':
        g_pwmParam.period = module_parse_decimal(optarg);
        if (g_pwmParam.period <= 0) pwm_option_error(134, "Error pwm period\n");
        op = PWM_OP_WRITE;
        break;
      case 'e':
        g_pwmParam.enable = module_parse_decimal(optarg);
        if (g_pwmParam.enable != 0 && g_pwmParam.enable != 1)
          pwm_option_error(145, "Error pwm period, must be [0-1]\n");
        op = PWM_OP_WRITE;
        break;
      default:
        pwm_option_error(151, "Unknow option\n");
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
  if (op == PWM_OP_READ) pwm_read(g_pwmParam.channel);
  if (op == PWM_OP_WRITE) pwm_write(g_pwmParam.channel, g_pwmParam.period, g_pwmParam.duty);
  return 0;
}

static const TestModule pwm_module = {"pwm", PWM_MODULE_ID, pwm_run, pwm_help, pwm_deinit};
TEST_MODULE_REGISTER(pwm_module)
