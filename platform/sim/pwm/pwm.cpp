// Host PWM library: each channel's setting is a state file "pwm.<channel>" under
// BOARD_SIM_DIR holding "<period> <duty>"; a channel never written reads as stopped
// (period 0, duty 0).
#include "pwm.h"

#include <stdio.h>
#include <string.h>

#include "board_sim.h"

static void channel_state_name(int channel, char *name, size_t len) {
  snprintf(name, len, "pwm.%d", channel);
}

int pwm_read(int channel) {
  board_trace("pwm_read", channel);
  if (channel < 0 || channel > PWM_MAX_CHN) {
    fprintf(stderr, "pwm: no channel %d on this board\n", channel);
    return -1;
  }
  char name[32], text[64];
  channel_state_name(channel, name, sizeof name);
  int period = 0, duty = 0;
  long n = board_state_read(name, text, sizeof text - 1);
  if (n > 0) {
    text[n] = '\0';
    if (sscanf(text, "%d %d", &period, &duty) != 2) period = duty = 0;
  }
  printf("pwm%d: period %d, duty %d\n", channel, period, duty);
  fflush(stdout);
  return duty;
}

int pwm_write(int channel, int period, int duty) {
  board_trace("pwm_write", channel, period, duty);
  if (channel < 0 || channel > PWM_MAX_CHN || period < 2 || period > 12000000 || duty < 1 ||
      duty > 1000)
    return -1;
  char name[32], text[64];
  channel_state_name(channel, name, sizeof name);
  int len = snprintf(text, sizeof text, "%d %d\n", period, duty);
  return board_state_write(name, text, (size_t)len);
}

int pwm_close(void) {
  board_trace("pwm_close");
  return 0;
}
