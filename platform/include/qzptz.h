// PTZ head on the RS-485 line (libqzptz): PELCO-D / PELCO-P.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Actions of pt_run.
enum {
  PT_UP = 0, PT_DOWN = 1, PT_LEFT = 2, PT_RIGHT = 3,
  PT_UPLEFT = 4, PT_DOWNRIGHT = 5, PT_DOWNLEFT = 6, PT_UPRIGHT = 7,
  PT_IRIS_IN = 8, PT_IRIS_OUT = 9, PT_ZOOM_IN = 10, PT_ZOOM_OUT = 11,
  PT_FOCUS_IN = 14, PT_FOCUS_OUT = 15, PT_AUTO_FOCUS = 17, PT_RESET_FOCUS = 18,
  PT_AUTO_SCAN = 21, PT_LIGHT_ON = 27, PT_LIGHT_OFF = 28, PT_BRUSH_ON = 29,
  PT_BRUSH_OFF = 30, PT_STOP = 32,
};

// Pan and tilt speeds of the following movements.
int pt_set_speed(uint32_t pan, uint32_t tilt);
int pt_set_preset(uint32_t preset);
int pt_remove_preset(uint32_t preset);
int pt_go_preset(uint32_t preset);
// Starts an action and returns at once; the head carries on until the next call.
int pt_run(int32_t action);
// Closes the serial line (`stop` non-zero: stop the head first).
int pt_tty_deinit(int32_t stop);

// The pan-tilt head controller (a process of its own) takes one command at a time from
// a System V shared memory segment holding this record.
#define PT_SHM_KEY 7765432
#define PT_SHM_SIZE 52

typedef struct PanTiltCmd {
  uint32_t pending;    // 1 when the record holds a command
  uint32_t reserved;
  uint32_t command;    // one ASCII letter
  int32_t param[5];    // param[0] is the sub-command of command 'm'
  uint32_t spare[5];
} PanTiltCmd;

#ifdef __cplusplus
}
static_assert(sizeof(PanTiltCmd) == PT_SHM_SIZE, "PanTiltCmd size");
static_assert(offsetof(PanTiltCmd, command) == 8 && offsetof(PanTiltCmd, param) == 12 &&
                  offsetof(PanTiltCmd, spare) == 32,
              "PanTiltCmd layout");
#endif
