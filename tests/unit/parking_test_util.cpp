#include "parking_test_util.h"

#include <string.h>

#include <regex>

void add_space(SpaceTable *table, int region, int number, const int32_t first[4],
               const int32_t second[4]) {
  ParkingSpace *s = &table->spaces[table->count++];
  memset(s, 0, sizeof *s);
  s->region = region;
  s->number = number;
  s->corner[0] = parking_to_frame_x(first[0]);
  s->corner[1] = parking_to_frame_y(first[1]);
  s->corner[2] = parking_to_frame_x(second[0]);
  s->corner[3] = parking_to_frame_y(second[1]);
  s->corner[4] = parking_to_frame_x(second[2]);
  s->corner[5] = parking_to_frame_y(second[3]);
  s->corner[6] = parking_to_frame_x(first[2]);
  s->corner[7] = parking_to_frame_y(first[3]);
}

void make_lot(SpaceTable *table, int rows, int perRow) {
  memset(table, 0, sizeof *table);
  table->detectSens = 5;
  table->occupancySens = 5;
  const int width = 300 / perRow;          // configuration units per space
  const int rowPitch = 230 / rows;
  for (int r = 0; r < rows; r++) {
    int top = 5 + r * rowPitch, bottom = top + rowPitch * 4 / 5;
    for (int k = 0; k < perRow; k++) {
      int32_t first[4] = {10 + k * width + 3, top, 10 + k * width, bottom};
      int32_t second[4] = {10 + (k + 1) * width + 3, top, 10 + (k + 1) * width, bottom};
      add_space(table, r, k, first, second);
    }
  }
}

CarBox car_in_space(const SpaceTable *table, int j, float score) {
  const int32_t *c = table->spaces[j].corner;
  int minx = c[0], maxx = c[0], miny = c[1], maxy = c[1];
  for (int k = 1; k < 4; k++) {
    if (c[2 * k] < minx) minx = c[2 * k];
    if (c[2 * k] > maxx) maxx = c[2 * k];
    if (c[2 * k + 1] < miny) miny = c[2 * k + 1];
    if (c[2 * k + 1] > maxy) maxy = c[2 * k + 1];
  }
  CarBox car;
  car.x = (uint16_t)(minx + 3);
  car.y = (uint16_t)(miny + 6);
  car.w = (uint16_t)(maxx - minx - 6);
  car.h = (uint16_t)(maxy - miny - 12);
  car.score = score;
  return car;
}

static unsigned next_random(unsigned *state) {
  *state = *state * 1103515245u + 12345u;
  return (*state >> 8) & 0xFFFFFF;
}

int spread_cars(const SpaceTable *table, CarBox *cars, int n, unsigned seed) {
  unsigned state = seed;
  for (int i = 0; i < n; i++) {
    if (i < table->count && (next_random(&state) % 4) != 0) {
      cars[i] = car_in_space(table, (int)(next_random(&state) % (unsigned)table->count), 0.9f);
      cars[i].x = (uint16_t)(cars[i].x + next_random(&state) % 9);
      cars[i].y = (uint16_t)(cars[i].y + next_random(&state) % 9);
    } else {
      cars[i].x = (uint16_t)(next_random(&state) % 860);
      cars[i].y = (uint16_t)(next_random(&state) % 440);
      cars[i].w = (uint16_t)(20 + next_random(&state) % 60);
      cars[i].h = (uint16_t)(30 + next_random(&state) % 70);
      cars[i].score = 0.9f;
    }
  }
  return n;
}

static SentMessage g_sent[64];
static int g_sentCount;

static int capture_send(int target, int id, const void *data, int length) {
  if (g_sentCount < 64) {
    SentMessage *m = &g_sent[g_sentCount];
    m->target = target;
    m->id = id;
    m->length = length;
    memset(m->data, 0, sizeof m->data);
    if (data != nullptr && length > 0)
      memcpy(m->data, data, (size_t)(length < PARKING_DATA_LEN ? length : PARKING_DATA_LEN));
  }
  g_sentCount++;
  return 0;
}

void capture_sends(void) {
  g_parkingSend = capture_send;
  g_sentCount = 0;
}

int sent_count(void) { return g_sentCount; }
const SentMessage &sent(int k) { return g_sent[k]; }

std::string normalise_log(const std::string &text) {
  static const std::regex prefix(R"((^|\n)\[(ERR:|WRN:|INF:)?[^\]\n]* -?[0-9]+\] )");
  return std::regex_replace(text, prefix, "$1[$2T P] ");
}
