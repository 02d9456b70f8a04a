// The board's PWM library (libpwm).
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Channels the board has: 0 .. PWM_MAX_CHN.
#define PWM_MAX_CHN 3

// Reports the channel's current setting on standard output and returns its duty
// (tenths of a percent), or -1 for a channel the board does not have.
int pwm_read(int channel);
// Sets period and duty (tenths of a percent, 1 to 1000) of the channel and starts it.
// Returns 0, or -1 when the channel or a value is out of range (nothing changes).
int pwm_write(int channel, int period, int duty);
// Releases the library; safe to call more than once.
int pwm_close(void);

#ifdef __cplusplus
}
#endif
