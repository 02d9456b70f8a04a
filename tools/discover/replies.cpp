#include "replies.h"

#include <string.h>

#include <string>

#include "search_proto.h"

bool reply_filter_wants(const ReplyFilter &filter, const uint8_t *mac) {
  return !filter.haveMac || memcmp(mac, filter.mac, 6) == 0;
}

bool take_search_reply(CameraList *list, const ReplyFilter &filter, const uint8_t *frame,
                       size_t len) {
  SearchReply reply;
  if (search_parse_reply(frame, len, &reply) != 0 || reply.operation != SEARCH_OP_SEARCH_REPLY ||
      !reply_filter_wants(filter, reply.camera))
    return false;
  Camera camera;
  camera_from_reply_text(&camera, reply.camera, reply.text);
  list->add(camera);
  return true;
}

// A UDP reply of the given command and exact size, with the protocol's header.
static bool is_tovrin_reply(const uint8_t *data, size_t len, uint8_t command, size_t size) {
  return len == size && memcmp(data, kTovrinMagic, TOVRIN_MAGIC_LEN) == 0 && data[8] == 0 &&
         data[9] == command;
}

bool take_udp_search_reply(CameraList *list, const ReplyFilter &filter, const uint8_t *data,
                           size_t len) {
  if (!is_tovrin_reply(data, len, TOVRIN_CMD_SEARCH_REPLY, TOVRIN_SEARCH_REPLY_LEN) ||
      !reply_filter_wants(filter, data + 10))
    return false;
  Camera camera;
  camera_from_udp_reply(&camera, data);
  list->add(camera);
  return true;
}

bool print_heard_reply(FILE *out, double seconds, const ReplyFilter &filter,
                       const uint8_t *frame, size_t len) {
  SearchReply reply;
  if (search_parse_reply(frame, len, &reply) != 0 || !reply_filter_wants(filter, reply.camera))
    return false;
  char mac[18], dst[18];
  format_mac(mac, reply.camera);
  format_mac(dst, frame);
  std::string text = display_escape(reply.text);
  if (reply.operation == SEARCH_OP_MODIFY_REPLY)
    fprintf(out, "%.1f %s > %s result %d %s\n", seconds, mac, dst, reply.result, text.c_str());
  else
    fprintf(out, "%.1f %s > %s %s\n", seconds, mac, dst, text.c_str());
  return true;
}

static void warn_bad_checksum(FILE *err, OutputForm form, const Camera &camera) {
  if (!camera.badChecksum || form == OUTPUT_RAW) return;
  char mac[18];
  format_mac(mac, camera.mac);
  fprintf(err, "discover: %s: the reply's checksum is wrong\n", mac);
}

bool report_cameras(FILE *out, FILE *err, OutputForm form, CameraList *list) {
  list->sort_by_ip();
  for (const Camera &c : list->cameras) warn_bad_checksum(err, form, c);
  print_cameras(out, form, list->cameras);
  if (!list->cameras.empty()) return true;
  fprintf(err, "discover: no camera answered\n");
  return false;
}

bool take_modify_reply(FILE *out, FILE *, OutputForm form, ModifyAnswer *answer,
                       const uint8_t *frame, size_t len) {
  SearchReply reply;
  if (search_parse_reply(frame, len, &reply) != 0 || reply.operation != SEARCH_OP_MODIFY_REPLY ||
      memcmp(reply.camera, answer->target, 6) != 0)
    return false;
  Camera camera;
  camera_from_reply_text(&camera, reply.camera, reply.text);
  char result[16];
  snprintf(result, sizeof(result), "result %d", reply.result);
  answer->answered = true;
  answer->accepted = reply.result == 1;
  print_modify_answer(out, form, camera, answer->accepted, result);
  return true;
}

bool take_udp_modify_reply(FILE *out, FILE *err, OutputForm form, ModifyAnswer *answer,
                           const uint8_t *data, size_t len) {
  if (!is_tovrin_reply(data, len, TOVRIN_CMD_MODIFY_REPLY, TOVRIN_MODIFY_REPLY_LEN) ||
      memcmp(data + 10, answer->target, 6) != 0)
    return false;
  char text[17];
  snprintf(text, sizeof(text), "%.16s", (const char *)data + 16);
  Camera camera;
  memcpy(camera.mac, data + 10, 6);
  camera.badChecksum = tovrin_checksum(data, len) != 0;
  answer->answered = true;
  answer->accepted = strcmp(text, "Successfully.") == 0;
  warn_bad_checksum(err, form, camera);
  print_modify_answer(out, form, camera, answer->accepted, text);
  return true;
}
