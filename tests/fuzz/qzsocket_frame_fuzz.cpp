// Fuzz target: the message-socket frame decoder, fed whole packets as they come off
// the socket. A frame it accepts is then read the way receivers read it (every data
// byte, and the text up to its first NUL within the length), so an accepted length
// that overstates the packet shows up as an out-of-bounds read.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "qzsocket_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
  QzMsgHeader header;
  const uint8_t *data = nullptr;
  if (qz_frame_decode(bytes, size, &header, &data) != 0) return 0;
  if (header.length > QZ_FRAME_MAX_DATA || data + header.length != bytes + size) __builtin_trap();
  volatile uint32_t sum = 0;
  for (uint32_t i = 0; i < header.length; i++) sum = sum + data[i];
  volatile size_t text = strnlen(reinterpret_cast<const char *>(data), header.length);
  (void)text;
  return 0;
}
