// i2c: reads or writes registers of any device on /dev/i2c-N, 1- or 2-byte register
// addresses and data, singly or as a run; slave 0x68 runs the motion-sensor probe.
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "module_util.h"
#include "osa.h"
#include "test.h"

#define GYRO_SLAVE 0x68

typedef struct I2cParam {
  uint32_t op;      // 0 read, 1 write
  uint16_t bus;     // N of /dev/i2c-N
  uint32_t rsize;   // register-address width, 1 or 2 bytes
  uint32_t dsize;   // data width, 1 or 2 bytes
  uint16_t slave;   // 8-bit bus address (read/write bit position included)
  uint16_t reg;
  uint16_t data;
} I2cParam;

typedef struct I2cKnownDevice {
  char name[32];
  uint16_t slave;
  uint16_t regStart;
  uint16_t regEnd;
  uint8_t regWidth;
  uint8_t dataWidth;
} I2cKnownDevice;

static const I2cKnownDevice g_i2cKnownDevices[] = {
    {"pcf8563", 0xa2, 0x0, 0xc, 1, 1},         {"DM2016", 0xa0, 0x0, 0x80, 1, 1},
    {"AR0330", 0x30, 0x3000, 0x3780, 2, 2},    {"AR0330-new", 0x20, 0x3000, 0x3780, 2, 2},
    {"AR0130", 0x20, 0x3000, 0x3fda, 2, 2},    {"AR0331", 0x20, 0x3000, 0x3780, 2, 2},
    {"MT9P006", 0x90, 0x0, 0xff, 1, 2},
};

static I2cParam g_i2cCfg = {0, 0, 1, 1, 0xa0, 0x00, 0xaa};
static int g_i2cFd = -1;
static uint32_t g_i2cRunLength = 1;

enum { OPT_RSIZE = 256, OPT_DSIZE, OPT_RLENGTH, OPT_WLENGTH };

static const ModuleOption g_i2cOptions[] = {
    {"module", required_argument, 'M', "module", "module name: i2c"},
    {"slave", required_argument, 'R', "hex", "i2c slave address, default[0xa0]"},
    {"read", required_argument, 'r', "hex", "read register address, default[0x00]"},
    {"write", required_argument, 'w', "hex", "write register address, default[0x00]"},
    {"data", required_argument, 'd', "data", "data to written, default[0xaa]"},
    {"i2c_id", required_argument, 'i', "digit", "i2c bus number N of /dev/i2c-N, default[0]"},
    {"rsize", required_argument, OPT_RSIZE, "digit",
     "register size [1 or 2] byte, default [1] byte"},
    {"dsize", required_argument, OPT_DSIZE, "digit",
     "register data size [1 or 2] byte, default [1] byte"},
    {"rlength", required_argument, OPT_RLENGTH, "digit",
     "sequential read register length, default [1]"},
    {"wlength", required_argument, OPT_WLENGTH, "digit",
     "sequential write register length, default [1]"},
};

static void i2c_help(void) {
  print_module_usage(MODULE_I2C, g_i2cOptions);
  OSA_printf("i2c device information: \n");
  for (const I2cKnownDevice &dev : g_i2cKnownDevices) {
    OSA_printf("%-12s: \n", dev.name);
    OSA_printf("\tSlave  address : 0x%02x \n", dev.slave);
    OSA_printf("\tRegister start : 0x%x \n", dev.regStart);
    OSA_printf("\tRegister\t end : 0x%x \n", dev.regEnd);
    OSA_printf("\tRegister width : %d(byte) \n", dev.regWidth);
    OSA_printf("\tData\t   width : %d(byte) \n\n", dev.dataWidth);
  }
}

static void i2c_close(void) {
  if (g_i2cFd >= 0) close(g_i2cFd);
  g_i2cFd = -1;
}

static void i2c_deinit(void) { i2c_close(); }

static int i2c_open(uint16_t bus) {
  if (g_i2cFd < 0) {
    char path[32];
    snprintf(path, sizeof path, "/dev/i2c-%u", bus);
    int fd = open(path, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
      printf("Open /dev/i2c-%d error!", bus);
      fflush(stdout);
      return -1;
    }
    g_i2cFd = fd;
  }
  ioctl(g_i2cFd, I2C_TIMEOUT, 2);
  ioctl(g_i2cFd, I2C_RETRIES, 2);
  ioctl(g_i2cFd, I2C_TENBIT, 0);
  usleep(100);
  return g_i2cFd;
}

// Byte register read as one combined transfer: [reg] then 1 byte back.
static uint8_t DRV_i2cRead8(int fd, uint8_t reg, uint8_t *out) {
  if (ioctl(fd, I2C_SLAVE_FORCE, g_i2cCfg.slave) < 0) printf("CMD_SET_I2C_SLAVE error!\n");
  uint8_t regByte = reg;
  uint8_t value = 0;
  struct i2c_msg msgs[2] = {
      {g_i2cCfg.slave, 0, 1, &regByte},
      {g_i2cCfg.slave, I2C_M_RD, 1, &value},
  };
  struct i2c_rdwr_ioctl_data xfer = {msgs, 2};
  if (ioctl(fd, I2C_RDWR, &xfer) != 2) printf("CMD_I2C_READ error!\n");
  if (out) *out = value;
  return value;
}

static int DRV_i2cWrite8(int fd, uint8_t reg, uint8_t data) {
  if (fd == -1) return -1;
  if (ioctl(fd, I2C_SLAVE_FORCE, g_i2cCfg.slave) < 0) {
    printf("set i2c device address error!\n");
    return -1;
  }
  uint8_t bytes[2] = {reg, data};
  if (write(fd, bytes, 2) < 0) {
    printf("i2c write error!\n");
    return -1;
  }
  return 0;
}

// The two-step operations: write the address bytes, then read the data bytes.
static int i2c_write_then_read(int fd, const uint8_t *out, size_t outLen, uint8_t *in,
                               size_t inLen, const char *name) {
  char what[48];
  if (write(fd, out, outLen) == -1) {
    snprintf(what, sizeof what, "%s write", name);
    perror(what);
    return -1;
  }
  if (read(fd, in, inLen) == -1) {
    snprintf(what, sizeof what, "%s read", name);
    perror(what);
    return -1;
  }
  return 0;
}

static int i2c_write_bytes(int fd, const uint8_t *out, size_t outLen, const char *name) {
  if (write(fd, out, outLen) == -1) {
    char what[48];
    snprintf(what, sizeof what, "%s write", name);
    perror(what);
    return -1;
  }
  return 0;
}

static int i2c_do_rw(I2cParam *p) {
  int fd = i2c_open(p->bus);
  if (fd == -1) return -1;
  if (ioctl(fd, I2C_SLAVE, p->slave >> 1) < 0) {
    perror("i2c_do_rw ioctl");
    return -1;
  }
  if (p->op != 0 && p->op != 1) {
    MODULE_ERROR(420, "Unknow I2C opt!\n");
    return -1;
  }
  const bool reg16 = p->rsize == 2;
  const bool data16 = p->dsize == 2;
  const uint8_t regHi = (uint8_t)(p->reg >> 8), regLo = (uint8_t)(p->reg & 0xff);
  const uint8_t dataHi = (uint8_t)(p->data >> 8), dataLo = (uint8_t)(p->data & 0xff);
  uint8_t in[2] = {0, 0};

  if (p->op == 0) {
    if (!reg16 && !data16) {
      uint8_t value = 0;
      DRV_i2cRead8(fd, regLo, &value);
      p->data = (uint16_t)((p->data & 0xff00) | value);
      return 0;
    }
    if (!reg16) {
      if (i2c_write_then_read(fd, &regLo, 1, in, 2, "DRV_i2cRead16") != 0) return -1;
      p->data = (uint16_t)(in[0] << 8 | in[1]);
      return 0;
    }
    const uint8_t addr[2] = {regHi, regLo};
    if (!data16) {
      if (i2c_write_then_read(fd, addr, 2, in, 1, "DRV_i2c16Read8") != 0) return -1;
      p->data = (uint16_t)((p->data & 0xff00) | in[0]);
      return 0;
    }
    if (i2c_write_then_read(fd, addr, 2, in, 2, "DRV_i2c16Read16") != 0) return -1;
    p->data = (uint16_t)(in[0] << 8 | in[1]);
    return 0;
  }

  if (!reg16 && !data16) return DRV_i2cWrite8(fd, regLo, dataLo) == 0 ? 0 : -1;
  if (!reg16) {
    const uint8_t out[3] = {regLo, dataHi, dataLo};
    return i2c_write_bytes(fd, out, 3, "DRV_i2cWrite16");
  }
  if (!data16) {
    const uint8_t out[3] = {regHi, regLo, dataLo};
    return i2c_write_bytes(fd, out, 3, "DRV_i2c16Write8");
  }
  const uint8_t out[4] = {regHi, regLo, dataHi, dataLo};
  return i2c_write_bytes(fd, out, 4, "DRV_i2c16Write16");
}

// Motion-sensor probe: identity, power-on, then 50 samples of the three axes.
static int i2c_gyro_probe(void) {
  int fd = i2c_open(g_i2cCfg.bus);
  if (fd == -1) {
    printf(" i2c open fail \n");
    return -1;
  }
  uint8_t id = 0;
  DRV_i2cRead8(fd, 0x75, &id);
  g_i2cCfg.data = id;
  uint8_t sampleStart;
  if (id == 0x67) {  // ICM-42670
    DRV_i2cWrite8(fd, 0x1F, 0x1F);
    sampleStart = 0x11;
  } else if (id == 0x39) {  // ICM-40608
    DRV_i2cWrite8(fd, 0x4E, 0x1F);
    sampleStart = 0x25;
  } else {
    return 0;
  }
  printf("[gyro] who am I : 0x%x [0x67 : (ICM-42670)  ,  0x39 : (ICM-40608)] \n", id);
  for (int sample = 0; sample < 50; sample++) {
    uint8_t r[6];
    for (int k = 0; k < 6; k++) DRV_i2cRead8(fd, (uint8_t)(sampleStart + k), &r[k]);
    unsigned x = (unsigned)(r[0] << 8 | r[1]);
    unsigned y = (unsigned)(r[2] << 8 | r[3]);
    unsigned z = (unsigned)(r[4] << 8 | r[5]);
    printf("[gyro] x : %05d  ,  y : %05d  ,  z : %05d \n", x, y, z);
    fflush(stdout);
    usleep(100000);
  }
  i2c_close();
  return 0;
}

static int i2c_test_main(void) {
  if (g_i2cCfg.slave == GYRO_SLAVE) return i2c_gyro_probe();
  for (uint32_t i = 0; i < g_i2cRunLength; i++) {
    if (i2c_do_rw(&g_i2cCfg) != 0) {
      MODULE_ERROR(702, "i2c_do_rw faild!\n");
    } else {
      OSA_printf(g_i2cCfg.op == 0 ? "I2C read reg = 0x%02x, data = 0x%02x\n"
                                    : "I2C write reg = 0x%02x, data = 0x%02x\n",
                 g_i2cCfg.reg, g_i2cCfg.data);
    }
    g_i2cCfg.reg = (uint16_t)(g_i2cCfg.reg + (g_i2cCfg.rsize == 2 ? 2 : 1));
  }
  i2c_close();
  return 0;
}

static void i2c_init_param(int argc, char **argv) {
  optind = 0;
  int c;
  ModuleGetopt options(g_i2cOptions);
  while ((c = options.next(argc, argv)) != -1) {
    switch (c) {
      case 'R':
        g_i2cCfg.slave = (uint16_t)module_parse_u32(optarg);
        break;
      case 'r':
        g_i2cCfg.op = 0;
        g_i2cCfg.reg = (uint16_t)module_parse_u32(optarg);
        if (g_i2cCfg.reg > 0xff) g_i2cCfg.rsize = 2;
        break;
      case 'w':
        g_i2cCfg.op = 1;
        g_i2cCfg.reg = (uint16_t)module_parse_u32(optarg);
        break;
      case 'd':
        g_i2cCfg.data = (uint16_t)module_parse_u32(optarg);
        g_i2cCfg.dsize = g_i2cCfg.data <= 0xff ? 1 : 2;
        break;
      case 'i':
        g_i2cCfg.bus = (uint16_t)module_parse_i32(optarg);
        break;
      case OPT_RSIZE:
        g_i2cCfg.rsize = module_parse_u32(optarg);
        if (g_i2cCfg.rsize != 1 && g_i2cCfg.rsize != 2)
          MODULE_OPTION_EXIT(i2c_help, 612, "Register size error!\n");
        break;
      case OPT_DSIZE:
        g_i2cCfg.dsize = module_parse_u32(optarg);
        if (g_i2cCfg.dsize != 1 && g_i2cCfg.dsize != 2)
          MODULE_OPTION_EXIT(i2c_help, 623, "Data size error!\n");
        break;
      case OPT_RLENGTH:
      case OPT_WLENGTH:
        g_i2cRunLength = module_parse_u32(optarg);
        break;
      default:
        MODULE_OPTION_EXIT(i2c_help, 634, "Unknow option\n");
    }
  }
}

static int i2c_run(int argc, char **argv) {
  i2c_init_param(argc, argv);
  return i2c_test_main();
}

static const TestModule i2c_module = {"i2c", MODULE_I2C, i2c_run, i2c_help, i2c_deinit};
TEST_MODULE_REGISTER(i2c_module)
