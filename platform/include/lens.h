// Motorised lens driver: zoom and focus motors, DC-iris, IR-cut filter and the AF
// table kept in /mnt/nand/stepper/af.db.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define AF_DB_PATH "/mnt/nand/stepper/af.db"

// What af_get_ptz reports about the mounted lens and where it stands.
typedef struct AfPtzInfo {
  uint32_t lensType;   // selects the lens mode
  int32_t zoomPos;
  int32_t focusPos;
  uint32_t irisDuty;
} AfPtzInfo;

// Static description of a lens type, filled by lens_get_info.
typedef struct LensInfo {
  uint32_t lensType;
  uint16_t zoomId;     // motor identifiers for lens_drv_*_run
  uint16_t focusId;
  uint32_t zoomMaxSteps;
  uint32_t focusMaxSteps;
  char name[32];
} LensInfo;

// The registered driver, filled by len_register_drv.
typedef struct LensDrv {
  uint32_t mode;
  uint32_t registered;
} LensDrv;

// One AF table row: where focus must stand for a zoom position.
typedef struct AfTblRow {
  int32_t zoomPos;
  int32_t focusPos;
  int32_t distanceCm;  // object distance the row is sharp at
  int32_t reserved;
} AfTblRow;

int af_get_ptz(AfPtzInfo *info);
int lens_get_info(uint32_t lensType, LensInfo *info);
int len_register_drv(uint32_t mode, LensDrv *drv);
int lens_drv_init_reg(void);
// Row `index` of the AF table (the stored table, or the lens's default when none is
// stored); null when there is no such row.
const AfTblRow *af_find_tbl(uint32_t index);
// Creates the default AF table of `points` rows in AF_DB_PATH when there is none (or
// always, with `replace` non-zero), then prints the table.
int af_tbl_init(const LensInfo *info, uint32_t points, uint32_t replace);
int lens_drv_focus_run(uint16_t focusId, int32_t steps);
// Moves zoom and/or focus to their photo-interrupter reference points.
int lens_drv_set_zf_pi(int32_t zoom, int32_t focus);
int lens_drv_set_aperture(uint16_t duty);
int lens_drv_set_IRCut(int32_t on);
int lens_drv_focus_stop(void);
int lens_drv_zoom_stop(void);
int lens_drv_deinit(void);

#ifdef __cplusplus
}
static_assert(sizeof(AfPtzInfo) == 16 && offsetof(AfPtzInfo, lensType) == 0, "AfPtzInfo");
static_assert(sizeof(LensInfo) == 48 && offsetof(LensInfo, focusId) == 6, "LensInfo");
static_assert(sizeof(LensDrv) == 8, "LensDrv");
static_assert(sizeof(AfTblRow) == 16 && offsetof(AfTblRow, focusPos) == 4, "AfTblRow");
#endif
