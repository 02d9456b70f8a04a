// Car and space lists for the control process, and the one request it sends us.
// The log lines name this code "main", where it has always lived.
#include <pthread.h>
#include <stdint.h>
#include <string.h>

#include "parking.h"
#include "plog.h"
#include "qzcommon.h"

AvsCfg g_AvsCfg;
qz_mutex_t g_parkingCfgLock = PTHREAD_MUTEX_INITIALIZER;
std::atomic<int> g_parkingVerbose{0};
ParkingSendFn g_parkingSend = qz_sock_send_msg;
// Handler of request 6049: copies the record into g_AvsCfg under the lock.
static int parking_avs_cfg_handler(void *context, void *data);
const QzRequestEntry g_parkingRequests[1] = {{AVS_CFG_REQ, parking_avs_cfg_handler, nullptr, nullptr}};

static const char kEmptyCars[] = PARKING_EMPTY_CARS;
static const char kEmptySpaces[] = "0:0:0:0:0:0:0:0:0:0:0:0:0:0";

static char g_lastCarList[PARKING_DATA_LEN] = PARKING_EMPTY_CARS;

const char *parking_last_car_list(void) { return g_lastCarList; }

void parking_report_reset(void) {
  memset(g_lastCarList, 0, sizeof g_lastCarList);
  memcpy(g_lastCarList, kEmptyCars, sizeof kEmptyCars);
}

static bool last_car_list_empty(void) { return strcmp(g_lastCarList, kEmptyCars) == 0; }

// Appends entry (len bytes) at *off if it still leaves room for the NUL.
static bool append_entry(char *out, int *off, const char *entry, int len) {
  if (len < 0 || *off + len > PARKING_DATA_LEN - 1) return false;
  memcpy(out + *off, entry, (size_t)len);
  *off += len;
  return true;
}

// Writes v in decimal (as "%d" does) followed by sep; returns the end.
static char *put_int(char *p, int v, char sep) {
  char digits[12];
  int k = 0;
  unsigned u = v < 0 ? 0u - (unsigned)v : (unsigned)v;
  do {
    digits[k++] = (char)('0' + u % 10);
    u /= 10;
  } while (u != 0);
  if (v < 0) *p++ = '-';
  while (k > 0) *p++ = digits[--k];
  *p++ = sep;
  return p;
}

// One entry: the fields separated by ':' and ended by ';'. Returns its length.
static int format_entry(char *entry, const int *fields, int count) {
  char *p = entry;
  for (int k = 0; k < count; k++) p = put_int(p, fields[k], k + 1 < count ? ':' : ';');
  return (int)(p - entry);
}

int parking_format_cars(char *out, const CarBox *cars, int n) {
  memset(out, 0, PARKING_DATA_LEN);
  int off = 0;
  for (int i = 0; i < n; i++) {
    const CarBox *c = &cars[i];
    const int fields[6] = {0, 0, parking_to_config_trunc(c->x, PARKING_SCALE_X), parking_to_config_trunc(c->y, PARKING_SCALE_Y),
                           parking_to_config_trunc(c->x + c->w, PARKING_SCALE_X),
                           parking_to_config_trunc(c->y + c->h, PARKING_SCALE_Y)};
    char entry[6 * 12];
    if (!append_entry(out, &off, entry, format_entry(entry, fields, 6))) break;
  }
  return off;
}

int parking_format_spaces(char *out, const ParkingResult *result) {
  memset(out, 0, PARKING_DATA_LEN);
  int off = 0;
  for (int k = 0; k < result->alarmSpace; k++) {
    const ParkingSpace *s = &result->spaces[k];
    const CarBox *c = &result->cars[k];
    const int32_t *K = s->corner;   // K1 x, y, K2 x, y, K3 x, y, K4 x, y
    const int fields[15] = {
        s->region, s->number, s->state,
        parking_to_config_round(K[0], PARKING_SCALE_X), parking_to_config_round(K[1], PARKING_SCALE_Y),   // K1
        parking_to_config_round(K[6], PARKING_SCALE_X), parking_to_config_round(K[7], PARKING_SCALE_Y),   // K4
        parking_to_config_round(K[2], PARKING_SCALE_X), parking_to_config_round(K[3], PARKING_SCALE_Y),   // K2
        parking_to_config_round(K[4], PARKING_SCALE_X), parking_to_config_round(K[5], PARKING_SCALE_Y),   // K3
        parking_to_config_round(c->x, PARKING_SCALE_X), parking_to_config_round(c->y, PARKING_SCALE_Y),
        parking_to_config_round(c->x + c->w, PARKING_SCALE_X), parking_to_config_round(c->y + c->h, PARKING_SCALE_Y)};
    char entry[15 * 12];
    if (!append_entry(out, &off, entry, format_entry(entry, fields, 15))) break;
  }
  return off;
}

void parking_report(ParkingWork *work, const CarBox *cars, int n) {
  const bool verbose = g_parkingVerbose.load(std::memory_order_relaxed) != 0;
  char *carText = work->carText;
  if (n > 0) {
    int len = parking_format_cars(carText, cars, n);
    if (verbose && len > 0)
      plog("process_parking_data", "main", 270, "car offset : [%d] PARKING_DATA_LEN: [%d]", len,
           PARKING_DATA_LEN);
    g_parkingSend(1, PARKING_CARS_REPORT, carText, PARKING_DATA_LEN);
    memcpy(g_lastCarList, carText, PARKING_DATA_LEN);
  } else {
    memset(carText, 0, PARKING_DATA_LEN);
    memcpy(carText, kEmptyCars, sizeof kEmptyCars);
    if (!last_car_list_empty()) {
      g_parkingSend(1, PARKING_CARS_REPORT, carText, PARKING_DATA_LEN);
      memcpy(g_lastCarList, carText, PARKING_DATA_LEN);
    }
  }

  const ParkingResult *res = &work->result;
  char *spaceText = work->spaceText;
  if (res->alarmSpace > 0) {
    int len = parking_format_spaces(spaceText, res);
    if (verbose && len > 0)
      plog("process_parking_data", "main", 314, "space offset : [%d] PARKING_DATA_LEN: [%d]", len,
           PARKING_DATA_LEN);
  } else {
    memset(spaceText, 0, PARKING_DATA_LEN);
    memcpy(spaceText, kEmptySpaces, sizeof kEmptySpaces);
  }
  g_parkingSend(1, PARKING_SPACES_REPORT, spaceText, PARKING_DATA_LEN);

  if (verbose)
    plog("thread_parking_run", "main", 425, "objNum: %d , alarmNum: %d, alarmSpace: %d", n,
         res->alarmNum, res->alarmSpace);
}

void parking_clear_car_list(void) {
  if (last_car_list_empty()) return;
  parking_report_reset();
  g_parkingSend(1, PARKING_CARS_REPORT, g_lastCarList, PARKING_DATA_LEN);
}

// Data length of the request being dispatched by res_msg (receive thread only);
// -1 outside a dispatch.
static int g_requestLength = -1;

int res_msg(void *context, QzMsgHeader *header, void *data) {
  (void)context;
  if (header == nullptr) return -1;
  int req = (int)header->id;
  int sender = (int)qz_get_bits((uint64_t)header->sender, 0, 16);
  plog_inf("res_msg", "main", 199, "boa res_msg. req:%d reqfrom:%d.", req, sender);
  g_requestLength = header->length > 0x7FFFFFFFu ? 0x7FFFFFFF : (int)header->length;
  int ret = dispatch_request(req, sender, data);
  g_requestLength = -1;
  return ret;
}

static int parking_avs_cfg_handler(void *context, void *data) {
  (void)context;
  if (data == nullptr) return -1;
  int len = (int)sizeof g_AvsCfg;
  // A short request must not make us read past its data: take what it carries and
  // keep the rest of the record as it was.
  if (g_requestLength >= 0 && g_requestLength < len) {
    len = g_requestLength;
    plog(__func__, "main", __LINE__,
         PLOG_YELLOW "request %d carries %d bytes, %d expected: only those applied" PLOG_RESET " ",
         AVS_CFG_REQ, len, (int)sizeof g_AvsCfg);
  }
  qz_mutex_lock(&g_parkingCfgLock);
  memcpy(&g_AvsCfg, data, (size_t)len);
  qz_mutex_unlock(&g_parkingCfgLock);
  return 0;
}
