// Child processes started without a descriptor beyond standard input, output and error.
#include "osa_proc.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

pid_t OSA_spawn(char *const argv[], const char *stdoutPath) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stdoutPath) posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdoutPath, O_WRONLY, 0);
  // Libraries open descriptors we do not control (libpcap's capture socket and
  // eventfd): close them all in the child, whatever their close-on-exec flag.
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  // A thread that blocks signals must not pass its mask on to the child.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
  pid_t pid = -1;
  int status = posix_spawnp(&pid, argv[0], &actions, &attr, argv, environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  return status == 0 ? pid : -1;
}

int OSA_system(const char *command) {
  if (!command) return -1;
  char shell[] = "/bin/sh", dashC[] = "-c";
  char *const argv[] = {shell, dashC, const_cast<char *>(command), nullptr};
  pid_t pid = OSA_spawn(argv, nullptr);
  if (pid < 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return status;
}
