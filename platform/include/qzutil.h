// Utility library of the camera maker (libqzutil): small system helpers.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Asks the system to drop its clean file caches (after syncing). Returns 0 or -1.
int qz_free_system_caches(void);

// Removes every occurrence of the character ch from the NUL-terminated text, in place.
// Returns the number of characters removed; a null text is left alone (0).
int qz_string_strip(char *text, int ch);

#ifdef __cplusplus
}
#endif
