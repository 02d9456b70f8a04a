// `ptz`: drives an external PTZ head over RS-485: one movement or function for a fixed
// time, the full test sequence, and preset positions.
#include <stdlib.h>

#include "module_util.h"
#include "osa.h"
#include "qzptz.h"
#include "test.h"

// --testall; the action of a run without movement options.
#define PTZ_TEST_SEQUENCE 115

// The light and brush texts read the other way round; scripts match them as printed.
static const ModuleOption g_ptzOptions[] = {
    {"module", required_argument, 'M', "module", "module name: ptz"},
    {"delay", required_argument, 'd', "digit", "Set ptz run delay [n]s, default [5]s"},
    {"speed", required_argument, 'S', "digit", "Set ptz speed percentage[0 - 100] default 50"},
    {"baudrate", required_argument, 'B', "digit",
     "Set rs485 baudrate default[9600] [2400 4800 9600 19200]"},
    {"protocol", required_argument, 'P', "digit",
     "Set ptz protocol default[0], 0: PELCO_D, 1: PELCO_P"},
    {"spreset", required_argument, 's', "digit", "Set ptz preset position"},
    {"cpreset", required_argument, 'c', "digit", "Clean ptz preset position"},
    {"gpreset", required_argument, 'g', "digit", "Goto ptz preset position"},
    {"testall", no_argument, 't', "", "PTZ test all function, default will test all"},
    // Movements: the value is the action code.
    {"up", no_argument, PT_UP, "", "PTZ run top"},
    {"upleft", no_argument, PT_UPLEFT, "", "PTZ run top left"},
    {"upright", no_argument, PT_UPRIGHT, "", "PTZ run top right"},
    {"down", no_argument, PT_DOWN, "", "PTZ run bottom "},
    {"downleft", no_argument, PT_DOWNLEFT, "", "PTZ run bottom left"},
    {"downright", no_argument, PT_DOWNRIGHT, "", "PTZ run bottom right"},
    {"auto", no_argument, PT_AUTO_SCAN, "", "PTZ run auto scanning"},
    {"stop", no_argument, PT_STOP, "", "PTZ stop running all"},
    {"zoomin", no_argument, PT_ZOOM_IN, "", "PTZ run zoom in"},
    {"zoomout", no_argument, PT_ZOOM_OUT, "", "PTZ run zoom out"},
    {"irisin", no_argument, PT_IRIS_IN, "", "PTZ run iris in"},
    {"irisout", no_argument, PT_IRIS_OUT, "", "PTZ run iris out"},
    {"focusin", no_argument, PT_FOCUS_IN, "", "PTZ run focus in"},
    {"focusout", no_argument, PT_FOCUS_OUT, "", "PTZ run focus out"},
    {"autofocus", no_argument, PT_AUTO_FOCUS, "", "PTZ run auto focus"},
    {"rstfocus", no_argument, PT_RESET_FOCUS, "", "PTZ run reset focus"},
    {"lightoff", no_argument, PT_LIGHT_OFF, "", "PTZ run light on"},
    {"lighton", no_argument, PT_LIGHT_ON, "", "PTZ run light off"},
    {"brushoff", no_argument, PT_BRUSH_OFF, "", "PTZ run brush on"},
    {"brushon", no_argument, PT_BRUSH_ON, "", "PTZ run brush off"},
};

static struct {
  int32_t action;
  uint32_t baudrate;
  uint32_t protocol;  // 0 PELCO_D, 1 PELCO_P
  uint32_t speed1, speed2;
  uint32_t runSeconds;
} g_ptzCfg = {PTZ_TEST_SEQUENCE, 9600, 0, 38, 38, 50};

static const int32_t ptz_sequence[] = {PT_UP,       PT_DOWN,     PT_UP,        PT_LEFT,
                                       PT_RIGHT,    PT_LEFT,     PT_UPRIGHT,   PT_DOWNRIGHT,
                                       PT_UPLEFT,   PT_DOWNLEFT, PT_LIGHT_ON,  PT_LIGHT_OFF,
                                       PT_BRUSH_ON, PT_BRUSH_OFF};
static const uint32_t ptz_auto_scan_seconds = 15;

static void ptz_help(void) {
  print_module_usage(MODULE_PTZ, g_ptzOptions);
}

static void ptz_init_param(int argc, char **argv) {
  optind = 1;
  int opt;
  ModuleGetopt options(g_ptzOptions);
  while ((opt = options.next(argc, argv)) != -1) {
    switch (opt) {
      case 'd':
        break;
      case 'S': {
        uint32_t speed = module_parse_u32(optarg);
        if (speed > 9) MODULE_OPTION_EXIT(ptz_help, __LINE__, "Error speed!\r\n");
        g_ptzCfg.speed1 = g_ptzCfg.speed2 = speed + 1;
        break;
      }
      case 'B': {
        uint32_t baud = module_parse_u32(optarg);
        if (baud != 2400 && baud != 4800 && baud != 9600 && baud != 19200)
          MODULE_OPTION_EXIT(ptz_help, __LINE__, "Error baudrate!\r\n");
        g_ptzCfg.baudrate = baud;
        break;
      }
      case 'P': {
        uint32_t protocol = module_parse_u32(optarg);
        if (protocol > 1) MODULE_OPTION_EXIT(ptz_help, __LINE__, "Error procotol\r\n");
        g_ptzCfg.protocol = protocol;
        break;
      }
      case 's': pt_set_preset(module_parse_u32(optarg)); break;
      case 'c': pt_remove_preset(module_parse_u32(optarg)); break;
      case 'g': pt_go_preset(module_parse_u32(optarg)); break;
      case 't': g_ptzCfg.action = PTZ_TEST_SEQUENCE; break;
      case PT_UP: case PT_DOWN: case PT_UPLEFT: case PT_DOWNRIGHT: case PT_DOWNLEFT:
      case PT_UPRIGHT: case PT_IRIS_IN: case PT_IRIS_OUT: case PT_ZOOM_IN: case PT_ZOOM_OUT:
      case PT_FOCUS_IN: case PT_FOCUS_OUT: case PT_AUTO_FOCUS: case PT_RESET_FOCUS:
      case PT_AUTO_SCAN: case PT_LIGHT_ON: case PT_LIGHT_OFF: case PT_BRUSH_ON:
      case PT_BRUSH_OFF: case PT_STOP:
        g_ptzCfg.action = opt;
        break;
      default:
        MODULE_OPTION_EXIT(ptz_help, __LINE__, "Unknow option\n");
    }
  }
}

// Waits `seconds` in one-second sleeps, looking at the stop flag around each.
// Returns non-zero when the user asked to stop.
static int ptz_wait(uint32_t seconds) {
  if (seconds == 0) return 0;
  for (uint32_t i = 0; i < seconds; i++) {
    if (test_stop_requested()) return 1;
    OSA_sleepMs(1000);
  }
  return test_stop_requested();
}

static void ptz_run_sequence(void) {
  for (int32_t action : ptz_sequence) {
    pt_run(action);
    if (ptz_wait(g_ptzCfg.runSeconds)) return;
  }
  pt_run(PT_AUTO_SCAN);
  ptz_wait(ptz_auto_scan_seconds);
}

static int ptz_run(int argc, char **argv) {
  pt_set_speed(g_ptzCfg.speed1, g_ptzCfg.speed2);
  ptz_init_param(argc, argv);
  if (g_ptzCfg.action == PTZ_TEST_SEQUENCE) {
    ptz_run_sequence();
  } else {
    pt_run(g_ptzCfg.action);
    ptz_wait(g_ptzCfg.runSeconds);
  }
  pt_tty_deinit(1);
  return 0;
}

static const TestModule ptz_module = {"ptz", MODULE_PTZ, ptz_run, ptz_help, nullptr};
TEST_MODULE_REGISTER(ptz_module)
