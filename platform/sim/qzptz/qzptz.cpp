// Host PTZ library: builds the PELCO-D frames (head address 1) that the camera would
// send on its RS-485 line and appends them to the file "ptz.tty" under BOARD_SIM_DIR,
// which stands in for the serial line. Speeds live in "ptz.speed.pan" / "ptz.speed.tilt".
#include "qzptz.h"

#include <fcntl.h>
#include <unistd.h>

#include "board_sim.h"

static const uint8_t kAddress = 1;
static const uint32_t kMaxSpeed = 0x3f;

// PELCO-D command words of the actions that have one.
typedef struct ActionFrame {
  int32_t action;
  uint8_t cmd1, cmd2;
  bool speeds;     // data1/data2 carry pan/tilt speed
  uint8_t data2;   // fixed data2 when there are no speeds
} ActionFrame;

static const ActionFrame kActions[] = {
    {PT_UP, 0x00, 0x08, true, 0},        {PT_DOWN, 0x00, 0x10, true, 0},
    {PT_LEFT, 0x00, 0x04, true, 0},      {PT_RIGHT, 0x00, 0x02, true, 0},
    {PT_UPLEFT, 0x00, 0x0c, true, 0},    {PT_DOWNRIGHT, 0x00, 0x12, true, 0},
    {PT_DOWNLEFT, 0x00, 0x14, true, 0},  {PT_UPRIGHT, 0x00, 0x0a, true, 0},
    {PT_IRIS_IN, 0x04, 0x00, false, 0},  {PT_IRIS_OUT, 0x02, 0x00, false, 0},
    {PT_ZOOM_IN, 0x00, 0x20, false, 0},  {PT_ZOOM_OUT, 0x00, 0x40, false, 0},
    {PT_FOCUS_IN, 0x01, 0x00, false, 0}, {PT_FOCUS_OUT, 0x00, 0x80, false, 0},
    {PT_AUTO_FOCUS, 0x00, 0x2b, false, 0}, {PT_RESET_FOCUS, 0x00, 0x29, false, 0},
    {PT_AUTO_SCAN, 0x00, 0x07, false, 99},  // preset 99: the heads' auto-scan convention
    {PT_LIGHT_ON, 0x00, 0x09, false, 1}, {PT_LIGHT_OFF, 0x00, 0x0b, false, 1},
    {PT_BRUSH_ON, 0x00, 0x09, false, 2}, {PT_BRUSH_OFF, 0x00, 0x0b, false, 2},
    {PT_STOP, 0x00, 0x00, false, 0},
};

static int send_frame(uint8_t cmd1, uint8_t cmd2, uint8_t data1, uint8_t data2) {
  uint8_t frame[7] = {0xff, kAddress, cmd1, cmd2, data1, data2, 0};
  frame[6] = (uint8_t)(kAddress + cmd1 + cmd2 + data1 + data2);
  char path[512];
  if (board_state_path("ptz.tty", path, sizeof path) != 0) return -1;
  int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  ssize_t n = write(fd, frame, sizeof frame);
  close(fd);
  return n == (ssize_t)sizeof frame ? 0 : -1;
}

int pt_set_speed(uint32_t pan, uint32_t tilt) {
  board_trace("pt_set_speed", pan, tilt);
  if (pan > kMaxSpeed) pan = kMaxSpeed;
  if (tilt > kMaxSpeed) tilt = kMaxSpeed;
  if (board_state_set_int("ptz.speed.pan", pan) != 0) return -1;
  return board_state_set_int("ptz.speed.tilt", tilt);
}

static int preset_frame(uint8_t cmd2, uint32_t preset) {
  if (preset > 0xff) return -1;
  return send_frame(0, cmd2, 0, (uint8_t)preset);
}

int pt_set_preset(uint32_t preset) {
  board_trace("pt_set_preset", preset);
  return preset_frame(0x03, preset);
}

int pt_remove_preset(uint32_t preset) {
  board_trace("pt_remove_preset", preset);
  return preset_frame(0x05, preset);
}

int pt_go_preset(uint32_t preset) {
  board_trace("pt_go_preset", preset);
  return preset_frame(0x07, preset);
}

int pt_run(int32_t action) {
  board_trace("pt_run", action);
  for (const ActionFrame &a : kActions) {
    if (a.action != action) continue;
    if (!a.speeds) return send_frame(a.cmd1, a.cmd2, 0, a.data2);
    uint8_t pan = (uint8_t)board_state_get_int("ptz.speed.pan", kMaxSpeed / 2);
    uint8_t tilt = (uint8_t)board_state_get_int("ptz.speed.tilt", kMaxSpeed / 2);
    return send_frame(a.cmd1, a.cmd2, pan, tilt);
  }
  return -1;
}

int pt_tty_deinit(int32_t stop) {
  board_trace("pt_tty_deinit", stop);
  return stop ? send_frame(0, 0, 0, 0) : 0;
}
