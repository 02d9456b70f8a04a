// Start-up, command-line scan, top-level usage and exit sequence of the tool.
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "osa.h"
#include "test.h"

#define TEST_PROGRAM "debug"
#define TEST_VERSION "1.2.0"

std::atomic<int> g_testStop{0};

static char gProgramName[256];
static char gModuleName[64];
static char gHelpName[64];

static const int kStopSignals[] = {SIGINT, SIGQUIT, SIGTERM};

const char *test_program_name(void) { return gProgramName; }

void test_set_program_name(const char *name) {
  snprintf(gProgramName, sizeof gProgramName, "%s", name ? name : "");
}

// The interrupted thread may hold the console lock, so the line goes out through the
// non-blocking print: at once when the console is free, else from the lock's next
// holder.
static void test_signal_handler(int signo) {
  int savedErrno = errno;
  OSA_tryPrintf("\nGet signal, signo = %d\n", signo);
  g_testStop.store(1);
  errno = savedErrno;
}

void test_install_signal_handler(void) {
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = test_signal_handler;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (int signo : kStopSignals) sigaction(signo, &action, nullptr);
}

// The store holds the users' passwords: only its owner may read or change it. A copy
// keeps its seed's mode, and a database left by an older tool may be readable by all,
// so the mode is set on every start (a link or another user's file is left alone).
static void keep_owner_only(const char *path) {
  struct stat st;
  if (lstat(path, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) return;
  if ((st.st_mode & 077) != 0) chmod(path, st.st_mode & 0700);
}

static void seed_database(const char *path, const char *command) {
  if (access(path, F_OK) != 0) {
    // A copy cut short (full flash, a signal) must not stay behind: every later start
    // would take it for the seeded database. The file did not exist before the copy,
    // so removing it loses nothing, and the store reports the missing database.
    if (OSA_system(command) != 0) {
      unlink(path);
      return;
    }
  }
  keep_owner_only(path);
}

void test_seed_databases(void) {
  seed_database("/mnt/nand/qzdb.db", "cp /opt/app/qzdb.db /mnt/nand/qzdb.db");
  seed_database("/mnt/nand2/oem.db", "cp /opt/app/oem.db /mnt/nand2/oem.db");
}

int test_init(void) {
  test_install_signal_handler();
  test_seed_databases();
  int status = OSA_init();
  if (!OSA_logSemIsOpen()) status |= OSA_logInit();
  return status;
}

static void show_usage(void) {
  const char *program = gProgramName;
  OSA_printf("%s usage:\n", program);
  OSA_printf("%s [module option] \n", program);
  test_print_option_row('M', "module", "str", "module name like spi/i2c/gpio/adc/sensor", 1);
  test_print_option_row('h', "help", "str",
                        "display module usage, module name like spi/i2c/gpio/adc/sensor ", 1);
  OSA_printf("Note: use { %s -h [module name] } to get detail help!\n", program);
  test_list_modules(TEST_ALL_MODULES);
}

static void copy_word(char *buffer, size_t size, const char *word) {
  snprintf(buffer, size, "%s", word);
}

void test_dispatch(int argc, char **argv) {
  gModuleName[0] = '\0';
  gHelpName[0] = '\0';
  if (argc <= 0 || argv == nullptr || argv[0] == nullptr) {
    test_set_program_name("");
    show_usage();
    return;
  }
  test_set_program_name(argv[0]);

  int moduleSeen = 0, helpSeen = 0;
  for (int i = 0; i < argc; i++) {
    const char *word = argv[i];
    if (strcmp(word, "-M") == 0 || strcmp(word, "--module") == 0) {
      if (i == argc - 1) {
        show_usage();
        return;
      }
      // The name is examined as a word of its own on the next round.
      copy_word(gModuleName, sizeof gModuleName, argv[i + 1]);
      moduleSeen = 1;
    } else if (strcmp(word, "-h") == 0 || strcmp(word, "--help") == 0) {
      OSA_printf("%s version: %s\n", TEST_PROGRAM, TEST_VERSION);
      if (i == argc - 1) {
        show_usage();
        return;
      }
      copy_word(gHelpName, sizeof gHelpName, argv[i + 1]);
      test_help(gHelpName);
      helpSeen = 1;
      break;  // help wins over a module switch wherever it stands
    }
  }
  if (!helpSeen && !moduleSeen) {
    show_usage();
    return;
  }
  // An empty help name ("-h ''") still lets an earlier module switch run.
  if (gModuleName[0] == '\0' || gHelpName[0] != '\0') return;
  test_run(gModuleName, argc, argv);
}

int test_exit(void) {
  g_testStop.store(1);
  OSA_printDeferred();
  test_deinit_all();
  OSA_logClose();
  // Signals from here on would find the console lock gone; they are held back and
  // dropped with the process.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  for (int signo : kStopSignals) sigaddset(&stopSignals, signo);
  sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
  OSA_exit();
  return 0;
}
