// Applying a site plan, without sockets: what the survey says of each row, the modify
// text that carries a row to its camera, the order and pace of the modifies, what the
// verifying search says, and the report. discover's apply command does the sending and
// receiving around it; unit tests drive it with made-up replies and clocks.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "camera_list.h"
#include "site_plan.h"

enum RowResult {
  ROW_TO_CHANGE,   // survey: found, holds something else than the plan
  ROW_UNCHANGED,   // found holding the plan: nothing is sent
  ROW_NOT_FOUND,   // its MAC did not answer the survey
  ROW_CONFLICT,    // its planned address is answered by a camera the plan leaves there
  ROW_APPLIED,     // the verifying search heard every planned field
  ROW_REFUSED,     // the camera refused the user or password
  ROW_NO_ANSWER,   // asked twice without an answer, or silent in the verifying search
  ROW_MISMATCH,    // it answered the verifying search with other fields
  ROW_NOT_SENT,    // the run stopped (a refusal, Ctrl-C) before this camera was asked
};
const char *row_result_text(RowResult result);

struct RowState {
  const PlanRow *row = nullptr;
  RowResult result = ROW_NOT_FOUND;
  bool found = false, heardAfter = false;
  Camera before, after;
  std::string conflictWith;  // the MAC answering at the planned address
};

// True when the camera reports every field the row plans, with DHCP off (the plan's
// addresses are static ones).
bool camera_holds_plan(const Camera &camera, const PlannedSettings &planned);

// Each row as the survey found it: to change, unchanged, not found or conflict.
std::vector<RowState> survey_site(const SitePlan &plan, const std::vector<Camera> &heard);

// The raw modify text (IP;HttpPort;Netmask;Gateway;Dns;Title;User;Password) that gives
// the camera the planned fields and keeps the others as it reported them. Every piece
// is non-empty, since an empty one would shift the rest: an address the camera reported
// empty is kept by a piece it cannot read as one, a title by one it does not take.
// Returns false (text untouched) when the camera did not report an HTTP port to keep.
bool site_modify_text(const Camera &current, const PlannedSettings &planned,
                      const std::string &user, const std::string &password, std::string *text);

// The order and pace of the modifies: one camera at a time until one has accepted (so a
// wrong password is refused once, not by every camera), then up to window at once. A
// camera that does not answer within the attempt time is asked once more. The first
// refusal, or stop(), ends the sending: cameras not yet asked stay unsent.
class ModifyQueue {
 public:
  enum Outcome { WAITING, ASKED, ACCEPTED, REFUSED, NO_ANSWER, NOT_SENT };
  ModifyQueue(size_t count, size_t window, int64_t attemptMs);
  // The cameras (by index) to send a modify to now: first asks and second asks alike.
  std::vector<size_t> due(int64_t nowMs);
  // An answer from camera index; one that is not being asked is ignored.
  void answered(size_t index, bool accepted);
  // No more sending; cameras being asked end as NO_ANSWER when interrupted.
  void stop(bool interrupted);
  bool done() const;
  // When due() next has something to do for a camera being asked (-1: nothing).
  int64_t next_deadline() const;
  Outcome outcome(size_t index) const { return items_[index].outcome; }
  int attempts(size_t index) const { return items_[index].attempts; }

 private:
  struct Item {
    Outcome outcome = WAITING;
    int attempts = 0;
    int64_t deadlineMs = 0;
  };
  std::vector<Item> items_;
  size_t window_, next_ = 0, asking_ = 0;
  int64_t attemptMs_;
  bool anyAccepted_ = false, stopped_ = false;
};

// The final result of a row the survey found to change, from the queue's outcome and
// the verifying search (heard: its camera answered it, with after).
RowResult verified_result(ModifyQueue::Outcome outcome, bool heard, const Camera &after,
                          const PlannedSettings &planned);

// The report: one line per row (LINE MAC RESULT BEFORE and PLANNED or AFTER) and the
// summary, or a JSON array of objects with line, mac, result, before, planned, after.
// dryRun: the survey's rows. Summary and conflicts go to err in the JSON form.
void print_site_report(FILE *out, FILE *err, bool json, bool dryRun,
                       const std::vector<RowState> &rows, const std::string &planName);
