// Raw discovery frames as captured on eth0, and replies as a tool receives them.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "search_proto.h"

// The camera's MAC in the seed frames captured from the sandbox varies per run; the
// target MAC of a frame is taken as ours so that modify requests get past the match.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  uint8_t own[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
  if (size >= 26) memcpy(own, data + 20, 6);
  SearchRequest req;
  if (search_parse_frame(data, size, own, &req) == SEARCH_REQ_MODIFY) {
    SearchModifyFields fields;
    search_split_modify_text(req.text, req.textLen, &fields);
    SearchReplyInfo info = {fields.field[MODIFY_IP], 80, fields.field[MODIFY_NETMASK],
                            fields.field[MODIFY_GATEWAY], fields.field[MODIFY_DNS],
                            fields.field[MODIFY_TITLE], fields.field[MODIFY_USER],
                            fields.field[MODIFY_PASSWORD], fields.field[MODIFY_HTTP_PORT],
                            "", 0, 0};
    char text[SEARCH_MODIFY_REPLY_TEXT_SIZE];
    search_format_reply_text(text, sizeof(text), &info);
    uint8_t frame[SEARCH_FRAME_LEN];
    search_build_modify_reply(frame, req.requester, own, 1, text);
  }
  SearchReply reply;
  search_parse_reply(data, size, &reply);
  return 0;
}
