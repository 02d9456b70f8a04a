// `ptz`: drives an external PTZ head over RS-485: one movement or function for a fixed
// time, the full test sequence, and preset positions.
#include <stdlib.h>

#include "module_util.h"
#include "osa.h"
#include "qzptz.h"
#include "test.h"

// --testall; the action of a run without movement options.
#define PTZ_TEST_SEQUENCE 115

static const struct option g_ptzOptions[] = {
    {"module", required_argument, nullptr, 'M'},
    {"delay", required_argument, nullptr, 'd'},
    {"speed", required_argument, nullptr, 'S'},
    {"baudrate", required_argument, nullptr, 'B'},
    {"protocol", required_argument, nullptr, 'P'},
    {"spreset", required_argument, nullptr, 's'},
    {"cpreset", required_argument, nullptr, 'c'},
    {"gpreset", required_argument, nullptr, 'g'},
    {"testall", no_argument, nullptr, 't'},
    // Movements: the value is the action code.
    {"up", no_argument, nullptr, PT_UP},
    {"upleft", no_argument, nullptr, PT_UPLEFT},
    {"upright", no_argument, nullptr, PT_UPRIGHT},
    {"down", no_argument, nullptr, PT_DOWN},
    {"downleft", no_argument, nullptr, PT_DOWNLEFT},
    {"downright", no_argument, nullptr, PT_DOWNRIGHT},
    {"auto", no_argument, nullptr, PT_AUTO_SCAN},
    {"stop", no_argument, nullptr, PT_STOP},
    {"zoomin", no_argument, nullptr, PT_ZOOM_IN},
    {"zoomout", no_argument, nullptr, PT_ZOOM_OUT},
    {"irisin", no_argument, nullptr, PT_IRIS_IN},
    {"irisout", no_argument, nullptr, PT_IRIS_OUT},
    {"focusin", no_argument, nullptr, PT_FOCUS_IN},
    {"focusout", no_argument, nullptr, PT_FOCUS_OUT},
    {"autofocus", no_argument, nullptr, PT_AUTO_FOCUS},
    {"rstfocus", no_argument, nullptr, PT_RESET_FOCUS},
    {"lightoff", no_argument, nullptr, PT_LIGHT_OFF},
    {"lighton", no_argument, nullptr, PT_LIGHT_ON},
    {"brushoff", no_argument, nullptr, PT_BRUSH_OFF},
    {"brushon", no_argument, nullptr, PT_BRUSH_ON},
    {nullptr, 0, nullptr, 0},
};
static const char kPtzShortOptions[] = "M:d:S:B:P:s:c:g:t";
// The light and brush texts read the other way round; scripts match them as printed.
static const OptionHelp g_ptzHelps[] = {
    {"module", "module name: ptz"},
    {"digit", "Set ptz run delay [n]s, default [5]s"},
    {"digit", "Set ptz speed percentage[0 - 100] default 50"},
    {"digit", "Set rs485 baudrate default[9600] [2400 4800 9600 19200]"},
    {"digit", "Set ptz protocol default[0], 0: PELCO_D, 1: PELCO_P"},
    {"digit", "Set ptz preset position"},
    {"digit", "Clean ptz preset position"},
    {"digit", "Goto ptz preset position"},
    {"", "PTZ test all function, default will test all"},
    {"", "PTZ run top"},
    {"", "PTZ run top left"},
    {"", "PTZ run top right"},
    {"", "PTZ run bottom "},
    {"", "PTZ run bottom left"},
    {"", "PTZ run bottom right"},
    {"", "PTZ run auto scanning"},
    {"", "PTZ stop running all"},
    {"", "PTZ run zoom in"},
    {"", "PTZ run zoom out"},
    {"", "PTZ run iris in"},
    {"", "PTZ run iris out"},
    {"", "PTZ run focus in"},
    {"", "PTZ run focus out"},
    {"", "PTZ run auto focus"},
    {"", "PTZ run reset focus"},
    {"", "PTZ run light on"},
    {"", "PTZ run light off"},
    {"", "PTZ run brush on"},
    {"", "PTZ run brush off"},
};
MODULE_OPTION_ROWS(kPtzOptionRows, g_ptzOptions, g_ptzHelps);

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
  print_module_usage(MODULE_PTZ, g_ptzOptions, g_ptzHelps, kPtzOptionRows);
}

static void ptz_init_param(int argc, char **argv) {
  optind = 1;
  int opt;
  while ((opt = getopt_long(argc, argv, kPtzShortOptions, g_ptzOptions, nullptr)) != -1) {
    switch (opt) {
      case 'M':
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
