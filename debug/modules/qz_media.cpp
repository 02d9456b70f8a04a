// media: shows the state of the audio and video media pipeline. The platform script
// av_log.sh writes one status log per unit into /tmp/media; the module shows one
// unit's log whole, or a summary made of selected sections of several logs.
#include <errno.h>
#include <fcntl.h>
#include <getopt.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "module_util.h"
#include "osa.h"
#include "safe_open.h"
#include "test.h"

#define MEDIA_LOG_DIR "/tmp/media"

// Option values of the units; 12 is unused.
enum MediaUnit {
  MEDIA_ACODEC = 0, MEDIA_ADEC, MEDIA_AENC, MEDIA_AI, MEDIA_AO, MEDIA_AUDIO, MEDIA_CHNL,
  MEDIA_H264E, MEDIA_H265E, MEDIA_ISP, MEDIA_IVE, MEDIA_JPEGE,
  MEDIA_RC = 13, MEDIA_RGN, MEDIA_SYS, MEDIA_VB, MEDIA_VDA, MEDIA_VENC, MEDIA_VGS, MEDIA_VI,
  MEDIA_VO, MEDIA_VPSS, MEDIA_VIDEO,
};

static const ModuleOption g_mediaOptions[] = {
    {"module", required_argument, 'M', "module", "module name: media"},
    {"all", no_argument, 'a', "", "Display all information!"},
    {"acodec", no_argument, MEDIA_ACODEC, "", "Display acodec information!"},
    {"adec", no_argument, MEDIA_ADEC, "", "Display adec information!"},
    {"aenc", no_argument, MEDIA_AENC, "", "Display aenc information!"},
    {"ai", no_argument, MEDIA_AI, "", "Display ai information!"},
    {"ao", no_argument, MEDIA_AO, "", "Display ao information!"},
    {"audio", no_argument, MEDIA_AUDIO, "", "Display audio information!"},
    {"chnl", no_argument, MEDIA_CHNL, "", "Display chnl information!"},
    {"h264e", no_argument, MEDIA_H264E, "", "Display h264e information!"},
    {"h265e", no_argument, MEDIA_H265E, "", "Display h265e information!"},
    {"isp", no_argument, MEDIA_ISP, "", "Display isp information!"},
    {"ive", no_argument, MEDIA_IVE, "", "Display ive information!"},
    {"jpege", no_argument, MEDIA_JPEGE, "", "Display jpege information!"},
    {"rc", no_argument, MEDIA_RC, "", "Display rc information!"},
    {"rgn", no_argument, MEDIA_RGN, "", "Display rgn information!"},
    {"sys", no_argument, MEDIA_SYS, "", "Display sys information!"},
    {"vb", no_argument, MEDIA_VB, "", "Display vb information!"},
    {"vda", no_argument, MEDIA_VDA, "", "Display vda information!"},
    {"venc", no_argument, MEDIA_VENC, "", "Display venc information!"},
    {"vgs", no_argument, MEDIA_VGS, "", "Display vgs information!"},
    {"vi", no_argument, MEDIA_VI, "", "Display vi information!"},
    {"vo", no_argument, MEDIA_VO, "", "Display vo information!"},
    {"vpss", no_argument, MEDIA_VPSS, "", "Display vpss information!"},
    {"video", no_argument, MEDIA_VIDEO, "", "Display video information!"},
};

// One section of a summary: the line holding key, then `lines` lines after it.
typedef struct MediaSection {
  const char *key;
  int lines;
} MediaSection;

typedef struct MediaPart {
  const char *heading;
  const char *log;
  const MediaSection *sections;
  int count;
} MediaPart;

#define MEDIA_PART(heading, unit, sections) \
  { heading, MEDIA_LOG_DIR "/" unit ".log", sections, sizeof sections / sizeof sections[0] }

static const MediaSection media_sys[] = {{"System State:", 0}};
static const MediaSection media_vb[] = {{"PoolId    PhysAddr    VirtAddr    IsComm", 1}};
static const MediaSection media_vpss[] = {{"VPSS GRP WORK STATUS", 2},
                                          {"VPSS CHN OUTPUT RESOLUTION", 3}};
static const MediaSection media_vi[] = {
    {"VI DEV ATTR", 2},        {"VI PHYCHN ATTR", 2},    {"VI PHYCHN STATUS 1", 2},
    {"VI PHYCHN STATUS 2", 2}, {"VI WDR ATTR", 2},       {"VI WDR DES STATUS", 2},
    {"VI WDR SRC STATUS", 2},  {"VI WDR COMBINE STATUS", 2}, {"VI CHN STATUS", 2}};
static const MediaSection media_venc[] = {{"VENC CHN ATTR 1", 5}, {"VENC STREAM STATE", 5}};
static const MediaSection media_rc[] = {{"RUN INFO1", 5}};
static const MediaSection media_acodec[] = {{"ACODEC PARAM", 2}};
static const MediaSection media_ao[] = {{"AO DEV ATTR", 2}, {"AO DEV STATUS", 2}};
static const MediaSection media_adec[] = {{"ADEC CHN ATTR", 2}};
static const MediaSection media_ai[] = {{"AI DEV ATTR", 2}, {"AI DEV STATUS", 2}};
static const MediaSection media_aenc[] = {{"AENC CHN ATTR", 2}};
static const MediaSection media_ai_vqe[] = {
    {"AI CHN VQE STATUS0", 2}, {"AI CHN VQE STATUS1", 2}, {"AI CHN VQE STATUS2", 2},
    {"AI CHN VQE STATUS3", 2}, {"AI CHN VQE STATUS4", 2}};
static const MediaSection media_ao_vqe[] = {
    {"AO CHN VQE STATUS0", 2}, {"AO CHN VQE STATUS1", 2}, {"AO CHN VQE STATUS2", 2},
    {"AO CHN VQE STATUS3", 2}, {"AO CHN VQE STATUS4", 2}};

static const MediaPart media_video_parts[] = {
    MEDIA_PART("SYS", "sys", media_sys),    MEDIA_PART("VB", "vb", media_vb),
    MEDIA_PART("VPSS", "vpss", media_vpss), MEDIA_PART("VI", "vi", media_vi),
    MEDIA_PART("VENC", "venc", media_venc), MEDIA_PART("RC", "rc", media_rc),
};
static const MediaPart media_audio_parts[] = {
    MEDIA_PART("ACODEC", "acodec", media_acodec), MEDIA_PART("AO", "ao", media_ao),
    MEDIA_PART("ADEC", "adec", media_adec),       MEDIA_PART("AI", "ai", media_ai),
    MEDIA_PART("AENC", "aenc", media_aenc),
};
static const MediaPart media_ai_vqe_part = MEDIA_PART("AI VQE", "ai", media_ai_vqe);
static const MediaPart media_ao_vqe_part = MEDIA_PART("AO VQE", "ao", media_ao_vqe);

// Units whose option shows their log; the others are accepted and do nothing.
static const char *const media_show_units[] = {
    "acodec", "adec", "aenc", "ai", "ao", nullptr, "chnl", "h264e", "h265e", "isp", "ive",
    "jpege",  nullptr, nullptr, nullptr, nullptr, nullptr, "vda", nullptr, "vgs",
};

static char g_mediaLine[1024];  // one line of a log (longer lines are read in pieces)

static void media_help(void) {
  print_module_usage(MODULE_MEDIA, g_mediaOptions);
}

// Copies the unit's log whole to standard output. The log lies under /tmp, so only a
// regular file of our own is read (never a link, and a FIFO cannot hold the read). A
// log that cannot be opened is named as the shell's cat named it, the text factory
// scripts look for.
static void media_show_log(const char *unit) {
  char path[128];
  snprintf(path, sizeof path, MEDIA_LOG_DIR "/%s.log", unit);
  int fd = safe_open(path, O_RDONLY, OSA_reportRefusedFile);
  if (fd < 0) {
    if (errno == ENOENT) fprintf(stderr, "cat: %s: %s\n", path, strerror(errno));
    return;
  }
  fflush(stdout);
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) {
    if (fwrite(buffer, 1, (size_t)n, stdout) != (size_t)n) break;
  }
  fflush(stdout);
  close(fd);
}

// Any user may make the log folder under /tmp before us: it is used only when it is
// our own folder (not a link) that no one else may write to, so that no link or FIFO
// can be planted in it. It is made here when missing.
static bool media_log_dir_is_ours(void) {
  if (mkdir(MEDIA_LOG_DIR, 0755) != 0 && errno != EEXIST) {
    MODULE_ERROR(__LINE__, "cannot make %s: %s\n", MEDIA_LOG_DIR, strerror(errno));
    return false;
  }
  struct stat st;
  if (lstat(MEDIA_LOG_DIR, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid() ||
      (st.st_mode & 022) != 0) {
    MODULE_ERROR(__LINE__, "refusing to use %s: not our own folder closed to others\n",
                 MEDIA_LOG_DIR);
    return false;
  }
  return true;
}

// A summary cannot go on without its logs: the process ends. The logs lie under
// /tmp, so only a regular file of our own is read.
static FILE *media_open_log(const char *path) {
  int fd = safe_open(path, O_RDONLY, OSA_reportRefusedFile);
  FILE *file = fd >= 0 ? fdopen(fd, "r") : nullptr;
  if (file == nullptr) {
    perror("fopen");
    if (fd >= 0) close(fd);
    exit(-1);
  }
  return file;
}

// Prints the part's sections found in order from the file's current position: each
// key line and the lines after it. Once a section is missing, the search has hit the
// end of the file and the later sections are missing as well.
static void media_print_sections(FILE *file, const MediaPart *part) {
  for (int k = 0; k < part->count; k++) {
    const MediaSection *section = &part->sections[k];
    bool found = false;
    while (fgets(g_mediaLine, sizeof g_mediaLine, file) != nullptr) {
      if (strstr(g_mediaLine, section->key) != nullptr) {
        found = true;
        break;
      }
    }
    if (!found) continue;
    if (k == 0)
      OSA_printf("[%s]\n%s", part->heading, g_mediaLine);
    else
      OSA_printf("%s", g_mediaLine);
    for (int n = 0; n < section->lines; n++) {
      if (fgets(g_mediaLine, sizeof g_mediaLine, file) == nullptr) break;
      OSA_printf("%s", g_mediaLine);
    }
  }
}

static void media_print_part(const MediaPart *part) {
  FILE *file = media_open_log(part->log);
  media_print_sections(file, part);
  OSA_printf("\n");
  fclose(file);
}

static void media_video_summary(void) {
  for (const MediaPart &part : media_video_parts) media_print_part(&part);
}

static void media_audio_summary(void) {
  for (const MediaPart &part : media_audio_parts) media_print_part(&part);
  FILE *ao = media_open_log(media_ao_vqe_part.log);
  FILE *ai = media_open_log(media_ai_vqe_part.log);
  media_print_sections(ai, &media_ai_vqe_part);
  media_print_sections(ao, &media_ao_vqe_part);
  OSA_printf("\n");
  fclose(ai);
  fclose(ao);
}

static int media_init_param(int argc, char **argv) {
  optind = 1;
  int opt;
  ModuleGetopt options(g_mediaOptions);
  while ((opt = options.next(argc, argv)) != -1) {
    switch (opt) {
      case 'a':
        media_video_summary();
        media_audio_summary();
        break;
      case MEDIA_AUDIO:
        media_audio_summary();
        break;
      case MEDIA_VIDEO:
        media_video_summary();
        break;
      default:
        if (opt >= 0 && opt <= MEDIA_VIDEO) {
          const char *unit = static_cast<size_t>(opt) < sizeof media_show_units /
                                                            sizeof media_show_units[0]
                                 ? media_show_units[opt]
                                 : nullptr;
          if (unit != nullptr) media_show_log(unit);
          break;
        }
        MODULE_OPTION_EXIT(media_help, __LINE__, "Unknow option\n");
    }
  }
  return 0;
}

static int media_run(int argc, char **argv) {
  if (!media_log_dir_is_ours()) return -1;
  module_system("av_log.sh");
  return media_init_param(argc, argv);
}

static const TestModule media_module = {"media", MODULE_MEDIA, media_run, media_help, nullptr};
TEST_MODULE_REGISTER(media_module)
