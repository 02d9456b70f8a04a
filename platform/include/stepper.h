// Lens stepper-motor driver (focus, zoom and P-iris motors).
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define STEPPER_FOCUS 0
#define STEPPER_ZOOM 1
#define STEPPER_PIRIS 2

#define STEPPER_ZOOM_MAX_STEPS 2768
#define STEPPER_FOCUS_MAX_STEPS 6764
#define STEPPER_PIRIS_MAX_STEPS 184
#define STEPPER_PIRIS_MAX_DUTY 184

// One move, passed by address.
typedef struct StepperRequest {
  uint32_t type;       // STEPPER_FOCUS, STEPPER_ZOOM or STEPPER_PIRIS
  uint32_t direction;  // 0 forward, 1 back (2 and 3: the same, bit 0 decides)
  uint32_t steps;
  int32_t reserved;
} StepperRequest;

// Performs the move and returns when it is done: 0, or non-zero on failure.
int STEPPER_run(StepperRequest *request);
// Non-zero while `motor` is still moving, 0 when it is idle.
int STEPPER_check_busy(int motor);
// Starts moving the P-iris to `duty` (0..STEPPER_PIRIS_MAX_DUTY); 0 or -1.
int STEPPER_set_piris_duty(uint32_t duty);
// Releases the driver.
int STEPPER_close(void);

#ifdef __cplusplus
}
static_assert(sizeof(StepperRequest) == 16, "StepperRequest size");
static_assert(offsetof(StepperRequest, direction) == 4 && offsetof(StepperRequest, steps) == 8,
              "StepperRequest layout");
#endif
