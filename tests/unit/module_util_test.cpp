// Module helpers: option numbers read as the board's 32-bit strtoul / strtol read them,
// and the error reports every module makes.
#include <stdio.h>

#include <gtest/gtest.h>

#include "module_util.h"

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
