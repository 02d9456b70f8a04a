// mtd: lists the bad erase blocks of every NAND partition with absolute flash offsets.
#include <fcntl.h>
#include <mtd/mtd-user.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "module_util.h"
#include "osa.h"
#include "test.h"

#define MTD_MAX_PARTS 16
#define MTD_MAX_BAD 128
#define MTD_PROC "/proc/mtd"

typedef struct MtdPartInfo {
  char path[32];
  uint32_t base;        // absolute offset: sum of the sizes listed before
  uint32_t size;
  uint32_t erasesize;
  char name[32];        // as /proc/mtd prints it, quotes included
  uint32_t count;       // bad blocks found (may exceed the MTD_MAX_BAD recorded)
  uint32_t bad[MTD_MAX_BAD];
} MtdPartInfo;

static MtdPartInfo g_mtdParts[MTD_MAX_PARTS];
static int g_mtdPartCount;
static int g_mtdBadblock;

static const ModuleOption g_mtdOptions[] = {
    {"module", required_argument, 'M', "module", "module name: mtd"},
    {"badblock", required_argument, 'b', "1", "cat badblock info"},
};

static void mtd_help(void) {
  print_module_usage(MODULE_MTD, g_mtdOptions);
}

static void mtd_deinit(void) {}

// Reads the partition table. Partitions beyond the table's 16 entries are reported
// and left out.
static int mtd_read_partitions(void) {
  FILE *file = fopen(MTD_PROC, "re");
  if (!file) {
    module_error(MODULE_FILE, "qz_badblock_check", 45, "%s open failed\n", MTD_PROC);
    return -1;
  }
  char line[1024];
  uint32_t offset = 0;
  g_mtdPartCount = 0;
  while (fgets(line, sizeof line, file)) {
    if (!strstr(line, "mtd")) continue;
    char device[32], name[32];
    unsigned size = 0, erasesize = 0;
    if (sscanf(line, "%31[^:]: %x %x %31s", device, &size, &erasesize, name) != 4) continue;
    if (g_mtdPartCount == MTD_MAX_PARTS) {
      module_error(MODULE_FILE, "qz_badblock_check", 69,
                "more than %d partitions, %s not checked\n", MTD_MAX_PARTS, device);
      continue;
    }
    MtdPartInfo *part = &g_mtdParts[g_mtdPartCount++];
    memset(part, 0, sizeof *part);
    snprintf(part->path, sizeof part->path, "/dev/%.26s", device);
    OSA_copyText(part->name, sizeof part->name, name);
    part->size = size;
    part->erasesize = erasesize;
    part->base = offset;
    offset += size;
  }
  fclose(file);
  return 0;
}

static void mtd_scan_partition(MtdPartInfo *part) {
  part->count = 0;
  int fd = open(part->path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    module_error(MODULE_FILE, "qz_badblock_check", 73, "%s open failed\n", part->path);
    return;
  }
  if (part->erasesize == 0) {
    module_error(MODULE_FILE, "qz_badblock_check", 94, "%s erase size 0, not scanned\n",
              part->path);
    close(fd);
    return;
  }
  for (uint64_t offset = 0; offset < part->size; offset += part->erasesize) {
    loff_t where = (loff_t)offset;
    int result = ioctl(fd, MEMGETBADBLOCK, &where);
    if (result < 0) {
      OSA_printf("ioctl MEMGETBADBLOCK failed, %s, error=%d\n", part->path, result);
      break;
    }
    if (result > 0) {
      if (part->count < MTD_MAX_BAD) part->bad[part->count] = part->base + (uint32_t)offset;
      part->count++;
    }
  }
  close(fd);
}

static int qz_badblock_check(void) {
  if (mtd_read_partitions() != 0) return -1;
  for (int i = 0; i < g_mtdPartCount; i++) mtd_scan_partition(&g_mtdParts[i]);
  uint32_t total = 0;
  for (int i = 0; i < g_mtdPartCount; i++) {
    const MtdPartInfo *part = &g_mtdParts[i];
    if (part->count == 0) continue;
    OSA_printf("%s (%s) : \n", part->path, part->name);
    uint32_t listed = part->count < MTD_MAX_BAD ? part->count : MTD_MAX_BAD;
    for (uint32_t k = 0; k < listed; k++) OSA_printf("Bad block found at : %08x\n", part->bad[k]);
    if (listed < part->count)
      MODULE_ERROR(125, "%s has %u bad blocks, the first %d are listed\n", part->path,
                   part->count, MTD_MAX_BAD);
    total += part->count;
  }
  OSA_printf("\nTotal bad block : %d\n", (int)total);
  return 0;
}

static void mtd_init_param(int argc, char **argv) {
  optind = 0;
  int c;
  ModuleGetopt options(g_mtdOptions);
  while ((c = options.next(argc, argv)) != -1) {
    switch (c) {
      case 'b':
        g_mtdBadblock = module_parse_i32(optarg) == 1;
        break;
      default:
        MODULE_OPTION_FAIL(mtd_help, 165, "Unknow option\n");
    }
  }
}

static int mtd_run(int argc, char **argv) {
  if (argc < 3) {
    mtd_help();
    return -1;
  }
  mtd_init_param(argc, argv);
  if (!g_mtdBadblock) return -1;
  qz_badblock_check();
  return 0;
}

static const TestModule mtd_module = {"mtd", MODULE_MTD, mtd_run, mtd_help, mtd_deinit};
TEST_MODULE_REGISTER(mtd_module)
