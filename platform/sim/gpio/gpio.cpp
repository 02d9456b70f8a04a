// Host GPIO library: each pin's level is a state file "gpio.<id>" under BOARD_SIM_DIR
// (absent = 0), so a pin written high by one run reads high in the next.
#include "gpio.h"

#include <stdio.h>

#include "board_sim.h"

// Pin assignments of the simulated board.
ExtGpio extGpio = {
    /* systemReset */ 0,
    /* ledStatus */ 12,
    /* ledNetwork */ 13,
    /* irLed */ 36,
    /* irCut */ 37,
    /* alarmIn */ 40,
    /* alarmOut */ 41,
    /* wifiPower */ 55,
    /* reserved */ {},
};

static void pin_state_name(int id, char *name, size_t len) {
  snprintf(name, len, "gpio.%d", id);
}

int gpio_read(int id) {
  board_trace("gpio_read", id);
  if (id < 0 || id >= GPIO_PIN_COUNT) return -1;
  char name[32];
  pin_state_name(id, name, sizeof name);
  return board_state_get_int(name, 0) ? 1 : 0;
}

int gpio_write(int id, int value) {
  board_trace("gpio_write", id, value);
  if (id < 0 || id >= GPIO_PIN_COUNT || (value != 0 && value != 1)) return -1;
  char name[32];
  pin_state_name(id, name, sizeof name);
  return board_state_set_int(name, value);
}

int gpio_close(void) {
  board_trace("gpio_close");
  return 0;
}
