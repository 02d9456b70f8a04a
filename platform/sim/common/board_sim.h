// Helpers shared by the simulated board libraries.
//
// Every board call appends one line to the file named by BOARD_SIM_TRACE (when set):
// the function name and its arguments in decimal, blank-separated. Libraries keep
// their state in small files under BOARD_SIM_DIR (default /tmp/board) so that a later
// run of a program sees what an earlier one set.
#pragma once

#include <stddef.h>

// Appends "<fn> <arg> <arg> ...\n" to the trace file; does nothing when
// BOARD_SIM_TRACE is unset. The line is written with one append so that lines from
// several processes never interleave.
void board_trace_list(const char *fn, const long long *args, int nargs);

// board_trace("pwm_write", ch, period, duty): any integer arguments.
template <typename... Args>
inline void board_trace(const char *fn, Args... args) {
  const long long values[] = {0, static_cast<long long>(args)...};
  board_trace_list(fn, values + 1, static_cast<int>(sizeof...(Args)));
}

// Full path of a state file: BOARD_SIM_DIR + "/" + name. Creates the folder.
// Returns 0, or -1 if the path does not fit.
int board_state_path(const char *name, char *out, size_t outLen);

// Reads a whole state file into buf (at most len bytes). Returns bytes read, or -1
// when the file does not exist.
long board_state_read(const char *name, void *buf, size_t len);
// Replaces a state file atomically (write to a temporary file, then rename), so a
// crash never leaves a half-written state. Returns 0 or -1.
int board_state_write(const char *name, const void *buf, size_t len);

// Integer state kept as decimal text: reads the value, or returns dflt if absent.
long long board_state_get_int(const char *name, long long dflt);
int board_state_set_int(const char *name, long long value);
