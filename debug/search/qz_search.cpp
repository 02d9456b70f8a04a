// The `search` module: answers configuration tools on the LAN and applies their
// address changes. The listener thread handles raw frames (search_capture,
// search_raw), the announcer broadcasts a search reply every 30 seconds, and on OEM
// index 12 a UDP thread serves the tovrin protocol (search_udp).
#include "qz_search.h"

#include <string.h>

#include "osa.h"
#include "qzdb.h"
#include "search_capture.h"
#include "search_iface.h"
#include "search_service.h"
#include "search_store.h"
#include "test.h"

static SearchListener g_searchListener;
static pthread_t g_searchTimerThread;
static pthread_t g_searchTovrinThread;
static bool g_searchListenerStarted, g_searchTimerStarted, g_searchTovrinStarted;
static int g_searchOemIndex;

int search_init_network(void) {
  DbNetwork net;
  search_read_network(&net, 0);
  apply_network(&net);
  return 0;
}

int qz_search_init(void) {
  search_set_running(true);
  g_searchListenerStarted = g_searchTimerStarted = g_searchTovrinStarted = false;
  g_searchListener.ifaceKind = 0;
  g_searchListener.capture.store(nullptr);
  memset(g_searchListener.mac, 0, sizeof(g_searchListener.mac));
  g_searchListener.haveMac = get_mac(SEARCH_IFACE, g_searchListener.mac) == 0;

  const unsigned prio = OSA_thrMidPriority();
  if (OSA_thrCreate(&g_searchListener.thread, search_listen, prio, 0, &g_searchListener) != 0) {
    search_set_running(false);
    SEARCH_ERROR(__LINE__, "Create search task failed. \n");
    return -1;
  }
  g_searchListenerStarted = true;
  if (OSA_thrCreate(&g_searchTimerThread, search_timer_thread, prio, 0, &g_searchListener) != 0) {
    search_set_running(false);
    SEARCH_ERROR(__LINE__, "Create search timer task failed. \n");
    return -1;
  }
  g_searchTimerStarted = true;
  g_searchOemIndex = search_read_oem_index();
  if (g_searchOemIndex != SEARCH_TOVRIN_OEM_INDEX) return 0;
  if (OSA_thrCreate(&g_searchTovrinThread, tovrin_socket_thread, prio, 0, nullptr) != 0) {
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
  if (search_capture_break(&g_searchListener)) OSA_sleepMs(100);
  if (g_searchOemIndex == SEARCH_TOVRIN_OEM_INDEX) OSA_sleepMs(100);
  // Every thread sees the cleared flag within a short step, so wait for them: none
  // may still use the store or the console while the program shuts down.
  if (g_searchListenerStarted) pthread_join(g_searchListener.thread, nullptr);
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
