#include "passwords.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

// One line of fp into out, without its line end. 1 read, 0 end of file, -1 too long.
static int read_line(FILE *fp, char *out, size_t size) {
  if (!fgets(out, (int)size, fp)) {
    out[0] = '\0';
    return 0;
  }
  size_t len = strcspn(out, "\r\n");
  if (out[len] == '\0') {  // no line end read yet: the line must end right here
    int next = getc(fp);
    if (next != EOF && next != '\n' && next != '\r') return -1;
    if (next == '\r' && (next = getc(fp)) != '\n' && next != EOF) ungetc(next, fp);
  }
  out[len] = '\0';
  return 1;
}

int passwords_from_file(const char *path, char *current, char *fresh, size_t size) {
  FILE *fp = fopen(path, "r");
  if (!fp) {
    fprintf(stderr, "discover: %s: %s\n", path, strerror(errno));
    return -1;
  }
  int first = read_line(fp, current, size);
  int second = 0;
  if (fresh) {
    second = first > 0 ? read_line(fp, fresh, size) : 0;
    if (first <= 0) fresh[0] = '\0';
  }
  fclose(fp);
  if (first < 0 || second < 0) {
    fprintf(stderr, "discover: %s: a password holds at most %zu characters\n", path, size - 1);
    return -1;
  }
  return 0;
}

// The terminal's settings while echo is off, so that Ctrl-C at the prompt gives the
// user back a terminal that echoes.
static int g_promptTty = -1;
static struct termios g_echoing;

static void restore_echo_and_die(int signo) {
  tcsetattr(g_promptTty, TCSANOW, &g_echoing);
  signal(signo, SIG_DFL);
  raise(signo);
}

// Prints prompt on the terminal and reads one answer with echo off (turned off before
// the prompt shows, so nothing typed at the prompt is ever echoed).
static int ask(int tty, FILE *in, const char *prompt, char *out, size_t size) {
  static const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
  bool haveTermios = tcgetattr(tty, &g_echoing) == 0;
  if (haveTermios) {
    g_promptTty = tty;
    for (int signo : kStopSignals) signal(signo, restore_echo_and_die);
    struct termios quiet = g_echoing;
    quiet.c_lflag &= ~(tcflag_t)ECHO;
    quiet.c_lflag |= ECHONL;
    tcsetattr(tty, TCSANOW, &quiet);
  }
  int got = write(tty, prompt, strlen(prompt)) < 0 ? -1 : read_line(in, out, size);
  if (haveTermios) {
    tcsetattr(tty, TCSANOW, &g_echoing);
    for (int signo : kStopSignals) signal(signo, SIG_DFL);
  }
  return got < 0 ? -1 : 0;
}

int passwords_from_terminal(char *current, char *fresh, size_t size) {
  int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (tty < 0) {
    fprintf(stderr, "discover: no terminal to ask for the password (use --password-file)\n");
    return -1;
  }
  FILE *in = fdopen(dup(tty), "r");
  int result = -1;
  if (in && ask(tty, in, "Password: ", current, size) == 0 &&
      (!fresh || ask(tty, in, "New password (empty keeps it): ", fresh, size) == 0))
    result = 0;
  else
    fprintf(stderr, "discover: a password holds at most %zu characters\n", size - 1);
  if (in) fclose(in);
  close(tty);
  return result;
}
