// discover apply over a plan and the survey replies it is held against: what the plan
// reader takes, what the report prints of replies (forgeable), and the modify text
// built from them. Input: a 2-byte big-endian length and that many bytes of plan text,
// then replies, each a 6-byte MAC and a reply text up to a NUL. Nothing printed may
// hold a byte outside printable ASCII but the line feed, and every modify text must
// keep the user and the password in their places, whatever the replies held.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "printable.h"
#include "search_proto.h"
#include "site_apply.h"
#include "site_plan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  size_t planLen = (size_t)data[0] << 8 | data[1];
  data += 2, size -= 2;
  if (planLen > size) planLen = size;
  std::string planText((const char *)data, planLen);
  data += planLen, size -= planLen;
  SitePlan plan;
  std::vector<std::string> errors;
  bool sound = read_site_plan(planText, "p.csv", &plan, &errors);
  if (sound != errors.empty() || (sound && plan.rows.empty())) __builtin_trap();
  std::vector<Camera> heard;
  while (size >= 6) {
    const uint8_t *mac = data;
    const uint8_t *end = (const uint8_t *)memchr(data + 6, 0, size - 6);
    size_t textLen = end ? (size_t)(end - data - 6) : size - 6;
    std::string text((const char *)data + 6, textLen);
    Camera camera;
    camera_from_reply_text(&camera, mac, text.c_str());
    heard.push_back(camera);
    size_t used = 6 + textLen + (end ? 1 : 0);
    data += used, size -= used;
  }
  std::vector<RowState> rows = survey_site(plan, heard);
  for (RowState &row : rows) {
    std::string text;
    if (row.result == ROW_TO_CHANGE &&
        site_modify_text(row.before, row.row->planned, "admin", "secret", &text)) {
      SearchModifyFields fields;
      search_split_modify_text(text.c_str(), text.size(), &fields);
      if (strcmp(fields.field[MODIFY_USER], "admin") != 0 ||
          strcmp(fields.field[MODIFY_PASSWORD], "secret") != 0 ||
          strcmp(fields.field[MODIFY_IP], row.row->planned.ip.c_str()) != 0)
        __builtin_trap();
    }
    row.after = row.before;
    row.heardAfter = row.found;
  }
  char *printed = nullptr;
  size_t printedLen = 0;
  FILE *out = open_memstream(&printed, &printedLen);
  if (!out) return 0;
  for (bool json : {false, true})
    for (bool dryRun : {false, true}) print_site_report(out, out, json, dryRun, rows, "p.csv");
  for (const std::string &line : errors) fprintf(out, "%s\n", line.c_str());
  fclose(out);
  require_printable(printed, printedLen);
  free(printed);
  return 0;
}
