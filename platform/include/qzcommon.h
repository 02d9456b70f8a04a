// Logging helpers (libqzcommon).
#pragma once

#include <time.h>

#ifdef __cplusplus
extern "C" {
#endif

// Current log level mask: the environment variable QZ_DEBUG_MASK, 0 when unset.
int debug_get_mask(void);
// Appends a line to the persistent log.
int _qz_log(const char *level, const char *text);
// "YYYY-MM-DD hh:mm:ss" of the given time into a 32-byte buffer; returns buffer.
char *time_to_string(time_t seconds, char *buffer);
// The current time with milliseconds, "YYYY-MM-DD hh:mm:ss.mmm", into a 32-byte buffer.
char *time_to_string_ms(char *buffer);

#ifdef __cplusplus
}
#endif
