// The modify text splitter: any bytes, ended by a NUL or by the length.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "search_proto.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  SearchModifyFields fields;
  search_split_modify_text((const char *)data, size, &fields);
  for (int i = 0; i < SEARCH_MODIFY_FIELDS; i++)
    if (strlen(fields.field[i]) >= SEARCH_FIELD_SIZE) __builtin_trap();
  return 0;
}
