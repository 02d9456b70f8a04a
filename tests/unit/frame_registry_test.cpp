// Registry rules, dispatch and usage layouts of the tool frame, with modules of our own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "stdout_capture.h"
#include "test.h"

namespace {

std::vector<std::string> gCalls;
std::vector<int> gRunArgc;

#define RECORDING_MODULE(fn, label)                                 \
  int fn##_run(int argc, char **) {                                 \
    gCalls.push_back(std::string("run ") + label);                  \
    gRunArgc.push_back(argc);                                       \
    return -1;                                                      \
  }                                                                 \
  void fn##_help(void) { gCalls.push_back(std::string("help ") + label); } \
  void fn##_deinit(void) { gCalls.push_back(std::string("deinit ") + label); }

RECORDING_MODULE(alpha, "alpha")
RECORDING_MODULE(beta, "beta")
RECORDING_MODULE(gamma, "gamma")
RECORDING_MODULE(delta, "delta")

TestModule Module(const char *name, uint32_t id, bool withDeinit = true) {
  TestModule m = {name, id, alpha_run, alpha_help, withDeinit ? alpha_deinit : nullptr};
  return m;
}

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(test_module_count(), 0u);
    gCalls.clear();
    gRunArgc.clear();
    test_set_program_name("debug");
  }
  // Removing from the last slot down keeps the registry packed for the next test.
  void TearDown() override {
    while (test_module_count() > 0) {
      TestModule last = *test_module_at(test_module_count() - 1);
      test_unregister(&last);
    }
  }
  static std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (unsigned i = 0; i < test_module_count(); i++) names.push_back(test_module_at(i)->name);
    return names;
  }
};

TEST_F(Registry, KeepsIdOrderAndRegistrationOrderAmongEqualIds) {
  const TestModule records[] = {Module("media", 19), Module("sdmmc", 10), Module("i2c", 0),
                                Module("second10", 10), Module("mtd", 23), Module("first0", 0),
                                Module("third10", 10)};
  for (const TestModule &m : records) test_register(&m);
  EXPECT_EQ(Names(), (std::vector<std::string>{"i2c", "first0", "sdmmc", "second10", "third10",
                                               "media", "mtd"}));
}

TEST_F(Registry, RefusesDuplicatesIgnoringCaseAndNullRecords) {
  TestModule search = Module("search", 13);
  TestModule upper = Module("SEARCH", 2);
  TestModule noName = Module(nullptr, 1);
  test_register(&search);
  test_register(&upper);
  test_register(&noName);
  test_register(nullptr);
  ASSERT_EQ(test_module_count(), 1u);
  EXPECT_EQ(test_module_at(0)->id, 13u);
  // Lookup ignores case too, and the registry holds a copy of the record.
  const TestModule *found = test_find("SeArCh");
  ASSERT_NE(found, nullptr);
  EXPECT_NE(found, &search);
  EXPECT_STREQ(found->name, "search");
  EXPECT_EQ(test_find("sear"), nullptr);
  EXPECT_EQ(test_find(nullptr), nullptr);
}

TEST_F(Registry, HoldsAtMostTwentyFiveModules) {
  static char names[27][8];
  for (int i = 0; i < 27; i++) {
    snprintf(names[i], sizeof names[i], "m%d", i);
    TestModule m = Module(names[i], (uint32_t)(26 - i));
    test_register(&m);
  }
  ASSERT_EQ(test_module_count(), 25u);
  EXPECT_EQ(test_find("m25"), nullptr);
  EXPECT_EQ(test_find("m26"), nullptr);
  EXPECT_STREQ(test_module_at(0)->name, "m24");   // id 2, the lowest admitted
  EXPECT_STREQ(test_module_at(24)->name, "m0");   // id 26
}

TEST_F(Registry, UnregisterClearsOnlyTheNamedSlot) {
  TestModule a = Module("gpio", 3), b = Module("pwm", 4);
  test_register(&a);
  test_register(&b);
  TestModule other = Module("GPIO", 9);
  test_unregister(&other);  // matched without regard to case
  EXPECT_EQ(test_module_count(), 1u);
  EXPECT_EQ(test_find("gpio"), nullptr);
  EXPECT_NE(test_find("pwm"), nullptr);
  TestModule missing = Module("nosuch", 1);
  test_unregister(&missing);
  test_unregister(nullptr);
  EXPECT_EQ(test_module_count(), 1u);
  // Leave the registry packed for TearDown: pwm sits in slot 1.
  test_unregister(&b);
}

TEST_F(Registry, RunAndHelpMatchNamesExactly) {
  TestModule a = {"gpio", 3, alpha_run, alpha_help, alpha_deinit};
  TestModule b = {"pwm", 4, beta_run, beta_help, beta_deinit};
  test_register(&a);
  test_register(&b);
  char arg0[] = "debug", arg1[] = "-M", arg2[] = "pwm";
  char *argv[] = {arg0, arg1, arg2, nullptr};
  EXPECT_EQ(test_run("pwm", 3, argv), 0);  // the module's own -1 is not passed on
  EXPECT_EQ(test_run("PWM", 3, argv), 0);
  EXPECT_EQ(test_run("nosuch", 3, argv), 0);
  EXPECT_EQ(test_help("Gpio"), 0);
  EXPECT_EQ(test_help("gpio"), 0);
  EXPECT_EQ(gCalls, (std::vector<std::string>{"run beta", "help alpha"}));
  EXPECT_EQ(gRunArgc, (std::vector<int>{3}));
}

TEST_F(Registry, DeinitRunsForEveryModuleInRegistryOrder) {
  TestModule records[] = {{"gamma", 9, gamma_run, gamma_help, gamma_deinit},
                          {"nodeinit", 1, alpha_run, alpha_help, nullptr},
                          {"beta", 4, beta_run, beta_help, beta_deinit},
                          {"delta", 4, delta_run, delta_help, delta_deinit},
                          {"alpha", 0, alpha_run, alpha_help, alpha_deinit}};
  for (const TestModule &m : records) test_register(&m);
  test_deinit_all();
  EXPECT_EQ(gCalls, (std::vector<std::string>{"deinit alpha", "deinit beta", "deinit delta",
                                               "deinit gamma"}));
}

TEST_F(Registry, ListPrintsEightNamesToALine) {
  static const char *names[] = {"i2c", "adc", "gpio", "pwm", "ptz", "cpu", "motor", "sdmmc",
                                "db", "search", "dm2016", "ir", "af", "wifi", "media", "pt",
                                "mtd"};
  static const uint32_t ids[] = {0, 2, 3, 4, 7, 8, 9, 10, 12, 13, 14, 15, 16, 18, 19, 20, 23};
  // Registered in the tool's static construction order.
  static const int order[] = {14, 7, 6, 9, 13, 0, 11, 3, 16, 10, 8, 12, 15, 1, 2, 5, 4};
  for (int k : order) {
    TestModule m = Module(names[k], ids[k]);
    test_register(&m);
  }
  StdoutCapture all;
  test_list_modules(TEST_ALL_MODULES);
  EXPECT_EQ(all.Finish(),
            "modules name:\n"
            "\ti2c\tadc\tgpio\tpwm\tptz\tcpu\tmotor\tsdmmc\n"
            "\tdb\tsearch\tdm2016\tir\taf\twifi\tmedia\tpt\n"
            "\tmtd\n");

  StdoutCapture one;
  test_list_modules(13);
  test_list_modules(1);  // no module carries id 1
  EXPECT_EQ(one.Finish(), "modules name:\n\tsearch\nmodules name:\n");
}

TEST_F(Registry, ListOfExactlyEightEndsWithAnEmptyLine) {
  static char names[8][4];
  for (int i = 0; i < 8; i++) {
    snprintf(names[i], sizeof names[i], "m%d", i);
    TestModule m = Module(names[i], (uint32_t)i);
    test_register(&m);
  }
  StdoutCapture out;
  test_list_modules(TEST_ALL_MODULES);
  EXPECT_EQ(out.Finish(), "modules name:\n\tm0\tm1\tm2\tm3\tm4\tm5\tm6\tm7\n\n");
}

TEST_F(Registry, ModuleUsageLayout) {
  TestModule m = Module("pwm", 4);
  test_register(&m);
  const ModuleOption options[] = {{"module", required_argument, 'M', "str", "module name"},
                                  {"channel", required_argument, 'c', "num", "pwm channel"},
                                  {"list", no_argument, 0, "", "list channels"},
                                  {"verbose", no_argument, 256, nullptr, "more output"},
                                  {"duty", required_argument, '1', "n", "duty"}};
  const std::string stars(80, '*');
  StdoutCapture out;
  print_module_usage(4, options);
  print_module_usage(24, options);  // out of range: nothing
  print_module_usage(5, options);   // no module of that id: nothing
  EXPECT_EQ(out.Finish(), stars +
                              "\npwm usage:\n"
                              "debug -M pwm [option] \n"
                              "-M  --module [str]\tmodule name\n"
                              "-c  --channel [num]\tpwm channel\n"
                              "    --list\t\tlist channels\n"
                              "    --verbose\t\tmore output\n"
                              "    --duty [n]\tduty\n" +
                              stars + "\n");
}

TEST_F(Registry, ProgramNameIsCutTo255Characters) {
  std::string longName(300, 'p');
  test_set_program_name(longName.c_str());
  EXPECT_EQ(std::string(test_program_name()), longName.substr(0, 255));
  test_set_program_name(nullptr);
  EXPECT_STREQ(test_program_name(), "");
}

}  // namespace
