// Stand-in for the message socket library while the board library has no sources:
// sends go nowhere, requests dispatch through a small table.
#include "qzsocket.h"

static QzRequestEntry g_table[8];
static int g_entries;

extern "C" int qz_sock_send_msg(int, int, const void *, int) { return -1; }

extern "C" int sock_request_register(const QzRequestEntry *table, int count) {
  if (g_entries + count > 8) return -1;
  for (int k = 0; k < count; k++) g_table[g_entries++] = table[k];
  return 0;
}

extern "C" int dispatch_request(int id, int, void *data) {
  for (int k = 0; k < g_entries; k++)
    if (g_table[k].id == id) return g_table[k].handler(nullptr, data);
  return -1;
}
