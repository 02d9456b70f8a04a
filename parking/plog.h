// Log lines of the parking service, on standard output.
//
//   plain:    "[<time> <pid>] <message>==func:<func> file:<file> line:<line>\n"
//             always printed (time text of time_to_string).
//   levelled: "[<level><ms time> <pid>] <message>==func:..." printed only when
//             debug_get_mask() is above the level's floor: ERR above 0, WRN above 1,
//             INF above 3. ERR and WRN messages are coloured and followed by a
//             colour reset and a blank ("\e[0;31m<message>\e[0;39m ==func:...");
//             ERR lines also go to _qz_log("ERR:", "<message>==func:...\n").
//
// The file field is the source name as the logs have always shown it: "main",
// "parking" or "km". Each line is written with one call, so lines from the worker
// and the receive thread never interleave. Nothing is allocated.
#pragma once

#define PLOG_RED "\033[0;31m"
#define PLOG_YELLOW "\033[0;33m"
#define PLOG_GREEN "\033[0;32m"
#define PLOG_RESET "\033[0;39m"

// Longest line the helpers print; longer messages are cut.
enum { PLOG_LINE_MAX = 4096 };

void plog(const char *func, const char *file, int line, const char *fmt, ...)
    __attribute__((format(printf, 4, 5)));
void plog_err(const char *func, const char *file, int line, const char *fmt, ...)
    __attribute__((format(printf, 4, 5)));
void plog_wrn(const char *func, const char *file, int line, const char *fmt, ...)
    __attribute__((format(printf, 4, 5)));
void plog_inf(const char *func, const char *file, int line, const char *fmt, ...)
    __attribute__((format(printf, 4, 5)));

