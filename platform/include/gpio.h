// The board's GPIO library (libgpio): pins numbered by a small integer id.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Pins the library knows: ids 0 .. GPIO_PIN_COUNT-1.
#define GPIO_PIN_COUNT 128

// Returns the level (0 or 1) of the pin, or -1 for an id the board does not have.
int gpio_read(int id);
// Drives the pin to value (0 or 1). Returns 0, or -1 for an unknown id or value.
int gpio_write(int id, int value);
// Releases the library; safe to call more than once.
int gpio_close(void);

// Board pin assignments exported by the library: 68 words of pin ids (272 bytes).
// Programs read single words by position; the fifth word is the IR-cut control line.
typedef struct ExtGpio {
  uint32_t systemReset;     // reset button
  uint32_t ledStatus;       // status LED
  uint32_t ledNetwork;      // network LED
  uint32_t irLed;           // IR LED switch
  uint32_t irCut;           // IR-cut filter control line
  uint32_t alarmIn;         // alarm input
  uint32_t alarmOut;        // alarm relay
  uint32_t wifiPower;       // Wi-Fi module power
  uint32_t reserved[60];    // unassigned on this board
} ExtGpio;

extern ExtGpio extGpio;

#ifdef __cplusplus
}
static_assert(sizeof(ExtGpio) == 272, "extGpio is 272 bytes");
static_assert(offsetof(ExtGpio, irCut) == 16, "IR-cut pin id is the fifth word");
#endif
