// qz_string_strip on the simulated board.
#include "qzutil.h"

int qz_string_strip(char *text, int ch) {
  if (!text) return 0;
  char *out = text;
  int removed = 0;
  for (const char *in = text; *in; in++) {
    if (*in == (char)ch) {
      removed++;
      continue;
    }
    *out++ = *in;
  }
  *out = '\0';
  return removed;
}
