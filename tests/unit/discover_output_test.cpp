// discover's reading of reply texts and the forms it prints them in.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "camera_list.h"
#include "passwords.h"
#include "replies.h"
#include "search_proto.h"

namespace {

const uint8_t kMacA[6] = {0x02, 0, 0, 0, 0, 0x0a};
const uint8_t kMacB[6] = {0x02, 0, 0, 0, 0, 0x0b};

Camera from_text(const uint8_t *mac, const char *text) {
  Camera c;
  camera_from_reply_text(&c, mac, text);
  return c;
}

std::string printed(void (*print)(FILE *, const std::vector<Camera> &),
                    const std::vector<Camera> &cameras) {
  char *buf = nullptr;
  size_t len = 0;
  FILE *out = open_memstream(&buf, &len);
  print(out, cameras);
  fclose(out);
  std::string text(buf, len);
  free(buf);
  return text;
}

TEST(DiscoverOutput, ReadsTheTwelveFieldsAndKeepsSemicolonsInTheTitle) {
  Camera c = from_text(kMacA, "10.0.0.2;8080;255.0.0.0;10.0.0.1;1.1.1.1;M;F;S;Gate;4;N;77;1");
  EXPECT_EQ(c.ip, "10.0.0.2");
  EXPECT_EQ(c.httpPort, 8080);
  EXPECT_EQ(c.dns, "1.1.1.1");
  EXPECT_EQ(c.serial, "S");
  EXPECT_EQ(c.title, "Gate;4");
  EXPECT_EQ(c.name, "N");
  EXPECT_EQ(c.uptime, 77);
  EXPECT_EQ(c.dhcp, 1);
  // A text cut short leaves the missing numbers unknown, never made up.
  Camera cut = from_text(kMacA, "10.0.0.2;80x;255.0.0.0");
  EXPECT_EQ(cut.httpPort, -1);
  EXPECT_EQ(cut.uptime, -1);
  EXPECT_EQ(cut.dhcp, -1);
  EXPECT_EQ(cut.title, "");
}

TEST(DiscoverOutput, EscapesEveryByteThatCouldSteerATerminal) {
  EXPECT_EQ(display_escape("Gate\x1b[2J\r\n\x7f\x9b" "A\\"), "Gate\\x1b[2J\\x0d\\x0a\\x7f\\x9bA\\\\");
  EXPECT_EQ(display_escape(std::string("a\0b", 3)), "a\\x00b");
  EXPECT_EQ(json_string("say \"hi\"\x1b"), "\"say \\\"hi\\\"\\\\x1b\"");

  Camera c = from_text(kMacA, "10.0.0.2;80;255.0.0.0;10.0.0.1;;M;F;S;T\x1b]0;x\x07;N;5;0");
  for (auto print : {print_table, print_json, print_raw}) {
    std::string out = printed(print, {c});
    for (unsigned char ch : out) EXPECT_TRUE(ch == '\n' || (ch >= 0x20 && ch < 0x7f)) << out;
    EXPECT_NE(out.find("x1b]0;x"), std::string::npos) << out;  // the text, escaped
  }
}

TEST(DiscoverOutput, ListsEachMacOnceSortedByAddress) {
  CameraList list;
  EXPECT_TRUE(list.add(from_text(kMacA, "10.0.0.10;80;;;;;;;;;1;0")));
  EXPECT_TRUE(list.add(from_text(kMacB, "10.0.0.9;80;;;;;;;;;1;0")));
  EXPECT_FALSE(list.add(from_text(kMacA, "10.0.0.10;80;;;;;;;;;2;0")));  // announced again
  Camera bad = from_text(kMacB, "x");
  bad.mac[5] = 0x0c;
  list.add(bad);
  list.sort_by_ip();
  ASSERT_EQ(list.cameras.size(), 3u);
  EXPECT_EQ(list.cameras[0].ip, "10.0.0.9");  // numerically before 10.0.0.10
  EXPECT_EQ(list.cameras[1].uptime, 2);       // the latest reply
  EXPECT_EQ(list.cameras[2].ip, "x");

  CameraList flood;  // forged replies from ever new MACs
  Camera c = from_text(kMacA, "10.0.0.1");
  for (unsigned i = 0; i <= CameraList::kMaxCameras; i++) {
    memcpy(c.mac + 2, &i, sizeof(i));
    flood.add(c);
  }
  EXPECT_EQ(flood.cameras.size(), CameraList::kMaxCameras);
}

TEST(DiscoverOutput, JsonHasNumbersAsNumbersAndUnknownsAsNull) {
  std::string out = printed(print_json, {from_text(kMacA, "10.0.0.2;80;m;g;d;M;F;S;T;N;9;0"),
                                         from_text(kMacB, "10.0.0.3")});
  EXPECT_NE(out.find("\"http_port\": 80, \"dhcp\": false"), std::string::npos) << out;
  EXPECT_NE(out.find("\"uptime\": 9, \"cameras_at_ip\": 1}"), std::string::npos) << out;
  EXPECT_NE(out.find("\"http_port\": null, \"dhcp\": null"), std::string::npos) << out;
  EXPECT_EQ(printed(print_json, {}), "[]\n");
}

// Cameras fresh from the factory share one address: every one of them says so.
TEST(DiscoverOutput, CamerasAtOneAddressAreMarkedOnEachRow) {
  const uint8_t kMacC[6] = {0x02, 0, 0, 0, 0, 0x0c};
  std::vector<Camera> cams = {from_text(kMacA, "10.0.0.2;80;m;g;d;M;F;S;T;N;9;0"),
                              from_text(kMacB, "10.0.0.3;80;m;g;d;M;F;S;T;N;9;0"),
                              from_text(kMacC, "10.0.0.2;80;m;g;d;M;F;S;T;N;9;0")};
  std::string json = printed(print_json, cams);
  size_t marked = 0;
  for (size_t at = json.find("\"cameras_at_ip\": 2}"); at != std::string::npos;
       at = json.find("\"cameras_at_ip\": 2}", at + 1))
    marked++;
  EXPECT_EQ(marked, 2u) << json;
  std::string table = printed(print_table, cams);
  EXPECT_NE(table.find("02:00:00:00:00:0a  10.0.0.2 (2 cameras)  m"), std::string::npos) << table;
  EXPECT_NE(table.find("02:00:00:00:00:0c  10.0.0.2 (2 cameras)  m"), std::string::npos) << table;
  EXPECT_NE(table.find("02:00:00:00:00:0b  10.0.0.3              m"), std::string::npos) << table;
}

// A search asks three times, so every camera answers about three times (and may announce
// itself in between): the list keeps one row per MAC, with the newest reply's fields.
TEST(DiscoverReplies, RepeatedRepliesMergeIntoOneRowWithTheNewestFields) {
  const uint8_t tool[6] = {0x02, 0, 0, 0, 0, 0x01};
  uint8_t frame[SEARCH_FRAME_LEN];
  CameraList list;
  ReplyFilter all;
  const char *const fromA[] = {"10.0.0.10;80;;;;;;;Gate 1;;100;0",
                               "10.0.0.10;80;;;;;;;Gate 1;;101;0",
                               "10.0.0.11;8080;;;;;;;Gate 2;;102;1"};
  for (const char *text : fromA) {
    search_build_search_reply(frame, tool, kMacA, text);
    EXPECT_TRUE(take_search_reply(&list, all, frame, sizeof(frame)));
    search_build_search_reply(frame, kBroadcastMac, kMacB, "10.0.0.9;80;;;;;;;B;;7;0");
    EXPECT_TRUE(take_search_reply(&list, all, frame, sizeof(frame)));  // an announcement
  }
  search_build_modify_reply(frame, tool, kMacA, 1, "10.9.9.9;81;;;;;;;Other;;103;0");
  EXPECT_FALSE(take_search_reply(&list, all, frame, sizeof(frame)));  // not a search reply

  ASSERT_EQ(list.cameras.size(), 2u);
  list.sort_by_ip();
  EXPECT_EQ(list.cameras[1].ip, "10.0.0.11");
  EXPECT_EQ(list.cameras[1].httpPort, 8080);
  EXPECT_EQ(list.cameras[1].title, "Gate 2");
  EXPECT_EQ(list.cameras[1].uptime, 102);
  EXPECT_EQ(printed(print_raw, list.cameras),
            "02:00:00:00:00:0b 10.0.0.9;80;;;;;;;B;;7;0\n"
            "02:00:00:00:00:0a 10.0.0.11;8080;;;;;;;Gate 2;;102;1\n");

  // UDP replies merge the same way; --mac keeps one camera's.
  uint8_t udp[TOVRIN_SEARCH_REPLY_LEN];
  CameraList udpList;
  ReplyFilter onlyB;
  onlyB.haveMac = true;
  memcpy(onlyB.mac, kMacB, 6);
  for (uint32_t host = 1; host <= 3; host++) {
    tovrin_build_search_reply(udp, kMacB, htonl(0x0a000000 + host), htonl(0xff000000), 0,
                              "N", "F");
    EXPECT_TRUE(take_udp_search_reply(&udpList, onlyB, udp, sizeof(udp)));
    tovrin_build_search_reply(udp, kMacA, htonl(0x0a000000 + host), 0, 0, "N", "F");
    EXPECT_FALSE(take_udp_search_reply(&udpList, onlyB, udp, sizeof(udp)));
  }
  ASSERT_EQ(udpList.cameras.size(), 1u);
  EXPECT_EQ(udpList.cameras[0].ip, "10.0.0.3");
}

TEST(DiscoverPasswords, ReadsOneOrTwoLinesAndRefusesLongOnes) {
  char path[] = "/tmp/discover-pw.XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  char current[17], fresh[17];
  auto with = [&](const std::string &content) {
    EXPECT_EQ(pwrite(fd, content.data(), content.size(), 0), (ssize_t)content.size());
    EXPECT_EQ(ftruncate(fd, (off_t)content.size()), 0);
    return passwords_from_file(path, current, fresh, sizeof(current));
  };
  EXPECT_EQ(with("s3cret\r\nn3w\n"), 0);
  EXPECT_STREQ(current, "s3cret");
  EXPECT_STREQ(fresh, "n3w");
  EXPECT_EQ(with("sixteen-chars-pw\n"), 0);  // exactly the most a password holds
  EXPECT_STREQ(current, "sixteen-chars-pw");
  EXPECT_STREQ(fresh, "");
  EXPECT_EQ(with("seventeen-chars-p\n"), -1);
  close(fd);
  unlink(path);
  EXPECT_EQ(passwords_from_file(path, current, fresh, sizeof(current)), -1);
}

}  // namespace
