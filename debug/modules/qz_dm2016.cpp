// dm2016: reads and writes the identity EEPROM on I2C bus 2, one byte at a time.
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "module_util.h"
#include "osa.h"
#include "test.h"

#define DM2016_DEVICE "/dev/i2c-2"
#define DM2016_SLAVE 0xa0
#define DM2016_TEXT_MAX 128
#define DM2016_WRITE_CYCLE_US 12000
#define DM2016_SHELL_ADDR 6
// Requests of the platform's I2C device: register and data width (0 = 8 bits).
#define I2C_REG_WIDTH_REQUEST 0x0709
#define I2C_DATA_WIDTH_REQUEST 0x070a

static int32_t g_dm2016Op;          // 0 read, 1 write
static uint32_t g_dm2016Start;
static uint32_t g_dm2016Length = 32;
static char g_dm2016Value[DM2016_TEXT_MAX + 4];

static const ModuleOption g_dm2016Options[] = {
    {"module", required_argument, 'M', "module", "module name: dm2016"},
    {"write", required_argument, 'w', "str", "Write 'str' to dm2016 "},
    {"start", required_argument, 's', "hex", "Write/read start address, default[0]"},
    {"length", required_argument, 'l', "hex", "Write/read length, write length base on 'values'"},
    {"read", no_argument, 'r', "", "Read dm2016"},
    {"shell", no_argument, 'S', "", "Read shell bit from dmm2016."},
};

static void dm2016_help(void) {
  print_module_usage(MODULE_DM2016, g_dm2016Options);
  OSA_printf("Exsample: \n");
  OSA_printf("\t%s -M dm2016 \n\tDefault read dm2016 from 0 to 32 \n", test_program_name());
  OSA_printf("\t%s -M dm2016 -w 'TRV41K27' \n\tDefault read dm2016 from 0 to 32 \n",
             test_program_name());
}

static int dm2016_open(void) {
  int fd = open(DM2016_DEVICE, O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    printf("Unable to open i2c bus 2!!!\n");
    return fd;
  }
  ioctl(fd, I2C_SLAVE, DM2016_SLAVE);
  return fd;
}

// Each byte is fetched by a 1-byte read whose buffer carries the register address in.
static int read_dm2016_eeprom(int fd, uint32_t start, uint32_t count, char *buffer) {
  if (!buffer) return -1;
  ioctl(fd, I2C_REG_WIDTH_REQUEST, 0);
  ioctl(fd, I2C_DATA_WIDTH_REQUEST, 0);
  for (uint32_t addr = start, k = 0; addr < start + count; addr++, k++) {
    buffer[k] = (char)(addr & 0xff);
    ssize_t n = read(fd, &buffer[k], 1);
    if (n < 0) {
      printf("dm2016 read addr 0x%x error. \n", addr);
      return (int)n;
    }
  }
  return 0;
}

static int write_dm2016_eeprom(int fd, uint32_t start, uint32_t count, const char *text) {
  if (!text) return -1;
  ioctl(fd, I2C_REG_WIDTH_REQUEST, 0);
  ioctl(fd, I2C_DATA_WIDTH_REQUEST, 0);
  for (uint32_t k = 0; k < count; k++) {
    const uint8_t bytes[2] = {(uint8_t)((start + k) & 0xff), (uint8_t)text[k]};
    ssize_t n = write(fd, bytes, 2);
    if (n < 0) {
      perror("write_dm2016_eeprom");
      return (int)n;
    }
    usleep(DM2016_WRITE_CYCLE_US);
  }
  return 0;
}

// The shell bit is read at once and ends the process.
static int dm2016_read_shell_bit(void) {
  int fd = dm2016_open();
  if (fd < 0) {
    module_error(MODULE_FILE, "dm2016_init_param", 270, "Open dm2016 Fail.\n");
    return -1;
  }
  char shell[4] = {0};
  read_dm2016_eeprom(fd, DM2016_SHELL_ADDR, 1, shell);
  OSA_printf("%s\n", shell);
  close(fd);
  exit(0);
}

// Returns 0 when the run should go on, -1 when it ends here (with result 0).
static int dm2016_init_param(int argc, char **argv) {
  optind = 0;
  int c;
  ModuleGetopt options(g_dm2016Options);
  while ((c = options.next(argc, argv)) != -1) {
    switch (c) {
      case 'w':
        if (strlen(optarg) > DM2016_TEXT_MAX) {
          return MODULE_OPTION_FAIL(dm2016_help, 236, "dm2016 value length must <= %d \n",
                    DM2016_TEXT_MAX);
        }
        g_dm2016Op = 1;
        OSA_copyText(g_dm2016Value, sizeof g_dm2016Value, optarg);
        break;
      case 's':
        g_dm2016Start = module_parse_u32(optarg);
        if (g_dm2016Start >= DM2016_TEXT_MAX) {
          return MODULE_OPTION_FAIL(dm2016_help, 251, "dm2016 offset must < %d \n",
                                    DM2016_TEXT_MAX);
        }
        break;
      case 'l':
        g_dm2016Length = module_parse_u32(optarg);
        if (g_dm2016Length >= DM2016_TEXT_MAX) {
          return MODULE_OPTION_FAIL(dm2016_help, 260, "dm2016 length must < %d \n",
                                    DM2016_TEXT_MAX);
        }
        break;
      case 'r':
        g_dm2016Op = 0;
        break;
      case 'S':
        if (dm2016_read_shell_bit() != 0) return -1;
        break;
      default:
        return MODULE_OPTION_FAIL(dm2016_help, 279, "Unknow option. \n");
    }
  }
  return 0;
}

static int dm2016_test_main(void) {
  int fd = dm2016_open();
  if (fd < 0) {
    MODULE_ERROR(307, "Open dm2016 Fail.\n");
    return -1;
  }
  if (g_dm2016Op == 1) {
    uint32_t length = (uint32_t)strlen(g_dm2016Value);
    int ret = write_dm2016_eeprom(fd, g_dm2016Start, length, g_dm2016Value);
    if (ret != 0) {
      MODULE_ERROR(339, "DM2016 write %s from %d length %d failed!\n",
                g_dm2016Value, (int)g_dm2016Start, (int)length);
      close(fd);
      return ret;
    }
    OSA_printf("DM2016 write %s from %d length %d success!\n", g_dm2016Value,
               (int)g_dm2016Start, (int)length);
  } else {
    // Bytes past the ones read stay zero, so the text always ends inside the buffer.
    memset(g_dm2016Value, 0, sizeof g_dm2016Value);
    int ret = read_dm2016_eeprom(fd, g_dm2016Start, g_dm2016Length, g_dm2016Value);
    if (ret != 0) {
      MODULE_ERROR(322, "DM2016 read %s from %d length %d failed!\n",
                g_dm2016Value, (int)g_dm2016Start, (int)g_dm2016Length);
      close(fd);
      return ret;
    }
    OSA_printf("DM2016 read %s from %d length %d success!\n", g_dm2016Value,
               (int)g_dm2016Start, (int)g_dm2016Length);
  }
  close(fd);
  return 0;
}

static int dm2016_run(int argc, char **argv) {
  if (dm2016_init_param(argc, argv) != 0) return 0;
  return dm2016_test_main();
}

static const TestModule dm2016_module = {"dm2016", MODULE_DM2016, dm2016_run, dm2016_help,
                                         nullptr};
TEST_MODULE_REGISTER(dm2016_module)
