// adc: samples the light-sensor ADC through IIO sysfs, or, with a parameter option,
// hands a command record to the day/night logic through System V shared memory.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include "module_util.h"
#include "osa.h"
#include "test.h"

#define ADC_SHM_KEY 7665432

typedef struct AdcParam {
  uint32_t channel;
  int32_t times;    // -1: until the stop flag is set
  uint32_t delay;   // ms after each sample
} AdcParam;

// Command record read by the day/night logic of another process.
typedef struct AdcShmParam {
  uint32_t valid;
  uint32_t command;    // 1 thresholds, 2 sensitivity, 3 debug switch, 4 show info
  uint32_t value;
  uint32_t day_ev_th;
  uint32_t reserved[8];
} AdcShmParam;
static_assert(sizeof(AdcShmParam) == 48, "ADC command record is 48 bytes");
static_assert(offsetof(AdcShmParam, day_ev_th) == 12, "day threshold at 12");

typedef struct AdcChannel {
  const char *path;
  const char *description;   // null: reserve
  const char *openError;
} AdcChannel;

static const AdcChannel g_adcChannels[2] = {
    {"/sys/bus/iio/devices/iio:device0/in_voltage0_raw", "Photodiode AD sampling",
     "open ADC_CHN_A error!!!\n"},
    {"/sys/bus/iio/devices/iio:device0/in_voltage1_raw", nullptr,
     "open ADC_B_DVE_NAME error!!!\n"},
};

static AdcParam g_adcCfg = {0, -1, 1000};
static AdcShmParam g_adcShm;
static int g_adcThresholdCount;

static const ModuleOption g_adcOptions[] = {
    {"module", required_argument, 'M', "module", "module name: adc"},
    {"channel", required_argument, 'c', "hex", "adc channel, default [4], means all"},
    {"times", required_argument, 't', "digit", "adc read times, default [-1] means no timeout"},
    {"delay", required_argument, 'd', "digit", "adc read delay [n] ms,  default [1000]ms"},
    {"night_ev_th", required_argument, 'N', "0~1023", "0 is min   ,31023 is max"},
    {"day_ev_th", required_argument, 'D', "0~1023", "0 is min   ,31023 is max"},
    {"sensitive", required_argument, 's', "0~9", "0 is min   ,9 is max"},
    {"debug switch", required_argument, 'g', "debug switch", "0: close, 1: open"},
    {"info ", no_argument, 'i', "param", "show param info"},
};

static void adc_help(void) {
  print_module_usage(MODULE_ADC, g_adcOptions);
  OSA_printf("ADC infomation descryption: \n");
  for (int ch = 0; ch < 2; ch++) {
    if (g_adcChannels[ch].description)
      OSA_printf("channel%d: %s\n", ch, g_adcChannels[ch].description);
    else
      OSA_printf("channel%d: reserve\n", ch);
  }
  OSA_printf("\n");
}

static void adc_deinit(void) {}

// Scaled reading of the channel, or -1.
static int adc_read(uint32_t channel) {
  if (channel > 1) {
    OSA_printf("error channel id:%d\n", (int)channel);
    return -1;
  }
  FILE *file = fopen(g_adcChannels[channel].path, "r+e");
  if (!file) {
    OSA_printf("%s", g_adcChannels[channel].openError);
    return -1;
  }
  char text[5] = {0};
  size_t n = fread(text, 1, 4, file);
  (void)n;
  fclose(file);
  int32_t raw = (int32_t)strtol(text, nullptr, 10);
  return raw * 580 / 1900;
}

// Returns 0 when the run should go on, -1 after an option error was reported.
static int adc_init_param(int argc, char **argv) {
  optind = 0;
  int c;
  ModuleGetopt options(g_adcOptions);
  while ((c = options.next(argc, argv)) != -1) {
    switch (c) {
      case 'c':
        if (module_parse_u32(optarg) != 0)
          MODULE_ERROR(158, "Adc channel reset=%d\n", 0);
        g_adcCfg.channel = 0;
        break;
      case 't':
        g_adcCfg.times = (int32_t)module_parse_u32(optarg);
        break;
      case 'd':
        g_adcCfg.delay = module_parse_u32(optarg);
        if (g_adcCfg.delay == 0) {
          return MODULE_OPTION_FAIL(adc_help, 170, "Adc delay time must > 0 !\n");
        }
        break;
      case 'N':
        g_adcShm.valid = 1;
        g_adcShm.value = (uint32_t)module_parse_i32(optarg);
        g_adcThresholdCount++;
        break;
      case 'D':
        g_adcShm.day_ev_th = (uint32_t)module_parse_i32(optarg);
        g_adcThresholdCount++;
        break;
      case 's':
        g_adcShm.valid = 1;
        g_adcShm.command = 2;
        g_adcShm.value = (uint32_t)module_parse_i32(optarg);
        break;
      case 'g':
        g_adcShm.valid = 1;
        g_adcShm.command = 3;
        g_adcShm.value = (uint32_t)module_parse_i32(optarg);
        break;
      case 'i':
        g_adcShm.valid = 1;
        g_adcShm.command = 4;
        break;
      default:
        return MODULE_OPTION_FAIL(adc_help, 206, "Unknow option\n");
    }
  }
  return 0;
}

// Writes the whole record into the segment; the segment is never touched when it
// cannot be obtained or attached.
static int adc_send_command(void) {
  int id = module_shm_get(ADC_SHM_KEY, sizeof g_adcShm, IPC_CREAT | 0666);
  if (id < 0) {
    OSA_printf("faild to get shm id==%d\n", id);
    return -1;
  }
  void *addr = module_shm_attach(id);
  if (!addr) {
    perror("attach error");
    return -1;
  }
  memcpy(addr, &g_adcShm, sizeof g_adcShm);
  if (shmdt(addr) != 0) {
    perror("detach error");
    return -1;
  }
  return 0;
}

static void adc_sample_once(void) {
  int value = adc_read(g_adcCfg.channel);
  if (value < 0) OSA_printf("adc_read error!\n");
  OSA_printf("Adc[%d] = %d\n", (int)g_adcCfg.channel, value);
  OSA_sleepMs(g_adcCfg.delay);
}

static int adc_run(int argc, char **argv) {
  if (adc_init_param(argc, argv) != 0) return 0;
  if (g_adcThresholdCount == 2) {
    g_adcShm.valid = 1;
    g_adcShm.command = 1;
  }
  if (g_adcShm.valid == 1) return adc_send_command();
  if (g_adcCfg.times == -1) {
    while (!test_stop_requested()) adc_sample_once();
  } else {
    for (int32_t i = 0; i < g_adcCfg.times; i++) adc_sample_once();
  }
  return 0;
}

static const TestModule adc_module = {"adc", MODULE_ADC, adc_run, adc_help, adc_deinit};
TEST_MODULE_REGISTER(adc_module)
