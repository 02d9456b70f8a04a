// Host stepper-motor driver: motor positions live in state files under BOARD_SIM_DIR
// ("stepper.pos.<motor>"), so a later run continues where an earlier one stopped.
// The P-iris is slow: after a duty change it answers busy to the next few polls.
// Writing a non-zero "stepper.fault" makes every run fail and keeps the P-iris busy,
// as a jammed motor would.
#include "stepper.h"

#include <stdio.h>

#include "board_sim.h"

// Polls of STEPPER_check_busy(STEPPER_PIRIS) that answer busy after a duty change.
static const int kPirisBusyPolls = 3;

static const uint32_t kMaxSteps[] = {STEPPER_FOCUS_MAX_STEPS, STEPPER_ZOOM_MAX_STEPS,
                                     STEPPER_PIRIS_MAX_STEPS};

static void position_name(uint32_t motor, char *name, size_t len) {
  snprintf(name, len, "stepper.pos.%u", motor);
}

int STEPPER_run(StepperRequest *request) {
  if (!request) {
    board_trace("STEPPER_run");
    return -1;
  }
  board_trace("STEPPER_run", request->type, request->direction, request->steps,
              request->reserved);
  if (request->type > STEPPER_PIRIS) return -1;
  if (board_state_get_int("stepper.fault", 0) != 0) return -1;
  char name[32];
  position_name(request->type, name, sizeof name);
  long long pos = board_state_get_int(name, 0);
  long long delta = (request->direction & 1) ? -(long long)request->steps : request->steps;
  // The motor stops against its end stops.
  pos += delta;
  if (pos < 0) pos = 0;
  if (pos > kMaxSteps[request->type]) pos = kMaxSteps[request->type];
  return board_state_set_int(name, pos) == 0 ? 0 : -1;
}

int STEPPER_check_busy(int motor) {
  board_trace("STEPPER_check_busy", motor);
  if (motor != STEPPER_PIRIS) return 0;
  if (board_state_get_int("stepper.fault", 0) != 0) return 1;  // jammed: never settles
  long long left = board_state_get_int("stepper.piris.busy", 0);
  if (left <= 0) return 0;
  board_state_set_int("stepper.piris.busy", left - 1);
  return 1;
}

int STEPPER_set_piris_duty(uint32_t duty) {
  board_trace("STEPPER_set_piris_duty", duty);
  if (duty > STEPPER_PIRIS_MAX_DUTY) return -1;
  if (board_state_set_int("stepper.piris.duty", duty) != 0) return -1;
  return board_state_set_int("stepper.piris.busy", kPirisBusyPolls);
}

int STEPPER_close(void) {
  board_trace("STEPPER_close");
  return 0;
}
