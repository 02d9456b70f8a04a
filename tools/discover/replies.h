// What discover does with every packet it hears, over bytes and with no socket: which
// replies a command keeps, how they join the camera list, and the lines and answers
// printed for them. discover's receive loop feeds it; units and the fuzzer drive it
// directly.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "camera_list.h"

// The replies a run keeps: every camera's, or (--mac) one camera's.
struct ReplyFilter {
  bool haveMac = false;
  uint8_t mac[6] = {0};
};
bool reply_filter_wants(const ReplyFilter &filter, const uint8_t *mac);

// A raw search reply (or an announcement) from a wanted camera joins the list; a
// camera's newest reply replaces its older ones. Returns true when the frame was one.
bool take_search_reply(CameraList *list, const ReplyFilter &filter, const uint8_t *frame,
                       size_t len);
// The same for a 114-byte UDP search reply.
bool take_udp_search_reply(CameraList *list, const ReplyFilter &filter, const uint8_t *data,
                           size_t len);

// listen and replay: one line per raw reply from a wanted camera,
// "SECONDS MAC > DESTINATION TEXT" (a modify reply: "... > DESTINATION result N TEXT").
// Returns true when a line was printed.
bool print_heard_reply(FILE *out, double seconds, const ReplyFilter &filter,
                       const uint8_t *frame, size_t len);

// Prints a search's cameras (sorted by IP) in form on out; a wrong UDP checksum is
// marked on the raw line itself and reported on err in the other forms, as is a search
// nobody answered. Returns true when at least one camera answered.
bool report_cameras(FILE *out, FILE *err, OutputForm form, CameraList *list);

// The answer of the camera target to a modify request.
struct ModifyAnswer {
  uint8_t target[6] = {0};
  bool answered = false;
  bool accepted = false;
};
// A raw modify reply from the target: printed in form on out (problems on err) and
// noted in answer. Returns true when the frame was that answer.
bool take_modify_reply(FILE *out, FILE *err, OutputForm form, ModifyAnswer *answer,
                       const uint8_t *frame, size_t len);
// The same for a 50-byte UDP modify reply.
bool take_udp_modify_reply(FILE *out, FILE *err, OutputForm form, ModifyAnswer *answer,
                           const uint8_t *data, size_t len);
