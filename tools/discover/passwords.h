// Where a modify gets the passwords when they are not on the command line (so they need
// not stand in the shell history or the process list): a file, or the terminal without
// echo. The UDP modify takes the current and a new password, the raw modify only the
// current one (fresh null).
#pragma once

#include <stddef.h>

// Reads the current password from the first line of path and the new one from the
// second (absent or empty: keep the current one; not read when fresh is null). Line
// ends are dropped. Returns 0, or -1 with a message on standard error (cannot read, a
// line over size - 1 characters).
int passwords_from_file(const char *path, char *current, char *fresh, size_t size);

// Asks on the controlling terminal (/dev/tty) with echo off: "Password: " and
// "New password (empty keeps it): " (not asked when fresh is null). Returns 0, or -1
// with a message on standard error when there is no terminal or an answer is too long.
int passwords_from_terminal(char *current, char *fresh, size_t size);
