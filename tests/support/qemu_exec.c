/* qemu-exec: stands in for one ARM program of a cross build, so that the end-to-end
 * cases run it as they would run the host program. Built for this machine once per
 * program with ARM_PROGRAM (the ARM executable) and QEMU_ARM (the emulator) set.
 *
 * It replaces itself with qemu-arm: the same process, so a signal sent to its pid
 * reaches the ARM program, and its exit status (or the signal that ended it) is the
 * caller's. argv[0] passes through, so `exec -a NAME` still names the program.
 */
#include <stdio.h>
#include <unistd.h>

int main(int argc, char **argv) {
  char *args[argc + 4];
  int n = 0;
  args[n++] = argv[0];
  args[n++] = "-0";
  args[n++] = argv[0];
  args[n++] = ARM_PROGRAM;
  for (int i = 1; i < argc; i++) args[n++] = argv[i];
  args[n] = NULL;
  execv(QEMU_ARM, args);
  perror(QEMU_ARM);
  return 127;
}
