// Child processes of `debug`: each one gets standard input, output and error and no
// other descriptor of ours (capture sockets, the discovery port, lock files).
#pragma once

#include <sys/types.h>

// Starts argv[0] (searched on PATH) with argv, no shell between, all signals
// unblocked; with stdoutPath its standard output goes to that file. Returns the
// child's pid, or -1 when it could not be started.
pid_t OSA_spawn(char *const argv[], const char *stdoutPath);

// Runs command with /bin/sh -c and waits for it. Returns its wait status, or -1
// when it could not be started or waited for.
int OSA_system(const char *command);
