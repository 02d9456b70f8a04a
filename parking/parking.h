// The parking core: configured spaces, per-frame assignment of cars to spaces,
// occupancy judging and the reports to the control process.
//
// Threads: parking_config_load() runs once on the main thread before the worker
// starts. Everything per frame (parking_assign, parking_judge, parking_report,
// parking_clear_car_list, or parking_process_frame for the first three) runs on the worker
// thread while it holds the frame semaphore and g_parkingCfgLock. res_msg and
// the 6049 handler run on the messaging library's receive thread and take only
// g_parkingCfgLock.
//
// Memory: the worker owns one ParkingWork for its whole life (it is large, about
// 240 KiB: keep it static or allocate it once). qz_parking_init() sizes the occupancy
// histories in it; after that no call allocates until parking_release().
//
// Typical worker:
//     static ParkingWork work;
//     qz_parking_init(&g_spaceTable, &work);
//     while (running) {                                   // per frame, locks held
//       ... fill cars[0..n) ...
//       parking_process_frame(&g_spaceTable, &work, cars, n);
//       // or, when detection is suspended: parking_clear_car_list();
//     }
//     parking_release(&work);
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <vector>

#include "qzdb.h"
#include "qzsocket.h"
#include "qzstd.h"

enum {
  PARKING_MAX_SPACES = 100,      // capacity of the space table
  PARKING_MAX_CARS = 512,        // detections per frame
  PARKING_MAX_JUDGE_FRAMES = 20, // longest occupancy history
  PARKING_DATA_LEN = 6144,       // size of each report text and message
};

// Message and request ids on the control-process socket.
enum {
  AVS_CFG_REQ = 6049,
  PARKING_CARS_REPORT = 6116,
  PARKING_SPACES_REPORT = 6117,
  PARKING_READY_NOTICE = 6119,
};

// Frame 896 x 512 <-> configuration grid 320 x 240, in 32-bit floats.
#define PARKING_SCALE_X 2.8f
#define PARKING_SCALE_Y 2.1333334f

// One detected car: top-left corner and size in frame coordinates, detector score.
typedef struct CarBox {
  uint16_t x, y, w, h;
  float score;
} CarBox;
static_assert(sizeof(CarBox) == 12, "CarBox size");

// The video path to read, set by request 6049 under g_parkingCfgLock.
typedef struct AvsCfg {
  int32_t vprocId;   // video-process output path, 0 = not configured
  int32_t vencId;    // video encoder, 0 = not configured
  int32_t mode;      // 4..7 suspend detection
  int32_t reserved[2];
} AvsCfg;
static_assert(sizeof(AvsCfg) == 20, "g_AvsCfg size");

// One configured space. Corners are in frame coordinates, in the order
// K1 x, K1 y, K2 x, K2 y, K3 x, K3 y, K4 x, K4 y: K1/K4 are the two ends of the
// space's first divider, K2/K3 those of the second, so K1..K4 go around it.
typedef struct ParkingSpace {
  int32_t region;      // 0..19
  int32_t number;      // 0..1023
  int32_t state;       // 0 free, 1 occupied
  int32_t corner[8];
} ParkingSpace;

typedef struct SpaceTable {
  int32_t detectSens;
  int32_t occupancySens;
  ParkingSpace spaces[PARKING_MAX_SPACES];
  int32_t count;
} SpaceTable;

// One frame's verdict: the occupied spaces in table order, each with its car.
typedef struct ParkingResult {
  CarBox cars[PARKING_MAX_SPACES];
  int alarmNum;
  ParkingSpace spaces[PARKING_MAX_SPACES];
  int alarmSpace;
} ParkingResult;

// Occupancy history of one space: a ring of the last N marks, oldest at `oldest`.
typedef struct SpaceHistory {
  float value[PARKING_MAX_JUDGE_FRAMES];
  int oldest;
} SpaceHistory;

// Everything the worker needs per frame, owned by the worker for its life.
typedef struct ParkingWork {
  // Tuning, set by qz_parking_init from the table's sensitivities.
  float detectThresh;
  int judgeFrameNum;           // N
  float occupancyRatio;
  std::vector<SpaceHistory> history;   // one per space, sized once
  // Assignment of the current frame.
  float scores[PARKING_MAX_CARS * PARKING_MAX_SPACES];   // n x S, row = car
  int carMatch[PARKING_MAX_CARS];
  int spaceMatch[PARKING_MAX_SPACES];
  float spaceBounds[PARKING_MAX_SPACES][4];   // min x, min y, max x, max y
  int spaceSimple[PARKING_MAX_SPACES];        // neither crossed nor of zero area
  CarBox lastCar[PARKING_MAX_SPACES];         // car last assigned to each space
  ParkingResult result;
  char carText[PARKING_DATA_LEN];
  char spaceText[PARKING_DATA_LEN];
} ParkingWork;

// ---- process-wide state ---------------------------------------------------------

extern SpaceTable g_spaceTable;           // filled by parking_config_load
extern AvsCfg g_AvsCfg;                   // guarded by g_parkingCfgLock
extern qz_mutex_t g_parkingCfgLock;       // qz_mutex_init'ed by the service's main
extern std::atomic<int> g_parkingVerbose; // per-frame prints; toggled by a signal
// How reports leave the process; qz_sock_send_msg unless a test captures them.
typedef int (*ParkingSendFn)(int target, int id, const void *data, int length);
extern ParkingSendFn g_parkingSend;
// The request table to pass to sock_request_register(g_parkingRequests, 1).
extern const QzRequestEntry g_parkingRequests[1];

// ---- configuration (once, main thread) ------------------------------------------

// Reads the parking record from the settings store and fills table, printing the
// record and every space. Returns 0.
int parking_config_load(SpaceTable *table);
// The same from a record already read (param is not changed).
int parking_config_from_param(const ParkingParam *param, SpaceTable *table);

// ---- per worker run ---------------------------------------------------------------

// Validates the sensitivities (invalid ones become 5 in the table, with a message),
// sets the tuning values and builds one history per space. Returns 1.
int qz_parking_init(SpaceTable *table, ParkingWork *work);
// Drops the histories and empties the result (end of the worker loop).
void parking_release(ParkingWork *work);

// ---- per frame (worker thread, locks held) ----------------------------------------

// Scores cars[0..n) against the table's spaces and matches them: fills
// work->carMatch[0..n) and work->spaceMatch[0..S). n above PARKING_MAX_CARS is cut.
void parking_assign(const SpaceTable *table, ParkingWork *work, const CarBox *cars, int n);
// Advances every space's history with work->spaceMatch and fills work->result.
void parking_judge(SpaceTable *table, ParkingWork *work, const CarBox *cars);
// Sends the car list and the space list of this frame (process_parking_data).
void parking_report(ParkingWork *work, const CarBox *cars, int n);
// Assign, judge and report one frame.
void parking_process_frame(SpaceTable *table, ParkingWork *work, const CarBox *cars, int n);
// Sends one empty car list unless the last one sent was already empty.
void parking_clear_car_list(void);

// ---- reports and requests ---------------------------------------------------------

// The car list that says "no cars".
#define PARKING_EMPTY_CARS "0:0:0:0:0:0"
// The last car list sent (PARKING_DATA_LEN bytes), PARKING_EMPTY_CARS at start.
const char *parking_last_car_list(void);
// Back to the start state ("0:0:0:0:0:0"); for tests.
void parking_report_reset(void);
// Text builders: append the entries to out (zeroed, PARKING_DATA_LEN bytes) while
// they fit. Return the text length.
int parking_format_cars(char *out, const CarBox *cars, int n);
int parking_format_spaces(char *out, const ParkingResult *result);
// Receive callback for qz_sock_init.
int res_msg(void *context, QzMsgHeader *header, void *data);

// A space whose area is 0 or whose sides cross (neighbouring dividers drawn in
// opposite directions, or crossing each other in an X): its overlaps mean nothing,
// and the assignment never gives it a car.
bool parking_space_is_broken(const ParkingSpace *space);

// Configuration -> frame coordinates (stored values clamped to 16 bits first) and
// back, with the scale of the axis: the car list truncates, the space list rounds
// half up (in 64-bit).
int parking_to_frame_x(int32_t configX);
int parking_to_frame_y(int32_t configY);
int parking_to_config_trunc(int frameV, float scale);
int parking_to_config_round(int frameV, float scale);
