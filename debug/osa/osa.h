// Runtime services of `debug`: console, error reports, time.
#pragma once

#include <pthread.h>
#include <stdint.h>

#include "osa_log.h"
#include "osa_mutex.h"
#include "osa_sqlite.h"
#include "osa_thr.h"

// Serialises console output of every thread; a leaf lock.
extern pthread_mutex_t gOsaConsoleLock;

// Prints one formatted piece to standard output under the console lock.
int OSA_printf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
// Same, but gives up instead of waiting when the lock is busy (safe from a signal
// handler that may have interrupted the lock's holder). Returns -1 if not printed.
int OSA_tryPrintf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
// " ERROR  (source|function|line): " then the message, on standard error, unlocked.
void OSA_error(const char *source, const char *function, int line, const char *fmt, ...)
    __attribute__((format(printf, 4, 5)));

int OSA_init(void);
int OSA_exit(void);

// Wall-clock milliseconds as a wrapping 32-bit value; 0 if the clock cannot be read.
int32_t OSA_getTimeMs(void);
// Sleeps ms milliseconds; a signal ends the sleep early.
void OSA_sleepMs(uint32_t ms);
