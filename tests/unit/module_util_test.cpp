// Option numbers read as the board's 32-bit strtoul / strtol read them.
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
