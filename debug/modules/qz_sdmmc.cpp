// sdmmc: finds the SD card's block device, mounts it, reports its size, measures
// its speed, repairs or formats it and fills it with files. All disk work is done
// by the board's shell tools; the module builds their command lines and sequences
// them.
#include <getopt.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/statfs.h>
#include <unistd.h>

#include "module_util.h"
#include "osa.h"
#include "qzutil.h"
#include "test.h"

#define SDMMC_MOUNT_POINT "/mnt/mmc"

enum { SDMMC_OPT_INIT = 1 };  // --init has no short letter

static const ModuleOption g_sdmmcOptions[] = {
    {"module", required_argument, 'M', "module", "module name: sdmmc"},
    {"filenum", required_argument, 'n', "digit",
     "sdmmc filling file numbers [n], default 128, [1-40960]"},
    {"filesize", required_argument, 'z', "digit",
     "sdmmc filling file echo filesize [n]MB, default 128MB, [1-4096]"},
    {"info", no_argument, 'i', "",
     "sdmmc base information(blocksize, total size, freesize, usesize)."},
    {"init", no_argument, SDMMC_OPT_INIT, "", "Sdmmc init device."},
    {"speed", no_argument, 's', "", "sdmmc check read and write speed."},
    {"repair", no_argument, 'r', "", "Repair sdmmc disk."},
    {"format", no_argument, 'f', "", "Format sdmmc disk."},
    {"filling", no_argument, 'F', "", "Filling sdmmc disk to full."},
    {"mount", no_argument, 'm', "", "Mount sdmmc."},
};

static const char *const sdmmc_candidates[] = {"/dev/mmcblk0", "/dev/mmcblk1", "/dev/mmcblk2",
                                               "/dev/mmcblk3"};

static struct {
  char device[32];
  uint32_t fileSizeMb;
  uint32_t fileCount;
  uint64_t blockSize, total, free, used;
} g_sdmmcCfg = {"", 128, 128, 0, 0, 0, 0};

static void sdmmc_help(void) {
  print_module_usage(MODULE_SDMMC, g_sdmmcOptions);
}

static void sdmmc_sync(void) { module_system("sync"); }

// 1: exactly one card node (it becomes the device), 0: none, -1: several.
static int sdmmc_detect(void) {
  int found = 0;
  const char *device = nullptr;
  for (const char *candidate : sdmmc_candidates) {
    if (access(candidate, F_OK) == 0) {
      found++;
      device = candidate;
    }
  }
  if (found == 0) return 0;
  if (found > 1) return -1;
  snprintf(g_sdmmcCfg.device, sizeof g_sdmmcCfg.device, "%s", device);
  return 1;
}

static int sdmmc_init(void) {
  int state = sdmmc_detect();
  if (state == 1) return 0;
  if (state == 0) {
    OSA_printf("SD/mmc isn't inserted, please check again!\n");
    return -1;
  }
  OSA_printf("SD/mmc has error, try to reinit!\n");
  OSA_sleepMs(1000);
  state = sdmmc_detect();
  if (state == 1) {
    OSA_printf("SD/mmc inserted!\n");
    return 0;
  }
  if (state == -1) {
    MODULE_ERROR(__LINE__, "SD/mmc has error, reinit faild!\n");
  } else {
    OSA_printf("SD/mmc isn't inserted, please check again!\n");
    MODULE_ERROR(__LINE__, "SD/mmc has unknow error!\n");
  }
  return -1;
}

static int sdmmc_mount(void) {
  if (module_system("df | grep mmcblk > /dev/null 2>&1") == 0) return 0;  // already mounted
  if (sdmmc_init() != 0) return -1;
  char cmd[256];
  if (module_format_command(cmd, sizeof cmd, "mount -t vfat %s " SDMMC_MOUNT_POINT
                            " -o async,umask=000", g_sdmmcCfg.device) != 0)
    return -1;
  return module_system(cmd) == 0 ? 0 : -1;
}

// Reads the mount point's figures: block size, total and free bytes.
static int sdmmc_statfs(void) {
  struct statfs fs;
  if (statfs(SDMMC_MOUNT_POINT, &fs) != 0) return -1;
  g_sdmmcCfg.blockSize = static_cast<uint64_t>(fs.f_bsize);
  g_sdmmcCfg.total = static_cast<uint64_t>(fs.f_blocks) * g_sdmmcCfg.blockSize;
  g_sdmmcCfg.free = static_cast<uint64_t>(fs.f_bfree) * g_sdmmcCfg.blockSize;
  g_sdmmcCfg.used = g_sdmmcCfg.total - g_sdmmcCfg.free;
  return 0;
}

static unsigned long long sdmmc_mb(uint64_t bytes) { return bytes / 1048576ULL; }
// Whole gigabytes: the division by 1024 is an integer one as well, so "%.2f" shows .00.
static double sdmmc_gb(uint64_t bytes) { return static_cast<double>(bytes / 1048576ULL / 1024); }

static int sdmmc_info(void) {
  if (sdmmc_mount() != 0) {
    MODULE_ERROR(__LINE__, "sdmmc mount failed!\n");
    return -1;
  }
  if (sdmmc_statfs() != 0) return -1;
  OSA_printf("Block = %llu KB \n", static_cast<unsigned long long>(g_sdmmcCfg.blockSize / 1024));
  OSA_printf("Total = %llu B = %llu KB = %llu MB = %.2f GB\n",
             static_cast<unsigned long long>(g_sdmmcCfg.total),
             static_cast<unsigned long long>(g_sdmmcCfg.total / 1024), sdmmc_mb(g_sdmmcCfg.total),
             sdmmc_gb(g_sdmmcCfg.total));
  OSA_printf("Free = %llu KB = %llu MB = %.2f GB\n",
             static_cast<unsigned long long>(g_sdmmcCfg.free / 1024), sdmmc_mb(g_sdmmcCfg.free),
             sdmmc_gb(g_sdmmcCfg.free));
  OSA_printf("Use = %llu KB = %llu MB = %.2f GB\n",
             static_cast<unsigned long long>(g_sdmmcCfg.used / 1024), sdmmc_mb(g_sdmmcCfg.used),
             sdmmc_gb(g_sdmmcCfg.used));
  return 0;
}

static int sdmmc_test_speed(void) {
  if (sdmmc_mount() != 0) {
    MODULE_ERROR(__LINE__, "sdmmc mount failed!\n");
    return -1;
  }
  module_system("time dd if=/dev/zero of=" SDMMC_MOUNT_POINT "/empty.file bs=128k count=1k ");
  qz_free_system_caches();
  OSA_sleepMs(1000);
  sdmmc_sync();
  OSA_sleepMs(1000);
  module_system("time dd if=" SDMMC_MOUNT_POINT "/empty.file of=/dev/null bs=128k count=1k ");
  OSA_sleepMs(1000);
  module_system("rm -rf " SDMMC_MOUNT_POINT "/empty.file");
  return 0;
}

static int sdmmc_repair(void) {
  if (sdmmc_init() != 0) return -1;
  char cmd[256];
  if (module_format_command(cmd, sizeof cmd, "time dosfsck -a -v -V %s", g_sdmmcCfg.device) == 0 &&
      module_system(cmd) == 0) {
    OSA_printf("Sd/mmc repair %s success!\n", g_sdmmcCfg.device);
    return 0;
  }
  OSA_printf("Sd/mmc repair %s faild!\n", g_sdmmcCfg.device);
  return -1;
}

static int sdmmc_format(void) {
  if (sdmmc_init() != 0) return -1;
  char cmd[256];
  if (module_format_command(cmd, sizeof cmd, "fdisk %s", g_sdmmcCfg.device) != 0) return -1;
  fflush(stdout);
  FILE *fdisk = popen(cmd, "we");
  if (fdisk == nullptr) {
    OSA_printf("fdisk %s failed!\n", g_sdmmcCfg.device);
    return -1;
  }
  // An fdisk that ends early must not take the tool down with SIGPIPE.
  void (*oldPipe)(int) = signal(SIGPIPE, SIG_IGN);
  // Delete partitions 1 to 4 and write the empty table, giving fdisk time to answer
  // each line.
  static const char script[] = "d1\nd2\nd3\nd4\n w\n";
  for (const char *c = script; *c != '\0'; c++) {
    if (*c == '\n') OSA_sleepMs(500);
    fputc(*c, fdisk);
    fflush(fdisk);
  }
  pclose(fdisk);
  signal(SIGPIPE, oldPipe);
  qz_free_system_caches();
  OSA_sleepMs(1000);
  sdmmc_sync();
  OSA_sleepMs(2000);

  if (module_format_command(cmd, sizeof cmd, "time mkdosfs -I -F 32 %s", g_sdmmcCfg.device) != 0 ||
      module_system(cmd) != 0) {
    OSA_printf("Sd/mmc format failed!\n");
    return -1;
  }
  qz_free_system_caches();
  OSA_sleepMs(1000);
  sdmmc_sync();
  OSA_sleepMs(1000);
  return 0;
}

static int sdmmc_filling_disk(void) {
  if (sdmmc_mount() != 0) {
    MODULE_ERROR(__LINE__, "sdmmc mount failed!\n");
    return -1;
  }
  if (sdmmc_statfs() != 0) return -1;
  OSA_printf("All size = %llu MB, free size = %llu MB \n", sdmmc_mb(g_sdmmcCfg.total),
             sdmmc_mb(g_sdmmcCfg.free));
  OSA_printf("Try to filling sdmmc by creating %d files, echo file size %d MB \n",
             static_cast<int>(g_sdmmcCfg.fileCount), static_cast<int>(g_sdmmcCfg.fileSizeMb));

  uint32_t n = 0;
  for (; n < g_sdmmcCfg.fileCount && !test_stop_requested(); n++) {
    OSA_printf("Create %s/file%d \n", SDMMC_MOUNT_POINT, static_cast<int>(n));
    char cmd[256];
    // A full card yields short files; the count or the stop flag ends the loop.
    if (module_format_command(cmd, sizeof cmd,
                              "dd if=/dev/zero of=" SDMMC_MOUNT_POINT
                              "/file%d  bs=128k count=%u > /dev/null 2>&1",
                              static_cast<int>(n), g_sdmmcCfg.fileSizeMb * 8) == 0)
      module_system(cmd);
    if ((n + 1) % 32 == 0 && sdmmc_statfs() == 0)
      OSA_printf("Free size = %llu MB \n", sdmmc_mb(g_sdmmcCfg.free));
    OSA_sleepMs(1000);
  }

  OSA_printf("Create total %d files \n", static_cast<int>(n));
  if (sdmmc_statfs() == 0) OSA_printf("Free size = %llu MB \n", sdmmc_mb(g_sdmmcCfg.free));
  qz_free_system_caches();
  OSA_sleepMs(1000);
  sdmmc_sync();
  OSA_sleepMs(1000);
  return 0;
}

// Acts on each option as it is met, so options work in command-line order.
static int sdmmc_init_param(int argc, char **argv) {
  optind = 1;
  int opt;
  ModuleGetopt options(g_sdmmcOptions);
  while ((opt = options.next(argc, argv)) != -1) {
    uint32_t value = 0;
    switch (opt) {
      case SDMMC_OPT_INIT:
        break;
      case 'n':
        value = module_parse_u32(optarg);
        if (value < 1 || value > 40960) {
          MODULE_OPTION_EXIT(sdmmc_help, __LINE__, "filling file numbers must in [1-40960]!\n");
        }
        g_sdmmcCfg.fileCount = value;
        break;
      case 'z':
        // The help text says 4096, but files are at most 1024 MB.
        value = module_parse_u32(optarg);
        if (value < 1 || value > 1024) {
          MODULE_OPTION_EXIT(sdmmc_help, __LINE__, "filling file size must in [1-1024]!\n");
        }
        g_sdmmcCfg.fileSizeMb = value;
        break;
      case 'm':
        if (sdmmc_mount() != 0) MODULE_ERROR(__LINE__, "sdmmc mount faild!\n");
        break;
      case 'i':
        if (sdmmc_info() != 0)
          MODULE_ERROR(__LINE__, "sdmmc check information faild!\n");
        break;
      case 's':
        if (sdmmc_test_speed() != 0) MODULE_ERROR(__LINE__, "sdmmc test speed faild!\n");
        break;
      case 'r':
        if (sdmmc_repair() != 0) MODULE_ERROR(__LINE__, "sdmmc repair disk faild!\n");
        break;
      case 'f':
        if (sdmmc_format() != 0) MODULE_ERROR(__LINE__, "sdmmc format disk faild!\n");
        break;
      case 'F':
        if (sdmmc_filling_disk() != 0)
          MODULE_ERROR(__LINE__, "sdmmc filling disk faild!\n");
        break;
      default:
        MODULE_OPTION_EXIT(sdmmc_help, __LINE__, "Unknow option\n");
    }
  }
  return 0;
}

static int sdmmc_run(int argc, char **argv) { return sdmmc_init_param(argc, argv); }

static const TestModule sdmmc_module = {"sdmmc", MODULE_SDMMC, sdmmc_run, sdmmc_help, nullptr};
TEST_MODULE_REGISTER(sdmmc_module)
