// Small helpers shared by the test modules.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

// Reads an option number the way the board's 32-bit strtoul(text, NULL, 0) does:
// decimal, 0x hexadecimal or leading-zero octal; a leading '-' negates modulo 2^32;
// a value beyond 32 bits reads as UINT32_MAX; text without digits reads as 0.
uint32_t module_parse_u32(const char *text);

// Reads a signed decimal option number the way the board's 32-bit strtol(text, NULL,
// 10) does: values beyond 32 bits read as INT32_MIN / INT32_MAX.
int32_t module_parse_i32(const char *text);

// System V shared memory: the id of the segment of `key` (created with `flags`, e.g.
// IPC_CREAT | 0666), or -1.
int module_shm_get(key_t key, size_t size, int flags);
// Attaches segment `id` read-write; null on failure.
void *module_shm_attach(int id);

// Runs a shell command through /bin/sh after flushing the program's own buffered
// output, so that what the command prints lands after what the module printed
// before it. Returns the wait status as system() does (0: the command succeeded,
// -1: it could not be started). The tool's stop handling stays active meanwhile,
// and a command ended by SIGINT or SIGQUIT sets the stop flag.
int module_system(const char *command);

// Formats a shell command into buf (len bytes). A command that does not fit is
// refused (-1, nothing run): a cut command line could do something else entirely.
int module_format_command(char *buf, size_t len, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));

// Reads a number as decimal only, as the board's 32-bit strtol(text, NULL, 10) does:
// values beyond the 32-bit range saturate. The same reading as module_parse_i32.
int32_t module_parse_decimal(const char *text);
// True when the whole text is a number in the base-detection form (optional sign,
// digits, nothing after them).
bool module_is_number(const char *text);
// Copies text into a field of fieldSize bytes, cut to fieldSize - 1 characters; the
// rest of the field is zeroed, so the text always ends inside it.
void module_copy_text(char *field, size_t fieldSize, const char *text);
