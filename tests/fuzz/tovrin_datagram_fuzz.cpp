// UDP datagrams as the camera receives them (at most 128 bytes are read).
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "search_proto.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > TOVRIN_MAX_DATAGRAM) size = TOVRIN_MAX_DATAGRAM;
  if (tovrin_classify(data, size) != TOVRIN_CMD_MODIFY) return 0;
  TovrinModify m;
  tovrin_parse_modify(data, size, &m);
  if (strlen(m.title) >= sizeof(m.title) || strlen(m.password) > TOVRIN_PASSWORD_SIZE ||
      strlen(m.newPassword) > TOVRIN_PASSWORD_SIZE)
    __builtin_trap();
  uint8_t reply[TOVRIN_SEARCH_REPLY_LEN];
  tovrin_build_search_reply(reply, m.target, 0, 0, 0, m.title, m.password);
  if (tovrin_checksum(reply, sizeof(reply)) != 0) __builtin_trap();
  return 0;
}
