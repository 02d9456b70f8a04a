// The command-line scan of the tool: which module runs, which help shows, and the
// top-level usage.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "stdout_capture.h"
#include "test.h"

namespace {

std::vector<std::string> gCalls;

int media_run(int argc, char **argv) {
  gCalls.push_back("run media " + std::to_string(argc) + " " + argv[argc - 1]);
  return 0;
}
void media_help(void) { gCalls.push_back("help media"); }
int gpio_run(int argc, char **) {
  gCalls.push_back("run gpio " + std::to_string(argc));
  return 0;
}
void gpio_help(void) { gCalls.push_back("help gpio"); }
int long_run(int, char **) {
  gCalls.push_back("run long");
  return 0;
}
void long_help(void) { gCalls.push_back("help long"); }

// 63 characters: the longest module name the command line keeps.
const std::string kLongName(63, 'x');

const TestModule kMedia = {"media", 19, media_run, media_help, nullptr};
const TestModule kGpio = {"gpio", 3, gpio_run, gpio_help, nullptr};
const TestModule kLong = {kLongName.c_str(), 5, long_run, long_help, nullptr};

const char kUsage[] =
    "debug usage:\n"
    "debug [module option] \n"
    "-M  --module [str]\tmodule name like spi/i2c/gpio/adc/sensor\n"
    "-h  --help [str]\tdisplay module usage, module name like spi/i2c/gpio/adc/sensor \n"
    "Note: use { debug -h [module name] } to get detail help!\n"
    "modules name:\n"
    "\tgpio\t" "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx" "\tmedia\n";

class Dispatch : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    test_register(&kMedia);
    test_register(&kGpio);
    test_register(&kLong);
  }
  void SetUp() override { gCalls.clear(); }

  // Runs the scan over the words and returns what it printed.
  static std::string Scan(std::initializer_list<std::string> words) {
    std::vector<std::string> storage(words);
    std::vector<char *> argv;
    for (std::string &w : storage) argv.push_back(&w[0]);
    argv.push_back(nullptr);
    StdoutCapture out;
    test_dispatch((int)storage.size(), argv.data());
    return out.Finish();
  }
};

TEST_F(Dispatch, UsageWithoutAModuleSwitch) {
  EXPECT_EQ(Scan({"debug"}), kUsage);
  EXPECT_EQ(Scan({"debug", "gpio", "--module=gpio"}), kUsage);
  EXPECT_EQ(Scan({"debug", "-M"}), kUsage);
  EXPECT_EQ(Scan({"debug", "-h"}), std::string("debug version: 1.2.0\n") + kUsage);
  EXPECT_TRUE(gCalls.empty());
  // An empty argument vector still shows the usage, with an empty program name.
  StdoutCapture out;
  test_dispatch(0, nullptr);
  EXPECT_EQ(out.Finish().substr(0, 21), " usage:\n [module opti");
}

TEST_F(Dispatch, RunsTheLastNamedModuleWithTheWholeCommandLine) {
  EXPECT_EQ(Scan({"debug", "-M", "media", "--module", "gpio", "-x"}), "");
  EXPECT_EQ(Scan({"debug", "-M", "media", "-c", "5"}), "");
  EXPECT_EQ(Scan({"debug", "-M", "Media"}), "");   // exact case at dispatch
  EXPECT_EQ(Scan({"debug", "-M", "nosuch"}), "");
  EXPECT_EQ(Scan({"debug", "-M", ""}), "");
  EXPECT_EQ(gCalls, (std::vector<std::string>{"run gpio 6", "run media 5 5"}));
}

TEST_F(Dispatch, HelpWinsWhereverItStands) {
  EXPECT_EQ(Scan({"debug", "-M", "media", "-h", "gpio"}), "debug version: 1.2.0\n");
  EXPECT_EQ(Scan({"debug", "--help", "media", "-M", "gpio"}), "debug version: 1.2.0\n");
  EXPECT_EQ(Scan({"debug", "-h", "nosuch"}), "debug version: 1.2.0\n");
  EXPECT_EQ(Scan({"debug", "-h", ""}), "debug version: 1.2.0\n");
  EXPECT_EQ(gCalls, (std::vector<std::string>{"help gpio", "help media"}));
  // An empty help name names no help, so the module named before it runs.
  EXPECT_EQ(Scan({"debug", "-M", "gpio", "-h", ""}), "debug version: 1.2.0\n");
  EXPECT_EQ(Scan({"debug", "-h", "", "-M", "gpio"}), "debug version: 1.2.0\n");
  EXPECT_EQ(gCalls, (std::vector<std::string>{"help gpio", "help media", "run gpio 5"}));
}

TEST_F(Dispatch, LongNamesAreCut) {
  Scan({"debug", "-M", kLongName + "yyyy"});
  Scan({"debug", "-h", kLongName + "zz"});
  EXPECT_EQ(gCalls, (std::vector<std::string>{"run long", "help long"}));
  std::string program(400, 'p');
  Scan({program, "-M", "gpio"});
  EXPECT_EQ(std::string(test_program_name()), program.substr(0, 255));
}

}  // namespace
