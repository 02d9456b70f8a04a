// `pt`: composes one command for the pan-tilt head controller and hands it over in
// the controller's System V shared memory segment.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include "module_util.h"
#include "osa.h"
#include "qzptz.h"
#include "test.h"

// Bit of a step count that carries its direction.
#define PT_STEP_DIR_BIT 0x800000u

static const ModuleOption g_ptOptions[] = {
    {"module", required_argument, 'M', "module", "module name: pt"},
    {"titl_i", required_argument, 'w', "0~31", "0 is min   ,31is max"},
    {"pan_i", required_argument, 'q', "0~31", "0 is min   ,31is max"},
    {"heat", required_argument, 'a', "0~1", "0 is close ,1 is open default:0"},
    {"fan", required_argument, 'f', "0~1", "0 is close ,1 is open default:0"},
    {"defog", required_argument, 'd', "0~1", "0 is close ,1 is open default:0"},
    {"temp", required_argument, 'c', "0~10000", "the time_cnt for printf temp(1s)"},
    {"pan_param", required_argument, 'p', "0~10000", "the pan_step will be set default:0"},
    {"tilt_param", required_argument, 't', "0~10000", "the tilt_step will be set default:0"},
    {"set_step", required_argument, 's', "00~11",
     "XY == (X=P_dir Y=T_dir) set dir and start run step"},
    {"query_info", required_argument, 'i', "1~10",
     "1==(version) 2==(oc_off) 3 = (oc_value) 4==(temp_Info)"},
    {"set_corrent", required_argument, 'o', "0~1", "0 = open 1= close"},
    {"set_temp_ctl", required_argument, 'e', "0~1", "0 = open 1= close"},
    {"set_heat_open_value", required_argument, 'l', "0~50", "default(28)"},
    {"set_heat_close_value", required_argument, 'r', "0~50", "default(30)"},
    {"set_fan_open_value", required_argument, 'u', "0~100",
     "real value need cut off 50 ; default(-5)"},
    {"set_fan_close_value", required_argument, 'n', "0~100",
     "real value need cut off 50 ; default(-8)"},
    {"set_current_up_value", required_argument, 'g', "0~100",
     "real value need cut off 50 ; default(-5)"},
    {"set_current_down_value", required_argument, 'k', "0~100",
     "real value need cut off 50 ; default(-10)"},
    {"set pwm_run", required_argument, 'b', "1200~2000", "set electric,current running"},
    {"set pwm_idle", required_argument, 'j', "1200~2000", "set electric,current idle"},
    {"set obj_dis", required_argument, 'x', "0~10000", "set image_dis"},
    {"set image_dis", required_argument, 'y', "1200~2000", "setobj_dis"},
    {"query_wiper_info", required_argument, 'W', "0-1", "set test wiegand mode"},
    // From here on the options have no help text.
    {"calibration xk300_optical_sys", required_argument, 'O', "", ""},
    {"query_wiper_ver", required_argument, 'V', "", ""},
    {"query_wiper_sensor_vsn", required_argument, 'P', "", ""},
    {"set LIGHT1", required_argument, 'F', "", ""},
    {"set LIGHT2", required_argument, 'L', "", ""},
    {"SELECT HAVE OR NONE ENDLINE", required_argument, 'E', "", ""},
    {"set wie HID", required_argument, 'G', "", ""},
    {"set wie PID", required_argument, 'Y', "", ""},
    {"set ext LIGHT", required_argument, 'T', "", ""},
    {"test wiegand mode", required_argument, 'R', "", ""},
    {"control motor run step", required_argument, 'm', "", ""},
    {"test rs485", required_argument, 'A', "", ""},
};
// Not derived from the rows: G and Y are long-only, and -z has no long name.
static const char kPtShortOptions[] =
    "M:w:q:a:f:d:c:p:t:s:i:o:e:l:r:u:n:g:k:b:j:x:y:W:O:V:P:F:L:E:T:R:z:m:A:";

// The command being composed and what the options gathered for the steps after parsing.
static PanTiltCmd g_ptCmd;
static struct {
  uint32_t panSteps, tiltSteps;
  int32_t stepCode;  // -1: no step run asked for
  int32_t pwmRun, pwmIdle;
  int heatPair, fanPair, currentPair, lightPair, wiegandPair;
} g_ptState;

static void pt_help(void) {
  print_module_usage(MODULE_PT, g_ptOptions);
}

static void pt_command(char command, int32_t param1) {
  g_ptCmd.pending = 1;
  g_ptCmd.reserved = 0;
  g_ptCmd.command = (uint32_t)command;
  g_ptCmd.param[0] = param1;
}

// The sub-commands of command 'm'.
enum { PT_SET_CURRENT = 1, PT_SET_TEMP_CTL = 3, PT_SET_PWM = 4, PT_SET_HEAT = 5, PT_SET_FAN = 6,
       PT_SET_CURRENT_LIMITS = 7 };

static void pt_init_param(int argc, char **argv) {
  optind = 1;
  opterr = 0;
  int opt;
  ModuleGetopt options(g_ptOptions, kPtShortOptions);
  while ((opt = options.next(argc, argv)) != -1) {
    int32_t value = optarg ? module_parse_i32(optarg) : 0;
    switch (opt) {
      case 'w':
        pt_command('o', value);
        OSA_printf("\n current of tile_motor=%d \n", value);
        break;
      case 'q':
        pt_command('n', value);
        OSA_printf("\n current of pan_motor=%d \n", value);
        break;
      case 'a': pt_command('e', value); break;
      case 'f': pt_command('d', value); break;
      case 'd': pt_command('f', value); break;
      case 'c': pt_command('g', value); break;
      case 'p': g_ptState.panSteps = (uint32_t)value; break;
      case 't': g_ptState.tiltSteps = (uint32_t)value; break;
      case 's': g_ptState.stepCode = value; break;
      case 'i': pt_command('k', value); break;
      case 'o': pt_command('m', PT_SET_CURRENT); g_ptCmd.param[1] = value; break;
      case 'e': pt_command('m', PT_SET_TEMP_CTL); g_ptCmd.param[1] = value; break;
      case 'l': g_ptCmd.param[1] = value; g_ptState.heatPair++; break;
      case 'r': g_ptCmd.param[2] = value; g_ptState.heatPair++; break;
      case 'u': g_ptCmd.param[1] = value; g_ptState.fanPair++; break;
      case 'n': g_ptCmd.param[2] = value; g_ptState.fanPair++; break;
      case 'g': g_ptCmd.param[1] = value; g_ptState.currentPair++; break;
      case 'k': g_ptCmd.param[2] = value; g_ptState.currentPair++; break;
      case 'b': g_ptState.pwmRun = value; break;
      case 'j': g_ptState.pwmIdle = value; break;
      case 'x': pt_command('i', value); break;
      case 'y': pt_command('j', value); break;
      case 'W': pt_command('p', value); break;
      case 'O': pt_command('q', value); break;
      case 'V': pt_command('r', value); break;
      case 'P': pt_command('s', value); break;
      case 'F': g_ptCmd.param[0] = value; g_ptState.lightPair++; break;
      case 'L': g_ptCmd.param[1] = value; g_ptState.lightPair++; break;
      case 'E': pt_command('u', value); break;
      case 'G': g_ptCmd.param[0] = value; g_ptState.wiegandPair++; break;
      case 'Y': g_ptCmd.param[1] = value; g_ptState.wiegandPair++; break;
      case 'T': pt_command('w', value); break;
      case 'R': pt_command('x', value); break;
      case 'z': pt_command('y', value); break;
      case 'A': pt_command('{', value); break;
      case 'm':
        // Only as `debug -M pt -m a b c d`: the value and the three words after it.
        if (argc == 8 && optind + 2 < argc) {
          pt_command('z', value);
          for (int i = 0; i < 3; i++) g_ptCmd.param[1 + i] = module_parse_i32(argv[optind + i]);
        }
        break;
      default:
        MODULE_OPTION_EXIT(pt_help, __LINE__, "Unknow option\n");
    }
  }
}

// The commands that need several options, in a fixed order: each overwrites the
// words an earlier one wrote.
static void pt_apply_combined(void) {
  if (g_ptState.stepCode != -1) {
    int32_t code = g_ptState.stepCode;
    if (code >= 10 || code <= -10) g_ptState.panSteps |= PT_STEP_DIR_BIT;
    if (code % 10 != 0) g_ptState.tiltSteps |= PT_STEP_DIR_BIT;
    pt_command('h', (int32_t)g_ptState.panSteps);
    g_ptCmd.param[1] = (int32_t)g_ptState.tiltSteps;
  }
  if (g_ptState.heatPair == 2) pt_command('m', PT_SET_HEAT);
  if (g_ptState.fanPair == 2) pt_command('m', PT_SET_FAN);
  if (g_ptState.lightPair == 2) {
    g_ptCmd.pending = 1;
    g_ptCmd.reserved = 0;
    g_ptCmd.command = 't';
  }
  if (g_ptState.wiegandPair == 2) {
    g_ptCmd.pending = 1;
    g_ptCmd.reserved = 0;
    g_ptCmd.command = 'v';
  }
  if (g_ptState.currentPair == 2) pt_command('m', PT_SET_CURRENT_LIMITS);
  if (g_ptState.pwmRun != 0 && g_ptState.pwmIdle != 0) {
    pt_command('m', PT_SET_PWM);
    g_ptCmd.param[1] = g_ptState.pwmRun & 0xff;
    g_ptCmd.param[2] = (g_ptState.pwmRun >> 8) & 0xff;
    g_ptCmd.param[3] = g_ptState.pwmIdle & 0xff;
    g_ptCmd.param[4] = (g_ptState.pwmIdle >> 8) & 0xff;
  }
}

static int pt_send(void) {
  int id = module_shm_get(PT_SHM_KEY, sizeof g_ptCmd, IPC_CREAT | 0666);
  if (id < 0) {
    OSA_printf("faild to get shm id==%d\n", id);
    return -1;
  }
  void *segment = module_shm_attach(id);
  if (!segment) return -1;
  memcpy(segment, &g_ptCmd, sizeof g_ptCmd);
  if (shmdt(segment) != 0) {
    perror("detach error");
    return -1;
  }
  return 0;
}

// Not pt_run: that name belongs to the pan-tilt library.
static int pt_test_main(int argc, char **argv) {
  if (argc < 3) {
    pt_help();
    return -1;
  }
  memset(&g_ptCmd, 0, sizeof g_ptCmd);
  memset(&g_ptState, 0, sizeof g_ptState);
  g_ptState.stepCode = -1;
  pt_init_param(argc, argv);
  pt_apply_combined();
  return pt_send();
}

static const TestModule pt_module = {"pt", MODULE_PT, pt_test_main, pt_help, nullptr};
TEST_MODULE_REGISTER(pt_module)
