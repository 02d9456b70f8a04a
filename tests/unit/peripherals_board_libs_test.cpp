// The simulated board's GPIO, PWM and Wi-Fi libraries.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "gpio.h"
#include "pwm.h"
#include "qzwifi.h"
#include "stdout_capture.h"

namespace {

// Each test gets its own state folder and trace file.
class BoardLibs : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/peripheral-libs.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    setenv("BOARD_SIM_DIR", (dir_ + "/state").c_str(), 1);
    setenv("BOARD_SIM_TRACE", (dir_ + "/trace").c_str(), 1);
  }
  void TearDown() override {
    std::string cmd = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
    unsetenv("BOARD_SIM_DIR");
    unsetenv("BOARD_SIM_TRACE");
  }
  std::string read_file(const std::string &name) {
    std::ifstream in(dir_ + "/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::string dir_;
};

TEST_F(BoardLibs, GpioLevelsPersistAndEveryCallIsTraced) {
  EXPECT_EQ(gpio_read(9), 0);
  EXPECT_EQ(gpio_write(9, 1), 0);
  EXPECT_EQ(gpio_read(9), 1);
  EXPECT_EQ(gpio_write(9, 0), 0);
  EXPECT_EQ(gpio_read(9), 0);
  EXPECT_EQ(gpio_close(), 0);
  EXPECT_EQ(read_file("trace"),
            "gpio_read 9\ngpio_write 9 1\ngpio_read 9\ngpio_write 9 0\ngpio_read 9\ngpio_close\n");
}

TEST_F(BoardLibs, GpioRefusesUnknownPinsAndLevels) {
  EXPECT_EQ(gpio_read(GPIO_PIN_COUNT), -1);
  EXPECT_EQ(gpio_read(-1), -1);
  EXPECT_EQ(gpio_write(GPIO_PIN_COUNT, 1), -1);
  EXPECT_EQ(gpio_write(3, 2), -1);
  EXPECT_EQ(gpio_read(3), 0);  // the refused write changed nothing
}

TEST_F(BoardLibs, ExtGpioCarriesTheIrCutPinInItsFifthWord) {
  uint32_t words[68];
  memcpy(words, &extGpio, sizeof words);
  EXPECT_EQ(words[4], extGpio.irCut);
  EXPECT_LT(extGpio.irCut, (uint32_t)GPIO_PIN_COUNT);
  EXPECT_NE(extGpio.irCut, extGpio.systemReset);
}

TEST_F(BoardLibs, PwmWriteIsReadBack) {
  StdoutCapture capture;
  EXPECT_EQ(pwm_read(1), 0);
  EXPECT_EQ(pwm_write(1, 100000, 250), 0);
  EXPECT_EQ(pwm_read(1), 250);
  EXPECT_EQ(capture.Finish(),
            "pwm1: period 0, duty 0\npwm1: period 100000, duty 250\n");
  EXPECT_EQ(read_file("trace"), "pwm_read 1\npwm_write 1 100000 250\npwm_read 1\n");
}

TEST_F(BoardLibs, PwmRefusesValuesOutOfRangeAndKeepsTheSetting) {
  ASSERT_EQ(pwm_write(0, 5000, 100), 0);
  EXPECT_EQ(pwm_write(0, 5000, 0), -1);
  EXPECT_EQ(pwm_write(0, 5000, 1001), -1);
  EXPECT_EQ(pwm_write(0, 1, 100), -1);
  EXPECT_EQ(pwm_write(0, 12000001, 100), -1);
  EXPECT_EQ(pwm_write(PWM_MAX_CHN + 1, 5000, 100), -1);
  StdoutCapture capture;
  EXPECT_EQ(pwm_read(0), 100);
  EXPECT_EQ(capture.Finish(), "pwm0: period 5000, duty 100\n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(pwm_read(-1), -1);
  testing::internal::GetCapturedStderr();
}

WifiConfig sample_config() {
  WifiConfig cfg;
  memset(&cfg, 0, sizeof cfg);
  strcpy(cfg.ssid, "Lot-North");
  cfg.mode = 1;
  cfg.channel = 11;
  cfg.key_mgmt = 2;
  cfg.group = 1;
  cfg.encryp = 2;
  cfg.select = 3;
  strcpy(cfg.key3, "5f2a8c0e71d94b36a0c7e5f218");
  cfg.keytype = 0;
  cfg.pairwise = 1;
  strcpy(cfg.psk, "quillmoss");
  cfg.wps = 2;
  cfg.wps_pin = 1;
  strcpy(cfg.pincode, "12345670");
  return cfg;
}

TEST_F(BoardLibs, WifiConfigStoresTheWholeRecordAndBringsTheLinkUp) {
  EXPECT_EQ(wifi_get_status(), 0);
  WifiConfig cfg = sample_config();
  ASSERT_EQ(wifi_config(&cfg), 0);
  std::string stored = read_file("state/wifi.config");
  ASSERT_EQ(stored.size(), sizeof cfg);
  EXPECT_EQ(memcmp(stored.data(), &cfg, sizeof cfg), 0);
  EXPECT_EQ(wifi_get_status(), 1);
  EXPECT_EQ(read_file("trace"),
            "wifi_get_status\nwifi_config 1 11 2 0 1 2 3 0 1 0 2 0 1\nwifi_get_status\n");
}

TEST_F(BoardLibs, WifiRefusesARecordItCannotUse) {
  WifiConfig cfg = sample_config();
  cfg.ssid[0] = '\0';
  EXPECT_EQ(wifi_config(&cfg), -1);
  cfg = sample_config();
  cfg.encryp = 9;
  EXPECT_EQ(wifi_config(&cfg), -1);
  EXPECT_EQ(wifi_config(nullptr), -1);
  EXPECT_EQ(read_file("state/wifi.config"), "");
  EXPECT_EQ(wifi_get_status(), 0);
}

TEST_F(BoardLibs, WifiLinkStateOtherThanUpOrDownIsUnknown) {
  ASSERT_EQ(mkdir((dir_ + "/state").c_str(), 0755), 0);
  std::ofstream(dir_ + "/state/wifi.link") << "3\n";
  EXPECT_EQ(wifi_get_status(), -1);
}

TEST_F(BoardLibs, WifiScanListsTheCellsOfTheMode) {
  StdoutCapture capture;
  void *managed = wifi_info_scan(0);
  void *adhoc = wifi_info_scan(1);
  std::string out = capture.Finish();
  ASSERT_NE(managed, nullptr);
  ASSERT_NE(adhoc, nullptr);
  EXPECT_NE(out.find("4 cell(s) found"), std::string::npos);
  EXPECT_NE(out.find("1 cell(s) found"), std::string::npos);
  wifi_info_list_delete(managed);
  wifi_info_list_delete(adhoc);
}

TEST_F(BoardLibs, WpsPinHasEightDigitsAValidChecksumAndStaysTheSame) {
  char pin[9], again[9];
  memset(pin, 'x', sizeof pin);
  ASSERT_EQ(wifi_wps_get_pin(pin), 0);
  ASSERT_EQ(strlen(pin), 8u);
  unsigned sum = 0;
  for (int i = 0; i < 8; i++) {
    ASSERT_TRUE(pin[i] >= '0' && pin[i] <= '9');
    sum += (i % 2 == 0 ? 3u : 1u) * (unsigned)(pin[i] - '0');
  }
  EXPECT_EQ(sum % 10, 0u);
  ASSERT_EQ(wifi_wps_get_pin(again), 0);
  EXPECT_STREQ(pin, again);
  EXPECT_EQ(wifi_wps_get_pin(nullptr), -1);
}

}  // namespace
