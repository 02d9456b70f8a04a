// The `search` module: answers configuration tools on the LAN and applies their
// address changes. The module owns what its threads share and hands it down: the
// capture (the listener thread, search_capture), which gives each frame to the raw
// protocol (search_raw), which sends through the capture; the announcer (search_raw);
// on OEM index 12 the UDP thread (search_udp); and the reply budgets both protocols
// draw on.
#include "qz_search.h"

#include <pthread.h>
#include <string.h>

#include "osa.h"
#include "qzdb.h"
#include "search_capture.h"
#include "search_iface.h"
#include "search_raw.h"
#include "search_service.h"
#include "search_store.h"
#include "search_udp.h"
#include "test.h"

// OEM index that turns on the UDP protocol.
enum { SEARCH_TOVRIN_OEM_INDEX = 12 };

static SearchBudgets g_searchBudgets;
static SearchCapture g_searchCapture;
static RawResponder g_searchRaw;
static UdpResponder g_searchUdp;
static pthread_t g_searchListenerThread, g_searchTimerThread, g_searchTovrinThread;
static bool g_searchListenerStarted, g_searchTimerStarted, g_searchTovrinStarted;
static int g_searchOemIndex;

static void raw_frame(void *raw, const uint8_t *frame, size_t caplen) {
  search_handle_frame((RawResponder *)raw, frame, caplen);
}

int search_init_network(void) {
  DbNetwork net;
  search_read_network(&net);
  apply_network(&net);
  return 0;
}

int qz_search_init(void) {
  search_set_running(true);
  g_searchListenerStarted = g_searchTimerStarted = g_searchTovrinStarted = false;
  // eth0's MAC, read once for both protocols.
  uint8_t mac[6] = {0};
  const bool haveMac = get_mac(SEARCH_IFACE, mac) == 0;
  memcpy(g_searchRaw.mac, mac, sizeof(mac));
  g_searchRaw.haveMac = haveMac;
  g_searchRaw.budgets = &g_searchBudgets;
  g_searchRaw.out = {search_capture_send, search_capture_ready, &g_searchCapture};
  memcpy(g_searchUdp.mac, mac, sizeof(mac));
  g_searchUdp.haveMac = haveMac;
  g_searchUdp.budgets = &g_searchBudgets;
  g_searchCapture.ownMac = haveMac ? g_searchRaw.mac : nullptr;
  g_searchCapture.handler = raw_frame;
  g_searchCapture.handlerContext = &g_searchRaw;
  g_searchCapture.handle.store(nullptr);

  const unsigned prio = OSA_thrMidPriority();
  if (OSA_thrCreate(&g_searchListenerThread, search_capture_thread, prio, 0, &g_searchCapture) != 0) {
    search_set_running(false);
    SEARCH_ERROR(__LINE__, "Create search task failed. \n");
    return -1;
  }
  g_searchListenerStarted = true;
  if (OSA_thrCreate(&g_searchTimerThread, search_timer_thread, prio, 0, &g_searchRaw) != 0) {
    search_set_running(false);
    SEARCH_ERROR(__LINE__, "Create search timer task failed. \n");
    return -1;
  }
  g_searchTimerStarted = true;
  g_searchOemIndex = search_read_oem_index();
  if (g_searchOemIndex != SEARCH_TOVRIN_OEM_INDEX) return 0;
  if (OSA_thrCreate(&g_searchTovrinThread, tovrin_socket_thread, prio, 0, &g_searchUdp) != 0) {
    search_set_running(false);
    SEARCH_ERROR(__LINE__, "Create tovrin task failed. \n");
    return -1;
  }
  g_searchTovrinStarted = true;
  return 0;
}

void search_deinit(void) {
  search_set_running(false);
  OSA_sleepMs(200);
  if (search_capture_break(&g_searchCapture)) OSA_sleepMs(100);
  if (g_searchOemIndex == SEARCH_TOVRIN_OEM_INDEX) OSA_sleepMs(100);
  // Every thread sees the cleared flag within a short step, so wait for them: none
  // may still use the store or the console while the program shuts down.
  if (g_searchListenerStarted) pthread_join(g_searchListenerThread, nullptr);
  if (g_searchTimerStarted) pthread_join(g_searchTimerThread, nullptr);
  if (g_searchTovrinStarted) pthread_join(g_searchTovrinThread, nullptr);
  g_searchListenerStarted = g_searchTimerStarted = g_searchTovrinStarted = false;
  search_report_flush();
}

int search_run(int, char **) {
  if (db_init() != 0) {
    SEARCH_ERROR(__LINE__, "Faild to init db! \n");
    return -1;
  }
  search_init_network();
  if (qz_search_init() != 0) {
    SEARCH_ERROR(__LINE__, "Faild to init search! \n");
    db_uninit(1);
    return -1;
  }
  while (!test_stop_requested()) OSA_sleepMs(100);
  if (search_running()) search_deinit();
  db_uninit(1);
  return 0;
}

static void search_help(void) { OSA_printf("debug -M search \n"); }

static const TestModule search_module = {"search", MODULE_SEARCH, search_run, search_help, nullptr};
TEST_MODULE_REGISTER(search_module);
