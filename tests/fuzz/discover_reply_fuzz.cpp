// discover's handling of the packets it hears and the three forms it prints them in.
// Input: one byte of options (bits 0..1 the output form: table, JSON or raw; bit 2 a
// --mac filter on the first packet's sender), then packets, each a 2-byte big-endian
// length and its bytes. Every packet goes through every handler, as raw frame and as UDP
// datagram; then both camera lists are printed in the form. Nothing printed may hold a
// byte outside printable ASCII but the line feed.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "printable.h"
#include "replies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const OutputForm forms[] = {OUTPUT_TABLE, OUTPUT_JSON, OUTPUT_RAW};
  OutputForm form = forms[(data[0] & 3) % 3];
  bool filtered = data[0] & 4;
  data++, size--;

  char *printed = nullptr;
  size_t printedLen = 0;
  FILE *out = open_memstream(&printed, &printedLen);
  if (!out) return 0;
  CameraList raw, udp;
  ReplyFilter filter;
  bool first = true;
  while (size >= 2) {
    size_t len = (size_t)data[0] << 8 | data[1];
    data += 2, size -= 2;
    if (len > size) len = size;
    const uint8_t *packet = data;
    data += len, size -= len;
    if (first && filtered && len >= 16) {
      filter.haveMac = true;
      memcpy(filter.mac, packet + 6, 6);
    }
    first = false;
    take_search_reply(&raw, filter, packet, len);
    take_udp_search_reply(&udp, filter, packet, len);
    print_heard_reply(out, 1.5, filter, packet, len);
    // Modify answers from the packet's own sender, so that they are taken.
    ModifyAnswer answer, udpAnswer;
    if (len >= 12) memcpy(answer.target, packet + 6, 6);
    if (len >= 16) memcpy(udpAnswer.target, packet + 10, 6);
    take_modify_reply(out, out, form, &answer, packet, len);
    take_udp_modify_reply(out, out, form, &udpAnswer, packet, len);
  }
  report_cameras(out, out, form, &raw);
  report_cameras(out, out, form, &udp);
  fclose(out);
  require_printable(printed, printedLen);
  free(printed);
  return 0;
}
