// Address checks and the read-only network helpers (loopback only), and the refusal of
// host names that the DHCP command line would hand to the shell.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "osa.h"
#include "osa_net.h"

namespace {

TEST(CheckIPAddr, AcceptsDottedQuads) {
  EXPECT_EQ(CheckIPAddr("192.168.0.190"), 1);
  EXPECT_EQ(CheckIPAddr("0.0.0.0"), 1);
  EXPECT_EQ(CheckIPAddr("255.255.255.255"), 1);
}

TEST(CheckIPAddr, RejectsEverythingElse) {
  for (const char *bad : {"256.1.1.1", "1.2.3", "1.2.3.4.5", "1.2.3.4 ", "1.2.3.4\n", "1,2,3,4",
                          "-1.2.3.4", "", "a.b.c.d", "1.2.3.-4", " 10.0.0.5",
                          "4294967306.0.0.5", "+10.+0.+0.+5", "010.0.0.012"})
    EXPECT_EQ(CheckIPAddr(bad), 0) << '"' << bad << '"';
  EXPECT_EQ(CheckIPAddr(nullptr), 0);
}

TEST(NetHelpers, ReadLoopbackAndNoGateway) {
  char buf[64] = "untouched";
  ASSERT_EQ(net_get_ifaddr("lo", buf, sizeof(buf)), 0);
  EXPECT_STREQ(buf, "127.0.0.1");
  ASSERT_EQ(net_get_netmask("lo", buf, sizeof(buf)), 0);
  EXPECT_STREQ(buf, "255.0.0.0");
  strcpy(buf, "x");
  EXPECT_EQ(net_get_gateway("lo", buf, sizeof(buf)), -1);
  EXPECT_STREQ(buf, "0.0.0.0");
  strcpy(buf, "untouched");
  EXPECT_EQ(net_get_ifaddr("no-such-if0", buf, sizeof(buf)), -1);
  EXPECT_STREQ(buf, "untouched");
}

TEST(NetDhcp, HostNameSafety) {
  EXPECT_EQ(net_hostname_is_safe("cam1"), 1);
  EXPECT_EQ(net_hostname_is_safe("camera-12.site"), 1);
  EXPECT_EQ(net_hostname_is_safe(""), 1);
  for (const char *bad : {"x'; touch /tmp/p; '", "a b", "a$b", "a`b`", "a\nb", "a/b", "a;b",
                          "\xc3\xa9", "-k", "--release"})
    EXPECT_EQ(net_hostname_is_safe(bad), 0) << bad;
  EXPECT_EQ(net_hostname_is_safe(nullptr), 0);
}

// Stand-ins for killall and dhcpcd that record their calls, first on PATH.
class DhcpStandIns : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/osa_net_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    for (const char *tool : {"killall", "dhcpcd"}) {
      std::string path = dir_ + "/" + tool;
      FILE *fp = fopen(path.c_str(), "w");
      ASSERT_NE(fp, nullptr);
      fprintf(fp, "#!/bin/sh\necho \"%s $*\" >> '%s/calls'\n", tool, dir_.c_str());
      fclose(fp);
      chmod(path.c_str(), 0755);
    }
    const char *path = getenv("PATH");
    oldPath_ = path ? path : "";
    setenv("PATH", (dir_ + ":" + oldPath_).c_str(), 1);
    OSA_init();
  }
  void TearDown() override {
    setenv("PATH", oldPath_.c_str(), 1);
    std::string cmd = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
  }
  // The client starts in the background: wait (at most 2 s) for its line.
  std::string calls() {
    for (int i = 0; i < 200 && calls_now().find("dhcpcd eth0") == std::string::npos; i++)
      usleep(10000);
    return calls_now();
  }
  std::string calls_now() {
    std::string out;
    FILE *fp = fopen((dir_ + "/calls").c_str(), "r");
    if (!fp) return out;
    char line[256];
    while (fgets(line, sizeof(line), fp)) out += line;
    fclose(fp);
    return out;
  }
  std::string dir_, oldPath_;
};

TEST_F(DhcpStandIns, StartsTheClientForASafeName) {
  EXPECT_EQ(net_start_dhcp("eth0", "cam1"), 0);
  EXPECT_EQ(calls(), "killall -2 dhcpcd\nkillall -9 dhcpcd\ndhcpcd eth0 -t 30 -h cam1\n");
}

// No shell and no fixed-size command line: a long name reaches the client whole.
TEST_F(DhcpStandIns, PassesALongNameWhole) {
  std::string name(100, 'a');
  EXPECT_EQ(net_start_dhcp("eth0", name.c_str()), 0);
  EXPECT_EQ(calls(), "killall -2 dhcpcd\nkillall -9 dhcpcd\ndhcpcd eth0 -t 30 -h " + name + "\n");
}

TEST_F(DhcpStandIns, RefusesANameTheShellWouldInterpret) {
  std::string marker = dir_ + "/p";
  std::string name = "x'; touch " + marker + "; '";
  EXPECT_EQ(net_start_dhcp("eth0", name.c_str()), -1);
  EXPECT_EQ(calls_now(), "");  // not even the killall of a running client
  EXPECT_NE(access(marker.c_str(), F_OK), 0);
}

}  // namespace
