// discover apply without a network: the plan reader's checks, the survey's verdicts,
// the modify text, and the order and pace of the modifies.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "search_proto.h"
#include "site_apply.h"
#include "site_plan.h"

namespace {

const uint8_t kMacA[6] = {0x02, 0, 0, 0, 0, 0x0a};
const uint8_t kMacB[6] = {0x02, 0, 0, 0, 0, 0x0b};
const uint8_t kMacC[6] = {0x02, 0, 0, 0, 0, 0x0c};

std::vector<std::string> problems_of(const std::string &text) {
  SitePlan plan;
  std::vector<std::string> errors;
  bool sound = read_site_plan(text, "p.csv", &plan, &errors);
  EXPECT_EQ(sound, errors.empty());
  return errors;
}

TEST(SitePlan, ReadsQuotedCellsCommentsAndSpreadsheetLineEnds) {
  SitePlan plan;
  std::vector<std::string> errors;
  ASSERT_TRUE(read_site_plan("\xef\xbb\xbfMAC, ip ,title,http_port\r\n"
                             "# east row\r\n\r\n"
                             "02-00-00-00-00-0A,10.0.0.5,\"Gate \"\"3\"\", east\",8080\r\n"
                             "02:00:00:00:00:0b,10.0.0.6,,\r\n",
                             "p.csv", &plan, &errors))
      << errors[0];
  ASSERT_EQ(plan.rows.size(), 2u);
  EXPECT_EQ(plan.rows[0].line, 4);
  EXPECT_EQ(memcmp(plan.rows[0].mac, kMacA, 6), 0);
  EXPECT_EQ(plan.rows[0].planned.title, "Gate \"3\", east");
  EXPECT_EQ(plan.rows[0].planned.httpPort, 8080);
  EXPECT_EQ(plan.rows[1].planned.title, "");   // empty: the camera keeps its own
  EXPECT_EQ(plan.rows[1].planned.httpPort, -1);
  EXPECT_EQ(plan.rows[1].planned.netmask, "");
}

TEST(SitePlan, ReportsEveryProblemOnItsLine) {
  const std::string head = "mac,ip,netmask,gateway,dns,http_port,title\n";
  const struct {
    std::string row, problem;
  } cases[] = {
      {"02:00:00:00:00:0g,10.0.0.5,,,,,", "p.csv:2: mac: '02:00:00:00:00:0g' is not a MAC"},
      {"02:00:00:00:00:0a:,10.0.0.5,,,,,", "p.csv:2: mac: '02:00:00:00:00:0a:' is not"},
      {"03:00:00:00:00:0a,10.0.0.5,,,,,", "p.csv:2: mac: 03:00:00:00:00:0a is a group address"},
      {"02:00:00:00:00:0a,,,,,,", "p.csv:2: ip: required"},
      {"02:00:00:00:00:0a,10.0.0.05,,,,,", "p.csv:2: ip: '10.0.0.05' is not an IPv4 address"},
      {"02:00:00:00:00:0a,10.0.0.0,255.255.255.0,,,,", "p.csv:2: ip: 10.0.0.0 is not an address"},
      {"02:00:00:00:00:0a,127.0.0.2,,,,,", "p.csv:2: ip: 127.0.0.2 is not an address"},
      {"02:00:00:00:00:0a,10.0.0.5,255.255.255.255,,,,", "p.csv:2: netmask: '255.255.255.255'"},
      {"02:00:00:00:00:0a,10.0.0.5,255.255.255.0,10.0.1.1,,,",
       "p.csv:2: gateway: 10.0.1.1 is outside the subnet of 10.0.0.5/255.255.255.0"},
      {"02:00:00:00:00:0a,10.0.0.5,,,1.2.3,,", "p.csv:2: dns: '1.2.3' is not an IPv4"},
      {"02:00:00:00:00:0a,10.0.0.5,,,,0,", "p.csv:2: http_port: '0' is not a port"},
      {"02:00:00:00:00:0a,10.0.0.5,,,,65536,", "p.csv:2: http_port: '65536' is not a port"},
      {"02:00:00:00:00:0a,10.0.0.5,,,,,a;b", "p.csv:2: title: holds ';'"},
      {"02:00:00:00:00:0a,10.0.0.5,,,,," + std::string(128, 't'),
       "p.csv:2: title: 128 bytes, the camera takes at most 127"},
      {"02:00:00:00:00:0a,10.0.0.5,,,,,\"open", "p.csv:2: a quoted cell has no closing quote"},
      {"02:00:00:00:00:0a,10.0.0.5", "p.csv:2: 2 cells, the header has 7"},
      {std::string("02:00:00:00:00:0a,10.0.0.5\0x,,,,,", 33), "p.csv:2: holds a NUL byte"},
  };
  for (const auto &c : cases) {
    std::vector<std::string> errors = problems_of(head + c.row + "\n");
    ASSERT_EQ(errors.size(), 1u) << c.row;
    EXPECT_EQ(errors[0].compare(0, c.problem.size(), c.problem), 0) << errors[0];
  }
  // Both sides of the edges: a 127-byte title, port 65535, a gateway in the subnet.
  EXPECT_TRUE(problems_of(head + "02:00:00:00:00:0a,10.0.0.5,255.255.255.0,10.0.0.1,,65535," +
                          std::string(127, 't') + "\n")
                  .empty());
}

TEST(SitePlan, RefusesDuplicatesUnknownColumnsAndEmptyPlans) {
  std::vector<std::string> errors =
      problems_of("mac,ip\n02:00:00:00:00:0a,10.0.0.5\n02:00:00:00:00:0A,10.0.0.6\n"
                  "02:00:00:00:00:0b,10.0.0.5\n");
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0], "p.csv:3: mac 02:00:00:00:00:0a: also on line 2");
  EXPECT_EQ(errors[1], "p.csv:4: ip 10.0.0.5: also on line 2");
  errors = problems_of("mac,ip,vlan,ip\n");
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].rfind("p.csv:1: unknown column 'vlan'", 0), 0u);
  EXPECT_EQ(errors[1], "p.csv:1: column 'ip' twice");
  EXPECT_EQ(problems_of("mac,title\n"), std::vector<std::string>{"p.csv:1: no 'ip' column"});
  EXPECT_EQ(problems_of("# nothing\n"), std::vector<std::string>{"p.csv: no header line (mac,ip,...)"});
  EXPECT_EQ(problems_of("mac,ip\n"), std::vector<std::string>{"p.csv: no camera rows"});
}

Camera camera(const uint8_t *mac, const char *text) {
  Camera c;
  camera_from_reply_text(&c, mac, text);
  return c;
}

PlanRow row(const uint8_t *mac, const char *ip, const char *title = "") {
  PlanRow r;
  memcpy(r.mac, mac, 6);
  r.planned.ip = ip;
  r.planned.title = title;
  return r;
}

TEST(SiteSurvey, JudgesEachRowAndFindsConflicts) {
  const char *factory = "192.168.1.100;80;255.255.255.0;192.168.1.1;8.8.8.8;M;F;S;T;N;9;0";
  std::vector<Camera> heard = {camera(kMacA, factory), camera(kMacB, factory),
                               camera(kMacC, "10.0.0.7;80;255.0.0.0;10.0.0.1;8.8.8.8;M;F;S;T;N;9;0")};
  SitePlan plan;
  plan.rows = {row(kMacA, "10.0.0.5"), row(kMacB, "192.168.1.100", "T")};
  std::vector<RowState> rows = survey_site(plan, heard);
  // A moves away, so B may keep the factory address; C is not in the plan.
  EXPECT_EQ(rows[0].result, ROW_TO_CHANGE);
  EXPECT_EQ(rows[1].result, ROW_UNCHANGED);
  plan.rows = {row(kMacA, "10.0.0.7"), row(kMacB, "192.168.1.100")};
  rows = survey_site(plan, heard);
  EXPECT_EQ(rows[0].result, ROW_CONFLICT);  // C answers at 10.0.0.7 and stays there
  EXPECT_EQ(rows[0].conflictWith, "02:00:00:00:00:0c");
  plan.rows = {row(kMacA, "10.0.0.5")};
  rows = survey_site(plan, heard);
  EXPECT_EQ(rows[0].result, ROW_TO_CHANGE);  // A leaves; nobody else plans its address
  plan.rows = {row(kMacB, "192.168.1.100")};
  EXPECT_EQ(survey_site(plan, heard)[0].result, ROW_CONFLICT);  // A stays at it
  const uint8_t absent[6] = {0x02, 0, 0, 0, 0, 0x0d};
  plan.rows = {row(absent, "10.0.0.9")};
  EXPECT_EQ(survey_site(plan, heard)[0].result, ROW_NOT_FOUND);
  // DHCP on: the planned static address is a change even when the live one matches.
  heard = {camera(kMacA, "10.0.0.5;80;255.0.0.0;10.0.0.1;8.8.8.8;M;F;S;T;N;9;1")};
  plan.rows = {row(kMacA, "10.0.0.5")};
  EXPECT_EQ(survey_site(plan, heard)[0].result, ROW_TO_CHANGE);
}

TEST(SiteModifyText, PlansWhatIsGivenAndKeepsTheRestInItsPlace) {
  Camera c = camera(kMacA, "192.168.1.100;8080;255.255.255.0;;8.8.8.8;M;F;S;Gate 2;N;9;0");
  PlannedSettings p;
  p.ip = "10.0.0.5";
  p.gateway = "10.0.0.1";
  std::string text;
  ASSERT_TRUE(site_modify_text(c, p, "admin", "pw", &text));
  EXPECT_EQ(text, "10.0.0.5;8080;255.255.255.0;10.0.0.1;8.8.8.8;Gate 2;admin;pw");
  // Kept pieces that are empty or unsendable become pieces the camera does not take,
  // so that each later piece stays in its position.
  c = camera(kMacA, "192.168.1.100;80;255.255.255.0;;;M;F;S;;N;9;0");
  p = PlannedSettings();
  p.ip = "10.0.0.5";
  ASSERT_TRUE(site_modify_text(c, p, "admin", "pw", &text));
  EXPECT_EQ(text, "10.0.0.5;80;255.255.255.0;-;-;\x01;admin;pw");
  SearchModifyFields fields;
  search_split_modify_text(text.c_str(), text.size(), &fields);
  EXPECT_STREQ(fields.field[MODIFY_PASSWORD], "pw");
  c.httpPort = -1;  // no port reported and none planned: nothing safe to send
  EXPECT_FALSE(site_modify_text(c, p, "admin", "pw", &text));
}

TEST(ModifyQueue, AsksOneCameraUntilOneAcceptsThenAWindow) {
  ModifyQueue queue(5, 2, 1000);
  EXPECT_EQ(queue.due(0), std::vector<size_t>{0});
  EXPECT_TRUE(queue.due(10).empty());  // nothing more until the first answers
  queue.answered(0, true);
  EXPECT_EQ(queue.due(20), (std::vector<size_t>{1, 2}));
  queue.answered(2, true);
  EXPECT_EQ(queue.due(30), std::vector<size_t>{3});
  queue.answered(1, true);
  queue.answered(3, true);
  EXPECT_EQ(queue.due(40), std::vector<size_t>{4});
  queue.answered(4, true);
  EXPECT_TRUE(queue.done());
}

TEST(ModifyQueue, TheFirstRefusalStopsTheSending) {
  ModifyQueue queue(3, 8, 1000);
  queue.due(0);
  queue.answered(0, false);
  EXPECT_TRUE(queue.due(10).empty());
  EXPECT_TRUE(queue.done());
  EXPECT_EQ(queue.outcome(0), ModifyQueue::REFUSED);
  EXPECT_EQ(queue.outcome(1), ModifyQueue::NOT_SENT);
  EXPECT_EQ(queue.outcome(2), ModifyQueue::NOT_SENT);
  // A refusal while another is being asked: nobody new is asked, and the one being
  // asked is not asked again.
  ModifyQueue window(4, 2, 1000);
  window.due(0);
  window.answered(0, true);
  EXPECT_EQ(window.due(10), (std::vector<size_t>{1, 2}));
  window.answered(1, false);
  EXPECT_TRUE(window.due(20).empty());
  EXPECT_FALSE(window.done());
  EXPECT_TRUE(window.due(1010).empty());  // no second ask after a refusal
  EXPECT_TRUE(window.done());
  EXPECT_EQ(window.outcome(2), ModifyQueue::NO_ANSWER);
  EXPECT_EQ(window.outcome(3), ModifyQueue::NOT_SENT);
}

TEST(ModifyQueue, ASilentCameraIsAskedOnceMoreThenTheNextIsTried) {
  ModifyQueue queue(2, 8, 1000);
  EXPECT_EQ(queue.due(0), std::vector<size_t>{0});
  EXPECT_EQ(queue.next_deadline(), 1000);
  EXPECT_TRUE(queue.due(999).empty());
  EXPECT_EQ(queue.due(1000), std::vector<size_t>{0});  // the second ask
  EXPECT_EQ(queue.attempts(0), 2);
  EXPECT_EQ(queue.due(2000), std::vector<size_t>{1});  // given up: the next camera
  EXPECT_EQ(queue.outcome(0), ModifyQueue::NO_ANSWER);
  queue.answered(0, true);  // a late answer changes nothing
  EXPECT_EQ(queue.outcome(0), ModifyQueue::NO_ANSWER);
  queue.stop(true);         // Ctrl-C: the camera being asked has not answered
  EXPECT_TRUE(queue.done());
  EXPECT_EQ(queue.outcome(1), ModifyQueue::NO_ANSWER);
  EXPECT_EQ(queue.next_deadline(), -1);
}

TEST(SiteVerify, TheSearchAfterSaysWhetherTheCameraHoldsThePlan) {
  PlannedSettings p;
  p.ip = "10.0.0.5";
  p.title = "Bay 1";
  Camera holds = camera(kMacA, "10.0.0.5;80;255.0.0.0;10.0.0.1;8.8.8.8;M;F;S;Bay 1;N;9;0");
  Camera other = camera(kMacA, "10.0.0.5;80;255.0.0.0;10.0.0.1;8.8.8.8;M;F;S;Bay 9;N;9;0");
  EXPECT_EQ(verified_result(ModifyQueue::ACCEPTED, true, holds, p), ROW_APPLIED);
  EXPECT_EQ(verified_result(ModifyQueue::ACCEPTED, true, other, p), ROW_MISMATCH);
  EXPECT_EQ(verified_result(ModifyQueue::ACCEPTED, false, holds, p), ROW_NO_ANSWER);
  EXPECT_EQ(verified_result(ModifyQueue::NO_ANSWER, true, holds, p), ROW_APPLIED);
  EXPECT_EQ(verified_result(ModifyQueue::NO_ANSWER, true, other, p), ROW_NO_ANSWER);
  EXPECT_EQ(verified_result(ModifyQueue::REFUSED, true, holds, p), ROW_REFUSED);
  EXPECT_EQ(verified_result(ModifyQueue::NOT_SENT, true, holds, p), ROW_NOT_SENT);
}

}  // namespace
