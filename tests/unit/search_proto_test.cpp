// Discovery frames and datagrams, byte by byte.
#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <string.h>

#include <string>
#include <vector>

#include "search_proto.h"

namespace {

const uint8_t kCamera[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
const uint8_t kTool[6] = {0x02, 0xaa, 0xbb, 0xcc, 0xdd, 0xee};

std::vector<uint8_t> header(uint8_t op18, uint8_t op19, const uint8_t *src = kTool) {
  std::vector<uint8_t> f = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
  f.insert(f.end(), src, src + 6);
  f.insert(f.end(), {0x08, 0x09, 0x20, 0x12, 0x06, 0x10, op18, op19});
  return f;
}

std::vector<uint8_t> modify_frame(const std::string &text, bool terminate = true) {
  std::vector<uint8_t> f = header(0x00, 0x02);
  f.insert(f.end(), kCamera, kCamera + 6);
  f.insert(f.end(), text.begin(), text.end());
  if (terminate) f.push_back(0);
  return f;
}

TEST(SearchFrame, ClassifiesByTheSumOfTheOperationBytes) {
  SearchRequest req;
  auto search = header(0, 0);
  search.push_back(0);  // 21 bytes: more than the header
  EXPECT_EQ(search_parse_frame(search.data(), search.size(), kCamera, &req), SEARCH_REQ_SEARCH);
  EXPECT_EQ(memcmp(req.requester, kTool, 6), 0);

  for (auto ops : std::vector<std::pair<uint8_t, uint8_t>>{{0, 2}, {1, 1}, {2, 0}}) {
    auto f = header(ops.first, ops.second);
    f.insert(f.end(), kCamera, kCamera + 6);
    f.push_back(0);
    EXPECT_EQ(search_parse_frame(f.data(), f.size(), kCamera, &req), SEARCH_REQ_MODIFY)
        << int(ops.first) << "," << int(ops.second);
  }
  for (auto ops : std::vector<std::pair<uint8_t, uint8_t>>{{0, 1}, {0, 3}, {0xff, 0x03}}) {
    auto f = header(ops.first, ops.second);
    f.resize(40);
    EXPECT_EQ(search_parse_frame(f.data(), f.size(), kCamera, &req), SEARCH_REQ_IGNORE);
  }
}

TEST(SearchFrame, IgnoresHeaderOnlyOwnAndUnsignedFrames) {
  SearchRequest req;
  auto exact = header(0, 0);  // 20 bytes: a valid header but nothing more
  EXPECT_EQ(search_parse_frame(exact.data(), exact.size(), kCamera, &req), SEARCH_REQ_IGNORE);
  auto own = header(0, 0, kCamera);
  own.resize(60);
  EXPECT_EQ(search_parse_frame(own.data(), own.size(), kCamera, &req), SEARCH_REQ_IGNORE);
  auto unsigned_ = header(0, 0);
  unsigned_.resize(60);
  unsigned_[17] = 0x11;
  EXPECT_EQ(search_parse_frame(unsigned_.data(), unsigned_.size(), kCamera, &req),
            SEARCH_REQ_IGNORE);
  // Another EtherType, even with the signature and a search operation.
  for (auto type : std::vector<std::pair<uint8_t, uint8_t>>{{0x08, 0x00}, {0x09, 0x08}}) {
    auto other = header(0, 0);
    other.resize(60);
    other[12] = type.first;
    other[13] = type.second;
    EXPECT_EQ(search_parse_frame(other.data(), other.size(), kCamera, &req), SEARCH_REQ_IGNORE);
  }
  // A group source address (broadcast, multicast) is no real sender.
  const uint8_t broadcast[6] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
  const uint8_t multicast[6] = {0x01, 0x00, 0x5e, 0x00, 0x00, 0x01};
  for (const uint8_t *src : {broadcast, multicast}) {
    auto group = header(0, 0, src);
    group.resize(60);
    EXPECT_EQ(search_parse_frame(group.data(), group.size(), kCamera, &req), SEARCH_REQ_IGNORE);
  }
}

TEST(SearchFrame, ModifyNeedsOurMacAndAWholeTarget) {
  SearchRequest req;
  auto f = modify_frame("1.2.3.4");
  const uint8_t other[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x56};
  EXPECT_EQ(search_parse_frame(f.data(), f.size(), other, &req), SEARCH_REQ_IGNORE);
  EXPECT_EQ(search_parse_frame(f.data(), f.size(), nullptr, &req), SEARCH_REQ_IGNORE);
  // Shorter than 26 bytes: the target MAC is cut, the frame is ignored. The copy on the
  // heap is exactly as long as captured, so a read past it shows under ASan.
  for (size_t len = 21; len < 26; len++) {
    std::vector<uint8_t> cut(f.begin(), f.begin() + len);
    EXPECT_EQ(search_parse_frame(cut.data(), cut.size(), kCamera, &req), SEARCH_REQ_IGNORE)
        << len;
  }
  std::vector<uint8_t> bare(f.begin(), f.begin() + 26);
  ASSERT_EQ(search_parse_frame(bare.data(), bare.size(), kCamera, &req), SEARCH_REQ_MODIFY);
  EXPECT_EQ(req.textLen, 0u);
}

TEST(SearchFrame, ModifyTextEndsAtNulOrAtTheCapturedLength) {
  SearchRequest req;
  auto f = modify_frame("1.2.3.4;80");
  f.insert(f.end(), {'j', 'u', 'n', 'k'});
  ASSERT_EQ(search_parse_frame(f.data(), f.size(), kCamera, &req), SEARCH_REQ_MODIFY);
  EXPECT_EQ(std::string(req.text, req.textLen), "1.2.3.4;80");

  auto open = modify_frame("1.2.3.4;80;255.0.0.0", false);
  std::vector<uint8_t> exact(open.begin(), open.end());  // no NUL anywhere
  ASSERT_EQ(search_parse_frame(exact.data(), exact.size(), kCamera, &req), SEARCH_REQ_MODIFY);
  EXPECT_EQ(std::string(req.text, req.textLen), "1.2.3.4;80;255.0.0.0");
  SearchModifyFields fields;
  search_split_modify_text(req.text, req.textLen, &fields);
  EXPECT_STREQ(fields.field[MODIFY_NETMASK], "255.0.0.0");
}

TEST(SearchEscape, PrintableAsItIsEverythingElseAsHex) {
  char out[64];
  const std::string plain = "10.0.0.1;Gate 4;~!";
  EXPECT_EQ(search_escape_text(plain.data(), plain.size(), out, sizeof(out)), plain.size());
  EXPECT_STREQ(out, plain.c_str());
  const std::string raw("a\\b\r\n\x1b[2J\x7f\x80\xff\0z", 14);
  search_escape_text(raw.data(), raw.size(), out, sizeof(out));
  EXPECT_STREQ(out, "a\\\\b\\x0d\\x0a\\x1b[2J\\x7f\\x80\\xff\\x00z");
  // Cut before an escape that does not fit whole.
  EXPECT_EQ(search_escape_text("ab\x01", 3, out, 5), 2u);
  EXPECT_STREQ(out, "ab");
  EXPECT_EQ(search_escape_text("a\\", 2, out, 3), 1u);
  EXPECT_STREQ(out, "a");
}

TEST(SearchAddress, NetmasksNeedContiguousOnesAndAHostPart) {
  for (const char *mask : {"255.255.255.0", "255.0.0.0", "128.0.0.0", "255.255.255.252",
                           "255.255.254.0"})
    EXPECT_TRUE(search_netmask_is_usable(mask)) << mask;
  for (const char *mask : {"0.0.0.0", "255.255.255.255", "255.0.255.0", "0.255.255.255",
                           "255.255.255.253", "255.255.0", "mask"})
    EXPECT_FALSE(search_netmask_is_usable(mask)) << mask;
}

TEST(SearchAddress, HostAddressesOutsideSpecialRangesAndSubnetEnds) {
  for (const char *ip : {"0.0.0.0", "0.1.2.3", "255.255.255.255", "127.0.0.1", "224.0.0.1",
                         "239.255.255.255", "240.0.0.7", "10.0.0"})
    EXPECT_FALSE(search_host_address_is_usable(ip, "255.0.0.0")) << ip;
  EXPECT_TRUE(search_host_address_is_usable("1.0.0.1", "255.0.0.0"));
  EXPECT_TRUE(search_host_address_is_usable("223.255.255.254", "255.255.255.0"));
  // The ends of the subnet under a usable mask; any host between them is fine.
  EXPECT_FALSE(search_host_address_is_usable("192.168.1.0", "255.255.255.0"));
  EXPECT_FALSE(search_host_address_is_usable("192.168.1.255", "255.255.255.0"));
  EXPECT_TRUE(search_host_address_is_usable("192.168.0.255", "255.255.254.0"));
  EXPECT_FALSE(search_host_address_is_usable("10.0.0.3", "255.255.255.252"));
  EXPECT_TRUE(search_host_address_is_usable("10.0.0.2", "255.255.255.252"));
  // A mask that is no netmask says nothing about the subnet.
  EXPECT_TRUE(search_host_address_is_usable("192.168.1.0", "255.0.255.0"));
}

TEST(SearchAddress, GatewayMustLieInTheSubnetOfTheAddress) {
  EXPECT_TRUE(search_gateway_in_subnet("10.0.0.1", "10.0.0.5", "255.255.255.0"));
  EXPECT_FALSE(search_gateway_in_subnet("192.168.1.1", "10.0.0.5", "255.255.255.0"));
  EXPECT_FALSE(search_gateway_in_subnet("10.0.1.1", "10.0.0.5", "255.255.255.0"));
  EXPECT_TRUE(search_gateway_in_subnet("10.0.1.1", "10.0.0.5", "255.255.254.0"));
  // No subnet to judge by: no address, or a mask that is no netmask.
  EXPECT_TRUE(search_gateway_in_subnet("192.168.1.1", "", "255.255.255.0"));
  EXPECT_TRUE(search_gateway_in_subnet("192.168.1.1", "10.0.0.5", "255.0.255.0"));
}

// The listener's kernel filter, compiled and run by libpcap on frames: it passes what
// search_parse_frame acts on and drops the rest, so a flood of anything else costs
// the responder nothing.
TEST(SearchCaptureFilter, PassesOnlyRequestsTheResponderServes) {
  pcap_t *dead = pcap_open_dead(DLT_EN10MB, 1024);
  ASSERT_NE(dead, nullptr);
  auto passes = [&](const uint8_t *ownMac, std::vector<uint8_t> frame) {
    char text[512];
    search_capture_filter(text, sizeof(text), ownMac);
    struct bpf_program program;
    EXPECT_EQ(pcap_compile(dead, &program, text, 1, 0), 0) << text << ": " << pcap_geterr(dead);
    frame.resize(frame.size() < 60 ? 60 : frame.size());
    struct pcap_pkthdr h = {};
    h.caplen = h.len = (bpf_u_int32)frame.size();
    const bool pass = pcap_offline_filter(&program, &h, frame.data()) != 0;
    pcap_freecode(&program);
    return pass;
  };
  std::vector<uint8_t> search = header(0x00, 0x00);
  EXPECT_TRUE(passes(kCamera, search));
  EXPECT_TRUE(passes(nullptr, search));
  EXPECT_TRUE(passes(kCamera, modify_frame("x")));
  std::vector<uint8_t> bySum = modify_frame("x");
  bySum[18] = bySum[19] = 0x01;  // a modify by the sum of its operation bytes
  EXPECT_TRUE(passes(kCamera, bySum));
  EXPECT_FALSE(passes(nullptr, modify_frame("x")));  // no MAC: no modify is served
  std::vector<uint8_t> unicast = search;
  memcpy(unicast.data(), kCamera, 6);
  EXPECT_TRUE(passes(kCamera, unicast));
  unicast[5] ^= 1;  // to another host, seen only because the capture is promiscuous
  EXPECT_FALSE(passes(kCamera, unicast));
  std::vector<uint8_t> other = modify_frame("x");
  other[25] ^= 1;  // for another camera
  EXPECT_FALSE(passes(kCamera, other));
  EXPECT_FALSE(passes(kCamera, header(0x00, 0x01)));  // a reply
  const uint8_t group[6] = {0x03, 0, 0, 0, 0, 1};
  EXPECT_FALSE(passes(kCamera, header(0x00, 0x00, group)));
  std::vector<uint8_t> unsigned_ = search;
  unsigned_[14] ^= 1;
  EXPECT_FALSE(passes(kCamera, unsigned_));
  std::vector<uint8_t> otherType = search;
  otherType[13] = 0x00;
  EXPECT_FALSE(passes(kCamera, otherType));
  pcap_close(dead);
}

TEST(SearchSplit, EmptyPiecesDoNotTakeAPosition) {
  SearchModifyFields f;
  const std::string text = "192.168.1.10;;80;255.255.255.0";
  search_split_modify_text(text.c_str(), text.size(), &f);
  EXPECT_STREQ(f.field[MODIFY_IP], "192.168.1.10");
  EXPECT_STREQ(f.field[MODIFY_HTTP_PORT], "80");
  EXPECT_STREQ(f.field[MODIFY_NETMASK], "255.255.255.0");
  EXPECT_STREQ(f.field[MODIFY_GATEWAY], "");

  const std::string lead = ";;a;b;c;d;e;f;g;h;i;j";
  search_split_modify_text(lead.c_str(), lead.size(), &f);
  EXPECT_STREQ(f.field[MODIFY_IP], "a");
  EXPECT_STREQ(f.field[MODIFY_PASSWORD], "h");  // pieces after the eighth are dropped
}

TEST(SearchSplit, CutsLongFieldsAndStopsAtLengthOrNul) {
  SearchModifyFields f;
  std::string text = std::string(300, 'x') + ";80";
  search_split_modify_text(text.c_str(), text.size(), &f);
  EXPECT_EQ(strlen(f.field[MODIFY_IP]), 127u);
  EXPECT_STREQ(f.field[MODIFY_HTTP_PORT], "80");

  const char withNul[] = "1.1.1.1;8\0;99";
  search_split_modify_text(withNul, sizeof(withNul), &f);
  EXPECT_STREQ(f.field[MODIFY_HTTP_PORT], "8");
  EXPECT_STREQ(f.field[MODIFY_NETMASK], "");
  search_split_modify_text("1.1.1.1;8080", 9, &f);  // length ends the text mid-field
  EXPECT_STREQ(f.field[MODIFY_HTTP_PORT], "8");
}

SearchReplyInfo sample_info() {
  SearchReplyInfo info = {"192.168.0.190", 80, "255.255.255.0", "192.168.0.1", "8.8.8.8",
                          "QZ-PK200", "V1.2.0", "SN1", "Gate 4", "OEM-1", 1234, 0};
  return info;
}

TEST(SearchReply, SearchReplyBytes) {
  char text[SEARCH_REPLY_TEXT_SIZE];
  SearchReplyInfo info = sample_info();
  search_format_reply_text(text, sizeof(text), &info);
  EXPECT_STREQ(text,
               "192.168.0.190;80;255.255.255.0;192.168.0.1;8.8.8.8;QZ-PK200;V1.2.0;SN1;"
               "Gate 4;OEM-1;1234;0");
  uint8_t frame[SEARCH_FRAME_LEN];
  memset(frame, 0xee, sizeof(frame));
  search_build_search_reply(frame, kTool, kCamera, text);
  const uint8_t head[20] = {0x02, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0x00, 0x11, 0x22, 0x33,
                            0x44, 0x55, 0x08, 0x09, 0x20, 0x12, 0x06, 0x10, 0x00, 0x01};
  EXPECT_EQ(memcmp(frame, head, 20), 0);
  EXPECT_STREQ((const char *)frame + 20, text);
  for (size_t i = 20 + strlen(text); i < SEARCH_FRAME_LEN; i++) ASSERT_EQ(frame[i], 0) << i;
}

TEST(SearchReply, ModifyReplyBytesAndLongTextsAreCut) {
  std::string longTitle(300, 'T');
  SearchReplyInfo info = sample_info();
  info.title = longTitle.c_str();
  char text[SEARCH_MODIFY_REPLY_TEXT_SIZE];
  search_format_reply_text(text, sizeof(text), &info);
  EXPECT_EQ(strlen(text), 232u);
  uint8_t frame[SEARCH_FRAME_LEN];
  search_build_modify_reply(frame, kTool, kCamera, 1, text);
  EXPECT_EQ(frame[18], 0x00);
  EXPECT_EQ(frame[19], 0x03);
  EXPECT_EQ(memcmp(frame + 20, kTool, 6), 0);
  EXPECT_EQ(frame[26], 1);
  EXPECT_EQ(memcmp(frame + 27, text, 232), 0);
  EXPECT_EQ(frame[259], 0);

  char searchText[SEARCH_REPLY_TEXT_SIZE];
  search_format_reply_text(searchText, sizeof(searchText), &info);
  EXPECT_EQ(strlen(searchText), 239u);
  search_build_search_reply(frame, kTool, kCamera, searchText);
  EXPECT_EQ(frame[258], 'T');
  EXPECT_EQ(frame[259], 0);
}

TEST(SearchReply, ClientParsesWhatTheCameraBuilds) {
  uint8_t frame[SEARCH_FRAME_LEN];
  search_build_modify_reply(frame, kTool, kCamera, 0, "a;b");
  SearchReply reply;
  ASSERT_EQ(search_parse_reply(frame, sizeof(frame), &reply), 0);
  EXPECT_EQ(reply.operation, SEARCH_OP_MODIFY_REPLY);
  EXPECT_EQ(reply.result, 0);
  EXPECT_STREQ(reply.text, "a;b");
  EXPECT_EQ(memcmp(reply.camera, kCamera, 6), 0);
  EXPECT_EQ(search_parse_reply(frame, 26, &reply), -1);

  uint8_t req[64];
  size_t len = search_build_modify_request(req, sizeof(req), kTool, kCamera, "1.2.3.4;80");
  SearchRequest parsed;
  ASSERT_EQ(search_parse_frame(req, len, kCamera, &parsed), SEARCH_REQ_MODIFY);
  EXPECT_EQ(std::string(parsed.text, parsed.textLen), "1.2.3.4;80");
  EXPECT_EQ(search_build_modify_request(req, 30, kTool, kCamera, "1.2.3.4;80"), 0u);
}

TEST(SearchUptime, WholeSecondsOfTheFirstValue) {
  EXPECT_EQ(search_parse_uptime("1234.56 4567.89\n"), 1234);
  EXPECT_EQ(search_parse_uptime("7 1\n"), 7);
  EXPECT_EQ(search_parse_uptime(""), 0);
  EXPECT_EQ(search_parse_uptime("x12"), 0);
}

// The usual Internet checksum: big-endian words, folded, complemented.
uint16_t standard_checksum(const uint8_t *data, size_t len) {
  uint32_t sum = 0;
  for (size_t i = 0; i < len; i += 2)
    sum += (uint32_t)(data[i] << 8) | (i + 1 < len ? data[i + 1] : 0);
  while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
  return (uint16_t)~sum;
}

TEST(TovrinChecksum, PutsTheStandardBytesOnTheWire) {
  const uint8_t rfc[] = {0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7};
  uint16_t le = tovrin_checksum(rfc, sizeof(rfc));
  uint16_t be = standard_checksum(rfc, sizeof(rfc));
  EXPECT_EQ(le & 0xff, be >> 8);  // stored little-endian = stored big-endian
  EXPECT_EQ(le >> 8, be & 0xff);
  const uint8_t odd[] = {0x12, 0x34, 0x56};
  EXPECT_EQ(tovrin_checksum(odd, 3), (uint16_t) ~(0x3412 + 0x0056));
  EXPECT_EQ(tovrin_checksum(nullptr, 0), 0xffff);
}

TEST(TovrinReply, SearchReplyBytesVerifyToZero) {
  uint8_t out[TOVRIN_SEARCH_REPLY_LEN];
  uint32_t ip, mask, gw;
  const uint8_t ipb[4] = {10, 0, 0, 5}, maskb[4] = {255, 0, 0, 0}, gwb[4] = {10, 0, 0, 1};
  memcpy(&ip, ipb, 4);
  memcpy(&mask, maskb, 4);
  memcpy(&gw, gwb, 4);
  std::string longName(40, 'N');
  tovrin_build_search_reply(out, kCamera, ip, mask, gw, longName.c_str(),
                            "FIRMWARE-0123456789");
  EXPECT_EQ(memcmp(out, "TOVRINut\x00\x70", 10), 0);
  EXPECT_EQ(memcmp(out + 10, kCamera, 6), 0);
  EXPECT_EQ(memcmp(out + 16, "D000", 4), 0);
  EXPECT_EQ(memcmp(out + 20, ipb, 4), 0);
  EXPECT_EQ(memcmp(out + 24, maskb, 4), 0);
  EXPECT_EQ(memcmp(out + 28, gwb, 4), 0);
  EXPECT_EQ(strlen((const char *)out + 32), 31u);
  EXPECT_EQ(memcmp(out + 64, "FIRMWARE-0123456", 16), 0);
  EXPECT_EQ(memcmp(out + 80, out + 32, 32), 0);
  EXPECT_EQ(standard_checksum(out, sizeof(out)), 0);
}

TEST(TovrinReply, ModifyReplyBytes) {
  uint8_t out[TOVRIN_MODIFY_REPLY_LEN];
  tovrin_build_modify_reply(out, kCamera, "Successfully.");
  EXPECT_EQ(out[9], 0x30);
  EXPECT_STREQ((const char *)out + 16, "Successfully.");
  for (int i = 16 + 13; i < 48; i++) ASSERT_EQ(out[i], 0) << i;
  EXPECT_EQ(standard_checksum(out, sizeof(out)), 0);
}

TEST(TovrinRequest, ClassifiesOnlyServedCommandsOfMoreThanTenBytes) {
  uint8_t req[16];
  tovrin_build_search_request(req, sizeof(req));
  EXPECT_EQ(tovrin_classify(req, 10), -1);
  EXPECT_EQ(tovrin_classify(req, 11), TOVRIN_CMD_SEARCH);
  req[8] = 1;
  EXPECT_EQ(tovrin_classify(req, 16), -1);
  req[8] = 0;
  req[9] = TOVRIN_CMD_SEARCH_REPLY;
  EXPECT_EQ(tovrin_classify(req, 16), -1);
  req[0] = 't';
  req[9] = TOVRIN_CMD_MODIFY;
  EXPECT_EQ(tovrin_classify(req, 16), -1);
}

TEST(TovrinRequest, ModifyRoundTripAndPasswordCoding) {
  uint8_t req[TOVRIN_MODIFY_LEN];
  const uint8_t ipb[4] = {10, 0, 0, 5};
  uint32_t ip;
  memcpy(&ip, ipb, 4);
  tovrin_build_modify_request(req, kCamera, ip, 0, 0xffffffffu, "Gate\r\n4", "admin",
                              "0123456789abcdef");
  EXPECT_EQ(req[64], 0x16);  // 'a' 0x61 travels as 0x16
  TovrinModify m;
  tovrin_parse_modify(req, sizeof(req), &m);
  EXPECT_EQ(memcmp(m.target, kCamera, 6), 0);
  EXPECT_STREQ(m.ip, "10.0.0.5");
  EXPECT_STREQ(m.netmask, "0.0.0.0");
  EXPECT_STREQ(m.gateway, "255.255.255.255");
  EXPECT_STREQ(m.title, "Gate\r\n4");
  EXPECT_STREQ(m.password, "admin");
  EXPECT_STREQ(m.newPassword, "0123456789abcdef");  // 16 bytes, no terminator on the wire
  EXPECT_EQ(m.checksumComputed, m.checksumReceived);
  req[96] ^= 1;
  tovrin_parse_modify(req, sizeof(req), &m);
  EXPECT_NE(m.checksumComputed, m.checksumReceived);
}

TEST(TovrinRequest, ShortModifyReadsMissingBytesAsZero) {
  uint8_t req[TOVRIN_MODIFY_LEN];
  tovrin_build_modify_request(req, kCamera, 0x0100000a, 0, 0, "A title", "admin", "");
  // Cut inside the password: the rest counts as zero, checksum bytes included.
  std::vector<uint8_t> cut(req, req + 67);
  TovrinModify m;
  tovrin_parse_modify(cut.data(), cut.size(), &m);
  EXPECT_STREQ(m.title, "A title");
  EXPECT_STREQ(m.password, "adm");
  EXPECT_STREQ(m.newPassword, "");
  EXPECT_EQ(m.checksumReceived, 0);

  // A title without a NUL is cut to 31 characters.
  memset(req + 32, 'x', 32);
  tovrin_parse_modify(req, sizeof(req), &m);
  EXPECT_EQ(strlen(m.title), 31u);
}

}  // namespace
