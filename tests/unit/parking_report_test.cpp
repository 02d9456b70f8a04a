// The car and space list texts, the report sequence, the clear operation, the
// verbose prints and the requests from the control process.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "parking.h"
#include "parking_test_util.h"
#include "stdout_capture.h"

namespace {

const char kEmptySpaces[] = "0:0:0:0:0:0:0:0:0:0:0:0:0:0";

class Report : public testing::Test {
 protected:
  void SetUp() override {
    parking_report_reset();
    capture_sends();
    g_parkingVerbose = 0;
  }
  void TearDown() override { g_parkingVerbose = 0; }

  // The data of captured message k as text, after checking the fixed parts.
  std::string text_of(int k, int id) {
    EXPECT_LT(k, sent_count());
    const SentMessage &m = sent(k);
    EXPECT_EQ(m.target, 1);
    EXPECT_EQ(m.id, id);
    EXPECT_EQ(m.length, PARKING_DATA_LEN);
    size_t len = strnlen(m.data, PARKING_DATA_LEN);
    EXPECT_LT(len, (size_t)PARKING_DATA_LEN);
    for (size_t b = len; b < PARKING_DATA_LEN; b++)
      if (m.data[b] != 0) {
        ADD_FAILURE() << "byte " << b << " after the text is not zero";
        break;
      }
    return std::string(m.data, len);
  }

  struct {
    ParkingWork work;
  } r_;
};

std::string cars_text(const CarBox *cars, int n) {
  std::unique_ptr<char[]> out(new char[PARKING_DATA_LEN]);
  parking_format_cars(out.get(), cars, n);
  return out.get();
}

TEST(ReportText, CarEntriesTruncate) {
  const CarBox a = {280, 128, 140, 64, 0.9f};
  EXPECT_EQ(cars_text(&a, 1), "0:0:100:59:150:89;");
  const CarBox whole = {0, 0, 895, 511, 0.1f};
  EXPECT_EQ(cars_text(&whole, 1), "0:0:0:0:319:239;");
  const CarBox two[2] = {a, whole};
  EXPECT_EQ(cars_text(two, 2), "0:0:100:59:150:89;0:0:0:0:319:239;");
}

TEST(ReportText, CarListStopsBeforeOverflowing) {
  // Wrapped boxes (right < left in the detector) give long entries; 512 of them must
  // still end inside the buffer with whole entries only.
  static CarBox cars[PARKING_MAX_CARS];
  for (int i = 0; i < PARKING_MAX_CARS; i++) cars[i] = CarBox{(uint16_t)(800 + i % 90), 500, 65535, 65535, 0.9f};
  std::unique_ptr<char[]> out(new char[PARKING_DATA_LEN + 16]);
  memset(out.get(), 0x55, PARKING_DATA_LEN + 16);
  int len = parking_format_cars(out.get(), cars, PARKING_MAX_CARS);
  EXPECT_LE(len, PARKING_DATA_LEN - 1);
  EXPECT_GT(len, PARKING_DATA_LEN - 40);
  EXPECT_EQ((int)strlen(out.get()), len);
  EXPECT_EQ(out[len - 1], ';');
  EXPECT_EQ(out[PARKING_DATA_LEN], 0x55);   // nothing written past the buffer
  std::string first = std::string(out.get()).substr(0, std::string(out.get()).find(';') + 1);
  EXPECT_EQ(first, "0:0:285:234:23691:30953;");
}

TEST(ReportText, SpaceEntriesRoundHalfUp) {
  std::unique_ptr<ParkingResult> res(new ParkingResult);
  memset(res.get(), 0, sizeof *res);
  res->alarmSpace = res->alarmNum = 1;
  ParkingSpace &s = res->spaces[0];
  s.region = 3;
  s.number = 17;
  s.state = 1;
  // K1, K2, K3, K4 (frame); reported as K1, K4, K2, K3 (configuration).
  const int32_t corner[8] = {279, 128, 560, 129, 554, 512, 278, 500};
  memcpy(s.corner, corner, sizeof corner);
  res->cars[0] = CarBox{280, 128, 140, 64, 0.9f};
  std::unique_ptr<char[]> out(new char[PARKING_DATA_LEN]);
  parking_format_spaces(out.get(), res.get());
  // 279/2.8 = 99.64 -> 100, 278/2.8 = 99.29 -> 99, 128/2.1333334 = 59.99999 -> 60.
  EXPECT_STREQ(out.get(), "3:17:1:100:60:99:234:200:60:198:240:100:60:150:90;");
}

TEST_F(Report, FrameSendsCarsThenSpaces) {
  std::unique_ptr<SpaceTable> table(new SpaceTable);
  make_lot(table.get(), 1, 4);
  table->occupancySens = 10;   // N = 2: occupied on the first frame
  StdoutCapture capture;
  qz_parking_init(table.get(), &r_.work);
  capture.Finish();

  // Cars but no space occupied yet: a car in no space, and one below the threshold.
  CarBox cars[2] = {{880, 500, 10, 10, 0.9f}, car_in_space(table.get(), 1, 0.1f)};
  parking_process_frame(table.get(), &r_.work, cars, 2);
  ASSERT_EQ(sent_count(), 2);
  EXPECT_EQ(text_of(0, PARKING_CARS_REPORT), cars_text(cars, 2));
  EXPECT_EQ(text_of(1, PARKING_SPACES_REPORT), kEmptySpaces);
  EXPECT_STREQ(parking_last_car_list(), cars_text(cars, 2).c_str());

  // A car parks in space 2: occupied from its second frame ((0 + 1) / 2 is not
  // enough, the first frame having aged the history).
  cars[1] = car_in_space(table.get(), 2, 0.9f);
  parking_process_frame(table.get(), &r_.work, cars, 2);
  capture_sends();
  parking_process_frame(table.get(), &r_.work, cars, 2);
  ASSERT_EQ(sent_count(), 2);
  std::string spaces = text_of(1, PARKING_SPACES_REPORT);
  EXPECT_EQ(spaces.substr(0, 6), "0:2:1:");
  EXPECT_EQ(std::count(spaces.begin(), spaces.end(), ';'), 1);
  EXPECT_EQ(std::count(spaces.begin(), spaces.end(), ':'), 14);
}

TEST_F(Report, EmptyCarListOnlyOnceButSpacesEveryFrame) {
  std::unique_ptr<SpaceTable> table(new SpaceTable);
  make_lot(table.get(), 1, 2);
  StdoutCapture capture;
  qz_parking_init(table.get(), &r_.work);
  capture.Finish();
  CarBox car = car_in_space(table.get(), 0, 0.9f);
  parking_process_frame(table.get(), &r_.work, &car, 1);
  capture_sends();
  parking_process_frame(table.get(), &r_.work, nullptr, 0);
  parking_process_frame(table.get(), &r_.work, nullptr, 0);
  ASSERT_EQ(sent_count(), 3);
  EXPECT_EQ(text_of(0, PARKING_CARS_REPORT), "0:0:0:0:0:0");
  EXPECT_EQ(text_of(1, PARKING_SPACES_REPORT), kEmptySpaces);
  EXPECT_EQ(text_of(2, PARKING_SPACES_REPORT), kEmptySpaces);
  EXPECT_STREQ(parking_last_car_list(), "0:0:0:0:0:0");
}

TEST_F(Report, ClearSendsOnlyWhenTheLastListHadCars) {
  parking_clear_car_list();
  EXPECT_EQ(sent_count(), 0);   // still the start state
  std::unique_ptr<SpaceTable> table(new SpaceTable);
  make_lot(table.get(), 1, 2);
  StdoutCapture capture;
  qz_parking_init(table.get(), &r_.work);
  capture.Finish();
  CarBox car = {100, 100, 50, 50, 0.9f};
  parking_process_frame(table.get(), &r_.work, &car, 1);
  capture_sends();
  parking_clear_car_list();
  parking_clear_car_list();
  ASSERT_EQ(sent_count(), 1);
  EXPECT_EQ(text_of(0, PARKING_CARS_REPORT), "0:0:0:0:0:0");
  // A frame without cars right after a clear sends no car list either.
  capture_sends();
  parking_process_frame(table.get(), &r_.work, nullptr, 0);
  ASSERT_EQ(sent_count(), 1);
  EXPECT_EQ(sent(0).id, PARKING_SPACES_REPORT);
}

TEST_F(Report, VerbosePrints) {
  std::unique_ptr<SpaceTable> table(new SpaceTable);
  make_lot(table.get(), 1, 2);
  table->occupancySens = 10;
  StdoutCapture capture;
  qz_parking_init(table.get(), &r_.work);
  capture.Finish();
  CarBox car = {280, 128, 140, 64, 0.9f};
  CarBox parked = car_in_space(table.get(), 1, 0.9f);
  CarBox cars[2] = {car, parked};

  StdoutCapture capture2;
  parking_process_frame(table.get(), &r_.work, cars, 2);
  EXPECT_EQ(capture2.Finish(), "");   // off at start

  g_parkingVerbose = 1;
  StdoutCapture capture3;
  parking_process_frame(table.get(), &r_.work, cars, 2);
  std::string out = normalise_log(capture3.Finish());
  int carLen = (int)cars_text(cars, 2).size();
  int spaceLen = (int)strlen(r_.work.spaceText);
  EXPECT_EQ(out, "[T P] car offset : [" + std::to_string(carLen) +
                     "] PARKING_DATA_LEN: [6144]==func:process_parking_data file:main line:270\n"
                     "[T P] space offset : [" + std::to_string(spaceLen) +
                     "] PARKING_DATA_LEN: [6144]==func:process_parking_data file:main line:314\n"
                     "[T P] objNum: 2 , alarmNum: 2, alarmSpace: 2==func:thread_parking_run file:main line:425\n");

  StdoutCapture capture4;
  parking_process_frame(table.get(), &r_.work, nullptr, 0);
  parking_process_frame(table.get(), &r_.work, nullptr, 0);
  out = normalise_log(capture4.Finish());
  // The car left: the empty car list carries no print, and with N = 2 the space is
  // free again at once.
  EXPECT_EQ(out,
            "[T P] objNum: 0 , alarmNum: 0, alarmSpace: 0==func:thread_parking_run file:main line:425\n"
            "[T P] objNum: 0 , alarmNum: 0, alarmSpace: 0==func:thread_parking_run file:main line:425\n");
}

class Requests : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    qz_mutex_init(&g_parkingCfgLock);
    ASSERT_EQ(sock_request_register(g_parkingRequests, 1), 0);
  }
  void SetUp() override { memset(&g_AvsCfg, 0, sizeof g_AvsCfg); }
};

TEST_F(Requests, AvsCfgRequestSetsTheRecord) {
  int32_t record[5] = {1, 1, 6, 77, 88};
  QzMsgHeader header = {20, AVS_CFG_REQ, 0x7000D, 0};
  setenv("QZ_DEBUG_MASK", "4", 1);
  StdoutCapture capture;
  EXPECT_EQ(res_msg(nullptr, &header, record), 0);
  std::string out = normalise_log(capture.Finish());
  setenv("QZ_DEBUG_MASK", "0", 1);
  EXPECT_EQ(out, "[INF:T P] boa res_msg. req:6049 reqfrom:13.==func:res_msg file:main line:199\n");
  EXPECT_EQ(g_AvsCfg.vprocId, 1);
  EXPECT_EQ(g_AvsCfg.vencId, 1);
  EXPECT_EQ(g_AvsCfg.mode, 6);
  EXPECT_EQ(g_AvsCfg.reserved[1], 88);

  // Quiet below mask 4.
  StdoutCapture capture2;
  record[2] = 0;
  res_msg(nullptr, &header, record);
  EXPECT_EQ(capture2.Finish(), "");
  EXPECT_EQ(g_AvsCfg.mode, 0);
}

TEST_F(Requests, ShortRequestIsNotReadPastItsData) {
  g_AvsCfg = AvsCfg{5, 6, 7, {8, 9}};
  // 8 bytes of data, as the library delivers them (followed by a zero byte).
  std::unique_ptr<unsigned char[]> data(new unsigned char[9]);
  int32_t ids[2] = {3, 4};
  memcpy(data.get(), ids, 8);
  data[8] = 0;
  QzMsgHeader header = {8, AVS_CFG_REQ, 13, 0};
  StdoutCapture capture;
  res_msg(nullptr, &header, data.get());
  std::string out = normalise_log(capture.Finish());
  EXPECT_EQ(g_AvsCfg.vprocId, 3);
  EXPECT_EQ(g_AvsCfg.vencId, 4);
  EXPECT_EQ(g_AvsCfg.mode, 7);
  EXPECT_EQ(g_AvsCfg.reserved[1], 9);
  EXPECT_NE(out.find("request 6049 carries 8 bytes, 20 expected: only those applied"), std::string::npos);
}

}  // namespace

namespace {

// The receive thread writes the record while the worker reads it, both under the
// configuration lock: the worker only ever sees whole records.
TEST_F(Requests, WorkerSeesWholeRecordsWhileRequestsArrive) {
  std::atomic<bool> done{false};
  std::thread receiver([&] {
    int32_t a[5] = {1, 1, 0, 0, 0}, b[5] = {7, 7, 6, 7, 7};
    QzMsgHeader header = {20, AVS_CFG_REQ, 13, 0};
    for (int k = 0; k < 20000; k++) res_msg(nullptr, &header, k % 2 ? a : b);
    done = true;
  });
  int torn = 0, reads = 0;
  while (!done || reads == 0) {
    qz_mutex_lock(&g_parkingCfgLock);
    AvsCfg seen = g_AvsCfg;
    qz_mutex_unlock(&g_parkingCfgLock);
    reads++;
    bool first = seen.vprocId == 1 && seen.vencId == 1 && seen.mode == 0;
    bool second = seen.vprocId == 7 && seen.vencId == 7 && seen.mode == 6;
    bool initial = seen.vprocId == 0 && seen.vencId == 0 && seen.mode == 0;
    if (!first && !second && !initial) torn++;
  }
  receiver.join();
  EXPECT_EQ(torn, 0);
  EXPECT_GT(reads, 0);
}

}  // namespace
