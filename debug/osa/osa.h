// Runtime services of `debug`: console, error reports, time.
#pragma once

#include <pthread.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

#include "osa_log.h"
#include "osa_mutex.h"
#include "osa_proc.h"
#include "osa_sqlite.h"
#include "osa_thr.h"

// Serialises console output of every thread; a leaf lock.
extern pthread_mutex_t gOsaConsoleLock;

// Prints one formatted piece to standard output under the console lock.
int OSA_printf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
// Same, but never waits: when the lock is busy (perhaps held by the very thread a
// signal handler interrupted) the piece (at most 127 bytes) is queued and printed by
// the next holder of the lock, before its own piece. Allocates nothing, so a signal
// handler may call it. Returns 0 when printed or queued, -1 when the queue is full.
int OSA_tryPrintf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
// Prints the pieces that OSA_tryPrintf queued (OSA_printf and OSA_exit do it too).
void OSA_printDeferred(void);
// " ERROR  (source|function|line): " then the message, on standard error, unlocked.
void OSA_error(const char *source, const char *function, int line, const char *fmt, ...)
    __attribute__((format(printf, 4, 5)));
void OSA_verror(const char *source, const char *function, int line, const char *fmt,
                va_list args) __attribute__((format(printf, 4, 0)));

// Files under /tmp are opened with safe_open (safe_open.h); this is its report of a
// refused file, on standard error: "refusing to open PATH: WHY".
void OSA_reportRefusedFile(const char *path, const char *why);

// How long OSA_lockFile waits for another process to let go of a lock file.
#define OSA_LOCK_WAIT_MS 3000
// Takes the lockf lock of fd (the file at path), waiting at most OSA_LOCK_WAIT_MS;
// past that it reports the busy lock and returns -1, and the caller goes on without it.
int OSA_lockFile(int fd, const char *path);

// Copies text into a record's field of fieldSize bytes, cut to fieldSize - 1
// characters; the rest of the field is zeroed, so the text always ends inside it.
void OSA_copyText(char *field, size_t fieldSize, const char *text);

int OSA_init(void);
int OSA_exit(void);

// Wall-clock milliseconds as a wrapping 32-bit value; 0 if the clock cannot be read.
int32_t OSA_getTimeMs(void);
// Sleeps ms milliseconds; a signal ends the sleep early.
void OSA_sleepMs(uint32_t ms);
