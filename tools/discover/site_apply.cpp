#include "site_apply.h"

#include <string.h>

#include <algorithm>
#include <map>

#include "search_proto.h"

const char *row_result_text(RowResult result) {
  switch (result) {
    case ROW_TO_CHANGE: return "to change";
    case ROW_UNCHANGED: return "unchanged";
    case ROW_NOT_FOUND: return "not found";
    case ROW_CONFLICT: return "conflict";
    case ROW_APPLIED: return "applied";
    case ROW_REFUSED: return "refused";
    case ROW_NO_ANSWER: return "no answer";
    case ROW_MISMATCH: return "mismatch";
    case ROW_NOT_SENT: return "not sent";
  }
  return "?";
}

static std::string mac_key(const uint8_t mac[6]) { return std::string((const char *)mac, 6); }

bool camera_holds_plan(const Camera &camera, const PlannedSettings &planned) {
  auto same = [](const std::string &want, const std::string &have) {
    return want.empty() || want == have;
  };
  return camera.dhcp != 1 && same(planned.ip, camera.ip) &&
         same(planned.netmask, camera.netmask) && same(planned.gateway, camera.gateway) &&
         same(planned.dns, camera.dns) && same(planned.title, camera.title) &&
         (planned.httpPort < 0 || planned.httpPort == camera.httpPort);
}

std::vector<RowState> survey_site(const SitePlan &plan, const std::vector<Camera> &heard) {
  std::map<std::string, const Camera *> byMac;
  for (const Camera &c : heard) byMac[mac_key(c.mac)] = &c;
  std::map<std::string, const PlannedSettings *> plannedFor;
  for (const PlanRow &row : plan.rows) plannedFor[mac_key(row.mac)] = &row.planned;
  // A camera the plan gives another address leaves its own: no conflict there.
  auto stays_at = [&](const Camera &c) {
    auto planned = plannedFor.find(mac_key(c.mac));
    return planned == plannedFor.end() || planned->second->ip == c.ip;
  };
  std::vector<RowState> rows;
  for (const PlanRow &row : plan.rows) {
    RowState state;
    state.row = &row;
    auto found = byMac.find(mac_key(row.mac));
    if (found == byMac.end()) {
      state.result = ROW_NOT_FOUND;
      rows.push_back(state);
      continue;
    }
    state.found = true;
    state.before = *found->second;
    for (const Camera &other : heard) {
      if (memcmp(other.mac, row.mac, 6) == 0 || other.ip != row.planned.ip || !stays_at(other))
        continue;
      char mac[18];
      format_mac(mac, other.mac);
      state.conflictWith = mac;
      break;
    }
    state.result = !state.conflictWith.empty()                   ? ROW_CONFLICT
                   : camera_holds_plan(state.before, row.planned) ? ROW_UNCHANGED
                                                                  : ROW_TO_CHANGE;
    rows.push_back(state);
  }
  return rows;
}

bool site_modify_text(const Camera &current, const PlannedSettings &planned,
                      const std::string &user, const std::string &password, std::string *text) {
  if (planned.httpPort < 0 && current.httpPort < 1) return false;
  // "-" is no address: the camera keeps what it has.
  auto address = [](const std::string &want, const std::string &have) {
    return !want.empty() ? want : !have.empty() ? have : std::string("-");
  };
  // A control byte is a title the camera skips, so its own stays.
  std::string title = planned.title;
  if (title.empty())
    title = !current.title.empty() && current.title.size() < SEARCH_FIELD_SIZE &&
                    search_title_is_valid(current.title.c_str())
                ? current.title
                : std::string("\x01");
  long port = planned.httpPort >= 0 ? planned.httpPort : current.httpPort;
  *text = planned.ip + ";" + std::to_string(port) + ";" +
          address(planned.netmask, current.netmask) + ";" +
          address(planned.gateway, current.gateway) + ";" + address(planned.dns, current.dns) +
          ";" + title + ";" + user + ";" + password;
  return true;
}

// ---- The order and pace of the modifies ---------------------------------------------

ModifyQueue::ModifyQueue(size_t count, size_t window, int64_t attemptMs)
    : items_(count), window_(std::max<size_t>(window, 1)), attemptMs_(attemptMs) {}

std::vector<size_t> ModifyQueue::due(int64_t nowMs) {
  std::vector<size_t> send;
  for (size_t i = 0; i < items_.size(); i++) {
    Item &item = items_[i];
    if (item.outcome != ASKED || item.deadlineMs > nowMs) continue;
    if (item.attempts == 1 && !stopped_) {
      item.attempts = 2;
      item.deadlineMs = nowMs + attemptMs_;
      send.push_back(i);
    } else {
      item.outcome = NO_ANSWER;
      asking_--;
    }
  }
  // One camera at a time until one has accepted the user and password.
  const size_t limit = anyAccepted_ ? window_ : 1;
  while (!stopped_ && asking_ < limit && next_ < items_.size()) {
    Item &item = items_[next_];
    item.outcome = ASKED;
    item.attempts = 1;
    item.deadlineMs = nowMs + attemptMs_;
    asking_++;
    send.push_back(next_++);
  }
  return send;
}

void ModifyQueue::answered(size_t index, bool accepted) {
  if (index >= items_.size() || items_[index].outcome != ASKED) return;
  items_[index].outcome = accepted ? ACCEPTED : REFUSED;
  asking_--;
  if (accepted)
    anyAccepted_ = true;
  else
    stop(false);
}

void ModifyQueue::stop(bool interrupted) {
  stopped_ = true;
  for (Item &item : items_) {
    if (item.outcome == WAITING) item.outcome = NOT_SENT;
    if (interrupted && item.outcome == ASKED) {
      item.outcome = NO_ANSWER;
      asking_--;
    }
  }
}

bool ModifyQueue::done() const { return asking_ == 0 && (stopped_ || next_ == items_.size()); }

int64_t ModifyQueue::next_deadline() const {
  int64_t next = -1;
  for (const Item &item : items_)
    if (item.outcome == ASKED && (next < 0 || item.deadlineMs < next)) next = item.deadlineMs;
  return next;
}

RowResult verified_result(ModifyQueue::Outcome outcome, bool heard, const Camera &after,
                          const PlannedSettings &planned) {
  switch (outcome) {
    case ModifyQueue::REFUSED: return ROW_REFUSED;
    case ModifyQueue::ACCEPTED:
    case ModifyQueue::NO_ANSWER:
      // A camera whose answer was lost may still hold the plan: the search says.
      if (heard && camera_holds_plan(after, planned)) return ROW_APPLIED;
      return heard && outcome == ModifyQueue::ACCEPTED ? ROW_MISMATCH : ROW_NO_ANSWER;
    default: return ROW_NOT_SENT;
  }
}

// ---- The report ---------------------------------------------------------------------

namespace {

struct Field {
  const char *name;
  std::string value;  // as the camera reports it (escaped), "-" when empty
  bool planned;
};

std::string shown(const std::string &text) { return text.empty() ? "-" : display_escape(text); }

std::vector<Field> fields_of(const Camera &c, const PlannedSettings &p) {
  return {{"ip", shown(c.ip), !p.ip.empty()},
          {"netmask", shown(c.netmask), !p.netmask.empty()},
          {"gateway", shown(c.gateway), !p.gateway.empty()},
          {"dns", shown(c.dns), !p.dns.empty()},
          {"http_port", c.httpPort < 0 ? "-" : std::to_string(c.httpPort), p.httpPort >= 0},
          {"title", shown(c.title), !p.title.empty()}};
}

Camera planned_camera(const PlannedSettings &p) {
  Camera c;
  c.ip = p.ip;
  c.netmask = p.netmask;
  c.gateway = p.gateway;
  c.dns = p.dns;
  c.title = p.title;
  c.httpPort = p.httpPort;
  return c;
}

// "ip=A netmask=B ..." for the fields the row plans; DHCP when it is on.
std::string settings_text(const Camera &c, const PlannedSettings &p) {
  std::string text;
  for (const Field &f : fields_of(c, p))
    if (f.planned) text += std::string(text.empty() ? "" : " ") + f.name + "=" + f.value;
  if (c.dhcp == 1) text += " dhcp=on";
  return text;
}

std::string settings_json(const Camera &c, const PlannedSettings &p, bool onlyPlanned) {
  std::string json;
  for (const Field &f : fields_of(c, p)) {
    if (onlyPlanned && !f.planned) continue;
    bool number = strcmp(f.name, "http_port") == 0;
    const std::string &raw = strcmp(f.name, "ip") == 0        ? c.ip
                             : strcmp(f.name, "netmask") == 0 ? c.netmask
                             : strcmp(f.name, "gateway") == 0 ? c.gateway
                             : strcmp(f.name, "dns") == 0     ? c.dns
                                                              : c.title;
    std::string value = number ? (c.httpPort < 0 ? "null" : std::to_string(c.httpPort))
                               : json_string(raw);
    json += std::string(json.empty() ? "" : ", ") + "\"" + f.name + "\": " + value;
  }
  if (!onlyPlanned)
    json += std::string(", \"dhcp\": ") + (c.dhcp < 0 ? "null" : c.dhcp ? "true" : "false");
  return "{" + json + "}";
}

bool row_failed(RowResult r) { return r != ROW_APPLIED && r != ROW_UNCHANGED; }

}  // namespace

void print_site_report(FILE *out, FILE *err, bool json, bool dryRun,
                       const std::vector<RowState> &rows, const std::string &planName) {
  for (const RowState &s : rows)
    if (s.result == ROW_CONFLICT)
      fprintf(err, "discover: %s:%d: %s is answered by %s, which the plan leaves there\n",
              planName.c_str(), s.row->line, s.row->planned.ip.c_str(), s.conflictWith.c_str());
  if (json) {
    fputs("[", out);
    for (size_t i = 0; i < rows.size(); i++) {
      const RowState &s = rows[i];
      const PlannedSettings &p = s.row->planned;
      char mac[18];
      format_mac(mac, s.row->mac);
      fprintf(out, "%s\n  {\"line\": %d, \"mac\": \"%s\", \"result\": \"%s\", \"before\": %s, "
                   "\"planned\": %s, \"after\": %s}",
              i ? "," : "", s.row->line, mac, row_result_text(s.result),
              s.found ? settings_json(s.before, p, false).c_str() : "null",
              settings_json(planned_camera(p), p, true).c_str(),
              s.heardAfter ? settings_json(s.after, p, false).c_str() : "null");
    }
    fputs(rows.empty() ? "]\n" : "\n]\n", out);
  } else {
    std::vector<std::vector<std::string>> table = {
        {"LINE", "MAC", "RESULT", "BEFORE", dryRun ? "PLANNED" : "AFTER"}};
    for (const RowState &s : rows) {
      const PlannedSettings &p = s.row->planned;
      char mac[18];
      format_mac(mac, s.row->mac);
      std::string last = dryRun ? settings_text(planned_camera(p), p)
                         : s.heardAfter ? settings_text(s.after, p)
                                        : "-";
      table.push_back({std::to_string(s.row->line), mac, row_result_text(s.result),
                       s.found ? settings_text(s.before, p) : "-", last});
    }
    std::vector<size_t> width(table[0].size(), 0);
    for (const auto &line : table)
      for (size_t i = 0; i < line.size(); i++) width[i] = std::max(width[i], line[i].size());
    for (const auto &line : table)
      for (size_t i = 0; i < line.size(); i++) {
        // The last column is not padded, so no line ends in blanks.
        if (i + 1 < line.size())
          fprintf(out, "%-*s  ", (int)width[i], line[i].c_str());
        else
          fprintf(out, "%s\n", line[i].c_str());
      }
  }
  FILE *summary = json ? err : out;
  size_t count[ROW_NOT_SENT + 1] = {0}, failed = 0;
  for (const RowState &s : rows) {
    count[s.result]++;
    failed += row_failed(s.result);
  }
  if (dryRun)
    fprintf(summary, "dry run: %zu rows: to change %zu, unchanged %zu, not found %zu, conflict %zu\n",
            rows.size(), count[ROW_TO_CHANGE], count[ROW_UNCHANGED], count[ROW_NOT_FOUND],
            count[ROW_CONFLICT]);
  else
    fprintf(summary, "apply: %zu rows: applied %zu, unchanged %zu, failed %zu\n", rows.size(),
            count[ROW_APPLIED], count[ROW_UNCHANGED], failed);
}
