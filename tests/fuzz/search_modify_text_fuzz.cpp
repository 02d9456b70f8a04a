// The modify text splitter and the masked copy that gets printed: any bytes, ended by
// a NUL or by the length.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <vector>

#include "search_proto.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const char *text = (const char *)data;
  SearchModifyFields fields;
  search_split_modify_text(text, size, &fields);
  for (int i = 0; i < SEARCH_MODIFY_FIELDS; i++)
    if (strlen(fields.field[i]) >= SEARCH_FIELD_SIZE) __builtin_trap();
  // The masked copy splits into the same fields, but for the password.
  std::vector<char> masked(size + sizeof("******"));
  search_mask_modify_text(text, size, masked.data(), masked.size());
  SearchModifyFields shown;
  search_split_modify_text(masked.data(), masked.size(), &shown);
  for (int i = 0; i < SEARCH_MODIFY_FIELDS; i++) {
    const char *want = i == MODIFY_PASSWORD && fields.field[i][0] ? kMaskedPassword : fields.field[i];
    if (strcmp(shown.field[i], want) != 0) __builtin_trap();
  }
  return 0;
}
