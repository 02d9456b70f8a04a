// The parking service: process lifecycle and the worker thread that pulls frames,
// runs the detector and hands the cars to assignment, judging and reporting.
//
// Start-up: signals, wait for an earlier instance, pid file, HDAL, locks and the
// frame semaphore, message socket, settings store, parking configuration, worker,
// ready notice. Shutdown undoes it in reverse after the worker has ended.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/sem.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

#include "hdal.h"
#include "parking.h"
#include "plog.h"
#include "qzcommon.h"
#include "qzdb.h"
#include "qzsocket.h"
#include "qzstd.h"
#include "qztraffic.h"
#include "safe_open.h"

namespace {

const char kPidFile[] = "/tmp/parking_pid";
const char kSocketPath[] = "/var/run/qzsocket";
const char kDetectorDir[] = "/mnt/nand4/vehicle/";
const key_t kFrameSemKey = 0x14BA86C2;
const int kClientId = 13;
const uint32_t kFrameMapBytes = 3110912;  // 0x2F7800: room for a 1920x1080 NV12 frame
const int32_t kPullWaitMs = 5000;
const uint32_t kFrameWidth = 896;
const uint32_t kFrameHeight = 512;
const int kInstanceWaits = 100;
const int kSocketChecks = 20;
const int kShutdownCarListLen = 1024;

std::atomic<unsigned char> g_stop{0};
int g_frameSem = -1;

// ---- signals ------------------------------------------------------------------------

// UTC offset of local time, refreshed by the main thread, so that a signal handler
// can write the time text without calling into the time zone code (which takes locks
// and is not safe inside a handler).
std::atomic<long> g_utcOffset{0};

void refresh_utc_offset() {
  time_t now = time(nullptr);
  struct tm parts;
  if (localtime_r(&now, &parts)) g_utcOffset.store(parts.tm_gmtoff, std::memory_order_relaxed);
}

// "YYYY-MM-DD hh:mm:ss" of now, the same text as time_to_string, with only
// async-signal-safe work.
void signal_time_text(char *out) {
  long long t = (long long)time(nullptr) + g_utcOffset.load(std::memory_order_relaxed);
  long long days = t / 86400, secs = t % 86400;
  if (secs < 0) {
    secs += 86400;
    days -= 1;
  }
  // Civil date from days since 1970-01-01 (proleptic Gregorian).
  long long z = days + 719468;
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  long long doe = z - era * 146097;
  long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long long mp = (5 * doy + 2) / 153;
  long long d = doy - (153 * mp + 2) / 5 + 1;
  long long m = mp < 10 ? mp + 3 : mp - 9;
  long long y = yoe + era * 400 + (m <= 2);
  char text[128];
  snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", y, m, d, secs / 3600,
           secs / 60 % 60, secs % 60);
  memcpy(out, text, 31);
  out[31] = '\0';
}

void print_signal_line(int sig, const char *func, int line) {
  char when[32];
  char text[256];
  signal_time_text(when);
  int n = snprintf(text, sizeof text,
                   "[%s %d] Parking Manager recv signal %d \n==func:%s file:%s line:%d\n", when,
                   (int)getpid(), sig, func, "main", line);
  if (n > 0) {
    ssize_t ignored = write(STDOUT_FILENO, text, (size_t)(n < (int)sizeof text ? n : (int)sizeof text - 1));
    (void)ignored;
  }
}

// A real fault (bus error, illegal instruction, arithmetic fault raised by the
// kernel) cannot be survived by returning: the instruction would fault again for
// ever. Such a signal gets its default action back, so the process ends with it.
void restore_default_on_fault(int sig, const siginfo_t *info) {
  if ((sig == SIGBUS || sig == SIGILL || sig == SIGFPE) && info && info->si_code > 0)
    signal(sig, SIG_DFL);
}

void signal_handler(int sig, siginfo_t *info, void *) {
  int saved = errno;
  print_signal_line(sig, "signal_handler", 169);
  g_stop.store(1);
  restore_default_on_fault(sig, info);
  errno = saved;
}

void signal_handler_debug(int sig, siginfo_t *, void *) {
  int saved = errno;
  print_signal_line(sig, "signal_handler_debug", 175);
  g_parkingVerbose.fetch_xor(1);
  errno = saved;
}

const int kStopSignals[] = {SIGINT, SIGBUS, SIGILL, 16, SIGFPE, SIGABRT};

void install_signals() {
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_SIGINFO | SA_RESTART;
  sa.sa_sigaction = signal_handler;
  for (int sig : kStopSignals) sigaction(sig, &sa, nullptr);
  sa.sa_sigaction = signal_handler_debug;
  sigaction(SIGRTMIN, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

// Threads started by the service leave these signals to the main thread, which only
// sleeps while they run: a handler never interrupts a worker in the middle of a
// print or a lock.
void block_handled_signals(sigset_t *old) {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kStopSignals) sigaddset(&set, sig);
  sigaddset(&set, SIGRTMIN);
  pthread_sigmask(SIG_BLOCK, &set, old);
}

void restore_signals(const sigset_t *old) { pthread_sigmask(SIG_SETMASK, old, nullptr); }

void sleep_ms(long ms) {
  struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR && !g_stop.load()) {
  }
}

// ---- earlier instance -------------------------------------------------------------

// The pid file lies under /tmp, where anyone may plant a link, a FIFO or a file of
// their own at its name: safe_open refuses those, and this reports them.
void report_refused_file(const char *path, const char *why) {
  plog("main", "main", __LINE__, "refusing to open %s: %s\n", path, why);
}

// The pid file names a live process: a non-empty first line whose number gives an
// existing /proc/<pid> folder. Our own pid (a pid file left from before a reboot
// may name it) does not count: we would wait for ourselves.
bool earlier_instance_alive() {
  int fd = safe_open(kPidFile, O_RDONLY, report_refused_file);
  FILE *f = fd >= 0 ? fdopen(fd, "r") : nullptr;
  if (!f) {
    if (fd >= 0) close(fd);
    return false;
  }
  char line[32];
  bool haveLine = fgets(line, sizeof line, f) != nullptr;
  fclose(f);
  if (!haveLine) return false;
  line[strcspn(line, "\n")] = '\0';
  if (line[0] == '\0') return false;
  long pid = strtol(line, nullptr, 10);
  if ((pid_t)pid == getpid()) return false;
  char path[64];
  snprintf(path, sizeof path, "/proc/%d", (int)pid);
  struct stat st;
  if (stat(path, &st) != 0) {
    perror(path);
    return false;
  }
  return S_ISDIR(st.st_mode);
}

// Writes our pid and a line feed, as "echo <pid> > file" would, without a shell.
void write_pid_file() {
  int fd = safe_open(kPidFile, O_WRONLY | O_CREAT | O_TRUNC, report_refused_file);
  if (fd < 0) {
    // A refusal has been reported already.
    if (errno != ELOOP && errno != EPERM) perror(kPidFile);
    return;
  }
  char text[32];
  int len = snprintf(text, sizeof text, "%d\n", (int)getpid());
  if (write(fd, text, (size_t)len) != len) perror(kPidFile);
  close(fd);
}

// ---- frames -----------------------------------------------------------------------

struct FrameBuffer {
  HD_VIDEO_FRAME frame;
  uint32_t blockPhys;
  void *mapped;
  uint32_t mappedLen;
  uint8_t *plane0;
};

int frame_pull(HD_PATH_ID path, FrameBuffer *fb) {
  memset(fb, 0, sizeof *fb);
  HD_RESULT r = hd_videoproc_pull_out_buf(path, &fb->frame, kPullWaitMs);
  if (r != HD_OK) {
    printf("pull_out lpr/face error %d!!\r\n", r);
    return -1;
  }
  fb->blockPhys = hd_common_mem_blk2pa(fb->frame.blk);
  if (fb->blockPhys == 0) {
    printf("lpr/face blk2pa fail, blk = 0x%x\r\n", fb->frame.blk);
    hd_videoproc_release_out_buf(path, &fb->frame);
    return -1;
  }
  fb->mapped = hd_common_mem_mmap(HD_COMMON_MEM_MEM_TYPE_CACHE, fb->blockPhys, kFrameMapBytes);
  if (fb->mapped == nullptr) {
    printf("lpr/face mmap error !!\r\n");
    hd_videoproc_release_out_buf(path, &fb->frame);
    return -1;
  }
  fb->mappedLen = kFrameMapBytes;
  fb->plane0 = (uint8_t *)fb->mapped + (fb->frame.phy_addr[0] - fb->blockPhys);
  return 0;
}

int frame_release(HD_PATH_ID path, FrameBuffer *fb) {
  if (fb == nullptr) return -1;
  int result = 0;
  HD_RESULT r = hd_common_mem_munmap(fb->mapped, fb->mappedLen);
  if (r != HD_OK) {
    printf("lpr/face mnumap error !! ret = %d\r\n", r);
    result = -1;
  }
  r = hd_videoproc_release_out_buf(path, &fb->frame);
  if (r != HD_OK) {
    printf("lpr/face release_out() error !! ret = %d\r\n", r);
    return -1;
  }
  return result;
}

// ---- worker -------------------------------------------------------------------------

// Per-frame storage of the worker, kept for the life of the process: nothing is
// allocated per frame.
struct WorkerStorage {
  ParkingWork work;
  CarBox cars[PARKING_MAX_CARS];
  TrafficInput input;
  TrafficOutput output;
  FrameBuffer frame;
};
WorkerStorage g_worker;

// Detector objects -> car boxes; returns how many (at most PARKING_MAX_CARS).
int cars_from_detections(const TrafficOutput *out, CarBox *cars) {
  int n = out->count;
  if (n <= 0) return 0;
  if (n > PARKING_MAX_CARS) n = PARKING_MAX_CARS;
  for (int i = 0; i < n; ++i) {
    const TrafficObject *o = &out->objects[i];
    cars[i].x = o->left;
    cars[i].y = o->top;
    cars[i].w = (uint16_t)(o->right - o->left);
    cars[i].h = (uint16_t)(o->bottom - o->top);
    cars[i].score = o->score;
  }
  return n;
}

// One frame step with the frame semaphore and the configuration lock held. Returns
// true when a frame went through the detector.
bool frame_step(WorkerStorage *w) {
  const AvsCfg cfg = g_AvsCfg;
  if (cfg.vprocId == 0 || cfg.vencId == 0) {
    plog("thread_parking_run", "main", 377,
         PLOG_YELLOW "g_AvsCfg.vprocId == 0 || g_AvsCfg.vencId == 0 waitting..." PLOG_RESET " ");
    return false;
  }
  if (cfg.mode >= 4 && cfg.mode <= 7) {
    parking_clear_car_list();
    return false;
  }
  const HD_PATH_ID path = (HD_PATH_ID)cfg.vprocId;
  if (frame_pull(path, &w->frame) != 0) return false;
  if (w->frame.frame.pw[0] != kFrameWidth || w->frame.frame.ph[0] != kFrameHeight) {
    frame_release(path, &w->frame);
    parking_clear_car_list();
    return false;
  }
  memset(&w->input, 0, sizeof w->input);
  // The detector takes a 32-bit address; HDAL maps frames below 4 GiB.
  w->input.addr = (uint32_t)(uintptr_t)w->frame.plane0;
  w->input.width = kFrameWidth;
  w->input.height = kFrameHeight;
  w->output.count = 0;
  qz_traffic_process(0, &w->input, &w->output);
  int n = cars_from_detections(&w->output, w->cars);
  parking_process_frame(&g_spaceTable, &w->work, w->cars, n);
  frame_release(path, &w->frame);
  return true;
}

void thread_parking_run() {
  WorkerStorage *w = &g_worker;
  qz_parking_init(&g_spaceTable, &w->work);
  while (!g_stop.load()) {
    memset(w->cars, 0, sizeof w->cars);
    qz_sem_p(g_frameSem, 0);
    qz_mutex_lock(&g_parkingCfgLock);
    bool processed = frame_step(w);
    qz_mutex_unlock(&g_parkingCfgLock);
    qz_sem_v(g_frameSem, 0);
    if (processed) usleep(50);
    else sleep_ms(100);
  }
  parking_release(&w->work);
  qz_traffic_deinit();
}

void *parking_worker(void *) {
  qz_task_set_name("parking_detect");
  static TrafficInitParam param;
  memset(&param, 0, sizeof param);
  snprintf(param.dataDir, sizeof param.dataDir, "%s", kDetectorDir);
  if (qz_traffic_init(&param) == 0) thread_parking_run();
  return nullptr;
}

// ---- start-up ------------------------------------------------------------------------

// Takes down the first `stepsUp` HDAL layers (common, memory, video processing,
// video encoding), newest first: the one undo ladder of start-up and stop.
static void hdal_undo(int stepsUp) {
  if (stepsUp >= 4) hd_videoenc_uninit();
  if (stepsUp >= 3) hd_videoproc_uninit();
  if (stepsUp >= 2) hd_common_mem_uninit();
  if (stepsUp >= 1) hd_common_uninit();
}

// HDAL up in order; on failure the steps already taken are undone. 0 or -1.
int hdal_start() {
  HD_RESULT r = hd_common_init(1);
  if (r != HD_OK)
    plog("main", "main", 547, PLOG_RED "==== hd_common_init fail=%d\n" PLOG_RESET " ", r);
  r = hd_common_sysconfig(0, 0x10000, 0, 0xF0000);
  if (r != HD_OK) {
    plog_wrn("main", "main", 552, "hd_common_sysconfig fail=%d", r);
    hdal_undo(1);
    return -1;
  }
  r = hd_common_mem_init(nullptr);
  if (r != HD_OK) {
    plog("main", "main", 558, PLOG_RED "==== hd_common_mem_init fail=%d\n" PLOG_RESET " ", r);
    hdal_undo(1);
    return -1;
  }
  r = hd_videoproc_init();
  if (r != HD_OK) {
    plog("main", "main", 564, PLOG_RED "==== hd_videoproc_init fail=%d\n" PLOG_RESET " ", r);
    hdal_undo(2);
    return -1;
  }
  r = hd_videoenc_init();
  if (r != HD_OK) {
    plog("main", "main", 571, PLOG_RED "==== hd_videoenc_init fail=%d\n" PLOG_RESET " ", r);
    hdal_undo(3);
    return -1;
  }
  return 0;
}

void hdal_stop() { hdal_undo(4); }

void wait_for_socket() {
  for (int i = 0; i < kSocketChecks; ++i) {
    if (qz_client_socket_state() == QZ_SOCK_CONNECTED) return;
    sleep_ms(100);
  }
  // Reported at error level (also to the persistent log); the service runs on and
  // the messaging library keeps trying to connect.
  plog_err("main", "main", 586, "socket connect failed");
}

}  // namespace

int main() {
  // Lines go out as they are printed, also into a pipe or a file.
  setvbuf(stdout, nullptr, _IOLBF, 0);
  refresh_utc_offset();
  install_signals();

  int sleepCount = 0;
  while (earlier_instance_alive() && sleepCount < kInstanceWaits && !g_stop.load()) {
    plog("main", "main", 529, PLOG_RED "parking has EXIST waite 100 ms" PLOG_RESET " \n");
    ++sleepCount;
    sleep_ms(100);
  }
  plog("main", "main", 533, "sleepCount: [%d]", sleepCount);
  if (g_stop.load()) return 0;

  struct timeval tv;
  gettimeofday(&tv, nullptr);
  plog("main", "main", 541, PLOG_RED "cur_time: [%llu s %llums]" PLOG_RESET " \n",
       (unsigned long long)tv.tv_sec, (unsigned long long)(tv.tv_usec / 1000));

  write_pid_file();

  if (hdal_start() != 0) return -1;

  qz_mutex_init(&g_parkingCfgLock);
  g_frameSem = semget(kFrameSemKey, 1, IPC_CREAT | 0666);

  sigset_t mainMask;
  block_handled_signals(&mainMask);
  sock_request_register(g_parkingRequests, 1);
  qz_sock_init(res_msg, nullptr, kClientId, kSocketPath);
  restore_signals(&mainMask);
  wait_for_socket();

  db_init();
  parking_config_load(&g_spaceTable);

  qz_task_t worker;
  block_handled_signals(&mainMask);
  bool workerStarted = qz_task_create_join(&worker, parking_worker, nullptr) == 0;
  restore_signals(&mainMask);
  if (!workerStarted) {
    printf("qz_task_create_join\n");
    g_stop.store(1);
  }
  g_parkingSend(1, PARKING_READY_NOTICE, nullptr, 0);

  int ticks = 0;
  while (!g_stop.load()) {
    sleep_ms(50);
    if (++ticks % 1200 == 0) refresh_utc_offset();  // once a minute
  }

  if (workerStarted) qz_task_join(&worker);
  static char emptyCars[kShutdownCarListLen];
  memset(emptyCars, 0, sizeof emptyCars);
  memcpy(emptyCars, PARKING_EMPTY_CARS, sizeof PARKING_EMPTY_CARS);
  g_parkingSend(1, PARKING_CARS_REPORT, emptyCars, kShutdownCarListLen);
  db_uninit(1);
  hdal_stop();
  // The receive thread takes the configuration lock for every video-path request;
  // it is stopped first, so that no request can lock the mutex after it is destroyed.
  qz_sock_uninit();
  qz_mutex_uninit(&g_parkingCfgLock);
  return 0;
}
