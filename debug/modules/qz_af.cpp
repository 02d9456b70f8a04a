// `af`: the motorised lens: focus runs, DC-iris duty, IR-cut, PI reference points, the
// AF table and SQL on the AF table database.
#include <stdlib.h>
#include <string.h>

#include "lens.h"
#include "module_util.h"
#include "osa.h"
#include "test.h"


enum { AF_ZOOM = 0, AF_FOCUS = 1, AF_DC_IRIS = 2, AF_IRCUT = 3, AF_TYPE_END = 4 };
enum { AF_FORWARD = 0, AF_BACK = 1 };

static const ModuleOption g_afOptions[] = {
    {"module", required_argument, 'M', "module", "module name: af"},
    {"type", required_argument, 'T', "digit", "AF control type default[0:zoom]."},
    {"directory", required_argument, 'D', "digit", "AF run directory."},
    {"duty", required_argument, 'd', "digit", "dc-iris output duty or zoom/focus run steps."},
    {"ircut", required_argument, 'I', "digit", "Set IRcut on or off, 1:on, 0:off."},
    {"sqlcmd", required_argument, 'C', "str", "Run sqlite3 command."},
    {"select", required_argument, 'S', "str", "Query sqlite3 af table info."},
    {"init", no_argument, 'i', "", "Initialize AF."},
    {"restore", no_argument, 'R', "", "Restore AF to PI point."},
    {"table", no_argument, 't', "", "Create AF default table."},
    {"show", no_argument, 's', "", "Display AF current table."},
};

// The request the options build; the default type selects no action.
static struct {
  uint32_t type;
  uint32_t direction;
  int32_t duty;
} g_afCfg = {AF_TYPE_END, AF_FORWARD, 500};

static LensInfo g_afLensInfo;
static LensDrv g_afDriver;
static OSA_SqliteHndl g_afDb = {nullptr, "/tmp/af_lock", -1, {}};
static int g_afShowHeader;

// Lens mode of each lens type; types beyond the table use mode 5.
static const uint8_t g_afLensModes[42] = {
    3, 3, 3, 3, 3, 3, 3, 3,  // 0..7
    4, 4, 4, 4, 4, 4, 4, 4,  // 8..15
    5, 5, 5,                 // 16..18
    3, 3, 3, 3,              // 19..22
    5, 5, 5,                 // 23..25
    4, 4,                    // 26, 27
    6, 7, 5,                 // 28, 29, 30
    4, 4,                    // 31, 32
    5, 5, 5, 5, 5, 5, 5, 5,  // 33..40
    4,                       // 41
};

static int af_lens_mode(uint32_t lensType) {
  return lensType < sizeof g_afLensModes ? g_afLensModes[lensType] : 5;
}

static void af_help(void) {
  static const char *const types[] = {"zoom", "focus", "dc-iris", "IRcut"};
  static const char *const dirs[] = {"forward", "back"};
  print_module_usage(MODULE_AF, g_afOptions);
  OSA_printf("Motor type: \n");
  for (int i = 0; i < 4; i++) OSA_printf("\t%d: %s \n", i, types[i]);
  OSA_printf("Motor run directory: \n");
  for (int i = 0; i < 2; i++) OSA_printf("\t%d: %s \n", i, dirs[i]);
}

// Prints a query's rows: a header of column names before the first row, then one
// line of decimal values per row.
static int af_print_row(void *, int columns, char **values, char **names) {
  if (g_afShowHeader) {
    for (int i = 0; i < columns; i++) {
      const char *name = names[i] ? names[i] : "";
      OSA_printf("%s", name);
      OSA_printf("%s", strlen(name) < 8 ? "\t\t" : "\t");
    }
    OSA_printf("\n");
    g_afShowHeader = 0;
  }
  for (int i = 0; i < columns; i++) {
    const char *value = values[i] ? values[i] : "";
    if (values[i]) OSA_printf("%d", (int32_t)module_parse_u32(value));
    OSA_printf("%s", strlen(value) < 8 ? "\t\t" : "\t");
  }
  OSA_printf("\n");
  return 0;
}

// Runs one SQL text on the AF database, opened and closed around it. Every step runs
// even when an earlier one failed; the wrapper reports its own failures.
static void af_run_sql(const char *text, bool query) {
  char sql[1024];
  strncpy(sql, text, sizeof sql - 1);
  sql[sizeof sql - 1] = '\0';
  OSA_sqlite3Open(&g_afDb, AF_DB_PATH);
  OSA_sqlite3Lock(&g_afDb, query ? 'r' : 'w');
  if (query) g_afShowHeader = 1;
  OSA_sqlite3RunCmdAndCallback(&g_afDb, sql, query ? af_print_row : nullptr, nullptr);
  OSA_sqlite3UnLock(&g_afDb);
  OSA_sqlite3Close(&g_afDb);
}

// Focus to the position of the AF table's first row.
static void af_focus_to_table(void) {
  const AfTblRow *row = af_find_tbl(0);
  if (row) lens_drv_focus_run(g_afLensInfo.focusId, row->focusPos);
}

static int af_init_param(int argc, char **argv) {
  optind = 1;
  int opt;
  ModuleGetopt options(g_afOptions);
  while ((opt = options.next(argc, argv)) != -1) {
    switch (opt) {
      case 'T':
        g_afCfg.type = module_parse_u32(optarg);
        if (g_afCfg.type >= AF_TYPE_END)
          return MODULE_OPTION_FAIL(af_help, __LINE__, "AF type must be [%d, %d)\n", AF_ZOOM,
                                    AF_TYPE_END);
        break;
      case 'D':
        g_afCfg.direction = module_parse_u32(optarg);
        if (g_afCfg.direction > AF_BACK)
          return MODULE_OPTION_FAIL(af_help, __LINE__, "AF dir: %d or %d \n", AF_FORWARD, AF_BACK);
        break;
      case 'd':
        g_afCfg.duty = (int32_t)module_parse_u32(optarg);
        break;
      case 'I':
        lens_drv_set_IRCut(module_parse_u32(optarg) ? 1 : 0);
        break;
      case 'C':
        af_run_sql(optarg, false);
        break;
      case 'S':
        af_run_sql(optarg, true);
        break;
      case 'i':
        lens_drv_init_reg();
        af_focus_to_table();
        break;
      case 'R':
        lens_drv_set_zf_pi(1, 1);
        OSA_printf("Restore to zoom and focus PI point.\n");
        af_focus_to_table();
        break;
      case 't':
      case 's':
        af_tbl_init(&g_afLensInfo, 5, 0);
        break;
      default:
        return MODULE_OPTION_FAIL(af_help, __LINE__, "Unknow option\n");
    }
  }
  return 0;
}

static int af_run(int argc, char **argv) {
  AfPtzInfo ptz;
  memset(&ptz, 0, sizeof ptz);
  af_get_ptz(&ptz);
  lens_get_info(ptz.lensType, &g_afLensInfo);
  int mode = af_lens_mode(ptz.lensType);
  OSA_printf("enLensMode=%d\n", mode);
  len_register_drv((uint32_t)mode, &g_afDriver);

  if (af_init_param(argc, argv) != 0) return -1;

  switch (g_afCfg.type) {
    case AF_ZOOM:
      OSA_printf("\n\n because double zoom not use,please look pragram  \n\n");
      break;
    case AF_FOCUS:
      OSA_printf("Focus dir %d duty %d \n", (int)g_afCfg.direction, g_afCfg.duty);
      // Negated modulo 2^32, as the driver's 32-bit word carries it.
      lens_drv_focus_run(g_afLensInfo.focusId,
                         g_afCfg.direction == AF_BACK ? (int32_t)(0u - (uint32_t)g_afCfg.duty)
                                                         : g_afCfg.duty);
      break;
    case AF_DC_IRIS:
      OSA_printf("DC-iris duty %d \n", g_afCfg.duty);
      lens_drv_set_aperture((uint16_t)g_afCfg.duty);
      break;
    case AF_IRCUT:
      OSA_printf("IRcut duty %d \n", g_afCfg.duty);
      lens_drv_set_IRCut(g_afCfg.duty ? 1 : 0);
      break;
    default:
      break;
  }
  lens_drv_focus_stop();
  lens_drv_zoom_stop();
  lens_drv_deinit();
  return 0;
}

static const TestModule af_module = {"af", MODULE_AF, af_run, af_help, nullptr};
TEST_MODULE_REGISTER(af_module)
