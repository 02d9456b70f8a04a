// Utility library of the camera maker (libqzutil): small system helpers.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Asks the system to drop its clean file caches (after syncing). Returns 0 or -1.
int qz_free_system_caches(void);

#ifdef __cplusplus
}
#endif
