// `motor`: moves one lens stepper motor (focus, zoom, P-iris) and sets the P-iris duty.
#include <stdlib.h>
#include <string.h>

#include "module_util.h"
#include "osa.h"
#include "stepper.h"
#include "test.h"


static const ModuleOption g_motorOptions[] = {
    {"module", required_argument, 'M', "module", "module name: motor"},
    {"type", required_argument, 't', "digit", "motor type, default[0]:focus"},
    {"dir", required_argument, 'd', "digit",
     "motor directory, default[0]:forward , value[0:forward]"},
    {"step", required_argument, 's', "digit", "motor run steps, default[10]"},
    {"init", required_argument, 'i', "digit", "motor initial"},
    {"piris", required_argument, 'p', "digit", "P-iris target duty"},
};

static StepperRequest g_motorCfg = {STEPPER_FOCUS, 0, 10, 0};

static void motor_help(void) {
  print_module_usage(MODULE_MOTOR, g_motorOptions);
  OSA_printf("MOTOR arguments: \n");
  OSA_printf("type:\n");
  OSA_printf("    [0]: focus, [1]: zoom, [2]: p-iris\n");
  OSA_printf("dir:\n");
  OSA_printf("    [0]: forward, [1]: back \n");
  OSA_printf("step:\n");
  OSA_printf("    motor run steps\n");
  OSA_printf("    For zoom: max steps = %u\n", STEPPER_ZOOM_MAX_STEPS);
  OSA_printf("    For focus: max steps = %u\n", STEPPER_FOCUS_MAX_STEPS);
  OSA_printf("    For piris: max steps = %u\n", STEPPER_PIRIS_MAX_STEPS);
  OSA_printf("piris:\n");
  OSA_printf("    motor set p-iris duty[0-%u].\n", STEPPER_PIRIS_MAX_DUTY);
  OSA_printf("\n");
}

// The P-iris moves on its own after a duty change; wait until it is idle. A P-iris
// that never settles would hold the tool forever, so a stop request ends the wait.
static void motor_set_piris(uint32_t duty) {
  STEPPER_set_piris_duty(duty);
  do {
    OSA_sleepMs(5);
  } while (STEPPER_check_busy(STEPPER_PIRIS) && !test_stop_requested());
}

static void motor_init_param(int argc, char **argv) {
  optind = 1;
  int opt;
  ModuleGetopt options(g_motorOptions);
  while ((opt = options.next(argc, argv)) != -1) {
    switch (opt) {
      case 't':
        g_motorCfg.type = module_parse_u32(optarg);
        if (g_motorCfg.type > STEPPER_PIRIS)
          MODULE_OPTION_EXIT(motor_help, __LINE__, "Error motor type!\n");
        break;
      case 'd':
        g_motorCfg.direction = module_parse_u32(optarg);
        if (g_motorCfg.direction > 3)
          MODULE_OPTION_EXIT(motor_help, __LINE__, "Error motor directory!\n");
        break;
      case 's':
        g_motorCfg.steps = module_parse_u32(optarg);
        break;
      case 'p': {
        uint32_t duty = module_parse_u32(optarg);
        if (duty > STEPPER_PIRIS_MAX_DUTY)
          MODULE_OPTION_EXIT(motor_help, __LINE__, "Error P-iris duty!\n");
        motor_set_piris(duty);
        break;
      }
      case 'i':
        break;
      default:
        MODULE_OPTION_EXIT(motor_help, __LINE__, "Unknow option\n");
    }
  }
}

static int motor_test_main(void) {
  // Stopped while waiting for the P-iris: the user no longer wants the move.
  if (test_stop_requested()) {
    STEPPER_close();
    return 0;
  }
  if (STEPPER_run(&g_motorCfg) != 0)
    MODULE_ERROR(__LINE__, "STEPPER_run failed! \n");
  STEPPER_close();
  return 0;
}

static int motor_run(int argc, char **argv) {
  motor_init_param(argc, argv);
  return motor_test_main();
}

static const TestModule motor_module = {"motor", MODULE_MOTOR, motor_run, motor_help, nullptr};
TEST_MODULE_REGISTER(motor_module)
