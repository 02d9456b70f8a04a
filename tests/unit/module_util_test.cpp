// Module helpers: option numbers read as the board's 32-bit strtoul / strtol read them,
// the error reports every module makes, and the shell commands of the system modules.
#include <stdio.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <string>

#include "module_util.h"
#include "stdout_capture.h"
#include "test.h"

TEST(ModuleParseU32, DetectsTheBase) {
  EXPECT_EQ(module_parse_u32("10"), 10u);
  EXPECT_EQ(module_parse_u32("0x1f"), 31u);
  EXPECT_EQ(module_parse_u32("0X10"), 16u);
  EXPECT_EQ(module_parse_u32("010"), 8u);
  EXPECT_EQ(module_parse_u32("0"), 0u);
  EXPECT_EQ(module_parse_u32("  42"), 42u);
  EXPECT_EQ(module_parse_u32("12abc"), 12u);
}

TEST(ModuleParseU32, ReadsNoDigitsAsZero) {
  EXPECT_EQ(module_parse_u32("abc"), 0u);
  EXPECT_EQ(module_parse_u32(""), 0u);
  EXPECT_EQ(module_parse_u32("--1"), 0u);
  EXPECT_EQ(module_parse_u32("- 1"), 0u);
  EXPECT_EQ(module_parse_u32(nullptr), 0u);
}

TEST(ModuleParseU32, WrapsAndSaturatesLikeA32BitLong) {
  EXPECT_EQ(module_parse_u32("-1"), 4294967295u);
  EXPECT_EQ(module_parse_u32("-0x10"), 4294967280u);
  EXPECT_EQ(module_parse_u32("4294967295"), 4294967295u);
  // Beyond 32 bits strtoul on the board reports ERANGE and gives its maximum.
  EXPECT_EQ(module_parse_u32("4294967296"), 4294967295u);
  EXPECT_EQ(module_parse_u32("-4294967296"), 4294967295u);
  EXPECT_EQ(module_parse_u32("99999999999999999999999"), 4294967295u);
}

TEST(ModuleParseI32, ReadsDecimalOnlyAndSaturates) {
  EXPECT_EQ(module_parse_i32("-5"), -5);
  EXPECT_EQ(module_parse_i32("010"), 10);
  EXPECT_EQ(module_parse_i32("0x10"), 0);
  EXPECT_EQ(module_parse_i32("2147483648"), INT32_MAX);
  EXPECT_EQ(module_parse_i32("-2147483649"), INT32_MIN);
  EXPECT_EQ(module_parse_i32("x"), 0);
}

static int g_helpShown;
static void count_help(void) { g_helpShown++; }

TEST(ModuleError, NamesTheSourceFileWithoutFolderOrExtension) {
  char name[8];
  module_source_name("/src/debug/modules/qz_pwm.cpp", name, sizeof name);
  EXPECT_STREQ(name, "qz_pwm");
  module_source_name("qz_i2c.cpp", name, sizeof name);
  EXPECT_STREQ(name, "qz_i2c");
  module_source_name("/a/qz_dm2016.cpp", name, sizeof name);
  EXPECT_STREQ(name, "qz_dm20") << "cut to the buffer";
}

TEST(ModuleError, RefusedOptionReportsShowsTheHelpAndReturns) {
  g_helpShown = 0;
  testing::internal::CaptureStderr();
  int result = MODULE_OPTION_FAIL(count_help, 218, "gio id must <= %d\n", 127);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            " ERROR  (module_util_test|TestBody|218): gio id must <= 127\n");
  EXPECT_EQ(result, -1);
  EXPECT_EQ(g_helpShown, 1);
}

TEST(ModuleErrorDeathTest, FatalOptionEndsWithStatus255AfterTheHelp) {
  EXPECT_EXIT(MODULE_OPTION_EXIT([] { fputs("help\n", stderr); }, 151, "Unknow option\n"),
              testing::ExitedWithCode(255),
              "^ ERROR  \\(module_util_test\\|TestBody\\|151\\): Unknow option\nhelp\n$");
}

TEST(ModuleText, NumbersMustBeWholeToCount) {
  EXPECT_TRUE(module_is_number("8"));
  EXPECT_TRUE(module_is_number("0x8"));
  EXPECT_TRUE(module_is_number("-1"));
  EXPECT_TRUE(module_is_number(" 010"));
  EXPECT_FALSE(module_is_number("8a"));
  EXPECT_FALSE(module_is_number("wpa3-psk"));
  EXPECT_FALSE(module_is_number(""));
  EXPECT_FALSE(module_is_number("-"));
  EXPECT_FALSE(module_is_number(nullptr));
}

TEST(ModuleCommand, CommandsThatDoNotFitAreRefusedNotCut) {
  char buf[16];
  EXPECT_EQ(module_format_command(buf, sizeof buf, "cat %s", "/tmp/a.log"), 0);
  EXPECT_STREQ(buf, "cat /tmp/a.log");
  EXPECT_EQ(module_format_command(buf, sizeof buf, "rm -rf %s", "/mnt/mmc/file0"), -1);
  EXPECT_STREQ(buf, "");
}

TEST(ModuleCommand, OutputKeepsItsOrderAndTheStatusIsTheShells) {
  StdoutCapture capture;
  printf("before ");  // still in the stdio buffer when the command starts
  int status = module_system("echo from-the-shell; exit 3");
  printf("after\n");
  EXPECT_EQ(capture.Finish(), "before from-the-shell\nafter\n");
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);
  EXPECT_EQ(module_system("true"), 0);
}

TEST(ModuleCommand, ACommandEndedByInterruptAsksTheToolToStop) {
  g_testStop.store(0);
  module_system("kill -TERM $$");
  EXPECT_FALSE(test_stop_requested());
  module_system("kill -INT $$");
  EXPECT_TRUE(test_stop_requested());
  g_testStop.store(0);
}

TEST(ModuleGetopt, ShortFormsComeFromTheLettersOfTheRowsAndTheModuleIsPassedOver) {
  const ModuleOption rows[] = {{"module", required_argument, 'M', "str", "module name"},
                               {"count", required_argument, 'c', "num", "how many"},
                               {"list", no_argument, 'l', "", "list"},
                               {"verbose", no_argument, 256, "", "more output"}};
  char arg0[] = "debug", a0[] = "-Mpwm", a1[] = "-c5", a2[] = "-l", a3[] = "--count", a4[] = "7",
       a5[] = "--verbose", a6[] = "-x";
  char *argv[] = {arg0, a0, a1, a2, a3, a4, a5, a6, nullptr};
  optind = 0;
  opterr = 0;
  ModuleGetopt options(rows);
  std::string seen;
  for (int c; (c = options.next(8, argv)) != -1;)
    seen += (c == 256 ? std::string("V") : std::string(1, static_cast<char>(c))) +
            (optarg ? optarg : "") + " ";
  EXPECT_EQ(seen, "c5 l c7 V ? ");

  // A module's own short-option string replaces the derived one.
  char b1[] = "-z", b2[] = "3", b3[] = "-c1";
  char *other[] = {arg0, b1, b2, b3, nullptr};
  optind = 0;
  ModuleGetopt ownShorts(rows, "z:");
  EXPECT_EQ(ownShorts.next(4, other), 'z');
  EXPECT_STREQ(optarg, "3");
  EXPECT_EQ(ownShorts.next(4, other), '?');
}
